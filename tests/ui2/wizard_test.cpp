#include "core/log.h"
#include "platform/fake/virtual_time.h"
#include "tests/support/temp_root.h"
#include "tests/ui2/settings_forms_rig.h"
#include "tests/ui2/ui2_rig.h"
#include "ui/frmSetupWizard.h"
#include "ui_frmSetupWizard.h"

#include <QTest>

#include <gtest/gtest.h>

namespace tlv {
namespace {

struct Wizard : ::testing::Test {
    static void SetUpTestSuite() { test::ensureApp(); }
    test::TempRoot root;
    VirtualClock clock;
    VirtualScheduler sched{clock};
    Logger log{clock, root.file("tlvcli.log")};
    test::FakeSettingsHost host;
    std::unique_ptr<frmSetupWizard> open() {
        auto w = std::make_unique<frmSetupWizard>(sched, test::englishText(), host, log);
        w->show();
        QApplication::setActiveWindow(w.get());
        return w;
    }
    static void next(frmSetupWizard& w) { QTest::mouseClick(w.ui().cmdNext, Qt::LeftButton); }
    static void back(frmSetupWizard& w) { QTest::mouseClick(w.ui().cmdBack, Qt::LeftButton); }
};

TEST_F(Wizard, FirstUserWalksThroughEveryStep) {
    auto w = open();
    auto& u = w->ui();
    EXPECT_EQ(host.calls, (std::vector<std::string>{"main not topmost"}));
    EXPECT_EQ(w->page(), 0);
    EXPECT_TRUE(u.fraWelcome->isVisible());
    EXPECT_FALSE(u.cmdBack->isEnabled());
    EXPECT_FALSE(u.cmdFinish->isEnabled());
    const int titles[] = {0, 10023, 10026, 10029, 10032, 10036};
    for (int step = 1; step <= 5; ++step) {
        next(*w);
        EXPECT_EQ(w->page(), step);
        EXPECT_FALSE(u.fraWelcome->isVisible());
        EXPECT_EQ(u.lblTitle->text().toStdString(), test::en(titles[step]));
        EXPECT_TRUE(u.cmdBack->isEnabled());
        EXPECT_EQ(u.cmdNext->isEnabled(), step < 5);
        EXPECT_EQ(u.cmdFinish->isEnabled(), step == 5);
    }
    EXPECT_EQ(u.lblDescription->text(), " ");
    back(*w);
    EXPECT_EQ(w->page(), 4);
    EXPECT_EQ(u.lblStartUpWarning->text().toStdString(),
              test::en(10313) + "\n" + test::en(10314) + "anna");
}

TEST_F(Wizard, ASecondWindowsUserGoesFromTheWelcomePageToTheStartUpStep) {
    host.s.configWizardMachine = 1;
    auto w = open();
    next(*w);
    EXPECT_EQ(w->page(), 3);
    next(*w);
    EXPECT_EQ(w->page(), 4);
    back(*w);
    EXPECT_EQ(w->page(), 3);
    back(*w);
    EXPECT_EQ(w->page(), 0) << "Back from step 3 or lower returns to the welcome page";
    next(*w);
    EXPECT_EQ(w->page(), 3);
}

TEST_F(Wizard, FinishStoresTheSettingsAndBothWizardValues) {
    host.s.startActive = false;
    auto w = open();
    auto& u = w->ui();
    next(*w);
    QTest::mouseClick(u.optServerManualConnect, Qt::LeftButton);
    u.txtServerName->setText("10.0.0.9");
    u.txtPortNum->setText("47x00");
    EXPECT_EQ(u.txtPortNum->text(), "4700");
    next(*w);
    u.txtWksnName->setText("Desk 9");
    next(*w);
    u.chkStartActive->click();
    next(*w);
    next(*w);
    EXPECT_TRUE(u.chkActivateNow->isChecked()) << "starts as Start active";
    QTest::mouseClick(u.cmdFinish, Qt::LeftButton);
    ASSERT_EQ(host.stored.size(), 1u);
    EXPECT_EQ(host.s.serverName, "10.0.0.9");
    EXPECT_EQ(host.s.serverPort, "4700");
    EXPECT_EQ(host.s.workstationName, "Desk 9");
    EXPECT_TRUE(host.s.startActive);
    EXPECT_EQ(host.calls, (std::vector<std::string>{"main not topmost", "caption 10.0.0.9",
                                                    "Config Wizard 1 1", "subActivate"}));
    EXPECT_TRUE(w->finished());
    EXPECT_FALSE(host.loaded[FormId::frmSetupWizard]);
}

TEST_F(Wizard, TheCloseBoxAsks10022First) {
    auto w = open();
    host.answerYes = false;
    w->close();
    EXPECT_EQ(host.msgs, (std::vector<int>{29}));
    EXPECT_FALSE(w->unloaded());
    EXPECT_TRUE(w->isVisible());
    host.answerYes = true;
    QTest::mouseClick(w->ui().cmdCancel, Qt::LeftButton);
    EXPECT_TRUE(w->unloaded());
    EXPECT_FALSE(w->finished());
    EXPECT_TRUE(host.stored.empty());
    EXPECT_FALSE(host.loaded[FormId::frmSetupWizard]);
}

TEST_F(Wizard, AHashInTheWorkstationNameIsRefused) {
    auto w = open();
    next(*w);
    next(*w);
    w->ui().txtWksnName->setFocus();
    w->ui().txtWksnName->setText("A#1");
    w->ui().cmdNext->setFocus();
    EXPECT_EQ(host.msgs, (std::vector<int>{30}));
}

} // namespace
} // namespace tlv
