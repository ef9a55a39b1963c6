// The host's session: key exchange, log-in and its error sequence, log-out,
// password change, errors on demand and unknown codes.
#include "hostclient.h"

#include <QFile>

#include <cstdlib>
#include <optional>

using namespace hstest;
using hostsim::HostServer;

namespace {

class Session : public HostTest {};

TEST_F(Session, KeyBlockAcceptedRefusedOrTampered)
{
    Client c;
    ASSERT_TRUE(c.connectTo(host.port()));
    EXPECT_EQ(c.exchangeKey(), "SOK");
    EXPECT_EQ(c.reads, std::vector<size_t>{8}) << "S00002OK in one frame";
    EXPECT_EQ(host.receivedKeyBlocks(), std::vector<std::string>{c.lastKeyBlock});
    EXPECT_EQ(host.receivedFrames(), std::vector<std::string>{"S00128" + c.lastKeyBlock});

    // A second key frame on the connection, even a sound one: refused, and
    // the connection closed (one connection cannot fill the replay cache).
    EXPECT_EQ(c.exchangeKey(), "SERR");
    EXPECT_TRUE(c.waitClosed());
    ASSERT_EQ(host.protocolErrors().size(), 1u);
    EXPECT_EQ(host.protocolErrors()[0], "a second key frame on one connection");

    // A block with one flipped bit fails the host's checks, and without an
    // accepted key a data frame is not answered.
    Client t;
    ASSERT_TRUE(t.connectTo(host.port()));
    std::string bad = t.keyFrame();
    bad[6 + 50] ^= 0x04;
    t.write(bad);
    auto f = t.frame();
    ASSERT_TRUE(f);
    EXPECT_EQ(std::string(1, f->letter) + f->payload, "SERR");
    t.send(Request('0', "0800900", "1234"));
    EXPECT_FALSE(t.frame(300));
    EXPECT_TRUE(host.receivedTelegrams().empty());
    EXPECT_EQ(host.protocolErrors().size(), 2u);

    // Refusal on demand, once: a sound block is refused, the next
    // connection's taken and a new session starts.
    host.armFault(HostServer::Fault::RefuseKey);
    Client r;
    ASSERT_TRUE(r.connectTo(host.port()));
    EXPECT_EQ(r.exchangeKey(), "SERR");
    Client n;
    ASSERT_TRUE(n.connectTo(host.port()));
    EXPECT_EQ(n.exchangeKey(), "SOK");
    n.send(Request('0', "0800900", "1234"));
    EXPECT_EQ(Code(n.telegram()), "0810900");
}

TEST_F(Session, LogInAndLogOut)
{
    {
        Client c;
        std::string a = c.logIn(host.port(), "1234", "1111");
        EXPECT_EQ(Code(a), "0810100");
        EXPECT_EQ(Resp(a), "00");
        EXPECT_EQ(Comp(a), "1234");
        EXPECT_EQ(Data(a), Pad(fmtest::K("  오늘은 점검이 있습니다  "), 960));
        EXPECT_EQ(StampOf(a).substr(0, 8), QDate::currentDate().toString("yyyyMMdd").toStdString());
        EXPECT_EQ(host.receivedTelegrams(),
                  std::vector<std::string>{Request('0', "0800100", "1234", "1111")});

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
    Client c;
    EXPECT_EQ(Resp(c.logIn(host.port(), "9999", "1111")), "02") << "unknown company code";
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

    // The count is per connection; a right password resets it.
    Client d;
    EXPECT_EQ(Resp(d.logIn(host.port(), "1234", "x")), "03");
    d.send(Request('0', "0800100", "1234", "1111"));
    EXPECT_EQ(Code(d.telegram()), "0810100");
    for (const char *pw : {"y", "z"}) {
        d.send(Request('0', "0800100", "1234", pw));
        EXPECT_EQ(Resp(d.telegram()), "03");
    }

    // Without closing, when the scenario says so.
    host.scenario().closeOnLockout = false;
    d.send(Request('0', "0800100", "1234", "w"));
    EXPECT_EQ(Resp(d.telegram()), "15");
    EXPECT_FALSE(d.waitClosed(300));
}

TEST_F(Session, PasswordChange)
{
    Client c;
    ASSERT_EQ(Code(c.logIn(host.port(), "1234", "1111")), "0810100");
    c.send(Request('3', "0300100", "1234", Pad("2222", 10) + Pad("5555", 10)));
    std::string a = c.telegram();
    EXPECT_EQ(Resp(a), "11") << "wrong current password";
    EXPECT_EQ(Code(a), "0310100");
    EXPECT_EQ(host.scenario().accounts["1234"], "1111");

    c.send(Request('3', "0300100", "1234", Pad("1111", 10) + Pad("5555", 10)));
    a = c.telegram();
    EXPECT_EQ(Code(a), "0310100");
    EXPECT_EQ(Resp(a), "00");

    // The new password holds on the next connection, the old one no more.
    Client d;
    EXPECT_EQ(Resp(d.logIn(host.port(), "1234", "1111")), "03");
    d.send(Request('0', "0800100", "1234", "5555"));
    EXPECT_EQ(Resp(d.telegram()), "00");
}

// A recorded session sent again is refused at the key stage: on this host
// (its replay cache), on one started after the recording (the start rule)
// and on a restart of this host whose clock is behind the recording's stamp
// (the stamp its state file kept). Nothing of it is dispatched: the
// recorded password change is not carried out again.
TEST_F(Session, ReplayedSessionIsRefusedAtTheKeyStage)
{
    const QString state = QString::fromStdString(dir.file("hostsim.state"));
    ASSERT_TRUE(host.setKeyStateFile(state));
    {
        Client c;
        ASSERT_EQ(Code(c.logIn(host.port(), "1234", "1111")), "0810100");
        c.send(Request('3', "0300100", "1234", Pad("1111", 10) + Pad("5555", 10)));
        ASSERT_EQ(Resp(c.telegram()), "00");
    }
    const std::vector<std::string> recorded = host.receivedFrames();
    ASSERT_EQ(recorded.size(), 3u);
    std::string replay;
    for (const std::string &f : recorded) replay += f;
    host.scenario().accounts["1234"] = "1111"; // changed back by the school

    auto replayTo = [&](hostsim::HostServer &h, const char *why) {
        const size_t telegrams = h.receivedTelegrams().size();
        Client r;
        ASSERT_TRUE(r.connectTo(h.port()));
        r.write(replay);
        auto f = r.frame();
        ASSERT_TRUE(f);
        EXPECT_EQ(std::string(1, f->letter) + f->payload, "SERR");
        EXPECT_FALSE(r.frame(300)) << "a replayed telegram was answered";
        EXPECT_EQ(h.receivedTelegrams().size(), telegrams);
        EXPECT_EQ(h.scenario().accounts["1234"], "1111");
        ASSERT_FALSE(h.protocolErrors().empty());
        EXPECT_EQ(h.protocolErrors().front(), why);
    };
    host.clearLog();
    replayTo(host, "key block replayed");

    // A host started after the recording: the block is older than it.
    const uint64_t stamp = [&] {
        uint64_t v = 0;
        for (int i = 0; i < 8; ++i) v = v << 8 | uint8_t(recorded[0][6 + 76 + i]);
        return v;
    }();
    ASSERT_TRUE(fmtest::WaitFor([&] { return hostsim::WallClockMs() > int64_t(stamp); }));
    hostsim::HostServer later;
    later.setHostKey(host.hostKey());
    ASSERT_TRUE(later.setKeyStateFile(QString::fromStdString(dir.file("later.state"))));
    later.setScenario(host.scenario());
    ASSERT_TRUE(later.listen(0));
    replayTo(later, "key block stamped before the host started");

    // This host run again (on its state file as this run leaves it, which
    // this run holds while it lives) with its clock a minute behind the
    // client's, as when the client's clock runs ahead: the stamp lies after
    // the new start, but the state file holds it as taken.
    const QString restartState = QString::fromStdString(dir.file("restarted.state"));
    ASSERT_TRUE(QFile::copy(state, restartState));
    hostsim::HostServer restarted;
    restarted.setHostKey(host.hostKey());
    restarted.keyGuard() = hostsim::KeyGuard(int64_t(stamp) - 60000);
    restarted.setScenario(host.scenario());
    ASSERT_TRUE(restarted.setKeyStateFile(restartState));
    ASSERT_TRUE(restarted.listen(0));
    replayTo(restarted, "key block stamped before the host started");

    // A genuine new session still works.
    Client c;
    EXPECT_EQ(Code(c.logIn(host.port(), "1234", "1111")), "0810100");
}

// Sets an environment variable for the scope.
class ScopedEnv {
public:
    ScopedEnv(const char *name, const std::string &value) : name_(name)
    {
        if (const char *old = std::getenv(name)) saved_ = old;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv()
    {
        if (saved_) setenv(name_, saved_->c_str(), 1);
        else unsetenv(name_);
    }

private:
    const char *name_;
    std::optional<std::string> saved_;
};

// A host told nothing else keeps the highest stamp it took for its key pair
// in a place of its own: a restart refuses a block the earlier run took,
// also one stamped ahead of its clock (a client whose clock runs ahead).
// While a host runs, a second host of its key does not start; nor does one
// whose state there is not a stamp, saying why.
TEST_F(Session, DefaultHostKeepsTheHighestStampOfItsKeyPair)
{
    ScopedEnv stateHome("XDG_STATE_HOME", dir.file("state"));
    const auto key = hostsim::HostKey::generate();
    ASSERT_TRUE(key);
    hostsim::Key32 clientPriv, salt;
    clientPriv.fill(0x31);
    salt.fill(0x42);
    auto keyFrame = [&](int64_t stamp) {
        auto block = hostsim::MakeClientKeyBlock(key->publicKey(), clientPriv, salt, uint64_t(stamp));
        EXPECT_TRUE(block);
        return block ? "S00128" + std::string(block->begin(), block->end()) : std::string();
    };
    auto answer = [](hostsim::HostServer &h, const std::string &frame) {
        Client c;
        if (!c.connectTo(h.port())) return std::string("no connection");
        c.write(frame);
        auto f = c.frame();
        return f ? std::string(1, f->letter) + f->payload : std::string("no answer");
    };
    const int64_t ahead = hostsim::WallClockMs() + 290000;
    const std::string recorded = keyFrame(ahead);
    {
        hostsim::HostServer first;
        first.setHostKey(*key);
        ASSERT_TRUE(first.listen(0));
        EXPECT_EQ(answer(first, recorded), "SOK");
    }
    const QString file = hostsim::DefaultKeyStateFile(*key);
    ASSERT_TRUE(file.startsWith(QString::fromStdString(dir.file("state/fennimarch/hostsim/")))) << file.toStdString();
    QFile kept(file);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll().toStdString(), std::to_string(ahead) + "\n");
    kept.close();

    {
        hostsim::HostServer restarted;
        restarted.setHostKey(*key);
        ASSERT_TRUE(restarted.listen(0));
        EXPECT_EQ(answer(restarted, recorded), "SERR");
        EXPECT_EQ(restarted.protocolErrors(), std::vector<std::string>{"key block stamped before the host started"});

        hostsim::HostServer second;
        second.setHostKey(*key);
        EXPECT_FALSE(second.listen(0));
        EXPECT_TRUE(second.errorString().contains("another host is running on the key state file " + file))
            << second.errorString().toStdString();
    }

    ASSERT_TRUE(kept.open(QIODevice::WriteOnly | QIODevice::Truncate));
    kept.write("9223372036854775807\n"); // one more would overflow
    kept.close();
    hostsim::HostServer broken;
    broken.setHostKey(*key);
    EXPECT_FALSE(broken.listen(0));
    EXPECT_TRUE(broken.errorString().contains("key state file " + file)) << broken.errorString().toStdString();
}

TEST_F(Session, ErrorsOnDemand)
{
    Client c;
    ASSERT_EQ(Code(c.logIn(host.port(), "1234", "1111")), "0810100");

    // Answer codes go out as given, also non-numeric, once each; a rule for
    // another code does not touch this one.
    host.failNext("0600100", "16");
    host.failNext("0800900", "AB");
    host.failNext("0800900", "  ");
    for (const char *resp : {"AB", "  ", "00"}) {
        c.send(Request('0', "0800900", "1234"));
        std::string a = c.telegram();
        EXPECT_EQ(Resp(a), resp);
        EXPECT_EQ(Code(a), "0810900");
    }
    // A lasting any-code rule.
    host.failNext("", "22", -1);
    for (const char *code : {"0800100", "0400100", "0800100"}) {
        c.send(Request('0', code, "1234", "1111"));
        EXPECT_EQ(Resp(c.telegram()), "22") << code;
    }
}

TEST_F(Session, UnknownCodesAndOwnHandlers)
{
    Client c;
    ASSERT_EQ(Code(c.logIn(host.port(), "1234", "1111")), "0810100");
    c.send(Request('9', "0999999", "1234"));
    std::string a = c.telegram();
    EXPECT_EQ(Code(a), "0999999");
    EXPECT_EQ(Resp(a), "01");

    host.setHandler("0999999", [](hostsim::HostConnection &conn, const std::string &req) {
        conn.sendTelegram(conn.answerFor(req, "0999990"));
    });
    c.send(Request('9', "0999999", "1234"));
    a = c.telegram();
    EXPECT_EQ(Code(a), "0999990");
    EXPECT_EQ(Resp(a), "00");
    EXPECT_EQ(host.sentTelegrams().back(), a);
}

} // namespace
