#include "ui/frmSetupWizard.h"

#include "core/log.h"
#include "platform/scheduler.h"
#include "ui/frmOptions.h"
#include "ui/theme.h"
#include "ui_frmSetupWizard.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>

#include <exception>

namespace tlv {

namespace {
struct StepTexts {
    int title, description, introduction;
};
constexpr StepTexts kSteps[] = {
    {0, 0, 0},
    {10023, 10024, 10025},
    {10026, 10027, 10028},
    {10029, 10030, 10031},
    {10032, 10033, 10034},
    {10036, 10037, 10038},
};
constexpr int kLastStep = 5;
} // namespace

frmSetupWizard::frmSetupWizard(Scheduler& scheduler, FormText text, SettingsFormsHost& host,
                               Logger& log, QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::frmSetupWizard>()), m_scheduler(scheduler),
      m_text(std::move(text)), m_host(host), m_log(log) {
    try {
        m_host.setFormLoaded(FormId::frmSetupWizard, true);
        m_ui->setupUi(this);
        setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                       Qt::CustomizeWindowHint);
        applyTheme(this, primaryScreenScale());
        auto& u = *m_ui;
        connect(u.cmdNext, &QPushButton::clicked, this, [this] { cmdNext_Click(); });
        connect(u.cmdBack, &QPushButton::clicked, this, [this] { cmdBack_Click(); });
        connect(u.cmdFinish, &QPushButton::clicked, this, [this] { cmdFinish_Click(); });
        connect(u.cmdCancel, &QPushButton::clicked, this, [this] { cmdCancel_Click(); });
        for (QRadioButton* o : {u.optServerAutoConnect, u.optServerManualConnect})
            connect(o, &QRadioButton::clicked, this, [this] { applyConnectionMode(); });
        // The same port filter as the options dialog: a stored port must be a number.
        connect(u.txtPortNum, &QLineEdit::textChanged, this,
                [this] { filterPortBox(m_ui->txtPortNum); });
        u.txtWksnName->installEventFilter(this);
        u.txtPortNum->installEventFilter(this);
        subLocalizeInterface();
        prepareSteps();
        m_host.setMainTopmost(false);
        showWelcome();
    } catch (const std::exception& e) {
        m_log.subLogError("frmSetupWizard.Form_LoadError", e);
    }
}

frmSetupWizard::~frmSetupWizard() {
    if (!m_unloaded)
        m_host.setFormLoaded(FormId::frmSetupWizard, false);
}

void frmSetupWizard::subLocalizeInterface() {
    try {
        auto& u = *m_ui;
        auto both = [this](QAbstractButton* b, int caption, int toolTip) {
            b->setText(m_text(caption));
            b->setToolTip(m_text(toolTip));
        };
        setWindowTitle(m_text(10015));
        u.lblWelcomeTitle->setText(m_text(10016));
        u.lblWelcomeText->setText(m_text(10017));
        u.lblWelcomeHelp->setText(m_text(10018));
        u.cmdBack->setText(m_text(10019));
        u.cmdNext->setText(m_text(10020));
        u.cmdCancel->setText(m_text(10021));
        u.cmdFinish->setText(m_text(10035));
        both(u.optServerAutoConnect, 10308, 10311);
        both(u.optServerManualConnect, 10309, 10312);
        u.lblServerName->setText(m_text(10234));
        u.lblPortNum->setText(m_text(10235));
        u.lblWksnName->setText(m_text(10234));
        both(u.chkStartAtLogon, 10269, 10270);
        both(u.chkStartActive, 10245, 10246);
        const QString user = QString::fromStdString(m_host.settings().windowsUserName);
        u.lblStartUpWarning->setText(m_text(10313) + "\n" + m_text(10314) + user);
        both(u.chkAllowLockdown, 10273, 10274);
        u.lblLockdownWarning->setText(m_text(10313) + "\n" + m_text(10314) + user);
        u.lblRightsWarning->setText(m_text(10315));
        u.chkActivateNow->setText(m_text(10316));
        QString hint = m_text(10331);
        u.lblHint->setText(hint.replace("\r\n", "\n"));
        if (m_page > 0) {
            u.lblTitle->setText(m_text(kSteps[m_page].title));
            u.lblDescription->setText(m_text(kSteps[m_page].description));
            u.lblIntroduction->setText(m_text(kSteps[m_page].introduction));
        }
    } catch (const std::exception& e) {
        m_log.subLogError("frmSetupWizard.subLocalizeInterfaceError", e);
    }
}

void frmSetupWizard::prepareSteps() {
    const SystemSettings& s = m_host.settings();
    auto& u = *m_ui;
    u.optServerAutoConnect->setChecked(s.automaticServerConnection);
    u.optServerManualConnect->setChecked(!s.automaticServerConnection);
    u.txtServerName->setText(QString::fromStdString(s.serverName));
    u.txtPortNum->setText(QString::fromStdString(s.serverPort));
    u.txtWksnName->setText(QString::fromStdString(s.workstationName));
    u.chkStartAtLogon->setChecked(s.startAtLogon);
    u.chkStartActive->setChecked(s.startActive);
    u.chkAllowLockdown->setChecked(s.allowLockdown);
    applyConnectionMode();
}

