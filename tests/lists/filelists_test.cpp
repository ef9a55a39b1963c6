// The three file lists: titles, filling from a folder, the folder listing.
#include "common/errors.h"
#include "common/text.h"
#include "session/DataGrid.h"
#include "session/FileLists.h"
#include "support/testutil.h"
#include "transfer_builder.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <memory>

using namespace fm;
using listtest::FileSpec;

namespace {

class FileListsTest : public ::testing::Test {
protected:
    fmtest::TempDir app;
    fmtest::ScriptedBoxes boxes;
    TStringGrid grid;
    TFileListBox listing;
    std::unique_ptr<TLoadedFile> store = std::make_unique<TLoadedFile>();
    int recCount = 0;
    std::string listKind;
    TFileLists lists{grid, listing, *store, recCount, listKind};

    void SetUp() override
    {
        SetThousandsSeparatorForTesting(",");
        for (const char *d : {"send", "sback", "recv"}) std::filesystem::create_directory(app.file(d));
    }
    void TearDown() override { SetThousandsSeparatorForTesting(""); }

    std::string folder(const char *suffix) const { return app.path() + suffix; }
    void put(const char *sub, const std::string &name, const FileSpec &s) const
    {
        app.write(std::string(sub) + "/" + name, listtest::File(s));
    }
    std::string cell(int c, int r) const { return grid.Cells(c, r); }
};

TEST_F(FileListsTest, TitleOperationsShapeTheGrid)
{
    struct Case {
        void (TFileLists::*op)();
        std::vector<std::pair<const char *, int>> cols;
    } cases[] = {
        {&TFileLists::SetSendFileListTitle,
         {{"구분", 30}, {"은행명", 65}, {"화일타입", 50}, {"수납번호", 50}, {"기관코드", 70},
          {"학교계좌번호", 110}, {"총건수", 80}, {"총금액", 80}, {"이체시작일", 60}, {"이체종료일", 60},
          {"선택", 25}}},
        {&TFileLists::SetSentFileListTitle,
         {{"구분", 30}, {"은행명", 65}, {"화일타입", 50}, {"수납번호", 50}, {"기관코드", 70},
          {"학교계좌번호", 110}, {"총건수", 50}, {"총금액", 70}, {"이체시작일", 60}, {"이체종료일", 60},
          {"송신", 40}, {"선택", 25}}},
        {&TFileLists::SetRecvFileListTitle,
         {{"구분", 30}, {"은행명", 65}, {"화일타입", 50}, {"수납번호", 50}, {"기관코드", 70},
          {"학교계좌번호", 110}, {"미처리총건수", 80}, {"미처리총금액", 80}, {"이체시작일", 60},
          {"이체종료일", 60}, {"선택", 25}}},
    };
    for (const Case &c : cases) {
        grid.SetRowCount(7);
        grid.SetCell(3, 1, "keep");
        (lists.*c.op)();
        ASSERT_EQ(grid.ColCount(), int(c.cols.size()));
        EXPECT_EQ(grid.RowCount(), 2);
        for (size_t i = 0; i < c.cols.size(); ++i) {
            EXPECT_EQ(grid.Cells(int(i), 0), fmtest::K(c.cols[i].first)) << i;
            EXPECT_EQ(grid.ColWidths(int(i)), c.cols[i].second) << i;
        }
        EXPECT_EQ(cell(3, 1), "keep"); // cells are not cleared
    }
}

TEST_F(FileListsTest, SendListRowsFromHeaderAndTrailer)
{
    FileSpec a;
    a.bank = " 4";
    a.receipt = " 0012";
    a.institution = "  INST01  ";
    a.account = "  110-22-333    ";
    a.first = "2024 301";
    a.count = "0000010";
    a.amount = "0000001234567";
    put("send", "S_a.txt", a);
    FileSpec b;
    b.bank = "26";
    b.count = "   0042";
    b.amount = "0009876543210"; // above 2^31
    put("send", "s_b.TXT", b);

    lists.SetSendFileListTitle();
    lists.FillFileList(folder("\\Send"), "S", "S");
    EXPECT_EQ(boxes.count(), 0u) << boxes.texts();
    ASSERT_EQ(grid.RowCount(), 3);
    // Row 1 is "S_a.txt": "S" sorts before "s" by byte order.
    EXPECT_EQ(cell(0, 1), "S");
    EXPECT_EQ(cell(1, 1), "004");
    EXPECT_EQ(cell(2, 1), "200");
    EXPECT_EQ(cell(3, 1), "0012");
    EXPECT_EQ(cell(4, 1), "INST01");
    EXPECT_EQ(cell(5, 1), "110-22-333");
    EXPECT_EQ(cell(6, 1), "10");
    EXPECT_EQ(cell(7, 1), "    1,234,567");
    EXPECT_EQ(cell(8, 1), "2024 301");
    EXPECT_EQ(cell(9, 1), "20240305");
    EXPECT_EQ(cell(10, 1), "");
    EXPECT_EQ(cell(1, 2), "0026");
    EXPECT_EQ(cell(6, 2), "42");
    EXPECT_EQ(cell(7, 2), "9,876,543,210");
    EXPECT_EQ(listKind, "S");
}

TEST_F(FileListsTest, SentListMarksEveryRowDoneAndKeepsMarkColumnEmpty)
{
    put("sback", "S1.txt", FileSpec{});
    put("sback", "S2.txt", FileSpec{});
    lists.SetSentFileListTitle();
    grid.SetCell(11, 1, "x");
    lists.FillFileList(folder("\\SBack"), "S", "L");
    ASSERT_EQ(grid.RowCount(), 3);
    for (int r = 1; r <= 2; ++r) {
        EXPECT_EQ(cell(10, r), fmtest::K("완료"));
        EXPECT_EQ(cell(11, r), "");
    }
    // The send and received lists leave column 10 empty.
    put("recv", "S3.txt", FileSpec{});
    lists.SetRecvFileListTitle();
    lists.FillFileList(folder("\\Recv"), "R", "L");
    EXPECT_EQ(cell(10, 1), "");
    EXPECT_EQ(cell(0, 1), "R");
}

TEST_F(FileListsTest, UnprocessedTotalsOnlyForReceivedFilesInListMode)
{
    FileSpec s;
    s.count = "0000010";
    s.amount = "0000000050000";
    s.unprocCount = "0000003";
    s.unprocAmount = "0000000004500";
    put("recv", "S1.txt", s);
    struct Case {
        const char *kind, *mode, *count, *amount;
    } cases[] = {
        {"R", "L", "3", "        4,500"},
        {"S", "L", "10", "       50,000"},
        {"R", "S", "10", "       50,000"},
        {"S", "S", "10", "       50,000"},
    };
    for (const Case &c : cases) {
        lists.SetRecvFileListTitle();
        lists.FillFileList(folder("\\Recv"), c.kind, c.mode);
        EXPECT_EQ(cell(6, 1), c.count) << c.kind << c.mode;
        EXPECT_EQ(cell(7, 1), c.amount) << c.kind << c.mode;
    }
}

TEST_F(FileListsTest, LastFileOfListingStaysLoaded)
{
    for (int i = 1; i <= 3; ++i) {
        FileSpec s;
        s.receipt = "R000" + std::to_string(i);
        s.records = i;
        put("send", "S" + std::to_string(i) + ".txt", s);
    }
    lists.SetSendFileListTitle();
    lists.FillFileList(folder("\\Send"), "S", "S");
    EXPECT_EQ(grid.RowCount(), 4);
    EXPECT_EQ(header::ReceiptNo(store->FileHeader), "R0003");
    EXPECT_EQ(recCount, 3);
    // Loading a row again reads that row's file.
    EXPECT_EQ(lists.LoadTransferFile(1, folder("\\Send")), LoadResult::Loaded);
    EXPECT_EQ(header::ReceiptNo(store->FileHeader), "R0001");
    EXPECT_EQ(recCount, 1);
}

TEST_F(FileListsTest, EmptyFolderKeepsKindAndStore)
{
    put("recv", "S1.txt", FileSpec{});
    lists.SetRecvFileListTitle();
    lists.FillFileList(folder("\\Recv"), "R", "L");
    ASSERT_EQ(listKind, "R");
    boxes.clear();

    ClearDataList(grid);
    lists.SetSendFileListTitle();
    lists.FillFileList(folder("\\Send"), "S", "S");
    ASSERT_EQ(boxes.count(), 1u);
    EXPECT_EQ(boxes.last().text, QStringLiteral("파일이 없습니다!"));
    EXPECT_EQ(boxes.last().caption, QString());
    EXPECT_EQ(boxes.last().icon, MsgIcon::Error);
    EXPECT_EQ(listKind, "R");
    EXPECT_EQ(header::ReceiptNo(store->FileHeader), "12345");
    EXPECT_EQ(grid.RowCount(), 2);
    EXPECT_EQ(cell(0, 1), "");
}

TEST_F(FileListsTest, MissingFolderRaisesBeforeAnyRow)
{
    lists.SetSendFileListTitle();
    EXPECT_THROW(lists.FillFileList(folder("\\Nowhere"), "S", "S"), InOutError);
    EXPECT_EQ(grid.RowCount(), 2);
    EXPECT_EQ(cell(0, 1), "");
    EXPECT_EQ(boxes.count(), 0u);
}

TEST_F(FileListsTest, CountThatIsNotANumberEndsTheFillAtThatRow)
{
    put("send", "S1.txt", FileSpec{});
    FileSpec bad;
    bad.count = "00001 ";
    bad.receipt = "BAD01";
    put("send", "S2.txt", bad);
    put("send", "S3.txt", FileSpec{});
    lists.SetSendFileListTitle();
    try {
        lists.FillFileList(folder("\\Send"), "S", "S");
        FAIL() << "no conversion error";
    } catch (const ConvertError &e) {
        EXPECT_STREQ(e.what(), "'00001  ' is not a valid integer value");
    }
    EXPECT_EQ(grid.RowCount(), 3);
    EXPECT_EQ(cell(6, 1), "10");
    EXPECT_EQ(cell(3, 2), "BAD01"); // written before the count
    EXPECT_EQ(cell(6, 2), "");
    EXPECT_EQ(listKind, "S");

    FileSpec badAmount;
    badAmount.amount = "000000012345X";
    put("send", "S2.txt", badAmount);
    EXPECT_THROW(lists.FillFileList(folder("\\Send"), "S", "S"), ConvertError);
    EXPECT_EQ(cell(6, 2), "10");
    EXPECT_EQ(cell(7, 2), "");
}

TEST_F(FileListsTest, UnreadableFilesLeaveTheirRowBlankAndTheFillGoesOn)
{
    FileSpec first;
    first.receipt = "FIRST";
    put("send", "S1.txt", first);
    app.write("send/S2.txt", "too short");
    FileSpec big;
    big.records = kMaxFileRecords + 1;
    put("send", "S3.txt", big);
    FileSpec last;
    last.receipt = "LAST1";
    put("send", "S4.txt", last);

    lists.SetSentFileListTitle();
    lists.FillFileList(folder("\\Send"), "S", "L");
    EXPECT_EQ(boxes.count(), 2u) << boxes.texts();
    ASSERT_EQ(grid.RowCount(), 5);
    for (int r : {2, 3}) {
        EXPECT_EQ(cell(0, r), "S");
        for (int c = 1; c <= 9; ++c) EXPECT_EQ(cell(c, r), "") << r << "," << c;
        EXPECT_EQ(cell(10, r), fmtest::K("완료"));
    }
    EXPECT_EQ(cell(3, 1), "FIRST");
    EXPECT_EQ(cell(3, 4), "LAST1");
    EXPECT_EQ(header::ReceiptNo(store->FileHeader), "LAST1");
}

TEST_F(FileListsTest, RowOutsideTheListingCannotBeLoaded)
{
    put("send", "S1.txt", FileSpec{});
    lists.FillFileList(folder("\\Send"), "S", "S");
    boxes.clear();
    EXPECT_EQ(lists.LoadTransferFile(2, folder("\\Send")), LoadResult::CannotOpen);
    EXPECT_EQ(lists.LoadTransferFile(0, folder("\\Send")), LoadResult::CannotOpen);
    EXPECT_EQ(boxes.count(), 2u);
    EXPECT_EQ(boxes.last().text, QStringLiteral("파일이 없습니다!"));
}

TEST(FileListBoxTest, ListsMatchingRegularFilesSortedAndKeepsThem)
{
    fmtest::TempDir dir;
    for (const char *n : {"Sb.txt", "sa.TXT", "S10.txt", "Ab.txt", "S.txt.bak", ".Shidden.txt", "S1.txt"})
        dir.write(n, "x");
    std::filesystem::create_directory(dir.file("Sfolder.txt"));
    TFileListBox box;
    box.Mask = "S*.txt";
    box.SetDirectory(dir.path());
    EXPECT_EQ(box.Items(), (std::vector<std::string>{"S1.txt", "S10.txt", "Sb.txt", "sa.TXT"}));
    std::filesystem::remove(dir.file("S1.txt"));
    EXPECT_EQ(box.Count(), 4); // until the next update
    box.Update();
    EXPECT_EQ(box.Count(), 3);
}

TEST(FileListBoxTest, FolderNameIsMatchedWithoutCaseAndMissingFolderRaises)
{
    fmtest::TempDir dir;
    std::filesystem::create_directory(dir.file("sback"));
    dir.write("sback/S1.txt", "x");
    TFileListBox box;
    box.Mask = "S*.txt";
    box.SetDirectory(dir.path() + "\\SBack");
    EXPECT_EQ(box.Count(), 1);
    EXPECT_THROW(box.SetDirectory(dir.path() + "\\Gone"), InOutError);
    EXPECT_EQ(box.Count(), 0);
}

} // namespace
