#include "tools/tlvshots/gallery.h"

#include "core/format.h"
#include "core/localization.h"
#include "core/log.h"
#include "platform/fake/virtual_time.h"
#include "platform/linux/po_lang_packs.h"
#include "ui/frmAbout.h"
#include "ui/frmBlock.h"
#include "ui/frmMain.h"
#include "ui/frmMsgBox.h"
#include "ui/frmOptions.h"
#include "ui/frmSetupWizard.h"
#include "ui/load_img.h"
#include "ui/password_dialogs.h"
#include "ui/settings_forms_host.h"
#include "ui/status_windows.h"
#include "ui_frmBlock.h"
#include "ui_frmMain.h"
#include "ui_frmMicroStatus.h"
#include "ui_frmPasswd.h"
#include "ui_frmSmallStatus.h"
#include "ui_frmStatus.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QPainter>
#include <QScreen>
#include <QTemporaryDir>

#include <algorithm>
#include <filesystem>

namespace tlv::gallery {

bool useOffscreenScreen(const QSize& size, const QString& configPath) {
    QFile f(configPath);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    f.write(QString("{\"screens\": [{\"name\": \"shot\", \"x\": 0, \"y\": 0, \"width\": %1, "
                    "\"height\": %2, \"logicalDpi\": 96, \"logicalBaseDpi\": 96, \"dpr\": 1}]}")
                .arg(size.width())
                .arg(size.height())
                .toUtf8());
    f.close();
    qputenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + configPath).toLocal8Bit());
    return true;
}

std::vector<std::string> languages(const std::string& langDir) {
    std::vector<std::string> codes{"en"};
    PoLangPackStore packs(langDir);
    for (const std::string& name : packs.listPacks("tlvcli")) {
        const size_t underscore = name.rfind('_');
        if (underscore != std::string::npos && packs.find(name).pack)
            codes.push_back(name.substr(underscore + 1));
    }
    std::sort(codes.begin(), codes.end());
    codes.erase(std::unique(codes.begin(), codes.end()), codes.end());
    return codes;
}

namespace {

// A client that answers the forms' questions with fixed values, on the real screen.
struct ShotHost : BlockHost, StatusHost, MainHost, MessageBoxes::Host {
    bool connected = true;
    int sessionTypeValue = 2;
    int stateValue = 6;
    std::string user = "734112";

    bool serverConnected() const override { return connected; }
    void subStartConnexion(int, int, const std::string&, const std::string&) override {}
    void subCheckBalance() override {}
    void funUnPauseSession() override {}
    void askCloseSession() override {}
    void showInvalidCardNumber() override {}
    bool deactivationPasswordSet() const override { return false; }
    void subDeactivationPassword() override {}
    void subDeactivate() override {}
    void subActivate() override {}
    void subShowBlockScreen() override {}
    void funStopSession(bool) override {}
    void unloadDeactivationPasswordDialog() override {}
    void languageChosen(int) override {}
    std::string funFormatTime(int64_t seconds) const override {
        return formatTimeMs(seconds * 1000, 0, TimeUnits{});
    }

    int sessionType() const override { return sessionTypeValue; }
    int state() const override { return stateValue; }
    std::string userId() const override { return user; }
    bool hideAllStatusWindows() const override { return false; }
    bool disableSessionCloseButton() const override { return false; }
    bool blockingDialogShown() const override { return false; }
    void hideMainForm() override {}
    void subUnblock() override {}
    void unloadPasswdChangeAndAbout() override {}
    void showPasswdChange(QWidget*) override {}
    void askPause(QWidget*) override {}
    void askCloseSession(QWidget*) override {}
    void askConnectedMode(ModeOptionOwner*) override {}
    void askDisconnectedMode(ModeOptionOwner*) override {}
    void sendChatMessage(const std::string&) override {}
    void setStopSessionMenuEnabled(bool) override {}
    // As the running client: the primary screen's work area.
    QRect workArea() const override {
        const QScreen* s = QGuiApplication::primaryScreen();
        return s ? s->availableGeometry() : QRect();
    }

