// The workstation state machine and session control of the client object.
#include "core/client.h"

#include "core/error.h"
#include "platform/app_closing_port.h"
#include "platform/batch_port.h"
#include "platform/cleanup_port.h"
#include "platform/forms_port.h"
#include "platform/paths.h"
#include "platform/scheduler.h"
#include "platform/session_end.h"
#include "platform/shell_lockdown.h"
#include "platform/sound_mute.h"
#include "platform/status_port.h"
#include "platform/tray_port.h"

namespace tlv {

namespace {
constexpr const char* kCtx = "modFunctions.";

std::string ctx(const char* proc) {
    return std::string(kCtx) + proc + "Error";
}
} // namespace

bool Client::guardDialogs() const {
    const FormsPort& f = m_ports.forms;
    return f.isLoaded(FormId::frmOptions) || f.isLoaded(FormId::frmPasswdChange) ||
           f.isLoaded(FormId::frmPasswdClose) || f.isLoaded(FormId::frmSetupWizard);
}

void Client::enterBlockedDefault(int newState, bool clearMsgBoxShown) {
    if (guardDialogs())
        return;
    tellGuard(false, "");
    m_ports.tray.addIcon();
    m_tmrActiveTrayIcon->setEnabled(true);
    m_previousState = m_state;
    m_state = newState;
    if (clearMsgBoxShown)
        m_msgBoxShown = false;
    subShowBlockScreen();
    m_ports.forms.hide(FormId::frmMain);
}

void Client::subDefaultState() {
    try {
        enterBlockedDefault(m_sys.defaultState, false);
    } catch (const std::exception& e) {
        m_log.subLogError(ctx("subDefaultState"), e);
    }
}

void Client::subActivate() {
    try {
        enterBlockedDefault(kStateActive, true);
    } catch (const std::exception& e) {
        m_log.subLogError(ctx("subActivate"), e);
    }
}

void Client::subDeactivate() {
    try {
        FormsPort& forms = m_ports.forms;
        if (m_msgBoxShown || forms.isLoaded(FormId::frmMsgBox)) {
            forms.unload(FormId::frmMsgBox);
            m_msgBoxShown = false;
        }
        if (m_state > kStateSessionEnd)
            funStopSession(false);
        m_ports.tray.removeIcon();
        subUnblock();
        m_loc.subResetGUILanguage();
        m_tmrActiveTrayIcon->setEnabled(false);
        m_previousState = m_state;
        m_state = kStateDeactivated;
        forms.showMain(true);
        // Nothing left to guard: the PC is out of the customers' hands.
        tellGuard(true, "deactivated");
    } catch (const std::exception& e) {
        m_log.subLogError(ctx("subDeactivate"), e);
    }
}

void Client::subLock() {
    try {
        if (m_state > kStateSessionEnd)
            funStopSession(false);
        m_previousState = m_state;
        m_state = kStateBlocked;
        subShowBlockScreen();
    } catch (const std::exception& e) {
        m_log.subLogError(ctx("subLock"), e);
    }
}

void Client::subDisableWksn(const std::string& reason) {
    try {
        m_disabled = true;
        subDeactivate();
        call(m_hooks.closeSockets);
        // tmrActivateClient too: once it fired it would start the connection supervision again.
        for (Timer* t : {m_tmrActivateClient.get(), m_tmrSrvCnxStatus.get(), m_tmrAppKiller.get(),
                         m_tmrWksnStatus.get(), m_tmrURLspy.get()})
            t->setEnabled(false);
        m_sessionClock->setEnabled(false);
        m_ports.forms.showMainDisabled(m_loc.funLoadResString(10260));
        funMsg(kMsgDisabled, reason);
    } catch (const std::exception& e) {
        m_log.subLogError(ctx("subDisableWksn"), e);
    }
}

bool Client::funStartSession() {
    try {
        m_msgBoxShown = false;
        m_ports.status.prepareForSession(m_sessionType);
        if (m_state == kStateConnected || m_state == kStateFree) {
            m_ports.status.setConnectedOption(true);
            m_tmrAppKiller->setEnabled(false);
        } else if (m_state == kStateDisconnected) {
            m_ports.status.setConnectedOption(false);
            m_tmrAppKiller->setEnabled(true);
        }
        call(m_hooks.newBrowserList);
        m_sessionClock->tmrSessionStatus_Timer();
        m_sessionClock->setEnabled(true);
        m_tmrURLspy->setEnabled(true);
        m_ports.cleanup.subSessionCleanup();
        if (!m_flags.noKill)
            m_ports.apps.funCloseAllApps();
        if (m_startBatch)
            m_ports.batch.subRunSessionStartBatch();
        m_ports.lockdown.funToggleTaskSwitching(true);
        m_ports.lockdown.funToggleCtrlAltDel(true);
        m_ports.forms.hide(FormId::frmMain);
        subUnblock();
        m_ports.status.subShowStatus();
    } catch (const std::exception& e) {
        m_log.subLogError(ctx("funStartSession"), e);
    }
    return true;
}

bool Client::funStopSession(bool noReboot) {
    try {
        // Final times and the final report to the server.
        m_sessionClock->tmrSessionStatus_Timer();
        call(m_hooks.tmrWksnStatus_Timer);
        m_sessionClock->setEnabled(false);
        m_tmrURLspy->setEnabled(false);
        m_tmrAppKiller->setEnabled(false);
        if (m_ports.forms.isLoaded(FormId::frmBlock))
            m_ports.forms.stopCloseSessionCountdown();
        m_ports.status.funHideStatusWindows();
        if (!m_flags.noKill)
            m_ports.apps.funCloseAllApps();
        if (m_sessionType != kSessionSelfService) {
            if (m_endBatch)
                m_ports.batch.subRunSessionEndBatch();
            subUserInit();
            if (!noReboot && m_const.wksnRebootOnSessionEnd == 1 && !m_flags.debug) {
                // Pending events (the final report among them) run before the reboot.
                m_ports.scheduler.post([this] { subShutdown(kEwxReboot, ""); });
            }
        } else {
            // The customer must pay; the server releases the workstation.
            m_previousState = m_state;
            m_state = kStateSessionEnd;
        }
    } catch (const std::exception& e) {
        m_log.subLogError(ctx("funStopSession"), e);
    }
    return true;
}

bool Client::pauseTo(int target, const char* proc) {
    try {
        if (m_state == target)
            return false;
        m_ports.status.funHideStatusWindows();
        m_previousState = m_state;
        m_state = target;
        return true;
    } catch (const std::exception& e) {
        m_log.subLogError(ctx(proc), e);
        return false;
    }
}

bool Client::funPauseSession() {
    return pauseTo(kStatePaused, "funPauseSession");
}
bool Client::funLockSession() {
    return pauseTo(kStatePausedLocked, "funLockSession");
}
bool Client::funFollowSession() {
    return pauseTo(kStateFollowServer, "funFollowSession");
}

bool Client::funUnPauseSession() {
    try {
        m_state = m_previousState;
        m_ports.forms.hide(FormId::frmMain);
        subUnblock();
        m_ports.status.subShowStatus();
    } catch (const std::exception& e) {
        m_log.subLogError(ctx("funUnPauseSession"), e);
    }
    return true;
}

std::string Client::messageFileFor(int state) {
    const char* file = nullptr;
    const std::string* configured = nullptr;
    switch (state) {
    case kStateActive:
        file = "intro.rtf";
        configured = &m_sys.msgIntro;
        break;
    case kStateBlocked:
        file = "blocked.rtf";
        configured = &m_sys.msgBlocked;
        break;
    case kStateSessionEnd:
        file = "sessionend.rtf";
        configured = &m_sys.msgSessionEnd;
        break;
    case kStateNoCredit:
        file = "nocredit.rtf";
        configured = &m_sys.msgNoCredit;
        break;
    case kStatePaused:
    case kStatePausedLocked:
        file = "sessionpaused.rtf";
        configured = &m_sys.msgSessionPaused;
        break;
    default:
        return {};
    }
    if (m_sys.messageLogoFilesType == 1)
        return toNativePath(*configured);
    return joinPath(m_ports.layout.dataFolder, m_loc.currentLanguageCode() + "_" + file);
}

void Client::lockdownSwitches(bool on) {
    ShellLockdown& l = m_ports.lockdown;
    l.funToggleTaskSwitching(on);
    l.funToggleCtrlAltDel(on);
    l.funToggleDesktop(on);
    l.funToggleTaskbar(on);
}

void Client::subShowBlockScreen() {
    try {
        FormsPort& forms = m_ports.forms;
        if (m_msgBoxShown || forms.isLoaded(FormId::frmMsgBox)) {
            forms.unload(FormId::frmMsgBox);
            m_msgBoxShown = false;
        }
        if (forms.isLoaded(FormId::frmPasswdChange))
            forms.unload(FormId::frmPasswdChange);
        if (forms.isLoaded(FormId::frmPasswd))
            forms.unload(FormId::frmPasswd);
        forms.hide(FormId::frmStatus);
        forms.hide(FormId::frmSmallStatus);

        if (!funStateIsBlocked(m_previousState) && m_const.wksnMuteVolWhenBlocked == 1)
            m_ports.mute.muteOnLock();

        BlockScreenView v;
        v.state = m_state;
        switch (m_state) {
        case kStateActive:
            m_loc.subResetGUILanguage();
            v.controls = BlockControls::Active;
            subSetDefaultUsage();
            v.resetSessionChoice = true;
            v.connectedMode = m_sys.defaultMode == 1;
            v.focus = BlockFocus::LoginControls;
            break;
        case kStateBlocked:
            v.controls = BlockControls::Blocked;
            break;
        case kStateSessionEnd:
            v.controls = BlockControls::SessionEnd;
            break;
        case kStatePaused:
            v.controls = BlockControls::Paused;
            v.focus = BlockFocus::UnPause;
            break;
        case kStatePausedLocked:
            v.controls = BlockControls::Locked;
            break;
        case kStateNoCredit:
            v.controls = BlockControls::NoMoreCredit;
            v.rechargeEnabled = m_hooks.serverLinkUp && m_hooks.serverLinkUp();
            v.focus = BlockFocus::ReCnx;
            v.startCloseCountdown = true;
            break;
        case kStateFollowServer:
            v.followServer = true;
            break;
        default:
            return;
        }
        v.messageFile = messageFileFor(m_state);
        v.hideCardNumber = m_sys.hideCardNumber;
        v.logoPath = toNativePath(m_sys.logoPath);
        v.topmost = !m_flags.noLockdown;
        v.sandbox = m_ports.layout.sandbox;
        if (m_state == kStateNoCredit)
            m_sessionExpiryCountdown = m_const.wksnSessionExpiryTime;
        forms.showBlockScreen(v);
        if (!m_flags.noLockdown)
            lockdownSwitches(false);
    } catch (const std::exception& e) {
        m_log.subLogError(ctx("subShowBlockScreen"), e);
    }
}

void Client::subUnblock() {
    try {
        if (m_const.wksnMuteVolWhenBlocked == 1)
            m_ports.mute.restoreOnUnlock();
        m_ports.forms.hide(FormId::frmBlock);
        if (!m_flags.noLockdown)
            lockdownSwitches(true);
    } catch (const std::exception& e) {
        m_log.subLogError(ctx("subUnblock"), e);
    }
}

void Client::onServerLockWksn() {
    try {
        if (m_state == kStateSessionEnd && m_endBatch)
            m_ports.batch.subRunSessionEndBatch();
        subLock();
    } catch (const std::exception& e) {
        m_log.subLogError(ctx("onServerLockWksn"), e);
    }
}

void Client::onServerActivateWksn() {
    try {
        if (m_state == kStateSessionEnd) {
            if (m_endBatch)
                m_ports.batch.subRunSessionEndBatch();
            if (m_const.wksnRebootOnSessionEnd == 1 && !m_flags.debug) {
                call(m_hooks.emptySnapshot);
                subShutdown(kEwxReboot, "");
                // The restart is on its way: no tray icon, lock screen or blink in its delay.
                if (m_shuttingDown)
                    return;
            }
        }
        subActivate();
    } catch (const std::exception& e) {
        m_log.subLogError(ctx("onServerActivateWksn"), e);
    }
}

void Client::subExecuteCommandButton(MsgAction action, int button) {
    try {
        switch (action) {
        case MsgAction::Empty:
            break;
        case MsgAction::PauseSession:
            if (button == 1 && funPauseSession())
                subShowBlockScreen();
            break;
        case MsgAction::UnPauseSession:
            if (button == 1)
                funUnPauseSession();
            break;
        case MsgAction::CloseSession:
            if (button == 1) {
                funStopSession(false);
                subShowBlockScreen();
            }
            break;
        case MsgAction::Connected:
            if (button == 1) {
                m_previousState = m_state;
                m_state = kStateConnected;
                m_tmrAppKiller->setEnabled(false);
            } else {
                m_ports.status.setConnectedOption(false);
            }
            break;
        case MsgAction::Disconnected:
            if (button == 1) {
                m_previousState = m_state;
                m_state = kStateDisconnected;
                m_ports.apps.subKillApps();
                m_tmrAppKiller->setEnabled(true);
            } else {
                m_ports.status.setConnectedOption(true);
            }
            break;
        }
    } catch (const std::exception& e) {
        m_log.subLogError("clsAction.subExecuteCommandButtonError", e);
    }
}

void Client::subSetDefaultUsage() {
    try {
        FormsPort& forms = m_ports.forms;
        UsageSelection s = UsageSelection::Nothing;
        switch (m_sys.defaultUsage) {
        case kSessionClient:
            s = UsageSelection::SelectClient;
            break;
        case kSessionSelfService:
            s = forms.lockOptionEnabled(LockOption::SelfService) ? UsageSelection::SelectSelfService
                                                                 : UsageSelection::Nothing;
            break;
        case kSessionCard:
            s = forms.lockOptionEnabled(LockOption::Card) ? UsageSelection::SelectCard
                                                          : UsageSelection::ClearAll;
            break;
        case 0:
            s = UsageSelection::HideChoice;
            break;
        default:
            break;
        }
        forms.applyDefaultUsage(s);
    } catch (const std::exception& e) {
        m_log.subLogError(ctx("subSetDefaultUsage"), e);
    }
}

} // namespace tlv
