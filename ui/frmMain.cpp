#include "ui/frmMain.h"

#include "ui/theme.h"
#include "ui_frmMain.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>
#include <QSystemTrayIcon>

namespace tlv {

frmMain::frmMain(FormText text, MainHost& host, QWidget* parent)
    : QMainWindow(parent), m_ui(std::make_unique<Ui::frmMain>()), m_text(std::move(text)),
      m_host(host) {
    m_ui->setupUi(this);
    applyTheme(this, primaryScreenScale());
    m_imgTlvInactive = QIcon(drawPicture(Picture::TrayInactive, 64));
    m_imgTlvCliSmall = QIcon(drawPicture(Picture::TrayActive, 64));
    setWindowIcon(m_imgTlvCliSmall);

    auto& u = *m_ui;
    m_popup = std::make_unique<QMenu>();
    m_popup->setObjectName("mnuPopup");
    // A top-level menu: it does not inherit the window's style sheet.
    applyTheme(m_popup.get(), primaryScreenScale());
    m_popup->addAction(u.mnuStatus);
    m_popup->addAction(u.mnuStopSession);
    m_popup->addSeparator();
    m_popup->addAction(u.mnuDeactivate);
    m_popup->addAction(u.mnuAboutPopup);

    connect(u.cmdActiver, &QPushButton::clicked, this, [this] { m_host.subDefaultState(); });
    connect(u.mnuActivate, &QAction::triggered, this, [this] { m_host.subDefaultState(); });
    connect(u.cmdQuit, &QPushButton::clicked, this, [this] { m_host.quitRequested(); });
    connect(u.mnuQuit, &QAction::triggered, this, [this] { m_host.quitRequested(); });
    connect(u.cmdShutdown, &QPushButton::clicked, this, [this] { m_host.logOffRequested(); });
    connect(u.mnuLogOff, &QAction::triggered, this, [this] { m_host.logOffRequested(); });
    connect(u.mnuDeactivate, &QAction::triggered, this, [this] { m_host.deactivateRequested(); });
    connect(u.mnuStatus, &QAction::triggered, this, [this] { m_host.toggleStatusWindows(); });
    connect(u.mnuStopSession, &QAction::triggered, this, [this] { m_host.askStopSession(); });
    connect(u.mnuOptions, &QAction::triggered, this, [this] { m_host.showOptions(); });
    connect(u.mnuAbout, &QAction::triggered, this, [this] { m_host.showAbout(true); });
    connect(u.mnuAboutPopup, &QAction::triggered, this, [this] { m_host.showAbout(false); });

    subLocalizeInterface();
    fitToControls();
}

frmMain::~frmMain() {
    removeTrayIcon();
}

void frmMain::subLocalizeInterface() {
    auto& u = *m_ui;
    const FormText& t = m_text;
    setWindowTitle(t(10000));
    u.lblServerNameCaption->setText(t(10139));
    u.lblConnexionStatusCaption->setText(t(10140));
    u.cmdActiver->setText(t(10113));
    u.cmdActiver->setToolTip(t(10301));
    u.cmdQuit->setText(t(10110));
    u.cmdQuit->setToolTip(t(10303));
    u.cmdShutdown->setText(t(10111));
    u.cmdShutdown->setToolTip(t(10302));
    u.mnuFile->setTitle(t(10144));
    u.mnuTools->setTitle(t(10149));
    u.mnuHelp->setTitle(t(10145));
    u.mnuActivate->setText(t(10301));
    u.mnuLogOff->setText(t(10146));
    u.mnuQuit->setText(t(10303));
    u.mnuOptions->setText(t(10147));
    u.mnuAbout->setText(t(10141) + t(10000));
    u.mnuAboutPopup->setText(t(10141) + t(10000));
    u.mnuStatus->setText(t(10112));
    u.mnuStopSession->setText(t(10148));
    u.mnuDeactivate->setText(t(10143) + t(10000));
    if (m_tray)
        m_tray->setToolTip(t(10000));
}

void frmMain::fitToControls() {
    // The client area just holds fraControls.
    m_ui->fraControls->adjustSize();
    adjustSize();
    setFixedSize(sizeHint());
}

void frmMain::restorePosition(int top, int left, const QRect& screen) {
    const QSize sz = frameGeometry().size().expandedTo(size());
    if (top + sz.height() > screen.bottom() + 1)
        top = screen.bottom() + 1 - sz.height();
    if (left + sz.width() > screen.right() + 1)
        left = screen.right() + 1 - sz.width();
    // Also kept inside from the top and the left (a position saved on a larger screen).
    top = std::max(top, screen.top());
    left = std::max(left, screen.left());
    // The client area's corner, as geometry() gives it back when the position is saved: move()
    // before the first show places the client area under some window managers and the frame
    // under others, and the window would creep by a title bar at every start.
    setGeometry(QRect(QPoint(left, top), size()));
    m_savedTop = top;
    m_savedLeft = left;
}

void frmMain::setServerName(const QString& name) {
    m_ui->lblServerName->setText(name);
}
void frmMain::setConnexionStatus(const QString& status) {
    m_ui->lblConnexionStatus->setText(status);
}

void frmMain::addTrayIcon() {
    if (!m_tray) {
        m_tray = std::make_unique<QSystemTrayIcon>(m_imgTlvInactive);
        m_tray->setToolTip(m_text(10000));
        connect(m_tray.get(), &QSystemTrayIcon::activated, this,
                [this](QSystemTrayIcon::ActivationReason r) {
                    if (r == QSystemTrayIcon::DoubleClick)
                        trayDoubleClick();
                    else if (r == QSystemTrayIcon::Context) {
                        if (prepareTrayMenu(QGuiApplication::queryKeyboardModifiers()))
                            m_popup->popup(QCursor::pos());
                    }
                });
    }
    setTrayImage(true);
    m_tray->show();
}

void frmMain::removeTrayIcon() {
    if (m_tray)
        m_tray->hide();
}

bool frmMain::trayIconShown() const {
    return m_tray && m_tray->isVisible();
}

void frmMain::setTrayImage(bool inactive) {
    m_inactiveShown = inactive;
    if (m_tray)
        m_tray->setIcon(inactive ? m_imgTlvInactive : m_imgTlvCliSmall);
}

void frmMain::trayDoubleClick() {
    const int st = m_host.state();
    if (st < 3 || st > 8)
        return;
    m_host.toggleStatusWindows();
}

bool frmMain::prepareTrayMenu(Qt::KeyboardModifiers held) {
    const int st = m_host.state();
    if (st < 3 || st > 8)
        return false;
    auto& u = *m_ui;
    u.mnuDeactivate->setEnabled(held.testFlag(Qt::ControlModifier) &&
                                held.testFlag(Qt::AltModifier));
    const bool free = m_host.sessionType() == 3;
    u.mnuStatus->setEnabled(!free);
    m_popup->setDefaultAction(free ? nullptr : u.mnuStatus);
    return true;
}

void frmMain::setStopSessionEnabled(bool enabled) {
    m_ui->mnuStopSession->setEnabled(enabled);
}

void frmMain::closeEvent(QCloseEvent* e) {
    m_savedTop = y();
    m_savedLeft = x();
    if (!m_shuttingDown) {
        e->ignore();
        m_host.formUnloaded();
        return;
    }
    QMainWindow::closeEvent(e);
}

void frmMain::changeEvent(QEvent* e) {
    QMainWindow::changeEvent(e);
    if (e->type() == QEvent::ActivationChange && isActiveWindow() && !m_host.aboutShown())
        raise();
}

} // namespace tlv
