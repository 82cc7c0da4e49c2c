#include "core/localization.h"
#include "core/string_table.h"
#include "platform/fake/virtual_time.h"
#include "ui/frmBlock.h"
#include "ui/frmMain.h"
#include "ui/frmMsgBox.h"
#include "ui/status_windows.h"
#include "ui_frmBlock.h"
#include "ui_frmMain.h"
#include "ui_frmMicroStatus.h"
#include "ui_frmMsgBox.h"
#include "ui_frmSmallStatus.h"
#include "ui_frmStatus.h"

#include <QApplication>
#include <QMenu>
#include <QTest>

#include <gtest/gtest.h>

namespace tlv {
namespace {

std::string builtin(int id, const std::vector<std::string>& in) {
    const char* t = builtinString(id);
    auto at = [&](size_t i) { return i < in.size() ? in[i] : std::string(); };
    return expandMarkup(t ? t : "", at(0), at(1), at(2), at(3));
}

struct Request {
    int type, mode;
    std::string id, password;
};

// Records what the forms ask of the client.
struct Host : BlockHost, StatusHost, ActionHost, MessageBoxes::Host, MainHost {
    bool connected = true;
    bool passwordSet = false;
    int type = 2;
    int st = 6;
    std::string user;
    bool hideAll = false;
    bool disableClose = false;
    std::vector<Request> requests;
    std::vector<std::string> calls;
    std::vector<std::string> chats;
    int beeps = 0;
    int invalidCards = 0;
    MessageBoxes* boxes = nullptr;
    bool stopSessionEnabled = true;

    bool serverConnected() const override { return connected; }
    void subStartConnexion(int t, int m, const std::string& id, const std::string& pw) override {
        requests.push_back({t, m, id, pw});
    }
    void subCheckBalance() override { calls.push_back("subCheckBalance"); }
    void funUnPauseSession() override { calls.push_back("funUnPauseSession"); }
    void askCloseSession() override { calls.push_back("askCloseSession"); }
    void showInvalidCardNumber() override { ++invalidCards; }
    bool deactivationPasswordSet() const override { return passwordSet; }
    void subDeactivationPassword() override { calls.push_back("subDeactivationPassword"); }
    void subDeactivate() override { calls.push_back("subDeactivate"); }
    void subActivate() override { calls.push_back("subActivate"); }
    void subShowBlockScreen() override { calls.push_back("subShowBlockScreen"); }
    void funStopSession(bool) override { calls.push_back("funStopSession"); }
    void unloadDeactivationPasswordDialog() override {}
    void languageChosen(int) override {}
    std::string funFormatTime(int64_t s) const override {
        char b[32];
        std::snprintf(b, sizeof b, "%02lld:%02lld:%02lld", static_cast<long long>(s / 3600),
                      static_cast<long long>(s / 60 % 60), static_cast<long long>(s % 60));
        return b;
    }

    int sessionType() const override { return type; }
    int state() const override { return st; }
    std::string userId() const override { return user; }
    bool hideAllStatusWindows() const override { return hideAll; }
    bool disableSessionCloseButton() const override { return disableClose; }
    bool blocking = false;
    bool blockingDialogShown() const override { return blocking; }
    void hideMainForm() override {}
    void subUnblock() override {}
    void unloadPasswdChangeAndAbout() override {}
    void showPasswdChange(QWidget*) override {}
    void askPause(QWidget*) override { calls.push_back("askPause"); }
    void askCloseSession(QWidget*) override { calls.push_back("askCloseSession"); }
    void askConnectedMode(ModeOptionOwner* o) override {
        boxes->subShowMsgBox("connected?", 1, 1, std::make_unique<clsActionConnected>(*this, o),
                             nullptr, 0, false);
    }
    void askDisconnectedMode(ModeOptionOwner* o) override {
        boxes->subShowMsgBox("disconnected?", 1, 2,
                             std::make_unique<clsActionDisconnected>(*this, o), nullptr, 0, false);
    }
    void sendChatMessage(const std::string& t) override { chats.push_back(t); }
    void setStopSessionMenuEnabled(bool e) override { stopSessionEnabled = e; }
    QRect area{0, 0, 800, 560};
    QRect workArea() const override { return area; }

    bool funPauseSession() override {
        calls.push_back("funPauseSession");
        return true;
    }
    void setSessionMode(int s) override { calls.push_back("mode " + std::to_string(s)); }
    void setAppKillerEnabled(bool e) override { calls.push_back(e ? "killer on" : "killer off"); }
    void subKillApps() override { calls.push_back("subKillApps"); }

    void beep() override { ++beeps; }
    void unloadPasswordDialogs() override {}
    void setMsgBoxShown(bool) override {}

