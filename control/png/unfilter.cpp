#include "control/png/unfilter.h"

#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define TLV_HAVE_AVX2_PATH 1
#endif

namespace tlv::png {
namespace {

// Narrow pixels: the left neighbour stays in a register instead of coming back through
// memory (a store-to-load round trip per byte otherwise).
template <unsigned Bpp>
void subNarrow(uint8_t* row, size_t len) {
    uint8_t a[Bpp] = {};
    for (size_t i = 0; i + Bpp <= len; i += Bpp)
        for (unsigned k = 0; k < Bpp; ++k)
            row[i + k] = a[k] = uint8_t(row[i + k] + a[k]);
}

template <unsigned Bpp>
void averageNarrow(uint8_t* row, const uint8_t* prev, size_t len) {
    unsigned a[Bpp] = {};
    for (size_t i = 0; i + Bpp <= len; i += Bpp)
        for (unsigned k = 0; k < Bpp; ++k)
            row[i + k] = uint8_t(a[k] = uint8_t(row[i + k] + ((a[k] + prev[i + k]) >> 1)));
}

inline uint8_t paeth(int a, int b, int c) {
    const int pa = std::abs(b - c);
    const int pb = std::abs(a - c);
    const int pc = std::abs(a + b - 2 * c);
    // Selects rather than branches: the choice is unpredictable on real images.
    const int bc = pb <= pc ? b : c;
    return uint8_t(pa <= pb && pa <= pc ? a : bc);
}

template <unsigned Bpp>
void paethNarrow(uint8_t* row, const uint8_t* prev, size_t len) {
    int a[Bpp] = {};
    int c[Bpp] = {};
    for (size_t i = 0; i + Bpp <= len; i += Bpp)
        for (unsigned k = 0; k < Bpp; ++k) {
            const int b = prev[i + k];
            a[k] = uint8_t(row[i + k] + paeth(a[k], b, c[k]));
            row[i + k] = uint8_t(a[k]);
            c[k] = b;
        }
}

void unfilterSub(uint8_t* row, size_t len, unsigned bpp) {
    for (size_t i = bpp; i < len; ++i)
        row[i] = uint8_t(row[i] + row[i - bpp]);
}

void unfilterUp(uint8_t* row, const uint8_t* prev, size_t len) {
    for (size_t i = 0; i < len; ++i)
        row[i] = uint8_t(row[i] + prev[i]);
}

void unfilterAverageScalar(uint8_t* row, const uint8_t* prev, size_t len, unsigned bpp) {
    for (size_t i = 0; i < bpp && i < len; ++i)
        row[i] = uint8_t(row[i] + (prev[i] >> 1));
    for (size_t i = bpp; i < len; ++i)
        row[i] = uint8_t(row[i] + ((unsigned(row[i - bpp]) + prev[i]) >> 1));
}

void unfilterPaethScalar(uint8_t* row, const uint8_t* prev, size_t len, unsigned bpp) {
    for (size_t i = 0; i < bpp && i < len; ++i)
        row[i] = uint8_t(row[i] + prev[i]);
    for (size_t i = bpp; i < len; ++i)
        row[i] = uint8_t(row[i] + paeth(row[i - bpp], prev[i], prev[i - bpp]));
}

#if defined(__SSE2__)
// One pixel per step in 16-bit lanes. Loads take 4 or 8 bytes, stores exactly bpp bytes, so
// a store never overlaps the next pixel's load (no store-forwarding stalls).
template <unsigned Bpp>
inline __m128i loadPixel(const uint8_t* p) {
    if constexpr (Bpp <= 4) {
        int32_t v;
        std::memcpy(&v, p, 4);
        return _mm_unpacklo_epi8(_mm_cvtsi32_si128(v), _mm_setzero_si128());
    } else {
        return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)),
                                 _mm_setzero_si128());
    }
}

template <unsigned Bpp>
inline void storePixel(uint8_t* p, __m128i v) {
    const __m128i packed = _mm_packus_epi16(v, v);
    if constexpr (Bpp <= 4) {
        const int32_t w = _mm_cvtsi128_si32(packed);
        std::memcpy(p, &w, Bpp);
    } else {
        alignas(16) uint8_t tmp[16];
        _mm_store_si128(reinterpret_cast<__m128i*>(tmp), packed);
        std::memcpy(p, tmp, Bpp);
    }
}

