// The host connection of the communication window: key exchange, log-in,
// log-out, the ends of a connection and the errors around opening one.
#include "sessionenv.h"

#include <QEventLoop>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <filesystem>

using fm::MsgIcon;

TEST_F(SessionEnv, KeyFrameThenLoginDialogThenLoggedInWithNotice)
{
    host.scenario().loginNotice = fmtest::K("  오늘 점검 예정  ");
    QString dialogTitle;
    modals.then([&](QDialog &d) {
        dialogTitle = d.windowTitle();
        return typeLogin("AB12", "pw1234")(d);
    });
    w->BBtnConn->click();
    ASSERT_TRUE(waitBox("오늘 점검 예정")) << boxes.texts();

    // The key frame: "S", "00128" and the 128 bytes of the key block.
    ASSERT_GE(host.receivedFrames().size(), 2u);
    const std::string &key = host.receivedFrames()[0];
    ASSERT_EQ(key.size(), 134u);
    EXPECT_EQ(key.substr(0, 6), "S00128");
    ASSERT_EQ(host.receivedKeyBlocks().size(), 1u);
    EXPECT_EQ(key.substr(6), host.receivedKeyBlocks()[0]);
    EXPECT_EQ(dialogTitle, q("로그인"));

    // The log-in telegram as the host opened it.
    ASSERT_EQ(host.receivedTelegrams().size(), 1u);
    const std::string &t = host.receivedTelegrams()[0];
    EXPECT_EQ(t.substr(0, 16), "00800100AB12ZEMA");
    EXPECT_EQ(fm::FormatStamp(fm::Now()).substr(0, 8), t.substr(16, 8));
    EXPECT_EQ(t.substr(30, 34), "000000001" "00" " " + std::string(22, ' '));
    EXPECT_EQ(t.substr(64), "pw1234" + std::string(954, ' '));
    EXPECT_EQ(host.receivedFrames()[1].substr(0, 6), "D01040");

    // The log: the key line (key up to its first zero byte), then the
    // plain telegram.
    const std::string &block = host.receivedKeyBlocks()[0];
    QPlainTextEdit expected;
    expected.appendPlainText(fm::ToQ("SEND==>S00128" + block.substr(0, block.find('\0'))));
    expected.appendPlainText(fm::ToQ("send==>" + t));
    // Hidden, the log keeps its lines out of the widget; F11 shows them.
    EXPECT_TRUE(w->Memo->isHidden());
    EXPECT_TRUE(w->Memo->toPlainText().isEmpty());
    w->FormKeyDown(fm::VK_F11, {});
    EXPECT_EQ(w->Memo->toPlainText(), expected.toPlainText());
    w->FormKeyDown(fm::VK_F11, {});
    EXPECT_TRUE(w->Memo->isHidden());

    // Logged in: status, buttons, the notice without its blanks.
    EXPECT_EQ(w->PnlStatus->text(), q("Norvane과 개시되었습니다!!"));
    EXPECT_EQ(w->StatusColor(), fm::clBlue);
    EXPECT_TRUE(w->BBtnConn->isHidden());
    EXPECT_FALSE(w->BBtnDisConn->isHidden());
    EXPECT_TRUE(w->BBtnLstSech->isEnabled());
    EXPECT_TRUE(w->BBtnPswd->isEnabled());
    EXPECT_FALSE(w->BBtnFileSnd->isEnabled() || w->BBtnFileRecv->isEnabled() || w->BBtnDataList->isEnabled());
    EXPECT_EQ(boxes.last().caption, q("공지사항"));
    EXPECT_EQ(boxes.last().icon, MsgIcon::Information);
    EXPECT_EQ(boxes.count(), 1u) << boxes.texts();
    EXPECT_EQ(w->CompCd(), "AB12");
}

TEST_F(SessionEnv, CancelledDialogSendsNothingAndConnectStartsNoSecondConnection)
{
    modals.then(cancel);
    w->BBtnConn->click();
    ASSERT_TRUE(fmtest::WaitFor([&] { return modals.shownCount() == 1; }));
    w->BBtnConn->click(); // already connected
    QTest::qWait(100);
    EXPECT_EQ(host.connectionsAccepted(), 1);
    EXPECT_EQ(host.openConnections(), 1);
    EXPECT_TRUE(host.receivedTelegrams().empty());
    EXPECT_EQ(modals.shownCount(), 1);
    EXPECT_FALSE(w->LoggedIn());
    EXPECT_EQ(boxes.count(), 0u) << boxes.texts();

    // Closing the window is allowed and ends the connection: one box.
    w->BBtnExit->click();
    ASSERT_TRUE(fmtest::WaitFor([&] { return w.isNull() && host.openConnections() == 0; }));
    EXPECT_EQ(boxesWith(kDisconnectBox), 1u) << boxes.texts();
    EXPECT_EQ(boxes.count(), 1u) << boxes.texts();
}

