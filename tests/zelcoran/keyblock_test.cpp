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
    "a4a5a6a7a8a9aaabacadaeafb0b1b2b3b4b5b6b7b8b9babbbcbdbebf0000019b76daa87b1a7c303ac91f144626c3bccf"
    "5eb6fce700000000000000000000000000000000000000000000000000000000";
const char *kFrame0Hex =
    "cca2cd709dbd36703660560acc8f830b913ee5106566cfaf45ca2e15ed17214a758594ed29bb95f0b712346541224928"
    "47831902dc1bc6bab280baa4e72bcaf6fa72068c25641a9e87a6ed18e544e91e339f59dabfe414f77d464645f323f712"
    "05211304b607048e077f3855b774406ce1f8ed39f4b87c32469147ef8e901d14269c3650cbc074d8ce248abdb76f1eae"
    "7cca82c93b473bbb83587a123a20455e58c777dca653b6b2331abfd5b8ad333ad0765a45963081ddad9fce794f6fdba7"
    "d022b05669bd7bc16ad58262428a93c4049b88477137e13e67b5716cd913f1d0d7a4503bd8b99c732579eab1468996f4"
    "95e2ab69c17d63bb616d6b49a1b820a09bf6bef5ce6cc023d35060a099899752ad28a652c4e3dbac52ca1e98a2e6d028"
    "c5d85c6926dab331628d5c98c0793870a35aabe474c2e857e3bd81c20456317f9f7eebec263f34d894b0d4c31f16beb5"
    "0fef0372e7e6ba0258c9bdc03d12e1753ed5501c1270f08aaabcb15b6f60049417f2d297676d2576752c56af17aeb877"
    "3da40222e1e7393b3eb46eea9980a0a02e3f2fd1632a15e0a512d78f28ba27a0773838756698ed56101599cf9b9d40ac"
    "036a64875bcb445ba127507962d65277be61b5f0c2f004c9e1d21f1a04effe157a76d47d23aa87515aed9b847d070f82"
    "23995c8a404db61cd8281a0c424dbbf044415dc26cc0b35408ae9ee0ff76a73824bb3e6f49ee19050bcc25e9d76f8bf4"
    "0be4219611a7c6f4304bad77f760af9b0cb72d4636d17ab96d2013e8a478d7c3c8e854c40aeaa409c78c8148f67f93a4"
    "4047f237af1f8ae9fbcc9b6ce0005c5de3a7d2bc8f476516261c60172cc154418453101dfdf62be1ac87326d115993dc"
    "a79e5cd5fa6452a2475863f836ebf78bb67850b612fd19c72c65b1b940e6d6de1b2194401f9ab3bc307209ad1947c357"
    "1fb0dedf105038c2046d60089eaddf8c3a6afdbd07091cd6c4a698601a865a45b92d6f4f6ce95c9069a701b2a7b8cf00"
    "7062456a048bdff556c038a1349f5ed501bfa2ab06cfe1ccbc3555cd7ef41554b091fe1c54ef3eeaab4525711ced2223"
    "9335aa0f9dad19dae0b4b80c294e4af128f7755241b640bf979ae5bbc7c6ff9b5167fc6bd322df7cea3b157d3337c251"
    "fcf05558c3b8f3aa027d0efb15393d6bf09e61515bc25ebf1b9763b5116a7edd994e38580e011133089e04b43b4c5279"
    "405c3511416d3a055674b3e34970dae05af42425456d683dd4139960b3dae850b7d0228764be5eeded195288476a255e"
    "6fd6a141efc89f0fd7a46356a36a7e6f4cc170f2498d55c260c4782c5c4d96d66dde4da211571c75ea9554944b983cde"
    "250df280b9ea19f0f52bd2883e989449560dca2e21ca86ebc1986b17269ab169d1d00d1f6773fb138b0f1414d6861619"
    "0a54d69ec9b3958428f298ec01ff76af60e9d322e5dc48613637051f83c688f1";

TEST(SchemeVector, HostMatchesIndependentlyComputedVector)
{
    hostsim::HostSession h(hostsim::HostKey::demo());
    hostsim::KeyGuard guard(kVectorStampMs - 1000);
    Bytes block = FromHex(kBlockHex);
    ASSERT_EQ(block.size(), 128u);
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
              "77cf174111f3602a1f59fb1e1c989a142f0d30260d046decf53c2edc92c627bb");
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
