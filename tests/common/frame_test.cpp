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

TEST(FrameAssembler, KeyAnswersAreKnownByTheirFormAndEveryOtherFrameIs1046Bytes)
{
    const std::string telegram = "Dx1y2z" + std::string(1040, 'c');
    const std::string almostKey = "S00002OX" + std::string(1038, 'd'); // a telegram
    const std::string stream = std::string("S00128OK") + "S     OK" + "SxxxxxERR" + telegram + almostKey + "S";
    // Whole, then byte by byte: the same frames.
    for (bool bytewise : {false, true}) {
        SCOPED_TRACE(bytewise);
        FrameAssembler a;
        std::vector<std::pair<char, std::string>> got;
        auto drain = [&] {
            while (auto f = a.next()) got.emplace_back(f->letter, f->payload);
        };
        if (bytewise) {
            for (char c : stream) {
                a.feed(std::string_view(&c, 1));
                drain();
            }
        } else {
            a.feed(stream);
            drain();
        }
        ASSERT_EQ(got.size(), 5u);
        EXPECT_EQ(got[0], std::make_pair('S', std::string("OK")));
        EXPECT_EQ(got[1], std::make_pair('S', std::string("OK")));
        EXPECT_EQ(got[2], std::make_pair('S', std::string("ERR")));
        EXPECT_EQ(got[3], std::make_pair('D', telegram.substr(6)));
        EXPECT_EQ(got[4], std::make_pair('S', almostKey.substr(6)));
        EXPECT_EQ(a.pending(), 1u); // the last "S" waits for what follows
    }
    // A key answer not yet decided waits; one that cannot become one is a
    // telegram and waits for its 1046 bytes.
    for (const char *start : {"S12345", "S12345O", "S12345E", "S12345ER"}) {
        FrameAssembler a;
        a.feed(start);
        EXPECT_FALSE(a.next()) << start;
    }
    FrameAssembler a;
    a.feed("S12345EX");
    EXPECT_FALSE(a.next());
    a.feed(std::string(1038, 'e'));
    auto f = a.next();
    ASSERT_TRUE(f);
    EXPECT_EQ(f->payload.size(), 1040u);
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
