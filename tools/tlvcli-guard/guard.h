#pragma once

#include "tools/tlvcli-guard/sessions.h"

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace tlv::guard {

struct GuardOptions {
    std::string client;     // the client program
    std::string runtimeDir; // control socket and the list of running clients
    std::string logFile;    // empty: the system journal
    bool testMode = false;  // sessions from a file, clients ended with the guard
    int quickSeconds = 10;  // an end this soon after a start counts as a failed start
    int quickLimit = 5;     // failed starts in a row that end the login session
};

// Keeps one client running in every session of the source; see docs/install.md.
class Guard {
public:
    Guard(GuardOptions options, std::unique_ptr<SessionSource> source);
    ~Guard();
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;
    // Until SIGTERM or SIGINT; the exit code.
    int run();

private:
    using Clock = std::chrono::steady_clock;
    enum class Mode { Guarded, Released, Ended };
    struct Watched {
        Session session;
        pid_t pid = -1;
        int pidfd = -1;
        bool child = true; // false: adopted from a guard that ran before
        Clock::time_point started{};
        Mode mode = Mode::Guarded;
        std::string releasedFor;
        bool gone = false; // logged out; kept until its client is reaped
        int restarts = 0;
        int quickEnds = 0;
        bool pending = false;
        bool again = false; // the next start replaces a client that ended
        Clock::time_point startAt{};
    };
    struct Connection {
        int fd = -1;
        pid_t pid = 0;
        uid_t uid = 0;
        std::string in;
        Clock::time_point deadline{};
    };

    bool listen();
    void refresh();
    void start(Watched& w);
    void ended(Watched& w);
    void continueStopped();
    void accept();
    bool readFrom(Connection& c); // false: done with it
    std::string answer(const Connection& c, const std::string& line);
    std::string status() const;
    Watched* byPid(pid_t pid);
    void saveClients() const;
    std::map<std::string, std::pair<pid_t, unsigned long long>> loadClients() const;
    void stopClients();
    void log(const std::string& line) const;

    GuardOptions m_opt;
    std::unique_ptr<SessionSource> m_source;
    std::map<std::string, Watched> m_watched;
    std::vector<Connection> m_connections;
    int m_listen = -1;
    int m_signals = -1;
    bool m_firstRefresh = true;
};

// One line to the system journal, or to LOGFILE with a UTC time stamp.
void writeLog(const std::string& logFile, const std::string& line);

// Start time of a process in clock ticks since boot (0 when it is gone).
unsigned long long processStartTicks(pid_t pid);

} // namespace tlv::guard
