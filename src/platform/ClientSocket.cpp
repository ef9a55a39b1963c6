#include "platform/ClientSocket.h"

#include "common/errors.h"
#include "common/guard.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>
#include <QDeadlineTimer>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <vector>

#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

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
constexpr int kHostNotFound = 11001;

// One receive takes at most this much. The bytes received and not yet
// taken by the program never exceed kReadBuffered: a connection whose
// handler does not take them is not read until it does (the rest waits in
// the system, and the peer is held back).
constexpr size_t kReadChunk = 64 * 1024;
constexpr size_t kReadBuffered = 1024 * 1024;

// Fills `ss` with the address and port; its length, or 0 for an address
// that is neither IPv4 nor IPv6.
socklen_t sockAddressOf(const QHostAddress &address, quint16 port, sockaddr_storage &ss)
{
    std::memset(&ss, 0, sizeof ss);
    if (address.protocol() == QAbstractSocket::IPv4Protocol) {
        auto &a = reinterpret_cast<sockaddr_in &>(ss);
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(address.toIPv4Address());
        return sizeof a;
    }
    if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        auto &a = reinterpret_cast<sockaddr_in6 &>(ss);
        a.sin6_family = AF_INET6;
        a.sin6_port = htons(port);
        const Q_IPV6ADDR ip = address.toIPv6Address();
        std::memcpy(&a.sin6_addr, &ip, sizeof ip);
        const QString scope = address.scopeId();
        if (!scope.isEmpty()) {
            bool numeric = false;
            a.sin6_scope_id = scope.toUInt(&numeric);
            if (!numeric) a.sin6_scope_id = ::if_nametoindex(scope.toLocal8Bit().constData());
        }
        return sizeof a;
    }
    return 0;
}

} // namespace

struct TClientSocket::Handlers {
    int depth = 0;
    std::vector<Link *> retired;
    // Deletes a connection that is done once no handler of a connection
    // runs, else retires it until the outermost one has returned.
    void dispose(Link *l);
};

// Counts a handler of a connection's notifiers (or timers) while it runs;
// when the outermost one returns, the connections let go meanwhile go to
// deleteLater. Posted from here, the deletion runs once control is back in
// the event loop that dispatched the handler.
class TClientSocket::HandlerScope {
public:
    explicit HandlerScope(const std::shared_ptr<Handlers> &h) : h_(h) { ++h_->depth; }
    ~HandlerScope();
    HandlerScope(const HandlerScope &) = delete;
    HandlerScope &operator=(const HandlerScope &) = delete;

private:
    std::shared_ptr<Handlers> h_; // kept: a handler may destroy the TClientSocket
};

// One connection attempt and, once established, the connection: the
// descriptor, a notifier for each direction (reused for every address
// tried), the timer, the bytes received and not yet taken and the bytes
// queued and not yet sent. `owner` is set while it is the owner's current
// connection; a connection let go with bytes still queued goes on sending
// them, reading and dropping what arrives, and closes once they are sent,
// the peer resets it, or kCloseTimeoutMs have passed. The timer limits the
// attempt (the name look-up included) while connecting, and the close once
// let go.
class TClientSocket::Link : public QObject {
public:
    Link(QObject *parent, std::shared_ptr<Handlers> h) : QObject(parent), handlers(std::move(h))
    {
        setObjectName(QStringLiteral("connection"));
        readNotifier = new QSocketNotifier(QSocketNotifier::Read, this);
        writeNotifier = new QSocketNotifier(QSocketNotifier::Write, this);
        readNotifier->setEnabled(false);
        writeNotifier->setEnabled(false);
        timer = new QTimer(this);
        timer->setSingleShot(true);
        timer->setTimerType(Qt::PreciseTimer); // a coarse one may end the attempt early
        // A readiness goes to the owner while there is one, else to the close.
        const auto route = [this](QSocketNotifier *n, void (TClientSocket::*owned)(Link *), void (Link::*closing)()) {
            QObject::connect(n, &QSocketNotifier::activated, this, [this, owned, closing] {
                HandlerScope scope(handlers);
                if (TClientSocket *o = owner)
                    (o->*owned)(this);
                else
                    (this->*closing)();
            });
        };
        route(readNotifier, &TClientSocket::readable, &Link::readWhileClosing);
        route(writeNotifier, &TClientSocket::writable, &Link::writeWhileClosing);
        QObject::connect(timer, &QTimer::timeout, this, [this] {
            HandlerScope scope(handlers);
            if (TClientSocket *o = owner)
                o->attemptFailed(this, ETIMEDOUT);
            else
                finish(); // the peer took too long to take what was queued
        });
    }
    ~Link() override { closeDescriptor(); }

