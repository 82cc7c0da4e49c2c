#include "core/error.h"
#include "core/log.h"
#include "platform/fake/virtual_time.h"
#include "tests/support/temp_root.h"

#include <gtest/gtest.h>

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

} // namespace
} // namespace tlv
