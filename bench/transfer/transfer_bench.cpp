// A full send and a full receive of a large transfer file between the
// communication window and the host simulator program over loopback, and in
// the same run the same exchange by a minimal client of this program's own
// (no widgets: the same frames and cipher, one round trip per block) against
// the same simulator. Prints both times (the median of the runs, with the
// spread from the fastest to the slowest run beside it) and their ratio per
// direction, and the window's peak resident memory during the send and the
// receive against its resident memory when logged in.
//
//   bench_transfer [--records N] [--runs N]
//       N data records in the file (default 10001); N runs of each exchange,
//       whose medians are compared (default 5)
//
// The window's times run from the tick of its 1,000 ms timer to the end of
// the file: the host's confirmation of a sent file (the completion box), the
// window's confirmation of a received one (before the file is converted).
// The minimal client's run from its request to the same points. Message
// boxes and the log-in dialog are answered by the program; it waits on the
// event loop, never by polling.
#include "common/codec.h"
#include "common/msgbox.h"
#include "common/modal.h"
#include "common/regnames.h"
#include "platform/ClientSocket.h"
#include "platform/registry.h"
#include "session/C101B00.h"
#include "session/C101B01.h"
#include "session/DataGrid.h"
#include "session/Telegram.h"
#include "shell/DMModule.h"
#include "zelcoran.h"

#include <QApplication>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// The host simulator's demo key pair: its public half, as the client reads
// it from ZelcoranHost.key.
constexpr const char *kDemoHostPublicKey = "19b20ddc47058e7124946fac68c2f18d2c21c7072b6cb4262e326d01fb6a3308";
constexpr const char *kCompany = "AB12";
constexpr const char *kPassword = "pw1234";
constexpr const char *kBank = "0026";
constexpr const char *kKind = "300";
constexpr const char *kFileName = "S0001.txt";

QString U(const char *utf8) { return QString::fromUtf8(utf8); }

[[noreturn]] void Fail(const std::string &what)
{
    std::fprintf(stderr, "bench_transfer: %s\n", what.c_str());
    std::exit(1);
}

// ---- memory -------------------------------------------------------------------

// A field of /proc/self/status in kB ("VmRSS", "VmHWM").
long StatusKb(const std::string &field)
{
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.compare(0, field.size() + 1, field + ":") == 0) return std::atol(line.c_str() + field.size() + 1);
    return -1;
}

// Starts a new peak: VmHWM := the resident memory now.
bool ResetPeak()
{
    std::ofstream out("/proc/self/clear_refs");
    out << "5";
    out.flush();
    return bool(out);
}

