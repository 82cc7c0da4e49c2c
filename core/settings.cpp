#include "core/settings.h"

#include "core/error.h"
#include "core/log.h"
#include "core/scramble.h"
#include "platform/autostart.h"
#include "platform/paths.h"
#include "platform/system_info.h"
#include "tlv_version.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace tlv {

namespace {

constexpr const char* kIniModule = "modINIFileFunctions.";
constexpr const char* kModule = "modFunctions.";

std::string lower(std::string s) {
    for (auto& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

std::string trimBlanks(const std::string& s) {
    const auto b = s.find_first_not_of(" \t");
    if (b == std::string::npos)
        return {};
    const auto e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

// Number held by a text, as the classic conversions read it; nullopt when it holds none.
std::optional<int64_t> parseNumber(const std::string& raw) {
    const std::string t = trimBlanks(raw);
    if (t.empty())
        return std::nullopt;
    if (t.size() > 2 && t[0] == '&' && (t[1] == 'H' || t[1] == 'h')) {
        std::string hex = t.substr(2);
        const bool longSuffix = !hex.empty() && hex.back() == '&';
        if (longSuffix)
            hex.pop_back();
        uint64_t v = 0;
        const auto [p, ec] = std::from_chars(hex.data(), hex.data() + hex.size(), v, 16);
        if (ec != std::errc() || p != hex.data() + hex.size() || hex.empty() || v > 0xFFFFFFFFull)
            return std::nullopt;
        // Eight digits are the signed 32-bit value.
        return longSuffix || hex.size() > 4 ? static_cast<int64_t>(static_cast<int32_t>(v))
                                            : static_cast<int64_t>(static_cast<int16_t>(v));
    }
    const char* b = t.data();
    if (*b == '+')
        ++b;
    double d = 0;
    const auto [p, ec] = std::from_chars(b, t.data() + t.size(), d, std::chars_format::fixed);
    if (ec != std::errc() || p != t.data() + t.size() || !std::isfinite(d))
        return std::nullopt;
    d = std::nearbyint(d); // half to even, as the classic conversion rounds
    if (d < -9.2e18 || d > 9.2e18)
        return std::nullopt;
    return static_cast<int64_t>(d);
}

std::string removeHashes(std::string s) {
    std::erase(s, '#');
    return s;
}

struct LangLcids {
    const char* code;
    uint32_t lcids[19];
};

constexpr LangLcids kLanguages[] = {
    {"de", {1031, 2055, 3079, 4103, 5127}},
    {"el", {1032}},
    {"fr", {1036, 2060, 3084, 4108, 5132, 6156}},
    {"hu", {1038}},
    {"it", {1040}},
    {"nl", {1043, 2067}},
    {"br", {1046}},
    {"es",
     {2058, 3082, 4106, 5130, 6154, 7178, 8202, 9226, 10250, 11274, 12298, 13322, 14346, 15370,
      16394, 17418, 18442, 19466, 20490}},
};

constexpr const char* kMessageLanguages[] = {"en", "fr", "de", "es", "el", "it", "br", "hu", "nl"};

} // namespace

std::string languageCodeForLcid(uint32_t lcid) {
    for (const auto& l : kLanguages)
        for (uint32_t id : l.lcids)
            if (id != 0 && id == lcid)
                return l.code;
    return "en";
}

std::string messagePrefixFor(const std::string& interfaceLanguage) {
    const std::string exePrefix = std::string(kExeName) + "_";
    std::string code = interfaceLanguage;
    if (lower(code).rfind(exePrefix, 0) == 0)
        code = code.substr(exePrefix.size());
    else if (const auto us = code.rfind('_'); us != std::string::npos)
        code = code.substr(us + 1);
    code = lower(code);
    for (const char* l : kMessageLanguages)
        if (code == l)
            return std::string("\\") + l + "_";
    return "\\en_";
}

std::optional<int64_t> regNumber(const RegVariant& v) {
    if (const auto* n = std::get_if<uint32_t>(&v))
        return static_cast<int64_t>(static_cast<int32_t>(*n));
    if (const auto* t = std::get_if<std::string>(&v))
        return parseNumber(*t);
    return std::nullopt;
}

// Time span of a number of minutes, and its minutes as funFormatTime's format 4 writes them:
// whole hours times 60 plus the minutes of the hour, seconds dropped.
static double minutesToSpan(double minutes) {
    return minutes / 1440.0;
}

static std::string spanToMinutesText(double span) {
    if (!std::isfinite(span))
        return "0";
    // Counted in whole seconds so that 5/1440 is five minutes and not 4:59.999.
    const double secs = std::round(span * 86400.0);
    const bool negative = secs < 0;
    const auto total = static_cast<int64_t>(std::fabs(secs) > 9.2e15 ? 9.2e15 : std::fabs(secs));
    const int64_t hours = total / 3600;
    const int64_t minutes = (total / 60) % 60;
    const int64_t v = hours * 60 + minutes;
    return std::to_string(negative && v != 0 ? -v : v);
}

SettingsStore::SettingsStore(Hive& machine, Hive& user, Logger& log, const SystemInfo& sys,
                             const RuntimeLayout& layout, Autostart& autostart, std::string xorKey)
    : m_machine(machine), m_user(user), m_log(log), m_sys(sys), m_layout(layout),
      m_autostart(autostart), m_xorKey(std::move(xorKey)) {}

std::string SettingsStore::keyPath(const std::string& app, const std::string& section) {
    return "Software\\" + app + "\\" + section;
}

std::string SettingsStore::dataFolderFile(const std::string& name) const {
    return m_layout.dataFolder + "\\" + name;
}

// ---- registry layer ------------------------------------------------------------------------

RegVariant SettingsStore::getReg(Hive& hive, const char* proc, const std::string& app,
                                 const std::string& section, const std::string& name,
                                 const RegVariant& dflt) {
    try {
        const auto v = hive.get(keyPath(app, section), name);
        if (!v) {
            const std::string err = hive.lastError();
            if (!err.empty())
                throw TlvError(kErrPathAccess, err);
            return dflt;
        }
        switch (v->type) {
        case RegType::Sz:
            if (v->text.empty())
                return dflt;
            return v->text;
        case RegType::Dword:
            return v->dword;
        case RegType::Binary:
            if (v->bytes.empty())
                return dflt;
            return std::monostate{};
        default:
            return std::monostate{};
        }
    } catch (const std::exception& e) {
        m_log.subLogError(
            std::string(kIniModule) + proc + "Error - Headding: " + section + " - Key: " + name, e);
        return dflt;
    }
}

void SettingsStore::setReg(Hive& hive, const char* proc, const std::string& app,
                           const std::string& section, const std::string& name,
                           const std::string& value, int type, int dataLength) {
    try {
        RegValue v;
        switch (type) {
        case REG_SZ:
            v = RegValue::sz(value);
            break;
        case REG_DWORD: {
            const auto n = parseNumber(value);
            if (!n)
                throw TlvError(kErrTypeMismatch, "Type mismatch");
            if (*n < std::numeric_limits<int32_t>::min() ||
                *n > static_cast<int64_t>(std::numeric_limits<uint32_t>::max()))
                throw TlvError(kErrOverflow, "Overflow");
            v = RegValue::dw(static_cast<uint32_t>(*n));
            break;
        }
        case REG_BINARY: {
            size_t n = value.size();
            if (dataLength > 0 && static_cast<size_t>(dataLength) < n)
                n = static_cast<size_t>(dataLength);
            v = RegValue::bin(std::vector<uint8_t>(value.begin(), value.begin() + n));
            break;
        }
        default:
            return; // other types store nothing
        }
        if (!hive.set(keyPath(app, section), name, v))
            throw TlvError(kErrPathAccess, hive.lastError());
    } catch (const std::exception& e) {
        m_log.subLogError(std::string(kIniModule) + proc + "Error - Headding: " + section +
                              " - Key: " + name + " - Value: " + value,
                          e);
    }
}

RegVariant SettingsStore::GetRegSettings(const std::string& app, const std::string& section,
                                         const std::string& name, const RegVariant& dflt, int) {
    return getReg(m_machine, "GetRegSettings", app, section, name, dflt);
}

RegVariant SettingsStore::GetRegUserSettings(const std::string& app, const std::string& section,
                                             const std::string& name, const RegVariant& dflt, int) {
    return getReg(m_user, "GetRegUserSettings", app, section, name, dflt);
}

void SettingsStore::SetRegSettings(const std::string& app, const std::string& section,
                                   const std::string& name, const std::string& value, int type,
                                   int dataLength) {
    setReg(m_machine, "SetRegSettings", app, section, name, value, type, dataLength);
}

void SettingsStore::SetRegUserSettings(const std::string& app, const std::string& section,
                                       const std::string& name, const std::string& value, int type,
                                       int dataLength) {
    setReg(m_user, "SetRegUserSettings", app, section, name, value, type, dataLength);
}

void SettingsStore::DelRegUserSettings(const std::string& app, const std::string& section,
                                       const std::string& name) {
    // A value that is not there is already deleted; only a failing hive is worth a line.
    if (!m_user.remove(keyPath(app, section), name) && !m_user.lastError().empty())
        m_log.subLogError(std::string(kIniModule) +
                              "DelRegUserSettingsError - Headding: " + section + " - Key: " + name,
                          kErrPathAccess, m_user.lastError());
}

void SettingsStore::RegFlushKey() {
    if (!m_machine.flush())
        m_log.subLogError(std::string(kIniModule) + "RegFlushKeyError - HKEY_LOCAL_MACHINE",
                          kErrPathAccess, m_machine.lastError());
    if (!m_user.flush())
        m_log.subLogError(std::string(kIniModule) + "RegFlushKeyError - HKEY_CURRENT_USER",
                          kErrPathAccess, m_user.lastError());
}

// ---- typed reads of the client's own keys --------------------------------------------------

int64_t SettingsStore::numberOr(const char* proc, const RegVariant& v, int64_t dflt,
                                const std::string& section, const std::string& name) {
    if (std::holds_alternative<std::monostate>(v))
        return dflt;
    if (const auto n = regNumber(v))
        return *n;
    // One bad value costs that setting only, not the rest of the settings.
    m_log.subLogError(
        std::string(kModule) + proc + "Error - Headding: " + section + " - Key: " + name,
        kErrTypeMismatch, "Type mismatch: \"" + std::get<std::string>(v) + "\", default used");
    return dflt;
}

std::string SettingsStore::machineText(const std::string& section, const std::string& name,
                                       const std::string& dflt) {
    const RegVariant v = GetRegSettings(kSettingsAppName, section, name, dflt, REG_SZ);
    if (const auto* t = std::get_if<std::string>(&v))
        return *t;
    if (const auto* n = std::get_if<uint32_t>(&v))
        return std::to_string(static_cast<int32_t>(*n));
    return dflt;
}

std::string SettingsStore::userText(const std::string& section, const std::string& name,
                                    const std::string& dflt) {
    const RegVariant v = GetRegUserSettings(kSettingsAppName, section, name, dflt, REG_SZ);
    if (const auto* t = std::get_if<std::string>(&v))
        return *t;
    if (const auto* n = std::get_if<uint32_t>(&v))
        return std::to_string(static_cast<int32_t>(*n));
    return dflt;
}

int64_t SettingsStore::machineNumber(const char* proc, const std::string& section,
                                     const std::string& name, int64_t dflt, int type) {
    const RegVariant d = type == REG_DWORD ? RegVariant(static_cast<uint32_t>(dflt))
                                           : RegVariant(std::to_string(dflt));
    return numberOr(proc, GetRegSettings(kSettingsAppName, section, name, d, type), dflt, section,
                    name);
}

int64_t SettingsStore::userNumber(const char* proc, const std::string& section,
                                  const std::string& name, int64_t dflt, int type) {
    const RegVariant d = type == REG_DWORD ? RegVariant(static_cast<uint32_t>(dflt))
                                           : RegVariant(std::to_string(dflt));
    return numberOr(proc, GetRegUserSettings(kSettingsAppName, section, name, d, type), dflt,
                    section, name);
}

static int clampInt(int64_t v) {
    if (v < std::numeric_limits<int>::min())
        return std::numeric_limits<int>::min();
    if (v > std::numeric_limits<int>::max())
        return std::numeric_limits<int>::max();
    return static_cast<int>(v);
}

// ---- upgrade -------------------------------------------------------------------------------

int SettingsStore::funInitSettings(int target) {
    int version = 0;
    try {
        if (!m_machine.keyExists(keyPath(kSettingsAppName, "General"))) {
            // First start on this machine: nothing to convert.
            version = target;
        } else {
            const RegVariant v = GetRegSettings(
                kSettingsAppName, "General", "Current Settings Version", std::string("0"), REG_SZ);
            const auto n = regNumber(v);
            if (!n)
                // Converting on a guess could scramble the password twice: leave it all.
                throw TlvError(kErrTypeMismatch,
                               "Type mismatch: the settings version is not a number");
            if (*n < 0) {
                // No step starts below 0: counting up to it one by one froze the start.
                m_log.subWriteLog(std::string(kModule) + "funInitSettings: settings version " +
                                  std::to_string(*n) + " read as 0");
                version = 0;
            } else {
                version = clampInt(*n);
            }
            while (version < target)
                version = funSettingsUpgradeSteps(version);
        }
        SetRegSettings(kSettingsAppName, "General", "Current Settings Version",
                       std::to_string(version), REG_SZ);
    } catch (const std::exception& e) {
        m_log.subLogError(std::string(kModule) + "funInitSettingsError", e);
    }
    return version;
}

int SettingsStore::funSettingsUpgradeSteps(int version) {
    try {
        switch (version) {
        case 0: {
            const std::string stored = machineText("General", "Password", "");
            if (!stored.empty())
                SetRegSettings(kSettingsAppName, "General", "Password",
                               funDoXOR(funDoOldXOR(stored, m_xorKey), m_xorKey), REG_SZ);
            break;
        }
        case 1:
        case 2: {
            int64_t hb = machineNumber("funSettingsUpgradeSteps", "Constants", "wksnHeartBeatCheck",
                                       30, REG_SZ);
            if (hb < 30)
                hb = 30;
            SetRegSettings(kSettingsAppName, "Constants", "wksnHeartBeatCheck", std::to_string(hb),
                           REG_SZ);
            break;
        }
        case 3: {
            const std::string logo = machineText("General", "Logo path", "");
            if (!logo.empty() && toNativePath(logo) == toNativePath(dataFolderFile("logo.gif")))
                SetRegSettings(kSettingsAppName, "General", "Logo path", dataFolderFile("logo.png"),
                               REG_SZ);
            break;
        }
        default:
            break;
        }
    } catch (const std::exception& e) {
        m_log.subLogError(std::string(kModule) + "funSettingsUpgradeStepsError", e);
    }
    return version + 1;
}

// ---- constants -----------------------------------------------------------------------------

void SettingsStore::subGetConstWksn(ConstWksn& c) {
    try {
        const ConstWksn d;
        auto sz = [&](const char* name, int64_t dflt) {
            return machineNumber("subGetConstWksn", "Constants", name, dflt, REG_SZ);
        };
        auto dw = [&](const char* name, int64_t dflt) {
            return clampInt(machineNumber("subGetConstWksn", "Constants", name, dflt, REG_DWORD));
        };
        auto i32 = [&](const char* name, int64_t dflt) { return clampInt(sz(name, dflt)); };
        auto minutes = [&](const char* name, double dfltSpan) {
            const int64_t dfltMin = std::llround(dfltSpan * 1440.0);
            const RegVariant v = GetRegSettings(kSettingsAppName, "Constants", name,
                                                std::to_string(dfltMin), REG_SZ);
            // Minutes may carry a fraction; the number is read without regard to the locale.
            if (const auto* t = std::get_if<std::string>(&v)) {
                const std::string s = trimBlanks(*t);
                double m = 0;
                const char* b = s.data() + (!s.empty() && s[0] == '+');
                const auto [p, ec] =
                    std::from_chars(b, s.data() + s.size(), m, std::chars_format::fixed);
                if (ec == std::errc() && p == s.data() + s.size() && std::isfinite(m) &&
                    std::fabs(m) < 1e9)
                    return minutesToSpan(m);
            }
            return minutesToSpan(
                static_cast<double>(numberOr("subGetConstWksn", v, dfltMin, "Constants", name)));
        };
        c.cnxUdpPortServer = i32("cnxUdpPortServer", d.cnxUdpPortServer);
        c.cnxUdpPortWksn = i32("cnxUdpPortWksn", d.cnxUdpPortWksn);
        c.cnxBroardcastAdr = machineText("Constants", "cnxBroardcastAdr", d.cnxBroardcastAdr);
        c.cnxMinSizeTmpFileStore = i32("cnxMinSizeTmpFileStore", d.cnxMinSizeTmpFileStore);
        c.genScrCapCompressRatio = i32("genScrCapCompressRatio", d.genScrCapCompressRatio);
        c.genAdminLogon = machineText("Constants", "genAdminLogon", d.genAdminLogon);
        c.genCurrencySymb = machineText("Constants", "genCurrencySymb", d.genCurrencySymb);
        c.wksnSessionExpiryTime = minutes("wksnSessionExpiryTime", d.wksnSessionExpiryTime);
        c.wksnActivateDelayTime = minutes("wksnActivateDelayTime", d.wksnActivateDelayTime);
        c.wksnMaxNumUseAtempts = i32("wksnMaxNumUseAtempts", d.wksnMaxNumUseAtempts);
        c.wksnCnxBootDelay = i32("wksnCnxBootDelay", d.wksnCnxBootDelay);
        c.wksnCnxMinDelay = i32("wksnCnxMinDelay", d.wksnCnxMinDelay);
        c.wksnStartDelay = i32("wksnStartDelay", d.wksnStartDelay);
        c.wksnMuteVolWhenBlocked = dw("wksnMuteVolWhenBlocked", d.wksnMuteVolWhenBlocked);
        c.wksnDisableSessCloseButton =
            dw("wksnDisableSessCloseButton", d.wksnDisableSessCloseButton);
        c.wksnHideAllStatusWin = dw("wksnHideAllStatusWin", d.wksnHideAllStatusWin);
        c.wksnHeartBeatCheck = i32("wksnHeartBeatCheck", d.wksnHeartBeatCheck);
        c.wksnCheckSamePcAsServer = dw("wksnCheckSamePcAsServer", d.wksnCheckSamePcAsServer);
        c.wksnRebootOnSessionEnd = dw("wksnRebootOnSessionEnd", d.wksnRebootOnSessionEnd);
        c.wksnShutdownDelay = i32("wksnShutdownDelay", d.wksnShutdownDelay);
        c.wksnRegistryFlushInterval = i32("wksnRegistryFlushInterval", d.wksnRegistryFlushInterval);
    } catch (const std::exception& e) {
        m_log.subLogError(std::string(kModule) + "subGetConstWksnError", e);
    }
}

void SettingsStore::subSetConstWksn(const ConstWksn& c) {
    try {
        auto sz = [&](const char* name, const std::string& v) {
            SetRegSettings(kSettingsAppName, "Constants", name, v, REG_SZ);
        };
        auto num = [&](const char* name, int64_t v) { sz(name, std::to_string(v)); };
        auto dw = [&](const char* name, int64_t v) {
            SetRegSettings(kSettingsAppName, "Constants", name, std::to_string(v), REG_DWORD);
        };
        num("cnxUdpPortServer", c.cnxUdpPortServer);
        num("cnxUdpPortWksn", c.cnxUdpPortWksn);
        sz("cnxBroardcastAdr", c.cnxBroardcastAdr);
        num("cnxMinSizeTmpFileStore", c.cnxMinSizeTmpFileStore);
        num("genScrCapCompressRatio", c.genScrCapCompressRatio);
        sz("genAdminLogon", c.genAdminLogon);
        sz("genCurrencySymb", c.genCurrencySymb);
        sz("wksnSessionExpiryTime", spanToMinutesText(c.wksnSessionExpiryTime));
        sz("wksnActivateDelayTime", spanToMinutesText(c.wksnActivateDelayTime));
        num("wksnMaxNumUseAtempts", c.wksnMaxNumUseAtempts);
        num("wksnCnxBootDelay", c.wksnCnxBootDelay);
        num("wksnCnxMinDelay", c.wksnCnxMinDelay);
        num("wksnStartDelay", c.wksnStartDelay);
        dw("wksnMuteVolWhenBlocked", c.wksnMuteVolWhenBlocked);
        dw("wksnDisableSessCloseButton", c.wksnDisableSessCloseButton);
        dw("wksnHideAllStatusWin", c.wksnHideAllStatusWin);
        num("wksnHeartBeatCheck", c.wksnHeartBeatCheck);
        dw("wksnCheckSamePcAsServer", c.wksnCheckSamePcAsServer);
        dw("wksnRebootOnSessionEnd", c.wksnRebootOnSessionEnd);
        num("wksnShutdownDelay", c.wksnShutdownDelay);
        num("wksnRegistryFlushInterval", c.wksnRegistryFlushInterval);
    } catch (const std::exception& e) {
        m_log.subLogError(std::string(kModule) + "subSetConstWksnError", e);
    }
}

// ---- machine and user settings -------------------------------------------------------------

void SettingsStore::subGetSystemSettings(SystemSettings& s, const ConstWksn&) {
    try {
        const std::string exe = kExeName;
        s.windowsUserName = lower(m_sys.userName());
        s.standaloneWorkstation = machineNumber("subGetSystemSettings", "General",
                                                "Standalone Workstation", 1, REG_DWORD) == 1;
        if (!s.standaloneWorkstation) {
            // Diskless: one Windows installation, the workstations differ by user.
            s.computerName = s.windowsUserName;
            s.computerAddress = s.windowsUserName;
            s.workstationName =
                removeHashes(userText("General", "Workstation Name", s.windowsUserName));
            s.logPath = dataFolderFile(s.windowsUserName + "-" + exe + ".log");
        } else {
            s.computerName = lower(m_sys.computerName());
            s.computerAddress = m_hardwareIdentity ? m_hardwareIdentity() : std::string();
            if (s.computerAddress.empty())
                s.computerAddress = s.computerName;
            s.workstationName =
                removeHashes(machineText("General", "Workstation Name", s.computerName));
            s.logPath = dataFolderFile(exe + ".log");
        }
        s.serverName = machineText("Server", "Name", "");
        s.serverPort = machineText("Server", "Port", "4646");
        s.serverTimeOut = machineText("Server", "TimeOut", "10");
        s.automaticServerConnection =
            machineNumber("subGetSystemSettings", "Server", "Automatic Server Connection", 1,
                          REG_DWORD) == 1;
        s.password = funDoXOR(machineText("General", "Password", ""), m_xorKey);
        s.configWizardMachine =
            clampInt(machineNumber("subGetSystemSettings", "General", "Config Wizard", 0, REG_SZ));
        s.configWizardUser =
            clampInt(userNumber("subGetSystemSettings", "General", "Config Wizard", 0, REG_SZ));
        s.hideCardNumber =
            machineNumber("subGetSystemSettings", "General", "Hide Card Number", 0, REG_DWORD) == 1;
        s.defaultState =
            clampInt(machineNumber("subGetSystemSettings", "General", "Default State", 2, REG_SZ));
        s.defaultMode =
            clampInt(machineNumber("subGetSystemSettings", "General", "Default Mode", 1, REG_SZ));
        s.defaultUsage =
            clampInt(machineNumber("subGetSystemSettings", "General", "Default Usage", 2, REG_SZ));
        s.logoPath = machineText("General", "Logo path", dataFolderFile("logo.png"));

        const std::string code = languageCodeForLcid(m_sys.localeLcid());
        const std::string dfltLanguage = exe + "_" + code;
        const int dfltCharset = code == "el" ? 160 : 0;
        s.interfaceLanguage = machineText("General", "Interface Language", dfltLanguage);
        s.defaultInterfaceLanguage = machineText("General", "Interface Language", dfltLanguage);
        s.interfaceLanguageCharset =
            clampInt(machineNumber("subGetSystemSettings", "General", "Interface Language Charset",
                                   dfltCharset, REG_DWORD));
        s.defaultInterfaceLanguageCharset =
            clampInt(machineNumber("subGetSystemSettings", "General", "Interface Language Charset",
                                   dfltCharset, REG_DWORD));

        s.messagePrefix = messagePrefixFor(s.interfaceLanguage);
        const std::string base = m_layout.dataFolder + s.messagePrefix;
        s.msgIntro = machineText("Message paths", "Intro", base + "intro.rtf");
        s.msgBlocked = machineText("Message paths", "Blocked", base + "blocked.rtf");
        s.msgNoCredit = machineText("Message paths", "No credit", base + "nocredit.rtf");
        s.msgSessionEnd = machineText("Message paths", "Session end", base + "sessionend.rtf");
        s.msgSessionPaused =
            machineText("Message paths", "Session paused", base + "sessionpaused.rtf");
        s.messageLogoFilesType = clampInt(machineNumber("subGetSystemSettings", "General",
                                                        "Message & Logo Files Type", 0, REG_DWORD));

        s.startActive =
            userNumber("subGetSystemSettings", "General", "Start active", 1, REG_DWORD) == 1;
        s.allowLockdown =
            userNumber("subGetSystemSettings", "General", "Allow Lockdown", 1, REG_DWORD) == 1;
        // A fresh installation offers start at logon switched on.
        s.startAtLogon = m_autostart.isEnabled() || s.configWizardMachine == 0;
    } catch (const std::exception& e) {
        m_log.subLogError(std::string(kModule) + "subGetSystemSettingsError", e);
    }
}

void SettingsStore::subSetSystemSettings(const SystemSettings& s, const ConstWksn& c) {
    try {
        const std::string app = kSettingsAppName;
        auto flag = [](bool b) { return std::string(b ? "1" : "0"); };
        SetRegSettings(app, "General", "Standalone Workstation", flag(s.standaloneWorkstation),
                       REG_DWORD);
        if (s.standaloneWorkstation)
            SetRegSettings(app, "General", "Workstation Name", s.workstationName, REG_SZ);
        else
            SetRegUserSettings(app, "General", "Workstation Name", s.workstationName, REG_SZ);
        SetRegSettings(app, "Server", "Name", s.serverName, REG_SZ);
        SetRegSettings(app, "Server", "Port", s.serverPort, REG_SZ);
        SetRegSettings(app, "Server", "TimeOut", s.serverTimeOut, REG_SZ);
        SetRegSettings(app, "Server", "Automatic Server Connection",
                       flag(s.automaticServerConnection), REG_DWORD);
        SetRegSettings(app, "General", "Interface Language", s.interfaceLanguage, REG_SZ);
        SetRegSettings(app, "General", "Interface Language Charset",
                       std::to_string(s.interfaceLanguageCharset), REG_DWORD);
        SetRegSettings(app, "General", "Start Delay", std::to_string(c.wksnStartDelay), REG_SZ);
        SetRegUserSettings(app, "General", "Start active", flag(s.startActive), REG_DWORD);
        SetRegUserSettings(app, "General", "Allow Lockdown", flag(s.allowLockdown), REG_DWORD);
        if (s.startAtLogon) {
            const std::string program = joinPath(m_layout.programFolder, kExeName);
            if (!m_autostart.enable(program))
                m_log.subLogError(std::string(kModule) + "subSetSystemSettingsError - Run",
                                  kErrPathAccess, m_autostart.lastError());
        } else if (!m_autostart.disable()) {
            m_log.subLogError(std::string(kModule) + "subSetSystemSettingsError - Run",
                              kErrPathAccess, m_autostart.lastError());
        }
    } catch (const std::exception& e) {
        m_log.subLogError(std::string(kModule) + "subSetSystemSettingsError", e);
    }
}

void SettingsStore::subGetUserSettings(UserSettings& u, int screenWidthTwips,
                                       int screenHeightTwips) {
    try {
        u.mainTop =
            clampInt(userNumber("subGetUserSettings", "Main window position", "Top",
                                (static_cast<int64_t>(screenHeightTwips) - 1935) / 2, REG_SZ));
        u.mainLeft =
            clampInt(userNumber("subGetUserSettings", "Main window position", "Left",
                                (static_cast<int64_t>(screenWidthTwips) - 4740) / 2, REG_SZ));
    } catch (const std::exception& e) {
        m_log.subLogError(std::string(kModule) + "subGetUserSettingsError", e);
    }
}

void SettingsStore::subSetUserSettings(const UserSettings& u) {
    SetRegUserSettings(kSettingsAppName, "Main window position", "Top", std::to_string(u.mainTop),
                       REG_SZ);
    SetRegUserSettings(kSettingsAppName, "Main window position", "Left", std::to_string(u.mainLeft),
                       REG_SZ);
}

void SettingsStore::storePassword(const std::string& clearPassword) {
    SetRegSettings(kSettingsAppName, "General", "Password", funDoXOR(clearPassword, m_xorKey),
                   REG_SZ);
}

} // namespace tlv
