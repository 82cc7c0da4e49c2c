#pragma once

// subSessionCleanup (the profile put back into a known state before each session) and the
// session start and end batch hooks.

#include "platform/batch_port.h"
#include "platform/cleanup_port.h"
#include "platform/hive.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tlv {

class DesktopProfile;
class Hive;
class Logger;
class ProcessSpawner;
class SettingsStore;
class WindowSystem;

// Where the cleanup writes its registry values (HKEY_CURRENT_USER).
class ProfileRegistry {
public:
    virtual ~ProfileRegistry() = default;
    // SetRegUserSettings: "Software\" + app + "\" + section, value name.
    virtual void setUserSetting(const std::string& app, const std::string& section,
                                const std::string& name, const RegValue& value) = 0;
    // A key below HKEY_CURRENT_USER opened directly ("Control panel\Desktop").
    virtual void setUserKeyValue(const std::string& keyPath, const std::string& name,
                                 const RegValue& value) = 0;
};

// Over the user hive directly.
class HiveProfileRegistry : public ProfileRegistry {
public:
    explicit HiveProfileRegistry(Hive& user) : m_user(user) {}
    void setUserSetting(const std::string& app, const std::string& section, const std::string& name,
                        const RegValue& value) override;
    void setUserKeyValue(const std::string& keyPath, const std::string& name,
                         const RegValue& value) override;

private:
    Hive& m_user;
};

// Through the settings store's registry layer (text values) and its user hive (binary values).
class SettingsProfileRegistry : public ProfileRegistry {
public:
    explicit SettingsProfileRegistry(SettingsStore& store) : m_store(store) {}
    void setUserSetting(const std::string& app, const std::string& section, const std::string& name,
                        const RegValue& value) override;
    void setUserKeyValue(const std::string& keyPath, const std::string& name,
                         const RegValue& value) override;

private:
    SettingsStore& m_store;
};

// The choices of "%$&##SEssionCleanup#", memory only, replaced as a whole.
struct CleanupChoices {
    bool arrangeIcons = false;
    bool clearRecentDocuments = false;
    bool resetWallpaper = false;
    bool resetStartPage = false;
    bool resetBrowser = false;
    std::string startPage;
    bool clearMessengerData = false;

    // From the message's seven payload fields; a flag is on only when its field is exactly 1.
    // Throws TlvError 9 when a field is missing.
    static CleanupChoices fromFields(const std::vector<std::string>& fields);
};

// What the cleanup and the batch files need from the client at the moment they run.
struct SessionContext {
    bool allowLockdown = true;
    std::string backgroundImagePath; // empty until the server sent the background image
    std::string dataFolder;          // native path
    std::string userId;              // card number or login, empty when none
    std::string serverName;
    std::string workstationName;
};

// Window_Placement: 44 bytes of a WINDOWPLACEMENT with the normal rectangle at 5 % and 95 %.
std::vector<uint8_t> windowPlacementBytes(int screenWidth, int screenHeight);
// size * percent / 100 rounded to the nearest integer, halves to the even neighbour.
int64_t percentRoundedHalfEven(int64_t size, int64_t percent);

class SessionCleanup : public CleanupPort, public BatchPort {
public:
    SessionCleanup(ProfileRegistry& registry, DesktopProfile& profile, WindowSystem& windows,
                   ProcessSpawner& spawner, Logger& log);

    // Setters for the server link.
    void setCleanupChoices(const CleanupChoices& c) { m_choices = c; }
    void setBatchStyle(int v) { m_batchStyle = v; }
    const CleanupChoices& cleanupChoices() const { return m_choices; }
    int batchStyle() const { return m_batchStyle; }

    void setContextProvider(std::function<SessionContext()> fn) { m_context = std::move(fn); }

    void subSessionCleanup() override;
    // The callers test the run start / run end batch choices.
    void subRunSessionStartBatch() override;
    void subRunSessionEndBatch() override;

private:
    void runBatch(const char* file, const char* errorContext);
    void subIEDeleteCache();
    bool funIEDeleteHistory();
    SessionContext context() const;

    ProfileRegistry& m_registry;
    DesktopProfile& m_profile;
    WindowSystem& m_windows;
    ProcessSpawner& m_spawner;
    Logger& m_log;
    std::function<SessionContext()> m_context;
    CleanupChoices m_choices;
    int m_batchStyle = 0;
};

} // namespace tlv
