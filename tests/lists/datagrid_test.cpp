// Rules of the list grid: bank and kind names, forms, emptying, drawing and
// the selection mark.
#include "session/DataGrid.h"
#include "support/testutil.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <gtest/gtest.h>

using namespace fm;
using fmtest::K;

namespace {

// Records what a drawing routine does instead of pixels; every byte of text
// is 7 pixels wide.
class RecordingCanvas : public TGridCanvas {
public:
    static constexpr TColor kStandard = 0x123456, kHighlightText = 0xFEDCBA;
    int fills = 0, texts = 0;
    std::string text = "<nothing>"; // the last text written, where, in what colour
    int x = -1, y = -1;
    TColor color = 0, font = kStandard;

    void FillRect(const TRect &) override { ++fills; }
    void SetFontColor(TColor c) override { font = c; }
    TColor FontColor() const override { return font; }
    void TextOut(int tx, int ty, const std::string &t) override
    {
        ++texts;
        text = t, x = tx, y = ty, color = font;
    }
    int TextWidth(const std::string &t) const override { return 7 * int(t.size()); }
    TColor StandardColor() const override { return kStandard; }
    TColor HighlightTextColor() const override { return kHighlightText; }
    bool untouched() const { return fills == 0 && texts == 0; }
};

struct DrawTest : ::testing::Test {
    TStringGrid g;
    TBankList banks;
    RecordingCanvas draw(int col, int row)
    {
        RecordingCanvas c;
        if (row == g.Row()) c.font = RecordingCanvas::kHighlightText; // as the grid does
        SGrdDataLstDrawCell(g, c, banks, col, row, TRect{100, 40, 160, 60});
        return c;
    }
    // Draws a cell and checks the last text written: its text, colour and x.
    void expect(int col, int row, const std::string &text, TColor color, int x = 102)
    {
        RecordingCanvas c = draw(col, row);
        EXPECT_EQ(c.text, text) << col << "," << row;
        EXPECT_EQ(c.color, color) << col << "," << row;
        EXPECT_EQ(c.x, x) << col << "," << row;
        EXPECT_EQ(c.y, 42);
    }
    void setRow(int row, std::initializer_list<const char *> cells)
    {
        int c = 0;
        for (const char *t : cells) g.SetCell(c++, row, K(t));
    }
};

TEST(BankListTest, LookupFollowsTheListBoxSearch)
{
    TBankList banks;
    ASSERT_EQ(banks.Items().size(), 41u);
    EXPECT_EQ(banks.Items().back(), K("0083 평화은행"));
    const std::pair<std::string, const char *> cases[] = {
        {"0004", "국민은행"}, {"0020", "우리은행"}, {"0024", "우리은행"}, {"0008", "수출입"},
        {"0045", "새마을금고"}, {"00", "산업은행"}, // the search starts at the second item
        {"0001", "한국은행"},                       // the first item comes last
        {"004", "충북은행"}, {"0004 " + K("국"), "국민은행"}, {"0099", "0099"}, {"", ""}};
    for (const auto &[code, name] : cases) EXPECT_EQ(banks.BankName(code), K(name)) << code;
    EXPECT_EQ(banks.FindString(18, "0020"), 13); // wraps around
    EXPECT_EQ(banks.SelectString(0, "0099"), -1);
    EXPECT_EQ(banks.ItemIndex, -1);
    EXPECT_EQ(banks.SelectString(0, "0026"), 19);
    EXPECT_EQ(banks.ItemIndex, 19);
}

TEST(GridRulesTest, ClearAndInitialLayout)
{
    TStringGrid g;
    g.SetColCount(10);
    g.SetRowCount(6);
    g.SetCell(2, 0, "title");
    g.SetColWidths(2, 99);
    for (int r = 1; r < 6; ++r) g.SetCell(9, r, "x");
    ClearDataList(g);
    EXPECT_EQ(g.RowCount(), 2);
    EXPECT_EQ(g.Cells(2, 0), "title");
    EXPECT_EQ(g.ColWidths(2), 99);
    g.SetRowCount(6);
    for (int r = 1; r < 6; ++r) EXPECT_EQ(g.Cells(9, r), "");

    InitDataGrid(g);
    EXPECT_EQ(g.ColCount(), 11);
    EXPECT_EQ(g.RowCount(), 2);
    for (int c = 0; c < 11; ++c) {
        EXPECT_EQ(g.ColWidths(c), c == 0 ? 65 : 64) << c;
        EXPECT_EQ(g.Cells(c, 0), "") << c;
    }
}

TEST_F(DrawTest, ResultListCells)
{
    g.SetColCount(10);
    g.SetRowCount(4);
    setRow(0, {"구분", "은행", "종류", "일자", "시각", "시각", "건수", "순번", "x", "선택"});
    setRow(1, {"S", "0020", "200", "20240305", "093015", "1234", "5", "1", "z", ""});
    setRow(2, {"R", "0099", "600", "2024", "", "", "5", "2", "z", "◎"});
    setRow(3, {"R", "0004", "100", "20240305", "093015", "093016", "5", "3", "z", "◎"});
    g.SetRow(3);
    const TColor std = RecordingCanvas::kStandard, hl = RecordingCanvas::kHighlightText;
    expect(0, 1, K("송신"), clRed);
    expect(0, 2, K("수신"), clBlue);
    expect(1, 1, K("우리은행"), std);
    expect(1, 2, "0099", std);
    expect(2, 1, K("이체자료"), clBlue);
    expect(2, 2, "600", clBlack);
    expect(3, 2, "2024--", std);
    expect(4, 2, "::", std); // an empty cell keeps the standard colour
    expect(5, 1, "12:34:", std);
    expect(9, 2, " " + K("◎"), clBlue); // one blank further right
    for (int col : {0, 1, 2, 9}) EXPECT_EQ(draw(col, 3).color, hl) << col;
    EXPECT_EQ(draw(0, 1).fills, 1);
    // Columns 6 to 8, the title row and a list without data keep the
    // standard drawing.
    for (int col : {6, 7, 8}) EXPECT_TRUE(draw(col, 1).untouched()) << col;
    for (int col : {0, 1, 9}) EXPECT_TRUE(draw(col, 0).untouched()) << col;
    g.SetCell(0, 1, "X"); // another letter: nothing written
    expect(0, 1, "", clBlue);
    g.SetCell(0, 1, "");
    EXPECT_TRUE(draw(0, 2).untouched());
}

TEST_F(DrawTest, FileListCells)
{
    for (int cols : {11, 12}) {
        g.SetColCount(cols);
        g.SetRowCount(3);
        setRow(0, {"구분", "은행명", "화일타입", "수납번호", "기관코드", "학교계좌번호"});
        setRow(1, {"S", "0026", "200", "ABCDEFGHIJKLMNOP", "INST01", "1234567890123"});
        setRow(2, {"S", "0026", "200", "", "INST02", ""});
        g.SetRow(2);
        g.SetCell(cols - 1, 1, K("◎"));
        const TColor std = RecordingCanvas::kStandard;
        // Titles and columns from 4 on centred: left + (60 - width) / 2,
        // truncated toward zero.
        expect(0, 0, K("구분"), std, 116);
        expect(5, 0, K("학교계좌번호"), std, 88);   // (60 - 84) / 2 = -12
        expect(4, 1, "INST01", std, 109);
        expect(5, 1, "1234567890123", std, 85);    // (60 - 91) / 2 = -15
        expect(cols - 1, 1, K("◎"), std, 123);
        // Columns 0 to 3 of the data rows: filled again, left-aligned, named.
        EXPECT_EQ(draw(0, 1).fills, 2);
        expect(0, 1, K("송신"), clRed);
        expect(1, 1, K("신한은행"), std);
        expect(2, 1, K("이체자료"), clBlue);
        expect(3, 1, "ABCDEFGHIJKLM", std);
        expect(2, 2, K("이체자료"), RecordingCanvas::kHighlightText);
    }
    ClearDataList(g); // an empty list: titles and cells centred only
    expect(1, 0, K("은행명"), RecordingCanvas::kStandard, 109);
    EXPECT_EQ(draw(0, 1).fills, 1);
    EXPECT_EQ(draw(0, 1).x, 130);
}

TEST_F(DrawTest, NoticeListCellsAndDispatch)
{
    g.SetColCount(5);
    setRow(0, {"일자", "시각", "제목", "크기", "선택"});
    setRow(1, {"20240305", "093015", "title", "10", ""});
    g.SetRow(1);
    expect(0, 1, "2024-03-05", RecordingCanvas::kHighlightText);
    expect(1, 1, "09:30:15", RecordingCanvas::kHighlightText);
    EXPECT_TRUE(draw(2, 1).untouched());
    EXPECT_TRUE(draw(0, 0).untouched());
    for (int cols : {4, 6, 9, 13}) {
        g.SetColCount(cols);
        EXPECT_TRUE(draw(0, 1).untouched()) << cols;
    }
}

struct MarkTest : ::testing::Test {
    TStringGrid g;
    std::vector<std::string> calls;
    TMarkActions actions{
        "/app", [this](int r, const std::string &f) { calls.push_back("load " + std::to_string(r) + " " + f); },
        [this] { calls.push_back("enable"); }};
    void toggle() { SGrdDataLstDblClick(g, actions); }
    void list(int cols, std::initializer_list<const char *> letters)
    {
        g.SetColCount(cols);
        g.SetRowCount(int(letters.size()) + 1);
        int r = 1;
        for (const char *l : letters) g.SetCell(0, r++, l);
    }
    // Toggles row r and checks the mark cell and the calls made.
    void expectToggle(int r, int markCol, bool marked, std::vector<std::string> want = {})
    {
        g.SetRow(r);
        calls.clear();
        toggle();
        EXPECT_EQ(g.Cells(markCol, r), marked ? MarkText() : "") << r;
        EXPECT_EQ(calls, want) << r;
    }
};

TEST_F(MarkTest, EachListKind)
{
    EXPECT_EQ(MarkText(), "\xA1\xDD");
    list(10, {"S", "R"}); // result list: rows from the host only
    expectToggle(1, 9, false);
    expectToggle(2, 9, true);
    expectToggle(2, 9, false);
    list(5, {""}); // notice list: even the blank row
    expectToggle(1, 4, true);
    list(11, {"S", "R", ""});
    expectToggle(1, 10, true, {"load 1 /app\\Send", "enable"});
    expectToggle(1, 10, false); // emptying does nothing more
    expectToggle(2, 10, true, {"load 2 /app\\Recv", "enable"});
    expectToggle(3, 10, false);
    g.SetCell(10, 2, "x"); // any other text is emptied
    expectToggle(2, 10, false);
    list(12, {"S", "R"});
    g.SetCell(10, 1, K("완료"));
    expectToggle(1, 11, true, {"load 1 /app\\SBack", "enable"});
    EXPECT_EQ(g.Cells(10, 1), K("완료"));
    expectToggle(2, 11, false);
    // A fresh grid and other column counts: nothing.
    InitDataGrid(g);
    toggle();
    SGrdDataLstKeyDown(g, VK_RETURN, 0, actions);
    list(7, {"S"});
    toggle();
    for (int c = 1; c < 11; ++c) EXPECT_EQ(g.Cells(c, 1), "") << c;
    EXPECT_TRUE(calls.empty());
}

TEST_F(MarkTest, GridEventsReachTheToggle)
{
    list(10, {"R", "R", "R"});
    g.OnDblClick = [this] { toggle(); };
    std::vector<int> keys;
    g.OnKeyDown = [this, &keys](int key, TShiftState shift) {
        keys.push_back(key);
        SGrdDataLstKeyDown(g, key, shift, actions);
    };
    g.resize(600, 200);
    g.show();
    g.SetRow(2);
    // A double-click on the title row toggles the current data row.
    QWidget *titles = g.horizontalHeader()->viewport();
    const QPointF at(10, 5);
    QMouseEvent dbl(QEvent::MouseButtonDblClick, at, titles->mapToGlobal(at), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(titles, &dbl);
    EXPECT_EQ(g.Cells(9, 2), MarkText());
    EXPECT_EQ(g.Row(), 2);
    // Enter and Space whatever the shift state; other keys do not toggle.
    const std::pair<int, Qt::KeyboardModifiers> presses[] = {
        {Qt::Key_Return, Qt::ShiftModifier}, {Qt::Key_Space, Qt::ControlModifier}, {Qt::Key_A, Qt::NoModifier},
        {Qt::Key_Down, Qt::NoModifier}};
    for (const auto &[key, mods] : presses) {
        QKeyEvent press(QEvent::KeyPress, key, mods);
        QApplication::sendEvent(&g, &press);
    }
    EXPECT_EQ(g.Cells(9, 2), MarkText()); // off, then on again
    EXPECT_EQ(keys, (std::vector<int>{VK_RETURN, VK_SPACE, 'A', VK_DOWN}));
    EXPECT_EQ(g.Row(), 3); // the key still reaches the grid
    EXPECT_EQ(g.Cells(9, 3), "");
}

} // namespace
