#include "common/codec.h"
#include "common/errors.h"
#include "common/text.h"
#include "support/testutil.h"

#include <gtest/gtest.h>

#include <clocale>

using namespace fm;

TEST(StrToInt, AcceptsBlanksSignAndDigits)
{
    EXPECT_EQ(StrToInt(" 7"), 7);
    EXPECT_EQ(StrToInt("+5"), 5);
    EXPECT_EQ(StrToInt("-1"), -1);
    EXPECT_EQ(StrToInt("   000123"), 123);
    EXPECT_EQ(StrToInt("2147483647"), 2147483647);
    EXPECT_EQ(StrToInt("-2147483648"), -2147483647 - 1);
}

TEST(StrToInt, RefusesEverythingElseWithTheFrameworkText)
{
    for (const char *bad : {"", "  ", "0 ", "ab", "1a", "+", "- 1", "2147483648", "-2147483649",
                            "99999999999999999999", "\t1"}) {
        try {
            StrToInt(bad);
            ADD_FAILURE() << "accepted '" << bad << "'";
        } catch (const ConvertError &e) {
            EXPECT_EQ(std::string(e.what()), std::string("'") + bad + "' is not a valid integer value");
        }
    }
}

TEST(StrToInt, WideReadingKeepsThirteenDigitAmounts)
{
    EXPECT_EQ(StrToInt64("9999999999999"), 9999999999999LL);
    EXPECT_THROW(StrToInt("9999999999999"), ConvertError);
    EXPECT_THROW(StrToInt64("12 "), ConvertError);
}

TEST(Trimmed, RemovesBlanksAndControlCharactersAtBothEnds)
{
    EXPECT_EQ(Trimmed("  ab c \r\n\t"), "ab c");
    EXPECT_EQ(Trimmed(std::string("\0x\0", 3)), "x");
    EXPECT_EQ(Trimmed("   "), "");
    EXPECT_EQ(Trimmed(fmtest::K(" 가나 ")), fmtest::K("가나"));
}

TEST(Padding, CountsBytesAndNeverShortens)
{
    EXPECT_EQ(PadLeftZero("12", 6), "000012");
    EXPECT_EQ(PadLeftZero("1234567", 6), "1234567");
    EXPECT_EQ(PadLeftZero("", 3), "000");
    EXPECT_EQ(PadLeftZero("12", 0), "12");
    EXPECT_EQ(PadLeftZero("12", -4), "12");
    EXPECT_EQ(PadRightSpace("AB", 4), "AB  ");
    EXPECT_EQ(PadRightSpace("", 2), "  ");
    // One Korean syllable is two bytes.
    EXPECT_EQ(PadRightSpace(fmtest::K("가"), 4), fmtest::K("가") + "  ");
    const std::string three = fmtest::K("가나다");
    EXPECT_EQ(three.size(), 6u);
    EXPECT_EQ(PadRightSpace(three, 10), three + "    ");
    EXPECT_EQ(PadLeftZero(three, 6), three);
}

TEST(Fields, FitCutsAtTheWidthInBytesAndFieldAtStopsAtZero)
{
    EXPECT_EQ(FitField("ABCDEF", 4), "ABCD");
    EXPECT_EQ(FitField("AB", 4), "AB  ");
    std::string rec = std::string("ABC\0EF", 6) + "GH";
    EXPECT_EQ(FieldAt(rec, 0, 6), "ABC");
    EXPECT_EQ(FieldAt(rec, 4, 4), "EFGH");
    EXPECT_EQ(FieldAt(rec, 6, 10), "GH");
    EXPECT_EQ(FieldAt(rec, 100, 2), "");
}

TEST(Thousands, GroupsRightAlignedInTheWidth)
{
    EXPECT_EQ(FormatThousands(1234567, 13), "    1,234,567");
    EXPECT_EQ(FormatThousands(0, 11), "          0");
    EXPECT_EQ(FormatThousands(-1234, 0), "-1,234");
    EXPECT_EQ(FormatThousands(9999999999999LL, 13), "9,999,999,999,999");
    // The process locale plays no part: a locale that groups with "." or
    // not at all still gives the Korean ",".
    for (const char *name : {"de_DE.UTF-8", "C"}) {
        if (!std::setlocale(LC_ALL, name)) continue;
        EXPECT_EQ(FormatThousands(1234567, 0), "1,234,567") << name;
    }
    std::setlocale(LC_ALL, "C");
}

TEST(Codec, RoundTripsKoreanAndReplacesWhatCannotBeHeld)
{
    const std::string k = Utf8ToCp949("비밀번호오류");
    EXPECT_EQ(k.size(), 12u);
    EXPECT_EQ(Cp949ToUtf8(k), "비밀번호오류");
    EXPECT_EQ(ToQ(k), QString::fromUtf8("비밀번호오류"));
    EXPECT_EQ(FromQ(QString::fromUtf8("◎")).size(), 2u);
    // An emoji has no CP949 form.
    EXPECT_EQ(Utf8ToCp949("a\xF0\x9F\x98\x80" "b"), "a?b");
    // A lone lead byte at the end is not lost silently.
    EXPECT_EQ(Cp949ToUtf8("a\xB0"), "a\xEF\xBF\xBD");
}
