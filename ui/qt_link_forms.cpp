// The server link reaches the forms' controls by their given names.
#include "core/client.h"
#include "platform/paths.h"
#include "ui/qt_forms.h"
#include "ui_frmSmallStatus.h"
#include "ui_frmStatus.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QTextEdit>

#include <cmath>

namespace tlv {

std::optional<FormId> QtForms::formIdOf(std::string_view form) {
    static constexpr std::pair<std::string_view, FormId> kForms[] = {
        {"frmMain", FormId::frmMain},
        {"frmBlock", FormId::frmBlock},
        {"frmMsgBox", FormId::frmMsgBox},
        {"frmStatus", FormId::frmStatus},
        {"frmSmallStatus", FormId::frmSmallStatus},
        {"frmMicroStatus", FormId::frmMicroStatus},
        {"frmAbout", FormId::frmAbout},
        {"frmPasswd", FormId::frmPasswd},
        {"frmPasswdChange", FormId::frmPasswdChange},
        {"frmPasswdClose", FormId::frmPasswdClose},
        {"frmPasswdLogOff", FormId::frmPasswdLogOff},
        {"frmOptions", FormId::frmOptions},
        {"frmSetupWizard", FormId::frmSetupWizard}};
    for (const auto& [name, id] : kForms)
        if (name == form)
            return id;
    return std::nullopt;
}

QWidget* QtForms::formWidget(std::string_view form) const {
    const auto id = formIdOf(form);
    if (!id)
        return nullptr;
    switch (*id) {
    case FormId::frmMain:
        return m_main.get();
    case FormId::frmBlock:
        return m_block.get();
    case FormId::frmMsgBox:
        return m_boxes ? m_boxes->box() : nullptr;
    case FormId::frmStatus:
        return m_status && m_status->statusLoaded() ? &m_status->status() : nullptr;
    case FormId::frmSmallStatus:
        return m_status && m_status->smallStatusLoaded() ? &m_status->smallStatus() : nullptr;
    case FormId::frmMicroStatus:
        return m_status && m_status->microStatusLoaded() ? &m_status->microStatus() : nullptr;
    default:
        return nullptr;
    }
}

QWidget* QtForms::control(std::string_view form, std::string_view name) const {
    QWidget* root = formWidget(form);
    if (!root)
        return nullptr; // a form that is not loaded is not touched
    if (name.empty())
        return root;
    return root->findChild<QWidget*>(
        QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())));
}

void QtForms::setEnabled(std::string_view form, std::string_view name, bool on) {
    if (QWidget* w = control(form, name))
        w->setEnabled(on);
}

void QtForms::setVisible(std::string_view form, std::string_view name, bool on) {
    if (QWidget* w = control(form, name))
        w->setVisible(on);
}

void QtForms::setCaption(std::string_view form, std::string_view name, const std::string& text) {
    QWidget* w = control(form, name);
    if (!w)
        return;
    const QString t = QString::fromStdString(text);
    if (auto* l = qobject_cast<QLabel*>(w); l && !name.empty())
        l->setText(t);
    else if (auto* b = qobject_cast<QAbstractButton*>(w); b && !name.empty())
        b->setText(t);
    else
        w->setWindowTitle(t);
}

void QtForms::setToolTip(std::string_view form, std::string_view name, const std::string& text) {
    if (QWidget* w = control(form, name))
        w->setToolTip(QString::fromStdString(text));
}

void QtForms::setValue(std::string_view form, std::string_view name, bool on) {
    if (auto* b = qobject_cast<QAbstractButton*>(control(form, name)))
        b->setChecked(on);
}

void QtForms::setText(std::string_view form, std::string_view name, const std::string& text) {
    QWidget* w = control(form, name);
    const QString t = QString::fromStdString(text);
    if (auto* e = qobject_cast<QLineEdit*>(w))
        e->setText(t);
    else if (auto* te = qobject_cast<QTextEdit*>(w))
        te->setPlainText(t);
    else if (auto* l = qobject_cast<QLabel*>(w))
        l->setText(t);
}

void QtForms::setFocus(std::string_view form, std::string_view name) {
    if (QWidget* w = control(form, name))
        w->setFocus();
}

void QtForms::setTimer(std::string_view form, std::string_view timer, bool running) {
    if (form != "frmBlock" || !m_block)
        return;
    if (timer == "tmrActivateTimeout") {
        if (running)
            m_block->endConnexionWait();
    } else if (timer == "tmrCloseSession") {
        if (running)
            m_block->startCloseSessionCountdown(
                std::llround(m_client->sessionExpiryCountdown() * 86400.0));
        else
            m_block->stopCloseSessionCountdown();
    } else if (timer == "tmrUnblock") {
        if (running)
            m_block->startUnblockCountdown(m_unblockSeconds);
        else
            m_block->stopUnblockCountdown();
    } else if (timer == "tmrNoServCnx") {
        m_block->setServerConnected(!running);
    }
}

void QtForms::setHourglass(std::string_view form, bool on) {
    if (QWidget* w = formWidget(form)) {
        if (on)
            w->setCursor(Qt::WaitCursor);
        else
            w->unsetCursor();
    }
}

void QtForms::applyConnectRule() {
    if (m_block)
        m_block->applyConnectRule();
}

void QtForms::setConnectedPicture(bool connected) {
    setServerConnected(connected);
}

void QtForms::setCardMasked(bool masked) {
    if (m_block)
        m_block->setHideCardNumber(masked);
}

void QtForms::setTopmost(std::string_view form, bool on) {
    QWidget* w = formWidget(form);
    if (!w || w->windowFlags().testFlag(Qt::WindowStaysOnTopHint) == on)
        return;
    const bool visible = w->isVisible();
    w->setWindowFlag(Qt::WindowStaysOnTopHint, on);
    if (visible)
        w->show(); // changing the flags hides a window
}

void QtForms::setUnblockDelay(double duration) {
    m_unblockSeconds = std::llround(duration * 86400.0);
}

void QtForms::reloadLockMessage() {
    if (!m_block || !m_block->isVisible())
        return;
    m_block->setMessageFile(
        messageFileOrEnglish(toNativePath(m_client->messageFileFor(m_client->state()))));
    if (m_block->stateShown() == 11)
        showFollowedScreen();
}

bool QtForms::isLoaded(std::string_view form) const {
    const auto id = formIdOf(form);
    return id && isLoaded(*id);
}

void QtForms::unload(std::string_view form) {
    if (const auto id = formIdOf(form))
        unload(*id);
}

void QtForms::subShowMsgBox(const std::string& text, bool yesNo, bool defaultYes,
                            LinkMsgAction action, std::string_view owner) {
    MsgAction a = MsgAction::Empty;
    if (action == LinkMsgAction::PauseSession)
        a = MsgAction::PauseSession;
    else if (action == LinkMsgAction::ResumeSession)
        a = MsgAction::UnPauseSession;
    showMsgBox(text, yesNo, !defaultYes, a, formWidget(owner));
}

void QtForms::subSetCloseButtons() {
    ensureStatus();
    m_status->subSetCloseButtons();
}

void QtForms::chatManagerLine(const std::string& line) {
    ensureStatus();
    m_status->receiveChatLine(line);
}

void QtForms::setPauseButtons(bool shown) {
    ensureStatus();
    m_status->status().ui().cmdPause->setVisible(shown);
    m_status->smallStatus().ui().cmdPause->setVisible(shown);
}

} // namespace tlv
