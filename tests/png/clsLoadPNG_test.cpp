#include "control/png/clsLoadPNG.h"
#include "core/error.h"
#include "tests/png/png_test_util.h"
#include "tests/support/temp_root.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

namespace tlv {
namespace {

using test::Bytes;

constexpr uint8_t kBgR = 40, kBgG = 120, kBgB = 200;
constexpr uint32_t kButtonFace = rgbColor(240, 240, 240);

// Decodes the way the lock screen does: the box lies behind the image and receives it.
struct Decoded {
    int error = -1;
    bool complete = false;
    PictureBox box;
};

Decoded decodeOverBox(const Bytes& file, uint32_t back = rgbColor(kBgR, kBgG, kBgB)) {
    Decoded d;
    d.box.backColor = back;
    clsLoadPNG png;
    png.PicBox(&d.box);
    png.BackgroundPicture(&d.box);
    png.SetToBkgrnd(true, 0, 0);
    png.SetAlpha(true);
    png.SetTrans(true);
    png.openPngData(file.data(), file.size());
    d.error = png.ErrorNumber();
    d.complete = png.complete();
    return d;
}

std::vector<std::string> suiteFiles(bool corrupted) {
    std::vector<std::string> names;
    const std::string dir = test::pngSuiteDir();
    if (dir.empty())
        return names;
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
        const std::string name = e.path().filename().string();
        if (e.path().extension() == ".png" && (name[0] == 'x') == corrupted)
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(PngSuite, EveryValidImageGivesLibpngsPixels) {
    const auto names = suiteFiles(false);
    if (names.empty())
        GTEST_SKIP() << "conformance suite not found (set TLVCLI_PNGSUITE_DIR)";
    EXPECT_GT(names.size(), 150u);
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        const Bytes file = test::readBytes(test::pngSuiteDir() + "/" + name);
        const auto ref = test::decodeWithLibpng(file);
        ASSERT_TRUE(ref.has_value());
        const Decoded d = decodeOverBox(file);
        EXPECT_EQ(d.error, 0);
        EXPECT_TRUE(d.complete);
        ASSERT_EQ(d.box.width, ref->width);
        ASSERT_EQ(d.box.height, ref->height);
        const Bytes want = test::blendOver(*ref, kBgR, kBgG, kBgB);
        size_t diff = 0;
        while (diff < want.size() && want[diff] == d.box.pixels[diff])
            ++diff;
        EXPECT_EQ(diff, want.size()) << "first difference at pixel " << diff / 3;
    }
}

// The suite's damaged files, with what each must give. The reader does not check CRCs, so
// the two files whose only fault is a CRC decode to the picture they hold.
TEST(PngSuite, CorruptedImagesEndWithAnErrorOrAnIncompletePicture) {
    const auto names = suiteFiles(true);
    if (names.empty())
        GTEST_SKIP() << "conformance suite not found";
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        const Bytes file = test::readBytes(test::pngSuiteDir() + "/" + name);
        const Decoded d = decodeOverBox(file);
        if (name == "xcsn0g01.png" || name == "xhdn0g08.png") {
            const auto ref = test::decodeWithLibpng(file, true);
            ASSERT_TRUE(ref.has_value());
            EXPECT_EQ(d.error, 0);
            EXPECT_EQ(d.box.pixels, test::blendOver(*ref, kBgR, kBgG, kBgB));
            continue;
        }
        EXPECT_TRUE(d.error != 0 || !d.complete);
        if (d.error != 0) {
            EXPECT_EQ(d.box.width, 0) << "nothing is drawn after a format error";
        }
    }
}

TEST(PngSuite, InterlacedFourBitPaletteImageEqualsItsPlainTwin) {
    const std::string dir = test::pngSuiteDir();
    if (dir.empty())
        GTEST_SKIP();
    for (const char* base : {"3p04", "3p01", "0g04", "6a08", "2c16"}) {
        SCOPED_TRACE(base);
        const Decoded plain = decodeOverBox(test::readBytes(dir + "/basn" + base + ".png"));
        const Decoded inter = decodeOverBox(test::readBytes(dir + "/basi" + base + ".png"));
        EXPECT_EQ(plain.box.width, 32);
        EXPECT_EQ(plain.box.pixels, inter.box.pixels);
    }
}

TEST(PngSuite, ChunkValuesAreExposed) {
    const std::string dir = test::pngSuiteDir();
    if (dir.empty())
        GTEST_SKIP();
    clsLoadPNG png;
    const auto open = [&](const std::string& name) { png.OpenPNG(dir + "/" + name); };

    open("basn6a16.png");
    EXPECT_EQ(png.ErrorNumber(), 0);
    EXPECT_EQ(png.Width(), 32);
    EXPECT_EQ(png.Height(), 32);
    EXPECT_EQ(png.Bitdepht(), 16);
    EXPECT_EQ(png.ColorType(), 6);
    EXPECT_EQ(png.Interlacing(), 0);
    EXPECT_TRUE(png.HaveAlpha());
    EXPECT_FALSE(png.HaveTransparence());

    open("basi3p08.png");
    EXPECT_EQ(png.Interlacing(), 1);
    EXPECT_FALSE(png.HaveAlpha());

    open("cm9n0g04.png");
    EXPECT_EQ(png.ModiTime(), "31.12.1999 23:59:59");
    open("cm7n0g04.png");
    EXPECT_EQ(png.ModiTime(), "01.01.1970 00:00:00");

    open("g03n0g16.png");
    EXPECT_DOUBLE_EQ(png.gama(), 0.35);

    open("tbbn0g04.png");
    EXPECT_TRUE(png.HaveTransparence());
    EXPECT_TRUE(png.HasBKGDChunk());
    EXPECT_EQ(png.BkgdColor(), rgbColor(0, 0, 0));
    open("bgyn6a16.png");
    EXPECT_EQ(png.BkgdColor(), rgbColor(0xFF, 0xFF, 0x00));

    open("ct1n0g04.png");
    EXPECT_NE(png.Text().find("Title: PngSuite"), std::string::npos) << png.Text();
    EXPECT_TRUE(png.zText().empty());
    const std::string plainText = png.Text();
    open("ctzn0g04.png");
    EXPECT_NE(png.zText().find("Copyright: Copyright "), std::string::npos) << png.zText();
    EXPECT_FALSE(png.Text().empty());
    EXPECT_EQ(png.Text() + "\r\n" + png.zText(), plainText);
}

TEST(PngSuite, OwnColourOrBkgdIsTheBackgroundWithoutABackgroundPicture) {
    const std::string dir = test::pngSuiteDir();
    if (dir.empty())
        GTEST_SKIP();
    const Bytes file = test::readBytes(dir + "/bgyn6a16.png"); // bKGD yellow
    const auto ref = test::decodeWithLibpng(file);
    ASSERT_TRUE(ref.has_value());
    clsLoadPNG png;
    png.SetAlpha(true);
    png.openPngData(file.data(), file.size());
    EXPECT_EQ(png.picture().pixels, test::blendOver(*ref, 0xFF, 0xFF, 0x00));
    png.SetOwnBkgndColor(true, rgbColor(1, 2, 3));
    png.openPngData(file.data(), file.size());
    EXPECT_EQ(png.picture().pixels, test::blendOver(*ref, 1, 2, 3));
    // Black as own colour counts as "none": the file's bKGD applies.
    png.SetOwnBkgndColor(true, 0);
    png.openPngData(file.data(), file.size());
    EXPECT_EQ(png.picture().pixels, test::blendOver(*ref, 0xFF, 0xFF, 0x00));
}

Bytes smallRgbPng() {
    Bytes px;
    for (int i = 0; i < 16 * 16; ++i)
        px.insert(px.end(), {uint8_t(i), uint8_t(255 - i), uint8_t(i * 7)});
    return test::makePng(16, 16, 8, 2, test::unfilteredRows(16, 16, 3, px));
}

TEST(ClsLoadPng, FormatErrorsGiveTheirNumberAndDrawNothing) {
    const Bytes good = smallRgbPng();
    Bytes badSig = good;
    badSig[1] = 'Q';
    // Cut inside IDAT: IDAT starts after signature (8) and IHDR (25).
    Bytes cut(good.begin(), good.begin() + 8 + 25 + 8 + 20);
    Bytes noIdat(good.begin(), good.begin() + 8 + 25);
    const Bytes iend = {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};
    noIdat.insert(noIdat.end(), iend.begin(), iend.end());
    const Bytes endsBeforeIend(good.begin(), good.end() - 12);
    const struct {
        const char* what;
        Bytes file;
        int error;
    } cases[] = {
        {"wrong signature", badSig, 1},
        {"empty file", {}, 1},
        {"cut inside IDAT", cut, 3},
        {"IEND without IDAT", noIdat, 4},
        {"file ends before IEND", endsBeforeIend, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        PictureBox box(5, 5, kButtonFace);
        box.pixels[0] = 7;
        clsLoadPNG png;
        png.PicBox(&box);
        png.BackgroundPicture(&box);
        png.openPngData(c.file.data(), c.file.size());
        EXPECT_EQ(png.ErrorNumber(), c.error);
        EXPECT_EQ(box.width, 5);
        EXPECT_EQ(box.pixels[0], 7) << "the box is untouched";
    }
    const Decoded ok = decodeOverBox(good);
    EXPECT_EQ(ok.error, 0);
    EXPECT_TRUE(ok.complete);
}

TEST(ClsLoadPng, MissingFileIsAnError53) {
    clsLoadPNG png;
    try {
        png.OpenPNG("/nonexistent/logo.png");
        FAIL();
    } catch (const TlvError& e) {
        EXPECT_EQ(e.number(), kErrFileNotFound);
    }
}

// A logo with a fully transparent two-pixel border over a button-face box.
TEST(ClsLoadPng, TransparentBorderShowsTheButtonFace) {
    const int w = 20, h = 12;
    Bytes px;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const bool border = x < 2 || y < 2 || x >= w - 2 || y >= h - 2;
            px.insert(px.end(), {200, 10, 10, uint8_t(border ? 0 : 128 + x)});
        }
    const Bytes file = test::makePng(w, h, 8, 6, test::unfilteredRows(w, h, 4, px));
    PictureBox box(30, 30, kButtonFace);
    box.clear();
    clsLoadPNG png;
    png.PicBox(&box);
    png.BackgroundPicture(&box);
    png.SetToBkgrnd(true, 3, 4);
    png.SetAlpha(true);
    png.SetTrans(true);
    png.openPngData(file.data(), file.size());
    ASSERT_EQ(png.ErrorNumber(), 0);
    const auto at = [&](int x, int y) {
        const uint8_t* p = box.pixel(x, y);
        return rgbColor(p[0], p[1], p[2]);
    };
    EXPECT_EQ(at(3, 4), kButtonFace);
    EXPECT_EQ(at(3 + w - 1, 4 + h - 1), kButtonFace);
    EXPECT_EQ(at(0, 0), kButtonFace);
    const unsigned a = 128 + 5;
    EXPECT_EQ(at(3 + 5, 4 + 5), rgbColor(uint8_t((200 * a + 240 * (255 - a) + 255) / 256),
                                         uint8_t((10 * a + 240 * (255 - a) + 255) / 256),
                                         uint8_t((10 * a + 240 * (255 - a) + 255) / 256)));
}

TEST(ClsLoadPng, HugeOrLyingHeadersAreBoundedAndEndQuickly) {
    const Bytes tiny = test::unfilteredRows(1, 1, 3, {1, 2, 3});
    const struct {
        const char* what;
        int w, h, depth, type;
    } cases[] = {
        {"over the pixel limit", 100000, 100000, 8, 6},
        {"largest header", 0x7FFFFFFF, 0x7FFFFFFF, 16, 6},
        {"under the limit, almost no data", 4000, 4000, 16, 6},
        {"negative width", -5, 10, 8, 2},
        {"bad depth", 10, 10, 3, 2},
        {"bad colour type", 10, 10, 8, 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Bytes file = test::makePng(c.w, c.h, c.depth, c.type, tiny);
        const auto start = std::chrono::steady_clock::now();
        clsLoadPNG png;
        png.openPngData(file.data(), file.size());
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
        EXPECT_EQ(png.ErrorNumber(), 0);
        EXPECT_FALSE(png.complete());
    }
}

TEST(ClsLoadPng, ReadsFromAFileLikeFromMemory) {
    test::TempRoot root;
    const Bytes file = smallRgbPng();
    test::writeFile(root.file("LOGO.PNG"), std::string(file.begin(), file.end()));
    clsLoadPNG a, b;
    a.OpenPNG(root.file("LOGO.PNG"));
    b.openPngData(file.data(), file.size());
    EXPECT_EQ(a.ErrorNumber(), 0);
    EXPECT_EQ(a.picture().pixels, b.picture().pixels);
    EXPECT_EQ(a.picture().width, 16);
}

} // namespace
} // namespace tlv
