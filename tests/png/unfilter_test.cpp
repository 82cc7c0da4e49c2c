#include "control/png/unfilter.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <vector>

namespace tlv::png {
namespace {

using Bytes = std::vector<uint8_t>;

// The filters as the PNG format defines them, byte by byte.
void referenceUnfilter(uint8_t f, uint8_t* row, const uint8_t* prev, size_t len, unsigned bpp) {
    for (size_t i = 0; i < len; ++i) {
        const int a = i >= bpp ? row[i - bpp] : 0;
        const int b = prev[i];
        const int c = i >= bpp ? prev[i - bpp] : 0;
        int pred = 0;
        switch (f) {
        case 1:
            pred = a;
            break;
        case 2:
            pred = b;
            break;
        case 3:
            pred = (a + b) / 2;
            break;
        case 4: {
            const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b),
                      pc = std::abs(p - c);
            pred = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
            break;
        }
        default:
            return;
        }
        row[i] = uint8_t(row[i] + pred);
    }
}

TEST(Unfilter, EveryFilterAndPixelSizeMatchesTheDefinition) {
    std::mt19937 rng(1);
    for (unsigned bpp : {1u, 2u, 3u, 4u, 6u, 8u})
        for (uint8_t f = 0; f <= 5; ++f)
            for (size_t pixels : {size_t(1), size_t(2), size_t(7), size_t(100)}) {
                SCOPED_TRACE(testing::Message()
                             << "bpp " << bpp << " filter " << int(f) << " pixels " << pixels);
                const size_t len = pixels * bpp;
                Bytes data(2 * len + kRowPadding);
                for (auto& b : data)
                    b = uint8_t(rng());
                Bytes want = data;
                referenceUnfilter(f, want.data() + len, want.data(), len, bpp);
                unfilterRow(f, data.data() + len, data.data(), len, bpp);
                EXPECT_EQ(data, want) << "bytes past the line must stay as they are too";
            }
}

TEST(Unfilter, PaethPairEqualsTwoLinesInTurn) {
    std::mt19937 rng(2);
    for (unsigned bpp : {1u, 2u, 3u, 4u})
        for (size_t pixels : {size_t(1), size_t(2), size_t(3), size_t(640)}) {
            SCOPED_TRACE(testing::Message() << "bpp " << bpp << " pixels " << pixels);
            const size_t len = pixels * bpp;
            // prev, filter byte, row0, filter byte, row1, padding
            Bytes data(len + 2 * (len + 1) + kRowPadding);
            for (auto& b : data)
                b = uint8_t(rng());
            Bytes want = data;
            uint8_t* prev = want.data();
            referenceUnfilter(4, prev + len + 1, prev, len, bpp);
            referenceUnfilter(4, prev + 2 * len + 2, prev + len + 1, len, bpp);
            ASSERT_TRUE(unfilterPaethPair(data.data() + len + 1, data.data() + 2 * len + 2,
                                          data.data(), len, bpp));
            EXPECT_EQ(data, want);
        }
}

TEST(Unfilter, FourPaethLinesAtOnceEqualFourInTurn) {
    std::mt19937 rng(3);
    for (unsigned bpp : {1u, 2u, 3u, 4u})
        for (size_t pixels : {size_t(1), size_t(2), size_t(3), size_t(4), size_t(5), size_t(333)}) {
            SCOPED_TRACE(testing::Message() << "bpp " << bpp << " pixels " << pixels);
            const size_t len = pixels * bpp, stride = len + 1;
            Bytes data(len + 4 * stride + 1 + kRowPadding);
            for (auto& b : data)
                b = uint8_t(rng());
            Bytes want = data;
            for (int j = 0; j < 4; ++j)
                referenceUnfilter(4, want.data() + len + 1 + j * stride,
                                  want.data() + (j ? len + 1 + (j - 1) * stride : 0), len, bpp);
            if (!unfilterPaethRun4(data.data() + len + 1, stride, data.data(), len, bpp))
                GTEST_SKIP() << "no wide registers on this processor";
            EXPECT_EQ(data, want);
        }
}

} // namespace
} // namespace tlv::png
