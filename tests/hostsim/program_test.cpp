// The hostsim program: its start line, the demo scenario served over TCP,
// the verbose log, and refusal of bad arguments.
#include "hostclient.h"

#include <QProcess>
#include <QRegularExpression>

#include <sys/stat.h>

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
};

TEST_F(Program, ServesTheDemoScenarioAndLogsWhatItReceives)
{
    proc.start(kProgram, {"--port", "0", "--scenario", kDemo, "--verbose"});
    ASSERT_TRUE(proc.waitForStarted(5000));
    QString out;
    ASSERT_TRUE(fmtest::WaitFor([&] {
        out += QString::fromUtf8(proc.readAllStandardOutput());
        return out.contains('\n');
    }));
    auto m = QRegularExpression("^hostsim listening on 127\\.0\\.0\\.1:(\\d+)\n").match(out);
    ASSERT_TRUE(m.hasMatch()) << out.toStdString();
    quint16 port = quint16(m.captured(1).toUInt());
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

// Bad arguments, and files it cannot use (also a FIFO in a file's place,
// refused rather than waited on), end the program with a message.
TEST_F(Program, RefusesBadArguments)
{
    dir.write("bad.json", "{\"accounts\": {\"12345\": \"x\"}}");
    const QString fifo = QString::fromStdString(dir.file("fifo"));
    ASSERT_EQ(mkfifo(dir.file("fifo").c_str(), 0600), 0);
    struct Case {
        QStringList args;
        const char *says;
    } cases[] = {
        {{}, "--port"},
        {{"--port", "0", "--scenario", QString::fromStdString(dir.file("bad.json"))}, "12345"},
        {{"--port", "0", "--key", QString::fromStdString(dir.file("bad.json"))}, "private key"},
        {{"--port", "0", "--key", fifo}, "private key"},
        {{"--port", "0", "--scenario", fifo}, "not a regular file"},
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
