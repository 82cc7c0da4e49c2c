#pragma once

#include "core/localization.h"
#include "ui/form_text.h"
#include "ui/password_host.h"

#include <QDialog>

#include <cstdint>
#include <functional>
#include <memory>

namespace Ui {
class frmPasswd;
class frmPasswdClose;
class frmPasswdLogOff;
class frmPasswdChange;
} // namespace Ui

namespace tlv {

class Logger;
class Scheduler;
class Timer;

// Base of the four dialogs: the loaded flag, the localization and the one way out (unload).
// Centres a dialog over its owner, inside the owner's screen and stacked above it.
void placeOver(QWidget& dialog, QWidget& owner);

class PasswordDialog : public QDialog, public Localizable {
    Q_OBJECT
public:
    PasswordDialog(FormId id, FormText text, PasswordHost& host, Logger& log, QWidget* parent);
    ~PasswordDialog() override;
    void subLocalizeInterface() override = 0;
    // Closes the dialog and clears its loaded flag; the owner deletes it later.
    void unload();
    bool unloaded() const { return m_unloaded; }
    std::function<void()> onUnload;

protected:
    void reject() override; // the close box and Escape act as Cancel
    // Its layout may still grow it when it is shown: kept inside the screen then.
    void showEvent(QShowEvent* e) override;
    QString caption(int id) const;
    FormId m_id;
    FormText m_text;
    PasswordHost& m_host;
    Logger& m_log;

private:
    bool m_unloaded = false;
};

// Deactivation by the administrator or the manager; closes itself after 20 seconds.
class frmPasswd : public PasswordDialog {
    Q_OBJECT
public:
    frmPasswd(Scheduler& scheduler, FormText text, PasswordHost& host, Logger& log,
              int16_t& failures, QWidget* parent = nullptr);
    ~frmPasswd() override;
    Ui::frmPasswd& ui() { return *m_ui; }
    void subLocalizeInterface() override;
    void cmdDeactivate_Click();
    void cmdCancel_Click();
    int countdown() const { return m_countdown; }
    static constexpr int16_t kMaxFailures = 3;

protected:
    void showEvent(QShowEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void prepareLogin();
    void tmrQuit_Timer();
    std::unique_ptr<Ui::frmPasswd> m_ui;
    std::unique_ptr<Timer> m_tmrQuit;
    int16_t& m_failures;
    int m_countdown = 20;
    bool m_refused = false;
};

// Quitting the client.
class frmPasswdClose : public PasswordDialog {
    Q_OBJECT
public:
    frmPasswdClose(FormText text, PasswordHost& host, Logger& log, QWidget* parent = nullptr);
    ~frmPasswdClose() override;
    Ui::frmPasswdClose& ui() { return *m_ui; }
    void subLocalizeInterface() override;
    void cmdQuit_Click();

protected:
    void showEvent(QShowEvent* e) override;

private:
    std::unique_ptr<Ui::frmPasswdClose> m_ui;
};

// Log off, restart or power off: the option's index is the exit code it asks for.
class frmPasswdLogOff : public PasswordDialog {
    Q_OBJECT
public:
    frmPasswdLogOff(FormText text, PasswordHost& host, Logger& log, QWidget* parent = nullptr);
    ~frmPasswdLogOff() override;
    Ui::frmPasswdLogOff& ui() { return *m_ui; }
    void subLocalizeInterface() override;
    void optShutdown_Click(int index);
    void cmdQuit_Click();
    int chosenIndex() const { return m_index; }

private:
    void showChoice();

    std::unique_ptr<Ui::frmPasswdLogOff> m_ui;
    int m_index = 0;
};

// The customer's client-account password.
class frmPasswdChange : public PasswordDialog {
    Q_OBJECT
public:
    frmPasswdChange(FormText text, PasswordHost& host, Logger& log, QWidget* parent = nullptr);
    ~frmPasswdChange() override;
    Ui::frmPasswdChange& ui() { return *m_ui; }
    void subLocalizeInterface() override;
    void cmdChange_Click();

private:
    void txtNewPassword_Change();
    std::unique_ptr<Ui::frmPasswdChange> m_ui;
};

// subDeactivationPassword, subQuitPassword, subLogOffPassword and the password change; owns
// the dialog on display and the deactivation failure counter, which lasts between openings.
class PasswordDialogs {
public:
    PasswordDialogs(Scheduler& scheduler, FormText text, PasswordHost& host, Logger& log);
    ~PasswordDialogs();

    void subDeactivationPassword(QWidget* owner);
    void subQuitPassword(QWidget* owner);
    void subLogOffPassword(QWidget* owner);
    void showPasswordChange(QWidget* owner); // frmStatus.cmdCliPassword

    // The dialog on display, or null.
    PasswordDialog* current() const { return m_dialog.get(); }
    template <class T>
    T* currentAs() const {
        return dynamic_cast<T*>(m_dialog.get());
    }
    // The connection supervisor and a new message box take these dialogs away.
    void unloadPasswordChange();
    void unloadDeactivation();
    void subLocalizeInterface();
    int16_t failures() const { return m_failures; }

    // Runs a modal dialog; exec() by default, a plain show() in tests.
    std::function<void(QDialog&)> runModal = [](QDialog& d) { d.exec(); };
    // The dialog on display changes (null once it is unloaded): for its re-localization.
    std::function<void(PasswordDialog*)> onCurrentChanged;

private:
    void present(std::unique_ptr<PasswordDialog> dialog, QWidget* owner, bool topmost);
    Scheduler& m_scheduler;
    FormText m_text;
    PasswordHost& m_host;
    Logger& m_log;
    std::unique_ptr<PasswordDialog> m_dialog;
    int16_t m_failures = 0;
};

} // namespace tlv
