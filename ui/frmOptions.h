#pragma once

#include "core/localization.h"
#include "ui/form_text.h"
#include "ui/settings_forms_host.h"

#include <QDialog>

#include <functional>
#include <memory>

namespace Ui {
class frmOptions;
}

class QLineEdit;

namespace tlv {

class Logger;
class Scheduler;

// The port box: digits only, trimmed, kept while typing.
QString portDigits(const QString& text);
// Leaving the port box: above 65535 becomes "65535".
QString portCapped(const QString& digits);
// Drops what is not a digit from the box, the cursor staying where the refused character was
// typed; false when there was nothing to drop.
bool filterPortBox(QLineEdit* box);
// On leaving the box.
void capPortBox(QLineEdit* box);

class frmOptions : public QDialog, public Localizable {
    Q_OBJECT
public:
    frmOptions(Scheduler& scheduler, FormText text, SettingsFormsHost& host, Logger& log,
               QWidget* parent = nullptr);
    ~frmOptions() override;

    Ui::frmOptions& ui() { return *m_ui; }
    void subLocalizeInterface() override;
    bool locked() const { return m_locked; }
    bool settingsChanged() const { return m_settingsChanged; }
    bool unloaded() const { return m_unloaded; }
    void unload();
    std::function<void()> onUnload;

    void cmdSave_Click();
    void cmdCancel_Click();
    void cmdUnlockOptions_Click();

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;
    void reject() override; // the close box and Escape act as Cancel

private:
    void fill();
    void applyLock(bool locked);
    void applyConnectionMode();
    void changed();
    void chkLocked_Click();
    void txtPortNum_Change();
    bool txtWksnName_LostFocus();

    std::unique_ptr<Ui::frmOptions> m_ui;
    Scheduler& m_scheduler;
    FormText m_text;
    SettingsFormsHost& m_host;
    Logger& m_log;
    bool m_settingsChanged = false;
    bool m_usageModeChanged = false;
    bool m_locked = false;
    bool m_filling = false;
    bool m_checkingName = false;
    bool m_unloaded = false;
};

} // namespace tlv
