// The main window: its frame, clock and background picture, the "연결"
// command, and the road by which the program closes.
#include "shellenv.h"
#include "common/desktop.h"

#include "common/modal.h"
#include "session/C101B01.h"
#include "session/C101B02.h"
#include "session/C101B03.h"
#include "session/C101B04.h"
#include "session/C101B05.h"
#include "shell/O102B00.h"
#include "support/screens.h"

#include <QDateTime>
#include <filesystem>
#include <QElapsedTimer>
#include <functional>
#include <QLabel>
#include <QMdiSubWindow>
#include <QMenu>
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
    QStringList items;
    for (QMenu *m : {w.MnuC100R00, w.MnuO100B00, w.MnuT100B00}) {
        items << m->title();
        for (QAction *a : m->actions()) items << (a->isSeparator() ? "-" : a->text());
    }
    EXPECT_EQ(items.join('|'), u("통신[&C]|연결|-|종료|설정[&O]|통신설정|도구(&T)|자료백업|자료복구"));
    EXPECT_EQ(w.MnuExit->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_X));
    // The tool buttons are the menu items' own commands, between separators.
    const QList<QAction *> tools = w.ToolBar1->actions();
    ASSERT_EQ(tools.size(), 5);
    EXPECT_TRUE(tools[1] == w.MnuC101R00 && tools[3] == w.MnuExit && tools[2]->isSeparator());
    w.show();
    EXPECT_EQ(w.PnlTime->width(), 77);
    EXPECT_GE(w.PnlTime->mapTo(&w, QPoint(w.PnlTime->width(), 0)).x(), w.width() - 8); // right end
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

    const QTime t = QDateTime::fromSecsSinceEpoch(fixed).time();
    const QString expected = fm::ClockText(t);
    EXPECT_EQ(w.PnlTime->text(), expected);
    // The Korean long form, whatever the process locale, with the hours
    // from 1 to 12 after the half of the day.
    const QString half = QString::fromUtf8(t.hour() < 12 ? "오전 " : "오후 ");
    EXPECT_EQ(expected, half + QString::number((t.hour() + 11) % 12 + 1) + t.toString(":mm:ss"));
    // The widest time fits the 77-pixel panel inside its frame.
    const QString widest = fm::ClockText(QTime(12, 58, 58));
    EXPECT_LE(QFontMetrics(w.PnlTime->font()).horizontalAdvance(widest), w.PnlTime->contentsRect().width())
        << widest.toStdString();

    // Once a second: a later clock shows up at the next tick.
    fm::SetClockForTesting([=] { return fixed + 3600; });
    ASSERT_TRUE(fmtest::WaitFor([&] { return w.PnlTime->text() != expected; }, 3000));
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

    // A file that is not a bitmap is reported the same way.
    dir.write("img_main.bmp", "BM this is not a bitmap");
    TFrmMain again;
    ASSERT_EQ(boxes.count(), 2u);
    EXPECT_TRUE(boxes.last().text.contains("img_main.bmp"));
    EXPECT_TRUE(again.imgBase.isNull());
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
    ASSERT_TRUE(picture.save(QString::fromStdString(dir.file("IMG_MAIN.BMP")), "BMP")); // any case

    TFrmMain w;
    EXPECT_EQ(boxes.count(), 0u) << boxes.texts();
    ASSERT_FALSE(w.imgBase.isNull());
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));

    const QImage shot = w.MdiArea->viewport()->grab().toImage();
    const int wide = shot.width(), high = shot.height();
    ASSERT_GT(wide, 800);
    auto near = [](QColor a, QColor b) { return std::abs(a.red() - b.red()) + std::abs(a.blue() - b.blue()) < 60; };
    EXPECT_TRUE(near(shot.pixelColor(5, 5), Qt::red));
    EXPECT_TRUE(near(shot.pixelColor(wide - 5, 5), Qt::red)); // stretched to the full width
    // The picture is as high as the main window's client area, so the red
    // half ends below the middle of the (shorter) MDI area...
    const int redEnd = (w.height() - w.menuBar()->height()) / 2;
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

    // Closed with its own button, it leaves the global empty, not dangling.
    fm::FrmC101B00->BBtnExit->click();
    ASSERT_TRUE(fmtest::WaitFor([&] { return fm::FrmC101B00.isNull(); }));
    EXPECT_TRUE(fmtest::WaitFor([&] { return w.MdiArea->subWindowList().isEmpty(); }));
}

