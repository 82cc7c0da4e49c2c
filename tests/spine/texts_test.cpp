#include "core/localization.h"
#include "core/log.h"
#include "core/messages.h"
#include "core/pot_template.h"
#include "core/string_table.h"
#include "platform/fake/recording_ports.h"
#include "platform/fake/virtual_time.h"
#include "platform/linux/po_lang_packs.h"
#include "tests/support/temp_root.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

namespace tlv {
namespace {

struct Texts {
    test::TempRoot root;
    VirtualClock clock;
    Logger log{clock, root.file("tlvcli.log")};
    FakeLangPacks packs;
    Localization loc{packs, log, "tlvcli"};
    std::string logText() {
        std::error_code ec;
        return std::filesystem::exists(root.file("tlvcli.log"), ec)
                   ? test::readFile(root.file("tlvcli.log"))
                   : std::string();
    }
};

LangPack pack(const std::string& native, std::map<int32_t, std::string> texts = {}) {
    LangPack p;
    p.nativeName = native;
    p.westernName = native + " (w)";
    p.translator = "A. Translator";
    p.charset = 161;
    p.texts = std::move(texts);
    return p;
}

TEST(StringTable, HoldsTheClassicTextsSortedWithBlanksKept) {
    int classic = 0;
    int32_t last = -1;
    for (const StringEntry& e : builtinStrings()) {
        EXPECT_GT(e.id, last);
        last = e.id;
        if (e.id <= 10363)
            ++classic;
        else
            EXPECT_GT(e.id, 10363);
    }
    EXPECT_EQ(classic, 262);
    EXPECT_STREQ(builtinString(10037), " ");
    EXPECT_STREQ(builtinString(10305), "There has been  ");
    EXPECT_STREQ(builtinString(10141), "About ");
    EXPECT_STREQ(builtinString(10039), "For their support && advice:");
    EXPECT_EQ(builtinString(10002 + 1), std::string("sec"));
    EXPECT_EQ(builtinString(10220), nullptr) << "a gap has no text";
    EXPECT_NE(std::string(builtinString(10010)).find("</resNewLine>"), std::string::npos);
    EXPECT_NE(builtinString(10045), nullptr);
}

TEST(Lookup, MarkupAndInserts) {
    Texts t;
    EXPECT_EQ(t.loc.funLoadResString(10151, "Talvor Client"),
              "Please identify yourself in order to deactivate Talvor Client");
    const std::string s = t.loc.funLoadResString(10331);
    const auto crlf = s.find("\r\n");
    ASSERT_NE(crlf, std::string::npos);
    EXPECT_EQ(s.find("\r\n", crlf + 2), std::string::npos) << "two lines";
    EXPECT_EQ(s.find("</res"), std::string::npos);
    EXPECT_NE(t.loc.funLoadResString(10360, "PC1", "SRV").find("(PC1 - SRV)"), std::string::npos);
}

TEST(Lookup, MarkersAreCaseSensitiveAndExpandedInOrder) {
    struct Case {
        std::string text, i1, i2, expected;
    } cases[] = {
        {"a</resnewline>b</RESTAB>c", "", "", "a</resnewline>b</RESTAB>c"},
        {"a</resNewLine>b</resTab>c", "", "", "a\r\nb\tc"},
        // An insert holding a later marker is expanded by the later step, an earlier one not.
        {"x</resInsert1>y", "</resInsert2>", "2", "x2y"},
        {"x</resInsert2>y", "1", "</resInsert1>", "x</resInsert1>y"},
        {"</currSymbol> 5", "", "", "</currSymbol> 5"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(expandMarkup(c.text, c.i1, c.i2, "", ""), c.expected) << c.text;
}

TEST(Lookup, PartialPackFallsBackToEnglishAndTheDefaultLanguageStaysApart) {
    Texts t;
    t.packs.add("tlvcli_fr", pack("Français", {{10113, "Activer"}, {10151, "Pour </resInsert1>"}}));
    t.loc.setLanguages("tlvcli_en", 0);
    t.loc.setCurrentLanguage("tlvcli_fr", 0);
    EXPECT_EQ(t.loc.funLoadResString(10113), "Activer");
    EXPECT_EQ(t.loc.funLoadResString(10151, "X"), "Pour X");
    EXPECT_EQ(t.loc.funLoadResString(10114), "Quit") << "missing in the pack";
    EXPECT_EQ(t.loc.funLoadResStringDefault(10113), "Activate");
    t.loc.setDefaultLanguageSuffix("_fr", 0);
    EXPECT_EQ(t.loc.funLoadResStringDefault(10113), "Activer");
    EXPECT_EQ(t.loc.defaultLanguage(), "tlvcli_fr");
}

TEST(Lookup, BrokenPackIsAbsentWithOneLogLine) {
    Texts t;
    t.packs.addBroken("tlvcli_de");
    t.loc.setLanguages("tlvcli_de", 0);
    EXPECT_EQ(t.loc.funLoadResString(10113), "Activate");
    EXPECT_EQ(t.loc.funLoadResString(10114), "Quit");
    const std::string log = t.logText();
    const auto first = log.find("tlvcli_de.po");
    ASSERT_NE(first, std::string::npos) << log;
    EXPECT_EQ(log.find("tlvcli_de.po", first + 1), std::string::npos) << log;
    EXPECT_EQ(t.loc.funFindLangPacks().size(), 1u);
}

TEST(Lookup, UnknownIdLogsAndGivesEmpty) {
    Texts t;
    EXPECT_EQ(t.loc.funLoadResString(4711), "");
    EXPECT_EQ(t.loc.funLoadResStringDefault(4711), "");
    const std::string log = t.logText();
    EXPECT_NE(log.find("modFunctions.funLoadResStringError: #326"), std::string::npos) << log;
    EXPECT_NE(log.find("modFunctions.funLoadResStringDefaultError: #326"), std::string::npos);
}

TEST(LanguageSuffix, LocaleTable) {
    struct Case {
        uint32_t lcid;
        const char* suffix;
    } cases[] = {
        {1031, "_de"}, {2055, "_de"}, {5127, "_de"}, {1032, "_el"},  {1036, "_fr"}, {6156, "_fr"},
        {1038, "_hu"}, {1040, "_it"}, {2064, "_en"}, {1043, "_nl"},  {2067, "_nl"}, {1046, "_br"},
        {2070, "_en"}, {2058, "_es"}, {3082, "_es"}, {20490, "_es"}, {1034, "_en"}, {21514, "_en"},
        {3083, "_en"}, {1033, "_en"}, {0, "_en"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(lcidLanguageSuffix(c.lcid), c.suffix) << c.lcid;
}

TEST(LangPacks, TableStartsWithEnglishSkipsNamelessAndHidesUndisplayableGreek) {
    Texts t;
    EXPECT_EQ(t.loc.funFindLangPacks().size(), 1u);
    t.packs.add("tlvcli_fr", pack("Français"));
    t.packs.add("tlvcli_xx", pack(""));
    t.packs.add("tlvcli_el", pack("?????????"));
    t.packs.add("tlvcli_EL2", pack("?"));
    t.packs.add("other_de", pack("Deutsch"));
    const auto table = t.loc.funFindLangPacks();
    ASSERT_EQ(table.size(), 4u);
    EXPECT_EQ(table[0].languageName, "tlvcli_en");
    EXPECT_EQ(table[0].nativeName, "English");
    EXPECT_EQ(table[0].westernName, "English");
    EXPECT_EQ(table[0].charset, "0");
    EXPECT_EQ(table[1].languageName, "tlvcli_fr");
    EXPECT_EQ(table[1].charset, "161");
    EXPECT_TRUE(table[1].displayable);
    EXPECT_EQ(table[2].languageName, "tlvcli_el");
    EXPECT_FALSE(table[2].displayable);
    EXPECT_TRUE(table[3].displayable) << "the rule looks at the last two letters only";

    Texts greek;
    greek.packs.add("tlvcli_el", pack("Ελληνικά"));
    EXPECT_TRUE(greek.loc.funFindLangPacks()[1].displayable);
}

TEST(LangPacks, ResetReturnsToTheDefaultAndRelocalizesEveryLoadedForm) {
    Texts t;
    struct Form : Localizable {
        int calls = 0;
        void subLocalizeInterface() override { ++calls; }
    } a, b;
    t.loc.setLanguages("tlvcli_de", 5);
    t.loc.registerForm(&a);
    t.loc.registerForm(&b);
    t.loc.setCurrentLanguage("tlvcli_fr", 1);
    EXPECT_EQ(t.loc.currentLanguageCode(), "fr");
    t.loc.unregisterForm(&b);
    t.loc.subResetGUILanguage();
    EXPECT_EQ(t.loc.currentLanguage(), "tlvcli_de");
    EXPECT_EQ(t.loc.currentCharset(), 5);
    EXPECT_EQ(a.calls, 2);
    EXPECT_EQ(b.calls, 1);
}

TEST(FunMsg, Catalogue) {
    Texts t;
    const std::string crlf = "\r\n";
    const FunMsgSpec seven = buildFunMsg(t.loc, kMsgShutdownQuestion, std::string("restart"));
    EXPECT_EQ(seven.text, "Do you want to close all running applications and restart?" + crlf +
                              crlf + "CAUTION! all unsaved work will be lost!");
    EXPECT_EQ(seven.style, (MsgBoxStyle{MsgButtons::YesNo, MsgIcon::Question, true, true, true}));
    EXPECT_EQ(buildFunMsg(t.loc, kMsgShutdownQuestion).text.substr(0, 69),
              "Do you want to close all running applications and close your session?");
    EXPECT_EQ(buildFunMsg(t.loc, kMsgIncompatibleOs).text,
              "Incompatible operating system." + crlf +
                  "You must be running Windows NT, 2000 or XP to use Talvor Client");
    EXPECT_EQ(buildFunMsg(t.loc, kMsgIllegalNameChar).text,
              "The workstation name cannot contain the # character.");
    EXPECT_EQ(buildFunMsg(t.loc, kMsgServerSamePc, std::string("as given")).text, "as given");
    EXPECT_EQ(buildFunMsg(t.loc, kMsgWrongPassword).style.icon, MsgIcon::Information);
    EXPECT_EQ(buildFunMsg(t.loc, 2, {}, std::string("Options")).title, "Talvor Client - Options");
    const FunMsgSpec unknown = buildFunMsg(t.loc, 99);
    EXPECT_EQ(unknown.text, "");
    EXPECT_EQ(unknown.title, "Talvor Client");
}

// The PO files themselves, through libgettextpo.
class PoFiles : public ::testing::Test {
protected:
    test::TempRoot dir;
    void write(const std::string& name, const std::string& body) {
        test::writeFile(dir.file(name), body);
    }
    static std::string po(const std::string& native, const std::string& entries,
                          const std::string& charset = "UTF-8") {
        return "msgid \"\"\nmsgstr \"\"\n\"Content-Type: text/plain; charset=" + charset +
               "\\n\"\n\"X-Native-Name: " + native +
               "\\n\"\n\"X-Western-Name: French\\n\"\n\"X-Translator: Jeanne\\n\"\n"
               "\"X-Charset: 0\\n\"\n\n" +
               entries;
    }
};

TEST_F(PoFiles, ReadsHeaderAndTextsSkipsFuzzyAndUntranslated) {
    write("tlvcli_fr.po",
          po("Français", "msgctxt \"10113\"\nmsgid \"Activate\"\nmsgstr \"Activer\"\n\n"
                         "#, fuzzy\nmsgctxt \"10114\"\nmsgid \"Quit\"\nmsgstr \"Quitter\"\n\n"
                         "msgctxt \"10115\"\nmsgid \"Card number\"\nmsgstr \"\"\n\n"
                         "msgctxt \"10331\"\nmsgid \"x\"\nmsgstr \"a</resNewLine>\\\"b\\\"\"\n\n"
                         "msgctxt \"name\"\nmsgid \"y\"\nmsgstr \"ignored\"\n"));
    PoLangPackStore store(dir.path());
    const LangPackLookup r = store.find("tlvcli_fr");
    ASSERT_TRUE(r.pack) << r.error;
    EXPECT_EQ(r.pack->nativeName, "Français");
    EXPECT_EQ(r.pack->westernName, "French");
    EXPECT_EQ(r.pack->translator, "Jeanne");
    EXPECT_EQ(r.pack->GetResStr(10113), "Activer");
    EXPECT_EQ(r.pack->GetResStr(10114), "");
    EXPECT_EQ(r.pack->GetResStr(10115), "");
    EXPECT_EQ(r.pack->GetResStr(10331), "a</resNewLine>\"b\"");
    EXPECT_EQ(r.pack->texts.size(), 2u);
}

TEST_F(PoFiles, BrokenFileIsReportedOnceAndReadAgainWhenChanged) {
    write("tlvcli_de.po", po("Deutsch", "msgctxt \"10113\"\nmsgid \"Activate\nmsgstr broken\n"));
    PoLangPackStore store(dir.path());
    LangPackLookup r = store.find("tlvcli_de");
    EXPECT_FALSE(r.pack);
    EXPECT_FALSE(r.error.empty());
    r = store.find("tlvcli_de");
    EXPECT_FALSE(r.pack);
    EXPECT_TRUE(r.error.empty()) << "reported once";
    write("tlvcli_de.po",
          po("Deutsch", "msgctxt \"10113\"\nmsgid \"Activate\"\nmsgstr \"Aktivieren\"\n"));
    r = store.find("tlvcli_de");
    ASSERT_TRUE(r.pack) << r.error;
    EXPECT_EQ(r.pack->GetResStr(10113), "Aktivieren");
}

TEST_F(PoFiles, ListingMatchesTheExtensionInAnyCaseAndConvertsOtherCharsets) {
    write("tlvcli_nl.PO", po("Nederlands", ""));
    write("tlvcli.pot", po("", ""));
    write("other_fr.po", po("Français", ""));
    write("tlvcli_el.po", po("\xc5\xeb\xeb\xe7\xed\xe9\xea\xdc", "", "ISO-8859-7"));
    PoLangPackStore store(dir.path());
    auto names = store.listPacks("tlvcli");
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"tlvcli_el", "tlvcli_nl"}));
    const LangPackLookup nl = store.find("tlvcli_nl");
    ASSERT_TRUE(nl.pack) << nl.error;
    const LangPackLookup el = store.find("tlvcli_el");
    ASSERT_TRUE(el.pack) << el.error;
    EXPECT_EQ(el.pack->nativeName, "Ελληνικά");
    EXPECT_FALSE(store.find("tlvcli_it").pack);

    VirtualClock clock;
    Logger log(clock, dir.file("x.log"));
    Localization loc(store, log, "tlvcli");
    const auto table = loc.funFindLangPacks();
    EXPECT_EQ(table.size(), 3u);
}

// The library itself would abort the whole client on a charset that composes characters.
TEST_F(PoFiles, EveryCharsetIsReadInUtf8OrTheFileIsRefused) {
    struct Case {
        const char* charset;
        std::string text; // in the charset
        const char* utf8; // nullptr: refused
    };
    const Case cases[] = {
        {"CP1255", "\xf9\xec\xe5\xed", "שלום"},
        {"CP1255", "\xe0\xc8", "\xef\xac\xaf"}, // a letter and its vowel point, composed
        {"CP1258", "Vi\xea\xf2t", "Việt"},
        {"CP1253", "\xc5\xeb\xeb\xe7\xed\xe9\xea\xdc", "Ελληνικά"},
        {"windows-1250", "Magyar \xf5", "Magyar ő"},
        {"CP932", "\x83\x5c", "ソ"}, // a trail byte that is a backslash
        {"CP1255", "\xff", nullptr}, // not a character of the charset
        {"NO-SUCH-CHARSET", "x", nullptr},
    };
    for (const Case& c : cases) {
        write("tlvcli_x.po",
              po(c.text, "msgctxt \"10113\"\nmsgid \"Activate\"\nmsgstr \"" + c.text + "\"\n",
                 c.charset));
        const LangPackLookup r = PoLangPackStore::parseFile(dir.file("tlvcli_x.po"));
        if (!c.utf8) {
            EXPECT_FALSE(r.pack) << c.charset;
            EXPECT_NE(r.error.find(dir.file("tlvcli_x.po")), std::string::npos) << r.error;
            continue;
        }
        ASSERT_TRUE(r.pack) << c.charset << ": " << r.error;
        EXPECT_EQ(r.pack->nativeName, c.utf8) << c.charset;
        EXPECT_EQ(r.pack->GetResStr(10113), c.utf8) << c.charset;
    }
}

// The library decodes by every charset it finds in a header entry, however it is spelt; the
// reader must see each of them, or the library aborts the client.
TEST_F(PoFiles, ACharsetIsSeenHoweverTheFileSpellsIt) {
    const std::string viet = "msgctxt \"10113\"\nmsgid \"Activate\"\nmsgstr \"Vi\xea\xf2t\"\n";
    auto header = [](const std::string& contentType) {
        return "msgid \"\"\nmsgstr \"\"\n" + contentType + "\"X-Native-Name: x\\n\"\n\n";
    };
    struct Case {
        const char* name;
        std::string file;
        const char* text;  // of 10113; nullptr: refused
        const char* error; // part of the reason when refused
    } cases[] = {
        {"split over two strings",
         header("\"Content-Type: text/plain; charset=\"\n\"CP1258\\n\"\n") + viet, nullptr,
         "cannot be converted"},
        {"spelt with escapes",
         header("\"Content-Type: text/plain; charset=\\103P1258\\n\"\n") + viet, nullptr,
         "cannot be converted"},
        // Decoded by the second charset from there on: refused, after its conversion.
        {"in a second header entry",
         header("\"Content-Type: text/plain; charset=UTF-8\\n\"\n") +
             "msgctxt \"1\"\nmsgid \"a\"\nmsgstr \"b\"\n\nmsgid \"\"\nmsgstr \"Content-Type: "
             "text/plain; charset=CP1258\\n\"\n\n" +
             viet,
         nullptr, "duplicate message definition"},
        {"two charsets",
         header("\"Content-Type: text/plain; charset=CP1258\\n\"\n") +
             "msgid \"\"\nmsgstr \"charset=CP1255\\n\"\n\n" + viet,
         nullptr, "more than one charset"},
        {"a text that mentions charset=",
         header("\"Content-Type: text/plain; charset=CP1258\\n\"\n") +
             "msgctxt \"10114\"\nmsgid \"charset=\"\nmsgstr \"x\"\n\n" + viet,
         "Việt", nullptr},
        {"only in a comment",
         "# charset=CP1258\n" + header("\"Content-Type: text/plain; charset=UTF-8\\n\"\n") +
             "msgctxt \"10113\"\nmsgid \"Activate\"\nmsgstr \"Việt\"\n",
         "Việt", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        write("tlvcli_x.po", c.file);
        const LangPackLookup r = PoLangPackStore::parseFile(dir.file("tlvcli_x.po"));
        if (!c.text) {
            EXPECT_FALSE(r.pack);
            EXPECT_NE(r.error.find(c.error), std::string::npos) << r.error;
            continue;
        }
        ASSERT_TRUE(r.pack) << r.error;
        EXPECT_EQ(r.pack->GetResStr(10113), c.text);
    }
}

TEST_F(PoFiles, AnEnglishPackRewordsTheBuiltInTextsAndNewFilesAreSeen) {
    PoLangPackStore store(dir.path());
    VirtualClock clock;
    Logger log(clock, dir.file("x.log"));
    Localization loc(store, log, "tlvcli");
    EXPECT_EQ(loc.funLoadResString(10113), "Activate");
    write("tlvcli_en.po",
          po("English", "msgctxt \"10113\"\nmsgid \"Activate\"\nmsgstr \"Start\"\n"));
    EXPECT_EQ(loc.funLoadResString(10113), "Start");
    EXPECT_EQ(loc.funLoadResString(10114), "Quit");
    EXPECT_EQ(loc.funFindLangPacks().size(), 1u) << "English is entry 0 only";
}

TEST_F(PoFiles, TheTemplateIsAValidPoFileWithEveryText) {
    write("tlvcli_xx.po", potTemplate());
    const LangPackLookup r = PoLangPackStore::parseFile(dir.file("tlvcli_xx.po"));
    ASSERT_TRUE(r.pack) << r.error;
    EXPECT_TRUE(r.pack->texts.empty()) << "nothing translated yet";
    const std::string pot = potTemplate();
    for (const StringEntry& e : builtinStrings())
        EXPECT_NE(pot.find("msgctxt \"" + std::to_string(e.id) + "\"\nmsgid " + poQuote(e.text)),
                  std::string::npos)
            << e.id;
}

} // namespace
} // namespace tlv
