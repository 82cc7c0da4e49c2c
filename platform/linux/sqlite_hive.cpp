#include "platform/linux/sqlite_hive.h"

#include "platform/paths.h"

#include <sqlite3.h>

#include <filesystem>
#include <system_error>

namespace tlv {

namespace {
char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string lowerAll(const std::string& s) {
    std::string r = s;
    for (auto& c : r)
        c = lowerAscii(c);
    return r;
}

// Upper bound of every path below a key: '\' is 0x5C, ']' the next byte.
std::string childLow(const std::string& folded) {
    return folded + "\\";
}
std::string childHigh(const std::string& folded) {
    return folded + "]";
}
} // namespace

std::string tidyHiveKeyPath(const std::string& keyPath) {
    std::string r;
    for (char c : keyPath) {
        if (c == '\\' && (r.empty() || r.back() == '\\'))
            continue;
        r += c;
    }
    while (!r.empty() && r.back() == '\\')
        r.pop_back();
    return r;
}

std::string foldHiveKeyPath(const std::string& keyPath) {
    return lowerAll(tidyHiveKeyPath(keyPath));
}

// One prepared statement, finalized with the object.
class SqliteHive::Stmt {
public:
    Stmt(sqlite3* db, const char* sql) {
        if (db)
            m_rc = sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr);
    }
    ~Stmt() { sqlite3_finalize(m_stmt); }
    Stmt(const Stmt&) = delete;
    Stmt& operator=(const Stmt&) = delete;

    bool ok() const { return m_stmt && m_rc == SQLITE_OK; }
    Stmt& text(int i, const std::string& s) {
        if (ok())
            m_rc = sqlite3_bind_text(m_stmt, i, s.data(), static_cast<int>(s.size()),
                                     SQLITE_TRANSIENT);
        return *this;
    }
    Stmt& blob(int i, const void* p, size_t n) {
        if (ok())
            m_rc = sqlite3_bind_blob(m_stmt, i, n ? p : "", static_cast<int>(n), SQLITE_TRANSIENT);
        return *this;
    }
    Stmt& integer(int i, int64_t v) {
        if (ok())
            m_rc = sqlite3_bind_int64(m_stmt, i, v);
        return *this;
    }
    // SQLITE_ROW, SQLITE_DONE or an error code.
    int step() {
        if (!ok())
            return m_rc == SQLITE_OK ? SQLITE_MISUSE : m_rc;
        return sqlite3_step(m_stmt);
    }
    std::string columnText(int i) const {
        const auto* p = static_cast<const char*>(sqlite3_column_blob(m_stmt, i));
        const int n = sqlite3_column_bytes(m_stmt, i);
        return p && n > 0 ? std::string(p, static_cast<size_t>(n)) : std::string();
    }
    int64_t columnInt(int i) const { return sqlite3_column_int64(m_stmt, i); }

private:
    sqlite3_stmt* m_stmt = nullptr;
    int m_rc = SQLITE_ERROR;
};

SqliteHive::SqliteHive(std::string path) : m_path(std::move(path)) {
    namespace fs = std::filesystem;
    std::string why;
    std::error_code ec;
    const fs::path parent = fs::path(m_path).parent_path();
    if (!parent.empty() && !fs::is_directory(parent, ec))
        fs::create_directories(parent, ec);
    if (ec) {
        why = "cannot create the folder " + parent.string() + ": " + ec.message();
    } else if (openFile(SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, why) && prepareSchema(why)) {
        if (sqlite3_db_readonly(m_db, "main") == 1) {
            m_mode = Mode::ReadOnly;
            m_openProblem = m_path + ": the file is read-only; changes are refused";
        } else {
            m_mode = Mode::ReadWrite;
        }
        return;
    }
    // Not usable for writing: keep whatever is readable, never overwrite the file.
    std::string roWhy;
    if (fs::is_regular_file(m_path, ec) && openFile(SQLITE_OPEN_READONLY, roWhy)) {
        Stmt check(m_db, "SELECT count(*) FROM vals");
        if (check.step() == SQLITE_ROW) {
            m_mode = Mode::ReadOnly;
            m_openProblem = m_path + ": " + why + "; opened read-only";
            return;
        }
    }
    std::string memWhy;
    openFile(SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_MEMORY, memWhy);
    prepareSchema(memWhy);
    m_mode = Mode::InMemory;
    m_openProblem = m_path + ": " + why + "; the settings are kept in memory only";
}

