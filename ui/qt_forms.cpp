#include "ui/qt_forms.h"

#include "core/client.h"
#include "core/format.h"
#include "platform/app_closing_port.h"
#include "platform/paths.h"
#include "platform/scheduler.h"
#include "ui/default_docs.h"
#include "ui/load_img.h"
#include "ui_frmBlock.h"
#include "ui_frmMain.h"
#include "ui_frmMicroStatus.h"
#include "ui_frmSmallStatus.h"
#include "ui_frmStatus.h"

#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QScreen>
#include <QTextEdit>

#include <cmath>
#include <cstdio>
#include <filesystem>

namespace tlv {

namespace {

constexpr int kResCloseSession = 10184;
constexpr int kResPause = 10204;
constexpr int kResConnected = 10190;
constexpr int kResDisconnected1 = 10188;
constexpr int kResDisconnected2 = 10189;
constexpr int kResBadCard = 10104;
constexpr int kResNoServer = 10178;
constexpr int kResContactManager = 10179;
constexpr int kResSearching = 10310;

// Our own PNG reader (blended over the panel) or Qt's for other formats; a failure is logged
// and the lock screen shows no logo.
QPixmap loadPicture(const std::string& path, Logger& log) {
    if (path.empty())
        return {};
    return QPixmap::fromImage(
        funLoadImg(QString::fromStdString(path), log, frmBlock::panelColour()));
}

} // namespace

// A language without its own message documents shows the built-in English ones.
std::string messageFileOrEnglish(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (path.empty() || fs::exists(path, ec))
        return path;
    const fs::path p(path);
    const std::string name = p.filename().string();
    if (name.size() > 3 && name[2] == '_' && name.rfind("en_", 0) != 0) {
        const fs::path english = p.parent_path() / ("en_" + name.substr(3));
        if (fs::exists(english, ec))
            return english.string();
    }
    return path;
}

QtForms::QtForms(Scheduler& scheduler, const RuntimeLayout& layout)
    : m_scheduler(scheduler), m_layout(layout) {}

// The forms outlive the client (built before it, as its ports): nothing of the client is
// touched here.
QtForms::~QtForms() = default;

void QtForms::attach(Client& client) {
    m_client = &client;
    m_boxes = std::make_unique<MessageBoxes>(m_scheduler, formText(), *this);
    client.texts().registerForm(this);
    client.hooks().subShowMsgBox = [this](const std::string& text, bool yesNo, bool noDefault,
                                          MsgAction action) {
        showMsgBox(text, yesNo, noDefault, action);
    };
    client.hooks().setStatusTexts = [this](const StatusTexts& t) { setStatusTexts(t); };
    // The data folder gets the default documents on first start.
    installDefaultDocuments(m_layout.dataFolder, &client.log());
}

FormText QtForms::formText() const {
    Client* c = m_client;
    return FormText([c](int id, const std::vector<std::string>& in) {
        if (!c)
            return std::string();
        auto at = [&](size_t i) { return i < in.size() ? in[i] : std::string(); };
        return c->texts().funLoadResString(id, at(0), at(1), at(2), at(3));
    });
}

void QtForms::subLocalizeInterface() {
    if (m_block) {
        m_block->subLocalizeInterface();
        // The list follows a language set elsewhere (the server, the end of a session).
        const std::string current = m_client ? m_client->texts().currentLanguage() : "";
        for (size_t i = 0; i < m_languages.size(); ++i)
            if (m_languages[i].languageName == current)
                m_block->selectLanguage(static_cast<int>(i));
    }
    if (m_main)
        m_main->subLocalizeInterface();
    if (m_status)
        m_status->subLocalizeInterface();
    if (m_boxes)
        m_boxes->subLocalizeInterface();
}

// ---- loading ----

frmBlock& QtForms::ensureBlock() {
    if (!m_block) {
        m_block = std::make_unique<frmBlock>(m_scheduler, formText(), *this,
                                             m_client->flags().noLockdown);
        m_block->setSandbox(m_layout.sandbox);
        m_block->setWorkstationName(m_client->settings().workstationName);
        m_languages = m_client->texts().funFindLangPacks();
        std::vector<LanguageItem> items;
        int current = 0;
        for (size_t i = 0; i < m_languages.size(); ++i) {
            if (!m_languages[i].displayable)
                continue;
            items.push_back(
                {m_languages[i].westernName, static_cast<int>(i), m_languages[i].nativeName});
            if (m_languages[i].languageName == m_client->texts().currentLanguage())
                current = static_cast<int>(i);
        }
        m_block->fillLanguages(items, current, m_languages);
        m_block->setServerConnected(m_connected);
    }
    return *m_block;
}

void QtForms::ensureStatus() {
    if (!m_status) {
        m_status = std::make_unique<StatusWindows>(m_scheduler, formText(), *this);
        m_status->subSetCloseButtons();
    }
}

void QtForms::ensureMain() {
    if (!m_main) {
        m_main = std::make_unique<frmMain>(formText(), *this);
        const SystemSettings& s = m_client->settings();
        m_main->setServerName(s.automaticServerConnection ? formText()(kResSearching)
                                                          : QString::fromStdString(s.serverName));
        m_main->setConnexionStatus(formText()(10337));
        const QScreen* screen = QGuiApplication::primaryScreen();
        if (screen)
            m_main->restorePosition(m_client->userSettings().mainTop / kTwipsPerPixel,
                                    m_client->userSettings().mainLeft / kTwipsPerPixel,
                                    screen->geometry());
    }
}

bool QtForms::isLoaded(FormId id) const {
    switch (id) {
    case FormId::frmMain:
        return m_main != nullptr;
    case FormId::frmBlock:
        return m_block != nullptr;
    case FormId::frmMsgBox:
        return m_boxes && m_boxes->loaded();
    case FormId::frmStatus:
        return m_status && m_status->statusLoaded();
    case FormId::frmSmallStatus:
        return m_status && m_status->smallStatusLoaded();
    case FormId::frmMicroStatus:
        return m_status && m_status->microStatusLoaded();
    default:
        return m_hooks.dialogLoaded && m_hooks.dialogLoaded(id);
    }
}

void QtForms::load(FormId id) {
    switch (id) {
    case FormId::frmMain:
        ensureMain();
        break;
    case FormId::frmBlock:
        ensureBlock();
        break;
    case FormId::frmStatus:
        ensureStatus();
        m_status->status();
        break;
    case FormId::frmSmallStatus:
        ensureStatus();
        m_status->smallStatus();
        break;
    case FormId::frmMicroStatus:
        ensureStatus();
        m_status->microStatus();
        break;
    default:
        break;
    }
}

void QtForms::unload(FormId id) {
    switch (id) {
    case FormId::frmMain:
        if (m_main) {
            // Form_Unload: the position is saved with the user settings.
            m_client->userSettings().mainTop = m_main->geometry().y() * kTwipsPerPixel;
            m_client->userSettings().mainLeft = m_main->geometry().x() * kTwipsPerPixel;
            m_main->setShuttingDown(true);
            m_main->hide();
            // Deleted later: a log-off or quit is asked from this form's own menu, whose
            // handler is still on the stack when the shutdown unloads the form.
            m_main.release()->deleteLater();
        }
        break;
    case FormId::frmBlock:
        if (m_block) {
            m_block->hide();
            m_block.release()->deleteLater();
        }
        break;
    case FormId::frmMsgBox:
        if (m_boxes)
            m_boxes->unload();
        break;
    case FormId::frmStatus:
    case FormId::frmSmallStatus:
    case FormId::frmMicroStatus:
        hide(id);
        break;
    default:
        if (m_hooks.unloadDialog)
            m_hooks.unloadDialog(id);
        break;
    }
}

void QtForms::hide(FormId id) {
    switch (id) {
    case FormId::frmMain:
        if (m_main)
            m_main->hide();
        break;
    case FormId::frmBlock:
        if (m_block)
            m_block->hide();
        break;
    case FormId::frmMsgBox:
        if (m_boxes && m_boxes->box())
            m_boxes->box()->hide();
        break;
    case FormId::frmStatus:
        if (m_status && m_status->statusLoaded())
            m_status->status().hide();
        break;
    case FormId::frmSmallStatus:
        if (m_status && m_status->smallStatusLoaded())
            m_status->smallStatus().hide();
        break;
    case FormId::frmMicroStatus:
        if (m_status && m_status->microStatusLoaded())
            m_status->microStatus().hide();
        break;
    default:
        break;
    }
}

// ---- the lock screen ----

void QtForms::showBlockScreen(const BlockScreenView& v) {
    frmBlock& b = ensureBlock();
    b.showStateFrames(v.followServer ? 11 : v.state);
    if (v.followServer)
        showFollowedScreen();
    b.setMessageFile(messageFileOrEnglish(toNativePath(v.messageFile)));
    if (v.resetSessionChoice) {
        auto& u = b.ui();
        u.txtCardNum->clear();
        u.txtLogin->clear();
        u.txtPassword->clear();
        (v.connectedMode ? u.optConnected : u.optDisconnected)->setChecked(true);
    }
    b.setHideCardNumber(v.hideCardNumber);
    b.setSandbox(v.sandbox || m_layout.sandbox);
    b.setLogo(loadPicture(v.logoPath, m_client->log()));
    if (v.controls == BlockControls::NoMoreCredit)
        b.ui().cmdReCnx->setEnabled(v.rechargeEnabled);
    if (v.startCloseCountdown)
        b.startCloseSessionCountdown(std::llround(m_client->sessionExpiryCountdown() * 86400.0));
    b.setWindowFlag(Qt::WindowStaysOnTopHint, v.topmost);
    b.showCoveringScreen();
    auto& u = b.ui();
    switch (v.focus) {
    case BlockFocus::LoginControls:
        if (u.optCard->isChecked())
            u.txtCardNum->setFocus();
        else if (u.OptClient->isChecked())
            u.txtLogin->setFocus();
        else
            u.optConnected->setFocus();
        break;
    case BlockFocus::UnPause:
        u.cmdUnPause->setFocus();
        break;
    case BlockFocus::ReCnx:
        u.cmdReCnx->setFocus();
        break;
    default:
        break;
    }
}

bool QtForms::lockOptionEnabled(LockOption option) const {
    if (!m_block)
        return true;
    auto& u = m_block->ui();
    switch (option) {
    case LockOption::SelfService:
        return u.optSelfService->isEnabled();
    case LockOption::Card:
        return u.optCard->isEnabled();
    case LockOption::Client:
        return u.OptClient->isEnabled();
    }
    return true;
}

void QtForms::applyDefaultUsage(UsageSelection s) {
    frmBlock& b = ensureBlock();
    auto& u = b.ui();
    switch (s) {
    case UsageSelection::SelectClient:
        b.resetLoginPanel(4, u.optConnected->isChecked());
        break;
    case UsageSelection::SelectSelfService:
        b.resetLoginPanel(1, u.optConnected->isChecked());
        break;
    case UsageSelection::SelectCard:
        b.resetLoginPanel(2, u.optConnected->isChecked());
        break;
    case UsageSelection::ClearAll:
        // Exclusive radio buttons cannot all be cleared without turning exclusivity off.
        for (QRadioButton* r : {u.optCard, u.OptClient, u.optSelfService})
            r->setAutoExclusive(false);
        for (QRadioButton* r : {u.optCard, u.OptClient, u.optSelfService}) {
            r->setChecked(false);
            r->setAutoExclusive(true);
        }
        u.fraCardNumber->hide();
        u.fraClient->hide();
        u.cmdCxn->setEnabled(false);
        break;
    case UsageSelection::HideChoice:
        b.resetLoginPanel(0, u.optConnected->isChecked());
        break;
    case UsageSelection::Nothing:
        b.resetLoginPanel(-1, u.optConnected->isChecked());
        break;
    }
}

void QtForms::stopCloseSessionCountdown() {
    if (m_block)
        m_block->stopCloseSessionCountdown();
}

void QtForms::setServerConnected(bool connected) {
    m_connected = connected;
    if (m_block)
        m_block->setServerConnected(connected);
    if (m_status)
        m_status->setServerConnected(connected);
}

void QtForms::showFollowedScreen() {
    // The latest picture of the manager's screen, once the server has sent one.
    const std::string path = m_layout.dataFolder + "/follow_image.jpg";
    std::error_code ec;
    ensureBlock().setFollowedScreen(
        std::filesystem::exists(path, ec) ? loadPicture(path, m_client->log()) : QPixmap());
}

// ---- main form ----

FormsPort::ScreenSize QtForms::screenSize() const {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return {};
    return {screen->geometry().width() * kTwipsPerPixel,
            screen->geometry().height() * kTwipsPerPixel};
}

void QtForms::showMain(bool topmostWithFocus) {
    ensureMain();
    m_main->show();
    if (topmostWithFocus) {
        m_main->raise();
        m_main->activateWindow();
    }
}

void QtForms::fitMainToControls() {
    ensureMain();
    m_main->fitToControls();
}

void QtForms::showMainDisabled(const std::string& statusText) {
    ensureMain();
    auto& u = m_main->ui();
    u.cmdActiver->setEnabled(false);
    u.lblConnexionStatus->setText(QString::fromStdString(statusText));
    u.lblServerName->clear();
    u.cmdActiver->setDefault(false);
    u.cmdQuit->setDefault(true);
    u.cmdQuit->setFocus();
}

void QtForms::showAboutSplash(bool) {
    if (m_hooks.showAboutSplash)
        m_hooks.showAboutSplash();
}

void QtForms::showSetupWizardModal() {
    if (m_hooks.showSetupWizardModal)
        m_hooks.showSetupWizardModal();
}

MsgAnswer QtForms::showStandardMessage(const std::string& text, const std::string& title,
                                       const MsgBoxStyle& style) {
    // Without a screen nobody can answer: the message goes to standard error and the
    // default button answers it.
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal")) {
        std::fprintf(stderr, "%s: %s\n", title.c_str(), text.c_str());
        if (style.buttons == MsgButtons::YesNo)
            return style.secondButtonDefault ? MsgAnswer::No : MsgAnswer::Yes;
        return MsgAnswer::OK;
    }
    QMessageBox box;
    box.setWindowTitle(QString::fromStdString(title));
    QString shown = QString::fromStdString(text);
    shown.replace("\r\n", "\n");
    box.setText(shown);
    switch (style.icon) {
    case MsgIcon::Critical:
        box.setIcon(QMessageBox::Critical);
        break;
    case MsgIcon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    case MsgIcon::Exclamation:
        box.setIcon(QMessageBox::Warning);
        break;
    case MsgIcon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case MsgIcon::None:
        break;
    }
    const FormText t = formText();
    QPushButton* yes = nullptr;
    QPushButton* no = nullptr;
    QPushButton* ok = nullptr;
    if (style.buttons == MsgButtons::YesNo) {
        yes = box.addButton(t(10267), QMessageBox::YesRole);
        no = box.addButton(t(10268), QMessageBox::NoRole);
        box.setDefaultButton(style.secondButtonDefault ? no : yes);
        box.setEscapeButton(no);
    } else {
        ok = box.addButton(t(10266), QMessageBox::AcceptRole);
        box.setDefaultButton(ok);
        box.setEscapeButton(ok);
    }
    if (style.systemModal || style.foreground)
        box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    box.exec();
    if (style.buttons == MsgButtons::YesNo)
        return box.clickedButton() == yes ? MsgAnswer::Yes : MsgAnswer::No;
    return MsgAnswer::OK;
}

