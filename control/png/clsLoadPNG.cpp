#include "control/png/clsLoadPNG.h"

#include "control/png/inflate.h"
#include "control/png/unfilter.h"
#include "core/error.h"

#include <algorithm>
#include <cstring>
#include <fstream>

namespace tlv {

void PictureBox::clear() {
    pixels.resize(size_t(width) * size_t(height) * 3);
    const uint8_t c[3] = {uint8_t(backColor), uint8_t(backColor >> 8), uint8_t(backColor >> 16)};
    for (size_t i = 0; i < pixels.size(); i += 3)
        std::memcpy(pixels.data() + i, c, 3);
}

void PictureBox::resize(int w, int h) {
    w = std::max(w, 0);
    h = std::max(h, 0);
    if (w == width && h == height && pixels.size() == size_t(w) * size_t(h) * 3)
        return;
    PictureBox grown;
    grown.backColor = backColor;
    grown.width = w;
    grown.height = h;
    grown.clear();
    const int cw = std::min(w, width);
    for (int y = 0; cw > 0 && y < std::min(h, height); ++y)
        std::memcpy(grown.pixel(0, y), pixel(0, y), size_t(cw) * 3);
    *this = std::move(grown);
}

namespace {

// A wider copy of the hottest loops for processors that have it, picked at load time.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define TLV_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define TLV_VECTOR_CLONES
#endif

constexpr uint8_t kSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};
// The most a DEFLATE stream can expand: a 258-byte match in two bits.
constexpr uint64_t kMaxInflateRatio = 1032;

constexpr uint32_t chunkType(const char (&t)[5]) {
    return (uint32_t(uint8_t(t[0])) << 24) | (uint32_t(uint8_t(t[1])) << 16) |
           (uint32_t(uint8_t(t[2])) << 8) | uint32_t(uint8_t(t[3]));
}

uint32_t be32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}
unsigned be16(const uint8_t* p) {
    return (unsigned(p[0]) << 8) | p[1];
}

bool mulChecked(uint64_t a, uint64_t b, uint64_t& r) {
    return !__builtin_mul_overflow(a, b, &r);
}

std::string twoDigits(unsigned v) {
    return std::string(1, char('0' + (v / 10) % 10)) + char('0' + v % 10);
}

void appendLatin1(std::string& to, const uint8_t* p, size_t len) {
    for (size_t i = 0; i < len; ++i) {
        if (p[i] < 0x80) {
            to += char(p[i]);
        } else {
            to += char(0xC0 | (p[i] >> 6));
            to += char(0x80 | (p[i] & 0x3F));
        }
    }
}

int channelsOf(uint8_t colorType) {
    switch (colorType) {
    case 0:
    case 3:
        return 1;
    case 2:
        return 3;
    case 4:
        return 2;
    case 6:
        return 4;
    default:
        return 0;
    }
}

bool depthAllowed(uint8_t colorType, uint8_t depth) {
    switch (colorType) {
    case 0:
        return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
    case 3:
        return depth == 1 || depth == 2 || depth == 4 || depth == 8;
    case 2:
    case 4:
    case 6:
        return depth == 8 || depth == 16;
    default:
        return false;
    }
}

struct Adam7Pass {
    int x0, y0, dx, dy;
};
constexpr Adam7Pass kPasses[7] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                  {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};

inline uint8_t blend(unsigned c, unsigned a, unsigned bg) {
    return uint8_t((c * a + bg * (255 - a) + 255) >> 8);
}

inline void blendPixel(uint8_t* d, unsigned r, unsigned g, unsigned b, unsigned a) {
    d[0] = blend(r, a, d[0]);
    d[1] = blend(g, a, d[1]);
    d[2] = blend(b, a, d[2]);
}

