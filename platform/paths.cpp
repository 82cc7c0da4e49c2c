#include "platform/paths.h"

#include <algorithm>
#include <filesystem>

extern char** environ;

namespace tlv {

Environment processEnvironment() {
    Environment env;
    for (char** e = environ; e && *e; ++e) {
        std::string kv(*e);
        const auto eq = kv.find('=');
        if (eq != std::string::npos)
            env.emplace(kv.substr(0, eq), kv.substr(eq + 1));
    }
    return env;
}

std::string joinPath(const std::string& a, const std::string& b) {
    if (a.empty())
        return b;
    if (a.back() == '/')
        return a + b;
    return a + "/" + b;
}

std::string toNativePath(const std::string& windowsStylePath) {
    std::string p = windowsStylePath;
    std::replace(p.begin(), p.end(), '\\', '/');
    return p;
}

static std::string envOr(const Environment& env, const char* name, const std::string& dflt) {
    const auto it = env.find(name);
    return it != env.end() && !it->second.empty() ? it->second : dflt;
}

static std::string shareFolder(const Environment& env, const char* overrideName,
                               const std::string& programFolder, const char* name) {
    namespace fs = std::filesystem;
    const std::string override = envOr(env, overrideName, "");
    if (!override.empty())
        return override;
    std::error_code ec;
    const fs::path installed = fs::path(programFolder) / ".." / "share" / "tlvcli" / name;
    if (fs::is_directory(installed, ec))
        return fs::weakly_canonical(installed, ec).string();
#ifdef TLVCLI_SOURCE_LANG_DIR
    // The source tree's data folder: the parent of its lang folder.
    return (fs::path(TLVCLI_SOURCE_LANG_DIR).parent_path() / name).string();
#else
    return {};
#endif
}

RuntimeLayout RuntimeLayout::fromEnvironment(const Environment& env,
                                             const std::string& programFolder) {
    RuntimeLayout l;
    const std::string root = envOr(env, "TLVCLI_ROOT", "");
    l.rootOverridden = !root.empty();
    l.machineRoot = l.rootOverridden ? root : "/var/lib/talvor-client";
    l.sandbox = envOr(env, "TLVCLI_SANDBOX", "") == "1";
    l.realLockdown = !l.sandbox || envOr(env, "TLVCLI_REAL_LOCKDOWN", "") == "1";
    l.realClosing = !l.sandbox || envOr(env, "TLVCLI_REAL_CLOSING", "") == "1";
    l.commonAppData = joinPath(l.machineRoot, "ProgramData");
    l.dataFolder = joinPath(l.commonAppData, "Talvor Client");
    l.machineHive = joinPath(l.machineRoot, "HKLM.db");
    l.actionsLog = joinPath(l.machineRoot, "actions.log");
    l.instanceLock = joinPath(l.machineRoot, "tlvcli.lock");
    l.lockdownState = joinPath(l.machineRoot, "lockdown.state");
    l.programFolder = programFolder;
    if (l.rootOverridden) {
        // Nothing is written outside the root then.
        l.userHive = joinPath(l.machineRoot, "HKCU.db");
        l.userAppData = joinPath(l.machineRoot, "home");
        l.autostartDir = joinPath(l.userAppData, ".config/autostart");
    } else {
        const std::string home = envOr(env, "HOME", "/root");
        const std::string config = envOr(env, "XDG_CONFIG_HOME", joinPath(home, ".config"));
        l.userHive = joinPath(config, "talvor-client/HKCU.db");
        l.userAppData = home;
        l.autostartDir = joinPath(config, "autostart");
    }
    // Language packs, default documents and icons: installed in the share folder beside the
    // program's bin folder, or in the source tree's data folder while developing.
    l.langFolder = shareFolder(env, "TLVCLI_LANG_DIR", programFolder, "lang");
    l.docsFolder = shareFolder(env, "TLVCLI_DOCS_DIR", programFolder, "docs");
    l.iconsFolder = shareFolder(env, "TLVCLI_ICONS_DIR", programFolder, "icons");
    return l;
}

} // namespace tlv
