#pragma once

#include <QPixmap>
#include <QString>

class QWidget;
class QSize;
class QRect;

namespace tlv {

// Sizes of the theme are designed for a 1366x768 screen and follow the screen's height.
double themeScale(const QSize& screen);
QString themeStyleSheet(double scale);
void applyTheme(QWidget* w, double scale);
// The scale of the primary screen (1 without one).
double primaryScreenScale();

// A hidden window keeps the size hints of its old texts until it is shown: this measures every
// layout of w again, so that adjustSize() and placement use the texts it shows now.
void settleLayout(QWidget* w);
// settleLayout(), then the size its layout asks for.
void adjustToContents(QWidget* w);
// A window resized to the texts it shows now: centred where it was when shown, inside its
// screen.
void refitWindow(QWidget* w);
// Moves a window so that it lies inside rect (as far as it fits).
void keepInside(QWidget* w, const QRect& rect);

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
