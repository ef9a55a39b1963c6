// Every column of every list holds the widest text its field can carry, in
// the grid's font as the programs map it to an installed font: no digit of a
// date, amount or number is clipped or runs into the next column, and no two
// characters of a number touch. The numbers are filled in as the lists fill
// them, at the largest values their fields hold, and checked as the grid
// paints them.
#include "common/codec.h"
#include "common/desktop.h"
#include "common/text.h"
#include "paradox/pxwrite.h"
#include "platform/FileListBox.h"
#include "session/C101B05.h"
#include "session/DataGrid.h"
#include "session/FileLists.h"
#include "session/ListRows.h"
#include "session/TransferRules.h"
#include "shell/DMModule.h"
#include "support/screens.h"
#include "support/testutil.h"
#include "transfer_builder.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QImage>
#include <QPainter>
#include <QRegularExpression>
#include <QScrollBar>
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <tuple>
#include <unistd.h>
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

// The words and marks of the lists at the columns' first widths.
void ExpectFits(TStringGrid &grid, const QFont &font, const char *list, const std::vector<Column> &columns)
{
    TBankList banks;
    for (const Column &c : columns) {
        const int cell = grid.ColWidths(c.col); // the grid line lies beyond it
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
                << list << " column " << c.col << " (" << cell << " px): \"" << q.toStdString() << "\" needs "
                << canvas.x + ink.right() + 2 << " in " << QFontInfo(font).family().toStdString();
        }
    }
}

// A number as the grid paints its cell (col, row) at the column's width:
// the text shown is `shown`, whole, every character of it a run of ink of
// its own, apart from its neighbours, with clear pixels at both edges of
// the cell. The runs are those of the text drawn alone in the grid's font.
void ExpectWhole(const TStringGrid &grid, const char *list, int col, int row, const std::string &shown)
{
    const QString text = ToQ(shown);
    const std::vector<fmtest::InkSpan> expected = fmtest::TextInkSpans(grid.font(), text);
    ASSERT_EQ(int(expected.size()), QString(text).remove(' ').size()) << "\"" << shown << "\" drawn alone";

    const int width = grid.ColWidths(col);
    QImage cell(width, grid.RowHeights(row), QImage::Format_RGB32);
    QPainter painter(&cell);
    grid.PaintCell(painter, TRect{0, 0, width, cell.height()}, col, row);
    painter.end();
    const std::vector<fmtest::InkSpan> spans = fmtest::InkSpans(cell);
    const std::string where = std::string(list) + " column " + std::to_string(col) + " (" + std::to_string(width) +
                              " px), row " + std::to_string(row) + ": \"" + shown + "\"";
    ASSERT_FALSE(spans.empty()) << where << " shows nothing";
    EXPECT_GE(spans.front().begin, 1) << where << " touches the cell's left edge";
    EXPECT_LE(spans.back().end, width - 1) << where << " touches the cell's right edge";
    // The same runs, at the same distances, as the text drawn alone.
    EXPECT_EQ(fmtest::FromZero(spans), fmtest::FromZero(expected))
        << where << " is not shown whole, or has glyphs that touch";
}

// A transfer file whose header and trailer numbers are the digit at their
// fields' full widths.
listtest::FileSpec Widest(const std::string &digit)
{
    listtest::FileSpec s;
    s.receipt = std::string(5, digit[0]);
    s.institution = std::string(10, digit[0]);
    s.account = std::string(16, digit[0]);
    s.first = "20261208";
    s.last = digit == "8" ? "88888888" : "20261208";
    s.count = s.unprocCount = std::string(7, digit[0]);
    s.amount = s.unprocAmount = std::string(13, digit[0]);
    return s;
}

const std::string kMark = "\xA1\xDD"; // "◎"

} // namespace

