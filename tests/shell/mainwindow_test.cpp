// The main window: its frame, clock and background picture, the "연결"
// command, and the road by which the program closes.
#include "shellenv.h"

#include "common/modal.h"
#include "shell/O102B00.h"

#include <QDateTime>
#include <filesystem>
#include <QElapsedTimer>
#include <QLabel>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPainter>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

using fm::TFrmC101B00;
using fm::TFrmMain;

namespace {

const QString kExitQuestion = QString::fromUtf8("Fennimarch을 종료하시겠습니까?");
const QString kRefusal = QString::fromUtf8("접속종료를 먼저 하십시요!!!");

QString u(const char *s) { return QString::fromUtf8(s); }

} // namespace

TEST_F(ShellEnv, TheFrameAsTheUserSeesIt)
{
    TFrmMain w;
    EXPECT_EQ(w.windowTitle(), u("Aldercourt-Norvane Fennimarch(Ver1.0.0.8)"));
    EXPECT_EQ(w.size(), QSize(870, 550));

    const QList<QAction *> menus = w.menuBar()->actions();
    ASSERT_EQ(menus.size(), 3);
    EXPECT_EQ(menus[0]->text(), u("통신[&C]"));
    EXPECT_EQ(menus[1]->text(), u("설정[&O]"));
    EXPECT_EQ(menus[2]->text(), u("도구(&T)"));
    // The communication menu: "연결", a separator line, "종료" (Ctrl+X).
    const QList<QAction *> comm = w.MnuC100R00->actions();
    ASSERT_EQ(comm.size(), 3);
    EXPECT_EQ(comm[0], w.MnuC101R00);
    EXPECT_TRUE(comm[1]->isSeparator());
    EXPECT_EQ(comm[2], w.MnuExit);
    EXPECT_EQ(w.MnuExit->text(), u("종료"));
    EXPECT_EQ(w.MnuExit->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_X));
    EXPECT_EQ(w.MnuO100B00->actions(), QList<QAction *>{w.MnuO102B00});
    EXPECT_EQ(w.MnuO102B00->text(), u("통신설정"));
    EXPECT_EQ(w.MnuT100B00->actions(), (QList<QAction *>{w.MnuT102B00, w.MnuT103B00}));
    EXPECT_EQ(w.MnuT102B00->text(), u("자료백업"));
    EXPECT_EQ(w.MnuT103B00->text(), u("자료복구"));

    // Tool bar: separator, "연결", separator, "종료", separator; the buttons
    // are the menu items' own commands.
    const QList<QAction *> tools = w.ToolBar1->actions();
    ASSERT_EQ(tools.size(), 5);
    EXPECT_TRUE(tools[0]->isSeparator());
    EXPECT_EQ(tools[1], w.MnuC101R00);
    EXPECT_TRUE(tools[2]->isSeparator());
    EXPECT_EQ(tools[3], w.MnuExit);
    EXPECT_TRUE(tools[4]->isSeparator());
    EXPECT_EQ(w.TbtnCom->text(), u("연결"));
    EXPECT_EQ(w.TBtnClose->text(), u("종료"));

    w.show();
    EXPECT_EQ(w.PnlTime->width(), 77);
    EXPECT_EQ(w.PnlStatusBar->height(), 22);
    // The clock sits at the right end of the status bar.
    const QPoint clockRight = w.PnlTime->mapTo(&w, QPoint(w.PnlTime->width(), 0));
    EXPECT_GE(clockRight.x(), w.width() - 8);
}

TEST_F(ShellEnv, TheClockIsEmptyDuringTheFirstSecondThenShowsTheTime)
{
    const std::time_t fixed = 1700000000;
    fm::SetClockForTesting([=] { return fixed; });
    QElapsedTimer since;
    since.start();
    TFrmMain w;
    w.show();
    QTest::qWait(300);
    EXPECT_TRUE(w.PnlTime->text().isEmpty());
    ASSERT_TRUE(fmtest::WaitFor([&] { return !w.PnlTime->text().isEmpty(); }, 3000));
    EXPECT_GE(since.elapsed(), 900);

    const QLocale locale = QLocale::system();
    const QString expected = locale.toString(QDateTime::fromSecsSinceEpoch(fixed).time(),
                                             fm::LongTimeFormat(locale));
    EXPECT_EQ(w.PnlTime->text(), expected);
    EXPECT_TRUE(w.PnlTime->text().contains(QDateTime::fromSecsSinceEpoch(fixed).toString("mm")));

    // Once a second: a later clock shows up at the next tick.
    fm::SetClockForTesting([=] { return fixed + 3600; });
    ASSERT_TRUE(fmtest::WaitFor([&] { return w.PnlTime->text() != expected; }, 3000));
}

