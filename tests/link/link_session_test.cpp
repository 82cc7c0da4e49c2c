#include "tests/link/fake_host.h"

#include <gtest/gtest.h>

namespace tlv::test {
namespace {

const std::string S(tok::kPayloadToken);
const std::string E(tok::kMessageEnd);

std::string msg(std::string_view token, std::string_view payload = {}) {
    return funBuildMessage(token, payload);
}

size_t count(const std::string& text, std::string_view what) {
    size_t n = 0;
    for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1))
        ++n;
    return n;
}

TEST(SessionRequest, SendsSessionOpenAndTimesOutAfterTimeOutPlusOneSecond) {
    for (auto [timeOut, ms] : {std::pair{"10", 11000}, std::pair{"90", 91000}}) {
        LinkRig r;
        r.settings.serverTimeOut = timeOut;
        r.connect();
        r.link->subStartConnexion(4, 6, "Alice", "pw");
        EXPECT_EQ(r.sentText(), "%$&#####SessionOpen#4" + S + "pw" + S + "alice" + S + "6" + S + E);
        EXPECT_FALSE(r.forms.enabled.at("frmBlock.cmdCxn"));
        EXPECT_TRUE(r.forms.hourglass);
        r.scheduler.advance(ms - 100);
        EXPECT_TRUE(r.link->requestPending());
        EXPECT_TRUE(r.forms.boxes.empty());
        // Reports went on during the wait.
        EXPECT_GT(count(r.sentText(), tok::kWorkstationState), 10u);
        r.scheduler.advance(100);
        EXPECT_FALSE(r.link->requestPending());
        ASSERT_EQ(r.forms.boxes.size(), 1u) << timeOut;
        EXPECT_EQ(r.forms.boxes[0].text,
                  "The server is not responding!\nPlease contact the manager.");
        EXPECT_TRUE(r.forms.timers.at("frmBlock.tmrActivateTimeout"));
        EXPECT_FALSE(r.forms.hourglass);
    }
}

TEST(SessionRequest, ASecondRequestCannotStartDuringTheWait) {
    LinkRig r;
    r.connect();
    r.link->subStartConnexion(2, 6, "1234", "");
    r.sentText();
    r.link->subStartConnexion(2, 6, "5678", "");
    EXPECT_EQ(count(r.sentText(), tok::kSessionOpen), 0u);
    EXPECT_EQ(r.link->failedAttempts(), 1);
}

TEST(SessionRequest, NotConnectedShowsServerNotAvailable) {
    LinkRig r;
    r.link->subStartConnexion(2, 6, "1234", "");
    ASSERT_EQ(r.forms.boxes.size(), 1u);
    EXPECT_EQ(r.forms.boxes[0].text, "The server is not available!\nPlease contact the manager.");
    EXPECT_TRUE(r.forms.timers.at("frmBlock.tmrActivateTimeout"));
    EXPECT_EQ(r.link->failedAttempts(), 0);
}

TEST(SessionRequest, AcceptedCardStartsTheSession) {
    LinkRig r;
    r.connect();
    r.link->subStartConnexion(2, 5, "1234", "");
    r.sentText();
    r.deliver(msg(tok::kSessionOK, "2" + S + "0.0416666666666667" + S + "46100.5" + S + "0"));
    EXPECT_TRUE(r.wksn.calls.empty()); // the wait picks the answer up after this event
    r.scheduler.runPending();
    EXPECT_EQ(r.wksn.type, 2);
    EXPECT_EQ(r.wksn.st, 5);
    EXPECT_EQ(r.link->userId(), "1234");
    EXPECT_DOUBLE_EQ(r.session.remaining, 0.0416666666666667);
    EXPECT_DOUBLE_EQ(r.session.validity, 46100.5);
    EXPECT_EQ(r.wksn.calls, std::vector<std::string>{"funStartSession"});
    const std::string report = r.sentText();
    EXPECT_EQ(report.find("%$&WorkstationState#5"), 0u);
    EXPECT_NE(report.find("%$&##########UserID#1234"), std::string::npos);
    EXPECT_NE(report.find("%$&###RemainingTime#0.0416666666666667"), std::string::npos);
    EXPECT_EQ(r.link->failedAttempts(), 0);
    // A late answer is ignored.
    r.deliver(msg(tok::kSessionOK, "2" + S + "1" + S + "1" + S + "0"));
    EXPECT_EQ(r.session.calls.size(), 1u);
}

TEST(SessionRequest, SessionOKOfAnotherTypeOnlyClearsPending) {
    LinkRig r;
    r.connect();
    r.link->subStartConnexion(1, 6, "", "");
    r.deliver(msg(tok::kSessionOK, "1"));
    EXPECT_FALSE(r.link->requestPending());
    EXPECT_TRUE(r.session.calls.empty());
    r.scheduler.runPending();
    EXPECT_EQ(r.wksn.type, 1);
    EXPECT_TRUE(r.forms.boxes.empty());
}

