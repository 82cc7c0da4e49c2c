#include "tools/tlvcli-guard/guard.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <poll.h>
#include <sstream>
#include <sys/prctl.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <syslog.h>
#include <systemd/sd-journal.h>
#include <unistd.h>

extern char** environ;

namespace tlv::guard {

namespace {

constexpr size_t kMaxConnections = 32;
constexpr size_t kMaxLine = 256;
constexpr auto kConnectionTime = std::chrono::seconds(1);
constexpr const char* kSocketName = "control";
constexpr const char* kClientsName = "clients";

int pidfdOpen(pid_t pid) {
    return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
}

std::string describeEnd(const siginfo_t& si) {
    if (si.si_code == CLD_EXITED)
        return "exit " + std::to_string(si.si_status);
    if (si.si_code == CLD_KILLED || si.si_code == CLD_DUMPED)
        return "signal " + std::to_string(si.si_status);
    return "ended";
}

std::string seconds(std::chrono::steady_clock::duration d) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f s", std::chrono::duration<double>(d).count());
    return buf;
}

std::string hms(std::chrono::steady_clock::duration d) {
    const long long s = std::chrono::duration_cast<std::chrono::seconds>(d).count();
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
    return buf;
}

// A word of a request, kept printable and short for the log.
std::string word(const std::string& s, size_t max = 40) {
    std::string out;
    for (char c : s.substr(0, max))
        out += std::isprint(static_cast<unsigned char>(c)) ? c : '?';
    return out;
}

} // namespace

unsigned long long processStartTicks(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string all;
    std::getline(in, all);
    // The name (field 2) may hold spaces and parentheses: count from the last ')'.
    const size_t close = all.rfind(')');
    if (close == std::string::npos)
        return 0;
    std::istringstream rest(all.substr(close + 1));
    std::string field;
    for (int i = 3; i <= 22 && rest >> field; ++i)
        if (i == 22)
            return std::strtoull(field.c_str(), nullptr, 10);
    return 0;
}

Guard::Guard(GuardOptions options, std::unique_ptr<SessionSource> source)
    : m_opt(std::move(options)), m_source(std::move(source)) {}

Guard::~Guard() {
    for (Connection& c : m_connections)
        ::close(c.fd);
    for (auto& [id, w] : m_watched)
        if (w.pidfd >= 0)
            ::close(w.pidfd);
    if (m_listen >= 0)
        ::close(m_listen);
    if (m_signals >= 0)
        ::close(m_signals);
}

void Guard::log(const std::string& line) const {
    writeLog(m_opt.logFile, line);
}

void writeLog(const std::string& logFile, const std::string& line) {
    if (logFile.empty()) {
        sd_journal_print(LOG_NOTICE, "%s", line.c_str());
        return;
    }
    const auto now = std::chrono::system_clock::now();
    const std::time_t t = std::chrono::system_clock::to_time_t(now);
    std::tm tm{};
    ::gmtime_r(&t, &tm);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S", &tm);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    char full[40];
    std::snprintf(full, sizeof full, "%s.%03dZ", stamp, static_cast<int>(ms));
    std::ofstream(logFile, std::ios::app) << full << " tlvcli-guard: " << line << std::endl;
}

