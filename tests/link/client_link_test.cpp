// The link plugged into the real client object, on fake sockets in virtual time.
#include "link/client_link.h"
#include "tests/link/fake_host.h"
#include "tests/spine/client_rig.h"

#include <gtest/gtest.h>

namespace tlv::test {
namespace {

const std::string S(tok::kPayloadToken);

struct Rig {
    ClientRig c;
    FakeSocketFactory sockets;
    FakeLinkForms forms;
    FakeExtensions ext;
    std::unique_ptr<ClientLink> link;

    Rig() {
        link = std::make_unique<ClientLink>(c.c(), sockets, forms, ext);
        c.start();
    }
    FakeTcpSocket& tcp() { return *sockets.tcp.back(); }
    FakeUdpSocket& udp() { return *sockets.udp.back(); }
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
    EXPECT_EQ(r.link->link().serverConnected(), 1);
    const std::string id = r.sent();
    EXPECT_EQ(id.find("%$&######AppVersion#1009300%$&######MessageEnd#%$&#WorkstationName#"), 0u);
    EXPECT_EQ(r.c.c().state(), kStateActive);

    r.link->link().subStartConnexion(kSessionCard, kStateConnected, "1234", "");
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

} // namespace
} // namespace tlv::test
