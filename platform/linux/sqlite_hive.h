#pragma once

#include "platform/hive.h"

#include <functional>
#include <memory>
#include <string>

struct sqlite3;

namespace tlv {

struct RuntimeLayout;

// What went wrong while opening a hive: context, classic error number, description.
using HiveProblemSink =
    std::function<void(const std::string& context, int number, const std::string& description)>;

// A registry hive in one SQLite database file. WAL journal with full synchronous commits:
// every set/remove is its own transaction, so a crash of the process (or the machine) never
// loses a write that returned true and never leaves a half-written hive.
class SqliteHive : public Hive {
public:
    enum class Mode { ReadWrite, ReadOnly, InMemory };

    // Never throws. A file that cannot be used as a database leaves the hive in memory (or
    // read-only when it can still be read) and the reason in openProblem(); the file itself is
    // never overwritten then.
    explicit SqliteHive(std::string path);
    ~SqliteHive() override;
    SqliteHive(const SqliteHive&) = delete;
    SqliteHive& operator=(const SqliteHive&) = delete;

    bool keyExists(const std::string& keyPath) override;
    bool createKey(const std::string& keyPath) override;
    std::optional<RegValue> get(const std::string& keyPath, const std::string& name) override;
    bool set(const std::string& keyPath, const std::string& name, const RegValue& v) override;
    bool remove(const std::string& keyPath, const std::string& name) override;
    bool removeKey(const std::string& keyPath) override;
    std::vector<NamedRegValue> values(const std::string& keyPath) override;
    std::vector<std::string> subKeys(const std::string& keyPath) override;
    bool flush() override;
    std::string lastError() const override { return m_lastError; }

    const std::string& path() const { return m_path; }
    Mode mode() const { return m_mode; }
    // Empty when the file opened normally.
    const std::string& openProblem() const { return m_openProblem; }
    // "ok" when the database is sound; for tests and diagnostics.
    std::string integrityCheck();

private:
    class Stmt;
    bool openFile(int flags, std::string& why);
    bool prepareSchema(std::string& why);
    bool exec(const char* sql);
    bool fail(const std::string& what);
    bool ensureKeys(const std::string& keyPath);

    std::string m_path;
    sqlite3* m_db = nullptr;
    Mode m_mode = Mode::InMemory;
    std::string m_openProblem;
    std::string m_lastError;
};

// Both hives of a runtime layout, opened together; problems go to the sink as one line each.
struct OpenedHives {
    std::unique_ptr<SqliteHive> machine;
    std::unique_ptr<SqliteHive> user;
};
OpenedHives openHives(const RuntimeLayout& layout, const HiveProblemSink& onProblem = {});

// Key path as the hive compares it: ASCII lower case, no leading, trailing or doubled "\".
std::string foldHiveKeyPath(const std::string& keyPath);
// Display form of a key path: the same separators rule, case kept.
std::string tidyHiveKeyPath(const std::string& keyPath);

} // namespace tlv
