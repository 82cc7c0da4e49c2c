#include "platform/linux/xdg_autostart.h"

#include <filesystem>
#include <fstream>
#include <system_error>

namespace tlv {

namespace fs = std::filesystem;

XdgAutostart::XdgAutostart(std::string autostartDir, std::string fileName)
    : m_dir(std::move(autostartDir)), m_path((fs::path(m_dir) / fileName).string()) {}

bool XdgAutostart::isEnabled() const {
    std::error_code ec;
    return fs::is_regular_file(m_path, ec) && fs::file_size(m_path, ec) > 0 && !ec;
}

std::string XdgAutostart::desktopEntry(const std::string& command) {
    // Exec quoting: reserved characters need a quoted argument, in which " ` $ \ are escaped;
    // then the string-value escape doubles every backslash again; "%" is a field code.
    bool needsQuotes = command.empty();
    std::string quoted;
    for (char c : command) {
        if (c == ' ' || c == '\t' || c == '"' || c == '\'' || c == '\\' || c == '>' || c == '<' ||
            c == '~' || c == '|' || c == '&' || c == ';' || c == '$' || c == '*' || c == '?' ||
            c == '#' || c == '(' || c == ')' || c == '`')
            needsQuotes = true;
        if (c == '"' || c == '`' || c == '$' || c == '\\')
            quoted += '\\';
        if (c == '%')
            quoted += '%';
        if (c == '\n' || c == '\r')
            continue;
        quoted += c;
    }
    std::string exec = needsQuotes ? "\"" + quoted + "\"" : quoted;
    std::string escaped;
    for (char c : exec) {
        if (c == '\\')
            escaped += '\\';
        escaped += c;
    }
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Talvor Client\n"
           "Exec=" +
           escaped +
           "\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
}

bool XdgAutostart::enable(const std::string& command) {
    m_lastError.clear();
    std::error_code ec;
    fs::create_directories(m_dir, ec);
    if (ec) {
        m_lastError = m_dir + ": " + ec.message();
        return false;
    }
    // Written beside and renamed, so a session manager never reads half an entry.
    const std::string tmp = m_path + ".tmp";
    {
        std::ofstream f(tmp, std::ios::binary | std::ios::trunc);
        f << desktopEntry(command);
        f.flush();
        if (!f) {
            m_lastError = tmp + ": cannot write";
            fs::remove(tmp, ec);
            return false;
        }
    }
    fs::rename(tmp, m_path, ec);
    if (ec) {
        m_lastError = m_path + ": " + ec.message();
        fs::remove(tmp, ec);
        return false;
    }
    return true;
}

bool XdgAutostart::disable() {
    m_lastError.clear();
    std::error_code ec;
    fs::remove(m_path, ec);
    if (ec) {
        m_lastError = m_path + ": " + ec.message();
        return false;
    }
    return true;
}

} // namespace tlv
