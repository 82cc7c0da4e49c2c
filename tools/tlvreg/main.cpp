// tlvreg: the settings tool for café staff and deployment scripts, on the client's own hives,
// with the syntax of the Windows "reg" command.

#include "platform/linux/process_info.h"
#include "platform/linux/sqlite_hive.h"
#include "platform/paths.h"
#include "tools/tlvreg/reg_file.h"

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>

namespace tlv {
namespace {

namespace fs = std::filesystem;
using regfile::KeyRef;
using regfile::Root;

constexpr int kOk = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;

struct UsageError {
    std::string text;
};

const char* kUsageText =
    "tlvreg add KEY [/v NAME | /ve] [/t REG_SZ|REG_DWORD|REG_BINARY] [/d DATA] [/f]\n"
    "tlvreg query KEY [/v NAME | /ve] [/s]\n"
    "tlvreg delete KEY [/v NAME | /ve | /va] [/f]\n"
    "tlvreg export KEY FILE [/y]\n"
    "tlvreg import FILE\n"
    "\n"
    "KEY is HKLM\\path or HKCU\\path (HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER), for example\n"
    "\"HKLM\\Software\\Talvor Client\\Server\". The hives are those of the client: under\n"
    "$TLVCLI_ROOT when it is set.\n"
    "Exit status: 0 done, 1 key or value not found or the operation failed, 2 bad usage.\n";

bool iequals(const std::string& a, const char* b) {
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return i == a.size() && !b[i];
}

// "/v" or "-v" (any case) as the option "v"; anything else is not an option.
std::string optionName(const std::string& arg) {
    if (arg.size() >= 2 && (arg[0] == '/' || arg[0] == '-')) {
        std::string n = arg.substr(1);
        for (auto& c : n)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return n;
    }
    return {};
}

struct Options {
    std::vector<std::string> positional;
    std::map<std::string, std::string> withValue; // v, t, d
    std::map<std::string, bool> flags;            // ve, va, f, s, y
};

Options parseOptions(const std::vector<std::string>& args, size_t from,
                     const std::vector<std::string>& valued,
                     const std::vector<std::string>& flagNames) {
    Options o;
    for (size_t i = from; i < args.size(); ++i) {
        const std::string n = optionName(args[i]);
        bool known = false;
        for (const auto& v : valued)
            if (n == v) {
                if (i + 1 >= args.size())
                    throw UsageError{"option " + args[i] + " needs a value"};
                if (o.withValue.count(n))
                    throw UsageError{"option " + args[i] + " given twice"};
                o.withValue[n] = args[++i];
                known = true;
            }
        for (const auto& f : flagNames)
            if (n == f) {
                o.flags[n] = true;
                known = true;
            }
        if (!known) {
            // "/tmp/x.reg" is a file name, not an option.
            if (!n.empty() && args[i][0] == '-')
                throw UsageError{"unknown option " + args[i]};
            o.positional.push_back(args[i]);
        }
    }
    return o;
}

KeyRef keyArg(const std::string& text) {
    auto k = regfile::parseKey(text);
    if (!k)
        throw UsageError{"invalid key name \"" + text + "\" (HKLM\\... or HKCU\\...)"};
    return *k;
}

// Opens the hive of a root. Reading never creates a hive file; a hive that cannot be used is
// an error of the operation, never a silent in-memory stand-in.
class Hives {
public:
    explicit Hives(RuntimeLayout layout) : m_layout(std::move(layout)) {}

