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
using fmtest::K;
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
        for (const char *d : {"send", "sback", "recv"}) std::filesystem::create_directory(app.file(d));
    }

    std::string folder(const char *suffix) const { return app.path() + suffix; }
    void put(const std::string &sub, const std::string &name, const FileSpec &s) const
    {
        app.write(sub + "/" + name, listtest::File(s));
    }
    std::string cell(int c, int r) const { return grid.Cells(c, r); }
};

TEST_F(FileListsTest, RowsFromHeaderAndTrailer)
{
    FileSpec a;
    a.bank = " 4";
    a.receipt = " 0012";
    a.institution = "  INST01  ";
    a.account = "  110-22-333    ";
    put("send", "S_a.txt", a);
    FileSpec b;
    b.count = "   0042";
    b.amount = "0009876543210"; // above 2^31
    put("send", "s_b.TXT", b);

    lists.SetSendFileListTitle();
    lists.FillFileList(folder("\\Send"), "S", "S");
    EXPECT_EQ(boxes.count(), 0u) << boxes.texts();
    ASSERT_EQ(grid.RowCount(), 3);
    const char *row1[] = {"S", "004", "200", "0012", "INST01", "110-22-333", "10", "    1,234,567",
                          "20240301", "20240305", ""};
    for (int c = 0; c < 11; ++c) EXPECT_EQ(cell(c, 1), row1[c]) << c; // "S" sorts before "s"
    EXPECT_EQ(cell(1, 2), "0026");
    EXPECT_EQ(cell(6, 2), "42");
    EXPECT_EQ(cell(7, 2), "9,876,543,210");
    EXPECT_EQ(listKind, "S");
}

TEST_F(FileListsTest, ListModesAndKinds)
{
    FileSpec s;
    s.amount = "0000000050000";
    for (const char *sub : {"sback", "recv"}) {
        put(sub, "S1.txt", s);
        put(sub, "S2.txt", s);
    }
    // The sent list: "완료" in column 10 of every row, mark column empty.
    lists.SetSentFileListTitle();
    grid.SetCell(11, 1, "x");
    lists.FillFileList(folder("\\SBack"), "S", "L");
    for (int r = 1; r <= 2; ++r) {
        EXPECT_EQ(cell(10, r), K("완료"));
        EXPECT_EQ(cell(11, r), "");
    }
    // Columns 6 and 7 from the unprocessed totals for kind R in mode L only.
    struct Case {
        const char *kind, *mode, *count, *amount;
    } cases[] = {{"R", "L", "3", "        4,500"}, {"S", "L", "10", "       50,000"},
                 {"R", "S", "10", "       50,000"}, {"S", "S", "10", "       50,000"}};
    for (const Case &c : cases) {
        lists.SetRecvFileListTitle();
        lists.FillFileList(folder("\\Recv"), c.kind, c.mode);
        EXPECT_EQ(cell(0, 2), c.kind);
        EXPECT_EQ(cell(6, 2), c.count) << c.kind << c.mode;
        EXPECT_EQ(cell(7, 2), c.amount) << c.kind << c.mode;
        if (std::string(c.mode) == "S" || std::string(c.kind) == "R") {
            EXPECT_EQ(cell(10, 2), "");
        }
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
    lists.FillFileList(folder("\\Send"), "S", "S");
    EXPECT_EQ(header::ReceiptNo(store->FileHeader), "R0003");
    EXPECT_EQ(recCount, 3);
    // A row's file again, the folder matched without regard to case.
    EXPECT_EQ(lists.LoadTransferFile(2, folder("\\SEND")), LoadResult::Loaded);
    EXPECT_EQ(header::ReceiptNo(store->FileHeader), "R0002");
    EXPECT_EQ(recCount, 2);
    // Rows outside the listing are reported, not read.
    EXPECT_EQ(lists.LoadTransferFile(4, folder("\\Send")), LoadResult::CannotOpen);
    EXPECT_EQ(lists.LoadTransferFile(0, folder("\\Send")), LoadResult::CannotOpen);
    EXPECT_EQ(boxes.count(), 2u);
    EXPECT_EQ(recCount, 2);
}

TEST_F(FileListsTest, EmptyOrMissingFolder)
{
    put("recv", "S1.txt", FileSpec{});
    lists.FillFileList(folder("\\Recv"), "R", "L");
    ASSERT_EQ(listKind, "R");
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

    EXPECT_THROW(lists.FillFileList(folder("\\Nowhere"), "S", "S"), InOutError);
    EXPECT_EQ(grid.RowCount(), 2);
    EXPECT_EQ(cell(0, 1), "");
}

TEST_F(FileListsTest, NumberThatIsNotANumberEndsTheFillAtThatRow)
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

    FileSpec badAmount;
    badAmount.amount = "000000012345X";
    put("send", "S2.txt", badAmount);
    EXPECT_THROW(lists.FillFileList(folder("\\Send"), "S", "S"), ConvertError);
    EXPECT_EQ(cell(6, 2), "10");
    EXPECT_EQ(cell(7, 2), "");
}

