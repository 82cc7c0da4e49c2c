#include "core/error.h"
#include "core/log.h"
#include "link/cp1252.h"
#include "link/message.h"
#include "link/receive_buffer.h"
#include "link/server_link.h"
#include "platform/fake/fake_sockets.h"
#include "platform/fake/virtual_time.h"
#include "tests/support/temp_root.h"

#include <gtest/gtest.h>

#include <clocale>
#include <filesystem>
#include <locale>

namespace tlv {
namespace {

const std::string S(tok::kPayloadToken);
const std::string E(tok::kMessageEnd);

TEST(Tokens, NamesFollowTheFillRule) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"MessageEnd", tok::kMessageEnd},           {"WorkstationState", tok::kWorkstationState},
        {"TalvorConstants", tok::kTalvorConstants}, {"UserID", tok::kUserID},
        {"PayloadToken", tok::kPayloadToken},       {"SEssionCleanup", tok::kSEssionCleanup},
        {"PauseLocKWksn", tok::kPauseLocKWksn},     {"EmptySerialzdUsr", tok::kEmptySerialzdUsr},
    };
    for (auto [name, token] : cases) {
        EXPECT_EQ(funMakeToken(name), token);
        EXPECT_EQ(token.size(), 20u);
    }
}

TEST(Tokens, DiscoveryTokensAreTwentyBytesOnTheWire) {
    EXPECT_EQ(utf8Length(tok::kFindServer), 20u);
    EXPECT_EQ(utf8ToCp1252(tok::kFindServer), "%$&#TALVOR@!*\xA3\xB5\xA4?\xA7;#");
    EXPECT_EQ(utf8ToCp1252(tok::kServerAnswer), "%$&#TALVOR{[\xB0\xA3!^}%~#");
    EXPECT_EQ(cp1252ToUtf8(utf8ToCp1252(tok::kServerAnswer)), tok::kServerAnswer);
}

TEST(Cp1252, EveryByteRoundTripsAndMissingCharactersBecomeQuestionMarks) {
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += static_cast<char>(b);
    EXPECT_EQ(utf8ToCp1252(cp1252ToUtf8(all)), all);
    EXPECT_EQ(cp1252ToUtf8("\x80\x9F"), "€Ÿ");
    EXPECT_EQ(utf8ToCp1252("é€Ω漢"), "\xE9\x80??");
    EXPECT_EQ(utf8ToCp1252("a\xFF\xC3"), "a??"); // invalid UTF-8
}

TEST(Messages, BuildingJoinsFieldsWithNothingInBetween) {
    EXPECT_EQ(funBuildMessage(tok::kAppVersion, "1009300") +
                  funBuildMessage(tok::kWorkstationState, "1"),
              "%$&######AppVersion#1009300%$&######MessageEnd#%$&WorkstationState#1%$&######"
              "MessageEnd#");
    EXPECT_EQ(funBuildMessage(tok::kOffPeakParams, std::vector<std::string>{"1", "0.75", "0.25"}),
              "%$&###OffPeakParams#1" + S + "0.75" + S + "0.25" + E);
}

