#pragma once

#include <functional>
#include <string>

namespace tlv {

class Clock;
class TlvError;

// The log file: "<exe> <major.minor.revision> <UTC timestamp> - <text>" lines with CR LF,
// a two-line header on a new file, opened and closed on every call.
class Logger {
public:
    Logger(const Clock& clock, std::string fallbackPath);

    void setLogPath(std::string path) { m_logPath = std::move(path); }
    const std::string& logPath() const { return m_logPath; }
    void setDebug(bool debug) { m_debug = debug; }
    bool debug() const { return m_debug; }
    // Where debug traces go (standard error by default under "-d"); tests capture them.
    void setTraceSink(std::function<void(const std::string&)> sink) { m_traceSink = std::move(sink); }

    // Returns false when the file cannot be written.
    bool subWriteLog(const std::string& text, const std::string& filePath = {});
    // context + ": #" + number + " | " + description + " | " + source
    void subLogError(const std::string& context, int number, const std::string& description,
                     const std::string& source = "tlvcli");
    void subLogError(const std::string& context, const TlvError& e);
    void subLogError(const std::string& context, const std::exception& e);
    // Debug trace: formatted like a log line, never written to the file.
    void trace(const std::string& text);

    // "061209.143005.042" for 9 December 2006, 14:30:05.042 UTC.
    static std::string timestamp(int64_t utcMs);
    std::string linePrefix() const;

private:
    const Clock& m_clock;
    std::string m_fallbackPath;
    std::string m_logPath;
    bool m_debug = false;
    std::function<void(const std::string&)> m_traceSink;
};

} // namespace tlv
