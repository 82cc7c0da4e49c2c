#pragma once

// Test processes the tests start themselves, and a private Xvfb.

#include <cstdint>
#include <string>
#include <vector>

namespace tlv::test {

// A child process of the test, ended (by its pid) when the object goes.
class Child {
public:
    Child() = default;
    Child(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv = {});
    ~Child();
    Child(Child&& o) noexcept : m_pid(o.m_pid), m_status(o.m_status), m_exited(o.m_exited) {
        o.m_pid = -1;
    }
    Child& operator=(Child&&) = delete;
    int pid() const { return m_pid; }
    // Waits up to ms for the child to end; true when it ended.
    bool waitExit(int ms);
    bool exitedNormally() const;
    bool killedBySignal(int sig) const;
    void kill();

private:
    int m_pid = -1;
    int m_status = 0;
    bool m_exited = false;
};

// A child with everything it starts in turn: ended together, each by its pid.
class ProcessTree {
public:
    ProcessTree(const std::vector<std::string>& argv,
                const std::vector<std::string>& extraEnv = {});
    ~ProcessTree();
    ProcessTree(const ProcessTree&) = delete;
    ProcessTree& operator=(const ProcessTree&) = delete;
    int pid() const { return m_child.pid(); }
    // Waits up to ms for the first process to end; true when it ended.
    bool waitExit(int ms) { return m_child.waitExit(ms); }

private:
    Child m_child;
};

// The descendants of a process, deepest last.
std::vector<int> descendantsOf(int pid);

// A private D-Bus session bus.
class DbusSession {
public:
    DbusSession();
    ~DbusSession();
    const std::string& address() const { return m_address; }

private:
    int m_pid = -1;
    std::string m_address;
};

// Xvfb on a display number of its own choosing (-displayfd).
class PrivateXvfb {
public:
    PrivateXvfb();
    ~PrivateXvfb();
    bool running() const { return !m_display.empty(); }
    const std::string& display() const { return m_display; } // ":93"

private:
    int m_pid = -1;
    std::string m_display;
};

// A mapped window of the test process itself, with its own pid.
class OwnWindow {
public:
    explicit OwnWindow(const std::string& display);
    ~OwnWindow();
    OwnWindow(const OwnWindow&) = delete;
    OwnWindow& operator=(const OwnWindow&) = delete;
    uint64_t id() const { return m_window; }

private:
    void* m_display = nullptr;
    uint64_t m_window = 0;
};

// Gives the window the keyboard focus, as a window manager would on a click.
void focusWindow(const std::string& display, uint64_t window);

// The path of a file next to the test executable (the test programs are built there).
std::string besideTest(const std::string& name);
// Copies a program under another name into dir (the name a process is listed with).
std::string copyProgram(const std::string& from, const std::string& dir, const std::string& name);

} // namespace tlv::test