inline __m128i laneMask(unsigned bpp) {
    alignas(16) int16_t m[8];
    for (unsigned i = 0; i < 8; ++i)
        m[i] = i < bpp ? int16_t(0x00FF) : int16_t(0);
    return _mm_load_si128(reinterpret_cast<const __m128i*>(m));
}

inline __m128i abs16(__m128i x) {
    return _mm_max_epi16(x, _mm_sub_epi16(_mm_setzero_si128(), x));
}

// The Paeth predictor in every 16-bit lane.
inline __m128i paethNearest(__m128i a, __m128i b, __m128i c) {
    const __m128i paS = _mm_sub_epi16(b, c);
    const __m128i pbS = _mm_sub_epi16(a, c);
    const __m128i pa = abs16(paS);
    const __m128i pb = abs16(pbS);
    const __m128i pc = abs16(_mm_add_epi16(paS, pbS));
    const __m128i smallest = _mm_min_epi16(pc, _mm_min_epi16(pa, pb));
    const __m128i useB = _mm_cmpeq_epi16(smallest, pb);
    const __m128i useA = _mm_cmpeq_epi16(smallest, pa);
    const __m128i nearest = _mm_or_si128(_mm_and_si128(useB, b), _mm_andnot_si128(useB, c));
    return _mm_or_si128(_mm_and_si128(useA, a), _mm_andnot_si128(useA, nearest));
}

template <unsigned Bpp>
void unfilterPaethSse(uint8_t* row, const uint8_t* prev, size_t len) {
    const __m128i mask = laneMask(Bpp);
    __m128i a = _mm_setzero_si128();
    __m128i c = _mm_setzero_si128();
    for (size_t i = 0; i + Bpp <= len; i += Bpp) {
        const __m128i b = loadPixel<Bpp>(prev + i);
        const __m128i x = loadPixel<Bpp>(row + i);
        a = _mm_and_si128(_mm_add_epi16(x, paethNearest(a, b, c)), mask);
        storePixel<Bpp>(row + i, a);
        c = b;
    }
}

// Two Paeth lines at once, the second one pixel behind the first: low lanes carry pixel k of
// row0, high lanes pixel k-1 of row1, whose "up" neighbour is the row0 pixel just done. Each
// step still waits for the previous one, but does two pixels.
template <unsigned Bpp>
void unfilterPaethPairSse(uint8_t* row0, uint8_t* row1, const uint8_t* prev, size_t len) {
    const size_t n = len / Bpp;
    if (n == 0)
        return;
    const __m128i zero = _mm_setzero_si128();
    const __m128i half = laneMask(Bpp);
    const __m128i mask = _mm_unpacklo_epi64(half, half);
    __m128i c = loadPixel<Bpp>(prev);
    __m128i a =
        _mm_and_si128(_mm_add_epi16(loadPixel<Bpp>(row0), paethNearest(zero, c, zero)), half);
    storePixel<Bpp>(row0, a);
    for (size_t k = 1; k < n; ++k) {
        const __m128i b = _mm_unpacklo_epi64(loadPixel<Bpp>(prev + k * Bpp), a);
        const __m128i x = _mm_unpacklo_epi64(loadPixel<Bpp>(row0 + k * Bpp),
                                             loadPixel<Bpp>(row1 + (k - 1) * Bpp));
        a = _mm_and_si128(_mm_add_epi16(x, paethNearest(a, b, c)), mask);
        storePixel<Bpp>(row0 + k * Bpp, a);
        storePixel<Bpp>(row1 + (k - 1) * Bpp, _mm_srli_si128(a, 8));
        c = b;
    }
    const __m128i b = _mm_unpacklo_epi64(zero, a);
    const __m128i x = _mm_unpacklo_epi64(zero, loadPixel<Bpp>(row1 + (n - 1) * Bpp));
    a = _mm_and_si128(_mm_add_epi16(x, paethNearest(a, b, c)), mask);
    storePixel<Bpp>(row1 + (n - 1) * Bpp, _mm_srli_si128(a, 8));
}

