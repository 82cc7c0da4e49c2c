// A large transfer over a real loopback socket reaches the link in bounded reads, however much
// the kernel has queued: a file in temp-file mode is written to disk as it arrives instead of
// sitting in memory in several copies of one huge read.
#include "platform/qt/qt_sockets.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>

namespace tlv {
namespace {

TEST(SocketRead, ABigTransferArrivesInBoundedReads) {
    int argc = 1;
    char name[] = "test_socket_read";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);

    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(::listen(listener, 1), 0);
    socklen_t len = sizeof addr;
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len), 0);

    constexpr size_t kTotal = 16u << 20;
    std::string payload(kTotal, '\0');
    for (size_t i = 0; i < kTotal; ++i)
        payload[i] = static_cast<char>(i * 2654435761u >> 24);
    std::thread sender([&] {
        const int c = ::accept(listener, nullptr, nullptr);
        for (size_t sent = 0; c >= 0 && sent < kTotal;) {
            const ssize_t n = ::send(c, payload.data() + sent, kTotal - sent, MSG_NOSIGNAL);
            if (n <= 0)
                break;
            sent += static_cast<size_t>(n);
        }
        if (c >= 0)
            ::close(c);
    });

    QtSocketFactory sockets;
    std::unique_ptr<TcpSocket> tcp = sockets.createTcp();
    std::string received;
    size_t largest = 0;
    tcp->onDataArrival([&](size_t) {
        const std::string chunk = tcp->getData();
        largest = std::max(largest, chunk.size());
        received += chunk;
    });
    tcp->connect("127.0.0.1", ntohs(addr.sin_port));
    QElapsedTimer t;
    t.start();
    bool slept = false;
    while (received.size() < kTotal && t.elapsed() < 20000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        if (!slept && tcp->state() == kSckConnected) {
            // Let the kernel queue as much as it will before the first read.
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            slept = true;
        }
    }
    tcp->close();
    sender.join();
    ::close(listener);
    ASSERT_EQ(received.size(), kTotal);
    EXPECT_TRUE(received == payload);
    EXPECT_LE(largest, 256u * 1024) << "one read took " << largest << " bytes";
}

} // namespace
} // namespace tlv
