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

namespace {

// Resets the peer's end of the connection (an RST, not an orderly close).
void ResetPeer(Peer &peer)
{
    const linger hard{1, 0};
    ASSERT_EQ(::setsockopt(int(peer.conn->socketDescriptor()), SOL_SOCKET, SO_LINGER, &hard, sizeof hard), 0);
    peer.conn->abort();
}

// The connections a socket still holds (the current one and those closing).
int Connections(const fm::TClientSocket &s)
{
    return int(s.findChildren<QObject *>(QStringLiteral("connection"), Qt::FindDirectChildrenOnly).size());
}

} // namespace

// Every handler runs a box of its own, as the programs' handlers do: the
// refusal is raised once, with the connection already let go, then the
// disconnect, then the socket layer's own error.
TEST(ClientSocket, ARefusedReadOrSendIsRaisedOnceWithTheConnectionLetGoFirst)
{
    for (const bool bySend : {false, true}) {
        SCOPED_TRACE(bySend ? "send" : "read");
        fmtest::ScriptedBoxes boxes;
        Peer peer;
        fm::TClientSocket s;
        std::vector<std::string> events;
        s.OnError = [&](fm::TErrorEvent k, int &code) {
            events.push_back((k == fm::TErrorEvent::eeSend ? "send " : k == fm::TErrorEvent::eeReceive ? "recv " : "other ") +
                             std::to_string(code) + (s.Active() ? " active" : ""));
            fm::MessageBox("error box", "Error", fm::MsgIcon::Error);
        };
        s.OnDisconnect = [&] {
            events.push_back("disconnect");
            fm::MessageBox("disconnect box", "", fm::MsgIcon::Information);
        };
        boxes.onShow([&](const fm::ShownBox &) { fmtest::RunModalMoment(200); });
        OpenTo(s, peer.server.serverPort());
        ASSERT_TRUE(fmtest::WaitFor([&] { return s.Connected() && peer.conn; }));
        ResetPeer(peer);
        if (bySend) {
            ::usleep(100 * 1000); // the reset has arrived; no event has been handled
            EXPECT_EQ(s.SendText("after the reset"), 0);
            EXPECT_TRUE(events.empty()) << "raised inside the caller's send";
        }
        ASSERT_TRUE(fmtest::WaitFor([&] { return !s.Active() && boxes.count() >= 3; }));
        fmtest::RunModalMoment(200);
        const std::string kind = bySend ? "send" : "recv";
        EXPECT_EQ(events, (std::vector<std::string>{kind + " 10054", "disconnect"}));
        ASSERT_EQ(boxes.count(), 3u) << boxes.texts();
        EXPECT_EQ(boxes.mostOpenAtOnce(), 1);
        EXPECT_EQ(boxes.last().text.toStdString(), "Windows socket error: An existing connection was forcibly closed "
                                                   "by the remote host. (10054), on API '" + kind + "'");
        ASSERT_TRUE(fmtest::WaitFor([&] { return Connections(s) == 0; }));
    }
}

// Like Qt's readyRead, the read event is never raised from inside its own
// handler: what arrives while the handler runs a box waits and comes after.
TEST(ClientSocket, TheReadHandlerIsNeverEnteredAgainWhileItRuns)
{
    fmtest::ScriptedBoxes boxes;
    Peer peer;
    fm::TClientSocket s;
    Events ev;
    ev.attach(s);
    int depth = 0, deepest = 0;
    std::vector<std::string> reads;
    s.OnRead = [&] {
        deepest = std::max(deepest, ++depth);
        reads.push_back(s.ReceiveAll());
        if (reads.size() == 1) {
            peer.conn->write("second");
            peer.conn->flush();
            fmtest::RunModalMoment(300);
        }
        --depth;
    };
    OpenTo(s, peer.server.serverPort());
    ASSERT_TRUE(fmtest::WaitFor([&] { return s.Connected() && peer.conn; }));
    peer.conn->write("first");
    ASSERT_TRUE(fmtest::WaitFor([&] { return reads.size() >= 2; }));
    EXPECT_EQ(deepest, 1);
    EXPECT_EQ(reads, (std::vector<std::string>{"first", "second"}));
    // An end that came while the handler ran is taken after it as well.
    peer.conn->write("third");
    peer.conn->disconnectFromHost();
    ASSERT_TRUE(fmtest::WaitFor([&] { return !s.Active(); }));
    EXPECT_EQ(reads.back(), "third");
    EXPECT_EQ(ev.disconnects, 1);
    EXPECT_TRUE(ev.errors.empty());
}

