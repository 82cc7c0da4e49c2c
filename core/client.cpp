#include "core/client.h"

#include "core/error.h"
#include "core/string_table.h"
#include "platform/app_closing_port.h"
#include "platform/batch_port.h"
#include "platform/cleanup_port.h"
#include "platform/clock.h"
#include "platform/forms_port.h"
#include "platform/guard_port.h"
#include "platform/instance_lock.h"
#include "platform/paths.h"
#include "platform/process_exit.h"
#include "platform/scheduler.h"
#include "platform/session_end.h"
#include "platform/shell_lockdown.h"
#include "platform/sound_mute.h"
#include "platform/status_port.h"
#include "platform/system_info.h"
#include "platform/tray_port.h"
#include "tlv_version.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>

namespace tlv {

bool funStateIsBlocked(int state) {
    switch (state) {
    case kStateActive:
    case kStateBlocked:
    case kStateSessionEnd:
    case kStateNoCredit:
    case kStatePaused:
    case kStatePausedLocked:
    case kStateFollowServer:
        return true;
    default:
        return false;
    }
}

CommandLine CommandLine::parse(const std::string& commandLine) {
    std::string line = commandLine;
    for (char& c : line) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (c == '/')
            c = '-';
    }
    auto has = [&line](const char* opt) { return line.find(opt) != std::string::npos; };
    CommandLine f;
    f.debug = has("-d");
    f.noLockdown = has("-t");
    f.noKill = has("-k");
    f.noUserLockdown = has("-l");
    f.multipleInstances = has("-m");
    return f;
}

static std::string fallbackLogPath(const RuntimeLayout& layout) {
    // The program folder is not writable once installed; the data folder always is ours.
    return joinPath(layout.dataFolder, std::string(kExeName) + ".log");
}

// The session clock's view of the client.
class Client::ClockHost : public SessionClockHost {
public:
    explicit ClockHost(Client& c) : m_c(c) {}
    int workstationState() const override { return m_c.m_state; }
    int previousState() const override { return m_c.m_previousState; }
    int sessionType() const override { return m_c.m_sessionType; }
    void subForceUpdate() override { m_c.call(m_c.m_hooks.subForceUpdate); }
    void enterNoMoreCredit() override {
        m_c.m_previousState = m_c.m_state;
        m_c.m_state = kStateNoCredit;
        m_c.subShowBlockScreen();
    }
    void lockForClockChange() override {
        if (m_c.funLockSession())
            m_c.subShowBlockScreen();
    }
    void funUnPauseSession() override { m_c.funUnPauseSession(); }
    void requestServerDate() override { m_c.call(m_c.m_hooks.requestServerDate); }
    void subShowMsgBox(const std::string& text) override {
        if (m_c.m_hooks.subShowMsgBox)
            m_c.m_hooks.subShowMsgBox(text, false, false, MsgAction::Empty);
        else
            m_c.m_log.trace("message box: " + text);
    }
    void setStatusTexts(const StatusTexts& texts) override {
        if (m_c.m_hooks.setStatusTexts)
            m_c.m_hooks.setStatusTexts(texts);
    }
    std::string funLoadResString(int id) const override { return m_c.m_loc.funLoadResString(id); }

private:
    Client& m_c;
};

Client::Client(const ClientPorts& ports)
    : m_ports(ports), m_log(ports.clock, fallbackLogPath(ports.layout)),
      m_loc(ports.langPacks, m_log, kExeName),
      m_store(std::make_unique<SettingsStore>(ports.machineHive, ports.userHive, m_log,
                                              ports.systemInfo, ports.layout, ports.autostart,
                                              builtinString(kStrPasswordKey))),
      m_clockHost(std::make_unique<ClockHost>(*this)),
      m_sessionClock(
          std::make_unique<SessionClock>(ports.clock, ports.scheduler, m_log, *m_clockHost)) {
    Scheduler& s = ports.scheduler;
    auto make = [&s](int64_t interval, std::function<void()> fn) {
        auto t = s.createTimer(std::move(fn));
        t->setInterval(interval);
        return t;
    };
    m_tmrActivateClient = make(m_const.wksnCnxBootDelay, [this] { tmrActivateClient_Timer(); });
    m_tmrActivateClient->setSingleShot(true);
    m_tmrSrvCnxStatus = make(500, [this] { call(m_hooks.tmrSrvCnxStatus_Timer); });
    m_tmrWksnStatus = make(500, [this] { call(m_hooks.tmrWksnStatus_Timer); });
    m_tmrURLspy = make(500, [this] { call(m_hooks.tmrURLspy_Timer); });
    m_tmrAppKiller = make(10000, [this] { call(m_hooks.tmrAppKiller_Timer); });
    m_tmrActiveTrayIcon = make(1000, [this] { tmrActiveTrayIcon_Timer(); });
    m_startDelay = make(0, [this] { mainAfterStartDelay(); });
    m_startDelay->setSingleShot(true);
    m_shutdownDelay = make(0, [] {});
    m_shutdownDelay->setSingleShot(true);
}

