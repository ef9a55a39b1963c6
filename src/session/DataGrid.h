#pragma once
// The rules of the communication window's list grid (SGrdDataLst): emptying
// it, the names and colours its cells are drawn with, the three drawing
// routines, and the selection mark "◎" in the last column that the user
// toggles with a double-click, Enter or Space.
//
// The grid's column count tells which list it holds: 10 the result list,
// 11 the send-file or received-file list (told apart by the letter "S" or
// "R" in column 0), 12 the sent-file list, 5 the notice list.
#include "platform/StringGrid.h"

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

namespace fm {

// The selection mark, CP949.
const std::string &MarkText();

// The hidden bank list: 41 items "code name" (CP949) in a fixed order.
class TBankList {
public:
    TBankList();

    const std::vector<std::string> &Items() const { return items_; }
    int ItemIndex = -1; // the selected item, -1 when none

    // The list box's select-string search: the first item after
    // `startIndex` whose text begins with `text` (letters compared without
    // regard to case), running to the last item and then from the first
    // one up to `startIndex`. Returns its index or -1.
    int FindString(int startIndex, const std::string &text) const;
    // The same search; the item found becomes the selected one.
    int SelectString(int startIndex, const std::string &text);

    // The name shown for a bank code: the item found by the search started
    // after the first item, from its sixth byte on, at most 20 bytes. A code
    // that begins no item (or an empty one) shows as itself.
    std::string BankName(const std::string &code) const;

private:
    std::vector<std::string> items_;
};

// File-kind names and colours (column 2): "200" -> "이체자료" in blue, etc.;
// any other text is shown as itself in black.
std::string KindName(const std::string &code);
TColor KindColor(const std::string &code);
// The direction letter's colour: "S" red, anything else blue.
TColor DirectionColor(const std::string &letter);
// "yyyymmdd" -> "yyyy-mm-dd" and "hhmmss" -> "hh:mm:ss"; pieces beyond the
// end of a shorter text are empty, the separators are written all the same.
std::string DateForm(const std::string &text);
std::string TimeForm(const std::string &text);

// Layout of the grid when the window opens: 11 untitled columns (widths 65,
// then 64), one blank data row.
void InitDataGrid(TStringGrid &grid);
// Empties every cell of the data rows and leaves one data row; the column
// count, the titles and the widths stay.
void ClearDataList(TStringGrid &grid);

// Gives the grid one column per entry: its title (UTF-8, written as CP949 into
// row 0) and its width. Rows and cells below the titles are not touched.
struct TGridColumn {
    const char *title;
    int width;
};
void SetGridTitles(TStringGrid &grid, std::initializer_list<TGridColumn> columns);
// A list has data when column 0 of row 1 is not empty.
bool ListHasData(const TStringGrid &grid);

// Drawing of one cell, run after the grid's standard drawing.
void DrawResultListCell(const TStringGrid &grid, TGridCanvas &canvas, const TBankList &banks, int col,
                        int row, const TRect &rect);
void DrawFileListCell(const TStringGrid &grid, TGridCanvas &canvas, const TBankList &banks, int col,
                      int row, const TRect &rect);
void DrawNoticeListCell(const TStringGrid &grid, TGridCanvas &canvas, int col, int row, const TRect &rect);
// Picks the routine by the grid's column count: 10, 5, 11 or 12.
void SGrdDataLstDrawCell(const TStringGrid &grid, TGridCanvas &canvas, const TBankList &banks, int col,
                         int row, const TRect &rect);

// What setting a mark in a file list does besides: load the row's file from
// the list's folder (AppDir + "\Send", "\Recv" or "\SBack"), then enable the
// detail button.
struct TMarkActions {
    std::string AppDir;
    std::function<void(int row, const std::string &folder)> LoadTransferFile;
    std::function<void()> EnableDataList;
};

// Toggles the mark of the grid's current row, by the list kind.
void SGrdDataLstDblClick(TStringGrid &grid, const TMarkActions &actions);
// Enter or Space, whatever the shift state, toggle the current row's mark.
// The key is left for the grid to handle as usual.
void SGrdDataLstKeyDown(TStringGrid &grid, int key, TShiftState shift, const TMarkActions &actions);

} // namespace fm
