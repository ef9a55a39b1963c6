// Host frames on the byte stream, the dispatcher and the host error codes.
#include "sessionenv.h"

using Fault = hostsim::HostServer::Fault;
using fm::MsgIcon;
using fm::TFrmC101B00;

TEST_F(SessionEnv, SplitAndCoalescedFramesAreWholeFrames)
{
    // The key answer cut inside its header, the log-in answer in the middle.
    host.armFault(Fault::SplitFrame, 2);
    host.setSplit(3, 60);
    host.scenario().loginNotice = "first";
    login();
    EXPECT_EQ(boxes.texts(), "공지사항: first");

    // Two answers in one read are two answers, in order.
    host.armFault(Fault::CoalesceFrames);
    ASSERT_TRUE(host.pushTelegram(answer("0810100", "00", ' ', "second")));
    ASSERT_TRUE(host.pushTelegram(answer("0810100", "00", ' ', "third")));
    ASSERT_TRUE(waitBox("third")) << boxes.texts();
    EXPECT_EQ(boxes.texts(), "공지사항: first | 공지사항: second | 공지사항: third");
}

TEST_F(SessionEnv, AnswerArrivingWhileABoxOfTheReadIsOpenWaitsForIt)
{
    login();
    // The notice box runs the event loop as a real modal box does; the
    // answer behind it is read only once it is closed, so boxes never nest.
    bool secondDuringFirst = true;
    boxes.onShow([&](const fm::ShownBox &b) {
        if (b.text != "one") return;
        host.pushTelegram(answer("0810100", "00", ' ', "two"));
        secondDuringFirst = fmtest::WaitFor([&] { return boxes.anyWithText("two"); }, 500);
    });
    ASSERT_TRUE(host.pushTelegram(answer("0810100", "00", ' ', "one")));
    ASSERT_TRUE(waitBox("two")) << boxes.texts();
    EXPECT_FALSE(secondDuringFirst);
    EXPECT_EQ(boxes.mostOpenAtOnce(), 1);
    EXPECT_EQ(boxes.texts(), "공지사항: one | 공지사항: two");
}

TEST_F(SessionEnv, AFrameThatCannotBeOpenedEndsTheConnectionAfterItsBox)
{
    // Bytes 1-5 say nothing: a frame whose length digits are wrong or not
    // digits at all is still its 1046 bytes, and these do not open. A
    // genuine answer right behind it is never handled: the connection ends.
    login();
    boxes.clear();
    host.armFault(Fault::CoalesceFrames); // the first two in one write, the third right behind
    ASSERT_TRUE(host.pushTelegram(answer("0810100", "00", ' ', "before")));
    ASSERT_TRUE(host.pushRaw("D0x004" + std::string(1040, 'x')));
    ASSERT_TRUE(host.pushTelegram(answer("0810100", "00", ' ', "behind")));
    ASSERT_TRUE(waitBox(kDisconnectBox)) << boxes.texts();
    QTest::qWait(100);
    EXPECT_EQ(boxes.texts(), "공지사항: before | 전문오류: 응답 전문 오류입니다!! | 접속종료: " + std::string(kDisconnectBox));
    EXPECT_EQ(boxes.shown()[1].icon, MsgIcon::Error);
    EXPECT_FALSE(w->LoggedIn());
    EXPECT_FALSE(w->CSock->Active());

    // A changed byte: the frame does not decrypt, and the status line stays.
    login();
    boxes.clear();
    w->SetStatus(q("before"), fm::clBlue);
    host.armFault(Fault::TamperFrame);
    ASSERT_TRUE(host.pushTelegram(answer("0810100", "00", ' ', "tampered")));
    ASSERT_TRUE(waitBox(kDisconnectBox)) << boxes.texts();
    EXPECT_EQ(boxes.texts(), "전문오류: 응답 전문 오류입니다!! | 접속종료: " + std::string(kDisconnectBox));
    EXPECT_EQ(w->PnlStatus->text(), q("before"));

    // A frame cut off by the end of the connection is never handled.
    login();
    boxes.clear();
    host.armFault(Fault::CloseAfterFrame);
    ASSERT_TRUE(host.pushRaw("D01040" + std::string(500, 'y')));
    ASSERT_TRUE(waitBox(kDisconnectBox)) << boxes.texts();
    EXPECT_EQ(boxes.count(), 1u) << boxes.texts();
    EXPECT_FALSE(w->LoggedIn());
}

