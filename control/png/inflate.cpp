#include "control/png/inflate.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace tlv::png {
namespace {

// Decode table entry:
//   bits 0-4   bits of the codeword (in a subtable: bits after the root bits); bits 5-7 stay
//              zero so that "e & 63" is the same and costs no instruction as a shift count
//   bits 8-11  extra bits of a length or distance (subtable pointer: subtable index bits)
//   bit 13     end of block
//   bit 14     exceptional: subtable pointer, end of block or invalid code
//   bit 15     literal
//   bits 16-31 literal byte, length or distance base, or subtable start
constexpr uint32_t kEob = 1u << 13;
constexpr uint32_t kExc = 1u << 14;
constexpr uint32_t kLit = 1u << 15;
constexpr uint32_t kSub = 1u << 12; // with kExc
constexpr uint32_t kInvalid = kExc;

constexpr int kLitRootBits = 11;
constexpr int kDistRootBits = 8;
constexpr int kPreBits = 7;
constexpr int kMaxCodeBits = 15;
constexpr int kLitSyms = 288;
constexpr int kDistSyms = 32;
// Subtables all have (longest code - root) index bits; there are at most as many as codes
// longer than the root.
constexpr int kLitTableSize = (1 << kLitRootBits) + kLitSyms * (1 << (kMaxCodeBits - kLitRootBits));
constexpr int kDistTableSize =
    (1 << kDistRootBits) + kDistSyms * (1 << (kMaxCodeBits - kDistRootBits));

constexpr uint16_t kLenBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                   31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t kLenExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                   2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint16_t kDistBase[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                    33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                    1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr uint8_t kDistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                    6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr uint8_t kPreOrder[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                   11, 4,  12, 3, 13, 2, 14, 1, 15};

uint32_t litEntry(int sym) {
    if (sym < 256)
        return kLit | (uint32_t(sym) << 16);
    if (sym == 256)
        return kExc | kEob;
    if (sym < 286)
        return (uint32_t(kLenBase[sym - 257]) << 16) | (uint32_t(kLenExtra[sym - 257]) << 8);
    return kInvalid;
}

uint32_t distEntry(int sym) {
    if (sym < 30)
        return (uint32_t(kDistBase[sym]) << 16) | (uint32_t(kDistExtra[sym]) << 8);
    return kInvalid;
}

uint32_t preEntry(int sym) {
    return uint32_t(sym) << 16;
}

uint32_t reverseBits(uint32_t code, int len) {
    uint32_t r = 0;
    for (int i = 0; i < len; ++i) {
        r = (r << 1) | (code & 1);
        code >>= 1;
    }
    return r;
}

// Canonical Huffman decode table from code lengths. Over-subscribed codes are rejected;
// incomplete ones are accepted, their unused codewords decode as invalid.
template <typename EntryFn>
bool buildTable(const uint8_t* lens, int n, uint32_t* table, int rootBits, EntryFn entryOf) {
    int count[kMaxCodeBits + 1] = {};
    for (int i = 0; i < n; ++i)
        ++count[lens[i]];
    count[0] = 0;
    int left = 1;
    int maxLen = 0;
    for (int len = 1; len <= kMaxCodeBits; ++len) {
        left = (left << 1) - count[len];
        if (left < 0)
            return false;
        if (count[len])
            maxLen = len;
    }
    const uint32_t rootSize = 1u << rootBits;
    if (left > 0 || maxLen == 0)
        std::fill(table, table + rootSize, kInvalid);
    if (maxLen == 0)
        return true;
    uint32_t next[kMaxCodeBits + 2] = {};
    uint32_t code = 0;
    for (int len = 1; len <= kMaxCodeBits; ++len) {
        code = (code + uint32_t(count[len - 1])) << 1;
        next[len] = code;
    }
    const int subBits = maxLen > rootBits ? maxLen - rootBits : 0;
    int32_t subStart[1 << kLitRootBits];
    if (subBits)
        std::fill(subStart, subStart + rootSize, -1);
    uint32_t nextSub = rootSize;
    for (int sym = 0; sym < n; ++sym) {
        const int len = lens[sym];
        if (!len)
            continue;
        const uint32_t rev = reverseBits(next[len]++, len);
        const uint32_t e = entryOf(sym);
        if (len <= rootBits) {
            for (uint32_t i = rev; i < rootSize; i += 1u << len)
                table[i] = e | uint32_t(len);
            continue;
        }
        const uint32_t prefix = rev & (rootSize - 1);
        if (subStart[prefix] < 0) {
            subStart[prefix] = int32_t(nextSub);
            table[prefix] =
                kExc | kSub | (nextSub << 16) | (uint32_t(subBits) << 8) | uint32_t(rootBits);
            if (left > 0)
                std::fill(table + nextSub, table + nextSub + (1u << subBits), kInvalid);
            nextSub += 1u << subBits;
        }
        uint32_t* sub = table + subStart[prefix];
        for (uint32_t i = rev >> rootBits; i < (1u << subBits); i += 1u << (len - rootBits))
            sub[i] = e | uint32_t(len - rootBits);
    }
    return true;
}

struct Tables {
    uint32_t lit[kLitTableSize];
    uint32_t dist[kDistTableSize];
    uint32_t pre[1 << kPreBits];
};

inline uint64_t load64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v; // little-endian hosts only (x86-64, ARM64)
}

inline void copy8(uint8_t* d, const uint8_t* s) {
    std::memcpy(d, s, 8);
}
inline void copy16(uint8_t* d, const uint8_t* s) {
    std::memcpy(d, s, 16);
}

// Room the fast loop needs: three refills of 8 bytes; three literals, or a literal and a match
// whose copy writes whole 16-byte words, at least 32 bytes.
constexpr ptrdiff_t kFastIn = 32;
constexpr ptrdiff_t kFastOut = 3 + 258 + 32;
// Zero bytes fed after the end of the input before the stream counts as truncated.
constexpr unsigned kMaxOverrun = 16;

class Decoder {
public:
    Decoder(const uint8_t* in, size_t inLen, uint8_t* out, size_t outLen)
        : m_in(in), m_inEnd(in + inLen), m_outStart(out), m_out(out), m_outEnd(out + outLen) {}

