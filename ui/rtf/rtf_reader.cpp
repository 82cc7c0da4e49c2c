#include "ui/rtf/rtf_reader.h"

#include "core/cp1252.h"

#include "ui/rtf/code_pages.h"

#include <algorithm>
#include <array>
#include <limits>
#include <map>

namespace tlv::rtf {

std::string Paragraph::text() const {
    std::string t;
    for (const Run& r : runs)
        t += r.text;
    return t;
}

std::string Document::plainText() const {
    std::string t;
    for (size_t i = 0; i < paragraphs.size(); ++i) {
        if (i)
            t += '\n';
        t += paragraphs[i].text();
    }
    return t;
}

namespace {

bool isLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string_view stripLead(std::string_view bytes) {
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF")
        bytes.remove_prefix(3);
    return bytes;
}

bool looksLikeRtf(std::string_view bytes) {
    bytes = stripLead(bytes);
    size_t i = 0;
    while (i < bytes.size() &&
           (bytes[i] == ' ' || bytes[i] == '\t' || bytes[i] == '\r' || bytes[i] == '\n'))
        ++i;
    return bytes.substr(i, 5) == "{\\rtf";
}

enum class Dest { Text, FontTable, ColorTable, Skip, Upr };

struct ParaFormat {
    Align align = Align::Left;
    int left = 0, right = 0, first = 0, before = 0, after = 0;
};

struct State {
    bool bold = false, italic = false, underline = false, strike = false;
    int font = -1; // -1: the document's default font
    int halfPoints = 24;
    int color = 0;
    int background = 0;
    int uc = 1;
    Dest dest = Dest::Text;
    ParaFormat para;
};

struct FontDef {
    std::string name;
    int codePage = 0; // 0: the document's code page
};

// Destinations whose content is never shown on the lock screen.
bool isSkippedDestination(std::string_view w) {
    static constexpr std::array<std::string_view, 46> kSkipped = {"pict",
                                                                  "info",
                                                                  "stylesheet",
                                                                  "header",
                                                                  "headerl",
                                                                  "headerr",
                                                                  "headerf",
                                                                  "footer",
                                                                  "footerl",
                                                                  "footerr",
                                                                  "footerf",
                                                                  "footnote",
                                                                  "object",
                                                                  "objdata",
                                                                  "nonshppict",
                                                                  "listtable",
                                                                  "listoverridetable",
                                                                  "revtbl",
                                                                  "rsidtbl",
                                                                  "xmlnstbl",
                                                                  "themedata",
                                                                  "colorschememapping",
                                                                  "datastore",
                                                                  "latentstyles",
                                                                  "generator",
                                                                  "mmathPr",
                                                                  "filetbl",
                                                                  "pgdsctbl",
                                                                  "private",
                                                                  "bkmkstart",
                                                                  "bkmkend",
                                                                  "annotation",
                                                                  "atnid",
                                                                  "atnauthor",
                                                                  "fldinst",
                                                                  "comment",
                                                                  "author",
                                                                  "title",
                                                                  "operator",
                                                                  "company",
                                                                  "txe",
                                                                  "xe",
                                                                  "tc",
                                                                  "pn",
                                                                  "shpinst",
                                                                  "template"};
    return std::find(kSkipped.begin(), kSkipped.end(), w) != kSkipped.end();
}

class Parser {
public:
    Parser(std::string_view in, const Limits& limits) : m_in(in), m_limits(limits) {}

    Document run() {
        m_doc.isRtf = true;
        if (m_in.size() > m_limits.maxInputBytes) {
            m_in = m_in.substr(0, m_limits.maxInputBytes);
            m_doc.truncated = true;
        }
        m_in = stripLead(m_in);
        while (m_pos < m_in.size() && !m_done)
            step();
        if (!m_done && (!m_stack.empty() || m_overflowDepth > 0))
            m_doc.truncated = true;
        if (!m_para.runs.empty())
            endParagraph();
        return std::move(m_doc);
    }

private:
    void step() {
        const char c = m_in[m_pos++];
        switch (c) {
        case '{':
            openGroup();
            return;
        case '}':
            closeGroup();
            return;
        case '\\':
            controlSequence();
            return;
        case '\r':
        case '\n':
            return;
        case '\t':
            consumeChar(U'\t');
            return;
        default:
            if (!m_started)
                return; // bytes before the document's group
            m_groupStart = false;
            if (static_cast<unsigned char>(c) < 0x20)
                return;
            consumeByte(static_cast<unsigned char>(c));
            return;
        }
    }

