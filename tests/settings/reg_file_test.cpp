#include "tools/tlvreg/reg_file.h"

#include <gtest/gtest.h>

namespace tlv::regfile {
namespace {

const std::string kHead = "Windows Registry Editor Version 5.00\r\n\r\n";

TEST(RegFile, ReadsTheFormsTheEditorWrites) {
    const std::string text = kHead + "; comment\r\n"
                                     "[HKEY_LOCAL_MACHINE\\Software\\Talvor Client\\Server]\r\n"
                                     "\"Port\"=\"4700\"\r\n"
                                     "\"Esc\"=\"a\\\\b\\\"c\"\r\n"
                                     "@=\"default\"\r\n"
                                     "\"N\"=dword:0000001e\r\n"
                                     "\"B\"=hex:00,01,\\\r\n"
                                     "  fe,ff\r\n"
                                     "\"T\"=hex(1):41,00,0a,00,00,00\r\n"
                                     "\"D4\"=hex(4):1e,00,00,00\r\n"
                                     "\"Gone\"=-\r\n"
                                     "[-HKEY_CURRENT_USER\\Software\\Old]\r\n";
    const auto r = parse(text);
    ASSERT_EQ(r.error, "");
    ASSERT_EQ(r.entries.size(), 10u);
    EXPECT_EQ(r.entries[0].kind, Entry::Kind::Key);
    EXPECT_EQ(r.entries[0].key.path, "Software\\Talvor Client\\Server");
    EXPECT_EQ(r.entries[1].value, RegValue::sz("4700"));
    EXPECT_EQ(r.entries[2].value, RegValue::sz("a\\b\"c"));
    EXPECT_EQ(r.entries[3].name, "");
    EXPECT_EQ(r.entries[4].value, RegValue::dw(30));
    EXPECT_EQ(r.entries[5].value, RegValue::bin({0, 1, 0xfe, 0xff}));
    EXPECT_EQ(r.entries[6].value, RegValue::sz("A\n"));
    EXPECT_EQ(r.entries[7].value, RegValue::dw(30));
    EXPECT_EQ(r.entries[8].kind, Entry::Kind::DeleteValue);
    EXPECT_EQ(r.entries[9].kind, Entry::Kind::DeleteKey);
    EXPECT_EQ(r.entries[9].key.root, Root::CurrentUser);
}

TEST(RegFile, WrittenValuesReadBack) {
    const RegValue values[] = {
        RegValue::sz("plain"),
        RegValue::sz("C:\\x \"y\""),
        RegValue::sz("a\r\nb"),
        RegValue::sz(std::string("n\0l", 3)),
        RegValue::sz("\xc3\xa9t\xc3\xa9 \xf0\x9f\x98\x80"),
        RegValue::dw(0xdeadbeef),
        RegValue::bin({}),
        RegValue::bin({1, 2, 3}),
    };
    std::string text = header() + keyLine(KeyRef{Root::CurrentUser, "Software\\T"});
    for (const auto& v : values)
        text += valueLine("name \"q\" \\", v);
    const auto r = parse(text);
    ASSERT_EQ(r.error, "");
    ASSERT_EQ(r.entries.size(), std::size(values) + 1);
    for (size_t i = 0; i < std::size(values); ++i) {
        EXPECT_EQ(r.entries[i + 1].name, "name \"q\" \\");
        EXPECT_EQ(r.entries[i + 1].value, values[i]) << i;
    }
}

TEST(RegFile, OtherEncodingsAndHeaders) {
    // UTF-16LE with BOM, as the Windows editor saves.
    const std::string utf8 = kHead + "[HKLM\\Software\\A]\r\n\"x\"=\"\xc3\xa9\"\r\n";
    std::string utf16 = "\xff\xfe";
    for (unsigned char c : std::string(kHead + "[HKLM\\Software\\A]\r\n\"x\"=\""))
        utf16 += std::string{static_cast<char>(c), '\0'};
    utf16 += std::string("\xe9\0\"\0\r\0\n\0", 8);
    for (const std::string& text :
         {utf8, utf16, "\xef\xbb\xbf" + utf8,
          std::string("REGEDIT4\n[HKLM\\Software\\A]\n\"x\"=\"\xc3\xa9\"\n")}) {
        const auto r = parse(text);
        ASSERT_EQ(r.error, "") << text;
        ASSERT_EQ(r.entries.size(), 2u);
        EXPECT_EQ(r.entries[1].value, RegValue::sz("\xc3\xa9"));
    }
}

TEST(RegFile, BadInputIsRefusedWithItsLine) {
    const std::pair<std::string, std::string> cases[] = {
        {"", "line 1: not a registry file"},
        {"hello\r\n", "line 1: not a registry file"},
        {kHead + "\"x\"=\"y\"\r\n", "line 3: value outside of a key"},
        {kHead + "[HKLM\\A\r\n", "line 3: key line without"},
        {kHead + "[HKXX\\A]\r\n", "line 3: unknown root key"},
        {kHead + "[HKLM\\A]\r\n\"x=\"y\"\r\n", "line 4: \"=\" expected"},
        {kHead + "[HKLM\\A]\r\n\"x\"=\"y\r\n", "line 4: bad text value"},
        {kHead + "[HKLM\\A]\r\n\"x\"=\"y\" z\r\n", "line 4: bad text value"},
        {kHead + "[HKLM\\A]\r\n\"x\"=dword:123456789\r\n", "line 4: bad dword value"},
        {kHead + "[HKLM\\A]\r\n\"x\"=dword:\r\n", "line 4: bad dword value"},
        {kHead + "[HKLM\\A]\r\n\"x\"=hex:0g\r\n", "line 4: bad hex byte"},
        {kHead + "[HKLM\\A]\r\n\"x\"=hex:001\r\n", "line 4: bad hex list"},
        {kHead + "[HKLM\\A]\r\n\"x\"=hex:00,\r\n", "line 4: bad hex byte"},
        {kHead + "[HKLM\\A]\r\n\"x\"=hex(7):00,00\r\n", "line 4: unsupported value type hex(7)"},
        {kHead + "[HKLM\\A]\r\n\"x\"=hex(4):00\r\n", "line 4: a hex(4) value needs four bytes"},
        {kHead + "[HKLM\\A]\r\n\"x\"=hex(1):41\r\n", "line 4: odd length"},
        {kHead + "[HKLM\\A]\r\n\"x\"=hex(123456789012):00\r\n", "line 4: bad hex type"},
        {kHead + "[HKLM\\A]\r\n\"x\"=hex:00,\\\r\n", "line 4: bad hex byte"},
        {kHead + "[HKLM\\A]\r\n\"x\"=whatever\r\n", "line 4: unknown value data"},
        {"\xfe\xff\x00W", "line 1: unsupported text encoding"},
        {std::string(kMaxFileBytes + 1, ' '), "line 0: file too large"},
    };
    for (const auto& [text, error] : cases) {
        const auto r = parse(text);
        EXPECT_EQ(r.error.rfind(error, 0), 0u) << text.substr(0, 80) << " -> " << r.error;
        EXPECT_TRUE(r.entries.empty());
    }
}

TEST(RegFile, KeyNames) {
    EXPECT_EQ(parseKey("HKLM")->path, "");
    EXPECT_EQ(parseKey("hkey_current_user\\\\A\\B\\")->path, "A\\B");
    EXPECT_EQ(parseKey("hkcu\\A")->root, Root::CurrentUser);
    EXPECT_FALSE(parseKey("HKCR\\A"));
    EXPECT_FALSE(parseKey(""));
    EXPECT_EQ(fullKeyName({Root::LocalMachine, "Software"}), "HKEY_LOCAL_MACHINE\\Software");
}

} // namespace
} // namespace tlv::regfile
