// The key block as the host sees it, the host key pair, and the host key
// file in the working folder.
#include "cryptofix.h"

#include <openssl/evp.h>

#include <filesystem>

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

TEST_F(KeyBlock, LayoutCarriesMagicHostKeyIdAndZeroPadding)
{
    Bytes block = makeBlock();
    EXPECT_EQ(std::string(block.begin(), block.begin() + 4), "ZLC1");
    auto id = hostsim::HostKey::demo().keyId();
    EXPECT_TRUE(std::equal(id.begin(), id.end(), block.begin() + 4));
    EXPECT_TRUE(std::all_of(block.begin() + 92, block.end(), [](uint8_t v) { return v == 0; }));
    // Fresh ephemeral key and salt every time.
    Bytes again = makeBlock();
    EXPECT_FALSE(std::equal(block.begin() + 12, block.begin() + 76, again.begin() + 12));
}

TEST_F(KeyBlock, HostRefusesEveryFlippedBitPosition)
{
    Bytes block = makeBlock();
    for (size_t i = 0; i < block.size(); ++i) {
        for (uint8_t bit : {uint8_t(0x01), uint8_t(0x80)}) {
            Bytes bad = block;
            bad[i] ^= bit;
            hostsim::HostSession h(hostsim::HostKey::demo());
            EXPECT_FALSE(h.acceptKeyBlock(bad.data())) << "byte " << i << " bit " << int(bit);
            EXPECT_FALSE(h.established());
        }
    }
    EXPECT_TRUE(host.acceptKeyBlock(block.data()));
}

TEST_F(KeyBlock, RefusedBlockLeavesNoSession)
{
    connect();
    Bytes bad(ZELCORAN_KEY_BLOCK_SIZE, 0);
    EXPECT_FALSE(host.acceptKeyBlock(bad.data()));
    EXPECT_FALSE(host.established());
    Bytes out(ZELCORAN_SEALED_SIZE, 0x77);
    EXPECT_FALSE(host.encrypt(Telegram(1).data(), out.data()));
    EXPECT_TRUE(AllZero(out));
    EXPECT_FALSE(host.acceptKeyBlock(nullptr));
}

TEST_F(KeyBlock, HostWithAnotherKeyRefusesTheBlock)
{
    auto other = hostsim::HostKey::generate();
    ASSERT_TRUE(other);
    hostsim::HostSession h(*other);
    EXPECT_FALSE(h.acceptKeyBlock(makeBlock().data()));
}

TEST_F(KeyBlock, LowOrderClientKeyIsRefused)
{
    // An all-zero public key yields an all-zero shared secret.
    Bytes block = makeBlock();
    std::fill(block.begin() + 12, block.begin() + 44, 0);
    EXPECT_FALSE(host.acceptKeyBlock(block.data()));
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
}

// Key block and client frame computed independently (another crypto
// library) from the written description of the scheme, with the demo host
// key, the client private key 01 02 .. 20 and the salt a0 a1 .. bf.
const char *kBlockHex =
    "5a4c43314d388bb97444e28d07a37cbc142093c8b755dc1b10e86cb426374ad16aa853ed0bdfc0b2b86d1c7ca0a1a2a3"
    "a4a5a6a7a8a9aaabacadaeafb0b1b2b3b4b5b6b7b8b9babbbcbdbebf8d2561866530c6b399e5c460e967edf100000000"
    "0000000000000000000000000000000000000000000000000000000000000000";
