#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace tlv {

// Socket states as the client has always numbered them.
enum SocketState : int {
    kSckClosed = 0,
    kSckOpen = 1,
    kSckListening = 2,
    kSckConnectionPending = 3,
    kSckResolvingHost = 4,
    kSckHostResolved = 5,
    kSckConnecting = 6,
    kSckConnected = 7,
    kSckClosing = 8,
    kSckError = 9,
};

// TCP client socket. Bytes are wire bytes; the link converts text at its boundary.
// Events come from the event loop: data arrival, close by the peer, error (connect refused,
// reset). A close the owner asked for raises no event.
class TcpSocket {
public:
    virtual ~TcpSocket() = default;
    virtual int state() const = 0;
    // Asynchronous: the outcome shows in state() and in the events.
    virtual void connect(const std::string& host, int port) = 0;
    virtual void close() = 0;
    // Queues the bytes in one write; false (with lastError) when the socket refuses them.
    virtual bool sendData(std::string_view bytes) = 0;
    // Everything received and not yet read.
    virtual std::string getData() = 0;
    virtual std::string remoteHost() const = 0;
    virtual std::string remoteHostIP() const = 0;
    virtual std::string localIP() const = 0;
    virtual int lastErrorNumber() const = 0;
    virtual std::string lastErrorDescription() const = 0;

    void onDataArrival(std::function<void(size_t)> f) { m_onData = std::move(f); }
    void onClose(std::function<void()> f) { m_onClose = std::move(f); }
    void onError(std::function<void(int, const std::string&)> f) { m_onError = std::move(f); }

protected:
    void emitDataArrival(size_t n) {
        if (m_onData)
            m_onData(n);
    }
    void emitClose() {
        if (m_onClose)
            m_onClose();
    }
    void emitError(int number, const std::string& d) {
        if (m_onError)
            m_onError(number, d);
    }

private:
    std::function<void(size_t)> m_onData;
    std::function<void()> m_onClose;
    std::function<void(int, const std::string&)> m_onError;
};

// UDP socket: one datagram per data-arrival event; remoteHostIP() is the sender of the last.
class UdpSocket {
public:
    virtual ~UdpSocket() = default;
    virtual int state() const = 0;
    virtual void close() = 0;
    virtual bool bind(int localPort) = 0;
    virtual bool sendTo(const std::string& host, int port, std::string_view bytes) = 0;
    // The last datagram received.
    virtual std::string getData() = 0;
    virtual std::string remoteHostIP() const = 0;

    void onDataArrival(std::function<void(size_t)> f) { m_onData = std::move(f); }

protected:
    void emitDataArrival(size_t n) {
        if (m_onData)
            m_onData(n);
    }

private:
    std::function<void(size_t)> m_onData;
};

class SocketFactory {
public:
    virtual ~SocketFactory() = default;
    virtual std::unique_ptr<TcpSocket> createTcp() = 0;
    virtual std::unique_ptr<UdpSocket> createUdp() = 0;
    virtual std::string localHostName() const = 0;
};

} // namespace tlv