// The largest values the list rows can hold, filled as the lists fill them:
// each column that is too narrow for its widest value grows to show it whole.
TEST(ColumnFit, TheLargestNumbersOfEveryListShowWhole)
{
    MapFonts();
    fmtest::TempDir dir;
    fmtest::ScriptedBoxes boxes;
    TStringGrid grid;
    grid.setFont(GridFont()); // the window's font, as the window's grid has it
    const TBankList banks;
    grid.OnDrawCell = [&](TGridCanvas &canvas, int col, int row, const TRect &rect) {
        SGrdDataLstDrawCell(grid, canvas, banks, col, row, rect);
    };

    // A 7-digit count and a 13-digit amount, with the digits whose glyphs
    // reach furthest; and the total of 10,001 transfers of 99,990,000 won.
    listtest::FileSpec total = Widest("1");
    total.count = total.unprocCount = "0010001";
    total.amount = total.unprocAmount = "1000049984999";
    for (const char *sub : {"send", "sback", "recv"}) {
        std::filesystem::create_directory(dir.file(sub));
        dir.write(std::string(sub) + "/S1.txt", listtest::File(Widest("9")));
        dir.write(std::string(sub) + "/S2.txt", listtest::File(Widest("8")));
        dir.write(std::string(sub) + "/S3.txt", listtest::File(Widest("4")));
        dir.write(std::string(sub) + "/S4.txt", listtest::File(total));
    }
    TFileListBox listing;
    const auto store = std::make_unique<TLoadedFile>();
    int recCount = 0;
    std::string listKind;
    TFileLists lists{grid, listing, *store, recCount, listKind};
    const std::vector<std::tuple<const char *, std::function<void()>, const char *, const char *, const char *>>
        fileLists = {{"send-file list", [&] { lists.SetSendFileListTitle(); }, "/send", "S", "S"},
                     {"sent-file list", [&] { lists.SetSentFileListTitle(); }, "/sback", "S", "L"},
                     {"received-file list", [&] { lists.SetRecvFileListTitle(); }, "/recv", "R", "L"}};
    for (const auto &[name, shape, folder, kind, mode] : fileLists) {
        ClearDataList(grid);
        shape();
        lists.FillFileList(dir.path() + folder, kind, mode);
        ASSERT_EQ(grid.RowCount(), 5) << name << boxes.texts();
        EXPECT_EQ(grid.Cells(7, 1), "9,999,999,999,999") << name;
        EXPECT_EQ(grid.Cells(7, 4), "1,000,049,984,999") << name;
        for (int r = 1; r < grid.RowCount(); ++r)
            for (int c = 3; c <= 9; ++c) ExpectWhole(grid, name, c, r, Trimmed(grid.Cells(c, r)));
    }

    // The result list: a 6-digit record count less the header and trailer,
    // a 3-digit sequence and 4 digits of receptions.
    ClearDataList(grid);
    SetResultListTitle(grid);
    const std::string resultRows[] = {std::string("R0026200") + "20261208" + "235858" + "235959" + "999999" + "999" + "9999",
                                      std::string("R0026200") + "88888888" + "888888" + "888888" + "888888" + "888" + "8888"};
    for (const std::string &row : resultRows) AddResultListRow(grid, row);
    for (int r = 1; r <= 2; ++r) {
        const TResultListRow row = TResultListRow::Parse(resultRows[r - 1]);
        ExpectWhole(grid, "result list", 3, r, DateForm(row.SendDate));
        ExpectWhole(grid, "result list", 4, r, TimeForm(row.StartTime));
        ExpectWhole(grid, "result list", 5, r, TimeForm(row.EndTime));
        for (int c = 6; c <= 8; ++c) ExpectWhole(grid, "result list", c, r, grid.Cells(c, r));
    }

    // The notice list's dates and times.
    ClearDataList(grid);
    SetNoticeListTitle(grid);
    for (const char *when : {"20261208235858", "88888888888888"}) {
        const int r = AddNoticeListRow(grid, std::string(when) + std::string(80, 'T') + "GONG0001.TXT");
        ExpectWhole(grid, "notice list", 0, r, DateForm(std::string(when).substr(0, 8)));
        ExpectWhole(grid, "notice list", 1, r, TimeForm(std::string(when).substr(8)));
    }
    EXPECT_TRUE(boxes.shown().empty()) << boxes.texts();
}

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
    ExpectFits(grid, font, "result list", {{0, {"S", "R"}}, {1, bankCodes}, {2, kindCodes}, {9, {kMark}}});

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
            {0, {"S", "R"}}, {1, bankCodes}, {2, {"200"}}, {grid.ColCount() - 1, {kMark}}};
        if (grid.ColCount() == 12) columns.push_back({10, {K("완료")}});
        ExpectFits(grid, font, name, columns);
    }

    SetNoticeListTitle(grid);
    ExpectFits(grid, font, "notice list",
               {{3, {"GONG0001.TXT"}}, // an 8.3 file name
                {4, {kMark}}});
}

