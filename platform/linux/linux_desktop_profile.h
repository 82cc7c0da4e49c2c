#pragma once

#include "platform/desktop_profile.h"
#include "platform/paths.h"

#include <functional>
#include <string>
#include <vector>

namespace tlv {

// The profile of the desktop user on Linux: the freedesktop recent-documents list, the
// desktop's own wallpaper setting, the Firefox and Chromium-family profiles, the messenger
// folders. home: the user's home folder (RuntimeLayout::userAppData).
class LinuxDesktopProfile : public DesktopProfile {
public:
    // Runs a desktop tool (gsettings, pcmanfm...) given as argv with a full path; tests pass
    // their own.
    using RunTool = std::function<bool(const std::vector<std::string>& argv)>;

    LinuxDesktopProfile(std::string home, Environment env, RunTool runTool);

    void arrangeIcons() override;
    void clearRecentDocuments() override;
    void setWallpaper(const std::string& imagePath) override;
    void setStartPage(const std::string& address) override;
    void deleteBrowserCache() override;
    void deleteBrowserHistory() override;
    void clearMessengerData() override;
    bool hasYahooMessenger() override;

    std::vector<std::string> firefoxProfiles() const;
    std::vector<std::string> chromiumProfiles() const;

private:
    std::string env(const char* name, const std::string& dflt) const;
    std::string desktop() const; // XDG_CURRENT_DESKTOP in lower case
    bool tool(std::vector<std::string> argv);

    std::string m_home;
    Environment m_env;
    RunTool m_runTool;
};

// "file://" URI of a local path, with the reserved bytes percent-encoded.
std::string fileUri(const std::string& path);

} // namespace tlv