    QPointer<TClientSocket> owner;
    std::shared_ptr<Handlers> handlers;
    std::vector<QHostAddress> addresses;
    size_t nextAddress = 0;
    quint16 port = 0;
    int lastError = 0;
    int fd = -1;
    // A send the system refused inside SendBuf, raised from the event loop.
    int sendFailure = 0;
    // The read handler runs (and may run a box): the connection is not read
    // meanwhile, so that the handler is never entered again from inside.
    bool inRead = false;
    // The attempt's deadline: the name look-up and the first address share it.
    QDeadlineTimer deadline;
    QSocketNotifier *readNotifier;
    QSocketNotifier *writeNotifier;
    QTimer *timer;
    std::string in;
    std::string out;
    size_t outAt = 0;

    size_t queued() const { return out.size() - outAt; }

    // Starts a connection to `address`: 0 connected at once, EINPROGRESS
    // under way, else the system's error (the descriptor is then closed).
    int connectTo(const QHostAddress &address)
    {
        sockaddr_storage ss;
        const socklen_t len = sockAddressOf(address, port, ss);
        if (len == 0) return EAFNOSUPPORT;
        fd = ::socket(ss.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) return errno;
        readNotifier->setSocket(fd);
        writeNotifier->setSocket(fd);
        if (::connect(fd, reinterpret_cast<const sockaddr *>(&ss), len) == 0) return 0;
        const int e = errno;
        // An interrupted connect goes on in the background, as one under way.
        if (e == EINPROGRESS || e == EINTR) return EINPROGRESS;
        closeDescriptor();
        return e;
    }

    // The outcome of a connection attempt that has become writable.
    int connectError() const
    {
        int e = 0;
        socklen_t len = sizeof e;
        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &e, &len) != 0) return errno;
        return e;
    }

    // Reads what the system holds into `in`, up to kReadBuffered bytes not
    // yet taken: the bytes read, whether the peer ended the connection, and
    // the system's error (0 when none).
    int receive(size_t &got, bool &ended)
    {
        got = 0;
        ended = false;
        while (in.size() < kReadBuffered) {
            const size_t at = in.size();
            const size_t room = std::min(kReadChunk, kReadBuffered - at);
            in.resize(at + room);
            const ssize_t n = ::recv(fd, in.data() + at, room, 0);
            const int e = errno;
            in.resize(at + (n > 0 ? size_t(n) : 0));
            if (n > 0) {
                got += size_t(n);
                continue;
            }
            if (n == 0) {
                ended = true;
                return 0;
            }
            if (e == EINTR) continue;
            if (e == EAGAIN || e == EWOULDBLOCK) return 0;
            return e;
        }
        return 0;
    }

    // Sends what is queued as far as the system takes it; the write notifier
    // stays on while bytes remain. The system's error, or 0.
    int flush()
    {
        while (outAt < out.size()) {
            const ssize_t n = ::send(fd, out.data() + outAt, out.size() - outAt, MSG_NOSIGNAL);
            if (n > 0) {
                outAt += size_t(n);
                continue;
            }
            const int e = n < 0 ? errno : EPIPE;
            if (e == EINTR) continue;
            if (e == EAGAIN || e == EWOULDBLOCK) {
                if (outAt >= kReadBuffered) {
                    out.erase(0, outAt);
                    outAt = 0;
                }
                writeNotifier->setEnabled(true);
                return 0;
            }
            return e;
        }
        out.clear();
        outAt = 0;
        writeNotifier->setEnabled(false);
        return 0;
    }

    void closeDescriptor()
    {
        timer->stop();
        readNotifier->setEnabled(false);
        writeNotifier->setEnabled(false);
        if (fd >= 0) ::close(fd);
        fd = -1;
    }

    // Closes the connection: what the system still holds for it is read and
    // dropped first, so that the close is an orderly one; then the
    // connection is disposed of.
    void finish()
    {
        if (fd >= 0) {
            char sink[4096];
            for (int i = 0; i < 256; ++i) {
                const ssize_t n = ::recv(fd, sink, sizeof sink, 0);
                if (n > 0 || (n < 0 && errno == EINTR)) continue;
                break;
            }
        }
        closeDescriptor();
        in.clear();
        out.clear();
        outAt = 0;
        handlers->dispose(this);
    }

    void readWhileClosing()
    {
        size_t got = 0;
        bool ended = false;
        const int e = receive(got, ended); // `in` is emptied when the connection is let go
        in.clear();
        if (e != 0) {
            finish();
            return;
        }
        if (ended) {
            readNotifier->setEnabled(false); // the peer may still take what is queued
            if (queued() == 0) finish();
        }
    }

    void writeWhileClosing()
    {
        if (flush() != 0 || queued() == 0) finish();
    }
};

