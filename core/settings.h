#pragma once

// The settings of the workstation: the constants record, the machine and user settings,
// and the procedures that read, write and upgrade them. The declarations here are the contract
// the rest of the client codes against; core/settings.cpp implements them over two Hives.

#include <cstdint>
#include <optional>
#include <string>

namespace tlv {

class Hive;
class Logger;
class SystemInfo;
struct RuntimeLayout;

// Section "Constants" of the machine hive, in record order.
struct ConstWksn {
    int cnxUdpPortServer = 4647;
    int cnxUdpPortWksn = 4648;
    std::string cnxBroardcastAdr = "255.255.255.255";
    int32_t cnxMinSizeTmpFileStore = 50000;
    int genScrCapCompressRatio = 90;
    std::string genAdminLogon = "vesta";
    std::string genCurrencySymb = "</currSymbol>";
    double wksnSessionExpiryTime = 5.0 / 1440; // time span (fraction of a day), stored as minutes
    double wksnActivateDelayTime = 2.0 / 1440; // time span, stored as minutes
    int wksnMaxNumUseAtempts = 3;
    int32_t wksnCnxBootDelay = 90000;
    int32_t wksnCnxMinDelay = 2000;
    int32_t wksnStartDelay = 30;
    int wksnMuteVolWhenBlocked = 1;
    int wksnDisableSessCloseButton = 0;
    int wksnHideAllStatusWin = 0;
    int wksnHeartBeatCheck = 30;
    int wksnCheckSamePcAsServer = 1;
    int wksnRebootOnSessionEnd = 0;
    int wksnShutdownDelay = 5;
    int wksnRegistryFlushInterval = 30;
};

// Machine settings and the user settings read with them (subGetSystemSettings).
struct SystemSettings {
    // derived
    std::string windowsUserName; // login name, lower case
    std::string computerName;    // host name, lower case (user name in diskless mode)
    std::string computerAddress; // hardware identity (MAC), computer name when none
    std::string logPath;
    // General
    bool standaloneWorkstation = true;
    std::string workstationName;
    std::string password; // clear text in memory; scrambled in the hive
    int configWizardMachine = 0;
    int configWizardUser = 0;
    bool hideCardNumber = false;
    int defaultState = 2;
    int defaultMode = 1;
    int defaultUsage = 2;
    std::string logoPath;
    std::string interfaceLanguage;        // current, e.g. "tlvcli_en"
    std::string defaultInterfaceLanguage; // read the same way, kept as the café's language
    int interfaceLanguageCharset = 0;
    int defaultInterfaceLanguageCharset = 0;
    std::string messagePrefix; // "\en_", "\de_" ...
    int messageLogoFilesType = 0;
    // Message paths
    std::string msgIntro, msgBlocked, msgNoCredit, msgSessionEnd, msgSessionPaused;
    // Server
    std::string serverName;
    std::string serverPort = "4646";
    std::string serverTimeOut = "10";
    bool automaticServerConnection = true;
    // user
    bool startActive = true;
    bool allowLockdown = true;
    bool startAtLogon = false;
};

// Main window position, in twips as the Windows program stored it.
struct UserSettings {
    int mainTop = 0;
    int mainLeft = 0;
};

} // namespace tlv

#include "platform/hive.h"

#include <functional>
#include <variant>

namespace tlv {

class Autostart;

// Registry value types as the layer's callers pass them.
constexpr int REG_SZ = 1;
constexpr int REG_BINARY = 3;
constexpr int REG_DWORD = 4;

// The application name of the client's own keys ("Software\" + app + "\" + section).
inline constexpr const char* kSettingsAppName = "Talvor Client";

// What GetRegSettings returns: empty, text or a 32-bit number.
using RegVariant = std::variant<std::monostate, std::string, uint32_t>;

// Default language code ("de", "fr", ... "en") of a Windows locale.
std::string languageCodeForLcid(uint32_t lcid);
// "\de_" for "tlvcli_de"; "\en_" for any language without its own message files.
std::string messagePrefixFor(const std::string& interfaceLanguage);
// Classic conversions of stored values: decimal text (blanks around, "&H" hex, fractions
// rounded half to even) or a DWORD; nullopt for anything else.
std::optional<int64_t> regNumber(const RegVariant& v);

// The registry layer and the setting procedures over the machine and the user hive.
class SettingsStore {
public:
    // xorKey: the fixed text from the string table that scrambles the stored password.
    // autostart: the start-at-logon entry (the Windows "Run" value).
    SettingsStore(Hive& machine, Hive& user, Logger& log, const SystemInfo& sys,
                  const RuntimeLayout& layout, Autostart& autostart, std::string xorKey);

