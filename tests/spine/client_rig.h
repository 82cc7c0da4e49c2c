#pragma once

#include "core/client.h"
#include "platform/fake/memory_hive.h"
#include "platform/fake/recording_ports.h"
#include "platform/fake/virtual_time.h"
#include "platform/paths.h"
#include "tests/support/temp_root.h"

#include <memory>
#include <string>
#include <vector>

namespace tlv::test {

// One client on fakes and virtual time, under a temporary machine root.
struct ClientRig {
    TempRoot root;
    VirtualClock clock;
    VirtualScheduler scheduler{clock};
    MemoryHive machine;
    MemoryHive user;
    FakePorts fake;
    RuntimeLayout layout;
    std::unique_ptr<Client> client;
    // The client an assembly built over these fakes (tests/link/linked_client_rig.h).
    Client* assembled = nullptr;

    // With a client of its own.
    ClientRig();
    // The fakes only: the assembly builds the client.
    struct NoClient {};
    explicit ClientRig(NoClient);
    ClientPorts ports();
    // Both "Config Wizard" values, machine and user.
    void setWizard(int machineValue, int userValue);
    void setMachine(const std::string& section, const std::string& name, const RegValue& v);
    // Runs Main and the start delay as far as it goes.
    void start(const std::string& commandLine = "", DisplayKind display = DisplayKind::X11);
    // A running session of the type in the state, as the lock screen leaves it.
    void openSession(int type, int state);
    Client& c() { return assembled ? *assembled : *client; }
    std::vector<std::string>& calls() { return fake.calls.calls; }
    std::string logText() const;
};

// True when every expected call occurs in calls, in this order (others may come between).
bool inOrder(const std::vector<std::string>& calls, const std::vector<std::string>& expected);

} // namespace tlv::test
