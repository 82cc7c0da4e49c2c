// What the workstation sends on its own: identification, state reports, the session request.
#include "core/cp1252.h"
#include "core/error.h"
#include "core/log.h"
#include "core/settings.h"
#include "link/message.h"
#include "link/server_link.h"
#include "link/server_link_internal.h"
#include "platform/clock.h"
#include "platform/scheduler.h"
#include "platform/socket.h"

namespace tlv {

using namespace linkdetail;

void ServerLink::subInitServer() {
    try {
        if (!connected())
            return;
        const SystemSettings& s = m_d.settings;
        LinkFlags fl = m_d.wksn.commandFlags();
        const std::string localHost = m_d.sockets.localHostName();
        const bool samePc =
            m_wskCli->remoteHostIP() == m_wskCli->localIP() ||
            (!localHost.empty() && utf8ToLower(m_wskCli->remoteHost()) == utf8ToLower(localHost));
        if (m_d.constants.wksnCheckSamePcAsServer == 1 && s.standaloneWorkstation &&
            !(fl.noLockdown && fl.noKill && fl.noUserLockdown) && samePc) {
            fl.noLockdown = fl.noKill = fl.noUserLockdown = true;
            m_d.wksn.setCommandFlags(fl);
            m_d.forms.setTopmost("frmBlock", false);
            showOk(withInserts(res(10360), localHost, m_wskCli->localIP()), "frmMain");
        }

        std::string workstationName = s.workstationName;
        std::erase(workstationName, '#');
        const bool noLockdown =
            s.configWizardMachine < 1 || s.configWizardUser < 1 || fl.noUserLockdown;
        // The setting as stored (an Integer, 1 when allowed), not a Boolean's -1.
        const std::string lockdown = noLockdown || !s.allowLockdown ? "0" : "1";
        std::string identity = s.computerAddress.empty() ? s.computerName : s.computerAddress;
        const LinkVersion& v = m_d.version;
        std::string out;
        out += funBuildMessage(tok::kAppVersion,
                               std::to_string(funVersionNumber(v.major, v.minor, v.revision)));
        out += funBuildMessage(tok::kWorkstationName, workstationName);
        out +=
            funBuildMessage(tok::kComputerName,
                            std::vector<std::string>{
                                utf8ToLower(s.computerName), utf8ToLower(s.windowsUserName),
                                lockdown, s.standaloneWorkstation ? identity : s.windowsUserName});
        out += funBuildMessage(tok::kRdyForServScreen, "-1");
        if (m_d.store.fileExistsInDataFolder("server_db_backup.mdb"))
            out += funBuildMessage(tok::kDBBackupDte, funDblToStr(m_d.store.fileDateInDataFolder(
                                                          "server_db_backup.mdb")));
        funSendData(*m_wskCli, out, true, m_d.log);
        m_d.ext.subInitSerializedUser();
        m_serverInitialised = true;
    } catch (const std::exception& e) {
        m_d.log.subLogError("modFunctions.subInitServerError", e);
    }
}

void ServerLink::tmrWksnStatus_Timer() {
    try {
        if (!connected()) {
            if (m_firstDisconnectedTick) {
                m_remainingAtDisconnection = m_d.session.remainingTime();
                m_offline = true;
                m_firstDisconnectedTick = false;
            }
            m_d.ext.subSerializeUser();
            return;
        }
        m_offline = false;
        m_firstDisconnectedTick = true;
        // Saved before it is reported: the server never sees a self-service state that a
        // crash right after the report could lose.
        if (m_d.wksn.sessionType() == 1)
            m_d.ext.subSerializeUser();
        if (m_serverInitialised)
            subUpdateServer();
        const int64_t silence = m_d.clock.monotonicMs() - m_lastContactMs;
        if (silence > static_cast<int64_t>(m_d.constants.wksnHeartBeatCheck) * 1000)
            wskCli_Close();
    } catch (const std::exception& e) {
        m_d.log.subLogError("frmMain.tmrWksnStatus_TimerError", e);
    }
}

void ServerLink::subUpdateServer() {
    try {
        if (!connected())
            return;
        const SessionPort& s = m_d.session;
        const int type = m_d.wksn.sessionType();
        std::string out;
        out.reserve(512);
        out += funBuildMessage(tok::kWorkstationState, std::to_string(m_d.wksn.state()));
        out += funBuildMessage(tok::kSessionType, std::to_string(type));
        out += funBuildMessage(tok::kElapsedTime, funDblToStr(s.elapsedTime()));
        out += funBuildMessage(tok::kUserID, m_userId);
        if (type == 2 || type == 4 || type == 5) {
            out += funBuildMessage(tok::kRemainingTime, funDblToStr(s.remainingTime()));
            out += funBuildMessage(tok::kRemTimeAparent, funDblToStr(s.displayedRemaining()));
        } else if (type == 1) {
            out += funBuildMessage(tok::kUserBalance, funSngToStr(s.amountDue()));
        }
        out += funBuildMessage(tok::kConnectedTime, funDblToStr(s.connectedTime()));
        out += funBuildMessage(tok::kCnxtTimeOffPeak, funDblToStr(s.offPeakTime()));
        out += funBuildMessage(tok::kDisconnectedTime, funDblToStr(s.disconnectedTime()));
        funSendData(*m_wskCli, out, true, m_d.log);
    } catch (const std::exception& e) {
        m_d.log.subLogError("modFunctions.subUpdateServerError", e);
    }
}

void ServerLink::subForceUpdate() {
    try {
        if (connected()) {
            funSendData(*m_wskCli,
                        funBuildMessage(tok::kForceCardUpdate,
                                        std::vector<std::string>{
                                            funDblToStr(m_d.session.remainingTime()),
                                            funDblToStr(m_d.session.displayedRemaining())}),
                        false, m_d.log);
        } else {
            m_d.ext.subSerializeUser();
        }
    } catch (const std::exception& e) {
        m_d.log.subLogError("modFunctions.subForceUpdateError", e);
    }
}

void ServerLink::sendSessionUrl(std::string_view message) {
    funSendData(*m_wskCli, message, true, m_d.log);
}

void ServerLink::subStartConnexion(int type, int mode, const std::string& cardOrLogin,
                                   const std::string& password) {
    try {
        // The login panel stays disabled until tmrActivateTimeout: one request at a time.
        if (m_requestWaiting) {
            if (m_requestPending)
                return;
            // The previous request has its answer and only waits for the end of the event
            // that brought it: finish it now, or the next request would be dropped.
            finishRequest(false);
        }
        LinkForms& f = m_d.forms;
        for (const char* c : {"cmdCxn", "txtCardNum", "txtLogin", "txtPassword"})
            f.setEnabled("frmBlock", c, false);
        f.setHourglass("frmBlock", true);
        subUserInit();
        const double start = now() + m_d.session.serverTimeOffset();
        const auto notAvailable = [&] {
            f.setTimer("frmBlock", "tmrActivateTimeout", true);
            f.setHourglass("frmBlock", false);
            showOk(res(10178) + "\n" + res(10179));
        };
        if (!connected()) {
            notAvailable();
            return;
        }
        ++m_failedAttempts;
        const std::string id = type == 4 ? utf8ToLower(cardOrLogin) : cardOrLogin;
        std::string msg(tok::kSessionOpen);
        for (const std::string& field :
             {std::to_string(type), password, id, std::to_string(mode)}) {
            msg += field;
            msg += tok::kPayloadToken;
        }
        msg += tok::kMessageEnd;
        m_request = Request{type, mode, cardOrLogin, password, start};
        m_requestPending = true;
        m_refusalCode = 0;
        if (!funSendData(*m_wskCli, msg, true, m_d.log)) {
            m_requestPending = false;
            notAvailable();
            return;
        }
        // The answer or the time-out continues in finishRequest; the loop runs meanwhile.
        int timeOut = 10;
        try {
            timeOut = funStrToInt(m_d.settings.serverTimeOut);
        } catch (const TlvError&) {
        }
        ++m_requestSerial;
        m_requestWaiting = true;
        m_tmrRequestTimeout->start((static_cast<int64_t>(std::max(0, timeOut)) + 1) * 1000);
    } catch (const std::exception& e) {
        m_d.log.subLogError("modFunctions.subStartConnexionError", e);
    }
}

void ServerLink::finishRequest(bool timedOut) {
    try {
        if (!m_requestWaiting)
            return;
        if (!timedOut && m_requestPending)
            return;
        m_requestWaiting = false;
        ++m_requestSerial;
        m_tmrRequestTimeout->setEnabled(false);
        LinkForms& f = m_d.forms;
        f.setTimer("frmBlock", "tmrActivateTimeout", true);
        f.setHourglass("frmBlock", false);
        m_requestPending = false;
        if (timedOut) {
            showOk(res(10191) + "\n" + res(10179));
            subUserInit();
            return;
        }
        const int code = m_refusalCode;
        const Request r = m_request;
        const bool refused = (code >= 1 && code <= 8) || code == 10;
        if (refused) {
            if (r.type == 2) {
                f.setText("frmBlock", "txtCardNum", "");
                f.setFocus("frmBlock", "txtCardNum");
            } else if (r.type == 4) {
                f.setText("frmBlock", "txtLogin", "");
                f.setText("frmBlock", "txtPassword", "");
                f.setFocus("frmBlock", "txtLogin");
            }
            const int limit = m_d.constants.wksnMaxNumUseAtempts;
            if (m_failedAttempts >= limit) {
                const std::string text = resDefault(10305) + std::to_string(limit) +
                                         resDefault(10306) + m_d.settings.workstationName + "\r\n" +
                                         resDefault(10307);
                funSendData(*m_wskCli, funBuildMessage(tok::kMessageSend, text), true, m_d.log);
                m_d.wksn.subLock();
                // Counting starts again once the lock is lifted (through subActivate).
                m_failedAttempts = 0;
                f.setUnblockDelay(m_d.constants.wksnActivateDelayTime);
                f.setTimer("frmBlock", "tmrUnblock", true);
            }
            refusalMessage(code);
            return;
        }
        m_d.wksn.setSessionType(r.type);
        m_d.wksn.setState(r.mode);
        m_sessionStartTime = r.startTime;
        m_userId = r.cardOrLogin;
        m_sessionPassword = r.password;
        if (r.type == 1)
            m_d.ext.subSerializeUser(); // as on every tick: saved before it is reported
        subUpdateServer();
        m_d.wksn.funStartSession();
        m_failedAttempts = 0;
    } catch (const std::exception& e) {
        m_d.log.subLogError("modFunctions.subStartConnexionError", e);
    }
}

void ServerLink::refusalMessage(int code) {
    struct Row {
        int code, first, second;
    };
    static constexpr Row kRows[] = {{1, 10104, 0},     {2, 10194, 10179}, {3, 10192, 10193},
                                    {4, 10195, 10179}, {5, 10322, 0},     {6, 10324, 10179},
                                    {7, 10192, 10323}, {8, 10325, 10179}, {10, 10362, 10179}};
    for (const Row& r : kRows) {
        if (r.code == code) {
            std::string text = res(r.first);
            if (r.second != 0)
                text += "\n" + res(r.second);
            showOk(text);
            return;
        }
    }
}

void ServerLink::subUserInit() {
    try {
        m_d.wksn.subUserInit();
        userInitRest();
    } catch (const std::exception& e) {
        m_d.log.subLogError("modFunctions.subUserInitError", e);
    }
}

void ServerLink::userInitRest() {
    m_userId.clear();
    m_sessionPassword.clear();
    m_sessionId = -1;
    m_noInetShown = false;
}

void ServerLink::subCheckBalance() {
    try {
        if (m_d.session.remainingTime() <= 0) {
            showOk(res(10192) + "\n" + res(10323));
            return;
        }
        m_d.forms.setTimer("frmBlock", "tmrCloseSession", false);
        m_d.wksn.setState(m_d.wksn.previousState());
        m_d.forms.subShowStatus();
    } catch (const std::exception& e) {
        m_d.log.subLogError("modFunctions.subCheckBalanceError", e);
    }
}

} // namespace tlv
