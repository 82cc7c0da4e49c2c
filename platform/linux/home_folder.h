#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tlv {

// An open folder, closed with the object.
class DirFd {
public:
    DirFd() = default;
    explicit DirFd(int fd) : m_fd(fd) {}
    ~DirFd();
    DirFd(DirFd&& o) noexcept : m_fd(o.m_fd) { o.m_fd = -1; }
    DirFd& operator=(DirFd&& o) noexcept;
    DirFd(const DirFd&) = delete;
    DirFd& operator=(const DirFd&) = delete;
    int get() const { return m_fd; }
    explicit operator bool() const { return m_fd >= 0; }
    // A path to name inside this folder for libraries that only take paths: resolved through
    // the open folder, so no link above it is followed.
    std::string pathOf(const std::string& name) const;

private:
    int m_fd = -1;
};

// The files below the user's home folder, reached only through real folders: every path is
// made relative to the home and checked not to leave it, and each component is opened without
// following a symbolic link (a link inside the home is removed itself, never its target).
class HomeFolder {
public:
    explicit HomeFolder(std::string home);

    const std::string& home() const { return m_home; }
    // The path below the home, "." components and ".." resolved by their text, of a path
    // relative to base (itself below the home) or absolute; nothing when it leaves the home or
    // names the home itself.
    std::optional<std::string> below(const std::string& path, const std::string& base = {}) const;

    // A folder below the home, every component a real folder; an empty DirFd when not.
    DirFd openDir(const std::string& rel) const;
    bool isDir(const std::string& rel) const { return static_cast<bool>(openDir(rel)); }
    // Whether rel exists (as anything, a link included).
    bool exists(const std::string& rel) const;
    // The names in a folder (not "." and ".."), folders only when dirsOnly.
    std::vector<std::string> list(const std::string& rel, bool dirsOnly = false) const;
    // A regular file of at most limit bytes; nothing when missing, a link, or larger.
    std::optional<std::string> readFile(const std::string& rel, uint64_t limit) const;
    // Replaces rel by a file with content (through a temporary file and a rename in the same
    // folder, so a link in its place is replaced, not followed). Throws TlvError.
    void writeFile(const std::string& rel, const std::string& content) const;
    // Removes rel with everything below it; nothing when it is missing.
    void removeAll(const std::string& rel) const;
    // Removes what is in the folder rel; the folder stays.
    void removeContents(const std::string& rel) const;
    // Removes the entries of the folder rel that are not folders.
    void removeFiles(const std::string& rel) const;

private:
    // The parent folder of rel and its last component.
    std::pair<DirFd, std::string> parentOf(const std::string& rel) const;

    std::string m_home;
};

} // namespace tlv
