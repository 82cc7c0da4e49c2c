#pragma once

#include "core/localization.h"

#include <QPixmap>

#include <string>
#include <vector>

class QComboBox;
class QLabel;

namespace tlv {

// The flag of a language ("tlvcli_fr"), 3:2, of the given height; a plain neutral flag for a
// language the client ships no flag for (a pack added by a café).
QPixmap languageFlag(const std::string& languageName, int height);

// The lock screen's language list: every item (whose data is its entry number in the language
// table) gets its flag, and imgFlags shows the flag of the chosen item.
void showLanguageFlags(QComboBox& cmbLanguage, QLabel& imgFlags,
                       const std::vector<LangEntry>& table);

} // namespace tlv
