#pragma once

#include "tests/support/child_process.h"
#include "tests/support/sim_log.h"
#include "tests/support/temp_root.h"

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tlv::test {

// tlvcli-guard in test mode: sessions described by a file, each with a sandbox root of its own
// configured for one tlvsim, and the real clients the guard starts in them.
class GuardRig {
public:
    GuardRig();
    ~GuardRig();

    // tlvsim with --log, --follow and session ids; nothing pushed on connection, so the
    // sessions' zero start-up delays stay.
    bool startSimulator();
    // A session's sandbox root, configured for the simulator, named NAME for the server.
    std::string addSession(const std::string& id, const std::string& workstationName);
    void writeSessions() const;
    bool startGuard(const std::vector<std::string>& extra = {}, const std::string& client = "");

    // The guard's clients by session, from its runtime folder.
    std::map<std::string, int> clients() const;
    std::vector<SimEvent> events() const { return readSimLog(simLog); }
    std::string guardLog() const;
    void command(const std::string& line) const;
    // The newest connection that identified as NAME at or after event FROM (0: none).
    int connectionOf(const std::string& name, size_t from = 0) const;
    // The first report of connection WS matching PRED, at or after event FROM.
    std::optional<SimEvent> report(int ws, const std::function<bool(const SimEvent&)>& pred,
                                   size_t from = 0) const;
    std::string socket() const { return runtime + "/control"; }
    std::string diagnostics() const;

    TempRoot root;
    SandboxProcesses procs{root.path()};
    std::string simLog = root.file("tlvsim.log");
    std::string follow = root.file("commands.txt");
    std::string sessionsFile = root.file("sessions");
    std::string logFile = root.file("guard.log");
    std::string runtime = root.file("run");
    std::map<std::string, std::string> sessionRoots;
    std::map<std::string, std::vector<std::string>> sessionEnv; // more NAME=VALUE per session
    int sim = -1;
    int guard = -1;
};

// Polls PRED every 10 ms until it holds or SECONDS pass.
bool waitFor(const std::function<bool()>& pred, double seconds);

} // namespace tlv::test
