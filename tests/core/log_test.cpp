#include "core/error.h"
#include "core/log.h"
#include "platform/fake/virtual_time.h"
#include "tests/support/temp_root.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace tlv {
namespace {

TEST(Logger, TimestampIsUtcWithMilliseconds) {
    // 9 December 2006 14:30:05.042 UTC
    EXPECT_EQ(Logger::timestamp(1165674605042), "061209.143005.042");
}

TEST(Logger, HeaderOnlyOnANewFileAndErrorLinesInTheHouseFormat) {
    test::TempRoot root;
    VirtualClock clock;
    clock.setUtc(1165674605042);
    Logger log(clock, root.file("fallback.log"));
    log.setLogPath(root.file("tlvcli.log"));
    log.subLogError("modFunctions.MainError(InitApp)", TlvError(53, "File not found", "tlvcli"));
    log.subWriteLog("second");
    const std::string text = test::readFile(root.file("tlvcli.log"));
    EXPECT_EQ(text.rfind("tlvcli Log file.\r\nCreation date: ", 0), 0u);
    EXPECT_NE(text.find("\r\n\r\ntlvcli 1.9.300 061209.143005.042 - "
                        "modFunctions.MainError(InitApp): #53 | File not found | tlvcli\r\n"),
              std::string::npos);
    EXPECT_NE(text.find("- second\r\n"), std::string::npos);
    EXPECT_EQ(text.find("Log file.", 10), std::string::npos);
}

TEST(Logger, EmptyPathFallsBackAndUnwritableFileReportsFailure) {
    test::TempRoot root;
    VirtualClock clock;
    Logger log(clock, root.file("fallback.log"));
    EXPECT_TRUE(log.subWriteLog("x"));
    EXPECT_NE(test::readFile(root.file("fallback.log")).find("- x\r\n"), std::string::npos);
    EXPECT_FALSE(log.subWriteLog("y", root.file("no/such/dir/f.log")));
}

TEST(Logger, TheFileIsRotatedAtItsSizeLimitKeepingOneOldFile) {
    test::TempRoot root;
    VirtualClock clock;
    Logger log(clock, root.file("fallback.log"));
    log.setLogPath(root.file("tlvcli.log"));
    log.setMaxFileBytes(4096);
    const std::string text(90, 'x');
    for (int i = 0; i < 200; ++i)
        log.subWriteLog(text + std::to_string(i));
    namespace fs = std::filesystem;
    EXPECT_LE(fs::file_size(root.file("tlvcli.log")), 4096u);
    ASSERT_TRUE(fs::exists(root.file("tlvcli.log.1")));
    EXPECT_LE(fs::file_size(root.file("tlvcli.log.1")), 4096u);
    EXPECT_FALSE(fs::exists(root.file("tlvcli.log.2")));
    // Each file starts with its header; the newest line is in the current file, the lines just
    // before it in the old one.
    const std::string now = test::readFile(root.file("tlvcli.log"));
    const std::string old = test::readFile(root.file("tlvcli.log.1"));
    EXPECT_EQ(now.rfind("tlvcli Log file.\r\n", 0), 0u);
    EXPECT_EQ(old.rfind("tlvcli Log file.\r\n", 0), 0u);
    EXPECT_NE(now.find(text + "199\r\n"), std::string::npos);
    const size_t firstNow = now.find(text) + text.size();
    const int first = std::stoi(now.substr(firstNow, now.find('\r', firstNow) - firstNow));
    EXPECT_NE(old.find(text + std::to_string(first - 1) + "\r\n"), std::string::npos);
}

TEST(FailureLatch, ARepeatedFailureIsWrittenOnceAndAgainWhenItChangesOrReturns) {
    test::TempRoot root;
    VirtualClock clock;
    Logger log(clock, root.file("tlvcli.log"));
    FailureLatch latch(log);
    const TlvError empty(9, "Subscript out of range");
    const TlvError zero(11, "Division by zero");
    for (int i = 0; i < 600; ++i)
        latch.failed("modFunctions.funBalanceDueTimeBasedError", empty);
    latch.failed("modFunctions.funBalanceDueTimeBasedError", zero);
    latch.failed("modFunctions.funBalanceDueTimeBasedError", zero);
    latch.cleared();
    latch.failed("modFunctions.funBalanceDueTimeBasedError", zero);
    const std::string text = test::readFile(root.file("tlvcli.log"));
    size_t lines = 0;
    for (size_t p = text.find(" - "); p != std::string::npos; p = text.find(" - ", p + 1))
        ++lines;
    EXPECT_EQ(lines, 3u) << text;
    EXPECT_NE(text.find("funBalanceDueTimeBasedError: #9 | Subscript out of range"),
              std::string::npos);
}

} // namespace
} // namespace tlv
