#pragma once

namespace tlv::rtf {

// Single-byte code pages of the documents the server sends. Unknown code pages decode as
// Windows-1252, the default of the format.
bool isKnownCodePage(int codePage);
char32_t decodeByte(int codePage, unsigned char byte);
// Font character-set number (\fcharset) to code page; 0 when it names none we know.
int codePageOfCharset(int charset);

} // namespace tlv::rtf
