#pragma once

#include "core/settings.h"
#include "platform/forms_port.h"

#include <string>

namespace tlv {

// What the options dialog and the setup wizard read and call. The client implements it.
class SettingsFormsHost {
public:
    virtual ~SettingsFormsHost() = default;
    virtual const SystemSettings& settings() const = 0;
    // Takes the edited settings and stores them (subSetSystemSettings).
    virtual void subSetSystemSettings(const SystemSettings& edited) = 0;
    // The main form's server caption: string 10310 in automatic mode, else the server name.
    virtual void setServerCaption(const std::string& caption) = 0;
    // subLocalizeInterface on every loaded form.
    virtual void localizeAll() = 0;
    virtual void funMsg(int number, const std::string& insert = {}) = 0;
    virtual bool funMsgYes(int number) = 0;
    // Unloads the main form, which ends the client.
    virtual void unloadMain() = 0;
    virtual void setFormLoaded(FormId form, bool loaded) = 0;
    // Wizard only.
    virtual void setMainTopmost(bool topmost) = 0;
    // Both "Config Wizard" values (machine and user) set to 1 and stored.
    virtual void storeConfigWizardDone() = 0;
    virtual void subActivate() = 0;
};

} // namespace tlv
