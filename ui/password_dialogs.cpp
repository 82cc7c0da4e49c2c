#include "ui/password_dialogs.h"

#include "core/log.h"
#include "platform/scheduler.h"
#include "ui/theme.h"
#include "ui_frmPasswd.h"
#include "ui_frmPasswdChange.h"
#include "ui_frmPasswdClose.h"
#include "ui_frmPasswdLogOff.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWindow>

#include <exception>

namespace tlv {

namespace {

constexpr const char* kMessageSend = "%$&#####MessageSend#";
constexpr const char* kPasswordChange = "%$&##PasswordChange#";
constexpr const char* kMessageEnd = "%$&######MessageEnd#";

std::string lowerText(const QString& s) {
    return s.toLower().toStdString();
}
std::string lowerText(const std::string& s) {
    return lowerText(QString::fromStdString(s));
}

void themed(QWidget* w) {
    applyTheme(w, primaryScreenScale());
}

} // namespace

// ---- PasswordDialog ----

void placeOver(QWidget& dialog, QWidget& owner) {
    adjustToContents(&dialog);
    const QRect area = owner.frameGeometry();
    dialog.move(area.center() - QPoint(dialog.width() / 2, dialog.height() / 2));
    // Over a small owner near an edge (the main form in its corner) the centre would put the
    // dialog partly off the screen.
    if (const QScreen* s = owner.screen())
        keepInside(&dialog, s->availableGeometry());
    // Stacked above its owner by the window manager.
    dialog.winId();
    if (QWindow* w = dialog.windowHandle(); w && owner.window()->windowHandle())
        w->setTransientParent(owner.window()->windowHandle());
}

void PasswordDialog::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (const QScreen* s = screen())
        keepInside(this, s->availableGeometry());
}

PasswordDialog::PasswordDialog(FormId id, FormText text, PasswordHost& host, Logger& log,
                               QWidget* parent)
    : QDialog(parent), m_id(id), m_text(std::move(text)), m_host(host), m_log(log) {
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::CustomizeWindowHint);
    setWindowModality(Qt::ApplicationModal);
    m_host.setFormLoaded(m_id, true);
}

PasswordDialog::~PasswordDialog() {
    if (!m_unloaded)
        m_host.setFormLoaded(m_id, false);
}

QString PasswordDialog::caption(int id) const {
    return m_text(10000) + " - " + m_text(id);
}

void PasswordDialog::unload() {
    if (m_unloaded)
        return;
    m_unloaded = true;
    m_host.setFormLoaded(m_id, false);
    done(QDialog::Rejected);
    if (onUnload)
        onUnload(); // may schedule this dialog's deletion: nothing of it is used afterwards
}

void PasswordDialog::reject() {
    unload();
}

// ---- frmPasswd ----

frmPasswd::frmPasswd(Scheduler& scheduler, FormText text, PasswordHost& host, Logger& log,
                     int16_t& failures, QWidget* parent)
    : PasswordDialog(FormId::frmPasswd, std::move(text), host, log, parent),
      m_ui(std::make_unique<Ui::frmPasswd>()), m_failures(failures) {
    try {
        m_ui->setupUi(this);
        themed(this);
        m_ui->txtLogin->installEventFilter(this);
        m_ui->txtPassword->installEventFilter(this);
        connect(m_ui->cmdDeactivate, &QPushButton::clicked, this,
                [this] { cmdDeactivate_Click(); });
        connect(m_ui->cmdCancel, &QPushButton::clicked, this, [this] { cmdCancel_Click(); });
        m_ui->cmdDeactivate->setDefault(true);
        m_countdown = 20;
        subLocalizeInterface();
        prepareLogin();
        m_tmrQuit = scheduler.createTimer([this] { tmrQuit_Timer(); });
        m_tmrQuit->start(1000);
    } catch (const std::exception& e) {
        m_log.subLogError("frmPasswd.Form_LoadError", e);
    }
}

frmPasswd::~frmPasswd() = default;

void frmPasswd::subLocalizeInterface() {
    try {
        setWindowTitle(caption(10108));
        const QString prompt = m_text(10151, {m_text.raw(10000)});
        m_ui->lblPrompt->setText(m_refused ? m_text(10347) + "\n" + prompt : prompt);
        m_ui->lblLogin->setText(m_text(10346));
        m_ui->lblPassword->setText(m_text(10152));
        m_ui->cmdDeactivate->setText(m_text(10143));
        m_ui->cmdCancel->setText(m_countdown < 20
                                     ? m_text(10150) + " (" + QString::number(m_countdown) + ")"
                                     : m_text(10150));
    } catch (const std::exception& e) {
        m_log.subLogError("frmPasswd.subLocalizeInterfaceError", e);
    }
}

