#pragma once

#include "platform/processes.h"

namespace tlv {

// The process list from /proc.
class LinuxProcessTable : public ProcessTable {
public:
    explicit LinuxProcessTable(std::string procRoot = "/proc");
    std::vector<ProcessEntry> list() override;
    ProcessEntry entry(int pid) override;
    int ownPid() const override;
    uint32_t ownUid() const override;

private:
    std::string m_root;
};

// SIGKILL, after checking that the identifier still names the same executable of our user.
class LinuxProcessTerminator : public ProcessTerminator {
public:
    bool terminate(int pid, const std::string& exePath, const std::string& exeName) override;
};

} // namespace tlv
