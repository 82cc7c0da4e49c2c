// libFuzzer target: any byte string through the logo reader and through inflate alone.
#include "control/png/clsLoadPNG.h"
#include "control/png/inflate.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The last byte picks the drawing options, so that every path gets inputs.
    const uint8_t opts = size ? data[size - 1] : 0;
    tlv::clsLoadPNG png;
    png.setMaxPixels(1 << 20);
    tlv::PictureBox box(opts & 1 ? 7 : 0, opts & 2 ? 5 : 0, tlv::rgbColor(240, 240, 240));
    tlv::PictureBox behind(3, 9, tlv::rgbColor(1, 2, 3));
    png.PicBox(opts & 4 ? nullptr : &box);
    png.BackgroundPicture(opts & 8 ? &behind : (opts & 16 ? nullptr : &box));
    png.SetToBkgrnd(opts & 32, opts & 64 ? 3 : 0, 1);
    png.SetAlpha(!(opts & 128));
    png.SetTrans(true);
    png.SetOwnBkgndColor(opts & 2, tlv::rgbColor(9, 9, 9));
    png.openPngData(data, size);
    (void)png.BkgdColor();

    std::vector<uint8_t> out(1 << 16);
    tlv::png::inflateRaw(data, size, out.data(), out.size());
    return 0;
}
