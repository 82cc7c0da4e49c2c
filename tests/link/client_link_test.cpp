// The link plugged into the real client object as the program wires it, on fake sockets in
// virtual time.
#include "tests/link/linked_client_rig.h"

#include <gtest/gtest.h>

namespace tlv::test {
namespace {

const std::string S(tok::kPayloadToken);

struct Rig : LinkedClientRig {
    using LinkedClientRig::LinkedClientRig;
    void deliver(std::string_view text) { tcp().deliver(utf8ToCp1252(text)); }
    std::string sent() { return cp1252ToUtf8(tcp().takeSent()); }
};

TEST(ClientLink, DiscoveryIdentificationAndACardSession) {
    Rig r;
    r.c.scheduler.advance(3000);
    ASSERT_FALSE(r.udp().sent.empty());
    r.udp().deliver(utf8ToCp1252(tok::kServerAnswer), "192.168.1.10");
    r.tcp().accept();
    r.c.scheduler.advance(500);
    EXPECT_EQ(r.server().serverConnected(), 1);
    const std::string id = r.sent();
    EXPECT_EQ(id.find("%$&######AppVersion#1009300%$&######MessageEnd#%$&#WorkstationName#"), 0u);
    EXPECT_EQ(r.c.c().state(), kStateActive);

    r.server().subStartConnexion(kSessionCard, kStateConnected, "1234", "");
    r.deliver(
        funBuildMessage(tok::kSessionOK, "2" + S + "0.0416666666666667" + S + "60000" + S + "0"));
    r.c.scheduler.advance(100);
    EXPECT_EQ(r.c.c().state(), kStateConnected);
    EXPECT_EQ(r.c.c().sessionType(), kSessionCard);
    r.sent();
    for (int i = 0; i < 6; ++i) {
        r.c.scheduler.advance(10000);
        r.deliver(funBuildMessage(tok::kServerHeartBeat));
    }
    EXPECT_EQ(r.tcp().state(), kSckConnected);
    const std::string reports = r.sent();
    EXPECT_NE(reports.find("%$&WorkstationState#6"), std::string::npos);
    EXPECT_NE(reports.find("%$&##########UserID#1234"), std::string::npos);
    const int64_t left = r.c.c().sessionClock().record().remainingCreditMs;
    EXPECT_NEAR(static_cast<double>(left), 59 * 60000.0, 1000.0);

    r.deliver(funBuildMessage(tok::kRechargeCard, "0.0416666666666667" + S + "60000"));
    EXPECT_NEAR(static_cast<double>(r.c.c().sessionClock().record().remainingCreditMs),
                119 * 60000.0, 1000.0);

    r.deliver(funBuildMessage(tok::kSessionClose));
    EXPECT_EQ(r.c.c().state(), kStateActive);
    r.sent();
    r.c.scheduler.advance(500);
    const std::string after = r.sent();
    EXPECT_NE(after.find("%$&##########UserID#%$&######MessageEnd#"), std::string::npos) << after;
}

TEST(ClientLink, OldServerDisablesTheClient) {
    Rig r;
    r.c.scheduler.advance(3000);
    r.udp().deliver(utf8ToCp1252(tok::kServerAnswer), "192.168.1.10");
    r.tcp().accept();
    r.c.scheduler.advance(500);
    r.deliver(funBuildMessage(tok::kAppVersion, "1009299") + funBuildMessage(tok::kLockWksn));
    EXPECT_TRUE(r.c.c().disabled());
    EXPECT_NE(r.c.c().state(), kStateBlocked);
}

// The server named in the settings the way a café sets it (tlvreg), loaded by Main after
// everything is built, as in the program.
TEST(ClientLink, NamedServerFromTheSettingsIsConnectedTo) {
    Rig r(false);
    r.c.setMachine("Server", "Automatic Server Connection", RegValue::dw(0));
    r.c.setMachine("Server", "Name", RegValue::sz("cafe-server"));
    r.c.setMachine("Server", "Port", RegValue::sz("4700"));
    r.c.start();
    r.c.scheduler.advance(3000);
    EXPECT_TRUE(r.udp().sent.empty());
    ASSERT_FALSE(r.sockets.tcp.empty());
    ASSERT_FALSE(r.tcp().connects.empty());
    EXPECT_EQ(r.tcp().connects.back(), (std::pair<std::string, int>{"cafe-server", 4700}));
    r.tcp().accept();
    r.c.scheduler.advance(500);
    EXPECT_EQ(r.server().serverConnected(), 1);
    EXPECT_EQ(r.forms.caption["frmMain.lblServerName"], "cafe-server");
}

// The options dialog and the wizard change the settings while the client runs: the next
// attempt uses them, without a restart.
TEST(ClientLink, AChangedServerIsUsedFromTheNextAttempt) {
    Rig r;
    r.c.scheduler.advance(3000);
    ASSERT_FALSE(r.udp().sent.empty()); // automatic at first
    SystemSettings edited = r.c.c().settings();
    edited.automaticServerConnection = false;
    edited.serverName = "10.1.1.1";
    edited.serverPort = "4701";
    r.c.c().settings() = edited; // what the dialogs' Save does
    r.c.scheduler.advance(500);
    ASSERT_FALSE(r.tcp().connects.empty());
    EXPECT_EQ(r.tcp().connects.back(), (std::pair<std::string, int>{"10.1.1.1", 4701}));

    r.c.c().settings().serverName = "localhost";
    r.c.c().settings().serverPort = "not a port";
    r.tcp().refuse();
    r.c.scheduler.advance(500);
    EXPECT_EQ(r.tcp().connects.back(), (std::pair<std::string, int>{"localhost", 4646}));

    // Back to automatic: discovery again, the discovered server on 4646.
    r.c.c().settings().automaticServerConnection = true;
    r.tcp().refuse();
    const size_t before = r.udp().sent.size();
    r.c.scheduler.advance(500);
    EXPECT_EQ(r.udp().sent.size(), before + 1);
    r.udp().deliver(utf8ToCp1252(tok::kServerAnswer), "192.168.1.10");
    EXPECT_EQ(r.tcp().connects.back(), (std::pair<std::string, int>{"192.168.1.10", 4646}));
}

} // namespace
} // namespace tlv::test
