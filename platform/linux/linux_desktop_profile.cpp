#include "platform/linux/linux_desktop_profile.h"

#include "core/error.h"
#include "platform/linux/posix_spawner.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sqlite3.h>
#include <sstream>

namespace fs = std::filesystem;

namespace tlv {

namespace {

// Browser files above this size are not read into memory.
constexpr std::uintmax_t kMaxPreferencesBytes = 32u << 20;

std::string readSmallFile(const fs::path& p, std::uintmax_t limit) {
    std::error_code ec;
    const auto size = fs::file_size(p, ec);
    if (ec || size > limit)
        throw TlvError(kErrPathAccess, "Path/File access error: " + p.string());
    std::ifstream in(p, std::ios::binary);
    std::string s(static_cast<size_t>(size), '\0');
    in.read(s.data(), static_cast<std::streamsize>(size));
    if (!in)
        throw TlvError(kErrPathAccess, "Path/File access error: " + p.string());
    return s;
}

void writeFileAtomically(const fs::path& p, const std::string& content) {
    const fs::path tmp = p.string() + ".tlvtmp";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        out << content;
        if (!out)
            throw TlvError(kErrPathAccess, "Path/File access error: " + tmp.string());
    }
    std::error_code ec;
    fs::rename(tmp, p, ec);
    if (ec) {
        fs::remove(tmp, ec);
        throw TlvError(kErrPathAccess, "Path/File access error: " + p.string());
    }
}

void removeQuietly(const fs::path& p) {
    std::error_code ec;
    fs::remove_all(p, ec);
}

// A browser's SQLite file: the statements run in one transaction; missing tables are skipped.
void clearTables(const fs::path& db,
                 const std::vector<std::pair<std::string, std::string>>& steps) {
    std::error_code ec;
    if (!fs::is_regular_file(db, ec))
        return;
    sqlite3* h = nullptr;
    if (sqlite3_open_v2(db.c_str(), &h, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        const std::string msg = h ? sqlite3_errmsg(h) : "cannot open";
        sqlite3_close(h);
        throw TlvError(kErrPathAccess, db.string() + ": " + msg);
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
        throw TlvError(kErrPathAccess, db.string() + ": " + msg);
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
    : m_home(std::move(home)), m_env(std::move(env)), m_runTool(std::move(runTool)) {}

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
    const fs::path data = env("XDG_DATA_HOME", m_home + "/.local/share");
    for (const fs::path& p :
         {data / "recently-used.xbel", fs::path(m_home) / ".recently-used.xbel"}) {
        std::error_code ec;
        if (fs::exists(p, ec))
            writeFileAtomically(p, kEmpty);
    }
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

std::vector<std::string> LinuxDesktopProfile::firefoxProfiles() const {
    std::vector<std::string> out;
    const fs::path base = fs::path(m_home) / ".mozilla" / "firefox";
    std::ifstream ini(base / "profiles.ini");
    std::string line, path;
    bool relative = true;
    auto flush = [&] {
        if (!path.empty())
            out.push_back(relative ? (base / path).string() : path);
        path.clear();
        relative = true;
    };
    while (std::getline(ini, line)) {
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
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

std::vector<std::string> LinuxDesktopProfile::chromiumProfiles() const {
    std::vector<std::string> out;
    const fs::path config = env("XDG_CONFIG_HOME", m_home + "/.config");
    for (const char* browser :
         {"chromium", "google-chrome", "BraveSoftware/Brave-Browser", "vivaldi"}) {
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(config / browser, ec)) {
            const std::string name = e.path().filename().string();
            if ((name == "Default" || name.starts_with("Profile ")) && e.is_directory())
                out.push_back(e.path().string());
        }
    }
    std::sort(out.begin(), out.end());
    return out;
}

void LinuxDesktopProfile::setStartPage(const std::string& address) {
    for (const std::string& profile : firefoxProfiles()) {
        const fs::path userJs = fs::path(profile) / "user.js";
        std::error_code ec;
        if (!fs::is_directory(profile, ec))
            continue;
        std::string kept;
        if (fs::exists(userJs, ec)) {
            std::istringstream in(readSmallFile(userJs, kMaxPreferencesBytes));
            std::string line;
            while (std::getline(in, line))
                if (line.find("\"browser.startup.homepage\"") == std::string::npos &&
                    line.find("\"browser.startup.page\"") == std::string::npos)
                    kept += line + "\n";
        }
        kept += "user_pref(\"browser.startup.homepage\", " + jsString(address) + ");\n";
        kept += "user_pref(\"browser.startup.page\", 1);\n";
        writeFileAtomically(userJs, kept);
    }
    for (const std::string& profile : chromiumProfiles()) {
        const fs::path prefs = fs::path(profile) / "Preferences";
        std::error_code ec;
        QJsonObject root;
        if (fs::exists(prefs, ec)) {
            const std::string text = readSmallFile(prefs, kMaxPreferencesBytes);
            QJsonParseError perr{};
            const QJsonDocument doc = QJsonDocument::fromJson(
                QByteArray(text.data(), static_cast<qsizetype>(text.size())), &perr);
            if (perr.error != QJsonParseError::NoError || !doc.isObject())
                throw TlvError(kErrPathAccess, "Path/File access error: " + prefs.string());
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
        writeFileAtomically(prefs, std::string(out.constData(), static_cast<size_t>(out.size())));
    }
}

void LinuxDesktopProfile::deleteBrowserCache() {
    const fs::path cache = env("XDG_CACHE_HOME", m_home + "/.cache");
    for (const char* dir : {"mozilla", "chromium", "google-chrome", "BraveSoftware", "vivaldi",
                            "opera", "epiphany", "falkon"})
        removeQuietly(cache / dir);
    for (const std::string& p : firefoxProfiles())
        removeQuietly(fs::path(p) / "cache2");
    for (const std::string& p : chromiumProfiles())
        for (const char* dir : {"Cache", "Code Cache", "GPUCache"})
            removeQuietly(fs::path(p) / dir);
}

void LinuxDesktopProfile::deleteBrowserHistory() {
    for (const std::string& p : firefoxProfiles()) {
        // Places that a bookmark points to stay (with their visits forgotten).
        clearTables(fs::path(p) / "places.sqlite",
                    {{"moz_historyvisits", "DELETE FROM moz_historyvisits"},
                     {"moz_inputhistory", "DELETE FROM moz_inputhistory"},
                     {"moz_places", "DELETE FROM moz_places WHERE id NOT IN (SELECT fk FROM "
                                    "moz_bookmarks WHERE fk IS NOT NULL)"},
                     {"moz_places", "UPDATE moz_places SET visit_count = 0, last_visit_date = "
                                    "NULL"}});
        // The last customer's tabs would come back with the session.
        removeQuietly(fs::path(p) / "sessionstore.jsonlz4");
        removeQuietly(fs::path(p) / "sessionstore-backups");
    }
    for (const std::string& p : chromiumProfiles()) {
        clearTables(fs::path(p) / "History",
                    {{"visits", "DELETE FROM visits"},
                     {"visit_source", "DELETE FROM visit_source"},
                     {"urls", "DELETE FROM urls"},
                     {"keyword_search_terms", "DELETE FROM keyword_search_terms"},
                     {"segments", "DELETE FROM segments"},
                     {"segment_usage", "DELETE FROM segment_usage"}});
        for (const char* f : {"Visited Links", "Top Sites", "Top Sites-journal", "Current Session",
                              "Current Tabs", "Last Session", "Last Tabs", "Sessions"})
            removeQuietly(fs::path(p) / f);
    }
}

void LinuxDesktopProfile::clearMessengerData() {
    for (const char* folder : {".gaim", ".purple"}) {
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(fs::path(m_home) / folder, ec)) {
            std::error_code fe;
            if (!e.is_directory(fe))
                fs::remove(e.path(), fe);
        }
    }
}

bool LinuxDesktopProfile::hasYahooMessenger() {
    std::error_code ec;
    return fs::exists(fs::path(m_home) / "Yahoo! Messenger", ec);
}

} // namespace tlv
