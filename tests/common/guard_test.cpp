#include "common/errors.h"
#include "common/guard.h"
#include "support/testutil.h"

#include <QTimer>
#include <gtest/gtest.h>

TEST(Guard, AnUncaughtErrorIsShownAndTheProgramGoesOn)
{
    fmtest::ScriptedBoxes boxes;
    bool after = false;
    fm::Guarded([&] {
        throw fm::ConvertError("'x' is not a valid integer value");
        after = true;
    });
    EXPECT_FALSE(after);
    ASSERT_EQ(boxes.count(), 1u);
    EXPECT_EQ(boxes.last().text, QString("'x' is not a valid integer value"));
    EXPECT_EQ(boxes.last().icon, fm::MsgIcon::Error);
    EXPECT_EQ(boxes.last().caption, fm::ApplicationTitle());
}

TEST(Guard, BoundHandlersNeverLetAnErrorIntoTheEventLoop)
{
    fmtest::ScriptedBoxes boxes;
    QTimer timer;
    timer.setSingleShot(true);
    int ran = 0;
    fm::Bind(&timer, &QTimer::timeout, &timer, [&] {
        ++ran;
        throw fm::SocketError("Asynchronous socket error 10061");
    });
    timer.start(0);
    ASSERT_TRUE(fmtest::WaitFor([&] { return ran == 1 && boxes.count() == 1; }));
    EXPECT_EQ(boxes.last().text, QString("Asynchronous socket error 10061"));
}