// How one line of samples becomes 24-bit pixels. The destination holds the background on
// entry when the line is blended.
struct Conversion {
    uint8_t colorType = 0;
    uint8_t depth = 0;
    bool blend = false; // alpha channel or tRNS alpha honoured
    bool key = false;   // tRNS colour key for types 0 and 2 at 16 bits, 2 at 8 bits
    unsigned keyR = 0, keyG = 0, keyB = 0;
    uint8_t lut[256 * 4] = {}; // RGBA per index or grey level, for types 0 (up to 8 bits) and 3
    bool lutAlpha = false;
};

template <int Depth>
inline unsigned sampleAt(const uint8_t* s, size_t i) {
    if constexpr (Depth == 8) {
        return s[i];
    } else {
        constexpr unsigned perByte = 8 / Depth;
        const unsigned shift = 8 - Depth - unsigned(i % perByte) * Depth;
        return (s[i / perByte] >> shift) & ((1u << Depth) - 1);
    }
}

template <int Depth>
void convertIndexed(const uint8_t* s, uint8_t* d, size_t n, const Conversion& cv) {
    const uint8_t* lut = cv.lut;
    if (cv.lutAlpha) {
        for (size_t i = 0; i < n; ++i) {
            const uint8_t* e = lut + 4 * sampleAt<Depth>(s, i);
            blendPixel(d + 3 * i, e[0], e[1], e[2], e[3]);
        }
        return;
    }
    if (n == 0)
        return;
    // Four-byte stores: the fourth byte is overwritten by the next pixel.
    for (size_t i = 0; i + 1 < n; ++i)
        std::memcpy(d + 3 * i, lut + 4 * sampleAt<Depth>(s, i), 4);
    std::memcpy(d + 3 * (n - 1), lut + 4 * sampleAt<Depth>(s, n - 1), 3);
}

void convertGrey16(const uint8_t* s, uint8_t* d, size_t n, const Conversion& cv) {
    for (size_t i = 0; i < n; ++i) {
        const uint8_t g = s[2 * i];
        if (cv.key && be16(s + 2 * i) == cv.keyG)
            continue;
        d[3 * i] = d[3 * i + 1] = d[3 * i + 2] = g;
    }
}

void convertRgb8(const uint8_t* s, uint8_t* d, size_t n, const Conversion& cv) {
    if (!cv.key) {
        std::memcpy(d, s, n * 3);
        return;
    }
    for (size_t i = 0; i < n; ++i) {
        const uint8_t* p = s + 3 * i;
        if (p[0] == cv.keyR && p[1] == cv.keyG && p[2] == cv.keyB)
            continue;
        std::memcpy(d + 3 * i, p, 3);
    }
}

void convertRgb16(const uint8_t* s, uint8_t* d, size_t n, const Conversion& cv) {
    for (size_t i = 0; i < n; ++i) {
        const uint8_t* p = s + 6 * i;
        if (cv.key && be16(p) == cv.keyR && be16(p + 2) == cv.keyG && be16(p + 4) == cv.keyB)
            continue;
        d[3 * i] = p[0];
        d[3 * i + 1] = p[2];
        d[3 * i + 2] = p[4];
    }
}

// The blend loops are written so that the compiler vectorises them: no aliasing, no
// branches, one pixel per iteration.
template <int Bytes>
TLV_VECTOR_CLONES void blendGreyAlpha(const uint8_t* __restrict s, uint8_t* __restrict d,
                                      size_t n) {
    for (size_t i = 0; i < n; ++i) {
        const unsigned g = s[2 * Bytes * i];
        const unsigned a = s[2 * Bytes * i + Bytes];
        const unsigned na = 255 - a;
        d[3 * i] = uint8_t((g * a + d[3 * i] * na + 255) >> 8);
        d[3 * i + 1] = uint8_t((g * a + d[3 * i + 1] * na + 255) >> 8);
        d[3 * i + 2] = uint8_t((g * a + d[3 * i + 2] * na + 255) >> 8);
    }
}

