#include "hostcrypto.h"

#include "common/regularfile.h"

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/kdf.h>
#include <openssl/params.h>
#include <openssl/rand.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <iterator>
#include <memory>
#include <unistd.h>

namespace hostsim {
namespace {

// Private half of the demo key pair (public half:
// 19b20ddc47058e7124946fac68c2f18d2c21c7072b6cb4262e326d01fb6a3308).
constexpr std::string_view kDemoPrivateHex =
    "705bb9649de48477a2d45fd2e46717b7069b461465f8e3e9e568d1bbe98b7f56";

constexpr uint8_t kMagic[4] = {'Z', 'L', 'C', '2'};
constexpr std::string_view kInfoLabel = "ZLC2 session keys";
constexpr size_t kTagSize = 16;

// Key block fields: offset, length.
constexpr size_t kIdAt = 4, kIdLen = 8;
constexpr size_t kClientAt = 12;
constexpr size_t kSaltAt = 44;
constexpr size_t kStampAt = 76;
constexpr size_t kConfirmAt = 84, kConfirmLen = 16;
constexpr size_t kPaddingAt = 100;

struct PkeyFree {
    void operator()(EVP_PKEY *p) const { EVP_PKEY_free(p); }
};
struct PkeyCtxFree {
    void operator()(EVP_PKEY_CTX *p) const { EVP_PKEY_CTX_free(p); }
};
struct CipherCtxFree {
    void operator()(EVP_CIPHER_CTX *p) const { EVP_CIPHER_CTX_free(p); }
};
using Pkey = std::unique_ptr<EVP_PKEY, PkeyFree>;
using PkeyCtx = std::unique_ptr<EVP_PKEY_CTX, PkeyCtxFree>;
using CipherCtx = std::unique_ptr<EVP_CIPHER_CTX, CipherCtxFree>;

std::string ToHex(const uint8_t *p, size_t n)
{
    static const char digits[] = "0123456789abcdef";
    std::string s;
    s.reserve(2 * n);
    for (size_t i = 0; i < n; ++i) {
        s += digits[p[i] >> 4];
        s += digits[p[i] & 15];
    }
    return s;
}

bool FromHex32(std::string_view text, Key32 &out)
{
    auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; };
    while (!text.empty() && space(text.front())) text.remove_prefix(1);
    while (!text.empty() && space(text.back())) text.remove_suffix(1);
    if (text.size() != 64) return false;
    auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    for (size_t i = 0; i < 32; ++i) {
        int hi = nibble(text[2 * i]), lo = nibble(text[2 * i + 1]);
        if (hi < 0 || lo < 0) return false;
        out[i] = static_cast<uint8_t>(hi * 16 + lo);
    }
    return true;
}

bool PublicFromPrivate(const Key32 &priv, Key32 &pub)
{
    Pkey key(EVP_PKEY_new_raw_private_key(EVP_PKEY_X25519, nullptr, priv.data(), priv.size()));
    size_t len = pub.size();
    return key && EVP_PKEY_get_raw_public_key(key.get(), pub.data(), &len) == 1 && len == 32;
}

std::array<uint8_t, 32> Sha256(const uint8_t *p, size_t n)
{
    std::array<uint8_t, 32> md{};
    unsigned int len = 0;
    if (EVP_Digest(p, n, md.data(), &len, EVP_sha256(), nullptr) != 1 || len != 32) md.fill(0);
    return md;
}

bool X25519(const Key32 &priv, const uint8_t *peerPub, uint8_t secret[32])
{
    Pkey own(EVP_PKEY_new_raw_private_key(EVP_PKEY_X25519, nullptr, priv.data(), priv.size()));
    Pkey peer(EVP_PKEY_new_raw_public_key(EVP_PKEY_X25519, nullptr, peerPub, 32));
    if (!own || !peer) return false;
    PkeyCtx ctx(EVP_PKEY_CTX_new(own.get(), nullptr));
    size_t len = 32;
    // OpenSSL refuses an all-zero result, so a low-order client key fails here.
    return ctx && EVP_PKEY_derive_init(ctx.get()) == 1
           && EVP_PKEY_derive_set_peer(ctx.get(), peer.get()) == 1
           && EVP_PKEY_derive(ctx.get(), secret, &len) == 1 && len == 32;
}

bool HkdfSha256(const uint8_t *ikm, size_t ikmLen, const uint8_t *salt, size_t saltLen,
                const std::string &info, uint8_t *out, size_t outLen)
{
    EVP_KDF *kdf = EVP_KDF_fetch(nullptr, OSSL_KDF_NAME_HKDF, nullptr);
    if (!kdf) return false;
    EVP_KDF_CTX *ctx = EVP_KDF_CTX_new(kdf);
    EVP_KDF_free(kdf);
    if (!ctx) return false;
    char md[] = "SHA256";
    OSSL_PARAM params[5];
    params[0] = OSSL_PARAM_construct_utf8_string(OSSL_KDF_PARAM_DIGEST, md, 0);
    params[1] = OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_KEY, const_cast<uint8_t *>(ikm), ikmLen);
    params[2] = OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_SALT, const_cast<uint8_t *>(salt), saltLen);
    params[3] = OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_INFO,
                                                  const_cast<char *>(info.data()), info.size());
    params[4] = OSSL_PARAM_construct_end();
    bool ok = EVP_KDF_derive(ctx, out, outLen, params) == 1;
    EVP_KDF_CTX_free(ctx);
    return ok;
}