bool Guard::listen() {
    std::error_code ec;
    std::filesystem::create_directories(m_opt.runtimeDir, ec);
    const std::string path = m_opt.runtimeDir + "/" + kSocketName;
    sockaddr_un addr{};
    if (path.size() >= sizeof(addr.sun_path)) {
        log("the control socket path is too long: " + path);
        return false;
    }
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    ::unlink(path.c_str());
    m_listen = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (m_listen < 0 || ::bind(m_listen, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 ||
        ::listen(m_listen, 64) != 0) {
        log("cannot listen on " + path + ": " + std::strerror(errno));
        return false;
    }
    // Every client connects; the guard checks who it is.
    ::chmod(path.c_str(), 0666);
    return true;
}

int Guard::run() {
    sigset_t set;
    sigemptyset(&set);
    for (int s : {SIGTERM, SIGINT, SIGCHLD, SIGHUP})
        sigaddset(&set, s);
    ::sigprocmask(SIG_BLOCK, &set, nullptr);
    m_signals = ::signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
    if (m_signals < 0 || !listen())
        return 1;
    log(std::string("started") + (m_opt.testMode ? " in test mode" : "") + "; client " +
        m_opt.client);
    refresh();

    bool quit = false;
    while (!quit) {
        std::vector<pollfd> fds;
        fds.push_back({m_signals, POLLIN, 0});
        fds.push_back({m_listen, POLLIN, 0});
        const int sourceFd = m_source->fd();
        fds.push_back({sourceFd, POLLIN, 0});
        std::vector<std::string> pidfdOwners;
        for (auto& [id, w] : m_watched)
            if (w.pidfd >= 0) {
                fds.push_back({w.pidfd, POLLIN, 0});
                pidfdOwners.push_back(id);
            }
        const size_t connectionsAt = fds.size();
        for (const Connection& c : m_connections)
            fds.push_back({c.fd, POLLIN, 0});

        auto now = Clock::now();
        auto wake = now + std::chrono::milliseconds(sourceFd < 0 ? 250 : 5000);
        for (const auto& [id, w] : m_watched)
            if (w.pending)
                wake = std::min(wake, w.startAt);
        for (const Connection& c : m_connections)
            wake = std::min(wake, c.deadline);
        const auto timeout = std::chrono::duration_cast<std::chrono::milliseconds>(wake - now);
        const int r = ::poll(fds.data(), fds.size(),
                             static_cast<int>(std::max<long long>(0, timeout.count())));
        if (r < 0 && errno != EINTR) {
            log(std::string("poll: ") + std::strerror(errno));
            return 1;
        }

        if (fds[0].revents & POLLIN) {
            signalfd_siginfo si{};
            while (::read(m_signals, &si, sizeof si) == sizeof si) {
                if (si.ssi_signo == SIGTERM || si.ssi_signo == SIGINT)
                    quit = true;
                else if (si.ssi_signo == SIGCHLD)
                    continueStopped();
            }
        }
        for (size_t i = 0; i < pidfdOwners.size(); ++i)
            if (fds[3 + i].revents) {
                const auto it = m_watched.find(pidfdOwners[i]);
                if (it != m_watched.end())
                    ended(it->second);
            }
        // Requests before the next refresh: a client's word counts for the moment it was said.
        now = Clock::now();
        for (size_t i = 0; i < m_connections.size();) {
            Connection& c = m_connections[i];
            const bool readable = i + connectionsAt < fds.size() && fds[i + connectionsAt].revents;
            if ((readable && !readFrom(c)) || (!readable && now >= c.deadline)) {
                ::close(c.fd);
                m_connections.erase(m_connections.begin() + static_cast<long>(i));
                fds.erase(fds.begin() + static_cast<long>(i + connectionsAt));
                continue;
            }
            ++i;
        }
        if (fds[1].revents & POLLIN)
            accept();
        if (sourceFd >= 0 && (fds[2].revents & POLLIN))
            m_source->drain();
        refresh();
        now = Clock::now();
        for (auto& [id, w] : m_watched)
            if (w.pending && now >= w.startAt)
                start(w);
    }
    log("stopping");
    if (m_opt.testMode)
        stopClients();
    return 0;
}

void Guard::refresh() {
    const std::vector<Session> now = m_source->list();
    std::map<std::string, std::pair<pid_t, unsigned long long>> earlier;
    if (m_firstRefresh)
        earlier = loadClients();
    m_firstRefresh = false;
    for (auto& [id, w] : m_watched)
        if (!w.gone && std::none_of(now.begin(), now.end(),
                                    [&id = id](const Session& s) { return s.id == id; })) {
            w.gone = true;
            w.pending = false;
            log("session " + id + " logged out: no longer watched");
            if (w.pid > 0)
                ::kill(w.pid, SIGTERM);
        }
    bool changed = false;
    for (const Session& s : now) {
        auto it = m_watched.find(s.id);
        if (it != m_watched.end() && it->second.gone && it->second.pid <= 0) {
            m_watched.erase(it);
            it = m_watched.end();
        }
        if (it != m_watched.end())
            continue;
        Watched& w = m_watched[s.id];
        w.session = s;
        const std::string who = s.user.empty() ? std::string() : " of " + s.user;
        const auto was = earlier.find(s.id);
        if (was != earlier.end() && was->second.second != 0 &&
            processStartTicks(was->second.first) == was->second.second) {
            // A client that a guard before this one started: watched, not started twice.
            w.pid = was->second.first;
            w.pidfd = pidfdOpen(w.pid);
            w.child = false;
            w.started = Clock::now();
            if (w.pidfd >= 0) {
                log("session " + s.id + who + ": took over client " + std::to_string(w.pid));
                changed = true;
                continue;
            }
            w.pid = -1;
        }
        log("session " + s.id + who + ": watched");
        start(w);
    }
    if (changed)
        saveClients();
}

void Guard::start(Watched& w) {
    w.pending = false;
    const Session& s = w.session;
    const bool again = w.again;
    std::vector<std::string> env;
    if (!m_source->switchUser())
        for (char** e = environ; e && *e; ++e)
            env.emplace_back(*e);
    for (const std::string& e : s.env) {
        const std::string name = e.substr(0, e.find('=') + 1);
        std::erase_if(env, [&name](const std::string& x) { return x.starts_with(name); });
        env.push_back(e);
    }
    std::erase_if(env, [](const std::string& x) {
        return x.starts_with("TLVCLI_GUARD_SOCKET=") || x.starts_with("TLVCLI_GUARD_RESTART=");
    });
    env.push_back("TLVCLI_GUARD_SOCKET=" + m_opt.runtimeDir + "/" + kSocketName);
    if (again)
        env.push_back("TLVCLI_GUARD_RESTART=1");
    std::vector<char*> envp;
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string program = m_opt.client;
    char* argv[] = {program.data(), nullptr};
    const bool switchUser = m_source->switchUser();
    const std::string home = s.home.empty() ? std::string("/") : s.home;
    const bool testMode = m_opt.testMode;

    const pid_t pid = ::fork();
    if (pid == 0) {
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::setsid();
        if (testMode)
            ::prctl(PR_SET_PDEATHSIG, SIGTERM); // a test that dies leaves nothing behind
        if (switchUser && (::initgroups(s.user.c_str(), s.gid) != 0 || ::setgid(s.gid) != 0 ||
                           ::setuid(s.uid) != 0))
            ::_exit(126);
        if (::chdir(home.c_str()) != 0 && ::chdir("/") != 0)
            ::_exit(126);
        const int null = ::open("/dev/null", O_RDONLY);
        if (null >= 0) {
            ::dup2(null, 0);
            if (null > 2)
                ::close(null);
        }
        ::close_range(3, ~0U, 0);
        ::execve(program.c_str(), argv, envp.data());
        ::_exit(127);
    }
    if (pid < 0) {
        log("session " + s.id + ": cannot start the client: " + std::strerror(errno));
        w.pending = true;
        w.startAt = Clock::now() + std::chrono::seconds(1);
        return;
    }
    w.pid = pid;
    w.child = true;
    w.started = Clock::now();
    w.pidfd = pidfdOpen(pid);
    if (w.pidfd < 0)
        log("session " + s.id + ": no pidfd for client " + std::to_string(pid) + ": " +
            std::strerror(errno));
    if (again) {
        ++w.restarts;
        log("session " + s.id + ": restarted the client, pid " + std::to_string(pid) +
            " (restart " + std::to_string(w.restarts) + ")");
    } else {
        log("session " + s.id + ": started the client, pid " + std::to_string(pid));
    }
    saveClients();
}

void Guard::ended(Watched& w) {
    siginfo_t si{};
    if (w.child)
        ::waitid(static_cast<idtype_t>(P_PIDFD), static_cast<id_t>(w.pidfd), &si,
                 WEXITED | WNOHANG);
    if (w.child && si.si_pid == 0)
        return; // a stop or a continue: not an end
    ::close(w.pidfd);
    w.pidfd = -1;
    const pid_t pid = w.pid;
    w.pid = -1;
    const std::string id = w.session.id;
    const auto lived = Clock::now() - w.started;
    const std::string how = "client " + std::to_string(pid) + " ended (" +
                            (w.child ? describeEnd(si) : "ended") + " after " + seconds(lived) +
                            ")";
    saveClients();
    if (w.gone) {
        log("session " + id + ": " + how + " after the log-out");
        m_watched.erase(id);
        return;
    }
    if (w.mode == Mode::Released) {
        log("session " + id + ": " + how + "; restart refused: released by staff (" +
            w.releasedFor + ") until the next log-in");
        return;
    }
    if (w.mode == Mode::Ended)
        return;
    if (lived < std::chrono::seconds(m_opt.quickSeconds))
        ++w.quickEnds;
    else
        w.quickEnds = 0;
    if (w.quickEnds >= m_opt.quickLimit) {
        w.mode = Mode::Ended;
        log("session " + id + ": " + how + "; restart refused: " + std::to_string(w.quickEnds) +
            " failed starts in a row");
        const bool done = m_source->terminate(id);
        log("ended session " + id + (w.session.user.empty() ? "" : " of " + w.session.user) +
            (done ? "" : " (logind refused: see above)"));
        return;
    }
    log("session " + id + ": " + how);
    // Failed starts in a row wait a little longer each time; a crash is answered at once.
    w.again = true;
    w.pending = true;
    w.startAt =
        Clock::now() + std::chrono::milliseconds(w.quickEnds <= 1 ? 0 : (w.quickEnds - 1) * 500);
    if (w.quickEnds <= 1)
        start(w);
}

void Guard::continueStopped() {
    for (auto& [id, w] : m_watched) {
        if (w.pidfd < 0 || !w.child)
            continue;
        siginfo_t si{};
        if (::waitid(static_cast<idtype_t>(P_PIDFD), static_cast<id_t>(w.pidfd), &si,
                     WSTOPPED | WNOHANG) == 0 &&
            si.si_pid != 0 && si.si_code == CLD_STOPPED) {
            log("session " + id + ": client " + std::to_string(w.pid) + " was stopped (signal " +
                std::to_string(si.si_status) + "); continued");
            ::kill(w.pid, SIGCONT);
        }
    }
}

void Guard::accept() {
    while (true) {
        const int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0)
            return;
        ucred cred{};
        socklen_t len = sizeof cred;
        if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0) {
            ::close(fd);
            continue;
        }
        // Whoever holds connections open without a word makes way for the newest.
        if (m_connections.size() >= kMaxConnections) {
            ::close(m_connections.front().fd);
            m_connections.erase(m_connections.begin());
        }
        m_connections.push_back({fd, cred.pid, cred.uid, {}, Clock::now() + kConnectionTime});
        // A client sends its line with the connection: answered at once, before any eviction.
        if (!readFrom(m_connections.back())) {
            ::close(fd);
            m_connections.pop_back();
        }
    }
}