template <unsigned Bpp>
void unfilterAverageSse(uint8_t* row, const uint8_t* prev, size_t len) {
    const __m128i mask = laneMask(Bpp);
    __m128i a = _mm_setzero_si128();
    for (size_t i = 0; i + Bpp <= len; i += Bpp) {
        const __m128i b = loadPixel<Bpp>(prev + i);
        const __m128i x = loadPixel<Bpp>(row + i);
        a = _mm_and_si128(_mm_add_epi16(x, _mm_srli_epi16(_mm_add_epi16(a, b), 1)), mask);
        storePixel<Bpp>(row + i, a);
    }
}

template <unsigned Bpp>
void unfilterSubSse(uint8_t* row, size_t len) {
    const __m128i mask = laneMask(Bpp);
    __m128i a = _mm_setzero_si128();
    for (size_t i = 0; i + Bpp <= len; i += Bpp) {
        a = _mm_and_si128(_mm_add_epi16(loadPixel<Bpp>(row + i), a), mask);
        storePixel<Bpp>(row + i, a);
    }
}

template <unsigned Bpp>
bool unfilterWide(uint8_t filter, uint8_t* row, const uint8_t* prev, size_t len) {
    switch (filter) {
    case 1:
        unfilterSubSse<Bpp>(row, len);
        return true;
    case 3:
        unfilterAverageSse<Bpp>(row, prev, len);
        return true;
    case 4:
        unfilterPaethSse<Bpp>(row, prev, len);
        return true;
    default:
        return false;
    }
}
#endif

#if defined(TLV_HAVE_AVX2_PATH)
// Four Paeth lines at once in the four 64-bit groups of a 256-bit register, line j at pixel
// k - j: the "up" neighbour of each group is the group below's result of the step before.
#define TLV_AVX2 __attribute__((target("avx2")))

TLV_AVX2 inline __m256i expand4(int32_t v0, int32_t v1, int32_t v2, int32_t v3) {
    return _mm256_cvtepu8_epi16(_mm_setr_epi32(v0, v1, v2, v3));
}

inline int32_t load32(const uint8_t* p) {
    int32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

TLV_AVX2 inline __m256i paethNearest256(__m256i a, __m256i b, __m256i c) {
    const __m256i paS = _mm256_sub_epi16(b, c);
    const __m256i pbS = _mm256_sub_epi16(a, c);
    const __m256i pa = _mm256_abs_epi16(paS);
    const __m256i pb = _mm256_abs_epi16(pbS);
    const __m256i pc = _mm256_abs_epi16(_mm256_add_epi16(paS, pbS));
    const __m256i smallest = _mm256_min_epi16(pc, _mm256_min_epi16(pa, pb));
    const __m256i nearest = _mm256_blendv_epi8(c, b, _mm256_cmpeq_epi16(smallest, pb));
    return _mm256_blendv_epi8(nearest, a, _mm256_cmpeq_epi16(smallest, pa));
}

template <unsigned Bpp>
TLV_AVX2 void unfilterPaethRun4Avx2(uint8_t* row0, size_t stride, const uint8_t* prev, size_t len) {
    const long n = long(len / Bpp);
    uint8_t* rows[4] = {row0, row0 + stride, row0 + 2 * stride, row0 + 3 * stride};
    alignas(32) int16_t m[16];
    for (int i = 0; i < 16; ++i)
        m[i] = unsigned(i % 4) < Bpp ? int16_t(0x00FF) : int16_t(0);
    const __m256i laneMask = _mm256_load_si256(reinterpret_cast<const __m256i*>(m));
    __m256i a = _mm256_setzero_si256();
    __m256i b = _mm256_setzero_si256();
    for (long k = 0; k < n + 3; ++k) {
        const bool full = k >= 3 && k < n;
        int32_t x[4] = {0, 0, 0, 0};
        __m256i keep = laneMask;
        if (full) {
            for (int j = 0; j < 4; ++j)
                x[j] = load32(rows[j] + size_t(k - j) * Bpp);
        } else {
            alignas(32) int16_t km[16];
            for (int j = 0; j < 4; ++j) {
                const bool on = k - j >= 0 && k - j < n;
                if (on)
                    x[j] = load32(rows[j] + size_t(k - j) * Bpp);
                for (int i = 0; i < 4; ++i)
                    km[4 * j + i] = on ? m[4 * j + i] : int16_t(0);
            }
            keep = _mm256_load_si256(reinterpret_cast<const __m256i*>(km));
        }
        const __m256i c = b;
        const int32_t up = k < n ? load32(prev + size_t(k) * Bpp) : 0;
        b = _mm256_blend_epi32(_mm256_permute4x64_epi64(a, _MM_SHUFFLE(2, 1, 0, 0)),
                               expand4(up, 0, 0, 0), 0x03);
        a = _mm256_and_si256(
            _mm256_add_epi16(expand4(x[0], x[1], x[2], x[3]), paethNearest256(a, b, c)), keep);
        const __m128i bytes =
            _mm_packus_epi16(_mm256_castsi256_si128(a), _mm256_extracti128_si256(a, 1));
        const int32_t out[4] = {_mm_cvtsi128_si32(bytes), _mm_extract_epi32(bytes, 1),
                                _mm_extract_epi32(bytes, 2), _mm_extract_epi32(bytes, 3)};
        for (int j = 0; j < 4; ++j)
            if (full || (k - j >= 0 && k - j < n))
                std::memcpy(rows[j] + size_t(k - j) * Bpp, &out[j], Bpp);
    }
}
#endif

} // namespace

