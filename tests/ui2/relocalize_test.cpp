#include "platform/linux/po_lang_packs.h"
#include "tests/spine/client_rig.h"
#include "tests/ui2/settings_forms_rig.h"
#include "tests/ui2/ui2_rig.h"
#include "ui/frmAbout.h"
#include "ui/frmOptions.h"
#include "ui/frmSetupWizard.h"
#include "ui/password_dialogs.h"
#include "ui_frmAbout.h"
#include "ui_frmOptions.h"
#include "ui_frmPasswd.h"
#include "ui_frmSetupWizard.h"

#include <gtest/gtest.h>

namespace tlv {
namespace {

struct NoPasswordHost : PasswordHost {
    std::string adminLogon() const override { return "admin"; }
    std::string adminPassword() const override { return {}; }
    std::string managerLogin() const override { return {}; }
    std::string managerPassword() const override { return {}; }
    std::string sessionPassword() const override { return {}; }
    void setSessionPassword(const std::string&) override {}
    std::string workstationName() const override { return "PC"; }
    void funSendData(const std::string&) override {}
    void subDeactivate() override {}
    void subLock() override {}
    void startUnblockCountdown() override {}
    void funMsg(int, const std::string&) override {}
    bool funMsgYes(int) override { return true; }
    void subShutdown(int) override {}
    void funShutdownApplication(bool) override {}
    void setFormLoaded(FormId, bool) override {}
    void hideStatus() override {}
    void focusMain() override {}
    std::string defaultText(int) override { return {}; }
};

TEST(Relocalize, ALockScreenSwitchThenTheEndOfASessionReturnsEveryFormToTheDefaultLanguage) {
    test::ensureApp();
    test::ClientRig rig;
    for (const char* code : {"fr", "de"}) {
        const LangPackLookup fr = PoLangPackStore::parseFile(std::string(TLVCLI_SOURCE_LANG_DIR) +
                                                             "/tlvcli_" + code + ".po");
        ASSERT_TRUE(fr.pack) << fr.error;
        rig.fake.langPacks.add(std::string("tlvcli_") + code, *fr.pack);
    }
    rig.start();
    Localization& loc = rig.c().texts();
    FormText text([&loc](int id, const std::vector<std::string>& in) {
        auto at = [&](size_t i) { return i < in.size() ? in[i] : std::string(); };
        return loc.funLoadResString(id, at(0), at(1), at(2), at(3));
    });

    NoPasswordHost passwordHost;
    test::FakeSettingsHost settingsHost;
    PasswordDialogs passwords(rig.scheduler, text, passwordHost, rig.c().log());
    passwords.runModal = [](QDialog& d) { d.show(); };
    passwords.subDeactivationPassword(nullptr);
    frmOptions options(rig.scheduler, text, settingsHost, rig.c().log());
    frmSetupWizard wizard(rig.scheduler, text, settingsHost, rig.c().log());
    frmAbout about(rig.scheduler, text, rig.c().log(), {}, buildAboutInfo(false));
    std::vector<Localizable*> forms = {passwords.current(), &options, &wizard, &about};
    for (Localizable* f : forms)
        loc.registerForm(f);

    auto captions = [&] {
        return std::vector<std::string>{
            passwords.currentAs<frmPasswd>()->ui().cmdDeactivate->text().toStdString(),
            options.ui().cmdSave->text().toStdString(), wizard.ui().cmdNext->text().toStdString(),
            about.ui().lblVersionCaption->text().toStdString()};
    };
    const std::vector<std::string> english = {"Deactivate ", "Save", "Next >", "Version"};
    ASSERT_EQ(captions(), english);

    // The lock screen's language list: current language only.
    loc.setCurrentLanguage("tlvcli_fr", 0);
    EXPECT_EQ(captions(),
              (std::vector<std::string>{"Désactiver ", "Enregistrer", "Suivant >", "Version"}));
    EXPECT_EQ(passwords.currentAs<frmPasswd>()->ui().lblPrompt->text().toStdString(),
              "Veuillez vous identifier pour désactiver Talvor Client");

    rig.openSession(2, 6);
    rig.c().funStopSession(false); // the server's SessionClose
    rig.c().subDefaultState();
    EXPECT_EQ(loc.currentLanguage(), "tlvcli_en");
    EXPECT_EQ(captions(), english);

    // The server's default language changes both: the next customer starts in German.
    loc.setDefaultLanguageSuffix("_de", 0);
    loc.setCurrentLanguage("tlvcli_fr", 0);
    rig.openSession(2, 6);
    rig.c().funStopSession(false); // the server's SessionClose
    rig.c().subDefaultState();
    EXPECT_EQ(captions(),
              (std::vector<std::string>{"Deaktivieren ", "Speichern", "Weiter >", "Version"}));
    for (Localizable* f : forms)
        loc.unregisterForm(f);
}

} // namespace
} // namespace tlv