    void openGroup() {
        m_skipChars = 0;
        if (m_overflowDepth > 0 || static_cast<int>(m_stack.size()) >= m_limits.maxDepth) {
            ++m_overflowDepth;
            m_doc.truncated = true;
            return;
        }
        m_stack.push_back(m_cur);
        m_started = true;
        m_groupStart = true;
        m_star = false;
    }

    void closeGroup() {
        m_skipChars = 0;
        m_groupStart = false;
        m_star = false;
        if (m_overflowDepth > 0) {
            --m_overflowDepth;
            return;
        }
        if (m_stack.empty())
            return; // a stray closing brace
        if (m_cur.dest == Dest::FontTable)
            commitFont();
        m_cur = m_stack.back();
        m_stack.pop_back();
        if (m_stack.empty())
            m_done = true; // the document's own group closed
    }

    void controlSequence() {
        if (m_pos >= m_in.size())
            return;
        const char c = m_in[m_pos];
        if (!isLetter(c)) {
            ++m_pos;
            controlSymbol(c);
            return;
        }
        std::string word;
        while (m_pos < m_in.size() && isLetter(m_in[m_pos])) {
            if (word.size() < 32)
                word += m_in[m_pos];
            ++m_pos;
        }
        bool hasParam = false;
        bool negative = false;
        int64_t value = 0;
        if (m_pos < m_in.size() && m_in[m_pos] == '-' && m_pos + 1 < m_in.size() &&
            isDigit(m_in[m_pos + 1])) {
            negative = true;
            ++m_pos;
        }
        while (m_pos < m_in.size() && isDigit(m_in[m_pos])) {
            hasParam = true;
            if (value < 100000000000LL)
                value = value * 10 + (m_in[m_pos] - '0');
            ++m_pos;
        }
        if (m_pos < m_in.size() && m_in[m_pos] == ' ')
            ++m_pos;
        if (negative)
            value = -value;
        value = std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                    std::numeric_limits<int32_t>::max());
        if (!m_started)
            return;
        controlWord(word, hasParam, static_cast<int>(value));
    }

    void controlSymbol(char c) {
        if (!m_started)
            return;
        m_groupStart = false;
        switch (c) {
        case '\\':
        case '{':
        case '}':
            consumeChar(static_cast<unsigned char>(c));
            return;
        case '~':
            consumeChar(0x00A0);
            return;
        case '_':
            consumeChar(0x2011);
            return;
        case '-':
            if (m_skipChars > 0)
                --m_skipChars;
            return;
        case '*':
            m_star = true;
            m_groupStart = true; // the destination word follows
            return;
        case '\'': {
            if (m_pos + 2 > m_in.size()) {
                m_pos = m_in.size();
                return;
            }
            const int hi = hexDigitValue(m_in[m_pos]);
            const int lo = hexDigitValue(m_in[m_pos + 1]);
            if (hi < 0 || lo < 0)
                return;
            m_pos += 2;
            consumeByte(static_cast<unsigned char>(hi * 16 + lo));
            return;
        }
        case '\r':
        case '\n':
            if (m_skipChars > 0) {
                --m_skipChars;
                return;
            }
            if (m_cur.dest == Dest::Text && m_overflowDepth == 0)
                endParagraph();
            return;
        default:
            return;
        }
    }

