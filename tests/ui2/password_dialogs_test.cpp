#include "core/log.h"
#include "platform/fake/virtual_time.h"
#include "tests/support/temp_root.h"
#include "tests/ui2/ui2_rig.h"
#include "ui/password_dialogs.h"
#include "ui_frmPasswd.h"
#include "ui_frmPasswdChange.h"
#include "ui_frmPasswdClose.h"
#include "ui_frmPasswdLogOff.h"

#include <QTest>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace tlv {
namespace {

struct FakePasswordHost : PasswordHost {
    std::string admin = "admin", adminPw, manager, managerPw, session = "old", wksn = "PC-07";
    std::vector<std::string> calls, sent;
    std::vector<int> msgs;
    std::map<FormId, bool> loaded;
    std::string adminLogon() const override { return admin; }
    std::string adminPassword() const override { return adminPw; }
    std::string managerLogin() const override { return manager; }
    std::string managerPassword() const override { return managerPw; }
    std::string sessionPassword() const override { return session; }
    void setSessionPassword(const std::string& p) override { session = p; }
    std::string workstationName() const override { return wksn; }
    void funSendData(const std::string& m) override { sent.push_back(m); }
    void subDeactivate() override { calls.push_back("subDeactivate"); }
    void subLock() override { calls.push_back("subLock"); }
    void startUnblockCountdown() override { calls.push_back("tmrUnblock"); }
    void funMsg(int n, const std::string&) override { msgs.push_back(n); }
    bool funMsgYes(int n) override {
        msgs.push_back(n);
        return true;
    }
    void subShutdown(int flags) override {
        calls.push_back("subShutdown " + std::to_string(flags));
    }
    void funShutdownApplication(bool force) override {
        calls.push_back(std::string("funShutdownApplication ") + (force ? "True" : "False"));
    }
    void setFormLoaded(FormId f, bool l) override { loaded[f] = l; }
    void hideStatus() override { calls.push_back("hide frmStatus"); }
    void focusMain() override { calls.push_back("focus frmMain"); }
    std::string defaultText(int id) override { return test::en(id); }
};

struct Rig : ::testing::Test {
    static void SetUpTestSuite() { test::ensureApp(); }
    test::TempRoot root;
    VirtualClock clock;
    VirtualScheduler sched{clock};
    Logger log{clock, root.file("tlvcli.log")};
    FakePasswordHost host;
    PasswordDialogs dialogs{sched, test::englishText(), host, log};
    Rig() {
        dialogs.runModal = [](QDialog& d) { d.show(); };
    }
    frmPasswd* deactivation() {
        if (!dialogs.currentAs<frmPasswd>())
            dialogs.subDeactivationPassword(nullptr);
        return dialogs.currentAs<frmPasswd>();
    }
    void tryDeactivate(const QString& login, const QString& password) {
        frmPasswd* d = deactivation();
        ASSERT_TRUE(d);
        if (d->ui().txtLogin->isEnabled())
            d->ui().txtLogin->setText(login);
        d->ui().txtPassword->setText(password);
        QTest::mouseClick(d->ui().cmdDeactivate, Qt::LeftButton);
    }
};

TEST_F(Rig, EmptyAdministratorPasswordWithoutManagerAcceptsTheAdministratorLogon) {
    frmPasswd* d = deactivation();
    ASSERT_TRUE(d);
    EXPECT_TRUE(host.loaded[FormId::frmPasswd]);
    EXPECT_EQ(d->ui().txtLogin->text(), "admin");
    EXPECT_FALSE(d->ui().txtLogin->isEnabled());
    EXPECT_EQ(d->ui().txtPassword->echoMode(), QLineEdit::Password);
    EXPECT_EQ(d->windowTitle().toStdString(), "Talvor Client - Deactivation");
    EXPECT_EQ(d->ui().lblPrompt->text().toStdString(), test::en(10151, "Talvor Client"));
    tryDeactivate("", "");
    EXPECT_EQ(host.calls, (std::vector<std::string>{"subDeactivate", "focus frmMain"}));
    EXPECT_FALSE(dialogs.current());
    EXPECT_FALSE(host.loaded[FormId::frmPasswd]);
}

TEST_F(Rig, LoginIgnoresLetterCasePasswordDoesNot) {
    struct Case {
        const char* login;
        const char* password;
        bool accepted;
    };
    const Case cases[] = {
        {"MANAGER", "Secret", true}, {"manager", "secret", false}, {"Admin", "Root", true},
        {"admin", "root", false},    {"nobody", "Secret", false},  {"", "Root", false},
    };
    host.adminPw = "Root";
    host.manager = "Manager";
    host.managerPw = "Secret";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.login + std::string("/") + c.password);
        host.calls.clear();
        frmPasswd* d = deactivation();
        ASSERT_TRUE(d->ui().txtLogin->isEnabled()) << "a manager account asks for the login";
        d->ui().txtLogin->setText(c.login);
        d->ui().txtPassword->setText(c.password);
        QTest::mouseClick(d->ui().cmdDeactivate, Qt::LeftButton);
        EXPECT_EQ(!host.calls.empty() && host.calls[0] == "subDeactivate", c.accepted);
        if (auto* open = dialogs.currentAs<frmPasswd>())
            open->cmdCancel_Click();
    }
}

