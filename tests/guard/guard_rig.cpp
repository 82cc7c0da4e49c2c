#include "tests/guard/guard_rig.h"

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace tlv::test {

GuardRig::GuardRig() {
    std::filesystem::create_directories(runtime);
    writeFile(follow, "");
    writeFile(sessionsFile, "");
}

GuardRig::~GuardRig() {
    // The guard ends its clients in test mode; SandboxProcesses kills what is left of it.
    if (guard > 0) {
        procs.signal(guard, SIGTERM);
        procs.waitExit(guard, 15);
    }
}

bool GuardRig::startSimulator() {
    if (!procs.configure())
        return false;
    for (const char* name : {"wksnStartDelay", "wksnCnxBootDelay", "wksnCnxMinDelay"})
        if (!procs.reg("HKLM\\Software\\Talvor Client\\Constants", name, "REG_SZ", "0"))
            return false;
    sim = procs.startSimulator(
        {"--no-options", "--plain", "--log", simLog, "--follow", follow, "--session-ids", "100"},
        root.file("tlvsim.out"));
    return sim > 0 && waitForText(root.file("tlvsim.out"), "listening", 10);
}

std::string GuardRig::addSession(const std::string& id, const std::string& workstationName) {
    const std::string dir = root.file("s-" + id);
    std::filesystem::create_directories(dir);
    // The simulator's settings (written by startSimulator into the rig's root), then a name.
    for (const auto& entry : std::filesystem::directory_iterator(root.path()))
        if (entry.path().filename().string().starts_with("HK"))
            std::filesystem::copy_file(entry.path(), dir / entry.path().filename());
    SandboxProcesses own(dir);
    own.reg("HKLM\\Software\\Talvor Client\\General", "Workstation Name", "REG_SZ",
            workstationName);
    sessionRoots[id] = dir;
    return dir;
}

void GuardRig::writeSessions() const {
    std::ostringstream out;
    for (const auto& [id, dir] : sessionRoots) {
        out << id << " TLVCLI_ROOT=" << dir << " HOME=" << dir << " XDG_RUNTIME_DIR=" << dir
            << " XDG_SESSION_ID=" << id;
        if (const auto more = sessionEnv.find(id); more != sessionEnv.end())
            for (const std::string& e : more->second)
                out << " " << e;
        out << "\n";
    }
    writeFile(sessionsFile + ".new", out.str());
    std::filesystem::rename(sessionsFile + ".new", sessionsFile);
}

bool GuardRig::startGuard(const std::vector<std::string>& extra, const std::string& client) {
    std::vector<std::string> args = {
        "--sessions", sessionsFile, "--runtime", runtime,
        "--log",      logFile,      "--client",  client.empty() ? TLVCLI_EXE : client};
    args.insert(args.end(), extra.begin(), extra.end());
    guard = procs.spawn(TLVCLI_GUARD_EXE, args, root.file("guard.out"));
    return guard > 0 && waitFor([this] { return std::filesystem::exists(socket()); }, 10);
}

std::map<std::string, int> GuardRig::clients() const {
    std::map<std::string, int> out;
    std::istringstream in(readFile(runtime + "/clients"));
    std::string id;
    int pid = 0;
    unsigned long long ticks = 0;
    while (in >> id >> pid >> ticks)
        out[id] = pid;
    return out;
}

std::string GuardRig::guardLog() const {
    return std::filesystem::exists(logFile) ? readFile(logFile) : std::string();
}

void GuardRig::command(const std::string& line) const {
    std::ofstream(follow, std::ios::app) << line << "\n";
}

int GuardRig::connectionOf(const std::string& name, size_t from) const {
    const std::vector<SimEvent> all = events();
    int ws = 0;
    for (size_t i = from; i < all.size(); ++i)
        if (all[i].kind == "identify" && all[i].get("Name") == name)
            ws = all[i].ws;
    return ws;
}

std::optional<SimEvent> GuardRig::report(int ws, const std::function<bool(const SimEvent&)>& pred,
                                         size_t from) const {
    const std::vector<SimEvent> all = events();
    for (size_t i = from; i < all.size(); ++i)
        if (all[i].ws == ws && all[i].kind == "report" && pred(all[i]))
            return all[i];
    return std::nullopt;
}

std::string GuardRig::diagnostics() const {
    return "--- guard log:\n" + guardLog() + "--- guard output:\n" +
           readFile(root.file("guard.out")) + "--- tlvsim:\n" + readFile(root.file("tlvsim.out"));
}

bool waitFor(const std::function<bool()>& pred, double seconds) {
    const auto end = std::chrono::steady_clock::now() +
                     std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                         std::chrono::duration<double>(seconds));
    while (true) {
        if (pred())
            return true;
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

} // namespace tlv::test
