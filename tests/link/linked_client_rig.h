#pragma once

// The client as the program wires it (app/assembly.h: link, snapshot, file transfer and
// workstation control), on the fakes of the client rig and the link tests, in virtual time.
#include "app/assembly.h"
#include "platform/fake/fake_clock_change.h"
#include "platform/fake/fake_control_ports.h"
#include "tests/link/fake_host.h"
#include "tests/spine/client_rig.h"

#include <memory>

namespace tlv::test {

// The machine ports the assembly needs beyond the client rig's fakes.
struct MachineFakes {
    FakeProcessTable processes;
    FakeWindowSystem windows;
    FakeTerminator terminator;
    FakeBrowserAccessibility accessibility;
    FakeSpawner spawner;
    FakeDesktopProfile profile;
    FakeClockChangeMonitor clockChange;
    FakeAdapterSource adapters;

    MachinePorts ports(const Clock& clock, Scheduler& scheduler, Hive& machine, Hive& user,
                       FakePorts& f, const RuntimeLayout& layout, SocketFactory& sockets) {
        return MachinePorts{
            clock,
            scheduler,
            machine,
            user,
            f.systemInfo,
            layout,
            f.lockdown,
            f.mute,
            f.sessionEnd,
            f.instanceLock,
            f.processExit,
            f.langPacks,
            f.autostart,
            sockets,
            clockChange,
            adapters,
            ControlPorts{processes, windows, terminator, accessibility, spawner, profile}};
    }
    MachinePorts ports(ClientRig& c, SocketFactory& sockets) {
        return ports(c.clock, c.scheduler, c.machine, c.user, c.fake, c.layout, sockets);
    }
};

struct LinkedClientRig {
    ClientRig c{ClientRig::NoClient{}};
    FakeSocketFactory sockets;
    FakeLinkForms forms;
    MachineFakes machine;
    std::unique_ptr<Assembly> assembly;

    // start: Main runs (as the program does once everything is built).
    explicit LinkedClientRig(bool start = true) {
        assembly = std::make_unique<Assembly>(
            machine.ports(c, sockets), FacePorts{c.fake.forms, c.fake.status, c.fake.tray, forms});
        c.assembled = &assembly->client();
        if (start)
            c.start();
    }
    ~LinkedClientRig() {
        c.assembled = nullptr;
        assembly.reset();
    }
    ServerLink& server() { return assembly->link(); }
    ClientExtensions& extensions() { return assembly->extensions(); }
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
