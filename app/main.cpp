// tlvcli: builds the client object and its real ports, then runs the Qt event loop.
#include "app/control_extensions.h"
#include "control/app_killer.h"
#include "control/clsVolume.h"
#include "control/control_relay.h"
#include "control/modIPHelper.h"
#include "control/modProcManager.h"
#include "control/modWinLock.h"
#include "control/session_cleanup.h"
#include "control/url_spy.h"
#include "core/client.h"
#include "link/client_extensions.h"
#include "link/client_link.h"
#include "platform/actions.h"
#include "platform/linux/alsa_mixer.h"
#include "platform/linux/control_platform.h"
#include "platform/linux/guard_link.h"
#include "platform/linux/instance_lock.h"
#include "platform/linux/linux_adapters.h"
#include "platform/linux/linux_system_info.h"
#include "platform/linux/po_lang_packs.h"
#include "platform/linux/session_end.h"
#include "platform/linux/sqlite_hive.h"
#include "platform/linux/system_clock.h"
#include "platform/linux/x11_lock_library.h"
#include "platform/linux/xdg_autostart.h"
#include "platform/paths.h"
#include "platform/qt/qt_clock_change.h"
#include "platform/qt/qt_process_exit.h"
#include "platform/qt/qt_scheduler.h"
#include "platform/qt/qt_sockets.h"
#include "platform/qt/qt_web_browser.h"
#include "platform/qt/qt_x11_display.h"
#include "platform/qt/unix_signals.h"
#include "platform/sandbox/sandbox_ports.h"
#include "ui/qt_forms.h"
#include "ui/staff_dialogs.h"

#include <QApplication>
#include <csignal>
#include <filesystem>
#include <memory>
#include <sys/stat.h>

namespace {

std::string programFolder() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string(".") : exe.parent_path().string();
}

bool has(const tlv::Environment& env, const char* name) {
    const auto it = env.find(name);
    return it != env.end() && !it->second.empty();
}

std::string envValue(const tlv::Environment& env, const char* name) {
    const auto it = env.find(name);
    return it == env.end() ? std::string() : it->second;
}

tlv::DisplayKind displayKind(const tlv::Environment& env) {
    const QString platform = QGuiApplication::platformName();
    if (platform.startsWith(QLatin1String("wayland")))
        return tlv::DisplayKind::Wayland;
    if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal"))
        return tlv::DisplayKind::Offscreen;
    if (platform == QLatin1String("xcb")) {
        // An X11 client of a Wayland compositor cannot lock that compositor's desktop.
        if (envValue(env, "XDG_SESSION_TYPE") == "wayland" || has(env, "WAYLAND_DISPLAY"))
            return tlv::DisplayKind::Wayland;
        return tlv::DisplayKind::X11;
    }
    return tlv::DisplayKind::Unsupported;
}

// The application killer with the client's "-k" and "-d" as they are at each call: the server
// link switches "-k" on when the server runs on this PC.
class FlagFollowingKiller : public tlv::AppClosingPort {
public:
    FlagFollowingKiller(tlv::AppKiller& killer, const tlv::CommandLine& flags)
        : m_killer(killer), m_flags(flags) {}
    bool funCloseAllApps() override {
        sync();
        return m_killer.funCloseAllApps();
    }
    void subKillApps() override {
        sync();
        m_killer.subKillApps();
    }
    void tmrAppKiller_Timer() {
        sync();
        m_killer.tmrAppKiller_Timer();
    }

private:
    void sync() {
        m_killer.setNoKill(m_flags.noKill);
        m_killer.setDebug(m_flags.debug);
    }
    tlv::AppKiller& m_killer;
    const tlv::CommandLine& m_flags;
};

} // namespace

