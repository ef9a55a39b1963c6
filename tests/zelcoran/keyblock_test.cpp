// The key block as the host sees it, its freshness at the host, the host
// key pair, and the host key file.
#include "cryptofix.h"

#include <openssl/evp.h>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

using namespace zlctest;

namespace {

Bytes FromHex(const std::string &hex)
{
    Bytes b;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        b.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return b;
}

std::string Sha256Hex(const uint8_t *p, size_t n)
{
    uint8_t md[32];
    unsigned int len = 0;
    EVP_Digest(p, n, md, &len, EVP_sha256(), nullptr);
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (uint8_t v : md) {
        s += digits[v >> 4];
        s += digits[v & 15];
    }
    return s;
}

class KeyBlock : public Link {
protected:
    Bytes makeBlock()
    {
        Bytes block(ZELCORAN_KEY_BLOCK_SIZE, 0);
        EXPECT_EQ(GetRSASeedKey(ctx.data(), block.data()), 128);
        return block;
    }
};

uint64_t StampOf(const Bytes &block)
{
    uint64_t v = 0;
    for (size_t i = 76; i < 84; ++i) v = v << 8 | block[i];
    return v;
}

TEST_F(KeyBlock, LayoutCarriesMagicHostKeyIdStampAndZeroPadding)
{
    const int64_t before = hostsim::WallClockMs();
    Bytes block = makeBlock();
    const int64_t after = hostsim::WallClockMs();
    EXPECT_EQ(std::string(block.begin(), block.begin() + 4), "ZLC2");
    auto id = hostsim::HostKey::demo().keyId();
    EXPECT_TRUE(std::equal(id.begin(), id.end(), block.begin() + 4));
    EXPECT_GE(int64_t(StampOf(block)), before);
    EXPECT_LE(int64_t(StampOf(block)), after);
    EXPECT_TRUE(std::all_of(block.begin() + 100, block.end(), [](uint8_t v) { return v == 0; }));
    // Fresh ephemeral key and salt every time.
    Bytes again = makeBlock();
    EXPECT_FALSE(std::equal(block.begin() + 12, block.begin() + 76, again.begin() + 12));
}

// The host takes a block once, only within the window around its clock and
// never one stamped before it started; a refused block starts no session.
TEST_F(KeyBlock, HostTakesAFreshBlockOnceAndWithinTheWindowOnly)
{
    using hostsim::KeyVerdict;
    const int64_t w = hostsim::kKeyWindowMs;
    Bytes block = makeBlock();
    const auto stamp = int64_t(StampOf(block));
    struct Case {
        int64_t start, now;
        KeyVerdict verdict;
    } refused[] = {
        {stamp - 2 * w, stamp + w + 1, KeyVerdict::Stale},
        {stamp - 2 * w, stamp - w - 1, KeyVerdict::Future},
        {stamp + 1, stamp + 1, KeyVerdict::BeforeStart},
    };
    for (const Case &c : refused) {
        hostsim::KeyGuard g(c.start);
        EXPECT_FALSE(host.acceptKeyBlock(block.data(), g, c.now));
        EXPECT_EQ(host.verdict(), c.verdict);
        EXPECT_FALSE(host.established());
        EXPECT_EQ(g.remembered(), 0u);
    }
    // The edges of the window and the start itself are inside.
    for (const Case &c : {Case{stamp, stamp + w, KeyVerdict::Accepted},
                          Case{stamp - w, stamp - w, KeyVerdict::Accepted}}) {
        hostsim::KeyGuard g(c.start);
        EXPECT_TRUE(host.acceptKeyBlock(block.data(), g, c.now));
    }

    // The same block again, on this session or another: refused, and the
    // session it would have replaced is gone.
    ASSERT_TRUE(host.acceptKeyBlock(block.data(), guard, stamp));
    EXPECT_FALSE(host.acceptKeyBlock(block.data(), guard, stamp + w));
    EXPECT_EQ(host.verdict(), KeyVerdict::Replayed);
    EXPECT_FALSE(host.established());
    // Forgotten only once the window has passed it; a clock set back then
    // does not bring it in again.
    EXPECT_EQ(guard.remembered(), 1u);
    EXPECT_FALSE(host.acceptKeyBlock(block.data(), guard, stamp + w + 1));
    EXPECT_EQ(host.verdict(), KeyVerdict::Stale);
    EXPECT_EQ(guard.remembered(), 0u);
    EXPECT_FALSE(host.acceptKeyBlock(block.data(), guard, stamp));
    EXPECT_EQ(host.verdict(), KeyVerdict::Stale);
}

// A client that sends its ephemeral key and salt again once the host has
// forgotten the salt (its stamp fell below the window) gets other keys for
// the newer stamp: the host never seals two answers under one key and nonce.
TEST_F(KeyBlock, SameKeyAndSaltWithANewerStampGiveOtherKeys)
{
    const hostsim::HostKey demo = hostsim::HostKey::demo();
    hostsim::Key32 clientPriv, salt;
    clientPriv.fill(0x11);
    salt.fill(0x22);
    const int64_t t1 = hostsim::WallClockMs(), t2 = t1 + hostsim::kKeyWindowMs + 1;
    auto first = hostsim::MakeClientKeyBlock(demo.publicKey(), clientPriv, salt, uint64_t(t1));
    auto second = hostsim::MakeClientKeyBlock(demo.publicKey(), clientPriv, salt, uint64_t(t2));
    ASSERT_TRUE(first && second);
    hostsim::KeyGuard g(t1);
    hostsim::HostSession h1(demo), h2(demo);
    ASSERT_TRUE(h1.acceptKeyBlock(first->data(), g, t1));
    ASSERT_TRUE(h2.acceptKeyBlock(second->data(), g, t2)) << hostsim::KeyVerdictText(h2.verdict());

    const Bytes p1 = Telegram(1), p2 = Telegram(2);
    Bytes c1(ZELCORAN_SEALED_SIZE), c2(ZELCORAN_SEALED_SIZE);
    ASSERT_TRUE(h1.encrypt(p1.data(), c1.data()));
    ASSERT_TRUE(h2.encrypt(p2.data(), c2.data()));
    size_t sameStream = 0;
    for (size_t i = 0; i < ZELCORAN_PLAIN_SIZE; ++i) sameStream += (c1[i] ^ c2[i]) == (p1[i] ^ p2[i]);
    EXPECT_LT(sameStream, 64u) << "C1 xor C2 gives P1 xor P2: one key stream sealed both answers";
}

TEST_F(KeyBlock, FullReplayCacheRefusesNewBlocks)
{
    hostsim::KeyGuard small(guard.startMs(), hostsim::kKeyWindowMs, 1);
    EXPECT_TRUE(host.acceptKeyBlock(makeBlock().data(), small));
    EXPECT_FALSE(host.acceptKeyBlock(makeBlock().data(), small));
    EXPECT_EQ(host.verdict(), hostsim::KeyVerdict::CacheFull);
}

TEST_F(KeyBlock, HostRefusesEveryFlippedBitPosition)
{
    Bytes block = makeBlock();
    for (size_t i = 0; i < block.size(); ++i) {
        for (uint8_t bit : {uint8_t(0x01), uint8_t(0x80)}) {
            Bytes bad = block;
            bad[i] ^= bit;
            hostsim::HostSession h(hostsim::HostKey::demo());
            EXPECT_FALSE(h.acceptKeyBlock(bad.data(), guard)) << "byte " << i << " bit " << int(bit);
            EXPECT_FALSE(h.established());
        }
    }
    EXPECT_TRUE(host.acceptKeyBlock(block.data(), guard));
}

TEST_F(KeyBlock, RefusedBlockLeavesNoSession)
{
    connect();
    Bytes bad(ZELCORAN_KEY_BLOCK_SIZE, 0);
    EXPECT_FALSE(host.acceptKeyBlock(bad.data(), guard));
    EXPECT_EQ(host.verdict(), hostsim::KeyVerdict::Malformed);
    EXPECT_EQ(guard.remembered(), 1u) << "only the accepted block";
    EXPECT_FALSE(host.established());
    Bytes out(ZELCORAN_SEALED_SIZE, 0x77);
    EXPECT_FALSE(host.encrypt(Telegram(1).data(), out.data()));
    EXPECT_TRUE(AllZero(out));
    EXPECT_FALSE(host.acceptKeyBlock(nullptr, guard));
}

TEST_F(KeyBlock, HostWithAnotherKeyRefusesTheBlock)
{
    auto other = hostsim::HostKey::generate();
    ASSERT_TRUE(other);
    hostsim::HostSession h(*other);
    EXPECT_FALSE(h.acceptKeyBlock(makeBlock().data(), guard));
}

TEST_F(KeyBlock, LowOrderClientKeyIsRefused)
{
    // An all-zero public key yields an all-zero shared secret.
    Bytes block = makeBlock();
    std::fill(block.begin() + 12, block.begin() + 44, 0);
    EXPECT_FALSE(host.acceptKeyBlock(block.data(), guard));
}

TEST(HostKeyPair, PrivateHexRoundTripsAndMalformedHexIsRefused)
{
    auto key = hostsim::HostKey::generate();
    ASSERT_TRUE(key);
    auto again = hostsim::HostKey::fromPrivateHex("  " + key->privateHex() + "\r\n");
    ASSERT_TRUE(again);
    EXPECT_EQ(again->publicHex(), key->publicHex());
    EXPECT_NE(key->publicHex(), hostsim::HostKey::demo().publicHex());
    EXPECT_EQ(hostsim::HostKey::demo().publicHex(),
              "19b20ddc47058e7124946fac68c2f18d2c21c7072b6cb4262e326d01fb6a3308");

    std::string hex = key->privateHex();
    EXPECT_FALSE(hostsim::HostKey::fromPrivateHex(hex.substr(1)));
    EXPECT_FALSE(hostsim::HostKey::fromPrivateHex(hex + "0"));
    EXPECT_FALSE(hostsim::HostKey::fromPrivateHex("g" + hex.substr(1)));
    EXPECT_FALSE(hostsim::HostKey::fromPrivateHex(hex.substr(0, 32) + " " + hex.substr(32)));
    EXPECT_FALSE(hostsim::HostKey::fromPrivateHex(""));

    fmtest::TempDir dir;
    dir.write("priv.key", hex + "\n");
    auto loaded = hostsim::HostKey::fromFile(dir.file("priv.key"));
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->publicHex(), key->publicHex());
    EXPECT_FALSE(hostsim::HostKey::fromFile(dir.file("missing.key")));
    EXPECT_FALSE(hostsim::HostKey::fromFile(dir.path()));
    // A FIFO is refused unread, not waited on.
    const std::string fifo = dir.file("fifo.key");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::optional<hostsim::HostKey> fromFifo;
    EXPECT_TRUE(fmtest::ReturnsWithin(1000, fifo, [&] { fromFifo = hostsim::HostKey::fromFile(fifo); }));
    EXPECT_FALSE(fromFifo);
}

