// Reading one transfer file into the loaded-file store.
#include "common/text.h"
#include "session/TransferFile.h"
#include "support/testutil.h"
#include "transfer_builder.h"

#include <filesystem>
#include <gtest/gtest.h>
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
    std::string studentNo(int r) const { return Trimmed(data::StudentNo(store->Record(r))); }

    // Loads a known file, so that a refusal can be seen to leave it.
    void preload()
    {
        FileSpec s;
        s.records = 2;
        s.receipt = "PRE01";
        dir.write("Spre.txt", listtest::File(s));
        ASSERT_EQ(load("Spre.txt"), LoadResult::Loaded);
        boxes.clear();
    }
    void expectRefused(LoadResult got, LoadResult want, const QString &textStart)
    {
        EXPECT_EQ(got, want);
        ASSERT_EQ(boxes.count(), 1u) << boxes.texts();
        EXPECT_TRUE(boxes.last().text.startsWith(textStart)) << boxes.texts();
        EXPECT_EQ(boxes.last().caption, QStringLiteral("오류"));
        EXPECT_EQ(boxes.last().icon, MsgIcon::Error);
        EXPECT_EQ(recCount, 2);
        EXPECT_EQ(header::ReceiptNo(store->FileHeader), "PRE01");
        EXPECT_EQ(studentNo(2), "2");
        boxes.clear();
    }
};

TEST_F(TransferFileTest, SizeRuleWithAndWithoutTrailerLineEnd)
{
    // 298 and 300 bytes: no data records; 10 records either way; up to 147
    // bytes after a whole file change nothing, 148 make one record more.
    struct Case {
        int records;
        bool crlf;
        int extra, wantN;
    } cases[] = {{0, false, 0, 0}, {0, true, 0, 0}, {10, true, 0, 10}, {10, false, 0, 10},
                 {3, true, 147, 3}, {3, true, 148, 4}};
    for (const Case &c : cases) {
        FileSpec s;
        s.records = c.records;
        s.trailerCrLf = c.crlf;
        s.count = "00000" + std::to_string(c.wantN + 10);
        dir.write("S.txt", listtest::File(s) + std::string(size_t(c.extra), 'x'));
        ASSERT_EQ(load("S.txt"), LoadResult::Loaded);
        EXPECT_EQ(recCount, c.wantN);
        for (int r = 1; r <= c.records; ++r) EXPECT_EQ(studentNo(r), std::to_string(r));
        if (c.wantN == c.records) {
            EXPECT_EQ(trailer::TotalCount(store->FileTrailer), s.count);
            EXPECT_EQ(store->FileTrailer.View().substr(148), "\r\n"); // completed when missing
        }
    }
    EXPECT_EQ(boxes.count(), 0u) << boxes.texts();
}

TEST_F(TransferFileTest, RefusedFilesLeaveTheStore)
{
    preload();
    expectRefused(load("Snone.txt"), LoadResult::CannotOpen, QStringLiteral("파일이 없습니다!"));
    std::filesystem::create_directory(dir.file("Sdir.txt"));
    expectRefused(load("Sdir.txt"), LoadResult::CannotOpen, QStringLiteral("파일이 없습니다!"));
    for (size_t size : {297, 148, 0}) {
        dir.write("Sshort.txt", listtest::File(FileSpec{}).substr(0, size));
        expectRefused(load("Sshort.txt"), LoadResult::NotTransferFile, QStringLiteral("이체파일이 아닙니다!"));
    }
}

TEST_F(TransferFileTest, StoreTakesTenThousandAndOneRecordsButNoMore)
{
    FileSpec s;
    s.records = kMaxFileRecords;
    dir.write("Sfull.txt", listtest::File(s));
    ASSERT_EQ(load("Sfull.txt"), LoadResult::Loaded);
    EXPECT_EQ(recCount, kMaxFileRecords);
    EXPECT_EQ(studentNo(kMaxFileRecords), "10001");
    EXPECT_EQ(trailer::TotalCount(store->FileTrailer), s.count);

    preload();
    s.records = kMaxFileRecords + 1;
    dir.write("Sbig.txt", listtest::File(s));
    expectRefused(load("Sbig.txt"), LoadResult::TooLarge, QStringLiteral("이체자료가 10001건을 넘어"));
    EXPECT_EQ(store->FileRecords.size(), size_t(kMaxFileRecords));
}

} // namespace
