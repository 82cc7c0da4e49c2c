#include "control/desktop_sound_mute.h"
#include "platform/fake/fake_sound_server.h"
#include "platform/fake/recording_ports.h"
#include "platform/fake/virtual_time.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace tlv {
namespace {

// Steps: "lock", "unlock", "tick" (the follow period passes), "default X", "plug X" (an output
// with its sound on), "unplug X", "server down", "server up".
struct Case {
    const char* name;
    std::vector<std::pair<std::string, bool>> outputs; // before the first step; first = default
    std::vector<std::string> steps;
    std::string expected;      // every output afterwards: "A:on B:muted"
    std::string fallbackCalls; // what went to the ALSA route
};

std::string describe(const FakeSoundServer& s) {
    std::string out;
    for (const auto& [name, muted] : s.outputs)
        out += (out.empty() ? "" : " ") + name + (muted ? ":muted" : ":on");
    return out;
}

class DesktopSoundMuteCases : public ::testing::TestWithParam<Case> {};

TEST_P(DesktopSoundMuteCases, LockMutesUnlockRestoresTheCustomersState) {
    const Case& c = GetParam();
    VirtualClock clock;
    VirtualScheduler scheduler(clock);
    FakeSoundServer server;
    for (const auto& [name, muted] : c.outputs)
        server.outputs[name] = muted;
    if (!c.outputs.empty())
        server.defaultName = c.outputs.front().first;
    CallLog log;
    FakeSoundMute alsa(log);
    DesktopSoundMute mute(server, alsa, scheduler);
    for (const std::string& step : c.steps) {
        std::istringstream in(step);
        std::string verb, arg;
        in >> verb >> arg;
        if (verb == "lock")
            mute.muteOnLock();
        else if (verb == "unlock")
            mute.restoreOnUnlock();
        else if (verb == "tick")
            scheduler.advance(DesktopSoundMute::kFollowMs);
        else if (verb == "default")
            server.defaultName = arg;
        else if (verb == "plug")
            server.outputs[arg] = false;
        else if (verb == "unplug")
            server.outputs.erase(arg);
        else if (verb == "server")
            server.running = arg == "up";
        else
            FAIL() << "unknown step " << step;
    }
    EXPECT_EQ(describe(server), c.expected);
    std::string calls;
    for (const auto& call : log.calls)
        calls += (calls.empty() ? "" : ", ") + call;
    EXPECT_EQ(calls, c.fallbackCalls);
}

INSTANTIATE_TEST_SUITE_P(
    Routes, DesktopSoundMuteCases,
    ::testing::Values(
        Case{"SoundOnIsMutedWhileLocked", {{"A", false}}, {"lock"}, "A:muted", ""},
        Case{"SoundOnComesBack", {{"A", false}}, {"lock", "tick", "unlock"}, "A:on", ""},
        Case{"CustomersMuteIsKeptNotForced", {{"A", true}}, {"lock", "unlock"}, "A:muted", ""},
        Case{"NewDefaultWhileLockedIsMutedAndBothComeBack",
             {{"A", false}, {"B", false}},
             {"lock", "default B", "tick", "unlock"},
             "A:on B:on",
             ""},
        Case{"NewDefaultIsMutedWithinAPeriod",
             {{"A", false}},
             {"lock", "plug H", "default H", "tick"},
             "A:muted H:muted",
             ""},
        Case{"NewDefaultTheCustomerHadMutedStaysMuted",
             {{"A", false}, {"B", true}},
             {"lock", "default B", "tick", "default A", "tick", "unlock"},
             "A:on B:muted",
             ""},
        Case{"MutedOutputUnpluggedWhileLocked",
             {{"A", false}, {"B", false}},
             {"lock", "unplug A", "default B", "tick", "unlock"},
             "B:on",
             ""},
        Case{"ASecondLockScreenDoesNotTakeMutedForTheCustomers",
             {{"A", false}},
             {"lock", "lock", "unlock"},
             "A:on",
             ""},
        Case{"UnlockWithoutLockTouchesNothing", {{"A", true}}, {"unlock"}, "A:muted", ""},
        Case{"NothingFollowedAfterTheUnlock",
             {{"A", false}, {"B", false}},
             {"lock", "unlock", "default B", "tick"},
             "A:on B:on",
             ""},
        Case{"NoServerTheAlsaRoute",
             {{"A", false}},
             {"server down", "lock", "server up", "tick", "unlock", "lock", "unlock"},
             "A:on",
             "mute 1, mute restore"},
        Case{"ServerGoneWhileLocked",
             {{"A", false}},
             {"lock", "server down", "tick", "unlock"},
             "A:muted",
             ""}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

} // namespace
} // namespace tlv
