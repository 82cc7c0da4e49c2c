#include "platform/qt/unix_signals.h"

#include <QSocketNotifier>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace tlv {

namespace {
// The write end for the async-signal handler; one watcher per process is all there can be.
volatile sig_atomic_t g_writeFd = -1;

void onUnixSignal(int sig) {
    const int fd = g_writeFd;
    if (fd >= 0) {
        const unsigned char b = static_cast<unsigned char>(sig);
        (void)!::write(fd, &b, 1);
    }
}
} // namespace

UnixSignalWatcher::UnixSignalWatcher(std::initializer_list<int> signalNumbers,
                                     std::function<void(int)> onSignal)
    : m_onSignal(std::move(onSignal)), m_signals(signalNumbers) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, m_fds) != 0)
        return;
    g_writeFd = m_fds[1];
    m_notifier = std::make_unique<QSocketNotifier>(m_fds[0], QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this] { readSignals(); });
    for (int s : m_signals) {
        struct sigaction sa {};
        sa.sa_handler = onUnixSignal;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        ::sigaction(s, &sa, nullptr);
    }
}

UnixSignalWatcher::~UnixSignalWatcher() {
    for (int s : m_signals)
        std::signal(s, SIG_DFL);
    g_writeFd = -1;
    m_notifier.reset();
    for (int fd : m_fds)
        if (fd >= 0)
            ::close(fd);
}

void UnixSignalWatcher::readSignals() {
    unsigned char buf[16];
    for (;;) {
        const ssize_t n = ::read(m_fds[0], buf, sizeof buf);
        if (n <= 0)
            break;
        for (ssize_t i = 0; i < n; ++i)
            if (m_onSignal)
                m_onSignal(buf[i]);
    }
}

} // namespace tlv
