#pragma once
// A communication window talking to an in-process host simulator over
// loopback: its own working folder holding the host's public key file, a
// private registry hive pointing at the host, scripted message boxes and
// scripted log-in dialogs.
#include "common/codec.h"
#include "common/datetime.h"
#include "common/errors.h"
#include "common/modal.h"
#include "hostserver.h"
#include "platform/ClientSocket.h"
#include "platform/registry.h"
#include "common/regnames.h"
#include "session/C101B00.h"
#include "session/C101B01.h"
#include "support/testutil.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <gtest/gtest.h>
#include <unistd.h>

// A host of the test's own: takes the key frame of each connection, then
// does what the test says.
struct OwnHost {
    QTcpServer server;
    QPointer<QTcpSocket> conn;
    size_t keyBytes = 0;
    std::function<void()> onKey; // the whole key frame has arrived

    OwnHost()
    {
        server.listen(QHostAddress::LocalHost);
        QObject::connect(&server, &QTcpServer::newConnection, [this] {
            conn = server.nextPendingConnection();
            keyBytes = 0;
            QObject::connect(conn, &QTcpSocket::readyRead, [this] {
                keyBytes += size_t(conn->readAll().size());
                if (keyBytes == 134 && onKey) onKey();
            });
        });
    }
    void write(const std::string &bytes) { conn->write(bytes.data(), qint64(bytes.size())); }
};

class SessionEnv : public ::testing::Test {
protected:
    fmtest::TempDir dir;
    fmtest::ScopedHive hive;
    fmtest::ScriptedBoxes boxes;
    fmtest::ScriptedModals modals;
    hostsim::HostServer host;
    QPointer<fm::TFrmC101B00> w;

    void SetUp() override
    {
        QApplication::setQuitOnLastWindowClosed(false);
        char buf[4096];
        ASSERT_NE(::getcwd(buf, sizeof buf), nullptr);
        savedCwd_ = buf;
        ASSERT_EQ(::chdir(dir.path().c_str()), 0);
        // A key pair of this host's own: it takes keys from its start on.
        ASSERT_TRUE(host.useNewKeyPair());
        ASSERT_TRUE(host.hostKey().writePublicKeyFile(dir.file(hostsim::kHostPublicKeyFileName)));
        ASSERT_TRUE(host.listen(0));
        hostsim::Scenario s;
        s.accounts["AB12"] = "pw1234";
        host.setScenario(s);
        writeCommunication("127.0.0.1", std::to_string(host.port()));
        w = new fm::TFrmC101B00;
        w->show();
    }

    void TearDown() override
    {
        delete w.data();
        fm::SetClockForTesting(nullptr);
        ASSERT_EQ(::chdir(savedCwd_.c_str()), 0);
    }

    static void writeValue(const std::string &key, const std::string &name, const std::string &value)
    {
        fm::TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(key, true));
        reg.WriteString(name, value);
    }
    static std::string readValue(const std::string &key, const std::string &name)
    {
        fm::TRegistry reg;
        return reg.OpenKey(key, false) ? reg.ReadString(name) : "<no key>";
    }
    static void writeCommunication(const std::string &address, const std::string &port)
    {
        writeValue(fm::reg::CommunicationKey(), fm::reg::kAddress, address);
        writeValue(fm::reg::CommunicationKey(), fm::reg::kPortNo, port);
    }

    // A log-in dialog step: types the code and the password, ends with OK.
    static fmtest::ScriptedModals::Step typeLogin(const char *code, const char *password)
    {
        return [=](QDialog &d) {
            auto &dlg = dynamic_cast<fm::TFrmC101B01 &>(d);
            dlg.EdtCompCd->setText(QString::fromUtf8(code));
            dlg.EdtPswd->setText(QString::fromUtf8(password));
            return int(fm::mrOk);
        };
    }
    static int cancel(QDialog &) { return fm::mrCancel; }

    size_t boxesWith(const char *text) const
    {
        size_t n = 0;
        for (const auto &b : boxes.shown()) n += b.text == QString::fromUtf8(text);
        return n;
    }
    bool waitBox(const char *text, size_t n = 1)
    {
        return fmtest::WaitFor([&] { return boxesWith(text) >= n; });
    }

    // Connects and logs in with the scenario's account.
    void login()
    {
        modals.then(typeLogin("AB12", "pw1234"));
        w->BBtnConn->click();
        ASSERT_TRUE(fmtest::WaitFor([&] { return w->LoggedIn(); })) << boxes.texts();
    }

    // A host answer: blank record with the code, "00" and a direction.
    static std::string answer(const std::string &code, const std::string &resp = "00", char dir = ' ',
                              const std::string &data = "")
    {
        namespace wire = hostsim::wire;
        std::string t = wire::BlankRecord();
        wire::Put(t, wire::kJobKind, "0");
        wire::Put(t, wire::kMsgCode, code);
        wire::Put(t, wire::kCompCd, "AB12");
        wire::Put(t, wire::kRecCount, "00");
        wire::Put(t, wire::kBlockSeq, "0000001");
        wire::Put(t, wire::kRespCode, resp);
        wire::Put(t, wire::kDirFlag, std::string(1, dir));
        wire::Put(t, wire::kData, data);
        return t;
    }

    static QString q(const char *utf8) { return QString::fromUtf8(utf8); }

    // The boxes of a refused read, in their order: its own, the disconnect
    // box, the socket layer's error.
    void expectRefusedReadBoxes() const
    {
        ASSERT_EQ(boxes.count(), 3u) << boxes.texts();
        EXPECT_EQ(boxes.shown()[0].text, q("수신오류"));
        EXPECT_EQ(boxes.shown()[0].caption, q("Error"));
        EXPECT_EQ(boxes.shown()[1].text, q(kDisconnectBox));
        EXPECT_EQ(boxes.shown()[2].text,
                  q("Windows socket error: An existing connection was forcibly closed by the remote host. "
                    "(10054), on API 'recv'"));
    }
    static constexpr const char *kDisconnectBox =
        "Norvane과 연결이 종료되었습니다!!!\r\n연결을 원하면 다시 접속하세요!!!";
    static constexpr const char *kBrokenBox = "응답 전문 오류입니다!!";

private:
    std::string savedCwd_;
};