    InflateResult run();

private:
    // Ensures at least 56 bits in the buffer, padding with zero bytes past the end.
    void refillSlow() {
        while (m_bitsLeft < 56) {
            uint64_t b = 0;
            if (m_in < m_inEnd)
                b = *m_in++;
            else
                ++m_overrun;
            m_bitBuf |= b << m_bitsLeft;
            m_bitsLeft += 8;
        }
    }
    bool overran() const { return m_overrun > kMaxOverrun; }
    uint32_t bits(int n) const { return uint32_t(m_bitBuf & ((uint64_t(1) << n) - 1)); }
    void drop(int n) {
        m_bitBuf >>= n;
        m_bitsLeft -= unsigned(n);
    }
    InflateResult finish(InflateStatus s) const { return {s, size_t(m_out - m_outStart)}; }

    bool readDynamicTables();
    InflateStatus storedBlock();
    InflateStatus codedBlock();

    const uint8_t* m_in;
    const uint8_t* m_inEnd;
    uint8_t* m_outStart;
    uint8_t* m_out;
    uint8_t* m_outEnd;
    uint64_t m_bitBuf = 0;
    unsigned m_bitsLeft = 0;
    unsigned m_overrun = 0;
    std::unique_ptr<Tables> m_tables{new Tables};
};

InflateResult Decoder::run() {
    bool fixedLoaded = false;
    for (;;) {
        refillSlow();
        if (overran())
            return finish(InflateStatus::Truncated);
        const uint32_t header = bits(3);
        drop(3);
        const bool final = header & 1;
        InflateStatus s;
        switch (header >> 1) {
        case 0:
            s = storedBlock();
            break;
        case 1:
            if (!fixedLoaded) {
                uint8_t lens[kLitSyms + kDistSyms];
                std::fill(lens, lens + 144, uint8_t(8));
                std::fill(lens + 144, lens + 256, uint8_t(9));
                std::fill(lens + 256, lens + 280, uint8_t(7));
                std::fill(lens + 280, lens + 288, uint8_t(8));
                std::fill(lens + 288, lens + 320, uint8_t(5));
                buildTable(lens, kLitSyms, m_tables->lit, kLitRootBits, litEntry);
                buildTable(lens + kLitSyms, kDistSyms, m_tables->dist, kDistRootBits, distEntry);
                fixedLoaded = true;
            }
            s = codedBlock();
            break;
        case 2:
            fixedLoaded = false;
            if (!readDynamicTables())
                return finish(overran() ? InflateStatus::Truncated : InflateStatus::BadData);
            s = codedBlock();
            break;
        default:
            return finish(InflateStatus::BadData);
        }
        if (s != InflateStatus::Done)
            return finish(s);
        if (final)
            return finish(InflateStatus::Done);
    }
}

InflateStatus Decoder::storedBlock() {
    drop(int(m_bitsLeft & 7));
    // Hand the whole bytes still in the bit buffer back to the input.
    unsigned back = m_bitsLeft >> 3;
    const unsigned virt = std::min(back, m_overrun);
    m_overrun -= virt;
    back -= virt;
    m_in -= back;
    m_bitBuf = 0;
    m_bitsLeft = 0;
    if (m_overrun || m_inEnd - m_in < 4)
        return InflateStatus::Truncated;
    const unsigned len = unsigned(m_in[0]) | (unsigned(m_in[1]) << 8);
    const unsigned nlen = unsigned(m_in[2]) | (unsigned(m_in[3]) << 8);
    m_in += 4;
    if (len != (~nlen & 0xFFFFu))
        return InflateStatus::BadData;
    const size_t n = std::min({size_t(len), size_t(m_inEnd - m_in), size_t(m_outEnd - m_out)});
    std::memcpy(m_out, m_in, n);
    m_in += n;
    m_out += n;
    if (n < len)
        return m_out == m_outEnd ? InflateStatus::OutputFull : InflateStatus::Truncated;
    return InflateStatus::Done;
}

bool Decoder::readDynamicTables() {
    refillSlow();
    const int hlit = int(bits(5)) + 257;
    drop(5);
    const int hdist = int(bits(5)) + 1;
    drop(5);
    const int hclen = int(bits(4)) + 4;
    drop(4);
    if (hlit > 286 || hdist > 30)
        return false;
    uint8_t preLens[19] = {};
    for (int i = 0; i < hclen; ++i) {
        if (m_bitsLeft < 3)
            refillSlow();
        preLens[kPreOrder[i]] = uint8_t(bits(3));
        drop(3);
    }
    if (overran() || !buildTable(preLens, 19, m_tables->pre, kPreBits, preEntry))
        return false;
    uint8_t lens[kLitSyms + kDistSyms] = {};
    const int total = hlit + hdist;
    int i = 0;
    while (i < total) {
        refillSlow();
        if (overran())
            return false;
        const uint32_t e = m_tables->pre[bits(kPreBits)];
        if (e & kExc)
            return false;
        drop(int(e & 31));
        const int sym = int(e >> 16);
        if (sym < 16) {
            lens[i++] = uint8_t(sym);
            continue;
        }
        int rep;
        uint8_t val = 0;
        if (sym == 16) {
            if (i == 0)
                return false;
            val = lens[i - 1];
            rep = 3 + int(bits(2));
            drop(2);
        } else if (sym == 17) {
            rep = 3 + int(bits(3));
            drop(3);
        } else {
            rep = 11 + int(bits(7));
            drop(7);
        }
        if (rep > total - i)
            return false;
        std::fill(lens + i, lens + i + rep, val);
        i += rep;
    }
    // Distance lengths follow the literal/length ones directly in the same run.
    uint8_t distLens[kDistSyms] = {};
    std::copy(lens + hlit, lens + total, distLens);
    std::fill(lens + hlit, lens + kLitSyms, uint8_t(0));
    return buildTable(lens, kLitSyms, m_tables->lit, kLitRootBits, litEntry) &&
           buildTable(distLens, kDistSyms, m_tables->dist, kDistRootBits, distEntry);
}

InflateStatus Decoder::codedBlock() {
    const uint32_t* const lit = m_tables->lit;
    const uint32_t* const dist = m_tables->dist;
    constexpr uint64_t litMask = (1u << kLitRootBits) - 1;
    constexpr uint64_t distMask = (1u << kDistRootBits) - 1;

    // Locals so that the compiler keeps the hot state in registers.
    const uint8_t* in = m_in;
    uint8_t* out = m_out;
    uint64_t bitBuf = m_bitBuf;
    unsigned bitsLeft = m_bitsLeft;
    InflateStatus status = InflateStatus::Done;
    // The stores through out could alias the members, so the bounds live in locals too.
    const uint8_t* const inEnd = m_inEnd;
    uint8_t* const outEnd = m_outEnd;
    const uint8_t* const outStart = m_outStart;

    // Fast loop: no bounds checks inside, a branch-free refill to 56..63 bits. One refill
    // covers a length code, its extra bits, a distance code and its extra bits (48 bits).
#define TLV_REFILL()                                                                               \
    do {                                                                                           \
        bitBuf |= load64(in) << bitsLeft;                                                          \
        in += (63 - bitsLeft) >> 3;                                                                \
        bitsLeft |= 56;                                                                            \
    } while (0)
#define TLV_DROP(n)                                                                                \
    do {                                                                                           \
        bitBuf >>= (n);                                                                            \
        bitsLeft -= (n);                                                                           \
    } while (0)

    // e always holds the entry of the next symbol, looked up before the previous match is
    // copied so that the table load overlaps the copy.
    uint32_t e = 0;
    if (inEnd - in >= kFastIn && outEnd - out >= kFastOut) {
        TLV_REFILL();
        e = lit[bitBuf & litMask];
    }
    while (inEnd - in >= kFastIn && outEnd - out >= kFastOut) {
        TLV_REFILL();
        if (e & kLit) {
            // Root-table literals take at most 11 bits: three fit in one refill.
            TLV_DROP(e & 63);
            *out++ = uint8_t(e >> 16);
            e = lit[bitBuf & litMask];
            if (e & kLit) {
                TLV_DROP(e & 63);
                *out++ = uint8_t(e >> 16);
                e = lit[bitBuf & litMask];
                if (e & kLit) {
                    TLV_DROP(e & 63);
                    *out++ = uint8_t(e >> 16);
                    e = lit[bitBuf & litMask];
                }
                continue;
            }
            TLV_REFILL();
        }
        if (e & kExc) {
            if (e & kSub) {
                TLV_DROP(e & 63);
                e = lit[(e >> 16) + (bitBuf & ((uint64_t(1) << ((e >> 8) & 15)) - 1))];
                if (e & kLit) {
                    TLV_DROP(e & 63);
                    *out++ = uint8_t(e >> 16);
                    e = lit[bitBuf & litMask];
                    continue;
                }
            }
            if (e & kExc) {
                if (e & kEob) {
                    TLV_DROP(e & 63);
                    goto done;
                }
                status = InflateStatus::BadData;
                goto done;
            }
        }
        {
            uint64_t saved = bitBuf;
            unsigned cw = e & 63;
            unsigned ex = (e >> 8) & 15;
            TLV_DROP(cw + ex);
            const size_t len = (e >> 16) + size_t((saved >> cw) & ((uint64_t(1) << ex) - 1));
            e = dist[bitBuf & distMask];
            if (e & kExc) {
                if (!(e & kSub)) {
                    status = InflateStatus::BadData;
                    goto done;
                }
                TLV_DROP(e & 63);
                e = dist[(e >> 16) + (bitBuf & ((uint64_t(1) << ((e >> 8) & 15)) - 1))];
                if (e & kExc) {
                    status = InflateStatus::BadData;
                    goto done;
                }
            }
            saved = bitBuf;
            cw = e & 63;
            ex = (e >> 8) & 15;
            TLV_DROP(cw + ex);
            const size_t d = (e >> 16) + size_t((saved >> cw) & ((uint64_t(1) << ex) - 1));
            if (d > size_t(out - outStart)) {
                status = InflateStatus::BadData;
                goto done;
            }
            TLV_REFILL();
            e = lit[bitBuf & litMask];
            uint8_t* dst = out;
            const uint8_t* src = out - d;
            out += len;
            if (d >= 16) {
                // Most matches are short: two unconditional copies, then the rest.
                copy16(dst, src);
                copy16(dst + 16, src + 16);
                dst += 32;
                src += 32;
                while (dst < out) {
                    copy16(dst, src);
                    dst += 16;
                    src += 16;
                }
            } else if (d >= 8) {
                copy8(dst, src);
                copy8(dst + 8, src + 8);
                dst += 16;
                src += 16;
                while (dst < out) {
                    copy8(dst, src);
                    dst += 8;
                    src += 8;
                }
            } else if (d == 1) {
                const uint64_t v = uint64_t(*src) * 0x0101010101010101ull;
                do {
                    std::memcpy(dst, &v, 8);
                    dst += 8;
                } while (dst < out);
            } else {
                // Period 2 to 7: eight single bytes, then whole words from a multiple of the
                // period at least 8 back.
                for (int k = 0; k < 8; ++k)
                    dst[k] = src[k];
                if (len > 8) {
                    static constexpr uint8_t kStep[8] = {0, 0, 8, 9, 8, 10, 12, 14};
                    dst += 8;
                    src = dst - kStep[d];
                    do {
                        copy8(dst, src);
                        dst += 8;
                        src += 8;
                    } while (dst < out);
                }
            }
        }
    }
#undef TLV_REFILL
#undef TLV_DROP

    // Careful loop near the ends of either buffer.
    m_in = in;
    m_bitBuf = bitBuf;
    m_bitsLeft = bitsLeft;
    for (;;) {
        refillSlow();
        if (overran()) {
            status = InflateStatus::Truncated;
            break;
        }
        uint32_t e = lit[m_bitBuf & litMask];
        if ((e & (kExc | kSub)) == (kExc | kSub)) {
            drop(int(e & 31));
            e = lit[(e >> 16) + bits(int((e >> 8) & 15))];
        }
        if (e & kLit) {
            if (out == m_outEnd) {
                status = InflateStatus::OutputFull;
                break;
            }
            drop(int(e & 31));
            *out++ = uint8_t(e >> 16);
            continue;
        }
        if (e & kExc) {
            if (e & kEob)
                drop(int(e & 31));
            else
                status = InflateStatus::BadData;
            break;
        }
        unsigned cw = e & 31;
        unsigned ex = (e >> 8) & 15;
        drop(int(cw));
        const size_t len = (e >> 16) + bits(int(ex));
        drop(int(ex));
        e = dist[m_bitBuf & distMask];
        if ((e & (kExc | kSub)) == (kExc | kSub)) {
            drop(int(e & 31));
            e = dist[(e >> 16) + bits(int((e >> 8) & 15))];
        }
        if (e & kExc) {
            status = InflateStatus::BadData;
            break;
        }
        cw = e & 31;
        ex = (e >> 8) & 15;
        drop(int(cw));
        const size_t d = (e >> 16) + bits(int(ex));
        drop(int(ex));
        if (overran()) {
            status = InflateStatus::Truncated;
            break;
        }
        if (d > size_t(out - m_outStart)) {
            status = InflateStatus::BadData;
            break;
        }
        const size_t n = std::min(len, size_t(m_outEnd - out));
        const uint8_t* src = out - d;
        for (size_t k = 0; k < n; ++k)
            out[k] = src[k];
        out += n;
        if (n < len) {
            status = InflateStatus::OutputFull;
            break;
        }
    }
    m_out = out;
    return status;

done:
    m_in = in;
    m_out = out;
    m_bitBuf = bitBuf;
    m_bitsLeft = bitsLeft;
    return status;
}

} // namespace

InflateResult inflateRaw(const uint8_t* in, size_t inLen, uint8_t* out, size_t outLen) {
    Decoder d(in, inLen, out, outLen);
    return d.run();
}

InflateResult inflateZlib(const uint8_t* in, size_t inLen, uint8_t* out, size_t outLen) {
    if (inLen < 2)
        return {InflateStatus::Truncated, 0};
    return inflateRaw(in + 2, inLen - 2, out, outLen);
}

InflateStatus inflateZlibToVector(const uint8_t* in, size_t inLen, std::vector<uint8_t>& out,
                                  size_t maxOut) {
    size_t cap = std::min(maxOut, std::max<size_t>(1024, inLen * 4));
    for (;;) {
        out.resize(cap);
        const InflateResult r = inflateZlib(in, inLen, out.data(), out.size());
        out.resize(r.written);
        if (r.status != InflateStatus::OutputFull || cap >= maxOut)
            return r.status;
        cap = cap > maxOut / 2 ? maxOut : cap * 2;
    }
}

} // namespace tlv::png
