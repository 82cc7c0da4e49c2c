#include "link/extensions.h"
#include "link/file_transfer.h"
#include "tests/link/fake_host.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

namespace tlv::test {
namespace {

struct RecordingFileHost : FileTransferHost {
    ServerLink* link = nullptr;
    bool shown = false;
    std::vector<std::string> calls;
    std::map<std::string, std::string> settings;
    void recordSetting(const std::string& section, const std::string& name,
                       const std::string& value) override {
        settings[section + "." + name] = value;
    }
    void recordGeneralNumber(const std::string& name, uint32_t v) override {
        settings["General." + name] = std::to_string(v);
    }
    bool lockScreenShown() const override { return shown; }
    void releaseLockFiles() override { calls.push_back("release"); }
    void reloadLockFiles() override { calls.push_back("reload"); }
    void showFollowImage(const std::string& p) override { calls.push_back("follow " + p); }
    void setBackgroundPicture(const std::string& p) override { calls.push_back("background " + p); }
    void sendReadyForServerScreen() override {
        link->sendMessage(tok::kRdyForServScreen, "-1", true);
    }
};

// A connected link on fakes with the real file transfer behind its extension port; the data
// folder is the rig's temporary root.
struct FileRig {
    LinkRig r;
    RecordingFileHost host;
    LinkExtensions ext;
    std::unique_ptr<FileTransfer> files;
    FileRig() {
        r.link = std::make_unique<ServerLink>(
            ServerLink::Deps{r.clock, r.scheduler, r.log, r.sockets, r.constants, r.settings,
                             r.wksn, r.session, r.forms, r.strings, r.store, ext});
        files = std::make_unique<FileTransfer>(r.log, r.root.path(), host);
        host.link = r.link.get();
        ext.setFileTransfer(files.get());
        r.connect();
    }
    std::string data(const std::string& name) const { return readFile(r.root.file(name)); }
    bool exists(const std::string& name) const {
        return std::filesystem::exists(r.root.file(name));
    }
    // Wire bytes in reads of `chunk` bytes.
    void deliverBytes(const std::string& bytes, size_t chunk) {
        for (size_t at = 0; at < bytes.size(); at += chunk)
            r.tcp().deliver(std::string_view(bytes).substr(at, chunk));
    }
};

// Every byte value, in an order that never forms a token.
std::string binary(size_t n, unsigned seed = 7) {
    std::mt19937 g(seed);
    std::string s(n, '\0');
    for (char& c : s)
        c = static_cast<char>(g() & 0xFF);
    return s;
}

std::string fileSend(int kind, const std::string& bytes) {
    return std::string(tok::kFileSend) + std::to_string(kind) + std::string(tok::kPayloadToken) +
           bytes + std::string(tok::kMessageEnd);
}

TEST(FileTransfer, SmallFileStaysInMemoryAndLandsByteExact) {
    FileRig f;
    const std::string bytes = binary(10000);
    f.deliverBytes(fileSend(8, bytes), 100000);
    EXPECT_FALSE(f.files->tempFileMode());
    EXPECT_EQ(f.data("server_db_backup.mdb"), bytes);
    EXPECT_FALSE(f.exists("received_file.tmp"));
}

TEST(FileTransfer, LargeFileSpillsPastTheThresholdAndLandsByteExact) {
    FileRig f;
    const std::string bytes = binary(200000);
    const std::string wire = fileSend(9, bytes);
    const size_t chunk = 8192;
    // Seven reads (57 344 bytes) pass 50 000; the eighth read starts the spill.
    f.deliverBytes(wire.substr(0, 7 * chunk), chunk);
    EXPECT_FALSE(f.files->tempFileMode());
    f.deliverBytes(wire.substr(7 * chunk, chunk), chunk);
    ASSERT_TRUE(f.files->tempFileMode());
    EXPECT_EQ(f.files->header(),
              std::string(tok::kFileSend) + "9" + std::string(tok::kPayloadToken));
    f.deliverBytes(wire.substr(8 * chunk, 10 * chunk), chunk);
    // Spilled data is on disk, not in memory.
    EXPECT_EQ(std::filesystem::file_size(f.r.root.file("received_file.tmp")),
              18 * chunk - f.files->header().size());
    f.deliverBytes(wire.substr(18 * chunk), chunk);
    EXPECT_FALSE(f.files->tempFileMode());
    EXPECT_EQ(f.data("session_batch_start.bat"), bytes);
    EXPECT_FALSE(f.exists("received_file.tmp"));
}

TEST(FileTransfer, EndTokenSplitAcrossReadsBlanksTheWrittenPartAndTheRestIsProcessedNext) {
    FileRig f;
    const std::string bytes = binary(60000, 3);
    const std::string wire = fileSend(10, bytes);
    const std::string after = funBuildMessage(tok::kMessageSend, "hello");
    // The last read ends with five characters of the end token.
    const size_t cut = wire.size() - 15;
    f.deliverBytes(wire.substr(0, 52000), 52000);
    f.deliverBytes(wire.substr(52000, cut - 52000), 4000);
    ASSERT_TRUE(f.files->tempFileMode());
    f.r.tcp().deliver(wire.substr(cut) + utf8ToCp1252(after));
    EXPECT_FALSE(f.files->tempFileMode());
    EXPECT_EQ(f.data("session_batch_end.bat"), bytes + "     ");
    EXPECT_TRUE(f.r.forms.boxes.empty()); // left for the next read
    f.r.tcp().deliver("");
    ASSERT_EQ(f.r.forms.boxes.size(), 1u);
    EXPECT_EQ(f.r.forms.boxes[0].text, "hello");
}

TEST(FileTransfer, EndTokenSplitAnyWayOverReadsIsFound) {
    // Reads of the end token's bytes: the first ends the transfer's data plus `lead` bytes of
    // the token; then reads of the sizes given; the last read also holds the next message.
    struct Case {
        size_t lead;
        std::vector<size_t> middle;
    };
    const Case cases[] = {
        {5, {3}},
        {1, {1}},
        {10, {9}},
        {19, {}},
        {0, {7}},
        {2, {5, 4}},
        {1, {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}},
        {0, {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}},
    };
    const std::string token(tok::kMessageEnd);
    for (const Case& c : cases) {
        SCOPED_TRACE("lead " + std::to_string(c.lead) + ", " + std::to_string(c.middle.size()) +
                     " middle reads");
        FileRig f;
        const std::string bytes = binary(60000, 11);
        const std::string wire = fileSend(10, bytes);
        const std::string body = wire.substr(0, wire.size() - token.size());
        f.deliverBytes(body.substr(0, 52000), 52000);
        f.deliverBytes(body.substr(52000), 4000);
        ASSERT_TRUE(f.files->tempFileMode());
        size_t at = 0;
        f.r.tcp().deliver(token.substr(at, c.lead));
        at += c.lead;
        for (const size_t n : c.middle) {
            f.r.tcp().deliver(token.substr(at, n));
            at += n;
        }
        ASSERT_TRUE(f.files->tempFileMode());
        f.r.tcp().deliver(token.substr(at) +
                          utf8ToCp1252(funBuildMessage(tok::kMessageSend, "hi")));
        EXPECT_FALSE(f.files->tempFileMode());
        // What of the token had gone into the file is blanked; nothing after it was written.
        EXPECT_EQ(f.data("session_batch_end.bat"), bytes + std::string(at, ' '));
        f.r.tcp().deliver("");
        ASSERT_EQ(f.r.forms.boxes.size(), 1u);
        EXPECT_EQ(f.r.forms.boxes[0].text, "hi");
    }
}

TEST(FileTransfer, ModeSurvivesAClosedConnection) {
    FileRig f;
    const std::string bytes = binary(70000, 5);
    const std::string wire = fileSend(9, bytes);
    f.deliverBytes(wire.substr(0, 61000), 10000);
    ASSERT_TRUE(f.files->tempFileMode());
    f.r.link->wskCli_Close();
    EXPECT_TRUE(f.files->tempFileMode());
    std::string rest, synthetic;
    ASSERT_TRUE(f.files->tempFileData(wire.substr(61000), rest, synthetic));
    EXPECT_EQ(synthetic, std::string(tok::kFileSend) + "9" + std::string(tok::kPayloadToken) +
                             std::string(tok::kFileTemp) + std::string(tok::kMessageEnd));
    EXPECT_TRUE(rest.empty());
    f.files->subProcessReceivedFile(9, std::string(tok::kFileTemp));
    EXPECT_EQ(f.data("session_batch_start.bat"), bytes);
}

TEST(FileTransfer, KindsGoToTheirFixedPlacesWithTheirFollowUps) {
    FileRig f;
    f.host.shown = true;
    f.deliverBytes(fileSend(1, "{\\rtf1 blocked}"), 100000);
    EXPECT_EQ(f.data("blocked.rtf"), "{\\rtf1 blocked}");
    EXPECT_EQ(f.host.calls, (std::vector<std::string>{"release", "reload"}));
    EXPECT_EQ(f.host.settings.at("Message paths.Blocked"), f.r.root.file("blocked.rtf"));
    EXPECT_EQ(f.host.settings.at("General.Message & Logo Files Type"), "1");

    f.host.calls.clear();
    f.r.tcp().takeSent();
    f.deliverBytes(fileSend(6, "\xFF\xD8jpeg\xFF\xD9"), 100000);
    EXPECT_EQ(f.data("follow_image.jpg"), "\xFF\xD8jpeg\xFF\xD9");
    EXPECT_EQ(f.host.calls,
              std::vector<std::string>{"follow " + f.r.root.file("follow_image.jpg")});
    EXPECT_EQ(f.r.sentText(), funBuildMessage(tok::kRdyForServScreen, "-1"));

    f.host.calls.clear();
    f.deliverBytes(fileSend(42, "whatever"), 100000);
    EXPECT_TRUE(f.host.calls.empty());
    EXPECT_FALSE(f.exists("received_file.tmp"));
    size_t n = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(f.r.root.path()))
        ++n;
    EXPECT_EQ(n, 2u + (f.r.logExists() ? 1u : 0u)); // blocked.rtf, follow_image.jpg, nothing else
}

TEST(FileTransfer, SpilledMessageSendIsShownAsTheFileTempToken) {
    FileRig f;
    const std::string text(60000, 'x');
    f.deliverBytes(utf8ToCp1252(funBuildMessage(tok::kMessageSend, text)), 8192);
    ASSERT_EQ(f.r.forms.boxes.size(), 1u);
    EXPECT_EQ(f.r.forms.boxes[0].text, tok::kFileTemp);
    EXPECT_TRUE(f.exists("received_file.tmp")); // left until the next spill
}

} // namespace
} // namespace tlv::test