// A handler may destroy the socket inside any event; nothing of it is
// touched afterwards (the address sanitizer holds this).
TEST(ClientSocket, AHandlerMayDestroyTheSocketInAnyEvent)
{
    fmtest::ScriptedBoxes boxes;
    enum Road { OnConnect, OnRead, OnDisconnect, OnRefusedRead, OnFailedAttempt };
    for (const Road road : {OnConnect, OnRead, OnDisconnect, OnRefusedRead, OnFailedAttempt}) {
        SCOPED_TRACE(int(road));
        boxes.clear();
        Peer peer;
        auto *s = new fm::TClientSocket;
        QPointer<fm::TClientSocket> alive(s);
        const auto destroy = [&] {
            fmtest::RunModalMoment(50); // a box first, as a window would show
            delete alive.data();
        };
        s->OnConnect = [&] {
            if (road == OnConnect) destroy();
        };
        s->OnRead = [&] {
            if (road == OnRead) destroy();
        };
        s->OnDisconnect = [&] {
            if (road == OnDisconnect) destroy();
        };
        s->OnError = [&](fm::TErrorEvent, int &) {
            if (road == OnRefusedRead || road == OnFailedAttempt) destroy();
        };
        if (road == OnFailedAttempt) {
            QTcpServer gone;
            ASSERT_TRUE(gone.listen(QHostAddress::LocalHost));
            const quint16 port = gone.serverPort();
            gone.close();
            OpenTo(*s, port);
        } else {
            OpenTo(*s, peer.server.serverPort());
            ASSERT_TRUE(fmtest::WaitFor([&] { return !alive || (alive->Connected() && peer.conn); }));
            if (road == OnRead) peer.conn->write("bytes");
            if (road == OnDisconnect) peer.conn->disconnectFromHost();
            if (road == OnRefusedRead) ResetPeer(peer);
        }
        ASSERT_TRUE(fmtest::WaitFor([&] { return !alive; })) << "the handler did not run";
        fmtest::RunModalMoment(100);
        // The refused read and the failed attempt still report the socket
        // layer's error: it needs nothing of the socket.
        if (road == OnRefusedRead || road == OnFailedAttempt)
            EXPECT_EQ(boxes.count(), 1u) << boxes.texts();
        else
            EXPECT_EQ(boxes.count(), 0u) << boxes.texts();
    }
}

// Bytes the program does not take are kept up to a bound; the rest waits
// in the system and none is lost.
TEST(ClientSocket, BytesNotTakenAreKeptUpToABound)
{
    fmtest::ScriptedBoxes boxes;
    Peer peer;
    fm::TClientSocket s;
    int reads = 0;
    s.OnRead = [&] { ++reads; }; // takes nothing
    OpenTo(s, peer.server.serverPort());
    ASSERT_TRUE(fmtest::WaitFor([&] { return s.Connected() && peer.conn; }));
    std::string sent(8 << 20, '\0');
    for (size_t i = 0; i < sent.size(); ++i) sent[i] = char(i * 7 % 253);
    peer.conn->write(sent.data(), qint64(sent.size()));
    fmtest::RunModalMoment(500);
    EXPECT_GT(reads, 0);
    EXPECT_GT(s.ReceiveLength(), 0);
    EXPECT_LE(s.ReceiveLength(), 1 << 20);
    const int readsWhileFull = reads;
    fmtest::RunModalMoment(200);
    EXPECT_EQ(reads, readsWhileFull) << "a full buffer is not read";

    std::string got;
    ASSERT_TRUE(fmtest::WaitFor([&] {
        got += s.ReceiveAll();
        return got.size() >= sent.size();
    }, 10000)) << got.size();
    EXPECT_TRUE(got == sent);
}

