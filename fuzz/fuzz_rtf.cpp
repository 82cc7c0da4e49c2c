// The RTF reader of the message documents: any bytes, with small limits so that the limit paths
// are reached too; the result stays inside them and its text is UTF-8.
#include "ui/rtf/rtf_reader.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    tlv::rtf::parse(bytes);
    tlv::rtf::Limits small;
    small.maxDepth = 8;
    small.maxTextBytes = 256;
    small.maxParagraphs = 16;
    const tlv::rtf::Document d = tlv::rtf::parse(bytes, small);
    if (d.paragraphs.size() > small.maxParagraphs)
        std::abort();
    size_t text = 0;
    for (const auto& p : d.paragraphs)
        for (const auto& r : p.runs)
            text += r.text.size();
    // A character may end across the limit; never a paragraph's worth.
    if (text > small.maxTextBytes + 64)
        std::abort();
    tlv::rtf::parsePlainText(bytes, small);
    return 0;
}
