#include "link/extensions.h"
#include "link/snapshot.h"
#include "tests/link/fake_host.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

namespace tlv::test {
namespace {

struct MemorySnapshotStore : SnapshotStore {
    std::map<bool, std::string> values; // key: user store
    int flushes = 0;
    // With a socket: each value written, with the state reports already sent at that moment.
    FakeTcpSocket* tcp = nullptr;
    std::vector<std::pair<std::string, size_t>> writes;
    std::string read(bool user) override { return values[user]; }
    void write(bool user, const std::string& v) override {
        values[user] = v;
        if (tcp)
            writes.emplace_back(v, reports());
    }
    void flush() override { ++flushes; }
    size_t reports() const {
        size_t n = 0;
        for (size_t p = 0; (p = tcp->sent.find(tok::kWorkstationState, p)) != std::string::npos;
             ++p)
            ++n;
        return n;
    }
};

// Puts the counters into the session as the client does.
struct RecordingRestorer : SnapshotRestorer {
    explicit RecordingRestorer(FakeSession& s) : session(s) {}
    FakeSession& session;
    std::vector<std::string> calls;
    ResumedCounters counters;
    void subDefaultState() override { calls.push_back("subDefaultState"); }
    void setCounters(const ResumedCounters& c) override {
        counters = c;
        session.elapsed = c.elapsed;
        session.connected = c.connected;
        session.offPeak = c.offPeak;
        session.disconnected = c.disconnected;
        session.amount = c.amountDue;
    }
};

// A link on fakes with the real snapshot behind its extension port.
struct SnapshotRig {
    LinkRig r;
    MemorySnapshotStore store;
    RecordingRestorer restorer{r.session};
    LinkExtensions ext;
    std::unique_ptr<SessionSnapshot> snap;
    SnapshotRig() {
        r.link = std::make_unique<ServerLink>(
            ServerLink::Deps{r.clock, r.scheduler, r.log, r.sockets, r.constants, r.settings,
                             r.wksn, r.session, r.forms, r.strings, r.store, ext});
        snap = std::make_unique<SessionSnapshot>(SessionSnapshot::Deps{
            r.log, *r.link, r.wksn, r.session, r.constants, r.settings, store, restorer});
        ext.setSnapshot(snap.get());
    }
    std::string& value() { return store.values[!r.settings.standaloneWorkstation]; }
};

const std::string kBlank(200, ' ');

TEST(Snapshot, CardSessionWithServerDownHoldsTheFieldsThenResumesOnReconnection) {
    SnapshotRig s;
    s.r.settings.standaloneWorkstation = false; // the user's store
    s.r.link->tmrActivateClient_Timer();
    s.r.wksn.st = 6;
    s.r.wksn.type = 2;
    s.r.link->setSessionId(1234);
    s.r.link->setUserId("CARD42");
    s.r.session.elapsed = 0.5;
    s.r.session.connected = 0.25;
    s.r.session.offPeak = 0.125;
    s.r.session.disconnected = 0.0625;
    s.r.session.remaining = 2.0;
    // The first disconnected tick notes the remaining credit; later ticks count what is used.
    s.r.link->tmrWksnStatus_Timer();
    s.r.session.remaining = 1.75;
    s.r.link->tmrWksnStatus_Timer();

    const std::string v = s.value();
    ASSERT_EQ(v.size(), 200u);
    EXPECT_TRUE(s.store.values[true].size() == 200 && s.store.values[false].empty());
    const std::string text = v.substr(0, v.find_last_not_of(' ') + 1);
    const auto f = funSplit(text, "#");
    ASSERT_EQ(f.size(), 9u) << text;
    EXPECT_EQ(f[0], "1234");
    EXPECT_EQ(f[1], "2");
    EXPECT_EQ(f[2], "0.5");
    EXPECT_EQ(f[3], "0.25");
    EXPECT_EQ(f[4], "0.125");
    EXPECT_EQ(f[5], "0.0625");
    EXPECT_NEAR(funStrToDbl(f[6]), s.r.link->now(), 1e-6);
    EXPECT_EQ(f[7], "CARD42");
    EXPECT_EQ(f[8], "0.25");

    s.r.connect(); // identification, then the snapshot at once
    s.r.tcp().takeSent();
    s.r.wksn.st = 6;
    s.value() = v;
    s.r.link->subInitServer();
    const std::string sent = s.r.sentText();
    EXPECT_NE(
        sent.find(std::string(tok::kSessionResume) + "6#1#" + text + std::string(tok::kMessageEnd)),
        std::string::npos)
        << sent;
    EXPECT_EQ(s.value(), kBlank);
    EXPECT_TRUE(s.restorer.calls.empty());
}

TEST(Snapshot, SelfServiceSnapshotOfAnotherRunRestoresTheEndedSession) {
    SnapshotRig s;
    s.r.connect();
    s.r.wksn.st = 2;
    s.value() = "77#1#0.1#0.05#0#0.02#46000.5#3.5" + std::string(168, ' ');
    s.r.link->subInitServer();
    EXPECT_NE(s.r.sentText().find(std::string(tok::kSessionResume) + "2#0#77#1#"),
              std::string::npos);
    EXPECT_EQ(s.restorer.calls, std::vector<std::string>{"subDefaultState"});
    EXPECT_EQ(s.r.wksn.st, 4);
    EXPECT_EQ(s.r.wksn.type, 1);
    EXPECT_EQ(s.r.link->sessionId(), 77);
    EXPECT_DOUBLE_EQ(s.restorer.counters.elapsed, 0.1);
    EXPECT_DOUBLE_EQ(s.restorer.counters.connected, 0.05);
    EXPECT_DOUBLE_EQ(s.restorer.counters.disconnected, 0.02);
    EXPECT_FLOAT_EQ(s.restorer.counters.amountDue, 3.5f);
    EXPECT_EQ(s.r.wksn.calls.back(), "subShowBlockScreen");
    // The ended session is saved at once, not only at the next tick: a crash meanwhile keeps it.
    ASSERT_EQ(s.value().size(), 200u);
    EXPECT_EQ(s.value().rfind("77#1#0.1#0.05#0#0.02#", 0), 0u) << s.value();
    EXPECT_NE(s.value().find("#3.5 "), std::string::npos) << s.value();
}

// Whatever the server hears of a self-service session is already saved: the snapshot is written
// before each report (the tick's, and the one of an accepted request).
TEST(Snapshot, SelfServiceStateIsSavedBeforeItIsReported) {
    for (const bool request : {false, true}) {
        SCOPED_TRACE(request ? "accepted request" : "tick");
        SnapshotRig s;
        s.r.connect();
        s.store.tcp = &s.r.tcp();
        if (request) {
            s.r.link->subStartConnexion(1, 6, "", "");
            s.r.deliver(std::string(tok::kSessionOK) + "1" + std::string(tok::kMessageEnd) +
                        std::string(tok::kSessionID) + "88" + std::string(tok::kMessageEnd));
            s.r.scheduler.runPending();
        } else {
            s.r.wksn.st = 6;
            s.r.wksn.type = 1;
            s.r.link->setSessionId(88);
            s.r.scheduler.advance(500);
        }
        ASSERT_EQ(s.store.reports(), 1u);
        const auto first = std::find_if(s.store.writes.begin(), s.store.writes.end(),
                                        [](const auto& w) { return w.first.starts_with("88#1#"); });
        ASSERT_NE(first, s.store.writes.end());
        EXPECT_EQ(first->second, 0u) << "reported before it was saved";
    }
}

TEST(Snapshot, UnreadableOrDamagedSnapshotIsLoggedAndCleared) {
    struct Case {
        std::string stored;
        bool sent;
    };
    for (const Case& c :
         {Case{"abc#1#0.1", false}, Case{"#1#0.1", false}, Case{"5#1#zz#0#0#0#0#1", true}}) {
        SnapshotRig s;
        s.r.connect();
        s.r.wksn.st = 2;
        s.value() = c.stored;
        s.r.link->subInitServer();
        EXPECT_EQ(s.r.sentText().find(tok::kSessionResume) != std::string::npos, c.sent)
            << c.stored;
        EXPECT_EQ(s.value(), kBlank);
        EXPECT_EQ(s.r.wksn.st, 2) << c.stored; // nothing restored
        if (!c.sent) {
            EXPECT_NE(s.r.logText().find("subInitSerializedUser strPostBuffer: '" + c.stored + "'"),
                      std::string::npos);
        }
    }
}

TEST(Snapshot, NoSessionBlanksWhenConnectedAndKeepsAStaleOneWhenNot) {
    SnapshotRig s;
    s.r.link->tmrActivateClient_Timer();
    s.r.wksn.st = 2;
    s.value() = "stale";
    s.r.link->tmrWksnStatus_Timer();
    EXPECT_EQ(s.value(), "stale");
    s.r.connect();
    s.snap->subSerializeUser();
    EXPECT_EQ(s.value(), kBlank);
    s.snap->subEmptySerializedUser();
    EXPECT_EQ(s.value(), "");
}

TEST(Snapshot, HiveCheckpointEveryFlushIntervalOfCalls) {
    SnapshotRig s;
    s.r.link->tmrActivateClient_Timer();
    s.r.wksn.st = 5;
    s.r.wksn.type = 1;
    // 30 s at 500 ms: every 60 calls; the ticks run while the server is away.
    s.r.scheduler.advance(59 * 500 - 1);
    const int before = s.store.flushes;
    s.r.scheduler.advance(60 * 500 * 3);
    EXPECT_EQ(s.store.flushes - before, 3);
    s.r.constants.wksnRegistryFlushInterval = 10;
    for (int i = 0; i < 20; ++i)
        s.snap->subSerializeUser();
    EXPECT_GE(s.store.flushes - before, 4);
}

} // namespace
} // namespace tlv::test