TEST_F(ShellEnv, EveryWayOfClosingAsksOnceAndNoKeepsEverything)
{
    TFrmMain w;
    boxes.clear();
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    w.MnuC101R00->trigger();
    QPointer<TFrmC101B00> child = fm::FrmC101B00;

    const std::function<void()> ways[] = {
        [&] { EXPECT_FALSE(w.close()); },                                  // close box
        [&] { QTest::keyClick(&w, Qt::Key_X, Qt::ControlModifier); },       // Ctrl+X
        [&] { w.TBtnClose->click(); },                                     // tool button
        [&] { w.MnuExit->trigger(); }};                                    // menu item
    for (size_t i = 0; i < std::size(ways); ++i) {
        boxes.answer(fm::mrNo);
        ways[i]();
        ASSERT_EQ(boxes.count(), i + 1) << "way " << i;
        EXPECT_EQ(boxes.last().text, kExitQuestion);
        EXPECT_EQ(boxes.last().caption, u("Aldercourt Fennimarch"));
        EXPECT_EQ(boxes.last().icon, fm::MsgIcon::Question);
        EXPECT_EQ(boxes.last().buttons, fm::MsgButtons::YesNo);
    }
    QTest::qWait(20);
    EXPECT_TRUE(w.isVisible() && child);
    EXPECT_EQ(w.MdiArea->subWindowList().size(), 1);

    boxes.answer(fm::mrYes);
    QTest::keyClick(&w, Qt::Key_X, Qt::ControlModifier);
    EXPECT_FALSE(w.isVisible());
}

TEST_F(ShellEnv, ALoggedInChildStopsTheClosingWithoutAQuestion)
{
    TFrmMain w;
    boxes.clear();
    w.show();
    // The first child agrees but is not closed, the second refuses, and
    // nothing is asked after that (the third would refuse too).
    TFrmC101B00 *kids[3] = {new TFrmC101B00, new TFrmC101B00, new TFrmC101B00};
    for (auto *k : kids) w.MdiArea->addSubWindow(k)->show();
    setLoggedIn(kids[1], true);
    setLoggedIn(kids[2], true);
    QPointer<TFrmC101B00> agreeing = kids[0];

    EXPECT_FALSE(w.close());
    ASSERT_EQ(boxes.count(), 1u) << boxes.texts();
    EXPECT_EQ(boxes.last().text, kRefusal);
    QTest::qWait(20);
    EXPECT_TRUE(w.isVisible() && agreeing);
    EXPECT_EQ(w.MdiArea->subWindowList().size(), 3);
}

TEST_F(ShellEnv, SettingsBackupAndRestoreItemsRunTheirCommands)
{
    TFrmMain w;
    boxes.clear();
    fmtest::ScriptedModals modals;
    QPointer<fm::TFrmO102B00> seen;
    modals.then([&](QDialog &d) {
        seen = qobject_cast<fm::TFrmO102B00 *>(&d);
        EXPECT_TRUE(seen && fm::FrmO102B00 == seen);
        return int(fm::mrCancel);
    });
    w.MnuO102B00->trigger();
    EXPECT_EQ(modals.shownCount(), 1);
    EXPECT_TRUE(seen.isNull() && fm::FrmO102B00.isNull()) << "the dialog outlived its modal loop";

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

// Every fixed text of the program's windows and dialogs (labels, label
// panels, buttons, tool buttons) fits the room its widget gives it in the
// mapped fonts, as the windows open.
TEST_F(ShellEnv, EveryTextOfEveryWindowFitsItsWidget)
{
    auto expectFits = [](QWidget &w) {
        w.show();
        QCoreApplication::processEvents();
        const QStringList cut = fmtest::TextsThatDoNotFit(w);
        EXPECT_TRUE(cut.isEmpty()) << w.objectName().toStdString() << ":\n  " << cut.join("\n  ").toStdString();
        w.hide();
    };
    {
        TFrmMain w;
        expectFits(w);
    }
    {
        std::unique_ptr<TFrmC101B00> w(fm::CreateFrmC101B00(nullptr));
        w->resize(870, 480);
        expectFits(*w);
        // The other state of the shared place, and the progress panel.
        setLoggedIn(w.get(), true);
        w->PnlFtp->show();
        expectFits(*w);
        setLoggedIn(w.get(), false);
    }
    fm::TFrmO102B00 settings;
    expectFits(settings);
    fm::TFrmC101B01 login;
    expectFits(login);
    fm::TFrmC101B02 work;
    expectFits(work);
    fm::TFrmC101B03 password;
    expectFits(password);
    fm::TFrmC101B04 notice;
    expectFits(notice);
    const auto store = std::make_unique<fm::TLoadedFile>();
    fm::TFrmC101B05 detail(*store, 0, "R");
    expectFits(detail);
}
