#include "tools/tlvsim/sim_server.h"

#include "core/cp1252.h"
#include "link/message.h"

#include <QDateTime>
#include <QFile>
#include <QNetworkDatagram>
#include <QTcpSocket>

#include <algorithm>
#include <cmath>
#include <sstream>

namespace tlvsim {

using namespace tlv;

namespace {

const std::string kSep(tok::kPayloadToken);

std::string join(const std::vector<std::string>& f) {
    std::string out;
    for (size_t i = 0; i < f.size(); ++i)
        out += (i ? kSep : "") + f[i];
    return out;
}

std::string lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// 20-character token of a name, or the text itself when it already is a token.
std::string tokenOf(const std::string& nameOrToken) {
    if (utf8Length(nameOrToken) == 20 && nameOrToken.rfind("%$&", 0) == 0)
        return nameOrToken;
    return funMakeToken(nameOrToken);
}

// "WorkstationState" for "%$&WorkstationState#".
std::string nameOf(std::string_view token) {
    std::string name(token);
    name.erase(0, name.find_first_not_of("%$&#"));
    if (!name.empty() && name.back() == '#')
        name.pop_back();
    return name;
}

// The values of a state report: remembered and logged as one report, not one by one.
bool isReportToken(std::string_view token) {
    for (std::string_view t :
         {tok::kWorkstationState, tok::kSessionType, tok::kElapsedTime, tok::kUserID,
          tok::kRemainingTime, tok::kRemTimeAparent, tok::kUserBalance, tok::kConnectedTime,
          tok::kCnxtTimeOffPeak, tok::kDisconnectedTime})
        if (token == t)
            return true;
    return false;
}

std::string hms(const std::string& days) {
    double d = 0;
    try {
        d = funStrToDbl(days);
    } catch (const std::exception&) {
        return "?";
    }
    const long s = std::lround(std::fabs(d) * 86400.0);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%s%02ld:%02ld:%02ld", d < 0 ? "-" : "", s / 3600, (s / 60) % 60,
                  s % 60);
    return buf;
}

const char* stateName(int s) {
    static const char* const names[] = {
        "none",      "deactivated", "active",    "blocked", "session-end",   "disconnected",
        "connected", "free",        "no-credit", "paused",  "paused-locked", "follow-server"};
    return s >= 0 && s <= 11 ? names[s] : "?";
}

const char* typeName(int t) {
    static const char* const names[] = {"-", "self-service", "card", "free", "client", "server"};
    return t >= 0 && t <= 5 ? names[t] : "?";
}

int toInt(const std::string& s, int dflt = 0) {
    try {
        return funStrToLong(s);
    } catch (const std::exception&) {
        return dflt;
    }
}

} // namespace

SimServer::SimServer(SimConfig cfg, std::map<std::string, Account> accounts, Options options,
                     std::function<void(const std::string&)> out)
    : m_cfg(std::move(cfg)), m_accounts(std::move(accounts)), m_opt(std::move(options)),
      m_out(std::move(out)) {
    m_clock.start();
    m_nextSessionId = m_cfg.firstSessionId;
    connect(&m_udp, &QUdpSocket::readyRead, this, [this] { onDatagram(); });
    connect(&m_tcp, &QTcpServer::newConnection, this, [this] { onConnection(); });
    connect(&m_heartbeat, &QTimer::timeout, this, [this] {
        for (auto& w : m_ws)
            send(*w, funBuildMessage(tok::kServerHeartBeat));
    });
}

SimServer::~SimServer() {
    for (auto& w : m_ws)
        QObject::disconnect(w->socket, nullptr, this, nullptr);
}

bool SimServer::start(std::string& error) {
    if (!m_cfg.logPath.empty()) {
        m_log.open(m_cfg.logPath, std::ios::app);
        if (!m_log) {
            error = "cannot write " + m_cfg.logPath;
            return false;
        }
    }
    if (!m_udp.bind(m_cfg.bind, static_cast<quint16>(m_cfg.udpPort),
                    QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint)) {
        error =
            "UDP port " + std::to_string(m_cfg.udpPort) + ": " + m_udp.errorString().toStdString();
        return false;
    }
    if (!m_tcp.listen(m_cfg.bind, static_cast<quint16>(m_cfg.tcpPort))) {
        error =
            "TCP port " + std::to_string(m_cfg.tcpPort) + ": " + m_tcp.errorString().toStdString();
        return false;
    }
    if (m_cfg.heartbeatSeconds > 0)
        m_heartbeat.start(m_cfg.heartbeatSeconds * 1000);
    print("listening " + m_cfg.bind.toString().toStdString() + " tcp " +
          std::to_string(m_tcp.serverPort()) + " udp " + std::to_string(m_cfg.udpPort));
    return true;
}

