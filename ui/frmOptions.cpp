#include "ui/frmOptions.h"

#include "core/error.h"
#include "core/log.h"
#include "platform/scheduler.h"
#include "ui/theme.h"
#include "ui_frmOptions.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QStyle>

#include <exception>

namespace tlv {

QString portDigits(const QString& text) {
    QString out;
    for (QChar c : text.trimmed())
        if (c >= '0' && c <= '9')
            out += c;
    return out;
}

QString portCapped(const QString& digits) {
    QString d = digits;
    while (d.size() > 1 && d.startsWith('0'))
        d.remove(0, 1);
    if (d.size() > 5 || d.toInt() > 65535)
        return "65535";
    return digits;
}

bool filterPortBox(QLineEdit* box) {
    const QString digits = portDigits(box->text());
    if (digits == box->text())
        return false;
    const int removedBefore =
        box->cursorPosition() - portDigits(box->text().left(box->cursorPosition())).size();
    const int cursor = box->cursorPosition() - removedBefore;
    box->setText(digits); // comes back through textChanged once, with nothing left to remove
    box->setCursorPosition(cursor);
    return true;
}

void capPortBox(QLineEdit* box) {
    const QString capped = portCapped(box->text());
    if (capped != box->text())
        box->setText(capped);
}

frmOptions::frmOptions(Scheduler& scheduler, FormText text, SettingsFormsHost& host, Logger& log,
                       QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::frmOptions>()), m_scheduler(scheduler),
      m_text(std::move(text)), m_host(host), m_log(log) {
    try {
        m_host.setFormLoaded(FormId::frmOptions, true);
        m_ui->setupUi(this);
        setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                       Qt::CustomizeWindowHint);
        applyTheme(this, primaryScreenScale());
        auto& u = *m_ui;
        u.cmdUnlockOptions->setIcon(style()->standardIcon(QStyle::SP_ArrowRight));
        for (QCheckBox* c : {u.chkStartActive, u.chkStartAtLogon, u.chkAllowLockdown})
            connect(c, &QCheckBox::clicked, this, [this] { changed(); });
        for (QLineEdit* t : {u.txtServerName, u.txtWksnName})
            connect(t, &QLineEdit::textChanged, this, [this] { changed(); });
        connect(u.txtPortNum, &QLineEdit::textChanged, this, [this] { txtPortNum_Change(); });
        for (QRadioButton* o : {u.optServerAutoConnect, u.optServerManualConnect})
            connect(o, &QRadioButton::clicked, this, [this] {
                changed();
                applyConnectionMode();
            });
        for (QRadioButton* o : {u.optWksnTypeSndAln, u.optWksnTypeDskless})
            connect(o, &QRadioButton::clicked, this, [this] { m_usageModeChanged = true; });
        connect(u.chkLocked, &QCheckBox::clicked, this, [this] { chkLocked_Click(); });
        connect(u.cmdUnlockOptions, &QPushButton::clicked, this,
                [this] { cmdUnlockOptions_Click(); });
        connect(u.cmdSave, &QPushButton::clicked, this, [this] { cmdSave_Click(); });
        connect(u.cmdCancel, &QPushButton::clicked, this, [this] { cmdCancel_Click(); });
        u.txtPortNum->installEventFilter(this);
        u.txtWksnName->installEventFilter(this);

        subLocalizeInterface();
        fill();
        m_settingsChanged = false;
        m_usageModeChanged = false;
        const bool locked = !m_host.settings().password.empty();
        u.chkLocked->setChecked(locked);
        u.fraAdminPassword->setVisible(locked);
        applyLock(locked);
    } catch (const std::exception& e) {
        m_log.subLogError("frmOptions.Form_LoadError", e);
    }
}

frmOptions::~frmOptions() {
    if (!m_unloaded)
        m_host.setFormLoaded(FormId::frmOptions, false);
}