    void subDefaultState() override {}
    void quitRequested() override {}
    void logOffRequested() override {}
    void deactivateRequested() override {}
    void toggleStatusWindows() override {}
    void askStopSession() override {}
    void showOptions() override {}
    void showAbout(bool) override {}
    void formUnloaded() override {}
    bool aboutShown() const override { return false; }

    void beep() override {}
    void unloadPasswordDialogs() override {}
    void setMsgBoxShown(bool) override {}
};

struct StaffHost : PasswordHost, SettingsFormsHost {
    SystemSettings s;
    std::string admin = "admin";
    StaffHost() {
        s.serverName = "cafe-server";
        s.serverPort = "4646";
        s.workstationName = "PC-07";
        s.windowsUserName = "guest";
        s.automaticServerConnection = false;
    }
    std::string adminLogon() const override { return admin; }
    std::string adminPassword() const override { return "right"; }
    std::string managerLogin() const override { return "manager"; }
    std::string managerPassword() const override { return "right"; }
    std::string sessionPassword() const override { return "old"; }
    void setSessionPassword(const std::string&) override {}
    std::string workstationName() const override { return s.workstationName; }
    void funSendData(const std::string&) override {}
    void subDeactivate() override {}
    void subLock() override {}
    void startUnblockCountdown() override {}
    void funMsg(int, const std::string&) override {}
    bool funMsgYes(int) override { return false; }
    void subShutdown(int) override {}
    void funShutdownApplication(bool) override {}
    void setFormLoaded(FormId, bool) override {}
    void hideStatus() override {}
    void focusMain() override {}
    std::string defaultText(int) override { return {}; }

    const SystemSettings& settings() const override { return s; }
    void subSetSystemSettings(const SystemSettings&) override {}
    void setServerCaption(const std::string&) override {}
    void localizeAll() override {}
    void unloadMain() override {}
    void setMainTopmost(bool) override {}
    void storeConfigWizardDone() override {}
    void subActivate() override {}
};

void settle() {
    // Layout requests travel up one parent per round.
    for (int i = 0; i < 8; ++i) {
        QApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        QApplication::processEvents();
    }
}

QSize screenSize() {
    const QScreen* s = QGuiApplication::primaryScreen();
    return s ? s->geometry().size() : QSize(1366, 768);
}

// A plain desktop with the windows drawn where the program placed them, with title bars.
QImage desktop(const std::vector<QWidget*>& windows) {
    const QSize screen = screenSize();
    QImage desk(screen, QImage::Format_RGB32);
    QPainter p(&desk);
    QLinearGradient g(0, 0, screen.width(), screen.height());
    g.setColorAt(0, QColor(58, 84, 110));
    g.setColorAt(1, QColor(120, 140, 150));
    p.fillRect(desk.rect(), g);
    for (QWidget* w : windows) {
        const QImage body = w->grab().toImage();
        const QRect r = w->geometry();
        if (r.size() == screen || w->windowFlags().testFlag(Qt::FramelessWindowHint)) {
            p.drawImage(r.topLeft(), body);
            continue;
        }
        const int bar = 26;
        const QRect frame(r.x(), r.y() - bar, r.width(), r.height() + bar);
        p.fillRect(frame.adjusted(-1, -1, 1, 1), QColor(0, 0, 0, 90));
        p.fillRect(QRect(frame.topLeft(), QSize(frame.width(), bar)), QColor(34, 40, 50));
        p.setPen(QColor(220, 226, 234));
        QFont f = p.font();
        f.setPixelSize(13);
        p.setFont(f);
        p.drawText(QRect(frame.left() + 10, frame.top(), frame.width() - 20, bar),
                   Qt::AlignVCenter | Qt::AlignLeft, w->windowTitle());
        p.drawImage(r.topLeft(), body);
    }
    return desk;
}

// The lock screen dimmed with a window over it.
QImage overLockScreen(QWidget& block, QWidget& window) {
    QImage shot = block.grab().toImage();
    QPainter p(&shot);
    p.fillRect(shot.rect(), QColor(0, 0, 0, 110));
    p.drawImage(window.geometry().topLeft() - block.geometry().topLeft(), window.grab().toImage());
    return shot;
}

class Renderer {
public:
    Renderer(const Options& o, const Sink& sink)
        : m_options(o), m_sink(sink), m_packs(o.langDir), m_loc(m_packs, m_log, "tlvcli"),
          m_text([this](int id, const std::vector<std::string>& in) {
              auto at = [&](size_t i) { return i < in.size() ? in[i] : std::string(); };
              return m_loc.funLoadResString(id, at(0), at(1), at(2), at(3));
          }) {
        m_table = m_loc.funFindLangPacks();
        const std::string name = "tlvcli_" + o.language;
        for (size_t i = 0; i < m_table.size(); ++i)
            if (m_table[i].languageName == name) {
                m_entry = static_cast<int>(i);
                m_loc.setLanguages(name,
                                   static_cast<int16_t>(std::atoi(m_table[i].charset.c_str())));
            }
        const QString logoPath = QString::fromStdString(o.docsDir + "/logo.png");
        m_logo = QPixmap::fromImage(funLoadImg(logoPath, m_log, frmBlock::panelColour()));
    }