// ---- status windows ----

void QtForms::prepareForSession(int sessionType) {
    ensureStatus();
    m_status->prepareForSession(sessionType);
    m_status->subSetCloseButtons();
}

void QtForms::setConnectedOption(bool connected) {
    ensureStatus();
    if (connected)
        m_status->selectConnectedOption();
    else
        m_status->selectDisconnectedOption();
}

void QtForms::subShowStatus() {
    ensureStatus();
    m_status->subShowStatus();
}

void QtForms::subSetCloseButtons(bool, bool) {
    // The flags are read from the client's constants when the buttons are set.
    ensureStatus();
    m_status->subSetCloseButtons();
}

bool QtForms::funHideStatusWindows() {
    if (m_status)
        return m_status->funHideStatusWindows();
    return true;
}

void QtForms::setStatusTexts(const StatusTexts& t) {
    if (!m_status)
        return;
    const QString elapsed = QString::fromStdString(t.elapsed);
    const QString remaining = QString::fromStdString(t.remaining);
    const QString amount = QString::fromStdString(t.amountDue);
    const QString next = QString::fromStdString(t.timeToNextIncrement);
    auto& s = m_status->status().ui();
    s.lblRemainTime->setText(remaining);
    s.lblCliRemainTime->setText(remaining);
    s.lblSelfServRemainTime->setText(remaining);
    s.lblElapsedTimeSelfService->setText(elapsed);
    s.lblAmountDue->setText(amount);
    s.lblTimeToNextIncrement->setText(next);
    s.lblValidDate->setText(QString::fromStdString(t.validDate));
    s.lblValidTime->setText(QString::fromStdString(t.validTime));
    s.lblCliValidDate->setText(QString::fromStdString(t.validDate));
    s.lblCliValidTime->setText(QString::fromStdString(t.validTime));
    auto& m = m_status->smallStatus().ui();
    m.lblRemainTime->setText(remaining);
    m.lblElapsedTimeCard->setText(elapsed);
    m.lblElapsedTimeSelfService->setText(elapsed);
    m.lblAmountDue->setText(amount);
    m.lblTimeToNextIncrement->setText(next);
    if (!t.usedFor.empty())
        m_status->microStatus().ui().lblTitle->setToolTip(QString::fromStdString(t.usedFor));
}