TEST_F(SessionEnv, LogoutKeepsStatusShowsDisconnectOnceAndWindowMayClose)
{
    login();
    EXPECT_FALSE(w->FormCloseQuery()); // refused while logged in
    boxes.clear();

    w->BBtnDisConn->click();
    EXPECT_EQ(w->SGrdDataLst->ColCount(), 10); // the empty result list at once
    EXPECT_EQ(w->SGrdDataLst->Cells(9, 0), fmtest::K("선택"));
    EXPECT_EQ(w->SGrdDataLst->RowCount(), 2);
    ASSERT_TRUE(waitBox(kDisconnectBox)) << boxes.texts();
    EXPECT_EQ(host.receivedCodes().back(), "0800900");
    EXPECT_EQ(w->PnlStatus->text(), q("Norvane과 접속이 종료되었습니다!!"));
    EXPECT_FALSE(w->LoggedIn());
    EXPECT_FALSE(w->BBtnLstSech->isEnabled() || w->BBtnPswd->isEnabled());
    EXPECT_FALSE(w->CSock->Active());

    QTest::qWait(50);
    w->BBtnExit->click();
    ASSERT_TRUE(fmtest::WaitFor([&] { return w.isNull(); }));
    EXPECT_EQ(boxes.count(), 1u) << boxes.texts();
}

TEST_F(SessionEnv, HostClosingBringsTheWindowOffline)
{
    login();
    w->SetStatus(q("작업중"), fm::clRed);
    host.closeConnections();
    ASSERT_TRUE(waitBox(kDisconnectBox)) << boxes.texts();
    EXPECT_EQ(boxes.last().caption, q("접속종료"));
    EXPECT_EQ(boxes.last().icon, MsgIcon::Information);
    EXPECT_FALSE(w->LoggedIn());
    EXPECT_FALSE(w->BBtnPswd->isEnabled());
    EXPECT_EQ(w->PnlStatus->text(), q("작업중"));
    EXPECT_EQ(w->StatusColor(), fm::clRed);
    w->SetStatus(QString(), fm::clBlue); // empties the text, keeps the colour
    EXPECT_TRUE(w->PnlStatus->text().isEmpty());
    EXPECT_EQ(w->StatusColor(), fm::clRed);

    // A new connection clears the log before its key line.
    modals.then(cancel);
    w->BBtnConn->click();
    ASSERT_TRUE(fmtest::WaitFor([&] { return modals.shownCount() == 2; }));
    ASSERT_EQ(host.receivedKeyBlocks().size(), 2u);
    const std::string &block = host.receivedKeyBlocks()[1];
    QPlainTextEdit expected;
    expected.appendPlainText(fm::ToQ("SEND==>S00128" + block.substr(0, block.find('\0'))));
    w->FormKeyDown(fm::VK_F11, {});
    EXPECT_EQ(w->Memo->toPlainText(), expected.toPlainText());
    EXPECT_EQ(boxesWith(kDisconnectBox), 1u);
}

