#include "core/log.h"
#include "core/scramble.h"
#include "core/settings.h"
#include "platform/fake/fake_autostart.h"
#include "platform/fake/fake_system_info.h"
#include "platform/fake/memory_hive.h"
#include "platform/fake/virtual_time.h"
#include "platform/paths.h"
#include "tests/support/temp_root.h"

#include <gtest/gtest.h>

namespace tlv {
namespace {

constexpr const char* kGeneral = "Software\\Talvor Client\\General";
constexpr const char* kConstants = "Software\\Talvor Client\\Constants";
constexpr const char* kKey = "scramble key";

// A client's settings over in-memory hives, with the log file in a temporary root.
struct Fixture {
    test::TempRoot root;
    VirtualClock clock;
    Logger log{clock, root.file("tlvcli.log")};
    MemoryHive machine, user;
    FakeSystemInfo sys;
    FakeAutostart autostart;
    RuntimeLayout layout =
        RuntimeLayout::fromEnvironment({{"TLVCLI_ROOT", root.path()}}, "/opt/tlv");
    SettingsStore store{machine, user, log, sys, layout, autostart, kKey};

    std::string logText() const { return test::readFile(root.file("tlvcli.log")); }
    std::string data(const std::string& file) const { return layout.dataFolder + "\\" + file; }
};

TEST(Scramble, KnownBytesInverseAndEmptyInputs) {
    // Key "k": sum 107, key bytes 53, 0, 0 (old scheme 107, 0, 0), cycling over three.
    EXPECT_EQ(funDoXOR("abcd", "k"), "Tbc" + std::string(1, 'd' ^ 53));
    EXPECT_EQ(funDoOldXOR("a", "k"), "\n");
    for (const std::string text : {"secret", "pässwörd€", "a\tb", "x"}) {
        EXPECT_EQ(funDoXOR(funDoXOR(text, kKey), kKey), text);
        EXPECT_EQ(funDoOldXOR(funDoOldXOR(text, kKey), kKey), text);
    }
    EXPECT_EQ(funDoXOR("secret", ""), "");
    EXPECT_EQ(funDoXOR("", kKey), "");
    // A sum above 65535 brings in the third key byte: 300 "\xff" characters.
    std::string longKey;
    for (int i = 0; i < 300; ++i)
        longKey += "\xc3\xbf"; // U+00FF, code 255: S = 76500 = 0x12AD4
    const std::string expected{char('A' ^ 0x6A), char('A' ^ 0x2A), char('A' ^ 0x01)};
    EXPECT_EQ(utf8ToAnsiCodes(funDoXOR("AAA", longKey)), expected);
}

TEST(RegistryLayer, RoundTripsPerTypeAndDefaults) {
    Fixture f;
    const std::string app = kSettingsAppName;
    struct Case {
        const char* name;
        std::string value;
        int type;
        RegVariant expected;
    };
    const Case cases[] = {
        {"Text", "192.168.1.10", REG_SZ, std::string("192.168.1.10")},
        {"Flag", "1", REG_DWORD, uint32_t{1}},
        {"Minus one", "-1", REG_DWORD, uint32_t{0xFFFFFFFF}},
        {"Padded", " 30 ", REG_DWORD, uint32_t{30}},
        {"Hex", "&H1E", REG_DWORD, uint32_t{30}},
        {"Empty text", "", REG_SZ, std::string("dflt")},     // empty gives the default
        {"Bytes", "\x01\x02", REG_BINARY, std::monostate{}}, // not a text nor a number
        {"Other type", "x", 2, std::string("dflt")},         // stores nothing
    };
    for (const auto& c : cases) {
        f.store.SetRegSettings(app, "Server", c.name, c.value, c.type);
        EXPECT_EQ(f.store.GetRegSettings(app, "Server", c.name, std::string("dflt"), c.type),
                  c.expected)
            << c.name;
    }
    EXPECT_EQ(f.machine.get("Software\\Talvor Client\\Server", "Bytes"), RegValue::bin({1, 2}));
    f.store.SetRegSettings(app, "Server", "Part", "abcdef", REG_BINARY, 3);
    EXPECT_EQ(f.machine.get("Software\\Talvor Client\\Server", "Part"),
              RegValue::bin({'a', 'b', 'c'}));
    // Missing key, missing value, other case.
    EXPECT_EQ(f.store.GetRegSettings(app, "Nowhere", "x", uint32_t{7}, REG_DWORD),
              RegVariant(uint32_t{7}));
    EXPECT_EQ(f.store.GetRegSettings(app, "server", "TEXT", std::string(), REG_SZ),
              RegVariant(std::string("192.168.1.10")));
    // The user hive is a separate tree.
    EXPECT_EQ(f.store.GetRegUserSettings(app, "Server", "Text", std::string("u"), REG_SZ),
              RegVariant(std::string("u")));
    f.store.SetRegUserSettings(app, "General", "Start active", "0", REG_DWORD);
    EXPECT_EQ(f.store.GetRegUserSettings(app, "General", "Start active", uint32_t{1}, REG_DWORD),
              RegVariant(uint32_t{0}));
    f.store.DelRegUserSettings(app, "General", "Start active");
    f.store.DelRegUserSettings(app, "General", "never written");
    EXPECT_EQ(f.store.GetRegUserSettings(app, "General", "Start active", uint32_t{1}, REG_DWORD),
              RegVariant(uint32_t{1}));
    EXPECT_EQ(f.logText(), "");
    f.store.RegFlushKey();
    EXPECT_EQ(f.machine.flushCount, 1);
    EXPECT_EQ(f.user.flushCount, 1);
}

// A hive whose writes fail, as a full disk or a read-only file would.
class FailingHive : public MemoryHive {
public:
    bool set(const std::string&, const std::string&, const RegValue&) override { return false; }
    std::string lastError() const override { return "disk I/O error"; }
};

TEST(RegistryLayer, SetterFailuresNameSectionKeyAndValue) {
    Fixture f;
    f.store.SetRegSettings(kSettingsAppName, "Server", "Port", "abc", REG_DWORD);
    f.store.SetRegSettings(kSettingsAppName, "Server", "Port", "99999999999", REG_DWORD);
    FailingHive failing;
    SettingsStore s(failing, f.user, f.log, f.sys, f.layout, f.autostart, kKey);
    s.SetRegSettings(kSettingsAppName, "General", "Default State", "3", REG_SZ);
    const std::string log = f.logText();
    EXPECT_NE(log.find("modINIFileFunctions.SetRegSettingsError - Headding: Server - Key: Port - "
                       "Value: abc: #13 | Type mismatch | tlvcli\r\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("- Value: 99999999999: #6 | Overflow"), std::string::npos);
    EXPECT_NE(log.find("Headding: General - Key: Default State - Value: 3: #75 | disk I/O error"),
              std::string::npos);
    EXPECT_FALSE(f.machine.get("Software\\Talvor Client\\Server", "Port"));
}

TEST(InitSettings, FreshMachineWritesTheTargetAndConvertsNothing) {
    Fixture f;
    f.machine.set(kConstants, "wksnHeartBeatCheck", RegValue::sz("10"));
    EXPECT_EQ(f.store.funInitSettings(4), 4);
    EXPECT_EQ(f.machine.get(kGeneral, "Current Settings Version"), RegValue::sz("4"));
    EXPECT_EQ(f.machine.get(kConstants, "wksnHeartBeatCheck"), RegValue::sz("10"));
}

TEST(InitSettings, VersionZeroRescramblesThePasswordOnce) {
    Fixture f;
    f.machine.set(kGeneral, "Password", RegValue::sz(funDoOldXOR("letmein", kKey)));
    EXPECT_EQ(f.store.funInitSettings(4), 4);
    EXPECT_EQ(f.machine.get(kGeneral, "Password"), RegValue::sz(funDoXOR("letmein", kKey)));
    EXPECT_EQ(f.machine.get(kGeneral, "Current Settings Version"), RegValue::sz("4"));
    f.store.funInitSettings(4); // later starts leave it alone
    SystemSettings s;
    f.store.subGetSystemSettings(s, ConstWksn{});
    EXPECT_EQ(s.password, "letmein");
}

TEST(InitSettings, HeartbeatRaisedToThirtyAndLogoRenamed) {
    struct Case {
        const char* from;
        std::optional<std::string> heartbeat; // stored before
        std::string expectHeartbeat;
        bool logoGif;
        bool expectPng;
    };
    const Case cases[] = {
        {"1", "10", "30", false, false}, {"1", "45", "45", false, false},
        {"2", "29", "30", false, false}, {"1", std::nullopt, "30", false, false},
        {"3", "10", "10", true, true},   {"4", "10", "10", true, false},
        {"0", "5", "30", true, true},
    };
    for (const auto& c : cases) {
        Fixture f;
        f.machine.set(kGeneral, "Current Settings Version", RegValue::sz(c.from));
        if (c.heartbeat)
            f.machine.set(kConstants, "wksnHeartBeatCheck", RegValue::sz(*c.heartbeat));
        if (c.logoGif)
            f.machine.set(kGeneral, "Logo path", RegValue::sz(f.data("logo.gif")));
        EXPECT_EQ(f.store.funInitSettings(4), 4) << c.from;
        const auto hb = f.machine.get(kConstants, "wksnHeartBeatCheck");
        if (c.heartbeat || c.from[0] < '3') {
            EXPECT_EQ(hb, RegValue::sz(c.expectHeartbeat)) << c.from;
        }
        if (c.logoGif) {
            EXPECT_EQ(f.machine.get(kGeneral, "Logo path"),
                      RegValue::sz(f.data(c.expectPng ? "logo.png" : "logo.gif")))
                << c.from;
        }
    }
}

TEST(InitSettings, AVersionOutOfRangeIsClampedNotCountedUpStepByStep) {
    // Below 0 no step has anything to do: read as 0 (with a line in the log) and converted
    // once, without two thousand million empty steps first.
    for (const char* stored : {"-99999999999", "-1"}) {
        Fixture f;
        f.machine.set(kGeneral, "Current Settings Version", RegValue::sz(stored));
        f.machine.set(kGeneral, "Password", RegValue::sz(funDoOldXOR("letmein", kKey)));
        EXPECT_EQ(f.store.funInitSettings(4), 4) << stored;
        EXPECT_EQ(f.machine.get(kGeneral, "Current Settings Version"), RegValue::sz("4"));
        EXPECT_EQ(f.machine.get(kGeneral, "Password"), RegValue::sz(funDoXOR("letmein", kKey)));
        EXPECT_NE(f.logText().find(std::string("funInitSettings: settings version ") + stored +
                                   " read as 0"),
                  std::string::npos)
            << f.logText();
    }
}

TEST(InitSettings, UnreadableVersionConvertsNothing) {
    Fixture f;
    f.machine.set(kGeneral, "Current Settings Version", RegValue::sz("two"));
    f.machine.set(kGeneral, "Password", RegValue::sz("stored"));
    f.store.funInitSettings(4);
    EXPECT_EQ(f.machine.get(kGeneral, "Password"), RegValue::sz("stored"));
    EXPECT_EQ(f.machine.get(kGeneral, "Current Settings Version"), RegValue::sz("two"));
    EXPECT_NE(f.logText().find("modFunctions.funInitSettingsError: #13"), std::string::npos);
}

TEST(Constants, DefaultsAndRoundTripWithRegistryTypes) {
    Fixture f;
    ConstWksn c;
    c.wksnHeartBeatCheck = 0;
    f.store.subGetConstWksn(c);
    const ConstWksn d;
    EXPECT_EQ(c.wksnHeartBeatCheck, 30);
    EXPECT_EQ(c.cnxBroardcastAdr, "255.255.255.255");
    EXPECT_EQ(c.genCurrencySymb, "</currSymbol>");
    EXPECT_DOUBLE_EQ(c.wksnSessionExpiryTime, 5.0 / 1440);
    EXPECT_DOUBLE_EQ(c.wksnActivateDelayTime, 2.0 / 1440);
    EXPECT_EQ(c.wksnCnxBootDelay, 90000);

    ConstWksn w;
    w.cnxUdpPortServer = 50000; // above the range of a 16-bit Integer
    w.cnxBroardcastAdr = "192.168.1.255";
    w.genAdminLogon = "boss";
    w.wksnSessionExpiryTime = 90.0 / 1440;
    w.wksnActivateDelayTime = 1.0 / 24 + 30.0 / 86400; // 1 h 0 min 30 s: whole minutes kept
    w.wksnMuteVolWhenBlocked = 0;
    w.wksnRebootOnSessionEnd = 1;
    w.wksnRegistryFlushInterval = 60;
    f.store.subSetConstWksn(w);
    EXPECT_EQ(f.machine.get(kConstants, "cnxUdpPortServer"), RegValue::sz("50000"));
    EXPECT_EQ(f.machine.get(kConstants, "wksnSessionExpiryTime"), RegValue::sz("90"));
    EXPECT_EQ(f.machine.get(kConstants, "wksnActivateDelayTime"), RegValue::sz("60"));
    EXPECT_EQ(f.machine.get(kConstants, "wksnMuteVolWhenBlocked"), RegValue::dw(0));
    EXPECT_EQ(f.machine.get(kConstants, "wksnRebootOnSessionEnd"), RegValue::dw(1));
    EXPECT_EQ(f.machine.values(kConstants).size(), 21u);
    ConstWksn r;
    f.store.subGetConstWksn(r);
    EXPECT_EQ(r.cnxUdpPortServer, 50000);
    EXPECT_EQ(r.cnxBroardcastAdr, "192.168.1.255");
    EXPECT_EQ(r.genAdminLogon, "boss");
    EXPECT_DOUBLE_EQ(r.wksnSessionExpiryTime, 90.0 / 1440);
    EXPECT_DOUBLE_EQ(r.wksnActivateDelayTime, 60.0 / 1440);
    EXPECT_EQ(r.wksnMuteVolWhenBlocked, 0);
    EXPECT_EQ(r.wksnRegistryFlushInterval, 60);
    EXPECT_EQ(r.wksnCnxMinDelay, d.wksnCnxMinDelay);
    EXPECT_EQ(f.logText(), "");
}

TEST(Constants, ABadValueCostsOnlyThatField) {
    Fixture f;
    f.machine.set(kConstants, "wksnHeartBeatCheck", RegValue::sz("thirty"));
    f.machine.set(kConstants, "wksnShutdownDelay", RegValue::sz("7"));
    f.machine.set(kConstants, "wksnSessionExpiryTime", RegValue::sz("2.5"));
    ConstWksn c;
    f.store.subGetConstWksn(c);
    EXPECT_EQ(c.wksnHeartBeatCheck, 30);
    EXPECT_EQ(c.wksnShutdownDelay, 7);
    EXPECT_DOUBLE_EQ(c.wksnSessionExpiryTime, 2.5 / 1440);
    EXPECT_NE(f.logText().find("modFunctions.subGetConstWksnError - Headding: Constants - Key: "
                               "wksnHeartBeatCheck: #13 | Type mismatch: \"thirty\""),
              std::string::npos)
        << f.logText();
}

TEST(SystemSettings, DefaultsOfAnEmptyMachine) {
    Fixture f;
    SystemSettings s;
    f.store.subGetSystemSettings(s, ConstWksn{});
    EXPECT_EQ(s.windowsUserName, "guest1");
    EXPECT_TRUE(s.standaloneWorkstation);
    EXPECT_EQ(s.computerName, "cafe-pc07");
    EXPECT_EQ(s.computerAddress, "cafe-pc07");
    EXPECT_EQ(s.workstationName, "cafe-pc07");
    EXPECT_EQ(s.logPath, f.data("tlvcli.log"));
    EXPECT_EQ(s.serverName, "");
    EXPECT_EQ(s.serverPort, "4646");
    EXPECT_EQ(s.serverTimeOut, "10");
    EXPECT_TRUE(s.automaticServerConnection);
    EXPECT_EQ(s.password, "");
    EXPECT_EQ(s.configWizardMachine, 0);
    EXPECT_EQ(s.configWizardUser, 0);
    EXPECT_FALSE(s.hideCardNumber);
    EXPECT_EQ(s.defaultState, 2);
    EXPECT_EQ(s.defaultMode, 1);
    EXPECT_EQ(s.defaultUsage, 2);
    EXPECT_EQ(s.logoPath, f.data("logo.png"));
    EXPECT_EQ(s.interfaceLanguage, "tlvcli_en");
    EXPECT_EQ(s.defaultInterfaceLanguage, "tlvcli_en");
    EXPECT_EQ(s.interfaceLanguageCharset, 0);
    EXPECT_EQ(s.messagePrefix, "\\en_");
    EXPECT_EQ(s.msgIntro, f.data("en_intro.rtf"));
    EXPECT_EQ(s.msgBlocked, f.data("en_blocked.rtf"));
    EXPECT_EQ(s.msgNoCredit, f.data("en_nocredit.rtf"));
    EXPECT_EQ(s.msgSessionEnd, f.data("en_sessionend.rtf"));
    EXPECT_EQ(s.msgSessionPaused, f.data("en_sessionpaused.rtf"));
    EXPECT_EQ(s.messageLogoFilesType, 0);
    EXPECT_TRUE(s.startActive);
    EXPECT_TRUE(s.allowLockdown);
    EXPECT_TRUE(s.startAtLogon); // wizard never run: offered switched on
    EXPECT_EQ(f.logText(), "");
}

TEST(SystemSettings, LanguageFromTheLocale) {
    struct Case {
        uint32_t lcid;
        const char* language;
        const char* prefix;
        int charset;
    };
    const Case cases[] = {
        {2055, "tlvcli_de", "\\de_", 0},   {1031, "tlvcli_de", "\\de_", 0},
        {1032, "tlvcli_el", "\\el_", 160}, {6156, "tlvcli_fr", "\\fr_", 0},
        {1046, "tlvcli_br", "\\br_", 0},   {20490, "tlvcli_es", "\\es_", 0},
        {2067, "tlvcli_nl", "\\nl_", 0},   {1038, "tlvcli_hu", "\\hu_", 0},
        {1040, "tlvcli_it", "\\it_", 0},   {2064, "tlvcli_en", "\\en_", 0},
        {2070, "tlvcli_en", "\\en_", 0},   {0, "tlvcli_en", "\\en_", 0},
    };
    for (const auto& c : cases) {
        Fixture f;
        f.sys.lcid = c.lcid;
        SystemSettings s;
        f.store.subGetSystemSettings(s, ConstWksn{});
        EXPECT_EQ(s.interfaceLanguage, c.language) << c.lcid;
        EXPECT_EQ(s.defaultInterfaceLanguage, c.language) << c.lcid;
        EXPECT_EQ(s.messagePrefix, c.prefix) << c.lcid;
        EXPECT_EQ(s.interfaceLanguageCharset, c.charset) << c.lcid;
        EXPECT_EQ(s.msgIntro, f.layout.dataFolder + c.prefix + "intro.rtf") << c.lcid;
    }
    EXPECT_EQ(messagePrefixFor("tlvcli_xx"), "\\en_");
    EXPECT_EQ(messagePrefixFor("TLVCLI_DE"), "\\de_");
}

TEST(SystemSettings, StoredValuesWinAndHashesAreRemoved) {
    Fixture f;
    f.machine.set(kGeneral, "Workstation Name", RegValue::sz("PC#1"));
    f.machine.set(kGeneral, "Interface Language", RegValue::sz("tlvcli_fr"));
    f.machine.set(kGeneral, "Hide Card Number", RegValue::dw(1));
    f.machine.set(kGeneral, "Default State", RegValue::sz("4"));
    f.machine.set(kGeneral, "Config Wizard", RegValue::sz("1"));
    f.machine.set(kGeneral, "Password", RegValue::sz(funDoXOR("top", kKey)));
    f.machine.set("Software\\Talvor Client\\Message paths", "Intro",
                  RegValue::sz("/srv/intro.rtf"));
    f.user.set(kGeneral, "Allow Lockdown", RegValue::dw(0));
    f.store.setHardwareIdentitySource([] { return std::string("00-11-22-33-44-55"); });
    SystemSettings s;
    f.store.subGetSystemSettings(s, ConstWksn{});
    EXPECT_EQ(s.workstationName, "PC1");
    EXPECT_EQ(s.computerAddress, "00-11-22-33-44-55");
    EXPECT_EQ(s.messagePrefix, "\\fr_");
    EXPECT_EQ(s.msgBlocked, f.data("fr_blocked.rtf"));
    EXPECT_EQ(s.msgIntro, "/srv/intro.rtf");
    EXPECT_TRUE(s.hideCardNumber);
    EXPECT_EQ(s.defaultState, 4);
    EXPECT_EQ(s.password, "top");
    EXPECT_FALSE(s.allowLockdown);
    EXPECT_FALSE(s.startAtLogon); // wizard done, no autostart entry
    f.autostart.enabled = true;
    f.store.subGetSystemSettings(s, ConstWksn{});
    EXPECT_TRUE(s.startAtLogon);
}

TEST(SystemSettings, DisklessModeUsesTheWindowsUser) {
    Fixture f;
    f.machine.set(kGeneral, "Standalone Workstation", RegValue::dw(0));
    f.machine.set(kGeneral, "Workstation Name", RegValue::sz("machine name"));
    SystemSettings s;
    f.store.subGetSystemSettings(s, ConstWksn{});
    EXPECT_FALSE(s.standaloneWorkstation);
    EXPECT_EQ(s.computerName, "guest1");
    EXPECT_EQ(s.computerAddress, "guest1");
    EXPECT_EQ(s.workstationName, "guest1");
    EXPECT_EQ(s.logPath, f.data("guest1-tlvcli.log"));
    f.user.set(kGeneral, "Workstation Name", RegValue::sz("#Seat 4#"));
    f.store.subGetSystemSettings(s, ConstWksn{});
    EXPECT_EQ(s.workstationName, "Seat 4");
}

TEST(SystemSettings, WrittenBackWithTypesAndTheAutostartEntry) {
    Fixture f;
    SystemSettings s;
    f.store.subGetSystemSettings(s, ConstWksn{});
    s.serverName = "192.168.1.10";
    s.startActive = false;
    s.interfaceLanguageCharset = 161;
    ConstWksn c;
    c.wksnStartDelay = 12;
    f.store.subSetSystemSettings(s, c);
    EXPECT_EQ(f.machine.get(kGeneral, "Standalone Workstation"), RegValue::dw(1));
    EXPECT_EQ(f.machine.get(kGeneral, "Workstation Name"), RegValue::sz("cafe-pc07"));
    EXPECT_EQ(f.machine.get("Software\\Talvor Client\\Server", "Name"),
              RegValue::sz("192.168.1.10"));
    EXPECT_EQ(f.machine.get("Software\\Talvor Client\\Server", "Automatic Server Connection"),
              RegValue::dw(1));
    EXPECT_EQ(f.machine.get(kGeneral, "Interface Language Charset"), RegValue::dw(161));
    EXPECT_EQ(f.machine.get(kGeneral, "Start Delay"), RegValue::sz("12"));
    EXPECT_EQ(f.user.get(kGeneral, "Start active"), RegValue::dw(0));
    EXPECT_EQ(f.user.get(kGeneral, "Allow Lockdown"), RegValue::dw(1));
    EXPECT_TRUE(f.autostart.enabled);
    EXPECT_EQ(f.autostart.command, "/opt/tlv/tlvcli");

    s.standaloneWorkstation = false;
    s.workstationName = "seat4";
    s.startAtLogon = false;
    f.store.subSetSystemSettings(s, c);
    EXPECT_EQ(f.user.get(kGeneral, "Workstation Name"), RegValue::sz("seat4"));
    EXPECT_FALSE(f.autostart.enabled);
    f.autostart.failWrites = true;
    f.store.subSetSystemSettings(s, c);
    EXPECT_NE(f.logText().find("subSetSystemSettingsError - Run: #75 | write refused"),
              std::string::npos);
}

TEST(UserSettings, CentredByDefaultAndRoundTrip) {
    Fixture f;
    UserSettings u;
    f.store.subGetUserSettings(u, 1024 * 15, 768 * 15);
    EXPECT_EQ(u.mainTop, (768 * 15 - 1935) / 2);
    EXPECT_EQ(u.mainLeft, (1024 * 15 - 4740) / 2);
    u.mainTop = 120;
    u.mainLeft = -30;
    f.store.subSetUserSettings(u);
    EXPECT_EQ(f.user.get("Software\\Talvor Client\\Main window position", "Left"),
              RegValue::sz("-30"));
    UserSettings r;
    f.store.subGetUserSettings(r, 1, 1);
    EXPECT_EQ(r.mainTop, 120);
    EXPECT_EQ(r.mainLeft, -30);
}

TEST(Password, StoredScrambledReadBackClear) {
    Fixture f;
    f.store.storePassword("p@ss word");
    EXPECT_EQ(f.machine.get(kGeneral, "Password"), RegValue::sz(funDoXOR("p@ss word", kKey)));
    SystemSettings s;
    f.store.subGetSystemSettings(s, ConstWksn{});
    EXPECT_EQ(s.password, "p@ss word");
}

} // namespace
} // namespace tlv