TEST(Split, ConsequencesTable) {
    using V = std::vector<std::string>;
    const std::pair<std::string, V> cases[] = {
        {"A", {"A"}},
        {"A" + S + "B", {"A", "B"}},
        {S + "B", {"", "B"}},
        {"A" + S + S + "B", {"A", "", "B"}},
        {"A" + S, {"A"}},
        {"A" + S + S, {"A", ""}},
        {"", {}},
        {"1" + S + S + "0.25", {"1", "", "0.25"}},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(funSplit(in, S), out) << in;
    EXPECT_TRUE(funSplit("A", "").empty());
}

std::vector<std::string> cutAll(ReceiveBuffer& b) {
    std::vector<std::string> out;
    std::string m;
    while (b.next(m))
        out.push_back(m);
    return out;
}

TEST(ReceiveBuffer, TwoMessagesAndSevenCharactersOfAThird) {
    ReceiveBuffer b;
    const std::string one = funBuildMessage(tok::kLockWksn);
    const std::string two = funBuildMessage(tok::kSessionID, "42");
    const std::string three = funBuildMessage(tok::kRatioDisconCon, "50");
    b.append(one + two + three.substr(0, 7));
    EXPECT_EQ(cutAll(b), (std::vector<std::string>{one, two}));
    EXPECT_EQ(b.pending(), three.substr(0, 7));
    b.append(three.substr(7));
    EXPECT_EQ(cutAll(b), std::vector<std::string>{three});
    EXPECT_TRUE(b.empty());
}

TEST(ReceiveBuffer, EndTokenSplitTwelveEight) {
    ReceiveBuffer b;
    const std::string m = funBuildMessage(tok::kSessionNOK, "4");
    const size_t cut = m.size() - 8;
    b.append(m.substr(0, cut));
    EXPECT_TRUE(cutAll(b).empty());
    b.append(m.substr(cut));
    EXPECT_EQ(cutAll(b), std::vector<std::string>{m});
}

TEST(ReceiveBuffer, ByteAtATimeFindsEveryMessage) {
    ReceiveBuffer b;
    std::string stream;
    for (int i = 0; i < 50; ++i)
        stream += funBuildMessage(tok::kSessionID, std::to_string(i));
    std::vector<std::string> got;
    for (char c : stream) {
        b.append(std::string_view(&c, 1));
        for (auto& m : cutAll(b))
            got.push_back(m);
    }
    ASSERT_EQ(got.size(), 50u);
    EXPECT_EQ(got[49], funBuildMessage(tok::kSessionID, "49"));
}

TEST(Numbers, WritersRoundTripAndUseAPoint) {
    const std::pair<double, std::string> doubles[] = {
        {1.5, "1.5"},
        {0.25, "0.25"},
        {-0.5, "-0.5"},
        {0, "0"},
        {100, "100"},
        {1.0 / 24, "0.0416666666666667"},
        {1e-5, "0.00001"},
        {1.5e-7, "1.5E-07"},
        {1e15, "1E+15"},
        {39448.5, "39448.5"},
        {123456789012345, "123456789012345"},
    };
    for (auto [v, text] : doubles)
        EXPECT_EQ(funDblToStr(v), text);
    EXPECT_EQ(funSngToStr(2.5f), "2.5");
    EXPECT_EQ(funSngToStr(0.1f), "0.1");
    EXPECT_EQ(funSngToStr(1234567.0f), "1234567");
    EXPECT_EQ(funSngToStr(12345678.0f), "1.234568E+07");
    for (double v : {0.1, 1.0 / 1440, 46000.123456789, 3.14159265358979, -2.5e-10, 7e300}) {
        const std::string t = funDblToStr(v);
        EXPECT_DOUBLE_EQ(funStrToDbl(t), v) << t;
    }
    for (float v : {0.1f, 0.75f, 99.99f, 1e-8f, 1234.567f})
        EXPECT_EQ(funStrToSng(funSngToStr(v)), v);
}

TEST(Numbers, ReadersAcceptPlainAndExponentForms) {
    const std::pair<std::string, double> ok[] = {
        {"1.5", 1.5}, {"1.5E-05", 1.5e-5}, {"2e3", 2000},   {" -0.75 ", -0.75},
        {".5", 0.5},  {"+3", 3},           {"1E+15", 1e15},
    };
    for (const auto& [text, v] : ok)
        EXPECT_DOUBLE_EQ(funStrToDbl(text), v) << text;
    for (const char* bad : {"", "1,5", "abc", "1.5x", "inf", "nan", "--1"}) {
        try {
            funStrToDbl(bad);
            ADD_FAILURE() << bad;
        } catch (const TlvError& e) {
            EXPECT_EQ(e.number(), kErrTypeMismatch) << bad;
        }
    }
    EXPECT_THROW(funStrToDate("3000000"), TlvError);
}

TEST(Numbers, IntegersRoundHalfToEvenAndCheckTheirRange) {
    EXPECT_EQ(funStrToInt("-1"), -1);
    EXPECT_EQ(funStrToInt(" 42 "), 42);
    EXPECT_EQ(funStrToInt("2.5"), 2);
    EXPECT_EQ(funStrToInt("3.5"), 4);
    EXPECT_EQ(funStrToLong("1009300"), 1009300);
    try {
        funStrToInt("40000");
        ADD_FAILURE();
    } catch (const TlvError& e) {
        EXPECT_EQ(e.number(), kErrOverflow);
    }
    EXPECT_THROW(funStrToInt(""), TlvError);
    EXPECT_THROW(funStrToLong("99999999999"), TlvError);
}

TEST(Numbers, ACommaLocaleStillSendsAPoint) {
    struct Comma : std::numpunct<char> {
        char do_decimal_point() const override { return ','; }
    };
    const std::locale old = std::locale::global(std::locale(std::locale::classic(), new Comma));
    const char* had = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = had ? had : "C";
    const bool german = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
    EXPECT_EQ(funDblToStr(1.5), "1.5");
    EXPECT_EQ(funSngToStr(1.5f), "1.5");
    EXPECT_DOUBLE_EQ(funStrToDbl("1.5"), 1.5);
    EXPECT_EQ(funStrToSng("1.5"), 1.5f);
    if (german)
        std::setlocale(LC_NUMERIC, saved.c_str());
    std::locale::global(old);
}

TEST(TextRoutines, LpadHexAndVersions) {
    EXPECT_EQ(funLpad("7", "0", 3), "007");
    EXPECT_EQ(funLpad("1234", "0", 3), "1234");
    EXPECT_EQ(funLpad("é", "*", 3), "**é");
    EXPECT_EQ(funHexToLong("FF"), 255);
    EXPECT_EQ(funHexToLong("ffffffff"), -1);
    EXPECT_EQ(funHexToLong("80000000"), INT32_MIN);
    EXPECT_THROW(funHexToLong("1G"), TlvError);
    EXPECT_THROW(funHexToLong("100000000"), TlvError);
    EXPECT_EQ(funVersionNumber(1, 9, 300), 1009300);
    EXPECT_EQ(funVersionText(1009299), "1.9.299");
    EXPECT_EQ(funVersionText(2000001), "2.0.1");
}

TEST(SendData, ClosedSocketReturnsFalseAndLogsNothing) {
    test::TempRoot root;
    VirtualClock clock;
    Logger log(clock, root.file("tlvcli.log"));
    FakeTcpSocket sock;
    EXPECT_FALSE(funSendData(sock, funBuildMessage(tok::kLockWksn), true, log));
    EXPECT_TRUE(sock.sent.empty());
    EXPECT_FALSE(std::filesystem::exists(root.file("tlvcli.log")));

    sock.accept();
    EXPECT_TRUE(funSendData(sock, funBuildMessage(tok::kChatMessage, "café"), true, log));
    EXPECT_EQ(sock.sent, "%$&#####ChatMessage#caf\xE9" + E);
    EXPECT_EQ(sock.sendCount, 1);

    sock.failSends = true;
    EXPECT_FALSE(funSendData(sock, funBuildMessage(tok::kForceCardUpdate, "0"), false, log));
    EXPECT_FALSE(std::filesystem::exists(root.file("tlvcli.log")));
    EXPECT_FALSE(funSendData(sock, funBuildMessage(tok::kUserID, "x"), true, log));
    EXPECT_NE(test::readFile(root.file("tlvcli.log"))
                  .find("modGlobalFunctions.funSendDataError - Data: %$&##########UserID#: #10053"),
              std::string::npos);
}

} // namespace
} // namespace tlv
