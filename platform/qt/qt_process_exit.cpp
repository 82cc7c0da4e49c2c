#include "platform/qt/qt_process_exit.h"

#include <QCoreApplication>
#include <QTimer>

namespace tlv {

void QtProcessExit::endProcess(int exitCode) {
    QTimer::singleShot(0, QCoreApplication::instance(),
                       [exitCode] { QCoreApplication::exit(exitCode); });
}

} // namespace tlv
