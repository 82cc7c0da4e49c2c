#include "ui/language_flags.h"

#include <QComboBox>
#include <QFile>
#include <QIcon>
#include <QLabel>
#include <QPainter>

// Q_INIT_RESOURCE must be used outside any namespace.
static void initFlagsResource() {
    Q_INIT_RESOURCE(flags);
}

namespace tlv {

QPixmap languageFlag(const std::string& languageName, int height) {
    static const bool kRegistered = [] {
        initFlagsResource();
        return true;
    }();
    (void)kRegistered;
    const int width = height * 3 / 2;
    const size_t underscore = languageName.rfind('_');
    const QString code = QString::fromStdString(
        underscore == std::string::npos ? languageName : languageName.substr(underscore + 1));
    const QString path = ":/flags/" + code.toLower() + ".png";
    QPixmap flag;
    if (QFile::exists(path) && flag.load(path))
        return flag.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    flag = QPixmap(width, height);
    flag.fill(QColor(0x9a, 0xa7, 0xb8));
    QPainter p(&flag);
    p.setPen(QColor(0x5e, 0x6b, 0x7c));
    p.drawRect(0, 0, width - 1, height - 1);
    return flag;
}

void showLanguageFlags(QComboBox& cmbLanguage, QLabel& imgFlags,
                       const std::vector<LangEntry>& table) {
    const int height = std::max(12, cmbLanguage.iconSize().height());
    cmbLanguage.setIconSize(QSize(height * 3 / 2, height));
    for (int i = 0; i < cmbLanguage.count(); ++i) {
        const int entry = cmbLanguage.itemData(i).toInt();
        if (entry >= 0 && entry < static_cast<int>(table.size()))
            cmbLanguage.setItemIcon(i, QIcon(languageFlag(table[entry].languageName, height)));
    }
    const int current = cmbLanguage.currentIndex();
    imgFlags.setPixmap(current >= 0 ? cmbLanguage.itemIcon(current).pixmap(cmbLanguage.iconSize())
                                    : QPixmap());
}

} // namespace tlv