constexpr size_t kOkmLen = 72;

// The key material of a key block: HKDF-SHA256 over the agreed secret, with
// the block's salt, and as info the label, c_pub, H_pub and the block's
// stamp (its 8 bytes as they stand), so that another stamp gives other keys.
bool DeriveKeyMaterial(const uint8_t secret[32], const uint8_t *block, const Key32 &hostPub,
                       uint8_t okm[kOkmLen])
{
    std::string info(kInfoLabel);
    info.append(reinterpret_cast<const char *>(block + kClientAt), 32);
    info.append(reinterpret_cast<const char *>(hostPub.data()), hostPub.size());
    info.append(reinterpret_cast<const char *>(block + kStampAt), 8);
    return HkdfSha256(secret, 32, block + kSaltAt, 32, info, okm, kOkmLen);
}

// HMAC-SHA256 under K_conf (key material 40..72) over the block's first 84
// bytes.
bool ConfirmationTag(const uint8_t okm[kOkmLen], const uint8_t *block, uint8_t mac[32])
{
    size_t macLen = 0;
    return EVP_Q_mac(nullptr, "HMAC", nullptr, "SHA256", nullptr, okm + 40, 32, block, kConfirmAt,
                     mac, 32, &macLen)
               != nullptr
           && macLen == 32;
}

void Nonce(const uint8_t prefix[4], uint64_t counter, uint8_t nonce[12])
{
    std::memcpy(nonce, prefix, 4);
    for (int i = 0; i < 8; ++i) nonce[4 + i] = static_cast<uint8_t>(counter >> (56 - 8 * i));
}

} // namespace

int64_t WallClockMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

const char *KeyVerdictText(KeyVerdict v)
{
    switch (v) {
    case KeyVerdict::Accepted: return "key block accepted";
    case KeyVerdict::Malformed: return "key block malformed or not for this host key";
    case KeyVerdict::Stale: return "key block stamped too long ago";
    case KeyVerdict::Future: return "key block stamped in the future";
    case KeyVerdict::BeforeStart: return "key block stamped before the host started";
    case KeyVerdict::Replayed: return "key block replayed";
    case KeyVerdict::CacheFull: return "key block not taken: replay cache full";
    }
    return "key block refused";
}

// ---- KeyGuard ----

KeyGuard::KeyGuard(int64_t startMs, int64_t windowMs, size_t limit)
    : startMs_(startMs), windowMs_(windowMs), limit_(limit), floorMs_(startMs)
{
}

KeyVerdict KeyGuard::admit(uint64_t stampMs, const uint8_t salt[32], int64_t nowMs)
{
    floorMs_ = std::max(floorMs_, nowMs - windowMs_);
    while (!byStamp_.empty() && byStamp_.begin()->first < floorMs_) {
        salts_.erase(byStamp_.begin()->second);
        byStamp_.erase(byStamp_.begin());
    }
    if (stampMs > static_cast<uint64_t>(INT64_MAX)) return KeyVerdict::Future;
    const auto stamp = static_cast<int64_t>(stampMs);
    if (stamp < startMs_) return KeyVerdict::BeforeStart;
    if (stamp < floorMs_) return KeyVerdict::Stale;
    if (stamp > nowMs + windowMs_) return KeyVerdict::Future;
    Key32 key;
    std::memcpy(key.data(), salt, key.size());
    if (salts_.count(key)) return KeyVerdict::Replayed;
    if (salts_.size() >= limit_) return KeyVerdict::CacheFull;
    salts_.insert(key);
    byStamp_.emplace(stamp, key);
    highestMs_ = std::max(highestMs_, stamp);
    return KeyVerdict::Accepted;
}