TEST_F(SessionEnv, AnswerEndsAtItsFirstZeroByte)
{
    // The rest of the record is blank, not the log-in telegram sent before
    // (whose data part holds the password).
    host.setHandler("0800100", [](hostsim::HostConnection &c, const std::string &req) {
        std::string t = c.answerFor(req, "0810100");
        t[50] = '\0';
        c.sendTelegram(t);
    });
    login();
    QTest::qWait(30);
    EXPECT_EQ(boxes.count(), 0u) << boxes.texts();
    EXPECT_EQ(fm::FieldRaw(fm::Telegram.Data), std::string(960, ' '));
    EXPECT_EQ(fm::FieldRaw(fm::Telegram.RecInfo), std::string(22, ' '));
}

TEST_F(SessionEnv, DispatchTableRoutesEveryCode)
{
    using B = TFrmC101B00::Branch;
    const B unrecognised = &TFrmC101B00::UnrecognisedCode;
    const B direction = &TFrmC101B00::DirectionError;
    struct Case {
        const char *code;
        char dir;
        B branch;
    };
    const Case cases[] = {
        {"0810100", 'X', &TFrmC101B00::LoginAnswer}, {"0810900", 'S', &TFrmC101B00::LogoutAnswer},
        {"0720100", ' ', direction},                 {"0720100", 'G', direction},
        {"0730100", 'G', direction},                 {"0730100", ' ', direction},
        {"0720100", 'S', &TFrmC101B00::TransmitAccepted}, {"0730100", 'R', &TFrmC101B00::ReceiveNextBlock},
        {"0800800", 'S', &TFrmC101B00::ReceiveEnd},       {"0800800", 'G', &TFrmC101B00::NoticeEnd},
        {"0800100", ' ', unrecognised},              {"0700100", 'S', unrecognised},
        {"9999999", ' ', unrecognised},              {"08101", ' ', unrecognised},
    };
    for (const Case &c : cases) {
        fm::TTelegram t;
        std::memset(&t, ' ', sizeof t);
        std::memcpy(t.MsgCode, c.code, std::strlen(c.code));
        t.DirFlag[0] = c.dir;
        EXPECT_TRUE(TFrmC101B00::BranchFor(t) == c.branch) << c.code << " '" << c.dir << "'";
    }
    // Every code only the client sends is refused.
    for (const char *code : {"0800100", "0800900", "0300100", "0600100", "0620100", "0700100", "0710100",
                             "0400100", "0420100", "0500100", "0510100"}) {
        fm::TTelegram t;
        std::memset(&t, ' ', sizeof t);
        std::memcpy(t.MsgCode, code, 7);
        EXPECT_TRUE(TFrmC101B00::BranchFor(t) == unrecognised) << code;
    }
}

TEST_F(SessionEnv, RefusedAnswersFromTheHostChangeNothing)
{
    login();
    struct Case {
        const char *code;
        char dir;
        const char *box;
    };
    const Case cases[] = {
        {"0800100", ' ', kBrokenBox}, // a code the client sends
        {"0720100", ' ', "전문 오류"},
        {"0720100", 'G', "전문 오류"},
        {"0730100", 'G', "전문 오류"},
        {"0600100", ' ', kBrokenBox}, // the result-list request, a client code
    };
    for (const Case &c : cases) {
        boxes.clear();
        const size_t sent = host.receivedTelegrams().size();
        ASSERT_TRUE(host.pushTelegram(answer(c.code, "00", c.dir)));
        ASSERT_TRUE(fmtest::WaitFor([&] { return boxes.count() == 1; })) << c.code;
        EXPECT_EQ(boxes.last().text, q(c.box)) << c.code;
        EXPECT_EQ(boxes.last().caption, q("전문오류"));
        QTest::qWait(30);
        EXPECT_EQ(host.receivedTelegrams().size(), sent) << c.code;
        EXPECT_TRUE(w->LoggedIn());
        EXPECT_EQ(w->PnlStatus->text(), q("Norvane과 개시되었습니다!!"));
    }
}

