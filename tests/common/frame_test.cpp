#include "common/frame.h"
#include "common/datetime.h"

#include <gtest/gtest.h>

using namespace fm;

TEST(Frame, HeaderIsLetterAndFiveDigits)
{
    EXPECT_EQ(MakeFrame('D', std::string(1040, 'x')).substr(0, 6), "D01040");
    EXPECT_EQ(MakeFrame('S', "abc", 128).substr(0, 6), "S00128");
    EXPECT_EQ(MakeFrame('V', "").size(), 6u);
}

TEST(FrameAssembler, JoinsSplitFramesAndSeparatesCoalescedOnes)
{
    FrameAssembler a;
    const std::string f1 = MakeFrame('D', std::string(1040, 'a'));
    const std::string f2 = MakeFrame('S', "OK");
    a.feed(f1.substr(0, 3));
    EXPECT_FALSE(a.next());
    a.feed(f1.substr(3, 700));
    EXPECT_FALSE(a.next());
    a.feed(f1.substr(703) + f2);
    auto x = a.next();
    ASSERT_TRUE(x);
    EXPECT_EQ(x->letter, 'D');
    EXPECT_EQ(x->payload, std::string(1040, 'a'));
    auto y = a.next();
    ASSERT_TRUE(y);
    EXPECT_EQ(y->letter, 'S');
    EXPECT_EQ(y->payload, "OK");
    EXPECT_FALSE(a.next());
    EXPECT_EQ(a.pending(), 0u);
}

TEST(FrameAssembler, ABrokenLengthFieldIsReported)
{
    FrameAssembler a;
    a.feed("Dx1040");
    EXPECT_THROW(a.next(), FrameAssembler::Broken);
}

TEST(DateTime, FormatsLocalDateAndStamp)
{
    std::tm tm{};
    tm.tm_year = 2026 - 1900;
    tm.tm_mon = 11;
    tm.tm_mday = 8;
    tm.tm_hour = 23;
    tm.tm_min = 5;
    tm.tm_sec = 9;
    tm.tm_isdst = -1;
    std::time_t t = mktime(&tm);
    EXPECT_EQ(FormatYmd(t), "20261208");
    EXPECT_EQ(FormatStamp(t), "20261208230509");
    SetClockForTesting([t] { return t; });
    EXPECT_EQ(TodayYmd(), "20261208");
    SetClockForTesting(nullptr);
}
