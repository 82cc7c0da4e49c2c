// tlvsim: a café server for trying workstations out, on the client's own message code.
#include "tools/tlvsim/sim_server.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

namespace {

const char* const kUsage =
    "usage: tlvsim [options]\n"
    "  --bind ADDR            listen on this address (default all; 127.0.0.1 for a test)\n"
    "  --port N               TCP port of the workstations (default 4646)\n"
    "  --udp-port N           discovery port (default 4647; at most 32767 to be announced)\n"
    "  --client-udp-port N    the workstations' answer port (default 4648; the same)\n"
    "  --name HOST            answer discovery with this host name (default: bare token)\n"
    "  --accounts FILE        cards, client accounts, refusals and options\n"
    "  --script FILE          commands to run, then stdin; \"sleep MS\" waits, \"wait-reporting "
    "N\"\n"
    "                         waits until N workstations have reported\n"
    "  --no-options           push nothing on connection\n"
    "  --heartbeat SECONDS    ServerHeartBeat interval (default 10, 0 = none)\n"
    "  --plain                one line per change instead of the live line\n"
    "  --follow FILE          also run the lines appended to FILE while running\n"
    "  --log FILE             append one line per connection, report, answer and resume\n"
    "  --session-ids FIRST    send a SessionID with every accepted session, from FIRST on\n"
    "Commands (stdin or script): help, list, lock WS, activate WS, pause WS, unpause WS,\n"
    "close WS, recharge WS MINUTES, message WS TEXT, chat WS TEXT, file WS KIND PATH,\n"
    "shutdown WS MODE, disable WS [CODE], raw WS NAME [F1|F2...], silence SECONDS, quit.\n";

void out(const std::string& s) {
    std::fwrite(s.data(), 1, s.size(), stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::ios::sync_with_stdio(false);
    tlvsim::SimConfig cfg;
    std::string accountsPath, scriptPath, followPath;
    std::vector<std::string> args(argv + 1, argv + argc);
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= args.size()) {
                std::cerr << "tlvsim: " << a << " needs a value\n" << kUsage;
                std::exit(2);
            }
            return args[++i];
        };
        auto number = [&]() {
            const std::string v = value();
            try {
                return std::stoi(v);
            } catch (const std::exception&) {
                std::cerr << "tlvsim: " << a << ": not a number: " << v << "\n";
                std::exit(2);
            }
        };
        // The constants carry both UDP ports as Integers: a larger one cannot be announced,
        // and the workstations refuse the constants that hold it.
        auto udpPort = [&]() {
            const int v = number();
            if (v > 32767)
                std::cerr << "tlvsim: " << a << " " << v
                          << ": the protocol carries UDP ports up to 32767; the workstations will "
                             "refuse this simulator's constants\n";
            return v;
        };
        if (a == "--bind") {
            const std::string v = value();
            if (!cfg.bind.setAddress(QString::fromStdString(v))) {
                std::cerr << "tlvsim: not an address: " << v << "\n";
                return 2;
            }
        } else if (a == "--port")
            cfg.tcpPort = number();
        else if (a == "--udp-port")
            cfg.udpPort = udpPort();
        else if (a == "--client-udp-port")
            cfg.clientUdpPort = udpPort();
        else if (a == "--name")
            cfg.answerName = value();
        else if (a == "--accounts")
            accountsPath = value();
        else if (a == "--script")
            scriptPath = value();
        else if (a == "--no-options")
            cfg.pushOptions = false;
        else if (a == "--heartbeat")
            cfg.heartbeatSeconds = number();
        else if (a == "--plain")
            cfg.live = false;
        else if (a == "--follow")
            followPath = value();
        else if (a == "--log")
            cfg.logPath = value();
        else if (a == "--session-ids")
            cfg.firstSessionId = number();
        else if (a == "--help" || a == "-h") {
            std::cout << kUsage;
            return 0;
        } else {
            std::cerr << "tlvsim: unknown option " << a << "\n" << kUsage;
            return 2;
        }
    }

    std::map<std::string, tlvsim::Account> accounts;
    tlvsim::Options options;
    if (!accountsPath.empty()) {
        const std::string err = tlvsim::loadAccounts(accountsPath, accounts, options);
        if (!err.empty()) {
            std::cerr << "tlvsim: " << err << "\n";
            return 2;
        }
    }
    tlvsim::SimServer server(cfg, std::move(accounts), options, out);
    std::string error;
    if (!server.start(error)) {
        std::cerr << "tlvsim: " << error << "\n";
        return 1;
    }

    // Script lines first (with their waits), then whatever is typed.
    std::vector<std::string> lines;
    if (!scriptPath.empty()) {
        std::ifstream f(scriptPath);
        if (!f) {
            std::cerr << "tlvsim: cannot read " << scriptPath << "\n";
            return 2;
        }
        for (std::string l; std::getline(f, l);)
            lines.push_back(l);
    }
    // Held by main, not by the closure itself (a closure owning itself is never freed); the
    // timers end with the event loop, before main's locals go.
    std::function<void(size_t)> next;
    next = [&server, &lines, &next](size_t i) {
        for (; i < lines.size(); ++i) {
            const std::string& l = lines[i];
            if (l.rfind("sleep ", 0) == 0) {
                const int ms = std::atoi(l.c_str() + 6);
                QTimer::singleShot(ms, [&next, i] { next(i + 1); });
                return;
            }
            if (l.rfind("wait-reporting ", 0) == 0) {
                const size_t n = static_cast<size_t>(std::max(0, std::atoi(l.c_str() + 15)));
                if (server.reporting() < n) {
                    QTimer::singleShot(50, [&next, i] { next(i); });
                    return;
                }
                continue;
            }
            if (!server.command(l)) {
                QCoreApplication::quit();
                return;
            }
        }
    };
    QTimer::singleShot(0, [&next] { next(0); });

    // Lines appended to the follow file run as if typed (a test drives the server this way).
    QTimer follow;
    std::ifstream followed;
    std::string partial;
    if (!followPath.empty()) {
        QObject::connect(&follow, &QTimer::timeout, [&] {
            if (!followed.is_open()) {
                followed.open(followPath, std::ios::binary);
                if (!followed)
                    return; // not written yet
            }
            char chunk[4096];
            while (followed.read(chunk, sizeof chunk) || followed.gcount() > 0)
                partial.append(chunk, static_cast<size_t>(followed.gcount()));
            followed.clear(); // past the end: read on from here next time
            if (partial.find('\n') == std::string::npos && partial.size() > 65536) {
                std::cerr << "tlvsim: " << followPath << ": line too long, dropped\n";
                partial.clear();
            }
            for (size_t nl; (nl = partial.find('\n')) != std::string::npos;) {
                std::string line = partial.substr(0, nl);
                partial.erase(0, nl + 1);
                if (!line.empty() && line.back() == '\r')
                    line.pop_back();
                if (!server.command(line)) {
                    QCoreApplication::quit();
                    return;
                }
            }
        });
        follow.start(20);
    }

    QSocketNotifier input(0, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        // Every whole line already read into the stream's buffer, not just the first.
        do {
            std::string line;
            if (!std::getline(std::cin, line)) {
                input.setEnabled(false); // end of input: keep serving
                return;
            }
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (!server.command(line)) {
                QCoreApplication::quit();
                return;
            }
        } while (std::cin.rdbuf()->in_avail() > 0);
    });
    return app.exec();
}
