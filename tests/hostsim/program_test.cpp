// The hostsim program: its start line, the demo scenario served over TCP,
// the verbose log, the version report of the demo's own files, the key
// state kept across runs and by one host at a time, a state it cannot keep,
// and refusal of bad arguments.
#include "hostclient.h"
#include "platform/versioninfo.h"

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <filesystem>

#include <cerrno>
#include <cstring>

#include <sys/resource.h>
#include <sys/stat.h>

using namespace hstest;

namespace {

const QString kProgram = FM_BINARY_DIR "/bin/hostsim";
const QString kDemo = FM_SOURCE_DIR "/tools/hostsim/demo-scenario.json";

class Program : public ::testing::Test {
protected:
    ~Program() override { stop(); }
    fmtest::TempDir dir;
    ScopedCwd cwd{dir.path()};
    QProcess proc;
    QString out;
    // The program keeps its key state under XDG_STATE_HOME, here in the
    // test's folder.
    const QString stateHome = QString::fromStdString(dir.file("state"));
    QProcessEnvironment env = [this] {
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        e.insert("XDG_STATE_HOME", stateHome);
        return e;
    }();

    // The program serves with the demo key and writes its public half for
    // the client, as the demo set-up has it do.
    void SetUp() override
    {
        proc.setProcessEnvironment(env);
        const std::string file = dir.file(hostsim::kHostPublicKeyFileName);
        ASSERT_EQ(QProcess::execute(kProgram, {"--write-public-key", QString::fromStdString(file)}), 0);
        EXPECT_EQ(dir.read(hostsim::kHostPublicKeyFileName), hostsim::HostKey::demo().publicHex() + "\n");
    }
    // Starts the program; the port it listens on (0 when it does not).
    quint16 start(const QStringList &args)
    {
        out.clear();
        proc.start(kProgram, args);
        if (!proc.waitForStarted(5000)) return 0;
        fmtest::WaitFor([&] {
            out += QString::fromUtf8(proc.readAllStandardOutput());
            return out.contains('\n');
        });
        auto m = QRegularExpression("^hostsim listening on 127\\.0\\.0\\.1:(\\d+)\n").match(out);
        EXPECT_TRUE(m.hasMatch()) << out.toStdString();
        return m.hasMatch() ? quint16(m.captured(1).toUInt()) : 0;
    }
    // Runs the program to its end: its exit code and what it said on stderr.
    std::pair<int, QString> run(const QStringList &args, const QProcessEnvironment &e)
    {
        QProcess p;
        p.setProcessEnvironment(e);
        p.start(kProgram, args);
        EXPECT_TRUE(p.waitForFinished(5000)) << args.join(' ').toStdString();
        return {p.exitCode(), QString::fromUtf8(p.readAllStandardError())};
    }
    // The frame of a demo-key block stamped `stamp` (salt from `saltByte`).
    static std::string keyFrame(int64_t stamp, uint8_t saltByte)
    {
        hostsim::Key32 clientPriv, salt;
        clientPriv.fill(0x51);
        salt.fill(saltByte);
        auto block =
            hostsim::MakeClientKeyBlock(hostsim::HostKey::demo().publicKey(), clientPriv, salt, uint64_t(stamp));
        EXPECT_TRUE(block);
        return block ? "S00128" + std::string(block->begin(), block->end()) : std::string();
    }
    // The host's answer to a key frame sent on a connection of its own.
    static std::string answerTo(quint16 port, const std::string &frame)
    {
        Client c;
        if (!c.connectTo(port)) return "no connection";
        c.write(frame);
        auto f = c.frame();
        return f ? std::string(1, f->letter) + f->payload : std::string("no answer");
    }
    // The demo key's default state file under the test's XDG_STATE_HOME.
    QString defaultStateFile() const
    {
        const auto id = hostsim::HostKey::demo().keyId();
        return stateHome + "/fennimarch/hostsim/" + QByteArray(reinterpret_cast<const char *>(id.data()), 8).toHex() +
               ".state";
    }
    void stop()
    {
        if (proc.state() != QProcess::NotRunning) {
            proc.kill();
            proc.waitForFinished(3000);
        }
    }
};

TEST_F(Program, ServesTheDemoScenarioAndLogsWhatItReceives)
{
    const quint16 port = start({"--port", "0", "--scenario", kDemo, "--verbose"});
    ASSERT_NE(port, 0);

    Client c;
    std::string a = c.logIn(port, "1234", "1111");
    EXPECT_EQ(Code(a), "0810100");
    EXPECT_NE(Data(a), std::string(960, ' ')) << "the demo notice";

    std::string today = QDate::currentDate().toString("yyyyMMdd").toStdString();
    std::string weekAgo = QDate::currentDate().addDays(-7).toString("yyyyMMdd").toStdString();
    c.send(Request('6', "0600100", "1234", weekAgo + today + "R"));
    EXPECT_EQ(Code(c.telegram()), "0610100");
    EXPECT_EQ(RecCount(c.telegram()), "23");
    c.send(Request('6', "0620100", "1234"));
    EXPECT_EQ(RecCount(c.telegram()), "07");

    EXPECT_TRUE(fmtest::WaitFor([&] {
        out += QString::fromUtf8(proc.readAllStandardOutput());
        return out.contains("0620100");
    }));
    EXPECT_TRUE(out.contains("[1] connected")) << out.toStdString();
    EXPECT_TRUE(out.contains("[1] key ")) << out.toStdString();
    EXPECT_TRUE(out.contains("[1] recv 008001001234ZEMA")) << out.toStdString();
}

// The demo host started as scripts/run.sh starts it, on the demo's working
// folder: the versions the updater reads from the demo's own files are
// current, any others are answered with those of the files.
TEST_F(Program, TheDemoHostReportsTheDemosOwnFilesCurrent)
{
    const std::string demo = dir.file("demo");
    std::filesystem::create_directory(demo);
    for (const char *name : {"Marrowick.exe", "Omvertis.dll"})
        std::filesystem::copy_file(std::string(FM_BINARY_DIR "/bin/") + name, demo + "/" + name);
    const std::string installed = "DLL:" + fm::GetFileVersionString(demo + "/Omvertis.dll", "FileVersion") +
                                  " EXE:" + fm::GetFileVersionString(demo + "/Marrowick.exe", "FileVersion");
    ASSERT_EQ(installed.size(), 23u) << installed;
    const quint16 port = start({"--port", "0", "--scenario", kDemo, "--versions-from", QString::fromStdString(demo), "--state",
                                QString::fromStdString(dir.file("hostsim.state"))});
    ASSERT_NE(port, 0);
    struct Case {
        std::string request, answer;
    } cases[] = {
        {"V00023" + installed, "V00002OK"},
        {"V00023DLL:1.0.0.0 EXE:1.0.0.0", "V00027DIFF" + installed},
    };
    for (const Case &c : cases) {
        QTcpSocket socket;
        socket.connectToHost("127.0.0.1", port);
        ASSERT_TRUE(socket.waitForConnected(5000));
        socket.write(c.request.data(), qint64(c.request.size()));
        QByteArray answer;
        fmtest::WaitFor([&] {
            answer += socket.readAll();
            return answer.size() >= qsizetype(c.answer.size());
        });
        EXPECT_EQ(answer.toStdString(), c.answer) << c.request;
    }
}

// With the default options the program keeps the highest stamp it took for
// its key pair: a key frame of a client whose clock runs 290 s ahead, taken
// by one run, is refused by the next run started the same way.
TEST_F(Program, RestartWithDefaultOptionsRefusesAKeyTheLastRunTook)
{
    const int64_t ahead = hostsim::WallClockMs() + 290000;
    const std::string recorded = keyFrame(ahead, 0x62);
    for (const char *expected : {"SOK", "SERR"}) {
        const quint16 port = start({"--port", "0"});
        ASSERT_NE(port, 0);
        EXPECT_EQ(answerTo(port, recorded), expected);
        stop();
    }
    QFile kept(defaultStateFile());
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly)) << kept.fileName().toStdString();
    EXPECT_EQ(kept.readAll().toStdString(), std::to_string(ahead) + "\n");
}

