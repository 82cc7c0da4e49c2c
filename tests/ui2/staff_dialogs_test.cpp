#include "link/client_link.h"
#include "platform/fake/fake_sockets.h"
#include "platform/web_browser.h"
#include "tests/link/fake_host.h"
#include "tests/spine/client_rig.h"
#include "tests/ui2/ui2_rig.h"
#include "ui/password_dialogs.h"
#include "ui/qt_forms.h"
#include "ui/staff_dialogs.h"
#include "ui_frmPasswd.h"

#include <QTest>

#include <gtest/gtest.h>

namespace tlv {
namespace {

struct NoWeb : WebBrowser {
    bool open(const std::string&) override { return false; }
};

// The dialogs over a real client, its Qt forms and its server link.
struct Staff {
    test::ClientRig rig;
    FakeSocketFactory sockets;
    test::FakeLinkForms linkForms;
    test::FakeExtensions ext;
    QtForms forms{rig.scheduler, rig.layout};
    std::unique_ptr<ClientLink> link;
    NoWeb web;
    std::unique_ptr<StaffDialogs> staff;
    Staff() {
        test::ensureApp();
        rig.start();
        forms.attach(rig.c());
        link = std::make_unique<ClientLink>(rig.c(), sockets, linkForms, ext);
        staff = std::make_unique<StaffDialogs>(rig.c(), forms, link->link(), web);
        staff->passwords().runModal = [](QDialog& d) { d.show(); };
        staff->install(forms.hooks());
    }
    frmPasswd* deactivation() {
        forms.hooks().subDeactivationPassword(nullptr);
        return staff->passwords().currentAs<frmPasswd>();
    }
};

TEST(StaffDialogs, DeactivationWithoutPasswordsDeactivatesTheClient) {
    Staff s;
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

} // namespace
} // namespace tlv
