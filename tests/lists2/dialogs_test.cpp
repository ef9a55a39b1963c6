// The work-selection and password-change dialogs on their own.
#include "common/datetime.h"
#include "common/modal.h"
#include "session/C101B02.h"
#include "session/C101B03.h"
#include "support/testutil.h"

#include <QApplication>
#include <QDateEdit>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QStyle>
#include <gtest/gtest.h>

#include <ctime>

using namespace fm;

namespace {

// Points the clock at noon of a day.
struct FixedDay {
    FixedDay(int y, int m, int d)
    {
        std::tm tm{};
        tm.tm_year = y - 1900, tm.tm_mon = m - 1, tm.tm_mday = d, tm.tm_hour = 12, tm.tm_isdst = -1;
        const std::time_t t = std::mktime(&tm);
        SetClockForTesting([t] { return t; });
    }
    ~FixedDay() { SetClockForTesting(nullptr); }
};

QString U(const char *utf8) { return QString::fromUtf8(utf8); }

QColor Base(const QWidget *w) { return w->palette().color(QPalette::Active, QPalette::Base); }

// Shows the dialog and gives it the focus, as a modal showing would.
void Activate(QDialog &d)
{
    d.show();
    d.activateWindow();
    QApplication::setActiveWindow(&d);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&d));
}

TEST(WorkSelectionTest, OpensWithNoChoiceTodaysDatesAndTheRangeEnabled)
{
    FixedDay day(2024, 3, 15);
    TFrmC101B02 d;
    EXPECT_EQ(d.windowTitle(), U("작업선택"));
    const char *captions[] = {"이체자료 파일송신하기", "이체결과자료 파일수신받기", "송신이체자료 파일목록보기",
                              "이체결과자료 파일목록보기", "공지사항 목록보기"};
    for (int i = 0; i < 5; ++i) {
        ASSERT_NE(d.RGrpSelectItems[i], nullptr);
        EXPECT_EQ(d.RGrpSelectItems[i]->text(), U(captions[i]));
        EXPECT_FALSE(d.RGrpSelectItems[i]->isChecked());
    }
    EXPECT_EQ(d.ItemIndex(), -1);
    EXPECT_TRUE(d.PnlData->isEnabled());
    EXPECT_EQ(d.PnlSechDt->text(), U("조회일자"));
    EXPECT_EQ(d.Label1->text(), "~");
    EXPECT_EQ(d.FromDate(), "20240315");
    EXPECT_EQ(d.ToDate(), "20240315");
    for (QDateEdit *p : {d.DTPkerSDt, d.DTPkerEDt}) {
        EXPECT_TRUE(p->calendarPopup());
        // The lists' form, not the locale's (which gives "15 Mar 2024" or "24. 3. 15.").
        EXPECT_EQ(p->text(), "2024-03-15");
    }
    EXPECT_EQ(d.BBtnConfi->text(), U("확인"));
    EXPECT_EQ(d.BBtnCncl->text(), U("취소"));
    EXPECT_FALSE(d.BBtnConfi->isDefault());
    EXPECT_FALSE(d.BBtnCncl->isDefault());
}

TEST(WorkSelectionTest, TheRangeFollowsTheChosenItem)
{
    FixedDay day(2024, 3, 15);
    TFrmC101B02 d;
    const QColor window = d.palette().color(QPalette::Active, QPalette::Base);
    const QColor face = d.palette().color(QPalette::Active, QPalette::Button);
    ASSERT_NE(window, face);

    // The first choice decides: item 0 disables the range.
    d.SetItemIndex(0);
    EXPECT_FALSE(d.PnlData->isEnabled());
    EXPECT_EQ(Base(d.DTPkerSDt), face);
    EXPECT_EQ(Base(d.DTPkerEDt), face);

    d.SetItemIndex(1);
    EXPECT_TRUE(d.PnlData->isEnabled());
    EXPECT_EQ(Base(d.DTPkerSDt), window);
    d.DTPkerSDt->setDate(QDate(2024, 3, 20));
    d.DTPkerEDt->setDate(QDate(2024, 2, 1));

    // Moving to item 2 and back keeps the dates; a from-date after the
    // to-date is kept as it is.
    d.RGrpSelectItems[2]->click();
    EXPECT_EQ(d.ItemIndex(), 2);
    EXPECT_FALSE(d.PnlData->isEnabled());
    EXPECT_EQ(Base(d.DTPkerEDt), face);
    d.RGrpSelectItems[1]->click();
    EXPECT_TRUE(d.PnlData->isEnabled());
    EXPECT_EQ(Base(d.DTPkerEDt), window);
    EXPECT_EQ(d.FromDate(), "20240320");
    EXPECT_EQ(d.ToDate(), "20240201");

    for (int i : {3, 4, 0}) {
        d.SetItemIndex(i);
        EXPECT_EQ(d.PnlData->isEnabled(), i == 4) << i;
    }
}