TEST_F(SessionEnv, ConnectionEndingWhileAReadHandlersBoxIsOpenIsHandledAfterTheBox)
{
    // The broken-answer box is shown from inside the socket's read and runs
    // its event loop while the connection ends: the host closes it, or the
    // program logs out. Nothing of the connection is handled inside the
    // box; after it the window is offline with one disconnect box, and the
    // connection, whose read is still on the stack while the box is open,
    // goes away only afterwards.
    for (const bool byHost : {true, false}) {
        SCOPED_TRACE(byHost ? "host closes" : "log-out");
        login();
        boxes.clear();
        bool inBox = false, activeInBox = false, destroyedInBox = false;
        int destroyed = 0;
        boxes.onShow([&](const fm::ShownBox &b) {
            if (b.text != q(kBrokenBox)) return;
            inBox = true;
            for (QObject *s : w->CSock->findChildren<QObject *>("connection", Qt::FindDirectChildrenOnly))
                QObject::connect(s, &QObject::destroyed, [&] { ++destroyed, destroyedInBox |= inBox; });
            if (byHost)
                host.closeConnections();
            else
                w->BBtnDisConn->click();
            fmtest::RunModalMoment(500);
            activeInBox = w->CSock->Active() && boxesWith(kDisconnectBox) == 0;
            inBox = false;
        });
        ASSERT_TRUE(host.pushRaw("D0x004" + std::string(1040, 'x')));
        ASSERT_TRUE(waitBox(kDisconnectBox)) << boxes.texts();
        EXPECT_TRUE(activeInBox);
        EXPECT_FALSE(w->CSock->Active());
        EXPECT_FALSE(w->LoggedIn());
        ASSERT_TRUE(fmtest::WaitFor([&] { return destroyed == 1 && host.openConnections() == 0; }));
        EXPECT_FALSE(destroyedInBox);
        boxes.onShow({});
        EXPECT_EQ(boxes.texts(), "전문오류: 응답 전문 오류입니다!! | 접속종료: " + std::string(kDisconnectBox));
        EXPECT_EQ(boxes.mostOpenAtOnce(), 1);
        if (!byHost) {
            EXPECT_EQ(host.receivedCodes().back(), "0800900");
        }
    }
}

TEST_F(SessionEnv, RefusedKeyClosesTheConnection)
{
    host.armFault(hostsim::HostServer::Fault::RefuseKey);
    w->BBtnConn->click();
    ASSERT_TRUE(waitBox(kDisconnectBox)) << boxes.texts();
    ASSERT_EQ(boxes.count(), 2u) << boxes.texts();
    EXPECT_EQ(boxes.shown()[0].text, q("세션키 전송에 실패하였습니다.\r\n재접속하세요!!"));
    EXPECT_EQ(boxes.shown()[0].caption, q("세션키오류"));
    EXPECT_EQ(modals.shownCount(), 0);
    EXPECT_FALSE(w->CSock->Active());
    EXPECT_TRUE(fmtest::WaitFor([&] { return host.openConnections() == 0; }));

    // No key at all (an unusable host key file): nothing is sent.
    boxes.clear();
    host.clearLog();
    dir.write("ZelcoranHost.key", "not a key");
    w->BBtnConn->click();
    ASSERT_TRUE(waitBox(kDisconnectBox)) << boxes.texts();
    ASSERT_EQ(boxes.count(), 2u) << boxes.texts();
    EXPECT_EQ(boxes.shown()[0].text, q("세션키 생성을 실패하였습니다.\r\n재접속하세요!!"));
    EXPECT_EQ(boxes.shown()[0].caption, q("세션키오류"));
    EXPECT_TRUE(fmtest::WaitFor([&] { return host.openConnections() == 0; }));
    EXPECT_TRUE(host.receivedFrames().empty());
    EXPECT_EQ(host.connectionsAccepted(), 2);

    // No key file at all: the same road, no built-in key stands in.
    ASSERT_FALSE(std::filesystem::exists(
        std::filesystem::read_symlink("/proc/self/exe").parent_path() / "ZelcoranHost.key"));
    boxes.clear();
    std::filesystem::remove(dir.file("ZelcoranHost.key"));
    w->BBtnConn->click();
    ASSERT_TRUE(waitBox(kDisconnectBox)) << boxes.texts();
    ASSERT_EQ(boxes.count(), 2u) << boxes.texts();
    EXPECT_EQ(boxes.shown()[0].text, q("세션키 생성을 실패하였습니다.\r\n재접속하세요!!"));
    EXPECT_TRUE(fmtest::WaitFor([&] { return host.openConnections() == 0; }));
    EXPECT_TRUE(host.receivedFrames().empty());
    EXPECT_EQ(host.connectionsAccepted(), 3);
}

TEST_F(SessionEnv, ContextIsWipedAtTheEndOfTheConnection)
{
    login();
    const unsigned char *ctx = w->CryptCtx();
    ASSERT_TRUE(ctx);
    auto wiped = [ctx] {
        return std::all_of(ctx, ctx + fm::TFrmC101B00::kCryptCtxSize, [](unsigned char b) { return b == 0; });
    };
    EXPECT_FALSE(wiped()) << "no session in the context";
    bool wipedAtBox = false;
    boxes.onShow([&](const fm::ShownBox &) { wipedAtBox = wiped(); });
    host.closeConnections();
    ASSERT_TRUE(waitBox(kDisconnectBox)) << boxes.texts();
    EXPECT_TRUE(wipedAtBox);
    EXPECT_TRUE(wiped());
    EXPECT_EQ(w->CryptCtx(), ctx) << "the block stays for the next connection";
}

