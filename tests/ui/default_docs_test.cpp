#include "core/log.h"
#include "platform/fake/virtual_time.h"
#include "tests/support/temp_root.h"
#include "ui/default_docs.h"
#include "ui/rtf/rtf_reader.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace tlv {
namespace {

TEST(DefaultDocuments, MissingFilesAreWrittenAndServerFilesAreKept) {
    test::TempRoot root;
    const std::string folder = root.file("ProgramData/Talvor Client");
    std::filesystem::create_directories(folder);
    test::writeFile(folder + "/en_blocked.rtf", "{\\rtf1 from the server}");
    VirtualClock clock;
    Logger log(clock, root.file("t.log"));

    const auto written = installDefaultDocuments(folder, &log);
    EXPECT_EQ(written.size(), defaultDocumentNames().size() - 1);
    EXPECT_EQ(test::readFile(folder + "/en_blocked.rtf"), "{\\rtf1 from the server}");
    for (const std::string& name : defaultDocumentNames())
        EXPECT_TRUE(std::filesystem::exists(folder + "/" + name)) << name;
    EXPECT_EQ(test::readFile(folder + "/logo.png").substr(0, 4), "\x89PNG");

    // A second start writes nothing.
    EXPECT_TRUE(installDefaultDocuments(folder, &log).empty());
    EXPECT_FALSE(std::filesystem::exists(root.file("t.log")));
}

TEST(DefaultDocuments, EveryMessageDocumentReadsCompletelyWithATitle) {
    test::TempRoot root;
    installDefaultDocuments(root.path(), nullptr);
    for (const std::string& name : defaultDocumentNames()) {
        if (name.find(".rtf") == std::string::npos)
            continue;
        const rtf::Document doc = rtf::parse(test::readFile(root.file(name)));
        EXPECT_TRUE(doc.isRtf) << name;
        EXPECT_FALSE(doc.truncated) << name;
        ASSERT_GE(doc.paragraphs.size(), 2u) << name;
        EXPECT_TRUE(doc.paragraphs[0].runs.at(0).format.bold) << name;
        EXPECT_EQ(doc.paragraphs[0].align, rtf::Align::Center) << name;
    }
}

TEST(DefaultDocuments, AnUnwritableFolderIsLoggedNotThrown) {
    test::TempRoot root;
    test::writeFile(root.file("file"), "x");
    VirtualClock clock;
    Logger log(clock, root.file("t.log"));
    log.setLogPath(root.file("t.log"));
    EXPECT_TRUE(installDefaultDocuments(root.file("file/sub"), &log).empty());
    EXPECT_NE(test::readFile(root.file("t.log")).find("#75"), std::string::npos);
}

} // namespace
} // namespace tlv
