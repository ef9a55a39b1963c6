#pragma once
// The rows of the two lists the host sends in blocks: the result list
// ("0630100", rows of 41 characters) and the notice list ("0430100", rows of
// 114 characters). Taking the rows out of a block, reading the fields of a
// row, and the grid's shape and row appending for both lists.
#include "platform/StringGrid.h"
#include "session/Telegram.h"

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace fm {

// The rows of one list block.
struct TListBlock {
    // The block cannot be read: its row length or row count is not a
    // number, or the row length is not positive. Nothing is taken from it.
    bool Refused = false;
    int RowLength = 0;  // RecInfo, trimmed, as a number
    int RowCount = 0;   // RecCount, trimmed, as a number
    // Row i is the RowLength bytes of Data from (i - 1) * RowLength. Only
    // the rows that lie wholly inside Data are taken.
    std::vector<std::string> Rows;
};

// Takes the rows out of a list block (the telegram as received).
TListBlock TakeListRows(const TTelegram &t);

// The answer code acknowledging a block: "00" once a row has been taken,
// empty (sent as two blanks) for a block without rows.
std::string ListAckCode(const TListBlock &block);

// One result-list row, 41 characters. Fields end early at a zero byte;
// a shorter row leaves the later fields cut or empty; only the first 41
// characters of a longer row are read.
struct TResultListRow {
    static constexpr int Size = 41;

    std::string Direction;   // 0, 1: "S" or "R"
    std::string BankCode;    // 1, 4
    std::string FileKind;    // 5, 3
    std::string SendDate;    // 8, 8 "yyyymmdd"
    std::string StartTime;   // 16, 6 hhmmss
    std::string EndTime;     // 22, 6 hhmmss
    std::string RecordCount; // 28, 6: records of the file, header and trailer included
    std::string Sequence;    // 34, 3
    std::string Receptions;  // 37, 4

    static TResultListRow Parse(std::string_view row);
    // Column 6: the record count minus 2 as a plain decimal number; a field
    // that is not a number is shown as received.
    std::string ShownCount() const;
    // Columns 0 to 8 of the grid row.
    std::array<std::string, 9> Cells() const;
};

// One notice-list row, 114 characters; every field trimmed.
struct TNoticeListRow {
    static constexpr int Size = 114;

    std::string RegDate; // 0, 8 "yyyymmdd"
    std::string RegTime; // 8, 6 hhmmss
    std::string Title;   // 14, 80
    std::string File;    // 94, 20: the notice file's name on the host

    static TNoticeListRow Parse(std::string_view row);
    // Columns 0 to 3 of the grid row.
    std::array<std::string, 4> Cells() const;
};

// Shapes the grid as the result list: 10 columns, titles, widths, two rows.
// No cell is emptied.
void SetResultListTitle(TStringGrid &grid);
// Shapes the grid as the notice list: 5 columns, titles, widths. Row count
// and cells stay.
void SetNoticeListTitle(TStringGrid &grid);

// Appends a row to the list: into row 1 when the list is empty (column 0 of
// row 1 empty), else into a new row at the bottom. Returns the row used.
// The result row leaves its mark column (9) as it is; the notice row
// empties its mark column (4).
int AddResultListRow(TStringGrid &grid, std::string_view resultRow);
int AddNoticeListRow(TStringGrid &grid, std::string_view noticeRow);

} // namespace fm
