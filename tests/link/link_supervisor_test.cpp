#include "tests/link/fake_host.h"

#include <gtest/gtest.h>

namespace tlv::test {
namespace {

std::string answer(std::string_view hostName = {}) {
    return utf8ToCp1252(std::string(tok::kServerAnswer) + std::string(hostName));
}

TEST(Supervisor, BareTokenAnswerConnectsToTheSenderOn4646) {
    LinkRig r;
    r.settings.serverPort = "5000";
    r.link->tmrActivateClient_Timer();
    r.scheduler.advance(500);
    ASSERT_EQ(r.udp().sent.size(), 1u);
    EXPECT_EQ(r.udp().sent[0].host, "255.255.255.255");
    EXPECT_EQ(r.udp().sent[0].port, 4647);
    EXPECT_EQ(r.udp().sent[0].bytes, utf8ToCp1252(tok::kFindServer));
    EXPECT_EQ(r.udp().boundPort, 4648);
    EXPECT_EQ(r.forms.caption["frmMain.lblConnexionStatus"], "Connecting...");
    EXPECT_EQ(r.forms.toolTip["frmBlock.imgNoServCnx"], "Server - Searching...");

    ASSERT_TRUE(r.udp().deliver(answer(), "192.168.1.10"));
    ASSERT_EQ(r.tcp().connects.size(), 1u);
    EXPECT_EQ(r.tcp().connects[0], (std::pair<std::string, int>{"192.168.1.10", 4646}));
    EXPECT_EQ(r.udp().boundPort, 0); // closed after the answer
}

// A server on the same machine or a fast network answers at once: the answer port must be
// bound before the request leaves, and stay bound from one request to the next.
TEST(Supervisor, AnAnswerComingBackDuringTheRequestIsKept) {
    LinkRig r;
    r.link->tmrActivateClient_Timer();
    int lost = 0;
    r.udp().onSent = [&r, &lost](const Datagram&) {
        if (!r.udp().deliver(answer(), "127.0.0.5"))
            ++lost;
    };
    r.scheduler.advance(500);
    EXPECT_EQ(lost, 0);
    ASSERT_EQ(r.tcp().connects.size(), 1u);
    EXPECT_EQ(r.tcp().connects[0], (std::pair<std::string, int>{"127.0.0.5", 4646}));

    // The server's constants move the answer port: the next request is answered there.
    r.udp().onSent = nullptr;
    r.constants.cnxUdpPortWksn = 24648;
    r.tcp().refuse();
    r.scheduler.advance(500);
    EXPECT_EQ(r.udp().boundPort, 24648);
    r.scheduler.advance(500);
    EXPECT_EQ(r.udp().boundPort, 24648);
    EXPECT_TRUE(r.udp().deliver(answer(), "127.0.0.5"));
    EXPECT_EQ(r.tcp().connects.size(), 2u);
}

TEST(Supervisor, HostNameAnswerIgnoresThePortSetting) {
    LinkRig r(false);
    r.settings.automaticServerConnection = true;
    r.settings.serverPort = "5000";
    r.build();
    r.link->tmrActivateClient_Timer();
    r.scheduler.advance(500);
    r.udp().deliver(answer("cafe-server"), "192.168.1.10");
    EXPECT_EQ(r.tcp().connects.back(), (std::pair<std::string, int>{"cafe-server", 4646}));
}

TEST(Supervisor, OtherDatagramsAreIgnoredAndBroadcastRepeatsEvery500ms) {
    LinkRig r;
    r.link->tmrActivateClient_Timer();
    r.scheduler.advance(500);
    r.udp().deliver("hello", "10.0.0.9");
    r.udp().deliver(utf8ToCp1252(tok::kFindServer), "10.0.0.9");
    EXPECT_TRUE(r.tcp().connects.empty());
    r.scheduler.advance(2000);
    EXPECT_EQ(r.udp().sent.size(), 5u);
}

TEST(Supervisor, ManualModeSendsNoDatagramAndRetriesEvery500ms) {
    LinkRig r(false);
    r.settings.serverName = "10.1.1.1";
    r.settings.serverPort = "4700";
    r.build();
    r.link->tmrActivateClient_Timer();
    for (int i = 0; i < 4; ++i) {
        r.scheduler.advance(500);
        r.tcp().refuse();
    }
    EXPECT_TRUE(r.udp().sent.empty());
    ASSERT_EQ(r.tcp().connects.size(), 4u);
    EXPECT_EQ(r.tcp().connects[3], (std::pair<std::string, int>{"10.1.1.1", 4700}));
    EXPECT_EQ(r.forms.caption["frmMain.lblServerName"], "10.1.1.1");
}

TEST(Supervisor, FirstAttemptWaitsForTheRestOfTheBootDelay) {
    struct Case {
        int64_t uptime;
        int64_t firstBroadcast;
    };
    for (Case c : {Case{20000, 70000}, Case{95000, 2000}}) {
        LinkRig r;
        r.clock.setSinceBoot(c.uptime);
        r.link->armActivateClient();
        r.scheduler.advance(c.firstBroadcast - 1);
        EXPECT_FALSE(r.link->clientStarted());
        r.scheduler.advance(1);
        EXPECT_TRUE(r.link->clientStarted());
        EXPECT_TRUE(r.udp().sent.empty());
        r.scheduler.advance(500);
        EXPECT_EQ(r.udp().sent.size(), 1u) << c.uptime;
    }
}

TEST(Supervisor, ConnectedSendsTheIdentificationBlockAndStops) {
    LinkRig r;
    r.link->tmrActivateClient_Timer();
    r.scheduler.advance(500);
    r.udp().deliver(answer(), "192.168.1.10");
    r.tcp().accept();
    r.scheduler.advance(500);
    const std::string sent = r.sentText();
    const std::string S(tok::kPayloadToken), E(tok::kMessageEnd);
    // The state report of the same tick follows the block.
    EXPECT_EQ(sent.substr(0, sent.find(tok::kWorkstationState)),
              "%$&######AppVersion#1009300" + E + "%$&#WorkstationName#PC07" + E +
                  "%$&####ComputerName#wks07" + S + "guest" + S + "-1" + S + "00-11-22-33-44-55" +
                  E + "%$&RdyForServScreen#-1" + E);
    EXPECT_EQ(r.link->serverConnected(), 1);
    EXPECT_TRUE(r.link->serverInitialised());
    EXPECT_FALSE(r.link->tmrSrvCnxStatus().enabled());
    EXPECT_EQ(r.forms.caption["frmMain.lblConnexionStatus"], "Connected");
    EXPECT_TRUE(r.forms.enabled["frmStatus.cmdChat"]);
    EXPECT_EQ(r.ext.calls, std::vector<std::string>{"subInitSerializedUser"});
    // Then a state report twice a second.
    r.scheduler.advance(1000);
    const std::string reports = r.sentText();
    size_t n = 0;
    for (size_t p = reports.find(tok::kWorkstationState); p != std::string::npos;
         p = reports.find(tok::kWorkstationState, p + 1))
        ++n;
    EXPECT_EQ(n, 2u);
}

TEST(Supervisor, BackupDateIsSentOnlyWhenTheFileExists) {
    LinkRig r;
    r.store.backupExists = true;
    r.store.backupDate = 39448.5;
    r.link->tmrActivateClient_Timer();
    r.scheduler.advance(500);
    r.udp().deliver(answer(), "192.168.1.10");
    r.tcp().accept();
    r.scheduler.advance(500);
    const std::string sent = r.sentText();
    EXPECT_NE(sent.find("%$&RdyForServScreen#-1%$&######MessageEnd#%$&#####DBBackupDte#39448.5"),
              std::string::npos);
}

TEST(Supervisor, SameComputerAsServerSwitchesLockdownOff) {
    LinkRig r;
    r.link->tmrActivateClient_Timer();
    r.scheduler.advance(500);
    r.udp().deliver(answer(), "192.168.1.20");
    r.tcp().remoteIp = "192.168.1.20";
    r.tcp().accept();
    r.scheduler.advance(500);
    EXPECT_TRUE(r.wksn.flags.noLockdown && r.wksn.flags.noKill && r.wksn.flags.noUserLockdown);
    ASSERT_EQ(r.forms.boxes.size(), 1u);
    EXPECT_EQ(r.forms.boxes[0].text, "Same computer wks01 192.168.1.20");
}

TEST(Supervisor, SilentServerIsDroppedAboutThirtySecondsAfterItsLastData) {
    LinkRig r;
    r.connect();
    r.scheduler.advance(10000);
    r.deliver(funBuildMessage(tok::kServerHeartBeat));
    r.scheduler.advance(30000);
    EXPECT_EQ(r.tcp().state(), kSckConnected);
    r.scheduler.advance(1000);
    EXPECT_EQ(r.tcp().state(), kSckClosed);
    EXPECT_FALSE(r.link->serverInitialised());
    EXPECT_TRUE(r.link->tmrSrvCnxStatus().enabled());
    EXPECT_TRUE(r.link->offline());
    // Reconnection starts on the next tick.
    const size_t before = r.udp().sent.size();
    r.scheduler.advance(500);
    EXPECT_EQ(r.udp().sent.size(), before + 1);
}

TEST(Supervisor, ClockChangeForwardDoesNotDropTheConnection) {
    LinkRig r;
    r.connect();
    r.scheduler.advance(20000);
    r.clock.jumpWall(3600 * 1000);
    r.link->onSystemTimeChanged();
    r.scheduler.advance(20000);
    EXPECT_EQ(r.tcp().state(), kSckConnected);
}

TEST(Supervisor, CloseFromEachCallerClosesThePasswordChangeDialog) {
    for (int caller = 0; caller < 2; ++caller) {
        LinkRig r;
        r.connect();
        r.link->tmrSrvCnxStatus().setEnabled(false);
        r.forms.loaded["frmPasswdChange"] = true;
        r.deliver(funBuildMessage(tok::kPasswordMangr,
                                  "boss" + std::string(tok::kPayloadToken) + "secret"));
        EXPECT_EQ(r.link->managerPassword(), "secret");
        if (caller == 0)
            r.tcp().peerClose();
        else
            r.tcp().refuse();
        EXPECT_FALSE(r.forms.loaded["frmPasswdChange"]);
        EXPECT_FALSE(r.forms.enabled["frmStatus.cmdCliPassword"]);
        EXPECT_EQ(r.link->managerLogin(), "");
        EXPECT_TRUE(r.link->tmrSrvCnxStatus().enabled());
        EXPECT_FALSE(r.logExists()); // errors and closes are not logged
        r.link->wskCli_Close();      // twice is harmless
        EXPECT_TRUE(r.link->tmrSrvCnxStatus().enabled());
    }
}

TEST(Supervisor, DisabledWorkstationIgnoresAnswersAndData) {
    LinkRig r;
    r.connect();
    r.wksn.isDisabled = true;
    r.deliver(funBuildMessage(tok::kLockWksn));
    EXPECT_TRUE(r.wksn.calls.empty());
}

} // namespace
} // namespace tlv::test
