#include "core/client.h"
#include "link/client_link.h"
#include "link/extensions.h"
#include "link/message.h"
#include "platform/fake/fake_sockets.h"
#include "platform/fake/memory_hive.h"
#include "platform/fake/recording_ports.h"
#include "platform/fake/virtual_time.h"
#include "platform/paths.h"
#include "tests/support/temp_root.h"
#include "ui/qt_forms.h"
#include "ui_frmBlock.h"
#include "ui_frmMsgBox.h"
#include "ui_frmStatus.h"

#include <QApplication>
#include <QScreen>

#include <gtest/gtest.h>

#include <filesystem>

namespace tlv {
namespace {

// The real client on fakes and virtual time, with the Qt forms behind its ports.
class QtFormsClient : public ::testing::Test {
protected:
    QtFormsClient() {
        layout = RuntimeLayout::fromEnvironment({{"TLVCLI_ROOT", root.path()}}, root.path());
        clock.setSinceBoot(3'600'000);
        forms = std::make_unique<QtForms>(scheduler, layout);
        client = std::make_unique<Client>(ClientPorts{
            clock, scheduler, machine, user, fake.systemInfo, layout, fake.lockdown, fake.mute,
            *forms, *forms, *forms, fake.cleanup, fake.batch, fake.apps, fake.sessionEnd,
            fake.instanceLock, fake.processExit, fake.langPacks, fake.autostart});
        forms->attach(*client);
        const std::string key = SettingsStore::keyPath(kSettingsAppName, "General");
        machine.set(key, "Config Wizard", RegValue::sz("1"));
        user.set(key, "Config Wizard", RegValue::sz("1"));
        forms->hooks().subStartConnexion = [this](int t, int m, const std::string& id,
                                                  const std::string& pw) {
            requests.push_back(std::to_string(t) + " " + std::to_string(m) + " " + id + " " + pw);
        };
    }
    ~QtFormsClient() override {
        client.reset();
        forms.reset();
    }
    void start() {
        client->Main("-d -t", DisplayKind::X11);
        scheduler.runPending();
    }

    test::TempRoot root;
    VirtualClock clock;
    VirtualScheduler scheduler{clock};
    MemoryHive machine;
    MemoryHive user;
    FakePorts fake;
    RuntimeLayout layout;
    std::unique_ptr<QtForms> forms;
    std::unique_ptr<Client> client;
    std::vector<std::string> requests;
};

TEST_F(QtFormsClient, StartShowsTheLoginScreenWithTheDefaultDocument) {
    start();
    ASSERT_EQ(client->state(), kStateActive);
    ASSERT_NE(forms->block(), nullptr);
    auto& u = forms->block()->ui();
    EXPECT_TRUE(forms->block()->isVisible());
    EXPECT_TRUE(u.fraControlsActive->isVisible());
    EXPECT_TRUE(std::filesystem::exists(layout.dataFolder + "/en_intro.rtf"));
    EXPECT_FALSE(u.rtbMessage->document()->isEmpty());
    EXPECT_EQ(u.cmdCxn->text().toStdString(), client->texts().funLoadResString(10113));

    forms->setServerConnected(true);
    u.txtCardNum->setText("123456");
    u.cmdCxn->click();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0], "2 6 123456 ");
}

TEST_F(QtFormsClient, TheLogoGoesThroughTheClientsOwnReader) {
    start();
    auto& u = forms->block()->ui();
    const std::string logPath = toNativePath(client->log().logPath());
    // The shipped logo is one our reader shows.
    EXPECT_EQ(test::readFile(logPath).find("funLoadImgError"), std::string::npos);
    // A logo our PNG reader refuses is logged as such; the lock screen shows its own picture.
    test::writeFile(layout.dataFolder + "/logo.png", "\x89PNG\r\n\x1a\nnot a png");
    client->subShowBlockScreen();
    const std::string log = test::readFile(logPath);
    EXPECT_NE(log.find("modGlobalFunctions.funLoadImgError"), std::string::npos) << log;
    EXPECT_FALSE(u.picLogo->pixmap().isNull());
}

TEST_F(QtFormsClient, TheLinkReachesControlsByName) {
    start();
    auto& u = forms->block()->ui();
    forms->setEnabled("frmBlock", "txtCardNum", false);
    EXPECT_FALSE(u.txtCardNum->isEnabled());
    forms->setText("frmBlock", "txtLogin", "bob");
    EXPECT_EQ(u.txtLogin->text(), "bob");
    forms->setValue("frmBlock", "optDisconnected", true);
    EXPECT_TRUE(u.optDisconnected->isChecked());
    forms->setCaption("frmMain", "lblConnexionStatus", "Connected");
    // Unknown controls and forms that are not loaded are left alone.
    forms->setEnabled("frmBlock", "noSuchControl", false);
    forms->setEnabled("frmPasswd", "cmdOK", false);
    EXPECT_TRUE(forms->isLoaded(std::string_view("frmBlock")));
    EXPECT_FALSE(forms->isLoaded(std::string_view("frmPasswd")));
}

TEST_F(QtFormsClient, NoCreditScreenCountsDownFromTheSessionExpiryTime) {
    start();
    client->setSessionType(kSessionCard);
    client->setPreviousState(kStateConnected);
    client->setState(kStateNoCredit);
    client->subShowBlockScreen();
    auto& u = forms->block()->ui();
    EXPECT_TRUE(u.fraControlsNoMoreCredit->isVisible());
    EXPECT_TRUE(forms->block()->closeSessionCountdownRunning());
    EXPECT_EQ(forms->block()->closeSessionCountdown(), 5 * 60);
    scheduler.advance(1000);
    EXPECT_TRUE(u.lblCloseSessionWarning->text().endsWith("04:59"));
}

