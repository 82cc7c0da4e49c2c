#include "platform/paths.h"
#include "tests/support/temp_root.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace tlv {
namespace {

namespace fs = std::filesystem;

// The installed tree: <prefix>/bin/tlvcli finds <prefix>/share/tlvcli/{lang,docs,icons}.
TEST(InstallLayout, ShareFoldersAreFoundBesideTheProgramFolder) {
    test::TempRoot prefix;
    fs::create_directories(prefix.file("bin"));
    for (const char* name : {"lang", "docs", "icons"})
        fs::create_directories(prefix.file("share/tlvcli/") + name);
    const auto l = RuntimeLayout::fromEnvironment({{"HOME", "/home/u"}}, prefix.file("bin"));
    const std::string share = fs::canonical(prefix.file("share/tlvcli")).string();
    EXPECT_EQ(l.langFolder, share + "/lang");
    EXPECT_EQ(l.docsFolder, share + "/docs");
    EXPECT_EQ(l.iconsFolder, share + "/icons");
}

TEST(InstallLayout, EnvironmentOverridesAndSourceTreeFallback) {
    test::TempRoot prefix;
    fs::create_directories(prefix.file("bin"));
    const auto l = RuntimeLayout::fromEnvironment(
        {{"TLVCLI_DOCS_DIR", "/d"}, {"TLVCLI_ICONS_DIR", "/i"}, {"TLVCLI_LANG_DIR", "/l"}},
        prefix.file("bin"));
    EXPECT_EQ(l.langFolder, "/l");
    EXPECT_EQ(l.docsFolder, "/d");
    EXPECT_EQ(l.iconsFolder, "/i");
    // Nothing installed: the build tree's program falls back to the source data folder.
    const auto dev = RuntimeLayout::fromEnvironment({}, prefix.file("bin"));
    EXPECT_EQ(fs::path(dev.docsFolder).filename(), "docs");
    EXPECT_EQ(fs::path(dev.docsFolder).parent_path(), fs::path(dev.langFolder).parent_path());
    EXPECT_EQ(fs::path(dev.iconsFolder).parent_path().filename(), "data");
}

} // namespace
} // namespace tlv
