#pragma once
// The updater's client socket: non-blocking and event driven, over
// QTcpSocket, with the behaviour of the window framework's client socket.
//
// - Address or Host (a dotted address or a host name; Address wins when both
//   are set) and Port name the peer. Open() starts the connection attempt
//   and returns at once; the outcome arrives as OnConnect or as an error
//   event of kind Connect. With neither Address nor Host set, Open() raises
//   SocketError "No address specified".
// - OnRead: bytes have arrived; the handler takes them with ReceiveText().
// - OnDisconnect: the established connection ended, raised the same way
//   whether the host closed it or the program did; Close() raises it before
//   it returns. Once per connection.
// - OnError(kind, errorCode): errorCode is a Windows socket number (10061
//   refused, 10060 timed out, 11001 host not found, 10054 reset, ...). When
//   the handler leaves it non-zero, the socket layer afterwards raises its
//   own error: "Asynchronous socket error %d" for an error reported with a
//   socket event (a failed connection attempt); for a read or send the
//   system refused on an established connection the connection is first
//   closed (OnDisconnect) and then "Windows socket error: %s (%d), on API
//   '%s'" is raised.
// Every event handler runs inside the guard: an error it raises, and the
// socket layer's own errors, are shown in the application's error box.
#include <QAbstractSocket>
#include <QObject>
#include <QPointer>
#include <QTcpSocket>

#include <functional>
#include <string>
#include <vector>

namespace fm::upd {

enum class SockErrorKind { General, Send, Receive, Connect, Disconnect, Accept };

class VersionSocket : public QObject {
public:
    explicit VersionSocket(QObject *parent = nullptr);
    ~VersionSocket() override;

    std::string Address;
    std::string Host;
    int Port = 0;

    std::function<void()> OnConnect;
    std::function<void()> OnRead;
    std::function<void()> OnDisconnect;
    std::function<void(SockErrorKind kind, int &errorCode)> OnError;

    // From Open() until the attempt fails or the connection ends.
    bool Active() const { return socket_ != nullptr; }
    bool Connected() const { return socket_ != nullptr && connected_; }

    void Open();
    void Close();

    // Sends the bytes (queued while the system cannot take them at once);
    // nothing happens without an established connection.
    void SendText(const std::string &bytes);
    // Everything that has arrived and not been read yet.
    std::string ReceiveText();

    // The socket layer's reaction to an error the system reported on the
    // current connection. Called by the socket's error signal; public so
    // that faults a loopback connection cannot produce can be exercised.
    void SocketFailed(QAbstractSocket::SocketError error);

    // The Windows socket number for a Qt socket error, and its text.
    static int WinSockCode(QAbstractSocket::SocketError error);
    static std::string WinSockMessage(int code);

private:
    void detach();
    void handleConnected();
    void handleReadyRead();
    void handleDisconnected();
    void raiseDisconnect();
    int raiseError(SockErrorKind kind, int code);

    QPointer<QTcpSocket> socket_;
    bool connected_ = false;
    // Connections that have ended. Kept until this socket goes: one may
    // still be delivering the event in whose handler it ended, and a nested
    // event loop (the downloads) must not free it under that event.
    std::vector<QTcpSocket *> retired_;
};

} // namespace fm::upd
