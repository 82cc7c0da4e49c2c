#pragma once

#include <QColor>
#include <QImage>
#include <QString>

namespace tlv {

class Logger;

// The lock screen's logo: a file whose name ends in "png" (any letter case) goes to the
// client's own reader, blended over the background colour (the button face); anything else
// to Qt's image reader, which accepts every format it knows. On failure the error is logged
// as "modGlobalFunctions.funLoadImgError" and a null image is returned: the lock screen then
// shows no logo.
QImage funLoadImg(const QString& path, Logger& log, const QColor& background);

} // namespace tlv
