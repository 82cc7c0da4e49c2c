#include "tests/png/png_test_util.h"
#include "tests/support/temp_root.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <sys/wait.h>

namespace tlv {
namespace {

int run(const std::string& args) {
    const int rc = std::system((std::string(TLVPNG_PATH) + " " + args + " 2>/dev/null").c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

TEST(Tlvpng, WritesThePictureAsPpmOverTheGivenColour) {
    const std::string dir = test::pngSuiteDir();
    if (dir.empty())
        GTEST_SKIP();
    test::TempRoot root;
    const std::string in = dir + "/basn6a08.png";
    ASSERT_EQ(run(in + " " + root.file("out.ppm") + " --bg 2080c0"), 0);
    const std::string ppm = test::readFile(root.file("out.ppm"));
    const std::string header = "P6\n32 32\n255\n";
    ASSERT_EQ(ppm.substr(0, header.size()), header);
    const auto ref = test::decodeWithLibpng(test::readBytes(in));
    ASSERT_TRUE(ref.has_value());
    const test::Bytes want = test::blendOver(*ref, 0x20, 0x80, 0xc0);
    EXPECT_EQ(ppm.substr(header.size()), std::string(want.begin(), want.end()));
    // White by default.
    ASSERT_EQ(run(in + " " + root.file("white.ppm")), 0);
    const test::Bytes white = test::blendOver(*ref, 255, 255, 255);
    EXPECT_EQ(test::readFile(root.file("white.ppm")).substr(header.size()),
              std::string(white.begin(), white.end()));
}

TEST(Tlvpng, ExitStatusIsTheErrorNumberOrTwoForBadUsage) {
    const std::string dir = test::pngSuiteDir();
    if (dir.empty())
        GTEST_SKIP();
    test::TempRoot root;
    EXPECT_EQ(run(dir + "/xs1n0g01.png " + root.file("a.ppm")), 1);
    EXPECT_EQ(run(dir + "/xdtn0g01.png " + root.file("a.ppm")), 4);
    EXPECT_EQ(run(""), 2);
    EXPECT_EQ(run("--bench 0 " + dir + "/basn0g01.png"), 2);
    EXPECT_EQ(run("a.png b.ppm --bg 12345"), 2);
    EXPECT_EQ(run(root.file("missing.png") + " " + root.file("a.ppm")), 53);
    EXPECT_EQ(run("--bench 3 " + dir + "/basn0g01.png >/dev/null"), 0);
}

} // namespace
} // namespace tlv
