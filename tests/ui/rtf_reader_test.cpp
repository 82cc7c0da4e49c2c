#include "ui/rtf/rtf_reader.h"

#include <gtest/gtest.h>

#include <string>

namespace tlv::rtf {
namespace {

struct TextCase {
    const char* name;
    std::string input;
    std::string text; // paragraphs joined with '\n'
};

class RtfText : public ::testing::TestWithParam<TextCase> {};

TEST_P(RtfText, ProducesTheText) {
    const Document doc = parse(GetParam().input);
    EXPECT_EQ(doc.plainText(), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Documents, RtfText,
    ::testing::Values(
        TextCase{"paragraphs", R"({\rtf1\ansi Hello\par World\par})", "Hello\nWorld"},
        TextCase{"lineAndTab", R"({\rtf1 a\line b\tab c})", "a\nb\tc"},
        TextCase{"escapedSymbols", R"({\rtf1 \{x\} \\ y\~z})", "{x} \\ y\xC2\xA0z"},
        TextCase{"hexDefault1252", R"({\rtf1\ansi caf\'e9 \'80 \'93q\'94})",
                 "caf\xC3\xA9 \xE2\x82\xAC \xE2\x80\x9Cq\xE2\x80\x9D"},
        TextCase{"hexAnsicpg1251", R"({\rtf1\ansi\ansicpg1251 \'cf\'f0\'e8})",
                 "\xD0\x9F\xD1\x80\xD0\xB8"},
        TextCase{"hexFontCharset",
                 R"({\rtf1\ansi{\fonttbl{\f0 Arial;}{\f1\fcharset238 Arial CE;}}\f1 \'b9\f0 \'b9})",
                 "\xC4\x85\xC2\xB9"},
        TextCase{"unicodeSkipsOneFallback", R"({\rtf1 \u8364?x})", "\xE2\x82\xACx"},
        TextCase{"unicodeUc2SkipsHexFallback", R"({\rtf1\uc2 \u1055\'3f\'3fz})", "\xD0\x9Fz"},
        TextCase{"negativeUnicode", R"({\rtf1 \u-4064?})", "\xEF\x80\xA0"},
        TextCase{"unicodeUc0", R"({\rtf1\uc0 \u233 e})",
                 "\xC3\xA9"
                 "e"},
        TextCase{"surrogatePair", R"({\rtf1 \u-10179?\u-8704?!})", "\xF0\x9F\x98\x80!"},
        TextCase{"ucScopedToGroup", R"({\rtf1 {\uc3 \u233 abc}\u233 ab})",
                 "\xC3\xA9\xC3\xA9"
                 "b"},
        TextCase{"ignorableDestination",
                 R"({\rtf1 a{\*\generator Riched20;}b{\*\unknownthing zz}c})", "abc"},
        TextCase{"pictureSkipped",
                 R"({\rtf1 before{\pict\pngblip\picw10\pich10 89504e470d0a1a0a}after})",
                 "beforeafter"},
        TextCase{"shppictSkipped",
                 R"({\rtf1 x{\*\shppict{\pict\pngblip 0011}}{\nonshppict{\pict 00}}y})", "xy"},
        TextCase{"binarySkipped", "{\\rtf1 a{\\pict\\bin4 }}{x}b}", "ab"},
        TextCase{"fontAndColorTablesNotText",
                 R"({\rtf1{\fonttbl{\f0\fswiss Arial;}}{\colortbl;\red255\green0\blue0;}T})", "T"},
        TextCase{"infoAndStylesheetSkipped",
                 R"({\rtf1{\info{\title Secret}}{\stylesheet{\s0 Normal;}}Shown})", "Shown"},
        TextCase{"fieldResultShown",
                 R"({\rtf1 {\field{\*\fldinst HYPERLINK "http://x"}{\fldrslt link}}})", "link"},
        TextCase{"uprShowsUnicodeVersion", R"({\rtf1 {\upr{ansi version}{\*\ud{\u233 e}}}})",
                 "\xC3\xA9"},
        TextCase{"nestedGroups", R"({\rtf1 a{b{c{d}e}f}g})", "abcdefg"},
        TextCase{"crLfIgnored", "{\\rtf1 a\r\nb\nc}", "abc"},
        TextCase{"backslashNewlineIsPar", "{\\rtf1 a\\\nb}", "a\nb"},
        TextCase{"textAfterDocumentIgnored", R"({\rtf1 in}out)", "in"},
        TextCase{"strayCloseBrace", R"({\rtf1 a}}} b)", "a"},
        TextCase{"truncatedInGroup", R"({\rtf1 Hello\par {\b Wor)", "Hello\nWor"},
        TextCase{"truncatedInControlWord", R"({\rtf1 Hi\pa)", "Hi"},
        TextCase{"truncatedInHex", R"({\rtf1 Hi\'e)", "Hi"},
        TextCase{"badHexDropped", R"({\rtf1 a\'zzb})", "azzb"},
        TextCase{"quotesAndDashes", R"({\rtf1 \lquote x\rquote  \emdash\endash\bullet})",
                 "\xE2\x80\x98x\xE2\x80\x99 \xE2\x80\x94\xE2\x80\x93\xE2\x80\xA2"},
        TextCase{"hugeParameterClamped", R"({\rtf1\fs99999999999999999999 big})", "big"},
        TextCase{"plainTextFile", "first line\r\nsecond\tline\n", "first line\nsecond\tline"},
        TextCase{"plainTextLatin1", "caf\xE9", "caf\xC3\xA9"},
        TextCase{"plainTextUtf8", "caf\xC3\xA9", "caf\xC3\xA9"}, TextCase{"emptyInput", "", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RtfFormat, RunsCarryStylesFontsSizesAndColours) {
    const Document doc = parse(
        R"({\rtf1\ansi\deff0{\fonttbl{\f0\fswiss\fcharset0 Arial;}{\f1\froman Times New Roman;}})"
        R"({\colortbl;\red255\green0\blue0;\red0\green128\blue255;})"
        R"(\pard\qc\fs48\b Title\b0\par)"
        R"(\pard {\i it}{\ul un}{\strike st}{\f1\cf2 blue}\ulnone plain\par})");
    ASSERT_EQ(doc.paragraphs.size(), 2u);
    const Paragraph& title = doc.paragraphs[0];
    EXPECT_EQ(title.align, Align::Center);
    ASSERT_EQ(title.runs.size(), 1u);
    EXPECT_TRUE(title.runs[0].format.bold);
    EXPECT_EQ(title.runs[0].format.halfPoints, 48);
    EXPECT_EQ(title.runs[0].format.fontName, "Arial");

    const Paragraph& body = doc.paragraphs[1];
    EXPECT_EQ(body.align, Align::Left);
    ASSERT_EQ(body.runs.size(), 5u);
    EXPECT_TRUE(body.runs[0].format.italic);
    EXPECT_FALSE(body.runs[0].format.bold);
    EXPECT_TRUE(body.runs[1].format.underline);
    EXPECT_TRUE(body.runs[2].format.strike);
    EXPECT_EQ(body.runs[3].text, "blue");
    EXPECT_EQ(body.runs[3].format.fontName, "Times New Roman");
    ASSERT_TRUE(body.runs[3].format.color.has_value());
    EXPECT_EQ(*body.runs[3].format.color, (Rgb{0, 128, 255}));
    EXPECT_EQ(body.runs[4].text, "plain");
    EXPECT_FALSE(body.runs[4].format.color.has_value());
    EXPECT_EQ(body.runs[4].format.halfPoints, 48); // \fs of the enclosing group stays
}

TEST(RtfFormat, GroupsRestoreFormattingAndPlainResets) {
    const Document doc = parse(R"({\rtf1 {\b\i bi}n\b b\plain p})");
    ASSERT_EQ(doc.paragraphs.size(), 1u);
    const auto& runs = doc.paragraphs[0].runs;
    ASSERT_EQ(runs.size(), 4u);
    EXPECT_TRUE(runs[0].format.bold && runs[0].format.italic);
    EXPECT_FALSE(runs[1].format.bold || runs[1].format.italic);
    EXPECT_TRUE(runs[2].format.bold);
    EXPECT_FALSE(runs[3].format.bold);
}

TEST(RtfFormat, AlignmentIndentsAndSpacingPerParagraph) {
    const Document doc =
        parse(R"({\rtf1\pard\qr\li720\ri360\fi-200\sb120\sa240 r\par\qj j\par\pard l\par})");
    ASSERT_EQ(doc.paragraphs.size(), 3u);
    EXPECT_EQ(doc.paragraphs[0].align, Align::Right);
    EXPECT_EQ(doc.paragraphs[0].leftIndentTwips, 720);
    EXPECT_EQ(doc.paragraphs[0].rightIndentTwips, 360);
    EXPECT_EQ(doc.paragraphs[0].firstIndentTwips, -200);
    EXPECT_EQ(doc.paragraphs[0].spaceBeforeTwips, 120);
    EXPECT_EQ(doc.paragraphs[0].spaceAfterTwips, 240);
    EXPECT_EQ(doc.paragraphs[1].align, Align::Justify);
    EXPECT_EQ(doc.paragraphs[2].align, Align::Left);
    EXPECT_EQ(doc.paragraphs[2].leftIndentTwips, 0);
}

TEST(RtfFormat, AutoColourAndOutOfRangeIndexHaveNoColour) {
    const Document doc = parse(R"({\rtf1{\colortbl;\red1\green2\blue3;}\cf0 a\cf7 b\cf1 c})");
    const auto& runs = doc.paragraphs.at(0).runs;
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].text, "ab");
    EXPECT_FALSE(runs[0].format.color);
    EXPECT_EQ(runs[1].format.color, (Rgb{1, 2, 3}));
}

TEST(RtfFormat, FlatFontTableWithoutInnerGroups) {
    const Document doc = parse(R"({\rtf1{\fonttbl\f0\fnil Courier;\f1\fnil Verdana;}\f1 v})");
    EXPECT_EQ(doc.paragraphs.at(0).runs.at(0).format.fontName, "Verdana");
}

TEST(RtfLimits, TruncatedInputIsFlaggedAndKeepsItsText) {
    const Document doc = parse(R"({\rtf1 {\b bold text)");
    EXPECT_TRUE(doc.truncated);
    EXPECT_EQ(doc.plainText(), "bold text");
    EXPECT_TRUE(doc.paragraphs[0].runs[0].format.bold);
    EXPECT_FALSE(parse(R"({\rtf1 ok})").truncated);
}

TEST(RtfLimits, DeepNestingIsSkippedNotRecursed) {
    std::string deep = "{\\rtf1 a";
    for (int i = 0; i < 100000; ++i)
        deep += '{';
    deep += "hidden";
    for (int i = 0; i < 100000; ++i)
        deep += '}';
    deep += "b}";
    const Document doc = parse(deep);
    EXPECT_EQ(doc.plainText(), "ab");
    EXPECT_TRUE(doc.truncated);
}

TEST(RtfLimits, SizeCapsStopReadingButKeepWhatWasRead) {
    Limits limits;
    limits.maxTextBytes = 10;
    const Document doc = parse("{\\rtf1 " + std::string(1000, 'x') + "}", limits);
    EXPECT_TRUE(doc.truncated);
    EXPECT_EQ(doc.plainText(), std::string(10, 'x'));

    Limits small;
    small.maxInputBytes = 12;
    const Document cut = parse(R"({\rtf1 abcdefghijkl})", small);
    EXPECT_TRUE(cut.truncated);
    EXPECT_EQ(cut.plainText(), "abcde");

    Limits paras;
    paras.maxParagraphs = 3;
    EXPECT_EQ(parse(R"({\rtf1 1\par 2\par 3\par 4\par 5\par})", paras).paragraphs.size(), 3u);
}

TEST(RtfLimits, BinaryLengthBeyondTheInputEndsQuietly) {
    const Document doc = parse("{\\rtf1 a\\bin999999999 xyz}");
    EXPECT_EQ(doc.plainText(), "a");
    EXPECT_TRUE(doc.truncated);
}

TEST(RtfLimits, EveryPrefixOfADocumentParses) {
    const std::string full =
        R"({\rtf1\ansi\ansicpg1252\deff0{\fonttbl{\f0\fnil\fcharset0 Segoe UI;}})"
        R"({\colortbl ;\red255\green255\blue255;}{\*\generator Msftedit 5.41;})"
        R"(\viewkind4\uc1\pard\qc\cf1\b\f0\fs40 Bienvenue \'e0 \u8364?\par)"
        R"({\pict\wmetafile8 0102}\b0\i\fs24 fin\par})";
    for (size_t n = 0; n <= full.size(); ++n) {
        const Document doc = parse(std::string_view(full).substr(0, n));
        EXPECT_LE(doc.plainText().size(), 40u);
    }
    EXPECT_EQ(parse(full).plainText(), "Bienvenue \xC3\xA0 \xE2\x82\xAC\nfin");
}

} // namespace
} // namespace tlv::rtf

namespace tlv::rtf {
namespace {

// Mutated and random documents: the reader never fails, never loops and stays within its caps.
TEST(RtfLimits, MutatedDocumentsParseWithinTheLimits) {
    const std::string seed =
        R"({\rtf1\ansi\ansicpg1251\deff0{\fonttbl{\f0\fcharset204 Arial;}{\f1 Courier;}})"
        R"({\colortbl;\red1\green2\blue3;}{\*\generator x;}\uc2\pard\qc\b\fs40 T\'e9\u8364??\par)"
        R"({\pict\bin3 {}}{\upr{a}{\*\ud{\u233 e}}}\line\tab{\field{\*\fldinst X}{\fldrslt y}}})";
    const char alphabet[] = "{}\\'*0123456789abcdefuplinrt -;\xE9";
    uint32_t state = 12345;
    auto next = [&state] {
        state = state * 1103515245u + 12345u;
        return state >> 8;
    };
    Limits limits;
    limits.maxTextBytes = 4096;
    limits.maxDepth = 16;
    for (int round = 0; round < 3000; ++round) {
        std::string doc = seed;
        const int edits = 1 + static_cast<int>(next() % 12);
        for (int e = 0; e < edits && !doc.empty(); ++e) {
            const size_t at = next() % doc.size();
            switch (next() % 3) {
            case 0:
                doc.erase(at, 1 + next() % 4);
                break;
            case 1:
                doc.insert(at, 1, alphabet[next() % (sizeof alphabet - 1)]);
                break;
            default:
                doc[at] = static_cast<char>(next() & 0xFF);
                break;
            }
        }
        const Document d = parse(doc, limits);
        EXPECT_LE(d.plainText().size(), limits.maxTextBytes + limits.maxParagraphs);
    }
    std::string noise(1 << 16, '\0');
    for (char& c : noise)
        c = static_cast<char>(next() & 0xFF);
    EXPECT_NO_THROW(parse("{\\rtf1 " + noise));
    EXPECT_NO_THROW(parse(noise));
}

} // namespace
} // namespace tlv::rtf