Client::~Client() = default;

// ---------------------------------------------------------------------------------------------
// Start-up and shutdown

void Client::Main(const std::string& commandLine, DisplayKind display) {
    m_display = display;
    try {
        m_mainStep = "App startup";
        m_mainStep = "CommandLine processing";
        m_flags = CommandLine::parse(commandLine);
        m_log.setDebug(m_flags.debug);
        trace("App startup");
        trace(m_mainStep);

        m_mainStep = "InitApp";
        trace(m_mainStep);
        subInitApp();
        const double remaining =
            m_const.wksnStartDelay - static_cast<double>(m_ports.clock.sinceBootMs()) / 1000.0;
        if (remaining >= 0 && !startedAgain()) {
            // The rest of the start-up runs when the wait is over; events keep running.
            m_startDelay->start(static_cast<int64_t>(std::llround(remaining * 1000.0)));
            return;
        }
    } catch (const std::exception& e) {
        mainError(e);
        return;
    }
    mainAfterStartDelay();
}

void Client::mainAfterStartDelay() {
    try {
        m_mainStep = "Load forms";
        trace(m_mainStep);
        for (FormId f :
             {FormId::frmMain, FormId::frmStatus, FormId::frmSmallStatus, FormId::frmMicroStatus})
            m_ports.forms.load(f);

        m_mainStep = "Check platform";
        trace(m_mainStep);
        if (m_display == DisplayKind::Unsupported ||
            (m_display == DisplayKind::Wayland && !m_flags.noLockdown)) {
            funMsg(m_display == DisplayKind::Wayland ? kMsgWaylandRefused : kMsgIncompatibleOs);
            m_exitCode = 1;
            funShutdownApplication(true);
            return;
        }
        if (!m_flags.multipleInstances) {
            subCheckForRunningWksn();
            if (m_processEnded)
                return;
        }

        const int64_t sinceBoot = m_ports.clock.sinceBootMs();
        m_mainStep = "wksn-Server delay setup: " + std::to_string(sinceBoot);
        trace(m_mainStep);
        int64_t delay = static_cast<int64_t>(m_const.wksnCnxBootDelay) - sinceBoot;
        if (startedAgain())
            delay = 0; // a session may be running: its report is due now
        else if (delay <= 0)
            delay = m_const.wksnCnxMinDelay;
        m_tmrActivateClient->setInterval(delay);
        m_tmrWksnStatus->setEnabled(true);

        const bool wizardDone = m_sys.configWizardMachine >= 1 && m_sys.configWizardUser >= 1;
        const bool startActive = m_sys.startActive && wizardDone;
        if (startActive) {
            subDefaultState();
        } else {
            // Nothing of the customer's is closed by deactivating at start-up.
            const bool noKill = m_flags.noKill;
            m_flags.noKill = true;
            subDeactivate();
            m_flags.noKill = noKill;
        }

        m_mainStep = "frmMain/frmAbout GUI init";
        trace(m_mainStep);
        m_ports.forms.fitMainToControls();
        if (!m_flags.debug)
            m_ports.forms.showAboutSplash(!startActive);

        m_mainStep = "ConfigWizard";
        trace(m_mainStep);
        if (!wizardDone)
            m_ports.forms.showSetupWizardModal();

        if (!m_disabled && !m_shuttingDown)
            m_tmrActivateClient->setEnabled(true);
    } catch (const std::exception& e) {
        mainError(e);
    }
}

void Client::mainError(const std::exception& e) {
    m_log.subLogError("modFunctions.MainError(" + m_mainStep + ")", e);
    subDeactivate();
}

