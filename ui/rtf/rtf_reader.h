#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tlv::rtf {

struct Rgb {
    uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Rgb&) const = default;
};

struct CharFormat {
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    std::string fontName;     // empty: the reader's default font
    int halfPoints = 24;      // \fs: size in half points
    std::optional<Rgb> color; // absent: automatic colour
    std::optional<Rgb> background;
    bool operator==(const CharFormat&) const = default;
};

enum class Align { Left, Center, Right, Justify };

struct Run {
    std::string text; // UTF-8; '\n' is a line break inside the paragraph, '\t' a tab
    CharFormat format;
};

struct Paragraph {
    std::vector<Run> runs;
    Align align = Align::Left;
    int leftIndentTwips = 0;
    int rightIndentTwips = 0;
    int firstIndentTwips = 0;
    int spaceBeforeTwips = 0;
    int spaceAfterTwips = 0;

    std::string text() const;
};

struct Document {
    std::vector<Paragraph> paragraphs;
    bool isRtf = false;
    // The input ended before the document's last group closed, or a limit was reached: what
    // could be read is still in paragraphs.
    bool truncated = false;
    int codePage = 1252;

    // Paragraphs joined with '\n'.
    std::string plainText() const;
};

struct Limits {
    size_t maxInputBytes = 16u << 20; // larger input is read up to this size
    int maxDepth = 200;               // deeper groups are skipped whole
    size_t maxTextBytes = 2u << 20;   // text kept across the whole document
    size_t maxParagraphs = 100000;
};

// Reads an RTF document (or, when the bytes do not start with "{\rtf", a plain-text file) into
// paragraphs and runs. Never fails: malformed or truncated input gives what could be read.
Document parse(std::string_view bytes, const Limits& limits = {});

// Plain text as it is stored by the documents' authors: UTF-8 when valid, else Windows-1252.
Document parsePlainText(std::string_view bytes, const Limits& limits = {});

} // namespace tlv::rtf
