#include "ui/status_windows.h"

#include "platform/scheduler.h"
#include "ui/theme.h"
#include "ui_frmMicroStatus.h"
#include "ui_frmSmallStatus.h"
#include "ui_frmStatus.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QMoveEvent>
#include <QResizeEvent>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>

namespace tlv {

namespace {

const std::string kEndToken = "%$&######MessageEnd#";
constexpr Qt::WindowFlags kStatusFlags = Qt::Tool | Qt::WindowTitleHint | Qt::CustomizeWindowHint;
// 60 twips from the edges of the work area.
constexpr int kEdgeMargin = 4;
// Borders and handles a window manager adds besides the title bar.
constexpr int kFrameAllowance = 8;

} // namespace

frmStatus::frmStatus(QWidget* parent) : QWidget(parent), m_ui(std::make_unique<Ui::frmStatus>()) {
    m_ui->setupUi(this);
    setWindowFlags(kStatusFlags | Qt::WindowStaysOnTopHint);
}
frmStatus::~frmStatus() = default;

void frmStatus::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    if (onGeometryChanged)
        onGeometryChanged();
}

void frmStatus::moveEvent(QMoveEvent* e) {
    QWidget::moveEvent(e);
    if (onGeometryChanged)
        onGeometryChanged();
}

void frmStatus::closeEvent(QCloseEvent* e) {
    // The window manager's close only collapses the window; the form is kept.
    e->ignore();
    if (onUnload)
        onUnload();
}

frmSmallStatus::frmSmallStatus(QWidget* parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::frmSmallStatus>()) {
    m_ui->setupUi(this);
    setWindowFlags(kStatusFlags | Qt::WindowStaysOnBottomHint);
}
frmSmallStatus::~frmSmallStatus() = default;

frmMicroStatus::frmMicroStatus(QWidget* parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::frmMicroStatus>()) {
    m_ui->setupUi(this);
    setWindowFlags(kStatusFlags | Qt::WindowStaysOnBottomHint);
}
frmMicroStatus::~frmMicroStatus() = default;

// ---- StatusWindows ----

StatusWindows::StatusWindows(Scheduler& scheduler, FormText text, StatusHost& host)
    : m_scheduler(scheduler), m_text(std::move(text)), m_host(host) {
    m_tmrHideStatus = scheduler.createTimer([this] {
        if (!m_status || !m_status->isVisible()) {
            stopHideTimer();
            return;
        }
        subHideStatus();
    });
    m_tmrHideStatus->setInterval(60000);
    m_scale = primaryScreenScale();
}

StatusWindows::~StatusWindows() {
    // reset() clears the pointer before the window goes: its children's last events reach
    // eventFilter while it is destroyed.
    m_status.reset();
    m_small.reset();
    m_micro.reset();
}

