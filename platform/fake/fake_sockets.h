#pragma once

#include "platform/socket.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace tlv {

// Scripted TCP socket: the test decides when a connect succeeds, what arrives and when the
// peer goes away; everything sent is recorded.
class FakeTcpSocket : public TcpSocket {
public:
    int state() const override { return m_state; }
    void connect(const std::string& host, int port) override {
        connects.emplace_back(host, port);
        m_remoteHost = host;
        m_state = kSckConnecting;
    }
    void close() override {
        ++closeCount;
        m_state = kSckClosed;
        m_inbox.clear();
    }
    bool sendData(std::string_view bytes) override {
        if (failSends)
            return false;
        sent += bytes;
        ++sendCount;
        return true;
    }
    std::string getData() override { return std::exchange(m_inbox, {}); }
    std::string remoteHost() const override { return m_remoteHost; }
    std::string remoteHostIP() const override { return remoteIp; }
    std::string localIP() const override { return localIp; }
    int lastErrorNumber() const override { return 10053; }
    std::string lastErrorDescription() const override { return "Connection is aborted"; }

    // Test side.
    void accept() { m_state = kSckConnected; }
    void refuse() {
        m_state = kSckError;
        emitError(10061, "Connection is forcefully rejected");
    }
    void deliver(std::string_view bytes) {
        m_inbox += bytes;
        emitDataArrival(m_inbox.size());
    }
    void peerClose() {
        m_state = kSckClosing;
        emitClose();
    }
    void setState(int s) { m_state = s; }
    // Takes what was sent so far.
    std::string takeSent() { return std::exchange(sent, {}); }

    std::vector<std::pair<std::string, int>> connects;
    std::string sent;
    int sendCount = 0;
    int closeCount = 0;
    bool failSends = false;
    std::string remoteIp = "192.168.1.10";
    std::string localIp = "192.168.1.20";

private:
    int m_state = kSckClosed;
    std::string m_inbox;
    std::string m_remoteHost;
};

struct Datagram {
    std::string host;
    int port = 0;
    std::string bytes;
};

class FakeUdpSocket : public UdpSocket {
public:
    int state() const override { return m_state; }
    void close() override {
        m_state = kSckClosed;
        boundPort = 0;
    }
    bool bind(int localPort) override {
        boundPort = localPort;
        m_state = kSckOpen;
        return true;
    }
    bool sendTo(const std::string& host, int port, std::string_view bytes) override {
        sent.push_back({host, port, std::string(bytes)});
        if (onSent)
            onSent(sent.back());
        return true;
    }
    std::string getData() override { return m_last; }
    std::string remoteHostIP() const override { return m_from; }

    // Test side: a datagram from `from` (delivered only while bound, as a real socket would).
    bool deliver(std::string_view bytes, std::string from) {
        if (boundPort == 0)
            return false;
        m_last = std::string(bytes);
        m_from = std::move(from);
        emitDataArrival(m_last.size());
        return true;
    }

    std::vector<Datagram> sent;
    int boundPort = 0;
    // Runs as each datagram goes out: a peer on the same machine answers before sendTo returns.
    std::function<void(const Datagram&)> onSent;

private:
    int m_state = kSckClosed;
    std::string m_last;
    std::string m_from;
};

// Hands out fakes and keeps a pointer to each for the test.
class FakeSocketFactory : public SocketFactory {
public:
    std::unique_ptr<TcpSocket> createTcp() override {
        auto s = std::make_unique<FakeTcpSocket>();
        tcp.push_back(s.get());
        return s;
    }
    std::unique_ptr<UdpSocket> createUdp() override {
        auto s = std::make_unique<FakeUdpSocket>();
        udp.push_back(s.get());
        return s;
    }
    std::string localHostName() const override { return hostName; }

    std::vector<FakeTcpSocket*> tcp;
    std::vector<FakeUdpSocket*> udp;
    std::string hostName = "wks01";
};

} // namespace tlv
