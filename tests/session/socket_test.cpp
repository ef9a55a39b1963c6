// The client socket stand-in on its own, against a plain listening socket.
#include "sessionenv.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

struct Peer {
    QTcpServer server;
    QPointer<QTcpSocket> conn;
    std::string received;
    bool reading = true;

    Peer()
    {
        server.listen(QHostAddress::LocalHost);
        QObject::connect(&server, &QTcpServer::newConnection, [this] {
            conn = server.nextPendingConnection();
            conn->setReadBufferSize(64 * 1024); // takes no more than it is asked for
            QObject::connect(conn, &QTcpSocket::readyRead, [this] {
                if (reading) received += conn->readAll().toStdString();
            });
        });
    }
};

struct Events {
    int connects = 0, disconnects = 0;
    std::vector<std::pair<fm::TErrorEvent, int>> errors;
    void attach(fm::TClientSocket &s, int leaveCode = -1)
    {
        s.OnConnect = [this] { ++connects; };
        s.OnDisconnect = [this] { ++disconnects; };
        s.OnError = [this, leaveCode](fm::TErrorEvent k, int &code) {
            errors.emplace_back(k, code);
            if (leaveCode >= 0) code = leaveCode;
        };
    }
};

// Starts a connection to a port of the loopback address.
void OpenTo(fm::TClientSocket &s, quint16 port)
{
    s.Address = "127.0.0.1";
    s.Port = port;
    s.Open();
}

} // namespace

