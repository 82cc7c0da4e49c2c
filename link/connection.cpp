// Discovery, connection supervision and the receive side of wskCli.
#include "link/server_link.h"

#include "core/cp1252.h"
#include "core/error.h"
#include "core/log.h"
#include "core/settings.h"
#include "link/message.h"
#include "link/server_link_internal.h"
#include "platform/clock.h"
#include "platform/scheduler.h"
#include "platform/socket.h"

namespace tlv {

using namespace linkdetail;

namespace {
// Without a temp-file sink an unterminated message may not grow the buffer without bound.
constexpr size_t kMaxPendingBytes = 64u << 20;
} // namespace

bool funSendData(TcpSocket& socket, std::string_view data, bool logFailure, Logger& log) {
    if (socket.state() != kSckConnected)
        return false;
    if (socket.sendData(utf8ToCp1252(data)))
        return true;
    if (logFailure)
        log.subLogError("modGlobalFunctions.funSendDataError - Data: " +
                            std::string(utf8Prefix(data, 20)),
                        socket.lastErrorNumber(), socket.lastErrorDescription());
    return false;
}

ServerLink::ServerLink(Deps deps) : m_d(std::move(deps)) {
    m_wskCli = m_d.sockets.createTcp();
    m_wskFindServer = m_d.sockets.createUdp();
    m_wskCli->onDataArrival([this](size_t) { wskCli_DataArrival(); });
    m_wskCli->onClose([this] { wskCli_Close(); });
    m_wskCli->onError([this](int, const std::string&) { wskCli_Error(); });
    m_wskFindServer->onDataArrival([this](size_t) { wskFindServer_DataArrival(); });

    m_tmrActivateClient = m_d.scheduler.createTimer([this] { tmrActivateClient_Timer(); });
    m_tmrActivateClient->setSingleShot(true);
    m_tmrSrvCnxStatus = m_d.srvCnxStatusTimer;
    if (!m_tmrSrvCnxStatus) {
        m_ownSrvCnxStatus = m_d.scheduler.createTimer([this] { tmrSrvCnxStatus_Timer(); });
        m_ownSrvCnxStatus->setInterval(500);
        m_tmrSrvCnxStatus = m_ownSrvCnxStatus.get();
    }
    m_tmrWksnStatus = m_d.wksnStatusTimer;
    if (!m_tmrWksnStatus) {
        m_ownWksnStatus = m_d.scheduler.createTimer([this] { tmrWksnStatus_Timer(); });
        m_ownWksnStatus->setInterval(500);
        m_tmrWksnStatus = m_ownWksnStatus.get();
    }
    m_tmrRequestTimeout = m_d.scheduler.createTimer([this] { finishRequest(true); });
    m_tmrRequestTimeout->setSingleShot(true);

    // The server named in the settings is read at each attempt (useNamedServer), never here:
    // the settings are loaded after the link is built, and the staff change them while it runs.
    m_lastContactMs = m_d.clock.monotonicMs();
}

ServerLink::~ServerLink() = default;

double ServerLink::now() const {
    return static_cast<double>(m_d.clock.localMs()) / 86400000.0 + 25569.0;
}

bool ServerLink::connected() const {
    return m_wskCli->state() == kSckConnected;
}

std::string ServerLink::res(int id) const {
    return m_d.strings.funLoadResString(id);
}
std::string ServerLink::resDefault(int id) const {
    return m_d.strings.funLoadResStringDefault(id);
}

void ServerLink::armActivateClient() {
    const int64_t left = m_d.constants.wksnCnxBootDelay - m_d.clock.sinceBootMs();
    m_tmrActivateClient->start(left > 0 ? left : m_d.constants.wksnCnxMinDelay);
    m_tmrWksnStatus->setEnabled(true);
}

void ServerLink::tmrActivateClient_Timer() {
    m_clientStarted = true;
    m_tmrSrvCnxStatus->setEnabled(true);
    m_tmrActivateClient->setEnabled(false);
}

void ServerLink::subFindServer() {
    try {
        const ConstWksn& c = m_d.constants;
        // The answer port is bound before the request goes out and stays bound between
        // requests: a server on the same network answers before a later bind would happen,
        // and a datagram reaching a port nobody holds is lost.
        if (m_wskFindServer->state() != kSckOpen || m_findServerPort != c.cnxUdpPortWksn) {
            closeFindServer();
            if (m_wskFindServer->bind(c.cnxUdpPortWksn))
                m_findServerPort = c.cnxUdpPortWksn;
            else
                m_d.log.trace("subFindServer: port " + std::to_string(c.cnxUdpPortWksn) +
                              " is not free");
        }
        m_wskFindServer->sendTo(c.cnxBroardcastAdr, c.cnxUdpPortServer,
                                utf8ToCp1252(tok::kFindServer));
    } catch (const std::exception& e) {
        m_d.log.subLogError("modFunctions.subFindServerError", e);
    }
}

void ServerLink::useNamedServer() {
    m_serverName = m_d.settings.serverName;
    try {
        m_serverPort = static_cast<int>(funStrToLong(m_d.settings.serverPort));
        if (m_serverPort <= 0 || m_serverPort > 65535)
            m_serverPort = 4646;
    } catch (const TlvError&) {
        m_serverPort = 4646;
    }
}

void ServerLink::wskFindServer_DataArrival() {
    try {
        if (m_d.wksn.disabled())
            return;
        const std::string text = cp1252ToUtf8(m_wskFindServer->getData());
        const std::string_view head = utf8Prefix(text, 20);
        if (head != tok::kServerAnswer)
            return;
        std::string name = text.substr(head.size());
        // A name padded by the sender's string handling is still that name.
        while (!name.empty() && (name.back() == '\0' || name.back() == '\r' ||
                                 name.back() == '\n' || name.back() == ' '))
            name.pop_back();
        m_serverName = name.empty() ? m_wskFindServer->remoteHostIP() : name;
        m_serverPort = 4646;
        closeFindServer();
        subConnectToServer();
    } catch (const std::exception& e) {
        m_d.log.subLogError("frmMain.wskFindServer_DataArrivalError", e);
    }
}

void ServerLink::subConnectToServer() {
    try {
        m_wskCli->close();
        // A new connection is a new stream: the end of a message the old one cut off never
        // comes, and must not swallow the first message of the new one.
        m_buffer.clear();
        m_lastChunk.clear();
        m_d.ext.leaveTempFileMode();
        m_wskCli->connect(m_serverName, m_serverPort);
        m_clientStarted = true;
        m_tmrSrvCnxStatus->setEnabled(true);
        m_lastContactMs = m_d.clock.monotonicMs();
    } catch (const std::exception& e) {
        m_d.log.subLogError("modFunctions.subConnectToServerError", e);
    }
}

void ServerLink::tmrSrvCnxStatus_Timer() {
    try {
        const int s = m_wskCli->state();
        const std::string suffix = m_d.log.debug() ? " - " + std::to_string(s) : std::string();
        const bool automatic = m_d.settings.automaticServerConnection;
        if (s == kSckClosed || s == kSckClosing || s == kSckError) {
            if (automatic) {
                subFindServer();
            } else {
                // The name and port as the settings hold them now: the options dialog and
                // the wizard change them while the client runs.
                useNamedServer();
                subConnectToServer();
            }
        }
        if (!m_clientStarted)
            return;
        LinkForms& f = m_d.forms;
        if (s == kSckClosed || s == kSckResolvingHost || s == kSckConnecting || s == kSckClosing ||
            s == kSckError) {
            f.setCaption("frmMain", "lblConnexionStatus", res(10212) + suffix);
            f.setCaption("frmMain", "lblServerName",
                         (automatic ? res(10310) : m_serverName) + suffix);
            f.setToolTip("frmBlock", "imgNoServCnx", res(10338) + " - " + res(10336));
            m_serverConnected = 0;
            f.setEnabled("frmBlock", "cmdCxn", false);
            f.setEnabled("frmBlock", "cmdReCnx", false);
            f.setTimer("frmBlock", "tmrNoServCnx", true);
            m_serverInitialised = false;
            m_tmrSrvCnxStatus->setEnabled(true);
            m_tmrWksnStatus->setEnabled(true);
        } else if (s == kSckConnected) {
            subInitServer();
            f.setEnabled("frmStatus", "cmdCliPassword", true);
            f.setEnabled("frmStatus", "cmdChat", true);
            f.setCaption("frmMain", "lblServerName", m_serverName + suffix);
            f.setCaption("frmMain", "lblConnexionStatus", res(10213) + suffix);
            f.setToolTip("frmBlock", "imgNoServCnx", res(10338) + " - " + res(10213));
            f.setConnectedPicture(true);
            m_serverConnected = 1;
            f.setTimer("frmBlock", "tmrNoServCnx", false);
            f.setEnabled("frmBlock", "cmdReCnx", m_d.wksn.state() == 8);
            f.applyConnectRule();
            m_tmrSrvCnxStatus->setEnabled(false);
            m_tmrWksnStatus->setEnabled(true);
            closeFindServer();
            m_d.session.serverConnected();
            if (m_d.settings.startActive && m_d.wksn.state() < 2)
                m_d.wksn.subActivate();
        }
    } catch (const std::exception& e) {
        m_d.log.subLogError("frmMain.tmrSrvCnxStatus_TimerError", e);
    }
}

void ServerLink::wskCli_Close() {
    try {
        m_tmrSrvCnxStatus->setEnabled(true);
        m_d.forms.setEnabled("frmStatus", "cmdCliPassword", false);
        m_d.forms.setEnabled("frmStatus", "cmdChat", false);
        if (m_d.forms.isLoaded("frmPasswdChange"))
            m_d.forms.unload("frmPasswdChange");
        m_serverInitialised = false;
        m_managerLogin.clear();
        m_managerPassword.clear();
        m_wskCli->close();
        tmrWksnStatus_Timer();
    } catch (const std::exception& e) {
        m_d.log.subLogError("frmMain.wskCli_CloseError", e);
    }
}

void ServerLink::wskCli_Error() {
    try {
        wskCli_Close();
    } catch (const std::exception& e) {
        m_d.log.subLogError("frmMain.wskCli_ErrorError", e);
    }
}

void ServerLink::onSystemTimeChanged() {
    m_lastContactMs = m_d.clock.monotonicMs();
}

void ServerLink::closeSockets() {
    m_wskCli->close();
    closeFindServer();
}

void ServerLink::closeFindServer() {
    m_wskFindServer->close();
    m_findServerPort = 0;
}

void ServerLink::wskCli_DataArrival() {
    try {
        if (m_d.wksn.disabled())
            return;
        std::string raw = m_wskCli->getData();
        m_lastContactMs = m_d.clock.monotonicMs();
        ExtensionsPort& ext = m_d.ext;
        if (!ext.tempFileMode() && m_buffer.size() > static_cast<size_t>(std::max(
                                                         0, m_d.constants.cnxMinSizeTmpFileStore)))
            if (ext.enterTempFileMode(m_buffer.pending()))
                m_buffer.clear();
        if (!ext.tempFileMode()) {
            m_buffer.append(raw);
            std::string message;
            while (!m_buffer.empty()) {
                if (m_d.wksn.disabled())
                    break;
                if (!m_buffer.next(message))
                    break;
                std::string text = cp1252ToUtf8(message);
                if (m_d.log.debug() && utf8Prefix(text, 20) != tok::kServerHeartBeat)
                    m_d.log.subWriteLog("wskCli_DataArrival.ProcessServerData: " +
                                        std::string(utf8Prefix(text, 300)));
                subProcessServerData(text);
            }
            if (m_buffer.size() > kMaxPendingBytes) {
                m_buffer.clear();
                throw TlvError(7, "Out of memory");
            }
        } else {
            std::string rest, synthetic;
            if (ext.tempFileData(raw, m_lastChunk, rest, synthetic)) {
                m_buffer.append(rest);
                if (!m_d.wksn.disabled())
                    subProcessServerData(cp1252ToUtf8(synthetic));
            }
        }
        m_lastChunk = std::move(raw); // kept, not copied: a read may be large
    } catch (const std::exception& e) {
        m_d.log.subLogError("frmMain.wskCli_DataArrivalError", e);
    }
}

bool ServerLink::sendMessage(std::string_view token, std::string_view payload, bool logFailure) {
    return funSendData(*m_wskCli, funBuildMessage(token, payload), logFailure, m_d.log);
}

} // namespace tlv