    int run() {
        lockScreen();
        statusWindows();
        staffDialogs();
        return m_count;
    }

private:
    void shoot(const QString& name, QWidget& window, QImage picture = {}) {
        settle();
        Shot s;
        s.name = name;
        s.window = &window;
        s.image = window.grab().toImage();
        s.picture = std::move(picture);
        m_sink(s);
        ++m_count;
    }

    std::string doc(const char* name) const {
        const std::string own = m_options.docsDir + "/" + m_options.language + "_" + name;
        std::error_code ec;
        return std::filesystem::exists(own, ec) ? own : m_options.docsDir + "/en_" + name;
    }

    std::vector<LanguageItem> languageItems() const {
        std::vector<LanguageItem> items;
        for (size_t i = 0; i < m_table.size(); ++i)
            if (m_table[i].displayable)
                items.push_back(
                    {m_table[i].westernName, static_cast<int>(i), m_table[i].nativeName});
        return items;
    }

    void lockScreen() {
        ShotHost host;
        frmBlock block(m_scheduler, m_text, host, true);
        block.setLogo(m_logo);
        block.setWorkstationName("PC-07");
        block.setSandbox(false);
        block.fillLanguages(languageItems(), m_entry, m_table);
        block.setServerConnected(true);
        block.showCoveringScreen();
        auto& u = block.ui();
        auto state2 = [&](int usage) {
            block.showStateFrames(2);
            block.setMessageFile(doc("intro.rtf"));
            block.resetLoginPanel(usage, true);
        };
        state2(2);
        shoot("frmBlock_2_card", block);
        u.txtCardNum->setFocus();
        u.txtCardNum->setText("12a");
        shoot("frmBlock_2_card_hint", block);
        state2(4);
        u.txtLogin->setText("maria");
        u.txtPassword->setText("secret");
        shoot("frmBlock_2_client", block);
        u.txtLogin->setText("ma ria%");
        shoot("frmBlock_2_client_hint", block);
        state2(1);
        shoot("frmBlock_2_selfservice", block);
        block.setServerConnected(false);
        state2(2);
        shoot("frmBlock_2_noserver", block);
        block.setServerConnected(true);
        const struct {
            int state;
            const char* file;
            const char* name;
        } others[] = {{3, "blocked.rtf", "frmBlock_3_blocked"},
                      {4, "sessionend.rtf", "frmBlock_4_sessionend"},
                      {8, "nocredit.rtf", "frmBlock_8_nocredit"},
                      {9, "sessionpaused.rtf", "frmBlock_9_paused"},
                      {10, "sessionpaused.rtf", "frmBlock_10_locked"}};
        for (const auto& o : others) {
            block.showStateFrames(o.state);
            block.setMessageFile(doc(o.file));
            if (o.state == 8)
                block.startCloseSessionCountdown(299);
            shoot(o.name, block);
        }
        block.setServerConnected(false);
        block.showStateFrames(8);
        shoot("frmBlock_8_noserver", block);
        block.setServerConnected(true);
        // Paused by the manager, before the first picture of the manager's screen arrives.
        block.showStateFrames(11);
        block.setMessageFile({});
        block.setFollowedScreen({});
        shoot("frmBlock_11_followserver", block);

        // The language list open, in a blocked state.
        block.showStateFrames(9);
        block.setMessageFile(doc("sessionpaused.rtf"));
        settle();
        u.cmbLanguage->showPopup();
        if (QWidget* popup = u.cmbLanguage->view()->window(); popup && popup->isVisible()) {
            settle();
            QImage shot = block.grab().toImage();
            QPainter p(&shot);
            p.drawImage(popup->geometry().topLeft() - block.geometry().topLeft(),
                        popup->grab().toImage());
            p.end();
            shoot("frmBlock_9_languages", *popup, shot);
        }
        u.cmbLanguage->hidePopup();

        // The message boxes over the lock screen.
        state2(2);
        MessageBoxes boxes(m_scheduler, m_text, host);
        auto box = [&](const QString& name) {
            settle();
            shoot(name, *boxes.box(), overLockScreen(block, *boxes.box()));
        };
        boxes.subShowMsgBox(m_text(10104), 0, 1, nullptr, nullptr, 0, false);
        box("frmMsgBox_ok");
        boxes.subShowMsgBox(m_text(10184), 1, 2, std::make_unique<clsActionEmpty>(), nullptr, 0,
                            false);
        box("frmMsgBox_yesno");
        boxes.subShowMsgBox(m_text(10190), 1, 1, std::make_unique<clsActionEmpty>(), nullptr, 0,
                            false);
        box("frmMsgBox_yesno_yes");
        boxes.unload();

        // The staff's password over the lock screen, then refused once.
        StaffHost staff;
        PasswordDialogs passwords(m_scheduler, m_text, staff, m_log);
        passwords.runModal = [](QDialog& d) { d.show(); };
        passwords.subDeactivationPassword(&block);
        if (auto* d = passwords.currentAs<frmPasswd>()) {
            shoot("frmPasswd", *d, overLockScreen(block, *d));
            d->ui().txtLogin->setText("admin");
            d->ui().txtPassword->setText("wrong");
            d->cmdDeactivate_Click();
            shoot("frmPasswd_refused", *d, overLockScreen(block, *d));
            d->unload();
        }
    }