frmStatus& StatusWindows::status() {
    if (m_status)
        return *m_status;
    m_status = std::make_unique<frmStatus>();
    auto& u = m_status->ui();
    applyTheme(m_status.get(), m_scale);
    m_status->onUnload = [this] { subHideStatus(); };
    // Shown with a size that was not final yet, the window may reach past the screen's edge; and
    // a window manager that has not yet told the toolkit the frame's size may refuse a move
    // sent with the resize (the chat opened runs off the bottom): back into the corner then. A
    // window the customer moved inside the screen stays.
    m_status->onGeometryChanged = [this] {
        const QRect area = m_host.workArea();
        const QRect frame = m_status->frameGeometry();
        if (!m_status->isVisible() || area.isEmpty() || area.contains(frame))
            return;
        // Bigger than the screen, it cannot lie inside: only its top left corner (title bar,
        // session details) is brought back, or the window manager's answer would start it again.
        const bool fits = frame.width() <= area.width() && frame.height() <= area.height();
        if (fits || frame.left() < area.left() || frame.top() < area.top())
            placeBottomRight(m_status.get());
    };
    connect(u.cmdPause, &QPushButton::clicked, this, [this] {
        stopHideTimer();
        m_host.askPause(m_status.get());
        m_status->ui().cmdClose->setFocus();
        restartHideTimer();
    });
    connect(u.cmdQuit, &QPushButton::clicked, this, [this] {
        stopHideTimer();
        m_status->ui().cmdClose->setFocus();
        m_host.askCloseSession(m_status.get());
        restartHideTimer();
    });
    connect(u.cmdClose, &QPushButton::clicked, this, [this] { subHideStatus(); });
    connect(u.cmdCliPassword, &QPushButton::clicked, this, [this] {
        stopHideTimer();
        m_host.showPasswdChange(m_status.get());
        restartHideTimer();
    });
    connect(u.cmdChatOpen, &QPushButton::clicked, this, [this] { cmdChatOpen_Click(); });
    connect(u.cmdChatClose, &QPushButton::clicked, this, [this] { cmdChatClose_Click(); });
    connect(u.cmdChat, &QPushButton::clicked, this, [this] { cmdChat_Click(); });
    connect(u.txtWksnChat, &QLineEdit::returnPressed, this, [this] { cmdChat_Click(); });
    connect(u.txtWksnChat, &QLineEdit::textChanged, this, [this] { restartHideTimer(); });
    connect(u.txtWksnChatHist->verticalScrollBar(), &QScrollBar::valueChanged, this,
            [this] { restartHideTimer(); });
    for (QObject* o :
         {static_cast<QObject*>(u.optConnected), static_cast<QObject*>(u.optDisconnected),
          static_cast<QObject*>(u.Label1_10), static_cast<QObject*>(u.lblChatTitle),
          static_cast<QObject*>(u.txtWksnChatHist->viewport())})
        o->installEventFilter(this);
    u.fraChat->hide();
    const int icon = static_cast<int>(16 * m_scale);
    u.cmdChatOpen->setIcon(drawPicture(Picture::ChevronUp, icon * 2));
    u.cmdChatClose->setIcon(drawPicture(Picture::ChevronDown, icon * 2));
    u.cmdChatOpen->setIconSize(QSize(icon, icon));
    u.cmdChatClose->setIconSize(QSize(icon, icon));
    localizeStatus();
    return *m_status;
}

frmSmallStatus& StatusWindows::smallStatus() {
    if (m_small)
        return *m_small;
    m_small = std::make_unique<frmSmallStatus>();
    auto& u = m_small->ui();
    applyTheme(m_small.get(), m_scale);
    connect(u.cmdPause, &QPushButton::clicked, this, [this] {
        m_small->ui().cmdStatus->setFocus();
        m_host.askPause(m_small.get());
        m_small->ui().cmdStatus->setFocus();
    });
    connect(u.cmdQuit, &QPushButton::clicked, this, [this] {
        m_small->ui().cmdStatus->setFocus();
        m_host.askCloseSession(m_small.get());
        m_small->ui().cmdStatus->setFocus();
    });
    connect(u.cmdStatus, &QPushButton::clicked, this, [this] { subShowStatus(); });
    m_small->installEventFilter(this);
    for (QWidget* w : {static_cast<QWidget*>(u.fraCard), static_cast<QWidget*>(u.fraSelfService)})
        w->installEventFilter(this);
    for (QLabel* l : m_small->findChildren<QLabel*>())
        l->installEventFilter(this);
    localizeSmall();
    placeBottomRight(m_small.get());
    return *m_small;
}

frmMicroStatus& StatusWindows::microStatus() {
    if (m_micro)
        return *m_micro;
    m_micro = std::make_unique<frmMicroStatus>();
    applyTheme(m_micro.get(), m_scale);
    connect(m_micro->ui().cmdQuit, &QPushButton::clicked, this,
            [this] { m_host.askCloseSession(m_micro.get()); });
    localizeMicro();
    placeBottomRight(m_micro.get());
    return *m_micro;
}

void StatusWindows::subLocalizeInterface() {
    if (m_status)
        localizeStatus();
    if (m_small)
        localizeSmall();
    if (m_micro)
        localizeMicro();
}

