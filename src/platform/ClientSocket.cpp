#include "platform/ClientSocket.h"

#include "common/errors.h"
#include "common/guard.h"

#include <QHostAddress>
#include <QNetworkProxy>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>

namespace fm {

namespace {

// "a.b.c.d" with four decimal parts of 0..255 and nothing else.
bool parseDottedIPv4(const std::string &text, quint32 &out)
{
    quint32 value = 0;
    int parts = 0;
    size_t i = 0;
    while (parts < 4) {
        if (i >= text.size() || text[i] < '0' || text[i] > '9') return false;
        unsigned part = 0;
        int digits = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            part = part * 10 + unsigned(text[i] - '0');
            if (++digits > 3 || part > 255) return false;
            ++i;
        }
        value = (value << 8) | part;
        ++parts;
        if (parts < 4) {
            if (i >= text.size() || text[i] != '.') return false;
            ++i;
        }
    }
    if (i != text.size()) return false;
    out = value;
    return true;
}

constexpr int kAddressNotAvailable = 10049;

} // namespace

// Counts a handler of a socket signal while it runs; when the outermost one
// returns, the sockets let go meanwhile go to deleteLater. Posted from here,
// inside the emission of the loop that dispatched the signal, the deletion
// runs once that emission has unwound. A retired socket still closing (what
// was queued is being written) is left to its own deletion after the close.
class TClientSocket::HandlerScope {
public:
    explicit HandlerScope(const std::shared_ptr<Handlers> &h) : h_(h) { ++h_->depth; }
    ~HandlerScope()
    {
        if (--h_->depth > 0) return;
        const std::vector<QTcpSocket *> retired = std::move(h_->retired);
        h_->retired.clear();
        for (QTcpSocket *s : retired)
            if (s->state() == QAbstractSocket::UnconnectedState) s->deleteLater();
    }
    HandlerScope(const HandlerScope &) = delete;
    HandlerScope &operator=(const HandlerScope &) = delete;

private:
    std::shared_ptr<Handlers> h_; // kept: a handler may destroy the TClientSocket
};

TClientSocket::TClientSocket(QObject *parent) : QObject(parent) {}

TClientSocket::~TClientSocket()
{
    // No event may reach the handlers while the sockets go away.
    const auto sockets = findChildren<QTcpSocket *>(QString(), Qt::FindDirectChildrenOnly);
    for (QTcpSocket *s : sockets) {
        QObject::disconnect(s, nullptr, this, nullptr);
        s->disconnect();
        s->abort();
        if (handlers_->depth == 0) {
            delete s;
        } else {
            // Destroyed from inside a handler of one of the sockets' signals:
            // the sockets outlive this object until that handler returns.
            s->setParent(nullptr);
            if (std::find(handlers_->retired.begin(), handlers_->retired.end(), s) == handlers_->retired.end())
                handlers_->retired.push_back(s);
        }
    }
    socket_ = nullptr;
}

void TClientSocket::dispose(QTcpSocket *s)
{
    if (handlers_->depth == 0) {
        s->deleteLater();
        return;
    }
    auto &retired = handlers_->retired;
    if (std::find(retired.begin(), retired.end(), s) == retired.end()) retired.push_back(s);
}

void TClientSocket::attach(QTcpSocket *s)
{
    // Events reported while Open() is still starting the attempt are handled
    // once it has returned, like every other event.
    // (The socket is the timer's context: nothing runs once it is gone.)
    auto later = [this, s](std::function<void()> f) {
        if (!opening_) return f();
        QTimer::singleShot(0, s, std::move(f));
    };
    // Every handler of the socket's signals runs inside a HandlerScope: the
    // socket is not deleted while its emission is on the stack.
    const std::shared_ptr<Handlers> h = handlers_;
    connect(s, &QTcpSocket::connected, this, [this, s, later, h] {
        HandlerScope scope(h);
        later([this, s] { handleConnected(s); });
    });
    // Reads are handled as the socket reports them, through channelReadyRead:
    // unlike readyRead, the socket raises it also while one of its handlers
    // is still running, so a handler that opens a modal box (a nested event
    // loop) still hears of the bytes that arrive meanwhile. (No detour
    // through the event queue: that costs one more turn of the loop for
    // every block of a transfer.)
    connect(s, &QTcpSocket::channelReadyRead, this, [this, s, h](int) {
        HandlerScope scope(h);
        handleReadyRead(s);
    });
    connect(s, &QTcpSocket::disconnected, this, [this, s, later, h] {
        HandlerScope scope(h);
        later([this, s] { handleDisconnected(s); });
    });
    connect(s, &QTcpSocket::errorOccurred, this, [this, s, later, h](QAbstractSocket::SocketError e) {
        if (s != socket_) return;
        HandlerScope scope(h);
        const QString text = s->errorString();
        later([this, s, e, text] {
            if (s == socket_) SocketFailed(e, text);
        });
    });
}