void QtForms::receiveChatMessage(const std::string& text) {
    ensureStatus();
    m_status->receiveChatMessage(text);
}

// ---- tray ----

void QtForms::addIcon() {
    ensureMain();
    m_main->addTrayIcon();
}

void QtForms::removeIcon() {
    if (m_main)
        m_main->removeTrayIcon();
}

void QtForms::setIcon(TrayImage image) {
    if (m_main)
        m_main->setTrayImage(image == TrayImage::imgTlvInactive);
}

// ---- message boxes and actions ----

std::unique_ptr<clsAction> QtForms::makeAction(MsgAction action, ModeOptionOwner* owner) {
    switch (action) {
    case MsgAction::Empty:
        return std::make_unique<clsActionEmpty>();
    case MsgAction::PauseSession:
        return std::make_unique<clsActionPauseSession>(*this);
    case MsgAction::UnPauseSession:
        return std::make_unique<clsActionUnPauseSession>(*this);
    case MsgAction::CloseSession:
        return std::make_unique<clsActionCloseSession>(*this);
    case MsgAction::Connected:
        return std::make_unique<clsActionConnected>(*this, owner ? owner : m_status.get());
    case MsgAction::Disconnected:
        return std::make_unique<clsActionDisconnected>(*this, owner ? owner : m_status.get());
    }
    return nullptr;
}