TEST(LongTimeFormat, KeepsTheWallTimeWithSecondsAndDropsTheTimeZone)
{
    for (const char *name : {"en_US", "C", "ko_KR", "de_DE"}) {
        const QLocale locale(QString::fromLatin1(name));
        const QString f = fm::LongTimeFormat(locale);
        EXPECT_TRUE(f.contains('s')) << name << ": " << f.toStdString(); // with seconds
        EXPECT_EQ(f, f.trimmed()) << name;
        const QString shown = locale.toString(QTime(13, 4, 5), f);
        EXPECT_TRUE(shown.contains('5') && shown.contains('4')) << name << ": " << shown.toStdString();
        // Nothing of a zone name: the full text is no longer than the
        // locale's own long format shows.
        const QString full = locale.toString(QTime(13, 4, 5), QLocale::LongFormat);
        if (locale.timeFormat(QLocale::LongFormat).contains('t')) {
            EXPECT_LT(shown.size(), full.size()) << name;
        }
    }
}

TEST_F(ShellEnv, WithoutThePictureOneErrorBoxNamesTheFileAndTheBackgroundIsPlain)
{
    TFrmMain w;
    ASSERT_EQ(boxes.count(), 1u) << boxes.texts();
    EXPECT_EQ(boxes.last().icon, fm::MsgIcon::Error);
    EXPECT_EQ(boxes.last().caption, fm::ApplicationTitle());
    EXPECT_TRUE(boxes.last().text.contains(QString::fromStdString(dir.file("img_main.bmp"))))
        << boxes.texts();
    EXPECT_TRUE(w.imgBase.isNull());

    w.show();
    const QImage shot = w.MdiArea->viewport()->grab().toImage();
    EXPECT_EQ(shot.pixelColor(10, 10).rgb(), w.MdiArea->background().color().rgb());
    EXPECT_EQ(boxes.count(), 1u); // painting does not ask again
}

TEST_F(ShellEnv, APictureThatIsNotABitmapIsReportedTheSameWay)
{
    dir.write("img_main.bmp", "BM this is not a bitmap");
    TFrmMain w;
    ASSERT_EQ(boxes.count(), 1u);
    EXPECT_TRUE(boxes.last().text.contains("img_main.bmp"));
    EXPECT_TRUE(w.imgBase.isNull());
}

TEST_F(ShellEnv, ThePictureIsStretchedOverTheWholeClientAreaAndItsFootIsHidden)
{
    // Red top half, blue below, a thin green foot (4 % of the height).
    QImage picture(100, 100, QImage::Format_RGB888);
    picture.fill(Qt::blue);
    QPainter p(&picture);
    p.fillRect(0, 0, 100, 50, Qt::red);
    p.fillRect(0, 96, 100, 4, Qt::green);
    p.end();
    writePicture(picture, "IMG_MAIN.BMP"); // found without regard to case

    TFrmMain w;
    EXPECT_EQ(boxes.count(), 0u) << boxes.texts();
    ASSERT_FALSE(w.imgBase.isNull());
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));

    const QImage shot = w.MdiArea->viewport()->grab().toImage();
    const int wide = shot.width(), high = shot.height();
    ASSERT_GT(wide, 800);
    auto near = [](QColor a, QColor b) {
        return std::abs(a.red() - b.red()) < 40 && std::abs(a.green() - b.green()) < 40 &&
               std::abs(a.blue() - b.blue()) < 40;
    };
    EXPECT_TRUE(near(shot.pixelColor(5, 5), Qt::red));
    EXPECT_TRUE(near(shot.pixelColor(wide - 5, 5), Qt::red)); // stretched to the full width
    // The picture is as high as the main window's client area, so the red
    // half ends below the middle of the (shorter) MDI area...
    const int clientHeight = w.height() - w.menuBar()->height();
    const int redEnd = clientHeight / 2;
    EXPECT_TRUE(near(shot.pixelColor(wide / 2, redEnd - 8), Qt::red));
    EXPECT_TRUE(near(shot.pixelColor(wide / 2, redEnd + 8), Qt::blue));
    // ...and its green foot falls below the MDI area, out of sight.
    EXPECT_TRUE(near(shot.pixelColor(wide / 2, high - 1), Qt::blue));
}

