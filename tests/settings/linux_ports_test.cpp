#include "platform/linux/linux_system_info.h"
#include "platform/linux/xdg_autostart.h"
#include "tests/support/temp_root.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace tlv {
namespace {

TEST(XdgAutostart, EntryPresentAndNonEmptyMeansOn) {
    test::TempRoot root;
    XdgAutostart a(root.file("home/.config/autostart"));
    EXPECT_FALSE(a.isEnabled());
    EXPECT_TRUE(a.disable()); // nothing to remove is fine
    ASSERT_TRUE(a.enable("/opt/talvor client/bin/tlvcli"));
    EXPECT_TRUE(a.isEnabled());
    EXPECT_EQ(a.entryPath(), root.file("home/.config/autostart/tlvcli.desktop"));
    EXPECT_EQ(test::readFile(a.entryPath()), "[Desktop Entry]\n"
                                             "Type=Application\n"
                                             "Name=Talvor Client\n"
                                             "Exec=\"/opt/talvor client/bin/tlvcli\"\n"
                                             "Terminal=false\n"
                                             "X-GNOME-Autostart-enabled=true\n");
    EXPECT_TRUE(a.disable());
    EXPECT_FALSE(std::filesystem::exists(a.entryPath()));
    test::writeFile(a.entryPath(), "");
    EXPECT_FALSE(a.isEnabled());
}

TEST(XdgAutostart, ExecIsQuotedAndEscaped) {
    const std::pair<const char*, const char*> cases[] = {
        {"/usr/bin/tlvcli", "Exec=/usr/bin/tlvcli\n"},
        {"/opt/a$b/tlvcli", "Exec=\"/opt/a\\\\$b/tlvcli\"\n"},
        {"/opt/100%/tlvcli", "Exec=/opt/100%%/tlvcli\n"},
        {"/opt/q\"\\/tlvcli", "Exec=\"/opt/q\\\\\"\\\\\\\\/tlvcli\"\n"},
    };
    for (const auto& [cmd, line] : cases)
        EXPECT_NE(XdgAutostart::desktopEntry(cmd).find(line), std::string::npos) << cmd;
}

TEST(XdgAutostart, UnwritableFolderIsReported) {
    test::TempRoot root;
    test::writeFile(root.file("file"), "x");
    XdgAutostart a(root.file("file/autostart"));
    EXPECT_FALSE(a.enable("/usr/bin/tlvcli"));
    EXPECT_NE(a.lastError(), "");
}

TEST(LinuxSystemInfo, LocaleVariablesInPosixOrder) {
    struct Case {
        Environment env;
        uint32_t lcid;
    };
    const Case cases[] = {
        {{{"LANG", "de_CH.UTF-8"}}, 2055},
        {{{"LANG", "de_CH.UTF-8"}, {"LC_MESSAGES", "fr_FR.UTF-8"}}, 1036},
        {{{"LANG", "de_CH.UTF-8"}, {"LC_MESSAGES", "fr_FR"}, {"LC_ALL", "el_GR.UTF-8"}}, 1032},
        {{{"LC_ALL", ""}, {"LANG", "es_AR.UTF-8"}}, 11274},
        {{}, 1033},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LinuxSystemInfo(c.env).localeLcid(), c.lcid);
    LinuxSystemInfo sys({});
    EXPECT_FALSE(sys.userName().empty());
    EXPECT_FALSE(sys.computerName().empty());
    EXPECT_EQ(sys.computerName().find('.'), std::string::npos);
}

} // namespace
} // namespace tlv
