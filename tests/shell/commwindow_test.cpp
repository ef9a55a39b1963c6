// The life cycle of the communication window: it refuses to close while
// logged in, and otherwise is destroyed (not hidden) when it closes.
#include "shellenv.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTest>

using fm::TFrmC101B00;

TEST_F(ShellEnv, CommunicationWindowStartsOffline)
{
    auto *w = fm::CreateFrmC101B00(nullptr);
    QPointer<TFrmC101B00> guard = w;
    EXPECT_EQ(fm::FrmC101B00.data(), w);
    EXPECT_EQ(w->windowTitle(), QString::fromUtf8("통신"));
    EXPECT_EQ(w->BBtnConn->text(), QString::fromUtf8("접속"));
    EXPECT_EQ(w->BBtnDisConn->text(), QString::fromUtf8("접속종료"));
    EXPECT_EQ(w->BBtnExit->text(), QString::fromUtf8("닫기"));
    EXPECT_FALSE(w->BBtnConn->isHidden());
    EXPECT_TRUE(w->BBtnDisConn->isHidden());
    EXPECT_FALSE(w->LoggedIn());
    EXPECT_EQ(w->PnlBtn->width(), 91);
    delete w;
    EXPECT_TRUE(fm::FrmC101B00.isNull());
}

TEST_F(ShellEnv, CommunicationWindowRefusesWhileLoggedInAndIsDestroyedOtherwise)
{
    QPointer<TFrmC101B00> w = new TFrmC101B00;
    w->show();
    setLoggedIn(w, true);
    EXPECT_TRUE(w->LoggedIn());

    EXPECT_FALSE(w->FormCloseQuery());
    w->BBtnExit->click();
    ASSERT_EQ(boxes.count(), 2u) << boxes.texts();
    for (const auto &b : boxes.shown()) {
        EXPECT_EQ(b.text, QString::fromUtf8("접속종료를 먼저 하십시요!!!"));
        EXPECT_EQ(b.caption, QString::fromUtf8("종료에러"));
        EXPECT_EQ(b.icon, fm::MsgIcon::Error);
        EXPECT_EQ(b.buttons, fm::MsgButtons::Ok);
    }
    QTest::qWait(20);
    ASSERT_TRUE(w);
    EXPECT_TRUE(w->isVisible());

    setLoggedIn(w, false);
    EXPECT_TRUE(w->FormCloseQuery());
    w->BBtnExit->click();
    EXPECT_EQ(boxes.count(), 2u);
    ASSERT_TRUE(fmtest::WaitFor([&] { return w.isNull(); })) << "hidden but not destroyed";
}

TEST_F(ShellEnv, CommunicationWindowTakesItsMdiFrameAlong)
{
    QMdiArea area;
    area.resize(600, 400);
    area.show();
    QPointer<TFrmC101B00> a = new TFrmC101B00;
    QPointer<TFrmC101B00> b = new TFrmC101B00;
    QPointer<QMdiSubWindow> subA = area.addSubWindow(a);
    QPointer<QMdiSubWindow> subB = area.addSubWindow(b);
    subA->show();
    subB->show();

    // "닫기" inside the frame, and the frame's own close box.
    a->BBtnExit->click();
    EXPECT_TRUE(subB->close());
    ASSERT_TRUE(fmtest::WaitFor([&] { return a.isNull() && b.isNull() && subA.isNull() && subB.isNull(); }));
    EXPECT_TRUE(area.subWindowList().isEmpty());

    // A logged-in window keeps its frame open.
    QPointer<TFrmC101B00> c = new TFrmC101B00;
    QPointer<QMdiSubWindow> subC = area.addSubWindow(c);
    subC->show();
    setLoggedIn(c, true);
    EXPECT_FALSE(subC->close());
    QTest::qWait(20);
    EXPECT_TRUE(c && subC && subC->isVisible());
}