int main(int argc, char** argv) {
    using namespace tlv;
    const Environment env = processEnvironment();
    const RuntimeLayout layout = RuntimeLayout::fromEnvironment(env, programFolder());
    // Every user of the group tlvcli shares the machine root: the hives, their WAL files and the
    // log must stay writable by the group, whoever created them first.
    if (!layout.rootOverridden)
        ::umask(002);
    // A sandbox run without any display (a demo, a black-box test) draws off screen.
    if (layout.sandbox && !has(env, "DISPLAY") && !has(env, "WAYLAND_DISPLAY") &&
        !has(env, "QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    std::string commandLine;
    for (int i = 1; i < argc; ++i)
        commandLine += (i > 1 ? " " : "") + std::string(argv[i]);

    SystemClock clock;
    QtScheduler scheduler;
    std::vector<std::string> hiveProblems;
    OpenedHives hives =
        openHives(layout, [&hiveProblems](const std::string& ctx, int no, const std::string& d) {
            hiveProblems.push_back(ctx + "Error: #" + std::to_string(no) + " | " + d + " | tlvcli");
        });
    LinuxSystemInfo systemInfo(env);
    XdgAutostart autostart(layout.autostartDir);
    ActionLog actions(layout.actionsLog, clock);
    GuardLink guard(env, layout.sandbox);
    SessionInstanceLock instanceLock(guard, sessionLockPath(layout, env));
    QtProcessExit processExit;
    PoLangPackStore langPacks(layout.langFolder);

    // The ports log through the client's log once it exists.
    Logger* logger = nullptr;
    QtForms forms(scheduler, layout);
    // The application killer, the cleanup and the batch files need the client's log and
    // settings store: built after the client and bound to the relay then.
    ControlRelay relay;

    // Lockdown and mute act on the PC: recorded in sandbox mode.
    std::unique_ptr<LockLibrary> lockLibrary;
    AlsaMixer alsaMixer;
    std::unique_ptr<ShellLockdown> lockdown;
    std::unique_ptr<SoundMute> mute;
    std::unique_ptr<SessionEndPort> sessionEnd;
    if (layout.sandbox) {
        lockdown = std::make_unique<SandboxShellLockdown>(actions);
        mute = std::make_unique<SandboxSoundMute>(actions);
        sessionEnd = std::make_unique<SandboxSessionEnd>(actions);
    } else {
        lockLibrary = std::make_unique<X11LockLibrary>(
            scheduler, X11LockLibrary::Options{qtX11Display(), {}, [&logger](const std::string& t) {
                                                   if (logger)
                                                       logger->subWriteLog(t);
                                               }});
        lockdown = std::make_unique<modWinLock>(lockLibrary.get(), [&logger] { return logger; });
        mute = std::make_unique<VolumeMute>(alsaMixer);
        sessionEnd = std::make_unique<LinuxSessionEnd>(envValue(env, "XDG_SESSION_ID"));
    }

    ClientPorts ports{clock,        scheduler,   *hives.machine, *hives.user, systemInfo,
                      layout,       *lockdown,   *mute,          forms,       forms,
                      forms,        relay,       relay,          relay,       *sessionEnd,
                      instanceLock, processExit, langPacks,      autostart};
    ports.guard = &guard;
    Client client(ports);
    LinuxAdapterSource adapterSource;
    client.store().setHardwareIdentitySource([&adapterSource, &client] {
        return hardwareIdentity(funGetIPAdapters(adapterSource, client.log()));
    });
    logger = &client.log();
    forms.attach(client);

    // Processes, windows, browser addresses, cleanup and batch files: recorded in sandbox mode.
    ControlPlatform cp = makeControlPlatform(layout, env, scheduler, actions);
    ProcManager procs(*cp.processes, *cp.windows, *cp.terminator, scheduler, client.log());
    AppKiller killer(procs, *cp.accessibility, scheduler, client.log());
    UrlSpy urlSpy(*cp.windows, *cp.accessibility, client.log());
    SettingsProfileRegistry profileRegistry(client.store());
    SessionCleanup sessionCleanup(profileRegistry, *cp.profile, *cp.windows, *cp.spawner,
                                  client.log());
    FlagFollowingKiller apps(killer, client.flags());
    relay.bind(&apps, &sessionCleanup, &sessionCleanup);
    client.hooks().tmrURLspy_Timer = [&urlSpy] { urlSpy.tmrURLspy_Timer(); };
    client.hooks().tmrAppKiller_Timer = [&apps] { apps.tmrAppKiller_Timer(); };
    killer.setUnloadMessageBox([&forms] {
        if (forms.isLoaded(FormId::frmMsgBox))
            forms.unload(FormId::frmMsgBox);
    });
    killer.setShowKilledMessage([&client] {
        if (client.hooks().subShowMsgBox)
            client.hooks().subShowMsgBox(killedAppsMessage([&client](int id) {
                                             return client.texts().funLoadResString(id);
                                         }),
                                         false, false, MsgAction::Empty);
    });

    // The server link, with the forms' requests and the control commands routed to it.
    QtSocketFactory sockets;
    ControlExtensions extensions(killer, sessionCleanup, client.log());
    ClientLink clientLink(client, sockets, forms, extensions);
    ServerLink& link = clientLink.link();
    ClientExtensions clientExtensions(client, link, forms, extensions);
    sessionCleanup.setContextProvider([&client, &link, &layout, &clientExtensions] {
        SessionContext c;
        c.allowLockdown = client.settings().allowLockdown;
        c.backgroundImagePath = clientExtensions.backgroundPicture();
        c.dataFolder = layout.dataFolder;
        c.userId = link.userId();
        c.serverName = link.serverName();
        c.workstationName = client.settings().workstationName;
        return c;
    });
    urlSpy.setReport([&link](const std::string& message) {
        // The whole message: the link frames token and payload itself.
        constexpr size_t kToken = 20;
        if (message.size() < 2 * kToken)
            return;
        link.sendMessage(std::string_view(message).substr(0, kToken),
                         std::string_view(message).substr(kToken, message.size() - 2 * kToken),
                         false);
    });

    // The staff dialogs: passwords, options, setup wizard and about box.
    XdgWebBrowser webBrowser;
    StaffDialogs staff(client, forms, link, webBrowser);
    staff.install(forms.hooks());
    FormHooks& fh = forms.hooks();
    fh.subStartConnexion = [&link](int type, int mode, const std::string& id,
                                   const std::string& password) {
        link.subStartConnexion(type, mode, id, password);
    };
    fh.subCheckBalance = [&link] { link.subCheckBalance(); };
    fh.sendChatMessage = [&link](const std::string& text) {
        link.sendMessage("%$&#####ChatMessage#", text, true);
    };
    fh.userId = [&link] { return link.userId(); };
    fh.managerPasswordSet = [&link] { return !link.managerPassword().empty(); };
    for (const auto& line : hiveProblems)
        client.log().subWriteLog(line);

    // The wall clock set by hand or by a time service: the session clock locks a running
    // session until the server's date comes (the link asks for it).
    QtClockChange clockChange;
    clockChange.setHandler([&client] { client.sessionClock().sysInfo_TimeChanged(); });
    if (!clockChange.start())
        client.log().subWriteLog("Clock changes cannot be watched on this system");

    UnixSignalWatcher signalWatcher({SIGTERM, SIGINT},
                                    [&client](int) { client.funShutdownApplication(true); });

    client.Main(commandLine, displayKind(env));
    const int rc = QApplication::exec();
    // What is destroyed before the client and the forms is no longer reachable from them.
    forms.hooks() = FormHooks{};
    relay.bind(nullptr, nullptr, nullptr);
    client.hooks().tmrURLspy_Timer = nullptr;
    client.hooks().tmrAppKiller_Timer = nullptr;
    return rc;
}
