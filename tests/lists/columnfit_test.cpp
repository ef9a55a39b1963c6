// Every column of every list holds the widest text its field can carry, in
// the grid's font as the programs map it to an installed font: no digit of a
// date, amount or number is clipped or runs into the next column, and no two
// characters of a number touch.
#include "common/codec.h"
#include "common/desktop.h"
#include "common/text.h"
#include "session/C101B05.h"
#include "session/DataGrid.h"
#include "session/FileLists.h"
#include "session/ListRows.h"
#include "session/TransferRules.h"
#include "support/screens.h"
#include "support/testutil.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QImage>
#include <QPainter>
#include <QRegularExpression>
#include <QScrollBar>
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using namespace fm;
using fmtest::K;

namespace {

// The widest texts of one column, as they stand in the cell (CP949).
struct Column {
    int col;
    std::vector<std::string> texts;
    bool drawn = true; // false: the standard drawing alone (the detail list)
};

QFont GridFont()
{
    QFont f(QString::fromUtf8("굴림"));
    f.setPixelSize(12);
    return f;
}

// Every bank name the lists can show.
std::vector<std::string> BankNames()
{
    TBankList banks;
    std::vector<std::string> names;
    for (const std::string &item : banks.Items()) names.push_back(banks.BankName(item.substr(0, 4)));
    return names;
}

// Draws the text as the grid draws it in row 1 of the column (the standard
// drawing at 2 pixels from the left edge, then the list's own drawing) and
// checks that its ink lies inside the cell, which ends before the grid line.
class MeasuringCanvas : public TGridCanvas {
public:
    explicit MeasuringCanvas(const QFont &font) : fm_(font) {}
    QFontMetrics fm_;
    int x = 2;
    std::string text;
    void FillRect(const TRect &) override {}
    void SetFontColor(TColor) override {}
    TColor FontColor() const override { return clBlack; }
    void TextOut(int tx, int, const std::string &t) override { x = tx, text = t; }
    int TextWidth(const std::string &t) const override { return fm_.horizontalAdvance(ToQ(t)); }
    TColor StandardColor() const override { return clBlack; }
    TColor HighlightTextColor() const override { return clWhite; }
};

void ExpectFits(TStringGrid &grid, const QFont &font, const char *list, const std::vector<Column> &columns)
{
    TBankList banks;
    for (const Column &c : columns) {
        const int width = grid.ColWidths(c.col);
        const int cell = width; // the grid line lies beyond it
        for (const std::string &text : c.texts) {
            grid.SetCell(0, 1, c.col == 0 ? text : "S");
            grid.SetCell(c.col, 1, text);
            MeasuringCanvas canvas(font);
            canvas.text = text;
            if (c.drawn) SGrdDataLstDrawCell(grid, canvas, banks, c.col, 1, TRect{0, 0, cell, 20});
            // The ink of the text without its leading blanks, placed after them.
            const QString q = ToQ(canvas.text);
            const qsizetype lead = q.size() - QString(q).remove(QRegularExpression("^ +")).size();
            const QRect ink = canvas.fm_.boundingRect(q.mid(lead)).translated(canvas.fm_.horizontalAdvance(q.left(lead)), 0);
            EXPECT_GE(canvas.x + ink.left(), 0) << list << " column " << c.col << ": " << q.toStdString();
            EXPECT_LE(canvas.x + ink.right(), cell - 1)
                << list << " column " << c.col << " (" << width << " px): \"" << q.toStdString() << "\" needs "
                << canvas.x + ink.right() + 2 << " in " << QFontInfo(font).family().toStdString();

            // A number as the grid paints the cell: every character of it a
            // run of ink of its own, apart from its neighbours.
            const QString figures = QString(q).remove(' ');
            if (!QRegularExpression("^[0-9,:-]+$").match(figures).hasMatch()) continue;
            if (c.drawn)
                grid.OnDrawCell = [&](TGridCanvas &cv, int col, int row, const TRect &r) {
                    SGrdDataLstDrawCell(grid, cv, banks, col, row, r);
                };
            QImage image(cell, 20, QImage::Format_RGB32);
            QPainter painter(&image);
            grid.PaintCell(painter, TRect{0, 0, cell, 20}, c.col, 1);
            painter.end();
            EXPECT_EQ(fmtest::InkRuns(image), figures.size())
                << list << " column " << c.col << ": \"" << q.toStdString() << "\" has glyphs that touch";
        }
    }
}

const std::string kMark = "\xA1\xDD"; // "◎"
const std::string kMaxAmount = FormatThousands(INT32_MAX, 13);                   // "2,147,483,647"

} // namespace

