#pragma once

#include <string>
#include <vector>

namespace tlv::test {

class Desktop;

// The real programs (tlvcli, tlvsim, tlvreg) started in sandbox mode on a temporary root, off
// screen, with a loopback address and UDP ports of their own. Whatever is still running when
// the object goes is killed; only the processes started here are ever signalled.
class SandboxProcesses {
public:
    explicit SandboxProcesses(std::string root);
    ~SandboxProcesses();
    SandboxProcesses(const SandboxProcesses&) = delete;
    SandboxProcesses& operator=(const SandboxProcesses&) = delete;

    // NAME=VALUE for the programs started from now on (overrides the sandbox's own).
    void addEnv(const std::string& nameValue) { m_extraEnv.push_back(nameValue); }
    // From now on the programs run on this desktop's display instead of off screen.
    void setDisplay(const Desktop& desktop);
    // Output and errors go to OUTPUT (appended), or nowhere when it is empty.
    int spawn(const std::string& exe, const std::vector<std::string>& args,
              const std::string& output = {});
    // The exit code, 128 + signal, or -1 when the process is still running after SECONDS.
    int waitExit(int pid, int seconds);
    void signal(int pid, int sig);
    // tlvreg add KEY /v NAME /t TYPE /d DATA /f; true when it succeeded.
    bool reg(const std::string& key, const std::string& name, const std::string& type,
             const std::string& data);
    // Both "Config Wizard" values at 1, and the broadcast address and ports of this object.
    bool configure();
    // tlvsim on this object's address and ports; extra arguments appended.
    int startSimulator(const std::vector<std::string>& args, const std::string& output);

    const std::string& address() const { return m_address; }
    int udpPort() const { return m_udpPort; }

private:
    std::string m_root;
    std::string m_address;
    std::string m_display;
    std::vector<std::string> m_extraEnv;
    int m_udpPort = 0;
    std::vector<int> m_started;
};

// Waits up to SECONDS for the file to hold TEXT.
bool waitForText(const std::string& path, const std::string& text, int seconds = 10);

} // namespace tlv::test
