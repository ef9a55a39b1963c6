#pragma once
// TStringGrid: the string grid of the window framework, as the windows of the
// system use it.
//
// - Cells are CP949 texts addressed as Cells(col, row); row 0 is the one
//   fixed title row (drawn as the header, it does not scroll away), data rows
//   are 1 .. RowCount() - 1. There is always at least one data row.
// - The selection is always one whole row: the current row Row(), which is a
//   data row. It is drawn highlighted whether or not the grid has the focus.
// - Default row height 20, default column width 64; grid lines between all
//   cells (a column's width is that of its cells, the grid line lies beyond
//   it); column widths and row heights can be changed with the mouse; cells
//   cannot be edited; white background. No fixed column unless one is set.
// - Drawing of a cell: the standard drawing (background by role, the cell's
//   text in the standard colour at (left + 2, top + 2)), then the OnDrawCell
//   handler, given a TGridCanvas with that background and text colour in
//   force. Everything is clipped to the cell: no text reaches a neighbour.
// - OnDblClick fires for every double-click on the grid, the title row
//   included. OnKeyDown fires for every key pressed in the grid before the
//   grid handles it; the key is not consumed.
// Nothing of Qt shows through this interface except the widget itself.
#include <QTableView>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace fm {

// Colours as 0xRRGGBB.
using TColor = uint32_t;
constexpr TColor clBlack = 0x000000;
constexpr TColor clRed = 0xFF0000;
constexpr TColor clGreen = 0x008000;
constexpr TColor clBlue = 0x0000FF;
constexpr TColor clPurple = 0x800080;
constexpr TColor clTeal = 0x008080;
constexpr TColor clWhite = 0xFFFFFF;

// A cell's rectangle in grid coordinates; Right and Bottom are exclusive.
struct TRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;
    int Width() const { return Right - Left; }
    int Height() const { return Bottom - Top; }
};

// Key codes and shift state as the framework reports them to key handlers.
enum : int {
    VK_BACK = 8, VK_TAB = 9, VK_RETURN = 13, VK_ESCAPE = 27, VK_SPACE = 32,
    VK_PRIOR = 33, VK_NEXT = 34, VK_END = 35, VK_HOME = 36,
    VK_LEFT = 37, VK_UP = 38, VK_RIGHT = 39, VK_DOWN = 40,
    VK_INSERT = 45, VK_DELETE = 46, VK_F1 = 0x70, VK_F11 = 0x7A, VK_F12 = 0x7B,
};
using TShiftState = unsigned;
constexpr TShiftState ssShift = 1;
constexpr TShiftState ssAlt = 2;
constexpr TShiftState ssCtrl = 4;

// What an OnDrawCell handler draws with. The brush is the cell's background
// as the standard drawing chose it; the font colour starts as the standard
// colour of the cell.
class TGridCanvas {
public:
    virtual ~TGridCanvas() = default;
    // Fills the rectangle with the cell's background.
    virtual void FillRect(const TRect &rect) = 0;
    virtual void SetFontColor(TColor color) = 0;
    virtual TColor FontColor() const = 0;
    // Writes a CP949 text with its top-left corner at (x, y), clipped to the
    // cell. A number (digits with blanks, ",", ".", ":", "+" or "-") that
    // would not lie wholly inside the cell is shown as "#" marks instead.
    virtual void TextOut(int x, int y, const std::string &cp949) = 0;
    // Width in pixels of a CP949 text in the grid's font.
    virtual int TextWidth(const std::string &cp949) const = 0;
    // The text colour the standard drawing chose for this cell.
    virtual TColor StandardColor() const = 0;
    // The system colour of text on the selection's background.
    virtual TColor HighlightTextColor() const = 0;
};

class StringGridModel;
class StringGridHeader;

class TStringGrid : public QTableView {
public:
    explicit TStringGrid(QWidget *parent = nullptr);
    ~TStringGrid() override;

    int ColCount() const;
    void SetColCount(int count);   // at least 1
    int RowCount() const;          // title row included
    void SetRowCount(int count);   // at least 2 (the title row and one data row)

    // Out-of-range cells read empty and ignore writes.
    const std::string &Cells(int col, int row) const;
    void SetCell(int col, int row, const std::string &cp949);

    int ColWidths(int col) const;
    void SetColWidths(int col, int width);
    int DefaultColWidth() const { return 64; }
    int DefaultRowHeight() const { return 20; }
    int RowHeights(int row) const;
    void SetRowHeights(int row, int height);

    // Fixed columns (0 or 1): column 0 stays in place when the grid scrolls
    // sideways and is drawn in the title colour, never highlighted. The
    // title of a fixed column is not shown.
    int FixedCols() const { return fixedCols_; }
    void SetFixedCols(int count);

    int Row() const;               // the current row (>= 1)
    void SetRow(int row);          // ignored outside the data rows

    using DrawCellHandler = std::function<void(TGridCanvas &canvas, int col, int row, const TRect &rect)>;
    using DblClickHandler = std::function<void()>;
    using KeyDownHandler = std::function<void(int key, TShiftState shift)>;
    DrawCellHandler OnDrawCell;
    DblClickHandler OnDblClick;
    KeyDownHandler OnKeyDown;

    // Draws one cell (standard drawing, then OnDrawCell) with a painter
    // already set up for the place the cell is shown in.
    void PaintCell(class QPainter &painter, const TRect &rect, int col, int row) const;

    // Widens each of the columns fromCol .. toCol whose text in `row`, as the
    // cell is drawn (standard drawing, then OnDrawCell), does not lie inside
    // the cell with 2 pixels clear at both sides; never narrows a column.
    // The lists call it for each row they fill, so that the widest value of
    // a list shows whole; the user can still resize the columns afterwards.
    void GrowColsToFit(int row, int fromCol, int toCol);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void fireDblClick();
    void ensureCurrentRow();
    int rowBorderAt(int y) const; // data row whose bottom line is at y, or -1
    void drawCell(TGridCanvas &canvas, int col, int row, const TRect &rect) const;

    std::unique_ptr<StringGridModel> model_;
    StringGridHeader *header_ = nullptr;
    int fixedCols_ = 0;
    int fixedWidth_ = 64;         // width of the fixed column
    int sizingRow_ = -1;          // data row being resized with the mouse
    int sizingStartY_ = 0;
    int sizingStartHeight_ = 0;
};

// Translates a key press into the framework's key code and shift state.
// Keys without a code of their own give 0.
int KeyCodeOf(int qtKey);
TShiftState ShiftStateOf(Qt::KeyboardModifiers modifiers);

} // namespace fm