bool Guard::readFrom(Connection& c) {
    char buf[kMaxLine];
    const ssize_t n = ::read(c.fd, buf, sizeof buf);
    if (n < 0)
        return errno == EAGAIN || errno == EINTR;
    c.in.append(buf, static_cast<size_t>(n));
    const size_t nl = c.in.find('\n');
    if (nl == std::string::npos && n > 0 && c.in.size() < kMaxLine)
        return true;
    if (nl == std::string::npos && (n > 0 || c.in.empty()))
        return false; // too long, or nothing said
    const std::string reply = answer(c, c.in.substr(0, nl)) + "\n";
    (void)!::send(c.fd, reply.data(), reply.size(), MSG_NOSIGNAL);
    return false;
}

Guard::Watched* Guard::byPid(pid_t pid) {
    for (auto& [id, w] : m_watched)
        if (pid > 0 && w.pid == pid && !w.gone)
            return &w;
    return nullptr;
}

std::string Guard::answer(const Connection& c, const std::string& line) {
    const size_t space = line.find(' ');
    const std::string verb = line.substr(0, space);
    const std::string arg = space == std::string::npos ? std::string() : line.substr(space + 1);
    if (verb == "status")
        return status();
    Watched* w = byPid(c.pid);
    if (verb == "hello") {
        if (w)
            return "mine";
        // A copy started at logon (autostart) or by hand makes way for the guard's, even while
        // that one is still starting; after a staff release the session is nobody's.
        const std::string id = m_source->sessionOf(c.pid, arg);
        const auto it = m_watched.find(id);
        return it != m_watched.end() && !it->second.gone && it->second.mode == Mode::Guarded
                   ? "taken"
                   : "none";
    }
    if (verb != "release" && verb != "guard")
        return "error";
    if (!w) {
        log("refused \"" + word(line) + "\" from pid " + std::to_string(c.pid) + " (uid " +
            std::to_string(c.uid) + "): not a client this guard started");
        return "refused";
    }
    const std::string& id = w->session.id;
    if (verb == "release") {
        w->mode = Mode::Released;
        w->releasedFor = word(arg);
        log("session " + id + ": released by staff (" + w->releasedFor + "); its client may end");
    } else if (w->mode != Mode::Guarded) {
        w->mode = Mode::Guarded;
        w->quickEnds = 0;
        log("session " + id + ": back in service, guarded again");
    }
    return "ok";
}