template <int Bytes>
void convertGreyAlpha(const uint8_t* s, uint8_t* d, size_t n, const Conversion& cv) {
    if (cv.blend) {
        blendGreyAlpha<Bytes>(s, d, n);
        return;
    }
    for (size_t i = 0; i < n; ++i)
        d[3 * i] = d[3 * i + 1] = d[3 * i + 2] = s[2 * Bytes * i];
}

template <int Bytes>
TLV_VECTOR_CLONES void blendRgba(const uint8_t* __restrict s, uint8_t* __restrict d, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        const uint8_t* p = s + 4 * Bytes * i;
        const unsigned a = p[3 * Bytes];
        const unsigned na = 255 - a;
        d[3 * i] = uint8_t((p[0] * a + d[3 * i] * na + 255) >> 8);
        d[3 * i + 1] = uint8_t((p[Bytes] * a + d[3 * i + 1] * na + 255) >> 8);
        d[3 * i + 2] = uint8_t((p[2 * Bytes] * a + d[3 * i + 2] * na + 255) >> 8);
    }
}

template <int Bytes>
void convertRgba(const uint8_t* s, uint8_t* d, size_t n, const Conversion& cv) {
    if (cv.blend) {
        blendRgba<Bytes>(s, d, n);
        return;
    }
    for (size_t i = 0; i < n; ++i) {
        d[3 * i] = s[4 * Bytes * i];
        d[3 * i + 1] = s[4 * Bytes * i + Bytes];
        d[3 * i + 2] = s[4 * Bytes * i + 2 * Bytes];
    }
}

void convertLine(const Conversion& cv, const uint8_t* s, uint8_t* d, size_t n) {
    switch (cv.colorType) {
    case 0:
    case 3:
        switch (cv.depth) {
        case 1:
            return convertIndexed<1>(s, d, n, cv);
        case 2:
            return convertIndexed<2>(s, d, n, cv);
        case 4:
            return convertIndexed<4>(s, d, n, cv);
        case 8:
            return convertIndexed<8>(s, d, n, cv);
        default:
            return convertGrey16(s, d, n, cv);
        }
    case 2:
        return cv.depth == 8 ? convertRgb8(s, d, n, cv) : convertRgb16(s, d, n, cv);
    case 4:
        return cv.depth == 8 ? convertGreyAlpha<1>(s, d, n, cv) : convertGreyAlpha<2>(s, d, n, cv);
    default:
        return cv.depth == 8 ? convertRgba<1>(s, d, n, cv) : convertRgba<2>(s, d, n, cv);
    }
}

void fillRect(PictureBox& box, int x0, int y0, int w, int h, uint32_t color) {
    const uint8_t c[3] = {uint8_t(color), uint8_t(color >> 8), uint8_t(color >> 16)};
    for (int y = y0; y < y0 + h; ++y) {
        uint8_t* p = box.pixel(x0, y);
        for (int x = 0; x < w; ++x)
            std::memcpy(p + 3 * x, c, 3);
    }
}

// The part of the box outside the image's rectangle gets the box's own colour.
void clearOutside(PictureBox& box, int x0, int y0, int w, int h) {
    fillRect(box, 0, 0, box.width, y0, box.backColor);
    fillRect(box, 0, y0 + h, box.width, box.height - y0 - h, box.backColor);
    fillRect(box, 0, y0, x0, h, box.backColor);
    fillRect(box, x0 + w, y0, box.width - x0 - w, h, box.backColor);
}

} // namespace

void clsLoadPNG::reset() {
    m_width = m_height = 0;
    m_bitDepth = m_colorType = m_compression = m_filter = m_interlacing = 0;
    m_haveHeader = false;
    m_errorNumber = 0;
    m_haveAlpha = m_haveTrns = m_haveBkgd = m_complete = false;
    m_gamma = 0;
    m_palette.clear();
    m_trns.clear();
    m_bkgd.clear();
    m_idat.clear();
    m_text.clear();
    m_zText.clear();
    m_modiTime.clear();
}

