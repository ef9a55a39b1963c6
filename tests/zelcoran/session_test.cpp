// Client library against the host side: round trips and every way a frame
// must fail to open.
#include "cryptofix.h"

using namespace zlctest;

namespace {

class Session : public Link {};

TEST_F(Session, SeveralTelegramsRoundTripInBothDirections)
{
    connect();
    for (int i = 0; i < 6; ++i) {
        Bytes request = Telegram(i);
        Bytes frame = seal(request);
        ASSERT_NE(Bytes(frame.begin(), frame.begin() + 1024), request) << "frame carries the plain text";
        Bytes got;
        ASSERT_TRUE(hostOpen(frame, got)) << "request " << i;
        EXPECT_EQ(got, request);

        Bytes answer = Telegram(100 + i);
        Bytes out;
        ASSERT_EQ(open(hostSeal(answer), out), 1024) << "answer " << i;
        EXPECT_EQ(Bytes(out.begin(), out.begin() + 1024), answer);
        EXPECT_EQ(out[1024], 0) << "plain text is zero-terminated";
    }
    EXPECT_EQ(host.recvCounter(), 6u);
    EXPECT_EQ(host.sendCounter(), 6u);
}

TEST_F(Session, FlippedBitInCiphertextOrTagFailsAndLeavesCounter)
{
    connect();
    Bytes answer = Telegram(7);
    Bytes frame = hostSeal(answer);
    for (size_t pos : {size_t(0), size_t(500), size_t(1023), size_t(1024), size_t(1039)}) {
        Bytes bad = frame;
        bad[pos] ^= 0x01;
        Bytes out;
        EXPECT_EQ(open(bad, out), 0) << "client, byte " << pos;
        EXPECT_TRUE(AllZero(out)) << "client output not zeroed, byte " << pos;
    }
    // The genuine frame still opens: failures do not advance the counter.
    Bytes out;
    ASSERT_EQ(open(frame, out), 1024);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 1024), answer);

    Bytes request = seal(Telegram(8));
    for (size_t pos : {size_t(3), size_t(1023), size_t(1030)}) {
        Bytes bad = request;
        bad[pos] ^= 0x80;
        Bytes got;
        EXPECT_FALSE(hostOpen(bad, got)) << "host, byte " << pos;
        EXPECT_TRUE(AllZero(got));
    }
    Bytes got;
    EXPECT_TRUE(hostOpen(request, got));
}

TEST_F(Session, ReplayedFrameFails)
{
    connect();
    Bytes frame = hostSeal(Telegram(1));
    Bytes out;
    ASSERT_EQ(open(frame, out), 1024);
    EXPECT_EQ(open(frame, out), 0);
    EXPECT_TRUE(AllZero(out));

    Bytes request = seal(Telegram(2));
    Bytes got;
    ASSERT_TRUE(hostOpen(request, got));
    EXPECT_FALSE(hostOpen(request, got));
    EXPECT_TRUE(AllZero(got));
}

TEST_F(Session, ReorderedFrameFailsButTheRightOrderStillWorks)
{
    connect();
    Bytes first = hostSeal(Telegram(1));
    Bytes second = hostSeal(Telegram(2));
    Bytes out;
    EXPECT_EQ(open(second, out), 0);
    EXPECT_TRUE(AllZero(out));
    ASSERT_EQ(open(first, out), 1024);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 1024), Telegram(1));
    ASSERT_EQ(open(second, out), 1024);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 1024), Telegram(2));

    Bytes a = seal(Telegram(3));
    Bytes b = seal(Telegram(4));
    Bytes got;
    EXPECT_FALSE(hostOpen(b, got));
    EXPECT_TRUE(hostOpen(a, got));
    EXPECT_TRUE(hostOpen(b, got));
}

TEST_F(Session, FrameFromAnotherSessionFails)
{
    connect();
    Bytes otherCtx(ZELCORAN_CONTEXT_SIZE, 0);
    hostsim::HostSession otherHost(hostsim::HostKey::demo());
    connect(otherCtx, otherHost);

    // Both sessions are at counter 0, so only the keys tell them apart.
    Bytes foreign = hostSeal(Telegram(1), &otherHost);
    Bytes out;
    EXPECT_EQ(open(foreign, out), 0);
    EXPECT_TRUE(AllZero(out));
    Bytes foreignRequest = seal(Telegram(2), &otherCtx);
    Bytes got;
    EXPECT_FALSE(hostOpen(foreignRequest, got));
    EXPECT_TRUE(AllZero(got));

    // A new key exchange on the same context ends the old session.
    Bytes stale = hostSeal(Telegram(3));
    connect();
    EXPECT_EQ(open(stale, out), 0);
}

