#include "core/log.h"
#include "platform/fake/virtual_time.h"
#include "tests/support/temp_root.h"
#include "tests/ui2/settings_forms_rig.h"
#include "tests/ui2/ui2_rig.h"
#include "ui/frmOptions.h"
#include "ui_frmOptions.h"

#include <QTest>

#include <gtest/gtest.h>

namespace tlv {
namespace {

struct Options : ::testing::Test {
    static void SetUpTestSuite() { test::ensureApp(); }
    test::TempRoot root;
    VirtualClock clock;
    VirtualScheduler sched{clock};
    Logger log{clock, root.file("tlvcli.log")};
    test::FakeSettingsHost host;
    std::unique_ptr<frmOptions> open() {
        auto f = std::make_unique<frmOptions>(sched, test::englishText(), host, log);
        f->show();
        QApplication::setActiveWindow(f.get());
        return f;
    }
};

TEST_F(Options, OpenUnlockedWithoutPasswordLockedWithSaveDisabledWithOne) {
    auto free = open();
    EXPECT_FALSE(free->locked());
    EXPECT_TRUE(free->ui().cmdSave->isEnabled());
    EXPECT_FALSE(free->ui().fraAdminPassword->isVisible());
    EXPECT_TRUE(free->ui().lblUnlocked->isVisible());
    EXPECT_FALSE(free->ui().txtServerName->isEnabled()) << "automatic mode";
    EXPECT_TRUE(host.loaded[FormId::frmOptions]);

    host.s.password = "Root";
    auto guarded = open();
    auto& u = guarded->ui();
    EXPECT_TRUE(guarded->locked());
    EXPECT_FALSE(u.cmdSave->isEnabled());
    EXPECT_TRUE(u.fraAdminPassword->isVisible());
    EXPECT_TRUE(u.lblLocked->isVisible());
    EXPECT_FALSE(u.txtWksnName->isEnabled());
    EXPECT_FALSE(u.optServerManualConnect->isEnabled());

    u.txtLockedPassword->setText("root");
    QTest::mouseClick(u.cmdUnlockOptions, Qt::LeftButton);
    EXPECT_EQ(host.msgs, (std::vector<int>{2}));
    EXPECT_TRUE(guarded->locked());
    u.txtLockedPassword->setText("Root");
    QTest::mouseClick(u.cmdUnlockOptions, Qt::LeftButton);
    EXPECT_FALSE(guarded->locked());
    EXPECT_TRUE(u.cmdSave->isEnabled());
    EXPECT_FALSE(u.fraAdminPassword->isVisible());

    u.chkLocked->click();
    EXPECT_TRUE(guarded->locked());
    EXPECT_TRUE(u.fraAdminPassword->isVisible());
    EXPECT_FALSE(u.cmdSave->isEnabled());
}

TEST_F(Options, ManualModeEnablesTheServerFields) {
    auto f = open();
    auto& u = f->ui();
    QTest::mouseClick(u.optServerManualConnect, Qt::LeftButton);
    EXPECT_TRUE(u.txtServerName->isEnabled());
    EXPECT_TRUE(u.lblPortNum->isEnabled());
    QTest::mouseClick(u.optServerAutoConnect, Qt::LeftButton);
    EXPECT_FALSE(u.txtPortNum->isEnabled());
    EXPECT_TRUE(f->settingsChanged());
}

TEST_F(Options, PortKeepsDigitsOnlyAndIsCappedWhenLeft) {
    host.s.automaticServerConnection = false;
    auto f = open();
    auto& u = f->ui();
    u.txtPortNum->setFocus();
    u.txtPortNum->setCursorPosition(2);
    QTest::keyClicks(u.txtPortNum, "a");
    EXPECT_EQ(u.txtPortNum->text(), "4646");
    EXPECT_EQ(u.txtPortNum->cursorPosition(), 2);
    u.txtPortNum->setText("70000");
    u.txtServerName->setFocus();
    EXPECT_EQ(u.txtPortNum->text(), "65535");

    const std::pair<const char*, const char*> cases[] = {
        {" 80 ", "80"}, {"1a2b3", "123"}, {"", ""}, {"65535", "65535"}, {"99999999", "65535"}};
    for (const auto& [typed, kept] : cases)
        EXPECT_EQ(portCapped(portDigits(typed)), kept) << typed;
}

TEST_F(Options, WorkstationNameWithAHashIsRefused) {
    auto f = open();
    auto& u = f->ui();
    u.txtWksnName->setFocus();
    u.txtWksnName->setText("PC#7");
    u.chkStartActive->setFocus();
    EXPECT_EQ(host.msgs, (std::vector<int>{30}));
    sched.runPending();
    EXPECT_TRUE(u.txtWksnName->hasFocus());
    QTest::mouseClick(u.cmdSave, Qt::LeftButton);
    EXPECT_TRUE(host.stored.empty()) << "never stored, even by Save";
    EXPECT_FALSE(f->unloaded());
}

TEST_F(Options, SaveStoresEveryControlAndRelocalizes) {
    auto f = open();
    auto& u = f->ui();
    QTest::mouseClick(u.optServerManualConnect, Qt::LeftButton);
    u.txtServerName->setText("10.0.0.5");
    u.txtPortNum->setText("4700");
    u.txtWksnName->setText("Desk 3");
    u.chkStartAtLogon->click();
    QTest::mouseClick(u.cmdSave, Qt::LeftButton);
    ASSERT_EQ(host.stored.size(), 1u);
    EXPECT_FALSE(host.s.automaticServerConnection);
    EXPECT_EQ(host.s.serverName, "10.0.0.5");
    EXPECT_EQ(host.s.serverPort, "4700");
    EXPECT_EQ(host.s.workstationName, "Desk 3");
    EXPECT_TRUE(host.s.startAtLogon);
    EXPECT_EQ(host.calls, (std::vector<std::string>{"caption 10.0.0.5", "localizeAll"}));
    EXPECT_TRUE(f->unloaded());
    EXPECT_FALSE(host.loaded[FormId::frmOptions]);
}

TEST_F(Options, EmptyPortFailsTheSaveAndLeavesTheSettings) {
    auto f = open();
    f->ui().txtPortNum->setText("");
    QTest::mouseClick(f->ui().cmdSave, Qt::LeftButton);
    EXPECT_TRUE(host.stored.empty());
    EXPECT_NE(test::readFile(root.file("tlvcli.log")).find("frmOptions.cmdSave_ClickError"),
              std::string::npos);
}

TEST_F(Options, ChangingTheWorkstationTypeShows10345AndEndsTheClient) {
    auto f = open();
    QTest::mouseClick(f->ui().optWksnTypeDskless, Qt::LeftButton);
    QTest::mouseClick(f->ui().cmdSave, Qt::LeftButton);
    EXPECT_FALSE(host.s.standaloneWorkstation);
    EXPECT_EQ(host.msgs, (std::vector<int>{31}));
    EXPECT_EQ(host.calls.back(), "unload frmMain");
}

TEST_F(Options, CancelAsksOnlyAfterAnEdit) {
    auto untouched = open();
    QTest::mouseClick(untouched->ui().cmdCancel, Qt::LeftButton);
    EXPECT_TRUE(untouched->unloaded());
    EXPECT_TRUE(host.msgs.empty());

    auto edited = open();
    edited->ui().txtServerName->setText("other");
    host.answerYes = false;
    QTest::mouseClick(edited->ui().cmdCancel, Qt::LeftButton);
    EXPECT_EQ(host.msgs, (std::vector<int>{4}));
    EXPECT_FALSE(edited->unloaded());
    host.answerYes = true;
    edited->close();
    EXPECT_TRUE(edited->unloaded());
    EXPECT_TRUE(host.stored.empty());
}

} // namespace
} // namespace tlv