TEST_F(Rig, DeactivationDialogClosesAfterTwentySecondsCountingDown) {
    frmPasswd* d = deactivation();
    EXPECT_EQ(d->ui().cmdCancel->text(), "Cancel");
    sched.advance(1000);
    EXPECT_EQ(d->ui().cmdCancel->text(), "Cancel (19)");
    sched.advance(18000);
    EXPECT_EQ(d->ui().cmdCancel->text(), "Cancel (1)");
    ASSERT_EQ(dialogs.current(), d);
    sched.advance(1000);
    EXPECT_FALSE(dialogs.current());
    EXPECT_FALSE(host.loaded[FormId::frmPasswd]);
    EXPECT_TRUE(host.calls.empty());
}

TEST_F(Rig, ThirdWrongDeactivationAlertsAndBlocksACorrectOneInBetweenResets) {
    host.adminPw = "Root";
    tryDeactivate("admin", "x");
    tryDeactivate("admin", "y");
    frmPasswd* d = dialogs.currentAs<frmPasswd>();
    ASSERT_TRUE(d) << "wrong passwords keep the dialog open";
    EXPECT_EQ(d->ui().lblPrompt->text().toStdString(),
              test::en(10347) + "\n" + test::en(10151, "Talvor Client"));
    EXPECT_EQ(d->ui().txtPassword->text(), "");
    tryDeactivate("admin", "Root"); // resets the count
    EXPECT_EQ(dialogs.failures(), 0);
    host.calls.clear();
    tryDeactivate("admin", "a");
    tryDeactivate("admin", "b");
    EXPECT_TRUE(host.calls.empty());
    EXPECT_TRUE(host.sent.empty());
    tryDeactivate("admin", "c");
    EXPECT_EQ(host.sent,
              (std::vector<std::string>{"%$&#####MessageSend#Deactivation attempt on workstation "
                                        "PC-07%$&######MessageEnd#"}));
    EXPECT_EQ(host.calls, (std::vector<std::string>{"subLock", "tmrUnblock"}));
    EXPECT_FALSE(dialogs.current());

    // Once blocked, the next run of three failures blocks again.
    host.calls.clear();
    tryDeactivate("admin", "d");
    tryDeactivate("admin", "e");
    EXPECT_TRUE(host.calls.empty());
    tryDeactivate("admin", "f");
    EXPECT_EQ(host.calls, (std::vector<std::string>{"subLock", "tmrUnblock"}));
}