TClientSocket::HandlerScope::~HandlerScope()
{
    if (--h_->depth > 0) return;
    std::vector<Link *> retired;
    retired.swap(h_->retired);
    for (Link *l : retired) l->deleteLater();
}

void TClientSocket::Handlers::dispose(Link *l)
{
    if (depth == 0) {
        l->deleteLater();
        return;
    }
    if (std::find(retired.begin(), retired.end(), l) == retired.end()) retired.push_back(l);
}

TClientSocket::TClientSocket(QObject *parent) : QObject(parent), handlers_(std::make_shared<Handlers>()) {}

TClientSocket::~TClientSocket()
{
    // No event may reach the handlers while the connections go away; what
    // was queued is dropped.
    const auto links = findChildren<QObject *>(QStringLiteral("connection"), Qt::FindDirectChildrenOnly);
    for (QObject *o : links) {
        auto *l = static_cast<Link *>(o);
        l->owner = nullptr;
        l->out.clear();
        l->outAt = 0;
        l->closeDescriptor();
        if (handlers_->depth == 0) {
            delete l;
        } else {
            // Destroyed from inside a handler of one of the connections: they
            // outlive this object until that handler returns.
            l->setParent(nullptr);
            handlers_->dispose(l);
        }
    }
    socket_ = nullptr;
}

void TClientSocket::post(Link *l, std::function<void(TClientSocket &)> f)
{
    QTimer::singleShot(0, l, [l, f = std::move(f)] {
        HandlerScope scope(l->handlers);
        if (TClientSocket *o = l->owner) f(*o);
    });
}

void TClientSocket::later(Link *l, std::function<void(TClientSocket &)> f)
{
    if (!opening_) return f(*this);
    post(l, std::move(f));
}

namespace {

// Raises an event through a copy of its handler: a handler may destroy the
// socket, and with it the handler it was called through.
template <class Handler, class... Args>
void Raise(const Handler &handler, Args &&...args)
{
    if (!handler) return;
    const Handler call = handler;
    call(std::forward<Args>(args)...);
}

TClientSocket::NameLookup &LookupOverride()
{
    static TClientSocket::NameLookup lookup;
    return lookup;
}

// What is left of a deadline, in milliseconds.
int RemainingMs(const QDeadlineTimer &deadline)
{
    return int(std::clamp<qint64>(deadline.remainingTime(), 0, std::numeric_limits<int>::max()));
}

} // namespace

void TClientSocket::SetNameLookup(NameLookup lookup) { LookupOverride() = std::move(lookup); }