const char *kFrame0Hex =
    "181ca93e3e06f8a706d1493649e03bb358ffd77d1c95e22a6be656570b35d8dcc1fd8837ccadbe4a1ebbf748f3f12614"
    "8e2038824a2460393bd552dfc162472808ffd272f27094ad7dc75ef66a0297c57edb71ccd9abe4b8aaba4383302e25ec"
    "1b8f0072828be11d2f923b3c691c242bddd419d2e5f829df749e6cbaa10538ac630b4c8fbcd7182b9522ccde4f70a4d6"
    "cad99351b4ed2fe4f4fd61fa67f3f7de08cae523e414a3a492b04b9ea32fc0a5ab33adb5fb39ad0a8366f22391b7ee8e"
    "7de49c24736d89d1722c529b84b1e6bb723ec1ef75420212554642d24e83e5d3a85127ddd20de3ea26ab7973aa36ac06"
    "3a9f76fed793f3762d6c56ca54210b2fc5f299bf51514a32c32448fa5cc400a0f8ce63686e4acc484eef3a1146aef0fc"
    "19ccc7d982b99aa2dd7a913c6e2a25fae7ca66cce1421e8557492043707f1da612ff505c54df8f5b1dc665fc63e3f6e1"
    "10afbc63c9e05caf91f465ba1b002da98c7c5876a28fff402a5418785eb3aa7718d40bb1def2e8cdeb11edae13997761"
    "9f691f54559a8cef77c0d9709ce3774f6c05224d6aa86e76c781dffc739f846498ea936ba05f2bafcafe4a6a618652ac"
    "d4e9dccf72cdc097d34c3c30026989c4021e622d9082e94619c6d20cf968de48a20e3e3cb16884735a6fbad072517e46"
    "1911180ae2670c978cadf68b7348566222884e698c9b0b238e85d99e7dc39f7ef0ae6be553fb2edfd8ccc93c5b9e19da"
    "f594c03f305f8626bc9ab4f5df90b840e4a995c37d846df363d9f6b07cb88f52fce8b6b9a90496d2d7c1f20c26ece809"
    "fe57e69f7a3185576bf40ba56ecfdeae2fb9928c975e06392d4cc60ad8689d448f6bf831ab9dfb4aa9e73903fe925a86"
    "683fe16f2be3c7ea283b84aa07ea729f23b7711ef8cc9406a010000f8b05e5d04d7d182fb8c6144d50a9c95da9193332"
    "198415f91d9db4615f3b1e9812f1371998c71a8d12e30e732e98233c9daa6957c76bb5a2bd934342f781cf41db6c4e9f"
    "199756ab4531d3bddece671f403cfdbe32012358aa319bb33e40c489f99edd939edd42f51e047815cfb8323106e51918"
    "38947379f5d22753d6f8c133965001f8e98c8851cd9f1c5406431ce4d4ebd7f2846c9dabd295510706f8170863863ff5"
    "c8a568639a42126f1b77dee2a159b50f39206511abf559a85a44290baea4a84382f250d3367a56cabbffa4089a8a0e72"
    "d00492f8729540974fab9282297bd5829adf33bb024877b05e7178a799a17234043c203ae25607f5a95dad20b0753aba"
    "3749258fed7b9d6a92589faae4327db018aa613dc33704a0a529cbe4313b41b6f35ebf33d1615479cfda3047a03cf0ef"
    "2f016cc79d598576caeb6036580a634a2673cb65f36479fda34cc25413983b833c8f07137fd2e40ab63e5f11fd49b7eb"
    "ec82a25ac7e619ab5bdfe6370870176741a51d05c60cd4e1d38dbb2bb58e7a08";

TEST(SchemeVector, HostMatchesIndependentlyComputedVector)
{
    hostsim::HostSession h(hostsim::HostKey::demo());
    Bytes block = FromHex(kBlockHex);
    ASSERT_EQ(block.size(), 128u);
    ASSERT_TRUE(h.acceptKeyBlock(block.data()));

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
              "37a13815c0d4a10a9d6c9274c271a98e6db695073ba5ff811f503cc2553bc1f3");
}

// ---- host key file in the working folder ----

class KeyFile : public Link {
protected:
    int seed(Bytes &block)
    {
        block.assign(ZELCORAN_KEY_BLOCK_SIZE, 0x44);
        return GetRSASeedKey(ctx.data(), block.data());
    }
};

TEST_F(KeyFile, InstalledKeyReplacesTheBuiltInKey)
{
    auto own = hostsim::HostKey::generate();
    ASSERT_TRUE(own);
    dir.write("ZelcoranHost.key", own->publicHex() + "\n");

    Bytes block;
    ASSERT_EQ(seed(block), 128);
    EXPECT_FALSE(host.acceptKeyBlock(block.data())) << "demo host took a block made for another key";
    hostsim::HostSession ownHost(*own);
    ASSERT_TRUE(ownHost.acceptKeyBlock(block.data()));
    Bytes frame = seal(Telegram(5));
    Bytes out(1024);
    ASSERT_TRUE(ownHost.decrypt(frame.data(), out.data()));
    EXPECT_EQ(out, Telegram(5));

    // Removing the file brings the built-in key back.
    std::filesystem::remove(dir.file("ZelcoranHost.key"));
    ASSERT_EQ(seed(block), 128);
    EXPECT_TRUE(host.acceptKeyBlock(block.data()));
}

TEST_F(KeyFile, NameIsMatchedWithoutRegardToCaseAndHexInEitherCase)
{
    auto own = hostsim::HostKey::generate();
    ASSERT_TRUE(own);
    std::string upper = own->publicHex();
    std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
    dir.write("ZELCORANHOST.KEY", upper);
    Bytes block;
    ASSERT_EQ(seed(block), 128);
    hostsim::HostSession ownHost(*own);
    EXPECT_TRUE(ownHost.acceptKeyBlock(block.data()));

    // Two spellings of the name: which key is meant is unclear.
    dir.write("zelcoranhost.key", own->publicHex());
    EXPECT_LT(seed(block), 1);
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
