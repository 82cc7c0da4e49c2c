#pragma once

#include <string>

namespace tlv {

// The translators' template of every built-in text: one entry per string id, the id in
// msgctxt, the English text in msgid, the pack's header fields left to fill in.
std::string potTemplate();

// A text as a PO string literal, quotes included.
std::string poQuote(const std::string& text);

} // namespace tlv