// Two hosts of one key on one state folder: while the first runs, the
// second does not start, so it cannot write a lower stamp over the one the
// first kept; a restart after the first refuses the block the first took.
TEST_F(Program, ASecondHostOfOneKeyDoesNotStart)
{
    const quint16 port = start({"--port", "0"});
    ASSERT_NE(port, 0);
    const std::string taken = keyFrame(hostsim::WallClockMs() + 200000, 0x63);
    ASSERT_EQ(answerTo(port, taken), "SOK");

    const auto [code, err] = run({"--port", "0"}, env);
    EXPECT_EQ(code, 2);
    EXPECT_TRUE(err.contains("another host is running on the key state file " + defaultStateFile())) << err.toStdString();
    EXPECT_EQ(answerTo(port, keyFrame(hostsim::WallClockMs(), 0x64)), "SOK") << "the first host serves on";
    stop();

    const quint16 restarted = start({"--port", "0"});
    ASSERT_NE(restarted, 0);
    EXPECT_EQ(answerTo(restarted, taken), "SERR");
}

// A state the program cannot keep stops it at its start with a message
// naming the file and how to give another, instead of a host that refuses
// every key: a HOME that is a plain file, a --state under a plain file, an
// empty --state, and no place at all (neither HOME nor XDG_STATE_HOME, where
// it must not fall back on the root folder).
TEST_F(Program, RefusesToStartWithAStateItCannotKeep)
{
    dir.write("plain", "");
    const QString plain = QString::fromStdString(dir.file("plain"));
    QProcessEnvironment homeIsAFile = env, noPlace = env;
    homeIsAFile.remove("XDG_STATE_HOME");
    homeIsAFile.insert("HOME", plain);
    noPlace.remove("XDG_STATE_HOME");
    noPlace.remove("HOME");
    const auto id = hostsim::HostKey::demo().keyId();
    const QString homeState = plain + "/.local/state/fennimarch/hostsim/" +
                              QByteArray(reinterpret_cast<const char *>(id.data()), 8).toHex() + ".state";
    struct Case {
        QStringList args;
        const QProcessEnvironment &env;
        QStringList says;
    } cases[] = {
        {{"--port", "0"}, homeIsAFile, {homeState, "--state FILE", "XDG_STATE_HOME"}},
        {{"--port", "0", "--state", plain + "/hostsim.state"}, env, {plain + "/hostsim.state", "--state FILE"}},
        {{"--port", "0", "--state", ""}, env, {"empty name", "--state FILE"}},
        {{"--port", "0"}, noPlace, {"neither XDG_STATE_HOME nor HOME", "--state FILE"}},
    };
    for (const Case &c : cases) {
        const auto [code, err] = run(c.args, c.env);
        EXPECT_EQ(code, 2) << c.args.join(' ').toStdString();
        for (const QString &part : c.says) EXPECT_TRUE(err.contains(part)) << err.toStdString();
    }
}