// ---- HostKey ----

HostKey HostKey::demo()
{
    auto key = fromPrivateHex(kDemoPrivateHex);
    return key ? *key : HostKey();
}

std::optional<HostKey> HostKey::generate()
{
    HostKey key;
    if (RAND_priv_bytes(key.priv_.data(), static_cast<int>(key.priv_.size())) != 1) return std::nullopt;
    if (!PublicFromPrivate(key.priv_, key.pub_)) return std::nullopt;
    return key;
}

std::optional<HostKey> HostKey::fromPrivateHex(std::string_view hex)
{
    HostKey key;
    if (!FromHex32(hex, key.priv_) || !PublicFromPrivate(key.priv_, key.pub_)) return std::nullopt;
    return key;
}

std::optional<HostKey> HostKey::fromFile(const std::string &path)
{
    // A regular file only: a FIFO or a device of that name is refused at
    // once rather than waited on.
    std::string text;
    if (!fm::ReadRegularFile(path, 4096, text)) return std::nullopt;
    return fromPrivateHex(text);
}

std::string HostKey::publicHex() const { return ToHex(pub_.data(), pub_.size()); }
std::string HostKey::privateHex() const { return ToHex(priv_.data(), priv_.size()); }

bool HostKey::writePublicKeyFile(const std::string &path) const
{
    fm::RegularFile file(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (!file.isOpen()) return false;
    const std::string line = publicHex() + "\n";
    ssize_t n;
    do {
        n = ::write(file.fd(), line.data(), line.size());
    } while (n < 0 && errno == EINTR);
    return n == static_cast<ssize_t>(line.size());
}

std::array<uint8_t, 8> HostKey::keyId() const
{
    auto md = Sha256(pub_.data(), pub_.size());
    std::array<uint8_t, 8> id{};
    std::memcpy(id.data(), md.data(), id.size());
    return id;
}

// ---- a client's key block, from given parts ----

std::optional<KeyBlock> MakeClientKeyBlock(const Key32 &hostPub, const Key32 &clientPriv,
                                           const Key32 &salt, uint64_t stampMs)
{
    KeyBlock block{};
    Key32 clientPub{};
    uint8_t secret[32], okm[kOkmLen], mac[32];
    if (!PublicFromPrivate(clientPriv, clientPub) || !X25519(clientPriv, hostPub.data(), secret))
        return std::nullopt;
    std::memcpy(block.data(), kMagic, sizeof kMagic);
    std::memcpy(block.data() + kIdAt, Sha256(hostPub.data(), hostPub.size()).data(), kIdLen);
    std::memcpy(block.data() + kClientAt, clientPub.data(), 32);
    std::memcpy(block.data() + kSaltAt, salt.data(), 32);
    for (size_t i = 0; i < 8; ++i) block[kStampAt + i] = static_cast<uint8_t>(stampMs >> (56 - 8 * i));
    bool ok = DeriveKeyMaterial(secret, block.data(), hostPub, okm) && ConfirmationTag(okm, block.data(), mac);
    std::memcpy(block.data() + kConfirmAt, mac, kConfirmLen);
    OPENSSL_cleanse(secret, sizeof secret);
    OPENSSL_cleanse(okm, sizeof okm);
    if (!ok) return std::nullopt;
    return block;
}

// ---- HostSession ----

HostSession::HostSession(HostKey key) : key_(std::move(key)) {}

HostSession::~HostSession() { reset(); }

void HostSession::reset()
{
    established_ = false;
    OPENSSL_cleanse(fromClientKey_, sizeof fromClientKey_);
    OPENSSL_cleanse(toClientKey_, sizeof toClientKey_);
    std::memset(fromClientPrefix_, 0, sizeof fromClientPrefix_);
    std::memset(toClientPrefix_, 0, sizeof toClientPrefix_);
    fromClientCounter_ = 0;
    toClientCounter_ = 0;
}

bool HostSession::acceptKeyBlock(const uint8_t *block, KeyGuard &guard, int64_t nowMs)
{
    reset();
    verdict_ = KeyVerdict::Malformed;
    if (!block) return false;
    if (std::memcmp(block, kMagic, sizeof kMagic) != 0) return false;
    auto id = key_.keyId();
    if (std::memcmp(block + kIdAt, id.data(), kIdLen) != 0) return false;
    for (size_t i = kPaddingAt; i < kKeyBlockSize; ++i)
        if (block[i] != 0) return false;

    const uint8_t *clientPub = block + kClientAt;
    uint8_t secret[32];
    if (!X25519(key_.privateKey(), clientPub, secret)) return false;

    uint8_t okm[kOkmLen];
    bool ok = DeriveKeyMaterial(secret, block, key_.publicKey(), okm);
    OPENSSL_cleanse(secret, sizeof secret);
    if (!ok) return false;

    uint8_t mac[32];
    ok = ConfirmationTag(okm, block, mac) && CRYPTO_memcmp(mac, block + kConfirmAt, kConfirmLen) == 0;
    if (ok) {
        // Only an authentic block may enter the replay cache.
        uint64_t stamp = 0;
        for (size_t i = 0; i < 8; ++i) stamp = stamp << 8 | block[kStampAt + i];
        verdict_ = guard.admit(stamp, block + kSaltAt, nowMs);
        ok = verdict_ == KeyVerdict::Accepted;
    }
    if (ok) {
        std::memcpy(fromClientKey_, okm, 16);
        std::memcpy(fromClientPrefix_, okm + 16, 4);
        std::memcpy(toClientKey_, okm + 20, 16);
        std::memcpy(toClientPrefix_, okm + 36, 4);
        established_ = true;
    }
    OPENSSL_cleanse(okm, sizeof okm);
    return ok;
}

bool HostSession::decrypt(const uint8_t *in, uint8_t *out)
{
    if (!out) return false;
    uint8_t plain[kTelegramSize];
    bool ok = established_ && in && fromClientCounter_ != UINT64_MAX;
    if (ok) {
        uint8_t nonce[12], tag[kTagSize];
        Nonce(fromClientPrefix_, fromClientCounter_, nonce);
        std::memcpy(tag, in + kTelegramSize, kTagSize);
        CipherCtx c(EVP_CIPHER_CTX_new());
        int n = 0, last = 0;
        ok = c && EVP_DecryptInit_ex2(c.get(), EVP_aes_128_gcm(), fromClientKey_, nonce, nullptr) == 1
             && EVP_DecryptUpdate(c.get(), plain, &n, in, static_cast<int>(kTelegramSize)) == 1
             && n == static_cast<int>(kTelegramSize)
             && EVP_CIPHER_CTX_ctrl(c.get(), EVP_CTRL_AEAD_SET_TAG, kTagSize, tag) == 1
             && EVP_DecryptFinal_ex(c.get(), plain + n, &last) == 1;
    }
    if (ok) {
        ++fromClientCounter_;
        std::memcpy(out, plain, kTelegramSize);
    } else {
        std::memset(out, 0, kTelegramSize);
    }
    OPENSSL_cleanse(plain, sizeof plain);
    return ok;
}

bool HostSession::encrypt(const uint8_t *in, uint8_t *out)
{
    if (!out) return false;
    uint8_t sealed[kSealedSize];
    bool ok = established_ && in && toClientCounter_ != UINT64_MAX;
    if (ok) {
        uint8_t nonce[12];
        Nonce(toClientPrefix_, toClientCounter_, nonce);
        CipherCtx c(EVP_CIPHER_CTX_new());
        int n = 0, last = 0;
        ok = c && EVP_EncryptInit_ex2(c.get(), EVP_aes_128_gcm(), toClientKey_, nonce, nullptr) == 1
             && EVP_EncryptUpdate(c.get(), sealed, &n, in, static_cast<int>(kTelegramSize)) == 1
             && n == static_cast<int>(kTelegramSize)
             && EVP_EncryptFinal_ex(c.get(), sealed + n, &last) == 1
             && EVP_CIPHER_CTX_ctrl(c.get(), EVP_CTRL_AEAD_GET_TAG, kTagSize, sealed + kTelegramSize) == 1;
    }
    if (ok) {
        ++toClientCounter_;
        std::memcpy(out, sealed, kSealedSize);
    } else {
        std::memset(out, 0, kSealedSize);
    }
    return ok;
}

} // namespace hostsim
