#include "app/desktop_assembly.h"
#include "platform/fake/fake_sockets.h"
#include "platform/web_browser.h"
#include "tests/link/linked_client_rig.h"
#include "tests/ui2/ui2_rig.h"
#include "ui/frmOptions.h"
#include "ui/frmSetupWizard.h"
#include "ui/password_dialogs.h"
#include "ui_frmOptions.h"
#include "ui_frmPasswd.h"
#include "ui_frmSetupWizard.h"

#include <QTest>
#include <QTimer>

#include <functional>

#include <gtest/gtest.h>

namespace tlv {
namespace {

struct NoWeb : WebBrowser {
    bool open(const std::string&) override { return false; }
};

// The dialogs of the client as the program wires it, with its Qt forms, on fakes.
struct Staff {
    test::ClientRig rig{test::ClientRig::NoClient{}};
    FakeSocketFactory sockets;
    test::MachineFakes machine;
    NoWeb web;
    std::unique_ptr<DesktopAssembly> assembly;
    StaffDialogs* staff = nullptr;

    // wizardDone: both "Config Wizard" values at 1, else the wizard opens at the start.
    explicit Staff(bool wizardDone = true) {
        test::ensureApp();
        assembly = std::make_unique<DesktopAssembly>(machine.ports(rig, sockets), web);
        rig.assembled = &assembly->client();
        staff = &assembly->staff();
        staff->passwords().runModal = [](QDialog& d) { d.show(); };
        if (wizardDone)
            rig.setWizard(1, 1);
    }
    ~Staff() {
        rig.assembled = nullptr;
        assembly.reset();
    }
    QtForms& forms() { return assembly->forms(); }
    frmPasswd* deactivation() {
        forms().hooks().subDeactivationPassword(nullptr);
        return staff->passwords().currentAs<frmPasswd>();
    }
    FakeTcpSocket& tcp() { return *sockets.tcp.back(); }
    FakeUdpSocket& udp() { return *sockets.udp.back(); }
};

// Runs fill on the modal dialog of type T once its event loop runs.
template <typename T>
void whenShown(const std::function<void(T&)>& fill) {
    QTimer::singleShot(0, [fill] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (T* d = dynamic_cast<T*>(w); d && d->isVisible()) {
                fill(*d);
                return;
            }
        ADD_FAILURE() << "no dialog shown";
    });
}

TEST(StaffDialogs, DeactivationWithoutPasswordsDeactivatesTheClient) {
    Staff s;
    s.rig.start();
    frmPasswd* d = s.deactivation();
    ASSERT_TRUE(d);
    EXPECT_TRUE(s.staff->isLoaded(FormId::frmPasswd));
    EXPECT_EQ(d->ui().txtLogin->text().toStdString(), s.rig.c().constants().genAdminLogon);
    QTest::mouseClick(d->ui().cmdDeactivate, Qt::LeftButton);
    EXPECT_EQ(s.rig.c().state(), kStateDeactivated);
    EXPECT_FALSE(s.staff->isLoaded(FormId::frmPasswd));
}

TEST(StaffDialogs, ThreeWrongPasswordsBlockTheWorkstation) {
    Staff s;
    s.rig.start();
    s.rig.c().settings().password = "Root";
    s.rig.c().subActivate();
    ASSERT_EQ(s.rig.c().state(), kStateActive);
    for (int i = 0; i < 3; ++i) {
        frmPasswd* d = s.staff->passwords().currentAs<frmPasswd>();
        if (!d)
            d = s.deactivation();
        ASSERT_TRUE(d);
        d->ui().txtPassword->setText("wrong");
        QTest::mouseClick(d->ui().cmdDeactivate, Qt::LeftButton);
    }
    EXPECT_EQ(s.rig.c().state(), kStateBlocked);
    EXPECT_FALSE(s.staff->passwords().current());
}

TEST(StaffDialogs, TheDialogOnDisplayFollowsTheLanguage) {
    Staff s;
    s.rig.start();
    LangPack fr;
    fr.nativeName = "Français";
    fr.texts[10143] = "Désactiver ";
    s.rig.fake.langPacks.add("tlvcli_fr", fr);
    frmPasswd* d = s.deactivation();
    ASSERT_TRUE(d);
    s.rig.c().texts().setCurrentLanguage("tlvcli_fr", 0);
    EXPECT_EQ(d->ui().cmdDeactivate->text().toStdString(), "Désactiver ");
    d->cmdCancel_Click();
    s.rig.c().texts().subResetGUILanguage(); // no dialog left registered
}

// The server set in the options dialog is used from the next connection attempt, without a
// restart.
TEST(StaffDialogs, TheServerSavedInTheOptionsIsUsedFromTheNextAttempt) {
    Staff s;
    s.rig.start();
    s.rig.scheduler.advance(3000);
    ASSERT_FALSE(s.udp().sent.empty()); // discovery at first
    whenShown<frmOptions>([](frmOptions& d) {
        auto& u = d.ui();
        QTest::mouseClick(u.optServerManualConnect, Qt::LeftButton);
        u.txtServerName->setText("cafe-server");
        u.txtPortNum->setText("4701");
        QTest::mouseClick(u.cmdSave, Qt::LeftButton);
    });
    s.forms().hooks().showOptions();
    EXPECT_FALSE(s.rig.c().settings().automaticServerConnection);
    const size_t broadcasts = s.udp().sent.size();
    s.rig.scheduler.advance(500);
    EXPECT_EQ(s.udp().sent.size(), broadcasts);
    ASSERT_FALSE(s.sockets.tcp.empty());
    ASSERT_FALSE(s.tcp().connects.empty());
    EXPECT_EQ(s.tcp().connects.back(), (std::pair<std::string, int>{"cafe-server", 4701}));
}

// The first-run wizard sets the server while the client starts: the link uses it.
TEST(StaffDialogs, TheServerSetInTheWizardIsConnectedTo) {
    Staff s(false);
    whenShown<frmSetupWizard>([](frmSetupWizard& w) {
        auto& u = w.ui();
        QTest::mouseClick(u.cmdNext, Qt::LeftButton);
        QTest::mouseClick(u.optServerManualConnect, Qt::LeftButton);
        u.txtServerName->setText("10.0.0.9");
        u.txtPortNum->setText("4702");
        for (int i = 0; i < 4; ++i)
            QTest::mouseClick(u.cmdNext, Qt::LeftButton);
        QTest::mouseClick(u.cmdFinish, Qt::LeftButton);
    });
    s.rig.start();
    EXPECT_EQ(s.rig.c().settings().serverName, "10.0.0.9");
    s.rig.scheduler.advance(3000);
    ASSERT_FALSE(s.sockets.tcp.empty());
    ASSERT_FALSE(s.tcp().connects.empty());
    EXPECT_EQ(s.tcp().connects.back(), (std::pair<std::string, int>{"10.0.0.9", 4702}));
    EXPECT_TRUE(s.udp().sent.empty());
}

} // namespace
} // namespace tlv
