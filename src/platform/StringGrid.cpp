#include "platform/StringGrid.h"

#include "common/codec.h"
#include "common/guard.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>

#include <algorithm>
#include <vector>

namespace fm {

namespace {

QColor toQColor(TColor c) { return QColor((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF); }
TColor fromQColor(const QColor &c)
{
    return (TColor(c.red()) << 16) | (TColor(c.green()) << 8) | TColor(c.blue());
}

// The standard drawing writes a cell's text this far right of and below the
// cell's top left corner; a fitted column keeps as much room at its right.
constexpr int kTextOffset = 2;

// Whether a text is a number as the lists show them: digits, with the signs
// and separators of amounts, dates and times, between blanks.
bool isNumber(const QString &text)
{
    bool digit = false;
    for (QChar c : text) {
        if (c.isDigit())
            digit = true;
        else if (!QStringLiteral(" ,.:+-").contains(c))
            return false;
    }
    return digit;
}

// Where a text written at x shows: from the end of its leading blanks to the
// start of its trailing ones.
struct Extent {
    int left = 0, right = 0;
    bool empty() const { return right <= left; }
};

Extent extentOf(const QFontMetrics &metrics, int x, const QString &text)
{
    qsizetype lead = 0, end = text.size();
    while (lead < end && text[lead] == ' ') ++lead;
    while (end > lead && text[end - 1] == ' ') --end;
    return {x + metrics.horizontalAdvance(text.left(lead)), x + metrics.horizontalAdvance(text.left(end))};
}

// The canvas a cell is drawn with: a painter clipped to the cell, with the
// cell's background and text colour chosen by the standard drawing. A
// number that does not lie wholly inside the cell (a column the user made
// too narrow) is shown as "#" marks across the cell: part of a number is
// never shown as if it were the number.
class PainterCanvas : public TGridCanvas {
public:
    PainterCanvas(QPainter &p, const QFont &font, const TRect &cell, QColor brush, TColor standard,
                  TColor highlightText)
        : p_(p), metrics_(font), cell_(cell), brush_(brush), font_(standard), standard_(standard),
          highlightText_(highlightText)
    {
    }
    void FillRect(const TRect &r) override
    {
        p_.fillRect(QRect(r.Left, r.Top, r.Width(), r.Height()), brush_);
    }
    void SetFontColor(TColor c) override { font_ = c; }
    TColor FontColor() const override { return font_; }
    void TextOut(int x, int y, const std::string &cp949) override
    {
        QString text = ToQ(cp949);
        const Extent shown = extentOf(metrics_, x, text);
        if (!shown.empty() && (shown.left < cell_.Left || shown.right > cell_.Right) && isNumber(text)) {
            const int room = cell_.Width() - 2 * kTextOffset;
            text = QString(std::max(1, room / std::max(1, metrics_.horizontalAdvance('#'))), '#');
            x = cell_.Left + kTextOffset;
        }
        p_.setPen(toQColor(font_));
        p_.drawText(QPoint(x, y + metrics_.ascent()), text);
    }
    int TextWidth(const std::string &cp949) const override
    {
        return metrics_.horizontalAdvance(ToQ(cp949));
    }
    TColor StandardColor() const override { return standard_; }
    TColor HighlightTextColor() const override { return highlightText_; }

private:
    QPainter &p_;
    QFontMetrics metrics_;
    TRect cell_;
    QColor brush_;
    TColor font_;
    TColor standard_;
    TColor highlightText_;
};

// A canvas that draws nothing: it keeps where the texts written after the
// last fill show, to tell how far a cell's text reaches past its margins.
class MeasuringCanvas : public TGridCanvas {
public:
    explicit MeasuringCanvas(const QFont &font) : metrics_(font) {}
    void FillRect(const TRect &) override { shown_.clear(); }
    void SetFontColor(TColor c) override { font_ = c; }
    TColor FontColor() const override { return font_; }
    void TextOut(int x, int, const std::string &cp949) override
    {
        const Extent e = extentOf(metrics_, x, ToQ(cp949));
        if (!e.empty()) shown_.push_back(e);
    }
    int TextWidth(const std::string &cp949) const override
    {
        return metrics_.horizontalAdvance(ToQ(cp949));
    }
    TColor StandardColor() const override { return clBlack; }
    TColor HighlightTextColor() const override { return clWhite; }

    // The pixels by which the texts pass the margin inside the cell at the
    // side where they pass it most; 0 or less when they keep within it.
    int Overflow(const TRect &cell, int margin) const
    {
        int over = 0;
        for (const Extent &e : shown_)
            over = std::max({over, cell.Left + margin - e.left, e.right - (cell.Right - margin)});
        return over;
    }

private:
    QFontMetrics metrics_;
    TColor font_ = clBlack;
    std::vector<Extent> shown_;
};

const std::string kEmpty;
// A column's width is that of its cells; the grid line right of them comes
// on top, as in the framework's grid (Qt counts the line in the section).
constexpr int kGridLine = 1;

} // namespace

// The cells, title row included. The Qt model shows the data rows only
// (model row i is grid row i + 1); the title row is painted by the header.
class StringGridModel : public QAbstractTableModel {
public:
    StringGridModel() : rows_(2, std::vector<std::string>(5)) {}