TEST_F(ShellEnv, ConnectOpensOneMaximizedWindowAndAgainReplacesIt)
{
    TFrmMain w;
    boxes.clear();
    w.show();
    w.MnuC101R00->trigger();
    ASSERT_EQ(w.MdiArea->subWindowList().size(), 1);
    QPointer<TFrmC101B00> first = fm::FrmC101B00;
    ASSERT_TRUE(first);
    QMdiSubWindow *sub = w.MdiArea->subWindowList()[0];
    EXPECT_EQ(sub->widget(), first.data());
    EXPECT_TRUE(sub->isMaximized());
    EXPECT_EQ(sub->windowTitle(), u("통신"));

    // The tool button runs the same command: the first window is asked to
    // close (it is not logged in) and is freed after the command.
    w.TbtnCom->click();
    QPointer<TFrmC101B00> second = fm::FrmC101B00;
    ASSERT_TRUE(second);
    EXPECT_NE(first.data(), second.data());
    EXPECT_TRUE(first) << "freed while the command was still running";
    ASSERT_TRUE(fmtest::WaitFor([&] { return first.isNull(); }));
    ASSERT_EQ(w.MdiArea->subWindowList().size(), 1);
    EXPECT_EQ(w.MdiArea->subWindowList()[0]->widget(), second.data());
    EXPECT_TRUE(w.MdiArea->subWindowList()[0]->isMaximized());
    EXPECT_EQ(boxes.count(), 0u) << boxes.texts();
}

TEST_F(ShellEnv, ALoggedInWindowRefusesAndStaysTheOnlyOne)
{
    TFrmMain w;
    boxes.clear();
    w.show();
    w.MnuC101R00->trigger();
    QPointer<TFrmC101B00> first = fm::FrmC101B00;
    ASSERT_TRUE(first);
    setLoggedIn(first, true);

    w.MnuC101R00->trigger();
    ASSERT_EQ(boxes.count(), 1u) << boxes.texts();
    EXPECT_EQ(boxes.last().text, kRefusal);
    EXPECT_EQ(boxes.last().caption, u("종료에러"));
    EXPECT_EQ(boxes.last().icon, fm::MsgIcon::Error);
    QTest::qWait(50);
    ASSERT_TRUE(first);
    EXPECT_EQ(fm::FrmC101B00.data(), first.data());
    ASSERT_EQ(w.MdiArea->subWindowList().size(), 1);
    EXPECT_EQ(w.MdiArea->activeSubWindow()->widget(), first.data());

    // Once logged out, the next "연결" replaces it.
    setLoggedIn(first, false);
    w.MnuC101R00->trigger();
    ASSERT_TRUE(fmtest::WaitFor([&] { return first.isNull(); }));
    ASSERT_TRUE(fm::FrmC101B00);
    EXPECT_EQ(w.MdiArea->subWindowList().size(), 1);
}

TEST_F(ShellEnv, TheGlobalNeverNamesAFreedWindow)
{
    TFrmMain w;
    w.show();
    w.MnuC101R00->trigger();
    ASSERT_TRUE(fm::FrmC101B00);
    fm::FrmC101B00->BBtnExit->click();
    ASSERT_TRUE(fmtest::WaitFor([&] { return fm::FrmC101B00.isNull(); }));
    EXPECT_TRUE(fmtest::WaitFor([&] { return w.MdiArea->subWindowList().isEmpty(); }));
}

TEST_F(ShellEnv, ExitAnsweredYesClosesAndNoKeepsEverything)
{
    TFrmMain w;
    boxes.clear();
    w.show();
    w.MnuC101R00->trigger();
    QPointer<TFrmC101B00> child = fm::FrmC101B00;

    boxes.answer(fm::mrNo);
    EXPECT_FALSE(w.close());
    ASSERT_EQ(boxes.count(), 1u);
    EXPECT_EQ(boxes.last().text, kExitQuestion);
    EXPECT_EQ(boxes.last().caption, u("Aldercourt Fennimarch"));
    EXPECT_EQ(boxes.last().icon, fm::MsgIcon::Question);
    EXPECT_EQ(boxes.last().buttons, fm::MsgButtons::YesNo);
    EXPECT_TRUE(w.isVisible());
    QTest::qWait(20);
    EXPECT_TRUE(child);
    EXPECT_EQ(w.MdiArea->subWindowList().size(), 1);

    boxes.answer(fm::mrYes);
    EXPECT_TRUE(w.close());
    EXPECT_EQ(boxes.count(), 2u);
    EXPECT_FALSE(w.isVisible());
}

