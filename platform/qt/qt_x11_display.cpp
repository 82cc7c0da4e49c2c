#include "platform/qt/qt_x11_display.h"

#include <QGuiApplication>

namespace tlv {

Display* qtX11Display() {
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (!app || QGuiApplication::platformName() != QLatin1String("xcb"))
        return nullptr;
    if (auto* x11 = app->nativeInterface<QNativeInterface::QX11Application>())
        return x11->display();
    return nullptr;
}

} // namespace tlv
