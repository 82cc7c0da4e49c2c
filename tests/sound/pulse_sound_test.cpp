// The mute against a real sound server: a private PulseAudio with null outputs, on a socket
// in a temporary folder, started and ended by the test (by its pid). No other server is used.
#include "app/linux_sound_mute.h"
#include "control/clsVolume.h"
#include "platform/fake/virtual_time.h"
#include "platform/linux/alsa_mixer.h"
#include "platform/linux/pulse_sound_server.h"
#include "platform/linux/system_clock.h"
#include "tests/support/temp_root.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace tlv {
namespace {

std::string findProgram(const std::string& name) {
    for (const char* dir : {"/usr/bin", "/bin", "/usr/local/bin"}) {
        const std::string p = std::string(dir) + "/" + name;
        if (::access(p.c_str(), X_OK) == 0)
            return p;
    }
    return {};
}

// Runs a program with exactly this environment; its output in *out. The exit code, or -1.
int run(const std::vector<std::string>& argv, const std::vector<std::string>& env,
        std::string* out = nullptr, bool wait = true, pid_t* started = nullptr) {
    std::vector<char*> a, e;
    std::vector<std::string> av = argv, ev = env;
    for (auto& s : av)
        a.push_back(s.data());
    a.push_back(nullptr);
    for (auto& s : ev)
        e.push_back(s.data());
    e.push_back(nullptr);
    int fds[2] = {-1, -1};
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return -1;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    if (wait)
        posix_spawn_file_actions_adddup2(&fa, fds[1], 1);
    else
        posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&fa, 1, 2);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, a[0], &fa, nullptr, a.data(), e.data());
    posix_spawn_file_actions_destroy(&fa);
    ::close(fds[1]);
    if (rc != 0) {
        ::close(fds[0]);
        return -1;
    }
    if (started)
        *started = pid;
    if (!wait) {
        ::close(fds[0]);
        return 0;
    }
    char buf[4096];
    ssize_t n = 0;
    while ((n = ::read(fds[0], buf, sizeof buf)) > 0)
        if (out)
            out->append(buf, static_cast<size_t>(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A PulseAudio of our own: no default modules (no sound card, no D-Bus), anonymous access on
// its socket, outputs "tlvA" (the default) and "tlvB".
class PrivateSoundServer : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string daemon = findProgram("pulseaudio");
        m_pactl = findProgram("pactl");
        if (daemon.empty() || m_pactl.empty())
            GTEST_SKIP() << "pulseaudio or pactl is not installed";
        ::chmod(m_root.path().c_str(), 0700);
        const std::string d = m_root.path();
        test::writeFile(d + "/client.conf", "autospawn = no\n");
        m_address = "unix:" + d + "/native";
        // D-Bus addresses that lead nowhere: the server must not find a real bus.
        const std::vector<std::string> env = {"PATH=/usr/bin:/bin",
                                              "HOME=" + d,
                                              "XDG_RUNTIME_DIR=" + d,
                                              "XDG_CONFIG_HOME=" + d,
                                              "PULSE_RUNTIME_PATH=" + d,
                                              "PULSE_STATE_PATH=" + d,
                                              "DBUS_SESSION_BUS_ADDRESS=unix:path=" + d + "/no-bus",
                                              "DBUS_SYSTEM_BUS_ADDRESS=unix:path=" + d + "/no-bus"};
        run({daemon, "-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
             "--disable-shm=yes", "--log-target=stderr", "-L",
             "module-native-protocol-unix socket=" + d + "/native auth-anonymous=1", "-L",
             "module-null-sink sink_name=tlvA", "-L", "module-null-sink sink_name=tlvB"},
            env, nullptr, false, &m_daemon);
        ASSERT_GT(m_daemon, 0);
        bool up = false;
        for (int i = 0; i < 100 && !up; ++i) {
            std::string out;
            up = pactl({"get-default-sink"}, &out) == 0 && out.find("tlvA") != std::string::npos;
            if (!up)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        ASSERT_TRUE(up) << "the private PulseAudio did not come up";
        // This process's own libpulse and ALSA's pulse plugin reach only this server.
        ::setenv("PULSE_SERVER", m_address.c_str(), 1);
        ::setenv("PULSE_CLIENTCONFIG", (d + "/client.conf").c_str(), 1);
        ::setenv("PULSE_COOKIE", (d + "/cookie").c_str(), 1);
    }
    void TearDown() override {
        if (m_daemon > 0) {
            ::kill(m_daemon, SIGTERM);
            for (int i = 0; i < 50 && ::waitpid(m_daemon, nullptr, WNOHANG) == 0; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            if (::waitpid(m_daemon, nullptr, WNOHANG) == 0) {
                ::kill(m_daemon, SIGKILL);
                ::waitpid(m_daemon, nullptr, 0);
            }
        }
    }

    int pactl(const std::vector<std::string>& args, std::string* out = nullptr) {
        std::vector<std::string> argv = {m_pactl};
        argv.insert(argv.end(), args.begin(), args.end());
        const std::string d = m_root.path();
        return run(argv,
                   {"PATH=/usr/bin:/bin", "HOME=" + d, "PULSE_SERVER=" + m_address,
                    "PULSE_CLIENTCONFIG=" + d + "/client.conf", "PULSE_COOKIE=" + d + "/cookie"},
                   out);
    }
    // What the server itself says of the output's mute switch.
    std::string muted(const std::string& sink) {
        std::string out;
        if (pactl({"get-sink-mute", sink}, &out) != 0)
            return "?";
        return out.find("yes") != std::string::npos ? "muted" : "on";
    }

    test::TempRoot m_root;
    std::string m_pactl, m_address;
    pid_t m_daemon = -1;
};

// The program's own mute, built as tlvcli builds it, on a desktop whose outputs change while
// the lock screen shows: headphones plugged in become the default.
TEST_F(PrivateSoundServer, ProgramMuteFollowsTheDefaultOutputAndRestoresEach) {
    ASSERT_EQ(pactl({"set-sink-mute", "tlvB", "1"}), 0); // the customer's own choice
    VirtualClock virtualClock;
    VirtualScheduler scheduler(virtualClock);
    SystemClock clock;
    LinuxSoundMute mute(scheduler, clock);

    mute.muteOnLock();
    EXPECT_EQ(muted("tlvA"), "muted");
    EXPECT_EQ(muted("tlvB"), "muted");
    ASSERT_EQ(pactl({"load-module", "module-null-sink", "sink_name=tlvHeadphones"}), 0);
    ASSERT_EQ(pactl({"set-default-sink", "tlvHeadphones"}), 0);
    EXPECT_EQ(muted("tlvHeadphones"), "on");
    scheduler.advance(DesktopSoundMute::kFollowMs);
    EXPECT_EQ(muted("tlvHeadphones"), "muted") << "the new default plays while locked";

    mute.restoreOnUnlock();
    EXPECT_EQ(muted("tlvA"), "on") << "the output muted at the lock stays silent";
    EXPECT_EQ(muted("tlvHeadphones"), "on");
    EXPECT_EQ(muted("tlvB"), "muted") << "the customer's mute was not kept";
}

// Through ALSA's default device (the pulse plugin of libasound2-plugins): the classic route
// reaches the server's default output as well.
TEST_F(PrivateSoundServer, AlsaRouteActsOnTheDefaultOutput) {
    AlsaMixer mixer;
    if (!clsVolume(mixer).muteControlsFound())
        GTEST_SKIP() << "ALSA's default device is not the sound server here (libasound2-plugins)";
    VolumeMute mute(mixer);
    mute.muteOnLock();
    EXPECT_EQ(muted("tlvA"), "muted");
    EXPECT_EQ(muted("tlvB"), "on");
    mute.restoreOnUnlock();
    EXPECT_EQ(muted("tlvA"), "on");

    ASSERT_EQ(pactl({"set-sink-mute", "tlvA", "1"}), 0);
    mute.muteOnLock();
    mute.restoreOnUnlock();
    EXPECT_EQ(muted("tlvA"), "muted");
}

TEST_F(PrivateSoundServer, ServerPortReadsAndWritesByName) {
    SystemClock clock;
    PulseSoundServer server(clock, m_address);
    EXPECT_EQ(server.defaultOutput(), "tlvA");
    EXPECT_EQ(server.outputMuted("tlvB"), false);
    EXPECT_TRUE(server.setOutputMuted("tlvB", true));
    EXPECT_EQ(muted("tlvB"), "muted");
    EXPECT_EQ(server.outputMuted("tlvB"), true);
    EXPECT_EQ(server.outputMuted("no-such-output"), std::nullopt);
    EXPECT_FALSE(server.setOutputMuted("no-such-output", true));
    // The server gone: nothing, quickly; back again: reconnected.
    TearDown();
    m_daemon = -1;
    EXPECT_EQ(server.defaultOutput(), std::nullopt);
    EXPECT_EQ(PulseSoundServer(clock, "unix:" + m_root.file("none")).defaultOutput(), std::nullopt);
}

} // namespace
} // namespace tlv
