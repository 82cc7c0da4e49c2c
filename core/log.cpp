#include "core/log.h"

#include "core/error.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "tlv_version.h"

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>

namespace tlv {

Logger::Logger(const Clock& clock, std::string fallbackPath)
    : m_clock(clock), m_fallbackPath(std::move(fallbackPath)) {}

static void civil(int64_t ms, tm& out, int& millis) {
    int64_t secs = ms / 1000;
    millis = static_cast<int>(ms % 1000);
    if (millis < 0) {
        millis += 1000;
        --secs;
    }
    const time_t t = static_cast<time_t>(secs);
    gmtime_r(&t, &out);
}

std::string Logger::timestamp(int64_t utcMs) {
    tm t{};
    int millis = 0;
    civil(utcMs, t, millis);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d%02d%02d.%02d%02d%02d.%03d", t.tm_year % 100, t.tm_mon + 1,
                  t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, millis);
    return buf;
}

std::string Logger::linePrefix() const {
    return std::string(kExeName) + " " + kVersionText + " " + timestamp(m_clock.utcMs()) + " - ";
}

std::string Logger::fileHeader() const {
    tm t{};
    int millis = 0;
    civil(m_clock.localMs(), t, millis);
    char date[40];
    std::snprintf(date, sizeof date, "%04d-%02d-%02d %02d:%02d:%02d", t.tm_year + 1900,
                  t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
    return std::string(kExeName) + " Log file.\r\nCreation date: " + date + "\r\n\r\n";
}

bool Logger::subWriteLog(const std::string& text, const std::string& filePath) {
    std::string path = !filePath.empty()    ? filePath
                       : !m_logPath.empty() ? m_logPath
                                            : m_fallbackPath;
    path = toNativePath(path);
    std::string out;
    if (!text.empty())
        out += linePrefix() + text;
    out += "\r\n";
    std::error_code ec;
    bool isNew = !std::filesystem::exists(path, ec);
    if (!isNew) {
        const uintmax_t size = std::filesystem::file_size(path, ec);
        if (!ec && size + out.size() > m_maxFileBytes) {
            // One old file is kept: the lines just before the new file's first.
            std::filesystem::rename(path, path + ".1", ec);
            isNew = !ec;
        }
    }
    if (isNew)
        out.insert(0, fileHeader());
    std::ofstream f(path, std::ios::app | std::ios::binary);
    if (!f)
        return false;
    f << out;
    return static_cast<bool>(f);
}

void Logger::subLogError(const std::string& context, int number, const std::string& description,
                         const std::string& source) {
    const std::string line =
        context + ": #" + std::to_string(number) + " | " + description + " | " + source;
    trace(line);
    subWriteLog(line);
}

void Logger::subLogError(const std::string& context, const TlvError& e) {
    subLogError(context, e.number(), e.what(), e.source());
}

void Logger::subLogError(const std::string& context, const std::exception& e) {
    if (auto* te = dynamic_cast<const TlvError*>(&e))
        subLogError(context, *te);
    else
        subLogError(context, kErrInvalidCall, e.what());
}

void FailureLatch::failed(const std::string& context, const std::exception& e) {
    ++m_failures;
    std::string key = context + "\n" + e.what();
    if (const auto* te = dynamic_cast<const TlvError*>(&e))
        key += "\n" + std::to_string(te->number());
    if (key == m_last)
        return;
    m_last = std::move(key);
    m_log.subLogError(context, e);
}

void Logger::trace(const std::string& text) {
    if (!m_debug)
        return;
    const std::string line = linePrefix() + text;
    if (m_traceSink)
        m_traceSink(line);
    else
        std::cerr << line << '\n';
}

} // namespace tlv
