#pragma once

// The settings of the workstation: the constants record, the machine and user settings,
// and the procedures that read, write and upgrade them. The declarations here are the contract
// the rest of the client codes against; core/settings.cpp implements them over two Hives.

#include <cstdint>
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

#include <variant>

namespace tlv {

// What GetRegSettings returns: empty, text or a 32-bit number.
using RegVariant = std::variant<std::monostate, std::string, uint32_t>;

// The registry layer and the setting procedures over the machine and the user hive.
class SettingsStore {
public:
    // xorKey: the fixed text from the string table that scrambles the stored password.
    SettingsStore(Hive& machine, Hive& user, Logger& log, const SystemInfo& sys,
                  const RuntimeLayout& layout, std::string xorKey);

    // Registry layer: application name (usually "Talvor Client"), section, value name.
    RegVariant GetRegSettings(const std::string& app, const std::string& section,
                              const std::string& name, const RegVariant& dflt, int type);
    RegVariant GetRegUserSettings(const std::string& app, const std::string& section,
                                  const std::string& name, const RegVariant& dflt, int type);
    void SetRegSettings(const std::string& app, const std::string& section,
                        const std::string& name, const std::string& value, int type,
                        int dataLength = 0);
    void SetRegUserSettings(const std::string& app, const std::string& section,
                            const std::string& name, const std::string& value, int type,
                            int dataLength = 0);
    void DelRegUserSettings(const std::string& app, const std::string& section,
                            const std::string& name);
    // RegFlushKey of the machine hive (and the user hive).
    void RegFlushKey();

    int funInitSettings(int target);
    void subGetConstWksn(ConstWksn& c);
    void subSetConstWksn(const ConstWksn& c);
    void subGetSystemSettings(SystemSettings& s, const ConstWksn& c);
    void subSetSystemSettings(const SystemSettings& s, const ConstWksn& c);
    void subGetUserSettings(UserSettings& u);
    void subSetUserSettings(const UserSettings& u);

    Hive& machineHive() { return m_machine; }
    Hive& userHive() { return m_user; }

private:
    Hive& m_machine;
    Hive& m_user;
    Logger& m_log;
    const SystemInfo& m_sys;
    const RuntimeLayout& m_layout;
    std::string m_xorKey;
};

} // namespace tlv