TEST_F(ShellEnv, ALoggedInChildStopsTheClosingWithoutAQuestion)
{
    TFrmMain w;
    boxes.clear();
    w.show();
    // Two children, the second one logged in: the first agrees but is not
    // closed, the second refuses, and nothing is asked after that.
    auto *agreeing = new TFrmC101B00;
    auto *refusing = new TFrmC101B00;
    auto *third = new TFrmC101B00;
    w.MdiArea->addSubWindow(agreeing)->show();
    w.MdiArea->addSubWindow(refusing)->show();
    w.MdiArea->addSubWindow(third)->show();
    setLoggedIn(refusing, true);
    setLoggedIn(third, true);
    QPointer<TFrmC101B00> a = agreeing;

    EXPECT_FALSE(w.close());
    ASSERT_EQ(boxes.count(), 1u) << boxes.texts();
    EXPECT_EQ(boxes.last().text, kRefusal);
    EXPECT_TRUE(w.isVisible());
    QTest::qWait(20);
    EXPECT_TRUE(a);
    EXPECT_EQ(w.MdiArea->subWindowList().size(), 3);
}

TEST_F(ShellEnv, EveryWayOfClosingTakesTheSameRoad)
{
    TFrmMain w;
    boxes.clear();
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));

    boxes.answer(fm::mrNo);
    QTest::keyClick(&w, Qt::Key_X, Qt::ControlModifier);
    ASSERT_EQ(boxes.count(), 1u) << "Ctrl+X";
    EXPECT_EQ(boxes.last().text, kExitQuestion);

    boxes.answer(fm::mrNo);
    w.TBtnClose->click();
    ASSERT_EQ(boxes.count(), 2u) << "tool button";

    boxes.answer(fm::mrNo);
    w.MnuExit->trigger();
    ASSERT_EQ(boxes.count(), 3u) << "menu item";
    EXPECT_TRUE(w.isVisible());

    // Ctrl+X with a logged-in child: its refusal only.
    w.MnuC101R00->trigger();
    setLoggedIn(fm::FrmC101B00, true);
    boxes.clear();
    w.activateWindow();
    QTest::keyClick(&w, Qt::Key_X, Qt::ControlModifier);
    ASSERT_EQ(boxes.count(), 1u) << boxes.texts();
    EXPECT_EQ(boxes.last().text, kRefusal);

    setLoggedIn(fm::FrmC101B00, false);
    boxes.answer(fm::mrYes);
    QTest::keyClick(&w, Qt::Key_X, Qt::ControlModifier);
    EXPECT_FALSE(w.isVisible());
}

TEST_F(ShellEnv, TheSettingsDialogIsShownModallyAndFreedAfterwards)
{
    TFrmMain w;
    boxes.clear();
    fmtest::ScriptedModals modals;
    QPointer<fm::TFrmO102B00> seen;
    modals.then([&](QDialog &d) {
        seen = qobject_cast<fm::TFrmO102B00 *>(&d);
        EXPECT_TRUE(seen);
        EXPECT_EQ(fm::FrmO102B00.data(), seen.data());
        return int(fm::mrCancel);
    });
    w.MnuO102B00->trigger();
    EXPECT_EQ(modals.shownCount(), 1);
    EXPECT_TRUE(seen.isNull()) << "the dialog outlived its modal loop";
    EXPECT_TRUE(fm::FrmO102B00.isNull());
}

TEST_F(ShellEnv, TheToolItemsRunBackupAndRestore)
{
    TFrmMain w;
    boxes.clear();
    dir.write("data/a.txt", "alpha");
    w.MnuT102B00->trigger();
    ASSERT_EQ(boxes.count(), 1u) << boxes.texts();
    EXPECT_EQ(boxes.last().caption, u("백업완료"));
    EXPECT_TRUE(std::filesystem::exists(dir.file("databack/DataBackup.zip")));

    boxes.answer(fm::mrNo); // the restore's question
    w.MnuT103B00->trigger();
    ASSERT_EQ(boxes.count(), 2u) << boxes.texts();
    EXPECT_EQ(boxes.last().buttons, fm::MsgButtons::YesNo);
}
