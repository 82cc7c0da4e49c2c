// The private desktop itself: what every test that plays a person stands on.
#include "tests/support/desktop.h"

#include <gtest/gtest.h>

#include <csignal>
#include <spawn.h>
#include <sys/wait.h>

namespace tlv::test {
namespace {

TEST(Desktop, ManagesWindowsAndTakesInput) {
    for (const char* wm : {"openbox", "xfwm4"}) {
        SCOPED_TRACE(wm);
        Desktop desktop({1024, 600, wm});
        ASSERT_TRUE(desktop.ready());
        // A window of another program, framed by the manager, found by name and clicked.
        std::string out;
        const std::vector<std::string> xmessage{"xmessage", "-geometry", "+200+150",
                                                "desktop-check"};
        std::vector<std::string> env = desktop.env();
        std::vector<char*> envp;
        std::string display = env[0];
        envp.push_back(display.data());
        envp.push_back(nullptr);
        std::vector<char*> argv;
        for (const auto& a : xmessage)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        pid_t pid = 0;
        ASSERT_EQ(posix_spawnp(&pid, "xmessage", nullptr, nullptr, argv.data(), envp.data()), 0);
        const unsigned long w = desktop.waitWindow("^xmessage$", 10000);
        ASSERT_NE(w, 0u);
        const Desktop::Rect r = desktop.geometry(w);
        EXPECT_GT(r.width, 0);
        EXPECT_GE(r.x, 200);
        EXPECT_EQ(desktop.topmost(), w);
        // Its button ends it: a real click went through.
        desktop.click(r.x + 20, r.y + r.height - 12);
        EXPECT_TRUE(waitUntil(
            [&] {
                int status = 0;
                return waitpid(pid, &status, WNOHANG) == pid;
            },
            5000))
            << "the click did not reach xmessage";
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, WNOHANG);

        const Desktop::Image before = desktop.grab();
        EXPECT_EQ(before.width, 1024);
        EXPECT_EQ(before.height, 600);
    }
}

} // namespace
} // namespace tlv::test