double SimServer::now() const {
    const QDateTime t = QDateTime::currentDateTime();
    return static_cast<double>(t.toMSecsSinceEpoch() + t.offsetFromUtc() * 1000LL) / 86400000.0 +
           25569.0;
}

void SimServer::logEvent(const std::string& event, const Workstation& w,
                         const std::vector<std::string>& fields) {
    if (!m_log.is_open())
        return;
    std::string line =
        std::to_string(m_clock.elapsed()) + "\t" + event + "\t#" + std::to_string(w.number);
    for (const std::string& f : fields) {
        line += '\t';
        // One event per line, whatever the workstation sent.
        for (char c : f)
            line += c == '\t' || c == '\n' || c == '\r' ? ' ' : c;
    }
    // Flushed per line: a reader sees every event as soon as it happened.
    m_log << line << std::endl;
}

void SimServer::print(const std::string& line) {
    if (m_liveShown) {
        m_out("\n");
        m_liveShown = false;
    }
    m_out(line + "\n");
}

void SimServer::onDatagram() {
    while (m_udp.hasPendingDatagrams()) {
        const QNetworkDatagram d = m_udp.receiveDatagram();
        const std::string text = cp1252ToUtf8(d.data().toStdString());
        if (utf8Prefix(text, 20) != tok::kFindServer)
            continue;
        const QHostAddress from = d.senderAddress();
        print("discovery from " + from.toString().toStdString());
        const QByteArray answer = QByteArray::fromStdString(
            utf8ToCp1252(std::string(tok::kServerAnswer) + m_cfg.answerName));
        // At once, as a server on the workstation's network does.
        m_udp.writeDatagram(answer, from, static_cast<quint16>(m_cfg.clientUdpPort));
    }
}

void SimServer::onConnection() {
    while (QTcpSocket* s = m_tcp.nextPendingConnection()) {
        auto w = std::make_unique<Workstation>();
        w->number = m_next++;
        w->socket = s;
        w->address = s->peerAddress().toString().toStdString();
        Workstation* wp = w.get();
        m_ws.push_back(std::move(w));
        connect(s, &QTcpSocket::readyRead, this, [this, wp] { onData(*wp); });
        connect(s, &QTcpSocket::disconnected, this, [this, s] {
            const auto it = std::find_if(m_ws.begin(), m_ws.end(),
                                         [s](const auto& p) { return p->socket == s; });
            if (it == m_ws.end())
                return;
            print("#" + std::to_string((*it)->number) + " disconnected");
            logEvent("disconnect", **it);
            m_ws.erase(it);
            s->deleteLater();
        });
        print("#" + std::to_string(wp->number) + " connected from " + wp->address);
        logEvent("connect", *wp, {wp->address});
        if (m_cfg.pushOptions)
            pushOptions(*wp);
    }
}

void SimServer::send(Workstation& w, const std::string& utf8Messages) {
    sendBytes(w, utf8ToCp1252(utf8Messages));
}

void SimServer::sendBytes(Workstation& w, const std::string& bytes) {
    w.socket->write(bytes.data(), static_cast<qint64>(bytes.size()));
}

