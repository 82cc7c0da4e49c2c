#pragma once

#include <map>
#include <string>

namespace tlv {

// Environment as seen by the program; tests pass their own.
using Environment = std::map<std::string, std::string>;
Environment processEnvironment();

// Where every file of the client lives. The one place that knows the runtime layout.
struct RuntimeLayout {
    std::string machineRoot; // /var/lib/talvor-client or $TLVCLI_ROOT
    bool rootOverridden = false;
    bool sandbox = false;      // TLVCLI_SANDBOX=1
    std::string commonAppData; // machineRoot + "/ProgramData"
    std::string dataFolder;    // commonAppData + "/Talvor Client"
    std::string machineHive;   // machineRoot + "/HKLM.db"
    std::string userHive;     // $XDG_CONFIG_HOME/talvor-client/HKCU.db, or machineRoot + "/HKCU.db"
    std::string userAppData;  // home folder, or machineRoot + "/home"
    std::string autostartDir; // userAppData/.config/autostart (XDG_CONFIG_HOME honoured)
    std::string actionsLog;   // machineRoot + "/actions.log"
    std::string instanceLock; // machineRoot + "/tlvcli.lock"
    std::string lockdownState; // machineRoot + "/lockdown.state": what a locked client changed
    bool realLockdown = true;  // false in sandbox mode unless TLVCLI_REAL_LOCKDOWN=1
    // Windows really asked to close and their processes ended: false in sandbox mode unless
    // TLVCLI_REAL_CLOSING=1 (then only processes with a window on the display are ended).
    bool realClosing = true;
    std::string programFolder; // folder of the running executable
    std::string langFolder;    // share/tlvcli/lang, or data/lang beside the build tree
    std::string docsFolder;    // share/tlvcli/docs (default message documents), or data/docs
    std::string iconsFolder;   // share/tlvcli/icons, or data/icons

    static RuntimeLayout fromEnvironment(const Environment& env, const std::string& programFolder);
};

// Joins with "/" (the data-folder values of the settings use "\" as the Windows program did;
// the conversion happens in one place: toNativePath).
std::string joinPath(const std::string& a, const std::string& b);
std::string toNativePath(const std::string& windowsStylePath);

} // namespace tlv
