#include "tools/tlvcli-guard/sessions.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <grp.h>
#include <pwd.h>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <systemd/sd-bus.h>
#include <systemd/sd-login.h>
#include <unistd.h>

namespace tlv::guard {

namespace {

constexpr size_t kMaxFile = 1 << 20;
constexpr size_t kMaxSessions = 1000;
constexpr size_t kMaxVars = 64;

bool validName(const std::string& n) {
    return !n.empty() && n.size() <= 64 && !std::isdigit(static_cast<unsigned char>(n[0])) &&
           std::all_of(n.begin(), n.end(), [](char c) {
               return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
           });
}

std::string readBounded(const std::string& path, size_t max) {
    std::ifstream in(path, std::ios::binary);
    std::string s(max, '\0');
    in.read(s.data(), static_cast<std::streamsize>(max));
    s.resize(static_cast<size_t>(in.gcount()));
    return s;
}

class FileSessions : public SessionSource {
public:
    explicit FileSessions(std::string path) : m_path(std::move(path)) {}

    std::vector<Session> list() override {
        std::vector<Session> out;
        std::istringstream lines(readBounded(m_path, kMaxFile));
        std::set<std::string> seen;
        for (std::string line; std::getline(lines, line) && out.size() < kMaxSessions;) {
            if (const size_t hash = line.find('#'); hash != std::string::npos)
                line.resize(hash);
            std::istringstream words(line);
            Session s;
            if (!(words >> s.id) || !validId(s.id) || !seen.insert(s.id).second)
                continue;
            for (std::string w; words >> w && s.env.size() < kMaxVars;) {
                const size_t eq = w.find('=');
                if (eq != std::string::npos && validName(w.substr(0, eq)))
                    s.env.push_back(w);
            }
            s.uid = ::getuid();
            s.gid = ::getgid();
            out.push_back(std::move(s));
        }
        return out;
    }
    std::string sessionOf(pid_t, const std::string& claimed) override { return claimed; }
    bool terminate(const std::string& id) override {
        std::ofstream(m_path + ".ended", std::ios::app) << id << "\n";
        return true;
    }
    bool switchUser() const override { return false; }

private:
    std::string m_path;
};

std::string sdString(int (*fn)(const char*, char**), const std::string& id) {
    char* v = nullptr;
    std::string out;
    if (fn(id.c_str(), &v) >= 0 && v)
        out = v;
    ::free(v);
    return out;
}

// NAME=VALUE entries of a process's environment (root reads any).
std::vector<std::string> environOf(pid_t pid) {
    std::vector<std::string> out;
    const std::string all = readBounded("/proc/" + std::to_string(pid) + "/environ", kMaxFile);
    size_t start = 0;
    while (start < all.size()) {
        size_t end = all.find('\0', start);
        if (end == std::string::npos)
            end = all.size();
        out.push_back(all.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

std::string lookup(const std::vector<std::string>& env, const std::string& name) {
    for (const std::string& e : env)
        if (e.size() > name.size() && e.compare(0, name.size(), name) == 0 && e[name.size()] == '=')
            return e.substr(name.size() + 1);
    return {};
}

bool isFile(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

class LogindSessions : public SessionSource {
public:
    LogindSessions(std::string group, LogFn log)
        : m_group(std::move(group)), m_log(std::move(log)) {
        if (sd_login_monitor_new("session", &m_monitor) < 0)
            m_monitor = nullptr;
    }
    ~LogindSessions() override {
        if (m_monitor)
            sd_login_monitor_unref(m_monitor);
    }
    int fd() const override { return m_monitor ? sd_login_monitor_get_fd(m_monitor) : -1; }
    void drain() override {
        if (m_monitor)
            sd_login_monitor_flush(m_monitor);
    }

    std::vector<Session> list() override {
        std::vector<Session> out;
        char** ids = nullptr;
        const int n = sd_get_sessions(&ids);
        const group* g = ::getgrnam(m_group.c_str());
        const gid_t cafe = g ? g->gr_gid : static_cast<gid_t>(-1);
        for (int i = 0; i < n; ++i) {
            const std::string id = ids[i];
            ::free(ids[i]);
            if (!g || !validId(id))
                continue;
            if (sdString(sd_session_get_class, id) != "user" ||
                sdString(sd_session_get_state, id) == "closing")
                continue;
            uid_t uid = 0;
            if (sd_session_get_uid(id.c_str(), &uid) < 0)
                continue;
            const passwd* pw = ::getpwuid(uid);
            if (!pw || !inGroup(pw, cafe))
                continue;
            const std::string type = sdString(sd_session_get_type, id);
            if (type != "x11") {
                if (type == "wayland" && m_reported.insert(id).second)
                    m_log("session " + id + " of " + pw->pw_name +
                          " is a Wayland session: not watched (the client cannot lock it)");
                continue;
            }
            const std::string display = sdString(sd_session_get_display, id);
            if (display.empty())
                continue;
            out.push_back(describe(id, pw, display));
        }
        ::free(ids);
        return out;
    }

    std::string sessionOf(pid_t pid, const std::string&) override {
        char* s = nullptr;
        std::string out;
        if (sd_pid_get_session(pid, &s) >= 0 && s)
            out = s;
        ::free(s);
        return out;
    }

    bool terminate(const std::string& id) override {
        sd_bus* bus = nullptr;
        sd_bus_error error = SD_BUS_ERROR_NULL;
        bool ok = false;
        if (sd_bus_open_system(&bus) >= 0) {
            ok = sd_bus_call_method(bus, "org.freedesktop.login1", "/org/freedesktop/login1",
                                    "org.freedesktop.login1.Manager", "TerminateSession", &error,
                                    nullptr, "s", id.c_str()) >= 0;
            if (!ok)
                m_log("TerminateSession " + id + ": " + (error.message ? error.message : "failed"));
        }
        sd_bus_error_free(&error);
        sd_bus_flush_close_unref(bus);
        return ok;
    }
    bool switchUser() const override { return true; }

private:
    static bool inGroup(const passwd* pw, gid_t cafe) {
        if (pw->pw_gid == cafe)
            return true;
        int count = 64;
        std::vector<gid_t> groups(static_cast<size_t>(count));
        if (::getgrouplist(pw->pw_name, pw->pw_gid, groups.data(), &count) < 0) {
            groups.resize(static_cast<size_t>(count));
            if (::getgrouplist(pw->pw_name, pw->pw_gid, groups.data(), &count) < 0)
                return false;
        }
        groups.resize(static_cast<size_t>(count));
        return std::find(groups.begin(), groups.end(), cafe) != groups.end();
    }

    // The display from logind; the X authority, the bus and the language from a process of the
    // user in that session, else where they usually are.
    Session describe(const std::string& id, const passwd* pw, const std::string& display) {
        Session s;
        s.id = id;
        s.user = pw->pw_name;
        s.uid = pw->pw_uid;
        s.gid = pw->pw_gid;
        s.home = pw->pw_dir;
        const std::string runtime = "/run/user/" + std::to_string(pw->pw_uid);
        const std::vector<std::string> seen = fromSessionProcesses(id, pw->pw_uid);
        std::string xauth = lookup(seen, "XAUTHORITY");
        if (!isFile(xauth))
            xauth.clear();
        for (const std::string& c : {runtime + "/gdm/Xauthority", s.home + "/.Xauthority"})
            if (xauth.empty() && isFile(c))
                xauth = c;
        s.env = {"DISPLAY=" + display,
                 "HOME=" + s.home,
                 "USER=" + s.user,
                 "LOGNAME=" + s.user,
                 "SHELL=" + std::string(pw->pw_shell ? pw->pw_shell : "/bin/sh"),
                 "PATH=/usr/local/bin:/usr/bin:/bin",
                 "XDG_SESSION_ID=" + id,
                 "XDG_SESSION_TYPE=x11",
                 "XDG_RUNTIME_DIR=" + runtime};
        if (!xauth.empty())
            s.env.push_back("XAUTHORITY=" + xauth);
        std::string bus = lookup(seen, "DBUS_SESSION_BUS_ADDRESS");
        if (bus.empty() && ::access((runtime + "/bus").c_str(), F_OK) == 0)
            bus = "unix:path=" + runtime + "/bus";
        if (!bus.empty())
            s.env.push_back("DBUS_SESSION_BUS_ADDRESS=" + bus);
        const std::string seat = sdString(sd_session_get_seat, id);
        if (!seat.empty())
            s.env.push_back("XDG_SEAT=" + seat);
        for (const char* name : {"LANG", "LANGUAGE", "LC_ALL"}) {
            std::string v = lookup(seen, name);
            if (v.empty() && ::getenv(name))
                v = ::getenv(name);
            if (!v.empty())
                s.env.push_back(std::string(name) + "=" + v);
        }
        return s;
    }

    static std::vector<std::string> fromSessionProcesses(const std::string& id, uid_t uid) {
        DIR* d = ::opendir("/proc");
        std::vector<std::string> out;
        while (dirent* e = d ? ::readdir(d) : nullptr) {
            const pid_t pid = static_cast<pid_t>(std::atoi(e->d_name));
            struct stat st {};
            if (pid <= 0 || ::stat(("/proc/" + std::string(e->d_name)).c_str(), &st) != 0 ||
                st.st_uid != uid)
                continue;
            char* s = nullptr;
            const bool same = sd_pid_get_session(pid, &s) >= 0 && s && id == s;
            ::free(s);
            if (!same)
                continue;
            std::vector<std::string> env = environOf(pid);
            if (!lookup(env, "XAUTHORITY").empty()) {
                out = std::move(env);
                break;
            }
        }
        if (d)
            ::closedir(d);
        return out;
    }

    std::string m_group;
    LogFn m_log;
    sd_login_monitor* m_monitor = nullptr;
    std::set<std::string> m_reported;
};

} // namespace

bool validId(const std::string& id) {
    return !id.empty() && id.size() <= 64 && id != "." && id != ".." &&
           std::all_of(id.begin(), id.end(), [](char c) {
               return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '_' ||
                      c == '-';
           });
}

std::unique_ptr<SessionSource> makeFileSessions(std::string path) {
    return std::make_unique<FileSessions>(std::move(path));
}

std::unique_ptr<SessionSource> makeLogindSessions(std::string group, LogFn log) {
    return std::make_unique<LogindSessions>(std::move(group), std::move(log));
}

} // namespace tlv::guard