    void statusWindows() {
        ShotHost host;
        StatusWindows status(m_scheduler, m_text, host);
        const struct {
            int type;
            const char* name;
            const char* user;
        } cases[] = {{2, "card", "734112"}, {4, "client", "maria.lopez"}, {1, "selfservice", ""}};
        for (const auto& c : cases) {
            host.sessionTypeValue = c.type;
            host.user = c.user;
            status.prepareForSession(c.type);
            auto& u = status.status().ui();
            u.lblValidDate->setText("31/12/2026");
            u.lblValidTime->setText("23:59:00");
            u.lblRemainTime->setText("01:42:17");
            u.lblCliValidDate->setText("31/12/2026");
            u.lblCliValidTime->setText("23:59:00");
            u.lblCliRemainTime->setText("03:05:44");
            u.lblElapsedTimeSelfService->setText("00:37:12");
            u.lblAmountDue->setText("\xE2\x82\xAC 1.90");
            u.lblTimeToNextIncrement->setText("02:48");
            auto& s = status.smallStatus().ui();
            s.lblRemainTime->setText("01:42:17");
            s.lblElapsedTimeCard->setText("00:17:43");
            s.lblElapsedTimeSelfService->setText("00:37:12");
            s.lblAmountDue->setText("\xE2\x82\xAC 1.90");
            s.lblTimeToNextIncrement->setText("02:48");
            status.subShowStatus();
            shoot(QString("frmStatus_") + c.name, status.status(), desktop({&status.status()}));
            status.subHideStatus();
            shoot(QString("frmSmallStatus_") + c.name, status.smallStatus(),
                  desktop({&status.smallStatus()}));
        }
        host.sessionTypeValue = 4;
        host.user = "maria.lopez.garcia";
        status.prepareForSession(4);
        status.subShowStatus();
        status.receiveChatMessage("Hello! Your coffee is ready at the counter.");
        status.status().ui().txtWksnChat->setText("Thanks, coming!");
        status.cmdChat_Click();
        status.status().ui().txtWksnChat->setText("Can I print two pages?");
        shoot("frmStatus_chat", status.status(), desktop({&status.status()}));
        status.funHideStatusWindows();
        host.sessionTypeValue = 3;
        status.subShowStatus();
        shoot("frmMicroStatus", status.microStatus(), desktop({&status.microStatus()}));
        status.funHideStatusWindows();
    }

