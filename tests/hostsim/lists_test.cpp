// The result list and the notice list: rows, blocks, acknowledgements and
// the answer when nothing is found.
#include "hostclient.h"

using namespace hstest;

namespace {

// A result row laid out field by field: direction, bank, kind, date, start,
// end, records (6), sequence (3), receptions (4).
std::string ResultRow(int i, const std::string &date)
{
    char seq[4], recs[7];
    std::snprintf(seq, sizeof seq, "%03d", i % 1000);
    std::snprintf(recs, sizeof recs, "%06d", 100 + i);
    return std::string(i % 3 ? "R" : "S") + "0011" + "100" + date + "093000" + "094500" + recs +
           seq + "0001";
}

class Lists : public HostTest {
protected:
    void SetUp() override
    {
        HostTest::SetUp();
        for (int i = 0; i < 30; ++i)
            host.scenario().resultRows.push_back(ResultRow(i, i < 20 ? "20250310" : "20250312"));
        for (int i = 0; i < 9; ++i)
            host.scenario().noticeRows.push_back(
                "2025031" + std::to_string(i % 2) + "101500" +
                Pad(fmtest::K("공지 ") + std::to_string(i), 80) + Pad("N" + std::to_string(i) + ".txt", 20));
        ASSERT_EQ(Code(client.logIn(host.port(), "1234", "1111")), "0810100");
    }

    // Rows of a block, cut at the row length the block gives.
    static std::vector<std::string> Rows(const std::string &block)
    {
        int n = std::stoi(RecCount(block));
        int len = std::stoi(RecInfo(block));
        std::vector<std::string> rows;
        for (int i = 0; i < n; ++i)
            rows.push_back(Data(block).substr(size_t(i * len), size_t(len)));
        return rows;
    }

    Client client;
};

TEST(ResultRowLayout, FieldsAtTheirOffsets)
{
    EXPECT_EQ(hostsim::MakeResultRow('R', "0011", "100", "20250310", "093000", "094500", 102, 7, 3),
              "R0011100202503100930000945000001020070003");
    // Too long values are cut to their field, short texts padded.
    EXPECT_EQ(hostsim::MakeResultRow('S', "81", "2", "20250310", "1", "2", 1234567, 1234, 12345),
              std::string("S") + "81  " + "2  " + "20250310" + "1     " + "2     " + "123456" +
                  "123" + "1234");
}

TEST_F(Lists, ThirtyResultRowsInTwoBlocksWithAcknowledgements)
{
    client.send(Request('6', "0600100", "1234", "2025030120250331R"));
    std::string start = client.telegram();
    EXPECT_EQ(Code(start), "0610100");
    EXPECT_EQ(Resp(start), "00");
    EXPECT_EQ(Comp(start), "1234");

    std::string first = client.telegram();
    EXPECT_EQ(Code(first), "0630100");
    EXPECT_EQ(RecCount(first), "23");
    EXPECT_EQ(RecInfo(first), Pad("41", 22));
    EXPECT_EQ(Data(first).substr(943), std::string(17, ' '));
    // No second block before the acknowledgement.
    EXPECT_FALSE(client.frame(300));

    client.send(Request('6', "0620100", "1234"));
    std::string second = client.telegram();
    EXPECT_EQ(Code(second), "0630100");
    EXPECT_EQ(RecCount(second), "07");
    EXPECT_EQ(Data(second).substr(7 * 41), std::string(960 - 7 * 41, ' '));

    std::vector<std::string> rows = Rows(first), more = Rows(second);
    rows.insert(rows.end(), more.begin(), more.end());
    EXPECT_EQ(rows, host.scenario().resultRows);

    // The last block is acknowledged too; nothing follows, no end telegram.
    client.send(Request('6', "0620100", "1234"));
    EXPECT_FALSE(client.frame(300));
    EXPECT_TRUE(host.protocolErrors().empty());
    EXPECT_EQ(host.receivedCodes(),
              (std::vector<std::string>{"0800100", "0600100", "0620100", "0620100"}));
}

TEST_F(Lists, ResultRowsFilteredBySendDate)
{
    client.send(Request('6', "0600100", "1234", "2025031120250312R"));
    EXPECT_EQ(Code(client.telegram()), "0610100");
    std::string block = client.telegram();
    EXPECT_EQ(RecCount(block), "10");
    for (const auto &row : Rows(block))
        EXPECT_EQ(row.substr(8, 8), "20250312");
    // Both ends of the range count.
    client.send(Request('6', "0600100", "1234", "2025031020250310R"));
    EXPECT_EQ(Code(client.telegram()), "0610100");
    EXPECT_EQ(RecCount(client.telegram()), "20");
}

TEST_F(Lists, NothingFoundIsError16AndOnlyRIsAListKind)
{
    client.send(Request('6', "0600100", "1234", "2024010120241231R"));
    std::string a = client.telegram();
    EXPECT_EQ(Resp(a), "16");
    EXPECT_EQ(Code(a), "0610100");
    EXPECT_FALSE(client.frame(200)) << "no blocks after error 16";

    client.send(Request('4', "0400100", "1234", "2026010120261231"));
    EXPECT_EQ(Resp(client.telegram()), "16");

    client.send(Request('6', "0600100", "1234", "2025030120250331S"));
    EXPECT_EQ(Resp(client.telegram()), "08");

    // An acknowledgement with no list under way is not answered.
    client.send(Request('6', "0620100", "1234"));
    EXPECT_FALSE(client.frame(200));
    EXPECT_EQ(host.protocolErrors().size(), 1u);
}

TEST_F(Lists, NineNoticesInBlocksOfEight)
{
    client.send(Request('4', "0400100", "1234", "2025030120250331"));
    EXPECT_EQ(Code(client.telegram()), "0410100");
    std::string first = client.telegram();
    EXPECT_EQ(Code(first), "0430100");
    EXPECT_EQ(RecCount(first), "08");
    EXPECT_EQ(RecInfo(first), Pad("114", 22));
    EXPECT_EQ(Data(first).substr(912), std::string(48, ' '));
    EXPECT_FALSE(client.frame(300));

    client.send(Request('4', "0420100", "1234"));
    std::string second = client.telegram();
    EXPECT_EQ(Code(second), "0430100");
    EXPECT_EQ(RecCount(second), "01");
    std::vector<std::string> rows = Rows(first);
    rows.push_back(Rows(second)[0]);
    EXPECT_EQ(rows, host.scenario().noticeRows);

    client.send(Request('4', "0420100", "1234"));
    EXPECT_FALSE(client.frame(300));
    EXPECT_TRUE(host.protocolErrors().empty());

    // By date: the notices of the 11th only.
    client.send(Request('4', "0400100", "1234", "2025031120250311"));
    EXPECT_EQ(Code(client.telegram()), "0410100");
    EXPECT_EQ(RecCount(client.telegram()), "04");
}

TEST_F(Lists, ANewQueryReplacesTheListUnderWay)
{
    client.send(Request('6', "0600100", "1234", "2025030120250331R"));
    client.telegram();
    client.telegram();
    client.send(Request('4', "0400100", "1234", "2025030120250331"));
    EXPECT_EQ(Code(client.telegram()), "0410100");
    EXPECT_EQ(RecInfo(client.telegram()), Pad("114", 22));
    client.send(Request('6', "0620100", "1234"));
    EXPECT_FALSE(client.frame(200)) << "no result block after the notice query";
}

} // namespace