void SimServer::pushOptions(Workstation& w) {
    const Options& o = m_opt;
    std::string out;
    out += funBuildMessage(tok::kAppVersion, std::to_string(o.serverVersion));
    out += funBuildMessage(tok::kServerDate, funDblToStr(now()));
    std::vector<std::string> rows;
    for (auto [minutes, price] : o.tariffs) {
        rows.push_back(funDblToStr(minutes / 1440.0));
        rows.push_back(funSngToStr(price));
    }
    out += funBuildMessage(tok::kDefaultRecharges, join(rows));
    out += funBuildMessage(
        tok::kPostPaidMode,
        join({std::to_string(o.rechargeBased), funDblToStr(o.billingIncrementMinutes / 1440.0),
              funDblToStr(o.minimumBillingMinutes / 1440.0), std::to_string(o.autoOptimise), "0"}));
    out += funBuildMessage(tok::kRatioDisconCon, std::to_string(o.disconnectedRatio));
    out += funBuildMessage(tok::kCurrencySymbol, join({o.currency, o.amountFormat}));
    out += funBuildMessage(tok::kOffPeakParams, join({std::to_string(o.offPeakRatio),
                                                      funDblToStr(o.offPeakEndHours / 24),
                                                      funDblToStr(o.offPeakStartHours / 24)}));
    out += funBuildMessage(tok::kWksnMsgOptions,
                           join({std::to_string(o.timeWarnings), std::to_string(o.firstWarning),
                                 std::to_string(o.secondWarning), std::to_string(o.amountWarning),
                                 funSngToStr(o.amountStep)}));
    out += funBuildMessage(tok::kActivateSelfServ, "1");
    out += funBuildMessage(tok::kActivateCards, "1");
    out += funBuildMessage(tok::kActivateClients, "1");
    out += funBuildMessage(tok::kEnablePause, std::to_string(o.enablePause));
    out += funBuildMessage(tok::kHideCardNum, std::to_string(o.hideCardNumber));
    // The constants keep the workstation on this simulator's address and ports.
    const bool loopback = m_cfg.bind.isLoopback();
    const std::string broadcast =
        loopback ? m_cfg.bind.toString().toStdString() : std::string("255.255.255.255");
    out += funBuildMessage(tok::kTalvorConstants, join({broadcast,
                                                        "50000",
                                                        std::to_string(m_cfg.udpPort),
                                                        std::to_string(m_cfg.clientUdpPort),
                                                        "vesta",
                                                        "</currSymbol>",
                                                        "90",
                                                        funDblToStr(2.0 / 1440),
                                                        "1",
                                                        "90000",
                                                        "2000",
                                                        "0",
                                                        std::to_string(o.heartBeatCheck),
                                                        "0",
                                                        std::to_string(o.maxAttempts),
                                                        "1",
                                                        "0",
                                                        "30",
                                                        funDblToStr(5.0 / 1440),
                                                        "5",
                                                        "30"}));
    if (!o.killedApps.empty())
        out += funBuildMessage(tok::kKilledApps, join(o.killedApps));
    if (!o.language.empty())
        out += funBuildMessage(tok::kDefaultLanguage,
                               join({o.language, std::to_string(o.languageCharset)}));
    send(w, out);
}

void SimServer::onData(Workstation& w) {
    w.buffer.append(w.socket->readAll().toStdString());
    std::string m;
    while (w.buffer.next(m)) {
        const std::string text = cp1252ToUtf8(m);
        const std::string_view body =
            std::string_view(text).substr(0, text.size() - tok::kMessageEnd.size());
        const std::string_view token = utf8Prefix(body, 20);
        onMessage(w, token, std::string(body.substr(token.size())));
    }
}

void SimServer::onMessage(Workstation& w, std::string_view token, const std::string& payload) {
    const std::string ws = "#" + std::to_string(w.number);
    const auto fields = funSplit(payload, kSep);
    if (!isReportToken(token)) {
        // Fields as "|"-separated text, as the raw command takes them.
        std::string shown;
        for (size_t i = 0; i < fields.size(); ++i)
            shown += (i ? "|" : "") + fields[i];
        logEvent("received", w, {nameOf(token), shown});
    }
    if (token == tok::kAppVersion) {
        w.version = toInt(payload);
    } else if (token == tok::kWorkstationName) {
        w.name = payload;
    } else if (token == tok::kComputerName) {
        w.computer = fields.size() > 0 ? fields[0] : "";
        w.user = fields.size() > 1 ? fields[1] : "";
        w.lockdown = fields.size() > 2 ? fields[2] : "";
        w.identity = fields.size() > 3 ? fields[3] : "";
    } else if (token == tok::kRdyForServScreen) {
        print(ws + " identified name=" + w.name + " computer=" + w.computer + " user=" + w.user +
              " version=" + funVersionText(static_cast<int32_t>(w.version)) +
              " identity=" + w.identity + " lockdown=" + w.lockdown);
        logEvent("identify", w, {"Name=" + w.name});
    } else if (token == tok::kDBBackupDte) {
        print(ws + " backup-date " + payload);
    } else if (token == tok::kSessionOpen) {
        onSessionOpen(w, fields);
    } else if (token == tok::kForceCardUpdate) {
        print(ws + " credit-exhausted");
    } else if (token == tok::kMessageSend) {
        print(ws + " message " + payload);
    } else if (token == tok::kChatMessage) {
        print(ws + " chat " + payload);
    } else if (token == tok::kServerDate) {
        send(w, funBuildMessage(tok::kServerDate, funDblToStr(now())));
    } else if (token == tok::kSessionURL) {
        print(ws + " url " + (fields.size() > 1 ? fields[1] : payload));
        logEvent("url", w,
                 {fields.size() > 0 ? fields[0] : "", fields.size() > 1 ? fields[1] : "",
                  fields.size() > 2 ? fields[2] : ""});
    } else if (token == tok::kSessionResume) {
        print(ws + " session-resume " + std::string(utf8Prefix(payload, 80)));
        logEvent("resume", w, {payload});
    } else if (!isReportToken(token)) {
        print(ws + " " + nameOf(token) + " " + payload);
    } else {
        // State report tokens: remembered by name; DisconnectedTime ends a report.
        w.report[nameOf(token)] = payload;
        if (token == tok::kWorkstationState) {
            w.report.erase("RemainingTime");
            w.report.erase("UserBalance");
        }
        if (token == tok::kDisconnectedTime)
            reportDone(w);
    }
}