void StatusWindows::localizeStatus() {
    auto& u = m_status->ui();
    const FormText& t = m_text;
    m_status->setWindowTitle(t(10112));
    u.Label1_0->setText(t(10173));
    u.Label1_1->setText(t(10171));
    u.Label1_2->setText(t(10172));
    u.Label1_3->setText(t(10164));
    u.Label1_4->setText(t(10328));
    u.Label1_5->setText(t(10172));
    u.Label1_6->setText(t(10164));
    u.Label1_7->setText(t(10163));
    u.Label1_8->setText(t(10164));
    u.Label1_9->setText(t(10174));
    u.Label1_10->setText(t(10348));
    u.lblChatTitle->setText(t(10348));
    u.lblAmountDueLabel->setText(t(10165));
    u.lblTimeToNextIncrement->setToolTip(t(10359));
    u.optConnected->setText(t(10130));
    u.optConnected->setToolTip(t(10131));
    u.optDisconnected->setText(t(10132));
    u.optDisconnected->setToolTip(t(10133));
    u.cmdPause->setText(t(10162));
    u.cmdPause->setToolTip(t(10166));
    u.cmdQuit->setText(t(10114));
    u.cmdQuit->setToolTip(t(10167));
    u.cmdClose->setText(t(10169));
    u.cmdClose->setToolTip(t(10170));
    u.cmdCliPassword->setText(t(10326));
    u.cmdCliPassword->setToolTip(t(10327));
    u.cmdChatOpen->setToolTip(t(10351));
    u.cmdChatClose->setToolTip(t(10352));
    u.txtWksnChatHist->setToolTip(t(10353));
    u.txtWksnChat->setToolTip(t(10354));
    u.cmdChat->setText(t(10348));
    u.cmdChat->setToolTip(t(10355));
}

void StatusWindows::localizeSmall() {
    auto& u = m_small->ui();
    const FormText& t = m_text;
    m_small->setWindowTitle(t(10112));
    u.Label1_0->setText(t(10164));
    u.Label1_1->setText(t(10163));
    u.Label1_2->setText(t(10163));
    u.lblAmountDueLabel->setText(t(10165));
    u.cmdPause->setText(t(10162));
    u.cmdPause->setToolTip(t(10166));
    u.cmdQuit->setText(t(10114));
    u.cmdQuit->setToolTip(t(10167));
    u.cmdStatus->setText(t(10176));
    u.cmdStatus->setToolTip(t(10177));
    for (QLabel* l : m_small->findChildren<QLabel*>())
        l->setToolTip(t(10168));
    u.fraCard->setToolTip(t(10168));
    u.fraSelfService->setToolTip(t(10168));
    u.lblTimeToNextIncrement->setToolTip(t(10359));
}

void StatusWindows::localizeMicro() {
    auto& u = m_micro->ui();
    m_micro->setWindowTitle(m_text(10112));
    u.lblTitle->setText(m_text(10112));
    u.cmdQuit->setText(m_text(10114));
    u.cmdQuit->setToolTip(m_text(10167));
}

void StatusWindows::prepareForSession(int type) {
    auto& s = status().ui();
    auto& m = smallStatus().ui();
    microStatus();
    s.fraCard->setVisible(type == 2);
    s.fraClient->setVisible(type == 4);
    s.fraSelfService->setVisible(type == 1);
    s.fraSelfServicePrePaid->setVisible(type == 5);
    s.cmdCliPassword->setVisible(type == 4);
    m.fraCard->setVisible(type == 2 || type == 4 || type == 5);
    m.fraSelfService->setVisible(type == 1);
    if (type == 4)
        s.lblCliLogin->setText(QString::fromStdString(m_host.userId()));
    if (type == 2)
        s.lblNumCard->setText(QString::fromStdString(m_host.userId()));
    if (type == 1) {
        s.lblElapsedTimeSelfService->setText("00:00:00 ");
        m.lblElapsedTimeSelfService->setText("00:00:00 ");
        s.lblAmountDue->setText("0 ");
        m.lblAmountDue->setText("0 ");
    }
    s.optConnected->setChecked(m_host.state() != 5);
    s.optDisconnected->setChecked(m_host.state() == 5);
    setChatOpen(false);
}