void QtForms::showMsgBox(const std::string& text, bool yesNo, bool noDefault, MsgAction action,
                         QWidget* owner, bool sticky) {
    if (!m_boxes)
        return;
    m_boxes->subShowMsgBox(QString::fromStdString(text), yesNo ? 1 : 0, noDefault ? 2 : 1,
                           makeAction(action, nullptr), owner, 0, sticky);
}

void QtForms::beep() {
    if (m_hooks.beep)
        m_hooks.beep();
    else
        QApplication::beep();
}

void QtForms::unloadPasswordDialogs() {
    for (FormId id : {FormId::frmPasswdChange, FormId::frmPasswd})
        if (isLoaded(id))
            unload(id);
}

void QtForms::setMsgBoxShown(bool shown) {
    if (m_client)
        m_client->msgBoxShown() = shown;
}

bool QtForms::funPauseSession() {
    return m_client->funPauseSession();
}

void QtForms::setSessionMode(int state) {
    m_client->setPreviousState(m_client->state());
    m_client->setState(state);
}

void QtForms::setAppKillerEnabled(bool enabled) {
    m_client->tmrAppKiller().setEnabled(enabled);
}
void QtForms::subKillApps() {
    m_client->ports().apps.subKillApps();
}

// ---- BlockHost ----