    void subDefaultState() override {}
    void quitRequested() override {}
    void logOffRequested() override {}
    void deactivateRequested() override {}
    void toggleStatusWindows() override { calls.push_back("toggle"); }
    void askStopSession() override {}
    void showOptions() override {}
    void showAbout(bool) override {}
    void formUnloaded() override {}
    bool aboutShown() const override { return false; }

    bool called(const std::string& c) const {
        return std::find(calls.begin(), calls.end(), c) != calls.end();
    }
};

class Forms : public ::testing::Test {
protected:
    VirtualClock clock;
    VirtualScheduler scheduler{clock};
    Host host;
    FormText text{builtin};
};

// ---- lock screen ----

class LockScreen : public Forms {
protected:
    void SetUp() override {
        block = std::make_unique<frmBlock>(scheduler, text, host, true);
        block->setServerConnected(true);
        block->showStateFrames(2);
        block->resetLoginPanel(2, true);
        block->show();
    }
    Ui::frmBlock& u() { return block->ui(); }
    void focusOut(QWidget* w) {
        QFocusEvent out(QEvent::FocusOut);
        QApplication::sendEvent(w, &out);
    }
    std::unique_ptr<frmBlock> block;
};

TEST_F(LockScreen, CardNumberNeedsExactlySixSignificantDigits) {
    struct {
        const char* card;
        bool sent;
    } cases[] = {{"012345", false},
                 {"1234567", false},
                 {"123456", true},
                 {"000123456", true},
                 {"99999", false}};
    for (const auto& c : cases) {
        host.requests.clear();
        host.invalidCards = 0;
        u().txtCardNum->setText(c.card);
        block->cmdCxn_Click();
        EXPECT_EQ(host.requests.size(), c.sent ? 1u : 0u) << c.card;
        EXPECT_EQ(host.invalidCards, c.sent ? 0 : 1) << c.card;
        if (c.sent) {
            EXPECT_EQ(host.requests[0].type, 2);
            EXPECT_EQ(host.requests[0].mode, 6);
            EXPECT_EQ(host.requests[0].id, c.card);
        } else {
            EXPECT_EQ(u().txtCardNum->text(), c.card); // the field keeps its text
        }
    }
    u().txtCardNum->clear();
    host.invalidCards = 0;
    block->cmdCxn_Click(); // empty: nothing at all
    EXPECT_TRUE(host.requests.size() <= 1 && host.invalidCards == 0);
}

TEST_F(LockScreen, LettersInTheCardBoxAreRemovedWithTheHintUntilFocusLeaves) {
    QTest::keyClicks(u().txtCardNum, "123");
    u().txtCardNum->setCursorPosition(1);
    QTest::keyClicks(u().txtCardNum, "a");
    EXPECT_EQ(u().txtCardNum->text(), "123");
    EXPECT_EQ(u().txtCardNum->cursorPosition(), 1); // the caret keeps its logical place
    EXPECT_TRUE(u().txtCardNumToolTip->isVisible());
    EXPECT_EQ(u().txtCardNumToolTip->text().toStdString(), builtin(10332, {}));
    QTest::keyClicks(u().txtCardNum, "4");
    EXPECT_FALSE(u().txtCardNumToolTip->isVisible()); // a clean change hides it
    QTest::keyClicks(u().txtCardNum, "x");
    EXPECT_TRUE(u().txtCardNumToolTip->isVisible());
    focusOut(u().txtCardNum);
    EXPECT_FALSE(u().txtCardNumToolTip->isVisible());
}

TEST_F(LockScreen, IllegalLoginCharactersAreRemovedWithTheHint) {
    u().OptClient->click();
    for (const char* typed : {"maria ", "maria%", "maria$", "maria\\"}) {
        u().txtLogin->clear();
        QTest::keyClicks(u().txtLogin, QString::fromUtf8(typed));
        EXPECT_EQ(u().txtLogin->text(), "maria") << typed;
        EXPECT_TRUE(u().txtLoginToolTip->isVisible()) << typed;
    }
    EXPECT_NE(u().txtLoginToolTip->text().indexOf('%'), -1);
    EXPECT_EQ(frmBlock::illegalLoginCharacters().remove(' ').size() + 1, 18); // blank listed too
    focusOut(u().txtLogin);
    EXPECT_FALSE(u().txtLoginToolTip->isVisible());
    QString all = QString::fromUtf8("\\?/:*<>|\" '#~\xC2\xA8^`%$ok");
    int caret = static_cast<int>(all.size());
    EXPECT_FALSE(frmBlock::filterLogin(all, caret));
    EXPECT_EQ(all, "ok");
    EXPECT_EQ(caret, 2);
}

TEST_F(LockScreen, LoginIsSentInLowerCaseAndThePasswordAsTyped) {
    u().OptClient->click();
    u().txtLogin->setText("MaRia");
    u().txtPassword->setText("PaSs w0rd");
    u().optDisconnected->setChecked(true);
    block->cmdCxn_Click();
    ASSERT_EQ(host.requests.size(), 1u);
    EXPECT_EQ(host.requests[0].type, 4);
    EXPECT_EQ(host.requests[0].mode, 5);
    EXPECT_EQ(host.requests[0].id, "maria");
    EXPECT_EQ(host.requests[0].password, "PaSs w0rd");

    u().optSelfService->click();
    block->cmdCxn_Click();
    ASSERT_EQ(host.requests.size(), 2u);
    EXPECT_EQ(host.requests[1].type, 1);
    EXPECT_EQ(host.requests[1].id, "");
    EXPECT_EQ(host.requests[1].password, "");
}

TEST_F(LockScreen, ConnectButtonFollowsTheBoxAndTheServer) {
    EXPECT_FALSE(u().cmdCxn->isEnabled());
    u().txtCardNum->setText("1");
    EXPECT_TRUE(u().cmdCxn->isEnabled());
    block->setServerConnected(false);
    EXPECT_FALSE(u().cmdCxn->isEnabled());
    EXPECT_FALSE(u().cmdReCnx->isEnabled());
    block->setServerConnected(true);
    EXPECT_TRUE(u().cmdCxn->isEnabled());
    EXPECT_TRUE(u().cmdReCnx->isEnabled());
}

TEST_F(LockScreen, PanelIsRestoredFiveSecondsAfterTheWait) {
    u().txtCardNum->setText("123456");
    block->beginConnexionWait();
    EXPECT_FALSE(u().cmdCxn->isEnabled());
    EXPECT_FALSE(u().txtCardNum->isEnabled());
    block->endConnexionWait();
    scheduler.advance(4999);
    EXPECT_FALSE(u().txtCardNum->isEnabled());
    scheduler.advance(1);
    EXPECT_TRUE(u().txtCardNum->isEnabled());
    EXPECT_TRUE(u().txtLogin->isEnabled());
    EXPECT_TRUE(u().txtPassword->isEnabled());
    EXPECT_TRUE(u().cmdCxn->isEnabled());
}

TEST_F(LockScreen, LoginScreenAfterAShortSessionTakesInputAtOnce) {
    block->beginConnexionWait();
    block->endConnexionWait();
    scheduler.advance(2000);
    block->resetLoginPanel(2, true);
    EXPECT_TRUE(u().txtCardNum->isEnabled());
    EXPECT_TRUE(u().txtLogin->isEnabled());
    EXPECT_TRUE(u().txtPassword->isEnabled());
}

TEST_F(LockScreen, IndicatorBlinksEverySecondHalfWhileTheServerIsAway) {
    block->setServerConnected(false);
    const QImage a = u().imgNoServCnx->pixmap().toImage();
    scheduler.advance(500);
    const QImage b = u().imgNoServCnx->pixmap().toImage();
    scheduler.advance(500);
    EXPECT_NE(a, b);
    EXPECT_EQ(a, u().imgNoServCnx->pixmap().toImage());
    EXPECT_TRUE(u().fraNoServCnx->toolTip().endsWith(QString::fromStdString(builtin(10336, {}))));
    block->setServerConnected(true);
    EXPECT_TRUE(u().fraNoServCnx->toolTip().endsWith(QString::fromStdString(builtin(10213, {}))));
}

TEST_F(LockScreen, CtrlAltReturnWithoutPasswordsDeactivatesAtOnce) {
    QTest::keyClick(block.get(), Qt::Key_Return, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_TRUE(host.called("subDeactivate"));
    EXPECT_FALSE(host.called("subDeactivationPassword"));
    host.calls.clear();
    QTest::keyClick(u().optConnected, Qt::Key_Enter, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_TRUE(host.called("subDeactivate")); // from any control
    host.calls.clear();
    QTest::keyClick(block.get(), Qt::Key_Return,
                    Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier);
    EXPECT_TRUE(host.calls.empty()); // shift state must be exactly Ctrl+Alt
    host.passwordSet = true;
    QTest::mouseClick(u().picLogo, Qt::LeftButton, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_TRUE(host.called("subDeactivationPassword"));
    EXPECT_FALSE(host.called("subDeactivate"));
}

// Real clicks on an active window: the release must reach the tile, whatever box is shown.
TEST_F(LockScreen, UsageTilesAnswerTheMouse) {
    block->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(block.get()));
    const struct {
        QRadioButton* tile;
        QWidget* frame;
        QWidget* focus;
    } steps[] = {{u().OptClient, u().fraClient, u().txtLogin},
                 {u().optSelfService, nullptr, nullptr},
                 {u().optCard, u().fraCardNumber, u().txtCardNum},
                 {u().optSelfService, nullptr, nullptr},
                 {u().OptClient, u().fraClient, u().txtLogin},
                 {u().optCard, u().fraCardNumber, u().txtCardNum}};
    for (const auto& s : steps) {
        QTest::mouseClick(s.tile, Qt::LeftButton);
        const QString name = s.tile->objectName();
        EXPECT_TRUE(s.tile->isChecked()) << name.toStdString();
        EXPECT_EQ(u().fraCardNumber->isVisible(), s.frame == u().fraCardNumber)
            << name.toStdString();
        EXPECT_EQ(u().fraClient->isVisible(), s.frame == u().fraClient) << name.toStdString();
        if (s.focus) {
            EXPECT_EQ(QApplication::focusWidget(), s.focus) << name.toStdString();
        }
    }
}

TEST_F(LockScreen, EnterPressesTheFramesMainButton) {
    block->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(block.get()));
    u().txtCardNum->setFocus();
    QTest::keyClicks(u().txtCardNum, "123456");
    QTest::keyClick(u().txtCardNum, Qt::Key_Return);
    ASSERT_EQ(host.requests.size(), 1u);
    EXPECT_EQ(host.requests[0].id, "123456");

    // Keyboard only: the client tile, Tab to the boxes, Enter on the password.
    host.requests.clear();
    u().OptClient->setFocus();
    QTest::keyClick(u().OptClient, Qt::Key_Space);
    ASSERT_TRUE(u().OptClient->isChecked());
    QTest::keyClicks(QApplication::focusWidget(), "maria");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), u().txtPassword);
    QTest::keyClicks(u().txtPassword, "pw");
    QTest::keyClick(u().txtPassword, Qt::Key_Enter, Qt::KeypadModifier);
    ASSERT_EQ(host.requests.size(), 1u);
    EXPECT_EQ(host.requests[0].type, 4);
    EXPECT_EQ(host.requests[0].id, "maria");
    EXPECT_EQ(host.requests[0].password, "pw");

