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

// Records what a drawing routine does, instead of pixels. Every byte of text
// is 7 pixels wide.
class RecordingCanvas : public TGridCanvas {
public:
    struct Op {
        bool fill;
        int x, y;
        std::string text;
        TColor color;
    };
    static constexpr TColor kStandard = 0x123456;
    static constexpr TColor kHighlightText = 0xFEDCBA;
    std::vector<Op> ops;
    TColor font = kStandard;

    void FillRect(const TRect &r) override { ops.push_back({true, r.Left, r.Top, {}, 0}); }
    void SetFontColor(TColor c) override { font = c; }
    TColor FontColor() const override { return font; }
    void TextOut(int x, int y, const std::string &t) override { ops.push_back({false, x, y, t, font}); }
    int TextWidth(const std::string &t) const override { return 7 * int(t.size()); }
    TColor StandardColor() const override { return kStandard; }
    TColor HighlightTextColor() const override { return kHighlightText; }

    // The last text written, or a marker when nothing was.
    const Op &lastText() const
    {
        static const Op none{false, -1, -1, "<nothing>", 0};
        for (auto it = ops.rbegin(); it != ops.rend(); ++it)
            if (!it->fill) return *it;
        return none;
    }
    int fills() const
    {
        int n = 0;
        for (const Op &o : ops) n += o.fill;
        return n;
    }
};

const TRect kRect{100, 40, 160, 60}; // 60 wide

RecordingCanvas draw(const TStringGrid &grid, const TBankList &banks, int col, int row, TColor standard = 0)
{
    RecordingCanvas c;
    if (standard) c.font = standard;
    SGrdDataLstDrawCell(grid, c, banks, col, row, kRect);
    return c;
}

void setRow(TStringGrid &g, int row, std::initializer_list<const char *> cells)
{
    int c = 0;
    for (const char *t : cells) g.SetCell(c++, row, K(t));
}

TEST(BankListTest, LookupFollowsTheListBoxSearch)
{
    TBankList banks;
    ASSERT_EQ(banks.Items().size(), 41u);
    EXPECT_EQ(banks.Items().front(), K("0001 한국은행"));
    EXPECT_EQ(banks.Items().back(), K("0083 평화은행"));
    EXPECT_EQ(banks.BankName(K("0004")), K("국민은행"));
    EXPECT_EQ(banks.BankName("0020"), K("우리은행"));
    EXPECT_EQ(banks.BankName("0024"), K("우리은행"));
    EXPECT_EQ(banks.BankName("0008"), K("수출입"));
    EXPECT_EQ(banks.BankName("0045"), K("새마을금고"));
    // The search starts at the second item: "00" finds 산업은행, and the
    // first item comes last.
    EXPECT_EQ(banks.BankName("00"), K("산업은행"));
    EXPECT_EQ(banks.BankName("0001"), K("한국은행"));
    EXPECT_EQ(banks.BankName("0004 " + K("국")), K("국민은행"));
    // A code that begins no item shows as itself; an empty code as nothing.
    EXPECT_EQ(banks.BankName("0099"), "0099");
    EXPECT_EQ(banks.BankName("00004"), "00004");
    EXPECT_EQ(banks.BankName(""), "");
}

TEST(BankListTest, SelectStringWrapsAndSelects)
{
    TBankList banks;
    EXPECT_EQ(banks.FindString(-1, "00"), 0);
    EXPECT_EQ(banks.FindString(0, "00"), 1);
    EXPECT_EQ(banks.FindString(40, "00"), 0);
    EXPECT_EQ(banks.FindString(17, "002"), 18); // after "0024", "0025"
    EXPECT_EQ(banks.FindString(18, "0020"), 13); // wraps around
    EXPECT_EQ(banks.SelectString(0, "0099"), -1);
    EXPECT_EQ(banks.ItemIndex, -1);
    EXPECT_EQ(banks.SelectString(0, "0026"), 19);
    EXPECT_EQ(banks.ItemIndex, 19);
}