std::string Guard::status() const {
    std::ostringstream out;
    char line[256];
    std::snprintf(line, sizeof line, "%-10s %-16s %-8s %-9s %-8s %s", "SESSION", "USER", "CLIENT",
                  "UP", "RESTARTS", "STATE");
    out << line;
    const auto now = Clock::now();
    for (const auto& [id, w] : m_watched) {
        if (w.gone)
            continue;
        const std::string state = w.mode == Mode::Ended      ? "ended (failed starts)"
                                  : w.mode == Mode::Released ? "released (" + w.releasedFor + ")"
                                  : w.pid > 0                ? "guarded"
                                                             : "starting";
        std::snprintf(line, sizeof line, "%-10s %-16s %-8s %-9s %-8d %s", id.c_str(),
                      w.session.user.empty() ? "-" : w.session.user.c_str(),
                      w.pid > 0 ? std::to_string(w.pid).c_str() : "-",
                      w.pid > 0 ? hms(now - w.started).c_str() : "-", w.restarts, state.c_str());
        out << "\n" << line;
    }
    return out.str();
}

void Guard::saveClients() const {
    const std::string path = m_opt.runtimeDir + "/" + kClientsName;
    std::ofstream out(path + ".new", std::ios::trunc);
    for (const auto& [id, w] : m_watched)
        if (w.pid > 0 && !w.gone)
            out << id << " " << w.pid << " " << processStartTicks(w.pid) << "\n";
    out.close();
    std::error_code ec;
    std::filesystem::rename(path + ".new", path, ec);
}

std::map<std::string, std::pair<pid_t, unsigned long long>> Guard::loadClients() const {
    std::map<std::string, std::pair<pid_t, unsigned long long>> out;
    std::ifstream in(m_opt.runtimeDir + "/" + kClientsName);
    std::string id;
    long long pid = 0;
    unsigned long long ticks = 0;
    while (out.size() < 10000 && in >> id >> pid >> ticks)
        if (validId(id) && pid > 1 && pid < (1 << 22))
            out[id] = {static_cast<pid_t>(pid), ticks};
    return out;
}

void Guard::stopClients() {
    for (auto& [id, w] : m_watched)
        if (w.pid > 0)
            ::kill(w.pid, SIGTERM);
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    for (auto& [id, w] : m_watched) {
        if (w.pid <= 0 || !w.child)
            continue;
        while (::waitpid(w.pid, nullptr, WNOHANG) == 0) {
            if (Clock::now() >= deadline) {
                ::kill(w.pid, SIGKILL);
                ::waitpid(w.pid, nullptr, 0);
                break;
            }
            ::usleep(20000);
        }
    }
}

} // namespace tlv::guard
