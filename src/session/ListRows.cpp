#include "session/ListRows.h"

#include "common/codec.h"
#include "common/errors.h"
#include "common/text.h"
#include "session/DataGrid.h"

#include <cstdint>
#include <optional>

namespace fm {

namespace {

// A header field read as a number: its text up to a zero byte, blanks
// trimmed. Nothing when it is not a decimal number.
template <std::size_t N>
std::optional<int> FieldNumber(const char (&field)[N])
{
    try {
        return StrToInt(Trimmed(FieldText(field)));
    } catch (const ConvertError &) {
        return std::nullopt;
    }
}


// The row an appender writes into: row 1 of an empty list, else a new row
// at the bottom.
int appendRow(TStringGrid &grid)
{
    if (!ListHasData(grid)) {
        grid.SetRowCount(2);
        return 1;
    }
    const int r = grid.RowCount();
    grid.SetRowCount(r + 1);
    return r;
}

} // namespace

TListBlock TakeListRows(const TTelegram &t)
{
    TListBlock block;
    const std::optional<int> length = FieldNumber(t.RecInfo);
    const std::optional<int> count = FieldNumber(t.RecCount);
    if (!length || !count || *length <= 0) {
        block.Refused = true;
        return block;
    }
    block.RowLength = *length;
    block.RowCount = *count;
    const int64_t dataSize = int64_t(sizeof t.Data);
    for (int64_t i = 0; i < block.RowCount; ++i) {
        const int64_t from = i * block.RowLength;
        if (from + block.RowLength > dataSize) break; // the row would run past Data
        block.Rows.emplace_back(t.Data + from, size_t(block.RowLength));
    }
    return block;
}

std::string ListAckCode(const TListBlock &block) { return block.Rows.empty() ? std::string() : "00"; }

TResultListRow TResultListRow::Parse(std::string_view row)
{
    row = row.substr(0, Size);
    TResultListRow r;
    r.Direction = FieldAt(row, 0, 1);
    r.BankCode = FieldAt(row, 1, 4);
    r.FileKind = FieldAt(row, 5, 3);
    r.SendDate = FieldAt(row, 8, 8);
    r.StartTime = FieldAt(row, 16, 6);
    r.EndTime = FieldAt(row, 22, 6);
    r.RecordCount = FieldAt(row, 28, 6);
    r.Sequence = FieldAt(row, 34, 3);
    r.Receptions = FieldAt(row, 37, 4);
    return r;
}

std::string TResultListRow::ShownCount() const
{
    try {
        return std::to_string(int64_t(StrToInt(RecordCount)) - 2);
    } catch (const ConvertError &) {
        return RecordCount;
    }
}

std::array<std::string, 9> TResultListRow::Cells() const
{
    return {Direction, BankCode, FileKind, SendDate, StartTime, EndTime, ShownCount(), Sequence, Receptions};
}

TNoticeListRow TNoticeListRow::Parse(std::string_view row)
{
    row = row.substr(0, Size);
    TNoticeListRow r;
    r.RegDate = Trimmed(FieldAt(row, 0, 8));
    r.RegTime = Trimmed(FieldAt(row, 8, 6));
    r.Title = Trimmed(FieldAt(row, 14, 80));
    r.File = Trimmed(FieldAt(row, 94, 20));
    return r;
}

std::array<std::string, 4> TNoticeListRow::Cells() const { return {RegDate, RegTime, Title, File}; }

void SetResultListTitle(TStringGrid &grid)
{
    SetGridTitles(grid, {{"구분", 35}, {"은행명", 70}, {"파일명", 60}, {"송신일자", 70}, {"송신시작", 60},
                        {"송신종료", 60}, {"자료건수", 55}, {"순번", 40}, {"수신횟수", 50}, {"선택", 30}});
    grid.SetRowCount(2);
}

void SetNoticeListTitle(TStringGrid &grid)
{
    SetGridTitles(grid, {{"등록일자", 70}, {"등록시간", 70}, {"제목", 280}, {"화일명", 90}, {"선택", 35}});
}

int AddResultListRow(TStringGrid &grid, std::string_view resultRow)
{
    const auto cells = TResultListRow::Parse(resultRow).Cells();
    const int r = appendRow(grid);
    for (int c = 0; c < int(cells.size()); ++c) grid.SetCell(c, r, cells[size_t(c)]);
    grid.GrowColsToFit(r, 0, int(cells.size()) - 1);
    return r;
}

int AddNoticeListRow(TStringGrid &grid, std::string_view noticeRow)
{
    const auto cells = TNoticeListRow::Parse(noticeRow).Cells();
    const int r = appendRow(grid);
    for (int c = 0; c < int(cells.size()); ++c) grid.SetCell(c, r, cells[size_t(c)]);
    grid.SetCell(4, r, std::string());
    return r;
}

} // namespace fm