void frmSetupWizard::applyConnectionMode() {
    auto& u = *m_ui;
    const bool manual = u.optServerManualConnect->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{u.txtServerName, u.txtPortNum,
                                                      u.lblServerName, u.lblPortNum})
        w->setEnabled(manual);
}

bool frmSetupWizard::machinePartDone() const {
    return m_host.settings().configWizardMachine != 0;
}

void frmSetupWizard::showWelcome() {
    showPage(0);
    // A later user skips the machine-wide steps 1 and 2: Next goes to step 3.
    m_step = machinePartDone() ? 2 : 0;
}

void frmSetupWizard::showPage(int step) {
    auto& u = *m_ui;
    m_page = step;
    QFrame* frames[] = {u.fraWelcome, u.fraStep1, u.fraStep2, u.fraStep3, u.fraStep4, u.fraStep5};
    for (int i = 0; i <= kLastStep; ++i)
        frames[i]->setVisible(i == step);
    u.fraHeader->setVisible(step > 0);
    u.cmdBack->setEnabled(step > 0);
    u.cmdNext->setEnabled(step < kLastStep);
    u.cmdFinish->setEnabled(step == kLastStep);
    if (step > 0) {
        u.lblTitle->setText(m_text(kSteps[step].title));
        u.lblDescription->setText(m_text(kSteps[step].description));
        u.lblIntroduction->setText(m_text(kSteps[step].introduction));
    }
    if (step == kLastStep) {
        u.chkActivateNow->setChecked(u.chkStartActive->isChecked());
        u.chkActivateNow->setFocus();
    }
    // Each page has its own texts: a longer one makes the window grow.
    refitWindow(this);
}

void frmSetupWizard::cmdNext_Click() {
    try {
        if (m_step >= kLastStep)
            return;
        ++m_step;
        showPage(m_step);
    } catch (const std::exception& e) {
        m_log.subLogError("frmSetupWizard.cmdNext_ClickError", e);
    }
}

void frmSetupWizard::cmdBack_Click() {
    try {
        if ((machinePartDone() && m_step <= 3) || m_step <= 1) {
            showWelcome();
            return;
        }
        --m_step;
        showPage(m_step);
    } catch (const std::exception& e) {
        m_log.subLogError("frmSetupWizard.cmdBack_ClickError", e);
    }
}

bool frmSetupWizard::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() == QEvent::FocusOut && !m_closing) {
        if (watched == m_ui->txtPortNum)
            capPortBox(m_ui->txtPortNum);
        else if (watched == m_ui->txtWksnName && m_ui->txtWksnName->text().contains('#')) {
            m_host.funMsg(30, "#");
            m_scheduler.post([this] {
                if (!m_unloaded && m_page == 2)
                    m_ui->txtWksnName->setFocus();
            });
        }
    }
    return QDialog::eventFilter(watched, e);
}

void frmSetupWizard::cmdFinish_Click() {
    try {
        auto& u = *m_ui;
        if (u.txtWksnName->text().contains('#')) {
            // Never stored: "#" separates the fields of the server's messages.
            m_host.funMsg(30, "#");
            return;
        }
        SystemSettings s = m_host.settings();
        s.automaticServerConnection = u.optServerAutoConnect->isChecked();
        s.serverName = u.txtServerName->text().toStdString();
        const QString port = portCapped(portDigits(u.txtPortNum->text()));
        if (!port.isEmpty())
            s.serverPort = std::to_string(port.toInt());
        s.workstationName = u.txtWksnName->text().toStdString();
        s.startActive = u.chkStartActive->isChecked();
        s.startAtLogon = u.chkStartAtLogon->isChecked();
        s.allowLockdown = u.chkAllowLockdown->isChecked();
        s.configWizardMachine = 1;
        s.configWizardUser = 1;
        m_host.subSetSystemSettings(s);
        m_host.setServerCaption(s.automaticServerConnection ? m_text.raw(10310) : s.serverName);
        m_host.storeConfigWizardDone();
        if (u.chkActivateNow->isChecked())
            m_host.subActivate();
        m_finished = true;
        unload();
    } catch (const std::exception& e) {
        m_log.subLogError("frmSetupWizard.cmdFinish_ClickError", e);
    }
}

bool frmSetupWizard::confirmClose() {
    return m_host.funMsgYes(29);
}

void frmSetupWizard::cmdCancel_Click() {
    try {
        if (confirmClose())
            unload();
    } catch (const std::exception& e) {
        m_log.subLogError("frmSetupWizard.cmdCancel_ClickError", e);
    }
}

void frmSetupWizard::reject() {
    cmdCancel_Click();
}

void frmSetupWizard::closeEvent(QCloseEvent* e) {
    if (m_unloaded) {
        e->accept();
        return;
    }
    e->ignore();
    cmdCancel_Click();
}

void frmSetupWizard::unload() {
    if (m_unloaded)
        return;
    m_unloaded = true;
    m_closing = true;
    m_host.setFormLoaded(FormId::frmSetupWizard, false);
    done(m_finished ? QDialog::Accepted : QDialog::Rejected);
    if (onUnload)
        onUnload();
}

} // namespace tlv