TEST_F(SessionEnv, KeyAnswersAreKnownByTheirFormWhateverTheirLengthDigits)
{
    // A host of its own that writes other length digits, split or whole.
    OwnHost other;
    writeCommunication("127.0.0.1", std::to_string(other.server.serverPort()));
    auto answerKey = [&](std::vector<std::string> pieces) {
        other.conn = nullptr; // the next connection's
        w->BBtnConn->click();
        ASSERT_TRUE(fmtest::WaitFor([&] { return other.conn && other.keyBytes == 134; }));
        for (const std::string &p : pieces) {
            other.write(p);
            other.conn->flush();
            QTest::qWait(30);
        }
    };

    for (auto pieces : {std::vector<std::string>{"S00128OK"}, std::vector<std::string>{"S     O", "K"}}) {
        SCOPED_TRACE(pieces.front());
        boxes.clear();
        modals.then(cancel);
        const int dialogs = modals.shownCount();
        answerKey(pieces);
        ASSERT_TRUE(fmtest::WaitFor([&] { return modals.shownCount() == dialogs + 1; })) << boxes.texts();
        EXPECT_EQ(boxes.count(), 0u) << boxes.texts();
        other.conn->disconnectFromHost();
        ASSERT_TRUE(waitBox(kDisconnectBox)) << boxes.texts();
    }

    boxes.clear();
    answerKey({"SxxxxxERR"});
    ASSERT_TRUE(waitBox(kDisconnectBox)) << boxes.texts();
    ASSERT_EQ(boxes.count(), 2u) << boxes.texts();
    EXPECT_EQ(boxes.shown()[0].text, q("세션키 전송에 실패하였습니다.\r\n재접속하세요!!"));
    EXPECT_FALSE(w->CSock->Active());
}

TEST_F(SessionEnv, RefusedConnectionShowsConnectErrorThenSocketLayerError)
{
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
    const quint16 closedPort = probe.serverPort();
    probe.close();
    writeCommunication("127.0.0.1", std::to_string(closedPort));
    w->BBtnConn->click();
    ASSERT_TRUE(fmtest::WaitFor([&] { return boxes.count() >= 2; })) << boxes.texts();
    EXPECT_EQ(boxes.shown()[0].text, q("접속오류"));
    EXPECT_EQ(boxes.shown()[0].caption, q("Error"));
    EXPECT_EQ(boxes.shown()[0].icon, MsgIcon::Error);
    EXPECT_EQ(boxes.shown()[1].text, q("Asynchronous socket error 10061"));
    EXPECT_FALSE(w->CSock->Active());
    QTest::qWait(50);
    EXPECT_EQ(boxes.count(), 2u) << boxes.texts();

    // Not a dotted IPv4 address: the attempt fails the same way.
    boxes.clear();
    writeCommunication("localhost", std::to_string(host.port()));
    w->BBtnConn->click();
    ASSERT_TRUE(fmtest::WaitFor([&] { return boxes.count() >= 2; })) << boxes.texts();
    EXPECT_EQ(boxes.shown()[0].text, q("접속오류"));
    EXPECT_EQ(boxes.shown()[1].text, q("Asynchronous socket error 10049"));
    EXPECT_EQ(host.connectionsAccepted(), 0);
}

TEST_F(SessionEnv, BadSettingsGiveTheErrorAndNoAttempt)
{
    struct Case {
        const char *address, *port, *message;
    };
    const Case cases[] = {
        {"127.0.0.1", "39x95", "'39x95' is not a valid integer value"},
        {"127.0.0.1", "", "'' is not a valid integer value"},
        {"", "39995", "No address specified"},
    };
    for (const Case &c : cases) {
        boxes.clear();
        writeCommunication(c.address, c.port);
        w->BBtnConn->click();
        ASSERT_EQ(boxes.count(), 1u) << c.message << ": " << boxes.texts();
        EXPECT_EQ(boxes.last().text, q(c.message));
        EXPECT_FALSE(w->CSock->Active());
    }
    // No Communication key at all.
    {
        fmtest::ScopedHive empty;
        boxes.clear();
        w->BBtnConn->click();
        ASSERT_EQ(boxes.count(), 1u) << boxes.texts();
        EXPECT_EQ(boxes.last().text, q("'' is not a valid integer value"));
        EXPECT_EQ(readValue(fm::reg::CommunicationKey(), fm::reg::kPortNo), "<no key>");
    }
    QTest::qWait(50);
    EXPECT_EQ(host.connectionsAccepted(), 0);
}

