#include "control/session_cleanup.h"

#include "core/settings.h"

namespace tlv {

// Text values go through the registry layer; it stores no binary values, so those are written
// to the same user hive key directly.
void SettingsProfileRegistry::setUserSetting(const std::string& app, const std::string& section,
                                             const std::string& name, const RegValue& value) {
    if (value.type == RegType::Sz)
        m_store.SetRegUserSettings(app, section, name, value.text, 1);
    else
        m_store.userHive().set("Software\\" + app + "\\" + section, name, value);
}

void SettingsProfileRegistry::setUserKeyValue(const std::string& keyPath, const std::string& name,
                                              const RegValue& value) {
    m_store.userHive().set(keyPath, name, value);
}

} // namespace tlv
