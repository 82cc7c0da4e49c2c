#pragma once

#include <QPixmap>
#include <QString>

class QWidget;
class QSize;

namespace tlv {

// Sizes of the theme are designed for a 1366x768 screen and follow the screen's height.
double themeScale(const QSize& screen);
QString themeStyleSheet(double scale);
void applyTheme(QWidget* w, double scale);

// The pictures of the forms, drawn rather than shipped so that they stay sharp at any scale.
enum class Picture {
    CnxSearching1, // imlCnx image 1
    CnxSearching2, // imlCnx image 2
    CnxConnected,  // imlCnx image 3
    UsageCard,     // the form's image list: cmdCxn image 1
    UsageClient,   // image 2
    UsageSelf,     // image 3
    TrayActive,    // imgTlvCliSmall
    TrayInactive,  // imgTlvInactive
    MsgInfo,
    MsgQuestion,
    Language,
    ChevronUp,   // cmdChatOpen
    ChevronDown, // cmdChatClose
};
QPixmap drawPicture(Picture p, int size);

} // namespace tlv