void clsLoadPNG::OpenPNG(const std::string& path) {
    reset();
    std::ifstream f(path, std::ios::binary);
    if (!f)
        throw TlvError(kErrFileNotFound, "File not found", "clsLoadPNG");
    f.seekg(0, std::ios::end);
    const std::streamoff size = f.tellg();
    f.seekg(0, std::ios::beg);
    if (size < 0)
        throw TlvError(kErrPathAccess, "Path/File access error", "clsLoadPNG");
    if (uint64_t(size) > kMaxFileBytes)
        throw TlvError(7, "Out of memory", "clsLoadPNG");
    std::vector<uint8_t> data(static_cast<size_t>(size));
    if (size > 0 && !f.read(reinterpret_cast<char*>(data.data()), size))
        throw TlvError(kErrPathAccess, "Path/File access error", "clsLoadPNG");
    f.close();
    readChunks(data.data(), data.size());
}

void clsLoadPNG::openPngData(const uint8_t* data, size_t size) {
    reset();
    readChunks(data, size);
}

void clsLoadPNG::readChunks(const uint8_t* data, size_t size) {
    if (size < 8 || std::memcmp(data, kSignature, 8) != 0) {
        m_errorNumber = 1;
        return;
    }
    m_idat.reserve(size); // the image data cannot outgrow the file
    size_t pos = 8;
    for (;;) {
        // A file that ends before IEND is cut short like one cut inside a chunk.
        if (size - pos < 8) {
            m_errorNumber = 3;
            return;
        }
        const uint32_t len = be32(data + pos);
        const uint32_t type = be32(data + pos + 4);
        pos += 8;
        if (len > size - pos) {
            m_errorNumber = 3;
            return;
        }
        const uint8_t* body = data + pos;
        pos += len;
        pos += std::min<size_t>(4, size - pos); // CRC, not checked
        if (type == chunkType("IEND"))
            break;
        handleChunk(type, body, len);
    }
    if (m_idat.empty()) {
        m_errorNumber = 4;
        return;
    }
    decode();
}

void clsLoadPNG::handleChunk(uint32_t type, const uint8_t* p, uint32_t len) {
    switch (type) {
    case chunkType("IHDR"):
        if (len < 13)
            return;
        m_width = int32_t(be32(p));
        m_height = int32_t(be32(p + 4));
        m_bitDepth = p[8];
        m_colorType = p[9];
        m_compression = p[10];
        m_filter = p[11];
        m_interlacing = p[12];
        m_haveHeader = true;
        return;
    case chunkType("PLTE"):
        m_palette.assign(p, p + std::min<uint32_t>(len / 3 * 3, 256 * 3));
        return;
    case chunkType("IDAT"):
        m_idat.insert(m_idat.end(), p, p + len);
        return;
    case chunkType("bKGD"):
        m_bkgd.assign(p, p + std::min<uint32_t>(len, 6));
        m_haveBkgd = true;
        return;
    case chunkType("tRNS"):
        m_trns.assign(p, p + std::min<uint32_t>(len, 256));
        m_haveTrns = true;
        return;
    case chunkType("gAMA"):
        if (len >= 4)
            m_gamma = be32(p);
        return;
    case chunkType("tEXt"):
        addText(m_text, p, len, false);
        return;
    case chunkType("zTXt"):
        addText(m_zText, p, len, true);
        return;
    case chunkType("tIME"):
        if (len >= 7)
            m_modiTime = twoDigits(p[3]) + "." + twoDigits(p[2]) + "." + std::to_string(be16(p)) +
                         " " + twoDigits(p[4]) + ":" + twoDigits(p[5]) + ":" + twoDigits(p[6]);
        return;
    default:
        return; // cHRM, oFFs, pCAL, sCAL, hIST, pHYs, sBIT, gIFg, gIFx and the rest
    }
}