void TClientSocket::lookUp(Link *l, const QString &name)
{
    const auto found = [l](const QList<QHostAddress> &addresses) {
        HandlerScope scope(l->handlers);
        TClientSocket *o = l->owner;
        if (!o || l != o->socket_ || o->connected_) return;
        l->timer->stop();
        if (addresses.isEmpty()) {
            o->connectFailed(l, kHostNotFound);
            return;
        }
        l->addresses.assign(addresses.begin(), addresses.end());
        o->startAttempt(l);
    };
    if (const NameLookup &lookup = LookupOverride()) {
        lookup(name, l, found);
        return;
    }
    QHostInfo::lookupHost(name, l, [found](const QHostInfo &info) {
        found(info.error() == QHostInfo::NoError ? info.addresses() : QList<QHostAddress>());
    });
}

void TClientSocket::Open()
{
    if (socket_) return;
    if (Address.empty() && Host.empty()) throw SocketError("No address specified");

    auto *l = new Link(this, handlers_);
    l->owner = this;
    socket_ = l;
    connected_ = false;

    quint32 ip = 0;
    const bool byAddress = !Address.empty();
    if ((byAddress && !parseDottedIPv4(Address, ip)) || Port < 0 || Port > 65535) {
        post(l, [l](TClientSocket &o) { o.connectFailed(l, kAddressNotAvailable); });
        return;
    }
    l->port = quint16(Port);
    // The attempt's time limit runs from here: a name look-up is part of it.
    l->deadline = QDeadlineTimer(kConnectTimeoutMs, Qt::PreciseTimer);
    // Events of the attempt are handled once Open() has returned, like
    // every other event.
    opening_ = true;
    const QString host = QString::fromStdString(Host);
    QHostAddress literal;
    if (byAddress) {
        l->addresses = {QHostAddress(ip)};
        startAttempt(l);
    } else if (literal.setAddress(host)) {
        // An address given as the host is taken as it stands: looking it up
        // would only ask the name servers for its name.
        l->addresses = {literal};
        startAttempt(l);
    } else {
        l->timer->start(RemainingMs(l->deadline));
        lookUp(l, host);
    }
    opening_ = false;
}

void TClientSocket::startAttempt(Link *l)
{
    while (l->nextAddress < l->addresses.size()) {
        // The first address has what the look-up left of the time limit,
        // every further one a limit of its own.
        if (l->nextAddress > 0) l->deadline.setRemainingTime(kConnectTimeoutMs, Qt::PreciseTimer);
        const int e = l->connectTo(l->addresses[l->nextAddress++]);
        if (e == 0) {
            later(l, [l](TClientSocket &o) { o.connectionReady(l); });
            return;
        }
        if (e == EINPROGRESS) {
            l->writeNotifier->setEnabled(true); // writable once the attempt is decided
            l->timer->start(RemainingMs(l->deadline));
            return;
        }
        l->lastError = e;
    }
    const int code = WinSockCode(l->lastError);
    later(l, [l, code](TClientSocket &o) { o.connectFailed(l, code); });
}

void TClientSocket::connectionReady(Link *l)
{
    if (l != socket_ || connected_) return;
    l->timer->stop();
    const int e = l->connectError();
    if (e != 0) {
        attemptFailed(l, e);
        return;
    }
    l->writeNotifier->setEnabled(false);
    l->readNotifier->setEnabled(true);
    handleConnected(l);
}

void TClientSocket::attemptFailed(Link *l, int systemError)
{
    if (l != socket_ || connected_) return;
    l->closeDescriptor();
    l->lastError = systemError;
    startAttempt(l); // the next address, or the failure
}

void TClientSocket::resumeReading(Link *l)
{
    if (l != socket_ || !connected_ || l->inRead) return;
    l->readNotifier->setEnabled(l->in.size() < kReadBuffered);
}