TEST(ClientSocket, QueuedBytesAllArriveEvenWhenClosedAtOnce)
{
    fmtest::ScriptedBoxes boxes;
    Peer peer;
    peer.reading = false; // the peer takes nothing for a while
    fm::TClientSocket s;
    Events ev;
    ev.attach(s);
    s.Address = "127.0.0.1";
    s.Port = peer.server.serverPort();
    s.Open();
    EXPECT_TRUE(s.Active());
    EXPECT_FALSE(s.Connected()); // the attempt has only started
    ASSERT_TRUE(fmtest::WaitFor([&] { return s.Connected() && peer.conn; }));
    EXPECT_EQ(ev.connects, 1);

    std::string big(16 << 20, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = char(i * 131 % 251);
    EXPECT_EQ(s.SendText(big), int(big.size()));
    QTest::qWait(50);
    ASSERT_GT(s.SendQueued(), 0); // more than the system could take at once
    s.Close();
    EXPECT_EQ(ev.disconnects, 1); // raised at once by the program's close
    EXPECT_FALSE(s.Active());

    peer.reading = true;
    peer.received += peer.conn->readAll().toStdString();
    ASSERT_TRUE(fmtest::WaitFor([&] { return peer.received.size() >= big.size(); }, 20000))
        << peer.received.size();
    EXPECT_TRUE(peer.received == big);
    QTest::qWait(50);
    EXPECT_EQ(ev.disconnects, 1);
    EXPECT_EQ(boxes.count(), 0u) << boxes.texts();
}

TEST(ClientSocket, ErrorsAndTheirCodes)
{
    fmtest::ScriptedBoxes boxes;
    fm::TClientSocket s;
    Events ev;
    ev.attach(s, 0); // the handler clears the code: no socket-layer error
    EXPECT_THROW(s.Open(), fm::SocketError);
    EXPECT_FALSE(s.Active());

    s.Address = "10.0.0.256";
    s.Port = 1;
    s.Open();
    ASSERT_TRUE(fmtest::WaitFor([&] { return !s.Active(); }));
    ASSERT_EQ(ev.errors.size(), 1u);
    EXPECT_EQ(ev.errors[0], std::make_pair(fm::TErrorEvent::eeConnect, 10049));
    EXPECT_EQ(ev.disconnects, 0);
    EXPECT_EQ(boxes.count(), 0u) << boxes.texts();
}

TEST(ClientSocket, ACloseDuringTheConnectionAttemptRaisesTheDisconnectOnce)
{
    fmtest::ScriptedBoxes boxes;
    Peer peer;
    fm::TClientSocket s;
    Events ev;
    ev.attach(s);
    s.Address = "127.0.0.1";
    s.Port = peer.server.serverPort();
    s.Open();
    ASSERT_FALSE(s.Connected()); // no event handled yet: still connecting
    s.Close();
    EXPECT_FALSE(s.Active());
    EXPECT_EQ(ev.disconnects, 1);
    fmtest::WaitFor([] { return false; }, 200); // nothing more arrives later
    EXPECT_EQ(ev.connects, 0);
    EXPECT_EQ(ev.disconnects, 1);
    EXPECT_TRUE(ev.errors.empty());
}

TEST(ClientSocket, HostCloseRaisesDisconnectOnceAfterTheLastBytes)
{
    fmtest::ScriptedBoxes boxes;
    Peer peer;
    fm::TClientSocket s;
    Events ev;
    ev.attach(s);
    std::string got;
    int disconnectsWhenRead = -1;
    s.OnRead = [&] {
        got += s.ReceiveAll();
        disconnectsWhenRead = ev.disconnects;
    };
    s.Address = "127.0.0.1";
    s.Port = peer.server.serverPort();
    s.Open();
    ASSERT_TRUE(fmtest::WaitFor([&] { return peer.conn && s.Connected(); }));
    peer.conn->write("last words");
    peer.conn->disconnectFromHost();
    ASSERT_TRUE(fmtest::WaitFor([&] { return !s.Active(); }));
    EXPECT_EQ(got, "last words");
    EXPECT_EQ(disconnectsWhenRead, 0);
    QTest::qWait(50);
    EXPECT_EQ(ev.disconnects, 1);
    EXPECT_TRUE(ev.errors.empty());
    s.Close(); // nothing more to close
    EXPECT_EQ(ev.disconnects, 1);
}

TEST(ClientSocket, HostIsLookedUpWhenNoAddressIsGiven)
{
    fmtest::ScriptedBoxes boxes;
    Peer peer;
    fm::TClientSocket s;
    Events ev;
    ev.attach(s, 0);
    s.Port = peer.server.serverPort();

    // A name is looked up.
    s.Host = "localhost";
    s.Open();
    ASSERT_TRUE(fmtest::WaitFor([&] { return s.Connected() && peer.conn; }));
    EXPECT_EQ(s.SendText("by name"), 7);
    ASSERT_TRUE(fmtest::WaitFor([&] { return peer.received == "by name"; }));
    s.Close();
    EXPECT_EQ(ev.disconnects, 1);

    // Address wins over Host and still takes dotted addresses only.
    s.Address = "localhost";
    s.Open();
    ASSERT_TRUE(fmtest::WaitFor([&] { return !s.Active(); }));

    // A name that cannot be found.
    s.Address.clear();
    s.Host = "no..such..host";
    s.Open();
    ASSERT_TRUE(fmtest::WaitFor([&] { return !s.Active(); }, 15000));

    using E = fm::TErrorEvent;
    EXPECT_EQ(ev.errors, (std::vector<std::pair<E, int>>{{E::eeConnect, 10049}, {E::eeConnect, 11001}}));
    EXPECT_EQ(ev.connects, 1);
    EXPECT_EQ(ev.disconnects, 1);
    EXPECT_EQ(boxes.count(), 0u) << boxes.texts();
}

// The codes come from the system's error numbers, whatever language the
// desktop speaks (the test main loads Qt's Korean texts).
TEST(ClientSocket, FailedAttemptsCarryTheSystemsErrorWhateverTheLanguage)
{
    fmtest::ScriptedBoxes boxes;
    fm::TClientSocket s;
    Events ev;
    ev.attach(s);
    using E = fm::TErrorEvent;

    // Nobody listens on the port: refused.
    quint16 closedPort = 0;
    {
        QTcpServer gone;
        ASSERT_TRUE(gone.listen(QHostAddress::LocalHost));
        closedPort = gone.serverPort();
    }
    OpenTo(s, closedPort);
    ASSERT_TRUE(fmtest::WaitFor([&] { return !s.Active(); }));

    // The broadcast address takes no TCP connection: the network is
    // unreachable.
    s.Address = "255.255.255.255";
    s.Port = 80;
    s.Open();
    ASSERT_TRUE(fmtest::WaitFor([&] { return !s.Active(); }));

    EXPECT_EQ(ev.errors, (std::vector<std::pair<E, int>>{{E::eeConnect, 10061}, {E::eeConnect, 10051}}));
    EXPECT_EQ(ev.connects, 0);
    EXPECT_EQ(ev.disconnects, 0);
    // The code was left set: the socket layer's own report follows each box.
    ASSERT_EQ(boxes.count(), 2u) << boxes.texts();
    EXPECT_EQ(boxes.shown()[0].text, "Asynchronous socket error 10061");
    EXPECT_EQ(boxes.shown()[1].text, "Asynchronous socket error 10051");
}

TEST(ClientSocket, AConnectionTheHostResetsIsARefusedRead)
{
    fmtest::ScriptedBoxes boxes;
    Peer peer;
    fm::TClientSocket s;
    Events ev;
    ev.attach(s);
    OpenTo(s, peer.server.serverPort());
    ASSERT_TRUE(fmtest::WaitFor([&] { return s.Connected() && peer.conn; }));

    // The host drops the connection with a reset rather than an orderly close.
    const linger hard{1, 0};
    ASSERT_EQ(::setsockopt(int(peer.conn->socketDescriptor()), SOL_SOCKET, SO_LINGER, &hard, sizeof hard), 0);
    peer.conn->abort();
    ASSERT_TRUE(fmtest::WaitFor([&] { return !s.Active(); }));
    QTest::qWait(50);

    EXPECT_EQ(ev.errors, (std::vector<std::pair<fm::TErrorEvent, int>>{{fm::TErrorEvent::eeReceive, 10054}}));
    EXPECT_EQ(ev.disconnects, 1);
    ASSERT_EQ(boxes.count(), 1u) << boxes.texts();
    EXPECT_EQ(boxes.last().text, "Windows socket error: An existing connection was forcibly closed by the remote "
                                 "host. (10054), on API 'recv'");
}

TEST(ClientSocket, AnAttemptTheHostNeverAnswersTimesOut)
{
    fmtest::ScriptedBoxes boxes;
    // A listener whose queue of connections is full drops every further
    // connection request unanswered.
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr *>(&a), len), 0);
    ASSERT_EQ(::listen(listener, 0), 0);
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr *>(&a), &len), 0);
    const int filler = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_EQ(::connect(filler, reinterpret_cast<sockaddr *>(&a), len), 0);

    fm::TClientSocket s;
    Events ev;
    ev.attach(s, 0);
    QElapsedTimer clock;
    clock.start();
    OpenTo(s, ntohs(a.sin_port));
    ASSERT_TRUE(fmtest::WaitFor([&] { return !s.Active(); }, fm::TClientSocket::kConnectTimeoutMs + 15000));
    EXPECT_GE(clock.elapsed(), fm::TClientSocket::kConnectTimeoutMs - 100);
    EXPECT_EQ(ev.errors, (std::vector<std::pair<fm::TErrorEvent, int>>{{fm::TErrorEvent::eeConnect, 10060}}));
    EXPECT_EQ(ev.connects, 0);
    EXPECT_EQ(boxes.count(), 0u) << boxes.texts();
    ::close(filler);
    ::close(listener);
}

