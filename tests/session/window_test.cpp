// The window itself: the log and F11, the daily reset of the receive
// counters, the log-in dialog, and the socket layer's refused read.
#include "sessionenv.h"

#include <QScrollBar>
#include <QTextBlock>
#include <cerrno>
#include <ctime>

using fm::TFrmC101B00;

namespace {

std::time_t day(int y, int m, int d)
{
    std::tm tm{};
    tm.tm_year = y - 1900;
    tm.tm_mon = m - 1;
    tm.tm_mday = d;
    tm.tm_hour = 12;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

} // namespace

TEST_F(SessionEnv, F11TogglesTheLogAndLeavesTheKeyToTheFocusedControl)
{
    std::vector<int> gridKeys;
    w->SGrdDataLst->OnKeyDown = [&](int key, fm::TShiftState) { gridKeys.push_back(key); };
    EXPECT_TRUE(w->Memo->isHidden());
    QTest::keyClick(w->SGrdDataLst, Qt::Key_F11);
    EXPECT_FALSE(w->Memo->isHidden());
    EXPECT_EQ(gridKeys, std::vector<int>{fm::VK_F11});
    // A button leaves F11 to its parents: still one toggle per press.
    QTest::keyClick(w->BBtnExit, Qt::Key_F11, Qt::ShiftModifier);
    EXPECT_TRUE(w->Memo->isHidden());
    QTest::keyClick(w.data(), Qt::Key_F11);
    EXPECT_FALSE(w->Memo->isHidden());
    QTest::keyClick(w->SGrdDataLst, Qt::Key_F10);
    EXPECT_FALSE(w->Memo->isHidden());

    // Keys of another window do not reach this one.
    QWidget other;
    QTest::keyClick(&other, Qt::Key_F11);
    EXPECT_FALSE(w->Memo->isHidden());
}

// F11 opens the log at the start of its newest line, not scrolled sideways
// into the blanks at the end of the 1,024-character lines.
TEST_F(SessionEnv, TheLogOpensAtTheStartOfItsNewestLine)
{
    w->resize(870, 480);
    w->show();
    for (int i = 0; i < 40; ++i) w->MemoAdd("send==>" + std::to_string(i) + std::string(1024, ' '));
    for (int opening = 0; opening < 2; ++opening) {
        w->FormKeyDown(fm::VK_F11, {});
        QCoreApplication::processEvents();
        const QScrollBar *across = w->Memo->horizontalScrollBar();
        const QScrollBar *down = w->Memo->verticalScrollBar();
        ASSERT_GT(across->maximum(), across->minimum());
        ASSERT_GT(down->maximum(), down->minimum());
        EXPECT_EQ(across->value(), across->minimum()) << "opening " << opening;
        EXPECT_EQ(down->value(), down->maximum()) << "opening " << opening;
        EXPECT_EQ(w->Memo->textCursor().block().text().left(9), "send==>39");
        w->FormKeyDown(fm::VK_F11, {});
    }
}

TEST_F(SessionEnv, DailyResetOfTheReceiveCounters)
{
    delete w.data();
    const std::string key = fm::reg::RecvFileKey();

    // A missing key is created with today's date and nine zeros, in order.
    fm::SetClockForTesting([] { return day(2025, 3, 4); });
    w = new TFrmC101B00;
    {
        fm::TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(key, false));
        EXPECT_EQ(reg.GetValueNames(), (std::vector<std::string>{"Date", "000", "100", "200", "300", "400",
                                                                 "500", "600", "700", "800"}));
        for (const char *c : fm::reg::kRecvCounters) EXPECT_EQ(reg.ReadString(c), "0") << c;
    }
    EXPECT_EQ(readValue(key, "Date"), "20250304");

    // The same day: the counts stay.
    writeValue(key, "200", "7");
    delete w.data();
    w = new TFrmC101B00;
    EXPECT_EQ(readValue(key, "200"), "7");

    // Another day, or no Date: reset.
    for (const char *date : {"20250303", ""}) {
        writeValue(key, "Date", date);
        writeValue(key, "200", "7");
        writeValue(key, "800", "12");
        delete w.data();
        w = new TFrmC101B00;
        EXPECT_EQ(readValue(key, "Date"), "20250304") << date;
        EXPECT_EQ(readValue(key, "200"), "0") << date;
        EXPECT_EQ(readValue(key, "800"), "0") << date;
    }
}

TEST_F(SessionEnv, LoginDialogKeysAndLimits)
{
    {
        fm::TFrmC101B01 d;
        d.show();
        EXPECT_EQ(d.windowTitle(), q("로그인"));
        QTest::keyClicks(d.EdtCompCd, "ab1cd");
        EXPECT_EQ(d.EdtCompCd->text(), "AB1C");
        QTest::keyClick(d.EdtCompCd, Qt::Key_Return);
        EXPECT_TRUE(d.isVisible());
        EXPECT_EQ(d.focusWidget(), d.EdtPswd);
        QTest::keyClicks(d.EdtPswd, "secret99");
        EXPECT_EQ(d.EdtPswd->text(), "secret");
        EXPECT_EQ(d.EdtPswd->echoMode(), QLineEdit::Password);
        QTest::keyClick(d.EdtPswd, Qt::Key_Return);
        EXPECT_EQ(d.result(), QDialog::Accepted);
        EXPECT_FALSE(d.isVisible());
    }
    {
        fm::TFrmC101B01 d; // created anew: both edits empty
        d.show();
        EXPECT_TRUE(d.EdtCompCd->text().isEmpty() && d.EdtPswd->text().isEmpty());
        QTest::keyClick(&d, Qt::Key_Escape);
        EXPECT_EQ(d.result(), QDialog::Rejected);
    }
    {
        fm::TFrmC101B01 d;
        d.show();
        d.setResult(QDialog::Accepted);
        d.close(); // the close box
        EXPECT_EQ(d.result(), QDialog::Rejected);
    }
}

TEST_F(SessionEnv, RefusedReadEndsTheConnection)
{
    login();
    boxes.clear();
    w->CSock->SocketFailed(ECONNRESET);
    expectRefusedReadBoxes();
    EXPECT_FALSE(w->LoggedIn());
    EXPECT_FALSE(w->CSock->Active());
    ASSERT_TRUE(fmtest::WaitFor([&] { return host.openConnections() == 0; }));
}

TEST_F(SessionEnv, TheLogKeepsItsNewestLinesUpToItsBound)
{
    constexpr size_t bound = fm::TFrmC101B00::kLogLines;
    for (size_t i = 0; i <= bound; ++i) w->MemoAdd(std::to_string(i));
    EXPECT_EQ(w->LogLineCount(), bound);
    w->FormKeyDown(fm::VK_F11, {});
    EXPECT_TRUE(w->Memo->toPlainText().startsWith("1\n"));
    w->MemoAdd("last"); // shown: the widget keeps the same lines
    EXPECT_EQ(w->Memo->blockCount(), int(bound));
    EXPECT_TRUE(w->Memo->toPlainText().startsWith("2\n"));
    EXPECT_TRUE(w->Memo->toPlainText().endsWith(QString::number(bound) + "\nlast"));
}