QTcpSocket *TClientSocket::detach()
{
    QTcpSocket *s = socket_;
    if (!s) return nullptr;
    socket_ = nullptr;
    const bool wasConnected = connected_;
    connected_ = false;
    QObject::disconnect(s, nullptr, this, nullptr);
    if (wasConnected && s->state() == QAbstractSocket::ConnectedState) {
        // What was queued still goes out; the socket closes and goes away
        // once it has been written.
        // (Both inside the socket's own emission: a handler scope.)
        const std::shared_ptr<Handlers> h = handlers_;
        connect(s, &QTcpSocket::disconnected, s, [this, s, h] {
            HandlerScope scope(h);
            dispose(s);
        });
        connect(s, &QTcpSocket::errorOccurred, s, [this, s, h] {
            HandlerScope scope(h);
            s->abort();
            dispose(s);
        });
        s->flush();
        s->disconnectFromHost();
        if (s->state() == QAbstractSocket::UnconnectedState) dispose(s);
    } else {
        s->abort();
        dispose(s);
    }
    return s;
}

void TClientSocket::Open()
{
    if (socket_) return;
    if (Address.empty() && Host.empty()) throw SocketError("No address specified");

    auto *s = new QTcpSocket(this);
    s->setProxy(QNetworkProxy::NoProxy);
    attach(s);
    socket_ = s;
    connected_ = false;

    quint32 ip = 0;
    const bool byAddress = !Address.empty();
    if ((byAddress && !parseDottedIPv4(Address, ip)) || Port < 0 || Port > 65535) {
        QTimer::singleShot(0, s, [this, s] {
            if (s == socket_) connectFailed(s, kAddressNotAvailable);
        });
        return;
    }
    opening_ = true;
    if (byAddress)
        s->connectToHost(QHostAddress(ip), quint16(Port));
    else // looked up by Qt; a name it cannot find fails as HostNotFoundError
        s->connectToHost(QString::fromStdString(Host), quint16(Port));
    opening_ = false;
}

void TClientSocket::Close()
{
    // A close made by the program raises the disconnect event like a close
    // by the host, also while the connection attempt is still under way.
    if (!detach()) return;
    raiseDisconnect();
}

void TClientSocket::raiseDisconnect()
{
    Guarded([&] {
        if (OnDisconnect) OnDisconnect();
    });
}

void TClientSocket::connectFailed(QTcpSocket *s, int code)
{
    if (s != socket_) return;
    detach();
    Guarded([&] {
        int errorCode = code;
        if (OnError) OnError(TErrorEvent::eeConnect, errorCode);
        if (errorCode != 0) throw SocketError(Format("Asynchronous socket error %d", errorCode));
    });
}

void TClientSocket::handleConnected(QTcpSocket *s)
{
    if (s != socket_) return;
    connected_ = true;
    Guarded([&] {
        if (OnConnect) OnConnect();
    });
}

void TClientSocket::handleReadyRead(QTcpSocket *s)
{
    if (s != socket_ || !connected_) return;
    Guarded([&] {
        if (OnRead) OnRead();
    });
}

void TClientSocket::handleDisconnected(QTcpSocket *s)
{
    if (s != socket_ || !connected_) return;
    // Bytes that came with the close are read first, as they arrived first.
    if (s->bytesAvailable() > 0) handleReadyRead(s);
    if (s != socket_) return; // the read handler closed the connection itself
    detach();
    raiseDisconnect();
}

void TClientSocket::SocketFailed(QAbstractSocket::SocketError error, const QString &text)
{
    QTcpSocket *s = socket_;
    if (!s) return;
    const int code = WinSockCode(error, text);
    if (!connected_) {
        connectFailed(s, code);
        return;
    }
    // An orderly close by the host is not an error: the disconnect follows.
    if (error == QAbstractSocket::RemoteHostClosedError) return;
    const bool sending = s->bytesToWrite() > 0;
    Guarded([&] {
        refused(sending ? TErrorEvent::eeSend : TErrorEvent::eeReceive, code, sending ? "send" : "recv");
    });
}

void TClientSocket::refused(TErrorEvent kind, int code, const char *api)
{
    int errorCode = code;
    Guarded([&] {
        if (OnError) OnError(kind, errorCode);
    });
    Close();
    if (errorCode != 0)
        throw SocketError("Windows socket error: " + WinSockMessage(errorCode) + " (" +
                          std::to_string(errorCode) + "), on API '" + api + "'");
}

