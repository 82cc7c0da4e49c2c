// Decode speed of the logo reader against libpng and libspng, all three to the same 24-bit
// picture blended over a background, and of its inflate against zlib and libdeflate. The
// corpus is made in memory at start-up. After the runs a table gives each speed as a ratio
// to the reference measured in the same run (CPU time, steadier than wall time on a shared
// machine), and their geometric mean.
#include "control/png/clsLoadPNG.h"
#include "control/png/inflate.h"
#include "control/png/unfilter.h"

#include <benchmark/benchmark.h>
#include <libdeflate.h>
#include <png.h>
#include <spng.h>
#include <zlib.h>

#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
constexpr uint8_t kBg[3] = {240, 240, 240};

// ---- corpus -------------------------------------------------------------------------

struct Rgba {
    uint8_t r, g, b, a;
};

// Tiles of gradients, photo-like noisy gradients, flat blocks, text-like strokes and a little
// pure noise; alpha ramps, holes and opaque areas.
std::vector<Rgba> makeContent(int w, int h, uint32_t seed) {
    std::vector<Rgba> px(size_t(w) * size_t(h));
    std::mt19937 rng(seed);
    const int tw = 240, th = 180;
    for (int ty = 0; ty * th < h; ++ty)
        for (int tx = 0; tx * tw < w; ++tx) {
            const int kind = int(rng() % 10);
            const uint8_t base[3] = {uint8_t(rng()), uint8_t(rng()), uint8_t(rng())};
            const int alphaKind = int(rng() % 4);
            for (int y = ty * th; y < std::min(h, (ty + 1) * th); ++y)
                for (int x = tx * tw; x < std::min(w, (tx + 1) * tw); ++x) {
                    const int lx = x - tx * tw, ly = y - ty * th;
                    Rgba& p = px[size_t(y) * size_t(w) + size_t(x)];
                    int c[3];
                    if (kind < 3) { // gradient
                        c[0] = base[0] + lx;
                        c[1] = base[1] + ly;
                        c[2] = base[2] + (lx + ly) / 2;
                    } else if (kind < 5) { // photo-like: gradient with noise
                        const int n = int(rng() % 17) - 8;
                        c[0] = base[0] + lx / 2 + n;
                        c[1] = base[1] + ly / 2 + n;
                        c[2] = base[2] + n;
                    } else if (kind < 7) { // flat blocks
                        const int blk = ((lx / 60) + (ly / 45)) % 3;
                        c[0] = base[0] * blk / 2;
                        c[1] = base[1];
                        c[2] = base[2] * (2 - blk) / 2;
                    } else if (kind < 9) { // text-like: dark strokes on a light page
                        const bool ink = (ly % 14) < 9 && ((lx * 7 + ly * 3) % 11 < 3 ||
                                                           (lx % 9 == 0 && (ly % 14) < 8));
                        c[0] = c[1] = c[2] = ink ? 20 : 250;
                    } else { // noise
                        c[0] = int(rng() & 255);
                        c[1] = int(rng() & 255);
                        c[2] = int(rng() & 255);
                    }
                    p.r = uint8_t(std::clamp(c[0], 0, 255));
                    p.g = uint8_t(std::clamp(c[1], 0, 255));
                    p.b = uint8_t(std::clamp(c[2], 0, 255));
                    switch (alphaKind) {
                    case 0:
                        p.a = 255;
                        break;
                    case 1:
                        p.a = uint8_t(lx * 255 / tw);
                        break;
                    case 2:
                        p.a = (lx / 30 + ly / 30) % 2 ? 255 : 0;
                        break;
                    default:
                        p.a = uint8_t(128 + ly / 2);
                    }
                }
        }
    return px;
}

