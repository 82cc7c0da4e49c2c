#include "platform/system_info.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace tlv {

namespace {
struct LocaleLcid {
    const char* name; // language_TERRITORY, or language alone as a fallback
    uint32_t lcid;
};

constexpr LocaleLcid kLocales[] = {
    {"de_DE", 1031}, {"de_CH", 2055}, {"de_AT", 3079}, {"de_LU", 4103}, {"de_LI", 5127},
    {"de", 1031},    {"el_GR", 1032}, {"el", 1032},    {"fr_FR", 1036}, {"fr_BE", 2060},
    {"fr_CA", 3084}, {"fr_CH", 4108}, {"fr_LU", 5132}, {"fr_MC", 6156}, {"fr", 1036},
    {"hu_HU", 1038}, {"hu", 1038},    {"it_IT", 1040}, {"it_CH", 2064}, {"it", 1040},
    {"nl_NL", 1043}, {"nl_BE", 2067}, {"nl", 1043},    {"pt_BR", 1046}, {"pt_PT", 2070},
    {"pt", 2070},    {"es_MX", 2058}, {"es_ES", 3082}, {"es_GT", 4106}, {"es_CR", 5130},
    {"es_PA", 6154}, {"es_DO", 7178}, {"es_VE", 8202}, {"es_CO", 9226}, {"es_PE", 10250},
    {"es_AR", 11274}, {"es_EC", 12298}, {"es_CL", 13322}, {"es_UY", 14346}, {"es_PY", 15370},
    {"es_BO", 16394}, {"es_SV", 17418}, {"es_HN", 18442}, {"es_NI", 19466}, {"es_PR", 20490},
    {"es", 3082},    {"en_US", 1033}, {"en_GB", 2057}, {"en", 1033},
};
} // namespace

uint32_t lcidFromLocaleName(const std::string& locale) {
    // "de_CH.UTF-8@euro" -> "de_CH"
    std::string base = locale.substr(0, locale.find_first_of(".@"));
    for (const auto& l : kLocales)
        if (base == l.name)
            return l.lcid;
    const std::string lang = base.substr(0, base.find('_'));
    for (const auto& l : kLocales)
        if (lang == l.name)
            return l.lcid;
    return 1033;
}

} // namespace tlv
