#include "platform/linux/linux_desktop_profile.h"

#include "core/error.h"
#include "platform/linux/posix_spawner.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <algorithm>
#include <sqlite3.h>
#include <sstream>

namespace tlv {

namespace {

// Browser and desktop files above these sizes are not read into memory.
constexpr uint64_t kMaxPreferencesBytes = 32u << 20;
constexpr uint64_t kMaxIniBytes = 1u << 20;

// A browser's SQLite file in a profile folder: the statements run in one transaction; missing
// tables are skipped. The file is opened through the folder already opened without links.
void clearTables(const HomeFolder& tree, const std::string& folder, const std::string& name,
                 const std::vector<std::pair<std::string, std::string>>& steps) {
    const DirFd dir = tree.openDir(folder);
    struct stat st {};
    if (!dir || fstatat(dir.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(st.st_mode))
        return;
    const std::string path = dir.pathOf(name);
    const std::string shown = tree.home() + "/" + folder + "/" + name;
    sqlite3* h = nullptr;
    if (sqlite3_open_v2(path.c_str(), &h, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        const std::string msg = h ? sqlite3_errmsg(h) : "cannot open";
        sqlite3_close(h);
        throw TlvError(kErrPathAccess, shown + ": " + msg);
    }
    sqlite3_busy_timeout(h, 250);
    auto hasTable = [h](const std::string& t) {
        sqlite3_stmt* s = nullptr;
        bool found = false;
        if (sqlite3_prepare_v2(h, "SELECT 1 FROM sqlite_master WHERE type='table' AND name=?", -1,
                               &s, nullptr) == SQLITE_OK) {
            sqlite3_bind_text(s, 1, t.c_str(), -1, SQLITE_TRANSIENT);
            found = sqlite3_step(s) == SQLITE_ROW;
        }
        sqlite3_finalize(s);
        return found;
    };
    std::string sql = "BEGIN IMMEDIATE;";
    for (const auto& [table, statement] : steps)
        if (hasTable(table))
            sql += statement + ";";
    sql += "COMMIT;";
    char* err = nullptr;
    if (sqlite3_exec(h, sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
        const std::string msg = err ? err : "error";
        sqlite3_free(err);
        sqlite3_exec(h, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(h);
        throw TlvError(kErrPathAccess, shown + ": " + msg);
    }
    sqlite3_close(h);
}

std::string jsString(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\')
            out += '\\';
        if (static_cast<unsigned char>(c) < 0x20)
            continue;
        out += c;
    }
    return out + "\"";
}

// Where each packaging of Firefox keeps its profiles (classic, Snap, Flatpak), below the home;
// the XDG configuration folder is added by the caller.
constexpr const char* kFirefoxRoots[] = {
    ".mozilla/firefox",
    "snap/firefox/common/.mozilla/firefox",
    ".var/app/org.mozilla.firefox/.mozilla/firefox",
    ".var/app/org.mozilla.firefox/config/mozilla/firefox",
};
// The Chromium family outside the XDG configuration folder: Snap and Flatpak.
constexpr const char* kChromiumRoots[] = {
    "snap/chromium/common/chromium",
    ".var/app/org.chromium.Chromium/config/chromium",
    ".var/app/com.google.Chrome/config/google-chrome",
    ".var/app/com.brave.Browser/config/BraveSoftware/Brave-Browser",
};
constexpr const char* kChromiumConfigNames[] = {"chromium", "google-chrome",
                                                "BraveSoftware/Brave-Browser", "vivaldi"};
constexpr const char* kCacheNames[] = {"mozilla", "chromium", "google-chrome", "BraveSoftware",
                                       "vivaldi", "opera",    "epiphany",      "falkon"};
constexpr const char* kPackagedCaches[] = {
    "snap/firefox/common/.cache/mozilla",
    "snap/chromium/common/.cache/chromium",
    ".var/app/org.mozilla.firefox/cache/mozilla",
    ".var/app/org.chromium.Chromium/cache/chromium",
    ".var/app/com.google.Chrome/cache/google-chrome",
};

} // namespace

std::string fileUri(const std::string& path) {
    static const char* hex = "0123456789ABCDEF";
    std::string out = "file://";
    for (unsigned char c : path) {
        if (std::isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

LinuxDesktopProfile::LinuxDesktopProfile(std::string home, Environment env, RunTool runTool)
    : m_home(std::move(home)), m_tree(m_home), m_env(std::move(env)),
      m_runTool(std::move(runTool)) {}

std::optional<std::string> LinuxDesktopProfile::xdgFolder(const char* name,
                                                          const std::string& dflt) const {
    // An XDG folder outside the home (or a relative one, which the standard ignores) is not
    // one the cleanup may touch.
    const std::string v = env(name, "");
    if (v.empty() || v.front() != '/')
        return dflt;
    return m_tree.below(v);
}

std::string LinuxDesktopProfile::env(const char* name, const std::string& dflt) const {
    auto it = m_env.find(name);
    return it == m_env.end() || it->second.empty() ? dflt : it->second;
}

std::string LinuxDesktopProfile::desktop() const {
    std::string d = env("XDG_CURRENT_DESKTOP", "");
    std::transform(d.begin(), d.end(), d.begin(), [](unsigned char c) { return std::tolower(c); });
    return d;
}

bool LinuxDesktopProfile::tool(std::vector<std::string> argv) {
    if (argv.empty() || !m_runTool)
        return false;
    const std::string full = findInPath(argv[0]);
    if (full.empty())
        return false; // this desktop does not have the tool: nothing to do
    argv[0] = full;
    return m_runTool(argv);
}

void LinuxDesktopProfile::arrangeIcons() {
    // Only Xfce's desktop offers arranging from outside; other desktops keep their own order.
    if (desktop().find("xfce") != std::string::npos)
        tool({"xfdesktop", "--arrange"});
}

void LinuxDesktopProfile::clearRecentDocuments() {
    static const char* kEmpty =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<xbel version=\"1.0\"\n"
        "      xmlns:bookmark=\"http://www.freedesktop.org/standards/desktop-bookmarks\"\n"
        "      xmlns:mime=\"http://www.freedesktop.org/standards/shared-mime-info\"\n"
        ">\n</xbel>\n";
    const auto data = xdgFolder("XDG_DATA_HOME", ".local/share");
    std::vector<std::string> lists = {".recently-used.xbel"};
    if (data)
        lists.push_back(*data + "/recently-used.xbel");
    for (const std::string& rel : lists)
        if (m_tree.exists(rel))
            m_tree.writeFile(rel, kEmpty);
    // What the file manager and the image viewers remember of the customer's files.
    if (const auto cache = xdgFolder("XDG_CACHE_HOME", ".cache"))
        m_tree.removeContents(*cache + "/thumbnails");
    m_tree.removeContents(".thumbnails");
    if (data)
        for (const char* part : {"files", "info", "expunged"})
            m_tree.removeContents(*data + "/Trash/" + part);
    if (const auto downloads = downloadsFolder())
        m_tree.removeContents(*downloads);
}

std::optional<std::string> LinuxDesktopProfile::downloadsFolder() const {
    // XDG_DOWNLOAD_DIR="$HOME/Downloads" in user-dirs.dirs; a folder set to the home itself
    // means "none" and is never emptied.
    const auto config = xdgFolder("XDG_CONFIG_HOME", ".config");
    const auto text = config ? m_tree.readFile(*config + "/user-dirs.dirs", kMaxIniBytes)
                             : std::optional<std::string>();
    std::string value = "$HOME/Downloads";
    if (text) {
        std::istringstream in(*text);
        std::string line;
        while (std::getline(in, line)) {
            if (!line.starts_with("XDG_DOWNLOAD_DIR="))
                continue;
            value = line.substr(17);
            if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
                value = value.substr(1, value.size() - 2);
        }
    }
    if (value.starts_with("$HOME"))
        return m_tree.below(value.substr(5).empty() ? "." : "./" + value.substr(5));
    return m_tree.below(value);
}

void LinuxDesktopProfile::setWallpaper(const std::string& imagePath) {
    const std::string d = desktop();
    const std::string uri = imagePath.empty() ? std::string() : fileUri(imagePath);
    if (d.find("gnome") != std::string::npos || d.find("unity") != std::string::npos ||
        d.find("budgie") != std::string::npos || d.find("ubuntu") != std::string::npos) {
        tool({"gsettings", "set", "org.gnome.desktop.background", "picture-uri", uri});
        tool({"gsettings", "set", "org.gnome.desktop.background", "picture-uri-dark", uri});
        tool({"gsettings", "set", "org.gnome.desktop.background", "picture-options",
              imagePath.empty() ? "none" : "zoom"});
    } else if (d.find("cinnamon") != std::string::npos) {
        tool({"gsettings", "set", "org.cinnamon.desktop.background", "picture-uri", uri});
        tool({"gsettings", "set", "org.cinnamon.desktop.background", "picture-options",
              imagePath.empty() ? "none" : "zoom"});
    } else if (d.find("mate") != std::string::npos) {
        tool({"gsettings", "set", "org.mate.background", "picture-filename", imagePath});
    } else if (d.find("lxde") != std::string::npos && !imagePath.empty()) {
        tool({"pcmanfm", "--set-wallpaper", imagePath});
    }
}

std::vector<std::string> LinuxDesktopProfile::firefoxProfileFolders() const {
    std::vector<std::string> roots(std::begin(kFirefoxRoots), std::end(kFirefoxRoots));
    if (const auto config = xdgFolder("XDG_CONFIG_HOME", ".config"))
        roots.push_back(*config + "/mozilla/firefox");
    std::vector<std::string> out;
    for (const std::string& root : roots) {
        const auto ini = m_tree.readFile(root + "/profiles.ini", kMaxIniBytes);
        if (!ini)
            continue;
        std::istringstream in(*ini);
        std::string line, path;
        bool relative = true;
        auto flush = [&] {
            // A path that leaves the home, or goes through a link, is not a profile to touch.
            if (!path.empty())
                if (auto rel = m_tree.below(path, relative ? root : std::string());
                    rel && (!relative || path.front() != '/') && m_tree.isDir(*rel))
                    out.push_back(*rel);
            path.clear();
            relative = true;
        };
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (line.starts_with("["))
                flush();
            else if (line.starts_with("Path="))
                path = line.substr(5);
            else if (line.starts_with("IsRelative="))
                relative = line.substr(11) != "0";
        }
        flush();
    }
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

std::vector<std::string> LinuxDesktopProfile::chromiumProfileFolders() const {
    std::vector<std::string> roots(std::begin(kChromiumRoots), std::end(kChromiumRoots));
    if (const auto config = xdgFolder("XDG_CONFIG_HOME", ".config"))
        for (const char* browser : kChromiumConfigNames)
            roots.push_back(*config + "/" + browser);
    std::vector<std::string> out;
    for (const std::string& root : roots)
        for (const std::string& name : m_tree.list(root, true))
            if (name == "Default" || name.starts_with("Profile "))
                out.push_back(root + "/" + name);
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<std::string> LinuxDesktopProfile::firefoxProfiles() const {
    std::vector<std::string> out;
    for (const std::string& rel : firefoxProfileFolders())
        out.push_back(m_home + "/" + rel);
    return out;
}

std::vector<std::string> LinuxDesktopProfile::chromiumProfiles() const {
    std::vector<std::string> out;
    for (const std::string& rel : chromiumProfileFolders())
        out.push_back(m_home + "/" + rel);
    return out;
}

void LinuxDesktopProfile::setStartPage(const std::string& address) {
    for (const std::string& profile : firefoxProfileFolders()) {
        const std::string userJs = profile + "/user.js";
        std::string kept;
        if (m_tree.exists(userJs)) {
            const auto text = m_tree.readFile(userJs, kMaxPreferencesBytes);
            if (!text)
                throw TlvError(kErrPathAccess, "Path/File access error: " + m_home + "/" + userJs);
            std::istringstream in(*text);
            std::string line;
            while (std::getline(in, line))
                if (line.find("\"browser.startup.homepage\"") == std::string::npos &&
                    line.find("\"browser.startup.page\"") == std::string::npos)
                    kept += line + "\n";
        }
        kept += "user_pref(\"browser.startup.homepage\", " + jsString(address) + ");\n";
        kept += "user_pref(\"browser.startup.page\", 1);\n";
        m_tree.writeFile(userJs, kept);
    }
    for (const std::string& profile : chromiumProfileFolders()) {
        const std::string prefs = profile + "/Preferences";
        QJsonObject root;
        if (m_tree.exists(prefs)) {
            const auto text = m_tree.readFile(prefs, kMaxPreferencesBytes);
            QJsonParseError perr{};
            const QJsonDocument doc =
                text ? QJsonDocument::fromJson(
                           QByteArray(text->data(), static_cast<qsizetype>(text->size())), &perr)
                     : QJsonDocument();
            if (!text || perr.error != QJsonParseError::NoError || !doc.isObject())
                throw TlvError(kErrPathAccess, "Path/File access error: " + m_home + "/" + prefs);
            root = doc.object();
        }
        const QString url = QString::fromStdString(address);
        root["homepage"] = url;
        root["homepage_is_newtabpage"] = false;
        QJsonObject session = root["session"].toObject();
        session["restore_on_startup"] = 4;
        session["startup_urls"] = QJsonArray{url};
        root["session"] = session;
        const QByteArray out = QJsonDocument(root).toJson(QJsonDocument::Compact);
        m_tree.writeFile(prefs, std::string(out.constData(), static_cast<size_t>(out.size())));
    }
}

void LinuxDesktopProfile::deleteBrowserCache() {
    if (const auto cache = xdgFolder("XDG_CACHE_HOME", ".cache"))
        for (const char* dir : kCacheNames)
            m_tree.removeAll(*cache + "/" + dir);
    for (const char* dir : kPackagedCaches)
        m_tree.removeAll(dir);
    for (const std::string& p : firefoxProfileFolders())
        for (const char* dir : {"cache2", "startupCache", "thumbnails"})
            m_tree.removeAll(p + "/" + dir);
    for (const std::string& p : chromiumProfileFolders())
        for (const char* dir : {"Cache", "Code Cache", "GPUCache", "Service Worker/CacheStorage",
                                "Service Worker/ScriptCache"})
            m_tree.removeAll(p + "/" + dir);
}

void LinuxDesktopProfile::deleteBrowserHistory() {
    // History with its downloads list, the sessions (the last customer's tabs would come back),
    // what sites stored (local, session and indexed storage). Cookies stay: the server's
    // choice is cache and history.
    for (const std::string& p : firefoxProfileFolders()) {
        // Places that a bookmark points to stay (with their visits forgotten).
        clearTables(m_tree, p, "places.sqlite",
                    {{"moz_historyvisits", "DELETE FROM moz_historyvisits"},
                     {"moz_inputhistory", "DELETE FROM moz_inputhistory"},
                     {"moz_places", "DELETE FROM moz_places WHERE id NOT IN (SELECT fk FROM "
                                    "moz_bookmarks WHERE fk IS NOT NULL)"},
                     {"moz_places", "UPDATE moz_places SET visit_count = 0, last_visit_date = "
                                    "NULL"},
                     {"moz_annos", "DELETE FROM moz_annos WHERE place_id NOT IN (SELECT id FROM "
                                   "moz_places)"}});
        clearTables(m_tree, p, "formhistory.sqlite",
                    {{"moz_formhistory", "DELETE FROM moz_formhistory"}});
        for (const char* f : {"sessionstore.jsonlz4", "sessionstore-backups", "storage/default",
                              "storage/temporary", "webappsstore.sqlite", "webappsstore.sqlite-wal",
                              "webappsstore.sqlite-shm"})
            m_tree.removeAll(p + "/" + f);
    }
    for (const std::string& p : chromiumProfileFolders()) {
        clearTables(m_tree, p, "History",
                    {{"visits", "DELETE FROM visits"},
                     {"visit_source", "DELETE FROM visit_source"},
                     {"urls", "DELETE FROM urls"},
                     {"keyword_search_terms", "DELETE FROM keyword_search_terms"},
                     {"segments", "DELETE FROM segments"},
                     {"segment_usage", "DELETE FROM segment_usage"},
                     {"downloads", "DELETE FROM downloads"},
                     {"downloads_url_chains", "DELETE FROM downloads_url_chains"},
                     {"downloads_slices", "DELETE FROM downloads_slices"}});
        for (const char* f :
             {"Visited Links", "Top Sites", "Top Sites-journal", "Current Session", "Current Tabs",
              "Last Session", "Last Tabs", "Sessions", "Local Storage", "Session Storage",
              "IndexedDB", "Shortcuts", "Shortcuts-journal"})
            m_tree.removeAll(p + "/" + f);
    }
}

void LinuxDesktopProfile::clearMessengerData() {
    for (const char* folder : {".gaim", ".purple"})
        m_tree.removeFiles(folder);
}

bool LinuxDesktopProfile::hasYahooMessenger() {
    return m_tree.exists("Yahoo! Messenger");
}

} // namespace tlv
