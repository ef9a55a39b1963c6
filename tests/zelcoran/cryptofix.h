// Shared pieces of the session-key tests: a context block, a host session
// and a working folder of their own.
#pragma once

#include "hostcrypto.h"
#include "support/testutil.h"
#include "zelcoran.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <unistd.h>
#include <vector>

namespace zlctest {

using Bytes = std::vector<uint8_t>;

// Makes a temporary folder the current folder for the scope.
class ScopedCwd {
public:
    explicit ScopedCwd(const std::string &dir)
    {
        char buf[4096];
        if (getcwd(buf, sizeof buf)) saved_ = buf;
        if (chdir(dir.c_str()) != 0) ADD_FAILURE() << "chdir " << dir;
    }
    ~ScopedCwd()
    {
        if (!saved_.empty() && chdir(saved_.c_str()) != 0) ADD_FAILURE() << "chdir back";
    }

private:
    std::string saved_;
};

inline Bytes Telegram(int seed)
{
    Bytes t(ZELCORAN_PLAIN_SIZE);
    for (size_t i = 0; i < t.size(); ++i) t[i] = static_cast<uint8_t>(' ' + (seed * 31 + i) % 90);
    return t;
}

inline bool AllZero(const Bytes &b) { return std::all_of(b.begin(), b.end(), [](uint8_t v) { return v == 0; }); }

// A client context and a host session with the demo host key, run in a
// working folder of their own that holds the demo host's public key file.
class Link : public ::testing::Test {
protected:
    fmtest::TempDir dir;
    bool keyWritten = hostsim::HostKey::demo().writePublicKeyFile(dir.file("ZelcoranHost.key"));
    ScopedCwd cwd{dir.path()};
    Bytes ctx = Bytes(ZELCORAN_CONTEXT_SIZE, 0xCD);
    // The host's freshness rule and replay cache, started with the fixture
    // at its clock: no earlier host took a block of this test's client.
    hostsim::KeyGuard guard{hostsim::WallClockMs()};
    hostsim::HostSession host{hostsim::HostKey::demo()};

    void SetUp() override { ASSERT_TRUE(keyWritten); }

    // Starts a session in ctx and has the host take the key block.
    void connect(std::vector<uint8_t> &context, hostsim::HostSession &h)
    {
        Bytes block(ZELCORAN_KEY_BLOCK_SIZE, 0);
        ASSERT_EQ(GetRSASeedKey(context.data(), block.data()), 128);
        ASSERT_TRUE(h.acceptKeyBlock(block.data(), guard));
    }
    void connect() { connect(ctx, host); }

    // Client -> host frame.
    Bytes seal(const Bytes &plain, Bytes *context = nullptr)
    {
        Bytes out(ZELCORAN_SEALED_SIZE, 0xEE);
        EXPECT_EQ(rs_Encrypt((context ? *context : ctx).data(), plain.data(), static_cast<int>(plain.size()),
                             out.data()),
                  1040);
        return out;
    }
    // Host -> client frame as the window passes it: 1040 bytes and a zero.
    Bytes hostSeal(const Bytes &plain, hostsim::HostSession *h = nullptr)
    {
        Bytes out(ZELCORAN_SEALED_INPUT_SIZE, 0);
        EXPECT_TRUE((h ? *h : host).encrypt(plain.data(), out.data()));
        return out;
    }
    // Client-side decryption into a dirty buffer; returns the result.
    int open(const Bytes &in, Bytes &out, Bytes *context = nullptr)
    {
        out.assign(ZELCORAN_SEALED_INPUT_SIZE, 0x5A);
        return rs_Decrypt((context ? *context : ctx).data(), in.data(), static_cast<int>(in.size()), out.data());
    }
    // Host-side decryption into a dirty buffer.
    bool hostOpen(const Bytes &in, Bytes &out)
    {
        out.assign(ZELCORAN_PLAIN_SIZE, 0x5A);
        return host.decrypt(in.data(), out.data());
    }
};

} // namespace zlctest
