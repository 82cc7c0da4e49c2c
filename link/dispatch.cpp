// The server's commands: wskCli's messages cut by the receive side end up here.
#include "core/cp1252.h"
#include "core/error.h"
#include "core/log.h"
#include "core/settings.h"
#include "link/message.h"
#include "link/server_link.h"
#include "link/server_link_internal.h"
#include "platform/clock.h"
#include "platform/scheduler.h"

namespace tlv {

using namespace linkdetail;

namespace {
std::vector<std::string> fieldsOf(std::string_view payload) {
    return funSplit(payload, tok::kPayloadToken);
}

[[noreturn]] void invalidArgument() {
    throw TlvError(kErrInvalidCall, "Invalid procedure call or argument");
}

// A length of time or a count: a negative one is no setting at all.
double funStrToDuration(std::string_view text) {
    const double d = funStrToDate(text);
    if (d < 0)
        invalidArgument();
    return d;
}
int funStrToCount(std::string_view text) {
    const int v = funStrToInt(text);
    if (v < 0)
        invalidArgument();
    return v;
}
// A price: a negative one would make a customer's debt shrink as the time runs.
float funStrToPrice(std::string_view text) {
    const float v = funStrToSng(text);
    if (v < 0)
        invalidArgument();
    return v;
}
int32_t funStrToLongCount(std::string_view text) {
    const int32_t v = funStrToLong(text);
    if (v < 0)
        invalidArgument();
    return v;
}

bool hasControl(std::string_view text) {
    for (const char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return true;
    return false;
}

// A text setting that is stored as it came: a control character (a NUL above all) would cut or
// garble the stored value.
const std::string& plainText(const std::string& text) {
    if (hasControl(text))
        invalidArgument();
    return text;
}

// The payload as it may go into a log line: a peer must not be able to start lines of its own.
std::string logSafe(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = '?';
    return out;
}
} // namespace

// Compared in this order; the first match runs.
const ServerLink::Command ServerLink::kCommands[] = {
    {tok::kAppVersion, &ServerLink::onAppVersion},
    {tok::kSessionOK, &ServerLink::onSessionOK},
    {tok::kSessionNOK, &ServerLink::onSessionNOK},
    {tok::kPostPaidMode, &ServerLink::onPostPaidMode},
    {tok::kDefaultRecharges, &ServerLink::onDefaultRecharges},
    {tok::kPasswordAdmin, &ServerLink::onPasswordAdmin},
    {tok::kRatioDisconCon, &ServerLink::onRatioDisconCon},
    {tok::kCurrencySymbol, &ServerLink::onCurrencySymbol},
    {tok::kOffPeakParams, &ServerLink::onOffPeakParams},
    {tok::kActivateWksn, &ServerLink::onActivateWksn},
    {tok::kLockWksn, &ServerLink::onLockWksn},
    {tok::kSessionClose, &ServerLink::onSessionClose},
    {tok::kForceConnected, &ServerLink::onForceConnected},
    {tok::kWksnMsgOptions, &ServerLink::onWksnMsgOptions},
    {tok::kActivateSelfServ, &ServerLink::onActivateSelfServ},
    {tok::kActivateCards, &ServerLink::onActivateCards},
    {tok::kActivateClients, &ServerLink::onActivateClients},
    {tok::kShutdownWksn, &ServerLink::onShutdownWksn},
    {tok::kRechargeCard, &ServerLink::onRechargeCard},
    {tok::kPauseWksn, &ServerLink::onPauseWksn},
    {tok::kPauseLocKWksn, &ServerLink::onPauseLocKWksn},
    {tok::kPauseFollowWksn, &ServerLink::onPauseFollowWksn},
    {tok::kUnPauseWksn, &ServerLink::onUnPauseWksn},
    {tok::kResumeWksn, &ServerLink::onResumeWksn},
    {tok::kNotifyInetCnx, &ServerLink::onNotifyInetCnx},
    {tok::kNotifyNoInetCnx, &ServerLink::onNotifyNoInetCnx},
    {tok::kDisableWksn, &ServerLink::onDisableWksn},
    {tok::kSessionOpen, &ServerLink::onSessionOpen},
    {tok::kFileSend, &ServerLink::onFileSend},
    {tok::kSessionFree, &ServerLink::onSessionFree},
    {tok::kMessageSend, &ServerLink::onMessageSend},
    {tok::kKilledApps, &ServerLink::onKilledApps},
    {tok::kSEssionCleanup, &ServerLink::onSEssionCleanup},
    {tok::kSessionID, &ServerLink::onSessionID},
    {tok::kHideCardNum, &ServerLink::onHideCardNum},
    {tok::kEnablePause, &ServerLink::onEnablePause},
    {tok::kServerDate, &ServerLink::onServerDate},
    {tok::kSessBatchStart, &ServerLink::onSessBatchStart},
    {tok::kSessBatchEnd, &ServerLink::onSessBatchEnd},
    {tok::kSessBatchStyle, &ServerLink::onSessBatchStyle},
    {tok::kWksnDefaultState, &ServerLink::onWksnDefaultState},
    {tok::kUsageDefault, &ServerLink::onUsageDefault},
    {tok::kWksnDefaultMode, &ServerLink::onWksnDefaultMode},
    {tok::kDefaultLanguage, &ServerLink::onDefaultLanguage},
    {tok::kMsgLogoFilesType, &ServerLink::onMsgLogoFilesType},
    {tok::kPasswordMangr, &ServerLink::onPasswordMangr},
    {tok::kChatMessage, &ServerLink::onChatMessage},
    {tok::kEmptySerialzdUsr, &ServerLink::onEmptySerialzdUsr},
    {tok::kTalvorConstants, &ServerLink::onTalvorConstants},
    {tok::kServerHeartBeat, &ServerLink::onServerHeartBeat},
};

std::vector<std::string_view> ServerLink::commandTokens() {
    std::vector<std::string_view> out;
    for (const Command& c : kCommands)
        out.push_back(c.token);
    return out;
}

void ServerLink::subProcessServerData(std::string_view text) {
    if (m_d.wksn.disabled())
        return;
    std::string_view remaining = text;
    std::string_view token;
    std::string_view payload;
    try {
        while (!remaining.empty()) {
            const size_t pos = remaining.find(tok::kMessageEnd);
            if (pos == std::string_view::npos)
                break;
            const std::string_view body = remaining.substr(0, pos);
            remaining.remove_prefix(pos + tok::kMessageEnd.size());
            token = utf8Prefix(body, 20);
            payload = body.substr(token.size());
            bool stop = false;
            dispatch(token, payload, stop);
            if (stop)
                break;
        }
    } catch (const std::exception& e) {
        const auto* te = dynamic_cast<const TlvError*>(&e);
        m_d.log.trace("subProcessServerData: #" + std::to_string(te ? te->number() : 0) + " " +
                      e.what());
        m_d.log.subWriteLog("modFunctions.subProcessServerDataError: Context: " + logSafe(token) +
                            " Payload: " + logSafe(utf8Prefix(payload, 30)));
    }
}

void ServerLink::dispatch(std::string_view token, std::string_view payload, bool& stop) {
    for (const Command& c : kCommands) {
        if (c.token == token) {
            (this->*c.handler)(payload, stop);
            return;
        }
    }
}

void ServerLink::showOk(const std::string& text, std::string_view owner) {
    m_d.forms.subShowMsgBox(text, false, true, LinkMsgAction::None, owner);
}

void ServerLink::onAppVersion(std::string_view p, bool& stop) {
    const int32_t v = funStrToLong(p);
    const LinkVersion& me = m_d.version;
    const int32_t required = funVersionNumber(me.major, me.minor, me.revision);
    if (v >= required)
        return;
    m_d.wksn.subDisableWksn(res(10263) + " " +
                            withInserts(res(10361), funVersionText(v), funVersionText(required)));
    stop = true;
}

void ServerLink::onSessionOK(std::string_view p, bool&) {
    if (!m_requestPending)
        return;
    const auto f = fieldsOf(p);
    const int type = funStrToInt(fieldAt(f, 0));
    if (type == 2 || type == 4 || type == 5) {
        const double remaining = funStrToDate(fieldAt(f, 1));
        const double validity = funStrToDate(fieldAt(f, 2));
        const int unlimited = funStrToInt(fieldAt(f, 3));
        m_d.session.onSessionOK(remaining, validity, unlimited);
    }
    m_refusalCode = 0;
    m_requestPending = false;
    postFinishRequest();
}

void ServerLink::postFinishRequest() {
    if (!m_requestWaiting)
        return;
    // The wait notices the answer once this event is over, as a pumping loop would.
    const uint64_t serial = m_requestSerial;
    std::weak_ptr<bool> alive = m_alive;
    m_d.scheduler.post([this, serial, alive] {
        if (!alive.expired() && serial == m_requestSerial)
            finishRequest(false);
    });
}

void ServerLink::onSessionNOK(std::string_view p, bool&) {
    if (!m_requestPending)
        return;
    m_refusalCode = funStrToInt(p);
    m_requestPending = false;
    postFinishRequest();
}

void ServerLink::onPostPaidMode(std::string_view p, bool&) {
    const auto f = fieldsOf(p);
    const int rechargeBased = funStrToInt(fieldAt(f, 0));
    const double increment = funStrToDuration(fieldAt(f, 1));
    const double minimum = funStrToDuration(fieldAt(f, 2));
    const int autoOptimise = funStrToInt(fieldAt(f, 3));
    const double extra = funStrToDate(fieldAt(f, 4));
    m_d.session.setPostPaid(rechargeBased, increment, minimum, autoOptimise, extra);
}

void ServerLink::onDefaultRecharges(std::string_view p, bool&) {
    const auto f = fieldsOf(p);
    if (f.empty()) {
        m_d.forms.setEnabled("frmBlock", "optSelfService", false);
        return;
    }
    const size_t last = f.size() - 1;
    std::vector<std::pair<double, float>> table(last / 2 + 1);
    for (size_t i = 0; i < table.size(); ++i) {
        table[i].first = funStrToDuration(f[2 * i]);
        if (2 * i + 1 <= last)
            table[i].second = funStrToPrice(f[2 * i + 1]);
    }
    m_d.session.setRecharges(table);
}

void ServerLink::onPasswordAdmin(std::string_view p, bool&) {
    m_adminPassword = std::string(p);
    m_d.settings.password = m_adminPassword;
    m_d.store.saveAdminPassword(m_adminPassword);
}

void ServerLink::onRatioDisconCon(std::string_view p, bool&) {
    // A percentage of the time billed: a negative one would make card credit grow.
    m_d.session.setRatioDisconnected(funStrToCount(p));
}

void ServerLink::onCurrencySymbol(std::string_view p, bool&) {
    const auto f = fieldsOf(p);
    m_d.session.setCurrency(fieldAt(f, 0), fieldAt(f, 1));
}

void ServerLink::onOffPeakParams(std::string_view p, bool&) {
    const auto f = fieldsOf(p);
    const int ratio = funStrToCount(fieldAt(f, 0));
    const double end = funStrToDate(fieldAt(f, 1));
    const double start = funStrToDate(fieldAt(f, 2));
    m_d.session.setOffPeak(ratio, end, start);
}

void ServerLink::onActivateWksn(std::string_view, bool&) {
    m_d.wksn.onServerActivateWksn();
    m_failedAttempts = 0;
    releasedSessionSnapshot();
}

void ServerLink::onLockWksn(std::string_view, bool&) {
    m_d.wksn.onServerLockWksn();
    releasedSessionSnapshot();
}

void ServerLink::releasedSessionSnapshot() {
    // The server has released the session (paid): its snapshot goes now, not at the next
    // tick, or a crash meanwhile would bring back a session already settled.
    if (m_d.wksn.state() < 4)
        m_d.ext.subSerializeUser();
}

void ServerLink::onSessionClose(std::string_view, bool&) {
    m_d.wksn.funStopSession();
    m_d.wksn.subShowBlockScreen();
}

void ServerLink::onForceConnected(std::string_view p, bool&) {
    LinkForms& f = m_d.forms;
    if (p == "1") {
        f.setValue("frmBlock", "optConnected", true);
        f.setValue("frmStatus", "optConnected", true);
        f.setEnabled("frmBlock", "optDisconnected", false);
        f.setEnabled("frmStatus", "optDisconnected", false);
        if (m_d.wksn.state() == 5) {
            f.subShowMsgBox(res(10196) + "\n" + res(10197), false, true, LinkMsgAction::None,
                            "frmStatus");
            m_d.wksn.setPreviousState(m_d.wksn.state());
            m_d.wksn.setState(6);
            m_d.wksn.setAppKillerEnabled(false);
        }
    } else {
        f.setEnabled("frmBlock", "optDisconnected", true);
        f.setEnabled("frmStatus", "optDisconnected", true);
    }
}

void ServerLink::onWksnMsgOptions(std::string_view p, bool&) {
    const auto f = fieldsOf(p);
    const int timeWarnings = funStrToInt(fieldAt(f, 0));
    const int first = funStrToInt(fieldAt(f, 1));
    const int second = funStrToInt(fieldAt(f, 2));
    const int amount = funStrToInt(fieldAt(f, 3));
    const float step = funStrToSng(fieldAt(f, 4));
    m_d.session.setWarnings(timeWarnings, first, second, step != 0 ? amount : 0, step);
}

void ServerLink::onActivateSelfServ(std::string_view p, bool&) {
    const int v = funStrToInt(p);
    m_d.forms.setEnabled("frmBlock", "optSelfService", v == 1);
    m_d.wksn.subSetDefaultUsage();
    if (v == 0 && m_d.wksn.sessionType() == 1) {
        m_d.wksn.funStopSession();
        m_d.wksn.subShowBlockScreen();
    }
}

void ServerLink::onActivateCards(std::string_view p, bool&) {
    const int v = funStrToInt(p);
    m_d.forms.setEnabled("frmBlock", "optCard", v == 1);
    m_d.wksn.subSetDefaultUsage();
    if (v == 0) {
        if (m_d.wksn.sessionType() == 2) {
            m_d.wksn.funStopSession();
            m_d.wksn.subShowBlockScreen();
        } else {
            m_d.forms.setVisible("frmBlock", "fraCardNumber", false);
        }
    }
}

void ServerLink::onActivateClients(std::string_view p, bool&) {
    const int v = funStrToInt(p);
    m_d.forms.setEnabled("frmBlock", "OptClient", v == 1);
    m_d.wksn.subSetDefaultUsage();
    if (v == 0) {
        if (m_d.wksn.sessionType() == 4) {
            m_d.wksn.funStopSession();
            m_d.wksn.subShowBlockScreen();
        } else {
            m_d.forms.setVisible("frmBlock", "fraClient", false);
        }
    }
}

void ServerLink::onShutdownWksn(std::string_view p, bool&) {
    m_d.wksn.subShutdown(funStrToInt(p), "");
}

void ServerLink::onRechargeCard(std::string_view p, bool&) {
    const auto f = fieldsOf(p);
    const double added = funStrToDate(fieldAt(f, 0));
    const double validity = funStrToDate(fieldAt(f, 1));
    m_d.session.onRechargeCard(added, validity);
}

void ServerLink::onPauseWksn(std::string_view, bool&) {
    m_d.wksn.funPauseSession();
    m_d.wksn.subShowBlockScreen();
}

void ServerLink::onPauseLocKWksn(std::string_view, bool&) {
    m_d.wksn.funLockSession();
    m_d.wksn.subShowBlockScreen();
}

void ServerLink::onPauseFollowWksn(std::string_view, bool&) {
    m_d.wksn.funFollowSession();
    m_d.wksn.subShowBlockScreen();
}

void ServerLink::onUnPauseWksn(std::string_view, bool&) {
    m_d.wksn.funUnPauseSession();
}

void ServerLink::onResumeWksn(std::string_view, bool&) {
    subCheckBalance();
}

void ServerLink::onNotifyInetCnx(std::string_view, bool&) {
    if (m_d.wksn.state() == 9 && !m_d.wksn.msgBoxShown())
        m_d.forms.subShowMsgBox(res(10207) + "\n" + res(10208), true, true,
                                LinkMsgAction::ResumeSession, "frmBlock");
    m_noInetShown = false;
}

void ServerLink::onNotifyNoInetCnx(std::string_view, bool&) {
    if (m_d.wksn.state() == 6 && !m_noInetShown && !m_d.wksn.msgBoxShown()) {
        m_noInetShown = true;
        m_d.forms.subShowMsgBox(res(10205) + "\n" + res(10206), true, false,
                                LinkMsgAction::PauseSession, "frmStatus");
    }
}

void ServerLink::onDisableWksn(std::string_view p, bool&) {
    const auto f = fieldsOf(p);
    const int code = funStrToInt(fieldAt(f, 0));
    if (code == 1) {
        m_d.wksn.subDisableWksn(res(10265));
    } else if (code == 0) {
        const int32_t required = funStrToLong(fieldAt(f, 1));
        const LinkVersion& me = m_d.version;
        m_d.wksn.subDisableWksn(
            res(10264) + " " +
            withInserts(res(10361),
                        funVersionText(funVersionNumber(me.major, me.minor, me.revision)),
                        funVersionText(required)));
    }
}

void ServerLink::onSessionOpen(std::string_view p, bool&) {
    const auto f = fieldsOf(p);
    const int type = funStrToInt(fieldAt(f, 0));
    const std::string password = fieldAt(f, 1);
    const std::string cardOrLogin = fieldAt(f, 2);
    const int mode = m_d.settings.defaultMode == 1 ? 6 : 5;
    subStartConnexion(type, mode, cardOrLogin, password);
}

void ServerLink::onFileSend(std::string_view p, bool&) {
    const auto f = fieldsOf(p);
    const int kind = funStrToInt(fieldAt(f, 0));
    // File contents are bytes: every byte came in as one character and goes back as it was.
    const std::string& content = fieldAt(f, 1);
    m_d.ext.subProcessReceivedFile(kind,
                                   content == tok::kFileTemp ? content : utf8ToCp1252(content));
}

void ServerLink::onSessionFree(std::string_view, bool&) {
    subUserInit();
    m_d.wksn.setSessionType(3);
    m_d.wksn.setPreviousState(m_d.wksn.state());
    m_d.wksn.setState(7);
    m_d.wksn.funStartSession();
    m_failedAttempts = 0;
}

void ServerLink::onMessageSend(std::string_view p, bool&) {
    m_d.forms.subShowMsgBox(std::string(p), false, true, LinkMsgAction::None, "frmMain");
}

void ServerLink::onKilledApps(std::string_view p, bool&) {
    const auto f = fieldsOf(p);
    KilledAppsOptions k;
    k.killIE = funStrToInt(fieldAt(f, 0));
    k.killMozilla = funStrToInt(fieldAt(f, 1));
    k.killNetscape = funStrToInt(fieldAt(f, 2));
    k.killOutlookExpress = funStrToInt(fieldAt(f, 3));
    if (f.size() > 4) {
        k.hasList = true;
        k.forbidden = funSplit(f[4], "*");
    }
    m_d.ext.setKilledApps(k);
}

void ServerLink::onSEssionCleanup(std::string_view p, bool&) {
    const auto f = fieldsOf(p);
    CleanupOptions c;
    c.arrangeIcons = funStrToInt(fieldAt(f, 0));
    c.clearRecentDocs = funStrToInt(fieldAt(f, 1));
    c.resetWallpaper = funStrToInt(fieldAt(f, 2));
    c.resetStartPage = funStrToInt(fieldAt(f, 3));
    c.resetBrowser = funStrToInt(fieldAt(f, 4));
    c.startPage = fieldAt(f, 5);
    c.clearMessenger = funStrToInt(fieldAt(f, 6));
    m_d.ext.setCleanup(c);
}

void ServerLink::onSessionID(std::string_view p, bool&) {
    m_sessionId = funStrToLong(p);
}

void ServerLink::onHideCardNum(std::string_view p, bool&) {
    const int v = funStrToInt(p);
    m_d.settings.hideCardNumber = v == 1;
    m_d.store.saveGeneralNumber("Hide Card Number", static_cast<uint32_t>(v));
    m_d.forms.setCardMasked(v == 1);
    m_d.forms.setVisible("frmStatus", "fraCardNum", v <= 0);
}

void ServerLink::onEnablePause(std::string_view p, bool&) {
    m_d.forms.setPauseButtons(funStrToInt(p) == 1);
}

void ServerLink::onServerDate(std::string_view p, bool&) {
    m_d.session.onServerDate(funStrToDate(p));
}

void ServerLink::onSessBatchStart(std::string_view p, bool&) {
    m_d.wksn.setSessionBatch(true, funStrToInt(p));
}
void ServerLink::onSessBatchEnd(std::string_view p, bool&) {
    m_d.wksn.setSessionBatch(false, funStrToInt(p));
}
void ServerLink::onSessBatchStyle(std::string_view p, bool&) {
    m_d.ext.setBatchStyle(funStrToInt(p));
}

void ServerLink::onWksnDefaultState(std::string_view p, bool&) {
    const int v = funStrToInt(p);
    // Every reset enters this state: anything but a lock-screen state would leave the PC open.
    if (v != 2 && v != 3)
        invalidArgument();
    m_d.settings.defaultState = v;
    m_d.store.saveGeneralText("Default State", std::to_string(v));
}

void ServerLink::onUsageDefault(std::string_view p, bool&) {
    const int v = funStrToInt(p);
    m_d.settings.defaultUsage = v;
    m_d.store.saveGeneralText("Default Usage", std::to_string(v));
    m_d.wksn.subSetDefaultUsage();
}

void ServerLink::onWksnDefaultMode(std::string_view p, bool&) {
    const int v = funStrToInt(p);
    m_d.settings.defaultMode = v;
    m_d.store.saveGeneralText("Default Mode", std::to_string(v));
    m_d.forms.setValue("frmBlock", v == 1 ? "optConnected" : "optDisconnected", true);
}

void ServerLink::onDefaultLanguage(std::string_view p, bool&) {
    const auto f = fieldsOf(p);
    const std::string suffix = fieldAt(f, 0);
    const int charset = funStrToInt(fieldAt(f, 1));
    // The suffix becomes part of file names (packs, message files in the data folder).
    if (hasControl(suffix) || suffix.find_first_of("/\\") != std::string::npos ||
        suffix.find("..") != std::string::npos)
        invalidArgument();
    m_d.wksn.subSetDefaultLanguage(suffix, charset);
    m_d.forms.subLocalizeInterface();
}

void ServerLink::onMsgLogoFilesType(std::string_view p, bool&) {
    const int v = funStrToInt(p);
    m_d.settings.messageLogoFilesType = v;
    m_d.store.saveGeneralNumber("Message & Logo Files Type", static_cast<uint32_t>(v));
    if (m_d.forms.isLoaded("frmBlock"))
        m_d.forms.reloadLockMessage();
}

void ServerLink::onPasswordMangr(std::string_view p, bool&) {
    const auto f = fieldsOf(p);
    const std::string login = fieldAt(f, 0);
    m_managerLogin = login;
    m_managerPassword = f.size() > 1 ? f[1] : std::string();
}

void ServerLink::onChatMessage(std::string_view p, bool&) {
    if (m_d.wksn.state() < 5)
        return;
    m_d.forms.chatManagerLine(res(10350) + ": " + std::string(p));
}

void ServerLink::onEmptySerialzdUsr(std::string_view, bool&) {
    m_d.ext.subEmptySerializedUser();
}

void ServerLink::onTalvorConstants(std::string_view p, bool&) {
    const auto f = fieldsOf(p);
    // Read whole before anything changes: a bad field leaves the record as it was, never half
    // of one server's constants mixed with the old ones.
    ConstWksn c = m_d.constants;
    c.cnxBroardcastAdr = plainText(fieldAt(f, 0));
    c.cnxMinSizeTmpFileStore = funStrToLongCount(fieldAt(f, 1));
    c.cnxUdpPortServer = funStrToCount(fieldAt(f, 2));
    c.cnxUdpPortWksn = funStrToCount(fieldAt(f, 3));
    c.genAdminLogon = plainText(fieldAt(f, 4));
    c.genCurrencySymb = plainText(fieldAt(f, 5));
    c.genScrCapCompressRatio = funStrToInt(fieldAt(f, 6));
    c.wksnActivateDelayTime = funStrToDuration(fieldAt(f, 7));
    c.wksnCheckSamePcAsServer = funStrToInt(fieldAt(f, 8));
    c.wksnCnxBootDelay = funStrToLongCount(fieldAt(f, 9));
    c.wksnCnxMinDelay = funStrToLongCount(fieldAt(f, 10));
    c.wksnDisableSessCloseButton = funStrToInt(fieldAt(f, 11));
    c.wksnHeartBeatCheck = funStrToCount(fieldAt(f, 12));
    c.wksnHideAllStatusWin = funStrToInt(fieldAt(f, 13));
    c.wksnMaxNumUseAtempts = funStrToCount(fieldAt(f, 14));
    c.wksnMuteVolWhenBlocked = funStrToInt(fieldAt(f, 15));
    c.wksnRebootOnSessionEnd = funStrToInt(fieldAt(f, 16));
    c.wksnRegistryFlushInterval = funStrToCount(fieldAt(f, 17));
    c.wksnSessionExpiryTime = funStrToDuration(fieldAt(f, 18));
    c.wksnShutdownDelay = funStrToCount(fieldAt(f, 19));
    c.wksnStartDelay = funStrToLongCount(fieldAt(f, 20));
    m_d.constants = c;
    m_d.store.subSetConstWksn(c);
    m_d.session.constantsChanged();
    m_hideAllStatusWin = c.wksnHideAllStatusWin == 1;
    m_disableSessCloseButton = c.wksnDisableSessCloseButton == 1;
    m_d.forms.subSetCloseButtons();
}

void ServerLink::onServerHeartBeat(std::string_view, bool&) {
    m_lastContactMs = m_d.clock.monotonicMs();
}

} // namespace tlv
