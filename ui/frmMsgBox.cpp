#include "ui/frmMsgBox.h"

#include "platform/scheduler.h"
#include "ui/theme.h"
#include "ui_frmMsgBox.h"

#include <QGuiApplication>
#include <QScreen>

namespace tlv {

frmMsgBox::frmMsgBox(Scheduler& scheduler, FormText text, QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::frmMsgBox>()), m_text(std::move(text)) {
    m_ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint |
                   Qt::CustomizeWindowHint);
    const double scale = primaryScreenScale();
    applyTheme(this, scale);
    m_ui->lblText->setMinimumWidth(static_cast<int>(320 * scale));
    m_ui->lblText->setMaximumWidth(static_cast<int>(560 * scale));
    m_ui->lblText->setTextFormat(Qt::PlainText);
    m_ui->img->setPixmap(drawPicture(Picture::MsgInfo, static_cast<int>(40 * scale)));
    connect(m_ui->cmdOK, &QPushButton::clicked, this, [this] { cmdOK_Click(); });
    connect(m_ui->cmdYes, &QPushButton::clicked, this, [this] { cmdYes_Click(); });
    connect(m_ui->cmdNo, &QPushButton::clicked, this, [this] { cmdNo_Click(); });
    // tmrTimeOut runs from creation.
    m_tmrTimeOut = scheduler.createTimer([this] { tmrTimeOut_Timer(); });
    m_tmrTimeOut->start(kTimeOutMs);
    subLocalizeInterface();
}

frmMsgBox::~frmMsgBox() = default;

void frmMsgBox::subLocalizeInterface() {
    setWindowTitle(m_text(10106));
    m_ui->cmdOK->setText(m_text(10266));
    m_ui->cmdYes->setText(m_text(10267));
    m_ui->cmdNo->setText(m_text(10268));
}

void frmMsgBox::fill(const QString& text, int buttons, int defaultButton) {
    m_tmrTimeOut->stop();
    m_tmrTimeOut->start(kTimeOutMs);
    m_buttons = buttons;
    m_default = defaultButton == 2 ? 2 : 1;
    // "\r\n" of the string table is one line break on screen.
    QString shown = text;
    shown.replace("\r\n", "\n");
    m_ui->lblText->setText(shown);
    m_ui->fraOK->setVisible(buttons == 0);
    m_ui->fraYesNo->setVisible(buttons == 1);
    const int px = static_cast<int>(40 * primaryScreenScale());
    m_ui->img->setPixmap(drawPicture(buttons == 1 ? Picture::MsgQuestion : Picture::MsgInfo, px));
    m_ui->cmdOK->setDefault(buttons == 0);
    m_ui->cmdYes->setDefault(buttons == 1 && m_default == 1);
    m_ui->cmdNo->setDefault(buttons == 1 && m_default == 2);
    adjustToContents(this);
    centreOnWorkArea();
}

void frmMsgBox::centreOnWorkArea() {
    const QScreen* s = QGuiApplication::primaryScreen();
    if (!s)
        return;
    const QRect area = s->availableGeometry();
    move(area.center() - QPoint(width() / 2, height() / 2));
}

void frmMsgBox::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (m_ui->cmdOK->isVisibleTo(this))
        m_ui->cmdOK->setFocus();
    else if (m_default == 1)
        m_ui->cmdYes->setFocus();
    else
        m_ui->cmdNo->setFocus();
}

void frmMsgBox::reject() {
    // Escape is the cancel button: the default of a question, OK otherwise.
    if (m_buttons == 0)
        cmdOK_Click();
    else if (m_default == 2)
        cmdNo_Click();
    else
        cmdYes_Click();
}

void frmMsgBox::unload() {
    m_tmrTimeOut->stop();
    hide();
    if (onUnload)
        onUnload(); // may destroy this box: nothing of it is used afterwards
}

void frmMsgBox::cmdOK_Click() {
    unload();
}

void frmMsgBox::cmdYes_Click() {
    std::unique_ptr<clsAction> action = std::move(m_action);
    unload();
    if (action)
        action->subExecuteCommandButton1();
}

void frmMsgBox::cmdNo_Click() {
    std::unique_ptr<clsAction> action = std::move(m_action);
    unload();
    if (action)
        action->subExecuteCommandButton2();
}

void frmMsgBox::tmrTimeOut_Timer() {
    if (!isVisible()) {
        m_tmrTimeOut->stop();
        return;
    }
    if (m_ui->fraOK->isVisibleTo(this))
        cmdOK_Click();
    else if (m_default == 2)
        cmdNo_Click();
    else
        cmdYes_Click();
}

// ---- subShowMsgBox ----

MessageBoxes::MessageBoxes(Scheduler& scheduler, FormText text, Host& host)
    : m_scheduler(scheduler), m_text(std::move(text)), m_host(host) {}

MessageBoxes::~MessageBoxes() {
    m_box.reset();
    m_retired.clear();
}

void MessageBoxes::subLocalizeInterface() {
    if (m_box)
        m_box->subLocalizeInterface();
}

void MessageBoxes::unload() {
    if (!m_box)
        return;
    m_box->hide();
    m_box->onUnload = nullptr;
    m_retired.push_back(std::move(m_box));
    m_host.setMsgBoxShown(false);
    std::weak_ptr<bool> alive = m_alive;
    m_scheduler.post([this, alive] {
        if (alive.lock())
            m_retired.clear();
    });
}

void MessageBoxes::subShowMsgBox(const QString& text, int buttons, int defaultButton,
                                 std::unique_ptr<clsAction> action, QWidget* owner, int modal,
                                 bool sticky) {
    const bool shown = m_box && m_box->isVisible();
    if (!(shown && m_text_on_display == text))
        m_host.beep();
    m_host.unloadPasswordDialogs();
    if (!m_box) {
        m_box = std::make_unique<frmMsgBox>(m_scheduler, m_text);
        m_box->onUnload = [this] { unload(); };
        m_host.setMsgBoxShown(true);
    }
    if (m_box->isVisible() && m_sticky)
        return; // the sticky message stays
    m_sticky = sticky;
    m_text_on_display = text;
    m_box->fill(text, buttons, defaultButton);
    if (owner)
        m_box->setOwner(owner);
    m_box->setAction(buttons == 1 ? std::move(action) : nullptr);
    if (owner) {
        m_box->setWindowModality(modal == 1 ? Qt::WindowModal : Qt::NonModal);
        m_box->show();
    } else {
        m_box->setWindowModality(Qt::NonModal);
        m_box->show();
    }
    m_box->raise();
    m_box->activateWindow();
}

} // namespace tlv