    int rowCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : int(rows_.size()) - 1;
    }
    int columnCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : cols_;
    }
    QVariant data(const QModelIndex &index, int role) const override
    {
        if (role != Qt::DisplayRole || !index.isValid()) return {};
        return ToQ(cell(index.column(), index.row() + 1));
    }
    QVariant headerData(int section, Qt::Orientation o, int role) const override
    {
        if (role != Qt::DisplayRole || o != Qt::Horizontal) return {};
        return ToQ(cell(section, 0));
    }
    Qt::ItemFlags flags(const QModelIndex &index) const override
    {
        return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
    }

    int cols() const { return cols_; }
    int rows() const { return int(rows_.size()); }

    const std::string &cell(int col, int row) const
    {
        if (row < 0 || row >= rows() || col < 0 || col >= cols_) return kEmpty;
        return rows_[size_t(row)][size_t(col)];
    }

    void setCell(int col, int row, const std::string &text)
    {
        if (row < 0 || row >= rows() || col < 0 || col >= cols_) return;
        std::string &c = rows_[size_t(row)][size_t(col)];
        if (c == text) return;
        c = text;
        if (row == 0) {
            emit headerDataChanged(Qt::Horizontal, col, col);
        } else {
            const QModelIndex i = index(row - 1, col);
            emit dataChanged(i, i, {Qt::DisplayRole});
        }
    }

    void setRows(int n)
    {
        const int old = rows();
        if (n > old) {
            beginInsertRows({}, old - 1, n - 2);
            rows_.resize(size_t(n), std::vector<std::string>(size_t(cols_)));
            endInsertRows();
        } else if (n < old) {
            beginRemoveRows({}, n - 1, old - 2);
            rows_.resize(size_t(n));
            endRemoveRows();
        }
    }

    void setCols(int n)
    {
        const int old = cols_;
        if (n > old) {
            beginInsertColumns({}, old, n - 1);
            for (auto &r : rows_) r.resize(size_t(n));
            cols_ = n;
            endInsertColumns();
        } else if (n < old) {
            beginRemoveColumns({}, n, old - 1);
            for (auto &r : rows_) r.resize(size_t(n));
            cols_ = n;
            endRemoveColumns();
        }
    }

private:
    std::vector<std::vector<std::string>> rows_;
    int cols_ = 5;
};

// The title row (horizontal) or the fixed column beside the data rows
// (vertical, which does not scroll sideways): painted cell by cell through
// the grid's own drawing.
class StringGridHeader : public QHeaderView {
public:
    explicit StringGridHeader(TStringGrid *grid, Qt::Orientation o = Qt::Horizontal)
        : QHeaderView(o, grid), grid_(grid)
    {
    }

    QSize sizeHint() const override
    {
        QSize s = QHeaderView::sizeHint();
        if (orientation() == Qt::Horizontal) s.setHeight(grid_->DefaultRowHeight() + 1);
        return s;
    }

protected:
    void paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const override
    {
        if (!rect.isValid()) return;
        const bool titles = orientation() == Qt::Horizontal;
        painter->save();
        // The cell without its grid lines, which are drawn right and below.
        const TRect cell{rect.left(), rect.top(), rect.right(), rect.bottom()};
        grid_->PaintCell(*painter, cell, titles ? logicalIndex : 0, titles ? 0 : logicalIndex + 1);
        painter->restore();
        painter->save();
        painter->setPen(grid_->palette().color(QPalette::Mid));
        painter->drawLine(rect.topRight(), rect.bottomRight());
        painter->drawLine(rect.bottomLeft(), rect.bottomRight());
        painter->restore();
    }

private:
    TStringGrid *grid_;
};

namespace {

class CellDelegate : public QStyledItemDelegate {
public:
    explicit CellDelegate(TStringGrid *grid) : QStyledItemDelegate(grid), grid_(grid) {}
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        const QRect &r = option.rect;
        const TRect cell{r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
        painter->save();
        grid_->PaintCell(*painter, cell, index.column(), index.row() + 1);
        painter->restore();
    }

private:
    TStringGrid *grid_;
};

} // namespace

