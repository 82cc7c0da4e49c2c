#include "tests/support/cafe.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace tlv::test {

namespace {

std::string unquote(const std::string& line) {
    const size_t a = line.find('"');
    const size_t b = line.rfind('"');
    if (a == std::string::npos || b <= a)
        return {};
    std::string out;
    for (size_t i = a + 1; i < b; ++i) {
        if (line[i] == '\\' && i + 1 < b) {
            const char c = line[++i];
            out += c == 'n' ? '\n' : c == 't' ? '\t' : c;
        } else {
            out += line[i];
        }
    }
    return out;
}

} // namespace

std::string packNativeName(const std::string& language) {
    std::ifstream in(std::string(TLV_SOURCE_DIR) + "/data/lang/tlvcli_" + language + ".po");
    const std::string key = "\"X-Native-Name: ";
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(key, 0) == 0)
            return line.substr(key.size(), line.find("\\n") - key.size());
    return {};
}

std::string packText(const std::string& language, int id) {
    std::ifstream in(std::string(TLV_SOURCE_DIR) + "/data/lang/tlvcli_" + language + ".po");
    const std::string want = "msgctxt \"" + std::to_string(id) + "\"";
    std::string line;
    while (std::getline(in, line)) {
        if (line != want)
            continue;
        std::string msgid, msgstr, *into = nullptr;
        while (std::getline(in, line) && !line.empty()) {
            if (line.rfind("msgid ", 0) == 0)
                into = &msgid;
            else if (line.rfind("msgstr ", 0) == 0)
                into = &msgstr;
            if (into)
                *into += unquote(line);
        }
        return msgstr.empty() ? msgid : msgstr;
    }
    return {};
}

Cafe::Cafe(CafeOptions options)
    : m_options(std::move(options)),
      m_desktop(DesktopOptions{m_options.width, m_options.height, "openbox"}),
      m_procs(m_root.path()), m_log(m_root.file("tlvsim.log")) {
    if (!m_desktop.ready())
        return;
    m_procs.setDisplay(m_desktop);
    writeFile(m_root.file("accounts.txt"), m_options.accounts);
    writeFile(m_root.file("server.txt"), "");
    bool ok = m_procs.configure();
    if (!m_options.configured)
        for (const char* hive : {"HKLM", "HKCU"})
            ok = m_procs.reg(std::string(hive) + "\\Software\\Talvor Client\\General",
                             "Config Wizard", "REG_SZ", "0") &&
                 ok;
    for (const auto& s : m_options.settings)
        ok = s.size() == 4 && m_procs.reg(s[0], s[1], s[2], s[3]) && ok;
    m_sim = m_procs.startSimulator({"--accounts", m_root.file("accounts.txt"), "--plain", "--log",
                                    m_log.path(), "--follow", m_root.file("server.txt")},
                                   m_root.file("tlvsim.out"));
    m_ready = ok && m_sim > 0;
}

Cafe::~Cafe() {
    shot("zz-last");
    if (m_client > 0)
        stopClient();
}

bool Cafe::startClient(bool waitLockScreen) {
    m_log.mark();
    m_client = m_procs.spawn(TLVCLI_EXE, {}, m_root.file("tlvcli.out"));
    if (m_client <= 0)
        return false;
    if (!waitLockScreen)
        return true;
    // Generous: the start-up, the discovery and the first report, under a sanitizer too. The
    // start-up's about box goes by itself; a person waits for it too.
    return m_log.waitState(2, 40000).has_value() &&
           waitUntil([this] { return lockScreen() != 0; }, 20000) && waitNoWindow("^About ", 20000);
}

int Cafe::stopClient() {
    if (m_client <= 0)
        return -1;
    m_procs.signal(m_client, SIGTERM);
    const int rc = m_procs.waitExit(m_client, 20);
    m_client = -1;
    return rc;
}

int Cafe::waitClientExit(int seconds) {
    const int rc = m_procs.waitExit(m_client, seconds);
    if (rc >= 0)
        m_client = -1;
    return rc;
}

void Cafe::server(const std::string& command) {
    std::ofstream(m_root.file("server.txt"), std::ios::app) << command << "\n";
}

std::string Cafe::actions() const {
    return readFile(m_root.file("actions.log"));
}

std::string Cafe::query(const std::string& key) {
    const std::string out = m_root.file("query.out");
    writeFile(out, "");
    m_procs.waitExit(m_procs.spawn(TLVREG_EXE, {"query", key}, out), 10);
    return readFile(out);
}

std::string Cafe::diagnostics() const {
    std::string out = "server events:\n" + m_log.dump();
    const std::string sim = readFile(m_root.file("tlvsim.out"));
    out += "tlvsim output (end):\n" + sim.substr(sim.size() > 3000 ? sim.size() - 3000 : 0);
    const std::string cli = readFile(m_root.file("tlvcli.out"));
    out += "\ntlvcli output (end):\n" + cli.substr(cli.size() > 3000 ? cli.size() - 3000 : 0);
    const std::string log = readFile(m_root.path() + "/ProgramData/Talvor Client/tlvcli.log");
    out += "\ntlvcli.log (end):\n" + log.substr(log.size() > 3000 ? log.size() - 3000 : 0);
    return out;
}

unsigned long Cafe::lockScreen() const {
    return m_client > 0 ? user().lockScreenWindow() : 0;
}

ScreenUser Cafe::user() const {
    return ScreenUser(m_desktop, {0, 0, m_options.width, m_options.height}, m_client);
}

unsigned long Cafe::waitWindow(const std::string& nameRegex, int timeoutMs) const {
    return m_desktop.waitWindow(nameRegex, timeoutMs, m_client);
}

bool Cafe::waitNoWindow(const std::string& nameRegex, int timeoutMs) const {
    return waitUntil(
        [&] {
            for (unsigned long w : m_desktop.windows(nameRegex, m_client))
                if (m_desktop.viewable(w))
                    return false;
            return true;
        },
        timeoutMs);
}

std::string Cafe::shot(const std::string& name) const {
    const char* dir = std::getenv("TLV_DESKTOP_SHOTS");
    if (!dir || !*dir || !m_desktop.ready())
        return {};
    std::string test = "desktop";
    if (const auto* info = ::testing::UnitTest::GetInstance()->current_test_info())
        test = std::string(info->test_suite_name()) + "." + info->name();
    for (char& c : test)
        if (c == '/')
            c = '_';
    const std::string folder = std::string(dir) + "/" + test;
    std::filesystem::create_directories(folder);
    char number[16];
    std::snprintf(number, sizeof number, "%02d-", ++m_shots);
    const std::string path = folder + "/" + number + name + ".png";
    return Desktop::savePng(m_desktop.grab(), path) ? path : std::string();
}

} // namespace tlv::test
