#pragma once

namespace tlv {

// The status windows (frmStatus, frmSmallStatus, frmMicroStatus).
class StatusPort {
public:
    virtual ~StatusPort() = default;
    // Visible frames and labels for the session type; times "00:00:00 ", amounts "0 ".
    virtual void prepareForSession(int sessionType) = 0;
    // frmStatus's connected / disconnected option.
    virtual void setConnectedOption(bool connected) = 0;
    virtual void subShowStatus() = 0;
    virtual bool funHideStatusWindows() = 0;
    // Start-up: every status window hidden for good, and/or no session close button.
    virtual void subSetCloseButtons(bool hideAllStatusWindows, bool noSessionCloseButton) {
        (void)hideAllStatusWindows;
        (void)noSessionCloseButton;
    }
};

} // namespace tlv
