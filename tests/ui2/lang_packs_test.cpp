#include "core/localization.h"
#include "core/log.h"
#include "core/string_table.h"
#include "platform/fake/virtual_time.h"
#include "platform/linux/po_lang_packs.h"
#include "tests/support/temp_root.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>
#include <vector>

namespace tlv {
namespace {

struct Shipped {
    const char* code;
    const char* nativeName;
    const char* westernName;
    int charset;
};

// Greek keeps the charset number the settings have always stored for it.
constexpr Shipped kShipped[] = {
    {"fr", "Français", "French", 0},  {"de", "Deutsch", "German", 0},
    {"es", "Español", "Spanish", 0},  {"it", "Italiano", "Italian", 0},
    {"nl", "Nederlands", "Dutch", 0}, {"hu", "Magyar", "Hungarian", 0},
    {"el", "Ελληνικά", "Greek", 160}, {"br", "Português (Brasil)", "Brazilian Portuguese", 0},
};

std::string packPath(const std::string& code) {
    return std::string(TLVCLI_SOURCE_LANG_DIR) + "/tlvcli_" + code + ".po";
}

std::vector<std::string> markers(const std::string& text) {
    static const std::regex marker("</(resNewLine|resTab|resInsert[1-4]|currSymbol)>");
    std::vector<std::string> out;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), marker);
         it != std::sregex_iterator(); ++it)
        out.push_back(it->str());
    return out;
}

class ShippedPack : public ::testing::TestWithParam<Shipped> {};

TEST_P(ShippedPack, ParsesWithItsHeader) {
    const Shipped& s = GetParam();
    const LangPackLookup r = PoLangPackStore::parseFile(packPath(s.code));
    ASSERT_TRUE(r.pack) << r.error;
    EXPECT_EQ(r.error, "");
    EXPECT_EQ(r.pack->nativeName, s.nativeName);
    EXPECT_EQ(r.pack->westernName, s.westernName);
    EXPECT_FALSE(r.pack->translator.empty());
    EXPECT_EQ(r.pack->charset, s.charset);
}

TEST_P(ShippedPack, TranslatesEveryBuiltInIdAndNothingElse) {
    const LangPackLookup r = PoLangPackStore::parseFile(packPath(GetParam().code));
    ASSERT_TRUE(r.pack) << r.error;
    std::set<int32_t> builtin;
    for (const StringEntry& e : builtinStrings()) {
        builtin.insert(e.id);
        EXPECT_FALSE(r.pack->GetResStr(e.id).empty()) << "untranslated id " << e.id;
    }
    for (const auto& [id, text] : r.pack->texts)
        EXPECT_TRUE(builtin.count(id)) << "id " << id << " is not in the built-in table";
}

TEST_P(ShippedPack, KeepsTheMarkersBlanksAndAmpersandsOfEachEnglishText) {
    const LangPackLookup r = PoLangPackStore::parseFile(packPath(GetParam().code));
    ASSERT_TRUE(r.pack) << r.error;
    for (const StringEntry& e : builtinStrings()) {
        const std::string en = e.text;
        const std::string tr = r.pack->GetResStr(e.id);
        if (tr.empty())
            continue; // reported by the coverage test
        SCOPED_TRACE("id " + std::to_string(e.id) + ": " + tr);
        EXPECT_EQ(markers(tr), markers(en));
        // Texts are glued to names and numbers: a lost blank runs words together.
        EXPECT_EQ(tr.front() == ' ', en.front() == ' ');
        EXPECT_EQ(tr.back() == ' ', en.back() == ' ');
        EXPECT_EQ(tr.find("&&") != std::string::npos, en.find("&&") != std::string::npos);
        EXPECT_EQ(tr.find('\n'), std::string::npos) << "line breaks are written as markers";
    }
}

INSTANTIATE_TEST_SUITE_P(Packs, ShippedPack, ::testing::ValuesIn(kShipped),
                         [](const auto& info) { return std::string(info.param.code); });

struct Shelf {
    test::TempRoot root;
    VirtualClock clock;
    Logger log{clock, root.file("tlvcli.log")};
    PoLangPackStore packs{TLVCLI_SOURCE_LANG_DIR};
    Localization loc{packs, log, "tlvcli"};
};

TEST(ShippedPacks, AreAllOfferedOnTheLockScreen) {
    Shelf s;
    const std::vector<LangEntry> table = s.loc.funFindLangPacks();
    ASSERT_EQ(table.size(), 1u + std::size(kShipped));
    EXPECT_EQ(table[0].languageName, "tlvcli_en");
    std::set<std::string> western;
    for (const LangEntry& e : table) {
        EXPECT_TRUE(e.displayable) << e.languageName;
        western.insert(e.westernName);
    }
    for (const Shipped& sh : kShipped)
        EXPECT_TRUE(western.count(sh.westernName)) << sh.westernName;
}

TEST(ShippedPacks, LookupsExpandTheTranslatedMarkup) {
    Shelf s;
    s.loc.setLanguages("tlvcli_en", 0);
    s.loc.setCurrentLanguage("tlvcli_fr", 0);
    EXPECT_EQ(s.loc.funLoadResString(10151, "Talvor Client"),
              "Veuillez vous identifier pour désactiver Talvor Client");
    const std::string hint = s.loc.funLoadResString(10331);
    EXPECT_NE(hint.find(".\r\nLorsque"), std::string::npos) << hint;
    EXPECT_EQ(s.loc.funLoadResStringDefault(10304), "Deactivation attempt on workstation ");
    s.loc.setCurrentLanguage("tlvcli_el", 160);
    EXPECT_EQ(s.loc.funLoadResString(10317, "#"),
              "Το όνομα του σταθμού εργασίας δεν μπορεί να περιέχει τον χαρακτήρα #.");
    s.loc.subResetGUILanguage();
    EXPECT_EQ(s.loc.funLoadResString(10021), "Cancel");
}

} // namespace
} // namespace tlv
