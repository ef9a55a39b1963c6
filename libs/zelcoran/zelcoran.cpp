// Session key exchange and telegram encryption.
//
// GetRSASeedKey makes an ephemeral X25519 key pair, agrees a secret with the
// host's static X25519 key, derives the keys of both directions with
// HKDF-SHA256 and writes them into the caller's context block; the key block
// carries what the host needs to derive the same keys and a time stamp by
// which the host refuses a block it has seen before. Telegrams are sealed
// with AES-128-GCM under a per-direction key, with a nonce made of a
// per-direction prefix and a message counter.
#include "zelcoran.h"

#include "hostkey.h"

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/kdf.h>
#include <openssl/params.h>
#include <openssl/rand.h>

#include <cstdint>
#include <cstring>
#include <ctime>

namespace zelcoran {
namespace {

constexpr size_t kContextSize = ZELCORAN_CONTEXT_SIZE;
constexpr size_t kKeyBlockSize = ZELCORAN_KEY_BLOCK_SIZE;
constexpr size_t kPlainSize = ZELCORAN_PLAIN_SIZE;
constexpr size_t kSealedSize = ZELCORAN_SEALED_SIZE;
constexpr size_t kSealedInputSize = ZELCORAN_SEALED_INPUT_SIZE;
constexpr size_t kTagSize = 16;
constexpr size_t kKeySize = 16;
constexpr size_t kPrefixSize = 4;
constexpr size_t kNonceSize = 12;

// Key block layout.
constexpr size_t kBlockMagicAt = 0;    // 4 bytes "ZLC2"
constexpr size_t kBlockKeyIdAt = 4;    // 8 bytes SHA-256(host public key)[0..8)
constexpr size_t kBlockClientAt = 12;  // 32 bytes client ephemeral public key
constexpr size_t kBlockSaltAt = 44;    // 32 bytes HKDF salt
constexpr size_t kBlockStampAt = 76;   // 8 bytes milliseconds since 1970-01-01 UTC, big-endian
constexpr size_t kBlockConfirmAt = 84; // 16 bytes HMAC-SHA256(confirm key, bytes 0..83)[0..16)
constexpr size_t kBlockPadAt = 100;    // 28 zero bytes
constexpr uint8_t kBlockMagic[4] = {'Z', 'L', 'C', '2'};

// HKDF info: the label, the client's ephemeral key, the host key and the
// block's stamp, so that a block with another stamp never gives the same
// keys (a salt the host has forgotten can come again only with a newer
// stamp). HKDF output: client->host key and nonce prefix, host->client key
// and nonce prefix, key-confirmation key.
constexpr char kInfoLabel[] = "ZLC2 session keys";
constexpr size_t kInfoLabelSize = sizeof kInfoLabel - 1;
constexpr size_t kInfoSize = kInfoLabelSize + 32 + 32 + 8;
constexpr size_t kOkmSize = 2 * (kKeySize + kPrefixSize) + 32;

// Context block layout.
constexpr size_t kCtxMagicAt = 0;        // 8 bytes
constexpr size_t kCtxSendKeyAt = 8;      // client->host key
constexpr size_t kCtxSendPrefixAt = 24;  // client->host nonce prefix
constexpr size_t kCtxRecvKeyAt = 28;     // host->client key
constexpr size_t kCtxRecvPrefixAt = 44;  // host->client nonce prefix
constexpr size_t kCtxSendCounterAt = 48; // next counter to send, big-endian
constexpr size_t kCtxRecvCounterAt = 56; // next counter expected, big-endian
constexpr size_t kCtxCheckedSize = 64;   // bytes covered by the check value
constexpr size_t kCtxCheckAt = 64;       // 16 bytes SHA-256(bytes 0..63)[0..16)
constexpr size_t kCtxCheckSize = 16;
constexpr uint8_t kCtxMagic[8] = {'Z', 'L', 'C', 'C', 'T', 'X', '0', '1'};

static_assert(kBlockPadAt + 28 == kKeyBlockSize);
static_assert(kCtxCheckAt + kCtxCheckSize <= kContextSize);

struct Session {
    uint8_t sendKey[kKeySize];
    uint8_t sendPrefix[kPrefixSize];
    uint8_t recvKey[kKeySize];
    uint8_t recvPrefix[kPrefixSize];
    uint64_t sendCounter;
    uint64_t recvCounter;