void Client::subInitApp() {
    try {
        // Application title: string 10000, taken by the forms themselves.
        try {
            m_dataFolder = m_ports.layout.dataFolder;
            std::error_code ec;
            std::filesystem::create_directories(m_dataFolder, ec);
            m_iniPath = joinPath(m_dataFolder, std::string(kExeName) + ".ini");
        } catch (const std::exception&) {
            // errors ignored here, as the step always did
        }
        m_store->funInitSettings(4);
        m_store->subGetConstWksn(m_const);
        m_store->subGetSystemSettings(m_sys, m_const);
        const FormsPort::ScreenSize screen = m_ports.forms.screenSize();
        m_store->subGetUserSettings(m_userSettings, screen.widthTwips, screen.heightTwips);
        m_tmrActivateClient->setInterval(m_const.wksnCnxBootDelay);
        m_ports.status.subSetCloseButtons(m_const.wksnHideAllStatusWin == 1,
                                          m_const.wksnDisableSessCloseButton == 1);

        std::string language = m_sys.interfaceLanguage;
        if (language.empty())
            language = std::string(kExeName) + lcidLanguageSuffix(m_ports.systemInfo.localeLcid());
        m_loc.setLanguages(language, static_cast<int16_t>(m_sys.interfaceLanguageCharset));

        m_log.setLogPath(m_sys.logPath);
        subUserInit();
    } catch (const std::exception& e) {
        m_log.subLogError("modFunctions.subInitAppError", e);
    }
}

void Client::subUserInit() {
    try {
        m_sessionClock->clear();
        m_userInitUtcMs = m_ports.clock.utcMs();
        m_state = m_sys.defaultState;
        m_previousState = m_sys.defaultState;
        call(m_hooks.subUserInit);
    } catch (const std::exception& e) {
        m_log.subLogError("modFunctions.subUserInitError", e);
    }
}

void Client::subCheckForRunningWksn() {
    try {
        if (m_ports.instanceLock.tryAcquire())
            return;
        if (m_ports.instanceLock.guardRunsOne())
            m_log.subWriteLog("The session guard runs this session's client: this copy ends");
        else
            funMsg(kMsgAlreadyRunning);
        m_processEnded = true;
        m_ports.processExit.endProcess(1);
    } catch (const std::exception& e) {
        m_log.subLogError("modFunctions.subCheckForRunningWksnError", e);
    }
}

void Client::tmrActivateClient_Timer() {
    try {
        m_clientStarted = true;
        if (!m_disabled && !m_shuttingDown)
            m_tmrSrvCnxStatus->setEnabled(true);
        m_tmrActivateClient->setEnabled(false);
    } catch (const std::exception& e) {
        m_log.subLogError("frmMain.tmrActivateClient_TimerError", e);
    }
}

void Client::tmrActiveTrayIcon_Timer() {
    try {
        m_ports.tray.setIcon(m_trayBlinkPhase ? TrayImage::imgTlvInactive
                                              : TrayImage::imgTlvCliSmall);
        m_trayBlinkPhase = !m_trayBlinkPhase;
    } catch (const std::exception& e) {
        m_log.subLogError("frmMain.tmrActiveTrayIcon_TimerError", e);
    }
}

void Client::cmdActiver_Click() {
    subDefaultState();
}

void Client::cmdQuit_Click() {
    try {
        if (!m_sys.password.empty())
            m_ports.forms.subQuitPassword();
        else
            subStaffQuit();
    } catch (const std::exception& e) {
        m_log.subLogError("frmMain.cmdQuit_ClickError", e);
    }
}

void Client::subStaffQuit() {
    tellGuard(true, "quit");
    funShutdownApplication(true);
}

void Client::cmdShutdown_Click() {
    try {
        m_ports.forms.subLogOffPassword();
    } catch (const std::exception& e) {
        m_log.subLogError("frmMain.cmdShutdown_ClickError", e);
    }
}

void Client::mnuDeactivate_Click() {
    try {
        if (!m_sys.password.empty())
            m_ports.forms.subDeactivationPassword();
        else
            subDeactivate();
    } catch (const std::exception& e) {
        m_log.subLogError("frmMain.mnuDeactivate_ClickError", e);
    }
}

