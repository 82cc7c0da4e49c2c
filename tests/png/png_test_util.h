#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tlv::test {

using Bytes = std::vector<uint8_t>;

// The conformance suite's folder, empty when it cannot be found.
std::string pngSuiteDir();
Bytes readBytes(const std::string& path);

struct RgbaImage {
    int width = 0;
    int height = 0;
    Bytes rgba;
};

// libpng as the reference: every format expanded to 8-bit RGBA (16-bit samples keep their
// high byte, tRNS becomes alpha), no gamma correction.
std::optional<RgbaImage> decodeWithLibpng(const Bytes& file, bool ignoreCrc = false);
// The blend the logo reader applies, over one background colour; returns R G B bytes.
Bytes blendOver(const RgbaImage& img, uint8_t r, uint8_t g, uint8_t b);

// A minimal PNG writer: IHDR, optional extra chunks, the rows (filter byte included) as
// one zlib stream, IEND.
struct Chunk {
    std::string type;
    Bytes data;
};
Bytes makePng(int width, int height, int depth, int colorType, const Bytes& filteredRows,
              const std::vector<Chunk>& extra = {}, int interlace = 0);
// Raw rows with filter type 0 for every line.
Bytes unfilteredRows(int width, int height, int bytesPerPixel, const Bytes& pixels);

} // namespace tlv::test