SqliteHive::~SqliteHive() {
    if (m_db)
        sqlite3_close_v2(m_db);
}

bool SqliteHive::openFile(int flags, std::string& why) {
    if (m_db) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
    const std::string name = (flags & SQLITE_OPEN_MEMORY) ? ":memory:" : m_path;
    const int rc = sqlite3_open_v2(name.c_str(), &m_db, flags, nullptr);
    if (rc != SQLITE_OK) {
        why = m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc);
        sqlite3_close_v2(m_db);
        m_db = nullptr;
        return false;
    }
    sqlite3_extended_result_codes(m_db, 1);
    // Another process (tlvreg, a second client) may hold the write lock for a moment.
    sqlite3_busy_timeout(m_db, 5000);
    return true;
}

bool SqliteHive::prepareSchema(std::string& why) {
    // WAL with FULL: a committed transaction is on disk before set() returns.
    const char* steps[] = {
        "PRAGMA journal_mode=WAL",
        "PRAGMA synchronous=FULL",
        "CREATE TABLE IF NOT EXISTS keys(path TEXT PRIMARY KEY, display TEXT NOT NULL) "
        "WITHOUT ROWID",
        "CREATE TABLE IF NOT EXISTS vals(path TEXT NOT NULL, name TEXT NOT NULL, display TEXT "
        "NOT NULL, type INTEGER NOT NULL, data BLOB, PRIMARY KEY(path, name)) WITHOUT ROWID",
    };
    for (const char* sql : steps) {
        char* err = nullptr;
        if (sqlite3_exec(m_db, sql, nullptr, nullptr, &err) != SQLITE_OK) {
            why = err ? err : sqlite3_errmsg(m_db);
            sqlite3_free(err);
            return false;
        }
    }
    Stmt probe(m_db, "SELECT count(*) FROM vals");
    if (probe.step() != SQLITE_ROW) {
        why = sqlite3_errmsg(m_db);
        return false;
    }
    return true;
}

bool SqliteHive::exec(const char* sql) {
    char* err = nullptr;
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, &err) != SQLITE_OK) {
        m_lastError = err ? err : sqlite3_errmsg(m_db);
        sqlite3_free(err);
        return false;
    }
    return true;
}

bool SqliteHive::fail(const std::string& what) {
    m_lastError = what + ": " + (m_db ? sqlite3_errmsg(m_db) : "no database");
    return false;
}

bool SqliteHive::ensureKeys(const std::string& keyPath) {
    const std::string tidy = tidyHiveKeyPath(keyPath);
    const std::string folded = lowerAll(tidy);
    // Every parent exists with its child, keeping the case of the first writer.
    for (size_t pos = 0; pos <= tidy.size(); ++pos) {
        if (pos != tidy.size() && tidy[pos] != '\\')
            continue;
        if (pos == 0)
            continue;
        Stmt ins(m_db, "INSERT OR IGNORE INTO keys(path, display) VALUES(?1, ?2)");
        ins.text(1, folded.substr(0, pos)).text(2, tidy.substr(0, pos));
        if (ins.step() != SQLITE_DONE)
            return fail("create key " + tidy.substr(0, pos));
    }
    return true;
}

bool SqliteHive::keyExists(const std::string& keyPath) {
    m_lastError.clear();
    const std::string f = foldHiveKeyPath(keyPath);
    if (f.empty())
        return true;
    Stmt q(m_db, "SELECT 1 FROM keys WHERE path = ?1");
    q.text(1, f);
    const int rc = q.step();
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        fail("read key " + keyPath);
    return rc == SQLITE_ROW;
}

bool SqliteHive::createKey(const std::string& keyPath) {
    m_lastError.clear();
    if (!exec("BEGIN IMMEDIATE"))
        return false;
    if (!ensureKeys(keyPath)) {
        exec("ROLLBACK");
        return false;
    }
    if (!exec("COMMIT")) {
        exec("ROLLBACK");
        return false;
    }
    return true;
}

