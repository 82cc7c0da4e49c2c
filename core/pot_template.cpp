#include "core/pot_template.h"

#include "core/string_table.h"
#include "tlv_version.h"

namespace tlv {

std::string poQuote(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            out += c;
        }
    }
    return out + "\"";
}

std::string potTemplate() {
    std::string out;
    out += "# Translation template of " + std::string(kExeName) + " " + kVersionText + ".\n";
    out += "# Save a translation as " + std::string(kExeName) +
           "_XX.po (XX: the language code) in the language folder.\n";
    out += "# msgctxt is the string id: keep it. Keep the markers </resNewLine>, </resTab>\n";
    out += "# and </resInsert1> to </resInsert4>, and leading and trailing blanks.\n";
    out += "# X-Native-Name: the language's name in its own script (required: packs without it\n";
    out += "# are not offered); X-Western-Name: in Latin script; X-Translator: the credit;\n";
    out += "# X-Charset: the font character set number (0 for Western languages).\n";
    out += "msgid \"\"\n";
    out += "msgstr \"\"\n";
    out += "\"Project-Id-Version: " + std::string(kExeName) + " " + kVersionText + "\\n\"\n";
    out += "\"PO-Revision-Date: YEAR-MO-DA HO:MI+ZONE\\n\"\n";
    out += "\"Last-Translator: FULL NAME <EMAIL@ADDRESS>\\n\"\n";
    out += "\"Language-Team: LANGUAGE <LL@li.org>\\n\"\n";
    out += "\"Language: \\n\"\n";
    out += "\"MIME-Version: 1.0\\n\"\n";
    out += "\"Content-Type: text/plain; charset=UTF-8\\n\"\n";
    out += "\"Content-Transfer-Encoding: 8bit\\n\"\n";
    out += "\"X-Native-Name: \\n\"\n";
    out += "\"X-Western-Name: \\n\"\n";
    out += "\"X-Translator: \\n\"\n";
    out += "\"X-Charset: 0\\n\"\n";
    for (const StringEntry& e : builtinStrings()) {
        const std::string text = e.text;
        if (text.empty())
            continue;
        out += "\nmsgctxt \"" + std::to_string(e.id) + "\"\n";
        out += "msgid " + poQuote(text) + "\n";
        out += "msgstr \"\"\n";
    }
    return out;
}

} // namespace tlv