bool unfilterPaethRun4(uint8_t* row0, size_t stride, const uint8_t* prev, size_t len,
                       unsigned bpp) {
#if defined(TLV_HAVE_AVX2_PATH)
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (avx2) {
        switch (bpp) {
        case 1:
            unfilterPaethRun4Avx2<1>(row0, stride, prev, len);
            return true;
        case 2:
            unfilterPaethRun4Avx2<2>(row0, stride, prev, len);
            return true;
        case 3:
            unfilterPaethRun4Avx2<3>(row0, stride, prev, len);
            return true;
        case 4:
            unfilterPaethRun4Avx2<4>(row0, stride, prev, len);
            return true;
        default:
            break;
        }
    }
#endif
    (void)row0;
    (void)stride;
    (void)prev;
    (void)len;
    (void)bpp;
    return false;
}

bool unfilterPaethPair(uint8_t* row0, uint8_t* row1, const uint8_t* prev, size_t len,
                       unsigned bpp) {
#if defined(__SSE2__)
    switch (bpp) {
    case 1:
        unfilterPaethPairSse<1>(row0, row1, prev, len);
        return true;
    case 2:
        unfilterPaethPairSse<2>(row0, row1, prev, len);
        return true;
    case 3:
        unfilterPaethPairSse<3>(row0, row1, prev, len);
        return true;
    case 4:
        unfilterPaethPairSse<4>(row0, row1, prev, len);
        return true;
    default:
        break;
    }
#endif
    (void)row0;
    (void)row1;
    (void)prev;
    (void)len;
    return false;
}

void unfilterRow(uint8_t filter, uint8_t* row, const uint8_t* prev, size_t len, unsigned bpp) {
    if (filter == 0 || filter > 4)
        return;
    if (filter == 2) {
        unfilterUp(row, prev, len);
        return;
    }
#if defined(__SSE2__)
    // Rows are whole pixels for these depths, so the pixel loops cover every byte.
    switch (bpp) {
    case 3:
        if (unfilterWide<3>(filter, row, prev, len))
            return;
        break;
    case 4:
        if (unfilterWide<4>(filter, row, prev, len))
            return;
        break;
    case 6:
        if (unfilterWide<6>(filter, row, prev, len))
            return;
        break;
    case 8:
        if (unfilterWide<8>(filter, row, prev, len))
            return;
        break;
    default:
        break;
    }
#endif
    // Lines of whole 1- or 2-byte units (every depth below 16 bits fills whole bytes).
    if (bpp == 1 || (bpp == 2 && len % 2 == 0)) {
        switch (filter) {
        case 1:
            return bpp == 1 ? subNarrow<1>(row, len) : subNarrow<2>(row, len);
        case 3:
            return bpp == 1 ? averageNarrow<1>(row, prev, len) : averageNarrow<2>(row, prev, len);
        default:
            return bpp == 1 ? paethNarrow<1>(row, prev, len) : paethNarrow<2>(row, prev, len);
        }
    }
    switch (filter) {
    case 1:
        unfilterSub(row, len, bpp);
        break;
    case 3:
        unfilterAverageScalar(row, prev, len, bpp);
        break;
    default:
        unfilterPaethScalar(row, prev, len, bpp);
        break;
    }
}

} // namespace tlv::png
