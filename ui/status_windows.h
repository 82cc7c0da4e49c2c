#pragma once

#include "ui/actions.h"
#include "ui/form_text.h"

#include <QObject>
#include <QRect>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>

namespace Ui {
class frmStatus;
class frmSmallStatus;
class frmMicroStatus;
} // namespace Ui

namespace tlv {

class Scheduler;
class Timer;

// The full status window.
class frmStatus : public QWidget {
    Q_OBJECT
public:
    explicit frmStatus(QWidget* parent = nullptr);
    ~frmStatus() override;
    Ui::frmStatus& ui() { return *m_ui; }
    std::function<void()> onUnload;
    // The window took its real size (after its layout ran, or the frame was added), or the
    // window manager put it somewhere else than asked.
    std::function<void()> onGeometryChanged;

protected:
    void closeEvent(QCloseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void moveEvent(QMoveEvent* e) override;

private:
    std::unique_ptr<Ui::frmStatus> m_ui;
};

class frmSmallStatus : public QWidget {
    Q_OBJECT
public:
    explicit frmSmallStatus(QWidget* parent = nullptr);
    ~frmSmallStatus() override;
    Ui::frmSmallStatus& ui() { return *m_ui; }

private:
    std::unique_ptr<Ui::frmSmallStatus> m_ui;
};

class frmMicroStatus : public QWidget {
    Q_OBJECT
public:
    explicit frmMicroStatus(QWidget* parent = nullptr);
    ~frmMicroStatus() override;
    Ui::frmMicroStatus& ui() { return *m_ui; }

private:
    std::unique_ptr<Ui::frmMicroStatus> m_ui;
};

// What the status windows need from the client.
class StatusHost {
public:
    virtual ~StatusHost() = default;
    virtual int sessionType() const = 0;
    virtual int state() const = 0;
    virtual std::string userId() const = 0;
    virtual bool serverConnected() const = 0;
    virtual bool hideAllStatusWindows() const = 0;
    virtual bool disableSessionCloseButton() const = 0;
    // The about box, the message box or the deactivation-password dialog is shown.
    virtual bool blockingDialogShown() const = 0;
    virtual void hideMainForm() = 0;
    virtual void subUnblock() = 0;
    virtual void unloadPasswdChangeAndAbout() = 0;
    virtual void showPasswdChange(QWidget* owner) = 0;
    // subShowMsgBox with the catalogue texts and actions of the status windows.
    virtual void askPause(QWidget* owner) = 0;
    virtual void askCloseSession(QWidget* owner) = 0;
    virtual void askConnectedMode(ModeOptionOwner* owner) = 0;
    virtual void askDisconnectedMode(ModeOptionOwner* owner) = 0;
    // The wire message: chat token + text + end token.
    virtual void sendChatMessage(const std::string& text) = 0;
    // The tray menu's close-session item follows the Quit buttons.
    virtual void setStopSessionMenuEnabled(bool enabled) = 0;
    virtual QRect workArea() const = 0;
};

// frmStatus, frmSmallStatus and frmMicroStatus with subShowStatus, subHideStatus,
// funHideStatusWindows, subSetCloseButtons and the chat.
class StatusWindows : public QObject, public ModeOptionOwner {
    Q_OBJECT
public:
    StatusWindows(Scheduler& scheduler, FormText text, StatusHost& host);
    ~StatusWindows() override;

    // Forms are created on first use and kept; the loaded flags follow them.
    frmStatus& status();
    frmSmallStatus& smallStatus();
    frmMicroStatus& microStatus();
    bool statusLoaded() const { return m_status != nullptr; }
    bool smallStatusLoaded() const { return m_small != nullptr; }
    bool microStatusLoaded() const { return m_micro != nullptr; }

    void subLocalizeInterface();
    // The session start's frames per session type.
    void prepareForSession(int sessionType);
    void subShowStatus();
    void subHideStatus();
    bool funHideStatusWindows();
    void subSetCloseButtons();
    void setServerConnected(bool connected);

    void cmdChatOpen_Click();
    void cmdChatClose_Click();
    void cmdChat_Click();
    // A message from the manager (inbound chat).
    void receiveChatMessage(const std::string& text);
    // The same with the speaker already in front ("Manager: text").
    void receiveChatLine(const std::string& line);
    // "You", or "You (id)" with a long id cut to ten characters and "...".
    std::string speakerName() const;

    bool hideTimerRunning() const;

    void selectConnectedOption() override;
    void selectDisconnectedOption() override;

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void restartHideTimer();
    void stopHideTimer();
    void placeBottomRight(QWidget* w);
    void localizeStatus();
    void localizeSmall();
    void localizeMicro();
    void optConnected_MouseDown();
    void optDisconnected_MouseDown();
    void setChatOpen(bool open);

    Scheduler& m_scheduler;
    FormText m_text;
    StatusHost& m_host;
    std::unique_ptr<Timer> m_tmrHideStatus;
    std::unique_ptr<frmStatus> m_status;
    std::unique_ptr<frmSmallStatus> m_small;
    std::unique_ptr<frmMicroStatus> m_micro;
    double m_scale = 1.0;
};

} // namespace tlv