void StatusWindows::placeBottomRight(QWidget* w) {
    // Measured with the texts of now: a language chosen while it was hidden changes its size.
    adjustToContents(w);
    const QRect area = m_host.workArea();
    if (area.isEmpty())
        return;
    QSize frame = w->frameGeometry().size().expandedTo(w->size());
    // Before its first showing the window manager's frame is not known yet: allow for a title
    // bar and borders, or the window's bottom would run off the screen.
    if (frame == w->size() && !w->windowFlags().testFlag(Qt::FramelessWindowHint)) {
        const int title = w->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, w);
        frame += QSize(kFrameAllowance, title + kFrameAllowance);
    }
    const int x = std::max(area.left(), area.right() + 1 - frame.width() - kEdgeMargin);
    const int y = std::max(area.top(), area.bottom() + 1 - frame.height() - kEdgeMargin);
    w->move(x, y);
}

void StatusWindows::subShowStatus() {
    m_host.hideMainForm();
    m_host.subUnblock();
    const bool hideAll = m_host.hideAllStatusWindows();
    if (m_host.sessionType() != 3) {
        auto& s = status();
        placeBottomRight(&s);
        if (!hideAll) {
            s.show();
            // Shown, every layout measures the texts of now (a language chosen meanwhile).
            placeBottomRight(&s);
        }
        if (m_small)
            m_small->hide();
        if (m_micro)
            m_micro->hide();
        stopHideTimer();
        restartHideTimer();
        const bool up = m_host.serverConnected();
        s.ui().cmdCliPassword->setEnabled(up);
        s.ui().cmdChat->setEnabled(up);
    } else if (!hideAll) {
        placeBottomRight(&microStatus());
        microStatus().show();
    }
}

void StatusWindows::subHideStatus() {
    if (m_host.blockingDialogShown())
        return;
    m_host.hideMainForm();
    if (m_status)
        m_status->hide();
    stopHideTimer();
    if (!m_host.hideAllStatusWindows()) {
        placeBottomRight(&smallStatus());
        smallStatus().show();
    }
}

bool StatusWindows::funHideStatusWindows() {
    m_host.unloadPasswdChangeAndAbout();
    if (m_small)
        m_small->hide();
    if (m_status)
        m_status->hide();
    if (m_micro)
        m_micro->hide();
    stopHideTimer();
    return true;
}

void StatusWindows::subSetCloseButtons() {
    const bool enabled = !m_host.disableSessionCloseButton();
    status().ui().cmdQuit->setEnabled(enabled);
    smallStatus().ui().cmdQuit->setEnabled(enabled);
    microStatus().ui().cmdQuit->setEnabled(enabled);
    m_host.setStopSessionMenuEnabled(enabled);
}

void StatusWindows::setServerConnected(bool connected) {
    if (!m_status)
        return;
    m_status->ui().cmdChat->setEnabled(connected);
    m_status->ui().cmdCliPassword->setEnabled(connected);
}

bool StatusWindows::hideTimerRunning() const {
    return m_tmrHideStatus->enabled();
}

void StatusWindows::restartHideTimer() {
    m_tmrHideStatus->stop();
    m_tmrHideStatus->start(60000);
}

void StatusWindows::stopHideTimer() {
    m_tmrHideStatus->stop();
}

// ---- chat ----

void StatusWindows::setChatOpen(bool open) {
    auto& u = status().ui();
    u.fraChat->setVisible(open);
    u.fraChatClosed->setVisible(!open);
    // The window grows or shrinks and stays inside the work area.
    placeBottomRight(m_status.get());
    if (open)
        u.txtWksnChat->setFocus();
}

void StatusWindows::cmdChatOpen_Click() {
    setChatOpen(true);
    restartHideTimer();
}

void StatusWindows::cmdChatClose_Click() {
    setChatOpen(false);
    restartHideTimer();
}

