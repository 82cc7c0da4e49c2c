#include "tests/png/png_test_util.h"

#include <png.h>
#include <zlib.h>

#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace tlv::test {

std::string pngSuiteDir() {
    if (const char* env = std::getenv("TLVCLI_PNGSUITE_DIR"))
        return env;
    for (const char* dir : {TLVCLI_PNGSUITE_DEFAULT, "/work/shared/testdata/pngsuite"})
        if (std::filesystem::exists(std::string(dir) + "/basn0g01.png"))
            return dir;
    return {};
}

Bytes readBytes(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

namespace {

struct MemReader {
    const Bytes* data;
    size_t pos;
};

void readFromMemory(png_structp png, png_bytep out, png_size_t n) {
    auto* r = static_cast<MemReader*>(png_get_io_ptr(png));
    if (r->data->size() - r->pos < n)
        png_error(png, "read past end");
    std::memcpy(out, r->data->data() + r->pos, n);
    r->pos += n;
}

void quietWarning(png_structp, png_const_charp) {}

} // namespace

std::optional<RgbaImage> decodeWithLibpng(const Bytes& file, bool ignoreCrc) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, quietWarning);
    png_infop info = png_create_info_struct(png);
    MemReader reader{&file, 0};
    RgbaImage img;
    std::vector<png_bytep> rows;
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return std::nullopt;
    }
    if (ignoreCrc)
        png_set_crc_action(png, PNG_CRC_QUIET_USE, PNG_CRC_QUIET_USE);
    png_set_read_fn(png, &reader, readFromMemory);
    png_read_info(png, info);
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);
    png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    img.width = int(png_get_image_width(png, info));
    img.height = int(png_get_image_height(png, info));
    img.rgba.resize(size_t(img.width) * size_t(img.height) * 4);
    for (int y = 0; y < img.height; ++y)
        rows.push_back(img.rgba.data() + size_t(y) * size_t(img.width) * 4);
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return img;
}

Bytes blendOver(const RgbaImage& img, uint8_t r, uint8_t g, uint8_t b) {
    Bytes out(size_t(img.width) * size_t(img.height) * 3);
    const uint8_t bg[3] = {r, g, b};
    for (size_t i = 0; i < out.size() / 3; ++i) {
        const unsigned a = img.rgba[4 * i + 3];
        for (int c = 0; c < 3; ++c)
            out[3 * i + c] = uint8_t((img.rgba[4 * i + c] * a + bg[c] * (255 - a) + 255) / 256);
    }
    return out;
}

namespace {

void put32(Bytes& b, uint32_t v) {
    for (int s = 24; s >= 0; s -= 8)
        b.push_back(uint8_t(v >> s));
}

void putChunk(Bytes& out, const std::string& type, const Bytes& data) {
    put32(out, uint32_t(data.size()));
    Bytes body(type.begin(), type.end());
    body.insert(body.end(), data.begin(), data.end());
    out.insert(out.end(), body.begin(), body.end());
    put32(out, uint32_t(crc32(0, body.data(), uInt(body.size()))));
}

} // namespace

Bytes makePng(int width, int height, int depth, int colorType, const Bytes& filteredRows,
              const std::vector<Chunk>& extra, int interlace) {
    Bytes out = {137, 80, 78, 71, 13, 10, 26, 10};
    Bytes ihdr;
    put32(ihdr, uint32_t(width));
    put32(ihdr, uint32_t(height));
    ihdr.push_back(uint8_t(depth));
    ihdr.push_back(uint8_t(colorType));
    ihdr.push_back(0);
    ihdr.push_back(0);
    ihdr.push_back(uint8_t(interlace));
    putChunk(out, "IHDR", ihdr);
    for (const Chunk& c : extra)
        putChunk(out, c.type, c.data);
    uLongf len = compressBound(uLong(filteredRows.size()));
    Bytes z(len);
    compress2(z.data(), &len, filteredRows.data(), uLong(filteredRows.size()), 6);
    z.resize(len);
    putChunk(out, "IDAT", z);
    putChunk(out, "IEND", {});
    return out;
}

Bytes unfilteredRows(int width, int height, int bytesPerPixel, const Bytes& pixels) {
    Bytes rows;
    const size_t line = size_t(width) * size_t(bytesPerPixel);
    for (int y = 0; y < height; ++y) {
        rows.push_back(0);
        rows.insert(rows.end(), pixels.begin() + long(line * size_t(y)),
                    pixels.begin() + long(line * size_t(y + 1)));
    }
    return rows;
}

} // namespace tlv::test