bool QtForms::serverConnected() const {
    return m_connected;
}

void QtForms::subStartConnexion(int type, int mode, const std::string& id,
                                const std::string& password) {
    if (m_hooks.subStartConnexion) {
        m_hooks.subStartConnexion(type, mode, id, password);
        return;
    }
    const FormText t = formText();
    showMsgBox(t.raw(kResNoServer) + "\r\n" + t.raw(kResContactManager), false, false,
               MsgAction::Empty);
}

void QtForms::subCheckBalance() {
    if (m_hooks.subCheckBalance)
        m_hooks.subCheckBalance();
}

void QtForms::funUnPauseSession() {
    m_client->funUnPauseSession();
}

void QtForms::askCloseSession() {
    showMsgBox(formText().raw(kResCloseSession), true, true, MsgAction::CloseSession);
}

void QtForms::showInvalidCardNumber() {
    showMsgBox(formText().raw(kResBadCard), false, false, MsgAction::Empty);
}

bool QtForms::deactivationPasswordSet() const {
    return !m_client->settings().password.empty() ||
           (m_hooks.managerPasswordSet && m_hooks.managerPasswordSet());
}

void QtForms::subDeactivationPassword() {
    if (!m_hooks.subDeactivationPassword)
        return;
    // Over the lock screen while it is shown, else over the main form.
    QWidget* owner = m_block && m_block->isVisible() ? static_cast<QWidget*>(m_block.get())
                                                     : static_cast<QWidget*>(m_main.get());
    m_hooks.subDeactivationPassword(owner);
}