// Key block and client frame computed independently (another crypto
// library) from the written description of the scheme, with the demo host
// key, the client private key 01 02 .. 20, the salt a0 a1 .. bf and the
// stamp 2026-01-01 00:00:00.123 UTC.
constexpr int64_t kVectorStampMs = 1767225600123;
const char *kBlockHex =
    "5a4c43324d388bb97444e28d07a37cbc142093c8b755dc1b10e86cb426374ad16aa853ed0bdfc0b2b86d1c7ca0a1a2a3"
    "a4a5a6a7a8a9aaabacadaeafb0b1b2b3b4b5b6b7b8b9babbbcbdbebf0000019b76daa87bbadb52062e478986e51afd22"
    "ae9f5ac000000000000000000000000000000000000000000000000000000000";
const char *kFrame0Hex =
    "292a19784c4083c35222b2af7d615563147863fb32d0d9e215670332e599d58688397ee2f9b26b20f55c4bf3f44d1a92"
    "c9aa0d7782ddb4e68379349473cf6a0ad27126ccac4ffbd2c2c765660567c0fc4ddf5c9a091e0e72587f94381867fcc8"
    "1d75e4cd3488002c1d97dc868df3a710ec9b098e37d2389725ef25362befb247a611f3f8e823aed68add12aa00d722d8"
    "f40f8a5fcda9a3cd20c201443c1706f1278343300310cfda8e371b3f09ccc1ee5f0d6e9da8d36e77fed5cc98ed9ab107"
    "6dc744db749640d56d5d2d83cbc82b089aa44af29e725b907c508c17358f5d02165f19ec0b2a03efd7938b592c922eea"
    "b14349e5206c781de43f6caa0afb7ceb52f2780bec95ae105ea55534d232dd90303f86ce4aff63f9b1b68ffa1a801cb9"
    "e62d5560e6f93bee5c76bf713b1a29c023ef9a0efe4267bb09c8a9622e708a57057541ec3ebab8184f6e6fb5e107e549"
    "7403a05a8db899d556b4257acec8e628a3667a131b47da8664bc8273af8cbd9de1ce55556722d3eb6d3b96900534e27e"
    "47988d90fc8c8a0fd1efcd0c133d7d6504419e846b08b79177611fab9694d6a18d40db24266a2ba63d4694aebc00608e"
    "3eefd1b6b83fdfdb5eb6351f0ef5948d11e67a59ccd9c83e9756f70e949392006289163b3a6c00af51c60cfb8e955337"
    "1da019d22212f4de8faae4281058224c512bd6e1a93d4d84de6481869b8cbb1e331d4a79f4cc4a2034824f900c4dc115"
    "f253a811d006b4f21940622d4be525148a25b248c25570eaadd65d324edb2de1b239d02a5aa4b23526b03432ed3b96df"
    "704ca78697530824b54e49c9bb2ed4ce00776eb88cddc49e9450970cfa07bc6dbaf8a80b94d4f7354f54b7223caa2698"
    "9ee16dda6402a94fd7f9109521d9cec34d4a54a6528ddbd61cce86d3e69c354d43a8600092eba1a08c92517535bd2923"
    "31a88bac46dd0af43df718337254e95556ac1ba5f28a8c983fad5189c406f93f1e26e526363462e741e7f5b9c01a531e"
    "eea3ee10ec21a0122800cc39009bc1ae036e7726a17ef7715fddfe35d1207837962e02621a69e8ca196ab4142b2c5f8e"
    "ad4326b1dbf144f2cbf82915274678f86b99d0317376869219713c0498e6e0a4f11c27293cc125db9e100ad7c1ba40f9"
    "2ac10bf3d5a20768b8ea12887743d069bd443c16d357e86af62085b76a4cfa172b83e7e3bc05aa40c2a40abe8c0f44b0"
    "c4cdf47f7e09548da3643cc61c87e9b48d01849ed167a63a5ee47855ccfb61f646cd833a92369c37f491b9b7c263686c"
    "e3b6a35f1843afc20962bae3ab091186b8095c7b69ee03af6e57e95b05b3cf454e10d2f5957e2eeb81ccace90114ff46"
    "ceb8a3c29db8af9534dc1e24af56915320b64fee4f84dd3515de85a56377ed5edc96f6305f4e1d506481f16cbc4673f3"
    "daf084325421c238536875d976531957bebb7d8ba487312ae0b9c3fbb168204a";

