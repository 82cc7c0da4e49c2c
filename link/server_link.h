#pragma once

#include "link/link_host.h"
#include "link/receive_buffer.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tlv {

class Clock;
class Logger;
class Scheduler;
class SocketFactory;
class TcpSocket;
class Timer;
class UdpSocket;
struct ConstWksn;
struct SystemSettings;

// The program's version as the server sees it.
struct LinkVersion {
    int major = 1, minor = 9, revision = 300;
};

// Sends data on a connected socket in one write; see the wire rules. Converts the UTF-8 text
// to Windows-1252 on the way out.
bool funSendData(TcpSocket& socket, std::string_view data, bool logFailure, Logger& log);

// The server link of the main form: the TCP socket wskCli and the UDP socket wskFindServer,
// the connection supervisor, the receive buffer and the dispatcher of the server's commands,
// the reports and the session request.
class ServerLink {
public:
    struct Deps {
        const Clock& clock;
        Scheduler& scheduler;
        Logger& log;
        SocketFactory& sockets;
        ConstWksn& constants;
        SystemSettings& settings;
        WorkstationPort& wksn;
        SessionPort& session;
        LinkForms& forms;
        StringsPort& strings;
        SettingsPort& store;
        ExtensionsPort& ext;
        LinkVersion version{};
        std::string exeName = "tlvcli";
        // The client object's timers, when it owns them; otherwise the link makes its own.
        Timer* srvCnxStatusTimer = nullptr;
        Timer* wksnStatusTimer = nullptr;
    };
    explicit ServerLink(Deps deps);
    ~ServerLink();
    ServerLink(const ServerLink&) = delete;
    ServerLink& operator=(const ServerLink&) = delete;

    // Start-up: arms tmrActivateClient with the rest of the boot delay, and tmrWksnStatus.
    void armActivateClient();
    void tmrActivateClient_Timer();
    void tmrSrvCnxStatus_Timer();
    void tmrWksnStatus_Timer();

    void subFindServer();
    void wskFindServer_DataArrival();
    void subConnectToServer();
    void wskCli_Close();
    void wskCli_Error();
    void wskCli_DataArrival();
    // Processes every whole message in text (UTF-8).
    void subProcessServerData(std::string_view text);
    // The tokens the dispatcher knows, in the order they are compared.
    static std::vector<std::string_view> commandTokens();

    void subInitServer();
    void subUpdateServer();
    void subForceUpdate();
    // The session request: sends SessionOpen and waits (without blocking the loop) for the
    // answer up to the "TimeOut" setting.
    void subStartConnexion(int type, int mode, const std::string& cardOrLogin,
                           const std::string& password);
    void subUserInit();
    void subCheckBalance();

    // The system time was changed: silence is measured from now on.
    void onSystemTimeChanged();
    // The link's part of subUserInit: user ID, session password, session ID, notice flag.
    void userInitRest();
    // The client's timer says the client has started.
    void markClientStarted() { m_clientStarted = true; }
    // Called by funStartSession and subActivate.
    void resetFailedAttempts() { m_failedAttempts = 0; }
    // Sends the free text to the manager (deactivation dialog, chat).
    bool sendMessage(std::string_view token, std::string_view payload, bool logFailure);
    // Closes both sockets (shutdown).
    void closeSockets();
    // Lets the file transfer hand back its synthetic FileTemp message.
    void processFileTemp(std::string_view message) { subProcessServerData(message); }

    // State read by the forms.
    int serverConnected() const { return m_serverConnected; }
    bool serverInitialised() const { return m_serverInitialised; }
    bool clientStarted() const { return m_clientStarted; }
    bool requestPending() const { return m_requestPending; }
    int refusalCode() const { return m_refusalCode; }
    int failedAttempts() const { return m_failedAttempts; }
    double remainingAtDisconnection() const { return m_remainingAtDisconnection; }
    const std::string& userId() const { return m_userId; }
    const std::string& sessionPassword() const { return m_sessionPassword; }
    int32_t sessionId() const { return m_sessionId; }
    double sessionStartTime() const { return m_sessionStartTime; }
    void setUserId(const std::string& id) { m_userId = id; }
    void setSessionPassword(const std::string& pw) { m_sessionPassword = pw; }
    void setSessionId(int32_t id) { m_sessionId = id; }
    void setSessionStartTime(double d) { m_sessionStartTime = d; }
    const std::string& serverName() const { return m_serverName; }
    int serverPort() const { return m_serverPort; }
    const std::string& managerLogin() const { return m_managerLogin; }
    const std::string& managerPassword() const { return m_managerPassword; }
    const std::string& adminPassword() const { return m_adminPassword; }
    bool hideAllStatusWin() const { return m_hideAllStatusWin; }
    bool disableSessCloseButton() const { return m_disableSessCloseButton; }
    bool offline() const { return m_offline; }
    bool noInetNoticeShown() const { return m_noInetShown; }
    void setNoInetNoticeShown(bool v) { m_noInetShown = v; }
    TcpSocket& wskCli() { return *m_wskCli; }
    UdpSocket& wskFindServer() { return *m_wskFindServer; }
    Timer& tmrSrvCnxStatus() { return *m_tmrSrvCnxStatus; }
    Timer& tmrWksnStatus() { return *m_tmrWksnStatus; }
    Timer& tmrActivateClient() { return *m_tmrActivateClient; }
    std::string_view lastChunk() const { return m_lastChunk; }
    // The ports the link was built on, for the parts that extend it.
    const Deps& deps() const { return m_d; }

