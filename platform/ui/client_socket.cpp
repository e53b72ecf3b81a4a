#include "platform/ui/client_socket.h"

#include <QAbstractSocket>
#include <QEventLoop>
#include <QObject>
#include <QString>
#include <QTcpSocket>
#include <QTimer>

#include "platform/ui/application.h"

namespace {

enum class EventKind { Connect, Read, Disconnect, Error };

// The classic numbers of the socket errors the toolkit reports.
int ClassicErrorCode(QAbstractSocket::SocketError error) {
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return 10061;
    case QAbstractSocket::RemoteHostClosedError:
        return 10054;
    case QAbstractSocket::HostNotFoundError:
        return 11001;
    case QAbstractSocket::SocketAccessError:
        return 10013;
    case QAbstractSocket::SocketResourceError:
        return 10055;
    case QAbstractSocket::SocketTimeoutError:
        return 10060;
    case QAbstractSocket::DatagramTooLargeError:
        return 10040;
    case QAbstractSocket::NetworkError:
        return 10050;
    case QAbstractSocket::AddressInUseError:
        return 10048;
    case QAbstractSocket::SocketAddressNotAvailableError:
        return 10049;
    case QAbstractSocket::UnsupportedSocketOperationError:
        return 10047;
    case QAbstractSocket::UnfinishedSocketOperationError:
        return 10036;
    case QAbstractSocket::ProxyConnectionRefusedError:
        return 10061;
    case QAbstractSocket::ProxyConnectionTimeoutError:
        return 10060;
    case QAbstractSocket::ProxyNotFoundError:
        return 11001;
    case QAbstractSocket::ProxyConnectionClosedError:
        return 10054;
    case QAbstractSocket::TemporaryError:
        return 10035;
    default:
        return 10053; // the connection was given up for a reason of the toolkit's own
    }
}

} // namespace

struct TClientSocket::Impl {
    TClientSocket* owner = nullptr;
    // Queued deliveries are bound to it, so they go with the socket object.
    std::unique_ptr<QObject> context = std::make_unique<QObject>();
    std::unique_ptr<QTcpSocket> socket;
    std::string received;
    // Raised by Open and Close: deliveries queued for an earlier connection are dropped.
    unsigned generation = 0;
    // An error or the close already went out for this connection: nothing follows it.
    bool ended = false;
    QEventLoop* waitLoop = nullptr;
    bool eventCame = false;
    std::shared_ptr<bool> alive = std::make_shared<bool>(true);

    ~Impl() { *alive = false; }