    // Nothing while the button is off (no server).
    host.requests.clear();
    block->setServerConnected(false);
    QTest::keyClick(u().txtPassword, Qt::Key_Return);
    EXPECT_TRUE(host.requests.empty());
    block->setServerConnected(true);

    // Paused: Enter resumes; on the focused quit button it asks to close instead.
    block->showStateFrames(9);
    u().cmdUnPause->setFocus();
    QTest::keyClick(u().cmdUnPause, Qt::Key_Return);
    EXPECT_TRUE(host.called("funUnPauseSession"));
    u().cmdQuit_1->setFocus();
    QTest::keyClick(u().cmdQuit_1, Qt::Key_Return);
    EXPECT_TRUE(host.called("askCloseSession"));
}

TEST_F(LockScreen, NoCreditCountdownShowsEverySecondAndClosesAtZero) {
    block->showStateFrames(8);
    block->startCloseSessionCountdown(3);
    const std::string prefix = builtin(10219, {});
    EXPECT_EQ(u().lblCloseSessionWarning->text().toStdString(), prefix + "00:00:03");
    scheduler.advance(1000);
    EXPECT_EQ(u().lblCloseSessionWarning->text().toStdString(), prefix + "00:00:02");
    scheduler.advance(1000);
    EXPECT_EQ(u().lblCloseSessionWarning->text().toStdString(), prefix + "00:00:01");
    EXPECT_FALSE(host.called("funStopSession"));
    scheduler.advance(1000);
    EXPECT_TRUE(host.called("funStopSession"));
    EXPECT_TRUE(host.called("subShowBlockScreen"));
    host.calls.clear();
    scheduler.advance(5000);
    EXPECT_TRUE(host.calls.empty()); // the timer stopped itself
}

TEST_F(LockScreen, LoginScreenReturnsAfterTheTemporaryBlock) {
    block->showStateFrames(3);
    block->startUnblockCountdown(2 * 60);
    scheduler.advance(119 * 1000);
    EXPECT_FALSE(host.called("subActivate"));
    scheduler.advance(1000);
    EXPECT_TRUE(host.called("subActivate"));
    EXPECT_TRUE(host.called("subShowBlockScreen"));
    // A delay of an hour or more does not end at the first whole hour.
    host.calls.clear();
    block->startUnblockCountdown(2 * 3600);
    scheduler.advance(3600 * 1000);
    EXPECT_FALSE(host.called("subActivate"));
    scheduler.advance(3600 * 1000);
    EXPECT_TRUE(host.called("subActivate"));
}

TEST_F(LockScreen, StatesShowTheirOwnFrameOnly) {
    const std::pair<int, QWidget*> frames[] = {
        {2, u().fraControlsActive},     {3, u().fraControlsBlocked},
        {4, u().fraControlsSessionEnd}, {8, u().fraControlsNoMoreCredit},
        {9, u().fraControlsPaused},     {10, u().fraControlsLocked}};
    for (const auto& [state, frame] : frames) {
        block->showStateFrames(state);
        for (const auto& [other, f] : frames)
            EXPECT_EQ(f->isVisible(), other == state) << state << " " << other;
        EXPECT_TRUE(u().fraForm->isVisible());
        EXPECT_FALSE(u().fraFollowServer->isVisible());
    }
    block->showStateFrames(11);
    EXPECT_FALSE(u().fraForm->isVisible());
    EXPECT_TRUE(u().fraFollowServer->isVisible());
}

TEST_F(LockScreen, LanguagesSortedByTheirOwnNamesInEveryBlockedState) {
    block->fillLanguages(
        {{"English", 0, "English"},
         {"Greek", 1, "\xCE\x95\xCE\xBB\xCE\xBB\xCE\xB7\xCE\xBD\xCE\xB9\xCE\xBA\xCE\xAC"},
         {"German", 2, "Deutsch"},
         {"French", 3,
          "Fran\xC3\xA7"
          "ais"}},
        0);
    std::vector<int> order;
    for (int i = 0; i < u().cmbLanguage->count(); ++i)
        order.push_back(u().cmbLanguage->itemData(i).toInt());
    EXPECT_EQ(order, (std::vector<int>{2, 0, 3, 1}));
    EXPECT_EQ(u().cmbLanguage->itemText(0), "Deutsch \xE2\x80\x93 German");
    EXPECT_EQ(u().cmbLanguage->itemText(1), "English");
    for (int state : {2, 3, 4, 8, 9, 10, 11}) {
        block->showStateFrames(state);
        EXPECT_TRUE(u().cmbLanguage->isVisible()) << state;
    }
    // The manager's screen lies below the list, not over it.
    const QRect list(u().cmbLanguage->mapTo(block.get(), QPoint()), u().cmbLanguage->size());
    EXPECT_FALSE(u().fraFollowServer->geometry().intersects(list));
}

TEST_F(LockScreen, ALostServerIsSaidInWordsWhereTheServerIsNeeded) {
    const QString lost = QString::fromStdString(builtin(kStrServerLost, {}));
    for (int state : {2, 3, 8, 9}) {
        block->showStateFrames(state);
        block->setServerConnected(false);
        EXPECT_EQ(u().lblServerLost->isVisible(), state == 2 || state == 8) << state;
        EXPECT_EQ(u().lblServerLost->text(), lost);
        block->setServerConnected(true);
        EXPECT_FALSE(u().lblServerLost->isVisible()) << state;
    }
}

TEST_F(LockScreen, FollowingTheServerSaysSoUntilThePictureComes) {
    block->setFollowedScreen({});
    block->showStateFrames(11);
    EXPECT_TRUE(u().imgFollowServer->isVisible());
    EXPECT_EQ(u().imgFollowServer->text().toStdString(), builtin(kStrFollowingServer, {}));
    QPixmap picture(64, 48);
    picture.fill(Qt::red);
    block->setFollowedScreen(picture);
    EXPECT_TRUE(u().imgFollowServer->text().isEmpty());
    EXPECT_FALSE(u().imgFollowServer->pixmap().isNull());
}

// ---- message box ----

class MsgBoxes : public Forms {
protected:
    void SetUp() override {
        boxes = std::make_unique<MessageBoxes>(scheduler, text, host);
        host.boxes = boxes.get();
    }
    std::unique_ptr<MessageBoxes> boxes;
};

TEST_F(MsgBoxes, UnansweredCloseQuestionIsAnsweredNoAfter65535ms) {
    boxes->subShowMsgBox("close?", 1, 2, std::make_unique<clsActionCloseSession>(host), nullptr, 0,
                         false);
    ASSERT_TRUE(boxes->box()->isVisible());
    scheduler.advance(65534);
    EXPECT_TRUE(boxes->loaded());
    scheduler.advance(1);
    EXPECT_FALSE(boxes->loaded());
    EXPECT_FALSE(host.called("funStopSession"));
    // Yes as default runs the action.
    boxes->subShowMsgBox("close?", 1, 1, std::make_unique<clsActionCloseSession>(host), nullptr, 0,
                         false);
    scheduler.advance(65535);
    EXPECT_TRUE(host.called("funStopSession"));
    EXPECT_TRUE(host.called("subShowBlockScreen"));
}

TEST_F(MsgBoxes, RefillingRestartsTheTimeOut) {
    boxes->subShowMsgBox("a", 0, 1, nullptr, nullptr, 0, false);
    scheduler.advance(60000);
    boxes->subShowMsgBox("b", 0, 1, nullptr, nullptr, 0, false);
    scheduler.advance(60000);
    EXPECT_TRUE(boxes->loaded());
    EXPECT_EQ(boxes->box()->ui().lblText->text(), "b");
    scheduler.advance(5535);
    EXPECT_FALSE(boxes->loaded());
}

TEST_F(MsgBoxes, SameTextTwiceBeepsOnce) {
    boxes->subShowMsgBox("hello", 0, 1, nullptr, nullptr, 0, false);
    boxes->subShowMsgBox("hello", 0, 1, nullptr, nullptr, 0, false);
    EXPECT_EQ(host.beeps, 1);
    boxes->subShowMsgBox("other", 0, 1, nullptr, nullptr, 0, false);
    EXPECT_EQ(host.beeps, 2);
}

TEST_F(MsgBoxes, NewMessageIsDroppedWhileAStickyOneShows) {
    boxes->subShowMsgBox("sticky", 0, 1, nullptr, nullptr, 0, true);
    boxes->subShowMsgBox("new", 1, 2, std::make_unique<clsActionCloseSession>(host), nullptr, 0,
                         false);
    EXPECT_EQ(boxes->box()->ui().lblText->text(), "sticky");
    EXPECT_TRUE(boxes->box()->ui().fraOK->isVisible());
    boxes->box()->ui().cmdOK->click();
    EXPECT_FALSE(boxes->loaded());
    boxes->subShowMsgBox("new", 0, 1, nullptr, nullptr, 0, false);
    EXPECT_EQ(boxes->box()->ui().lblText->text(), "new");
}

// The button Enter presses is the one drawn as the primary one, Yes or No.
TEST_F(MsgBoxes, TheDefaultButtonIsTheHighlightedOne) {
    const auto fill = [](QPushButton* b) {
        const QImage img = b->grab().toImage();
        return img.pixelColor(img.width() / 2, 4); // above the text, inside the border
    };
    for (const int defaultButton : {1, 2}) {
        boxes->subShowMsgBox("q", 1, defaultButton, std::make_unique<clsActionEmpty>(), nullptr, 0,
                             false);
        auto& u = boxes->box()->ui();
        QPushButton* chosen = defaultButton == 1 ? u.cmdYes : u.cmdNo;
        QPushButton* other = defaultButton == 1 ? u.cmdNo : u.cmdYes;
        EXPECT_EQ(fill(chosen), QColor(0x16, 0x70, 0xa8)) << defaultButton;
        EXPECT_NE(fill(other), fill(chosen)) << defaultButton;
        boxes->unload();
    }
}

TEST_F(MsgBoxes, ButtonsAndTextsFollowTheCall) {
    boxes->subShowMsgBox("q", 1, 2, std::make_unique<clsActionPauseSession>(host), nullptr, 0,
                         false);
    auto& u = boxes->box()->ui();
    EXPECT_FALSE(u.fraOK->isVisible());
    EXPECT_TRUE(u.fraYesNo->isVisible());
    EXPECT_TRUE(u.cmdNo->isDefault());
    EXPECT_EQ(u.cmdYes->text().toStdString(), builtin(10267, {}));
    EXPECT_EQ(boxes->box()->windowTitle().toStdString(), builtin(10106, {}));
    EXPECT_TRUE(boxes->box()->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    u.cmdYes->click();
    EXPECT_TRUE(host.called("funPauseSession"));
    EXPECT_TRUE(host.called("subShowBlockScreen"));
}

// ---- status windows and chat ----

class Status : public Forms {
protected:
    void SetUp() override {
        boxes = std::make_unique<MessageBoxes>(scheduler, text, host);
        host.boxes = boxes.get();
        status = std::make_unique<StatusWindows>(scheduler, text, host);
    }
    std::unique_ptr<MessageBoxes> boxes;
    std::unique_ptr<StatusWindows> status;
};

// A language chosen while the window is hidden: its next show has the new texts' size.
TEST(StatusSize, FirstShowAfterALanguageSwitchHasTheNewSize) {
    VirtualClock clock;
    VirtualScheduler scheduler{clock};
    Host host;
    host.type = 1;
    bool longTexts = false;
    FormText text([&longTexts](int id, const std::vector<std::string>& in) {
        const std::string t = builtin(id, in);
        return longTexts && !t.empty() ? t + " " + t + " " + t : t;
    });
    StatusWindows status(scheduler, text, host);
    status.prepareForSession(1);
    status.subShowStatus();
    QApplication::processEvents();
    const int englishWidth = status.status().width();
    status.subHideStatus();
    longTexts = true;
    status.subLocalizeInterface();
    status.subShowStatus();
    const QRect shown = status.status().frameGeometry();
    QApplication::processEvents();
    EXPECT_GT(shown.width(), englishWidth);
    EXPECT_EQ(status.status().frameGeometry(), shown); // no growing after the show
    EXPECT_TRUE(host.workArea().contains(status.status().frameGeometry()));
}

// A window manager that has not learnt the frame yet keeps the window where it was while
// granting the bigger size of the opened chat: the bottom runs off the screen.
TEST_F(Status, AWindowLeftPastTheScreenEdgeComesBackIntoTheCorner) {
    host.st = 6;
    status->prepareForSession(2);
    status->subShowStatus();
    QApplication::processEvents();
    frmStatus& w = status->status();
    const QRect corner = w.frameGeometry();
    ASSERT_TRUE(host.workArea().contains(corner));
    w.move(corner.x(), host.workArea().bottom() - corner.height() / 2);
    QApplication::processEvents();
    EXPECT_TRUE(host.workArea().contains(w.frameGeometry()));
    // Moved by the customer inside the screen, it stays.
    w.move(10, 10);
    QApplication::processEvents();
    EXPECT_EQ(w.frameGeometry().topLeft(), QPoint(10, 10));

    // On a screen too small for it, only its top left corner is brought back.
    host.area = QRect(0, 0, corner.width() - 20, corner.height() - 20);
    w.move(-30, -30);
    QApplication::processEvents();
    EXPECT_EQ(w.frameGeometry().topLeft(), QPoint(0, 0));
    w.move(0, 5);
    QApplication::processEvents();
    EXPECT_EQ(w.frameGeometry().topLeft(), QPoint(0, 5));
}

TEST_F(Status, NoToDisconnectedModeSelectsConnectedAgain) {
    host.st = 6;
    status->prepareForSession(2);
    status->subShowStatus();
    auto& u = status->status().ui();
    QTest::mouseClick(u.optDisconnected, Qt::LeftButton);
    EXPECT_TRUE(u.optDisconnected->isChecked());
    ASSERT_TRUE(boxes->loaded());
    boxes->box()->ui().cmdNo->click();
    EXPECT_TRUE(u.optConnected->isChecked());
    EXPECT_FALSE(host.called("mode 5"));
    QTest::mouseClick(u.optDisconnected, Qt::LeftButton);
    boxes->box()->ui().cmdYes->click();
    EXPECT_TRUE(host.called("mode 5"));
    EXPECT_TRUE(host.called("subKillApps"));
    EXPECT_TRUE(host.called("killer on"));
}

TEST_F(Status, ChatSpeakerNameAndEndToken) {
    host.type = 4;
    host.user = "abcdefghijklmno"; // 15 characters
    status->prepareForSession(4);
    status->subShowStatus();
    EXPECT_EQ(status->speakerName(), builtin(10349, {}) + " (abcdefghij...)");
    host.user = "abcdefghij";
    EXPECT_EQ(status->speakerName(), builtin(10349, {}) + " (abcdefghij)");
    host.type = 1;
    EXPECT_EQ(status->speakerName(), builtin(10349, {}));

    auto& u = status->status().ui();
    u.txtWksnChat->setText("hi %$&######MessageEnd#there %$&###%$&######MessageEnd####MessageEnd#");
    status->cmdChat_Click();
    ASSERT_EQ(host.chats.size(), 1u);
    EXPECT_EQ(host.chats[0], "hi there ");
    EXPECT_TRUE(u.txtWksnChat->text().isEmpty());
    EXPECT_EQ(u.txtWksnChatHist->toPlainText().toStdString(),
              " " + builtin(10349, {}) + ": hi there ");
    status->cmdChat_Click(); // empty input: nothing
    EXPECT_EQ(host.chats.size(), 1u);
    status->receiveChatMessage("welcome");
    EXPECT_TRUE(u.fraChat->isVisible());
    EXPECT_TRUE(u.txtWksnChatHist->toPlainText().endsWith(
        QString::fromStdString("\n " + builtin(10350, {}) + ": welcome")));
}

TEST_F(Status, HideAllShowsNoWindowWhileTheSessionRuns) {
    host.hideAll = true;
    for (int type : {2, 3}) {
        host.type = type;
        status->prepareForSession(type);
        status->subShowStatus();
        status->subHideStatus();
        EXPECT_FALSE(status->status().isVisible());
        EXPECT_FALSE(status->smallStatus().isVisible());
        EXPECT_FALSE(status->microStatus().isVisible());
    }
}

TEST_F(Status, FreeSessionShowsOnlyTheMinimalWindow) {
    host.type = 3;
    status->prepareForSession(3);
    status->subShowStatus();
    EXPECT_TRUE(status->microStatus().isVisible());
    EXPECT_FALSE(status->status().isVisible());
    EXPECT_FALSE(status->smallStatus().isVisible());
}

TEST_F(Status, CompactLabelDoubleClickBringsTheFullWindowWhichCollapsesAfter60s) {
    host.type = 1;
    status->prepareForSession(1);
    status->subHideStatus();
    ASSERT_TRUE(status->smallStatus().isVisible());
    QTest::mouseDClick(status->smallStatus().ui().lblAmountDue, Qt::LeftButton);
    EXPECT_TRUE(status->status().isVisible());
    EXPECT_FALSE(status->smallStatus().isVisible());
    scheduler.advance(59999);
    EXPECT_TRUE(status->status().isVisible());
    scheduler.advance(1);
    EXPECT_FALSE(status->status().isVisible());
    EXPECT_TRUE(status->smallStatus().isVisible());
    EXPECT_FALSE(status->hideTimerRunning());
}

TEST_F(Status, CollapseWaitsWhileADialogOfTheClientIsOpen) {
    status->prepareForSession(2);
    status->subShowStatus();
    host.blocking = true;
    status->subHideStatus();
    EXPECT_TRUE(status->status().isVisible());
    host.blocking = false;
    status->subHideStatus();
    EXPECT_FALSE(status->status().isVisible());
    EXPECT_TRUE(status->smallStatus().isVisible());
}

TEST_F(Status, ChatActivityRestartsTheCollapse) {
    status->prepareForSession(2);
    status->subShowStatus();
    scheduler.advance(50000);
    status->status().ui().txtWksnChat->setText("typing");
    scheduler.advance(50000);
    EXPECT_TRUE(status->status().isVisible());
    scheduler.advance(10000);
    EXPECT_FALSE(status->status().isVisible());
}

TEST_F(Status, DisableSessionCloseButtonDisablesTheThreeQuitButtonsAndTheTrayItem) {
    host.disableClose = true;
    status->subSetCloseButtons();
    EXPECT_FALSE(status->status().ui().cmdQuit->isEnabled());
    EXPECT_FALSE(status->smallStatus().ui().cmdQuit->isEnabled());
    EXPECT_FALSE(status->microStatus().ui().cmdQuit->isEnabled());
    EXPECT_FALSE(host.stopSessionEnabled);
    host.disableClose = false;
    status->subSetCloseButtons();
    EXPECT_TRUE(status->status().ui().cmdQuit->isEnabled());
    EXPECT_TRUE(host.stopSessionEnabled);
}

TEST_F(Status, FramesFollowTheSessionType) {
    host.user = "maria";
    status->prepareForSession(4);
    auto& s = status->status().ui();
    EXPECT_FALSE(s.fraCard->isVisibleTo(&status->status()));
    EXPECT_TRUE(s.fraClient->isVisibleTo(&status->status()));
    EXPECT_EQ(s.lblCliLogin->text(), "maria");
    EXPECT_TRUE(status->smallStatus().ui().fraCard->isVisibleTo(&status->smallStatus()));
    status->prepareForSession(1);
    EXPECT_EQ(s.lblElapsedTimeSelfService->text(), "00:00:00 ");
    EXPECT_EQ(s.lblAmountDue->text(), "0 ");
    EXPECT_EQ(status->smallStatus().ui().lblAmountDue->text(), "0 ");
}

// ---- main form and tray menu ----

TEST_F(Forms, TrayMenuOnlyInStates3To8WithDeactivateUnderCtrlAlt) {
    frmMain main(text, host);
    host.st = 2;
    EXPECT_FALSE(main.prepareTrayMenu(Qt::NoModifier));
    main.trayDoubleClick();
    EXPECT_FALSE(host.called("toggle"));
    host.st = 6;
    host.type = 2;
    ASSERT_TRUE(main.prepareTrayMenu(Qt::ControlModifier));
    EXPECT_FALSE(main.ui().mnuDeactivate->isEnabled());
    EXPECT_EQ(main.mnuPopup().defaultAction(), main.ui().mnuStatus);
    ASSERT_TRUE(main.prepareTrayMenu(Qt::ControlModifier | Qt::AltModifier));
    EXPECT_TRUE(main.ui().mnuDeactivate->isEnabled());
    host.type = 3;
    main.prepareTrayMenu(Qt::NoModifier);
    EXPECT_FALSE(main.ui().mnuStatus->isEnabled());
    EXPECT_EQ(main.mnuPopup().defaultAction(), nullptr);
    main.trayDoubleClick();
    EXPECT_TRUE(host.called("toggle"));
}

TEST_F(Forms, SavedMainPositionIsKeptOnScreen) {
    frmMain main(text, host);
    const QRect screen(0, 0, 1024, 768);
    main.restorePosition(2000, 3000, screen);
    EXPECT_LE(main.y() + main.height(), 768);
    EXPECT_LE(main.x() + main.width(), 1024);
    main.restorePosition(-50, -80, screen);
    EXPECT_EQ(main.pos(), QPoint(0, 0));
    main.restorePosition(100, 200, screen);
    EXPECT_EQ(main.pos(), QPoint(200, 100));
}

} // namespace
} // namespace tlv

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