// An address given as the host is taken as it stands; only a name is
// looked up, and a look-up that never answers ends within the attempt's
// time limit.
TEST(ClientSocket, AnAddressGivenAsTheHostIsNotLookedUp)
{
    fmtest::ScriptedBoxes boxes;
    std::vector<QString> lookedUp;
    // A name server that never answers.
    fm::TClientSocket::SetNameLookup([&](const QString &name, QObject *, auto) { lookedUp.push_back(name); });
    struct Restore {
        ~Restore() { fm::TClientSocket::SetNameLookup(nullptr); }
    } restore;

    // 127.0.0.2 and ::1 are in no hosts file here: a reverse look-up would go
    // to the name servers.
    for (const char *address : {"127.0.0.2", "::1"}) {
        SCOPED_TRACE(address);
        QTcpServer server;
        ASSERT_TRUE(server.listen(QHostAddress(QString::fromLatin1(address))));
        fm::TClientSocket s;
        Events ev;
        ev.attach(s);
        s.Host = address;
        s.Port = server.serverPort();
        QElapsedTimer clock;
        clock.start();
        s.Open();
        ASSERT_TRUE(fmtest::WaitFor([&] { return s.Connected(); }, 2000));
        EXPECT_LT(clock.elapsed(), 1000);
        EXPECT_EQ(ev.connects, 1);
    }
    EXPECT_TRUE(lookedUp.empty());

    fm::TClientSocket s;
    Events ev;
    ev.attach(s, 0);
    s.Host = "version-host.invalid";
    s.Port = 1;
    QElapsedTimer clock;
    clock.start();
    s.Open();
    EXPECT_EQ(lookedUp, std::vector<QString>{QStringLiteral("version-host.invalid")});
    ASSERT_TRUE(fmtest::WaitFor([&] { return !s.Active(); }, fm::TClientSocket::kConnectTimeoutMs + 5000));
    EXPECT_GE(clock.elapsed(), fm::TClientSocket::kConnectTimeoutMs - 100);
    EXPECT_LT(clock.elapsed(), fm::TClientSocket::kConnectTimeoutMs + 2000);
    EXPECT_EQ(ev.errors, (std::vector<std::pair<fm::TErrorEvent, int>>{{fm::TErrorEvent::eeConnect, 10060}}));
}

// A connection the program closed with bytes still queued to a peer that
// never reads is dropped at its limit, descriptor and buffer.
TEST(ClientSocket, AClosedConnectionStillSendingIsDroppedAtItsLimit)
{
    fmtest::ScriptedBoxes boxes;
    Peer peer;
    peer.reading = false;
    fm::TClientSocket s;
    Events ev;
    ev.attach(s);
    OpenTo(s, peer.server.serverPort());
    ASSERT_TRUE(fmtest::WaitFor([&] { return s.Connected() && peer.conn; }));
    EXPECT_EQ(s.SendText(std::string(4 << 20, 'q')), 4 << 20);
    ASSERT_GT(s.SendQueued(), 0);
    QElapsedTimer clock;
    clock.start();
    s.Close();
    EXPECT_EQ(ev.disconnects, 1);
    fmtest::RunModalMoment(1000);
    EXPECT_EQ(Connections(s), 1) << "still sending";
    ASSERT_TRUE(fmtest::WaitFor([&] { return Connections(s) == 0; }, fm::TClientSocket::kCloseTimeoutMs + 5000));
    EXPECT_GE(clock.elapsed(), fm::TClientSocket::kCloseTimeoutMs - 100);
    // The peer sees the end of the connection.
    peer.reading = true;
    ASSERT_TRUE(fmtest::WaitFor([&] {
        if (peer.conn) peer.conn->readAll();
        return !peer.conn || peer.conn->state() == QAbstractSocket::UnconnectedState;
    }, 5000));
    EXPECT_EQ(ev.disconnects, 1);
    EXPECT_TRUE(ev.errors.empty());
}