bool SimServer::inUse(const std::string& id, const Workstation& except) const {
    for (const auto& w : m_ws)
        if (w.get() != &except && w->sessionUser == id)
            return true;
    return false;
}

void SimServer::onSessionOpen(Workstation& w, const std::vector<std::string>& f) {
    const int type = toInt(f.size() > 0 ? f[0] : "0");
    const std::string password = f.size() > 1 ? f[1] : "";
    const std::string id = f.size() > 2 ? (type == 4 ? lower(f[2]) : f[2]) : "";
    auto refuse = [&](int code) {
        print("#" + std::to_string(w.number) + " session-refused " + id + " code " +
              std::to_string(code));
        send(w, funBuildMessage(tok::kSessionNOK, std::to_string(code)));
    };
    if (type != 2 && type != 4) {
        print("#" + std::to_string(w.number) + " session-ok type " + std::to_string(type));
        std::string answer = funBuildMessage(tok::kSessionOK, std::to_string(type));
        accepted(w, answer);
        send(w, answer);
        return;
    }
    const bool client = type == 4;
    const auto it = m_accounts.find(id);
    if (it == m_accounts.end())
        return refuse(client ? 5 : 1);
    const Account& a = it->second;
    if (a.refusal != 0)
        return refuse(a.refusal);
    if (a.client != client || (client && a.password != password))
        return refuse(client ? 5 : 1);
    if (a.deactivated)
        return refuse(client ? 6 : 2);
    if (inUse(id, w))
        return refuse(client ? 8 : 4);
    if ((!a.unlimited && a.creditMinutes <= 0) || a.validity < now())
        return refuse(client ? 7 : 3);
    w.sessionUser = id;
    // Until the first report of the session: a session closed before it keeps its credit.
    w.lastRemaining = a.creditMinutes / 1440.0;
    w.sessionSeen = false;
    print("#" + std::to_string(w.number) + " session-ok " + id + " credit " +
          hms(funDblToStr(a.creditMinutes / 1440.0)));
    std::string answer = funBuildMessage(
        tok::kSessionOK, join({std::to_string(type), funDblToStr(a.creditMinutes / 1440.0),
                               funDblToStr(a.validity), a.unlimited ? "1" : "0"}));
    accepted(w, answer);
    send(w, answer);
}

void SimServer::accepted(Workstation& w, std::string& answer) {
    std::string id;
    if (m_cfg.firstSessionId > 0) {
        // In the same write as the answer, as a server numbering its sessions would do.
        id = std::to_string(m_nextSessionId++);
        answer += funBuildMessage(tok::kSessionID, id);
    }
    logEvent("session-ok", w, {"SessionID=" + id});
}

std::string SimServer::summary(const Workstation& w) const {
    auto get = [&](const char* k) {
        auto it = w.report.find(k);
        return it == w.report.end() ? std::string() : it->second;
    };
    const int state = toInt(get("WorkstationState"), -1);
    const int type = toInt(get("SessionType"), 0);
    std::string s = "#" + std::to_string(w.number) + " " + (w.name.empty() ? "?" : w.name) +
                    " state " + std::to_string(state) + " " + stateName(state) + " type " +
                    std::to_string(type) + " " + typeName(type);
    if (!get("UserID").empty())
        s += " user " + get("UserID");
    return s;
}

