#include "control/png/inflate.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>
#include <vector>

namespace tlv::png {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes compress(const Bytes& data, int level) {
    uLongf len = compressBound(uLong(data.size()));
    Bytes out(len);
    EXPECT_EQ(compress2(out.data(), &len, data.data(), uLong(data.size()), level), Z_OK);
    out.resize(len);
    return out;
}

Bytes randomBytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes b(n);
    for (auto& c : b)
        c = uint8_t(rng());
    return b;
}

// Words, runs, short and long periods, a smooth ramp: every kind of match and distance.
Bytes structuredBytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    static const char* words[] = {"session ", "tariff ", "credit ", "lock ", "the ", "of ", "\r\n"};
    Bytes b;
    b.reserve(n);
    while (b.size() < n) {
        switch (rng() % 6) {
        case 0:
            for (int i = 0, k = int(rng() % 40); i < k; ++i)
                for (const char* w = words[rng() % 7]; *w; ++w)
                    b.push_back(uint8_t(*w));
            break;
        case 1:
            b.insert(b.end(), rng() % 600, uint8_t(rng()));
            break;
        case 2: {
            const size_t period = 1 + rng() % 7;
            const size_t start = b.size();
            for (size_t i = 0; i < period; ++i)
                b.push_back(uint8_t(rng()));
            for (size_t i = 0, k = rng() % 500; i < k; ++i)
                b.push_back(b[start + i % period]);
            break;
        }
        case 3:
            if (b.size() > 40000) {
                const size_t from = b.size() - 1 - rng() % 32000;
                for (size_t i = 0, k = 3 + rng() % 300; i < k; ++i)
                    b.push_back(b[from + i]);
            }
            break;
        case 4:
            for (int i = 0, k = int(rng() % 2000); i < k; ++i)
                b.push_back(uint8_t(i / 7));
            break;
        default:
            for (int i = 0, k = int(rng() % 50); i < k; ++i)
                b.push_back(uint8_t(rng()));
        }
    }
    b.resize(n);
    return b;
}

TEST(Inflate, MatchesZlibAtEveryLevelForRandomAndStructuredData) {
    const std::vector<std::pair<std::string, Bytes>> inputs = {
        {"empty", {}},
        {"one byte", {42}},
        {"random 1k", randomBytes(1000, 1)},
        {"random 300k", randomBytes(300000, 2)},
        {"structured 5k", structuredBytes(5000, 3)},
        {"structured 1M", structuredBytes(1 << 20, 4)},
        {"zeros 200k", Bytes(200000, 0)},
    };
    for (const auto& [name, data] : inputs) {
        for (int level = 0; level <= 9; ++level) {
            SCOPED_TRACE(name + " level " + std::to_string(level));
            const Bytes z = compress(data, level);
            Bytes out(data.size() + 1, 0xAA);
            const InflateResult r = inflateZlib(z.data(), z.size(), out.data(), data.size());
            EXPECT_EQ(r.status, InflateStatus::Done);
            ASSERT_EQ(r.written, data.size());
            EXPECT_TRUE(std::equal(data.begin(), data.end(), out.begin()));
            EXPECT_EQ(out[data.size()], 0xAA) << "wrote past the end";
        }
    }
}

TEST(Inflate, StopsCleanlyWhenTheOutputIsFull) {
    const Bytes data = structuredBytes(100000, 5);
    const Bytes z = compress(data, 6);
    for (size_t cap : {size_t(0), size_t(1), size_t(257), size_t(4000), size_t(99999)}) {
        Bytes out(cap + 16, 0xAA);
        const InflateResult r = inflateZlib(z.data(), z.size(), out.data(), cap);
        EXPECT_EQ(r.status, InflateStatus::OutputFull) << cap;
        EXPECT_EQ(r.written, cap);
        EXPECT_TRUE(std::equal(out.begin(), out.begin() + long(cap), data.begin()));
        EXPECT_EQ(out[cap], 0xAA);
    }
}

TEST(Inflate, CutOrDamagedStreamsEndWithoutOverrunOrEndlessLoop) {
    const Bytes data = structuredBytes(20000, 6);
    for (int level : {0, 1, 9}) {
        const Bytes z = compress(data, level);
        for (size_t cut = 0; cut + 4 < z.size(); cut += 1 + cut / 8) {
            Bytes in(z.begin(), z.begin() + long(cut));
            Bytes out(data.size());
            const InflateResult r = inflateZlib(in.data(), in.size(), out.data(), out.size());
            EXPECT_NE(r.status, InflateStatus::Done) << "cut at " << cut;
            EXPECT_LE(r.written, out.size());
        }
        std::mt19937 rng(7);
        for (int i = 0; i < 300; ++i) {
            Bytes in = z;
            for (int k = 0; k < 3; ++k)
                in[2 + rng() % (in.size() - 2)] ^= uint8_t(1 + rng() % 255);
            Bytes out(data.size());
            const InflateResult r = inflateZlib(in.data(), in.size(), out.data(), out.size());
            EXPECT_LE(r.written, out.size());
        }
    }
    // Block type 3 ends decompression.
    const uint8_t reserved[] = {0x78, 0x9c, 0x07, 0, 0, 0, 0};
    uint8_t out[16];
    EXPECT_EQ(inflateZlib(reserved, sizeof reserved, out, sizeof out).status,
              InflateStatus::BadData);
}

TEST(Inflate, GrowsTheOutputForTextUpToItsLimit) {
    const Bytes data = structuredBytes(50000, 8);
    const Bytes z = compress(data, 9);
    Bytes out;
    EXPECT_EQ(inflateZlibToVector(z.data(), z.size(), out, 1 << 20), InflateStatus::Done);
    EXPECT_EQ(out, data);
    EXPECT_EQ(inflateZlibToVector(z.data(), z.size(), out, 1000), InflateStatus::OutputFull);
    EXPECT_EQ(out.size(), 1000u);
}

} // namespace
} // namespace tlv::png