namespace {
// A stored row as a value; nullopt (with the reason) for a row no writer of ours produces.
std::optional<RegValue> decodeValue(int64_t type, const std::string& data, std::string& why) {
    switch (type) {
    case static_cast<int64_t>(RegType::Sz):
        return RegValue::sz(data);
    case static_cast<int64_t>(RegType::Dword):
        if (data.size() == 4)
            return RegValue::dw(static_cast<uint32_t>(static_cast<uint8_t>(data[0])) |
                                static_cast<uint32_t>(static_cast<uint8_t>(data[1])) << 8 |
                                static_cast<uint32_t>(static_cast<uint8_t>(data[2])) << 16 |
                                static_cast<uint32_t>(static_cast<uint8_t>(data[3])) << 24);
        why = "not a 32-bit number";
        return std::nullopt;
    case static_cast<int64_t>(RegType::Binary):
        return RegValue::bin(std::vector<uint8_t>(data.begin(), data.end()));
    default:
        why = "unknown type " + std::to_string(type);
        return std::nullopt;
    }
}
} // namespace

std::optional<RegValue> SqliteHive::get(const std::string& keyPath, const std::string& name) {
    m_lastError.clear();
    Stmt q(m_db, "SELECT type, data FROM vals WHERE path = ?1 AND name = ?2");
    q.text(1, foldHiveKeyPath(keyPath)).text(2, lowerAll(name));
    const int rc = q.step();
    if (rc != SQLITE_ROW) {
        if (rc != SQLITE_DONE)
            fail("read value " + name);
        return std::nullopt;
    }
    std::string why;
    auto v = decodeValue(q.columnInt(0), q.columnText(1), why);
    if (!v)
        m_lastError = "value " + name + ": " + why;
    return v;
}

bool SqliteHive::set(const std::string& keyPath, const std::string& name, const RegValue& v) {
    m_lastError.clear();
    std::string data;
    switch (v.type) {
    case RegType::Sz:
        data = v.text;
        break;
    case RegType::Dword:
        // Little-endian, as the registry stores REG_DWORD.
        for (int i = 0; i < 4; ++i)
            data += static_cast<char>((v.dword >> (8 * i)) & 0xFF);
        break;
    case RegType::Binary:
        data.assign(v.bytes.begin(), v.bytes.end());
        break;
    default:
        m_lastError = "value " + name + ": no type";
        return false;
    }
    if (!exec("BEGIN IMMEDIATE"))
        return false;
    bool ok = ensureKeys(keyPath);
    if (ok) {
        Stmt up(m_db, "INSERT INTO vals(path, name, display, type, data) VALUES(?1, ?2, ?3, ?4, "
                      "?5) ON CONFLICT(path, name) DO UPDATE SET type = excluded.type, "
                      "data = excluded.data");
        up.text(1, foldHiveKeyPath(keyPath))
            .text(2, lowerAll(name))
            .text(3, name)
            .integer(4, static_cast<int64_t>(v.type))
            .blob(5, data.data(), data.size());
        ok = up.step() == SQLITE_DONE || fail("write value " + name);
    }
    if (ok && exec("COMMIT"))
        return true;
    const std::string err = m_lastError;
    exec("ROLLBACK");
    m_lastError = err;
    return false;
}

bool SqliteHive::remove(const std::string& keyPath, const std::string& name) {
    m_lastError.clear();
    Stmt del(m_db, "DELETE FROM vals WHERE path = ?1 AND name = ?2");
    del.text(1, foldHiveKeyPath(keyPath)).text(2, lowerAll(name));
    if (del.step() != SQLITE_DONE)
        return fail("delete value " + name);
    return sqlite3_changes(m_db) > 0;
}

