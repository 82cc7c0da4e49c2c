#pragma once

#include <string>

namespace tlv {

// Hands an address to the desktop's default handler (the web browser for http addresses).
class WebBrowser {
public:
    virtual ~WebBrowser() = default;
    // False when the handler could not be started.
    virtual bool open(const std::string& address) = 0;
};

} // namespace tlv
