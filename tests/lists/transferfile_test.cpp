// Reading one transfer file into the loaded-file store.
#include "common/text.h"
#include "session/TransferFile.h"
#include "support/testutil.h"
#include "transfer_builder.h"

#include <gtest/gtest.h>
#include <filesystem>
#include <memory>

using namespace fm;
using listtest::FileSpec;

namespace {

class TransferFileTest : public ::testing::Test {
protected:
    fmtest::TempDir dir;
    fmtest::ScriptedBoxes boxes;
    std::unique_ptr<TLoadedFile> store = std::make_unique<TLoadedFile>();
    int recCount = -7;

    LoadResult load(const std::string &name) { return LoadTransferFile(dir.file(name), *store, recCount); }

    // Loads a known file first, so that refusals can be seen to leave it.
    void preload()
    {
        FileSpec s;
        s.records = 2;
        s.receipt = "PRE01";
        dir.write("Spre.txt", listtest::File(s));
        ASSERT_EQ(load("Spre.txt"), LoadResult::Loaded);
        ASSERT_EQ(recCount, 2);
        boxes.clear();
    }
    void expectPreloadKept()
    {
        EXPECT_EQ(recCount, 2);
        EXPECT_EQ(header::ReceiptNo(store->FileHeader), "PRE01");
        EXPECT_EQ(Trimmed(data::StudentNo(store->Record(2))), "2");
    }
};

TEST_F(TransferFileTest, SizeRuleWithAndWithoutTrailerLineEnd)
{
    FileSpec s;
    s.trailerCrLf = false;
    dir.write("S298.txt", listtest::File(s));
    ASSERT_EQ(dir.read("S298.txt").size(), 298u);
    EXPECT_EQ(load("S298.txt"), LoadResult::Loaded);
    EXPECT_EQ(recCount, 0);

    s.trailerCrLf = true;
    dir.write("S300.txt", listtest::File(s));
    ASSERT_EQ(dir.read("S300.txt").size(), 300u);
    recCount = -7;
    EXPECT_EQ(load("S300.txt"), LoadResult::Loaded);
    EXPECT_EQ(recCount, 0);

    for (bool crlf : {true, false}) {
        s.records = 10;
        s.trailerCrLf = crlf;
        s.count = crlf ? "0000010" : "0000011";
        dir.write("S10.txt", listtest::File(s));
        recCount = -7;
        ASSERT_EQ(load("S10.txt"), LoadResult::Loaded);
        EXPECT_EQ(recCount, 10);
        for (int r = 1; r <= 10; ++r) EXPECT_EQ(Trimmed(data::StudentNo(store->Record(r))), std::to_string(r));
        // The trailer is the record after the last data record, and a
        // missing line end is completed.
        EXPECT_EQ(trailer::TotalCount(store->FileTrailer), s.count);
        EXPECT_EQ(store->FileTrailer.View().substr(148), "\r\n");
    }
    EXPECT_EQ(boxes.count(), 0u) << boxes.texts();
}

TEST_F(TransferFileTest, FieldsAtTheirPlaces)
{
    FileSpec s;
    s.records = 1;
    std::string f = listtest::File(s);
    // A data record with every field the detail list reads.
    f.replace(150, 150,
              listtest::Record({{35, "S000000001"}, {55, fmtest::K("홍길동")}, {65, "04"},
                                {67, "1111222233334444"}, {83, "20240302"}, {91, "00012000"},
                                {108, "00000012000"}, {119, "0012"}, {123, fmtest::K("급식비")}}));
    dir.write("S1.txt", f);
    ASSERT_EQ(load("S1.txt"), LoadResult::Loaded);
    const TTransferRecord &h = store->FileHeader;
    EXPECT_EQ(header::ReceiptNo(h), "12345");
    EXPECT_EQ(header::InstitutionCd(h), "A123456789");
    EXPECT_EQ(header::BankCd(h), "26");
    EXPECT_EQ(header::FirstTransferDate(h), "20240301");
    EXPECT_EQ(header::LastTransferDate(h), "20240305");
    EXPECT_EQ(header::SchoolAccountNo(h), "1234567890123456");
    const TTransferRecord &d = store->Record(1);
    EXPECT_EQ(data::StudentNo(d), "S000000001");
    EXPECT_EQ(Trimmed(data::StudentName(d)), fmtest::K("홍길동"));
    EXPECT_EQ(data::BankCd(d), "04");
    EXPECT_EQ(data::AccountNo(d), "1111222233334444");
    EXPECT_EQ(data::TransferDate(d), "20240302");
    EXPECT_EQ(data::TransferAmount(d), "00012000");
    EXPECT_EQ(data::UnprocessedAmount(d), "00000012000");
    EXPECT_EQ(data::ResultCd(d), "0012");
    EXPECT_EQ(Trimmed(data::ItemName(d)), fmtest::K("급식비"));
    const TTransferRecord &t = store->FileTrailer;
    EXPECT_EQ(trailer::TotalCount(t), "0000010");
    EXPECT_EQ(trailer::TotalAmount(t), "0000001234567");
    EXPECT_EQ(trailer::UnprocTotalCount(t), "0000003");
    EXPECT_EQ(trailer::UnprocTotalAmount(t), "0000000004500");
}

TEST_F(TransferFileTest, FieldIsCutAtZeroByte)
{
    FileSpec s;
    s.receipt = std::string("12\0" "45", 5);
    dir.write("S1.txt", listtest::File(s));
    ASSERT_EQ(load("S1.txt"), LoadResult::Loaded);
    EXPECT_EQ(header::ReceiptNo(store->FileHeader), "12");
}

TEST_F(TransferFileTest, MissingFileIsReportedAndChangesNothing)
{
    preload();
    EXPECT_EQ(load("Snone.txt"), LoadResult::CannotOpen);
    ASSERT_EQ(boxes.count(), 1u);
    EXPECT_EQ(boxes.last().text, QStringLiteral("파일이 없습니다!"));
    EXPECT_EQ(boxes.last().caption, QStringLiteral("오류"));
    EXPECT_EQ(boxes.last().icon, MsgIcon::Error);
    expectPreloadKept();
}

TEST_F(TransferFileTest, FileShorterThanHeaderAndTrailerIsRefused)
{
    preload();
    for (size_t size : {size_t(297), size_t(200), size_t(148), size_t(0)}) {
        dir.write("Sshort.txt", listtest::File(FileSpec{}).substr(0, size));
        boxes.clear();
        EXPECT_EQ(load("Sshort.txt"), LoadResult::NotTransferFile) << size;
        ASSERT_EQ(boxes.count(), 1u);
        EXPECT_TRUE(boxes.last().text.startsWith(QStringLiteral("이체파일이 아닙니다!"))) << boxes.texts();
        EXPECT_TRUE(boxes.last().text.contains("Sshort.txt"));
        EXPECT_EQ(boxes.last().caption, QStringLiteral("오류"));
        expectPreloadKept();
    }
}

TEST_F(TransferFileTest, StoreTakesTenThousandAndOneRecordsButNoMore)
{
    FileSpec s;
    s.records = kMaxFileRecords;
    dir.write("Sfull.txt", listtest::File(s));
    ASSERT_EQ(load("Sfull.txt"), LoadResult::Loaded);
    EXPECT_EQ(recCount, kMaxFileRecords);
    EXPECT_EQ(Trimmed(data::StudentNo(store->Record(kMaxFileRecords))), "10001");
    EXPECT_EQ(trailer::TotalCount(store->FileTrailer), s.count);

    preload();
    s.records = kMaxFileRecords + 1;
    dir.write("Sbig.txt", listtest::File(s));
    EXPECT_EQ(load("Sbig.txt"), LoadResult::TooLarge);
    ASSERT_EQ(boxes.count(), 1u);
    EXPECT_TRUE(boxes.last().text.contains("10001")) << boxes.texts();
    EXPECT_TRUE(boxes.last().text.contains("Sbig.txt"));
    EXPECT_EQ(boxes.last().caption, QStringLiteral("오류"));
    EXPECT_EQ(boxes.last().icon, MsgIcon::Error);
    expectPreloadKept();
    EXPECT_EQ(store->FileRecords.size(), size_t(kMaxFileRecords));
}

TEST_F(TransferFileTest, ExtraBytesAfterTrailerAreTolerated)
{
    // Up to 147 bytes beyond a whole file still give the same N.
    FileSpec s;
    s.records = 3;
    dir.write("Sx.txt", listtest::File(s) + std::string(147, 'x'));
    ASSERT_EQ(load("Sx.txt"), LoadResult::Loaded);
    EXPECT_EQ(recCount, 3);
    EXPECT_EQ(trailer::TotalCount(store->FileTrailer), s.count);
    EXPECT_EQ(store->FileTrailer.View().substr(148), "\r\n");
    dir.write("Sx.txt", listtest::File(s) + std::string(148, 'x'));
    ASSERT_EQ(load("Sx.txt"), LoadResult::Loaded);
    EXPECT_EQ(recCount, 4);
}

TEST_F(TransferFileTest, FolderInPlaceOfFileCannotBeOpened)
{
    preload();
    std::filesystem::create_directory(dir.file("Sdir.txt"));
    EXPECT_EQ(load("Sdir.txt"), LoadResult::CannotOpen);
    EXPECT_TRUE(boxes.anyWithText(QStringLiteral("파일이 없습니다!")));
    expectPreloadKept();
}

} // namespace
