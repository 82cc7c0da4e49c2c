#include "link/client_link.h"

#include "core/client.h"
#include "core/dates.h"
#include "link/message.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/scheduler.h"
#include "tlv_version.h"

#include <chrono>
#include <filesystem>

namespace tlv {

namespace {
std::string dataFile(const Client& c, const std::string& name) {
    return toNativePath(joinPath(c.ports().layout.dataFolder, name));
}
} // namespace

ClientLink::ClientLink(Client& client, SocketFactory& sockets, LinkForms& forms,
                       ExtensionsPort& ext)
    : m_c(client) {
    ServerLink::Deps d{client.ports().clock,
                       client.ports().scheduler,
                       client.log(),
                       sockets,
                       client.constants(),
                       client.settings(),
                       *this,
                       *this,
                       forms,
                       *this,
                       *this,
                       ext};
    d.exeName = kExeName;
    d.srvCnxStatusTimer = &client.tmrSrvCnxStatus();
    d.wksnStatusTimer = &client.tmrWksnStatus();
    m_link = std::make_unique<ServerLink>(std::move(d));

    ClientHooks& h = client.hooks();
    ServerLink* link = m_link.get();
    h.tmrSrvCnxStatus_Timer = [this, link] {
        if (m_c.clientStarted())
            link->markClientStarted();
        link->tmrSrvCnxStatus_Timer();
    };
    h.tmrWksnStatus_Timer = [link] { link->tmrWksnStatus_Timer(); };
    h.closeSockets = [link] { link->closeSockets(); };
    h.serverLinkUp = [link] { return link->serverConnected() == 1; };
    h.subUserInit = [link] { link->userInitRest(); };
    h.subForceUpdate = [link] { link->subForceUpdate(); };
    h.requestServerDate = [link] {
        link->onSystemTimeChanged();
        link->sendMessage(tok::kServerDate, "", false);
    };
}

ClientLink::~ClientLink() {
    ClientHooks& h = m_c.hooks();
    h.tmrSrvCnxStatus_Timer = nullptr;
    h.tmrWksnStatus_Timer = nullptr;
    h.closeSockets = nullptr;
    h.serverLinkUp = nullptr;
    h.subUserInit = nullptr;
    h.subForceUpdate = nullptr;
    h.requestServerDate = nullptr;
}

int ClientLink::state() const {
    return m_c.state();
}
void ClientLink::setState(int s) {
    m_c.setState(s);
}
int ClientLink::previousState() const {
    return m_c.previousState();
}
void ClientLink::setPreviousState(int s) {
    m_c.setPreviousState(s);
}
int ClientLink::sessionType() const {
    return m_c.sessionType();
}
void ClientLink::setSessionType(int t) {
    m_c.setSessionType(t);
}
bool ClientLink::disabled() const {
    return m_c.disabled();
}
void ClientLink::subShowBlockScreen() {
    m_c.subShowBlockScreen();
}
bool ClientLink::funStartSession() {
    return m_c.funStartSession();
}
bool ClientLink::funStopSession() {
    return m_c.funStopSession(false);
}
bool ClientLink::funPauseSession() {
    return m_c.funPauseSession();
}
bool ClientLink::funLockSession() {
    return m_c.funLockSession();
}
bool ClientLink::funFollowSession() {
    return m_c.funFollowSession();
}
bool ClientLink::funUnPauseSession() {
    return m_c.funUnPauseSession();
}
void ClientLink::subActivate() {
    m_c.subActivate();
    m_link->resetFailedAttempts();
}
void ClientLink::subLock() {
    m_c.subLock();
}
void ClientLink::subDisableWksn(const std::string& reason) {
    m_c.subDisableWksn(reason);
}
void ClientLink::subSetDefaultUsage() {
    m_c.subSetDefaultUsage();
}
void ClientLink::subShutdown(int mode, const std::string& reason) {
    m_c.subShutdown(mode, reason);
}
void ClientLink::subUserInit() {
    m_c.subUserInit();
}
void ClientLink::onServerLockWksn() {
    m_c.onServerLockWksn();
}
void ClientLink::onServerActivateWksn() {
    m_c.onServerActivateWksn();
}
void ClientLink::subSetDefaultLanguage(const std::string& suffix, int charset) {
    m_c.subSetDefaultLanguage(suffix, charset);
}
LinkFlags ClientLink::commandFlags() const {
    const CommandLine& f = m_c.flags();
    return LinkFlags{f.noLockdown, f.noKill, f.noUserLockdown};
}
void ClientLink::setCommandFlags(const LinkFlags& f) {
    CommandLine& c = m_c.flags();
    c.noLockdown = f.noLockdown;
    c.noKill = f.noKill;
    c.noUserLockdown = f.noUserLockdown;
}
bool ClientLink::msgBoxShown() const {
    return m_c.msgBoxShown();
}

void ClientLink::setSessionBatch(bool start, int value) {
    (start ? m_c.sessionStartBatchEnabled() : m_c.sessionEndBatchEnabled()) = value == 1;
}
void ClientLink::setAppKillerEnabled(bool on) {
    m_c.tmrAppKiller().setEnabled(on);
}

double ClientLink::elapsedTime() const {
    return msToDays(m_c.sessionClock().record().elapsedMs);
}
double ClientLink::connectedTime() const {
    return msToDays(m_c.sessionClock().record().connectedMs);
}
double ClientLink::offPeakTime() const {
    return msToDays(m_c.sessionClock().record().offPeakMs);
}
double ClientLink::disconnectedTime() const {
    return msToDays(m_c.sessionClock().record().disconnectedMs);
}
double ClientLink::remainingTime() const {
    return msToDays(m_c.sessionClock().record().remainingCreditMs);
}
double ClientLink::displayedRemaining() const {
    return msToDays(m_c.sessionClock().record().displayedRemainingMs);
}
float ClientLink::amountDue() const {
    return m_c.sessionClock().record().amountDue;
}
double ClientLink::serverTimeOffset() const {
    return m_c.sessionClock().serverTimeOffsetDays();
}
void ClientLink::onSessionOK(double remaining, double validity, int unlimited) {
    m_c.sessionClock().onSessionOK(remaining, validity, unlimited);
}
void ClientLink::onRechargeCard(double added, double validity) {
    m_c.sessionClock().onRechargeCard(added, validity);
}
void ClientLink::onServerDate(double serverDate) {
    m_c.sessionClock().onServerDate(serverDate);
}
void ClientLink::setPostPaid(int rechargeBased, double increment, double minimum, int autoOptimise,
                             double extra) {
    m_c.sessionClock().setPostPaidMode(rechargeBased, increment, minimum, autoOptimise, extra);
}
void ClientLink::setRecharges(const std::vector<std::pair<double, float>>& rows) {
    m_c.sessionClock().setDefaultRecharges(rows);
}
void ClientLink::setRatioDisconnected(int percent) {
    m_c.sessionClock().setRatioDisconCon(percent);
}
void ClientLink::setCurrency(const std::string& symbol, const std::string& format) {
    m_c.sessionClock().setCurrencySymbol(symbol, format);
}
void ClientLink::setOffPeak(int ratio, double end, double start) {
    m_c.sessionClock().setOffPeakParams(ratio, end, start);
}
void ClientLink::setWarnings(int timeWarnings, int first, int second, int amountWarning,
                             float step) {
    m_c.sessionClock().setWksnMsgOptions(timeWarnings, first, second, amountWarning, step);
}
void ClientLink::constantsChanged() {
    m_c.sessionClock().setCurrencyMarker(m_c.constants().genCurrencySymb);
}
void ClientLink::serverConnected() {
    m_c.sessionClock().onServerConnected();
}

std::string ClientLink::funLoadResString(int id) const {
    return m_c.texts().funLoadResString(id);
}
std::string ClientLink::funLoadResStringDefault(int id) const {
    return m_c.texts().funLoadResStringDefault(id);
}

void ClientLink::saveGeneralText(const std::string& name, const std::string& value) {
    m_c.store().SetRegSettings(kSettingsAppName, "General", name, value, REG_SZ);
}
void ClientLink::saveGeneralNumber(const std::string& name, uint32_t value) {
    m_c.store().SetRegSettings(kSettingsAppName, "General", name, std::to_string(value), REG_DWORD);
}
void ClientLink::saveAdminPassword(const std::string& clearText) {
    m_c.store().storePassword(clearText);
}
void ClientLink::subSetConstWksn(const ConstWksn& c) {
    m_c.store().subSetConstWksn(c);
}

bool ClientLink::fileExistsInDataFolder(const std::string& name) const {
    std::error_code ec;
    return std::filesystem::is_regular_file(dataFile(m_c, name), ec);
}

double ClientLink::fileDateInDataFolder(const std::string& name) const {
    std::error_code ec;
    const auto t = std::filesystem::last_write_time(dataFile(m_c, name), ec);
    if (ec)
        return 0;
    const auto sys = std::chrono::file_clock::to_sys(t);
    const int64_t utc =
        std::chrono::duration_cast<std::chrono::milliseconds>(sys.time_since_epoch()).count();
    const int64_t local = utc + m_c.ports().clock.localOffsetMs(utc);
    return msToDays(serialMsFromUnixMs(local));
}

} // namespace tlv