void SimServer::reportDone(Workstation& w) {
    ++w.reports;
    auto get = [&](const char* k) {
        auto it = w.report.find(k);
        return it == w.report.end() ? std::string() : it->second;
    };
    const int state = toInt(get("WorkstationState"), -1);
    // The credit left goes back to the account when the session is over.
    if (!w.sessionUser.empty()) {
        const bool running = state >= 5 && get("UserID") == w.sessionUser;
        // The report that tells of the end already carries the next customer's zeroed
        // counters: only a running session's figure is the card's credit.
        if (running && !get("RemainingTime").empty())
            w.lastRemaining = funStrToDbl(get("RemainingTime"));
        // A report sent before the workstation took the session up does not end it.
        w.sessionSeen = w.sessionSeen || running;
        if (!running && w.sessionSeen) {
            if (auto it = m_accounts.find(w.sessionUser); it != m_accounts.end())
                it->second.creditMinutes = std::max(0.0, w.lastRemaining * 1440.0);
            w.sessionUser.clear();
        }
    }
    std::vector<std::string> fields;
    for (const auto& [name, value] : w.report)
        fields.push_back(name + "=" + value);
    logEvent("report", w, fields);
    const std::string head = summary(w);
    std::string line = head + " elapsed " + hms(get("ElapsedTime"));
    if (!get("RemainingTime").empty())
        line += " remaining " + hms(get("RemainingTime"));
    if (!get("UserBalance").empty())
        line += " due " + get("UserBalance");
    if (m_cfg.live) {
        m_out("\r\x1b[K" + line);
        m_liveShown = true;
    } else if (head != w.lastSummary) {
        print("report " + line);
    }
    w.lastSummary = head;
}

std::vector<Workstation*> SimServer::targets(const std::string& which) {
    std::vector<Workstation*> out;
    for (auto& w : m_ws) {
        if (which == "all" || which == std::to_string(w->number) ||
            which == "#" + std::to_string(w->number) || which == w->name)
            out.push_back(w.get());
    }
    return out;
}

size_t SimServer::reporting() const {
    return static_cast<size_t>(
        std::count_if(m_ws.begin(), m_ws.end(), [](const auto& w) { return w->reports > 0; }));
}

