#pragma once

#include "link/receive_buffer.h"
#include "tools/tlvsim/accounts.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QTcpServer>
#include <QTimer>
#include <QUdpSocket>

#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class QTcpSocket;

namespace tlvsim {

struct SimConfig {
    QHostAddress bind = QHostAddress::AnyIPv4;
    int tcpPort = 4646;
    int udpPort = 4647;       // discovery requests arrive here
    int clientUdpPort = 4648; // answers go to the workstation's port
    std::string answerName;   // empty: the bare token (the workstation uses our address)
    bool pushOptions = true;
    bool live = true; // one live line on the terminal; else one line per change
    int heartbeatSeconds = 10;
    std::string logPath;    // --log: one line per event, for tests and scripts
    int firstSessionId = 0; // --session-ids: every accepted session gets a SessionID from here
};

// One connected workstation as the server sees it.
struct Workstation {
    int number = 0;
    QTcpSocket* socket = nullptr;
    std::string address;
    tlv::ReceiveBuffer buffer;
    std::string name, computer, user, lockdown, identity;
    long version = 0;
    std::map<std::string, std::string> report; // token name -> value of the last report
    long reports = 0;
    std::string lastSummary;
    std::string sessionUser; // the account of the running session
    double lastRemaining = 0;
    bool sessionSeen = false; // a report has shown the session running
};

class SimServer : public QObject {
public:
    SimServer(SimConfig cfg, std::map<std::string, Account> accounts, Options options,
              std::function<void(const std::string&)> out);
    ~SimServer() override;
    bool start(std::string& error);
    // One command line (stdin or script); returns false for "quit".
    bool command(const std::string& line);
    // Workstations connected that have reported at least once.
    size_t reporting() const;

private:
    void onDatagram();
    void onConnection();
    void onData(Workstation& w);
    void onMessage(Workstation& w, std::string_view token, const std::string& payload);
    void onSessionOpen(Workstation& w, const std::vector<std::string>& f);
    void reportDone(Workstation& w);
    void pushOptions(Workstation& w);
    void send(Workstation& w, const std::string& utf8Messages);
    void sendBytes(Workstation& w, const std::string& wireBytes);
    std::vector<Workstation*> targets(const std::string& which);
    void print(const std::string& line);
    std::string summary(const Workstation& w) const;
    bool inUse(const std::string& id, const Workstation& except) const;
    double now() const;
    // One line of the --log file: milliseconds since start, event, workstation, fields.
    void logEvent(const std::string& event, const Workstation& w,
                  const std::vector<std::string>& fields = {});
    void accepted(Workstation& w, std::string& answer);

    SimConfig m_cfg;
    std::map<std::string, Account> m_accounts;
    Options m_opt;
    std::function<void(const std::string&)> m_out;
    QTcpServer m_tcp;
    QUdpSocket m_udp;
    QTimer m_heartbeat;
    std::vector<std::unique_ptr<Workstation>> m_ws;
    int m_next = 1;
    bool m_liveShown = false;
    std::ofstream m_log;
    QElapsedTimer m_clock;
    int m_nextSessionId = 0;
};

} // namespace tlvsim
