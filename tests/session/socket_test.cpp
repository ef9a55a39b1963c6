// The client socket stand-in on its own, against a plain listening socket.
#include "sessionenv.h"

#include <QTcpServer>
#include <QTcpSocket>

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
