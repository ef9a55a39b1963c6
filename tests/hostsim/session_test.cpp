// The host's session: key exchange, log-in and its error sequence, log-out,
// password change, errors on demand and unknown codes.
#include "hostclient.h"

using namespace hstest;
using hostsim::HostServer;

namespace {

class Session : public HostTest {};

TEST_F(Session, KeyBlockAcceptedRefusedOrTampered)
{
    Client c;
    ASSERT_TRUE(c.connectTo(host.port()));
    EXPECT_EQ(c.exchangeKey(), "SOK");
    ASSERT_EQ(host.receivedKeyBlocks().size(), 1u);
    EXPECT_EQ(host.receivedKeyBlocks()[0], c.lastKeyBlock);
    ASSERT_EQ(host.receivedFrames().size(), 1u);
    EXPECT_EQ(host.receivedFrames()[0], "S00128" + c.lastKeyBlock);

    // A block with one flipped bit fails the host's checks.
    std::string bad = c.keyFrame();
    bad[6 + 50] ^= 0x04;
    c.write(bad);
    auto f = c.frame();
    ASSERT_TRUE(f);
    EXPECT_EQ(std::string(1, f->letter) + f->payload, "SERR");
    // Without an accepted key a data frame is not answered.
    c.send(Request('0', "0800900", "1234"));
    EXPECT_FALSE(c.frame(300));
    EXPECT_TRUE(host.receivedTelegrams().empty());
    ASSERT_FALSE(host.protocolErrors().empty());

    // Refusal on demand, once: a sound block is refused, the next one taken.
    host.armFault(HostServer::Fault::RefuseKey);
    EXPECT_EQ(c.exchangeKey(), "SERR");
    EXPECT_EQ(c.exchangeKey(), "SOK");
}

TEST_F(Session, KeyAnswerFramesAreWholeFrames)
{
    Client c;
    ASSERT_TRUE(c.connectTo(host.port()));
    c.write(c.keyFrame());
    ASSERT_TRUE(fmtest::WaitFor([&] { return !c.reads.empty(); }));
    auto f = c.frame();
    ASSERT_TRUE(f);
    EXPECT_EQ(f->letter, 'S');
    EXPECT_EQ(f->payload, "OK");
    EXPECT_EQ(c.reads[0], 8u) << "S00002OK";
}

TEST_F(Session, LogInAnswersByAccount)
{
    {
        Client c;
        std::string a = c.logIn(host.port(), "1234", "1111");
        ASSERT_EQ(a.size(), 1024u);
        EXPECT_EQ(Code(a), "0810100");
        EXPECT_EQ(Resp(a), "00");
        EXPECT_EQ(Comp(a), "1234");
        EXPECT_EQ(Data(a), Pad(fmtest::K("  오늘은 점검이 있습니다  "), 960));
        std::string stamp = StampOf(a);
        EXPECT_TRUE(std::all_of(stamp.begin(), stamp.end(), ::isdigit)) << stamp;
        EXPECT_EQ(stamp.substr(0, 8), QDate::currentDate().toString("yyyyMMdd").toStdString());

        ASSERT_EQ(host.receivedTelegrams().size(), 1u);
        EXPECT_EQ(host.receivedTelegrams()[0], Request('0', "0800100", "1234", "1111"));

        // Log-out.
        c.send(Request('0', "0800900", "1234"));
        std::string o = c.telegram();
        EXPECT_EQ(Code(o), "0810900");
        EXPECT_EQ(Resp(o), "00");
        EXPECT_EQ(Comp(o), "1234");
    }
    {
        // A two-character code padded with blanks; no notice: blank data.
        host.scenario().loginNotice.clear();
        Client c;
        std::string a = c.logIn(host.port(), "AB", "pw");
        EXPECT_EQ(Code(a), "0810100");
        EXPECT_EQ(Comp(a), "AB  ");
        EXPECT_EQ(Data(a), std::string(960, ' '));
    }
    {
        Client c;
        std::string a = c.logIn(host.port(), "9999", "1111");
        EXPECT_EQ(Resp(a), "02") << "unknown company code";
        EXPECT_EQ(Comp(a), "9999");
    }
}

TEST_F(Session, WrongPasswordsGiveThreeThreeFifteenThenClose)
{
    Client c;
    EXPECT_EQ(Resp(c.logIn(host.port(), "1234", "0000")), "03");
    c.send(Request('0', "0800100", "1234", "111"));
    EXPECT_EQ(Resp(c.telegram()), "03");
    c.send(Request('0', "0800100", "1234", "11111"));
    std::string last = c.telegram();
    EXPECT_EQ(Resp(last), "15");
    EXPECT_EQ(Code(last), "0810100");
    EXPECT_TRUE(c.waitClosed()) << "the host closes after the third wrong password";
    EXPECT_TRUE(fmtest::WaitFor([&] { return host.openConnections() == 0; }));

    // The count is per connection and starts again; a right password resets it.
    Client d;
    EXPECT_EQ(Resp(d.logIn(host.port(), "1234", "x")), "03");
    d.send(Request('0', "0800100", "1234", "1111"));
    EXPECT_EQ(Code(d.telegram()), "0810100");
    d.send(Request('0', "0800100", "1234", "y"));
    EXPECT_EQ(Resp(d.telegram()), "03");
    d.send(Request('0', "0800100", "1234", "z"));
    EXPECT_EQ(Resp(d.telegram()), "03");
    EXPECT_TRUE(d.connected());
}

TEST_F(Session, LockoutWithoutClosingWhenTheScenarioSaysSo)
{
    host.scenario().closeOnLockout = false;
    host.scenario().passwordTries = 2;
    Client c;
    EXPECT_EQ(Resp(c.logIn(host.port(), "1234", "a")), "03");
    c.send(Request('0', "0800100", "1234", "b"));
    EXPECT_EQ(Resp(c.telegram()), "15");
    EXPECT_FALSE(c.waitClosed(300));
}

TEST_F(Session, PasswordChange)
{
    Client c;
    ASSERT_EQ(Code(c.logIn(host.port(), "1234", "1111")), "0810100");
    // Wrong current password: 11, nothing stored.
    c.send(Request('3', "0300100", "1234", Pad("2222", 10) + Pad("5555", 10)));
    std::string a = c.telegram();
    EXPECT_EQ(Resp(a), "11");
    EXPECT_EQ(Code(a), "0310100");
    EXPECT_EQ(host.scenario().accounts["1234"], "1111");

    c.send(Request('3', "0300100", "1234", Pad("1111", 10) + Pad("5555", 10)));
    a = c.telegram();
    EXPECT_EQ(Code(a), "0310100");
    EXPECT_EQ(Resp(a), "00");
    EXPECT_EQ(host.scenario().accounts["1234"], "5555");

    // The new password holds on the next connection, the old one no more.
    Client d;
    EXPECT_EQ(Resp(d.logIn(host.port(), "1234", "1111")), "03");
    d.send(Request('0', "0800100", "1234", "5555"));
    EXPECT_EQ(Resp(d.telegram()), "00");
}

TEST_F(Session, ErrorsOnDemand)
{
    Client c;
    ASSERT_EQ(Code(c.logIn(host.port(), "1234", "1111")), "0810100");

    // Non-numeric and blank answer codes go out as given, once each.
    host.failNext("0800900", "AB");
    host.failNext("0800900", "  ");
    c.send(Request('0', "0800900", "1234"));
    std::string a = c.telegram();
    EXPECT_EQ(Resp(a), "AB");
    EXPECT_EQ(Code(a), "0810900");
    c.send(Request('0', "0800900", "1234"));
    EXPECT_EQ(Resp(c.telegram()), "  ");
    c.send(Request('0', "0800900", "1234"));
    EXPECT_EQ(Resp(c.telegram()), "00");

    // A rule for another code does not touch this one; an any-code rule
    // applies to whatever comes next; a lasting rule keeps answering.
    host.failNext("0600100", "16");
    host.failNext("", "23");
    c.send(Request('0', "0800100", "1234", "1111"));
    EXPECT_EQ(Resp(c.telegram()), "23");
    host.failNext("0800100", "22", -1);
    for (int i = 0; i < 3; ++i) {
        c.send(Request('0', "0800100", "1234", "1111"));
        EXPECT_EQ(Resp(c.telegram()), "22") << i;
    }
}

TEST_F(Session, UnknownCodesAreAnsweredWithError01)
{
    Client c;
    ASSERT_EQ(Code(c.logIn(host.port(), "1234", "1111")), "0810100");
    c.send(Request('9', "0999999", "1234"));
    std::string a = c.telegram();
    EXPECT_EQ(Code(a), "0999999");
    EXPECT_EQ(Resp(a), "01");

    // The dispatch can be extended by code.
    host.setHandler("0999999", [](hostsim::HostConnection &conn, const std::string &req) {
        std::string t = conn.answerFor(req, "0999990");
        conn.sendTelegram(t);
    });
    c.send(Request('9', "0999999", "1234"));
    a = c.telegram();
    EXPECT_EQ(Code(a), "0999990");
    EXPECT_EQ(Resp(a), "00");
    EXPECT_EQ(host.sentTelegrams().back(), a);
}

TEST_F(Session, NewKeyStartsANewSession)
{
    Client c;
    ASSERT_EQ(Code(c.logIn(host.port(), "1234", "1111")), "0810100");
    EXPECT_EQ(c.exchangeKey(), "SOK");
    c.send(Request('0', "0800900", "1234"));
    EXPECT_EQ(Code(c.telegram()), "0810900");
    EXPECT_EQ(host.receivedKeyBlocks().size(), 2u);
}

} // namespace