// CPU time of this process so far (user and system), in ms.
double CpuMs()
{
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

double Mb(long kb) { return double(kb) / 1024.0; }
double Ms(qint64 ns) { return double(ns) / 1e6; }

// ---- the host simulator program ------------------------------------------------

class Host {
public:
    // Hands out the records of `transferFile` (CP949 lines) as a result file.
    Host(const QString &folder, const QString &transferFile)
    {
        QFile in(transferFile);
        if (!in.open(QIODevice::ReadOnly)) Fail("cannot read the transfer file");
        QJsonArray records;
        for (const QByteArray &line : in.readAll().split('\n'))
            if (!line.trimmed().isEmpty()) records.append(fm::ToQ(line.chopped(line.endsWith('\r') ? 1 : 0).toStdString()));
        QJsonObject file{{"bank", kBank}, {"kind", kKind}, {"date", "today"}, {"seq", 1}, {"name", "12340026"},
                         {"records", records}};
        QJsonObject scenarioJson{{"accounts", QJsonObject{{kCompany, kPassword}}}, {"resultFiles", QJsonArray{file}}};
        const QString scenario = folder + "/scenario.json";
        QFile f(scenario);
        if (!f.open(QIODevice::WriteOnly) || f.write(QJsonDocument(scenarioJson).toJson()) < 0) Fail("cannot write the scenario");
        f.close();
        process_.setProgram(QCoreApplication::applicationDirPath() + "/hostsim");
        // Its key state in the benchmark's folder, never the user's own.
        process_.setArguments({"--port", "0", "--scenario", scenario, "--state", folder + "/hostsim.state"});
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start();
        if (!process_.waitForStarted()) Fail("cannot start " + process_.program().toStdString());
        // "hostsim listening on 127.0.0.1:N"
        while (!process_.canReadLine())
            if (!process_.waitForReadyRead(10000)) Fail("the host simulator did not start listening");
        const QString line = QString::fromUtf8(process_.readLine()).trimmed();
        port_ = line.section(':', -1).toInt();
        if (port_ <= 0) Fail("unexpected line from the host simulator: " + line.toStdString());
    }
    ~Host()
    {
        process_.kill();
        process_.waitForFinished();
    }
    int port() const { return port_; }

    // Writes a transfer file of `records` data records (and a header and a
    // trailer) with the simulator's own writer.
    static void WriteTransferFile(const QString &path, int records)
    {
        const int rc = QProcess::execute(QCoreApplication::applicationDirPath() + "/hostsim",
                                         {"--write-transfer-file", path, "--records", QString::number(records)});
        if (rc != 0) Fail("cannot write the transfer file");
    }

private:
    QProcess process_;
    int port_ = 0;
};

// ---- the communication window ---------------------------------------------------

// One exchange: wall time from its start to the end of the file, and this
// process's CPU time over the whole step.
struct Step {
    double ms = 0, cpuMs = 0;
};

template <class F>
Step Measure(F step)
{
    const double cpu = CpuMs();
    Step s;
    s.ms = step();
    s.cpuMs = CpuMs() - cpu;
    return s;
}

class WindowRun : public QObject {
public:
    explicit WindowRun(fm::TFrmC101B00 &w) : w_(w)
    {
        fm::SetMessageBoxHandler([this](const fm::ShownBox &box) {
            boxes_.push_back(box.text);
            if (onBox_) onBox_(box.text);
            check();
            return int(box.buttons == fm::MsgButtons::YesNo ? fm::mrYes : fm::mrOk);
        });
        fm::SetModalRunner([](QDialog &d) {
            auto *login = dynamic_cast<fm::TFrmC101B01 *>(&d);
            if (!login) return int(fm::mrCancel);
            login->EdtCompCd->setText(QString::fromLatin1(kCompany));
            login->EdtPswd->setText(QString::fromLatin1(kPassword));
            return int(fm::mrOk);
        });
        // Every host frame, every box and every tick is a moment to look
        // whether the step waited for is done.
        auto read = w_.CSock->OnRead;
        w_.CSock->OnRead = [this, read] {
            read();
            check();
        };
        auto send = w_.Builders.SendTelegram;
        w_.Builders.SendTelegram = [this, send] {
            send();
            if (onSend_) onSend_(fm::FieldRaw(fm::Telegram.MsgCode));
        };
        w_.TmrSnd->installEventFilter(this);
        w_.TmrRecv->installEventFilter(this);
        clock_.start();
    }
    ~WindowRun() override
    {
        fm::SetMessageBoxHandler(nullptr);
        fm::SetModalRunner(nullptr);
    }

    void Login()
    {
        w_.BBtnConn->click();
        if (!RunUntil([this] { return w_.LoggedIn(); }, 20000)) Fail("the window did not log in: " + Boxes());
    }

    double Send(const std::string &count)
    {
        // The run before ends with the tick after its last file.
        if (!RunUntil([this] { return !w_.SendRunning(); }, 10000)) Fail("the window's send run did not end");
        w_.SetSendFileListTitle();
        w_.FillFileList(w_.AppDir() + "\\Send", "S", "S");
        if (w_.SGrdDataLst->Cells(6, 1) != count) Fail("the send list shows " + w_.SGrdDataLst->Cells(6, 1) + " records");
        w_.SGrdDataLst->SetCell(10, 1, fm::MarkText());
        tick_ = -1;
        timed_ = w_.TmrSnd;
        qint64 end = -1;
        onBox_ = [&](const QString &text) {
            if (text == U("이체자료 파일송신이 완료되었습니다!!")) end = clock_.nsecsElapsed();
        };
        w_.BBtnFileSnd->setEnabled(true);
        w_.BBtnFileSnd->click();
        const bool done = RunUntil([&] { return end >= 0; }, 600000);
        onBox_ = nullptr;
        if (!done || tick_ < 0) Fail("the window's send did not end: " + Boxes());
        return Ms(end - tick_);
    }

    double Receive(int lines, const std::string &date)
    {
        w_.SetResultListTitle();
        fm::TStringGrid &g = *w_.SGrdDataLst;
        g.SetCell(0, 1, "R");
        g.SetCell(1, 1, kBank);
        g.SetCell(2, 1, kKind);
        g.SetCell(3, 1, date);
        g.SetCell(6, 1, std::to_string(lines));
        g.SetCell(7, 1, "001");
        g.SetCell(9, 1, fm::MarkText());
        tick_ = -1;
        timed_ = w_.TmrRecv; // not the send run's last tick, which may come meanwhile
        qint64 end = -1;
        bool converted = false;
        onSend_ = [&](const std::string &code) {
            if (code == "0810800") end = clock_.nsecsElapsed();
        };
        onBox_ = [&](const QString &text) {
            if (text == U("이체결과자료 수신이 완료되었습니다!!")) converted = true;
        };
        w_.BBtnFileRecv->setEnabled(true);
        w_.BBtnFileRecv->click();
        const bool done = RunUntil([&] { return converted; }, 600000);
        onSend_ = nullptr;
        onBox_ = nullptr;
        if (!done || tick_ < 0 || end < 0) Fail("the window's receive did not end: " + Boxes());
        convertMs_ = Ms(clock_.nsecsElapsed() - end);
        return Ms(end - tick_);
    }

    double ConversionAfterReceiveMs() const { return convertMs_; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Timer && (watched == w_.TmrSnd || watched == w_.TmrRecv)) {
            if (tick_ < 0 && watched == timed_) tick_ = clock_.nsecsElapsed();
            // Looked at once the tick has been handled.
            QMetaObject::invokeMethod(this, [this] { check(); }, Qt::QueuedConnection);
        }
        return false;
    }

private:
    // Runs the event loop until `done` holds, looked at after every host
    // frame and every box; a single-shot timer ends a run that hangs.
    bool RunUntil(const std::function<bool()> &done, int timeoutMs)
    {
        if (done()) return true;
        QEventLoop loop;
        loop_ = &loop;
        done_ = done;
        QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
        loop.exec();
        loop_ = nullptr;
        done_ = nullptr;
        return done();
    }
    void check()
    {
        if (loop_ && done_ && done_()) loop_->quit();
    }
    std::string Boxes() const
    {
        std::string out;
        for (const QString &b : boxes_) out += "[" + b.toStdString() + "] ";
        return out;
    }

    fm::TFrmC101B00 &w_;
    QElapsedTimer clock_;
    qint64 tick_ = -1;
    QTimer *timed_ = nullptr; // the timer whose tick starts the step timed
    double convertMs_ = 0;
    QEventLoop *loop_ = nullptr;
    std::function<bool()> done_;
    std::function<void(const QString &)> onBox_;
    std::function<void(const std::string &)> onSend_;
    std::vector<QString> boxes_;
};

