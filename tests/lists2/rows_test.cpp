// Rows of the result-list and notice-list blocks: taking them out of a
// block, reading their fields, and appending them to the grid.
#include "session/DataGrid.h"
#include "session/ListRows.h"
#include "support/testutil.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace fm;
using fmtest::K;

namespace {

// A list block as the host sends it: RecInfo, RecCount and Data given,
// everything else blank.
TTelegram Block(const std::string &recInfo, const std::string &recCount, const std::string &data)
{
    TTelegram t;
    std::memset(t.Bytes(), ' ', TTelegram::Size);
    std::memcpy(t.RecInfo, recInfo.data(), std::min(recInfo.size(), sizeof t.RecInfo));
    std::memcpy(t.RecCount, recCount.data(), std::min(recCount.size(), sizeof t.RecCount));
    std::memcpy(t.Data, data.data(), std::min(data.size(), sizeof t.Data));
    return t;
}

// n rows of `len` bytes, each filled with its own letter.
std::string Rows(int n, int len)
{
    std::string s;
    for (int i = 0; i < n; ++i) s += std::string(size_t(len), char('A' + i % 26));
    return s;
}

std::string ResultRow(const std::string &dir, const std::string &bank, const std::string &kind,
                      const std::string &date, const std::string &start, const std::string &end,
                      const std::string &records, const std::string &seq, const std::string &rcv)
{
    std::string r = dir + bank + kind + date + start + end + records + seq + rcv;
    EXPECT_EQ(r.size(), 41u);
    return r;
}

std::string NoticeRow(const std::string &date, const std::string &time, const std::string &title,
                      const std::string &file)
{
    auto pad = [](std::string s, size_t w) {
        s.resize(w, ' ');
        return s;
    };
    return pad(date, 8) + pad(time, 6) + pad(title, 80) + pad(file, 20);
}

TEST(ListBlockTest, RowsAreTakenAtTheAnnouncedLength)
{
    // 23 rows of 41 use 943 bytes; the rest of Data is ignored.
    TListBlock b = TakeListRows(Block("41", "23", Rows(23, 41) + "zzzzz"));
    ASSERT_FALSE(b.Refused);
    EXPECT_EQ(b.RowLength, 41);
    EXPECT_EQ(b.RowCount, 23);
    ASSERT_EQ(b.Rows.size(), 23u);
    EXPECT_EQ(b.Rows[0], std::string(41, 'A'));
    EXPECT_EQ(b.Rows[22], std::string(41, 'W'));
    EXPECT_EQ(ListAckCode(b), "00");

    // 8 notice rows of 114 use 912 bytes.
    b = TakeListRows(Block("114", "08", Rows(8, 114)));
    ASSERT_EQ(b.Rows.size(), 8u);
    EXPECT_EQ(b.Rows[7], std::string(114, 'H'));

    // Blanks around the numbers are trimmed; a zero byte ends the field.
    b = TakeListRows(Block("  41  ", " 2", Rows(2, 41)));
    EXPECT_EQ(b.Rows.size(), 2u);
    b = TakeListRows(Block(std::string("41\0junk", 7), "01", Rows(1, 41)));
    ASSERT_FALSE(b.Refused);
    EXPECT_EQ(b.Rows.size(), 1u);

    // Fewer rows announced than Data holds: only those.
    b = TakeListRows(Block("41", "03", Rows(23, 41)));
    EXPECT_EQ(b.Rows.size(), 3u);
}

TEST(ListBlockTest, RowsRunningPastDataAreNotTaken)
{
    // 30 rows of 41 would need 1230 bytes: the 23 rows inside Data are taken.
    TListBlock b = TakeListRows(Block("41", "30", Rows(23, 41) + "zzzzz"));
    ASSERT_FALSE(b.Refused);
    ASSERT_EQ(b.Rows.size(), 23u);
    EXPECT_EQ(b.Rows.back(), std::string(41, 'W'));
    EXPECT_EQ(ListAckCode(b), "00");

    // A row ending exactly at the end of Data is inside; the next is not.
    b = TakeListRows(Block("96", "11", Rows(10, 96)));
    ASSERT_EQ(b.Rows.size(), 10u);
    EXPECT_EQ(b.Rows[9], std::string(96, 'J'));

    // A row longer than Data: nothing taken, the block is acknowledged blank.
    b = TakeListRows(Block("961", "01", Rows(1, 960)));
    EXPECT_FALSE(b.Refused);
    EXPECT_TRUE(b.Rows.empty());
    EXPECT_EQ(ListAckCode(b), "");

    // The largest numbers the fields can hold do not overflow the arithmetic.
    b = TakeListRows(Block("2147483647", "99", ""));
    EXPECT_FALSE(b.Refused);
    EXPECT_TRUE(b.Rows.empty());
}

TEST(ListBlockTest, UnreadableLengthOrCountRefusesTheBlock)
{
    const std::pair<std::string, std::string> refused[] = {
        {"4A", "01"}, {"", "01"}, {"41", "  "}, {"41", "0x"}, {"0", "01"}, {"-41", "01"},
        {"41 9", "01"}, {"99999999999", "01"}};
    for (const auto &[info, count] : refused) {
        TListBlock b = TakeListRows(Block(info, count, Rows(23, 41)));
        EXPECT_TRUE(b.Refused) << "'" << info << "' '" << count << "'";
        EXPECT_TRUE(b.Rows.empty());
    }
    // A count of zero or below is a block without rows, not a broken one.
    for (const char *count : {"00", "-1"}) {
        TListBlock b = TakeListRows(Block("41", count, Rows(23, 41)));
        EXPECT_FALSE(b.Refused) << count;
        EXPECT_TRUE(b.Rows.empty()) << count;
        EXPECT_EQ(ListAckCode(b), "") << count;
    }
}

TEST(ResultRowTest, FieldsAndShownRecordCount)
{
    const std::string row = ResultRow("R", "0004", "200", "20240315", "091500", "092030", "000102", "007", "0003");
    const auto cells = TResultListRow::Parse(row).Cells();
    const std::array<std::string, 9> expected = {"R", "0004", "200", "20240315", "091500", "092030",
                                                 "100", "007", "0003"};
    EXPECT_EQ(cells, expected);

    auto shown = [](const std::string &field) {
        TResultListRow r;
        r.RecordCount = field;
        return r.ShownCount();
    };
    EXPECT_EQ(shown("000002"), "0");
    EXPECT_EQ(shown("000001"), "-1");
    EXPECT_EQ(shown("000000"), "-2");
    EXPECT_EQ(shown("  1234"), "1232");
    // A field that is not a number is shown as received.
    EXPECT_EQ(shown("00A102"), "00A102");
    EXPECT_EQ(shown("102   "), "102   ");
    EXPECT_EQ(shown(""), "");
}

TEST(ResultRowTest, BlanksStayZeroBytesEndAFieldAndOnly41CharactersAreRead)
{
    // Blanks inside the fields are kept as received.
    std::string row = ResultRow("S", "  26", "10 ", "2024 3 1", "  1500", "0920  ", "000012", " 7 ", "  3 ");
    auto r = TResultListRow::Parse(row);
    EXPECT_EQ(r.BankCode, "  26");
    EXPECT_EQ(r.FileKind, "10 ");
    EXPECT_EQ(r.Sequence, " 7 ");
    EXPECT_EQ(r.Receptions, "  3 ");

    // A zero byte ends its own field only.
    row[3] = '\0';
    row[10] = '\0';
    r = TResultListRow::Parse(row);
    EXPECT_EQ(r.BankCode, "  ");
    EXPECT_EQ(r.SendDate, "20");
    EXPECT_EQ(r.FileKind, "10 ");
    EXPECT_EQ(r.StartTime, "  1500");

    // A row of 20 characters cuts the start time and leaves the rest empty.
    r = TResultListRow::Parse(row.substr(0, 20));
    EXPECT_EQ(r.StartTime, "  15");
    EXPECT_EQ(r.EndTime, "");
    EXPECT_EQ(r.Receptions, "");
    EXPECT_EQ(r.ShownCount(), "");

    // A longer row: what lies beyond 41 characters is never read.
    r = TResultListRow::Parse(ResultRow("R", "0004", "200", "20240315", "091500", "092030", "000102",
                                        "007", "0003") + "99999");
    EXPECT_EQ(r.Receptions, "0003");
}

TEST(NoticeRowTest, FieldsAreTrimmed)
{
    const std::string title = K("  2024학년도 스쿨뱅킹 안내") + std::string(40, ' ');
    const std::string row = NoticeRow("20240301", "093000", title, " notice01.rtf");
    ASSERT_EQ(row.size(), 114u);
    auto cells = TNoticeListRow::Parse(row).Cells();
    const std::array<std::string, 4> expected = {"20240301", "093000", K("2024학년도 스쿨뱅킹 안내"),
                                                 "notice01.rtf"};
    EXPECT_EQ(cells, expected);

    // A title of 80 characters with trailing blanks; a zero byte in the file
    // name ends it.
    std::string r2 = NoticeRow("20240302", "1", std::string(70, 'T'), "ab");
    r2[96] = '\0';
    r2[97] = 'x';
    auto n = TNoticeListRow::Parse(r2);
    EXPECT_EQ(n.Title, std::string(70, 'T'));
    EXPECT_EQ(n.RegTime, "1");
    EXPECT_EQ(n.File, "ab");
    // A shorter row leaves the later fields empty.
    n = TNoticeListRow::Parse(row.substr(0, 16));
    EXPECT_EQ(n.Title, "");
    EXPECT_EQ(n.File, "");
}

TEST(ListGridTest, ResultListTitleAndAppendedRows)
{
    TStringGrid g;
    InitDataGrid(g);
    g.SetRowCount(4);
    g.SetCell(3, 2, "left over");
    SetResultListTitle(g);
    const char *titles[] = {"구분", "은행명", "파일명", "송신일자", "송신시작", "송신종료", "자료건수",
                            "순번", "수신횟수", "선택"};
    const int widths[] = {35, 70, 60, 70, 60, 60, 55, 40, 50, 30};
    ASSERT_EQ(g.ColCount(), 10);
    EXPECT_EQ(g.RowCount(), 2);
    for (int c = 0; c < 10; ++c) {
        EXPECT_EQ(g.Cells(c, 0), K(titles[c])) << c;
        EXPECT_EQ(g.ColWidths(c), widths[c]) << c;
    }

    // The first row lands in row 1 of the empty list, later ones below.
    const std::string a = ResultRow("S", "0004", "200", "20240315", "091500", "092030", "000102", "001", "0000");
    const std::string b = ResultRow("R", "0020", "100", "20240316", "101500", "102030", "000002", "002", "0001");
    const std::string c = ResultRow("R", "0081", "300", "20240317", "111500", "112030", "000001", "003", "0002");
    EXPECT_EQ(AddResultListRow(g, a), 1);
    EXPECT_EQ(AddResultListRow(g, b), 2);
    g.SetCell(9, 2, MarkText());
    EXPECT_EQ(AddResultListRow(g, c), 3);
    EXPECT_EQ(g.RowCount(), 4);
    EXPECT_EQ(g.Cells(0, 1), "S");
    EXPECT_EQ(g.Cells(6, 1), "100");
    EXPECT_EQ(g.Cells(1, 2), "0020");
    EXPECT_EQ(g.Cells(6, 2), "0");
    EXPECT_EQ(g.Cells(9, 2), MarkText()) << "appending touched another row's mark";
    EXPECT_EQ(g.Cells(6, 3), "-1");
    EXPECT_EQ(g.Cells(8, 3), "0002");
    EXPECT_EQ(g.Cells(9, 3), "");

    // Emptied again (log-out): the next row is row 1 of a two-row list.
    ClearDataList(g);
    EXPECT_EQ(AddResultListRow(g, c), 1);
    EXPECT_EQ(g.RowCount(), 2);
    EXPECT_EQ(g.Cells(3, 1), "20240317");
}

TEST(ListGridTest, NoticeListTitleAndAppendedRows)
{
    TStringGrid g;
    InitDataGrid(g);
    g.SetRowCount(3);
    SetNoticeListTitle(g);
    ASSERT_EQ(g.ColCount(), 5);
    EXPECT_EQ(g.RowCount(), 3) << "the notice title keeps the row count";
    const char *titles[] = {"등록일자", "등록시간", "제목", "화일명", "선택"};
    const int widths[] = {70, 70, 280, 90, 35};
    for (int c = 0; c < 5; ++c) {
        EXPECT_EQ(g.Cells(c, 0), K(titles[c])) << c;
        EXPECT_EQ(g.ColWidths(c), widths[c]) << c;
    }

    // The blank row of an empty notice list can be marked; the first notice
    // takes that row and empties its mark.
    ClearDataList(g);
    SGrdDataLstDblClick(g, TMarkActions{});
    ASSERT_EQ(g.Cells(4, 1), MarkText());
    EXPECT_EQ(AddNoticeListRow(g, NoticeRow("20240301", "093000", K("공지 1"), "n1.txt")), 1);
    EXPECT_EQ(g.Cells(4, 1), "");
    EXPECT_EQ(AddNoticeListRow(g, NoticeRow("20240302", "100000", K("공지 2") + "   ", " n2.txt ")), 2);
    EXPECT_EQ(g.RowCount(), 3);
    EXPECT_EQ(g.Cells(0, 1), "20240301");
    EXPECT_EQ(g.Cells(2, 2), K("공지 2"));
    EXPECT_EQ(g.Cells(3, 2), "n2.txt");
}

} // namespace
