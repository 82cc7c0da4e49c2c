#include "ui/language_box.h"

#include <QStyleOptionComboBox>
#include <QStylePainter>

namespace tlv {

namespace {
int iconRoom(const QComboBox& box) {
    // The closed list's room for the icon and its gap.
    return box.count() > 0 && !box.itemIcon(0).isNull() ? box.iconSize().width() + 4 : 0;
}
} // namespace

QSize LanguageBox::sizeHint() const {
    return QComboBox::sizeHint() - QSize(iconRoom(*this), 0);
}

QSize LanguageBox::minimumSizeHint() const {
    return QComboBox::minimumSizeHint() - QSize(iconRoom(*this), 0);
}

void LanguageBox::paintEvent(QPaintEvent*) {
    QStylePainter p(this);
    QStyleOptionComboBox opt;
    initStyleOption(&opt);
    opt.currentIcon = QIcon();
    opt.iconSize = QSize();
    p.drawComplexControl(QStyle::CC_ComboBox, opt);
    p.drawControl(QStyle::CE_ComboBoxLabel, opt);
}

} // namespace tlv
