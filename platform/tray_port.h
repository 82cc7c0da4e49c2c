#pragma once

namespace tlv {

enum class TrayImage { imgTlvInactive, imgTlvCliSmall };

// The one tray icon of the process (tip: string 10000).
class TrayPort {
public:
    virtual ~TrayPort() = default;
    virtual void addIcon() = 0;
    virtual void removeIcon() = 0;
    virtual void setIcon(TrayImage image) = 0;
};

} // namespace tlv