void frmPasswd::prepareLogin() {
    const std::string manager = m_host.managerLogin();
    const std::string admin = m_host.adminLogon();
    if (manager.empty() || lowerText(manager) == lowerText(admin)) {
        m_ui->txtLogin->setText(QString::fromStdString(admin));
        m_ui->txtLogin->setEnabled(false);
    } else {
        m_ui->txtLogin->clear();
        m_ui->txtLogin->setEnabled(true);
    }
}

void frmPasswd::showEvent(QShowEvent* e) {
    PasswordDialog::showEvent(e);
    if (m_ui->txtLogin->isEnabled())
        m_ui->txtLogin->setFocus();
    else
        m_ui->txtPassword->setFocus();
}

bool frmPasswd::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() == QEvent::FocusIn) {
        if (auto* box = qobject_cast<QLineEdit*>(watched))
            box->selectAll();
    }
    return QDialog::eventFilter(watched, e);
}

void frmPasswd::tmrQuit_Timer() {
    try {
        if (unloaded()) {
            m_tmrQuit->stop();
            return;
        }
        --m_countdown;
        m_ui->cmdCancel->setText(m_text(10150) + " (" + QString::number(m_countdown) + ")");
        if (m_countdown <= 0)
            cmdCancel_Click();
    } catch (const std::exception& e) {
        m_log.subLogError("frmPasswd.tmrQuit_TimerError", e);
    }
}

void frmPasswd::cmdCancel_Click() {
    m_tmrQuit->stop();
    unload();
}

void frmPasswd::cmdDeactivate_Click() {
    try {
        const QString login = m_ui->txtLogin->text();
        if (login.isEmpty()) {
            m_ui->txtLogin->setFocus();
            return;
        }
        const std::string password = m_ui->txtPassword->text().toStdString();
        const std::string admin = lowerText(m_host.adminLogon());
        const bool isAdmin = lowerText(login) == admin;
        const bool accepted =
            (isAdmin && password == m_host.adminPassword()) ||
            (!isAdmin && lowerText(login) == lowerText(m_host.managerLogin()) &&
             !m_host.managerLogin().empty() && password == m_host.managerPassword());
        if (accepted) {
            m_failures = 0;
            m_tmrQuit->stop();
            unload();
            m_host.subDeactivate();
            m_host.focusMain();
            return;
        }
        m_refused = true;
        subLocalizeInterface();
        refitWindow(this); // the refusal adds a line above the prompt
        m_ui->txtPassword->clear();
        prepareLogin();
        if (m_ui->txtLogin->isEnabled())
            m_ui->txtLogin->setFocus();
        else
            m_ui->txtPassword->setFocus();
        ++m_failures;
        if (m_failures >= kMaxFailures) {
            // The count starts over once the workstation is blocked: every run of three
            // failures blocks it again.
            m_failures = 0;
            m_host.funSendData(kMessageSend + m_host.defaultText(10304) + m_host.workstationName() +
                               kMessageEnd);
            m_tmrQuit->stop();
            unload();
            m_host.subLock();
            m_host.startUnblockCountdown();
        }
    } catch (const std::exception& e) {
        m_log.subLogError("frmPasswd.cmdDeactivate_ClickError", e);
    }
}

// ---- frmPasswdClose ----

frmPasswdClose::frmPasswdClose(FormText text, PasswordHost& host, Logger& log, QWidget* parent)
    : PasswordDialog(FormId::frmPasswdClose, std::move(text), host, log, parent),
      m_ui(std::make_unique<Ui::frmPasswdClose>()) {
    try {
        m_ui->setupUi(this);
        themed(this);
        connect(m_ui->cmdQuit, &QPushButton::clicked, this, [this] { cmdQuit_Click(); });
        connect(m_ui->cmdCancel, &QPushButton::clicked, this, [this] { unload(); });
        m_ui->cmdQuit->setDefault(true);
        subLocalizeInterface();
    } catch (const std::exception& e) {
        m_log.subLogError("frmPasswdClose.Form_LoadError", e);
    }
}

frmPasswdClose::~frmPasswdClose() = default;

void frmPasswdClose::subLocalizeInterface() {
    try {
        setWindowTitle(caption(10110));
        m_ui->lblPrompt->setText(m_text(10157) + m_text(10000));
        m_ui->lblPassword->setText(m_text(10152));
        m_ui->cmdQuit->setText(m_text(10114));
        m_ui->cmdCancel->setText(m_text(10150));
    } catch (const std::exception& e) {
        m_log.subLogError("frmPasswdClose.subLocalizeInterfaceError", e);
    }
}

void frmPasswdClose::showEvent(QShowEvent* e) {
    PasswordDialog::showEvent(e);
    m_ui->txtPassword->setFocus();
}