TEST(WorkSelectionTest, ButtonsAndKeysEndTheDialog)
{
    {
        TFrmC101B02 d;
        Activate(d);
        d.RGrpSelectItems[1]->setFocus();
        QTest::keyClick(d.RGrpSelectItems[1], Qt::Key_Return);
        QTest::keyClick(d.RGrpSelectItems[1], Qt::Key_Enter);
        QTest::keyClick(d.RGrpSelectItems[1], Qt::Key_Escape);
        QTest::keyClick(d.DTPkerSDt, Qt::Key_Return);
        QTest::keyClick(d.DTPkerSDt, Qt::Key_Escape);
        EXPECT_TRUE(d.isVisible()) << "Enter or Esc closed the dialog";
        EXPECT_EQ(d.result(), 0);
        // A focused button is pressed by Enter.
        d.BBtnConfi->setFocus();
        QTest::keyClick(d.BBtnConfi, Qt::Key_Return);
        EXPECT_FALSE(d.isVisible());
        EXPECT_EQ(d.result(), QDialog::Accepted);
    }
    {
        TFrmC101B02 d;
        d.show();
        d.close(); // the close box counts as Cancel
        EXPECT_EQ(d.result(), QDialog::Rejected);
    }
    {
        TFrmC101B02 d;
        d.show();
        d.BBtnCncl->click();
        EXPECT_EQ(d.result(), QDialog::Rejected);
    }
}

TEST(PasswordDialogTest, EditsMaskAndLimitTheirText)
{
    TFrmC101B03 d;
    EXPECT_EQ(d.windowTitle(), U("암호변경"));
    EXPECT_EQ(d.PnlCurrPswd->text(), U("현재비밀번호"));
    EXPECT_EQ(d.PnlUpdtPswd->text(), U("변경비밀번호"));
    EXPECT_EQ(d.PnlConfiPswd->text(), U("확인비밀번호"));
    for (QLineEdit *e : {d.EdtCurrPswd, d.EdtUpdtPswd, d.EdtConfiPswd}) {
        EXPECT_EQ(e->text(), "");
        EXPECT_EQ(e->echoMode(), QLineEdit::Password);
        EXPECT_EQ(e->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, e), '*')
            << e->objectName().toStdString();
        e->setText("12345678");
        EXPECT_EQ(e->text(), "123456");
    }
    EXPECT_EQ(d.BBtnConfi->text(), U("확인"));
    EXPECT_EQ(d.BBtnCncl->text(), U("취소"));
}

TEST(PasswordDialogTest, EnterWalksToTheButtonThenPressesIt)
{
    TFrmC101B03 d;
    Activate(d);
    EXPECT_TRUE(d.EdtCurrPswd->hasFocus());
    QTest::keyClicks(d.EdtCurrPswd, "1111");
    QTest::keyClick(d.EdtCurrPswd, Qt::Key_Escape);
    QTest::keyClick(d.EdtCurrPswd, Qt::Key_Return);
    EXPECT_TRUE(d.EdtUpdtPswd->hasFocus());
    QTest::keyClicks(d.EdtUpdtPswd, "2222");
    QTest::keyClick(d.EdtUpdtPswd, Qt::Key_Enter);
    EXPECT_TRUE(d.EdtConfiPswd->hasFocus());
    QTest::keyClicks(d.EdtConfiPswd, "2222");
    QTest::keyClick(d.EdtConfiPswd, Qt::Key_Return);
    EXPECT_TRUE(d.BBtnConfi->hasFocus());
    EXPECT_TRUE(d.isVisible()) << "Enter in an edit or Esc closed the dialog";
    EXPECT_EQ(d.EdtCurrPswd->text(), "1111");
    EXPECT_EQ(d.EdtUpdtPswd->text(), "2222");

    QTest::keyClick(d.BBtnConfi, Qt::Key_Escape);
    EXPECT_TRUE(d.isVisible());
    QTest::keyClick(d.BBtnConfi, Qt::Key_Return);
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(d.result(), QDialog::Accepted);
}

TEST(PasswordDialogTest, CancelAndTheCloseBoxGiveCancel)
{
    TFrmC101B03 a;
    a.show();
    a.BBtnCncl->click();
    EXPECT_EQ(a.result(), QDialog::Rejected);
    TFrmC101B03 b;
    b.show();
    b.close();
    EXPECT_EQ(b.result(), QDialog::Rejected);
    // Through the modal door: the close box is Cancel.
    SetModalRunner(nullptr);
    TFrmC101B03 c;
    QTimer::singleShot(0, &c, [&c] { c.close(); });
    EXPECT_EQ(ShowModal(c), mrCancel);
}

} // namespace