bool Client::funShutdownApplication(bool endProcess) {
    try {
        m_shuttingDown = true;
        FormsPort& forms = m_ports.forms;
        if (m_msgBoxShown || forms.isLoaded(FormId::frmMsgBox)) {
            forms.unload(FormId::frmMsgBox);
            m_msgBoxShown = false;
        }
        // The modal dialogs first: their nested event loops end with them.
        for (FormId f : {FormId::frmSetupWizard, FormId::frmOptions, FormId::frmSmallStatus,
                         FormId::frmMicroStatus, FormId::frmStatus, FormId::frmBlock})
            if (forms.isLoaded(f))
                forms.unload(f);
        // The timers stop even when the main form never loaded: nothing may tick afterwards.
        for (Timer* t : {m_tmrActivateClient.get(), m_tmrAppKiller.get(), m_tmrSrvCnxStatus.get(),
                         m_tmrURLspy.get(), m_tmrWksnStatus.get(), m_tmrActiveTrayIcon.get(),
                         m_startDelay.get()})
            t->setEnabled(false);
        m_sessionClock->setEnabled(false);
        if (forms.isLoaded(FormId::frmMain)) {
            call(m_hooks.closeSockets);
            forms.unload(FormId::frmMain);
        }
        m_ports.tray.removeIcon();
        m_store->RegFlushKey();
        m_store->subSetUserSettings(m_userSettings);
        trace("App shutdown");
    } catch (const std::exception& e) {
        m_log.subLogError("modFunctions.funShutdownApplicationError", e);
    }
    if (endProcess && !m_processEnded) {
        m_processEnded = true;
        m_ports.processExit.endProcess(m_exitCode);
    }
    return true;
}

void Client::subShutdown(int exitFlags, const std::string& question) {
    try {
        if (m_shutdownDelay->enabled())
            return; // already on its way
        if (!question.empty() && funMsg(kMsgShutdownQuestion, question) != MsgAnswer::Yes)
            return;
        tellGuard(true, exitFlags == kEwxReboot   ? "restart"
                        : exitFlags == kEwxLogOff ? "log off"
                                                  : "power off");
        funShutdownApplication(false);
        m_shutdownDelay =
            m_ports.scheduler.createTimer([this, exitFlags] { shutdownAfterDelay(exitFlags); });
        m_shutdownDelay->setSingleShot(true);
        m_shutdownDelay->start(static_cast<int64_t>(std::max(0, m_const.wksnShutdownDelay)) * 1000);
    } catch (const std::exception& e) {
        m_log.subLogError("modFunctions.subShutdownError", e);
    }
}

void Client::shutdownAfterDelay(int exitFlags) {
    try {
        // The shutdown privilege needs no adjusting here: logind decides.
        if (!m_ports.sessionEnd.exitWindows(exitFlags | kEwxForce))
            m_log.subLogError("modFunctions.subShutdownError", kErrInvalidCall,
                              "The session could not be ended (flags " +
                                  std::to_string(exitFlags | kEwxForce) + ")");
    } catch (const std::exception& e) {
        m_log.subLogError("modFunctions.subShutdownError", e);
    }
    if (!m_processEnded) {
        m_processEnded = true;
        m_ports.processExit.endProcess(0);
    }
}

bool Client::startedAgain() const {
    return m_ports.guard && m_ports.guard->startedAgain();
}

void Client::tellGuard(bool released, const char* why) {
    if (!m_ports.guard || released == m_guardReleased)
        return;
    if (released ? m_ports.guard->release(why) : m_ports.guard->guard())
        m_guardReleased = released;
    else
        m_log.subLogError("modFunctions.tellGuardError", kErrInvalidCall,
                          std::string("The session guard did not take note (") +
                              (released ? why : "in service") + ")");
}

void Client::subSetDefaultLanguage(const std::string& suffix, int charset) {
    try {
        const auto cs = static_cast<int16_t>(charset);
        m_loc.setDefaultLanguageSuffix(suffix, cs);
        m_sys.interfaceLanguage = m_sys.defaultInterfaceLanguage = m_loc.defaultLanguage();
        m_sys.interfaceLanguageCharset = m_sys.defaultInterfaceLanguageCharset = cs;
        m_sys.messagePrefix = messagePrefixFor(m_sys.interfaceLanguage);
        m_store->SetRegSettings(kSettingsAppName, "General", "Interface Language",
                                m_sys.interfaceLanguage, REG_SZ);
        m_store->SetRegSettings(kSettingsAppName, "General", "Interface Language Charset",
                                std::to_string(cs), REG_DWORD);
    } catch (const std::exception& e) {
        m_log.subLogError("modFunctions.subSetDefaultLanguageError", e);
    }
}

MsgAnswer Client::funMsg(int number, const std::optional<std::string>& p1,
                         const std::optional<std::string>& title) {
    try {
        const FunMsgSpec m = buildFunMsg(m_loc, number, p1, title);
        return m_ports.forms.showStandardMessage(m.text, m.title, m.style);
    } catch (const std::exception& e) {
        m_log.subLogError("modFunctions.funMsgError", e);
        return MsgAnswer::No;
    }
}

} // namespace tlv