bool SqliteHive::removeKey(const std::string& keyPath) {
    m_lastError.clear();
    const std::string f = foldHiveKeyPath(keyPath);
    if (f.empty()) {
        m_lastError = "the root of a hive cannot be deleted";
        return false;
    }
    if (!exec("BEGIN IMMEDIATE"))
        return false;
    Stmt delVals(m_db, "DELETE FROM vals WHERE path = ?1 OR (path >= ?2 AND path < ?3)");
    delVals.text(1, f).text(2, childLow(f)).text(3, childHigh(f));
    bool ok = delVals.step() == SQLITE_DONE || fail("delete key " + keyPath);
    int removed = 0;
    if (ok) {
        Stmt delKeys(m_db, "DELETE FROM keys WHERE path = ?1 OR (path >= ?2 AND path < ?3)");
        delKeys.text(1, f).text(2, childLow(f)).text(3, childHigh(f));
        ok = delKeys.step() == SQLITE_DONE || fail("delete key " + keyPath);
        removed = sqlite3_changes(m_db);
    }
    if (ok && exec("COMMIT"))
        return removed > 0;
    const std::string err = m_lastError;
    exec("ROLLBACK");
    m_lastError = err;
    return false;
}

std::vector<NamedRegValue> SqliteHive::values(const std::string& keyPath) {
    m_lastError.clear();
    std::vector<NamedRegValue> r;
    Stmt q(m_db, "SELECT display, type, data FROM vals WHERE path = ?1 ORDER BY name");
    q.text(1, foldHiveKeyPath(keyPath));
    int rc;
    while ((rc = q.step()) == SQLITE_ROW) {
        std::string why;
        NamedRegValue nv{q.columnText(0), {}};
        // A damaged row is skipped, the others are still listed.
        if (auto v = decodeValue(q.columnInt(1), q.columnText(2), why)) {
            nv.value = std::move(*v);
            r.push_back(std::move(nv));
        } else {
            m_lastError = "value " + nv.name + ": " + why;
        }
    }
    if (rc != SQLITE_DONE)
        fail("list values of " + keyPath);
    return r;
}

std::vector<std::string> SqliteHive::subKeys(const std::string& keyPath) {
    m_lastError.clear();
    std::vector<std::string> r;
    const std::string f = foldHiveKeyPath(keyPath);
    Stmt q(m_db, f.empty() ? "SELECT path, display FROM keys ORDER BY path"
                           : "SELECT path, display FROM keys WHERE path >= ?1 AND path < ?2 "
                             "ORDER BY path");
    if (!f.empty())
        q.text(1, childLow(f)).text(2, childHigh(f));
    const size_t skip = f.empty() ? 0 : f.size() + 1;
    int rc;
    while ((rc = q.step()) == SQLITE_ROW) {
        const std::string path = q.columnText(0);
        if (path.size() > skip && path.find('\\', skip) == std::string::npos) {
            const std::string display = q.columnText(1);
            // The display form has the same length as the folded one.
            r.push_back(display.size() == path.size() ? display.substr(skip) : path.substr(skip));
        }
    }
    if (rc != SQLITE_DONE)
        fail("list keys of " + keyPath);
    return r;
}

bool SqliteHive::flush() {
    m_lastError.clear();
    if (m_mode != Mode::ReadWrite)
        return true;
    int logFrames = 0, checkpointed = 0;
    const int rc = sqlite3_wal_checkpoint_v2(m_db, nullptr, SQLITE_CHECKPOINT_TRUNCATE, &logFrames,
                                             &checkpointed);
    if (rc != SQLITE_OK)
        return fail("checkpoint");
    return true;
}

std::string SqliteHive::integrityCheck() {
    Stmt q(m_db, "PRAGMA integrity_check");
    std::string r;
    int rc;
    while ((rc = q.step()) == SQLITE_ROW)
        r += (r.empty() ? "" : "\n") + q.columnText(0);
    if (rc != SQLITE_DONE)
        r += (r.empty() ? "" : "\n") + std::string(sqlite3_errmsg(m_db));
    return r;
}

OpenedHives openHives(const RuntimeLayout& layout, const HiveProblemSink& onProblem) {
    OpenedHives h;
    h.machine = std::make_unique<SqliteHive>(layout.machineHive);
    h.user = std::make_unique<SqliteHive>(layout.userHive);
    if (onProblem) {
        if (!h.machine->openProblem().empty())
            onProblem("SqliteHive.openMachineHive", 75, h.machine->openProblem());
        if (!h.user->openProblem().empty())
            onProblem("SqliteHive.openUserHive", 75, h.user->openProblem());
    }
    return h;
}

} // namespace tlv
