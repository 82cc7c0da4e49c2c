#include "platform/paths.h"
#include "platform/system_info.h"

#include <gtest/gtest.h>

namespace tlv {
namespace {

TEST(RuntimeLayout, RootOverrideKeepsEverythingUnderTheRoot) {
    const auto l = RuntimeLayout::fromEnvironment(
        {{"TLVCLI_ROOT", "/tmp/r"}, {"TLVCLI_SANDBOX", "1"}, {"HOME", "/home/u"}}, "/opt/bin");
    EXPECT_TRUE(l.sandbox);
    EXPECT_EQ(l.dataFolder, "/tmp/r/ProgramData/Talvor Client");
    EXPECT_EQ(l.machineHive, "/tmp/r/HKLM.db");
    EXPECT_EQ(l.userHive, "/tmp/r/HKCU.db");
    EXPECT_EQ(l.userAppData, "/tmp/r/home");
    EXPECT_EQ(l.autostartDir, "/tmp/r/home/.config/autostart");
    EXPECT_EQ(l.actionsLog, "/tmp/r/actions.log");
}

TEST(RuntimeLayout, DefaultsFollowTheMachineRootAndXdgConfig) {
    auto l = RuntimeLayout::fromEnvironment({{"HOME", "/home/u"}}, "/usr/bin");
    EXPECT_FALSE(l.sandbox);
    EXPECT_EQ(l.machineHive, "/var/lib/talvor-client/HKLM.db");
    EXPECT_EQ(l.userHive, "/home/u/.config/talvor-client/HKCU.db");
    l = RuntimeLayout::fromEnvironment({{"HOME", "/home/u"}, {"XDG_CONFIG_HOME", "/x"}}, "/usr/bin");
    EXPECT_EQ(l.userHive, "/x/talvor-client/HKCU.db");
    EXPECT_EQ(l.autostartDir, "/x/autostart");
}

TEST(Lcid, LocaleNamesMapToWindowsLcids) {
    const std::pair<const char*, uint32_t> cases[] = {
        {"de_CH.UTF-8", 2055}, {"fr_FR.UTF-8", 1036}, {"es_AR", 11274}, {"pt_BR.utf8", 1046},
        {"el_GR", 1032},       {"C", 1033},           {"de_XX", 1031},  {"", 1033},
    };
    for (const auto& [name, lcid] : cases)
        EXPECT_EQ(lcidFromLocaleName(name), lcid) << name;
}

} // namespace
} // namespace tlv
