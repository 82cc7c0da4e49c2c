#pragma once

#include "platform/desktop_profile.h"
#include "platform/linux/home_folder.h"
#include "platform/paths.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tlv {

// The profile of the desktop user on Linux: the freedesktop recent-documents list, thumbnails,
// trash and downloads, the desktop's own wallpaper setting, the Firefox and Chromium-family
// profiles (classic, Snap and Flatpak), the messenger folders. home: the user's home folder
// (RuntimeLayout::userAppData). Nothing outside the home is deleted or written: every path is
// checked to lie below it and reached without following a symbolic link.
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

    // Full paths of the profile folders found.
    std::vector<std::string> firefoxProfiles() const;
    std::vector<std::string> chromiumProfiles() const;

private:
    // The same, below the home.
    std::vector<std::string> firefoxProfileFolders() const;
    std::vector<std::string> chromiumProfileFolders() const;
    // An XDG folder below the home (the default when unset); nothing when it lies outside.
    std::optional<std::string> xdgFolder(const char* name, const std::string& dflt) const;
    std::optional<std::string> downloadsFolder() const;
    std::string env(const char* name, const std::string& dflt) const;
    std::string desktop() const; // XDG_CURRENT_DESKTOP in lower case
    bool tool(std::vector<std::string> argv);

    std::string m_home;
    HomeFolder m_tree;
    Environment m_env;
    RunTool m_runTool;
};

// "file://" URI of a local path, with the reserved bytes percent-encoded.
std::string fileUri(const std::string& path);

} // namespace tlv
