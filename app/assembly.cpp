#include "app/assembly.h"

#include "control/modIPHelper.h"
#include "link/server_link.h"
#include "platform/clock_change.h"
#include "platform/forms_port.h"
#include "platform/paths.h"

#include <stdexcept>
#include <string_view>

namespace tlv {

std::vector<std::string> emptySlots(std::initializer_list<std::pair<bool, const char*>> slots) {
    std::vector<std::string> empty;
    for (const auto& [filled, name] : slots)
        if (!filled)
            empty.emplace_back(name);
    return empty;
}

std::vector<std::string> emptyHooks(const ClientHooks& h) {
    return emptySlots({
        {bool(h.tmrSrvCnxStatus_Timer), "tmrSrvCnxStatus_Timer"},
        {bool(h.tmrWksnStatus_Timer), "tmrWksnStatus_Timer"},
        {bool(h.tmrURLspy_Timer), "tmrURLspy_Timer"},
        {bool(h.tmrAppKiller_Timer), "tmrAppKiller_Timer"},
        {bool(h.closeSockets), "closeSockets"},
        {bool(h.serverLinkUp), "serverLinkUp"},
        {bool(h.subUserInit), "subUserInit"},
        {bool(h.subForceUpdate), "subForceUpdate"},
        {bool(h.requestServerDate), "requestServerDate"},
        {bool(h.emptySnapshot), "emptySnapshot"},
    });
}

ClientPorts Assembly::clientPorts(const MachinePorts& m, const FacePorts& f, ControlRelay& relay) {
    ClientPorts ports{m.clock,        m.scheduler,   m.machineHive, m.userHive, m.systemInfo,
                      m.layout,       m.lockdown,    m.mute,        f.forms,    f.status,
                      f.tray,         relay,         relay,         relay,      m.sessionEnd,
                      m.instanceLock, m.processExit, m.langPacks,   m.autostart};
    ports.guard = m.guard;
    return ports;
}

Assembly::Assembly(const MachinePorts& machine, const FacePorts& face)
    : m_machine(machine), m_face(face), m_client(clientPorts(machine, face, m_relay)),
      m_procs(machine.control.processes, machine.control.windows, machine.control.terminator,
              machine.scheduler, m_client.log()),
      m_killer(m_procs, machine.control.accessibility, machine.scheduler, m_client.log()),
      m_urlSpy(machine.control.windows, machine.control.accessibility, m_client.log()),
      m_profileRegistry(m_client.store()),
      m_cleanup(m_profileRegistry, machine.control.profile, machine.control.windows,
                machine.control.spawner, m_client.log()),
      m_apps(m_killer, m_client.flags()), m_ext(m_killer, m_cleanup, m_client.log()),
      m_link(m_client, machine.sockets, face.linkForms, m_ext),
      m_clientExtensions(m_client, m_link.link(), face.linkForms, m_ext) {
    Client& client = m_client;
    ServerLink& link = m_link.link();
    AdapterSource& adapters = machine.adapters;
    client.store().setHardwareIdentitySource([&adapters, &client] {
        return hardwareIdentity(funGetIPAdapters(adapters, client.log()));
    });

    // Processes, windows, browser addresses, cleanup and batch files.
    m_relay.bind(&m_apps, &m_cleanup, &m_cleanup);
    client.hooks().tmrURLspy_Timer = [this] { m_urlSpy.tmrURLspy_Timer(); };
    client.hooks().tmrAppKiller_Timer = [this] { m_apps.tmrAppKiller_Timer(); };
    FormsPort& forms = face.forms;
    m_killer.setUnloadMessageBox([&forms] {
        if (forms.isLoaded(FormId::frmMsgBox))
            forms.unload(FormId::frmMsgBox);
    });
    m_killer.setShowKilledMessage([&client] {
        if (client.hooks().subShowMsgBox)
            client.hooks().subShowMsgBox(killedAppsMessage([&client](int id) {
                                             return client.texts().funLoadResString(id);
                                         }),
                                         false, false, MsgAction::Empty);
    });
    const RuntimeLayout& layout = machine.layout;
    m_cleanup.setContextProvider([&client, &link, &layout, this] {
        SessionContext c;
        c.allowLockdown = client.settings().allowLockdown;
        c.backgroundImagePath = m_clientExtensions.backgroundPicture();
        c.dataFolder = layout.dataFolder;
        c.userId = link.userId();
        c.serverName = link.serverName();
        c.workstationName = client.settings().workstationName;
        return c;
    });
    m_urlSpy.setReport([&link](const std::string& message) { link.sendSessionUrl(message); });

    // The wall clock set by hand or by a time service: the session clock locks a running
    // session until the server's date comes (the link asks for it).
    machine.clockChange.setHandler([&client] { client.sessionClock().sysInfo_TimeChanged(); });
    if (!machine.clockChange.start())
        client.log().subWriteLog("Clock changes cannot be watched on this system");

    const std::vector<std::string> empty = emptyHooks(client.hooks());
    if (!empty.empty())
        throw std::logic_error("the client's hook " + empty.front() + " is not wired");
}

Assembly::~Assembly() {
    // What is destroyed before the client is no longer reachable from it.
    m_machine.clockChange.stop();
    m_machine.clockChange.setHandler({});
    m_relay.bind(nullptr, nullptr, nullptr);
    m_client.hooks().tmrURLspy_Timer = nullptr;
    m_client.hooks().tmrAppKiller_Timer = nullptr;
    m_client.store().setHardwareIdentitySource({});
}

void Assembly::start(const std::string& commandLine, DisplayKind display) {
    m_client.Main(commandLine, display);
}

bool Assembly::FlagFollowingKiller::funCloseAllApps() {
    sync();
    return m_killer.funCloseAllApps();
}

void Assembly::FlagFollowingKiller::subKillApps() {
    sync();
    m_killer.subKillApps();
}

void Assembly::FlagFollowingKiller::tmrAppKiller_Timer() {
    sync();
    m_killer.tmrAppKiller_Timer();
}

void Assembly::FlagFollowingKiller::sync() {
    m_killer.setNoKill(m_flags.noKill);
    m_killer.setDebug(m_flags.debug);
}

} // namespace tlv
