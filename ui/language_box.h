#pragma once

#include <QComboBox>

namespace tlv {

// The lock screen's language list: the flags show in the open list only, since imgFlags beside
// the closed list already shows the chosen one.
class LanguageBox : public QComboBox {
    Q_OBJECT
public:
    using QComboBox::QComboBox;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* e) override;
};

} // namespace tlv