    void controlWord(const std::string& w, bool hasParam, int n) {
        const bool atStart = m_groupStart;
        const bool star = m_star;
        m_groupStart = false;
        m_star = false;
        if (w == "bin") {
            const size_t len = hasParam && n > 0 ? static_cast<size_t>(n) : 0;
            m_pos = len > m_in.size() - m_pos ? m_in.size() : m_pos + len;
            return;
        }
        if (m_overflowDepth > 0)
            return;
        if (atStart) {
            if (star) {
                if (w == "ud" && m_cur.dest == Dest::Upr)
                    m_cur.dest = Dest::Text;
                else
                    m_cur.dest = Dest::Skip;
                return;
            }
            if (w == "fonttbl") {
                m_cur.dest = m_cur.dest == Dest::Text ? Dest::FontTable : Dest::Skip;
                return;
            }
            if (w == "colortbl") {
                m_cur.dest = m_cur.dest == Dest::Text ? Dest::ColorTable : Dest::Skip;
                if (m_cur.dest == Dest::ColorTable)
                    m_colors.clear();
                return;
            }
            if (w == "upr") {
                if (m_cur.dest == Dest::Text)
                    m_cur.dest = Dest::Upr;
                return;
            }
            if (isSkippedDestination(w)) {
                m_cur.dest = Dest::Skip;
                return;
            }
        } else if (isSkippedDestination(w) || w == "fonttbl" || w == "colortbl") {
            // A destination word in the middle of a group: the rest of the group is not text.
            m_cur.dest = Dest::Skip;
            return;
        }
        if (m_skipChars > 0) {
            --m_skipChars;
            return;
        }
        if (m_cur.dest == Dest::Skip)
            return;
        if (m_cur.dest == Dest::FontTable) {
            fontTableWord(w, hasParam, n);
            return;
        }
        if (m_cur.dest == Dest::ColorTable) {
            const int v = std::clamp(n, 0, 255);
            if (w == "red")
                m_pending.r = static_cast<uint8_t>(v), m_pendingSet = true;
            else if (w == "green")
                m_pending.g = static_cast<uint8_t>(v), m_pendingSet = true;
            else if (w == "blue")
                m_pending.b = static_cast<uint8_t>(v), m_pendingSet = true;
            return;
        }
        textWord(w, hasParam, n);
    }

    void fontTableWord(const std::string& w, bool hasParam, int n) {
        if (w == "f" && hasParam) {
            commitFont();
            m_fontIndex = n;
            m_fontName.clear();
            m_fontCodePage = 0;
            m_fontOpen = true;
        } else if (w == "fcharset" && hasParam) {
            m_fontCodePage = n == 1 ? 0 : codePageOfCharset(n);
        } else if (w == "cpg" && hasParam) {
            m_fontCodePage = isKnownCodePage(n) ? n : m_fontCodePage;
        } else if (w == "u" && hasParam) {
            unicode(n);
        }
    }

    void commitFont() {
        if (!m_fontOpen)
            return;
        m_fontOpen = false;
        std::string name = m_fontName;
        while (!name.empty() && name.back() == ' ')
            name.pop_back();
        while (!name.empty() && name.front() == ' ')
            name.erase(name.begin());
        if (m_fonts.size() < 4096)
            m_fonts[m_fontIndex] = FontDef{name, m_fontCodePage};
    }

    void textWord(const std::string& w, bool hasParam, int n) {
        const bool on = !hasParam || n != 0;
        State& s = m_cur;
        if (w == "par" || w == "sect" || w == "page" || w == "row") {
            if (s.dest == Dest::Text)
                endParagraph();
        } else if (w == "line") {
            consumeChar(U'\n');
        } else if (w == "tab" || w == "cell" || w == "nestcell") {
            consumeChar(U'\t');
        } else if (w == "emdash") {
            consumeChar(0x2014);
        } else if (w == "endash") {
            consumeChar(0x2013);
        } else if (w == "emspace") {
            consumeChar(0x2003);
        } else if (w == "enspace") {
            consumeChar(0x2002);
        } else if (w == "qmspace") {
            consumeChar(0x2005);
        } else if (w == "bullet") {
            consumeChar(0x2022);
        } else if (w == "lquote") {
            consumeChar(0x2018);
        } else if (w == "rquote") {
            consumeChar(0x2019);
        } else if (w == "ldblquote") {
            consumeChar(0x201C);
        } else if (w == "rdblquote") {
            consumeChar(0x201D);
        } else if (w == "u") {
            if (hasParam)
                unicode(n);
        } else if (w == "uc") {
            s.uc = std::clamp(n, 0, 16);
        } else if (w == "b") {
            s.bold = on;
        } else if (w == "i") {
            s.italic = on;
        } else if (w == "ulnone") {
            s.underline = false;
        } else if (w.rfind("ul", 0) == 0 && w != "ulc") {
            s.underline = on;
        } else if (w == "strike" || w == "striked") {
            s.strike = on;
        } else if (w == "plain") {
            const int uc = s.uc;
            const Dest dest = s.dest;
            const ParaFormat para = s.para;
            s = State{};
            s.uc = uc;
            s.dest = dest;
            s.para = para;
        } else if (w == "f") {
            s.font = hasParam ? n : -1;
        } else if (w == "fs") {
            s.halfPoints = hasParam ? std::clamp(n, 2, 3276) : 24;
        } else if (w == "cf") {
            s.color = std::max(0, n);
        } else if (w == "cb" || w == "highlight") {
            s.background = std::max(0, n);
        } else if (w == "pard") {
            s.para = ParaFormat{};
        } else if (w == "ql") {
            s.para.align = Align::Left;
        } else if (w == "qc") {
            s.para.align = Align::Center;
        } else if (w == "qr") {
            s.para.align = Align::Right;
        } else if (w == "qj" || w == "qd") {
            s.para.align = Align::Justify;
        } else if (w == "li") {
            s.para.left = clampTwips(n);
        } else if (w == "ri") {
            s.para.right = clampTwips(n);
        } else if (w == "fi") {
            s.para.first = clampTwips(n);
        } else if (w == "sb") {
            s.para.before = clampTwips(n);
        } else if (w == "sa") {
            s.para.after = clampTwips(n);
        } else if (w == "ansi") {
            m_doc.codePage = 1252;
        } else if (w == "mac") {
            m_doc.codePage = 10000;
        } else if (w == "ansicpg" && hasParam) {
            m_doc.codePage = n;
        } else if (w == "deff" && hasParam) {
            m_defaultFont = n;
        }
    }

