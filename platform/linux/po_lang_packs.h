#pragma once

#include "platform/lang_packs.h"

#include <cstdint>
#include <map>
#include <string>

namespace tlv {

// Language packs as gettext PO files ("tlvcli_fr.po"), read with libgettextpo: msgctxt is the
// string id, msgstr the text. A parsed file is kept until its size or time stamp changes.
class PoLangPackStore : public LangPackStore {
public:
    explicit PoLangPackStore(std::string folder);
    std::vector<std::string> listPacks(const std::string& baseName) override;
    LangPackLookup find(const std::string& languageName) override;

    // Larger files are refused before they are read.
    static constexpr int64_t kMaxFileBytes = 16 * 1024 * 1024;

    // Parses one file; a null pack and the reason when it cannot be read.
    static LangPackLookup parseFile(const std::string& path);

private:
    std::string pathFor(const std::string& languageName);
    struct Cached {
        int64_t size = -1;
        int64_t mtimeNs = 0;
        std::shared_ptr<const LangPack> pack;
    };
    std::string m_folder;
    std::map<std::string, Cached> m_cache; // by path
    // Pack files by lower-case language name, read again when the folder changes.
    std::map<std::string, std::string> m_byName;
    int64_t m_folderMtimeNs = -1;
};

// The language name of a pack file: the name before the first ".po" (any letter case), or
// empty when the name does not end with ".po".
std::string poLanguageName(const std::string& fileName);

} // namespace tlv