void QtForms::subDeactivate() {
    m_client->subDeactivate();
}
void QtForms::subActivate() {
    m_client->subActivate();
}
void QtForms::subShowBlockScreen() {
    m_client->subShowBlockScreen();
}
void QtForms::funStopSession(bool noReboot) {
    m_client->funStopSession(noReboot);
}
void QtForms::unloadDeactivationPasswordDialog() {
    if (isLoaded(FormId::frmPasswd))
        unload(FormId::frmPasswd);
}

void QtForms::languageChosen(int entry) {
    if (entry < 0 || static_cast<size_t>(entry) >= m_languages.size())
        return;
    const LangEntry& e = m_languages[static_cast<size_t>(entry)];
    m_client->texts().setCurrentLanguage(e.languageName,
                                         static_cast<int16_t>(std::atoi(e.charset.c_str())));
    m_client->texts().localizeAll();
    if (m_block)
        m_block->setMessageFile(
            messageFileOrEnglish(toNativePath(m_client->messageFileFor(m_client->state()))));
}

std::string QtForms::funFormatTime(int64_t seconds) const {
    return formatTimeMs(seconds * 1000, 0, TimeUnits{});
}

// ---- StatusHost ----

int QtForms::sessionType() const {
    return m_client->sessionType();
}
int QtForms::state() const {
    return m_client->state();
}
std::string QtForms::userId() const {
    return m_hooks.userId ? m_hooks.userId() : std::string();
}
bool QtForms::hideAllStatusWindows() const {
    return m_client->constants().wksnHideAllStatusWin == 1;
}
bool QtForms::disableSessionCloseButton() const {
    return m_client->constants().wksnDisableSessCloseButton == 1;
}
bool QtForms::blockingDialogShown() const {
    return m_client->msgBoxShown() || (m_boxes && m_boxes->loaded());
}
void QtForms::hideMainForm() {
    if (m_main)
        m_main->hide();
}
void QtForms::subUnblock() {
    m_client->subUnblock();
}
void QtForms::unloadPasswdChangeAndAbout() {
    for (FormId id : {FormId::frmPasswdChange, FormId::frmAbout})
        if (isLoaded(id))
            unload(id);
}
void QtForms::showPasswdChange(QWidget* owner) {
    if (m_hooks.showPasswdChange)
        m_hooks.showPasswdChange(owner);
}
void QtForms::askPause(QWidget* owner) {
    if (m_boxes)
        m_boxes->subShowMsgBox(formText()(kResPause), 1, 2,
                               makeAction(MsgAction::PauseSession, nullptr), owner, 0, false);
}
void QtForms::askCloseSession(QWidget* owner) {
    if (m_boxes)
        m_boxes->subShowMsgBox(formText()(kResCloseSession), 1, 2,
                               makeAction(MsgAction::CloseSession, nullptr), owner, 0, false);
}
void QtForms::askConnectedMode(ModeOptionOwner* owner) {
    if (m_boxes)
        m_boxes->subShowMsgBox(formText()(kResConnected), 1, 1,
                               makeAction(MsgAction::Connected, owner), nullptr, 0, false);
}
void QtForms::askDisconnectedMode(ModeOptionOwner* owner) {
    const FormText t = formText();
    if (m_boxes)
        m_boxes->subShowMsgBox(t(kResDisconnected1) + "\n\n" + t(kResDisconnected2), 1, 2,
                               makeAction(MsgAction::Disconnected, owner), nullptr, 0, false);
}
void QtForms::sendChatMessage(const std::string& text) {
    if (m_hooks.sendChatMessage)
        m_hooks.sendChatMessage(text);
}
void QtForms::setStopSessionMenuEnabled(bool enabled) {
    if (m_main)
        m_main->setStopSessionEnabled(enabled);
}
QRect QtForms::workArea() const {
    const QScreen* s = QGuiApplication::primaryScreen();
    return s ? s->availableGeometry() : QRect();
}

