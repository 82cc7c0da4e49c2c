#include "platform/linux/home_folder.h"

#include "core/error.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tlv {

namespace {

// A foreign tree is not walked deeper than this.
constexpr int kMaxDepth = 128;

std::vector<std::string> components(const std::string& path) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start <= path.size()) {
        const size_t slash = path.find('/', start);
        const std::string part =
            path.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        if (!part.empty())
            out.push_back(part);
        if (slash == std::string::npos)
            break;
        start = slash + 1;
    }
    return out;
}

int openChildDir(int parent, const std::string& name) {
    return openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

// The names in an open folder (not "." and ".."), folders only when dirsOnly.
std::vector<std::string> namesIn(int folder, bool dirsOnly) {
    std::vector<std::string> out;
    const int fd = dup(folder);
    DIR* d = fd >= 0 ? fdopendir(fd) : nullptr;
    if (!d) {
        if (fd >= 0)
            close(fd);
        return out;
    }
    rewinddir(d);
    while (dirent* e = readdir(d)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0)
            continue;
        struct stat st {};
        if (dirsOnly &&
            (fstatat(dirfd(d), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(st.st_mode)))
            continue;
        out.push_back(e->d_name);
    }
    closedir(d);
    return out;
}

void removeAt(int parent, const char* name, int depth) {
    struct stat st {};
    if (fstatat(parent, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return;
    if (S_ISDIR(st.st_mode)) {
        if (depth < kMaxDepth) {
            const DirFd dir(openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (dir)
                for (const std::string& n : namesIn(dir.get(), false))
                    removeAt(dir.get(), n.c_str(), depth + 1);
        }
        unlinkat(parent, name, AT_REMOVEDIR);
    } else {
        unlinkat(parent, name, 0);
    }
}

} // namespace

DirFd::~DirFd() {
    if (m_fd >= 0)
        close(m_fd);
}

DirFd& DirFd::operator=(DirFd&& o) noexcept {
    if (this != &o) {
        if (m_fd >= 0)
            close(m_fd);
        m_fd = o.m_fd;
        o.m_fd = -1;
    }
    return *this;
}

std::string DirFd::pathOf(const std::string& name) const {
    return "/proc/self/fd/" + std::to_string(m_fd) + "/" + name;
}

HomeFolder::HomeFolder(std::string home) : m_home(std::move(home)) {
    while (m_home.size() > 1 && m_home.back() == '/')
        m_home.pop_back();
}

std::optional<std::string> HomeFolder::below(const std::string& path,
                                             const std::string& base) const {
    if (m_home.empty() || m_home.front() != '/')
        return std::nullopt;
    std::vector<std::string> parts;
    std::string rest = path;
    if (!path.empty() && path.front() == '/') {
        // An absolute path counts only when it starts with the home folder.
        if (path != m_home && !path.starts_with(m_home + "/"))
            return std::nullopt;
        rest = path.substr(m_home.size());
    } else {
        parts = components(base);
    }
    for (const std::string& c : components(rest)) {
        if (c == ".")
            continue;
        if (c == "..") {
            if (parts.empty())
                return std::nullopt;
            parts.pop_back();
            continue;
        }
        parts.push_back(c);
    }
    if (parts.empty())
        return std::nullopt;
    std::string out;
    for (const std::string& c : parts)
        out += (out.empty() ? "" : "/") + c;
    return out;
}

DirFd HomeFolder::openDir(const std::string& rel) const {
    if (m_home.empty())
        return {};
    // The home itself may be reached through a link (/home on another disk); below it, not.
    DirFd dir(open(m_home.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    for (const std::string& c : components(rel)) {
        if (!dir || c == "." || c == "..")
            return {};
        dir = DirFd(openChildDir(dir.get(), c));
    }
    return dir;
}

std::pair<DirFd, std::string> HomeFolder::parentOf(const std::string& rel) const {
    const auto parts = components(rel);
    if (parts.empty() || parts.back() == "." || parts.back() == "..")
        return {};
    const auto slash = rel.find_last_of('/');
    return {openDir(slash == std::string::npos ? std::string() : rel.substr(0, slash)),
            parts.back()};
}

bool HomeFolder::exists(const std::string& rel) const {
    auto [dir, name] = parentOf(rel);
    struct stat st {};
    return dir && fstatat(dir.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

std::vector<std::string> HomeFolder::list(const std::string& rel, bool dirsOnly) const {
    DirFd dir = openDir(rel);
    return dir ? namesIn(dir.get(), dirsOnly) : std::vector<std::string>{};
}

std::optional<std::string> HomeFolder::readFile(const std::string& rel, uint64_t limit) const {
    auto [dir, name] = parentOf(rel);
    if (!dir)
        return std::nullopt;
    const int fd = openat(dir.get(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return std::nullopt;
    struct stat st {};
    std::optional<std::string> out;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && static_cast<uint64_t>(st.st_size) <= limit) {
        std::string s(static_cast<size_t>(st.st_size), '\0');
        size_t got = 0;
        while (got < s.size()) {
            const ssize_t n = read(fd, s.data() + got, s.size() - got);
            if (n <= 0)
                break;
            got += static_cast<size_t>(n);
        }
        s.resize(got);
        out = std::move(s);
    }
    close(fd);
    return out;
}

void HomeFolder::writeFile(const std::string& rel, const std::string& content) const {
    auto [dir, name] = parentOf(rel);
    if (!dir)
        throw TlvError(kErrPathAccess, "Path/File access error: " + m_home + "/" + rel);
    const std::string tmp = name + ".tlvtmp";
    unlinkat(dir.get(), tmp.c_str(), 0);
    const int fd =
        openat(dir.get(), tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        throw TlvError(kErrPathAccess, "Path/File access error: " + m_home + "/" + rel);
    size_t done = 0;
    bool ok = true;
    while (done < content.size()) {
        const ssize_t n = write(fd, content.data() + done, content.size() - done);
        if (n <= 0) {
            ok = false;
            break;
        }
        done += static_cast<size_t>(n);
    }
    ok = close(fd) == 0 && ok;
    if (!ok || renameat(dir.get(), tmp.c_str(), dir.get(), name.c_str()) != 0) {
        unlinkat(dir.get(), tmp.c_str(), 0);
        throw TlvError(kErrPathAccess, "Path/File access error: " + m_home + "/" + rel);
    }
}

void HomeFolder::removeAll(const std::string& rel) const {
    auto [dir, name] = parentOf(rel);
    if (dir)
        removeAt(dir.get(), name.c_str(), 0);
}

void HomeFolder::removeContents(const std::string& rel) const {
    DirFd dir = openDir(rel);
    if (!dir)
        return;
    for (const std::string& n : namesIn(dir.get(), false))
        removeAt(dir.get(), n.c_str(), 0);
}

void HomeFolder::removeFiles(const std::string& rel) const {
    DirFd dir = openDir(rel);
    if (!dir)
        return;
    for (const std::string& n : namesIn(dir.get(), false)) {
        struct stat st {};
        if (fstatat(dir.get(), n.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISDIR(st.st_mode))
            unlinkat(dir.get(), n.c_str(), 0);
    }
}

} // namespace tlv
