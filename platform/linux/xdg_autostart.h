#pragma once

#include "platform/autostart.h"

namespace tlv {

// "<dir>/tlvcli.desktop", a Desktop Entry that the session manager starts at logon.
class XdgAutostart : public Autostart {
public:
    explicit XdgAutostart(std::string autostartDir, std::string fileName = "tlvcli.desktop");
    bool isEnabled() const override;
    bool enable(const std::string& command) override;
    bool disable() override;
    std::string lastError() const override { return m_lastError; }

    const std::string& entryPath() const { return m_path; }
    // The entry's text for a command (quoted and escaped by the Desktop Entry rules).
    static std::string desktopEntry(const std::string& command);

private:
    std::string m_dir;
    std::string m_path;
    std::string m_lastError;
};

} // namespace tlv