TEST(SessionRequest, RefusedCardEmptiesAndFocusesTheCardBox) {
    LinkRig r;
    r.connect();
    r.forms.text["frmBlock.txtCardNum"] = "1234";
    r.link->subStartConnexion(2, 6, "1234", "");
    r.deliver(msg(tok::kSessionNOK, "4"));
    r.scheduler.runPending();
    EXPECT_EQ(r.forms.text.at("frmBlock.txtCardNum"), "");
    EXPECT_EQ(r.forms.focus, "frmBlock.txtCardNum");
    ASSERT_EQ(r.forms.boxes.size(), 1u);
    EXPECT_EQ(r.forms.boxes[0].text, "This card is currently in use.\nPlease contact the manager.");
    EXPECT_FALSE(std::count(r.wksn.calls.begin(), r.wksn.calls.end(), "funStartSession"));
}

TEST(SessionRequest, TheThirdRefusalTellsTheManagerAndLocks) {
    LinkRig r;
    r.connect();
    for (int i = 1; i <= 3; ++i) {
        r.link->subStartConnexion(4, 6, "bob", "wrong");
        r.deliver(msg(tok::kSessionNOK, "5"));
        r.scheduler.runPending();
        EXPECT_EQ(r.forms.boxes.size(), static_cast<size_t>(i));
        const bool locked = std::count(r.wksn.calls.begin(), r.wksn.calls.end(), "subLock") > 0;
        EXPECT_EQ(locked, i == 3);
    }
    const std::string sent = r.sentText();
    EXPECT_NE(sent.find("%$&#####MessageSend#There has been  3 connexion failures on "
                        "workstation PC#07\r\nWorkstation deactivated." +
                        E),
              std::string::npos);
    EXPECT_EQ(r.forms.boxes.back().text,
              "The client login or password that you entered does not seem correct.");
    EXPECT_EQ(r.forms.focus, "frmBlock.txtLogin");
    EXPECT_TRUE(r.forms.timers.at("frmBlock.tmrUnblock"));
    EXPECT_DOUBLE_EQ(r.forms.unblockDelay, r.constants.wksnActivateDelayTime);
    // Once the lock is lifted the count starts again.
    r.wksn.st = 2;
    r.link->subStartConnexion(4, 6, "bob", "wrong");
    r.deliver(msg(tok::kSessionNOK, "5"));
    r.scheduler.runPending();
    EXPECT_EQ(std::count(r.wksn.calls.begin(), r.wksn.calls.end(), "subLock"), 1);
}

TEST(SessionRequest, RefusalCodesAndTheirMessages) {
    const std::pair<int, const char*> cases[] = {
        {1, "The card number that you entered does not seem correct."},
        {3, "Your connection time has run out.\nPlease recharge your card before continuing."},
        {7, "Your connection time has run out.\nPlease recharge your client account before "
            "continuing."},
        {10, "Access to this computer has been denied.\nPlease contact the manager."},
    };
    for (auto [code, text] : cases) {
        LinkRig r;
        r.connect();
        r.link->subStartConnexion(2, 6, "1", "");
        r.deliver(msg(tok::kSessionNOK, std::to_string(code)));
        r.scheduler.runPending();
        ASSERT_EQ(r.forms.boxes.size(), 1u) << code;
        EXPECT_EQ(r.forms.boxes[0].text, text);
    }
    // 9 and codes above 10 count as acceptance.
    for (int code : {9, 11}) {
        LinkRig r;
        r.connect();
        r.link->subStartConnexion(2, 6, "1", "");
        r.deliver(msg(tok::kSessionNOK, std::to_string(code)));
        r.scheduler.runPending();
        EXPECT_TRUE(r.forms.boxes.empty());
        EXPECT_EQ(r.wksn.st, 6);
    }
}

TEST(SessionRequest, ServerOpenedSessionUsesTheDefaultMode) {
    LinkRig r;
    r.settings.defaultMode = 0;
    r.connect();
    r.deliver(msg(tok::kSessionOpen, "2" + S + "" + S + "9999"));
    EXPECT_EQ(r.sentText().substr(0, 60),
              ("%$&#####SessionOpen#2" + S + S + "9999" + S + "5" + S).substr(0, 60));
    EXPECT_TRUE(r.link->requestPending());
}