    void drain() {
        if (!socket) return;
        const QByteArray bytes = socket->readAll();
        received.append(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    }

    void post(EventKind kind, int code = 0) {
        const unsigned gen = generation;
        QMetaObject::invokeMethod(
            context.get(), [this, gen, kind, code] { deliver(gen, kind, code); },
            Qt::QueuedConnection);
    }

    void deliver(unsigned gen, EventKind kind, int code) {
        if (gen != generation) return;
        eventCame = true;
        if (waitLoop) waitLoop->quit();
        // The handler may free the socket; nothing of it is touched afterwards.
        TClientSocket& s = *owner;
        switch (kind) {
        case EventKind::Connect:
            if (s.OnConnect) SafeCall([&] { s.OnConnect(s); });
            break;
        case EventKind::Read:
            if (s.OnRead) SafeCall([&] { s.OnRead(s); });
            break;
        case EventKind::Disconnect:
            if (s.OnDisconnect) SafeCall([&] { s.OnDisconnect(s); });
            break;
        case EventKind::Error: {
            const std::string where = s.Host() + ":" + std::to_string(s.Port());
            int errorCode = code;
            SafeCall([&] {
                if (s.OnError) s.OnError(s, errorCode);
                if (errorCode != 0)
                    throw ESocketError("Socket error " + std::to_string(errorCode) + " on " +
                                       where);
            });
            break;
        } break;
        }
    }

    void dropSocket() {
        ++generation;
        if (!socket) return;
        QObject::disconnect(socket.get(), nullptr, context.get(), nullptr);
        socket.reset();
    }
};

TClientSocket::TClientSocket() : impl_(std::make_unique<Impl>()) {
    impl_->owner = this;
}

TClientSocket::~TClientSocket() {
    if (impl_->socket) impl_->socket->abort();
    impl_->dropSocket();
}

void TClientSocket::Open() {
    Application(); // the event loop that delivers the events
    Close();
    Impl& d = *impl_;
    d.received.clear();
    d.ended = false;
    d.socket = std::make_unique<QTcpSocket>();
    QTcpSocket* sock = d.socket.get();
    QObject* ctx = d.context.get();
    QObject::connect(sock, &QTcpSocket::connected, ctx, [&d] { d.post(EventKind::Connect); });
    QObject::connect(sock, &QTcpSocket::readyRead, ctx, [&d] {
        d.drain();
        d.post(EventKind::Read);
    });
    QObject::connect(sock, &QTcpSocket::disconnected, ctx, [&d] {
        if (d.ended) return;
        d.ended = true;
        // Bytes that came with the close are read before the close is reported.
        const std::size_t before = d.received.size();
        d.drain();
        if (d.received.size() != before) d.post(EventKind::Read);
        d.post(EventKind::Disconnect);
    });
    QObject::connect(sock, &QTcpSocket::errorOccurred, ctx,
                     [&d](QAbstractSocket::SocketError error) {
                         // The peer's close comes as the disconnect event.
                         if (error == QAbstractSocket::RemoteHostClosedError || d.ended) return;
                         d.ended = true;
                         d.post(EventKind::Error, ClassicErrorCode(error));
                     });
    sock->connectToHost(QString::fromStdString(host_), static_cast<quint16>(port_));
}

void TClientSocket::Close() {
    Impl& d = *impl_;
    if (d.socket) {
        QTcpSocket* sock = d.socket.get();
        QObject::disconnect(sock, nullptr, d.context.get(), nullptr);
        if (sock->state() == QAbstractSocket::ConnectedState) {
            sock->flush();
            if (sock->bytesToWrite() > 0) sock->waitForBytesWritten(2000);
            sock->disconnectFromHost();
        }
        sock->abort();
    }
    d.dropSocket();
}

bool TClientSocket::Active() const {
    return impl_->socket && impl_->socket->state() != QAbstractSocket::UnconnectedState;
}

bool TClientSocket::Connected() const {
    return impl_->socket && impl_->socket->state() == QAbstractSocket::ConnectedState;
}

void TClientSocket::SendText(std::string_view bytes) {
    if (!impl_->socket || bytes.empty()) return;
    // The socket keeps what the system does not take now and writes it from the event loop.
    impl_->socket->write(bytes.data(), static_cast<qint64>(bytes.size()));
}

std::string TClientSocket::ReceiveText() {
    impl_->drain();
    std::string result;
    result.swap(impl_->received);
    return result;
}

int TClientSocket::ReceiveLength() const {
    return static_cast<int>(impl_->received.size() +
                            (impl_->socket ? impl_->socket->bytesAvailable() : 0));
}

bool TClientSocket::WaitForEvent(int maxMs) {
    Application();
    Impl& d = *impl_;
    std::shared_ptr<bool> alive = d.alive;
    QEventLoop loop;
    QEventLoop* outer = d.waitLoop;
    d.waitLoop = &loop;
    d.eventCame = false;
    QTimer::singleShot(maxMs < 0 ? 0 : maxMs, &loop, &QEventLoop::quit);
    loop.exec();
    if (!*alive) return true; // a handler freed the socket
    d.waitLoop = outer;
    const bool came = d.eventCame;
    if (outer) d.eventCame = true; // the outer wait sees the event too
    return came;
}
