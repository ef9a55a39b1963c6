// A tiny client for the host simulator's tests: a QTcpSocket, the Zelcoran
// client library for the session key, the client's frame reassembly, and
// telegrams laid out here field by field.
#pragma once

#include "common/frame.h"
#include "hostserver.h"
#include "support/testutil.h"
#include "zelcoran.h"

#include <QTcpSocket>
#include <QThread>

#include <gtest/gtest.h>

#include <deque>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

namespace hstest {

// Makes a folder the current folder for the scope (the client library reads
// the host's public key file from there when there is none beside the test
// program).
class ScopedCwd {
public:
    explicit ScopedCwd(const std::string &dir)
    {
        EXPECT_TRUE(getcwd(buf_, sizeof buf_));
        EXPECT_EQ(chdir(dir.c_str()), 0) << dir;
    }
    ~ScopedCwd() { EXPECT_EQ(chdir(buf_), 0); }

private:
    char buf_[4096]{};
};

inline std::string Pad(const std::string &s, size_t width)
{
    std::string v = s.substr(0, width);
    v.resize(width, ' ');
    return v;
}

// A client telegram: job kind, code, company code, "ZEMA", a time stamp,
// "00", "0000001", the answer code, a blank direction, blank record
// information and the data part.
inline std::string Request(char job, const std::string &code, const std::string &comp,
                           const std::string &data = "", const std::string &resp = "00")
{
    std::string t(1, job);
    t += code;
    t += Pad(comp, 4);
    t += "ZEMA";
    t += "20250102030405";
    t += "00";
    t += "0000001";
    t += Pad(resp, 2);
    t += " ";
    t += std::string(22, ' ');
    t += Pad(data, 960);
    return t;
}

// Fields of an answer, by their offsets.
inline std::string Code(const std::string &t) { return t.substr(1, 7); }
inline std::string Comp(const std::string &t) { return t.substr(8, 4); }
inline std::string StampOf(const std::string &t) { return t.substr(16, 14); }
inline std::string RecCount(const std::string &t) { return t.substr(30, 2); }
inline std::string Resp(const std::string &t) { return t.substr(39, 2); }
inline std::string RecInfo(const std::string &t) { return t.substr(42, 22); }
inline std::string Data(const std::string &t) { return t.substr(64, 960); }

class Client {
public:
    Client() : ctx_(ZELCORAN_CONTEXT_SIZE, 0xA5)
    {
        QObject::connect(&socket_, &QTcpSocket::readyRead, [this] {
            QByteArray b = socket_.readAll();
            reads.push_back(size_t(b.size()));
            assembler_.feed(std::string_view(b.constData(), size_t(b.size())));
            while (auto f = assembler_.next())
                frames_.push_back({f->letter, f->payload});
        });
    }

    bool connectTo(quint16 port)
    {
        socket_.connectToHost("127.0.0.1", port);
        return fmtest::WaitFor([&] { return socket_.state() == QAbstractSocket::ConnectedState; });
    }
    bool connected() const { return socket_.state() == QAbstractSocket::ConnectedState; }
    bool waitClosed(int ms = 5000)
    {
        return fmtest::WaitFor([&] { return socket_.state() == QAbstractSocket::UnconnectedState; }, ms);
    }

    void write(const std::string &bytes)
    {
        socket_.write(bytes.data(), qint64(bytes.size()));
        socket_.flush();
    }
    // Writes bytes in pieces of the given sizes, pausing between them.
    void writeInPieces(const std::string &bytes, const std::vector<size_t> &cuts, int pauseMs = 30)
    {
        size_t at = 0;
        for (size_t cut : cuts) {
            write(bytes.substr(at, cut - at));
            at = cut;
            fmtest::WaitFor([] { return false; }, pauseMs);
        }
        write(bytes.substr(at));
    }

