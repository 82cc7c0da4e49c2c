#include "tests/control2/linux_rig.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace tlv::test {

namespace {

int spawnWith(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv,
              posix_spawn_file_actions_t* actions) {
    std::vector<std::string> envStore;
    for (char** e = environ; *e; ++e)
        envStore.emplace_back(*e);
    for (const auto& kv : extraEnv) {
        const std::string key = kv.substr(0, kv.find('=') + 1);
        std::erase_if(envStore, [&](const std::string& s) { return s.rfind(key, 0) == 0; });
        envStore.push_back(kv);
    }
    std::vector<char*> env, args;
    for (auto& s : envStore)
        env.push_back(s.data());
    env.push_back(nullptr);
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, args[0], actions, nullptr, args.data(), env.data()) != 0)
        return -1;
    return pid;
}

} // namespace

Child::Child(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", 01, 0); // O_WRONLY
    m_pid = spawnWith(argv, extraEnv, &actions);
    posix_spawn_file_actions_destroy(&actions);
}

Child::~Child() {
    kill();
}

bool Child::waitExit(int ms) {
    if (m_pid <= 0)
        return true;
    if (m_exited)
        return true;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    do {
        const pid_t r = ::waitpid(m_pid, &m_status, WNOHANG);
        if (r == m_pid) {
            m_exited = true;
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    } while (std::chrono::steady_clock::now() < end);
    return false;
}

bool Child::exitedNormally() const {
    return m_exited && WIFEXITED(m_status);
}
bool Child::killedBySignal(int sig) const {
    return m_exited && WIFSIGNALED(m_status) && WTERMSIG(m_status) == sig;
}

void Child::kill() {
    if (m_pid > 0 && !m_exited) {
        ::kill(m_pid, SIGKILL);
        waitExit(5000);
    }
}

std::vector<int> descendantsOf(int root) {
    std::multimap<int, int> children;
    if (DIR* d = ::opendir("/proc")) {
        while (dirent* e = ::readdir(d)) {
            const int pid = std::atoi(e->d_name);
            if (pid <= 0)
                continue;
            std::ifstream stat(std::string("/proc/") + e->d_name + "/stat");
            std::string line;
            std::getline(stat, line);
            const auto close = line.rfind(')');
            if (close == std::string::npos)
                continue;
            char state = 0;
            int ppid = 0;
            if (std::sscanf(line.c_str() + close + 1, " %c %d", &state, &ppid) == 2)
                children.emplace(ppid, pid);
        }
        ::closedir(d);
    }
    std::vector<int> out;
    std::vector<int> todo{root};
    while (!todo.empty()) {
        const int p = todo.back();
        todo.pop_back();
        auto [b, e] = children.equal_range(p);
        for (auto it = b; it != e; ++it) {
            out.push_back(it->second);
            todo.push_back(it->second);
        }
    }
    return out;
}

namespace {
void endTree(int pid) {
    if (pid <= 0)
        return;
    const std::vector<int> below = descendantsOf(pid);
    for (int p : below)
        ::kill(p, SIGTERM);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    for (int p : below)
        ::kill(p, SIGKILL);
}
} // namespace

ProcessTree::ProcessTree(const std::vector<std::string>& argv,
                         const std::vector<std::string>& extraEnv)
    : m_child(argv, extraEnv) {}

ProcessTree::~ProcessTree() {
    endTree(m_child.pid());
    m_child.kill();
}

DbusSession::DbusSession() {
    int fds[2];
    if (::pipe(fds) != 0)
        return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    m_pid = spawnWith({"dbus-daemon", "--session", "--nofork", "--nopidfile",
                       "--print-address=" + std::to_string(fds[1])},
                      {}, &actions);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    pollfd p{fds[0], POLLIN, 0};
    char buf[512];
    while (m_pid > 0 && ::poll(&p, 1, 10000) > 0) {
        const ssize_t n = ::read(fds[0], buf, sizeof buf);
        if (n <= 0)
            break;
        m_address.append(buf, static_cast<size_t>(n));
        if (m_address.find('\n') != std::string::npos)
            break;
    }
    ::close(fds[0]);
    while (!m_address.empty() && (m_address.back() == '\n' || m_address.back() == ' '))
        m_address.pop_back();
}

DbusSession::~DbusSession() {
    if (m_pid > 0) {
        endTree(m_pid);
        ::kill(m_pid, SIGTERM);
        int status = 0;
        for (int i = 0; i < 200 && ::waitpid(m_pid, &status, WNOHANG) == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (::waitpid(m_pid, &status, WNOHANG) == 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, &status, 0);
        }
    }
}

PrivateXvfb::PrivateXvfb() {
    int fds[2];
    if (::pipe(fds) != 0)
        return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", 01, 0);
    m_pid = spawnWith({"Xvfb", "-displayfd", std::to_string(fds[1]), "-nolisten", "tcp", "-screen",
                       "0", "1024x768x24"},
                      {}, &actions);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    char buf[32];
    while (m_pid > 0 && ::poll(&p, 1, 10000) > 0) {
        const ssize_t n = ::read(fds[0], buf, sizeof buf);
        if (n <= 0)
            break;
        number.append(buf, static_cast<size_t>(n));
        if (number.find('\n') != std::string::npos)
            break;
    }
    ::close(fds[0]);
    while (!number.empty() && (number.back() == '\n' || number.back() == ' '))
        number.pop_back();
    if (!number.empty())
        m_display = ":" + number;
}

PrivateXvfb::~PrivateXvfb() {
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        int status = 0;
        for (int i = 0; i < 300 && ::waitpid(m_pid, &status, WNOHANG) == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (::waitpid(m_pid, &status, WNOHANG) == 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, &status, 0);
        }
    }
}

OwnWindow::OwnWindow(const std::string& display) {
    Display* d = XOpenDisplay(display.c_str());
    if (!d)
        return;
    m_display = d;
    const Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 50, 50, 0, 0, 0);
    XStoreName(d, w, "Talvor Client");
    const long pid = getpid();
    XChangeProperty(d, w, XInternAtom(d, "_NET_WM_PID", False), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&pid), 1);
    XMapWindow(d, w);
    XSync(d, False);
    m_window = w;
}

OwnWindow::~OwnWindow() {
    if (m_display)
        XCloseDisplay(static_cast<Display*>(m_display));
}

void focusWindow(const std::string& display, uint64_t window) {
    Display* d = XOpenDisplay(display.c_str());
    if (!d)
        return;
    XSetInputFocus(d, static_cast<Window>(window), RevertToPointerRoot, CurrentTime);
    XSync(d, False);
    XCloseDisplay(d);
}

std::string besideTest(const std::string& name) {
    char buf[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return name;
    std::string self(buf, static_cast<size_t>(n));
    return self.substr(0, self.find_last_of('/') + 1) + name;
}

std::string copyProgram(const std::string& from, const std::string& dir, const std::string& name) {
    const std::string to = dir + "/" + name;
    std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
    std::filesystem::permissions(to, std::filesystem::perms::owner_all);
    return to;
}

} // namespace tlv::test
