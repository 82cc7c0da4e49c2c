#include "platform/qt/qt_process_exit.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>

namespace tlv {

void QtProcessExit::endProcess(int exitCode) {
    if (!m_requested) {
        m_requested = true;
        m_exitCode = exitCode;
    }
    QTimer::singleShot(0, QCoreApplication::instance(),
                       [exitCode] { QCoreApplication::exit(exitCode); });
}

int QtProcessExit::exec() {
    if (m_requested)
        return m_exitCode;
    const int rc = QCoreApplication::exec();
    // Forms unloaded from inside their own handlers wait for the loop to delete them.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return m_requested ? m_exitCode : rc;
}

} // namespace tlv