std::string StatusWindows::speakerName() const {
    std::string name = m_text.raw(10349);
    const int type = m_host.sessionType();
    if (type == 2 || type == 4) {
        QString id = QString::fromStdString(m_host.userId());
        if (id.size() >= 11)
            id = id.left(10) + "...";
        name += " (" + id.toStdString() + ")";
    }
    return name;
}

static std::string withoutEndToken(std::string text) {
    // Until none is left: removing one occurrence may join its neighbours into a new one.
    for (size_t at = text.find(kEndToken); at != std::string::npos; at = text.find(kEndToken))
        text.erase(at, kEndToken.size());
    return text;
}

static void appendHistory(QTextEdit* hist, const QString& line) {
    QTextCursor c(hist->document());
    c.movePosition(QTextCursor::End);
    if (!hist->document()->isEmpty())
        c.insertText("\n");
    c.insertText(line);
    hist->setTextCursor(c);
    hist->ensureCursorVisible();
}

void StatusWindows::cmdChat_Click() {
    auto& u = status().ui();
    if (u.txtWksnChat->text().isEmpty())
        return;
    stopHideTimer();
    const std::string text = withoutEndToken(u.txtWksnChat->text().toStdString());
    appendHistory(u.txtWksnChatHist, " " + QString::fromStdString(speakerName()) + ": " +
                                         QString::fromStdString(text));
    m_host.sendChatMessage(text);
    u.txtWksnChat->clear();
    restartHideTimer();
}

void StatusWindows::receiveChatMessage(const std::string& text) {
    receiveChatLine(m_text.raw(10350) + ": " + text);
}

void StatusWindows::receiveChatLine(const std::string& line) {
    appendHistory(status().ui().txtWksnChatHist, " " + QString::fromStdString(line));
    cmdChatOpen_Click();
}

// ---- mode options ----

void StatusWindows::selectConnectedOption() {
    status().ui().optConnected->setChecked(true);
}
void StatusWindows::selectDisconnectedOption() {
    status().ui().optDisconnected->setChecked(true);
}

void StatusWindows::optConnected_MouseDown() {
    auto& u = status().ui();
    stopHideTimer();
    if (m_host.state() != 6) {
        u.optConnected->setChecked(true);
        if (u.optDisconnected->isVisible())
            m_host.askConnectedMode(this);
    }
    restartHideTimer();
}

void StatusWindows::optDisconnected_MouseDown() {
    auto& u = status().ui();
    stopHideTimer();
    if (m_host.state() != 5) {
        u.optDisconnected->setChecked(true);
        if (m_status->isVisible())
            m_host.askDisconnectedMode(this);
        else
            u.optConnected->setChecked(true);
    }
    restartHideTimer();
}

bool StatusWindows::eventFilter(QObject* watched, QEvent* e) {
    if (m_status) {
        auto& u = m_status->ui();
        if (e->type() == QEvent::MouseButtonPress &&
            static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton) {
            if (watched == u.optConnected) {
                optConnected_MouseDown();
                return true;
            }
            if (watched == u.optDisconnected) {
                optDisconnected_MouseDown();
                return true;
            }
        }
        if (e->type() == QEvent::MouseButtonDblClick &&
            (watched == u.Label1_10 || watched == u.lblChatTitle)) {
            if (u.cmdChatOpen->isVisible())
                cmdChatOpen_Click();
            else
                cmdChatClose_Click();
            return true;
        }
        if (watched == u.txtWksnChatHist->viewport() &&
            (e->type() == QEvent::MouseButtonPress || e->type() == QEvent::Wheel))
            restartHideTimer();
    }
    if (m_small &&
        (watched == m_small.get() || m_small->isAncestorOf(qobject_cast<QWidget*>(watched)))) {
        const bool dbl = e->type() == QEvent::MouseButtonDblClick;
        const bool click = e->type() == QEvent::MouseButtonRelease &&
                           watched == m_small->ui().lblTimeToNextIncrement;
        if ((dbl && !qobject_cast<QPushButton*>(watched)) || click) {
            subShowStatus();
            return true;
        }
    }
    return QObject::eventFilter(watched, e);
}

} // namespace tlv