void frmOptions::subLocalizeInterface() {
    try {
        auto& u = *m_ui;
        auto tip = [this](QWidget* w, int caption, int toolTip) {
            if (auto* b = qobject_cast<QAbstractButton*>(w))
                b->setText(m_text(caption));
            w->setToolTip(m_text(toolTip));
        };
        setWindowTitle(m_text(10000) + " - " + m_text(10107));
        u.fraWksn->setTitle(m_text(10236));
        u.fraServer->setTitle(m_text(10239));
        u.lblServerName->setText(m_text(10234));
        u.lblWksnName->setText(m_text(10234));
        u.lblPortNum->setText(m_text(10235));
        u.lblMode->setText(m_text(10340));
        u.txtWksnName->setToolTip(m_text(10247));
        u.txtServerName->setToolTip(m_text(10248));
        u.txtPortNum->setToolTip(m_text(10249));
        tip(u.chkStartActive, 10245, 10246);
        tip(u.chkStartAtLogon, 10269, 10270);
        tip(u.chkAllowLockdown, 10273, 10274);
        tip(u.optServerAutoConnect, 10308, 10311);
        tip(u.optServerManualConnect, 10309, 10312);
        tip(u.optWksnTypeSndAln, 10341, 10343);
        tip(u.optWksnTypeDskless, 10342, 10344);
        tip(u.cmdSave, 10243, 10254);
        tip(u.cmdCancel, 10241, 10255);
        u.lblLocked->setText(m_text(10277));
        u.lblUnlocked->setText(m_text(10275));
        u.lblLockedPassword->setText(m_text(10152));
        u.txtLockedPassword->setToolTip(m_text(10278));
        u.cmdUnlockOptions->setToolTip(m_text(10279));
        u.chkLocked->setToolTip(m_text(10276));
    } catch (const std::exception& e) {
        m_log.subLogError("frmOptions.subLocalizeInterfaceError", e);
    }
}

void frmOptions::fill() {
    m_filling = true;
    const SystemSettings& s = m_host.settings();
    auto& u = *m_ui;
    u.optServerAutoConnect->setChecked(s.automaticServerConnection);
    u.optServerManualConnect->setChecked(!s.automaticServerConnection);
    u.txtServerName->setText(QString::fromStdString(s.serverName));
    u.txtPortNum->setText(QString::fromStdString(s.serverPort));
    u.txtWksnName->setText(QString::fromStdString(s.workstationName));
    u.chkStartActive->setChecked(s.startActive);
    u.chkStartAtLogon->setChecked(s.startAtLogon);
    u.chkAllowLockdown->setChecked(s.allowLockdown);
    u.optWksnTypeSndAln->setChecked(s.standaloneWorkstation);
    u.optWksnTypeDskless->setChecked(!s.standaloneWorkstation);
    m_filling = false;
}

void frmOptions::applyConnectionMode() {
    auto& u = *m_ui;
    const bool manual = !m_locked && u.optServerManualConnect->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{u.txtServerName, u.txtPortNum,
                                                      u.lblServerName, u.lblPortNum})
        w->setEnabled(manual);
}

void frmOptions::applyLock(bool locked) {
    m_locked = locked;
    auto& u = *m_ui;
    for (QWidget* w : std::initializer_list<QWidget*>{
             u.optServerAutoConnect, u.optServerManualConnect, u.txtWksnName, u.chkStartActive,
             u.chkStartAtLogon, u.chkAllowLockdown, u.optWksnTypeSndAln, u.optWksnTypeDskless})
        w->setEnabled(!locked);
    applyConnectionMode();
    u.lblLocked->setVisible(locked);
    u.lblUnlocked->setVisible(!locked);
    u.cmdSave->setEnabled(!locked);
}

void frmOptions::changed() {
    if (!m_filling)
        m_settingsChanged = true;
}

void frmOptions::txtPortNum_Change() {
    if (!filterPortBox(m_ui->txtPortNum))
        changed();
}

bool frmOptions::txtWksnName_LostFocus() {
    if (m_checkingName || !m_ui->txtWksnName->text().contains('#'))
        return true;
    m_checkingName = true;
    m_host.funMsg(30, "#");
    m_checkingName = false;
    // Back to the box once the message box has gone.
    m_scheduler.post([this] {
        if (!m_unloaded)
            m_ui->txtWksnName->setFocus();
    });
    return false;
}

