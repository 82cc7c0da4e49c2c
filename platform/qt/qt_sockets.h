#pragma once

#include "platform/socket.h"

namespace tlv {

// TCP and UDP sockets on Qt Network, driven by the Qt event loop of the client thread.
class QtSocketFactory : public SocketFactory {
public:
    std::unique_ptr<TcpSocket> createTcp() override;
    std::unique_ptr<UdpSocket> createUdp() override;
    std::string localHostName() const override;
};

} // namespace tlv
