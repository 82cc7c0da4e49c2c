#pragma once

// The one wiring of the client: the client object, its server link, the session snapshot and
// file transfer, and the workstation control, built in one order over the ports a caller
// gives. The program gives the real ports (app/main.cpp), the tests give fakes; neither wires
// the parts itself. What a part needs is a constructor argument here, so a port left out
// does not compile.

#include "app/control_extensions.h"
#include "control/app_killer.h"
#include "control/control_relay.h"
#include "control/modProcManager.h"
#include "control/session_cleanup.h"
#include "control/url_spy.h"
#include "core/client.h"
#include "link/client_extensions.h"
#include "link/client_link.h"

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace tlv {

class AdapterSource;
class BrowserAccessibility;
class ClockChangeMonitor;
class DesktopProfile;
class ProcessSpawner;
class ProcessTable;
class ProcessTerminator;
class SocketFactory;
class WindowSystem;

// What the workstation control acts through: processes, windows, browser addresses, the
// batch files and the user's profile.
struct ControlPorts {
    ProcessTable& processes;
    WindowSystem& windows;
    ProcessTerminator& terminator;
    BrowserAccessibility& accessibility;
    ProcessSpawner& spawner;
    DesktopProfile& profile;
};

// What the machine gives the client. The references must outlive the assembly.
struct MachinePorts {
    const Clock& clock;
    Scheduler& scheduler;
    Hive& machineHive;
    Hive& userHive;
    const SystemInfo& systemInfo;
    const RuntimeLayout& layout;
    ShellLockdown& lockdown;
    SoundMute& mute;
    SessionEndPort& sessionEnd;
    InstanceLock& instanceLock;
    ProcessExit& processExit;
    LangPackStore& langPacks;
    Autostart& autostart;
    SocketFactory& sockets;
    ClockChangeMonitor& clockChange;
    // The network adapters: the hardware identity of a stand-alone workstation.
    AdapterSource& adapters;
    ControlPorts control;
    // The session guard, when one started this client.
    GuardPort* guard = nullptr;
};

// The screens: what the client shows and what the server link drives.
struct FacePorts {
    FormsPort& forms;
    StatusPort& status;
    TrayPort& tray;
    LinkForms& linkForms;
};

// The names of the slots that are empty, from (slot filled, name) pairs.
std::vector<std::string> emptySlots(std::initializer_list<std::pair<bool, const char*>> slots);
// The client's hooks that a part of the assembly must have filled, named when empty.
std::vector<std::string> emptyHooks(const ClientHooks& hooks);

class Assembly {
public:
    Assembly(const MachinePorts& machine, const FacePorts& face);
    ~Assembly();
    Assembly(const Assembly&) = delete;
    Assembly& operator=(const Assembly&) = delete;

    Client& client() { return m_client; }
    ServerLink& link() { return m_link.link(); }
    ClientExtensions& extensions() { return m_clientExtensions; }
    AppKiller& killer() { return m_killer; }
    UrlSpy& urlSpy() { return m_urlSpy; }
    SessionCleanup& cleanup() { return m_cleanup; }
    // Start-up (Client::Main): returns at once, the start delay goes on in the event loop.
    void start(const std::string& commandLine, DisplayKind display);

private:
    // The application killer with the client's "-k" and "-d" as they are at each call: the
    // server link switches "-k" on when the server runs on this PC.
    class FlagFollowingKiller : public AppClosingPort {
    public:
        FlagFollowingKiller(AppKiller& killer, const CommandLine& flags)
            : m_killer(killer), m_flags(flags) {}
        bool funCloseAllApps() override;
        void subKillApps() override;
        void tmrAppKiller_Timer();

    private:
        void sync();
        AppKiller& m_killer;
        const CommandLine& m_flags;
    };

    static ClientPorts clientPorts(const MachinePorts& m, const FacePorts& f, ControlRelay& relay);

    MachinePorts m_machine;
    FacePorts m_face;
    // The client is built before the control objects (they need its log and settings): it
    // reaches them through the relay, bound as soon as they exist.
    ControlRelay m_relay;
    Client m_client;
    ProcManager m_procs;
    AppKiller m_killer;
    UrlSpy m_urlSpy;
    SettingsProfileRegistry m_profileRegistry;
    SessionCleanup m_cleanup;
    FlagFollowingKiller m_apps;
    ControlExtensions m_ext;
    ClientLink m_link;
    ClientExtensions m_clientExtensions;
};

} // namespace tlv