    ~Session() { OPENSSL_cleanse(this, sizeof *this); }
};

void PutBe64(uint8_t *p, uint64_t v)
{
    for (int i = 7; i >= 0; --i) {
        p[i] = static_cast<uint8_t>(v);
        v >>= 8;
    }
}

uint64_t GetBe64(const uint8_t *p)
{
    uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v = v << 8 | p[i];
    return v;
}

bool Sha256(const uint8_t *data, size_t len, uint8_t out[32])
{
    unsigned int outLen = 0;
    return EVP_Digest(data, len, out, &outLen, EVP_sha256(), nullptr) == 1 && outLen == 32;
}

bool ContextCheck(const uint8_t *ctx, uint8_t check[kCtxCheckSize])
{
    uint8_t digest[32];
    if (!Sha256(ctx, kCtxCheckedSize, digest)) return false;
    std::memcpy(check, digest, kCtxCheckSize);
    return true;
}

bool StoreSession(uint8_t *ctx, const Session &s)
{
    std::memcpy(ctx + kCtxMagicAt, kCtxMagic, sizeof kCtxMagic);
    std::memcpy(ctx + kCtxSendKeyAt, s.sendKey, kKeySize);
    std::memcpy(ctx + kCtxSendPrefixAt, s.sendPrefix, kPrefixSize);
    std::memcpy(ctx + kCtxRecvKeyAt, s.recvKey, kKeySize);
    std::memcpy(ctx + kCtxRecvPrefixAt, s.recvPrefix, kPrefixSize);
    PutBe64(ctx + kCtxSendCounterAt, s.sendCounter);
    PutBe64(ctx + kCtxRecvCounterAt, s.recvCounter);
    if (ContextCheck(ctx, ctx + kCtxCheckAt)) return true;
    OPENSSL_cleanse(ctx, kContextSize);
    return false;
}

// Reads the session from a context block; false for a block that was never
// initialised, holds no session or was damaged.
bool LoadSession(const uint8_t *ctx, Session &s)
{
    if (CRYPTO_memcmp(ctx + kCtxMagicAt, kCtxMagic, sizeof kCtxMagic) != 0) return false;
    uint8_t check[kCtxCheckSize];
    if (!ContextCheck(ctx, check) || CRYPTO_memcmp(check, ctx + kCtxCheckAt, kCtxCheckSize) != 0)
        return false;
    std::memcpy(s.sendKey, ctx + kCtxSendKeyAt, kKeySize);
    std::memcpy(s.sendPrefix, ctx + kCtxSendPrefixAt, kPrefixSize);
    std::memcpy(s.recvKey, ctx + kCtxRecvKeyAt, kKeySize);
    std::memcpy(s.recvPrefix, ctx + kCtxRecvPrefixAt, kPrefixSize);
    s.sendCounter = GetBe64(ctx + kCtxSendCounterAt);
    s.recvCounter = GetBe64(ctx + kCtxRecvCounterAt);
    return true;
}

void MakeNonce(const uint8_t prefix[kPrefixSize], uint64_t counter, uint8_t nonce[kNonceSize])
{
    std::memcpy(nonce, prefix, kPrefixSize);
    PutBe64(nonce + kPrefixSize, counter);
}

// AES-128-GCM over len bytes, no additional data; writes len bytes and then
// the 16-byte tag.
bool GcmSeal(const uint8_t key[kKeySize], const uint8_t nonce[kNonceSize], const uint8_t *in,
             size_t len, uint8_t *out)
{
    EVP_CIPHER_CTX *c = EVP_CIPHER_CTX_new();
    if (!c) return false;
    int n = 0, fin = 0;
    bool ok = EVP_EncryptInit_ex2(c, EVP_aes_128_gcm(), key, nonce, nullptr) == 1
              && EVP_EncryptUpdate(c, out, &n, in, static_cast<int>(len)) == 1
              && static_cast<size_t>(n) == len
              && EVP_EncryptFinal_ex(c, out + n, &fin) == 1 && fin == 0
              && EVP_CIPHER_CTX_ctrl(c, EVP_CTRL_AEAD_GET_TAG, kTagSize, out + len) == 1;
    EVP_CIPHER_CTX_free(c);
    return ok;
}

// Inverse of GcmSeal: in holds len cipher bytes and then the tag. Writes
// len plain bytes only into out; out must be discarded when this fails.
bool GcmOpen(const uint8_t key[kKeySize], const uint8_t nonce[kNonceSize], const uint8_t *in,
             size_t len, uint8_t *out)
{
    EVP_CIPHER_CTX *c = EVP_CIPHER_CTX_new();
    if (!c) return false;
    uint8_t tag[kTagSize];
    std::memcpy(tag, in + len, kTagSize);
    int n = 0, fin = 0;
    bool ok = EVP_DecryptInit_ex2(c, EVP_aes_128_gcm(), key, nonce, nullptr) == 1
              && EVP_DecryptUpdate(c, out, &n, in, static_cast<int>(len)) == 1
              && static_cast<size_t>(n) == len
              && EVP_CIPHER_CTX_ctrl(c, EVP_CTRL_AEAD_SET_TAG, kTagSize, tag) == 1
              && EVP_DecryptFinal_ex(c, out + n, &fin) == 1 && fin == 0;
    EVP_CIPHER_CTX_free(c);
    return ok;
}

// Makes the ephemeral key pair and the shared secret with the host key.
bool Agree(const uint8_t hostPub[32], uint8_t clientPub[32], uint8_t secret[32])
{
    EVP_PKEY *eph = EVP_PKEY_Q_keygen(nullptr, nullptr, "X25519");
    EVP_PKEY *peer = EVP_PKEY_new_raw_public_key(EVP_PKEY_X25519, nullptr, hostPub, 32);
    EVP_PKEY_CTX *dc = eph ? EVP_PKEY_CTX_new(eph, nullptr) : nullptr;
    size_t pubLen = 32, secretLen = 32;
    bool ok = eph && peer && dc
              && EVP_PKEY_get_raw_public_key(eph, clientPub, &pubLen) == 1 && pubLen == 32
              && EVP_PKEY_derive_init(dc) == 1
              && EVP_PKEY_derive_set_peer(dc, peer) == 1
              && EVP_PKEY_derive(dc, secret, &secretLen) == 1 && secretLen == 32;
    EVP_PKEY_CTX_free(dc);
    EVP_PKEY_free(peer);
    EVP_PKEY_free(eph);
    return ok;
}

bool Hkdf(const uint8_t *ikm, size_t ikmLen, const uint8_t *salt, size_t saltLen,
          const uint8_t *info, size_t infoLen, uint8_t *out, size_t outLen)
{
    EVP_KDF *kdf = EVP_KDF_fetch(nullptr, "HKDF", nullptr);
    EVP_KDF_CTX *kc = kdf ? EVP_KDF_CTX_new(kdf) : nullptr;
    bool ok = false;
    if (kc) {
        char digest[] = "SHA256";
        OSSL_PARAM params[] = {
            OSSL_PARAM_construct_utf8_string(OSSL_KDF_PARAM_DIGEST, digest, 0),
            OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_KEY, const_cast<uint8_t *>(ikm), ikmLen),
            OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_SALT, const_cast<uint8_t *>(salt), saltLen),
            OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_INFO, const_cast<uint8_t *>(info), infoLen),
            OSSL_PARAM_construct_end(),
        };
        ok = EVP_KDF_derive(kc, out, outLen, params) == 1;
    }
    EVP_KDF_CTX_free(kc);
    EVP_KDF_free(kdf);
    return ok;
}

