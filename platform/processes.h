#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tlv {

// One process as the operating system shows it.
struct ProcessEntry {
    int pid = 0;
    std::string exePath;      // empty when the executable link cannot be read
    bool exeReadable = false; // false: the process exists but its executable is not readable
    uint32_t uid = 0;         // real user of the process
};

// The process list of the machine (read-only).
class ProcessTable {
public:
    virtual ~ProcessTable() = default;
    // Every process that can be seen at all.
    virtual std::vector<ProcessEntry> list() = 0;
    // One process; pid 0 in the result when it cannot be seen.
    virtual ProcessEntry entry(int pid) = 0;
    virtual int ownPid() const = 0;
    virtual uint32_t ownUid() const = 0;
};

// Ends a process at once (no chance to clean up).
class ProcessTerminator {
public:
    virtual ~ProcessTerminator() = default;
    // exePath: the executable seen when the process was listed; a process whose executable has
    // changed since (its identifier reused) is left alone. False when nothing was terminated.
    virtual bool terminate(int pid, const std::string& exePath, const std::string& exeName) = 0;
};

// Window style codes of the batch files: 0 hidden, 1 normal, 2 minimised, 3 maximised,
// 4 normal without focus, 6 minimised without focus.
struct SpawnRequest {
    std::string program;           // run with /bin/sh
    std::vector<std::string> args; // each reaches the program as one argument
    int showMode = 0;
    std::string commandLine; // the classic quoted command line, for logs only
};

// Starts a program without waiting for it.
class ProcessSpawner {
public:
    virtual ~ProcessSpawner() = default;
    // False when the program could not be started; error() then says why.
    virtual bool spawnScript(const SpawnRequest& request) = 0;
    virtual std::string error() const = 0;
};

} // namespace tlv