    // Now as a Date serial (local time).
    double now() const;

private:
    void dispatch(std::string_view token, std::string_view payload, bool& stop);
    void finishRequest(bool timedOut);
    void postFinishRequest();
    void sendSessionReports(std::string& out);
    std::string res(int id) const;
    std::string resDefault(int id) const;
    void showOk(const std::string& text, std::string_view owner = "frmBlock");
    void refusalMessage(int code);
    bool connected() const;
    // Manual mode: the server's name and port from the settings as they are now.
    void useNamedServer();
    void closeFindServer();

    // One handler per inbound command.
    using Handler = void (ServerLink::*)(std::string_view payload, bool& stop);
    struct Command {
        std::string_view token;
        Handler handler;
    };
    static const Command kCommands[];

    void onAppVersion(std::string_view p, bool& stop);
    void onSessionOK(std::string_view p, bool&);
    void onSessionNOK(std::string_view p, bool&);
    void onPostPaidMode(std::string_view p, bool&);
    void onDefaultRecharges(std::string_view p, bool&);
    void onPasswordAdmin(std::string_view p, bool&);
    void onRatioDisconCon(std::string_view p, bool&);
    void onCurrencySymbol(std::string_view p, bool&);
    void onOffPeakParams(std::string_view p, bool&);
    void onActivateWksn(std::string_view p, bool&);
    void onLockWksn(std::string_view p, bool&);
    void onSessionClose(std::string_view p, bool&);
    void onForceConnected(std::string_view p, bool&);
    void onWksnMsgOptions(std::string_view p, bool&);
    void onActivateSelfServ(std::string_view p, bool&);
    void onActivateCards(std::string_view p, bool&);
    void onActivateClients(std::string_view p, bool&);
    void onShutdownWksn(std::string_view p, bool&);
    void onRechargeCard(std::string_view p, bool&);
    void onPauseWksn(std::string_view p, bool&);
    void onPauseLocKWksn(std::string_view p, bool&);
    void onPauseFollowWksn(std::string_view p, bool&);
    void onUnPauseWksn(std::string_view p, bool&);
    void onResumeWksn(std::string_view p, bool&);
    void onNotifyInetCnx(std::string_view p, bool&);
    void onNotifyNoInetCnx(std::string_view p, bool&);
    void onDisableWksn(std::string_view p, bool&);
    void onSessionOpen(std::string_view p, bool&);
    void onFileSend(std::string_view p, bool&);
    void onSessionFree(std::string_view p, bool&);
    void onMessageSend(std::string_view p, bool&);
    void onKilledApps(std::string_view p, bool&);
    void onSEssionCleanup(std::string_view p, bool&);
    void onSessionID(std::string_view p, bool&);
    void onHideCardNum(std::string_view p, bool&);
    void onEnablePause(std::string_view p, bool&);
    void onServerDate(std::string_view p, bool&);
    void onSessBatchStart(std::string_view p, bool&);
    void onSessBatchEnd(std::string_view p, bool&);
    void onSessBatchStyle(std::string_view p, bool&);
    void onWksnDefaultState(std::string_view p, bool&);
    void onUsageDefault(std::string_view p, bool&);
    void onWksnDefaultMode(std::string_view p, bool&);
    void onDefaultLanguage(std::string_view p, bool&);
    void onMsgLogoFilesType(std::string_view p, bool&);
    void onPasswordMangr(std::string_view p, bool&);
    void onChatMessage(std::string_view p, bool&);
    void onEmptySerialzdUsr(std::string_view p, bool&);
    void onTalvorConstants(std::string_view p, bool&);
    void onServerHeartBeat(std::string_view p, bool&);

    Deps m_d;
    std::unique_ptr<TcpSocket> m_wskCli;
    std::unique_ptr<UdpSocket> m_wskFindServer;
    std::unique_ptr<Timer> m_tmrActivateClient;
    std::unique_ptr<Timer> m_ownSrvCnxStatus;
    std::unique_ptr<Timer> m_ownWksnStatus;
    Timer* m_tmrSrvCnxStatus = nullptr;
    Timer* m_tmrWksnStatus = nullptr;
    std::unique_ptr<Timer> m_tmrRequestTimeout;

    // Connection state.
    std::string m_serverName;
    int m_serverPort = 4646;
    // The port wskFindServer is bound to for the discovery answers; 0 when not bound.
    int m_findServerPort = 0;
    bool m_clientStarted = false;
    int m_serverConnected = 0;
    bool m_serverInitialised = false;
    int64_t m_lastContactMs = 0; // monotonic: a wall-clock change is never silence
    bool m_offline = false;
    bool m_firstDisconnectedTick = true;

    // Receive side.
    ReceiveBuffer m_buffer;
    std::string m_lastChunk;

    // Written by the dispatcher.
    bool m_requestPending = false;
    int m_refusalCode = 0;
    double m_remainingAtDisconnection = 0;
    bool m_noInetShown = false;
    std::string m_managerLogin;
    std::string m_managerPassword;
    std::string m_adminPassword;
    bool m_hideAllStatusWin = false;
    bool m_disableSessCloseButton = false;

    // The session's identity (the rest of the session record).
    std::string m_userId;
    std::string m_sessionPassword;
    int32_t m_sessionId = -1;
    double m_sessionStartTime = 0;

    // The session request in progress.
    int m_failedAttempts = 0;
    struct Request {
        int type = 0;
        int mode = 0;
        std::string cardOrLogin;
        std::string password;
        double startTime = 0;
    };
    Request m_request;
    bool m_requestWaiting = false;
    uint64_t m_requestSerial = 0;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

} // namespace tlv
