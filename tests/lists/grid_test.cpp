// The string grid stand-in: its cells, rows and columns, current row, and
// the standard drawing that OnDrawCell builds on.
#include "platform/StringGrid.h"
#include "support/testutil.h"

#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

using namespace fm;

namespace {

TEST(StringGridTest, CellsRowsAndColumns)
{
    TStringGrid g;
    g.SetColCount(3);
    g.SetRowCount(4);
    g.SetCell(2, 3, "c");
    g.SetCell(0, 0, "t");
    EXPECT_EQ(g.Cells(2, 3), "c");
    EXPECT_EQ(g.Cells(0, 0), "t");
    // Out of range: reads empty, writes ignored.
    g.SetCell(3, 1, "x");
    g.SetCell(0, 4, "x");
    g.SetCell(-1, 0, "x");
    EXPECT_EQ(g.Cells(3, 1), "");
    EXPECT_EQ(g.Cells(0, 4), "");
    EXPECT_EQ(g.Cells(-1, -1), "");
    // A title row and at least one data row; at least one column.
    g.SetRowCount(0);
    EXPECT_EQ(g.RowCount(), 2);
    g.SetColCount(0);
    EXPECT_EQ(g.ColCount(), 1);
    EXPECT_EQ(g.Cells(0, 0), "t");
    // Columns that come back are empty and have the default width.
    g.SetColWidths(0, 30);
    g.SetColCount(4);
    EXPECT_EQ(g.Cells(2, 1), "");
    EXPECT_EQ(g.ColWidths(0), 30);
    EXPECT_EQ(g.ColWidths(3), 64);
    EXPECT_EQ(g.RowHeights(1), 20);
    g.SetRowHeights(1, 33);
    EXPECT_EQ(g.RowHeights(1), 33);
}

TEST(StringGridTest, CurrentRowStaysOnADataRow)
{
    TStringGrid g;
    g.SetRowCount(5);
    EXPECT_EQ(g.Row(), 1);
    g.SetRow(4);
    EXPECT_EQ(g.Row(), 4);
    g.SetRow(0);  // the title row cannot be current
    g.SetRow(5);
    EXPECT_EQ(g.Row(), 4);
    g.SetRowCount(8);
    EXPECT_EQ(g.Row(), 4);
    g.SetRowCount(3);
    EXPECT_EQ(g.Row(), 2);
    g.SetRowCount(2);
    EXPECT_EQ(g.Row(), 1);
}

TEST(StringGridTest, KeyTranslation)
{
    EXPECT_EQ(KeyCodeOf(Qt::Key_Return), VK_RETURN);
    EXPECT_EQ(KeyCodeOf(Qt::Key_Enter), VK_RETURN);
    EXPECT_EQ(KeyCodeOf(Qt::Key_Space), VK_SPACE);
    EXPECT_EQ(KeyCodeOf(Qt::Key_F11), VK_F11);
    EXPECT_EQ(KeyCodeOf(Qt::Key_Down), VK_DOWN);
    EXPECT_EQ(KeyCodeOf(Qt::Key_A), 'A');
    EXPECT_EQ(KeyCodeOf(Qt::Key_Shift), 0);
    EXPECT_EQ(ShiftStateOf(Qt::ShiftModifier | Qt::ControlModifier), ssShift | ssCtrl);
    EXPECT_EQ(ShiftStateOf(Qt::AltModifier), ssAlt);
    EXPECT_EQ(ShiftStateOf(Qt::NoModifier), 0u);
}

// Paints one cell into an image and reports what OnDrawCell was given.
struct Painted {
    QImage image{80, 30, QImage::Format_RGB32};
    TColor standard = 0;
    TColor font = 0;
    bool called = false;
};

Painted paint(TStringGrid &g, int col, int row, bool wipe)
{
    Painted p;
    p.image.fill(Qt::black);
    g.OnDrawCell = [&](TGridCanvas &c, int cc, int rr, const TRect &rect) {
        p.called = cc == col && rr == row;
        p.standard = c.StandardColor();
        p.font = c.FontColor();
        if (wipe) c.FillRect(rect);
    };
    QPainter painter(&p.image);
    g.PaintCell(painter, TRect{0, 0, 80, 20}, col, row);
    painter.end();
    g.OnDrawCell = nullptr;
    return p;
}

bool allPixels(const QImage &img, QColor color)
{
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 80; ++x)
            if (img.pixelColor(x, y) != color) return false;
    return true;
}

TEST(StringGridTest, StandardDrawingThenOnDrawCell)
{
    TStringGrid g;
    g.SetColCount(2);
    g.SetRowCount(3);
    g.SetRow(2);
    const QPalette &pal = g.palette();
    auto rgb = [](QColor c) { return (TColor(c.red()) << 16) | (TColor(c.green()) << 8) | TColor(c.blue()); };

    // Backgrounds by role; outside the cell nothing is touched.
    Painted title = paint(g, 0, 0, false);
    EXPECT_TRUE(title.called);
    EXPECT_TRUE(allPixels(title.image, pal.color(QPalette::Button)));
    EXPECT_EQ(title.image.pixelColor(5, 25), QColor(Qt::black));
    Painted plain = paint(g, 1, 1, false);
    EXPECT_TRUE(allPixels(plain.image, Qt::white));
    EXPECT_EQ(plain.standard, rgb(pal.color(QPalette::WindowText)));
    EXPECT_EQ(plain.font, plain.standard);
    Painted current = paint(g, 0, 2, false);
    EXPECT_TRUE(allPixels(current.image, pal.color(QPalette::Highlight)));
    EXPECT_EQ(current.standard, rgb(pal.color(QPalette::HighlightedText)));

    // The standard text is drawn, and the handler's fill wipes it.
    g.SetCell(1, 1, "WWWW");
    EXPECT_FALSE(allPixels(paint(g, 1, 1, false).image, Qt::white));
    EXPECT_TRUE(allPixels(paint(g, 1, 1, true).image, Qt::white));
}

} // namespace