    // The key frame: "S", "00128", the 128-byte block the library made.
    std::string keyFrame()
    {
        std::string block(ZELCORAN_KEY_BLOCK_SIZE, '\0');
        int n = GetRSASeedKey(ctx_.data(), reinterpret_cast<unsigned char *>(block.data()));
        EXPECT_EQ(n, 128);
        lastKeyBlock = block;
        return "S00128" + block;
    }
    std::string dataFrame(const std::string &telegram)
    {
        EXPECT_EQ(telegram.size(), 1024u);
        std::string sealed(ZELCORAN_SEALED_SIZE, '\0');
        EXPECT_EQ(rs_Encrypt(ctx_.data(), reinterpret_cast<const unsigned char *>(telegram.data()),
                             1024, reinterpret_cast<unsigned char *>(sealed.data())),
                  1040);
        return "D01040" + sealed;
    }
    void send(const std::string &telegram) { write(dataFrame(telegram)); }

    // The next whole frame from the host, or nothing when none comes in time.
    std::optional<fm::FrameAssembler::Frame> frame(int ms = 5000)
    {
        if (!fmtest::WaitFor([&] { return !frames_.empty(); }, ms))
            return std::nullopt;
        auto f = frames_.front();
        frames_.pop_front();
        return f;
    }
    // Opens a frame's payload; nothing if it does not open.
    std::optional<std::string> open(const fm::FrameAssembler::Frame &f)
    {
        std::string in = f.payload;
        in.resize(ZELCORAN_SEALED_INPUT_SIZE, '\0');
        std::string out(ZELCORAN_SEALED_INPUT_SIZE, '\0');
        if (rs_Decrypt(ctx_.data(), reinterpret_cast<const unsigned char *>(in.data()), 1041,
                       reinterpret_cast<unsigned char *>(out.data())) != 1024)
            return std::nullopt;
        return out.substr(0, 1024);
    }
    // The next telegram from the host, opened ("" when none arrives or it
    // does not open).
    std::string telegram(int ms = 5000)
    {
        auto f = frame(ms);
        EXPECT_TRUE(f && f->letter == 'D' && f->payload.size() == 1040) << "no telegram frame";
        auto t = f ? open(*f) : std::nullopt;
        EXPECT_TRUE(t) << "host frame does not open";
        return t.value_or(std::string());
    }
    // Sends the key frame and returns the host's answer frame as text.
    std::string exchangeKey()
    {
        write(keyFrame());
        auto f = frame();
        return f ? std::string(1, f->letter) + f->payload : std::string();
    }
    // Connects, exchanges the key, logs in; returns the log-in answer.
    std::string logIn(quint16 port, const std::string &comp, const std::string &password)
    {
        if (!connectTo(port) || exchangeKey() != "SOK")
            return "no session";
        send(Request('0', "0800100", comp, password));
        return telegram();
    }

    size_t framesWaiting() const { return frames_.size(); }
    std::vector<size_t> reads; // bytes delivered by each read event
    std::string lastKeyBlock;

private:
    QTcpSocket socket_;
    std::vector<unsigned char> ctx_;
    fm::FrameAssembler assembler_;
    std::deque<fm::FrameAssembler::Frame> frames_;
};

// A host with a small scenario and a key pair of its own (so it takes keys
// from its start on), listening on a free port, and a working folder
// holding the host's public key file.
class HostTest : public ::testing::Test {
protected:
    HostTest()
    {
        EXPECT_TRUE(host.useNewKeyPair());
        EXPECT_TRUE(host.hostKey().writePublicKeyFile(dir.file(hostsim::kHostPublicKeyFileName)));
        hostsim::Scenario s;
        s.accounts["1234"] = "1111";
        s.accounts["AB"] = "pw";
        s.loginNotice = fmtest::K("  오늘은 점검이 있습니다  ");
        host.setScenario(s);
    }
    void SetUp() override { ASSERT_TRUE(host.listen(0)) << host.errorString().toStdString(); }

    fmtest::TempDir dir;
    ScopedCwd cwd{dir.path()};
    hostsim::HostServer host;
};

} // namespace hstest