bool frmOptions::eventFilter(QObject* watched, QEvent* e) {
    try {
        if (e->type() == QEvent::FocusOut) {
            if (watched == m_ui->txtPortNum)
                capPortBox(m_ui->txtPortNum);
            else if (watched == m_ui->txtWksnName)
                txtWksnName_LostFocus();
        }
    } catch (const std::exception& ex) {
        m_log.subLogError("frmOptions.LostFocusError", ex);
    }
    return QDialog::eventFilter(watched, e);
}

void frmOptions::cmdUnlockOptions_Click() {
    try {
        auto& u = *m_ui;
        if (u.txtLockedPassword->text().toStdString() != m_host.settings().password) {
            m_host.funMsg(2);
            u.txtLockedPassword->clear();
            u.txtLockedPassword->setFocus();
            return;
        }
        applyLock(false);
        u.chkLocked->setChecked(false);
        u.fraAdminPassword->setVisible(false);
        u.txtLockedPassword->clear();
        u.txtServerName->setFocus();
    } catch (const std::exception& e) {
        m_log.subLogError("frmOptions.cmdUnlockOptions_ClickError", e);
    }
}

void frmOptions::chkLocked_Click() {
    try {
        auto& u = *m_ui;
        if (u.chkLocked->isChecked()) {
            u.fraAdminPassword->setVisible(true);
            applyLock(true);
            u.cmdUnlockOptions->setToolTip(m_text(10279));
            u.txtLockedPassword->setFocus();
        } else {
            u.fraAdminPassword->setVisible(false);
        }
    } catch (const std::exception& e) {
        m_log.subLogError("frmOptions.chkLocked_ClickError", e);
    }
}

void frmOptions::cmdSave_Click() {
    try {
        auto& u = *m_ui;
        if (m_locked)
            return;
        // "#" separates the fields of the server's messages: such a name is never stored,
        // even when Save is pressed without leaving the box.
        if (u.txtWksnName->text().contains('#')) {
            m_host.funMsg(30, "#");
            u.txtWksnName->setFocus();
            return;
        }
        const QString port = portCapped(portDigits(u.txtPortNum->text()));
        bool ok = false;
        const int portNumber = port.toInt(&ok);
        if (!ok)
            throw TlvError(kErrTypeMismatch, "Type mismatch");
        SystemSettings s = m_host.settings();
        s.automaticServerConnection = u.optServerAutoConnect->isChecked();
        s.serverName = u.txtServerName->text().toStdString();
        s.serverPort = std::to_string(portNumber);
        s.workstationName = u.txtWksnName->text().toStdString();
        s.startActive = u.chkStartActive->isChecked();
        s.standaloneWorkstation = u.optWksnTypeSndAln->isChecked();
        s.startAtLogon = u.chkStartAtLogon->isChecked();
        s.allowLockdown = u.chkAllowLockdown->isChecked();
        m_host.subSetSystemSettings(s);
        m_host.setServerCaption(s.automaticServerConnection ? m_text.raw(10310) : s.serverName);
        m_host.localizeAll();
        if (m_usageModeChanged) {
            m_host.funMsg(31);
            unload();
            m_host.unloadMain();
            return;
        }
        unload();
    } catch (const std::exception& e) {
        m_log.subLogError("frmOptions.cmdSave_ClickError", e);
    }
}

void frmOptions::cmdCancel_Click() {
    try {
        if (m_settingsChanged && !m_host.funMsgYes(4))
            return;
        unload();
    } catch (const std::exception& e) {
        m_log.subLogError("frmOptions.cmdCancel_ClickError", e);
    }
}

void frmOptions::reject() {
    cmdCancel_Click();
}

void frmOptions::unload() {
    if (m_unloaded)
        return;
    m_unloaded = true;
    m_host.setFormLoaded(FormId::frmOptions, false);
    done(QDialog::Rejected);
    if (onUnload)
        onUnload();
}

} // namespace tlv
