#include "ui/rtf/rtf_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>

namespace tlv {
namespace {

std::string readDoc(const std::string& name) {
    std::ifstream in(std::string(TLVCLI_SOURCE_DOCS_DIR) + "/" + name, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

struct DocCase {
    const char* code;
    int codePage;
    const char* introTitle; // decoded, so that a wrong code page or escape shows
};

constexpr DocCase kLanguages[] = {
    {"fr", 1252, "Bienvenue"},    {"de", 1252, "Willkommen"}, {"es", 1252, "Bienvenido"},
    {"it", 1252, "Benvenuti"},    {"nl", 1252, "Welkom"},     {"hu", 1252, "Üdvözöljük"},
    {"el", 1253, "Καλώς ήρθατε"}, {"br", 1252, "Bem-vindo"},
};
constexpr const char* kDocuments[] = {"intro", "blocked", "nocredit", "sessionend",
                                      "sessionpaused"};

class ShippedDocuments : public ::testing::TestWithParam<DocCase> {};

TEST_P(ShippedDocuments, EveryDocumentReadsWholeInItsCodePageAndMirrorsTheEnglishLayout) {
    const DocCase& c = GetParam();
    for (const char* doc : kDocuments) {
        SCOPED_TRACE(std::string(c.code) + "_" + doc);
        const rtf::Document en = rtf::parse(readDoc(std::string("en_") + doc + ".rtf"));
        const rtf::Document tr = rtf::parse(readDoc(std::string(c.code) + "_" + doc + ".rtf"));
        ASSERT_TRUE(tr.isRtf);
        EXPECT_FALSE(tr.truncated);
        EXPECT_EQ(tr.codePage, c.codePage);
        ASSERT_EQ(tr.paragraphs.size(), en.paragraphs.size());
        for (size_t i = 0; i < en.paragraphs.size(); ++i) {
            EXPECT_FALSE(tr.paragraphs[i].text().empty());
            EXPECT_EQ(tr.paragraphs[i].align, en.paragraphs[i].align);
            EXPECT_EQ(tr.paragraphs[i].runs.front().format, en.paragraphs[i].runs.front().format);
        }
    }
    const rtf::Document intro = rtf::parse(readDoc(std::string(c.code) + "_intro.rtf"));
    EXPECT_EQ(intro.paragraphs.front().text(), c.introTitle);
}

TEST(ShippedDocuments, HungarianLettersOutsideWindows1252ComeThroughUnicodeEscapes) {
    const rtf::Document intro = rtf::parse(readDoc("hu_intro.rtf"));
    EXPECT_NE(intro.plainText().find("Előre fizetett kártya"), std::string::npos);
    EXPECT_NE(intro.plainText().find("szüksége"), std::string::npos);
    // The fallback characters of the escapes are skipped: only the question mark is left.
    const std::string text = intro.plainText();
    EXPECT_EQ(std::count(text.begin(), text.end(), '?'), 1);
}

INSTANTIATE_TEST_SUITE_P(Languages, ShippedDocuments, ::testing::ValuesIn(kLanguages),
                         [](const auto& info) { return std::string(info.param.code); });

} // namespace
} // namespace tlv
