// Host side of the session-key scheme of the client's encryption library:
// the host's static X25519 key pair, acceptance of the client's 128-byte
// key block, and sealing and opening of 1024-byte telegrams as 1040-byte
// frames. Depends on OpenSSL only.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace hostsim {

constexpr size_t kKeyBlockSize = 128;
constexpr size_t kTelegramSize = 1024;
constexpr size_t kSealedSize = 1040;

// Name of the file holding the host's private key as 64 hex digits.
constexpr const char *kHostPrivateKeyFileName = "ZelcoranHostPrivate.key";
// Name of the file, installed in the client's working folder, holding the
// host's public key as 64 hex digits.
constexpr const char *kHostPublicKeyFileName = "ZelcoranHost.key";

using Key32 = std::array<uint8_t, 32>;

class HostKey {
public:
    // The demo key pair whose public half is built into the client library.
    static HostKey demo();
    // A fresh random key pair; nullopt if the random generator fails.
    static std::optional<HostKey> generate();
    // 64 hex digits, optionally surrounded by white space.
    static std::optional<HostKey> fromPrivateHex(std::string_view hex);
    // A file holding the private key in the form fromPrivateHex takes.
    static std::optional<HostKey> fromFile(const std::string &path);

    const Key32 &publicKey() const { return pub_; }
    const Key32 &privateKey() const { return priv_; }
    std::string publicHex() const;
    std::string privateHex() const;
    // First 8 bytes of SHA-256 of the public key, as carried in a key block.
    std::array<uint8_t, 8> keyId() const;

private:
    HostKey() = default;
    Key32 priv_{};
    Key32 pub_{};
};

// One client connection seen from the host.
class HostSession {
public:
    explicit HostSession(HostKey key);
    ~HostSession();
    HostSession(const HostSession &) = delete;
    HostSession &operator=(const HostSession &) = delete;

    // Takes the client's key block and starts a new session. Returns false
    // (and holds no session) for a block that is malformed, made for another
    // host key, or whose confirmation tag does not match.
    bool acceptKeyBlock(const uint8_t *block128);
    bool established() const { return established_; }
    // Drops the session.
    void reset();

    // Opens the next frame from the client. Returns false, writes 1024 zero
    // bytes and keeps the expected counter if the frame is not the next
    // authentic one of this session, or if there is no session.
    bool decrypt(const uint8_t *in1040, uint8_t *out1024);
    // Seals the next telegram to the client. Returns false and writes 1040
    // zero bytes if there is no session.
    bool encrypt(const uint8_t *in1024, uint8_t *out1040);

    // Message counters: the next one to be sent and the next one expected.
    uint64_t sendCounter() const { return toClientCounter_; }
    uint64_t recvCounter() const { return fromClientCounter_; }

private:
    HostKey key_;
    bool established_ = false;
    uint8_t fromClientKey_[16]{};
    uint8_t fromClientPrefix_[4]{};
    uint8_t toClientKey_[16]{};
    uint8_t toClientPrefix_[4]{};
    uint64_t fromClientCounter_ = 0;
    uint64_t toClientCounter_ = 0;
};

} // namespace hostsim
