#pragma once

#include "platform/processes.h"

#include <memory>
#include <vector>

namespace tlv {

class Scheduler;
class Timer;

// Starts scripts with /bin/sh through posix_spawn, each argument its own argv entry (never a
// shell command line). The children are not waited for; a timer reaps them once they end.
class PosixSpawner : public ProcessSpawner {
public:
    // terminal: the terminal used for show modes other than 0 ("" looks for
    // x-terminal-emulator in PATH; no terminal found runs the script without one).
    explicit PosixSpawner(Scheduler& scheduler, std::string terminal = {});
    ~PosixSpawner() override;

    bool spawnScript(const SpawnRequest& request) override;
    std::string error() const override { return m_error; }

    // Starts argv[0] (a full path) with the given arguments; the pid or -1.
    int spawn(const std::vector<std::string>& argv);
    size_t runningChildren() const { return m_children.size(); }

private:
    void reap();

    std::unique_ptr<Timer> m_reaper;
    std::string m_terminal;
    std::string m_error;
    std::vector<int> m_children;
};

// The full path of a program found in PATH, empty when none.
std::string findInPath(const std::string& program);

} // namespace tlv