TEST(GridRulesTest, KindNamesColoursAndForms)
{
    struct {
        const char *code, *name;
        TColor color;
    } kinds[] = {{"100", "거래내역", clRed},   {"200", "이체자료", clBlue},   {"300", "배분이체", clGreen},
                 {"400", "계좌등록", clPurple}, {"500", "은행등록", clTeal},   {"700", "매매정보", clBlack},
                 {"800", "대출상황", clBlack},  {"801", "한도승인", clBlack},  {"802", "대출실행", clBlack},
                 {"600", "600", clBlack},       {"20", "20", clBlack},        {"200 ", "200 ", clBlack}};
    for (const auto &k : kinds) {
        EXPECT_EQ(KindName(k.code), K(k.name)) << k.code;
        EXPECT_EQ(KindColor(k.code), k.color) << k.code;
    }
    EXPECT_EQ(DirectionColor("S"), clRed);
    EXPECT_EQ(DirectionColor("R"), clBlue);
    EXPECT_EQ(DirectionColor("s"), clBlue);
    EXPECT_EQ(DateForm("20240305"), "2024-03-05");
    EXPECT_EQ(DateForm("2024030512"), "2024-03-05");
    EXPECT_EQ(DateForm("20240"), "2024-0-");
    EXPECT_EQ(DateForm(""), "--");
    EXPECT_EQ(TimeForm("093015"), "09:30:15");
    EXPECT_EQ(TimeForm("0930"), "09:30:");
    EXPECT_EQ(TimeForm(""), "::");
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
    EXPECT_EQ(g.ColCount(), 10);
    EXPECT_EQ(g.Cells(2, 0), "title");
    EXPECT_EQ(g.ColWidths(2), 99);
    EXPECT_EQ(g.Cells(9, 1), "");
    g.SetRowCount(6);
    EXPECT_EQ(g.Cells(9, 5), ""); // nothing comes back
    EXPECT_FALSE(ListHasData(g));

    InitDataGrid(g);
    EXPECT_EQ(g.ColCount(), 11);
    EXPECT_EQ(g.RowCount(), 2);
    EXPECT_EQ(g.ColWidths(0), 65);
    for (int c = 1; c < 11; ++c) EXPECT_EQ(g.ColWidths(c), 64) << c;
    for (int c = 0; c < 11; ++c) EXPECT_EQ(g.Cells(c, 0), "") << c;
}

class DrawTest : public ::testing::Test {
protected:
    TStringGrid g;
    TBankList banks;
};

