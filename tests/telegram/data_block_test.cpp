#include "common/errors.h"
#include "session/TelegramBuilders.h"
#include "support/testutil.h"
#include "telegram_util.h"

#include <cstring>
#include <gtest/gtest.h>

using namespace fm;
using tgtest::Blanks;
using tgtest::Header;

namespace {

// Record i of a copy: its number zero-filled to the record length.
std::string Line(int i, size_t len)
{
    return std::string(len - std::to_string(i).size(), '0') + std::to_string(i);
}

std::string Records(int from, int count, size_t len = 148, const std::string &eol = "")
{
    std::string s;
    for (int i = from; i < from + count; ++i) s += Line(i, len) + eol;
    return s;
}

class DataBlocks : public ::testing::Test {
protected:
    void SetUp() override
    {
        tgtest::SetLocalTime(2024, 3, 5, 9, 1, 2);
        std::memset(&t, 'X', sizeof t);
        b.SendTelegram = [this] { sent.push_back(t.ToString()); };
        b.SendRowCountText = [this] { return countCell; };
        b.LogSendLine = [this](const std::string &l) { logged.push_back(l); };
        b.OnLinesRead = [this](int n) { progress.push_back(n); };
    }
    void TearDown() override { SetClockForTesting(nullptr); }

    // Writes the copy, opens it as the accepted transfer does, and sends the
    // first block and then `more` further ones.
    void run(const std::string &count, const std::string &copy, int more)
    {
        countCell = count;
        sent.clear();
        dir.write("copy.txt", copy);
        send.OpenCopy(dir.file("copy.txt"));
        b.SendNextDataBlock("K001", '2', 1);
        for (int i = 0; i < more; ++i) b.SendNextDataBlock("K001", '2', 2);
    }
    std::string block(const std::string &countSeq, const std::string &data)
    {
        return Header("2", "0710100", "K001", "20240305090102", countSeq + "00S", "148") +
               Blanks(data, 960);
    }
    std::string end(const std::string &total)
    {
        return Header("0", "0800800", "ZEMA", "20240305090102", "00000000100S") + Blanks(total, 960);
    }

    fmtest::TempDir dir;
    TTelegram t;
    std::string compCd = "AB", countCell;
    TSendState send;
    TTelegramBuilders b{t, compCd, send};
    std::vector<std::string> sent, logged;
    std::vector<int> progress;
};

} // namespace

TEST_F(DataBlocks, TheCopyIsReadLineByLineWithoutLineEnds)
{
    send.SendBlockSeq = 9;
    dir.write("c.txt", "abcdefghij\r\nde\nf");
    send.OpenCopy(dir.file("c.txt"));
    EXPECT_EQ(send.BlockData, "abcdefghij");
    EXPECT_EQ(send.RecLen, 10);
    EXPECT_EQ(send.LinesRead, 1);
    EXPECT_EQ(send.SendBlockSeq, 0);
    EXPECT_EQ(send.ReadLine(), "de");
    EXPECT_EQ(send.ReadLine(), "f");
    EXPECT_TRUE(send.AtEnd());

    EXPECT_THROW(send.OpenCopy(dir.file("missing.txt")), InOutError);
    EXPECT_THROW(b.SendNextDataBlock("K001", '2', 2), InOutError); // no copy open
    EXPECT_TRUE(sent.empty());
}

TEST_F(DataBlocks, BlocksOfWholeRecordsThenTheEnd)
{
    run("10", Records(0, 12, 148, "\r\n"), 2);
    EXPECT_EQ(sent, (std::vector<std::string>{block("060000001", Records(0, 6)),
                                              block("060000002", Records(6, 6)), end("000012")}));
    ASSERT_EQ(logged.size(), 2u); // blocks are logged once more; the end is not
    EXPECT_EQ(logged[1], "SEND==>" + sent[1]);
    EXPECT_EQ(progress, (std::vector<int>{6, 12})); // once a block

    run("16", Records(0, 18, 148, "\n"), 2); // the third block
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[2], block("060000003", Records(12, 6)));

    run(" 3 ", Records(0, 5, 148, "\r\n"), 1); // one block of five
    EXPECT_EQ(sent, (std::vector<std::string>{block("050000001", Records(0, 5)), end("000005")}));

    run("5", Records(0, 7, 148, "\r\n"), 2); // six, then one
    EXPECT_EQ(sent, (std::vector<std::string>{block("060000001", Records(0, 6)),
                                              block("010000002", Records(6, 1)), end("000007")}));

    run("10", Line(0, 148), 0); // only the first line: the end at once
    EXPECT_EQ(sent, (std::vector<std::string>{end("000012")}));
    EXPECT_EQ(send.SendBlockSeq, 0);
}

TEST_F(DataBlocks, RecordLengthsAtTheLimits)
{
    run("94", Records(0, 96, 10, "\r\n"), 0); // ten-byte records: 96 a block
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].substr(30, 16), "9600000010" "0S010 ");
    EXPECT_EQ(sent[0].substr(64), Records(0, 96, 10));

    run("0", Records(0, 2, 960, "\r\n"), 2); // 960-byte records: one a block
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[1].substr(30, 15), "01000000200S960");
    EXPECT_EQ(sent[1].substr(64), Line(1, 960));
    EXPECT_EQ(sent[2].substr(64, 6), "000002");
}

TEST_F(DataBlocks, BadCopiesAndCountsAreRefusedBeforeAnythingIsSent)
{
    // Record lengths 0, 9 and 961, and a later line longer than the first.
    for (const std::string &copy : {"\r\n" + Line(1, 148), "123456789\r\n" + Line(1, 148),
                                    Line(0, 961) + "\r\n" + Line(1, 148),
                                    Records(0, 2, 148, "\r\n") + Line(2, 700)}) {
        EXPECT_THROW(run("3", copy, 0), Error);
        EXPECT_EQ(send.SendBlockSeq, 0);
    }
    for (const char *cell : {"1O", ""}) {
        EXPECT_THROW(run(cell, Records(0, 12, 148, "\r\n"), 0), ConvertError) << cell;
        EXPECT_THROW(b.SendTransmitEnd(), ConvertError) << cell;
    }
    EXPECT_THROW(run("-3", Records(0, 12, 148, "\r\n"), 0), Error);
    EXPECT_THROW(b.SendTransmitEnd(), Error);
    EXPECT_TRUE(sent.empty());
    EXPECT_EQ(t.ToString(), std::string(1024, 'X'));
}

TEST_F(DataBlocks, CopiesOfAnotherLengthThanTheList)
{
    // Fewer lines: the block still announces the computed count, the end
    // the list's total.
    run("10", Records(0, 8, 148, "\r\n"), 2);
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[1], block("060000002", Records(6, 2)));
    EXPECT_EQ(sent[2], end("000012"));
    EXPECT_EQ(send.LinesRead, 8);

    // More lines: the file ends once the list's records have gone out.
    run("3", Records(0, 9, 148, "\r\n"), 1);
    EXPECT_EQ(sent, (std::vector<std::string>{block("050000001", Records(0, 5)), end("000005")}));
}
