#include "tests/link/fake_host.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>

namespace tlv::test {
namespace {

const std::string S(tok::kPayloadToken);

std::string msg(std::string_view token, std::string_view payload = {}) {
    return funBuildMessage(token, payload);
}

std::string fields(std::initializer_list<std::string> f) {
    std::string out;
    bool first = true;
    for (const auto& x : f) {
        if (!first)
            out += S;
        out += x;
        first = false;
    }
    return out;
}

bool has(const std::vector<std::string>& calls, const std::string& c) {
    return std::find(calls.begin(), calls.end(), c) != calls.end();
}

std::string constants(int n) {
    const std::string all[] = {"10.0.0.255",
                               "60000",
                               "5647",
                               "5648",
                               "admin",
                               "[EUR]",
                               "80",
                               "0.00138888888888889",
                               "0",
                               "1000",
                               "500",
                               "1",
                               "45",
                               "1",
                               "5",
                               "0",
                               "0",
                               "60",
                               "0.00694444444444444",
                               "9",
                               "20"};
    std::string out;
    for (int i = 0; i < n; ++i)
        out += (i ? S : "") + all[i];
    return out;
}

struct Case {
    const char* name;
    std::string input;
    int stateBefore;
    std::function<void(LinkRig&)> effect;
};

TEST(Dispatch, InboundCommandTable) {
    const Case cases[] = {
        {"old server version disables", msg(tok::kAppVersion, "1009299"), 2,
         [](LinkRig& r) {
             EXPECT_TRUE(r.wksn.isDisabled);
             EXPECT_EQ(r.wksn.disabledReason, "The server version is insufficient (Current "
                                              "version: 1.9.299 - Required version: 1.9.300)");
         }},
        {"current server version does nothing", msg(tok::kAppVersion, "1009300"), 2,
         [](LinkRig& r) { EXPECT_TRUE(r.wksn.calls.empty()); }},
        {"old version stops the rest of the read",
         msg(tok::kAppVersion, "1009299") + msg(tok::kLockWksn), 2,
         [](LinkRig& r) {
             EXPECT_TRUE(r.wksn.isDisabled);
             EXPECT_FALSE(has(r.wksn.calls, "onServerLockWksn"));
         }},
        {"empty payload lock", msg(tok::kLockWksn), 2,
         [](LinkRig& r) { EXPECT_TRUE(has(r.wksn.calls, "onServerLockWksn")); }},
        {"four recharge fields build two records",
         msg(tok::kDefaultRecharges, fields({"0.0416666666666667", "2", "0.125", "5.5"})), 2,
         [](LinkRig& r) {
             ASSERT_EQ(r.session.recharges.size(), 2u);
             EXPECT_EQ(r.session.recharges[1].second, 5.5f);
         }},
        {"five recharge fields build three, the last without a price",
         msg(tok::kDefaultRecharges, fields({"0.01", "1", "0.02", "2", "0.04"})), 2,
         [](LinkRig& r) {
             ASSERT_EQ(r.session.recharges.size(), 3u);
             EXPECT_DOUBLE_EQ(r.session.recharges[2].first, 0.04);
             EXPECT_EQ(r.session.recharges[2].second, 0.0f);
         }},
        {"no recharge fields disable self-service", msg(tok::kDefaultRecharges), 2,
         [](LinkRig& r) {
             EXPECT_FALSE(r.session.rechargesSet);
             EXPECT_FALSE(r.forms.enabled.at("frmBlock.optSelfService"));
         }},
        {"off-peak with an empty middle field is an error",
         msg(tok::kOffPeakParams, fields({"1", "", "0.25"})) + msg(tok::kLockWksn), 2,
         [](LinkRig& r) {
             EXPECT_NE(r.logText().find("modFunctions.subProcessServerDataError: Context: "
                                        "%$&###OffPeakParams# Payload: 1%$&####PayloadToken#%$&"),
                       std::string::npos);
             // Each cut message is its own call: the next one still runs.
             EXPECT_TRUE(has(r.wksn.calls, "onServerLockWksn"));
             EXPECT_EQ(r.tcp().state(), kSckConnected);
         }},
        {"off-peak parameters", msg(tok::kOffPeakParams, fields({"50", "0.25", "0.75"})), 2,
         [](LinkRig& r) {
             EXPECT_EQ(r.session.numbers, (std::vector<double>{50, 0.25, 0.75}));
         }},
        {"twenty constants: nothing replaced, nothing saved",
         msg(tok::kTalvorConstants, constants(20)), 2,
         [](LinkRig& r) {
             EXPECT_EQ(r.constants.cnxBroardcastAdr, ConstWksn{}.cnxBroardcastAdr);
             EXPECT_EQ(r.constants.wksnHeartBeatCheck, ConstWksn{}.wksnHeartBeatCheck);
             EXPECT_EQ(r.constants.wksnShutdownDelay, ConstWksn{}.wksnShutdownDelay);
             EXPECT_EQ(r.constants.wksnStartDelay, ConstWksn{}.wksnStartDelay);
             EXPECT_EQ(r.store.constantsSaved, 0);
             EXPECT_FALSE(has(r.forms.calls, "subSetCloseButtons"));
             EXPECT_NE(r.logText().find("Context: %$&#TalvorConstants# Payload: 10.0.0.255"),
                       std::string::npos);
         }},
        {"twenty-one constants replace and save the record",
         msg(tok::kTalvorConstants, constants(21)), 2,
         [](LinkRig& r) {
             EXPECT_EQ(r.constants.wksnStartDelay, 20);
             EXPECT_EQ(r.constants.cnxUdpPortWksn, 5648);
             EXPECT_DOUBLE_EQ(r.constants.wksnActivateDelayTime, 0.00138888888888889);
             EXPECT_EQ(r.store.constantsSaved, 1);
             EXPECT_TRUE(r.link->hideAllStatusWin());
             EXPECT_TRUE(r.link->disableSessCloseButton());
             EXPECT_TRUE(has(r.forms.calls, "subSetCloseButtons"));
         }},
        {"cleanup token in another case is ignored",
         msg("%$&##SessionCleanup#", fields({"1", "1", "1", "1", "1", "x", "1"})), 2,
         [](LinkRig& r) { EXPECT_FALSE(r.logExists()); }},
        {"unknown token is ignored", msg("%$&#######Whatever#", "1") + msg(tok::kLockWksn), 2,
         [](LinkRig& r) { EXPECT_TRUE(has(r.wksn.calls, "onServerLockWksn")); }},
        {"manager credentials with one field", msg(tok::kPasswordMangr, "boss"), 2,
         [](LinkRig& r) {
             EXPECT_EQ(r.link->managerLogin(), "boss");
             EXPECT_EQ(r.link->managerPassword(), "");
         }},
        {"chat dropped without a session", msg(tok::kChatMessage, "hello"), 2,
         [](LinkRig& r) { EXPECT_TRUE(r.forms.chat.empty()); }},
        {"chat shown during a session", msg(tok::kChatMessage, "Grüße"), 6,
         [](LinkRig& r) { EXPECT_EQ(r.forms.chat, std::vector<std::string>{"Manager: Grüße"}); }},
        {"card number masked", msg(tok::kHideCardNum, "1"), 2,
         [](LinkRig& r) {
             EXPECT_TRUE(r.forms.cardMasked);
             EXPECT_EQ(r.store.numbers.at("Hide Card Number"), 1u);
             EXPECT_FALSE(r.forms.visible.at("frmStatus.fraCardNum"));
         }},
        {"card number shown", msg(tok::kHideCardNum, "0"), 2,
         [](LinkRig& r) {
             EXPECT_FALSE(r.forms.cardMasked);
             EXPECT_TRUE(r.forms.visible.at("frmStatus.fraCardNum"));
         }},
        {"forced connected mode in a disconnected session", msg(tok::kForceConnected, "1"), 5,
         [](LinkRig& r) {
             EXPECT_EQ(r.wksn.st, 6);
             EXPECT_EQ(r.wksn.prev, 5);
             ASSERT_EQ(r.forms.boxes.size(), 1u);
             EXPECT_FALSE(r.forms.enabled.at("frmBlock.optDisconnected"));
             EXPECT_FALSE(r.wksn.appKiller);
         }},
        {"session batches", msg(tok::kSessBatchStart, "1") + msg(tok::kSessBatchEnd, "0"), 2,
         [](LinkRig& r) {
             EXPECT_EQ(r.wksn.startBatch, 1);
             EXPECT_EQ(r.wksn.endBatch, 0);
         }},
        {"session closed by the server", msg(tok::kSessionClose), 6,
         [](LinkRig& r) {
             EXPECT_EQ(r.wksn.calls,
                       (std::vector<std::string>{"funStopSession", "subShowBlockScreen"}));
         }},
        {"free session", msg(tok::kSessionFree), 2,
         [](LinkRig& r) {
             EXPECT_EQ(r.wksn.type, 3);
             EXPECT_EQ(r.wksn.st, 7);
             EXPECT_TRUE(has(r.wksn.calls, "funStartSession"));
         }},
        {"recharge", msg(tok::kRechargeCard, fields({"0.5", "46000"})), 6,
         [](LinkRig& r) {
             EXPECT_DOUBLE_EQ(r.session.remaining, 0.5);
             EXPECT_DOUBLE_EQ(r.session.validity, 46000);
         }},
        {"file handed over as bytes", msg(tok::kFileSend, fields({"1", "caf\xC3\xA9"})), 2,
         [](LinkRig& r) {
             ASSERT_EQ(r.ext.files.size(), 1u);
             EXPECT_EQ(r.ext.files[0], (std::pair<int, std::string>{1, "caf\xE9"}));
         }},
        {"session ID", msg(tok::kSessionID, "777"), 2,
         [](LinkRig& r) { EXPECT_EQ(r.link->sessionId(), 777); }},
        {"default language", msg(tok::kDefaultLanguage, fields({"_fr", "0"})), 2,
         [](LinkRig& r) {
             EXPECT_EQ(r.wksn.language, "_fr");
             EXPECT_TRUE(has(r.forms.calls, "subLocalizeInterface"));
         }},
        {"version too old for the server", msg(tok::kDisableWksn, fields({"0", "2000001"})), 2,
         [](LinkRig& r) {
             EXPECT_EQ(r.wksn.disabledReason, "The workstation version is insufficient (Current "
                                              "version: 1.9.300 - Required version: 2.0.1)");
         }},
        {"no-internet question once", msg(tok::kNotifyNoInetCnx) + msg(tok::kNotifyNoInetCnx), 6,
         [](LinkRig& r) {
             ASSERT_EQ(r.forms.boxes.size(), 1u);
             EXPECT_FALSE(r.forms.boxes[0].defaultYes);
             EXPECT_EQ(r.forms.boxes[0].action, LinkMsgAction::PauseSession);
         }},
        {"default state saved as text", msg(tok::kWksnDefaultState, "3"), 2,
         [](LinkRig& r) {
             EXPECT_EQ(r.settings.defaultState, 3);
             EXPECT_EQ(r.store.texts.at("Default State"), "3");
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LinkRig r;
        r.connect();
        r.wksn.st = c.stateBefore;
        r.deliver(c.input);
        c.effect(r);
    }
}

TEST(Dispatch, AnErrorDropsTheRestOfThatCall) {
    LinkRig r;
    r.link->subProcessServerData(msg(tok::kSessionID, "x") + msg(tok::kLockWksn));
    EXPECT_TRUE(r.wksn.calls.empty());
    EXPECT_NE(r.logText().find("Context: %$&#######SessionID# Payload: x\r\n"), std::string::npos);
    r.link->subProcessServerData(msg(tok::kSessionID, "5") + msg(tok::kLockWksn));
    EXPECT_EQ(r.link->sessionId(), 5);
    EXPECT_TRUE(has(r.wksn.calls, "onServerLockWksn"));
}

TEST(Dispatch, MessagesSplitAcrossReadsAreDispatchedOnce) {
    LinkRig r;
    r.connect();
    const std::string stream =
        msg(tok::kSessionID, "1") + msg(tok::kLockWksn) + msg(tok::kSessionID, "2");
    for (size_t i = 0; i < stream.size(); i += 13)
        r.deliver(stream.substr(i, 13));
    EXPECT_EQ(r.link->sessionId(), 2);
    EXPECT_EQ(std::count(r.wksn.calls.begin(), r.wksn.calls.end(), "onServerLockWksn"), 1);
}

TEST(Dispatch, HostileStreamsStayInsideTheTraps) {
    const std::string_view tokens[] = {
        tok::kAppVersion,       tok::kSessionOK,       tok::kSessionNOK,     tok::kPostPaidMode,
        tok::kDefaultRecharges, tok::kOffPeakParams,   tok::kRechargeCard,   tok::kDisableWksn,
        tok::kSessionOpen,      tok::kFileSend,        tok::kKilledApps,     tok::kSEssionCleanup,
        tok::kServerDate,       tok::kDefaultLanguage, tok::kPasswordMangr,  tok::kTalvorConstants,
        tok::kHideCardNum,      tok::kChatMessage,     tok::kWksnMsgOptions, tok::kShutdownWksn};
    const std::string_view pieces[] = {"1",   "-1",  "0.5",      "1E+308", "1e-320", "99999999999",
                                       "",    "abc", "\xFF\x80", " ",      S,        "*",
                                       "nan", "-0"};
    std::mt19937 rng(4646);
    LinkRig r;
    r.connect();
    for (int i = 0; i < 3000; ++i) {
        std::string m(tokens[rng() % std::size(tokens)]);
        for (unsigned k = rng() % 25; k > 0; --k)
            m += pieces[rng() % std::size(pieces)];
        m += tok::kMessageEnd;
        // Whole and cut anywhere.
        const size_t cut = rng() % m.size();
        r.tcp().deliver(m.substr(0, cut));
        r.tcp().deliver(m.substr(cut));
        r.wksn.isDisabled = false;
        r.scheduler.runPending();
    }
    SUCCEED();
}

} // namespace
} // namespace tlv::test
