#pragma once

// The real client object with its link, snapshot and file transfer, on the fakes of the client
// rig and the link tests, in virtual time.
#include "link/client_extensions.h"
#include "link/client_link.h"
#include "link/extensions.h"
#include "tests/link/fake_host.h"
#include "tests/spine/client_rig.h"

#include <memory>

namespace tlv::test {

struct LinkedClientRig {
    ClientRig c;
    FakeSocketFactory sockets;
    FakeLinkForms forms;
    LinkExtensions ext;
    std::unique_ptr<ClientLink> link;
    std::unique_ptr<ClientExtensions> extensions;

    LinkedClientRig() {
        link = std::make_unique<ClientLink>(c.c(), sockets, forms, ext);
        extensions = std::make_unique<ClientExtensions>(c.c(), link->link(), forms, ext);
        c.start();
    }
    ServerLink& server() { return link->link(); }
    FakeTcpSocket& tcp() { return *sockets.tcp.back(); }
    FakeUdpSocket& udp() { return *sockets.udp.back(); }
    // Discovery, the connection and its identification block; false when the client did not
    // get that far.
    bool connect() {
        c.scheduler.advance(3000);
        if (sockets.udp.empty())
            return false;
        udp().deliver(utf8ToCp1252(tok::kServerAnswer), "192.168.1.10");
        if (sockets.tcp.empty())
            return false;
        tcp().accept();
        c.scheduler.advance(500);
        return true;
    }
};

} // namespace tlv::test