    // Registry layer: application name (usually "Talvor Client"), section, value name.
    RegVariant GetRegSettings(const std::string& app, const std::string& section,
                              const std::string& name, const RegVariant& dflt, int type);
    RegVariant GetRegUserSettings(const std::string& app, const std::string& section,
                                  const std::string& name, const RegVariant& dflt, int type);
    // REG_SZ stores the text, REG_DWORD the number it holds, REG_BINARY its bytes (the first
    // dataLength when 0 < dataLength < size).
    void SetRegSettings(const std::string& app, const std::string& section, const std::string& name,
                        const std::string& value, int type, int dataLength = 0);
    void SetRegUserSettings(const std::string& app, const std::string& section,
                            const std::string& name, const std::string& value, int type,
                            int dataLength = 0);
    void DelRegUserSettings(const std::string& app, const std::string& section,
                            const std::string& name);
    // RegFlushKey of the machine hive (and the user hive).
    void RegFlushKey();

    // Returns the settings version reached; 0 when the stored version is not a number (then
    // nothing is converted or written).
    int funInitSettings(int target);
    int funSettingsUpgradeSteps(int version);
    void subGetConstWksn(ConstWksn& c);
    void subSetConstWksn(const ConstWksn& c);
    void subGetSystemSettings(SystemSettings& s, const ConstWksn& c);
    void subSetSystemSettings(const SystemSettings& s, const ConstWksn& c);
    // The default position centres the main window on a screen of the given size in twips.
    void subGetUserSettings(UserSettings& u, int screenWidthTwips = 0, int screenHeightTwips = 0);
    void subSetUserSettings(const UserSettings& u);

    // Stores a new deactivation password (clear text in, scrambled in the hive).
    void storePassword(const std::string& clearPassword);
    // The hardware identity of a stand-alone workstation (first Ethernet adapter's MAC);
    // without a source, or when it gives nothing, the computer name stands in.
    void setHardwareIdentitySource(std::function<std::string()> source) {
        m_hardwareIdentity = std::move(source);
    }
    // "Software\Talvor Client\General" for section "General".
    static std::string keyPath(const std::string& app, const std::string& section);

    Hive& machineHive() { return m_machine; }
    Hive& userHive() { return m_user; }
    const std::string& xorKey() const { return m_xorKey; }

private:
    RegVariant getReg(Hive& hive, const char* proc, const std::string& app,
                      const std::string& section, const std::string& name, const RegVariant& dflt);
    void setReg(Hive& hive, const char* proc, const std::string& app, const std::string& section,
                const std::string& name, const std::string& value, int type, int dataLength);
    // Typed reads of the client's own keys; a value that is not a number logs and gives dflt.
    std::string machineText(const std::string& section, const std::string& name,
                            const std::string& dflt);
    std::string userText(const std::string& section, const std::string& name,
                         const std::string& dflt);
    // proc names the calling procedure in the log line of a value that is not a number.
    int64_t machineNumber(const char* proc, const std::string& section, const std::string& name,
                          int64_t dflt, int type);
    int64_t userNumber(const char* proc, const std::string& section, const std::string& name,
                       int64_t dflt, int type);
    int64_t numberOr(const char* proc, const RegVariant& v, int64_t dflt,
                     const std::string& section, const std::string& name);
    std::string dataFolderFile(const std::string& name) const;

    Hive& m_machine;
    Hive& m_user;
    Logger& m_log;
    const SystemInfo& m_sys;
    const RuntimeLayout& m_layout;
    Autostart& m_autostart;
    std::string m_xorKey;
    std::function<std::string()> m_hardwareIdentity;
};

} // namespace tlv
