// tlvcli: builds the real ports, hands them to the one wiring of the client (app/assembly.h),
// then runs the Qt event loop.
#include "app/desktop_assembly.h"
#include "app/linux_sound_mute.h"
#include "control/clsVolume.h"
#include "control/modWinLock.h"
#include "platform/actions.h"
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
#include "platform/qt/qt_lock_windows.h"
#include "platform/qt/qt_process_exit.h"
#include "platform/qt/qt_scheduler.h"
#include "platform/qt/qt_sockets.h"
#include "platform/qt/qt_web_browser.h"
#include "platform/qt/unix_signals.h"
#include "platform/sandbox/sandbox_ports.h"

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

    // Lockdown and mute act on the PC: recorded in sandbox mode.
    std::unique_ptr<LockLibrary> lockLibrary;
    std::unique_ptr<ShellLockdown> lockdown;
    std::unique_ptr<SoundMute> mute;
    std::unique_ptr<SessionEndPort> sessionEnd;
    if (layout.realLockdown)
        lockLibrary =
            makeQtLockLibrary(scheduler, layout.lockdownState, [&logger](const std::string& t) {
                if (logger)
                    logger->subWriteLog(t);
            });
    std::unique_ptr<ShellLockdown> realLockdown;
    if (lockLibrary)
        realLockdown =
            std::make_unique<modWinLock>(lockLibrary.get(), [&logger] { return logger; });
    if (layout.sandbox) {
        lockdown = std::make_unique<SandboxShellLockdown>(actions, realLockdown.get());
        mute = std::make_unique<SandboxSoundMute>(actions);
        sessionEnd = std::make_unique<SandboxSessionEnd>(actions);
    } else {
        lockdown = std::move(realLockdown);
        mute = std::make_unique<LinuxSoundMute>(scheduler, clock);
        sessionEnd = std::make_unique<LinuxSessionEnd>(envValue(env, "XDG_SESSION_ID"));
    }
    // Processes, windows, browser addresses, cleanup and batch files: recorded in sandbox mode.
    ControlPlatform cp = makeControlPlatform(layout, env, scheduler, actions);
    LinuxAdapterSource adapters;
    QtSocketFactory sockets;
    QtClockChange clockChange;
    XdgWebBrowser webBrowser;

    DesktopAssembly assembly(
        MachinePorts{clock, scheduler, *hives.machine, *hives.user, systemInfo, layout, *lockdown,
                     *mute, *sessionEnd, instanceLock, processExit, langPacks, autostart, sockets,
                     clockChange, adapters,
                     ControlPorts{*cp.processes, *cp.windows, *cp.terminator, *cp.accessibility,
                                  *cp.spawner, *cp.profile},
                     &guard},
        webBrowser);
    Client& client = assembly.client();
    logger = &client.log();
    for (const auto& line : hiveProblems)
        client.log().subWriteLog(line);

    // SIGHUP (the terminal it was started from closed) is no reason to end.
    UnixSignalWatcher signalWatcher({SIGTERM, SIGINT, SIGHUP}, [&client](int sig) {
        if (sig != SIGHUP)
            client.funShutdownApplication(true);
    });

    assembly.start(commandLine, displayKind(env));
    const int rc = processExit.exec();
    return rc;
}
