#pragma once
// TClientSocket: the non-blocking, event-driven client socket of the window
// framework, over the system's own sockets: a non-blocking ::socket, whose
// ::connect, ::recv and ::send are watched by QSocketNotifier, so that every
// error is known by the system's error number of the call that failed.
//
// - Address is a dotted IPv4 address ("a.b.c.d"); no name look-up is made
//   for it. Host is a host name or an address (IPv4 or IPv6), used when
//   Address is empty; Address wins when both are set. An address given as
//   Host is taken as it stands, with no look-up; a name is looked up, and
//   the look-up counts against the attempt's time limit. Open() starts the
//   connection attempt and returns at once; the outcome arrives later as
//   OnConnect or as an error event of kind connect. With neither Address nor
//   Host set, Open() raises SocketError "No address specified" at once; an
//   Address that is not a dotted IPv4 address (or a port outside 0..65535)
//   makes the attempt fail with a connect error event (10049), a Host that
//   cannot be found with one of 11001. A name with several addresses has
//   them tried in turn; the error of the last one is reported. An attempt
//   that has not completed after kConnectTimeoutMs (for the first address
//   counted from Open(), look-up included; for each further address from
//   its own start) fails with 10060.
// - Active() is true from Open() until the connection attempt fails or the
//   connection ends.
// - OnRead: bytes have arrived; the handler takes them with ReceiveBuf or
//   ReceiveAll. Never raised again while an OnRead handler runs (it may run
//   a modal box): the connection is not read until the handler returns, and
//   what arrives meanwhile waits in the system. Bytes received and not taken
//   are kept up to 1 MiB; beyond that the connection is not read until the
//   program takes some. Bytes that arrived just before the connection ended
//   are offered to OnRead before OnDisconnect.
// - OnDisconnect: the connection ended, raised the same way whether the host
//   closed it or the program did (Close(), also during the connection
//   attempt); once per connection, synchronously inside Close().
// - OnError(kind, errorCode): the error code is the Windows socket number of
//   the system's error (the errno of the failed call, or SO_ERROR of a failed
//   connection attempt; see WinSockCode): 10061 refused, 10054 reset, 10060
//   timed out, 10065 host unreachable, 10051 network unreachable, 10048 in
//   use, 10049 address not available, 11001 host not found, ... When the
//   handler leaves it non-zero, the socket layer afterwards raises SocketError
//   "Asynchronous socket error %d" (a failed connection attempt) or, for a
//   refused send or read, "Windows socket error: %s (%d), on API '%s'". A
//   refused send or read is raised once per connection: the connection is
//   let go first (no further event of it, nothing queued goes out), then
//   OnError, then OnDisconnect (the close), then the socket layer's error. A
//   connection the host resets (an RST rather than an orderly close) is a
//   refused read. A send the system refuses inside SendBuf is raised from
//   the event loop, not inside the caller.
// - SendBuf: bytes the system cannot take at once are kept and sent as soon
//   as it can; a close made by the program still sends what was queued
//   before it, for at most kCloseTimeoutMs, then the connection is dropped.
// - A handler may destroy the TClientSocket, inside any event.
// Every event handler runs inside the guard (common/guard.h): an error it
// raises is shown in the application's error box.
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <string>

namespace fm {

enum class TErrorEvent { eeGeneral, eeSend, eeReceive, eeConnect, eeDisconnect, eeAccept };

class TClientSocket : public QObject {
public:
    explicit TClientSocket(QObject *parent = nullptr);
    ~TClientSocket() override;

    std::string Address;
    std::string Host;
    int Port = 0;

    std::function<void()> OnConnect;
    std::function<void()> OnRead;
    std::function<void()> OnDisconnect;
    std::function<void(TErrorEvent kind, int &errorCode)> OnError;

    bool Active() const { return socket_ != nullptr; }
    // The connection is established (not merely being attempted).
    bool Connected() const { return socket_ != nullptr && connected_; }

    void Open();
    void Close();

    // Queues bytes for sending; returns the number taken (all of them), or
    // 0 when no connection is established or the system refused the send.
    int SendBuf(const char *data, int count);
    int SendText(const std::string &bytes) { return SendBuf(bytes.data(), int(bytes.size())); }

    // Bytes taken by SendBuf that the system has not taken yet.
    int SendQueued() const;

    // Bytes waiting to be read.
    int ReceiveLength() const;
    // Reads at most `count` bytes; returns how many were read.
    int ReceiveBuf(char *buffer, int count);
    // Reads everything waiting.
    std::string ReceiveAll();

    // The socket layer's reaction to an error the system reported on the
    // current connection, `systemError` being the errno of the failed call:
    // during the connection attempt the attempt fails (connect kind); on an
    // established connection it is a refused send (when bytes are still
    // queued) or read. Public so that faults a loopback connection cannot
    // produce can be exercised.
    void SocketFailed(int systemError);

    // The Windows socket number for a system error number (errno); 10050
    // for one without a counterpart. And the system's text for a Windows
    // socket number.
    static int WinSockCode(int systemError);
    static std::string WinSockMessage(int code);

    // How long an attempt to connect to one address may take.
    static constexpr int kConnectTimeoutMs = 30000;
    // How long a connection the program closed may go on sending what was
    // queued before it.
    static constexpr int kCloseTimeoutMs = 10000;

    // How host names are looked up: `found` gets the addresses (none when
    // the name is unknown) and must not be called once `context` is
    // destroyed. The system's resolver (QHostInfo) unless replaced; nullptr
    // restores it. For tests that need a name server that never answers.
    using NameLookup = std::function<void(const QString &name, QObject *context,
                                          std::function<void(const QList<QHostAddress> &)> found)>;
    static void SetNameLookup(NameLookup lookup);

private:
    // One connection: its descriptor, notifiers and buffers. A child of
    // this socket named "connection" while it exists.
    class Link;
    // Handlers of a connection's notifiers run while the notifier's
    // activation is on the stack, and a handler may run an event loop
    // meanwhile (a modal box). A connection let go while such a handler runs
    // is kept until the outermost one has returned (the state outlives this
    // object, which a handler may destroy).
    struct Handlers;
    class HandlerScope;

    void lookUp(Link *l, const QString &name);
    // Tries the link's addresses from the next untried one on.
    void startAttempt(Link *l);
    // Runs `f` with the connection's owner from the event loop, unless the
    // connection has been let go by then.
    void post(Link *l, std::function<void(TClientSocket &)> f);
    // Runs `f` now, or as post() when called from inside Open().
    void later(Link *l, std::function<void(TClientSocket &)> f);
    void connectionReady(Link *l);
    void attemptFailed(Link *l, int systemError);
    void readable(Link *l);
    // Reads the current connection again unless its read handler runs or
    // what it holds untaken is at the bound.
    void resumeReading(Link *l);
    void writable(Link *l);
    // Detaches the current connection: no more events from it. A connection
    // that was established is closed after what was queued has been sent.
    Link *detach();
    void connectFailed(Link *l, int code);
    void handleConnected(Link *l);
    void handleDisconnected(Link *l);
    // A send or read the system refused: error event, the connection ends,
    // then the socket layer's own error naming the call.
    void refused(Link *l, TErrorEvent kind, int code, const char *api);
    void raiseDisconnect();

    Link *socket_ = nullptr;
    bool connected_ = false;
    bool opening_ = false;
    std::shared_ptr<Handlers> handlers_;
};

} // namespace fm