bool HmacSha256(const uint8_t *key, size_t keyLen, const uint8_t *data, size_t len, uint8_t out[32])
{
    size_t outLen = 0;
    return EVP_Q_mac(nullptr, "HMAC", nullptr, "SHA256", nullptr, key, keyLen, data, len, out, 32,
                     &outLen)
               != nullptr
           && outLen == 32;
}

// The wall clock in whole milliseconds since 1970-01-01 UTC; false when
// the clock cannot be read or stands before 1970.
bool WallClockMs(uint64_t &ms)
{
    timespec ts{};
    if (clock_gettime(CLOCK_REALTIME, &ts) != 0 || ts.tv_sec < 0) return false;
    ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
    return true;
}

// Builds the key block and the session; false on any failure.
bool NewSession(const uint8_t hostPub[32], uint8_t block[kKeyBlockSize], Session &s)
{
    uint8_t clientPub[32], secret[32], salt[32], digest[32], okm[kOkmSize], mac[32];
    uint8_t info[kInfoSize];
    uint64_t stamp = 0;
    bool ok = Agree(hostPub, clientPub, secret) && RAND_bytes(salt, sizeof salt) == 1
              && Sha256(hostPub, 32, digest) && WallClockMs(stamp);
    if (ok) {
        std::memcpy(info, kInfoLabel, kInfoLabelSize);
        std::memcpy(info + kInfoLabelSize, clientPub, 32);
        std::memcpy(info + kInfoLabelSize + 32, hostPub, 32);
        PutBe64(info + kInfoLabelSize + 64, stamp);
        ok = Hkdf(secret, sizeof secret, salt, sizeof salt, info, sizeof info, okm, sizeof okm);
    }
    if (ok) {
        std::memset(block, 0, kKeyBlockSize);
        std::memcpy(block + kBlockMagicAt, kBlockMagic, sizeof kBlockMagic);
        std::memcpy(block + kBlockKeyIdAt, digest, 8);
        std::memcpy(block + kBlockClientAt, clientPub, 32);
        std::memcpy(block + kBlockSaltAt, salt, 32);
        PutBe64(block + kBlockStampAt, stamp);
        ok = HmacSha256(okm + 40, 32, block, kBlockConfirmAt, mac);
        std::memcpy(block + kBlockConfirmAt, mac, 16);
    }
    if (ok) {
        std::memcpy(s.sendKey, okm, kKeySize);
        std::memcpy(s.sendPrefix, okm + 16, kPrefixSize);
        std::memcpy(s.recvKey, okm + 20, kKeySize);
        std::memcpy(s.recvPrefix, okm + 36, kPrefixSize);
        s.sendCounter = 0;
        s.recvCounter = 0;
    }
    OPENSSL_cleanse(secret, sizeof secret);
    OPENSSL_cleanse(okm, sizeof okm);
    OPENSSL_cleanse(mac, sizeof mac);
    return ok;
}

} // namespace
} // namespace zelcoran

