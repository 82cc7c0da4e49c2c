#pragma once

#include "platform/forms_port.h"
#include "ui/password_dialogs.h"
#include "ui/settings_forms_host.h"

#include <map>
#include <memory>

class QWidget;

namespace tlv {

class Client;
class QtForms;
class ServerLink;
class WebBrowser;
struct FormHooks;
class frmAbout;
class frmOptions;
class frmSetupWizard;

// The staff dialogs of the running client: the password dialogs, the options, the wizard and
// the about box, over the client, its forms and its server link. Each dialog is registered
// for re-localization while it is loaded.
class StaffDialogs : public PasswordHost, public SettingsFormsHost {
public:
    StaffDialogs(Client& client, QtForms& forms, ServerLink& link, WebBrowser& web);
    ~StaffDialogs() override;

    // Fills the forms' hooks for the password dialogs, the options and the about box.
    void install(FormHooks& hooks);

    void subDeactivationPassword(QWidget* owner) { m_passwords.subDeactivationPassword(owner); }
    void subQuitPassword() { m_passwords.subQuitPassword(ownerWindow()); }
    void subLogOffPassword() { m_passwords.subLogOffPassword(ownerWindow()); }
    void showPasswordChange(QWidget* owner) { m_passwords.showPasswordChange(owner); }
    void showOptions();
    // Returns when the wizard is closed.
    void showSetupWizardModal();
    void showAbout(bool modal);
    void showAboutSplash();
    // For FormsPort::isLoaded and unload of the dialogs' ids.
    bool isLoaded(FormId id) const;
    void unload(FormId id);
    PasswordDialogs& passwords() { return m_passwords; }

    // PasswordHost
    std::string adminLogon() const override;
    std::string adminPassword() const override;
    std::string managerLogin() const override;
    std::string managerPassword() const override;
    std::string sessionPassword() const override;
    void setSessionPassword(const std::string& password) override;
    std::string workstationName() const override;
    void funSendData(const std::string& message) override;
    void subDeactivate() override;
    void subLock() override;
    void startUnblockCountdown() override;
    void funMsg(int number, const std::string& insert = {}) override;
    bool funMsgYes(int number) override;
    void subShutdown(int exitFlags) override;
    void funShutdownApplication(bool force) override;
    void setFormLoaded(FormId form, bool loaded) override;
    void hideStatus() override;
    void focusMain() override;
    std::string defaultText(int id) override;

    // SettingsFormsHost
    const SystemSettings& settings() const override;
    void subSetSystemSettings(const SystemSettings& edited) override;
    void setServerCaption(const std::string& caption) override;
    void localizeAll() override;
    void unloadMain() override;
    void setMainTopmost(bool topmost) override;
    void storeConfigWizardDone() override;
    void subActivate() override;

private:
    QWidget* ownerWindow() const;
    FormText text();

    Client& m_client;
    QtForms& m_forms;
    ServerLink& m_link;
    WebBrowser& m_web;
    std::map<FormId, bool> m_loaded; // before the dialogs, whose destructors clear their flags
    PasswordDialogs m_passwords;
    std::unique_ptr<frmOptions> m_options;
    std::unique_ptr<frmSetupWizard> m_wizard;
    std::unique_ptr<frmAbout> m_about;
    Localizable* m_registeredPassword = nullptr;
};

} // namespace tlv
