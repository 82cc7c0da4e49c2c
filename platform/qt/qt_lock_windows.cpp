#include "platform/qt/qt_lock_windows.h"

#include "platform/linux/x11_lock_library.h"

#include <QGuiApplication>
#include <QSocketNotifier>
#include <QWindow>

#include <algorithm>
#include <utility>

namespace tlv {

namespace {

class QtFdWatch : public FdWatch {
public:
    QtFdWatch(int fd, std::function<void()> onReadable)
        : m_notifier(fd, QSocketNotifier::Read), m_onReadable(std::move(onReadable)) {
        QObject::connect(&m_notifier, &QSocketNotifier::activated, [this] { m_onReadable(); });
    }

private:
    QSocketNotifier m_notifier;
    std::function<void()> m_onReadable;
};

// Only windows that exist natively: asking an uncreated window for its id would create it.
bool shownNative(const QWindow* w) {
    return w && w->handle() && w->isVisible();
}

} // namespace

std::vector<unsigned long> qtLockWindows() {
    std::vector<std::pair<int, unsigned long>> found;
    if (!qGuiApp)
        return {};
    for (QWindow* w : QGuiApplication::topLevelWindows()) {
        const int kind = w->property(kLockScreenProperty).toInt();
        if (kind > 0 && shownNative(w))
            found.emplace_back(kind, static_cast<unsigned long>(w->winId()));
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<unsigned long> r;
    for (const auto& f : found)
        r.push_back(f.second);
    return r;
}

std::vector<unsigned long> qtOwnWindows() {
    std::vector<unsigned long> r;
    if (!qGuiApp)
        return r;
    for (QWindow* w : QGuiApplication::topLevelWindows())
        if (shownNative(w))
            r.push_back(static_cast<unsigned long>(w->winId()));
    return r;
}

FdWatchFactory qtFdWatchFactory() {
    return [](int fd, std::function<void()> onReadable) -> std::unique_ptr<FdWatch> {
        return std::make_unique<QtFdWatch>(fd, std::move(onReadable));
    };
}

std::unique_ptr<LockLibrary> makeQtLockLibrary(Scheduler& scheduler, const std::string& stateFile,
                                               std::function<void(const std::string&)> log) {
    X11LockLibrary::Options o;
    o.lockWindows = qtLockWindows;
    o.ownWindows = qtOwnWindows;
    o.cannotAct = log;
    o.log = std::move(log);
    o.watchFd = qtFdWatchFactory();
    o.stateFile = stateFile;
    return std::make_unique<X11LockLibrary>(scheduler, std::move(o));
}

} // namespace tlv