void clsLoadPNG::addText(std::string& to, const uint8_t* p, size_t len, bool compressed) {
    if (to.size() >= kMaxTextBytes)
        return;
    const uint8_t* nul = static_cast<const uint8_t*>(std::memchr(p, 0, len));
    const size_t keyLen = nul ? size_t(nul - p) : len;
    std::string line;
    appendLatin1(line, p, keyLen);
    line += ": ";
    if (nul) {
        const uint8_t* body = nul + 1;
        size_t bodyLen = len - keyLen - 1;
        if (!compressed) {
            appendLatin1(line, body, bodyLen);
        } else if (bodyLen >= 1 && body[0] == 0) {
            std::vector<uint8_t> text;
            png::inflateZlibToVector(body + 1, bodyLen - 1, text, kMaxTextBytes);
            appendLatin1(line, text.data(), text.size());
        }
    }
    if (!to.empty())
        to += "\r\n";
    to += line;
    if (to.size() > kMaxTextBytes)
        to.resize(kMaxTextBytes);
}

uint32_t clsLoadPNG::BkgdColor() const {
    if (!m_haveBkgd)
        return 0;
    const auto level = [this](const uint8_t* p) -> uint8_t {
        const unsigned v = be16(p);
        switch (m_bitDepth) {
        case 16:
            return uint8_t(v >> 8);
        case 1:
        case 2:
        case 4:
            return uint8_t((v & ((1u << m_bitDepth) - 1)) * 255 / ((1u << m_bitDepth) - 1));
        default:
            return uint8_t(v);
        }
    };
    switch (m_colorType) {
    case 3:
        if (m_bkgd.size() >= 1 && size_t(m_bkgd[0]) * 3 + 3 <= m_palette.size()) {
            const uint8_t* c = m_palette.data() + m_bkgd[0] * 3;
            return rgbColor(c[0], c[1], c[2]);
        }
        return 0;
    case 0:
    case 4:
        if (m_bkgd.size() >= 2) {
            const uint8_t g = level(m_bkgd.data());
            return rgbColor(g, g, g);
        }
        return 0;
    default:
        if (m_bkgd.size() >= 6)
            return rgbColor(level(m_bkgd.data()), level(m_bkgd.data() + 2),
                            level(m_bkgd.data() + 4));
        return 0;
    }
}