// A state write failing once the host runs refuses the key and is said on
// stderr, also without --verbose. The host's file size limit, lowered
// under a stamp's length while it runs, makes its next write fail.
TEST_F(Program, SaysAStateWriteFailingLaterOnStderr)
{
    const QString state = QString::fromStdString(dir.file("hostsim.state"));
    const quint16 port = start({"--port", "0", "--state", state});
    ASSERT_NE(port, 0);
    auto kept = [&] { return QByteArray::fromStdString(dir.read("hostsim.state")).trimmed().toLongLong(); };
    const qint64 before = kept();
    ASSERT_GE(before, hostsim::WallClockMs() - 60000) << "one below the host's start";
    const rlimit small{4, RLIM_INFINITY};
    ASSERT_EQ(::prlimit(pid_t(proc.processId()), RLIMIT_FSIZE, &small, nullptr), 0) << std::strerror(errno);
    EXPECT_EQ(answerTo(port, keyFrame(hostsim::WallClockMs(), 0x65)), "SERR");
    EXPECT_GE(kept(), before) << "the write cut short left a lower stamp";
    QString err;
    EXPECT_TRUE(fmtest::WaitFor([&] {
        err += QString::fromUtf8(proc.readAllStandardError());
        return err.contains('\n');
    }));
    EXPECT_TRUE(err.contains("cannot write the key state file " + state)) << err.toStdString();
}

// Bad arguments, and files it cannot use (also a FIFO in a file's place,
// refused rather than waited on), end the program with a message.
TEST_F(Program, RefusesBadArguments)
{
    dir.write("bad.json", "{\"accounts\": {\"12345\": \"x\"}}");
    dir.write("big.state", "9223372036854775807\n");
    dir.write("word.state", "soon\n");
    const QString fifo = QString::fromStdString(dir.file("fifo"));
    ASSERT_EQ(mkfifo(dir.file("fifo").c_str(), 0600), 0);
    struct Case {
        QStringList args;
        const char *says;
    } cases[] = {
        {{}, "--port"},
        {{"--port", "0", "--scenario", QString::fromStdString(dir.file("bad.json"))}, "12345"},
        {{"--port", "0", "--key", QString::fromStdString(dir.file("bad.json"))}, "private key"},
        {{"--port", "0", "--versions-from", QString::fromStdString(dir.path())}, "no file version"},
        {{"--port", "0", "--state", QString::fromStdString(dir.file("big.state"))}, "key state file"},
        {{"--port", "0", "--state", QString::fromStdString(dir.file("word.state"))}, "key state file"},
        {{"--port", "0", "--state", fifo}, "not a regular file"},
        {{"--port", "0", "--key", fifo}, "private key"},
        {{"--port", "0", "--scenario", fifo}, "not a regular file"},
    };
    for (const auto &c : cases) {
        const auto [code, err] = run(c.args, env);
        EXPECT_EQ(code, 2) << c.args.join(' ').toStdString();
        EXPECT_TRUE(err.contains(c.says)) << err.toStdString();
    }
}

} // namespace
