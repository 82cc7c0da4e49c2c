#pragma once

// The crash-safe snapshot of the current session: one 200-character value "Serialized User"
// in "General", refreshed while the server cannot see the session, handed to the server as
// SessionResume at the next connection.

#include <string>

namespace tlv {

class Logger;
class ServerLink;
class SessionPort;
class SettingsStore;
class WorkstationPort;
struct ConstWksn;
struct SystemSettings;

// Where the value lives: the machine hive for a stand-alone workstation, else the user's.
class SnapshotStore {
public:
    virtual ~SnapshotStore() = default;
    virtual std::string read(bool userStore) = 0;
    virtual void write(bool userStore, const std::string& value) = 0;
    // Forces the hive to stable storage (the periodic checkpoint).
    virtual void flush() = 0;
};

// The settings store's registry layer behind SnapshotStore.
class SettingsSnapshotStore : public SnapshotStore {
public:
    explicit SettingsSnapshotStore(SettingsStore& store) : m_store(store) {}
    std::string read(bool userStore) override;
    void write(bool userStore, const std::string& value) override;
    void flush() override;

private:
    SettingsStore& m_store;
};

// The saved counters of a self-service session this run of the program never had.
struct ResumedCounters {
    double elapsed = 0, connected = 0, offPeak = 0, disconnected = 0;
    float amountDue = 0;
};
class SnapshotRestorer {
public:
    virtual ~SnapshotRestorer() = default;
    virtual void subDefaultState() = 0;
    virtual void setCounters(const ResumedCounters& c) = 0;
};

inline constexpr int kSnapshotLength = 200;

class SessionSnapshot {
public:
    struct Deps {
        Logger& log;
        ServerLink& link;
        WorkstationPort& wksn;
        SessionPort& session;
        const ConstWksn& constants;
        const SystemSettings& settings;
        SnapshotStore& store;
        SnapshotRestorer& restorer;
    };
    explicit SessionSnapshot(Deps d) : m_d(d) {}

    void subSerializeUser();
    void subInitSerializedUser();
    void subEmptySerializedUser();

    // The snapshot text of the current session (fields separated by "#").
    std::string snapshotText() const;
    int flushCounter() const { return m_flushCounter; }

private:
    bool userStore() const;
    void writePadded(const std::string& text);

    Deps m_d;
    int m_flushCounter = 0;
};

} // namespace tlv
