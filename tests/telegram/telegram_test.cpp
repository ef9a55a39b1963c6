#include "session/TelegramBuilders.h"
#include "support/testutil.h"
#include "telegram_util.h"

#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <set>

using namespace fm;
using tgtest::Blanks;
using tgtest::Header;

TEST(TelegramRecord, FieldsSitAtTheirOffsetsAndAreFormedByTheByteRule)
{
    TTelegram t;
    std::memset(&t, '.', sizeof t);
    SetText(t.JobKind, "J");
    SetText(t.CompCd, "AB");        // blank-filled
    SetText(t.SubCode, "SSSSSSSS"); // cut to 4
    SetNumber(t.RecCount, 123);     // leftmost two digits
    SetNumber(t.BlockSeq, 3);       // zero-filled
    SetText(t.RecInfo, "148");
    EXPECT_EQ(t.ToString(), "J.......AB  SSSS" + std::string(14, '.') + "120000003..." +
                                Blanks("148", 22) + std::string(960, '.'));

    // Korean syllables count two bytes; the cut may split one.
    const std::string aGaNa = fmtest::K("A가나");
    SetText(t.CompCd, aGaNa);
    EXPECT_EQ(FieldRaw(t.CompCd), aGaNa.substr(0, 4));
    EXPECT_EQ(FieldRaw(t.CompCd).substr(1, 2), fmtest::K("가"));

    std::memcpy(t.MsgCode, "081\0" "100", 7);
    EXPECT_EQ(FieldText(t.MsgCode), "081");
    EXPECT_EQ(FieldRaw(t.MsgCode).size(), 7u);
}

TEST(TelegramCodes, TwentyFourDistinctCodesReadUpToSevenCharacters)
{
    std::set<std::string> texts, names;
    for (int i = 0; i < TelegramCodeCount; ++i) {
        const auto c = static_cast<TTelegramCode>(i);
        texts.insert(CodeText(c));
        names.insert(CodeName(c));
        EXPECT_EQ(CodeFromText(CodeText(c)), c) << CodeName(c);
    }
    EXPECT_EQ(texts.size(), 24u);
    EXPECT_EQ(names.size(), 24u);
    EXPECT_STREQ(CodeText(TTelegramCode::tcTransferEndAck), "0810800");
    EXPECT_STREQ(CodeName(TTelegramCode::tcNoticeBlockAck), "tcNoticeBlockAck");

    EXPECT_EQ(CodeFromText("0730100XYZ"), TTelegramCode::tcTransferNext);
    EXPECT_EQ(CodeFromText(std::string("0810100\0", 8)), TTelegramCode::tcLoginResp);
    for (std::string bad : {std::string("08101\0" "00", 7), std::string(""), std::string("081010"),
                            std::string("9999999"), std::string(" 0810100")})
        EXPECT_FALSE(CodeFromText(bad).has_value()) << bad;
}

TEST(Builders, EachBuilderWritesTheWholeRecord)
{
    TTelegram t;
    std::string compCd = "AB";
    TSendState send;
    TTelegramBuilders b{t, compCd, send};
    std::vector<std::string> sent;
    b.SendTelegram = [&] { sent.push_back(t.ToString()); };
    tgtest::SetLocalTime(2024, 3, 5, 17, 8, 9);
    const std::string st = "20240305170809";

    struct Case {
        std::function<void()> build;
        std::string header, data;
    } cases[] = {
        {[&] { b.SendLoginRequest("pw12"); }, Header("0", "0800100", "ZEMA", st), "pw12"},
        {[&] { b.SendLogoutRequest(); }, Header("0", "0800900", "ZEMA", st), ""},
        {[&] { b.SendResultListRequest("20240101", "20240131", "R"); },
         Header("6", "0600100", "ZEMA", st), "2024010120240131R"},
        {[&] { b.SendResultListAck("00"); }, Header("6", "0620100", "ZEMA", st), ""},
        {[&] { b.SendResultListAck(""); }, Header("6", "0620100", "ZEMA", st, "000000001   "), ""},
        {[&] { b.SendReceiveRequest("0088", "300", "20240304", "12"); },
         Header("3", "0700100", "0088", st, "00000000100R"), "2024030412"},
        {[&] { b.SendReceiveBlockAck('3', "K7Q1", "00"); },
         Header("3", "0710100", "K7Q1", st, "00000000100R"), ""},
        {[&] { b.SendReceiveEndAck(36, "13"); },
         Header("0", "0810800", "ZEMA", st, "00000000113R"), "000036"},
        {[&] { b.SendTransmitRequest("0004", "200"); },
         Header("2", "0700100", "0004", st, "00000000100S"), ""},
        {[&] { b.SendTransmitRequest("0004", ""); },
         Header(" ", "0700100", "0004", st, "00000000100S"), ""},
        {[&] { b.SendPasswordChange("old1", "new22"); }, Header("3", "0300100", "ZEMA", st),
         "old1      new22"},
        {[&] { b.SendNoticeListRequest("20240201", "20240229"); },
         Header("4", "0400100", "ZEMA", st), "2024020120240229"},
        {[&] { b.SendNoticeListAck(""); }, Header("4", "0420100", "ZEMA", st, "000000001   "), ""},
        {[&] { b.SendNoticeFileRequest("G20240305.txt"); }, Header("5", "0500100", "ZEMA", st),
         "G20240305.txt"},
        {[&] { b.SendNoticeBlockAck("00"); },
         Header("5", "0510100", "ZEMA", st, "00000000100G"), ""},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        std::memset(&t, 'X', sizeof t); // nothing earlier may show through
        sent.clear();
        cases[i].build();
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(sent[0], cases[i].header + Blanks(cases[i].data, 960));
    }

    // The company code is read at each build; empty gives four blanks,
    // Korean is cut at the width in bytes, and so is Data.
    sent.clear();
    compCd.clear();
    b.SendLogoutRequest();
    compCd = fmtest::K("가나다");
    std::string name;
    for (int i = 0; i < 481; ++i) name += fmtest::K("공");
    b.SendNoticeFileRequest(name);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].substr(8, 4), "    ");
    EXPECT_EQ(sent[1].substr(8, 4), fmtest::K("가나"));
    EXPECT_EQ(sent[1].substr(64), name.substr(0, 960));

    // The time is taken anew for each telegram, hours 00 to 23.
    tgtest::SetLocalTime(2023, 12, 31, 23, 59, 58);
    b.SendLogoutRequest();
    tgtest::SetLocalTime(2024, 1, 1, 0, 5, 6);
    b.SendLogoutRequest();
    ASSERT_EQ(sent.size(), 4u);
    EXPECT_EQ(sent[2].substr(16, 14), "20231231235958");
    EXPECT_EQ(sent[3].substr(16, 14), "20240101000506");
    SetClockForTesting(nullptr);
}