void clsLoadPNG::decode() {
    if (!m_haveHeader || m_width <= 0 || m_height <= 0 || m_compression != 0 || m_filter != 0 ||
        m_interlacing > 1 || !depthAllowed(m_colorType, m_bitDepth))
        return; // an empty picture
    m_haveAlpha = m_colorType == 4 || m_colorType == 6;
    const uint64_t w = uint64_t(m_width);
    const uint64_t h = uint64_t(m_height);
    uint64_t pixelCount;
    if (!mulChecked(w, h, pixelCount) || pixelCount > m_maxPixels)
        return;
    const unsigned bitsPerPixel = unsigned(channelsOf(m_colorType)) * m_bitDepth;
    const unsigned bpp = std::max(1u, bitsPerPixel / 8);
    const auto rowBytes = [bitsPerPixel](uint64_t pixels) {
        return (pixels * bitsPerPixel + 7) / 8;
    };

    const int passCount = m_interlacing ? 7 : 1;
    uint64_t passW[7] = {}, passH[7] = {};
    uint64_t rawSize = 0;
    uint64_t maxRow = 0;
    for (int p = 0; p < passCount; ++p) {
        const Adam7Pass ps = m_interlacing ? kPasses[p] : Adam7Pass{0, 0, 1, 1};
        passW[p] =
            w > uint64_t(ps.x0) ? (w - uint64_t(ps.x0) + uint64_t(ps.dx) - 1) / uint64_t(ps.dx) : 0;
        passH[p] =
            h > uint64_t(ps.y0) ? (h - uint64_t(ps.y0) + uint64_t(ps.dy) - 1) / uint64_t(ps.dy) : 0;
        if (!passW[p] || !passH[p])
            continue;
        uint64_t bytes;
        if (!mulChecked(rowBytes(passW[p]) + 1, passH[p], bytes))
            return;
        rawSize += bytes;
        maxRow = std::max(maxRow, rowBytes(passW[p]));
    }

    // The target: the picture box at the drawing position, grown if it is too small.
    PictureBox& box = m_picBox ? *m_picBox : m_ownBox;
    const int ox = m_picBox && m_toBkgrnd ? m_posX : 0;
    const int oy = m_picBox && m_toBkgrnd ? m_posY : 0;
    const int bx = m_toBkgrnd ? m_posX : 0;
    const int by = m_toBkgrnd ? m_posY : 0;
    uint64_t boxPixels;
    const uint64_t needW = std::max<uint64_t>(uint64_t(ox) + w, uint64_t(std::max(box.width, 0)));
    const uint64_t needH = std::max<uint64_t>(uint64_t(oy) + h, uint64_t(std::max(box.height, 0)));
    if (!mulChecked(needW, needH, boxPixels) || boxPixels / 4 > m_maxPixels || needW > INT32_MAX ||
        needH > INT32_MAX)
        return;
    if (!m_picBox)
        box.backColor = 0;
    box.resize(int(needW), int(needH));

    Conversion cv;
    cv.colorType = m_colorType;
    cv.depth = m_bitDepth;
    const bool trnsAlpha = m_setTrans && m_haveTrns;
    if (m_colorType == 0 || m_colorType == 3) {
        const bool grey = m_colorType == 0;
        const unsigned levels = grey && m_bitDepth <= 8 ? 1u << m_bitDepth : 256;
        const unsigned key =
            grey && trnsAlpha && m_trns.size() >= 2 ? be16(m_trns.data()) : 0x10000;
        for (unsigned i = 0; i < 256; ++i) {
            uint8_t* e = cv.lut + 4 * i;
            e[3] = 255;
            if (grey) {
                e[0] = e[1] = e[2] = uint8_t(i < levels ? i * 255 / (levels - 1) : 0);
                if (i == key)
                    e[3] = 0;
            } else if (size_t(i) * 3 + 3 <= m_palette.size()) {
                std::memcpy(e, m_palette.data() + 3 * i, 3);
                if (trnsAlpha && i < m_trns.size())
                    e[3] = m_trns[i];
            } else {
                e[0] = e[1] = e[2] = 0;
            }
            cv.lutAlpha |= e[3] != 255;
        }
        cv.lutAlpha = cv.lutAlpha && m_setAlpha;
        if (grey && m_bitDepth == 16 && trnsAlpha && m_setAlpha && m_trns.size() >= 2) {
            cv.key = true;
            cv.keyG = be16(m_trns.data());
        }
        cv.blend = cv.lutAlpha || cv.key;
    } else if (m_colorType == 2) {
        if (trnsAlpha && m_setAlpha && m_trns.size() >= 6) {
            cv.key = true;
            cv.keyR = be16(m_trns.data());
            cv.keyG = be16(m_trns.data() + 2);
            cv.keyB = be16(m_trns.data() + 4);
        }
        cv.blend = cv.key;
    } else {
        cv.blend = m_setAlpha;
    }

    // Background behind the rectangle: the box itself, another picture or one colour. It is
    // put in line by line just before a line is blended, while the line is in the cache.
    const bool readsBackground = cv.blend;
    const uint32_t single = m_ownBkgnd && m_ownBkgndColor != 0 ? m_ownBkgndColor : BkgdColor();
    const PictureBox* bgPic = m_backgroundPicture;
    const auto putBackground = [&](int y0, int rows) {
        if (bgPic == &box)
            return;
        if (!bgPic) {
            fillRect(box, ox, oy + y0, int(w), rows, single);
            return;
        }
        fillRect(box, ox, oy + y0, int(w), rows, bgPic->backColor);
        const int cw = std::min(int(w), bgPic->width - bx);
        for (int y = y0; y < y0 + rows && by + y < bgPic->height && cw > 0; ++y)
            std::memcpy(box.pixel(ox, oy + y), bgPic->pixel(bx, by + y), size_t(cw) * 3);
    };
    if (m_interlacing)
        putBackground(0, int(h));
    clearOutside(box, ox, oy, int(w), int(h));

    // Inflate everything at once into one buffer, no larger than the data can fill.
    uint64_t rawCap;
    if (!mulChecked(m_idat.size(), kMaxInflateRatio, rawCap))
        rawCap = rawSize;
    const size_t rawAlloc = size_t(std::min(rawSize, rawCap + kMaxInflateRatio));
    // Room for a whole last line even when the data end inside it.
    m_raw.resize(rawAlloc + size_t(maxRow) + 1 + png::kRowPadding);
    const png::InflateResult ir =
        m_idat.size() >= 2 ? png::inflateZlib(m_idat.data(), m_idat.size(), m_raw.data(), rawAlloc)
                           : png::InflateResult{png::InflateStatus::Truncated, 0};
    const size_t written = ir.written;
    std::memset(m_raw.data() + written, 0, m_raw.size() - written);
    m_tmp.assign(size_t(std::max<uint64_t>(maxRow, w * 3)) + png::kRowPadding, 0);
    std::vector<uint8_t> zeros(size_t(maxRow) + png::kRowPadding, 0);

    size_t pos = 0;
    uint64_t rowsDone = 0;
    bool stopped = false;
    for (int p = 0; p < passCount && !stopped; ++p) {
        if (!passW[p] || !passH[p])
            continue;
        const Adam7Pass ps = m_interlacing ? kPasses[p] : Adam7Pass{0, 0, 1, 1};
        const size_t len = size_t(rowBytes(passW[p]));
        const uint8_t* prev = zeros.data();
        int aheadDone = 0;
        for (uint64_t r = 0; r < passH[p]; ++r) {
            if (pos >= written) {
                stopped = true;
                break;
            }
            uint8_t* row = m_raw.data() + pos + 1;
            if (aheadDone > 0) {
                --aheadDone; // unfiltered together with a line before
            } else {
                // Runs of Paeth lines go several at a time: the serial chain of one line
                // leaves the processor idle.
                const auto paethAhead = [&](int k) {
                    if (r + uint64_t(k) >= passH[p])
                        return false;
                    for (int j = 1; j <= k; ++j) {
                        const size_t at = pos + size_t(j) * (len + 1);
                        if (at >= written || m_raw[at] != 4)
                            return false;
                    }
                    return true;
                };
                if (row[-1] == 4 && paethAhead(3) &&
                    png::unfilterPaethRun4(row, len + 1, prev, len, bpp))
                    aheadDone = 3;
                else if (row[-1] == 4 && paethAhead(1) &&
                         png::unfilterPaethPair(row, row + len + 1, prev, len, bpp))
                    aheadDone = 1;
                else
                    png::unfilterRow(row[-1], row, prev, len, bpp);
            }
            const int y = oy + ps.y0 + int(r) * ps.dy;
            if (!m_interlacing) {
                if (readsBackground)
                    putBackground(int(r), 1);
                convertLine(cv, row, box.pixel(ox, y), size_t(passW[p]));
                ++rowsDone;
            } else {
                uint8_t* t = m_tmp.data();
                const size_t n = size_t(passW[p]);
                if (readsBackground)
                    for (size_t i = 0; i < n; ++i)
                        std::memcpy(t + 3 * i, box.pixel(ox + ps.x0 + int(i) * ps.dx, y), 3);
                convertLine(cv, row, t, n);
                for (size_t i = 0; i < n; ++i)
                    std::memcpy(box.pixel(ox + ps.x0 + int(i) * ps.dx, y), t + 3 * i, 3);
            }
            prev = row;
            pos += len + 1;
        }
    }
    m_complete = !stopped && pos <= written;
    if (!m_interlacing && rowsDone < h)
        putBackground(int(rowsDone), int(h - rowsDone));
}

} // namespace tlv