// The RGBA logo: a rounded badge with soft edges inside a transparent border.
std::vector<Rgba> makeLogo(int w, int h) {
    std::vector<Rgba> px(size_t(w) * size_t(h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const double dx = std::max(0.0, std::abs(x - w / 2.0) - (w / 2.0 - 40));
            const double dy = std::max(0.0, std::abs(y - h / 2.0) - (h / 2.0 - 40));
            const double d = std::sqrt(dx * dx + dy * dy);
            const double a = std::clamp(30.0 - d, 0.0, 1.0);
            const bool ink = ((x / 12 + y / 16) % 3 == 0) && d < 20;
            px[size_t(y) * size_t(w) + size_t(x)] = {uint8_t(ink ? 250 : 20 + x * 200 / w),
                                                     uint8_t(ink ? 250 : 60), uint8_t(160),
                                                     uint8_t(a * 255)};
        }
    return px;
}

void writeToVector(png_structp png, png_bytep data, png_size_t n) {
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + n);
}
void noFlush(png_structp) {}

// Encodes with libpng's defaults (level 6, adaptive filters), like most PNG writers.
Bytes encode(const std::vector<Rgba>& px, int w, int h, int colorType, int depth, bool interlace,
             bool stored = false) {
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return {};
    }
    png_set_write_fn(png, &out, writeToVector, noFlush);
    if (stored) { // for timing conversion alone: no compression, no filters
        png_set_compression_level(png, 0);
        png_set_filter(png, 0, PNG_FILTER_NONE);
    }
    png_set_IHDR(png, info, png_uint_32(w), png_uint_32(h), depth, colorType,
                 interlace ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_color> palette;
    const int levels = depth == 4 ? 16 : 256;
    if (colorType == PNG_COLOR_TYPE_PALETTE) {
        for (int i = 0; i < levels; ++i) {
            if (levels == 256) // 6 x 7 x 6 cube
                palette.push_back({uint8_t(i % 6 * 51), uint8_t(i / 6 % 7 * 42),
                                   uint8_t(std::min(255, i / 42 * 51))});
            else
                palette.push_back({uint8_t(i * 17), uint8_t(255 - i * 17), uint8_t(i * 8)});
        }
        png_set_PLTE(png, info, palette.data(), int(palette.size()));
    }
    png_write_info(png, info);
    const int channels = colorType == 0 || colorType == 3 ? 1
                         : colorType == 2                 ? 3
                         : colorType == 4                 ? 2
                                                          : 4;
    const size_t bytesPerSample = depth == 16 ? 2 : 1;
    std::vector<Bytes> rows(size_t(h), Bytes(size_t(w) * size_t(channels) * bytesPerSample));
    for (int y = 0; y < h; ++y) {
        uint8_t* r = rows[size_t(y)].data();
        for (int x = 0; x < w; ++x) {
            const Rgba& p = px[size_t(y) * size_t(w) + size_t(x)];
            const uint8_t grey = uint8_t((p.r * 3 + p.g * 4 + p.b) / 8);
            uint8_t s[4] = {p.r, p.g, p.b, p.a};
            int n = 0;
            switch (colorType) {
            case 0:
                s[0] = grey;
                n = 1;
                break;
            case 4:
                s[0] = grey;
                s[1] = p.a;
                n = 2;
                break;
            case 2:
                n = 3;
                break;
            case 6:
                n = 4;
                break;
            default:
                n = 0;
            }
            if (colorType == 3) {
                if (depth == 8) {
                    r[x] = uint8_t(p.r * 6 / 256 + 6 * (p.g * 7 / 256) + 42 * (p.b * 6 / 256));
                } else {
                    const uint8_t idx = uint8_t(grey >> 4);
                    r[x / 2] = uint8_t(x % 2 ? (r[x / 2] | idx) : idx << 4);
                }
                continue;
            }
            for (int c = 0; c < n; ++c) {
                if (depth == 16) {
                    r[(x * n + c) * 2] = s[c];
                    r[(x * n + c) * 2 + 1] = uint8_t(s[c] * 37 + x); // low byte varies
                } else {
                    r[x * n + c] = s[c];
                }
            }
        }
    }
    std::vector<png_bytep> ptrs;
    for (auto& r : rows)
        ptrs.push_back(r.data());
    png_write_image(png, ptrs.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

struct Image {
    std::string name;
    Bytes file;
    int width = 0, height = 0;
};

std::vector<Image> makeCorpus() {
    const int w = 1920, h = 1080;
    const auto content = makeContent(w, h, 11);
    std::vector<Image> c;
    const struct {
        const char* name;
        int type;
    } types[] = {{"grey8", 0}, {"rgb8", 2}, {"palette8", 3}, {"greyalpha8", 4}, {"rgba8", 6}};
    for (const auto& t : types)
        for (bool inter : {false, true})
            c.push_back({std::string(t.name) + (inter ? "_adam7" : ""),
                         encode(content, w, h, t.type, 8, inter), w, h});
    c.push_back({"rgb16", encode(content, w, h, 2, 16, false), w, h});
    c.push_back({"palette4", encode(content, w, h, 3, 4, false), w, h});
    c.push_back({"logo_rgba", encode(makeLogo(480, 200), 480, 200, 6, 8, false), 480, 200});
    return c;
}

// ---- the shared blend of the references --------------------------------------------

// Written and compiled like the reader's own blend (vectorised, AVX2 where available), so
// that the references are not slowed down by a weaker loop than ours.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
__attribute__((target_clones("avx2", "default")))
#endif
void blendRow(const uint8_t* __restrict rgba, const uint8_t* __restrict bg,
              uint8_t* __restrict out, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        const unsigned a = rgba[4 * i + 3];
        const unsigned na = 255 - a;
        out[3 * i] = uint8_t((rgba[4 * i] * a + bg[3 * i] * na + 255) >> 8);
        out[3 * i + 1] = uint8_t((rgba[4 * i + 1] * a + bg[3 * i + 1] * na + 255) >> 8);
        out[3 * i + 2] = uint8_t((rgba[4 * i + 2] * a + bg[3 * i + 2] * na + 255) >> 8);
    }
}

// ---- decoders -------------------------------------------------------------------------

struct Target {
    tlv::PictureBox behind;
    tlv::PictureBox out;
    Bytes rgba; // scratch for the references
};

Target makeTarget(const Image& img) {
    Target t;
    const uint32_t bg = tlv::rgbColor(kBg[0], kBg[1], kBg[2]);
    t.behind = tlv::PictureBox(img.width, img.height, bg);
    t.out = tlv::PictureBox(img.width, img.height, bg);
    t.rgba.resize(size_t(img.width) * size_t(img.height) * 4);
    return t;
}

bool decodeOurs(tlv::clsLoadPNG& png, const Image& img) {
    png.openPngData(img.file.data(), img.file.size());
    return png.ErrorNumber() == 0 && png.complete();
}

struct MemReader {
    const Bytes* data;
    size_t pos;
};
void readMem(png_structp png, png_bytep out, png_size_t n) {
    auto* r = static_cast<MemReader*>(png_get_io_ptr(png));
    if (r->data->size() - r->pos < n)
        png_error(png, "eof");
    std::memcpy(out, r->data->data() + r->pos, n);
    r->pos += n;
}

bool decodeLibpng(const Image& img, Target& t) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    MemReader reader{&img.file, 0};
    std::vector<png_bytep> rows;
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_set_read_fn(png, &reader, readMem);
    png_read_info(png, info);
    const int type = png_get_color_type(png, info);
    const bool alpha = (type & PNG_COLOR_MASK_ALPHA) || png_get_valid(png, info, PNG_INFO_tRNS);
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    const size_t w = size_t(img.width), h = size_t(img.height);
    uint8_t* out = t.out.pixels.data();
    const uint8_t* bg = t.behind.pixels.data();
    if (!alpha) {
        for (size_t y = 0; y < h; ++y)
            rows.push_back(out + y * w * 3);
        png_read_image(png, rows.data());
    } else if (passes == 1) {
        for (size_t y = 0; y < h; ++y) {
            png_read_row(png, t.rgba.data(), nullptr);
            blendRow(t.rgba.data(), bg + y * w * 3, out + y * w * 3, w);
        }
    } else {
        for (size_t y = 0; y < h; ++y)
            rows.push_back(t.rgba.data() + y * w * 4);
        png_read_image(png, rows.data());
        for (size_t y = 0; y < h; ++y)
            blendRow(rows[y], bg + y * w * 3, out + y * w * 3, w);
    }
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

bool decodeSpng(const Image& img, Target& t) {
    spng_ctx* ctx = spng_ctx_new(0);
    spng_set_png_buffer(ctx, img.file.data(), img.file.size());
    spng_ihdr ihdr;
    bool ok = spng_get_ihdr(ctx, &ihdr) == 0;
    spng_trns trns;
    const bool alpha =
        ihdr.color_type == 4 || ihdr.color_type == 6 || spng_get_trns(ctx, &trns) == 0;
    const size_t w = size_t(img.width), h = size_t(img.height);
    if (ok && !alpha) {
        ok =
            spng_decode_image(ctx, t.out.pixels.data(), t.out.pixels.size(), SPNG_FMT_RGB8, 0) == 0;
    } else if (ok) {
        ok = spng_decode_image(ctx, t.rgba.data(), t.rgba.size(), SPNG_FMT_RGBA8,
                               SPNG_DECODE_TRNS) == 0;
        for (size_t y = 0; ok && y < h; ++y)
            blendRow(t.rgba.data() + y * w * 4, t.behind.pixels.data() + y * w * 3,
                     t.out.pixels.data() + y * w * 3, w);
    }
    spng_ctx_free(ctx);
    return ok;
}

// The IDAT stream of a PNG, as one zlib stream.
Bytes idatOf(const Bytes& file) {
    Bytes z;
    size_t pos = 8;
    while (pos + 12 <= file.size()) {
        const uint32_t len = (uint32_t(file[pos]) << 24) | (uint32_t(file[pos + 1]) << 16) |
                             (uint32_t(file[pos + 2]) << 8) | file[pos + 3];
        if (std::memcmp(&file[pos + 4], "IDAT", 4) == 0)
            z.insert(z.end(), file.begin() + long(pos + 8), file.begin() + long(pos + 8 + len));
        pos += 12 + len;
    }
    return z;
}

// ---- results ----------------------------------------------------------------------

// Keeps the CPU time per iteration of every run; with repetitions, their median.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> secondsPerIteration;
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            if (r.iterations <= 0)
                continue;
            const double t = r.cpu_accumulated_time / double(r.iterations);
            if (r.run_type == Run::RT_Iteration && !m_median.count(r.run_name.str()))
                secondsPerIteration[r.run_name.str()] = t;
            if (r.run_type == Run::RT_Aggregate && r.aggregate_name == "median") {
                m_median.insert(r.run_name.str());
                secondsPerIteration[r.run_name.str()] = t;
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

private:
    std::set<std::string> m_median;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    const std::vector<Image> corpus = makeCorpus();
    std::vector<std::string> imageNames;

    for (const Image& img : corpus) {
        imageNames.push_back(img.name);
        const double pixels = double(img.width) * img.height;
        benchmark::RegisterBenchmark(("png/ours/" + img.name).c_str(), [&img, pixels](
                                                                           benchmark::State& st) {
            Target t = makeTarget(img);
            tlv::clsLoadPNG png;
            png.PicBox(&t.out);
            png.BackgroundPicture(&t.behind);
            png.SetToBkgrnd(true, 0, 0);
            png.SetAlpha(true);
            png.SetTrans(true);
            for (auto _ : st)
                if (!decodeOurs(png, img))
                    st.SkipWithError("decode failed");
            st.counters["Mpx/s"] = benchmark::Counter(pixels * double(st.iterations()) / 1e6,
                                                      benchmark::Counter::kIsRate);
        })->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("png/libpng/" + img.name).c_str(), [&img, pixels](
                                                                             benchmark::State& st) {
            Target t = makeTarget(img);
            for (auto _ : st)
                if (!decodeLibpng(img, t))
                    st.SkipWithError("decode failed");
            st.counters["Mpx/s"] = benchmark::Counter(pixels * double(st.iterations()) / 1e6,
                                                      benchmark::Counter::kIsRate);
        })->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("png/libspng/" + img.name).c_str(),
                                     [&img, pixels](benchmark::State& st) {
                                         Target t = makeTarget(img);
                                         for (auto _ : st)
                                             if (!decodeSpng(img, t))
                                                 st.SkipWithError("decode failed");
                                         st.counters["Mpx/s"] = benchmark::Counter(
                                             pixels * double(st.iterations()) / 1e6,
                                             benchmark::Counter::kIsRate);
                                     })
            ->Unit(benchmark::kMillisecond);
    }

    // Inflate alone: the image data of two corpus files.
    struct Stream {
        std::string name;
        Bytes z;
        size_t rawSize;
    };
    std::vector<Stream> streams;
    for (const char* name : {"rgb8", "rgba8", "palette8"}) {
        for (const Image& img : corpus)
            if (img.name == name) {
                Stream s{std::string("idat_") + name, idatOf(img.file), 0};
                uLongf n = uLongf(img.width) * uLongf(img.height) * 8 + uLongf(img.height);
                Bytes raw(n);
                uncompress(raw.data(), &n, s.z.data(), uLong(s.z.size()));
                s.rawSize = n;
                streams.push_back(std::move(s));
            }
    }
    std::vector<std::string> streamNames;
    for (const Stream& s : streams) {
        streamNames.push_back(s.name);
        const auto reg = [&s](const std::string& impl, auto fn) {
            benchmark::RegisterBenchmark(("inflate/" + impl + "/" + s.name).c_str(),
                                         [&s, fn](benchmark::State& st) {
                                             Bytes out(s.rawSize);
                                             for (auto _ : st)
                                                 if (fn(s, out) != s.rawSize)
                                                     st.SkipWithError("inflate failed");
                                             st.SetBytesProcessed(int64_t(st.iterations()) *
                                                                  int64_t(s.rawSize));
                                         })
                ->Unit(benchmark::kMillisecond);
        };
        reg("ours", [](const Stream& s, Bytes& out) {
            return tlv::png::inflateZlib(s.z.data(), s.z.size(), out.data(), out.size()).written;
        });
        reg("zlib", [](const Stream& s, Bytes& out) {
            uLongf n = uLongf(out.size());
            uncompress(out.data(), &n, s.z.data(), uLong(s.z.size()));
            return size_t(n);
        });
        reg("libdeflate", [](const Stream& s, Bytes& out) {
            libdeflate_decompressor* d = libdeflate_alloc_decompressor();
            size_t n = 0;
            libdeflate_zlib_decompress(d, s.z.data(), s.z.size(), out.data(), out.size(), &n);
            libdeflate_free_decompressor(d);
            return n;
        });
    }

    // Stages on their own, in time per pixel: unfiltering 1920-pixel lines, and conversion
    // with blending (a stored, unfiltered file leaves little else to do).
    for (unsigned bpp : {1u, 3u, 4u, 8u})
        for (int filter = 1; filter <= 4; ++filter) {
            static const char* names[] = {"", "sub", "up", "average", "paeth"};
            const std::string name =
                "stage/unfilter_" + std::string(names[filter]) + "/bpp" + std::to_string(bpp);
            benchmark::RegisterBenchmark(name.c_str(), [bpp, filter](benchmark::State& st) {
                const size_t w = 1920, rows = 64, len = w * bpp;
                std::mt19937 rng(3);
                Bytes data((len + 1) * rows + tlv::png::kRowPadding);
                for (auto& b : data)
                    b = uint8_t(rng());
                const Bytes original = data;
                for (auto _ : st) {
                    for (size_t r = 1; r < rows; ++r)
                        tlv::png::unfilterRow(uint8_t(filter), data.data() + r * (len + 1) + 1,
                                              data.data() + (r - 1) * (len + 1) + 1, len, bpp);
                    benchmark::DoNotOptimize(data.data());
                }
                st.counters["px"] =
                    benchmark::Counter(double(w * (rows - 1)) * double(st.iterations()),
                                       benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
            });
        }
    for (unsigned bpp : {3u, 4u})
        benchmark::RegisterBenchmark(
            ("stage/unfilter_paeth_pairs/bpp" + std::to_string(bpp)).c_str(),
            [bpp](benchmark::State& st) {
                const size_t w = 1920, rows = 65, len = w * bpp;
                std::mt19937 rng(3);
                Bytes data((len + 1) * rows + tlv::png::kRowPadding);
                for (auto& b : data)
                    b = uint8_t(rng());
                for (auto _ : st) {
                    for (size_t r = 1; r + 1 < rows; r += 2)
                        tlv::png::unfilterPaethPair(
                            data.data() + r * (len + 1) + 1, data.data() + (r + 1) * (len + 1) + 1,
                            data.data() + (r - 1) * (len + 1) + 1, len, bpp);
                    benchmark::DoNotOptimize(data.data());
                }
                st.counters["px"] =
                    benchmark::Counter(double(w * (rows - 1)) * double(st.iterations()),
                                       benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
            });
    for (unsigned bpp : {1u, 3u, 4u})
        benchmark::RegisterBenchmark(
            ("stage/unfilter_paeth_runs_of_4/bpp" + std::to_string(bpp)).c_str(),
            [bpp](benchmark::State& st) {
                const size_t w = 1920, rows = 65, len = w * bpp;
                std::mt19937 rng(3);
                Bytes data((len + 1) * rows + tlv::png::kRowPadding);
                for (auto& b : data)
                    b = uint8_t(rng());
                for (auto _ : st) {
                    for (size_t r = 1; r + 3 < rows; r += 4)
                        if (!tlv::png::unfilterPaethRun4(data.data() + r * (len + 1) + 1, len + 1,
                                                         data.data() + (r - 1) * (len + 1) + 1, len,
                                                         bpp))
                            st.SkipWithError("no AVX2");
                    benchmark::DoNotOptimize(data.data());
                }
                st.counters["px"] =
                    benchmark::Counter(double(w * (rows - 1)) * double(st.iterations()),
                                       benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
            });
    static std::vector<Image> stored;
    {
        const auto content = makeContent(1920, 1080, 5);
        stored.push_back({"rgb8", encode(content, 1920, 1080, 2, 8, false, true), 1920, 1080});
        stored.push_back({"rgba8", encode(content, 1920, 1080, 6, 8, false, true), 1920, 1080});
        stored.push_back({"grey8", encode(content, 1920, 1080, 0, 8, false, true), 1920, 1080});
    }
    for (const Image& img : stored)
        benchmark::RegisterBenchmark(
            ("stage/stored_decode/" + img.name).c_str(),
            [&img](benchmark::State& st) {
                Target t = makeTarget(img);
                tlv::clsLoadPNG png;
                png.PicBox(&t.out);
                png.BackgroundPicture(&t.behind);
                png.SetAlpha(true);
                for (auto _ : st)
                    decodeOurs(png, img);
                st.counters["px"] =
                    benchmark::Counter(double(img.width) * img.height * double(st.iterations()),
                                       benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
            })
            ->Unit(benchmark::kMillisecond);

    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    const auto& t = reporter.secondsPerIteration;
    const auto ratioTable = [&t](const char* title, const std::string& prefix,
                                 const std::vector<std::string>& names, const char* ref,
                                 std::vector<const char*> others) {
        std::printf("\n%s (speed relative to %s; higher is faster)\n", title, ref);
        std::printf("%-18s", "");
        for (const char* o : others)
            std::printf(" %12s", o);
        std::printf("\n");
        std::vector<double> logSum(others.size(), 0.0);
        std::vector<int> count(others.size(), 0);
        for (const std::string& n : names) {
            const auto r = t.find(prefix + ref + "/" + n);
            if (r == t.end())
                continue;
            std::printf("%-18s", n.c_str());
            for (size_t i = 0; i < others.size(); ++i) {
                const auto o = t.find(prefix + others[i] + "/" + n);
                if (o == t.end() || o->second <= 0) {
                    std::printf(" %12s", "-");
                    continue;
                }
                const double ratio = r->second / o->second;
                logSum[i] += std::log(ratio);
                ++count[i];
                std::printf(" %11.2fx", ratio);
            }
            std::printf("\n");
        }
        std::printf("%-18s", "geometric mean");
        for (size_t i = 0; i < others.size(); ++i)
            if (count[i])
                std::printf(" %11.2fx", std::exp(logSum[i] / count[i]));
        std::printf("\n");
    };
    ratioTable("PNG decode to 24-bit blended output", "png/", imageNames, "libpng",
               {"ours", "libspng"});
    ratioTable("Inflate", "inflate/", streamNames, "zlib", {"ours", "libdeflate"});
    return 0;
}