void TClientSocket::readable(Link *l)
{
    if (l != socket_ || !connected_ || l->inRead) return;
    // A refused send comes first: the system tells its error only once, and
    // a read after it may look like an orderly end.
    if (l->sendFailure != 0) {
        writable(l);
        return;
    }
    size_t got = 0;
    bool ended = false;
    const int failure = l->receive(got, ended);
    // Bytes that came with a close or an error are offered first, as they
    // arrived first.
    if (got > 0) {
        QPointer<TClientSocket> self(this);
        // The read handler is never entered again while it runs (it may run
        // a box): the connection is not read until it has returned, and what
        // arrives meanwhile waits in the system.
        l->inRead = true;
        l->readNotifier->setEnabled(false);
        Guarded([&] { Raise(OnRead); });
        l->inRead = false; // the connection outlives the handler, whatever it did
        // The socket is gone, or the handler closed the connection itself.
        if (!self || l != socket_) return;
    }
    if (failure != 0) {
        const int code = WinSockCode(failure);
        Guarded([&] { refused(l, TErrorEvent::eeReceive, code, "recv"); });
        return;
    }
    if (ended) {
        handleDisconnected(l);
        return;
    }
    resumeReading(l);
}

void TClientSocket::writable(Link *l)
{
    if (l != socket_) return;
    if (!connected_) {
        connectionReady(l);
        return;
    }
    const int e = l->sendFailure != 0 ? l->sendFailure : l->flush();
    if (e != 0) Guarded([&] { refused(l, TErrorEvent::eeSend, WinSockCode(e), "send"); });
}

TClientSocket::Link *TClientSocket::detach()
{
    Link *l = socket_;
    if (!l) return nullptr;
    socket_ = nullptr;
    const bool wasConnected = connected_;
    connected_ = false;
    l->owner = nullptr;
    l->in.clear();
    if (wasConnected && l->fd >= 0 && l->queued() > 0) {
        // What was queued still goes out, for a while; the connection
        // closes and goes away once it has been sent, or at the limit.
        l->readNotifier->setEnabled(true);
        l->writeNotifier->setEnabled(true);
        l->timer->start(kCloseTimeoutMs);
        return l;
    }
    l->finish();
    return l;
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
    Guarded([&] { Raise(OnDisconnect); });
}

void TClientSocket::connectFailed(Link *l, int code)
{
    if (l != socket_) return;
    detach();
    int errorCode = code;
    Guarded([&] { Raise(OnError, TErrorEvent::eeConnect, errorCode); });
    // Only what is on the stack from here: the handler may have destroyed the socket.
    if (errorCode != 0)
        Guarded([errorCode] { throw SocketError(Format("Asynchronous socket error %d", errorCode)); });
}

void TClientSocket::handleConnected(Link *l)
{
    if (l != socket_) return;
    connected_ = true;
    Guarded([&] { Raise(OnConnect); });
}

void TClientSocket::handleDisconnected(Link *l)
{
    if (l != socket_ || !connected_) return;
    detach();
    raiseDisconnect();
}

void TClientSocket::SocketFailed(int systemError)
{
    Link *l = socket_;
    if (!l) return;
    const int code = WinSockCode(systemError);
    if (!connected_) {
        connectFailed(l, code);
        return;
    }
    const bool sending = l->queued() > 0;
    Guarded([&] {
        refused(l, sending ? TErrorEvent::eeSend : TErrorEvent::eeReceive, code, sending ? "send" : "recv");
    });
}

void TClientSocket::refused(Link *l, TErrorEvent kind, int code, const char *api)
{
    if (l != socket_) return;
    // The connection is let go before anybody hears of it: none of its
    // events can come while the handlers run (they may run boxes), so the
    // refusal is raised once, and nothing queued goes out any more.
    l->out.clear();
    l->outAt = 0;
    detach();
    QPointer<TClientSocket> self(this);
    int errorCode = code;
    Guarded([&] { Raise(OnError, kind, errorCode); });
    // The close that follows, as a close by the program: its disconnect event.
    if (self) raiseDisconnect();
    // Only what is on the stack from here: a handler may have destroyed the socket.
    if (errorCode != 0)
        throw SocketError("Windows socket error: " + WinSockMessage(errorCode) + " (" +
                          std::to_string(errorCode) + "), on API '" + api + "'");
}