TEST(SessionRequest, ServerOpenedSessionRightAfterAnAnswerIsNotDropped) {
    // The answer to the customer's request and the manager's SessionOpen in one read, or in two
    // reads before the wait has noticed the answer.
    for (const bool oneRead : {true, false}) {
        SCOPED_TRACE(oneRead ? "one read" : "two reads");
        LinkRig r;
        r.connect();
        r.link->subStartConnexion(4, 6, "bob", "wrong");
        r.sentText();
        const std::string refusal = msg(tok::kSessionNOK, "5");
        const std::string open = msg(tok::kSessionOpen, "2" + S + "" + S + "9999");
        if (oneRead) {
            r.deliver(refusal + open);
        } else {
            r.deliver(refusal);
            r.deliver(open);
        }
        EXPECT_EQ(count(r.sentText(), "%$&#####SessionOpen#2" + S + S + "9999" + S), 1u);
        EXPECT_TRUE(r.link->requestPending());
        ASSERT_EQ(r.forms.boxes.size(), 1u); // the first request's refusal was still shown
        EXPECT_EQ(r.forms.boxes[0].text,
                  "The client login or password that you entered does not seem correct.");
        r.deliver(msg(tok::kSessionOK, "2" + S + "0.0416666666666667" + S + "46100.5" + S + "0"));
        r.scheduler.runPending();
        EXPECT_EQ(r.wksn.type, 2);
        EXPECT_EQ(r.link->userId(), "9999");
        EXPECT_EQ(std::count(r.wksn.calls.begin(), r.wksn.calls.end(), "funStartSession"), 1);
    }
}

TEST(SessionRequest, ClientLoginIsLowerCasedAsTextBeforeTheCodePage) {
    const std::pair<const char*, const char*> cases[] = {
        {"ÉVA", "éva"},
        {"ŠŽŒŸ", "šžœÿ"},
        {"ÀÖØÞ×ß", "àöøþ×ß"}, // × has no case, ß no single upper case
        {"Bob-O'Neil 7", "bob-o'neil 7"},
    };
    for (const auto& [login, sent] : cases) {
        LinkRig r;
        r.connect();
        r.deliver(msg(tok::kSessionOpen, "4" + S + "pw" + S + login));
        EXPECT_EQ(r.sentText(), "%$&#####SessionOpen#4" + S + "pw" + S + sent + S + "6" + S + E)
            << login;
    }
}

TEST(Reports, SessionTypeDecidesBalanceOrRemainingTime) {
    struct Case {
        int type;
        bool balance, remaining;
    };
    for (Case c : {Case{1, true, false}, Case{2, false, true}, Case{3, false, false},
                   Case{4, false, true}, Case{5, false, true}}) {
        LinkRig r;
        r.connect();
        r.wksn.type = c.type;
        r.session.amount = 2.5f;
        r.session.remaining = 0.5;
        r.link->subUpdateServer();
        const std::string sent = r.sentText();
        EXPECT_EQ(sent.find("%$&#####UserBalance#2.5") != std::string::npos, c.balance) << c.type;
        EXPECT_EQ(sent.find(tok::kRemainingTime) != std::string::npos, c.remaining) << c.type;
        EXPECT_EQ(sent.find(tok::kRemTimeAparent) != std::string::npos, c.remaining) << c.type;
        // The order never changes.
        EXPECT_LT(sent.find(tok::kUserID), sent.find(tok::kConnectedTime));
        EXPECT_LT(sent.find(tok::kCnxtTimeOffPeak), sent.find(tok::kDisconnectedTime));
    }
}

TEST(Reports, TheUrlMonitorsReportGoesOutWholeAndAFailedSendIsLogged) {
    LinkRig r;
    r.connect();
    const std::string report =
        "%$&######SessionURL#4242" + S + "News" + S + "http://example.org/é" + S + E;
    r.link->sendSessionUrl(report);
    EXPECT_EQ(r.sentText(), report);
    r.tcp().failSends = true;
    r.link->sendSessionUrl(report);
    EXPECT_NE(r.logText().find("modGlobalFunctions.funSendDataError - Data: %$&######SessionURL#"),
              std::string::npos)
        << r.logText();
}

TEST(Reports, ForceUpdateWhenConnectedSnapshotOtherwise) {
    LinkRig r;
    r.link->subForceUpdate();
    EXPECT_EQ(r.ext.calls, std::vector<std::string>{"subSerializeUser"});
    r.connect();
    r.link->subForceUpdate();
    EXPECT_EQ(r.sentText(), "%$&#ForceCardUpdate#0" + S + "0" + E);
}

TEST(Reports, CheckBalanceResumesOnlyWithCredit) {
    LinkRig r;
    r.wksn.st = 8;
    r.wksn.prev = 6;
    r.link->subCheckBalance();
    EXPECT_EQ(r.wksn.st, 8);
    ASSERT_EQ(r.forms.boxes.size(), 1u);
    r.session.remaining = 0.01;
    r.link->subCheckBalance();
    EXPECT_EQ(r.wksn.st, 6);
    EXPECT_FALSE(r.forms.timers.at("frmBlock.tmrCloseSession"));
}

} // namespace
} // namespace tlv::test
