#pragma once

#include "platform/web_browser.h"

namespace tlv {

// xdg-open, started detached so that the client never waits for the browser.
class XdgWebBrowser : public WebBrowser {
public:
    bool open(const std::string& address) override;
};

} // namespace tlv