TStringGrid::TStringGrid(QWidget *parent) : QTableView(parent), model_(std::make_unique<StringGridModel>())
{
    header_ = new StringGridHeader(this);
    setHorizontalHeader(header_);
    header_->setSectionsClickable(false);
    header_->setHighlightSections(false);
    header_->setSectionResizeMode(QHeaderView::Interactive);
    header_->setMinimumSectionSize(1);
    header_->setDefaultSectionSize(DefaultColWidth() + kGridLine);
    header_->setStretchLastSection(false);
    header_->viewport()->installEventFilter(this);

    setVerticalHeader(new StringGridHeader(this, Qt::Vertical));
    verticalHeader()->setSectionsClickable(false);
    verticalHeader()->setHighlightSections(false);
    verticalHeader()->setVisible(false);
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setDefaultSectionSize(DefaultRowHeight());
    verticalHeader()->setSectionResizeMode(QHeaderView::Interactive);

    setModel(model_.get());
    setItemDelegate(new CellDelegate(this));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(true);
    setWordWrap(false);
    setMouseTracking(true);
    setTabKeyNavigation(false);

    QPalette pal = palette();
    pal.setColor(QPalette::Base, Qt::white);
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);

    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this] { viewport()->update(); });
    ensureCurrentRow();
}

TStringGrid::~TStringGrid()
{
    // The view must let go of the model before the model is destroyed.
    setModel(nullptr);
}

int TStringGrid::ColCount() const { return model_->cols(); }

void TStringGrid::SetColCount(int count)
{
    model_->setCols(std::max(1, count));
    ensureCurrentRow();
}

int TStringGrid::RowCount() const { return model_->rows(); }

void TStringGrid::SetRowCount(int count)
{
    const int keep = Row();
    model_->setRows(std::max(2, count));
    SetRow(std::min(keep, RowCount() - 1));
    ensureCurrentRow();
}

const std::string &TStringGrid::Cells(int col, int row) const { return model_->cell(col, row); }

void TStringGrid::SetCell(int col, int row, const std::string &cp949) { model_->setCell(col, row, cp949); }

int TStringGrid::ColWidths(int col) const
{
    if (col < 0 || col >= ColCount()) return 0;
    if (col < fixedCols_) return fixedWidth_;
    return std::max(0, columnWidth(col) - kGridLine);
}

void TStringGrid::SetColWidths(int col, int width)
{
    if (col < 0 || col >= ColCount()) return;
    if (col < fixedCols_) {
        fixedWidth_ = std::max(0, width);
        verticalHeader()->setFixedWidth(fixedWidth_ + kGridLine);
        return;
    }
    setColumnWidth(col, std::max(0, width) + kGridLine);
}

void TStringGrid::SetFixedCols(int count)
{
    count = std::clamp(count, 0, 1);
    if (count == fixedCols_) return;
    if (count == 1) fixedWidth_ = ColWidths(0);
    fixedCols_ = count;
    setColumnHidden(0, count == 1);
    verticalHeader()->setFixedWidth(fixedWidth_ + kGridLine);
    verticalHeader()->setVisible(count == 1);
    if (count == 0) setColumnWidth(0, fixedWidth_ + kGridLine);
}

int TStringGrid::RowHeights(int row) const
{
    if (row == 0) return DefaultRowHeight();
    if (row < 0 || row >= RowCount()) return 0;
    return rowHeight(row - 1);
}

void TStringGrid::SetRowHeights(int row, int height)
{
    if (row < 1 || row >= RowCount()) return;
    setRowHeight(row - 1, std::max(1, height));
}

int TStringGrid::Row() const
{
    const QModelIndex i = currentIndex();
    return i.isValid() ? i.row() + 1 : 1;
}