int TClientSocket::SendBuf(const char *data, int count)
{
    if (!Connected() || count <= 0) return 0;
    Link *l = socket_;
    if (l->sendFailure != 0) return 0; // refused already; raised from the event loop
    l->out.append(data, size_t(count));
    // What the system takes now goes out now; the rest stays queued and
    // goes out as soon as the system can take it.
    const int e = l->flush();
    if (e != 0) {
        // Raised from the event loop, like every event of the socket, not
        // inside the caller's send.
        l->sendFailure = e;
        post(l, [l](TClientSocket &o) { o.writable(l); });
        return 0;
    }
    return count;
}

int TClientSocket::SendQueued() const { return socket_ ? int(socket_->queued()) : 0; }

int TClientSocket::ReceiveLength() const { return Connected() ? int(socket_->in.size()) : 0; }

int TClientSocket::ReceiveBuf(char *buffer, int count)
{
    if (!Connected() || count <= 0) return 0;
    std::string &in = socket_->in;
    const size_t n = std::min(in.size(), size_t(count));
    std::memcpy(buffer, in.data(), n);
    in.erase(0, n);
    resumeReading(socket_);
    return int(n);
}

std::string TClientSocket::ReceiveAll()
{
    if (!Connected()) return {};
    std::string out;
    out.swap(socket_->in);
    resumeReading(socket_);
    return out;
}

int TClientSocket::WinSockCode(int systemError)
{
    switch (systemError) {
    case EACCES:
    case EPERM: return 10013;
    case EINVAL: return 10022;
    case EAGAIN: return 10035;
    case EINPROGRESS: return 10036;
    case EALREADY: return 10037;
    case EBADF:
    case ENOTSOCK: return 10038;
    case EMSGSIZE: return 10040;
    case EAFNOSUPPORT:
    case EPROTONOSUPPORT:
    case EOPNOTSUPP: return 10047;
    case EADDRINUSE: return 10048;
    case EADDRNOTAVAIL: return 10049;
    case ENETDOWN: return 10050;
    case ENETUNREACH: return 10051;
    case ENETRESET: return 10052;
    case ECONNABORTED: return 10053;
    case ECONNRESET:
    case EPIPE: return 10054;
    case ENOBUFS:
    case ENOMEM:
    case EMFILE:
    case ENFILE: return 10055;
    case EISCONN: return 10056;
    case ENOTCONN: return 10057;
    case ESHUTDOWN: return 10058;
    case ETIMEDOUT: return 10060;
    case ECONNREFUSED: return 10061;
    case EHOSTDOWN: return 10064;
    case EHOSTUNREACH: return 10065;
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
    case 10037: return "An operation was attempted on a non-blocking socket that already had an operation in progress.";
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
    case 10052:
        return "The connection has been broken due to keep-alive activity detecting a failure while the "
               "operation was in progress.";
    case 10053: return "An established connection was aborted by the software in your host machine.";
    case 10054: return "An existing connection was forcibly closed by the remote host.";
    case 10055:
        return "An operation on a socket could not be performed because the system lacked sufficient "
               "buffer space or because a queue was full.";
    case 10056: return "A connect request was made on an already connected socket.";
    case 10057:
        return "A request to send or receive data was disallowed because the socket is not connected.";
    case 10058:
        return "A request to send or receive data was disallowed because the socket had already been shut "
               "down in that direction with a previous shutdown call.";
    case 10060:
        return "A connection attempt failed because the connected party did not properly respond after a "
               "period of time, or established connection failed because connected host has failed to "
               "respond.";
    case 10061: return "No connection could be made because the target machine actively refused it.";
    case 10064: return "A socket operation failed because the destination host was down.";
    case 10065: return "A socket operation was attempted to an unreachable host.";
    case 11001: return "No such host is known.";
    default: return "Unknown error";
    }
}

} // namespace fm
