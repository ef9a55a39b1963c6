// The version report without widgets: the request, the answer read whole
// or over several reads, the byte count of a retrieval reply, the gauge.
#include "common/digitface.h"
#include "common/errors.h"
#include "support/screens.h"
#include "updater/Gauge.h"
#include "updater/VersionFrame.h"

#include <gtest/gtest.h>

using namespace fm::upd;

TEST(VersionRequest, KeepsA23ByteTextAndReplacesAnyOtherLength)
{
    std::string v = MakeVerStr("1.0.0.8", "1.0.0.8");
    EXPECT_EQ(MakeVersionRequest(v), "V00023DLL:1.0.0.8 EXE:1.0.0.8");
    std::string mixed = MakeVerStr("1.0.08", "1.0.0.10"); // 6 + 8: only the total counts
    EXPECT_EQ(MakeVersionRequest(mixed), "V00023DLL:1.0.08 EXE:1.0.0.10");
    std::string odd = MakeVerStr("1.0.0.10", "1.0.0.8");
    EXPECT_EQ(MakeVersionRequest(odd), "V00023DLL:1.0.0.0 EXE:1.0.0.0");
    EXPECT_EQ(odd, kFallbackVerStr); // the caller's text keeps the replacement
}

TEST(VersionAnswer, ReadsEachKindByItsPositions)
{
    EXPECT_EQ(ParseVersionAnswer("V00003OK!").kind, AnswerKind::Other); // "OK" needs n = 2
    EXPECT_EQ(ParseVersionAnswer("V00009FILENO").kind, AnswerKind::FileNo); // n past the end
    VersionAnswer d = ParseVersionAnswer("V00099DIFFDLL:1.0.0.9 EXE:2.0"); // n unused
    EXPECT_EQ(d.kind, AnswerKind::Diff);
    EXPECT_EQ(d.hostDllVer, "1.0.0.9");
    EXPECT_EQ(d.hostExeVer, "2.0");
    try {
        ParseVersionAnswer("Vab002OK");
        FAIL() << "a length of letters must not be read";
    } catch (const fm::ConvertError &e) {
        EXPECT_STREQ(e.what(), "'ab002' is not a valid integer value");
    }
}

TEST(VersionAnswer, ReassemblesAnAnswerSplitOverReads)
{
    for (const std::string frame : {"V00002OK", "V00006FILENO", "V00027DIFFDLL:1.0.0.9 EXE:2.0.0.1"}) {
        AnswerReader r;
        for (size_t i = 0; i + 1 < frame.size(); ++i)
            ASSERT_FALSE(r.feed(frame.substr(i, 1))) << frame << " complete after " << i + 1;
        auto a = r.feed(frame.substr(frame.size() - 1));
        ASSERT_TRUE(a) << frame;
        EXPECT_EQ(a->kind, ParseVersionAnswer(frame).kind);
        EXPECT_FALSE(r.feed("V00002OK")) << "one answer per connection";
    }
    // A "DIFF" whose length field cannot hold it is complete at 33 bytes,
    // one that announces a shorter length at that length.
    AnswerReader d, shortDiff;
    EXPECT_FALSE(d.feed("V00000DIFFDLL:1.0.0.9 EXE:2.0."));
    auto a = d.feed("0.1 and more");
    ASSERT_TRUE(a);
    EXPECT_EQ(a->hostExeVer, "2.0.0.1");
    EXPECT_EQ(d.received().size(), kDiffAnswerLength);
    ASSERT_TRUE(shortDiff.feed("V00013DIFFDLL:1.0.0"));

    // A broken length is reported once; nothing after it is read.
    AnswerReader broken;
    EXPECT_FALSE(broken.feed("V0a"));
    EXPECT_THROW(broken.feed("002OK"), fm::ConvertError);
    EXPECT_FALSE(broken.feed("V00002OK"));
}

TEST(VersionAnswer, TakenAsSoonAsDecidedAndWhatHasArrivedAfterTheWait)
{
    struct Case {
        const char *bytes;
        bool decided;
        AnswerKind kind; // at once, or from flush
    } cases[] = {
        {"V00005OK", true, AnswerKind::Ok},         // more bytes are not awaited
        {"V00010FILENO", true, AnswerKind::FileNo},
        {"V00001OK", true, AnswerKind::Other},      // n = 1 can never read "OK"
        {"V00040SOME", true, AnswerKind::Other},
        {"E00002", true, AnswerKind::NotVersion},
        {"V00002", false, AnswerKind::Other},       // no payload yet
        {"V00002O", false, AnswerKind::Other},
        {"V00006FILE", false, AnswerKind::Other},
        {"V00001DIF", false, AnswerKind::Other},
        {"V00027DIFFDLL:1.0.0.9 EXE:1.0", false, AnswerKind::Diff}, // shorter than its digits
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.bytes);
        AnswerReader r;
        auto a = r.feed(c.bytes);
        EXPECT_EQ(bool(a), c.decided);
        EXPECT_EQ(r.waiting(), !c.decided);
        if (!a) a = r.flush();
        ASSERT_TRUE(a);
        EXPECT_EQ(a->kind, c.kind);
        EXPECT_FALSE(r.flush()); // taken once
    }
    AnswerReader r;
    EXPECT_FALSE(r.flush()); // nothing arrived: no answer
    r.feed("V00027DIFFDLL:1.0.0.9 EXE:1.0");
    EXPECT_EQ(r.flush()->hostExeVer, "1.0");
    AnswerReader tiny;
    tiny.feed("V");
    EXPECT_THROW(tiny.flush(), fm::ConvertError); // read as the host's answer would be
}

TEST(RetrievalReply, TakesTheLastNumberBeforeTheFirstByte)
{
    EXPECT_EQ(RetrievalTotal("150 Opening BINARY mode data connection for x (123456 bytes)."), 123456);
    EXPECT_EQ(RetrievalTotal("150 file 7 of 9, 10 Bytes, then 20 bytes"), 10);
    EXPECT_EQ(RetrievalTotal("125 Data connection already open. Transfer starting."), 0);
    EXPECT_EQ(RetrievalTotal("150 bytes follow"), 150); // the reply code is a number too
    EXPECT_EQ(RetrievalTotal("150 (99999999999999999999999 bytes)"), 0);
}

TEST(Gauge, ShowsThePercentageDoneWithinItsBounds)
{
    TGauge g;
    g.SetMaxValue(8'000'000'000LL); // beyond 32 bits
    g.SetProgress(2'000'000'000LL);
    EXPECT_EQ(g.value(), 25);
    g.SetProgress(9'000'000'000LL);
    EXPECT_EQ(g.Progress(), 8'000'000'000LL);
    EXPECT_EQ(g.value(), 100);
}

// The percentage reads cleanly at the start and at the end of a download:
// in the window's font every character, "%" too, is the digit face's, a run
// of ink of its own, as the face draws it alone.
TEST(Gauge, ThePercentageIsDrawnInTheDigitFace)
{
    QFont font(QString::fromUtf8("굴림"));
    font.setPixelSize(12);
    QFont face(fm::DigitFaceFamily());
    face.setPixelSize(12);
    TGauge g;
    g.setFont(font);
    g.resize(365, 25); // as in the window
    g.SetMaxValue(200);
    for (const auto &[progress, text] : {std::pair{10, "5%"}, std::pair{200, "100%"}}) {
        g.SetProgress(progress);
        EXPECT_EQ(fmtest::FromZero(fmtest::ProgressTextInkSpans(g)),
                  fmtest::FromZero(fmtest::TextInkSpans(face, text)))
            << text;
    }
}
