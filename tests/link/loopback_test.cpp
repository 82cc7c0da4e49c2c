// The client and tlvsim over real loopback sockets: discovery, identification, a card session
// opened, timed, recharged and closed, and the state reports twice a second.
#include "platform/linux/system_clock.h"
#include "platform/qt/qt_scheduler.h"
#include "platform/qt/qt_sockets.h"
#include "tests/link/linked_client_rig.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <regex>

namespace tlv::test {
namespace {

struct LoopRig {
    TempRoot root;
    SystemClock clock;
    QtScheduler scheduler;
    MemoryHive machine, user;
    FakePorts fake;
    RuntimeLayout layout;
    QtSocketFactory sockets;
    FakeLinkForms forms;
    MachineFakes machineFakes;
    std::unique_ptr<Assembly> assembly;
    Client* client = nullptr;
    QProcess sim;
    std::string simOut;
    std::string address;
    int udpPort = 0;

    LoopRig() {
        // A loopback address and ports of their own, so parallel runs and a real server on
        // this machine never meet this test.
        std::random_device rd;
        std::mt19937 rng(rd());
        address = "127." + std::to_string(20 + rng() % 200) + "." + std::to_string(rng() % 250) +
                  "." + std::to_string(2 + rng() % 250);
        // The constants carry the UDP ports as Integers: at most 32767.
        udpPort = 20000 + static_cast<int>(rng() % 6000) * 2;
        layout = RuntimeLayout::fromEnvironment({{"TLVCLI_ROOT", root.path()}}, root.path());
        assembly = std::make_unique<Assembly>(
            machineFakes.ports(clock, scheduler, machine, user, fake, layout, sockets),
            FacePorts{fake.forms, fake.status, fake.tray, forms});
        client = &assembly->client();
    }
    ~LoopRig() {
        assembly.reset();
        if (sim.state() != QProcess::NotRunning) {
            sim.kill();
            sim.waitForFinished(3000);
        }
    }
    bool startSim() {
        writeFile(root.file("accounts.txt"), "card 1234 60\nrefuse 9999 4\n");
        QObject::connect(&sim, &QProcess::readyReadStandardOutput,
                         [this] { simOut += sim.readAllStandardOutput().toStdString(); });
        sim.start(TLVSIM_PATH,
                  {"--bind", QString::fromStdString(address), "--udp-port",
                   QString::number(udpPort), "--client-udp-port", QString::number(udpPort + 1),
                   "--accounts", QString::fromStdString(root.file("accounts.txt")), "--plain",
                   "--heartbeat", "1"});
        return waitFor([this] { return simOut.find("listening") != std::string::npos; }, 5000);
    }
    void command(const std::string& line) {
        sim.write((line + "\n").c_str());
        sim.waitForBytesWritten(1000);
    }
    static bool waitFor(const std::function<bool()>& done, int ms) {
        QElapsedTimer t;
        t.start();
        while (!done()) {
            if (t.elapsed() > ms)
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        return true;
    }
    std::string logText() const {
        const std::string path = joinPath(layout.dataFolder, "tlvcli.log");
        std::error_code ec;
        return std::filesystem::exists(path, ec) ? readFile(path) : std::string();
    }
    long reports() {
        const size_t before = simOut.size();
        command("stats");
        waitFor([&] { return simOut.find(" reports ", before) != std::string::npos; }, 2000);
        std::smatch m;
        const std::string tail = simOut.substr(before);
        return std::regex_search(tail, m, std::regex(" reports (\\d+)")) ? std::stol(m[1]) : -1;
    }
};

TEST(Loopback, ClientAndSimulatorRunACardSession) {
    int argc = 1;
    char name[] = "test_link_loopback";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    LoopRig r;
    ASSERT_TRUE(r.startSim()) << r.simOut;

    r.client->Main("", DisplayKind::Offscreen);
    ConstWksn& c = r.client->constants();
    c.cnxBroardcastAdr = r.address;
    c.cnxUdpPortServer = r.udpPort;
    c.cnxUdpPortWksn = r.udpPort + 1;
    c.wksnShutdownDelay = 99; // the simulator's constants say 5
    ServerLink& link = r.assembly->link();

    ASSERT_TRUE(LoopRig::waitFor([&] { return link.serverInitialised(); }, 15000)) << r.simOut;
    EXPECT_EQ(link.serverName(), r.address); // the bare token: the sender's address
    EXPECT_EQ(link.serverPort(), 4646);
    ASSERT_TRUE(LoopRig::waitFor(
        [&] { return r.simOut.find("identified name=") != std::string::npos; }, 3000));
    EXPECT_NE(r.simOut.find("version=1.9.300"), std::string::npos);
    // The pushed constants kept the client on the simulator.
    ASSERT_TRUE(LoopRig::waitFor([&] { return c.wksnShutdownDelay == 5; }, 3000)) << r.logText();
    EXPECT_EQ(c.cnxBroardcastAdr, r.address);
    EXPECT_EQ(c.cnxUdpPortWksn, r.udpPort + 1);

    link.subStartConnexion(kSessionCard, kStateConnected, "1234", "");
    ASSERT_TRUE(LoopRig::waitFor([&] { return r.client->state() == kStateConnected; }, 5000))
        << r.simOut;
    EXPECT_EQ(r.client->sessionType(), kSessionCard);
    EXPECT_NE(r.simOut.find("session-ok 1234"), std::string::npos);

    const long first = r.reports();
    LoopRig::waitFor([] { return false; }, 2000);
    const long second = r.reports();
    EXPECT_GE(second - first, 3) << r.simOut;
    EXPECT_LE(second - first, 6) << r.simOut;
    EXPECT_LT(r.client->sessionClock().record().remainingCreditMs, 60 * 60000)
        << r.client->sessionClock().record().elapsedMs << " "
        << r.client->sessionClock().record().connectedMs << " "
        << r.client->sessionClock().enabled();

    r.command("recharge 1 30");
    ASSERT_TRUE(LoopRig::waitFor(
        [&] { return r.client->sessionClock().record().remainingCreditMs > 80 * 60000; }, 3000));

    r.command("close 1");
    ASSERT_TRUE(LoopRig::waitFor([&] { return r.client->state() == kStateActive; }, 3000))
        << r.simOut;
    ASSERT_TRUE(LoopRig::waitFor(
        [&] { return r.simOut.find("state 2 active") != std::string::npos; }, 3000));

    // The card keeps what it had left (the report that tells of the end carries the zeroed
    // counters of the login screen, not the card's credit), and opens again at once.
    const size_t again = r.simOut.size();
    link.subStartConnexion(kSessionCard, kStateConnected, "1234", "");
    ASSERT_TRUE(LoopRig::waitFor([&] { return r.client->state() == kStateConnected; }, 5000))
        << r.simOut.substr(again);
    EXPECT_NE(r.simOut.find("session-ok 1234 credit 01:2", again), std::string::npos)
        << r.simOut.substr(again);
    r.command("close 1");
    ASSERT_TRUE(LoopRig::waitFor([&] { return r.client->state() == kStateActive; }, 3000))
        << r.simOut;

    // A refused card comes back with its code.
    r.forms.boxes.clear();
    link.subStartConnexion(kSessionCard, kStateConnected, "9999", "");
    ASSERT_TRUE(LoopRig::waitFor([&] { return !r.forms.boxes.empty(); }, 3000));
    EXPECT_EQ(link.refusalCode(), 4);
    r.client->funShutdownApplication(false);
    // Everything the simulator sent was valid: not one message may have been rejected.
    EXPECT_EQ(r.logText().find("subProcessServerDataError"), std::string::npos) << r.logText();
}

} // namespace
} // namespace tlv::test
