// The string grid stand-in: cells, rows, columns, the current row, and the
// standard drawing that OnDrawCell builds on.
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
    g.SetCell(3, 1, "x"); // out of range: ignored, reads empty
    g.SetCell(0, 4, "x");
    EXPECT_EQ(g.Cells(2, 3), "c");
    EXPECT_EQ(g.Cells(3, 1), "");
    EXPECT_EQ(g.Cells(0, 4), "");
    EXPECT_EQ(g.Cells(-1, -1), "");
    g.SetRowCount(0); // a title row and one data row at least
    g.SetColCount(0);
    EXPECT_EQ(g.RowCount(), 2);
    EXPECT_EQ(g.ColCount(), 1);
    EXPECT_EQ(g.Cells(0, 0), "t");
    g.SetColWidths(0, 30);
    g.SetColCount(4); // columns that come back are empty, of default width
    EXPECT_EQ(g.Cells(2, 1), "");
    EXPECT_EQ(g.ColWidths(0), 30);
    EXPECT_EQ(g.ColWidths(3), 64);
    EXPECT_EQ(g.RowHeights(1), 20);
}

TEST(StringGridTest, CurrentRowStaysOnADataRow)
{
    TStringGrid g;
    g.SetRowCount(5);
    EXPECT_EQ(g.Row(), 1);
    g.SetRow(4);
    g.SetRow(0);
    g.SetRow(5);
    EXPECT_EQ(g.Row(), 4);
    g.SetRowCount(8);
    EXPECT_EQ(g.Row(), 4);
    g.SetRowCount(3);
    EXPECT_EQ(g.Row(), 2);
}

TEST(StringGridTest, StandardDrawingThenOnDrawCell)
{
    TStringGrid g;
    g.SetColCount(2);
    g.SetRowCount(3);
    g.SetRow(2);
    g.SetCell(1, 2, "WWWW");
    const QPalette &pal = g.palette();
    auto rgb = [](QColor c) { return (TColor(c.red()) << 16) | (TColor(c.green()) << 8) | TColor(c.blue()); };
    // Paints a cell (80 x 20) into an image; true when every pixel of the
    // cell has the colour. Records what OnDrawCell was given.
    TColor standard = 0, font = 0;
    auto paint = [&](int col, int row, bool wipe, QColor expected) {
        QImage img(80, 30, QImage::Format_RGB32);
        img.fill(Qt::black);
        g.OnDrawCell = [&](TGridCanvas &c, int cc, int rr, const TRect &rect) {
            EXPECT_EQ(cc, col);
            EXPECT_EQ(rr, row);
            standard = c.StandardColor();
            font = c.FontColor();
            if (wipe) c.FillRect(rect);
        };
        QPainter painter(&img);
        g.PaintCell(painter, TRect{0, 0, 80, 20}, col, row);
        painter.end();
        EXPECT_EQ(img.pixelColor(5, 25), QColor(Qt::black)); // nothing outside the cell
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 80; ++x)
                if (img.pixelColor(x, y) != expected) return false;
        return true;
    };
    EXPECT_TRUE(paint(0, 0, false, pal.color(QPalette::Button)));
    EXPECT_TRUE(paint(1, 1, false, Qt::white));
    EXPECT_EQ(standard, rgb(pal.color(QPalette::WindowText)));
    EXPECT_EQ(font, standard);
    EXPECT_TRUE(paint(0, 2, false, pal.color(QPalette::Highlight)));
    EXPECT_EQ(standard, rgb(pal.color(QPalette::HighlightedText)));
    // The standard text is drawn, and the handler's fill wipes it.
    EXPECT_FALSE(paint(1, 2, false, pal.color(QPalette::Highlight)));
    EXPECT_TRUE(paint(1, 2, true, pal.color(QPalette::Highlight)));
}

} // namespace
