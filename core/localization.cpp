#include "core/localization.h"

#include "core/error.h"
#include "core/log.h"
#include "core/string_table.h"
#include "platform/lang_packs.h"

#include <algorithm>
#include <cctype>

namespace tlv {

std::string lcidLanguageSuffix(uint32_t lcid) {
    switch (lcid) {
    case 1031:
    case 2055:
    case 3079:
    case 4103:
    case 5127:
        return "_de";
    case 1032:
        return "_el";
    case 1036:
    case 2060:
    case 3084:
    case 4108:
    case 5132:
    case 6156:
        return "_fr";
    case 1038:
        return "_hu";
    case 1040:
        return "_it";
    case 1043:
    case 2067:
        return "_nl";
    case 1046:
        return "_br";
    default:
        break;
    }
    // Spanish, every variant from 2058 to 20490 in steps of 1024; 1034 is not among them.
    if (lcid >= 2058 && lcid <= 20490 && (lcid - 2058) % 1024 == 0)
        return "_es";
    return "_en";
}

static void replaceAll(std::string& s, const std::string& marker, const std::string& with) {
    std::string out;
    size_t pos = 0;
    for (;;) {
        const size_t hit = s.find(marker, pos);
        if (hit == std::string::npos)
            break;
        out.append(s, pos, hit - pos);
        out += with;
        pos = hit + marker.size();
    }
    if (pos == 0)
        return;
    out.append(s, pos, std::string::npos);
    s = std::move(out);
}

std::string expandMarkup(std::string text, const std::string& insert1, const std::string& insert2,
                         const std::string& insert3, const std::string& insert4) {
    replaceAll(text, "</resNewLine>", "\r\n");
    replaceAll(text, "</resTab>", "\t");
    replaceAll(text, "</resInsert1>", insert1);
    replaceAll(text, "</resInsert2>", insert2);
    replaceAll(text, "</resInsert3>", insert3);
    replaceAll(text, "</resInsert4>", insert4);
    return text;
}

Localization::Localization(LangPackStore& packs, Logger& log, std::string exeBaseName)
    : m_packs(packs), m_log(log), m_exeBase(std::move(exeBaseName)), m_builtin(m_exeBase + "_en"),
      m_current(m_builtin), m_default(m_builtin) {}

std::string Localization::lookup(const std::string& language, int32_t id, const char* context,
                                 const std::string& i1, const std::string& i2,
                                 const std::string& i3, const std::string& i4) {
    try {
        // A "tlvcli_en" pack may reword the built-in English texts.
        std::string text;
        LangPackLookup found = m_packs.find(language);
        if (!found.error.empty())
            m_log.subLogError(context, kErrPathAccess, found.error);
        if (found.pack)
            text = found.pack->GetResStr(id);
        if (text.empty()) {
            const char* builtin = builtinString(id);
            if (!builtin)
                throw TlvError(326,
                               "Resource with identifier '" + std::to_string(id) + "' not found");
            text = builtin;
        }
        return expandMarkup(std::move(text), i1, i2, i3, i4);
    } catch (const std::exception& e) {
        m_log.subLogError(context, e);
        return {};
    }
}

std::string Localization::funLoadResString(int32_t id, const std::string& insert1,
                                           const std::string& insert2, const std::string& insert3,
                                           const std::string& insert4) {
    return lookup(m_current, id, "modFunctions.funLoadResStringError", insert1, insert2, insert3,
                  insert4);
}

std::string Localization::funLoadResStringDefault(int32_t id, const std::string& insert1,
                                                  const std::string& insert2,
                                                  const std::string& insert3,
                                                  const std::string& insert4) {
    return lookup(m_default, id, "modFunctions.funLoadResStringDefaultError", insert1, insert2,
                  insert3, insert4);
}

static bool endsWithNoCase(const std::string& s, const std::string& tail) {
    if (s.size() < tail.size())
        return false;
    return std::equal(tail.begin(), tail.end(), s.end() - static_cast<long>(tail.size()),
                      [](char a, char b) {
                          return std::tolower(static_cast<unsigned char>(a)) ==
                                 std::tolower(static_cast<unsigned char>(b));
                      });
}

std::vector<LangEntry> Localization::funFindLangPacks() {
    std::vector<LangEntry> table;
    try {
        LangEntry english;
        english.languageName = m_builtin;
        english.nativeName = builtinString(10014);
        english.translator = builtinString(10045);
        english.charset = "0";
        english.westernName = builtinString(1);
        table.push_back(english);
        for (const std::string& name : m_packs.listPacks(m_exeBase)) {
            if (name == m_builtin)
                continue; // the built-in English is entry 0 already
            LangEntry e;
            e.languageName = name;
            e.charset = "0";
            LangPackLookup found = m_packs.find(name);
            if (!found.error.empty())
                m_log.subLogError("modFunctions.funFindLangPacksError", kErrPathAccess,
                                  found.error);
            if (found.pack) {
                e.nativeName = found.pack->nativeName;
                e.westernName = found.pack->westernName;
                e.translator = found.pack->translator;
                e.charset = std::to_string(found.pack->charset);
            }
            // Without the Greek code page the name comes back as question marks.
            if (endsWithNoCase(name, "el") && !e.nativeName.empty() && e.nativeName[0] == '?')
                e.displayable = false;
            if (!e.nativeName.empty())
                table.push_back(std::move(e));
        }
    } catch (const std::exception& e) {
        m_log.subLogError("modFunctions.funFindLangPacksError", e);
    }
    return table;
}

void Localization::setLanguages(const std::string& languageName, int16_t charset) {
    m_current = m_default = languageName.empty() ? m_builtin : languageName;
    m_currentCharset = m_defaultCharset = charset;
}

void Localization::setCurrentLanguage(const std::string& languageName, int16_t charset) {
    m_current = languageName;
    m_currentCharset = charset;
    localizeAll();
}

void Localization::setDefaultLanguageSuffix(const std::string& suffix, int16_t charset) {
    m_current = m_default = m_exeBase + suffix;
    m_currentCharset = m_defaultCharset = charset;
    localizeAll();
}

void Localization::subResetGUILanguage() {
    m_current = m_default;
    m_currentCharset = m_defaultCharset;
    localizeAll();
}

std::string Localization::currentLanguageCode() const {
    const std::string prefix = m_exeBase + "_";
    if (m_current.rfind(prefix, 0) == 0)
        return m_current.substr(prefix.size());
    const auto us = m_current.find('_');
    return us == std::string::npos ? m_current : m_current.substr(us + 1);
}

void Localization::registerForm(Localizable* form) {
    if (std::find(m_forms.begin(), m_forms.end(), form) == m_forms.end())
        m_forms.push_back(form);
}

void Localization::unregisterForm(Localizable* form) {
    m_forms.erase(std::remove(m_forms.begin(), m_forms.end(), form), m_forms.end());
}

void Localization::localizeAll() {
    // A form may unload itself while it re-localizes: walk a copy.
    const std::vector<Localizable*> forms = m_forms;
    for (Localizable* f : forms)
        if (std::find(m_forms.begin(), m_forms.end(), f) != m_forms.end())
            f->subLocalizeInterface();
}

} // namespace tlv
