// tlvcli-guard: keeps one client running in every graphical session of a café user.
#include "platform/linux/guard_link.h"
#include "tools/tlvcli-guard/guard.h"

#include <filesystem>
#include <iostream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

const char* const kUsage =
    "usage: tlvcli-guard [options]         run the guard (the system service)\n"
    "       tlvcli-guard --status [--runtime DIR]\n"
    "  --status            list the watched sessions, their clients and restarts\n"
    "  --client PATH       the client to run (default: tlvcli beside this program)\n"
    "  --group NAME        the café users' group (default tlvcli)\n"
    "  --runtime DIR       control socket and running clients (default /run/tlvcli-guard)\n"
    "  --log FILE          log to FILE instead of the system journal\n"
    "  --sessions FILE     test mode: the sessions listed in FILE (\"ID NAME=VALUE ...\" per\n"
    "                      line) instead of logind's; clients run as this user, sessions are\n"
    "                      ended in FILE.ended, and the clients end with the guard\n"
    "  --quick-seconds N   an end this soon after a start is a failed start (default 10)\n";

} // namespace

int main(int argc, char** argv) {
    using namespace tlv::guard;
    GuardOptions opt;
    opt.runtimeDir = "/run/tlvcli-guard";
    std::string group = "tlvcli", sessions;
    bool status = false;
    std::vector<std::string> args(argv + 1, argv + argc);
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const auto value = [&]() -> std::string {
            if (i + 1 >= args.size()) {
                std::cerr << "tlvcli-guard: " << a << " needs a value\n" << kUsage;
                std::exit(2);
            }
            return args[++i];
        };
        if (a == "--status")
            status = true;
        else if (a == "--client")
            opt.client = value();
        else if (a == "--group")
            group = value();
        else if (a == "--runtime")
            opt.runtimeDir = value();
        else if (a == "--log")
            opt.logFile = value();
        else if (a == "--sessions")
            sessions = value();
        else if (a == "--quick-seconds")
            opt.quickSeconds = std::max(1, std::atoi(value().c_str()));
        else if (a == "--help" || a == "-h") {
            std::cout << kUsage;
            return 0;
        } else {
            std::cerr << "tlvcli-guard: unknown option " << a << "\n" << kUsage;
            return 2;
        }
    }

    if (status) {
        const auto answer = tlv::guardRequest(opt.runtimeDir + "/control", "status", 2000);
        if (!answer) {
            std::cerr << "tlvcli-guard: no guard answers on " << opt.runtimeDir
                      << "/control (is the service running?)\n";
            return 1;
        }
        std::cout << *answer << "\n";
        return 0;
    }

    if (opt.client.empty()) {
        std::error_code ec;
        const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
        opt.client = (ec ? std::filesystem::path("/usr/bin") : self.parent_path()) / "tlvcli";
    }
    std::unique_ptr<SessionSource> source;
    if (!sessions.empty()) {
        opt.testMode = true;
        source = makeFileSessions(sessions);
    } else {
        if (::geteuid() != 0) {
            std::cerr << "tlvcli-guard: the service runs as root (it starts the clients as the "
                         "users of the sessions); --sessions FILE tries it without\n";
            return 1;
        }
        const std::string logFile = opt.logFile;
        source = makeLogindSessions(
            group, [logFile](const std::string& line) { writeLog(logFile, line); });
    }
    Guard guard(opt, std::move(source));
    return guard.run();
}
