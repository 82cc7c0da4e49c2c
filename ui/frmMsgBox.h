#pragma once

#include "ui/actions.h"
#include "ui/form_text.h"

#include <QDialog>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace Ui {
class frmMsgBox;
}

namespace tlv {

class Scheduler;
class Timer;

// The program's own message box: topmost over the lock screen and the status windows,
// answers itself with its default button after 65535 ms.
class frmMsgBox : public QDialog {
    Q_OBJECT
public:
    frmMsgBox(Scheduler& scheduler, FormText text, QWidget* parent = nullptr);
    ~frmMsgBox() override;

    Ui::frmMsgBox& ui() { return *m_ui; }
    void subLocalizeInterface();

    // Fills the box: buttons 0 = OK, 1 = Yes and No; defaultButton 1 = Yes, 2 = No.
    void fill(const QString& text, int buttons, int defaultButton);
    void setAction(std::unique_ptr<clsAction> action) { m_action = std::move(action); }
    void setOwner(QWidget* owner) { m_owner = owner; }
    QWidget* owner() const { return m_owner; }
    void centreOnWorkArea();

    void cmdOK_Click();
    void cmdYes_Click();
    void cmdNo_Click();

    // Called when the box is unloaded (closed by a button or replaced).
    std::function<void()> onUnload;

    static constexpr int64_t kTimeOutMs = 65535;

protected:
    void showEvent(QShowEvent* e) override;
    void reject() override;

private:
    void tmrTimeOut_Timer();
    void unload();

    std::unique_ptr<Ui::frmMsgBox> m_ui;
    FormText m_text;
    std::unique_ptr<Timer> m_tmrTimeOut;
    std::unique_ptr<clsAction> m_action;
    QWidget* m_owner = nullptr;
    int m_buttons = 0;
    int m_default = 1;
};

// subShowMsgBox and its message-box record; owns the one frmMsgBox.
class MessageBoxes {
public:
    struct Host {
        virtual ~Host() = default;
        virtual void beep() = 0;
        // Part of step 2: the password-change and deactivation-password dialogs go away.
        virtual void unloadPasswordDialogs() = 0;
        virtual void setMsgBoxShown(bool shown) = 0;
    };

    MessageBoxes(Scheduler& scheduler, FormText text, Host& host);
    ~MessageBoxes();

    void subShowMsgBox(const QString& text, int buttons, int defaultButton,
                       std::unique_ptr<clsAction> action, QWidget* owner, int modal, bool sticky);
    bool loaded() const { return m_box != nullptr; }
    frmMsgBox* box() { return m_box.get(); }
    void unload();
    const QString& textOnDisplay() const { return m_text_on_display; }
    bool stickyOnDisplay() const { return m_sticky; }
    void subLocalizeInterface();

private:
    Scheduler& m_scheduler;
    FormText m_text;
    Host& m_host;
    std::unique_ptr<frmMsgBox> m_box;
    // Unloaded boxes live until the event that unloaded them has finished (a box is often
    // unloaded from its own button handler); they are deleted with their timers while the
    // scheduler still exists.
    std::vector<std::unique_ptr<frmMsgBox>> m_retired;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    QString m_text_on_display;
    bool m_sticky = false;
};

} // namespace tlv
