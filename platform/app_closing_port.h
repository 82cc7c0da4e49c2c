#pragma once

namespace tlv {

// Closing the customer's applications. The core decides whether to call (not under "-k").
class AppClosingPort {
public:
    virtual ~AppClosingPort() = default;
    // Every application of the customer.
    virtual bool funCloseAllApps() = 0;
    // Browsers and programs forbidden in disconnected mode.
    virtual void subKillApps() = 0;
};

} // namespace tlv