    // nullptr when a read finds no hive file (then every key is missing).
    SqliteHive* open(Root root, bool forWriting) {
        auto& slot = root == Root::LocalMachine ? m_machine : m_user;
        if (!slot) {
            const std::string& path =
                root == Root::LocalMachine ? m_layout.machineHive : m_layout.userHive;
            std::error_code ec;
            if (!forWriting && !fs::exists(path, ec))
                return nullptr;
            slot = std::make_unique<SqliteHive>(path);
        }
        if (slot->mode() == SqliteHive::Mode::InMemory ||
            (forWriting && slot->mode() != SqliteHive::Mode::ReadWrite))
            throw std::runtime_error(slot->openProblem());
        return slot.get();
    }

private:
    RuntimeLayout m_layout;
    std::unique_ptr<SqliteHive> m_machine, m_user;
};

// The key path in the case it was first written, found through the parents' sub-key lists.
KeyRef storedCase(SqliteHive& hive, const KeyRef& k) {
    KeyRef r{k.root, {}};
    size_t start = 0;
    while (start < k.path.size()) {
        size_t sep = k.path.find('\\', start);
        if (sep == std::string::npos)
            sep = k.path.size();
        std::string part = k.path.substr(start, sep - start);
        for (const auto& s : hive.subKeys(r.path))
            if (iequals(s, part.c_str()))
                part = s;
        r.path += (r.path.empty() ? "" : "\\") + part;
        start = sep + 1;
    }
    return r;
}

bool confirm(const std::string& question) {
    if (!standardInputIsTerminal())
        return false;
    std::cout << question << " (Yes/No)? " << std::flush;
    std::string answer;
    if (!std::getline(std::cin, answer))
        return false;
    return iequals(answer, "y") || iequals(answer, "yes");
}

std::string typeName(RegType t) {
    switch (t) {
    case RegType::Sz:
        return "REG_SZ";
    case RegType::Dword:
        return "REG_DWORD";
    case RegType::Binary:
        return "REG_BINARY";
    default:
        return "REG_NONE";
    }
}

std::string displayData(const RegValue& v) {
    switch (v.type) {
    case RegType::Sz:
        return v.text;
    case RegType::Dword: {
        char buf[16];
        std::snprintf(buf, sizeof buf, "0x%x", v.dword);
        return buf;
    }
    case RegType::Binary: {
        std::string r;
        static const char* digits = "0123456789ABCDEF";
        for (uint8_t b : v.bytes) {
            r += digits[b >> 4];
            r += digits[b & 15];
        }
        return r;
    }
    default:
        return {};
    }
}

std::string valueLine(const std::string& name, const RegValue& v) {
    return "    " + (name.empty() ? std::string("(Default)") : name) + "    " + typeName(v.type) +
           "    " + displayData(v) + "\n";
}

RegValue valueFromArgs(const std::string& type, const std::string& data) {
    if (type.empty() || iequals(type, "REG_SZ"))
        return RegValue::sz(data);
    if (iequals(type, "REG_DWORD")) {
        // Decimal or 0x hex, as reg takes them.
        const bool hex = data.size() > 2 && data[0] == '0' && (data[1] == 'x' || data[1] == 'X');
        const std::string digits = hex ? data.substr(2) : data;
        if (digits.empty() || digits.size() > (hex ? 8u : 10u))
            throw UsageError{"invalid REG_DWORD data \"" + data + "\""};
        uint64_t v = 0;
        for (char c : digits) {
            int d = -1;
            if (c >= '0' && c <= '9')
                d = c - '0';
            else if (hex && c >= 'a' && c <= 'f')
                d = c - 'a' + 10;
            else if (hex && c >= 'A' && c <= 'F')
                d = c - 'A' + 10;
            if (d < 0)
                throw UsageError{"invalid REG_DWORD data \"" + data + "\""};
            v = v * (hex ? 16 : 10) + static_cast<uint64_t>(d);
        }
        if (v > 0xFFFFFFFFull)
            throw UsageError{"REG_DWORD data out of range \"" + data + "\""};
        return RegValue::dw(static_cast<uint32_t>(v));
    }
    if (iequals(type, "REG_BINARY")) {
        if (data.size() % 2)
            throw UsageError{"REG_BINARY data needs an even number of hex digits"};
        std::vector<uint8_t> bytes;
        bytes.reserve(data.size() / 2);
        for (size_t i = 0; i < data.size(); i += 2) {
            const std::string pair = data.substr(i, 2);
            if (pair.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
                throw UsageError{"invalid REG_BINARY data \"" + data + "\""};
            bytes.push_back(static_cast<uint8_t>(std::stoul(pair, nullptr, 16)));
        }
        return RegValue::bin(std::move(bytes));
    }
    throw UsageError{"unsupported type " + type + " (REG_SZ, REG_DWORD or REG_BINARY)"};
}

const char* kNotFound = "ERROR: The system was unable to find the specified registry key or value.";
const char* kDone = "The operation completed successfully.";

int cmdAdd(Hives& hives, const std::vector<std::string>& args) {
    const Options o = parseOptions(args, 2, {"v", "t", "d"}, {"ve", "f"});
    if (o.positional.size() != 1)
        throw UsageError{"add takes one key name"};
    if (o.withValue.count("v") && o.flags.count("ve"))
        throw UsageError{"/v and /ve exclude each other"};
    const KeyRef k = keyArg(o.positional[0]);
    if (k.path.empty())
        throw UsageError{"a key below the root is needed"};
    const bool hasValue = o.withValue.count("v") || o.flags.count("ve");
    const auto get = [&](const char* n) {
        const auto it = o.withValue.find(n);
        return it == o.withValue.end() ? std::string() : it->second;
    };
    if (!hasValue && (o.withValue.count("t") || o.withValue.count("d")))
        throw UsageError{"/t and /d need /v or /ve"};
    const RegValue v = valueFromArgs(get("t"), get("d"));
    SqliteHive* hive = hives.open(k.root, true);
    if (!hasValue) {
        if (!hive->createKey(k.path))
            throw std::runtime_error(hive->lastError());
    } else {
        const std::string name = get("v");
        if (!o.flags.count("f") && hive->get(k.path, name) &&
            !confirm("Value " + (name.empty() ? std::string("(Default)") : name) +
                     " exists, overwrite")) {
            std::cout << "The operation was cancelled by the user.\n";
            return kFailed;
        }
        if (!hive->set(k.path, name, v))
            throw std::runtime_error(hive->lastError());
    }
    std::cout << kDone << "\n";
    return kOk;
}

void queryKey(SqliteHive& hive, const KeyRef& k, bool recurse, std::string& out) {
    out += "\n" + regfile::fullKeyName(k) + "\n";
    for (const auto& nv : hive.values(k.path))
        out += valueLine(nv.name, nv.value);
    const auto subs = hive.subKeys(k.path);
    if (recurse) {
        for (const auto& s : subs)
            queryKey(hive, KeyRef{k.root, k.path.empty() ? s : k.path + "\\" + s}, true, out);
        return;
    }
    if (!subs.empty())
        out += "\n";
    for (const auto& s : subs)
        out += regfile::fullKeyName(KeyRef{k.root, k.path.empty() ? s : k.path + "\\" + s}) + "\n";
}

int cmdQuery(Hives& hives, const std::vector<std::string>& args) {
    const Options o = parseOptions(args, 2, {"v"}, {"ve", "s"});
    if (o.positional.size() != 1)
        throw UsageError{"query takes one key name"};
    if (o.withValue.count("v") && o.flags.count("ve"))
        throw UsageError{"/v and /ve exclude each other"};
    const KeyRef k = keyArg(o.positional[0]);
    SqliteHive* hive = hives.open(k.root, false);
    if (!hive || !hive->keyExists(k.path)) {
        std::cerr << kNotFound << "\n";
        return kFailed;
    }
    std::string out;
    if (o.withValue.count("v") || o.flags.count("ve")) {
        const std::string name = o.withValue.count("v") ? o.withValue.at("v") : std::string();
        const auto v = hive->get(k.path, name);
        if (!v) {
            std::cerr << kNotFound << "\n";
            return kFailed;
        }
        // The name as it was first written.
        std::string shown = name;
        for (const auto& nv : hive->values(k.path))
            if (iequals(nv.name, name.c_str()))
                shown = nv.name;
        out = "\n" + regfile::fullKeyName(storedCase(*hive, k)) + "\n" + valueLine(shown, *v);
    } else {
        queryKey(*hive, storedCase(*hive, k), o.flags.count("s") > 0, out);
    }
    std::cout << out << "\n";
    return kOk;
}

int cmdDelete(Hives& hives, const std::vector<std::string>& args) {
    const Options o = parseOptions(args, 2, {"v"}, {"ve", "va", "f"});
    if (o.positional.size() != 1)
        throw UsageError{"delete takes one key name"};
    if (o.withValue.count("v") + o.flags.count("ve") + o.flags.count("va") > 1)
        throw UsageError{"/v, /ve and /va exclude each other"};
    const KeyRef k = keyArg(o.positional[0]);
    if (k.path.empty())
        throw UsageError{"the root of a hive cannot be deleted"};
    SqliteHive* hive = hives.open(k.root, true);
    if (!hive->keyExists(k.path)) {
        std::cerr << kNotFound << "\n";
        return kFailed;
    }
    const bool force = o.flags.count("f") > 0;
    if (o.withValue.count("v") || o.flags.count("ve")) {
        const std::string name = o.withValue.count("v") ? o.withValue.at("v") : std::string();
        if (!hive->get(k.path, name)) {
            std::cerr << kNotFound << "\n";
            return kFailed;
        }
        if (!force && !confirm("Delete the registry value " +
                               (name.empty() ? std::string("(Default)") : name))) {
            std::cout << "The operation was cancelled by the user.\n";
            return kFailed;
        }
        if (!hive->remove(k.path, name))
            throw std::runtime_error(hive->lastError());
    } else if (o.flags.count("va")) {
        if (!force &&
            !confirm("Delete all values under the registry key " + regfile::fullKeyName(k))) {
            std::cout << "The operation was cancelled by the user.\n";
            return kFailed;
        }
        for (const auto& nv : hive->values(k.path))
            if (!hive->remove(k.path, nv.name) && !hive->lastError().empty())
                throw std::runtime_error(hive->lastError());
    } else {
        if (!force && !confirm("Permanently delete the registry key " + regfile::fullKeyName(k))) {
            std::cout << "The operation was cancelled by the user.\n";
            return kFailed;
        }
        if (!hive->removeKey(k.path) && !hive->lastError().empty())
            throw std::runtime_error(hive->lastError());
    }
    std::cout << kDone << "\n";
    return kOk;
}

void exportKey(SqliteHive& hive, const KeyRef& k, std::string& out) {
    out += regfile::keyLine(k);
    for (const auto& nv : hive.values(k.path))
        out += regfile::valueLine(nv.name, nv.value);
    for (const auto& s : hive.subKeys(k.path))
        exportKey(hive, KeyRef{k.root, k.path.empty() ? s : k.path + "\\" + s}, out);
}

int cmdExport(Hives& hives, const std::vector<std::string>& args) {
    const Options o = parseOptions(args, 2, {}, {"y"});
    if (o.positional.size() != 2)
        throw UsageError{"export takes a key name and a file name"};
    const KeyRef k = keyArg(o.positional[0]);
    const std::string file = o.positional[1];
    SqliteHive* hive = hives.open(k.root, false);
    if (!hive || !hive->keyExists(k.path)) {
        std::cerr << kNotFound << "\n";
        return kFailed;
    }
    std::error_code ec;
    if (!o.flags.count("y") && fs::exists(file, ec) &&
        !confirm("File " + file + " already exists. Overwrite")) {
        std::cout << "The operation was cancelled by the user.\n";
        return kFailed;
    }
    std::string out = regfile::header();
    exportKey(*hive, storedCase(*hive, k), out);
    out += "\r\n";
    std::ofstream f(file, std::ios::binary | std::ios::trunc);
    f << out;
    f.flush();
    if (!f)
        throw std::runtime_error("cannot write " + file);
    std::cout << kDone << "\n";
    return kOk;
}

int cmdImport(Hives& hives, const std::vector<std::string>& args) {
    const Options o = parseOptions(args, 2, {}, {});
    if (o.positional.size() != 1)
        throw UsageError{"import takes one file name"};
    const std::string file = o.positional[0];
    std::error_code ec;
    const auto size = fs::file_size(file, ec);
    if (ec)
        throw std::runtime_error(file + ": " + ec.message());
    if (size > regfile::kMaxFileBytes)
        throw std::runtime_error(file + ": file too large");
    std::ifstream f(file, std::ios::binary);
    std::string bytes(static_cast<size_t>(size), '\0');
    if (!f.read(bytes.data(), static_cast<std::streamsize>(size)))
        throw std::runtime_error("cannot read " + file);
    // The whole file is checked before anything is written.
    const auto parsed = regfile::parse(bytes);
    if (!parsed.error.empty())
        throw std::runtime_error(file + ": " + parsed.error);
    for (const auto& e : parsed.entries) {
        SqliteHive* hive = hives.open(e.key.root, true);
        bool ok = true;
        switch (e.kind) {
        case regfile::Entry::Kind::Key:
            ok = e.key.path.empty() || hive->createKey(e.key.path);
            break;
        case regfile::Entry::Kind::DeleteKey:
            ok = e.key.path.empty() || hive->removeKey(e.key.path) || hive->lastError().empty();
            break;
        case regfile::Entry::Kind::SetValue:
            ok = hive->set(e.key.path, e.name, e.value);
            break;
        case regfile::Entry::Kind::DeleteValue:
            ok = hive->remove(e.key.path, e.name) || hive->lastError().empty();
            break;
        }
        if (!ok)
            throw std::runtime_error(file + ": line " + std::to_string(e.line) + ": " +
                                     hive->lastError());
    }
    std::cout << kDone << "\n";
    return kOk;
}

int run(const std::vector<std::string>& args) {
    try {
        if (args.size() < 2)
            throw UsageError{"an operation is needed (add, query, delete, export, import)"};
        const std::string op = args[1];
        if (op == "/?" || op == "-?" || iequals(op, "/h") || iequals(op, "--help")) {
            std::cout << kUsageText;
            return kOk;
        }
        for (size_t i = 2; i < args.size(); ++i)
            if (args[i] == "/?" || args[i] == "-?") {
                std::cout << kUsageText;
                return kOk;
            }
        Hives hives(
            RuntimeLayout::fromEnvironment(processEnvironment(), runningExecutableFolder()));
        if (iequals(op, "add"))
            return cmdAdd(hives, args);
        if (iequals(op, "query"))
            return cmdQuery(hives, args);
        if (iequals(op, "delete"))
            return cmdDelete(hives, args);
        if (iequals(op, "export"))
            return cmdExport(hives, args);
        if (iequals(op, "import"))
            return cmdImport(hives, args);
        throw UsageError{"unknown operation \"" + op + "\""};
    } catch (const UsageError& e) {
        std::cerr << "ERROR: Invalid syntax: " << e.text << ". Type \"tlvreg /?\" for usage.\n";
        return kUsage;
    } catch (const std::exception& e) {
        std::cerr << "ERROR: " << e.what() << "\n";
        return kFailed;
    }
}

} // namespace
} // namespace tlv

int main(int argc, char** argv) {
    std::vector<std::string> args(argv, argv + argc);
    return tlv::run(args);
}