void frmPasswdClose::cmdQuit_Click() {
    try {
        if (m_ui->txtPassword->text().toStdString() != m_host.adminPassword()) {
            m_host.funMsg(2);
            m_ui->txtPassword->clear();
            m_ui->txtPassword->setFocus();
            return;
        }
        unload();
        m_host.funShutdownApplication(true);
    } catch (const std::exception& e) {
        m_log.subLogError("frmPasswdClose.cmdQuit_ClickError", e);
    }
}

// ---- frmPasswdLogOff ----

namespace {
QRadioButton* shutdownOption(Ui::frmPasswdLogOff& ui, int index) {
    switch (index) {
    case 2:
        return ui.optShutdown_2;
    case 8:
        return ui.optShutdown_8;
    default:
        return ui.optShutdown_0;
    }
}
} // namespace

frmPasswdLogOff::frmPasswdLogOff(FormText text, PasswordHost& host, Logger& log, QWidget* parent)
    : PasswordDialog(FormId::frmPasswdLogOff, std::move(text), host, log, parent),
      m_ui(std::make_unique<Ui::frmPasswdLogOff>()) {
    try {
        m_ui->setupUi(this);
        themed(this);
        for (int index : {0, 2, 8})
            connect(shutdownOption(*m_ui, index), &QRadioButton::clicked, this,
                    [this, index] { optShutdown_Click(index); });
        connect(m_ui->cmdQuit, &QPushButton::clicked, this, [this] { cmdQuit_Click(); });
        connect(m_ui->cmdCancel, &QPushButton::clicked, this, [this] { unload(); });
        m_ui->cmdQuit->setDefault(true);
        subLocalizeInterface();
        m_ui->optShutdown_0->setChecked(true);
        optShutdown_Click(0);
    } catch (const std::exception& e) {
        m_log.subLogError("frmPasswdLogOff.Form_LoadError", e);
    }
}

frmPasswdLogOff::~frmPasswdLogOff() = default;

void frmPasswdLogOff::subLocalizeInterface() {
    try {
        setWindowTitle(caption(10111));
        m_ui->lblQuestion->setText(m_text(10158));
        m_ui->optShutdown_0->setText(m_text(10148));
        m_ui->optShutdown_2->setText(m_text(10159));
        m_ui->optShutdown_8->setText(m_text(10160));
        m_ui->lblPassword->setText(m_text(10152));
        m_ui->cmdCancel->setText(m_text(10150));
        showChoice();
    } catch (const std::exception& e) {
        m_log.subLogError("frmPasswdLogOff.subLocalizeInterfaceError", e);
    }
}

// The button and the help line name the chosen way of ending.
void frmPasswdLogOff::showChoice() {
    const QString chosen = shutdownOption(*m_ui, m_index)->text();
    m_ui->cmdQuit->setText(chosen);
    m_ui->lblHelp->setText(m_text(10161) + chosen.toLower());
}

void frmPasswdLogOff::optShutdown_Click(int index) {
    try {
        m_index = index;
        showChoice();
        m_ui->txtPassword->setFocus();
    } catch (const std::exception& e) {
        m_log.subLogError("frmPasswdLogOff.optShutdown_ClickError", e);
    }
}

void frmPasswdLogOff::cmdQuit_Click() {
    try {
        if (m_ui->txtPassword->text().toStdString() != m_host.adminPassword()) {
            m_host.funMsg(2);
            m_ui->txtPassword->clear();
            m_ui->txtPassword->setFocus();
            return;
        }
        const int index = m_index;
        unload();
        m_host.subShutdown(index);
    } catch (const std::exception& e) {
        m_log.subLogError("frmPasswdLogOff.cmdQuit_ClickError", e);
    }
}

// ---- frmPasswdChange ----

frmPasswdChange::frmPasswdChange(FormText text, PasswordHost& host, Logger& log, QWidget* parent)
    : PasswordDialog(FormId::frmPasswdChange, std::move(text), host, log, parent),
      m_ui(std::make_unique<Ui::frmPasswdChange>()) {
    try {
        m_ui->setupUi(this);
        themed(this);
        connect(m_ui->txtNewPassword, &QLineEdit::textChanged, this,
                [this] { txtNewPassword_Change(); });
        connect(m_ui->txtCheckNewPassword, &QLineEdit::textChanged, this,
                [this] { txtNewPassword_Change(); });
        connect(m_ui->cmdChange, &QPushButton::clicked, this, [this] { cmdChange_Click(); });
        connect(m_ui->cmdCancel, &QPushButton::clicked, this, [this] { unload(); });
        // Nothing to change until a new password is typed.
        m_ui->cmdChange->setEnabled(false);
        m_ui->cmdChange->setDefault(true);
        subLocalizeInterface();
    } catch (const std::exception& e) {
        m_log.subLogError("frmPasswdChange.Form_LoadError", e);
    }
}

