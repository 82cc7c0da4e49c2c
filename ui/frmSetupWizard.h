#pragma once

#include "core/localization.h"
#include "ui/form_text.h"
#include "ui/settings_forms_host.h"

#include <QDialog>

#include <functional>
#include <memory>

namespace Ui {
class frmSetupWizard;
}

namespace tlv {

class Logger;
class Scheduler;

// The five-step first-run wizard; a later Windows user on a configured machine only sees the
// steps of his own part.
class frmSetupWizard : public QDialog, public Localizable {
    Q_OBJECT
public:
    frmSetupWizard(Scheduler& scheduler, FormText text, SettingsFormsHost& host, Logger& log,
                   QWidget* parent = nullptr);
    ~frmSetupWizard() override;

    Ui::frmSetupWizard& ui() { return *m_ui; }
    void subLocalizeInterface() override;
    // The page on display: 0 the welcome page, 1 to 5 the steps.
    int page() const { return m_page; }
    bool finished() const { return m_finished; }
    bool unloaded() const { return m_unloaded; }
    std::function<void()> onUnload;

    void cmdNext_Click();
    void cmdBack_Click();
    void cmdFinish_Click();
    void cmdCancel_Click();
    // Closes without asking (the program is ending).
    void unload();

protected:
    void closeEvent(QCloseEvent* e) override;
    void reject() override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void prepareSteps();
    void showWelcome();
    void showPage(int step);
    bool machinePartDone() const;
    void applyConnectionMode();
    bool confirmClose();

    std::unique_ptr<Ui::frmSetupWizard> m_ui;
    Scheduler& m_scheduler;
    FormText m_text;
    SettingsFormsHost& m_host;
    Logger& m_log;
    int m_step = 0; // the step counter of the classic wizard
    int m_page = 0;
    bool m_finished = false;
    bool m_unloaded = false;
    bool m_closing = false;
};

} // namespace tlv