bool SimServer::command(const std::string& line) {
    std::istringstream in(line);
    std::string cmd, which;
    in >> cmd;
    if (cmd.empty() || cmd[0] == '#')
        return true;
    if (cmd == "quit" || cmd == "exit")
        return false;
    if (cmd == "help") {
        print("commands: list | stats | lock|activate|pause|pause-lock|pause-follow|unpause|"
              "resume|close|free WS | recharge WS MINUTES [YYYY-MM-DD] | message|chat WS TEXT | "
              "file WS KIND PATH | shutdown WS MODE | disable WS [CODE [VERSION]] | "
              "open WS TYPE ID [PASSWORD] | raw WS NAME [FIELD|FIELD...] | silence SECONDS | "
              "quit  (WS: number, name or all)");
        return true;
    }
    if (cmd == "silence") {
        // No heartbeat for a while: workstations whose heartbeat check is shorter drop the
        // connection and find the server again.
        int seconds = 0;
        in >> seconds;
        if (seconds <= 0 || m_cfg.heartbeatSeconds <= 0) {
            print("silence SECONDS (needs --heartbeat)");
            return true;
        }
        m_heartbeat.stop();
        QTimer::singleShot(seconds * 1000, this,
                           [this] { m_heartbeat.start(m_cfg.heartbeatSeconds * 1000); });
        print("silence " + std::to_string(seconds) + " s");
        return true;
    }
    if (cmd == "list" || cmd == "stats") {
        for (auto& w : m_ws)
            print(summary(*w) + " address " + w->address + " reports " +
                  std::to_string(w->reports));
        if (m_ws.empty())
            print("no workstation");
        return true;
    }
    in >> which;
    std::string rest;
    std::getline(in, rest);
    if (!rest.empty() && rest[0] == ' ')
        rest.erase(0, 1);
    const auto ws = targets(which);
    if (ws.empty()) {
        print("no workstation " + which);
        return true;
    }
    std::istringstream args(rest);
    std::vector<std::string> a;
    for (std::string x; args >> x;)
        a.push_back(x);
    std::string msg;
    std::string bytes;
    try {
        if (cmd == "lock")
            msg = funBuildMessage(tok::kLockWksn);
        else if (cmd == "activate")
            msg = funBuildMessage(tok::kActivateWksn);
        else if (cmd == "pause")
            msg = funBuildMessage(tok::kPauseWksn);
        else if (cmd == "pause-lock")
            msg = funBuildMessage(tok::kPauseLocKWksn);
        else if (cmd == "pause-follow")
            msg = funBuildMessage(tok::kPauseFollowWksn);
        else if (cmd == "unpause")
            msg = funBuildMessage(tok::kUnPauseWksn);
        else if (cmd == "resume")
            msg = funBuildMessage(tok::kResumeWksn);
        else if (cmd == "close")
            msg = funBuildMessage(tok::kSessionClose);
        else if (cmd == "free")
            msg = funBuildMessage(tok::kSessionFree);
        else if (cmd == "recharge") {
            if (a.empty())
                throw std::runtime_error("recharge WS MINUTES [YYYY-MM-DD]");
            const double minutes = funStrToDbl(a[0]);
            double validity = serialDate(2099, 12, 31);
            if (a.size() > 1) {
                int y = 0, m = 0, d = 0;
                if (std::sscanf(a[1].c_str(), "%d-%d-%d", &y, &m, &d) != 3)
                    throw std::runtime_error("bad date " + a[1]);
                validity = serialDate(y, m, d) + 0.99998842592;
            }
            msg = funBuildMessage(tok::kRechargeCard,
                                  join({funDblToStr(minutes / 1440.0), funDblToStr(validity)}));
            for (Workstation* w : ws)
                if (auto it = m_accounts.find(w->sessionUser); it != m_accounts.end())
                    it->second.creditMinutes += minutes;
        } else if (cmd == "message")
            msg = funBuildMessage(tok::kMessageSend, rest);
        else if (cmd == "chat")
            msg = funBuildMessage(tok::kChatMessage, rest);
        else if (cmd == "shutdown")
            msg = funBuildMessage(tok::kShutdownWksn, a.empty() ? "1" : a[0]);
        else if (cmd == "disable")
            msg = funBuildMessage(tok::kDisableWksn,
                                  join({a.empty() ? "1" : a[0], a.size() > 1 ? a[1] : "0"}));
        else if (cmd == "open") {
            if (a.size() < 2)
                throw std::runtime_error("open WS TYPE ID [PASSWORD]");
            msg = funBuildMessage(tok::kSessionOpen, join({a[0], a.size() > 2 ? a[2] : "", a[1]}));
        } else if (cmd == "file") {
            if (a.size() < 2)
                throw std::runtime_error("file WS KIND PATH");
            QFile f(QString::fromStdString(a[1]));
            if (!f.open(QIODevice::ReadOnly))
                throw std::runtime_error("cannot read " + a[1]);
            // File contents travel as bytes, never converted.
            bytes = utf8ToCp1252(std::string(tok::kFileSend) + a[0] + kSep) +
                    f.readAll().toStdString() + std::string(tok::kMessageEnd);
        } else if (cmd == "raw") {
            if (a.empty())
                throw std::runtime_error("raw WS NAME [FIELD|FIELD...]");
            const std::string token = tokenOf(a[0]);
            std::string payload = rest.size() > a[0].size() ? rest.substr(a[0].size() + 1) : "";
            std::vector<std::string> parts;
            std::string part;
            std::istringstream ps(payload);
            while (std::getline(ps, part, '|'))
                parts.push_back(part);
            if (!payload.empty() && payload.back() == '|')
                parts.push_back("");
            msg = funBuildMessage(token, join(parts));
        } else {
            print("unknown command " + cmd + " (help lists them)");
            return true;
        }
    } catch (const std::exception& e) {
        print(std::string("error: ") + e.what());
        return true;
    }
    for (Workstation* w : ws) {
        if (!bytes.empty())
            sendBytes(*w, bytes);
        else
            send(*w, msg);
        print("#" + std::to_string(w->number) + " <- " + cmd);
        logEvent("sent", *w, {line});
    }
    return true;
}

} // namespace tlvsim