TEST_F(Session, OwnFrameDoesNotOpenInTheOtherDirection)
{
    connect();
    Bytes frame = seal(Telegram(1));
    frame.push_back(0);
    Bytes out;
    EXPECT_EQ(open(frame, out), 0);
    EXPECT_TRUE(AllZero(out));
}

TEST_F(Session, UninitialisedOrDamagedContextFailsCleanly)
{
    Bytes plain = Telegram(1);
    Bytes frame(ZELCORAN_SEALED_INPUT_SIZE, 0x11);
    frame[1040] = 0;
    for (uint8_t fill : {uint8_t(0x00), uint8_t(0xCD), uint8_t(0xFF)}) {
        Bytes raw(ZELCORAN_CONTEXT_SIZE, fill);
        Bytes sealed(ZELCORAN_SEALED_SIZE, 0x77);
        EXPECT_EQ(rs_Encrypt(raw.data(), plain.data(), 1024, sealed.data()), 0);
        EXPECT_TRUE(AllZero(sealed));
        Bytes out(ZELCORAN_SEALED_INPUT_SIZE, 0x77);
        EXPECT_EQ(rs_Decrypt(raw.data(), frame.data(), 1041, out.data()), 0);
        EXPECT_TRUE(AllZero(out));
    }

    // A session whose counters or keys were overwritten is refused too.
    connect();
    Bytes damaged = ctx;
    damaged[50] ^= 1; // send counter
    Bytes sealed(ZELCORAN_SEALED_SIZE, 0x77);
    EXPECT_EQ(rs_Encrypt(damaged.data(), plain.data(), 1024, sealed.data()), 0);
    EXPECT_TRUE(AllZero(sealed));
    damaged = ctx;
    damaged[10] ^= 1; // key
    Bytes out(ZELCORAN_SEALED_INPUT_SIZE, 0x77);
    EXPECT_EQ(rs_Decrypt(damaged.data(), hostSeal(Telegram(1)).data(), 1041, out.data()), 0);
    EXPECT_TRUE(AllZero(out));
}

TEST_F(Session, WipeClearsTheWholeContextAndEndsTheSession)
{
    connect();
    ASSERT_FALSE(AllZero(ctx));
    ZelcoranWipe(ctx.data());
    EXPECT_TRUE(AllZero(ctx));
    Bytes sealed(ZELCORAN_SEALED_SIZE, 0x77);
    EXPECT_EQ(rs_Encrypt(ctx.data(), Telegram(1).data(), 1024, sealed.data()), 0);
    ZelcoranWipe(nullptr);
}

TEST_F(Session, WrongLengthsAndMissingBuffersAreRefused)
{
    connect();
    Bytes plain = Telegram(1);
    Bytes sealed(ZELCORAN_SEALED_SIZE, 0x77);
    for (int len : {0, 1023, 1025, -1}) {
        EXPECT_EQ(rs_Encrypt(ctx.data(), plain.data(), len, sealed.data()), 0) << len;
        EXPECT_TRUE(AllZero(sealed));
    }
    EXPECT_EQ(rs_Encrypt(ctx.data(), nullptr, 1024, sealed.data()), 0);
    EXPECT_EQ(rs_Encrypt(nullptr, plain.data(), 1024, sealed.data()), 0);
    EXPECT_EQ(rs_Encrypt(ctx.data(), plain.data(), 1024, nullptr), 0);

    Bytes frame = hostSeal(Telegram(2));
    Bytes out(ZELCORAN_SEALED_INPUT_SIZE, 0x77);
    for (int len : {1040, 1042, 0}) {
        out.assign(out.size(), 0x77);
        EXPECT_EQ(rs_Decrypt(ctx.data(), frame.data(), len, out.data()), 0) << len;
        EXPECT_TRUE(AllZero(out));
    }
    Bytes trailing = frame;
    trailing[1040] = 'X';
    EXPECT_EQ(rs_Decrypt(ctx.data(), trailing.data(), 1041, out.data()), 0);
    EXPECT_TRUE(AllZero(out));
    EXPECT_EQ(rs_Decrypt(nullptr, frame.data(), 1041, out.data()), 0);
    EXPECT_EQ(rs_Decrypt(ctx.data(), nullptr, 1041, out.data()), 0);
    EXPECT_EQ(rs_Decrypt(ctx.data(), frame.data(), 1041, nullptr), 0);

    // None of the refused calls used up the first frame or the send counter.
    ASSERT_EQ(rs_Decrypt(ctx.data(), frame.data(), 1041, out.data()), 1024);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 1024), Telegram(2));
    Bytes got;
    EXPECT_TRUE(hostOpen(seal(plain), got));

    Bytes block(ZELCORAN_KEY_BLOCK_SIZE, 0x33);
    EXPECT_LT(GetRSASeedKey(nullptr, block.data()), 1);
    EXPECT_TRUE(AllZero(block));
    EXPECT_LT(GetRSASeedKey(ctx.data(), nullptr), 1);
}

} // namespace
