#include "platform/linux/proc_table.h"

#include <cerrno>
#include <csignal>
#include <dirent.h>
#include <fstream>
#include <limits.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace tlv {

namespace {

bool parsePid(const char* name, int& pid) {
    if (!name || !*name)
        return false;
    long v = 0;
    for (const char* p = name; *p; ++p) {
        if (*p < '0' || *p > '9')
            return false;
        v = v * 10 + (*p - '0');
        if (v > INT_MAX)
            return false;
    }
    pid = static_cast<int>(v);
    return pid > 0;
}

ProcessEntry readEntry(const std::string& root, int pid) {
    ProcessEntry e;
    const std::string dir = root + "/" + std::to_string(pid);
    struct stat st {};
    if (::stat(dir.c_str(), &st) != 0)
        return e; // cannot be seen at all
    e.pid = pid;
    e.uid = st.st_uid;
    // The real user from the status file (the folder owner changes for set-uid programs).
    std::ifstream status(dir + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Uid:", 0) == 0) {
            std::istringstream in(line.substr(4));
            unsigned long uid = 0;
            if (in >> uid)
                e.uid = static_cast<uint32_t>(uid);
            break;
        }
    }
    char buf[PATH_MAX + 1];
    const ssize_t n = ::readlink((dir + "/exe").c_str(), buf, PATH_MAX);
    if (n > 0) {
        std::string path(buf, static_cast<size_t>(n));
        constexpr std::string_view kDeleted = " (deleted)";
        if (path.ends_with(kDeleted))
            path.resize(path.size() - kDeleted.size());
        e.exePath = std::move(path);
        e.exeReadable = true;
    }
    return e;
}

} // namespace

LinuxProcessTable::LinuxProcessTable(std::string procRoot) : m_root(std::move(procRoot)) {}

std::vector<ProcessEntry> LinuxProcessTable::list() {
    std::vector<ProcessEntry> out;
    DIR* d = ::opendir(m_root.c_str());
    if (!d)
        return out;
    while (dirent* de = ::readdir(d)) {
        int pid = 0;
        if (!parsePid(de->d_name, pid))
            continue;
        ProcessEntry e = readEntry(m_root, pid);
        if (e.pid > 0)
            out.push_back(std::move(e));
    }
    ::closedir(d);
    return out;
}

ProcessEntry LinuxProcessTable::entry(int pid) {
    if (pid <= 0)
        return {};
    return readEntry(m_root, pid);
}

int LinuxProcessTable::ownPid() const {
    return static_cast<int>(::getpid());
}
uint32_t LinuxProcessTable::ownUid() const {
    return static_cast<uint32_t>(::getuid());
}

bool LinuxProcessTerminator::terminate(int pid, const std::string& exePath, const std::string&) {
    if (pid <= 1 || pid == ::getpid())
        return false;
    const ProcessEntry now = readEntry("/proc", pid);
    if (now.pid != pid || now.uid != ::getuid() || (!exePath.empty() && now.exePath != exePath))
        return false;
    return ::kill(pid, SIGKILL) == 0;
}

} // namespace tlv