int TClientSocket::SendBuf(const char *data, int count)
{
    if (!Connected() || count <= 0) return 0;
    const qint64 written = socket_->write(data, count);
    if (written < 0) {
        refused(TErrorEvent::eeSend, WinSockCode(socket_->error(), socket_->errorString()), "send");
        return 0;
    }
    // Push out what the system takes now; the rest stays queued in the
    // socket and goes out as soon as the system can take it.
    socket_->flush();
    return int(written);
}

int TClientSocket::SendQueued() const { return socket_ ? int(socket_->bytesToWrite()) : 0; }

int TClientSocket::ReceiveLength() const
{
    return Connected() ? int(socket_->bytesAvailable()) : 0;
}

int TClientSocket::ReceiveBuf(char *buffer, int count)
{
    if (!Connected() || count <= 0) return 0;
    const qint64 n = socket_->read(buffer, count);
    if (n < 0) {
        refused(TErrorEvent::eeReceive, WinSockCode(socket_->error(), socket_->errorString()), "recv");
        return 0;
    }
    return int(n);
}

std::string TClientSocket::ReceiveAll()
{
    std::string out;
    const int n = ReceiveLength();
    if (n <= 0) return out;
    out.resize(size_t(n));
    out.resize(size_t(ReceiveBuf(out.data(), n)));
    return out;
}

int TClientSocket::WinSockCode(QAbstractSocket::SocketError error, const QString &text)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError: return 10061;
    case QAbstractSocket::RemoteHostClosedError: return 10054;
    case QAbstractSocket::HostNotFoundError: return 11001;
    case QAbstractSocket::SocketAccessError: return 10013;
    case QAbstractSocket::SocketResourceError: return 10055;
    case QAbstractSocket::SocketTimeoutError: return 10060;
    case QAbstractSocket::DatagramTooLargeError: return 10040;
    case QAbstractSocket::AddressInUseError: return 10048;
    case QAbstractSocket::SocketAddressNotAvailableError: return 10049;
    case QAbstractSocket::UnsupportedSocketOperationError: return 10047;
    case QAbstractSocket::UnfinishedSocketOperationError: return 10036;
    case QAbstractSocket::TemporaryError: return 10035;
    case QAbstractSocket::OperationError: return 10022;
    case QAbstractSocket::ProxyConnectionRefusedError: return 10061;
    case QAbstractSocket::ProxyConnectionClosedError: return 10054;
    case QAbstractSocket::ProxyConnectionTimeoutError: return 10060;
    case QAbstractSocket::ProxyNotFoundError: return 11001;
    case QAbstractSocket::NetworkError: {
        // Qt folds several system errors into this one; its text tells them
        // apart.
        const QString t = text.toLower();
        if (t.contains("timed out")) return 10060;
        if (t.contains("host unreachable")) return 10065;
        if (t.contains("unreachable")) return 10051;
        if (t.contains("in use")) return 10048;
        if (t.contains("reset")) return 10054;
        return 10050;
    }
    default: return 10050;
    }
}

std::string TClientSocket::WinSockMessage(int code)
{
    switch (code) {
    case 10013: return "An attempt was made to access a socket in a way forbidden by its access permissions.";
    case 10022: return "An invalid argument was supplied.";
    case 10035: return "A non-blocking socket operation could not be completed immediately.";
    case 10036: return "A blocking operation is currently executing.";
    case 10038: return "An operation was attempted on something that is not a socket.";
    case 10040:
        return "A message sent on a datagram socket was larger than the internal message buffer or some "
               "other network limit, or the buffer used to receive a datagram into was smaller than the "
               "datagram itself.";
    case 10047: return "An address incompatible with the requested protocol was used.";
    case 10048: return "Only one usage of each socket address (protocol/network address/port) is normally permitted.";
    case 10049: return "The requested address is not valid in its context.";
    case 10050: return "A socket operation encountered a dead network.";
    case 10051: return "A socket operation was attempted to an unreachable network.";
    case 10053: return "An established connection was aborted by the software in your host machine.";
    case 10054: return "An existing connection was forcibly closed by the remote host.";
    case 10055:
        return "An operation on a socket could not be performed because the system lacked sufficient "
               "buffer space or because a queue was full.";
    case 10057:
        return "A request to send or receive data was disallowed because the socket is not connected.";
    case 10060:
        return "A connection attempt failed because the connected party did not properly respond after a "
               "period of time, or established connection failed because connected host has failed to "
               "respond.";
    case 10061: return "No connection could be made because the target machine actively refused it.";
    case 10065: return "A socket operation was attempted to an unreachable host.";
    case 11001: return "No such host is known.";
    default: return "Unknown error";
    }
}

} // namespace fm