frmPasswdChange::~frmPasswdChange() = default;

void frmPasswdChange::subLocalizeInterface() {
    try {
        setWindowTitle(caption(10109));
        m_ui->lblOldPassword->setText(m_text(10154));
        m_ui->lblNewPassword->setText(m_text(10155));
        m_ui->lblCheckNewPassword->setText(m_text(10156));
        m_ui->cmdChange->setText(m_text(10153));
        m_ui->cmdCancel->setText(m_text(10150));
    } catch (const std::exception& e) {
        m_log.subLogError("frmPasswdChange.subLocalizeInterfaceError", e);
    }
}

void frmPasswdChange::txtNewPassword_Change() {
    m_ui->cmdChange->setEnabled(m_ui->txtNewPassword->text() == m_ui->txtCheckNewPassword->text());
}

void frmPasswdChange::cmdChange_Click() {
    try {
        if (m_ui->txtOldPassword->text().toStdString() != m_host.sessionPassword()) {
            m_ui->lblResponse->setText(m_text(10101));
            m_ui->txtOldPassword->clear();
            m_ui->txtOldPassword->setFocus();
            return;
        }
        const std::string fresh = m_ui->txtNewPassword->text().toStdString();
        if (fresh == m_ui->txtCheckNewPassword->text().toStdString()) {
            m_host.setSessionPassword(fresh);
            m_host.funSendData(kPasswordChange + fresh + kMessageEnd);
            unload();
            return;
        }
        m_ui->lblResponse->setText(m_text(10105));
        m_ui->txtNewPassword->clear();
        m_ui->txtCheckNewPassword->clear();
        m_ui->txtNewPassword->setFocus();
    } catch (const std::exception& e) {
        m_log.subLogError("frmPasswdChange.cmdChange_ClickError", e);
    }
}

// ---- PasswordDialogs ----

PasswordDialogs::PasswordDialogs(Scheduler& scheduler, FormText text, PasswordHost& host,
                                 Logger& log)
    : m_scheduler(scheduler), m_text(std::move(text)), m_host(host), m_log(log) {}

PasswordDialogs::~PasswordDialogs() = default;

void PasswordDialogs::present(std::unique_ptr<PasswordDialog> dialog, QWidget* owner,
                              bool topmost) {
    if (m_dialog)
        m_dialog->unload();
    PasswordDialog* d = dialog.get();
    m_dialog = std::move(dialog);
    d->onUnload = [this, d] {
        // Deleted later: unload runs from inside the dialog's own handlers.
        if (m_dialog.get() != d)
            return;
        m_dialog.release()->deleteLater();
        if (onCurrentChanged)
            onCurrentChanged(nullptr);
    };
    if (topmost)
        d->setWindowFlag(Qt::WindowStaysOnTopHint, true);
    if (owner)
        placeOver(*d, *owner);
    if (onCurrentChanged)
        onCurrentChanged(d);
    runModal(*d);
}

void PasswordDialogs::subDeactivationPassword(QWidget* owner) {
    try {
        present(std::make_unique<frmPasswd>(m_scheduler, m_text, m_host, m_log, m_failures), owner,
                false);
    } catch (const std::exception& e) {
        m_log.subLogError("modFunctions.subDeactivationPasswordError", e);
    }
}

void PasswordDialogs::subQuitPassword(QWidget* owner) {
    try {
        m_host.hideStatus();
        present(std::make_unique<frmPasswdClose>(m_text, m_host, m_log), owner, true);
    } catch (const std::exception& e) {
        m_log.subLogError("modFunctions.subQuitPasswordError", e);
    }
}

void PasswordDialogs::subLogOffPassword(QWidget* owner) {
    try {
        present(std::make_unique<frmPasswdLogOff>(m_text, m_host, m_log), owner, true);
    } catch (const std::exception& e) {
        m_log.subLogError("modFunctions.subLogOffPasswordError", e);
    }
}

void PasswordDialogs::showPasswordChange(QWidget* owner) {
    try {
        // Over the status window, which stays on top of everything.
        present(std::make_unique<frmPasswdChange>(m_text, m_host, m_log), owner, true);
    } catch (const std::exception& e) {
        m_log.subLogError("frmStatus.cmdCliPassword_ClickError", e);
    }
}

void PasswordDialogs::unloadPasswordChange() {
    if (auto* d = currentAs<frmPasswdChange>())
        d->unload();
}

void PasswordDialogs::unloadDeactivation() {
    if (auto* d = currentAs<frmPasswd>())
        d->cmdCancel_Click();
}

void PasswordDialogs::subLocalizeInterface() {
    if (m_dialog)
        m_dialog->subLocalizeInterface();
}

} // namespace tlv