TEST_F(SessionEnv, ClosingWithOpenConnectionFreesContextAndShowsOneBox)
{
    modals.then(cancel);
    w->BBtnConn->click();
    ASSERT_TRUE(fmtest::WaitFor([&] { return modals.shownCount() == 1; }));
    bool ctxAtBox = true;
    boxes.onShow([&](const fm::ShownBox &) { ctxAtBox = w && w->HasCryptCtx(); });
    w->close();
    EXPECT_FALSE(ctxAtBox); // freed before the connection ends
    EXPECT_EQ(boxesWith(kDisconnectBox), 1u);
    ASSERT_TRUE(fmtest::WaitFor([&] { return w.isNull() && host.openConnections() == 0; }));
    EXPECT_EQ(boxes.count(), 1u) << boxes.texts();
}

// The host resets a logged-in session: the refused read's box, the
// disconnect box and the socket layer's error, once each and one at a
// time; then the window is offline and a new log-in works.
TEST_F(SessionEnv, AResetWhileLoggedInGivesEachBoxOnceAndANewLogInWorks)
{
    login();
    boxes.clear();
    boxes.onShow([](const fm::ShownBox &) { fmtest::RunModalMoment(200); }); // the user reads each box
    ASSERT_TRUE(host.lastConnection());
    host.lastConnection()->resetNow();
    ASSERT_TRUE(fmtest::WaitFor([&] { return boxes.count() >= 3; })) << boxes.texts();
    fmtest::RunModalMoment(300);
    expectRefusedReadBoxes();
    EXPECT_EQ(boxes.mostOpenAtOnce(), 1);
    EXPECT_FALSE(w->LoggedIn());
    EXPECT_FALSE(w->CSock->Active());
    boxes.onShow({});
    login();
    EXPECT_EQ(host.receivedCodes().back(), "0800100");
}

// A peer at the host's address that never answers the key and streams data
// frames (no key needed): one box, the connection ended after it, and the
// next connection logs in.
TEST_F(SessionEnv, AStreamOfFramesBeforeTheKeyAnswerGivesOneBoxAndEndsTheConnection)
{
    OwnHost flood;
    writeCommunication("127.0.0.1", std::to_string(flood.server.serverPort()));
    QTimer stream;
    int written = 0;
    flood.onKey = [&] { stream.start(2); };
    QObject::connect(&stream, &QTimer::timeout, [&] {
        if (!flood.conn || flood.conn->state() != QAbstractSocket::ConnectedState) return stream.stop();
        flood.write("D01040" + std::string(1040, char('a' + written++ % 26)));
    });
    boxes.onShow([](const fm::ShownBox &) { fmtest::RunModalMoment(300); }); // the user reads each box
    w->BBtnConn->click();
    ASSERT_TRUE(waitBox(kDisconnectBox)) << boxes.texts();
    fmtest::RunModalMoment(500);
    EXPECT_GT(written, 50);
    EXPECT_EQ(boxes.texts(), "전문오류: 응답 전문 오류입니다!! | 접속종료: " + std::string(kDisconnectBox));
    EXPECT_EQ(boxes.mostOpenAtOnce(), 1);
    EXPECT_FALSE(w->CSock->Active());
    stream.stop();
    boxes.onShow({});
    writeCommunication("127.0.0.1", std::to_string(host.port()));
    login();
}

// A connection has one key answer: a second one is not a second log-in.
TEST_F(SessionEnv, RepeatedKeyAnswersOpenOneLogInDialog)
{
    OwnHost other;
    writeCommunication("127.0.0.1", std::to_string(other.server.serverPort()));
    other.onKey = [&] {
        std::string answers;
        for (int i = 0; i < 50; ++i) answers += "S00002OK";
        other.write(answers);
    };
    modals.then(typeLogin("AB12", "pw1234"));
    w->BBtnConn->click();
    ASSERT_TRUE(waitBox(kDisconnectBox)) << boxes.texts();
    fmtest::RunModalMoment(300);
    EXPECT_EQ(modals.shownCount(), 1);
    EXPECT_EQ(boxes.texts(), "전문오류: 응답 전문 오류입니다!! | 접속종료: " + std::string(kDisconnectBox));
    EXPECT_FALSE(w->CSock->Active());
}
