#include "platform/qt/qt_scheduler.h"

#include <QCoreApplication>
#include <QTimer>

namespace tlv {

namespace {
class QtTimer : public Timer {
public:
    explicit QtTimer(std::function<void()> cb) {
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [cb = std::move(cb)] { cb(); });
    }
    void setInterval(int64_t ms) override {
        m_interval = ms;
        m_timer.setInterval(static_cast<int>(std::clamp<int64_t>(ms, 0, INT32_MAX)));
        if (m_timer.isActive())
            m_timer.start();
    }
    int64_t interval() const override { return m_interval; }
    void setSingleShot(bool s) override { m_timer.setSingleShot(s); }
    void setEnabled(bool e) override {
        if (e && !m_timer.isActive())
            m_timer.start();
        else if (!e)
            m_timer.stop();
    }
    bool enabled() const override { return m_timer.isActive(); }

private:
    QTimer m_timer;
    int64_t m_interval = 0;
};
} // namespace

std::unique_ptr<Timer> QtScheduler::createTimer(std::function<void()> onTimeout) {
    return std::make_unique<QtTimer>(std::move(onTimeout));
}

void QtScheduler::post(std::function<void()> fn) {
    QTimer::singleShot(0, QCoreApplication::instance(), std::move(fn));
}

} // namespace tlv
