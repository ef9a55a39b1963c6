// The string grid stand-in: cells, rows, columns, the current row, and the
// standard drawing that OnDrawCell builds on.
#include "platform/StringGrid.h"
#include "support/screens.h"
#include "support/testutil.h"

#include <QFontMetrics>
#include <QHeaderView>
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

QFont ListFont()
{
    QFont f(QString::fromUtf8("굴림"));
    f.setPixelSize(12);
    return f;
}

// Paints cell (col, row) of the grid, at its column's width, into the
// middle of an image with 20 black pixels at either side.
QImage Painted(const TStringGrid &g, int col, int row)
{
    const int width = g.ColWidths(col);
    QImage img(width + 40, 20, QImage::Format_RGB32);
    img.fill(Qt::black);
    QPainter painter(&img);
    g.PaintCell(painter, TRect{20, 0, 20 + width, 20}, col, row);
    painter.end();
    return img;
}

// The cell alone, from an image of Painted().
QImage CellOf(const QImage &img) { return img.copy(20, 0, img.width() - 40, img.height()); }

bool BlackOutside(const QImage &img)
{
    for (int y = 0; y < img.height(); ++y)
        for (int x : {0, 19, img.width() - 20, img.width() - 1})
            if (img.pixelColor(x, y) != QColor(Qt::black)) return false;
    return true;
}

TEST(StringGridTest, CellsClipTheirTextAndNeverShowPartOfANumber)
{
    TStringGrid g;
    g.setFont(ListFont());
    g.SetColCount(2);
    g.SetRowCount(3);
    g.SetColWidths(1, 40);
    g.SetRow(2);
    // A word written by the handler beyond both edges stays in the cell.
    g.SetCell(1, 1, "x");
    g.OnDrawCell = [](TGridCanvas &c, int, int, const TRect &rect) {
        c.FillRect(rect);
        c.TextOut(rect.Left - 10, rect.Top + 2, "WWWWWWWWWWWW");
    };
    EXPECT_TRUE(BlackOutside(Painted(g, 1, 1)));
    g.OnDrawCell = nullptr;

    // A number wider than its cell, in the standard drawing or the
    // handler's, shows as marks across the cell, not as its first digits.
    g.SetCell(1, 1, "1,234,567,890");
    g.SetCell(1, 2, "1,234");
    const QImage cut = Painted(g, 1, 1);
    EXPECT_TRUE(BlackOutside(cut));
    g.SetCell(1, 1, "######");
    EXPECT_EQ(Painted(g, 1, 1), cut);
    g.SetCell(1, 1, "1,234,567,890");
    g.OnDrawCell = [](TGridCanvas &c, int, int, const TRect &rect) {
        c.FillRect(rect);
        c.TextOut(rect.Left + (rect.Width() - c.TextWidth("1,234,567,890")) / 2, rect.Top + 2, "1,234,567,890");
    };
    EXPECT_EQ(Painted(g, 1, 1), cut);
    g.OnDrawCell = nullptr;
    // A number that fits, and a word that does not, are drawn as they are.
    EXPECT_EQ(fmtest::InkRuns(CellOf(Painted(g, 1, 2))), 5);
    g.SetCell(1, 1, "abcdefghijklmnop");
    EXPECT_NE(Painted(g, 1, 1), cut);
}

TEST(StringGridTest, ColumnsGrowToShowACellsTextWithClearEdges)
{
    TStringGrid g;
    g.setFont(ListFont());
    const QFontMetrics fm(g.font());
    g.SetColCount(4);
    g.SetRowCount(3);
    for (int c = 0; c < 4; ++c) g.SetColWidths(c, 30);
    g.SetColWidths(3, 200);
    g.SetCell(1, 1, "1234567890");
    g.SetCell(2, 1, "1,000,049,984,999");
    g.SetCell(3, 1, "1");
    g.SetCell(2, 2, "1"); // another row
    // Column 2 is drawn centred, as the file lists draw their numbers.
    g.OnDrawCell = [&](TGridCanvas &c, int col, int row, const TRect &rect) {
        if (col != 2) return;
        const std::string &text = g.Cells(col, row);
        c.FillRect(rect);
        c.TextOut(rect.Left + (rect.Width() - c.TextWidth(text)) / 2, rect.Top + 2, text);
    };
    g.GrowColsToFit(1, 1, 3);
    // The standard drawing's 2 pixels on the left, as many on the right.
    EXPECT_EQ(g.ColWidths(1), 2 + fm.horizontalAdvance("1234567890") + 2);
    const int amount = fm.horizontalAdvance("1,000,049,984,999");
    EXPECT_GE(g.ColWidths(2), amount + 4);
    EXPECT_LE(g.ColWidths(2), amount + 5);
    EXPECT_EQ(g.ColWidths(3), 200); // never narrowed
    EXPECT_EQ(g.ColWidths(0), 30);  // outside the columns asked for
    for (int c : {1, 2}) {
        const std::vector<fmtest::InkSpan> ink = fmtest::InkSpans(CellOf(Painted(g, c, 1)));
        ASSERT_EQ(ink.size(), g.Cells(c, 1).size()) << c;
        EXPECT_GE(ink.front().begin, 2) << c;
        EXPECT_LE(ink.back().end, g.ColWidths(c) - 2) << c;
    }

    // The fixed column grows as well, and the header beside the rows with it.
    g.SetFixedCols(1);
    g.SetColWidths(0, 20);
    g.SetCell(0, 2, "10001");
    g.GrowColsToFit(2, 0, 0);
    EXPECT_EQ(g.ColWidths(0), 2 + fm.horizontalAdvance("10001") + 2);
    EXPECT_EQ(g.verticalHeader()->width(), g.ColWidths(0) + 1);
}

} // namespace