TEST(SchemeVector, HostMatchesIndependentlyComputedVector)
{
    hostsim::HostSession h(hostsim::HostKey::demo());
    hostsim::KeyGuard guard(kVectorStampMs - 1000);
    Bytes block = FromHex(kBlockHex);
    ASSERT_EQ(block.size(), 128u);
    hostsim::Key32 clientPriv, salt;
    for (uint8_t i = 0; i < 32; ++i) {
        clientPriv[i] = uint8_t(1 + i);
        salt[i] = uint8_t(0xa0 + i);
    }
    auto made = hostsim::MakeClientKeyBlock(hostsim::HostKey::demo().publicKey(), clientPriv, salt,
                                            kVectorStampMs);
    ASSERT_TRUE(made);
    EXPECT_EQ(Bytes(made->begin(), made->end()), block) << "the host's block maker";
    ASSERT_TRUE(h.acceptKeyBlock(block.data(), guard, kVectorStampMs + 1000));

    Bytes frame = FromHex(kFrame0Hex);
    ASSERT_EQ(frame.size(), 1040u);
    Bytes plain(1024, 0);
    ASSERT_TRUE(h.decrypt(frame.data(), plain.data()));
    std::string expected = "0800100ZEMA" + std::string(1024 - 11, ' ');
    EXPECT_EQ(std::string(plain.begin(), plain.end()), expected);

    // The host's first frame to the client for bytes (7 i + 3) mod 256.
    Bytes answer(1024);
    for (size_t i = 0; i < answer.size(); ++i) answer[i] = static_cast<uint8_t>((i * 7 + 3) & 0xff);
    Bytes sealed(1040);
    ASSERT_TRUE(h.encrypt(answer.data(), sealed.data()));
    EXPECT_EQ(Sha256Hex(sealed.data(), sealed.size()),
              "8cdf6f83b20d2a068b2013e2681942db874911cf00af5d8558239b5b296fb89a");
}

