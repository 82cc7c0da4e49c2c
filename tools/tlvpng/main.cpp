// tlvpng: decodes a PNG with the client's own reader and writes the 24-bit picture the lock
// screen would show as a binary PPM, or times the decoder.
//   tlvpng FILE OUT.ppm [--bg RRGGBB]
//   tlvpng --bench N FILE [--bg RRGGBB]
// Exit status: 0 on success, the reader's ErrorNumber (or the error number of a failed
// file operation) otherwise, 2 for bad usage.
#include "control/png/clsLoadPNG.h"
#include "core/error.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

namespace {

int usage() {
    std::cerr << "usage: tlvpng FILE OUT.ppm [--bg RRGGBB]\n"
                 "       tlvpng --bench N FILE [--bg RRGGBB]\n";
    return 2;
}

bool parseColor(const std::string& text, uint32_t& color) {
    if (text.size() != 6 || text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        return false;
    const unsigned long v = std::stoul(text, nullptr, 16);
    color = tlv::rgbColor(uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v));
    return true;
}

// Set up as the lock screen does: the box lies behind the image and receives it.
void prepare(tlv::clsLoadPNG& png, tlv::PictureBox& box, const tlv::PictureBox* behind) {
    png.PicBox(&box);
    png.BackgroundPicture(behind ? behind : &box);
    png.SetToBkgrnd(true, 0, 0);
    png.SetAlpha(true);
    png.SetTrans(true);
}

bool writePpm(const std::string& path, const tlv::PictureBox& box) {
    std::ofstream f(path, std::ios::binary);
    f << "P6\n" << box.width << " " << box.height << "\n255\n";
    f.write(reinterpret_cast<const char*>(box.pixels.data()), std::streamsize(box.pixels.size()));
    return bool(f);
}

int bench(long runs, const std::string& file, uint32_t bg) {
    std::ifstream f(file, std::ios::binary);
    if (!f) {
        std::cerr << "tlvpng: cannot open " << file << "\n";
        return tlv::kErrFileNotFound;
    }
    const std::vector<uint8_t> data((std::istreambuf_iterator<char>(f)),
                                    std::istreambuf_iterator<char>());
    tlv::clsLoadPNG png;
    tlv::PictureBox probe(0, 0, bg);
    prepare(png, probe, nullptr);
    png.openPngData(data.data(), data.size());
    if (png.ErrorNumber())
        return png.ErrorNumber();
    // A fixed background box and a target box: every run blends over the same pixels.
    tlv::PictureBox behind(png.Width(), png.Height(), bg);
    tlv::PictureBox box(png.Width(), png.Height(), bg);
    prepare(png, box, &behind);
    std::vector<double> us;
    for (long i = 0; i < runs; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        png.openPngData(data.data(), data.size());
        const auto t1 = std::chrono::steady_clock::now();
        us.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
    }
    std::sort(us.begin(), us.end());
    const double median = us[us.size() / 2];
    std::cout << png.Width() << "x" << png.Height() << " "
              << double(png.Width()) * png.Height() / median << " Mpixel/s\n";
    std::cout << static_cast<long long>(median + 0.5) << "\n";
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    uint32_t bg = tlv::rgbColor(255, 255, 255);
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] != "--bg")
            continue;
        if (i + 1 >= args.size() || !parseColor(args[i + 1], bg))
            return usage();
        args.erase(args.begin() + long(i), args.begin() + long(i) + 2);
        break;
    }
    try {
        if (args.size() == 3 && args[0] == "--bench") {
            char* end = nullptr;
            const long runs = std::strtol(args[1].c_str(), &end, 10);
            if (*end || runs < 1)
                return usage();
            return bench(runs, args[2], bg);
        }
        if (args.size() != 2 || args[0].rfind("--", 0) == 0)
            return usage();
        tlv::clsLoadPNG png;
        tlv::PictureBox box(0, 0, bg);
        prepare(png, box, nullptr);
        png.OpenPNG(args[0]);
        if (png.ErrorNumber()) {
            std::cerr << "tlvpng: " << args[0] << ": error " << png.ErrorNumber() << "\n";
            return png.ErrorNumber();
        }
        if (!writePpm(args[1], box)) {
            std::cerr << "tlvpng: cannot write " << args[1] << "\n";
            return tlv::kErrPathAccess;
        }
        return 0;
    } catch (const tlv::TlvError& e) {
        std::cerr << "tlvpng: " << e.what() << " (#" << e.number() << ")\n";
        return e.number();
    }
}
