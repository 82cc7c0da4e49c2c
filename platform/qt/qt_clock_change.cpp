#include "platform/qt/qt_clock_change.h"

#include "platform/linux/timerfd_clock_change.h"

#include <QSocketNotifier>

namespace tlv {

QtClockChange::QtClockChange() : m_monitor(std::make_unique<TimerfdClockChange>()) {}

QtClockChange::~QtClockChange() {
    stop();
}

void QtClockChange::setHandler(std::function<void()> onChanged) {
    m_monitor->setHandler(std::move(onChanged));
}

bool QtClockChange::start() {
    if (m_notifier)
        return true;
    if (!m_monitor->start())
        return false;
    m_notifier = std::make_unique<QSocketNotifier>(m_monitor->fd(), QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated,
                     [this] { m_monitor->onReadable(); });
    return true;
}

void QtClockChange::stop() {
    m_notifier.reset();
    m_monitor->stop();
}

} // namespace tlv