TEST_F(FileListsTest, UnreadableFilesLeaveTheirRowBlankAndTheFillGoesOn)
{
    FileSpec first, big, last;
    first.receipt = "FIRST";
    big.records = kMaxFileRecords + 1;
    last.receipt = "LAST1";
    put("send", "S1.txt", first);
    app.write("send/S2.txt", "too short");
    put("send", "S3.txt", big);
    put("send", "S4.txt", last);
    lists.SetSentFileListTitle();
    lists.FillFileList(folder("\\Send"), "S", "L");
    EXPECT_EQ(boxes.count(), 2u) << boxes.texts();
    ASSERT_EQ(grid.RowCount(), 5);
    for (int r : {2, 3}) {
        EXPECT_EQ(cell(0, r), "S");
        for (int c = 1; c <= 9; ++c) EXPECT_EQ(cell(c, r), "") << r << "," << c;
        EXPECT_EQ(cell(10, r), K("완료"));
    }
    EXPECT_EQ(cell(3, 1), "FIRST");
    EXPECT_EQ(cell(3, 4), "LAST1");
    EXPECT_EQ(header::ReceiptNo(store->FileHeader), "LAST1");
}

TEST(FileListBoxTest, ListsMatchingRegularFilesSortedAndKeepsThem)
{
    fmtest::TempDir dir;
    std::filesystem::create_directory(dir.file("sub"));
    const std::string d = dir.file("sub");
    for (const char *n : {"Sb.txt", "sa.TXT", "S10.txt", "Ab.txt", "S.txt.bak", ".Shidden.txt", "S1.txt", "s2.txt",
                          "S2.txt"})
        dir.write(std::string("sub/") + n, "x");
    std::filesystem::create_directory(d + "/Sfolder.txt");
    std::filesystem::create_symlink(d + "/Sb.txt", d + "/Slink.txt");
    std::filesystem::create_directory_symlink(d + "/Sfolder.txt", d + "/Sdirlink.txt");
    TFileListBox box;
    box.Mask = "S*.txt";
    box.SetDirectory(dir.path() + "\\SUB");
    // Sorted without regard to case, as a sorted list box keeps its items;
    // names that differ only in case follow their bytes.
    EXPECT_EQ(box.Items(), (std::vector<std::string>{"S1.txt", "S10.txt", "S2.txt", "s2.txt", "sa.TXT", "Sb.txt",
                                                     "Slink.txt"}));
    std::filesystem::remove(d + "/S1.txt");
    EXPECT_EQ(box.Count(), 7); // until the next update
    box.Update();
    EXPECT_EQ(box.Count(), 6);
    EXPECT_THROW(box.SetDirectory(dir.path() + "\\Gone"), InOutError);
    EXPECT_EQ(box.Count(), 0);
}

} // namespace
