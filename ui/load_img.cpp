#include "ui/load_img.h"

#include "control/png/clsLoadPNG.h"
#include "core/error.h"
#include "core/log.h"

#include <QFile>
#include <QImageReader>

#include <cstring>
#include <string>

namespace tlv {
namespace {

constexpr int kErrInvalidPicture = 481;

QImage loadWithOwnReader(const QString& path, const QColor& background) {
    clsLoadPNG png;
    PictureBox box(0, 0,
                   rgbColor(uint8_t(background.red()), uint8_t(background.green()),
                            uint8_t(background.blue())));
    png.PicBox(&box);
    png.SetToBkgrnd(true, 0, 0);
    png.BackgroundPicture(&box);
    png.SetAlpha(true);
    png.SetTrans(true);
    png.OpenPNG(QFile::encodeName(path).toStdString());
    if (png.ErrorNumber() != 0)
        throw TlvError(kErrInvalidPicture,
                       "Invalid picture (PNG error " + std::to_string(png.ErrorNumber()) + ")",
                       "clsLoadPNG");
    if (box.width <= 0 || box.height <= 0)
        return {}; // an image the reader cannot show: no logo, nothing to report
    QImage img(box.width, box.height, QImage::Format_RGB888);
    for (int y = 0; y < box.height; ++y)
        std::memcpy(img.scanLine(y), box.pixel(0, y), box.stride());
    return img;
}

} // namespace

QImage funLoadImg(const QString& path, Logger& log, const QColor& background) {
    try {
        if (path.right(3).toLower() == QLatin1String("png"))
            return loadWithOwnReader(path, background);
        if (!QFile::exists(path))
            throw TlvError(kErrFileNotFound, "File not found", "tlvcli");
        QImageReader reader(path);
        // A renamed file is still read: the content decides, not the extension.
        reader.setDecideFormatFromContent(true);
        QImage img = reader.read();
        if (img.isNull())
            throw TlvError(kErrInvalidPicture,
                           "Invalid picture (" + reader.errorString().toStdString() + ")",
                           "tlvcli");
        return img;
    } catch (const TlvError& e) {
        log.subLogError("modGlobalFunctions.funLoadImgError", e);
    } catch (const std::exception& e) {
        log.subLogError("modGlobalFunctions.funLoadImgError", e);
    }
    return {};
}

} // namespace tlv