TEST(ClientSocket, SystemErrorNumbersAndTheirWindowsCodes)
{
    const std::pair<int, int> codes[] = {
        {ECONNREFUSED, 10061}, {ECONNRESET, 10054}, {EPIPE, 10054},      {ETIMEDOUT, 10060},
        {EHOSTUNREACH, 10065}, {ENETUNREACH, 10051}, {EADDRINUSE, 10048}, {EADDRNOTAVAIL, 10049},
        {ECONNABORTED, 10053}, {ENETDOWN, 10050},    {ENETRESET, 10052},  {EHOSTDOWN, 10064},
        {ENOTCONN, 10057},     {EACCES, 10013},      {EPERM, 10013},      {ENOBUFS, 10055},
        {EMFILE, 10055},       {EINVAL, 10022},      {EAFNOSUPPORT, 10047}, {ESHUTDOWN, 10058},
        {EISCONN, 10056},      {EALREADY, 10037},    {ENOTSOCK, 10038},   {EMSGSIZE, 10040},
        {EIO, 10050}, // no counterpart
    };
    for (const auto &[systemError, code] : codes) {
        EXPECT_EQ(fm::TClientSocket::WinSockCode(systemError), code) << systemError;
        // Every code given has the system's text.
        EXPECT_NE(fm::TClientSocket::WinSockMessage(code), "Unknown error") << code;
    }
}
