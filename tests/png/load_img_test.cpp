#include "ui/load_img.h"

#include "core/log.h"
#include "platform/fake/virtual_time.h"
#include "tests/png/png_test_util.h"
#include "tests/support/temp_root.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>

namespace tlv {
namespace {

const QColor kButtonFace(240, 240, 240);

class LoadImg : public ::testing::Test {
protected:
    void SetUp() override { m_log.setLogPath(m_root.file("tlvcli.log")); }
    QString path(const char* name) { return QString::fromStdString(m_root.file(name)); }
    void write(const char* name, const test::Bytes& b) {
        test::writeFile(m_root.file(name), std::string(b.begin(), b.end()));
    }
    std::string logText() { return test::readFile(m_root.file("tlvcli.log")); }

    test::TempRoot m_root;
    VirtualClock m_clock;
    Logger m_log{m_clock, m_root.file("fallback.log")};
};

// 8x6 red pixels, half transparent inside a fully transparent one-pixel border.
test::Bytes logoPng() {
    test::Bytes px;
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x) {
            const bool border = x == 0 || y == 0 || x == 7 || y == 5;
            px.insert(px.end(), {255, 0, 0, uint8_t(border ? 0 : 128)});
        }
    return test::makePng(8, 6, 8, 6, test::unfilteredRows(8, 6, 4, px));
}

TEST_F(LoadImg, PngInAnyCaseGoesToOurReaderBlendedOverTheButtonFace) {
    write("LOGO.PNG", logoPng());
    const QImage img = funLoadImg(path("LOGO.PNG"), m_log, kButtonFace);
    ASSERT_FALSE(img.isNull());
    EXPECT_EQ(img.size(), QSize(8, 6));
    EXPECT_FALSE(img.hasAlphaChannel());
    EXPECT_EQ(img.pixelColor(0, 0), kButtonFace);
    EXPECT_EQ(img.pixelColor(7, 5), kButtonFace);
    const int mixed = (255 * 128 + 240 * 127 + 255) / 256, rest = (240 * 127 + 255) / 256;
    EXPECT_EQ(img.pixelColor(3, 3), QColor(mixed, rest, rest));
}

TEST_F(LoadImg, OtherExtensionsGoToQtsReader) {
    // PNG bytes under a jpg name: Qt's reader keeps the alpha our reader would have blended.
    write("logo.jpg", logoPng());
    QImage img = funLoadImg(path("logo.jpg"), m_log, kButtonFace);
    ASSERT_FALSE(img.isNull());
    EXPECT_TRUE(img.hasAlphaChannel());
    EXPECT_EQ(img.pixelColor(0, 0).alpha(), 0);

    QImage jpeg(10, 4, QImage::Format_RGB32);
    jpeg.fill(QColor(10, 200, 30));
    ASSERT_TRUE(jpeg.save(path("photo.jpg"), "JPG"));
    img = funLoadImg(path("photo.jpg"), m_log, kButtonFace);
    EXPECT_EQ(img.size(), QSize(10, 4));
}

TEST_F(LoadImg, FailuresAreLoggedAndGiveNoLogo) {
    write("bad.png", {'n', 'o', 't', ' ', 'p', 'n', 'g', 0, 0, 0});
    write("bad.bmp", {'B', 'M', 1, 2, 3});
    EXPECT_TRUE(funLoadImg(path("bad.png"), m_log, kButtonFace).isNull());
    EXPECT_TRUE(funLoadImg(path("missing.png"), m_log, kButtonFace).isNull());
    EXPECT_TRUE(funLoadImg(path("missing.gif"), m_log, kButtonFace).isNull());
    EXPECT_TRUE(funLoadImg(path("bad.bmp"), m_log, kButtonFace).isNull());
    const std::string log = logText();
    EXPECT_NE(log.find("modGlobalFunctions.funLoadImgError: #481 | Invalid picture (PNG error 1) | "
                       "clsLoadPNG"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("modGlobalFunctions.funLoadImgError: #53 | File not found | clsLoadPNG"),
              std::string::npos);
    EXPECT_NE(log.find("modGlobalFunctions.funLoadImgError: #53 | File not found | tlvcli"),
              std::string::npos);
    // The broken bitmap is Qt's reader's failure: a second "Invalid picture" line.
    size_t invalid = 0;
    for (size_t p = log.find("#481 | Invalid picture ("); p != std::string::npos;
         p = log.find("#481 | Invalid picture (", p + 1))
        ++invalid;
    EXPECT_EQ(invalid, 2u);
}

} // namespace
} // namespace tlv

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QGuiApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