TEST_F(DrawTest, ResultListCells)
{
    g.SetColCount(10);
    g.SetRowCount(4);
    setRow(g, 0, {"구분", "은행", "종류", "일자", "시각", "시각", "건수", "순번", "x", "선택"});
    setRow(g, 1, {"S", "0020", "200", "20240305", "093015", "1234", "5", "1", "z", ""});
    setRow(g, 2, {"R", "0099", "600", "2024", "", "", "5", "2", "z", "◎"});
    setRow(g, 3, {"R", "0004", "100", "20240305", "093015", "093016", "5", "3", "z", "◎"});
    g.SetRow(3);

    auto c = draw(g, banks, 0, 1);
    EXPECT_EQ(c.fills(), 1);
    EXPECT_EQ(c.lastText().text, K("송신"));
    EXPECT_EQ(c.lastText().color, clRed);
    EXPECT_EQ(c.lastText().x, 102);
    EXPECT_EQ(c.lastText().y, 42);
    c = draw(g, banks, 0, 2);
    EXPECT_EQ(c.lastText().text, K("수신"));
    EXPECT_EQ(c.lastText().color, clBlue);
    c = draw(g, banks, 1, 1);
    EXPECT_EQ(c.lastText().text, K("우리은행"));
    EXPECT_EQ(c.lastText().color, RecordingCanvas::kStandard);
    EXPECT_EQ(draw(g, banks, 1, 2).lastText().text, "0099");
    c = draw(g, banks, 2, 1);
    EXPECT_EQ(c.lastText().text, K("이체자료"));
    EXPECT_EQ(c.lastText().color, clBlue);
    c = draw(g, banks, 2, 2);
    EXPECT_EQ(c.lastText().text, "600");
    EXPECT_EQ(c.lastText().color, clBlack);
    EXPECT_EQ(draw(g, banks, 3, 1).lastText().text, "2024-03-05");
    EXPECT_EQ(draw(g, banks, 3, 2).lastText().text, "2024--");
    EXPECT_EQ(draw(g, banks, 4, 1).lastText().text, "09:30:15");
    c = draw(g, banks, 5, 1);
    EXPECT_EQ(c.lastText().text, "12:34:");
    EXPECT_EQ(c.lastText().color, RecordingCanvas::kStandard);
    // An empty cell is filled and keeps the standard colour.
    c = draw(g, banks, 4, 2);
    EXPECT_EQ(c.lastText().text, "::");
    EXPECT_EQ(c.lastText().color, RecordingCanvas::kStandard);
    // The mark: blue, one blank further right.
    c = draw(g, banks, 9, 2);
    EXPECT_EQ(c.lastText().text, " " + K("◎"));
    EXPECT_EQ(c.lastText().color, clBlue);
    EXPECT_EQ(c.lastText().x, 102);
    // Columns 6 to 8 and the title row keep the standard drawing.
    for (int col : {6, 7, 8}) EXPECT_TRUE(draw(g, banks, col, 1).ops.empty()) << col;
    for (int col : {0, 1, 9}) EXPECT_TRUE(draw(g, banks, col, 0).ops.empty()) << col;
    // The current row: everything in the highlight-text colour.
    for (int col : {0, 1, 2, 9}) {
        c = draw(g, banks, col, 3, RecordingCanvas::kHighlightText);
        EXPECT_EQ(c.lastText().color, RecordingCanvas::kHighlightText) << col;
    }
    // No data: nothing drawn over the standard drawing.
    g.SetCell(0, 1, "");
    EXPECT_TRUE(draw(g, banks, 1, 1).ops.empty());
    EXPECT_TRUE(draw(g, banks, 0, 2).ops.empty());
    // Another letter than S or R: nothing written.
    g.SetCell(0, 1, "X");
    c = draw(g, banks, 0, 1);
    EXPECT_EQ(c.fills(), 1);
    EXPECT_EQ(c.lastText().text, "");
}

TEST_F(DrawTest, FileListCells)
{
    for (int cols : {11, 12}) {
        g.SetColCount(cols);
        g.SetRowCount(3);
        setRow(g, 0, {"구분", "은행명", "화일타입", "수납번호", "기관코드", "학교계좌번호"});
        setRow(g, 1, {"S", "0026", "200", "ABCDEFGHIJKLMNOP", "INST01", "1234567890123"});
        setRow(g, 2, {"S", "004", "200", "", "INST02", ""});
        g.SetRow(2);
        g.SetCell(cols - 1, 1, K("◎"));

        // Titles centred: (60 - 4 * 7) / 2 = 16; wider than the cell starts left.
        auto c = draw(g, banks, 0, 0);
        EXPECT_EQ(c.lastText().text, K("구분"));
        EXPECT_EQ(c.lastText().x, 116);
        EXPECT_EQ(c.lastText().y, 42);
        EXPECT_EQ(c.lastText().color, RecordingCanvas::kStandard);
        EXPECT_EQ(draw(g, banks, 5, 0).lastText().x, 88); // (60 - 84) / 2 = -12
        // Data columns from 4 on centred, in the standard colour.
        c = draw(g, banks, 4, 1);
        EXPECT_EQ(c.ops.size(), 2u);
        EXPECT_EQ(c.lastText().text, "INST01");
        EXPECT_EQ(c.lastText().x, 100 + (60 - 42) / 2);
        c = draw(g, banks, 5, 1); // 91 px in 60: (60 - 91) / 2 = -15
        EXPECT_EQ(c.lastText().x, 85);
        c = draw(g, banks, cols - 1, 1);
        EXPECT_EQ(c.lastText().text, K("◎"));
        EXPECT_EQ(c.lastText().color, RecordingCanvas::kStandard);
        EXPECT_EQ(c.lastText().x, 100 + (60 - 14) / 2);
        // Columns 0 to 3 of data rows: filled again, left-aligned, named.
        c = draw(g, banks, 0, 1);
        EXPECT_EQ(c.fills(), 2);
        EXPECT_EQ(c.lastText().text, K("송신"));
        EXPECT_EQ(c.lastText().color, clRed);
        EXPECT_EQ(c.lastText().x, 102);
        c = draw(g, banks, 1, 1);
        EXPECT_EQ(c.lastText().text, K("신한은행"));
        EXPECT_EQ(c.lastText().color, RecordingCanvas::kStandard);
        c = draw(g, banks, 2, 1);
        EXPECT_EQ(c.lastText().text, K("이체자료"));
        EXPECT_EQ(c.lastText().color, clBlue);
        EXPECT_EQ(draw(g, banks, 3, 1).lastText().text, "ABCDEFGHIJKLM");
        // The current row keeps the highlight-text colour.
        c = draw(g, banks, 2, 2, RecordingCanvas::kHighlightText);
        EXPECT_EQ(c.lastText().color, RecordingCanvas::kHighlightText);
        EXPECT_EQ(c.lastText().text, K("이체자료"));
        // "004" is taken as a prefix: the first item after the first that
        // begins with it is "0040 충북은행".
        EXPECT_EQ(draw(g, banks, 1, 2).lastText().text, K("충북은행"));
    }
    // An empty file list: titles still centred, data cells only centred.
    ClearDataList(g);
    auto c = draw(g, banks, 1, 0);
    EXPECT_EQ(c.lastText().x, 100 + (60 - 42) / 2);
    c = draw(g, banks, 0, 1);
    EXPECT_EQ(c.fills(), 1);
    EXPECT_EQ(c.lastText().x, 130);
}