// ---- the minimal client -----------------------------------------------------------

// Field offsets of the 1024-byte telegram.
enum Field : size_t {
    kJobKind = 0, kMsgCode = 1, kCompCd = 8, kSubCode = 12, kStamp = 16, kRecCount = 30, kBlockSeq = 32,
    kResp = 39, kDir = 41, kRecInfo = 42, kData = 64
};
constexpr size_t kTelegram = 1024;
constexpr size_t kDataWidth = 960;

void Put(std::string &t, size_t at, size_t width, const std::string &value)
{
    t.replace(at, width, (value + std::string(width, ' ')).substr(0, width));
}

std::string Digits(long long value, size_t width)
{
    std::string s = std::to_string(value);
    return s.size() >= width ? s : std::string(width - s.size(), '0') + s;
}

// One blocking TCP connection with a session key: frames out and in, one
// telegram answered by one telegram.
class MiniClient {
public:
    explicit MiniClient(int port)
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(uint16_t(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (fd_ < 0 || ::connect(fd_, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0) Fail("minimal client: cannot connect");
        unsigned char key[128] = {};
        if (GetRSASeedKey(ctx_, key) < 1) Fail("minimal client: no session key");
        Write("S00128" + std::string(reinterpret_cast<char *>(key), sizeof key));
        const std::string answer = ReadFrame();
        if (answer.compare(0, 2, "OK") != 0) Fail("minimal client: key refused");
    }
    ~MiniClient() { ::close(fd_); }

    std::string Telegram(const char *code, char jobKind) const
    {
        std::string t(kTelegram, ' ');
        t[kJobKind] = jobKind;
        Put(t, kMsgCode, 7, code);
        Put(t, kCompCd, 4, kCompany);
        Put(t, kSubCode, 4, "ZEMA");
        Put(t, kStamp, 14, "20240105120000");
        Put(t, kRecCount, 2, "00");
        Put(t, kBlockSeq, 7, "0000001");
        Put(t, kResp, 2, "00");
        return t;
    }

    void Send(const std::string &telegram)
    {
        unsigned char sealed[1040] = {};
        rs_Encrypt(ctx_, reinterpret_cast<const unsigned char *>(telegram.data()), 1024, sealed);
        Write("D01040" + std::string(reinterpret_cast<char *>(sealed), sizeof sealed));
    }

    // The next answer telegram; fails on a host error.
    std::string Answer(const char *expected)
    {
        const std::string payload = ReadFrame();
        if (payload.size() != 1040) Fail("minimal client: a frame that is no telegram");
        unsigned char in[1041] = {}, out[1041];
        std::memcpy(in, payload.data(), 1040);
        if (rs_Decrypt(ctx_, in, 1041, out) != 1024) Fail("minimal client: a telegram that does not open");
        std::string t(reinterpret_cast<char *>(out), kTelegram);
        if (t.compare(kResp, 2, "00") != 0 || t.compare(kMsgCode, 7, expected) != 0)
            Fail("minimal client: expected " + std::string(expected) + ", got " + t.substr(0, 64));
        return t;
    }

    std::string RoundTrip(const std::string &telegram, const char *expected)
    {
        Send(telegram);
        return Answer(expected);
    }

    void Login()
    {
        std::string t = Telegram("0800100", '0');
        Put(t, kData, 10, kPassword);
        RoundTrip(t, "0810100");
    }

    // Sends the file: the request, its lines in blocks of whole records, the
    // end with the total.
    double SendFile(const std::string &path, int records)
    {
        QElapsedTimer clock;
        clock.start();
        std::string t = Telegram("0700100", kKind[0]);
        Put(t, kSubCode, 4, kBank);
        t[kDir] = 'S';
        const std::string accepted = RoundTrip(t, "0720100");
        const std::string sub = accepted.substr(kCompCd, 4);

        std::ifstream in(path, std::ios::binary);
        std::string line, block;
        if (!std::getline(in, line)) Fail("minimal client: empty transfer file");
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const size_t recLen = line.size();
        const long long total = records + 2;
        const long long perBlock = static_cast<long long>(kDataWidth / recLen);
        long long read = 1, seq = 0;
        block = line;
        for (;;) {
            while (read < total && (long long)(block.size() / recLen) < perBlock && std::getline(in, line)) {
                if (!line.empty() && line.back() == '\r') line.pop_back();
                block += line;
                ++read;
            }
            if (block.empty()) break;
            std::string b = Telegram("0710100", accepted[kJobKind]);
            Put(b, kSubCode, 4, sub);
            Put(b, kRecCount, 2, Digits((long long)(block.size() / recLen), 2));
            Put(b, kBlockSeq, 7, Digits(++seq, 7));
            b[kDir] = 'S';
            Put(b, kRecInfo, 22, Digits((long long)recLen, 3));
            Put(b, kData, kDataWidth, block);
            RoundTrip(b, "0730100");
            block.clear();
        }
        std::string end = Telegram("0800800", '0');
        end[kDir] = 'S';
        Put(end, kData, kDataWidth, Digits(total, 6));
        RoundTrip(end, "0810800");
        return Ms(clock.nsecsElapsed());
    }

    // Receives the file: each block written with one write and acknowledged,
    // the total compared and confirmed.
    double ReceiveFile(const std::string &date, const std::string &path)
    {
        QElapsedTimer clock;
        clock.start();
        std::string t = Telegram("0700100", kKind[0]);
        Put(t, kSubCode, 4, kBank);
        t[kDir] = 'R';
        Put(t, kData, kDataWidth, date + "001");
        Send(t);
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        long long count = 0;
        std::string answer = Answer("0720100");
        std::string lines;
        for (;;) {
            const size_t recLen = size_t(std::atoi(answer.substr(kRecInfo, 3).c_str()));
            const int n = std::atoi(answer.substr(kRecCount, 2).c_str());
            lines.clear();
            for (int i = 0; i < n; ++i) {
                lines.append(answer, kData + size_t(i) * recLen, recLen);
                lines += "\r\n";
            }
            out.write(lines.data(), std::streamsize(lines.size()));
            count += n;
            std::string ack = Telegram("0710100", answer[kJobKind]);
            Put(ack, kSubCode, 4, answer.substr(kCompCd, 4));
            ack[kDir] = 'R';
            Send(ack);
            const std::string next = ReadTelegram();
            if (next.compare(kMsgCode, 7, "0800800") == 0) {
                answer = next;
                break;
            }
            if (next.compare(kMsgCode, 7, "0730100") != 0) Fail("minimal client: unexpected " + next.substr(0, 64));
            answer = next;
        }
        out.close();
        if (!out) Fail("minimal client: cannot write the received file");
        const long long total = std::atoll(answer.substr(kData, kDataWidth).c_str());
        std::string end = Telegram("0810800", '0');
        end[kDir] = 'R';
        Put(end, kData, kDataWidth, Digits(count, 6));
        if (total != count) Put(end, kResp, 2, "13");
        Send(end);
        const double ms = Ms(clock.nsecsElapsed());
        if (total != count) Fail("minimal client: wrong total");
        return ms;
    }

private:
    std::string ReadTelegram()
    {
        const std::string payload = ReadFrame();
        unsigned char in[1041] = {}, out[1041];
        std::memcpy(in, payload.data(), std::min<size_t>(payload.size(), 1040));
        rs_Decrypt(ctx_, in, 1041, out);
        return std::string(reinterpret_cast<char *>(out), kTelegram);
    }
    void Write(const std::string &bytes)
    {
        size_t at = 0;
        while (at < bytes.size()) {
            const ssize_t n = ::send(fd_, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
            if (n <= 0) Fail("minimal client: send failed");
            at += size_t(n);
        }
    }
    void ReadExactly(char *to, size_t n)
    {
        size_t at = 0;
        while (at < n) {
            const ssize_t got = ::recv(fd_, to + at, n - at, 0);
            if (got <= 0) Fail("minimal client: connection ended");
            at += size_t(got);
        }
    }
    std::string ReadFrame()
    {
        char header[6];
        ReadExactly(header, sizeof header);
        const int len = std::atoi(std::string(header + 1, 5).c_str());
        std::string payload(size_t(len), '\0');
        ReadExactly(payload.data(), payload.size());
        return payload;
    }

    int fd_ = -1;
    unsigned char ctx_[ZELCORAN_CONTEXT_SIZE];
};

struct Options {
    int records = 10001; // data records of the file
    int runs = 5;        // exchanges of each kind; the medians are compared
};

Options ParseOptions(int argc, char **argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--records" && i + 1 < argc) {
            o.records = std::atoi(argv[++i]);
        } else if (a == "--runs" && i + 1 < argc) {
            o.runs = std::atoi(argv[++i]);
        } else {
            std::fprintf(stderr, "usage: bench_transfer [--records N] [--runs N]\n");
            std::exit(2);
        }
    }
    if (o.records < 1 || o.records > 10001) Fail("--records takes 1 to 10001");
    if (o.runs < 1 || o.runs > 99) Fail("--runs takes 1 to 99");
    return o;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// The median of the runs' times and their spread: "1234.5 (1200.0-1300.2)".
std::string MedianAndSpread(const std::vector<double> &v)
{
    const auto [lo, hi] = std::minmax_element(v.begin(), v.end());
    char text[80];
    std::snprintf(text, sizeof text, "%.1f (%.1f-%.1f)", Median(v), *lo, *hi);
    return text;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const Options options = ParseOptions(argc, argv);
    const int records = options.records;
    const int lines = records + 2;
    const std::string date = QDate::currentDate().toString("yyyyMMdd").toStdString();

    // A working folder of its own: the registry hive, the host key, the
    // transfer folders.
    QTemporaryDir work;
    if (!work.isValid() || !QDir::setCurrent(work.path())) Fail("no working folder");
    const std::string hive = (work.path() + "/hklm.reg").toStdString();
    ::setenv("FENNIMARCH_HIVE", hive.c_str(), 1);
    {
        QFile key(work.path() + "/ZelcoranHost.key");
        if (!key.open(QIODevice::WriteOnly)) Fail("cannot write ZelcoranHost.key");
        key.write(QByteArray(kDemoHostPublicKey) + "\n");
    }
    // Boxes before the window's are answered with OK and told.
    fm::SetMessageBoxHandler([](const fm::ShownBox &box) {
        std::fprintf(stderr, "bench_transfer: box: %s\n", box.text.toStdString().c_str());
        return int(fm::mrOk);
    });
    fm::TDMLib dm;
    fm::DMLib = &dm;

    const QString source = work.path() + "/transfer.txt";
    Host::WriteTransferFile(source, records);
    if (!QFile::copy(source, work.path() + "/send/" + kFileName)) Fail("cannot fill the send folder");
    Host host(work.path(), source);
    {
        fm::TRegistry reg;
        if (!reg.OpenKey(fm::reg::CommunicationKey(), true)) Fail("cannot write the registry");
        reg.WriteString(fm::reg::kAddress, "127.0.0.1");
        reg.WriteString(fm::reg::kPortNo, std::to_string(host.port()));
    }
    std::printf("transfer of %d data records (%d lines, %d blocks) against the hostsim program\n", records, lines,
                (lines + 5) / 6);

    // Each run: the window sends, the minimal client sends, the window
    // receives, the minimal client receives; so a busy machine slows both
    // alike. The window's peak memory is taken over the first send and
    // receive of its connection.
    std::vector<Step> windowSend, windowReceive, minimalSend, minimalReceive;
    long loggedInKb = 0, peakKb = 0;
    double conversionMs = 0;
    auto *w = new fm::TFrmC101B00;
    w->show();
    {
        WindowRun run(*w);
        run.Login();
        MiniClient client(host.port());
        client.Login();
        loggedInKb = StatusKb("VmRSS");
        if (!ResetPeak()) Fail("cannot reset the peak memory (/proc/self/clear_refs)");
        for (int i = 0; i < options.runs; ++i) {
            if (i > 0 && !QFile::copy(source, work.path() + "/send/" + kFileName)) Fail("cannot fill the send folder");
            windowSend.push_back(Measure([&] { return run.Send(std::to_string(records)); }));
            minimalSend.push_back(Measure([&] { return client.SendFile(source.toStdString(), records); }));
            windowReceive.push_back(Measure([&] { return run.Receive(lines, date); }));
            minimalReceive.push_back(Measure(
                [&] { return client.ReceiveFile(date, (work.path() + "/minimal.recv").toStdString()); }));
            if (i == 0) {
                peakKb = StatusKb("VmHWM");
                conversionMs = run.ConversionAfterReceiveMs();
            }
            std::printf("run %d: send %.1f / %.1f ms, receive %.1f / %.1f ms (window / minimal)\n", i + 1,
                        windowSend.back().ms, minimalSend.back().ms, windowReceive.back().ms, minimalReceive.back().ms);
        }
    }
    // Logged in, the window refuses to close; it goes with the program.
    w->hide();

    auto times = [](const std::vector<Step> &v, double Step::*field) {
        std::vector<double> out;
        for (const Step &s : v) out.push_back(s.*field);
        return out;
    };
    std::printf("medians of %d runs (fastest-slowest):\n", options.runs);
    std::printf("%-8s %26s %26s %7s   %s\n", "", "window [ms]", "minimal [ms]", "ratio",
                "client CPU window / minimal [ms]");
    const struct {
        const char *name;
        const std::vector<Step> &window, &minimal;
    } rows[] = {{"send", windowSend, minimalSend}, {"receive", windowReceive, minimalReceive}};
    for (const auto &row : rows) {
        const std::vector<double> window = times(row.window, &Step::ms), minimal = times(row.minimal, &Step::ms);
        std::printf("%-8s %26s %26s %6.2fx   %s / %s\n", row.name, MedianAndSpread(window).c_str(),
                    MedianAndSpread(minimal).c_str(), Median(window) / Median(minimal),
                    MedianAndSpread(times(row.window, &Step::cpuMs)).c_str(),
                    MedianAndSpread(times(row.minimal, &Step::cpuMs)).c_str());
    }
    std::printf("(the window's CPU includes its conversions; the conversion of a received file after its end: "
                "%.1f ms, not timed)\n",
                conversionMs);
    std::printf("window RSS logged in %.1f MB, peak during the first send+receive %.1f MB (+%.1f MB)\n",
                Mb(loggedInKb), Mb(peakKb), Mb(peakKb - loggedInKb));
    return 0;
}
