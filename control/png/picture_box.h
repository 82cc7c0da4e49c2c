#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tlv {

// Colours as the lock screen's settings store them: 0x00BBGGRR.
constexpr uint32_t rgbColor(uint8_t r, uint8_t g, uint8_t b) {
    return uint32_t(r) | (uint32_t(g) << 8) | (uint32_t(b) << 16);
}

// What the PNG reader draws into and reads its background from: 24-bit pixels, R G B,
// rows top-down without padding, and the colour the box is cleared to.
struct PictureBox {
    uint32_t backColor = 0;
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels; // width * height * 3

    PictureBox() = default;
    PictureBox(int w, int h, uint32_t back) : backColor(back) { resize(w, h); }

    size_t stride() const { return size_t(width) * 3; }
    uint8_t* pixel(int x, int y) { return pixels.data() + size_t(y) * stride() + size_t(x) * 3; }
    const uint8_t* pixel(int x, int y) const {
        return pixels.data() + size_t(y) * stride() + size_t(x) * 3;
    }
    // Fills the whole box with its background colour.
    void clear();
    // Keeps the pixels that stay inside; new area gets the background colour.
    void resize(int w, int h);
};

} // namespace tlv