using namespace zelcoran;

extern "C" int GetRSASeedKey(unsigned char *ctx, unsigned char *keyBlock)
{
    if (keyBlock) std::memset(keyBlock, 0, kKeyBlockSize);
    if (!ctx || !keyBlock) return -1;
    OPENSSL_cleanse(ctx, kContextSize);

    uint8_t hostPub[32];
    if (!LoadHostPublicKey(hostPub)) return -2;

    uint8_t block[kKeyBlockSize];
    Session s;
    if (!NewSession(hostPub, block, s) || !StoreSession(ctx, s)) {
        OPENSSL_cleanse(ctx, kContextSize);
        return -3;
    }
    std::memcpy(keyBlock, block, kKeyBlockSize);
    return static_cast<int>(kKeyBlockSize);
}

extern "C" int rs_Encrypt(unsigned char *ctx, const unsigned char *plain, int len, unsigned char *out)
{
    if (!out) return 0;
    uint8_t sealed[kSealedSize];
    Session s;
    uint8_t nonce[kNonceSize];
    bool ok = ctx && plain && len == static_cast<int>(kPlainSize) && LoadSession(ctx, s)
              && s.sendCounter != UINT64_MAX;
    if (ok) {
        MakeNonce(s.sendPrefix, s.sendCounter, nonce);
        ok = GcmSeal(s.sendKey, nonce, plain, kPlainSize, sealed);
    }
    if (ok) {
        ++s.sendCounter;
        ok = StoreSession(ctx, s);
    }
    if (ok)
        std::memcpy(out, sealed, kSealedSize);
    else
        std::memset(out, 0, kSealedSize);
    OPENSSL_cleanse(sealed, sizeof sealed);
    return ok ? static_cast<int>(kSealedSize) : 0;
}

extern "C" int rs_Decrypt(unsigned char *ctx, const unsigned char *in, int len, unsigned char *out)
{
    if (!out) return 0;
    uint8_t plain[kPlainSize];
    Session s;
    uint8_t nonce[kNonceSize];
    bool ok = ctx && in && len == static_cast<int>(kSealedInputSize) && in[kSealedSize] == 0
              && LoadSession(ctx, s) && s.recvCounter != UINT64_MAX;
    if (ok) {
        MakeNonce(s.recvPrefix, s.recvCounter, nonce);
        ok = GcmOpen(s.recvKey, nonce, in, kPlainSize, plain);
    }
    if (ok) {
        ++s.recvCounter;
        ok = StoreSession(ctx, s);
    }
    if (ok) {
        std::memcpy(out, plain, kPlainSize);
        out[kPlainSize] = 0;
    } else {
        std::memset(out, 0, kSealedInputSize);
    }
    OPENSSL_cleanse(plain, sizeof plain);
    return ok ? static_cast<int>(kPlainSize) : 0;
}

extern "C" void ZelcoranWipe(unsigned char *ctx)
{
    if (ctx) OPENSSL_cleanse(ctx, kContextSize);
}
