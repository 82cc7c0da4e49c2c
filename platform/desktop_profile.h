#pragma once

#include <string>

namespace tlv {

// The user's desktop and browser profile, as the session cleanup resets it. Each step does
// what the desktop offers and nothing where it offers nothing; a failure throws TlvError.
class DesktopProfile {
public:
    virtual ~DesktopProfile() = default;
    virtual void arrangeIcons() = 0;
    virtual void clearRecentDocuments() = 0;
    // An empty path removes the wallpaper.
    virtual void setWallpaper(const std::string& imagePath) = 0;
    virtual void setStartPage(const std::string& address) = 0;
    virtual void deleteBrowserCache() = 0;
    // Browsing history only: bookmarks are kept.
    virtual void deleteBrowserHistory() = 0;
    // Files directly in the messenger folders; sub-folders are kept.
    virtual void clearMessengerData() = 0;
    // Whether the messenger's own folder is there (its login is then cleared in the registry).
    virtual bool hasYahooMessenger() = 0;
};

} // namespace tlv