TEST_F(QtFormsClient, ClientMessagesUseTheProgramsOwnBox) {
    start();
    client->hooks().subShowMsgBox("Your coffee is ready.", false, false, MsgAction::Empty);
    ASSERT_TRUE(forms->messageBoxes()->loaded());
    EXPECT_TRUE(client->msgBoxShown());
    EXPECT_EQ(forms->messageBoxes()->box()->ui().lblText->text(), "Your coffee is ready.");
    forms->messageBoxes()->box()->ui().cmdOK->click();
    EXPECT_FALSE(client->msgBoxShown());
}

// The server's messages, its offer to pause and its chat lines reach the forms through the link.
TEST_F(QtFormsClient, TheServersMessagesReachTheProgramsOwnBoxAndTheChat) {
    FakeSocketFactory sockets;
    LinkExtensions ext;
    ClientLink link(*client, sockets, *forms, ext);
    start();
    client->setSessionType(kSessionCard);
    client->setPreviousState(client->state());
    client->setState(kStateConnected);
    client->sessionClock().onSessionOK(1.0, 60000.0, 0);
    client->funStartSession();

    link.link().subProcessServerData(funBuildMessage(tok::kMessageSend, "Closing at 22:00"));
    ASSERT_TRUE(forms->messageBoxes()->loaded());
    auto& box = forms->messageBoxes()->box()->ui();
    EXPECT_EQ(box.lblText->text(), "Closing at 22:00");
    box.cmdOK->click();
    EXPECT_FALSE(client->msgBoxShown());

    // No internet: a yes/no box whose yes pauses the session.
    link.link().subProcessServerData(funBuildMessage(tok::kNotifyNoInetCnx));
    ASSERT_TRUE(forms->messageBoxes()->loaded());
    auto& offer = forms->messageBoxes()->box()->ui();
    EXPECT_TRUE(offer.cmdYes->isVisible());
    offer.cmdYes->click();
    EXPECT_EQ(client->state(), kStatePaused);

    link.link().subProcessServerData(funBuildMessage(tok::kChatMessage, "hi"));
    EXPECT_TRUE(
        forms->statusWindows()->status().ui().txtWksnChatHist->toPlainText().endsWith("hi"));
}

TEST_F(QtFormsClient, SessionStartPreparesAndShowsTheStatusWindow) {
    start();
    client->setSessionType(kSessionCard);
    client->setPreviousState(client->state());
    client->setState(kStateConnected);
    client->sessionClock().onSessionOK(1.0, 60000.0, 0);
    client->funStartSession();
    ASSERT_NE(forms->statusWindows(), nullptr);
    EXPECT_TRUE(forms->statusWindows()->status().isVisible());
    EXPECT_FALSE(forms->block()->isVisible());
    scheduler.advance(1000);
    EXPECT_FALSE(forms->statusWindows()->status().ui().lblRemainTime->text().isEmpty());
}

TEST_F(QtFormsClient, LanguageChosenOnTheLockScreenRelocalizesAndReloadsTheMessage) {
    LangPack fr;
    fr.nativeName = "Fran\xC3\xA7"
                    "ais";
    fr.westernName = "French";
    fr.texts[10113] = "Activer";
    fake.langPacks.add("tlvcli_fr", fr);
    test::writeFile(layout.dataFolder + "/fr_intro.rtf", R"({\rtf1 Bienvenue})");
    start();
    auto& u = forms->block()->ui();
    ASSERT_EQ(u.cmbLanguage->count(), 2);
    EXPECT_EQ(u.cmbLanguage->itemText(1), "Fran\xC3\xA7"
                                          "ais \xE2\x80\x93 French");
    u.cmbLanguage->setCurrentIndex(1);
    emit u.cmbLanguage->activated(1);
    EXPECT_EQ(u.cmdCxn->text(), "Activer");
    EXPECT_EQ(u.rtbMessage->document()->toPlainText(), "Bienvenue");
    // Without its own document a language shows the English one.
    std::filesystem::remove(layout.dataFolder + "/fr_intro.rtf");
    emit u.cmbLanguage->activated(1);
    EXPECT_TRUE(u.rtbMessage->document()->toPlainText().startsWith("Welcome"));
    // The next customer starts in the cafe's language.
    client->subShowBlockScreen();
    EXPECT_EQ(u.cmdCxn->text().toStdString(), client->texts().funLoadResStringDefault(10113));
}

// Top and Left are twips, 15 to the pixel: the default centres the main window on the screen,
// a stored position is read and written in twips.
TEST_F(QtFormsClient, MainWindowPositionIsCentredAndKeptInTwips) {
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    start();
    ASSERT_NE(forms->main(), nullptr);
    EXPECT_EQ(forms->main()->pos(), QPoint((screen.width() * 15 - 4740) / 2 / 15,
                                           (screen.height() * 15 - 1935) / 2 / 15));
    forms->main()->move(100, 40);
    client->funShutdownApplication(false);
    const std::string key = SettingsStore::keyPath(kSettingsAppName, "Main window position");
    EXPECT_EQ(user.get(key, "Left"), RegValue::sz("1500"));
    EXPECT_EQ(user.get(key, "Top"), RegValue::sz("600"));
}

TEST_F(QtFormsClient, StoredMainWindowPositionIsReadInTwips) {
    const std::string key = SettingsStore::keyPath(kSettingsAppName, "Main window position");
    user.set(key, "Left", RegValue::sz("1800"));
    user.set(key, "Top", RegValue::sz("750"));
    start();
    ASSERT_NE(forms->main(), nullptr);
    EXPECT_EQ(forms->main()->pos(), QPoint(120, 50));
}

} // namespace
} // namespace tlv

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