// ---- MainHost ----

void QtForms::subDefaultState() {
    m_client->subDefaultState();
}

void QtForms::quitRequested() {
    m_client->cmdQuit_Click();
}

void QtForms::logOffRequested() {
    m_client->cmdShutdown_Click();
}

void QtForms::deactivateRequested() {
    m_client->mnuDeactivate_Click();
}

void QtForms::subQuitPassword() {
    if (m_hooks.subQuitPassword)
        m_hooks.subQuitPassword();
}

void QtForms::subLogOffPassword() {
    if (m_hooks.subLogOffPassword)
        m_hooks.subLogOffPassword();
}

void QtForms::toggleStatusWindows() {
    ensureStatus();
    if (m_status->smallStatusLoaded() && m_status->smallStatus().isVisible())
        m_status->subShowStatus();
    else
        m_status->subHideStatus();
}

void QtForms::askStopSession() {
    showMsgBox(formText().raw(kResCloseSession), true, true, MsgAction::CloseSession);
}

void QtForms::showOptions() {
    if (m_hooks.showOptions)
        m_hooks.showOptions();
}

void QtForms::showAbout(bool modal) {
    if (m_hooks.showAbout)
        m_hooks.showAbout(modal);
}

void QtForms::formUnloaded() {
    if (!m_client->shuttingDown())
        m_client->funShutdownApplication(true);
}

bool QtForms::aboutShown() const {
    return isLoaded(FormId::frmAbout);
}

} // namespace tlv
