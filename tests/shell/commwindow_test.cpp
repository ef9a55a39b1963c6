// The life cycle of the communication window: it refuses to close while
// logged in, and otherwise is destroyed (not hidden) when it closes.
#include "shellenv.h"

#include <QTest>

using fm::TFrmC101B00;

TEST_F(ShellEnv, CommunicationWindowRefusesWhileLoggedInAndIsDestroyedOtherwise)
{
    QPointer<TFrmC101B00> w = fm::CreateFrmC101B00(nullptr);
    EXPECT_EQ(fm::FrmC101B00.data(), w.data());
    EXPECT_EQ(w->windowTitle(), QString::fromUtf8("통신"));
    EXPECT_EQ(w->BBtnConn->text() + w->BBtnDisConn->text() + w->BBtnExit->text(),
              QString::fromUtf8("접속접속종료닫기"));
    EXPECT_FALSE(w->LoggedIn()); // created offline: "접속" shown, "접속종료" hidden
    EXPECT_TRUE(w->BBtnDisConn->isHidden() && !w->BBtnConn->isHidden());
    w->show();
    EXPECT_EQ(w->PnlBtn->width(), 91);

    setLoggedIn(w, true);
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
    ASSERT_TRUE(w && w->isVisible());

    setLoggedIn(w, false);
    w->BBtnExit->click();
    EXPECT_EQ(boxes.count(), 2u);
    ASSERT_TRUE(fmtest::WaitFor([&] { return w.isNull(); })) << "hidden but not destroyed";
    EXPECT_TRUE(fm::FrmC101B00.isNull());
}