TEST_F(SessionEnv, HostErrorCodesAndTheirConversion)
{
    login();
    struct Case {
        const char *resp, *text;
    };
    const Case cases[] = {
        {" 7", "업무구분오류"},
        {"+5", "프로그램버젼오류"},
        {"13", "File Size오류, 송신불가"},
        {"-1", "알수없는 에러입니다.\r\n(주)Norvane으로 연락하십시요!!"},
        {"24", "알수없는 에러입니다.\r\n(주)Norvane으로 연락하십시요!!"},
        {"99", "알수없는 에러입니다.\r\n(주)Norvane으로 연락하십시요!!"},
        {" 0", "알수없는 에러입니다.\r\n(주)Norvane으로 연락하십시요!!"},
        {"16", "검색자료없음"},
    };
    for (const Case &c : cases) {
        boxes.clear();
        w->PnlFtp->show();
        ASSERT_TRUE(host.pushTelegram(answer("0610100", c.resp)));
        ASSERT_TRUE(fmtest::WaitFor([&] { return boxes.count() == 1 && w->PnlFtp->isHidden(); }))
            << c.resp << ": " << boxes.texts();
        EXPECT_EQ(boxes.last().text, q(c.text)) << c.resp;
        EXPECT_EQ(boxes.last().caption, q("오류"));
        EXPECT_EQ(boxes.last().icon, MsgIcon::Error);
    }
    EXPECT_EQ(w->PnlStatus->text(), q("검색자료없음!!"));
    EXPECT_EQ(w->StatusColor(), fm::clRed);

    // Not a number: only the conversion error; nothing else changes.
    for (const char *resp : {"  ", "0 ", "AB"}) {
        boxes.clear();
        w->PnlFtp->show();
        ASSERT_TRUE(host.pushTelegram(answer("0610100", resp)));
        ASSERT_TRUE(fmtest::WaitFor([&] { return boxes.count() == 1; })) << resp;
        EXPECT_EQ(boxes.last().text, q("'%1' is not a valid integer value").arg(resp));
        EXPECT_FALSE(w->PnlFtp->isHidden()) << resp;
    }
    EXPECT_TRUE(w->LoggedIn());
    EXPECT_TRUE(w->CSock->Connected());
}

TEST_F(SessionEnv, WrongPasswordAsksAgainAndThirdLocksOut)
{
    host.scenario().accounts["CD3"] = "right";
    modals.then(typeLogin(" CD3", "wrong"));
    modals.then(typeLogin("CD3", " right"));
    w->BBtnConn->click();
    ASSERT_TRUE(fmtest::WaitFor([&] { return w->LoggedIn(); })) << boxes.texts();
    EXPECT_EQ(boxes.texts(), "오류: 비밀번호오류");
    ASSERT_EQ(host.receivedTelegrams().size(), 2u);
    EXPECT_EQ(host.receivedTelegrams()[0].substr(8, 4), "CD3 ");
    EXPECT_EQ(host.receivedTelegrams()[1].substr(64, 10), "right     ");
    EXPECT_EQ(w->CompCd(), "CD3");

    // A second window locks itself out with three wrong passwords.
    delete w.data();
    boxes.clear();
    w = new TFrmC101B00;
    for (int i = 0; i < 3; ++i) modals.then(typeLogin("CD3", "nope"));
    w->BBtnConn->click();
    ASSERT_TRUE(waitBox(kDisconnectBox)) << boxes.texts();
    QTest::qWait(50);
    EXPECT_EQ(boxes.texts(),
              "오류: 비밀번호오류 | 오류: 비밀번호오류 | 오류: 비밀번호를 3회 틀리셨습니다.\r\n"
              "Norvane과 연결할 수 없습니다.\r\n접속하실려면 Norvane으로 연락하세요!! | 접속종료: " +
                  std::string(kDisconnectBox));
    EXPECT_EQ(modals.shownCount(), 5); // two for the first window, three here
    EXPECT_FALSE(w->CSock->Active());
    EXPECT_FALSE(w->LoggedIn());
}

TEST_F(SessionEnv, CancelAfterWrongPasswordKeepsTheConnection)
{
    host.failNext("0800100", "02");
    modals.then(typeLogin("ZZ99", "x"));
    w->BBtnConn->click();
    ASSERT_TRUE(waitBox("업체코드오류")) << boxes.texts();
    EXPECT_EQ(modals.shownCount(), 1); // code 2 does not ask again

    ASSERT_TRUE(host.pushTelegram(answer("0810100", "03")));
    modals.then(cancel);
    ASSERT_TRUE(fmtest::WaitFor([&] { return modals.shownCount() == 2; }));
    QTest::qWait(50);
    EXPECT_EQ(host.receivedTelegrams().size(), 1u);
    EXPECT_TRUE(w->CSock->Connected());
    EXPECT_FALSE(w->LoggedIn());
}
