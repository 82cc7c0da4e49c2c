#include "control/clsVolume.h"
#include "control/modIPHelper.h"
#include "control/modWinLock.h"
#include "core/log.h"
#include "platform/fake/virtual_time.h"
#include "platform/linux/alsa_mixer.h"
#include "platform/linux/linux_adapters.h"
#include "platform/lock_library.h"
#include "tests/support/temp_root.h"

#include <gtest/gtest.h>

#include <map>

namespace tlv {
namespace {

struct FakeLockLibrary : LockLibrary {
    std::vector<std::pair<ShellSwitch, int32_t>> calls;
    std::optional<int32_t> answer = 1;
    std::optional<int32_t> call(ShellSwitch w, int32_t arg) override {
        calls.emplace_back(w, arg);
        return answer;
    }
};

struct LockFixture : ::testing::Test {
    test::TempRoot root;
    VirtualClock clock;
    Logger log{clock, root.file("tlvcli.log")};
    int logLines() {
        const std::string t = test::readFile(root.file("tlvcli.log"));
        int n = 0;
        for (size_t p = t.find("Error: #"); p != std::string::npos; p = t.find("Error: #", p + 1))
            ++n;
        return n;
    }
};

TEST_F(LockFixture, WrappersPassMinusOneOrZeroAndReturnTheLow16Bits) {
    FakeLockLibrary lib;
    modWinLock lock(&lib, [this] { return &log; });
    lib.answer = 0x10000; // only high bits set: False
    EXPECT_FALSE(lock.funToggleTaskbar(true));
    lib.answer = 0x10001;
    EXPECT_TRUE(lock.funToggleDesktop(false));
    EXPECT_TRUE(lock.funToggleTaskSwitching(true));
    EXPECT_TRUE(lock.funToggleCtrlAltDel(false));
    const std::vector<std::pair<ShellSwitch, int32_t>> want = {{ShellSwitch::Taskbar, -1},
                                                               {ShellSwitch::Desktop, 0},
                                                               {ShellSwitch::TaskSwitching, -1},
                                                               {ShellSwitch::CtrlAltDel, 0}};
    EXPECT_EQ(lib.calls, want);
    EXPECT_EQ(logLines(), 0);
}

TEST_F(LockFixture, AnUnreachableLibraryLogsOneLinePerCallWithItsContext) {
    FakeLockLibrary lib;
    lib.answer = std::nullopt; // entry missing
    modWinLock missingEntry(&lib, [this] { return &log; });
    modWinLock missingLibrary(nullptr, [this] { return &log; });
    for (bool on : {false, true}) {
        EXPECT_FALSE(missingLibrary.funToggleTaskSwitching(on));
        EXPECT_FALSE(missingLibrary.funToggleCtrlAltDel(on));
        EXPECT_FALSE(missingLibrary.funToggleDesktop(on));
        EXPECT_FALSE(missingEntry.funToggleTaskbar(on));
    }
    EXPECT_EQ(logLines(), 8);
    const std::string t = test::readFile(root.file("tlvcli.log"));
    for (const char* ctx :
         {"modWinLock.funToggleTaskbarError: #453", "modWinLock.funToggleDesktopError: #53",
          "modWinLock.funToggleTaskSwitchingError", "modWinLock.funToggleCtrlAltDelError"})
        EXPECT_NE(t.find(ctx), std::string::npos) << ctx;
}

// A mixer with a master line only, unless told otherwise.
struct FakeMixer : Mixer {
    struct State {
        bool present = true;
        bool hasMute = true;
        int32_t volume = 50, mute = 0;
        int opens = 0, writes = 0;
    } s;
    std::unique_ptr<MixerControls> open() override {
        ++s.opens;
        if (!s.present)
            return nullptr;
        struct C : MixerControls {
            State& s;
            explicit C(State& st) : s(st) {}
            bool hasVolume(MixerLine l) const override { return l == MixerLine::Wave; }
            bool hasMute(MixerLine l) const override { return l == MixerLine::Wave && s.hasMute; }
            int32_t minVolume(MixerLine) const override { return 0; }
            int32_t maxVolume(MixerLine) const override { return 100; }
            std::optional<int32_t> volume(MixerLine) override { return s.volume; }
            bool setVolume(MixerLine, int32_t v) override {
                ++s.writes;
                s.volume = v;
                return true;
            }
            std::optional<int32_t> mute(MixerLine) override { return s.mute; }
            bool setMute(MixerLine, int32_t v) override {
                ++s.writes;
                s.mute = v;
                return true;
            }
        };
        return std::make_unique<C>(s);
    }
};

TEST(Volume, WritesAreClampedAndMissingControlsReadZeroAndWriteNothing) {
    FakeMixer m;
    clsVolume v(m);
    EXPECT_EQ(v.volumeControlsFound(), 1);
    EXPECT_EQ(v.muteControlsFound(), 1);
    v.setWaveVolume(250);
    EXPECT_EQ(v.WaveVolume(), 100);
    v.setWaveVolume(-5);
    EXPECT_EQ(v.WaveVolume(), 0);
    EXPECT_EQ(v.MicroVolume(), 0);
    EXPECT_FALSE(v.setCD_Volume(10));
    EXPECT_FALSE(v.setMIDIMute(1));
    FakeMixer none;
    none.s.present = false;
    clsVolume nv(none);
    EXPECT_EQ(nv.WaveMute(), 0);
    EXPECT_FALSE(nv.setWaveMute(1));
    EXPECT_EQ(nv.volumeControlsFound(), 0);
}

TEST(Volume, MuteOnLockSavesTheCustomersMuteAndUnlockPutsItBack) {
    struct Case {
        int32_t muteBefore;
        int locks; // a lock screen shown again before the unlock (a repeated pause) mutes again
    };
    for (const Case c : {Case{0, 1}, Case{1, 1}, Case{0, 2}, Case{0, 3}, Case{1, 2}}) {
        FakeMixer m;
        m.s.mute = c.muteBefore;
        VolumeMute vm(m);
        for (int i = 0; i < c.locks; ++i)
            vm.muteOnLock();
        EXPECT_EQ(m.s.mute, 1);
        vm.restoreOnUnlock();
        EXPECT_EQ(m.s.mute, c.muteBefore)
            << "customer's mute " << c.muteBefore << ", " << c.locks << " locks";
    }
    // An unlock without our own muting before it leaves the customer's mute alone, also on a
    // second unlock; no master switch: nothing written.
    FakeMixer m;
    m.s.mute = 1;
    VolumeMute vm(m);
    vm.restoreOnUnlock();
    EXPECT_EQ(m.s.mute, 1);
    vm.muteOnLock();
    vm.restoreOnUnlock();
    m.s.mute = 1; // the customer mutes during the session, then shows the status window
    vm.restoreOnUnlock();
    EXPECT_EQ(m.s.mute, 1);
    FakeMixer noSwitch;
    noSwitch.s.hasMute = false;
    VolumeMute quiet(noSwitch);
    quiet.muteOnLock();
    quiet.restoreOnUnlock();
    EXPECT_EQ(noSwitch.s.writes, 0);
}

TEST(Volume, AlsaWithoutSuchACardReadsZeroQuietly) {
    AlsaMixer mixer("hw:97");
    clsVolume v(mixer);
    EXPECT_EQ(v.WaveMute(), 0);
    EXPECT_EQ(v.WaveVolume(), 0);
    EXPECT_FALSE(v.setWaveMute(1));
}

struct AdapterFixture : ::testing::Test {
    test::TempRoot root;
    VirtualClock clock;
    Logger log{clock, root.file("tlvcli.log")};
    std::map<std::string, std::vector<std::string>> ips;
    void adapter(const std::string& name, int index, int arphrd, const std::string& mac,
                 bool wireless = false) {
        const std::string d = root.file("net/" + name);
        test::writeFile(d + "/type", std::to_string(arphrd) + "\n");
        test::writeFile(d + "/address", mac + "\n");
        test::writeFile(d + "/ifindex", std::to_string(index) + "\n");
        if (wireless)
            test::writeFile(d + "/wireless/.keep", "");
    }
    AdapterList list() {
        LinuxAdapterSource src(root.file("net"), [this] { return ips; });
        return funGetIPAdapters(src, log);
    }
};

TEST_F(AdapterFixture, TheFirstConnectedEthernetCardIsTheIdentity) {
    adapter("lo", 1, 772, "00:00:00:00:00:00");
    adapter("ppp0", 2, 512, "");
    adapter("eth0", 3, 1, "00:50:ba:0c:3f:7e");
    ips = {{"lo", {"127.0.0.1"}}, {"ppp0", {"10.64.0.2"}}, {"eth0", {"192.168.1.20"}}};
    const AdapterList l = list();
    ASSERT_EQ(l.AdapterCount, 3);
    EXPECT_EQ(l.Adapters[0].TypeName, "Loopback adapter");
    EXPECT_EQ(l.Adapters[1].TypeName, "PPP adapter");
    EXPECT_EQ(l.Adapters[2].TypeName, "Ethernet adapter");
    EXPECT_EQ(l.Adapters[2].MacAddress, "0050BA0C3F7E");
    EXPECT_EQ(hardwareIdentity(l), "0050BA0C3F7E");
}

TEST_F(AdapterFixture, WirelessAndADisconnectedWiredCardGiveNoIdentity) {
    adapter("wlan0", 2, 1, "aa:bb:cc:dd:ee:ff", true);
    adapter("eth0", 3, 1, "00:50:ba:0c:3f:7e");
    ips = {{"wlan0", {"192.168.1.30"}}};
    const AdapterList l = list();
    ASSERT_EQ(l.AdapterCount, 2);
    EXPECT_EQ(l.Adapters[0].TypeName, "Other adapter");
    EXPECT_EQ(l.Adapters[1].IpCount, 1);
    EXPECT_EQ(l.Adapters[1].IpAddresses[0], "0.0.0.0");
    EXPECT_EQ(hardwareIdentity(l), "");
}

TEST(Adapters, MacTextTable) {
    EXPECT_EQ(macAddressText({0x00, 0x50, 0xBA, 0x0C, 0x3F, 0x7E}), "0050BA0C3F7E");
    EXPECT_EQ(macAddressText({1, 2, 3, 4, 5, 6, 7, 8, 9}), "0102030405060708");
    EXPECT_EQ(macAddressText({}), "");
    EXPECT_EQ(adapterTypeName(9), "Token Ring adapter");
    EXPECT_EQ(adapterTypeName(15), "FDDI adapter");
    EXPECT_EQ(adapterTypeName(28), "Slip adapter");
    EXPECT_EQ(adapterTypeName(71), "Other adapter");
}

} // namespace
} // namespace tlv