TEST(ColumnFit, EveryDetailListColumnHoldsItsWidestText)
{
    MapFonts();
    const auto store = std::make_unique<TLoadedFile>();
    TFrmC101B05 dlg(*store, 0, "R");
    const std::string syllables = K("가나다라마바사아자차카타"); // 2 bytes each
    ExpectFits(*dlg.SGrdDataLst, dlg.SGrdDataLst->font(), "detail list",
               {{2, {syllables.substr(0, 10)}, false},
                {3, BankNames(), false},
                {4, {syllables.substr(0, 16)}, false},
                {8, {syllables}, false}});
}

// The detail list of the largest file the store holds, 10,001 records of the
// widest numbers: every row number and every figure shows whole.
TEST(ColumnFit, TheDetailListShowsEveryRowNumberAndAmountWhole)
{
    MapFonts();
    fmtest::TempDir dir;
    fmtest::ScriptedBoxes boxes;
    // Student number, account, date, transfer amount and unprocessed amount
    // at their full widths, with the digits whose glyphs reach furthest.
    auto record = [](char d) {
        return listtest::Record({{35, std::string(10, d)},
                                 {65, "26"},
                                 {67, std::string(16, d)},
                                 {83, d == '8' ? "88888888" : "20261208"},
                                 {91, std::string(8, d)},
                                 {108, std::string(11, d)},
                                 {119, "0000"}});
    };
    auto file = [&](int records) {
        std::string f = listtest::Record({});
        for (int i = 1; i <= records; ++i) f += record("849"[i % 3]);
        return f + listtest::Record({});
    };
    dir.write("S1.txt", file(kMaxFileRecords));
    const auto store = std::make_unique<TLoadedFile>();
    int count = 0;
    ASSERT_EQ(LoadTransferFile(dir.file("S1.txt"), *store, count), LoadResult::Loaded);
    ASSERT_EQ(count, kMaxFileRecords);

    TFrmC101B05 dlg(*store, count, "S");
    TStringGrid &g = *dlg.SGrdDataLst;
    ASSERT_EQ(g.RowCount(), kMaxFileRecords + 1) << boxes.texts();
    for (int r : {1, 9, 10, 99, 100, 999, 1000, 1009, 9999, 10000, 10001})
        ExpectWhole(g, "detail list", 0, r, std::to_string(r));
    for (int r : {1, 2, 3, 9999, 10000, 10001})
        for (int c : {1, 5, 6, 7}) ExpectWhole(g, "detail list", c, r, Trimmed(g.Cells(c, r)));
    EXPECT_EQ(g.Cells(7, 10001), "99,999,999");
    // A trailer may count up to 7 digits of records: such a row number
    // widens the column as well.
    g.SetCell(0, 10001, "9999999");
    g.GrowColsToFit(10001, 0, 0);
    ExpectWhole(g, "detail list", 0, 10001, "9999999");

    // A received result file: the unprocessed amount of 11 digits, with the
    // failure reasons of the working folder's result-code table.
    const std::string here = std::filesystem::current_path();
    ASSERT_EQ(::chdir(dir.path().c_str()), 0);
    pxwrite::WriteAlphaTable(dir.file("DSBBRslt.DB"), "DSBBRslt",
                             {{"BankCd", 2}, {"StdRsltCd", 4}, {"StdRsltContent", 100}},
                             {{"26", "0000", K("정상")}});
    TDMLib *const saved = DMLib;
    DMLib = new TDMLib;
    dir.write("S2.txt", file(3));
    ASSERT_EQ(LoadTransferFile(dir.file("S2.txt"), *store, count), LoadResult::Loaded);
    {
        TFrmC101B05 received(*store, count, "R");
        EXPECT_EQ(received.SGrdDataLst->Cells(7, 2), "99,999,999,999");
        EXPECT_EQ(received.SGrdDataLst->Cells(8, 3), K("정상"));
        for (int r = 1; r <= 3; ++r)
            ExpectWhole(*received.SGrdDataLst, "received detail list", 7, r,
                        Trimmed(received.SGrdDataLst->Cells(7, r)));
    }
    delete DMLib;
    DMLib = saved;
    EXPECT_EQ(::chdir(here.c_str()), 0);
    EXPECT_TRUE(boxes.shown().empty()) << boxes.texts();
}