    static int clampTwips(int n) { return std::clamp(n, -31680, 31680); }

    void unicode(int n) {
        char32_t c = static_cast<char32_t>(n < 0 ? n + 65536 : std::min(n, 0xFFFF));
        m_skipChars = 0;
        if (c >= 0xD800 && c <= 0xDBFF) {
            emit(0); // flushes an earlier half that had no partner
            m_highSurrogate = c;
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            const char32_t high = m_highSurrogate;
            m_highSurrogate = 0;
            emit(high ? 0x10000 + ((high - 0xD800) << 10) + (c - 0xDC00) : 0xFFFD);
        } else {
            emit(c);
        }
        m_skipChars = m_cur.uc;
    }

    int currentCodePage() const {
        const auto it = m_fonts.find(m_cur.font >= 0 ? m_cur.font : m_defaultFont);
        if (it != m_fonts.end() && it->second.codePage != 0)
            return it->second.codePage;
        return m_doc.codePage;
    }

    void consumeByte(unsigned char b) {
        if (m_skipChars > 0) {
            --m_skipChars;
            return;
        }
        if (m_cur.dest == Dest::FontTable && b == ';') {
            commitFont();
            return;
        }
        if (m_cur.dest == Dest::ColorTable && b == ';') {
            if (m_colors.size() < 4096)
                m_colors.push_back(m_pendingSet ? std::optional<Rgb>(m_pending) : std::nullopt);
            m_pending = Rgb{};
            m_pendingSet = false;
            return;
        }
        const int cp =
            m_cur.dest == Dest::FontTable && m_fontCodePage ? m_fontCodePage : currentCodePage();
        emit(decodeByte(cp, b));
    }

    // A character that counts against the \uc fallback.
    void consumeChar(char32_t c) {
        if (m_skipChars > 0) {
            --m_skipChars;
            return;
        }
        emit(c);
    }

    void emit(char32_t c) {
        if (m_highSurrogate) {
            m_highSurrogate = 0;
            emit(0xFFFD);
        }
        if (c == 0 || m_overflowDepth > 0)
            return;
        switch (m_cur.dest) {
        case Dest::FontTable:
            if (m_fontOpen && m_fontName.size() < 256)
                appendUtf8(m_fontName, c);
            return;
        case Dest::Text:
            break;
        default:
            return;
        }
        if (m_textBytes >= m_limits.maxTextBytes) {
            m_doc.truncated = true;
            m_done = true;
            return;
        }
        const CharFormat f = resolve();
        if (m_para.runs.empty() || !(m_para.runs.back().format == f))
            m_para.runs.push_back(Run{{}, f});
        std::string& t = m_para.runs.back().text;
        const size_t before = t.size();
        appendUtf8(t, c);
        m_textBytes += t.size() - before;
    }

