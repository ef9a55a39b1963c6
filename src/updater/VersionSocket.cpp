#include "updater/VersionSocket.h"

#include "common/errors.h"
#include "common/guard.h"

#include <QTcpSocket>

namespace fm::upd {

namespace {

// The socket layer's own error, shown like any uncaught error.
void RaiseLayerError(const std::string &text)
{
    Guarded([&] { throw SocketError(text); });
}

} // namespace

VersionSocket::VersionSocket(QObject *parent) : QObject(parent) {}

VersionSocket::~VersionSocket()
{
    detach();
    for (QTcpSocket *s : retired_) {
        s->abort();
        delete s;
    }
}

void VersionSocket::Open()
{
    if (socket_) return;
    const std::string peer = !Address.empty() ? Address : Host;
    if (peer.empty()) throw SocketError("No address specified");

    auto *s = new QTcpSocket(this);
    socket_ = s;
    connected_ = false;
    connect(s, &QTcpSocket::connected, this, [this, s] {
        if (s == socket_) handleConnected();
    });
    connect(s, &QTcpSocket::readyRead, this, [this, s] {
        if (s == socket_) handleReadyRead();
    });
    connect(s, &QTcpSocket::disconnected, this, [this, s] {
        if (s == socket_) handleDisconnected();
    });
    connect(s, &QTcpSocket::errorOccurred, this, [this, s](QAbstractSocket::SocketError e) {
        if (s == socket_) SocketFailed(e);
    });

    if (Port < 0 || Port > 65535) {
        // The system refuses such an address; the attempt fails like any
        // other, as an event.
        QMetaObject::invokeMethod(
            this,
            [this, s] {
                if (s == socket_) SocketFailed(QAbstractSocket::SocketAddressNotAvailableError);
            },
            Qt::QueuedConnection);
        return;
    }
    s->connectToHost(QString::fromStdString(peer), quint16(Port));
}

void VersionSocket::Close()
{
    if (!socket_) return;
    const bool wasConnected = connected_;
    detach();
    if (wasConnected) raiseDisconnect();
}

void VersionSocket::SendText(const std::string &bytes)
{
    if (!Connected() || bytes.empty()) return;
    socket_->write(bytes.data(), qint64(bytes.size()));
}

std::string VersionSocket::ReceiveText()
{
    if (!socket_) return {};
    const QByteArray data = socket_->readAll();
    return std::string(data.constData(), size_t(data.size()));
}

void VersionSocket::detach()
{
    QTcpSocket *s = socket_;
    socket_ = nullptr;
    connected_ = false;
    if (!s) return;
    s->disconnect(this);
    // What was queued before the close still goes out.
    if (s->state() == QAbstractSocket::ConnectedState)
        s->disconnectFromHost();
    else
        s->abort();
    retired_.push_back(s);
}

void VersionSocket::handleConnected()
{
    connected_ = true;
    if (OnConnect) Guarded([&] { OnConnect(); });
}

void VersionSocket::handleReadyRead()
{
    if (OnRead) Guarded([&] { OnRead(); });
}

void VersionSocket::handleDisconnected()
{
    if (!connected_) return;
    detach();
    raiseDisconnect();
}

void VersionSocket::raiseDisconnect()
{
    if (OnDisconnect) Guarded([&] { OnDisconnect(); });
}

int VersionSocket::raiseError(SockErrorKind kind, int code)
{
    if (OnError) Guarded([&] { OnError(kind, code); });
    return code;
}

void VersionSocket::SocketFailed(QAbstractSocket::SocketError error)
{
    if (!socket_) return;
    if (!connected_) {
        // The connection attempt failed: reported with the socket event,
        // the socket is inactive afterwards and no disconnect follows.
        detach();
        const int code = raiseError(SockErrorKind::Connect, WinSockCode(error));
        if (code != 0) RaiseLayerError(Format("Asynchronous socket error %d", code));
        return;
    }
    // A close by the host is an ordinary end of the connection.
    if (error == QAbstractSocket::RemoteHostClosedError) return;

    // The system refused a read on the connection: the error event, the
    // connection ends, then the socket layer's error naming the call.
    const int code = raiseError(SockErrorKind::Receive, WinSockCode(error));
    detach();
    raiseDisconnect();
    if (code != 0) {
        std::string text = "Windows socket error: " + WinSockMessage(code) + " (" +
                           std::to_string(code) + "), on API 'recv'";
        RaiseLayerError(text);
    }
}

int VersionSocket::WinSockCode(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError: return 10061;
    case QAbstractSocket::RemoteHostClosedError: return 10054;
    case QAbstractSocket::HostNotFoundError: return 11001;
    case QAbstractSocket::SocketAccessError: return 10013;
    case QAbstractSocket::SocketResourceError: return 10055;
    case QAbstractSocket::SocketTimeoutError: return 10060;
    case QAbstractSocket::NetworkError: return 10050;
    case QAbstractSocket::AddressInUseError: return 10048;
    case QAbstractSocket::SocketAddressNotAvailableError: return 10049;
    case QAbstractSocket::UnsupportedSocketOperationError: return 10045;
    default: return 10022;
    }
}

std::string VersionSocket::WinSockMessage(int code)
{
    switch (code) {
    case 10013: return "An attempt was made to access a socket in a way forbidden by its access permissions";
    case 10022: return "An invalid argument was supplied";
    case 10045: return "The attempted operation is not supported for the type of object referenced";
    case 10048: return "Only one usage of each socket address (protocol/network address/port) is normally permitted";
    case 10049: return "The requested address is not valid in its context";
    case 10050: return "A socket operation encountered a dead network";
    case 10053: return "An established connection was aborted by the software in your host machine";
    case 10054: return "An existing connection was forcibly closed by the remote host";
    case 10055: return "An operation on a socket could not be performed because the system lacked sufficient buffer space or because a queue was full";
    case 10060: return "A connection attempt failed because the connected party did not properly respond after a period of time, or established connection failed because connected host has failed to respond";
    case 10061: return "No connection could be made because the target machine actively refused it";
    case 11001: return "No such host is known";
    default: return "Unknown error";
    }
}

} // namespace fm::upd
