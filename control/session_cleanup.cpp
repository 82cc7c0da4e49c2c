#include "control/session_cleanup.h"

#include "core/error.h"
#include "core/log.h"
#include "platform/desktop_profile.h"
#include "platform/processes.h"
#include "platform/window_system.h"

#include <limits>

namespace tlv {

void HiveProfileRegistry::setUserSetting(const std::string& app, const std::string& section,
                                         const std::string& name, const RegValue& value) {
    m_user.set("Software\\" + app + "\\" + section, name, value);
}

void HiveProfileRegistry::setUserKeyValue(const std::string& keyPath, const std::string& name,
                                          const RegValue& value) {
    m_user.set(keyPath, name, value);
}

CleanupChoices CleanupChoices::fromFields(const std::vector<std::string>& fields) {
    if (fields.size() < 7)
        throw TlvError(kErrSubscript, "Subscript out of range");
    auto flag = [&](size_t i) {
        // Integer value exactly 1: surrounding blanks are allowed, anything else is off.
        const std::string& f = fields[i];
        const auto b = f.find_first_not_of(' ');
        const auto e = f.find_last_not_of(' ');
        return b != std::string::npos && f.substr(b, e - b + 1) == "1";
    };
    CleanupChoices c;
    c.arrangeIcons = flag(0);
    c.clearRecentDocuments = flag(1);
    c.resetWallpaper = flag(2);
    c.resetStartPage = flag(3);
    c.resetBrowser = flag(4);
    c.startPage = fields[5];
    c.clearMessengerData = flag(6);
    return c;
}

int64_t percentRoundedHalfEven(int64_t size, int64_t percent) {
    const int64_t v = size * percent;
    int64_t q = v / 100;
    const int64_t r = v % 100;
    if (r > 50 || (r == 50 && (q % 2) != 0))
        ++q;
    return q;
}

std::vector<uint8_t> windowPlacementBytes(int screenWidth, int screenHeight) {
    std::vector<uint8_t> b;
    b.reserve(44);
    auto put = [&](int64_t v) {
        const auto u = static_cast<uint32_t>(v); // the low 32 bits
        for (int i = 0; i < 4; ++i)
            b.push_back(static_cast<uint8_t>(u >> (8 * i)));
    };
    put(44);
    put(0);
    put(1);
    put(-1);
    put(-1);
    put(-1);
    put(-1);
    put(percentRoundedHalfEven(screenWidth, 5));
    put(percentRoundedHalfEven(screenHeight, 5));
    put(percentRoundedHalfEven(screenWidth, 95));
    put(percentRoundedHalfEven(screenHeight, 95));
    return b;
}

SessionCleanup::SessionCleanup(ProfileRegistry& registry, DesktopProfile& profile,
                               WindowSystem& windows, ProcessSpawner& spawner, Logger& log)
    : m_registry(registry), m_profile(profile), m_windows(windows), m_spawner(spawner), m_log(log) {
}

SessionContext SessionCleanup::context() const {
    return m_context ? m_context() : SessionContext{};
}

void SessionCleanup::subSessionCleanup() {
    try {
        const SessionContext ctx = context();
        if (!ctx.allowLockdown)
            return;
        const CleanupChoices c = m_choices;
        // The desktop's own effects are like the Windows calls whose results are ignored: a
        // failure is logged and the cleanup goes on.
        auto effect = [this](auto&& fn) {
            try {
                fn();
            } catch (const std::exception& e) {
                m_log.subLogError("modFunctions.subSessionCleanupError", e);
            }
        };
        if (c.arrangeIcons)
            effect([&] { m_profile.arrangeIcons(); });
        if (c.clearRecentDocuments)
            effect([&] { m_profile.clearRecentDocuments(); });
        if (c.resetWallpaper) {
            m_registry.setUserKeyValue("Control panel\\Desktop", "Wallpaper",
                                       RegValue::sz(ctx.backgroundImagePath));
            effect([&] { m_profile.setWallpaper(ctx.backgroundImagePath); });
        }
        if (c.resetStartPage) {
            m_registry.setUserSetting("Microsoft\\Internet Explorer", "Main", "Start Page",
                                      RegValue::sz(c.startPage));
            effect([&] { m_profile.setStartPage(c.startPage); });
        }
        if (c.resetBrowser) {
            m_registry.setUserSetting("Microsoft\\Internet Explorer\\International\\Scripts", "3",
                                      "IEFontSize", RegValue::bin({2, 0, 0, 0}));
            const auto [w, h] = m_windows.screenPixels();
            m_registry.setUserKeyValue("Software\\Microsoft\\Internet Explorer\\Main",
                                       "Window_Placement",
                                       RegValue::bin(windowPlacementBytes(w, h)));
            subIEDeleteCache();
            funIEDeleteHistory();
        }
        if (c.clearMessengerData) {
            effect([&] { m_profile.clearMessengerData(); });
            if (m_profile.hasYahooMessenger())
                m_registry.setUserSetting("Yahoo", "Pager", "Yahoo! User ID", RegValue::sz(""));
        }
    } catch (const std::exception& e) {
        m_log.subLogError("modFunctions.subSessionCleanupError", e);
    }
}

void SessionCleanup::subIEDeleteCache() {
    try {
        m_profile.deleteBrowserCache();
    } catch (const std::exception& e) {
        m_log.subLogError("modIEHelper.subIEDeleteCacheError", e);
    }
}

bool SessionCleanup::funIEDeleteHistory() {
    try {
        m_profile.deleteBrowserHistory();
        return true;
    } catch (const std::exception& e) {
        m_log.subLogError("modIEHelper.funIEDeleteHistoryError", e);
        return false;
    }
}

void SessionCleanup::subRunSessionStartBatch() {
    runBatch("session_batch_start.bat", "modFunctions.subRunSessionStartBatchError");
}

void SessionCleanup::subRunSessionEndBatch() {
    runBatch("session_batch_end.bat", "modFunctions.subRunSessionEndBatchError");
}

void SessionCleanup::runBatch(const char* file, const char* errorContext) {
    try {
        const SessionContext ctx = context();
        SpawnRequest r;
        r.program = ctx.dataFolder + "/" + file;
        r.args = {ctx.userId.empty() ? ctx.workstationName : ctx.userId, ctx.serverName,
                  ctx.workstationName};
        r.showMode = m_batchStyle;
        r.commandLine = "\"" + r.program + "\" " + r.args[0] + " " + r.args[1] + " " + r.args[2];
        if (!m_spawner.spawnScript(r))
            throw TlvError(kErrFileNotFound, m_spawner.error());
    } catch (const std::exception& e) {
        m_log.subLogError(errorContext, e);
    }
}

} // namespace tlv
