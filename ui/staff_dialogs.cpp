#include "ui/staff_dialogs.h"

#include "core/client.h"
#include "link/server_link.h"
#include "ui/frmAbout.h"
#include "ui/frmBlock.h"
#include "ui/frmMain.h"
#include "ui/frmOptions.h"
#include "ui/frmSetupWizard.h"
#include "ui/qt_forms.h"

#include <QEventLoop>

#include <cmath>

namespace tlv {

namespace {
constexpr size_t kTokenLength = 20;
}

StaffDialogs::StaffDialogs(Client& client, QtForms& forms, ServerLink& link, WebBrowser& web)
    : m_client(client), m_forms(forms), m_link(link), m_web(web),
      m_passwords(client.ports().scheduler, text(), *this, client.log()) {
    // The password dialog on display follows the language while it is loaded.
    m_passwords.onCurrentChanged = [this](PasswordDialog* d) {
        if (m_registeredPassword)
            m_client.texts().unregisterForm(m_registeredPassword);
        m_registeredPassword = d;
        if (d)
            m_client.texts().registerForm(d);
    };
}

StaffDialogs::~StaffDialogs() {
    Localization& loc = m_client.texts();
    if (m_registeredPassword)
        loc.unregisterForm(m_registeredPassword);
    for (Localizable* f :
         std::initializer_list<Localizable*>{m_options.get(), m_wizard.get(), m_about.get()})
        if (f)
            loc.unregisterForm(f);
}

FormText StaffDialogs::text() {
    Localization& loc = m_client.texts();
    return FormText([&loc](int id, const std::vector<std::string>& in) {
        auto at = [&](size_t i) { return i < in.size() ? in[i] : std::string(); };
        return loc.funLoadResString(id, at(0), at(1), at(2), at(3));
    });
}

void StaffDialogs::install(FormHooks& hooks) {
    hooks.subDeactivationPassword = [this](QWidget* owner) { subDeactivationPassword(owner); };
    hooks.subQuitPassword = [this] { subQuitPassword(); };
    hooks.subLogOffPassword = [this] { subLogOffPassword(); };
    hooks.showPasswdChange = [this](QWidget* owner) { showPasswordChange(owner); };
    hooks.showOptions = [this] { showOptions(); };
    hooks.showAbout = [this](bool modal) { showAbout(modal); };
    hooks.showAboutSplash = [this] { showAboutSplash(); };
    hooks.showSetupWizardModal = [this] { showSetupWizardModal(); };
    hooks.dialogLoaded = [this](FormId id) { return isLoaded(id); };
    hooks.unloadDialog = [this](FormId id) { unload(id); };
}

QWidget* StaffDialogs::ownerWindow() const {
    return m_forms.block() && m_forms.block()->isVisible() ? static_cast<QWidget*>(m_forms.block())
                                                           : m_forms.main();
}

void StaffDialogs::showOptions() {
    try {
        if (m_options)
            return;
        m_options = std::make_unique<frmOptions>(m_client.ports().scheduler, text(), *this,
                                                 m_client.log(), ownerWindow());
        m_client.texts().registerForm(m_options.get());
        m_options->onUnload = [this] {
            m_client.texts().unregisterForm(m_options.get());
            m_options.release()->deleteLater();
        };
        m_options->exec();
    } catch (const std::exception& e) {
        m_client.log().subLogError("frmMain.mnuOptions_ClickError", e);
    }
}

void StaffDialogs::showSetupWizardModal() {
    try {
        if (m_wizard)
            return;
        m_wizard = std::make_unique<frmSetupWizard>(m_client.ports().scheduler, text(), *this,
                                                    m_client.log());
        m_client.texts().registerForm(m_wizard.get());
        m_wizard->onUnload = [this] {
            m_client.texts().unregisterForm(m_wizard.get());
            m_wizard.release()->deleteLater();
        };
        m_wizard->exec();
    } catch (const std::exception& e) {
        m_client.log().subLogError("modMain.MainError", e);
    }
}

void StaffDialogs::showAbout(bool modal) {
    try {
        if (m_about)
            m_about->unload();
        frmAbout::Deps deps;
        deps.funFindLangPacks = [this] { return m_client.texts().funFindLangPacks(); };
        deps.setFormLoaded = [this](FormId f, bool l) { setFormLoaded(f, l); };
        deps.web = &m_web;
        m_about = std::make_unique<frmAbout>(m_client.ports().scheduler, text(), m_client.log(),
                                             deps, buildAboutInfo(m_client.flags().debug));
        m_client.texts().registerForm(m_about.get());
        m_about->onUnload = [this] {
            m_client.texts().unregisterForm(m_about.get());
            m_about.release()->deleteLater();
        };
        if (modal)
            m_about->exec();
        else
            m_about->show();
    } catch (const std::exception& e) {
        m_client.log().subLogError("frmMain.mnuAbout_ClickError", e);
    }
}

void StaffDialogs::showAboutSplash() {
    showAbout(false);
    if (m_about)
        m_about->showAsSplash();
}

bool StaffDialogs::isLoaded(FormId id) const {
    const auto it = m_loaded.find(id);
    return it != m_loaded.end() && it->second;
}

void StaffDialogs::unload(FormId id) {
    switch (id) {
    case FormId::frmPasswd:
        m_passwords.unloadDeactivation();
        break;
    case FormId::frmPasswdChange:
        m_passwords.unloadPasswordChange();
        break;
    case FormId::frmPasswdClose:
    case FormId::frmPasswdLogOff:
        if (m_passwords.current())
            m_passwords.current()->unload();
        break;
    case FormId::frmAbout:
        if (m_about)
            m_about->unload();
        break;
    case FormId::frmOptions:
        if (m_options)
            m_options->unload();
        break;
    case FormId::frmSetupWizard:
        if (m_wizard)
            m_wizard->unload();
        break;
    default:
        break;
    }
}

// ---- PasswordHost ----

std::string StaffDialogs::adminLogon() const {
    return m_client.constants().genAdminLogon;
}
std::string StaffDialogs::adminPassword() const {
    return m_client.settings().password;
}
std::string StaffDialogs::managerLogin() const {
    return m_link.managerLogin();
}
std::string StaffDialogs::managerPassword() const {
    return m_link.managerPassword();
}
std::string StaffDialogs::sessionPassword() const {
    return m_link.sessionPassword();
}
void StaffDialogs::setSessionPassword(const std::string& password) {
    m_link.setSessionPassword(password);
}
std::string StaffDialogs::workstationName() const {
    return m_client.settings().workstationName;
}

void StaffDialogs::funSendData(const std::string& message) {
    // The dialogs compose whole messages; the link frames token and payload itself.
    if (message.size() < 2 * kTokenLength)
        return;
    m_link.sendMessage(
        std::string_view(message).substr(0, kTokenLength),
        std::string_view(message).substr(kTokenLength, message.size() - 2 * kTokenLength), true);
}

void StaffDialogs::subDeactivate() {
    m_client.subDeactivate();
}
void StaffDialogs::subLock() {
    m_client.subLock();
}
void StaffDialogs::startUnblockCountdown() {
    if (m_forms.block())
        m_forms.block()->startUnblockCountdown(
            std::llround(m_client.constants().wksnActivateDelayTime * 86400.0));
}
void StaffDialogs::funMsg(int number, const std::string& insert) {
    m_client.funMsg(number, insert.empty() ? std::optional<std::string>() : insert);
}
bool StaffDialogs::funMsgYes(int number) {
    return m_client.funMsg(number) == MsgAnswer::Yes;
}
void StaffDialogs::subShutdown(int exitFlags) {
    m_client.subShutdown(exitFlags, "");
}
void StaffDialogs::funShutdownApplication(bool force) {
    // The quit password was given: a staff quit.
    if (force)
        m_client.subStaffQuit();
    else
        m_client.funShutdownApplication(false);
}

void StaffDialogs::setFormLoaded(FormId form, bool loaded) {
    m_loaded[form] = loaded;
}

void StaffDialogs::hideStatus() {
    m_forms.funHideStatusWindows();
}
void StaffDialogs::focusMain() {
    if (m_forms.main())
        m_forms.main()->activateWindow();
}
std::string StaffDialogs::defaultText(int id) {
    return m_client.texts().funLoadResStringDefault(id);
}

// ---- SettingsFormsHost ----

const SystemSettings& StaffDialogs::settings() const {
    return m_client.settings();
}
void StaffDialogs::subSetSystemSettings(const SystemSettings& edited) {
    m_client.settings() = edited;
    m_client.store().subSetSystemSettings(m_client.settings(), m_client.constants());
}
void StaffDialogs::setServerCaption(const std::string& caption) {
    if (m_forms.main())
        m_forms.main()->setServerName(QString::fromStdString(caption));
}
void StaffDialogs::localizeAll() {
    m_client.texts().localizeAll();
}
void StaffDialogs::unloadMain() {
    // Unloading the main form ends the client.
    m_client.funShutdownApplication(true);
}
void StaffDialogs::setMainTopmost(bool topmost) {
    m_forms.setTopmost("frmMain", topmost);
}
void StaffDialogs::storeConfigWizardDone() {
    SystemSettings& s = m_client.settings();
    s.configWizardMachine = 1;
    s.configWizardUser = 1;
    m_client.store().SetRegSettings(kSettingsAppName, "General", "Config Wizard", "1", REG_SZ);
    m_client.store().SetRegUserSettings(kSettingsAppName, "General", "Config Wizard", "1", REG_SZ);
}
void StaffDialogs::subActivate() {
    m_client.subActivate();
}

} // namespace tlv