    CharFormat resolve() const {
        CharFormat f;
        f.bold = m_cur.bold;
        f.italic = m_cur.italic;
        f.underline = m_cur.underline;
        f.strike = m_cur.strike;
        f.halfPoints = m_cur.halfPoints;
        const auto it = m_fonts.find(m_cur.font >= 0 ? m_cur.font : m_defaultFont);
        if (it != m_fonts.end())
            f.fontName = it->second.name;
        f.color = colorAt(m_cur.color);
        f.background = colorAt(m_cur.background);
        return f;
    }

    std::optional<Rgb> colorAt(int index) const {
        if (index <= 0 || static_cast<size_t>(index) >= m_colors.size())
            return std::nullopt;
        return m_colors[static_cast<size_t>(index)];
    }

    void endParagraph() {
        if (m_doc.paragraphs.size() >= m_limits.maxParagraphs) {
            m_doc.truncated = true;
            m_done = true;
            return;
        }
        m_para.align = m_cur.para.align;
        m_para.leftIndentTwips = m_cur.para.left;
        m_para.rightIndentTwips = m_cur.para.right;
        m_para.firstIndentTwips = m_cur.para.first;
        m_para.spaceBeforeTwips = m_cur.para.before;
        m_para.spaceAfterTwips = m_cur.para.after;
        m_doc.paragraphs.push_back(std::move(m_para));
        m_para = Paragraph{};
        m_textBytes += 1;
    }

    std::string_view m_in;
    const Limits& m_limits;
    size_t m_pos = 0;
    Document m_doc;
    std::vector<State> m_stack;
    State m_cur;
    int m_overflowDepth = 0;
    bool m_started = false;
    bool m_done = false;
    bool m_groupStart = false;
    bool m_star = false;
    int m_skipChars = 0;
    char32_t m_highSurrogate = 0;
    size_t m_textBytes = 0;
    Paragraph m_para;

    std::map<int, FontDef> m_fonts;
    int m_defaultFont = 0; // \deff0 when the header names none
    bool m_fontOpen = false;
    int m_fontIndex = 0;
    std::string m_fontName;
    int m_fontCodePage = 0;

    std::vector<std::optional<Rgb>> m_colors;
    Rgb m_pending;
    bool m_pendingSet = false;
};

// Strict UTF-8 check: overlong forms and surrogates are not UTF-8.
bool isValidUtf8(std::string_view s) {
    size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        size_t len = 0;
        char32_t cp = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            len = 2, cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            len = 3, cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            len = 4, cp = c & 0x07;
        } else {
            return false;
        }
        if (i + len > s.size())
            return false;
        for (size_t k = 1; k < len; ++k) {
            const auto cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        static constexpr char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += len;
    }
    return true;
}

} // namespace

Document parsePlainText(std::string_view bytes, const Limits& limits) {
    Document doc;
    if (bytes.size() > limits.maxInputBytes) {
        bytes = bytes.substr(0, limits.maxInputBytes);
        doc.truncated = true;
    }
    bytes = stripLead(bytes);
    const bool utf8 = isValidUtf8(bytes);
    doc.codePage = utf8 ? 65001 : 1252;
    Paragraph para;
    std::string line;
    size_t total = 0;
    auto flush = [&]() {
        if (doc.paragraphs.size() >= limits.maxParagraphs) {
            doc.truncated = true;
            return false;
        }
        Paragraph p;
        if (!line.empty())
            p.runs.push_back(Run{std::move(line), CharFormat{}});
        line.clear();
        doc.paragraphs.push_back(std::move(p));
        return true;
    };
    for (size_t i = 0; i < bytes.size(); ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (total >= limits.maxTextBytes) {
            doc.truncated = true;
            break;
        }
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
                ++i;
            if (!flush())
                return doc;
            ++total;
            continue;
        }
        if (c < 0x20 && c != '\t')
            continue;
        const size_t before = line.size();
        if (utf8 || c < 0x80)
            line += static_cast<char>(c);
        else
            appendUtf8(line, decodeByte(1252, c));
        total += line.size() - before;
    }
    if (!line.empty())
        flush();
    return doc;
}

Document parse(std::string_view bytes, const Limits& limits) {
    if (!looksLikeRtf(bytes))
        return parsePlainText(bytes, limits);
    return Parser(bytes, limits).run();
}

} // namespace tlv::rtf
