#include "tests/support/child_process.h"

#include "tests/support/desktop.h"
#include "tests/support/temp_root.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

namespace tlv::test {

SandboxProcesses::SandboxProcesses(std::string root) : m_root(std::move(root)) {
    // Parallel runs and a real server on this machine never meet these processes (a discovered
    // server is reached on TCP 4646 of its own address).
    std::random_device rd;
    std::mt19937 rng(rd());
    m_address = "127." + std::to_string(20 + rng() % 200) + "." + std::to_string(rng() % 250) +
                "." + std::to_string(2 + rng() % 250);
    // TalvorConstants carries the UDP ports as Integers: at most 32767.
    m_udpPort = 20000 + static_cast<int>(rng() % 6000) * 2;
}

SandboxProcesses::~SandboxProcesses() {
    for (int pid : m_started)
        if (waitpid(pid, nullptr, WNOHANG) == 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
}

void SandboxProcesses::setDisplay(const Desktop& desktop) {
    m_display = desktop.display();
}

int SandboxProcesses::spawn(const std::string& exe, const std::vector<std::string>& args,
                            const std::string& output) {
    std::vector<std::string> env = {"TLVCLI_ROOT=" + m_root, "TLVCLI_SANDBOX=1",
                                    m_display.empty() ? "QT_QPA_PLATFORM=offscreen"
                                                      : "DISPLAY=" + m_display,
                                    "HOME=" + m_root, "XDG_RUNTIME_DIR=" + m_root};
    // A sanitizer run's options reach the children too.
    for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"})
        if (const char* value = std::getenv(name))
            env.push_back(std::string(name) + "=" + value);
    for (const std::string& extra : m_extraEnv) {
        const std::string name = extra.substr(0, extra.find('=') + 1);
        std::erase_if(env, [&name](const std::string& e) { return e.starts_with(name); });
        env.push_back(extra);
    }
    std::vector<char*> envp, argv;
    for (auto& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string program = exe;
    std::vector<std::string> copy = args;
    argv.push_back(program.data());
    for (auto& a : copy)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&files, 1, output.empty() ? "/dev/null" : output.c_str(),
                                     O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&files, 1, 2);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, program.c_str(), &files, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&files);
    if (rc != 0)
        return -1;
    m_started.push_back(pid);
    return pid;
}

int SandboxProcesses::waitExit(int pid, int seconds) {
    if (pid <= 0)
        return -1;
    for (int i = 0; i < seconds * 20; ++i) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return -1;
}

void SandboxProcesses::signal(int pid, int sig) {
    for (int own : m_started)
        if (own == pid && pid > 0)
            kill(pid, sig);
}

bool SandboxProcesses::reg(const std::string& key, const std::string& name, const std::string& type,
                           const std::string& data) {
    const int pid = spawn(TLVREG_EXE, {"add", key, "/v", name, "/t", type, "/d", data, "/f"});
    return waitExit(pid, 10) == 0;
}

bool SandboxProcesses::configure() {
    bool ok = true;
    for (const char* hive : {"HKLM", "HKCU"})
        ok = reg(std::string(hive) + "\\Software\\Talvor Client\\General", "Config Wizard",
                 "REG_SZ", "1") &&
             ok;
    const std::string constants = "HKLM\\Software\\Talvor Client\\Constants";
    ok = reg(constants, "cnxBroardcastAdr", "REG_SZ", m_address) && ok;
    ok = reg(constants, "cnxUdpPortServer", "REG_DWORD", std::to_string(m_udpPort)) && ok;
    return reg(constants, "cnxUdpPortWksn", "REG_DWORD", std::to_string(m_udpPort + 1)) && ok;
}

int SandboxProcesses::startSimulator(const std::vector<std::string>& args,
                                     const std::string& output) {
    std::vector<std::string> all = {"--bind",
                                    m_address,
                                    "--udp-port",
                                    std::to_string(m_udpPort),
                                    "--client-udp-port",
                                    std::to_string(m_udpPort + 1)};
    all.insert(all.end(), args.begin(), args.end());
    return spawn(TLVSIM_EXE, all, output);
}

bool waitForText(const std::string& path, const std::string& text, int seconds) {
    for (int i = 0; i < seconds * 20; ++i) {
        std::error_code ec;
        if (std::filesystem::exists(path, ec) && readFile(path).find(text) != std::string::npos)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

} // namespace tlv::test