TEST_F(DrawTest, NoticeListCellsAndDispatch)
{
    g.SetColCount(5);
    g.SetRowCount(2);
    setRow(g, 0, {"일자", "시각", "제목", "크기", "선택"});
    setRow(g, 1, {"20240305", "093015", "title", "10", ""});
    g.SetRow(1);
    auto c = draw(g, banks, 0, 1, RecordingCanvas::kHighlightText);
    EXPECT_EQ(c.lastText().text, "2024-03-05");
    EXPECT_EQ(c.lastText().color, RecordingCanvas::kHighlightText);
    EXPECT_EQ(c.lastText().x, 102);
    EXPECT_EQ(draw(g, banks, 1, 1).lastText().text, "09:30:15");
    EXPECT_TRUE(draw(g, banks, 2, 1).ops.empty());
    EXPECT_TRUE(draw(g, banks, 0, 0).ops.empty());
    // Column counts of no list: nothing.
    for (int cols : {4, 6, 9, 13}) {
        g.SetColCount(cols);
        EXPECT_TRUE(draw(g, banks, 0, 1).ops.empty()) << cols;
    }
}

class MarkTest : public ::testing::Test {
protected:
    TStringGrid g;
    std::vector<std::string> calls;
    TMarkActions actions{"/app",
                         [this](int r, const std::string &folder) {
                             calls.push_back("load " + std::to_string(r) + " " + folder);
                         },
                         [this] { calls.push_back("enable"); }};
    void toggle() { SGrdDataLstDblClick(g, actions); }
    void list(int cols, std::initializer_list<const char *> letters)
    {
        g.SetColCount(cols);
        g.SetRowCount(int(letters.size()) + 1);
        int r = 1;
        for (const char *l : letters) g.SetCell(0, r++, l);
    }
};

TEST_F(MarkTest, ResultListMarksReceivedRowsOnly)
{
    list(10, {"S", "R"});
    g.SetRow(1);
    toggle();
    EXPECT_EQ(g.Cells(9, 1), "");
    g.SetRow(2);
    toggle();
    EXPECT_EQ(g.Cells(9, 2), MarkText());
    toggle();
    EXPECT_EQ(g.Cells(9, 2), "");
    EXPECT_TRUE(calls.empty());
}

