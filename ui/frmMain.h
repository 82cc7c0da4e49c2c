#pragma once

#include "ui/form_text.h"

#include <QMainWindow>
#include <QPixmap>

#include <functional>
#include <memory>

class QMenu;
class QSystemTrayIcon;

namespace Ui {
class frmMain;
}

namespace tlv {

class MainHost {
public:
    virtual ~MainHost() = default;
    virtual int state() const = 0;
    virtual int sessionType() const = 0;
    virtual void subDefaultState() = 0;     // cmdActiver, mnuActivate
    virtual void quitRequested() = 0;       // cmdQuit, mnuQuit: password dialog or shutdown
    virtual void logOffRequested() = 0;     // cmdShutdown, mnuLogOff: subLogOffPassword
    virtual void deactivateRequested() = 0; // mnuDeactivate
    virtual void toggleStatusWindows() = 0; // double click, mnuStatus
    virtual void askStopSession() = 0;      // mnuStopSession: 10184 with the close action
    virtual void showOptions() = 0;
    virtual void showAbout(bool modal) = 0;
    virtual void formUnloaded() = 0; // Form_Unload: funShutdownApplication unless shutting down
    virtual bool aboutShown() const = 0;
};

// The window shown while deactivated, and the tray icon.
class frmMain : public QMainWindow {
    Q_OBJECT
public:
    frmMain(FormText text, MainHost& host, QWidget* parent = nullptr);
    ~frmMain() override;

    Ui::frmMain& ui() { return *m_ui; }
    QMenu& mnuPopup() { return *m_popup; }
    void subLocalizeInterface();

    // Saved position kept on screen (Form_Load); the position to save (Form_Unload).
    void restorePosition(int top, int left, const QRect& screen);
    QPoint positionToSave() const { return {m_savedLeft, m_savedTop}; }
    void fitToControls();

    void setServerName(const QString& name);
    void setConnexionStatus(const QString& status);

    // Tray icon: added by subActivate / subDefaultState, removed by subDeactivate and shutdown.
    void addTrayIcon();
    void removeTrayIcon();
    bool trayIconShown() const;
    // The client's tmrActiveTrayIcon blinks the icon between imgTlvInactive and imgTlvCliSmall.
    void setTrayImage(bool inactive);
    bool trayShowsInactiveImage() const { return m_inactiveShown; }

    // Tray callbacks, handled only in states 3 to 8.
    void trayDoubleClick();
    // Prepares mnuPopup: mnuDeactivate only with Ctrl and Alt held, mnuStatus and the default
    // item by session type. Returns false when the state ignores the click.
    bool prepareTrayMenu(Qt::KeyboardModifiers held);
    void setStopSessionEnabled(bool enabled);
    void setShuttingDown(bool s) { m_shuttingDown = s; }

protected:
    void closeEvent(QCloseEvent* e) override;
    void changeEvent(QEvent* e) override;

private:
    std::unique_ptr<Ui::frmMain> m_ui;
    FormText m_text;
    MainHost& m_host;
    std::unique_ptr<QMenu> m_popup;
    std::unique_ptr<QSystemTrayIcon> m_tray;
    QIcon m_imgTlvInactive;
    QIcon m_imgTlvCliSmall;
    bool m_inactiveShown = true;
    bool m_shuttingDown = false;
    int m_savedTop = 0;
    int m_savedLeft = 0;
};

} // namespace tlv
