#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tlv {

class LangPackStore;
class Logger;

// A form that re-applies its texts when the language changes.
class Localizable {
public:
    virtual ~Localizable() = default;
    virtual void subLocalizeInterface() = 0;
};

struct LangEntry {
    std::string languageName; // "tlvcli_fr"
    std::string nativeName;
    std::string translator;
    std::string charset; // decimal text
    std::string westernName;
    bool displayable = true;
    bool operator==(const LangEntry&) const = default;
};

// "_de" for 1031 ... and "_en" for every identifier not in the table (1034 included).
std::string lcidLanguageSuffix(uint32_t lcid);

// Replaces the markers case-sensitively and in the fixed order, each step over the result of
// the one before.
std::string expandMarkup(std::string text, const std::string& insert1, const std::string& insert2,
                         const std::string& insert3, const std::string& insert4);

// The interface language: current and default language and charset, the string lookups and
// the registry of loaded forms.
class Localization {
public:
    Localization(LangPackStore& packs, Logger& log, std::string exeBaseName);

    std::string funLoadResString(int32_t id, const std::string& insert1 = {},
                                 const std::string& insert2 = {}, const std::string& insert3 = {},
                                 const std::string& insert4 = {});
    std::string funLoadResStringDefault(int32_t id, const std::string& insert1 = {},
                                        const std::string& insert2 = {},
                                        const std::string& insert3 = {},
                                        const std::string& insert4 = {});
    std::vector<LangEntry> funFindLangPacks();

    // Start-up: both the current and the default pair from the settings.
    void setLanguages(const std::string& languageName, int16_t charset);
    // The lock screen's language list: the default pair stays.
    void setCurrentLanguage(const std::string& languageName, int16_t charset);
    // The server's default language: suffix such as "_fr"; both pairs change.
    void setDefaultLanguageSuffix(const std::string& suffix, int16_t charset);
    void subResetGUILanguage();

    const std::string& currentLanguage() const { return m_current; }
    int16_t currentCharset() const { return m_currentCharset; }
    const std::string& defaultLanguage() const { return m_default; }
    int16_t defaultCharset() const { return m_defaultCharset; }
    // The part after the executable name and the underscore: "en" for "tlvcli_en".
    std::string currentLanguageCode() const;
    const std::string& builtinLanguage() const { return m_builtin; }

    void registerForm(Localizable* form);
    void unregisterForm(Localizable* form);
    // subLocalizeInterface on every loaded form.
    void localizeAll();

private:
    std::string lookup(const std::string& language, int32_t id, const char* context,
                       const std::string& i1, const std::string& i2, const std::string& i3,
                       const std::string& i4);

    LangPackStore& m_packs;
    Logger& m_log;
    std::string m_exeBase;
    std::string m_builtin;
    std::string m_current;
    std::string m_default;
    int16_t m_currentCharset = 0;
    int16_t m_defaultCharset = 0;
    std::vector<Localizable*> m_forms;
};

} // namespace tlv