// ---- host key file ----

class KeyFile : public Link {
protected:
    static std::string ProgramFolderKey()
    {
        return std::filesystem::read_symlink("/proc/self/exe").parent_path() / "ZelcoranHost.key";
    }
    int seed(Bytes &block)
    {
        block.assign(ZELCORAN_KEY_BLOCK_SIZE, 0x44);
        return GetRSASeedKey(ctx.data(), block.data());
    }
};

TEST_F(KeyFile, InstalledKeyIsUsedAndWithoutItNoSessionStarts)
{
    auto own = hostsim::HostKey::generate();
    ASSERT_TRUE(own);
    dir.write("ZelcoranHost.key", own->publicHex() + "\n");

    Bytes block;
    ASSERT_EQ(seed(block), 128);
    EXPECT_FALSE(host.acceptKeyBlock(block.data(), guard)) << "demo host took a block made for another key";
    hostsim::HostSession ownHost(*own);
    ASSERT_TRUE(ownHost.acceptKeyBlock(block.data(), guard));
    Bytes frame = seal(Telegram(5));
    Bytes out(1024);
    ASSERT_TRUE(ownHost.decrypt(frame.data(), out.data()));
    EXPECT_EQ(out, Telegram(5));

    // No key file at all: no built-in key stands in.
    ASSERT_FALSE(std::filesystem::exists(ProgramFolderKey())) << "a key file beside the test program";
    std::filesystem::remove(dir.file("ZelcoranHost.key"));
    EXPECT_LT(seed(block), 1);
    EXPECT_TRUE(AllZero(block));
    Bytes sealed(ZELCORAN_SEALED_SIZE, 0x77);
    EXPECT_EQ(rs_Encrypt(ctx.data(), Telegram(1).data(), 1024, sealed.data()), 0);
}

