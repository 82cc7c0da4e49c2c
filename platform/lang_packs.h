#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace tlv {

// One parsed language pack.
struct LangPack {
    std::string nativeName;               // X-Native-Name
    std::string westernName;              // X-Western-Name
    std::string translator;               // X-Translator
    int charset = 0;                      // X-Charset
    std::map<int32_t, std::string> texts; // by string id; untranslated ids are absent

    // Empty when the pack has no text for the id.
    std::string GetResStr(int32_t id) const {
        const auto it = texts.find(id);
        return it == texts.end() ? std::string() : it->second;
    }
};

struct LangPackLookup {
    std::shared_ptr<const LangPack> pack; // null: no such pack, or it cannot be read
    std::string error; // set once for a pack that failed to parse, when it was (re)read
};

// The language packs in the program's language folder ("tlvcli_XX.po").
class LangPackStore {
public:
    virtual ~LangPackStore() = default;
    // Language names (file names before ".po"), in directory order, of the files whose names
    // start with the given base name and end with ".po" (any letter case).
    virtual std::vector<std::string> listPacks(const std::string& baseName) = 0;
    virtual LangPackLookup find(const std::string& languageName) = 0;
};

} // namespace tlv
