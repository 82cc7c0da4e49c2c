#include "platform/qt/qt_sockets.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QNetworkDatagram>
#include <QTcpSocket>
#include <QUdpSocket>

namespace tlv {

namespace {

// The most one data-arrival event hands over. Unbounded, a read takes whatever the kernel has
// queued (tens of megabytes on a fast link), and a large file in temp-file mode would then
// sit in memory several times over instead of going to disk as it arrives.
constexpr qint64 kMaxRead = 256 * 1024;

// The numbers the client's log lines have always carried for these failures.
int winsockNumber(QAbstractSocket::SocketError e) {
    switch (e) {
    case QAbstractSocket::ConnectionRefusedError:
        return 10061;
    case QAbstractSocket::RemoteHostClosedError:
        return 10053;
    case QAbstractSocket::HostNotFoundError:
        return 11001;
    case QAbstractSocket::SocketTimeoutError:
        return 10060;
    case QAbstractSocket::NetworkError:
        return 10051;
    case QAbstractSocket::AddressInUseError:
        return 10048;
    default:
        return 10050;
    }
}

QHostAddress plainAddress(const QHostAddress& a) {
    bool ok = false;
    const quint32 v4 = a.toIPv4Address(&ok);
    return ok ? QHostAddress(v4) : a;
}

class QtTcp : public TcpSocket {
public:
    QtTcp() {
        m_sock.setReadBufferSize(kMaxRead);
        QObject::connect(&m_sock, &QTcpSocket::readyRead,
                         [this] { emitDataArrival(static_cast<size_t>(m_sock.bytesAvailable())); });
        QObject::connect(&m_sock, &QTcpSocket::disconnected, [this] {
            if (m_closing)
                return;
            m_peerClosed = true;
            emitClose();
        });
        QObject::connect(&m_sock, &QTcpSocket::errorOccurred,
                         [this](QAbstractSocket::SocketError e) {
                             if (m_closing || e == QAbstractSocket::RemoteHostClosedError)
                                 return; // the close event tells the owner
                             m_error = true;
                             m_errNo = winsockNumber(e);
                             m_errText = m_sock.errorString().toStdString();
                             emitError(m_errNo, m_errText);
                         });
    }
    int state() const override {
        if (m_error)
            return kSckError;
        switch (m_sock.state()) {
        case QAbstractSocket::HostLookupState:
            return kSckResolvingHost;
        case QAbstractSocket::ConnectingState:
            return kSckConnecting;
        case QAbstractSocket::ConnectedState:
            return kSckConnected;
        case QAbstractSocket::ClosingState:
            return kSckClosing;
        case QAbstractSocket::BoundState:
            return kSckOpen;
        default:
            return m_peerClosed ? kSckClosing : kSckClosed;
        }
    }
    void connect(const std::string& host, int port) override {
        close();
        m_host = host;
        m_sock.connectToHost(QString::fromStdString(host), static_cast<quint16>(port));
    }
    void close() override {
        m_closing = true;
        m_sock.abort();
        m_closing = false;
        m_error = false;
        m_peerClosed = false;
    }
    bool sendData(std::string_view bytes) override {
        const qint64 n = m_sock.write(bytes.data(), static_cast<qint64>(bytes.size()));
        if (n != static_cast<qint64>(bytes.size())) {
            m_errNo = winsockNumber(m_sock.error());
            m_errText = m_sock.errorString().toStdString();
            return false;
        }
        return true;
    }
    std::string getData() override { return m_sock.readAll().toStdString(); }
    std::string remoteHost() const override { return m_host; }
    std::string remoteHostIP() const override {
        return plainAddress(m_sock.peerAddress()).toString().toStdString();
    }
    std::string localIP() const override {
        return plainAddress(m_sock.localAddress()).toString().toStdString();
    }
    int lastErrorNumber() const override { return m_errNo; }
    std::string lastErrorDescription() const override { return m_errText; }

private:
    QTcpSocket m_sock;
    std::string m_host;
    bool m_closing = false;
    bool m_error = false;
    bool m_peerClosed = false;
    int m_errNo = 0;
    std::string m_errText;
};

class QtUdp : public UdpSocket {
public:
    QtUdp() {
        QObject::connect(&m_sock, &QUdpSocket::readyRead, [this] {
            while (m_sock.hasPendingDatagrams()) {
                const QNetworkDatagram d = m_sock.receiveDatagram();
                m_last = d.data().toStdString();
                m_from = plainAddress(d.senderAddress()).toString().toStdString();
                emitDataArrival(m_last.size());
                if (m_sock.state() != QAbstractSocket::BoundState)
                    break; // the handler closed the socket
            }
        });
    }
    int state() const override {
        return m_sock.state() == QAbstractSocket::BoundState ? kSckOpen : kSckClosed;
    }
    void close() override { m_sock.abort(); }
    bool bind(int localPort) override {
        if (m_sock.state() == QAbstractSocket::BoundState)
            return true;
        return m_sock.bind(QHostAddress::AnyIPv4, static_cast<quint16>(localPort),
                           QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint);
    }
    bool sendTo(const std::string& host, int port, std::string_view bytes) override {
        QHostAddress addr;
        if (!addr.setAddress(QString::fromStdString(host))) {
            const QHostInfo info = QHostInfo::fromName(QString::fromStdString(host));
            if (info.addresses().isEmpty())
                return false;
            addr = info.addresses().front();
        }
        const QByteArray data(bytes.data(), static_cast<qsizetype>(bytes.size()));
        return m_sock.writeDatagram(data, addr, static_cast<quint16>(port)) == data.size();
    }
    std::string getData() override { return m_last; }
    std::string remoteHostIP() const override { return m_from; }

private:
    QUdpSocket m_sock;
    std::string m_last;
    std::string m_from;
};

} // namespace

std::unique_ptr<TcpSocket> QtSocketFactory::createTcp() {
    return std::make_unique<QtTcp>();
}
std::unique_ptr<UdpSocket> QtSocketFactory::createUdp() {
    return std::make_unique<QtUdp>();
}
std::string QtSocketFactory::localHostName() const {
    return QHostInfo::localHostName().toStdString();
}

} // namespace tlv
