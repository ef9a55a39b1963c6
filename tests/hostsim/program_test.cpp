// The hostsim program: its start line, the demo scenario served over TCP,
// the verbose log, the version report of the demo's own files, the key
// state kept across runs, and refusal of bad arguments.
#include "hostclient.h"
#include "platform/versioninfo.h"

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <filesystem>

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
    hostsim::Key32 clientPriv, salt;
    clientPriv.fill(0x51);
    salt.fill(0x62);
    const int64_t ahead = hostsim::WallClockMs() + 290000;
    auto block = hostsim::MakeClientKeyBlock(hostsim::HostKey::demo().publicKey(), clientPriv, salt,
                                             uint64_t(ahead));
    ASSERT_TRUE(block);
    const std::string recorded = "S00128" + std::string(block->begin(), block->end());
    for (const char *expected : {"SOK", "SERR"}) {
        const quint16 port = start({"--port", "0"});
        ASSERT_NE(port, 0);
        Client c;
        ASSERT_TRUE(c.connectTo(port));
        c.write(recorded);
        auto f = c.frame();
        ASSERT_TRUE(f);
        EXPECT_EQ(std::string(1, f->letter) + f->payload, expected);
        stop();
    }
    const auto id = hostsim::HostKey::demo().keyId();
    const QString state = stateHome + "/fennimarch/hostsim/"
                          + QByteArray(reinterpret_cast<const char *>(id.data()), 8).toHex() + ".state";
    QFile kept(state);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly)) << state.toStdString();
    EXPECT_EQ(kept.readAll().toStdString(), std::to_string(ahead) + "\n");
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
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(kProgram, c.args);
        ASSERT_TRUE(p.waitForFinished(5000));
        EXPECT_EQ(p.exitCode(), 2) << c.args.join(' ').toStdString();
        QString err = QString::fromUtf8(p.readAllStandardError());
        EXPECT_TRUE(err.contains(c.says)) << err.toStdString();
    }
}

} // namespace