TEST(ColumnFit, TheFontNamesMapToInstalledFontsOfTheirPitch)
{
    MapFonts();
    const QFont gulim = GridFont();
    QFont gulimChe(QString::fromUtf8("굴림체"));
    gulimChe.setPixelSize(12);
    for (const QFont &f : {gulim, gulimChe}) {
        const QString family = QFontInfo(f).family();
        EXPECT_NE(family, "DejaVu Sans") << f.family().toStdString() << " is not mapped";
    }
    // "굴림체" (the log) is fixed pitch: a half-width character of every
    // kind is half a syllable wide.
    const QFontMetrics che(gulimChe);
    const int half = che.horizontalAdvance(QString::fromUtf8("가")) / 2;
    for (const char *c : {"i", "W", "0", " ", ",", "-", ":"})
        EXPECT_EQ(che.horizontalAdvance(QString::fromLatin1(c)), half) << c;
    // "굴림" is proportional.
    const QFontMetrics prop(gulim);
    EXPECT_NE(prop.horizontalAdvance("i"), prop.horizontalAdvance("W"));
}

TEST(ColumnFit, EveryListColumnHoldsItsWidestText)
{
    MapFonts();
    const QFont font = GridFont();
    const TBankList banks;
    std::vector<std::string> bankCodes;
    for (const std::string &item : banks.Items()) bankCodes.push_back(item.substr(0, 4));
    const std::vector<std::string> kindCodes = {"100", "200", "300", "400", "500", "700", "800", "801", "802"};

    TStringGrid grid;
    grid.setFont(font); // the window's font, as the window's grid has it
    SetResultListTitle(grid);
    ExpectFits(grid, font, "result list",
               {{0, {"S", "R"}},
                {1, bankCodes},
                {2, kindCodes},
                {3, {"20261208", "88888888"}},
                {4, {"235858"}},
                {5, {"235858"}},
                {6, {"999997"}}, // a 6-digit count less the header and trailer
                {7, {"999"}},
                {8, {"9999"}},
                {9, {kMark}}});

    TFileListBox listing;
    const auto store = std::make_unique<TLoadedFile>();
    int recCount = 0;
    std::string listKind;
    TFileLists lists{grid, listing, *store, recCount, listKind};
    const std::vector<std::pair<const char *, std::function<void()>>> fileLists = {
        {"send-file list", [&] { lists.SetSendFileListTitle(); }},
        {"sent-file list", [&] { lists.SetSentFileListTitle(); }},
        {"received-file list", [&] { lists.SetRecvFileListTitle(); }}};
    for (const auto &[name, shape] : fileLists) {
        shape();
        std::vector<Column> columns = {
            {0, {"S", "R"}},
            {1, bankCodes},
            {2, {"200"}},
            {3, {"99999"}},                       // receipt number, 5
            {4, {"9999999999", "4444444444"}}, // institution code, 10
            {5, {"9999999999999999"}},         // school account, 16
            {6, {"9999999"}},                  // count, 7 digits
            {7, {kMaxAmount, FormatThousands(765000000, 13), FormatThousands(888888888, 13),
                 FormatThousands(20000, 13)}},
            {8, {"20261208", "88888888"}},
            {9, {"20261208"}},
            {grid.ColCount() - 1, {kMark}}};
        if (grid.ColCount() == 12) columns.push_back({10, {K("완료")}});
        ExpectFits(grid, font, name, columns);
    }

    SetNoticeListTitle(grid);
    ExpectFits(grid, font, "notice list",
               {{0, {"20261208", "88888888"}},
                {1, {"235858"}},
                {3, {"GONG0001.TXT"}}, // an 8.3 file name
                {4, {kMark}}});
}

TEST(ColumnFit, EveryDetailListColumnHoldsItsWidestText)
{
    MapFonts();
    const auto store = std::make_unique<TLoadedFile>();
    TFrmC101B05 dlg(*store, 0, "R");
    const std::string syllables = K("가나다라마바사아자차카타"); // 2 bytes each
    // An unprocessed amount never exceeds its record's 8-digit transfer amount.
    ExpectFits(*dlg.SGrdDataLst, dlg.SGrdDataLst->font(), "detail list",
               {{1, {"0020240001", "8888888888"}, false}, // student number, 10
                {2, {syllables.substr(0, 10)}, false},
                {3, BankNames(), false},
                {4, {syllables.substr(0, 16)}, false},
                {5, {"9999999999999999", "4444444444444444"}, false}, // account number, 16
                {6, {"20261208"}, false},
                {7, {DetailAmount("00099999999", 11), DetailAmount("99999999", 8)}, false},
                {8, {syllables}, false}});
}