TEST_F(MarkTest, NoticeListMarksAnyRowEvenTheBlankOne)
{
    list(5, {""});
    toggle();
    EXPECT_EQ(g.Cells(4, 1), MarkText());
    EXPECT_EQ(MarkText(), "\xA1\xDD");
    EXPECT_TRUE(calls.empty());
}

TEST_F(MarkTest, FileListsLoadTheRowsFileThenEnableTheButton)
{
    list(11, {"S", "S", ""});
    g.SetRow(2);
    toggle();
    EXPECT_EQ(g.Cells(10, 2), MarkText());
    EXPECT_EQ(calls, (std::vector<std::string>{"load 2 /app\\Send", "enable"}));
    calls.clear();
    toggle(); // emptying does nothing more
    EXPECT_EQ(g.Cells(10, 2), "");
    EXPECT_TRUE(calls.empty());
    g.SetRow(3); // no letter: not markable
    toggle();
    EXPECT_EQ(g.Cells(10, 3), "");

    list(11, {"R"});
    g.SetRow(1);
    toggle();
    EXPECT_EQ(g.Cells(10, 1), MarkText());
    EXPECT_EQ(calls, (std::vector<std::string>{"load 1 /app\\Recv", "enable"}));
    calls.clear();

    list(12, {"S", "R"});
    g.SetCell(10, 1, K("완료"));
    g.SetRow(1);
    toggle();
    EXPECT_EQ(g.Cells(11, 1), MarkText());
    EXPECT_EQ(g.Cells(10, 1), K("완료"));
    EXPECT_EQ(calls, (std::vector<std::string>{"load 1 /app\\SBack", "enable"}));
    calls.clear();
    g.SetRow(2);
    toggle();
    EXPECT_EQ(g.Cells(11, 2), "");
    EXPECT_TRUE(calls.empty());
}

TEST_F(MarkTest, MarkCellWithOtherTextIsEmptied)
{
    list(11, {"S"});
    g.SetCell(10, 1, "x");
    toggle();
    EXPECT_EQ(g.Cells(10, 1), "");
    EXPECT_TRUE(calls.empty());
}

TEST_F(MarkTest, FreshGridChangesNothing)
{
    InitDataGrid(g);
    toggle();
    SGrdDataLstKeyDown(g, VK_RETURN, 0, actions);
    for (int c = 0; c < 11; ++c) EXPECT_EQ(g.Cells(c, 1), "");
    EXPECT_TRUE(calls.empty());
    // Other column counts: nothing either.
    list(7, {"S"});
    toggle();
    for (int c = 0; c < 7; ++c) EXPECT_EQ(g.Cells(c, 1), c == 0 ? "S" : "");
}

TEST_F(MarkTest, EnterAndSpaceToggleWhateverTheShiftState)
{
    list(10, {"R"});
    SGrdDataLstKeyDown(g, VK_RETURN, ssShift, actions);
    EXPECT_EQ(g.Cells(9, 1), MarkText());
    SGrdDataLstKeyDown(g, VK_SPACE, ssCtrl, actions);
    EXPECT_EQ(g.Cells(9, 1), "");
    SGrdDataLstKeyDown(g, 'A', 0, actions);
    SGrdDataLstKeyDown(g, VK_DOWN, 0, actions);
    EXPECT_EQ(g.Cells(9, 1), "");
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

    QKeyEvent shiftEnter(QEvent::KeyPress, Qt::Key_Return, Qt::ShiftModifier);
    QApplication::sendEvent(&g, &shiftEnter);
    EXPECT_EQ(g.Cells(9, 2), "");
    QKeyEvent ctrlSpace(QEvent::KeyPress, Qt::Key_Space, Qt::ControlModifier);
    QApplication::sendEvent(&g, &ctrlSpace);
    EXPECT_EQ(g.Cells(9, 2), MarkText());
    // The key goes on to the grid: the arrow still moves the current row.
    QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
    QApplication::sendEvent(&g, &down);
    EXPECT_EQ(g.Row(), 3);
    EXPECT_EQ(keys, (std::vector<int>{VK_RETURN, VK_SPACE, VK_DOWN}));
}

} // namespace