TEST_F(KeyFile, NameIsMatchedWithoutRegardToCaseAndHexInEitherCase)
{
    auto own = hostsim::HostKey::generate();
    ASSERT_TRUE(own);
    std::string upper = own->publicHex();
    std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
    std::filesystem::remove(dir.file("ZelcoranHost.key"));
    dir.write("ZELCORANHOST.KEY", upper);
    Bytes block;
    ASSERT_EQ(seed(block), 128);
    hostsim::HostSession ownHost(*own);
    EXPECT_TRUE(ownHost.acceptKeyBlock(block.data(), guard));

    // Two spellings of the name: which key is meant is unclear, also when
    // one of them is the exact name.
    dir.write("zelcoranhost.key", own->publicHex());
    EXPECT_LT(seed(block), 1);
    std::filesystem::remove(dir.file("ZELCORANHOST.KEY"));
    std::filesystem::remove(dir.file("zelcoranhost.key"));
    dir.write("ZelcoranHost.key", own->publicHex());
    ASSERT_EQ(seed(block), 128) << "the exact name alone is not found";
    dir.write("zelcoranhost.KEY", "not a key");
    EXPECT_LT(seed(block), 1) << "the exact name hid a second spelling";
}

TEST_F(KeyFile, MalformedKeyFileMakesKeyGenerationFail)
{
    std::string hex = hostsim::HostKey::generate()->publicHex();
    const std::vector<std::string> bad = {
        "",
        hex.substr(2),
        hex + "ab",
        "zz" + hex.substr(2),
        hex.substr(0, 10) + " " + hex.substr(10),
        hex + "\n" + hex + "\n",
        "0x" + hex.substr(2),
        std::string(5000, 'a'),
        // A low-order point: the agreed secret would be zero.
        std::string(64, '0'),
    };
    for (const std::string &text : bad) {
        dir.write("ZelcoranHost.key", text);
        Bytes block;
        EXPECT_LT(seed(block), 1) << "accepted: [" << text.substr(0, 80) << "]";
        EXPECT_TRUE(AllZero(block));
        Bytes sealed(ZELCORAN_SEALED_SIZE, 0x77);
        EXPECT_EQ(rs_Encrypt(ctx.data(), Telegram(1).data(), 1024, sealed.data()), 0) << "context kept a session";
    }
    std::filesystem::remove(dir.file("ZelcoranHost.key"));
    std::filesystem::create_directory(dir.file("ZelcoranHost.key"));
    Bytes block;
    EXPECT_LT(seed(block), 1) << "a folder of that name";
}

// A FIFO of the key file's name, or a link to one, fails at once with -2
// instead of holding the caller (the window's thread) for ever.
TEST_F(KeyFile, KeyFileThatIsNotARegularFileFailsAtOnce)
{
    const std::string key = dir.file("ZelcoranHost.key"), pipe = dir.file("pipe");
    std::filesystem::remove(key);
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    for (bool link : {false, true}) {
        ASSERT_EQ(link ? symlink(pipe.c_str(), key.c_str()) : mkfifo(key.c_str(), 0600), 0);
        Bytes block;
        int n = 0;
        EXPECT_TRUE(fmtest::ReturnsWithin(1000, key, [&] { n = seed(block); })) << "link " << link;
        EXPECT_EQ(n, -2) << "link " << link;
        EXPECT_TRUE(AllZero(block));
        std::filesystem::remove(key);
    }
}

TEST_F(KeyFile, FailedKeyGenerationEndsThePreviousSession)
{
    connect();
    dir.write("ZelcoranHost.key", "not a key");
    Bytes block;
    ASSERT_LT(seed(block), 1);
    Bytes out;
    EXPECT_EQ(open(hostSeal(Telegram(1)), out), 0);
    EXPECT_TRUE(AllZero(out));
}

} // namespace
