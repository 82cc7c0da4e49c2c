#include "control/session_cleanup.h"

#include "core/settings.h"

namespace tlv {

namespace {
constexpr int kRegSz = 1;
constexpr int kRegBinary = 3;
} // namespace

void SettingsProfileRegistry::setUserSetting(const std::string& app, const std::string& section,
                                             const std::string& name, const RegValue& value) {
    if (value.type == RegType::Binary)
        m_store.SetRegUserSettings(app, section, name,
                                   std::string(value.bytes.begin(), value.bytes.end()), kRegBinary,
                                   static_cast<int>(value.bytes.size()));
    else
        m_store.SetRegUserSettings(app, section, name, value.text, kRegSz);
}

// Keys outside "Software" are not reached by the registry layer: opened directly.
void SettingsProfileRegistry::setUserKeyValue(const std::string& keyPath, const std::string& name,
                                              const RegValue& value) {
    m_store.userHive().set(keyPath, name, value);
}

} // namespace tlv
