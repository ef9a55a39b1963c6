// The hostsim program: its start line, the demo scenario served over TCP,
// the verbose log, the version report of the demo's own files, and refusal
// of bad arguments.
#include "hostclient.h"
#include "platform/versioninfo.h"

#include <QProcess>
#include <QRegularExpression>
#include <filesystem>

using namespace hstest;

namespace {

const QString kProgram = FM_BINARY_DIR "/bin/hostsim";
const QString kDemo = FM_SOURCE_DIR "/tools/hostsim/demo-scenario.json";

class Program : public ::testing::Test {
protected:
    ~Program() override
    {
        if (proc.state() != QProcess::NotRunning) {
            proc.kill();
            proc.waitForFinished(3000);
        }
    }
    fmtest::TempDir dir;
    ScopedCwd cwd{dir.path()};
    QProcess proc;
    // The program serves with the demo key and writes its public half for
    // the client, as the demo set-up has it do.
    void SetUp() override
    {
        const std::string file = dir.file(hostsim::kHostPublicKeyFileName);
        ASSERT_EQ(QProcess::execute(kProgram, {"--write-public-key", QString::fromStdString(file)}), 0);
        EXPECT_EQ(dir.read(hostsim::kHostPublicKeyFileName), hostsim::HostKey::demo().publicHex() + "\n");
    }
    // Starts the program on a free port; returns that port (0 when it did
    // not start). `out` collects what it prints.
    quint16 start(const QStringList &args)
    {
        proc.start(kProgram, QStringList{"--port", "0"} + args);
        if (!proc.waitForStarted(5000)) return 0;
        fmtest::WaitFor([&] {
            out += QString::fromUtf8(proc.readAllStandardOutput());
            return out.contains('\n');
        });
        auto m = QRegularExpression("^hostsim listening on 127\\.0\\.0\\.1:(\\d+)\n").match(out);
        EXPECT_TRUE(m.hasMatch()) << out.toStdString();
        return m.hasMatch() ? quint16(m.captured(1).toUInt()) : 0;
    }
    QString out;
};

TEST_F(Program, ServesTheDemoScenarioAndLogsWhatItReceives)
{
    const quint16 port = start({"--scenario", kDemo, "--verbose"});
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
    const quint16 port = start({"--scenario", kDemo, "--versions-from", QString::fromStdString(demo), "--state",
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

TEST_F(Program, RefusesBadArguments)
{
    dir.write("bad.json", "{\"accounts\": {\"12345\": \"x\"}}");
    struct Case {
        QStringList args;
        const char *says;
    } cases[] = {
        {{}, "--port"},
        {{"--port", "0", "--scenario", QString::fromStdString(dir.file("bad.json"))}, "12345"},
        {{"--port", "0", "--key", QString::fromStdString(dir.file("bad.json"))}, "private key"},
        {{"--port", "0", "--versions-from", QString::fromStdString(dir.path())}, "no file version"},
    };
    for (const auto &c : cases) {
        QProcess p;
        p.start(kProgram, c.args);
        ASSERT_TRUE(p.waitForFinished(5000));
        EXPECT_EQ(p.exitCode(), 2) << c.args.join(' ').toStdString();
        QString err = QString::fromUtf8(p.readAllStandardError());
        EXPECT_TRUE(err.contains(c.says)) << err.toStdString();
    }
}

} // namespace