TEST_F(Rig, QuitChecksTheAdministratorPasswordExactly) {
    host.adminPw = "Root";
    dialogs.subQuitPassword(nullptr);
    auto* d = dialogs.currentAs<frmPasswdClose>();
    ASSERT_TRUE(d);
    EXPECT_EQ(host.calls, (std::vector<std::string>{"hide frmStatus"}));
    EXPECT_TRUE(d->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(d->ui().lblPrompt->text().toStdString(), test::en(10157) + "Talvor Client");
    d->ui().txtPassword->setText("root");
    QTest::mouseClick(d->ui().cmdQuit, Qt::LeftButton);
    EXPECT_EQ(host.msgs, (std::vector<int>{2}));
    EXPECT_EQ(d->ui().txtPassword->text(), "");
    d->ui().txtPassword->setText("Root");
    QTest::mouseClick(d->ui().cmdQuit, Qt::LeftButton);
    EXPECT_EQ(host.calls.back(), "funShutdownApplication True");
    EXPECT_FALSE(dialogs.current());
}

TEST_F(Rig, LogOffOptionsSetTheButtonAndTheHelpLine) {
    dialogs.subLogOffPassword(nullptr);
    auto* d = dialogs.currentAs<frmPasswdLogOff>();
    ASSERT_TRUE(d);
    EXPECT_TRUE(d->ui().optShutdown_0->isChecked());
    EXPECT_EQ(d->ui().cmdQuit->text().toStdString(), test::en(10148));
    QTest::mouseClick(d->ui().optShutdown_2, Qt::LeftButton);
    EXPECT_EQ(d->ui().cmdQuit->text().toStdString(), test::en(10159));
    EXPECT_EQ(d->ui().lblHelp->text().toStdString(),
              "Please enter the administrator password in order to restart the computer");
    d->ui().txtPassword->setText("wrong");
    QTest::mouseClick(d->ui().cmdQuit, Qt::LeftButton);
    EXPECT_EQ(host.msgs, (std::vector<int>{2}));
    d->ui().txtPassword->setText("");
    QTest::mouseClick(d->ui().cmdQuit, Qt::LeftButton);
    EXPECT_EQ(host.calls, (std::vector<std::string>{"subShutdown 2"}));
    EXPECT_FALSE(dialogs.current());
}

TEST_F(Rig, PasswordChangeEnabledOnlyWhileTheNewPasswordsMatch) {
    dialogs.showPasswordChange(nullptr);
    auto* d = dialogs.currentAs<frmPasswdChange>();
    ASSERT_TRUE(d);
    auto& u = d->ui();
    EXPECT_FALSE(u.cmdChange->isEnabled());
    QTest::keyClicks(u.txtNewPassword, "abc");
    EXPECT_FALSE(u.cmdChange->isEnabled());
    QTest::keyClicks(u.txtCheckNewPassword, "ab");
    EXPECT_FALSE(u.cmdChange->isEnabled());
    QTest::keyClicks(u.txtCheckNewPassword, "c");
    EXPECT_TRUE(u.cmdChange->isEnabled());

    u.txtOldPassword->setText("OLD");
    QTest::mouseClick(u.cmdChange, Qt::LeftButton);
    EXPECT_EQ(u.lblResponse->text().toStdString(), test::en(10101));
    EXPECT_EQ(u.txtOldPassword->text(), "");
    EXPECT_TRUE(host.sent.empty());

    u.txtOldPassword->setText("old");
    QTest::mouseClick(u.cmdChange, Qt::LeftButton);
    EXPECT_EQ(host.session, "abc");
    EXPECT_EQ(host.sent, (std::vector<std::string>{"%$&##PasswordChange#abc%$&######MessageEnd#"}));
    EXPECT_FALSE(dialogs.current());
}

TEST_F(Rig, AMessageBoxOrALostConnectionTakesThePasswordChangeAway) {
    dialogs.showPasswordChange(nullptr);
    dialogs.unloadDeactivation();
    EXPECT_TRUE(dialogs.current()) << "only the deactivation dialog goes on that call";
    dialogs.unloadPasswordChange();
    EXPECT_FALSE(dialogs.current());
    EXPECT_FALSE(host.loaded[FormId::frmPasswdChange]);
}

} // namespace
} // namespace tlv
