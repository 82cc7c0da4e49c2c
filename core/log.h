#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <string>

namespace tlv {

class Clock;
class TlvError;

// The log file: "<exe> <major.minor.revision> <UTC timestamp> - <text>" lines with CR LF,
// a two-line header on a new file, opened and closed on every call. A line that would take the
// file past its size limit first renames it to "<file>.1" (replacing the older one), so a PC
// that runs for months keeps at most twice the limit.
class Logger {
public:
    static constexpr uint64_t kDefaultMaxFileBytes = 1024 * 1024;

    Logger(const Clock& clock, std::string fallbackPath);

    void setLogPath(std::string path) { m_logPath = std::move(path); }
    const std::string& logPath() const { return m_logPath; }
    void setDebug(bool debug) { m_debug = debug; }
    bool debug() const { return m_debug; }
    void setMaxFileBytes(uint64_t bytes) { m_maxFileBytes = bytes; }
    // Where debug traces go (standard error by default under "-d"); tests capture them.
    void setTraceSink(std::function<void(const std::string&)> sink) {
        m_traceSink = std::move(sink);
    }

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
    std::string fileHeader() const;

    const Clock& m_clock;
    std::string m_fallbackPath;
    std::string m_logPath;
    bool m_debug = false;
    uint64_t m_maxFileBytes = kDefaultMaxFileBytes;
    std::function<void(const std::string&)> m_traceSink;
};

// A failure that can repeat on every tick (a tariff table the server left empty): its line is
// written when it starts or changes, not on each repeat, and again once it has cleared and
// comes back.
class FailureLatch {
public:
    explicit FailureLatch(Logger& log) : m_log(log) {}
    void failed(const std::string& context, const std::exception& e);
    // The condition is over: its next occurrence is written again.
    void cleared() { m_last.clear(); }
    // Grows with every failure reported: a caller whose own work succeeded clears the latch
    // only if nothing inside it failed.
    uint64_t failures() const { return m_failures; }

private:
    Logger& m_log;
    std::string m_last;
    uint64_t m_failures = 0;
};

} // namespace tlv
