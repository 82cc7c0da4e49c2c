#pragma once

// The server link's extensions: files and the session snapshot (LinkExtensions), and the
// control commands handed to the workstation control objects.

#include "control/app_killer.h"
#include "control/session_cleanup.h"
#include "core/log.h"
#include "link/extensions.h"

#include <string>
#include <vector>

namespace tlv {

class ControlExtensions : public LinkExtensions {
public:
    ControlExtensions(AppKiller& killer, SessionCleanup& cleanup, Logger& log)
        : m_killer(killer), m_cleanup(cleanup), m_log(log) {}

    // "%$&######KilledApps#": the link has read the integer flags; a flag is on when it is 1.
    void setKilledApps(const KilledAppsOptions& k) override {
        try {
            std::vector<std::string> fields = {flag(k.killIE), flag(k.killMozilla),
                                               flag(k.killNetscape), flag(k.killOutlookExpress)};
            if (k.hasList) {
                std::string list;
                for (size_t i = 0; i < k.forbidden.size(); ++i)
                    list += (i ? "*" : "") + k.forbidden[i];
                fields.push_back(list);
            }
            m_killer.applyKilledAppsFields(fields);
        } catch (const std::exception& e) {
            m_log.subLogError("modServerLink.KilledAppsError", e);
        }
    }

    // "%$&##SEssionCleanup#": the choices are replaced as a whole.
    void setCleanup(const CleanupOptions& c) override {
        try {
            m_cleanup.setCleanupChoices(CleanupChoices::fromFields(
                {flag(c.arrangeIcons), flag(c.clearRecentDocs), flag(c.resetWallpaper),
                 flag(c.resetStartPage), flag(c.resetBrowser), c.startPage,
                 flag(c.clearMessenger)}));
        } catch (const std::exception& e) {
            m_log.subLogError("modServerLink.SEssionCleanupError", e);
        }
    }

    void setBatchStyle(int style) override { m_cleanup.setBatchStyle(style); }

private:
    static std::string flag(int v) { return std::to_string(v); }

    AppKiller& m_killer;
    SessionCleanup& m_cleanup;
    Logger& m_log;
};

} // namespace tlv
