// The snapshot and the file transfer plugged into the real client object and its link.
#include "tests/link/linked_client_rig.h"

#include <gtest/gtest.h>

namespace tlv::test {
namespace {

struct Rig : LinkedClientRig {
    std::optional<RegValue> machine(const std::string& section, const std::string& name) {
        return c.machine.get(SettingsStore::keyPath(kSettingsAppName, section), name);
    }
};

TEST(ClientExtensions, SelfServiceSnapshotOfAnEarlierRunResumesAsAnEndedSession) {
    Rig r;
    r.c.setMachine("General", "Serialized User",
                   RegValue::sz("91#1#0.01#0.005#0#0.002#46000.5#2.5" + std::string(165, ' ')));
    r.connect();
    const std::string sent = cp1252ToUtf8(r.tcp().takeSent());
    EXPECT_NE(sent.find(std::string(tok::kSessionResume) + "1#0#91#1#0.01#"), std::string::npos)
        << sent;
    EXPECT_EQ(r.c.c().state(), kStateSessionEnd);
    EXPECT_EQ(r.c.c().sessionType(), kSessionSelfService);
    EXPECT_EQ(r.server().sessionId(), 91);
    const SessionRecord& rec = r.c.c().sessionClock().record();
    EXPECT_EQ(rec.elapsedMs, 864000);
    EXPECT_EQ(rec.disconnectedMs, 172800);
    EXPECT_FLOAT_EQ(rec.amountDue, 2.5f);
    // Cleared, then kept again by the self-service ticks: it holds the restored session.
    const std::string kept = r.machine("General", "Serialized User")->text;
    EXPECT_EQ(kept.size(), 200u);
    EXPECT_EQ(kept.rfind("91#1#0.01#0.005#0#0.002#", 0), 0u) << kept;
}

TEST(ClientExtensions, FileKindIsRecordedInTheSettingsStore) {
    Rig r;
    r.connect();
    r.tcp().deliver(utf8ToCp1252(std::string(tok::kFileSend) + "0" +
                                 std::string(tok::kPayloadToken) + "{\\rtf1 hi}" +
                                 std::string(tok::kMessageEnd)));
    const std::string dest = r.c.layout.dataFolder + "/intro.rtf";
    EXPECT_EQ(readFile(dest), "{\\rtf1 hi}");
    EXPECT_EQ(r.machine("Message paths", "Intro")->text, dest);
    EXPECT_EQ(r.c.c().settings().msgIntro, dest);
    EXPECT_EQ(r.c.c().settings().messageLogoFilesType, 1);
}

} // namespace
} // namespace tlv::test
