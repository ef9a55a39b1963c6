// Frames over TCP: reassembly of what the client splits or coalesces, and
// the host's transport faults on demand.
#include "hostclient.h"

#include <QElapsedTimer>

using namespace hstest;
using hostsim::HostServer;

namespace {

class Transport : public HostTest {
protected:
    Client client;
};

TEST_F(Transport, ClientFramesSplitAnywhereAreReassembled)
{
    ASSERT_TRUE(client.connectTo(host.port()));
    std::string key = client.keyFrame();
    client.writeInPieces(key, {1, 3, 6, 70});
    auto f = client.frame();
    ASSERT_TRUE(f);
    EXPECT_EQ(f->payload, "OK");

    std::string login = client.dataFrame(Request('0', "0800100", "1234", "1111"));
    client.writeInPieces(login, {2, 6, 7, 600, 1045});
    EXPECT_EQ(Code(client.telegram()), "0810100");

    ASSERT_EQ(host.receivedFrames().size(), 2u);
    EXPECT_EQ(host.receivedFrames()[0], key);
    EXPECT_EQ(host.receivedFrames()[1], login);
    EXPECT_TRUE(host.protocolErrors().empty());
}

TEST_F(Transport, ClientFramesCoalescedInOneWriteAreAllAnswered)
{
    ASSERT_TRUE(client.connectTo(host.port()));
    std::string key = client.keyFrame();
    std::string login = client.dataFrame(Request('0', "0800100", "1234", "1111"));
    std::string list = client.dataFrame(Request('4', "0400100", "1234", "2020010120201231"));
    std::string logout = client.dataFrame(Request('0', "0800900", "1234"));
    client.write(key + login + list + logout.substr(0, 20));
    auto f = client.frame();
    ASSERT_TRUE(f);
    EXPECT_EQ(f->payload, "OK");
    EXPECT_EQ(Code(client.telegram()), "0810100");
    EXPECT_EQ(Resp(client.telegram()), "16");
    EXPECT_FALSE(client.frame(200)) << "the log-out frame is not complete yet";
    client.write(logout.substr(20));
    EXPECT_EQ(Code(client.telegram()), "0810900");
    EXPECT_EQ(host.receivedTelegrams().size(), 3u);
}

TEST_F(Transport, ForgedWrongSizedOrBrokenFramesFromTheClient)
{
    ASSERT_TRUE(client.connectTo(host.port()));
    ASSERT_EQ(client.exchangeKey(), "SOK");
    // A frame of the wrong size is not answered; the stream stays framed.
    std::string genuine = client.dataFrame(Request('0', "0800100", "1234", "1111"));
    client.write("D00004abcd" + genuine);
    EXPECT_EQ(Code(client.telegram()), "0810100");
    EXPECT_EQ(host.protocolErrors().size(), 1u);
    // A changed frame does not open, and as the client's counter has moved
    // on no later frame would: the host closes the connection.
    std::string forged = client.dataFrame(Request('0', "0800900", "1234"));
    forged[6 + 10] ^= 0x20;
    client.write(forged);
    EXPECT_TRUE(client.waitClosed());
    EXPECT_EQ(host.receivedTelegrams().size(), 1u);
    EXPECT_EQ(host.protocolErrors().size(), 2u);

    // A length that is not five digits breaks the stream: the host closes.
    Client other;
    ASSERT_TRUE(other.connectTo(host.port()));
    other.write("D01 40xxxxxxxx");
    EXPECT_TRUE(other.waitClosed());
    EXPECT_EQ(host.protocolErrors().size(), 3u);
}

TEST_F(Transport, SplitFrameGoesOutInTwoWrites)
{
    ASSERT_TRUE(client.connectTo(host.port()));
    host.armFault(HostServer::Fault::SplitFrame);
    host.setSplit(3, 120);
    client.write(client.keyFrame());
    auto f = client.frame();
    ASSERT_TRUE(f);
    EXPECT_EQ(f->payload, "OK");
    EXPECT_EQ(client.reads, (std::vector<size_t>{3, 5}));

    // In the middle of a telegram frame by default; only once.
    host.setSplit(0, 80);
    host.armFault(HostServer::Fault::SplitFrame);
    client.reads.clear();
    client.send(Request('0', "0800100", "1234", "1111"));
    EXPECT_EQ(Code(client.telegram()), "0810100");
    EXPECT_EQ(client.reads, (std::vector<size_t>{523, 523}));
    client.reads.clear();
    client.send(Request('0', "0800900", "1234"));
    EXPECT_EQ(Code(client.telegram()), "0810900");
    EXPECT_EQ(client.reads, std::vector<size_t>{1046});
}

TEST_F(Transport, CoalescedFramesGoOutInOneWrite)
{
    ASSERT_EQ(Code(client.logIn(host.port(), "1234", "1111")), "0810100");
    host.scenario().noticeRows.push_back(
        hostsim::MakeNoticeRow("20250310", "101500", "title", "n.txt"));
    host.armFault(HostServer::Fault::CoalesceFrames);
    client.reads.clear();
    client.send(Request('4', "0400100", "1234", "2025030120250331"));
    EXPECT_EQ(Code(client.telegram()), "0410100");
    EXPECT_EQ(Code(client.telegram()), "0430100");
    EXPECT_EQ(client.reads, std::vector<size_t>{2 * 1046});

    // A held frame without a partner still goes out, alone, a little later.
    host.armFault(HostServer::Fault::CoalesceFrames);
    QElapsedTimer t;
    t.start();
    client.send(Request('0', "0800900", "1234"));
    EXPECT_EQ(Code(client.telegram()), "0810900");
    EXPECT_GE(t.elapsed(), 400);
}

TEST_F(Transport, TamperedFrameDoesNotOpenAtTheClient)
{
    ASSERT_EQ(Code(client.logIn(host.port(), "1234", "1111")), "0810100");
    host.armFault(HostServer::Fault::TamperFrame);
    client.send(Request('0', "0800900", "1234"));
    auto f = client.frame();
    ASSERT_TRUE(f);
    EXPECT_EQ(f->payload.size(), 1040u);
    EXPECT_FALSE(client.open(*f));
    // The host sealed a sound answer; only the bytes on the wire changed.
    EXPECT_EQ(Code(host.sentTelegrams().back()), "0810900");
}

TEST_F(Transport, ClosingOnDemand)
{
    {
        Client c;
        ASSERT_EQ(Code(c.logIn(host.port(), "1234", "1111")), "0810100");
        host.armFault(HostServer::Fault::CloseAfterFrame);
        c.send(Request('0', "0800900", "1234"));
        EXPECT_EQ(Code(c.telegram()), "0810900") << "the answer arrives before the close";
        EXPECT_TRUE(c.waitClosed());
    }
    {
        Client c;
        ASSERT_EQ(Code(c.logIn(host.port(), "1234", "1111")), "0810100");
        host.armFault(HostServer::Fault::CloseOnTelegram);
        c.send(Request('0', "0800900", "1234"));
        EXPECT_TRUE(c.waitClosed());
        EXPECT_EQ(c.framesWaiting(), 0u) << "no answer";
        EXPECT_EQ(host.receivedCodes().back(), "0800900") << "still logged";
    }
    Client c;
    ASSERT_EQ(Code(c.logIn(host.port(), "1234", "1111")), "0810100");
    host.closeConnections();
    EXPECT_TRUE(c.waitClosed());
    EXPECT_TRUE(fmtest::WaitFor([&] { return host.openConnections() == 0; }));
}

TEST_F(Transport, AnswersDelayedInOrder)
{
    ASSERT_EQ(Code(client.logIn(host.port(), "1234", "1111")), "0810100");
    host.setAnswerDelay(300);
    QElapsedTimer t;
    t.start();
    client.send(Request('0', "0800900", "1234"));
    client.send(Request('0', "0800100", "1234", "1111"));
    EXPECT_FALSE(client.frame(200));
    EXPECT_EQ(Code(client.telegram()), "0810900");
    EXPECT_GE(t.elapsed(), 300);
    EXPECT_EQ(Code(client.telegram()), "0810100");
}

TEST_F(Transport, UnaskedTelegramsAndRawBytes)
{
    EXPECT_FALSE(host.pushTelegram(std::string(1024, ' '))) << "no connection yet";
    ASSERT_EQ(Code(client.logIn(host.port(), "1234", "1111")), "0810100");
    std::string t = Request('0', "0720100", "1234");
    ASSERT_TRUE(host.pushTelegram(t));
    EXPECT_EQ(client.telegram(), t);
    ASSERT_TRUE(host.pushRaw("S     ERR"));
    auto f = client.frame();
    ASSERT_TRUE(f);
    EXPECT_EQ(f->letter, 'S');
    EXPECT_EQ(f->payload, "ERR");
}

} // namespace
