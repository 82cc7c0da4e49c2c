#pragma once

#include "control/png/picture_box.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tlv {

// The client's own PNG reader for the lock-screen logo: reads the file, inflates and
// unfilters the image, honours tRNS and alpha by blending with the pixels behind it and
// draws the 24-bit result into the picture box. Safe on any input: sizes are checked
// before anything is allocated and every loop ends.
class clsLoadPNG {
public:
    // Reads, decodes and draws the file; the outcome is in ErrorNumber. Throws TlvError 53
    // when the file cannot be opened and 7 when it is too large to read.
    void OpenPNG(const std::string& path);
    int32_t Width() const { return m_width; }
    int32_t Height() const { return m_height; }
    uint8_t Bitdepht() const { return m_bitDepth; }
    uint8_t ColorType() const { return m_colorType; }
    uint8_t Compression() const { return m_compression; }
    uint8_t Filter() const { return m_filter; }
    uint8_t Interlacing() const { return m_interlacing; }
    // 0 decoded and drawn, 1 not a PNG signature, 3 a chunk reaches past the end of the
    // file, 4 IEND without IDAT. A header the reader cannot show (unknown type, depth or
    // method, over the pixel limit) leaves 0 and draws nothing; damaged image data leave 0
    // and an incomplete picture (complete() is false).
    int ErrorNumber() const { return m_errorNumber; }
    bool HaveAlpha() const { return m_haveAlpha; }
    bool HaveTransparence() const { return m_haveTrns; }
    bool SetTrans() const { return m_setTrans; }
    void SetTrans(bool on) { m_setTrans = on; }
    bool SetAlpha() const { return m_setAlpha; }
    void SetAlpha(bool on) { m_setAlpha = on; }
    bool HasBKGDChunk() const { return m_haveBkgd; }
    // The bKGD colour as 0x00BBGGRR, samples reduced to 8 bits like the image's.
    uint32_t BkgdColor() const;
    // "keyword: text" lines joined by CR LF, Latin-1 converted to UTF-8.
    const std::string& Text() const { return m_text; }
    const std::string& zText() const { return m_zText; }
    // "dd.mm.yyyy hh:mm:ss", empty without tIME.
    const std::string& ModiTime() const { return m_modiTime; }
    double gama() const { return double(m_gamma) / 100000.0; }
    const PictureBox* BackgroundPicture() const { return m_backgroundPicture; }
    void BackgroundPicture(const PictureBox* box) { m_backgroundPicture = box; }
    bool SetOwnBkgndColor() const { return m_ownBkgnd; }
    void SetOwnBkgndColor(bool on, uint32_t color) {
        m_ownBkgnd = on;
        m_ownBkgndColor = color;
    }
    PictureBox* PicBox() const { return m_picBox; }
    void PicBox(PictureBox* box) { m_picBox = box; }
    bool SetToBkgrnd() const { return m_toBkgrnd; }
    // Negative positions count as 0.
    void SetToBkgrnd(bool on, int x = 0, int y = 0) {
        m_toBkgrnd = on;
        m_posX = x < 0 ? 0 : x;
        m_posY = y < 0 ? 0 : y;
    }

    // Beyond the members above: for tools, tests and the limits.
    uint32_t OwnBkgndColor() const { return m_ownBkgndColor; }
    // Decodes a file already in memory, like OpenPNG.
    void openPngData(const uint8_t* data, size_t size);
    // Images with more pixels than this are not decoded (nothing is drawn).
    void setMaxPixels(uint64_t n) { m_maxPixels = n; }
    uint64_t maxPixels() const { return m_maxPixels; }
    // Where the picture went when no PicBox is set.
    const PictureBox& picture() const { return m_picBox ? *m_picBox : m_ownBox; }
    // Whether the last decode filled every pixel of the image.
    bool complete() const { return m_complete; }

    static constexpr uint64_t kDefaultMaxPixels = uint64_t(1) << 24;
    static constexpr size_t kMaxFileBytes = size_t(256) << 20;
    static constexpr size_t kMaxTextBytes = size_t(1) << 20;

private:
    void reset();
    void readChunks(const uint8_t* data, size_t size);
    void handleChunk(uint32_t type, const uint8_t* p, uint32_t len);
    void addText(std::string& to, const uint8_t* p, size_t len, bool compressed);
    void decode();
    void draw(PictureBox& box);

    int32_t m_width = 0;
    int32_t m_height = 0;
    uint8_t m_bitDepth = 0;
    uint8_t m_colorType = 0;
    uint8_t m_compression = 0;
    uint8_t m_filter = 0;
    uint8_t m_interlacing = 0;
    bool m_haveHeader = false;
    int m_errorNumber = 0;
    bool m_haveAlpha = false;
    bool m_haveTrns = false;
    bool m_setTrans = false;
    bool m_setAlpha = false;
    bool m_haveBkgd = false;
    bool m_ownBkgnd = false;
    bool m_toBkgrnd = false;
    bool m_complete = false;
    uint32_t m_ownBkgndColor = 0;
    uint32_t m_gamma = 0;
    int m_posX = 0;
    int m_posY = 0;
    uint64_t m_maxPixels = kDefaultMaxPixels;
    std::vector<uint8_t> m_palette;
    std::vector<uint8_t> m_trns;
    std::vector<uint8_t> m_bkgd;
    std::vector<uint8_t> m_idat;
    std::string m_text;
    std::string m_zText;
    std::string m_modiTime;
    const PictureBox* m_backgroundPicture = nullptr;
    PictureBox* m_picBox = nullptr;
    PictureBox m_ownBox;
    // Kept between files so that a reused reader does not fault in fresh pages each time.
    std::vector<uint8_t> m_raw;
    std::vector<uint8_t> m_tmp;
};

} // namespace tlv
