// Bad input on every command the dispatcher knows: too few fields, text where a number goes,
// numbers too large for their type, negative durations, ratios and prices, text in another
// code page. A rejected
// message writes its one log line and changes nothing stored; the client goes on answering and
// reporting. The list of commands comes from the dispatcher itself.
#include "core/cp1252.h"
#include "core/session_clock.h"
#include "link/file_transfer.h"
#include "tests/link/linked_client_rig.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>

namespace tlv::test {
namespace {

// Count: an Integer that cannot be negative (a ratio, a port); Price: a Single that cannot.
enum class Kind { Text, Int, Long, Date, Duration, Count, LongCount, Single, Price };
struct Field {
    Kind kind;
    std::string valid; // UTF-8
};
// What runs before the message: a card session, or a session request waiting for its answer.
enum class Before { Session, Request };
struct Command {
    Command() = default;
    Command(std::vector<Field> f, size_t req, Before b = Before::Session,
            std::vector<std::pair<size_t, std::string>> u = {})
        : fields(std::move(f)), required(req), before(b), unsound(std::move(u)) {}
    std::vector<Field> fields;
    size_t required = 0; // fields the command cannot do without
    Before before = Before::Session;
    // Values of one field that are numbers but no sound setting: rejected too.
    std::vector<std::pair<size_t, std::string>> unsound;
};

Field text(std::string v) {
    return {Kind::Text, std::move(v)};
}
Field integer(std::string v) {
    return {Kind::Int, std::move(v)};
}
Field flag() {
    return {Kind::Int, "1"};
}

Command none() {
    return {};
}
Command one(Field f) {
    return {{std::move(f)}, 1};
}

Command constantsCommand() {
    const Field f[] = {text("127.0.0.9"),
                       {Kind::LongCount, "50000"},
                       {Kind::Count, "5647"},
                       {Kind::Count, "5648"},
                       text("admin"),
                       text("</currSymbol>"),
                       integer("90"),
                       {Kind::Duration, "0.00138888888888889"},
                       flag(),
                       {Kind::LongCount, "90000"},
                       {Kind::LongCount, "2000"},
                       integer("0"),
                       {Kind::Count, "30"},
                       integer("0"),
                       {Kind::Count, "3"},
                       flag(),
                       integer("0"),
                       {Kind::Count, "30"},
                       {Kind::Duration, "0.00347222222222222"},
                       {Kind::Count, "5"},
                       {Kind::LongCount, "30"}};
    return {{std::begin(f), std::end(f)}, 21};
}

// Every command with a sound payload and the kind of each field.
const std::map<std::string_view, Command>& commands() {
    static const std::map<std::string_view, Command> table = [] {
        std::map<std::string_view, Command> t;
        t[tok::kAppVersion] = one({Kind::Long, "1009300"});
        t[tok::kSessionOK] = {
            {integer("2"), {Kind::Date, "0.0416666666666667"}, {Kind::Date, "60000"}, integer("0")},
            4,
            Before::Request};
        t[tok::kSessionNOK] = {{integer("1")}, 1, Before::Request};
        t[tok::kPostPaidMode] = {{integer("0"),
                                  {Kind::Duration, "0.0104166666666667"},
                                  {Kind::Duration, "0.0104166666666667"},
                                  integer("0"),
                                  {Kind::Date, "0"}},
                                 5};
        // An empty table is a valid order (no self-service), a missing last price too.
        t[tok::kDefaultRecharges] = {{{Kind::Duration, "0.0208333333333333"},
                                      {Kind::Price, "1.5"},
                                      {Kind::Duration, "0.0416666666666667"},
                                      {Kind::Price, "2.5"}},
                                     0};
        t[tok::kPasswordAdmin] = {{text("secret")}, 0};
        t[tok::kRatioDisconCon] = one({Kind::Count, "50"});
        t[tok::kCurrencySymbol] = {{text("€"), text("#,##0.00 </currSymbol>")}, 2};
        t[tok::kOffPeakParams] = {
            {{Kind::Count, "50"}, {Kind::Date, "0.25"}, {Kind::Date, "0.916666666666667"}}, 3};
        t[tok::kActivateWksn] = none();
        t[tok::kLockWksn] = none();
        t[tok::kSessionClose] = none();
        t[tok::kForceConnected] = {{text("1")}, 0};
        t[tok::kWksnMsgOptions] = {
            {flag(), integer("5"), integer("1"), flag(), {Kind::Single, "2.5"}}, 5};
        t[tok::kActivateSelfServ] = one(flag());
        t[tok::kActivateCards] = one(flag());
        t[tok::kActivateClients] = one(flag());
        t[tok::kShutdownWksn] = one(integer("0"));
        t[tok::kRechargeCard] = {{{Kind::Date, "0.0208333333333333"}, {Kind::Date, "60000"}}, 2};
        t[tok::kPauseWksn] = none();
        t[tok::kPauseLocKWksn] = none();
        t[tok::kPauseFollowWksn] = none();
        t[tok::kUnPauseWksn] = none();
        t[tok::kResumeWksn] = none();
        t[tok::kNotifyInetCnx] = none();
        t[tok::kNotifyNoInetCnx] = none();
        t[tok::kDisableWksn] = {{integer("0"), {Kind::Long, "1009300"}}, 2};
        t[tok::kSessionOpen] = {{integer("2"), text(""), text("1234")}, 3};
        t[tok::kFileSend] = {{integer("99"), text("content")}, 2};
        t[tok::kSessionFree] = none();
        t[tok::kMessageSend] = {{text("Closing at 22:00")}, 0};
        t[tok::kKilledApps] = {{flag(), flag(), flag(), flag(), text("game.exe*chat.exe")}, 4};
        t[tok::kSEssionCleanup] = {
            {flag(), flag(), flag(), flag(), flag(), text("http://intranet/"), flag()}, 7};
        t[tok::kSessionID] = one({Kind::Long, "42"});
        t[tok::kHideCardNum] = one(integer("0"));
        t[tok::kEnablePause] = one(flag());
        t[tok::kServerDate] = one({Kind::Date, "46000.5"});
        t[tok::kSessBatchStart] = one(integer("0"));
        t[tok::kSessBatchEnd] = one(integer("0"));
        t[tok::kSessBatchStyle] = one(integer("0"));
        t[tok::kWksnDefaultState] = {
            {integer("3")}, 1, Before::Session, {{0, "0"}, {0, "1"}, {0, "6"}, {0, "-1"}}};
        t[tok::kUsageDefault] = one(integer("2"));
        t[tok::kWksnDefaultMode] = one(integer("1"));
        t[tok::kDefaultLanguage] = {{text("_fr"), integer("0")},
                                    2,
                                    Before::Session,
                                    {{0, "_../../etc"}, {0, "_fr/x"}, {0, "_fr\\x"}}};
        t[tok::kMsgLogoFilesType] = one(integer("0"));
        t[tok::kPasswordMangr] = {{text("boss"), text("pw")}, 1};
        t[tok::kChatMessage] = {{text("hi")}, 0};
        t[tok::kEmptySerialzdUsr] = none();
        t[tok::kTalvorConstants] = constantsCommand();
        t[tok::kServerHeartBeat] = none();
        return t;
    }();
    return table;
}

enum class Expect { Rejected, Accepted, Either };
struct Variant {
    std::string what;
    std::string payload; // wire bytes
    Expect expect;
};

std::string wire(const std::string& utf8) {
    return utf8ToCp1252(utf8);
}

// The payload with field i replaced by the wire bytes given, the others left valid.
std::string payloadWith(const Command& c, size_t i, const std::string& bytes) {
    std::string out;
    for (size_t k = 0; k < c.fields.size(); ++k) {
        if (k)
            out += tok::kPayloadToken;
        out += k == i ? bytes : wire(c.fields[k].valid);
    }
    return out;
}
std::string firstFields(const Command& c, size_t n) {
    std::string out;
    for (size_t k = 0; k < n; ++k)
        out += (k ? std::string(tok::kPayloadToken) : std::string()) + wire(c.fields[k].valid);
    return out;
}

bool isNumber(Kind k) {
    return k != Kind::Text;
}
bool isWhole(Kind k) {
    return k == Kind::Int || k == Kind::Long || k == Kind::Count || k == Kind::LongCount;
}
bool isNeverNegative(Kind k) {
    return k == Kind::Duration || k == Kind::Count || k == Kind::LongCount || k == Kind::Price;
}

// Bytes that are no valid Windows-1252 text of the program, or UTF-8 where the code page goes.
const char* const kOtherCodePage[] = {
    "\x81\x8D\x8F\x90\x9D",           // the five bytes Windows-1252 leaves undefined
    "\xC3\x28\xA0\xFF\xFE",           // a broken UTF-8 sequence
    "Gr\xC3\xBC\xC3\x9F\xE2\x82\xAC", // UTF-8 sent as it is
};
const std::string kNul("a\0b", 3);

std::vector<Variant> variantsOf(const Command& c) {
    std::vector<Variant> v;
    if (c.fields.empty()) {
        // The payload is not read: whatever it holds changes nothing about the command.
        for (const std::string p : {"x", "-1", "99999999999999999999", "\x81\xFF"})
            v.push_back({"ignored payload " + p, p, Expect::Accepted});
        return v;
    }
    for (size_t n = 0; n < c.required; ++n)
        v.push_back({"only " + std::to_string(n) + " fields", firstFields(c, n), Expect::Rejected});
    for (size_t i = 0; i < c.fields.size(); ++i) {
        const Kind k = c.fields[i].kind;
        const std::string at = " in field " + std::to_string(i);
        if (!isNumber(k)) {
            for (const char* bytes : kOtherCodePage)
                v.push_back({"other code page" + at, payloadWith(c, i, bytes), Expect::Either});
            v.push_back({"NUL" + at, payloadWith(c, i, kNul), Expect::Either});
            continue;
        }
        for (const std::string bad : {"abc", "12abc", "0x10", "1,5", "inf", "nan", "1e", "--1"})
            v.push_back({"not a number " + bad + at, payloadWith(c, i, bad), Expect::Rejected});
        for (const std::string bytes : {"\xB2", "\xBD", "1\xA0", "\xEF\xBC\x91"})
            v.push_back(
                {"a number in another code page" + at, payloadWith(c, i, bytes), Expect::Rejected});
        v.push_back({"NUL" + at, payloadWith(c, i, kNul), Expect::Rejected});
        // 1E+20 and INT64 max + 1 still fit a Single; every other type overflows.
        const bool single = k == Kind::Single || k == Kind::Price;
        for (const std::string huge :
             {"99999999999999999999", "9223372036854775808", "-9223372036854775809"})
            v.push_back({"huge " + huge + at, payloadWith(c, i, huge),
                         single && !(k == Kind::Price && huge[0] == '-') ? Expect::Accepted
                                                                         : Expect::Rejected});
        for (const std::string huge : {"1E+400", "-1E+40"})
            v.push_back({"huge " + huge + at, payloadWith(c, i, huge), Expect::Rejected});
        if (k == Kind::Int || k == Kind::Count)
            v.push_back({"32768" + at, payloadWith(c, i, "32768"), Expect::Rejected});
        if (k == Kind::Long || k == Kind::LongCount)
            v.push_back({"2147483648" + at, payloadWith(c, i, "2147483648"), Expect::Rejected});
        if (isNeverNegative(k)) {
            v.push_back({"negative -1" + at, payloadWith(c, i, "-1"), Expect::Rejected});
            if (!isWhole(k))
                v.push_back({"negative -0.5" + at, payloadWith(c, i, "-0.5"), Expect::Rejected});
        }
    }
    for (const auto& [i, value] : c.unsound)
        v.push_back({"unsound " + value + " in field " + std::to_string(i),
                     payloadWith(c, i, wire(value)), Expect::Rejected});
    return v;
}

void dumpKey(Hive& h, const std::string& path, std::ostringstream& out) {
    for (const NamedRegValue& v : h.values(path))
        out << path << "\\" << v.name << "=" << static_cast<int>(v.value.type) << ":"
            << v.value.text << ":" << v.value.dword << ":" << v.value.bytes.size() << "\n";
    for (const std::string& sub : h.subKeys(path))
        dumpKey(h, path.empty() ? sub : path + "\\" + sub, out);
}
std::string dump(Hive& h) {
    std::ostringstream out;
    dumpKey(h, "", out);
    return out.str();
}

// True when every text stored in the hive is text: valid UTF-8 without NUL.
bool soundTexts(Hive& h, const std::string& path = "") {
    for (const NamedRegValue& v : h.values(path)) {
        if (v.value.type != RegType::Sz)
            continue;
        if (v.value.text.find('\0') != std::string::npos)
            return false;
        // Every character must survive the trip to the wire and back (else it was no text).
        size_t i = 0;
        const std::string& t = v.value.text;
        while (i < t.size()) {
            const auto c = static_cast<unsigned char>(t[i]);
            const size_t n = c < 0x80         ? 1
                             : (c >> 5) == 6  ? 2
                             : (c >> 4) == 14 ? 3
                             : (c >> 3) == 30 ? 4
                                              : 0;
            if (n == 0 || i + n > t.size())
                return false;
            for (size_t k = 1; k < n; ++k)
                if ((static_cast<unsigned char>(t[i + k]) >> 6) != 2)
                    return false;
            i += n;
        }
    }
    for (const std::string& sub : h.subKeys(path))
        if (!soundTexts(h, path.empty() ? sub : path + "\\" + sub))
            return false;
    return true;
}

std::string constantsText(const ConstWksn& c) {
    std::ostringstream o;
    o << c.cnxBroardcastAdr << "|" << c.cnxMinSizeTmpFileStore << "|" << c.cnxUdpPortServer << "|"
      << c.cnxUdpPortWksn << "|" << c.genAdminLogon << "|" << c.genCurrencySymb << "|"
      << c.genScrCapCompressRatio << "|" << c.wksnActivateDelayTime << "|"
      << c.wksnCheckSamePcAsServer << "|" << c.wksnCnxBootDelay << "|" << c.wksnCnxMinDelay << "|"
      << c.wksnDisableSessCloseButton << "|" << c.wksnHeartBeatCheck << "|"
      << c.wksnHideAllStatusWin << "|" << c.wksnMaxNumUseAtempts << "|" << c.wksnMuteVolWhenBlocked
      << "|" << c.wksnRebootOnSessionEnd << "|" << c.wksnRegistryFlushInterval << "|"
      << c.wksnSessionExpiryTime << "|" << c.wksnShutdownDelay << "|" << c.wksnStartDelay;
    return o.str();
}

std::string tariffsText(const TariffData& d) {
    std::ostringstream o;
    for (const TariffRow& r : d.table)
        o << r.durationMs << "=" << r.price << ",";
    o << "|" << d.billingIncrementMs << "|" << d.minimumBillingMs << "|" << d.rechargeBased << "|"
      << d.autoOptimise << "|" << d.disconnectedRatio << "|" << d.offPeakRatio << "|"
      << d.offPeakStartMs << "|" << d.offPeakEndMs << "|" << d.timeWarnings << "|"
      << d.firstWarningMinutes << "|" << d.secondWarningMinutes << "|" << d.amountWarning << "|"
      << d.amountWarningStep;
    return o.str();
}

// The log line shows at most 30 characters of the payload, control characters as "?".
std::string loggedPayload(const std::string& payloadBytes) {
    std::string p(utf8Prefix(cp1252ToUtf8(payloadBytes), 30));
    for (char& ch : p)
        if (static_cast<unsigned char>(ch) < 0x20 || ch == 0x7F)
            ch = '?';
    return p;
}

const std::string kSnapshot = [] {
    std::string s = "17#2#0.01#0.01#0#0#46000.5#1234#0.001";
    s.append(200 - s.size(), ' ');
    return s;
}();
const char* const kGeneral = "Software\\Talvor Client\\General";

// The real client with the link, the snapshot and the file transfer, connected to a server, a
// stored snapshot in the user's hive.
struct Rig : LinkedClientRig {
    explicit Rig(Before before) {
        connect();
        if (before == Before::Session) {
            c.openSession(kSessionCard, kStateConnected);
            server().setUserId("1234");
        } else {
            server().subStartConnexion(kSessionCard, kStateConnected, "1234", "");
        }
        c.user.set(kGeneral, "Serialized User", RegValue::sz(kSnapshot));
        tcp().takeSent();
    }
};

size_t count(const std::string& text, std::string_view what) {
    size_t n = 0;
    for (size_t pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + 1))
        ++n;
    return n;
}

void tryVariant(std::string_view token, const Command& cmd, const Variant& v) {
    SCOPED_TRACE(std::string(token) + ": " + v.what);
    Rig r(cmd.before);
    const std::string machine = dump(r.c.machine), user = dump(r.c.user);
    const std::string constants = constantsText(r.c.c().constants());
    const std::string tariffs = tariffsText(r.c.c().sessionClock().tariffs().data());
    const SessionRecord rec = r.c.c().sessionClock().record();
    const int state = r.c.c().state();
    const std::string logBefore = r.c.logText();

    r.tcp().deliver(wire(std::string(token)) + v.payload + wire(std::string(tok::kMessageEnd)));

    const std::string added = r.c.logText().substr(logBefore.size());
    const std::string line =
        "modFunctions.subProcessServerDataError: Context: " + std::string(token) +
        " Payload: " + loggedPayload(v.payload);
    if (v.expect == Expect::Rejected) {
        EXPECT_EQ(count(added, "subProcessServerDataError"), 1u) << added;
        EXPECT_NE(added.find(line + "\r\n"), std::string::npos) << added;
        EXPECT_EQ(dump(r.c.machine), machine);
        EXPECT_EQ(dump(r.c.user), user);
        EXPECT_EQ(constantsText(r.c.c().constants()), constants);
        EXPECT_EQ(tariffsText(r.c.c().sessionClock().tariffs().data()), tariffs);
        const SessionRecord& now = r.c.c().sessionClock().record();
        EXPECT_EQ(now.remainingCreditMs, rec.remainingCreditMs);
        EXPECT_EQ(now.creditMs, rec.creditMs);
        EXPECT_EQ(now.validitySerialMs, rec.validitySerialMs);
        EXPECT_EQ(r.c.c().state(), state);
        EXPECT_FALSE(r.c.c().disabled());
    } else {
        if (v.expect == Expect::Accepted) {
            EXPECT_EQ(added.find("subProcessServerDataError"), std::string::npos) << added;
        }
        EXPECT_TRUE(soundTexts(r.c.machine)) << dump(r.c.machine);
        EXPECT_TRUE(soundTexts(r.c.user)) << dump(r.c.user);
    }
    if (v.expect == Expect::Accepted || r.c.c().disabled() || r.tcp().state() != kSckConnected)
        return; // the command itself may end the session, the link or the client
    // The client goes on: it answers the next command and reports twice a second.
    r.tcp().deliver(wire(funBuildMessage(tok::kSessionID, "4242")));
    EXPECT_EQ(r.server().sessionId(), 4242);
    r.tcp().takeSent();
    r.c.scheduler.advance(1000);
    EXPECT_GE(count(cp1252ToUtf8(r.tcp().takeSent()), tok::kWorkstationState), 2u);
}

TEST(BadInput, EveryCommandHasItsPayloadInTheTable) {
    for (const std::string_view token : ServerLink::commandTokens())
        EXPECT_TRUE(commands().count(token)) << token << " is missing from the bad-input table";
    EXPECT_EQ(commands().size(), ServerLink::commandTokens().size());
}

TEST(BadInput, TheValidPayloadsAreTakenWithoutAnErrorLine) {
    for (const std::string_view token : ServerLink::commandTokens()) {
        const auto it = commands().find(token);
        if (it == commands().end())
            continue;
        tryVariant(token, it->second,
                   {"valid", firstFields(it->second, it->second.fields.size()), Expect::Accepted});
    }
}

TEST(BadInput, EveryCommandRejectsItsBadPayloadsAndTheClientGoesOn) {
    for (const std::string_view token : ServerLink::commandTokens()) {
        const auto it = commands().find(token);
        if (it == commands().end())
            continue;
        for (const Variant& v : variantsOf(it->second))
            tryVariant(token, it->second, v);
    }
}

TEST(BadInput, AMessageCutOffByADroppedConnectionDoesNotSwallowTheNextConnectionsFirst) {
    LinkRig r;
    r.connect();
    r.deliver(std::string(tok::kSessionID) + "99");
    r.tcp().peerClose();
    r.scheduler.advance(500);
    r.udp().deliver(utf8ToCp1252(tok::kServerAnswer), "192.168.1.10");
    r.tcp().accept();
    r.scheduler.advance(500);
    r.deliver(funBuildMessage(tok::kSessionID, "5"));
    EXPECT_EQ(r.link->sessionId(), 5);
    EXPECT_EQ(r.logText().find("subProcessServerDataError"), std::string::npos) << r.logText();
}

struct NoFileHost : FileTransferHost {
    void recordSetting(const std::string&, const std::string&, const std::string&) override {}
    void recordGeneralNumber(const std::string&, uint32_t) override {}
    bool lockScreenShown() const override { return false; }
    void releaseLockFiles() override {}
    void reloadLockFiles() override {}
    void showFollowImage(const std::string&) override {}
    void setBackgroundPicture(const std::string&) override {}
    void sendReadyForServerScreen() override {}
};

TEST(BadInput, AFileCutOffByADroppedConnectionIsNotCompletedByTheNextConnection) {
    LinkRig r;
    NoFileHost host;
    LinkExtensions ext;
    r.link = std::make_unique<ServerLink>(
        ServerLink::Deps{r.clock, r.scheduler, r.log, r.sockets, r.constants, r.settings, r.wksn,
                         r.session, r.forms, r.strings, r.store, ext});
    FileTransfer files(r.log, r.root.path(), host);
    ext.setFileTransfer(&files);
    r.connect();
    // Half of a session start batch, past the spill threshold.
    const std::string head = std::string(tok::kFileSend) + "9" + std::string(tok::kPayloadToken);
    for (int i = 0; i < 8; ++i)
        r.tcp().deliver(i == 0 ? head + std::string(8000, 'x') : std::string(8000, 'x'));
    ASSERT_TRUE(files.tempFileMode());
    r.tcp().peerClose();
    r.scheduler.advance(500);
    r.udp().deliver(utf8ToCp1252(tok::kServerAnswer), "192.168.1.10");
    r.tcp().accept();
    r.scheduler.advance(500);
    EXPECT_FALSE(files.tempFileMode());
    EXPECT_FALSE(std::filesystem::exists(files.tempPath()));
    r.deliver(funBuildMessage(tok::kSessionID, "5"));
    EXPECT_EQ(r.link->sessionId(), 5);
    EXPECT_FALSE(std::filesystem::exists(r.root.file("session_batch_start.bat")));
}

} // namespace
} // namespace tlv::test