    void staffDialogs() {
        ShotHost host;
        frmMain main(m_text, host);
        main.setServerName(m_text(10310));
        main.setConnexionStatus(m_text(10337));
        main.fitToControls();
        const QScreen* screen = QGuiApplication::primaryScreen();
        // A first start: the saved position is the top left corner.
        main.restorePosition(0, 0, screen ? screen->geometry() : QRect());
        main.show();
        shoot("frmMain", main, desktop({&main}));
        main.ui().mnuDeactivate->setEnabled(false);
        {
            QMenu& menu = main.mnuPopup();
            menu.popup(QPoint(screenSize().width() - 40, screenSize().height() - 40));
            settle();
            shoot("frmMain_mnuPopup", menu, desktop({&main, &menu}));
            menu.hide();
        }

        StaffHost staff;
        PasswordDialogs passwords(m_scheduler, m_text, staff, m_log);
        passwords.runModal = [](QDialog& d) { d.show(); };
        passwords.subQuitPassword(&main);
        if (PasswordDialog* d = passwords.current()) {
            shoot("frmPasswdClose", *d, desktop({&main, d}));
            d->unload();
        }
        passwords.subLogOffPassword(&main);
        if (PasswordDialog* d = passwords.current()) {
            shoot("frmPasswdLogOff", *d, desktop({&main, d}));
            d->unload();
        }
        {
            ShotHost statusHost;
            statusHost.sessionTypeValue = 4;
            StatusWindows status(m_scheduler, m_text, statusHost);
            status.prepareForSession(4);
            status.subShowStatus();
            passwords.showPasswordChange(&status.status());
            if (PasswordDialog* d = passwords.current()) {
                shoot("frmPasswdChange", *d, desktop({&status.status(), d}));
                d->unload();
            }
            status.funHideStatusWindows();
        }
        {
            frmOptions options(m_scheduler, m_text, staff, m_log, &main);
            options.show();
            shoot("frmOptions", options, desktop({&main, &options}));
        }
        {
            staff.s.configWizardMachine = 0;
            frmSetupWizard wizard(m_scheduler, m_text, staff, m_log);
            wizard.show();
            for (int page = 0;; ++page) {
                shoot(QString("frmSetupWizard_%1").arg(page), wizard, desktop({&wizard}));
                if (wizard.page() >= 5)
                    break;
                wizard.cmdNext_Click();
            }
        }
        {
            frmAbout::Deps deps;
            deps.funFindLangPacks = [this] { return m_table; };
            AboutInfo info;
            info.version = "1.9.300";
            info.release = "300";
            info.monthYear = "12/2026";
            frmAbout about(m_scheduler, m_text, m_log, deps, info);
            about.show();
            shoot("frmAbout", about, desktop({&about}));
        }
        main.hide();
    }

    const Options& m_options;
    const Sink& m_sink;
    VirtualClock m_clock;
    VirtualScheduler m_scheduler{m_clock};
    QTemporaryDir m_logDir;
    Logger m_log{m_clock, m_logDir.filePath("tlvshots.log").toStdString()};
    PoLangPackStore m_packs;
    Localization m_loc;
    FormText m_text;
    std::vector<LangEntry> m_table;
    int m_entry = 0;
    QPixmap m_logo;
    int m_count = 0;
};

} // namespace

int render(const Options& options, const Sink& sink) {
    Renderer r(options, sink);
    return r.run();
}

} // namespace tlv::gallery
