#pragma once
// TClientSocket: the non-blocking, event-driven client socket of the window
// framework, over QTcpSocket.
//
// - Address is a dotted IPv4 address ("a.b.c.d"); no name look-up is made
//   for it. Host is a host name or a dotted address, looked up when Address
//   is empty; Address wins when both are set. Open() starts the connection
//   attempt and returns at once; the outcome arrives later as OnConnect or as
//   an error event of kind connect. With neither Address nor Host set, Open()
//   raises SocketError "No address specified" at once; an Address that is not
//   a dotted IPv4 address (or a port outside 0..65535) makes the attempt fail
//   with a connect error event (10049), a Host that cannot be found with one
//   of 11001.
// - Active() is true from Open() until the connection attempt fails or the
//   connection ends.
// - OnRead: bytes have arrived; the handler takes them with ReceiveBuf or
//   ReceiveAll. Raised as the socket reports them, also while an earlier
//   OnRead handler has a modal box open. Bytes that arrived just before the
//   connection ended are offered to OnRead before OnDisconnect.
// - OnDisconnect: the connection ended, raised the same way whether the host
//   closed it or the program did (Close(), also during the connection attempt); once per connection,
//   synchronously inside Close().
// - OnError(kind, errorCode): the error code is a Windows socket number
//   (10061 refused, 10054 reset, 10060 timed out, 10049 address not
//   available, 11001 host not found, ...). When the handler leaves it non-zero, the socket layer
//   afterwards raises SocketError "Asynchronous socket error %d" (a failed
//   connection attempt) or, for a refused send or read, closes the connection
//   (OnDisconnect) and raises "Windows socket error: %s (%d), on API '%s'".
// - SendBuf: bytes the system cannot take at once are kept and sent as soon
//   as it can; a close made by the program still sends what was queued
//   before it.
// Every event handler runs inside the guard (common/guard.h): an error it
// raises is shown in the application's error box.
#include <QAbstractSocket>
#include <QObject>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QTcpSocket;

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
    // 0 when no connection is established.
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
    // current connection (Qt's error and text). Called by the socket's own
    // error signal; public so that faults a loopback connection cannot
    // produce can be exercised.
    void SocketFailed(QAbstractSocket::SocketError error, const QString &text);

    // The Windows socket number for a Qt socket error, and the system's text
    // for a Windows socket number.
    static int WinSockCode(QAbstractSocket::SocketError error, const QString &text);
    static std::string WinSockMessage(int code);

private:
    // Handlers of the sockets' own signals run inside the socket's emission,
    // which touches the socket again once they return; a handler may run an
    // event loop meanwhile (a modal box). A socket let go while such a
    // handler runs is kept until the outermost one has returned (the state
    // outlives this object, which a handler may destroy).
    struct Handlers {
        int depth = 0;
        std::vector<QTcpSocket *> retired;
    };
    class HandlerScope;
    // Deletes a socket let go once no handler runs, else retires it.
    void dispose(QTcpSocket *s);

    void attach(QTcpSocket *s);
    // Detaches the current connection: no more events from it. A connection
    // that was established is closed after what was queued has been sent.
    QTcpSocket *detach();
    void connectFailed(QTcpSocket *s, int code);
    void handleConnected(QTcpSocket *s);
    void handleReadyRead(QTcpSocket *s);
    void handleDisconnected(QTcpSocket *s);
    // A send or read the system refused: error event, the connection ends,
    // then the socket layer's own error naming the call.
    void refused(TErrorEvent kind, int code, const char *api);
    void raiseDisconnect();

    QTcpSocket *socket_ = nullptr;
    bool connected_ = false;
    bool opening_ = false;
    std::shared_ptr<Handlers> handlers_ = std::make_shared<Handlers>();
};

} // namespace fm
