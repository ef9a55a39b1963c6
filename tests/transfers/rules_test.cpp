// The exchange's rules without a window: raw file names and counters, the
// shape of received blocks, safe names, notice text and detail fields.
#include "common/errors.h"
#include "common/text.h"
#include "session/TransferRules.h"
#include "support/testutil.h"

#include <gtest/gtest.h>

using namespace fm;

TEST(TransferRules, RawFileNameAndCounters)
{
    EXPECT_EQ(RecvSuffix(1), "01");
    EXPECT_EQ(RecvSuffix(9), "09");
    EXPECT_EQ(RecvSuffix(12), "12");
    EXPECT_EQ(RecvSuffix(100), "10");
    EXPECT_EQ(RecvSuffix(123), "12");
    EXPECT_EQ(RecvFileNameOf("1234", "0026", "200", 3), "12340026.203");
    // A zero byte ends a field early.
    EXPECT_EQ(RecvFileNameOf(std::string("12\0" "4", 4), "0026", "300", 1), "120026.301");

    EXPECT_EQ(CounterNameFor("200"), "200");
    EXPECT_EQ(CounterNameFor("800"), "800");
    // Kinds without a counter share their hundred's, which gives the same letter.
    EXPECT_EQ(CounterNameFor("801"), "800");
    EXPECT_EQ(CounterNameFor("802"), "800");
    EXPECT_EQ(CounterNameFor("901"), "");
    EXPECT_EQ(CounterNameFor(""), "");
    EXPECT_EQ(CounterNameFor("2a0"), "");
}

TEST(TransferRules, SafeNamesStayInTheirFolder)
{
    EXPECT_TRUE(IsSafeBareName("12340026.201"));
    EXPECT_TRUE(IsSafeBareName("GONG0001.TXT"));
    EXPECT_TRUE(IsSafeBareName(fmtest::K("공지.txt")));
    for (const char *bad : {"", ".", "..", "../x", "a/b", "a\\b", "x..y", "..\\..\\etc"})
        EXPECT_FALSE(IsSafeBareName(bad)) << bad;
    EXPECT_FALSE(IsSafeBareName(std::string("ab\ncd")));
    EXPECT_FALSE(IsSafeBareName(std::string("ab\0cd", 5)));
}

TEST(TransferRules, ShownAmountIsReadBackOnlyInTheListsOwnForm)
{
    EXPECT_EQ(ReadShownAmount("    1,234,567"), 1234567);
    EXPECT_EQ(ReadShownAmount("            0"), 0);
    // Thirteen digits do not fit 32 bits.
    EXPECT_EQ(ReadShownAmount(FormatThousands(9999999999999LL, 13)), 9999999999999LL);
    EXPECT_EQ(ReadShownAmount(FormatThousands(-25000, 13)), -25000);
    for (const char *bad : {"", "             ", "1234,567", "1,23", "12a", "+1,000", "1,000,"})
        EXPECT_FALSE(ReadShownAmount(bad)) << bad;
}

TEST(TransferRules, BlockShapeStaysInsideData)
{
    auto s = ReadBlockShape("150", "06");
    ASSERT_TRUE(s);
    EXPECT_EQ(s->RecLen, 150);
    EXPECT_EQ(s->Count, 6);
    EXPECT_TRUE(ReadBlockShape("150                   ", "00"));
    EXPECT_TRUE(ReadBlockShape("  8", " 8")); // leading blanks are skipped
    EXPECT_FALSE(ReadBlockShape("150", "07")); // 1050 bytes: past Data
    EXPECT_TRUE(ReadBlockShape("960", "01"));
    EXPECT_FALSE(ReadBlockShape("961", "01"));
    EXPECT_FALSE(ReadBlockShape("1x0", "01"));
    EXPECT_FALSE(ReadBlockShape("150", "a1"));
    EXPECT_FALSE(ReadBlockShape("000", "01"));
    EXPECT_FALSE(ReadBlockShape("150", "-1"));
    EXPECT_FALSE(ReadBlockShape("150abc", "01")); // the whole field must be a number

    EXPECT_EQ(ReadTotal("   8   "), 8);
    EXPECT_EQ(ReadTotal("000012"), 12);
    EXPECT_FALSE(ReadTotal("12a"));
    EXPECT_FALSE(ReadTotal("      "));
}

TEST(TransferRules, RichTextShownWithoutItsControlWords)
{
    EXPECT_TRUE(IsRichText("{\\rtf1\\ansi x}"));
    EXPECT_FALSE(IsRichText("plain {\\rtf1"));
    const std::string rtf =
        "{\\rtf1\\ansi\\ansicpg949\\deff0{\\fonttbl{\\f0\\fnil\\fcharset129 Gulim;}}"
        "{\\colortbl ;\\red255\\green0\\blue0;}{\\*\\generator Writer;}"
        "\\viewkind4\\pard\\f0\\fs18 First line\\par\n\\b Bold\\b0\\tab x \\{y\\}\\\\ \\'b0\\'a1 end\\par}";
    EXPECT_EQ(RtfToPlain(rtf), "First line\nBold\tx {y}\\ \xb0\xa1 end\n");
    // \uN with its stand-in character skipped.
    EXPECT_EQ(RtfToPlain("{\\rtf1\\uc1 A\\u44032?B}"), "A" + fmtest::K("가") + "B");
    // Unbalanced input ends without running past it.
    EXPECT_EQ(RtfToPlain("{\\rtf1 x}}}\\"), "x");
    EXPECT_EQ(RtfToPlain("{\\rtf1 a\\'4"), "a4");
}

TEST(TransferRules, DetailFields)
{
    EXPECT_EQ(ReasonBankKey("26"), "26");
    EXPECT_EQ(ReasonBankKey("11"), "11");
    EXPECT_EQ(ReasonBankKey("12"), "12");
    EXPECT_EQ(ReasonBankKey("20"), "99");
    EXPECT_EQ(ReasonBankKey("  "), "99");
    EXPECT_EQ(ReasonResultCode("12  "), "0012");
    EXPECT_EQ(ReasonResultCode("    "), "0000");

    EXPECT_EQ(DetailAmount("00001234567", 11), "  1,234,567");
    EXPECT_EQ(DetailAmount("00000000000", 11), "          0");
    EXPECT_EQ(DetailAmount("00050000", 8), "  50,000");
    // Wider than 32 bits: shown, not refused.
    EXPECT_EQ(DetailAmount("09999999999", 11), "9,999,999,999");
    EXPECT_THROW(DetailAmount("12a45678901", 11), ConvertError);
    EXPECT_THROW(DetailAmount("       ", 8), ConvertError);
}
