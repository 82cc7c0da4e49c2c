#pragma once

#include "tests/support/cafe_user.h"
#include "tests/support/child_process.h"
#include "tests/support/desktop.h"
#include "tests/support/sim_log.h"
#include "tests/support/temp_root.h"

#include <string>
#include <vector>

namespace tlv::test {

// The demo café of scripts/demo: cards 123456 (60 min) and 654321 (5 min), 111111 without
// credit, the client account alice/secret, self-service tariffs, pauses allowed.
inline const char* const kDemoAccounts = "card 123456 60\n"
                                         "card 654321 5\n"
                                         "card 111111 0\n"
                                         "client alice secret 120\n"
                                         "set tariffs 30:1.50,60:2.50\n"
                                         "set increment 15\n"
                                         "set minimum 15\n"
                                         "set currency €\n"
                                         "set pause 1\n";

struct CafeOptions {
    int width = 1366;
    int height = 768;
    std::string accounts = kDemoAccounts;
    // Settings the café owner gives with tlvreg before the first start: {key, name, type, data}.
    std::vector<std::vector<std::string>> settings;
    // False: the first start of a new workstation, with the setup wizard.
    bool configured = true;
};

// One workstation of a café on a private X desktop: the real tlvcli in sandbox mode, set up
// with tlvreg as the README tells a café owner, and tlvsim as the server, driven by appending
// commands to a file it follows and logging what it receives.
class Cafe {
public:
    explicit Cafe(CafeOptions options = {});
    ~Cafe();

    // The desktop is up and the simulator runs.
    bool ready() const { return m_ready; }
    // Starts tlvcli; with WAITLOCKSCREEN, waits until it reports state 2 and its lock screen is
    // shown (false when it does not within the time-out).
    bool startClient(bool waitLockScreen = true);
    // Ends the client with SIGTERM; its exit code, or -1.
    int stopClient();
    int clientPid() const { return m_client; }
    // Exit code once the client ended by itself within SECONDS, or -1.
    int waitClientExit(int seconds);

    // A command line for the server, as typed in tlvsim's terminal ("pause all").
    void server(const std::string& command);

    const Desktop& desktop() const { return m_desktop; }
    SimLog& log() { return m_log; }
    const TempRoot& root() const { return m_root; }
    SandboxProcesses& processes() { return m_procs; }
    std::string actions() const;
    // tlvreg query KEY: what a café owner reads back.
    std::string query(const std::string& key);
    // What went wrong, for a failed expectation: the server's events, the client's output.
    std::string diagnostics() const;

    // The lock screen (the full-screen window of the client), 0 when none is shown.
    unsigned long lockScreen() const;
    // A person in front of this screen, looking at the client.
    ScreenUser user() const;
    Rect screen() const { return {0, 0, m_options.width, m_options.height}; }
    // A viewable top-level window of the client whose name matches.
    unsigned long waitWindow(const std::string& nameRegex, int timeoutMs = 10000) const;
    // True once no viewable window of the client matches.
    bool waitNoWindow(const std::string& nameRegex, int timeoutMs = 10000) const;
    // Saves the screen as NAME.png when TLV_DESKTOP_SHOTS names a folder (for a person
    // watching the run); returns the path or "".
    std::string shot(const std::string& name) const;

private:
    CafeOptions m_options;
    Desktop m_desktop;
    TempRoot m_root;
    SandboxProcesses m_procs;
    SimLog m_log;
    int m_sim = -1;
    int m_client = -1;
    bool m_ready = false;
    mutable int m_shots = 0;
};

// The text of a string id in a language pack of data/lang ("de"), English when absent.
std::string packText(const std::string& language, int id);
// The language's own name in the header of its pack.
std::string packNativeName(const std::string& language);

} // namespace tlv::test