void TStringGrid::SetRow(int row)
{
    if (row < 1 || row >= RowCount()) return;
    const int col = std::max(0, currentIndex().isValid() ? currentIndex().column() : 0);
    const QModelIndex i = model_->index(row - 1, std::min(col, ColCount() - 1));
    selectionModel()->setCurrentIndex(i, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    viewport()->update();
}

void TStringGrid::ensureCurrentRow()
{
    if (!currentIndex().isValid() && RowCount() > 1) SetRow(1);
}

void TStringGrid::drawCell(TGridCanvas &canvas, int col, int row, const TRect &rect) const
{
    canvas.FillRect(rect);
    canvas.TextOut(rect.Left + kTextOffset, rect.Top + kTextOffset, Cells(col, row));
    if (OnDrawCell) Guarded([&] { OnDrawCell(canvas, col, row, rect); });
}

void TStringGrid::PaintCell(QPainter &painter, const TRect &rect, int col, int row) const
{
    const QPalette &pal = palette();
    const bool fixed = row == 0 || col < fixedCols_;
    const bool current = !fixed && row == Row();
    QColor brush = Qt::white;
    TColor text = fromQColor(pal.color(QPalette::WindowText));
    if (current) {
        brush = pal.color(QPalette::Highlight);
        text = fromQColor(pal.color(QPalette::HighlightedText));
    } else if (fixed) {
        brush = pal.color(QPalette::Button);
    }
    painter.save();
    painter.setFont(font());
    painter.setClipRect(QRect(rect.Left, rect.Top, rect.Width(), rect.Height()));
    PainterCanvas canvas(painter, font(), rect, brush, text, fromQColor(pal.color(QPalette::HighlightedText)));
    drawCell(canvas, col, row, rect);
    painter.restore();
}

void TStringGrid::GrowColsToFit(int row, int fromCol, int toCol)
{
    for (int col = std::max(0, fromCol); col <= std::min(toCol, ColCount() - 1); ++col) {
        int width = ColWidths(col);
        // A centred text moves half as far as the column grows: the
        // overflow shrinks with every step, and a few steps end it.
        for (int step = 0; step < 64; ++step) {
            MeasuringCanvas canvas(font());
            const TRect cell{0, 0, width, RowHeights(row)};
            drawCell(canvas, col, row, cell);
            const int over = canvas.Overflow(cell, kTextOffset);
            if (over <= 0) break;
            width += over;
        }
        if (width > ColWidths(col)) SetColWidths(col, width);
    }
}

void TStringGrid::fireDblClick()
{
    if (OnDblClick) Guarded([&] { OnDblClick(); });
}

void TStringGrid::keyPressEvent(QKeyEvent *event)
{
    if (OnKeyDown) {
        const int key = KeyCodeOf(event->key());
        const TShiftState shift = ShiftStateOf(event->modifiers());
        Guarded([&] { OnKeyDown(key, shift); });
    }
    QTableView::keyPressEvent(event);
}

void TStringGrid::mouseDoubleClickEvent(QMouseEvent *event)
{
    QTableView::mouseDoubleClickEvent(event);
    fireDblClick();
}

int TStringGrid::rowBorderAt(int y) const
{
    // A row's bottom grid line, give or take a pixel.
    for (int dy : {0, -1, 1}) {
        const int m = rowAt(y + dy);
        if (m < 0) continue;
        const int bottom = rowViewportPosition(m) + rowHeight(m);
        if (std::abs(bottom - y) <= 1) return m;
    }
    return -1;
}

void TStringGrid::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        const int y = int(event->position().y());
        const int m = rowBorderAt(y);
        if (m >= 0) {
            sizingRow_ = m;
            sizingStartY_ = y;
            sizingStartHeight_ = rowHeight(m);
            return;
        }
    }
    QTableView::mousePressEvent(event);
}

void TStringGrid::mouseMoveEvent(QMouseEvent *event)
{
    const int y = int(event->position().y());
    if (sizingRow_ >= 0) {
        setRowHeight(sizingRow_, std::max(1, sizingStartHeight_ + y - sizingStartY_));
        return;
    }
    if (event->buttons() == Qt::NoButton) {
        if (rowBorderAt(y) >= 0)
            viewport()->setCursor(Qt::SplitVCursor);
        else
            viewport()->unsetCursor();
    }
    QTableView::mouseMoveEvent(event);
}

void TStringGrid::mouseReleaseEvent(QMouseEvent *event)
{
    if (sizingRow_ >= 0) {
        sizingRow_ = -1;
        return;
    }
    QTableView::mouseReleaseEvent(event);
}

bool TStringGrid::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == header_->viewport() && event->type() == QEvent::MouseButtonDblClick) fireDblClick();
    return QTableView::eventFilter(watched, event);
}

int KeyCodeOf(int qtKey)
{
    switch (qtKey) {
    case Qt::Key_Return:
    case Qt::Key_Enter: return VK_RETURN;
    case Qt::Key_Space: return VK_SPACE;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return VK_TAB;
    case Qt::Key_Backspace: return VK_BACK;
    case Qt::Key_Escape: return VK_ESCAPE;
    case Qt::Key_PageUp: return VK_PRIOR;
    case Qt::Key_PageDown: return VK_NEXT;
    case Qt::Key_End: return VK_END;
    case Qt::Key_Home: return VK_HOME;
    case Qt::Key_Left: return VK_LEFT;
    case Qt::Key_Up: return VK_UP;
    case Qt::Key_Right: return VK_RIGHT;
    case Qt::Key_Down: return VK_DOWN;
    case Qt::Key_Insert: return VK_INSERT;
    case Qt::Key_Delete: return VK_DELETE;
    default: break;
    }
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24) return VK_F1 + (qtKey - Qt::Key_F1);
    if ((qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) || (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9))
        return qtKey; // the same codes as the framework's
    return 0;
}

TShiftState ShiftStateOf(Qt::KeyboardModifiers modifiers)
{
    TShiftState s = 0;
    if (modifiers & Qt::ShiftModifier) s |= ssShift;
    if (modifiers & Qt::ControlModifier) s |= ssCtrl;
    if (modifiers & Qt::AltModifier) s |= ssAlt;
    return s;
}

} // namespace fm
