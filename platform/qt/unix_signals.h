#pragma once

#include <functional>
#include <initializer_list>
#include <memory>
#include <vector>

class QSocketNotifier;

namespace tlv {

// Turns SIGTERM, SIGINT ... into calls on the Qt event loop (self-pipe): the handler itself
// only writes the signal number, the callback runs as an ordinary event.
class UnixSignalWatcher {
public:
    UnixSignalWatcher(std::initializer_list<int> signalNumbers, std::function<void(int)> onSignal);
    ~UnixSignalWatcher();
    UnixSignalWatcher(const UnixSignalWatcher&) = delete;
    UnixSignalWatcher& operator=(const UnixSignalWatcher&) = delete;

private:
    void readSignals();
    std::function<void(int)> m_onSignal;
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::vector<int> m_signals;
    int m_fds[2] = {-1, -1};
};

} // namespace tlv
