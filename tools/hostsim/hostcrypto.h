// Host side of the session-key scheme of the client's encryption library:
// the host's static X25519 key pair, acceptance of the client's 128-byte
// key block (authentic, fresh and never seen before), and sealing and
// opening of 1024-byte telegrams as 1040-byte frames. Depends on OpenSSL
// only.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
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

// How far a key block's time stamp may lie from the host's clock.
constexpr int64_t kKeyWindowMs = 5 * 60 * 1000;
// Key blocks remembered at most; beyond that new blocks are refused.
constexpr size_t kReplayCacheLimit = 100000;

// The wall clock in whole milliseconds since 1970-01-01 UTC.
int64_t WallClockMs();

class HostKey {
public:
    // The demo key pair; its private half is published, so it protects
    // nothing.
    static HostKey demo();
    // A fresh random key pair; nullopt if the random generator fails.
    static std::optional<HostKey> generate();
    // 64 hex digits, optionally surrounded by white space.
    static std::optional<HostKey> fromPrivateHex(std::string_view hex);
    // A regular file (at most 4096 bytes) holding the private key in the
    // form fromPrivateHex takes; a FIFO or a device is refused unread.
    static std::optional<HostKey> fromFile(const std::string &path);

    const Key32 &publicKey() const { return pub_; }
    const Key32 &privateKey() const { return priv_; }
    std::string publicHex() const;
    std::string privateHex() const;
    // Writes the public key file the client reads (64 hex digits and a line
    // end), replacing any regular file of that path; false for anything
    // else of that name (a FIFO or a device is not waited on).
    bool writePublicKeyFile(const std::string &path) const;
    // First 8 bytes of SHA-256 of the public key, as carried in a key block.
    std::array<uint8_t, 8> keyId() const;

private:
    HostKey() = default;
    Key32 priv_{};
    Key32 pub_{};
};

// Why a key block was refused, or that it was taken.
enum class KeyVerdict {
    Accepted,
    Malformed,   // magic, host key id, padding, agreement or confirmation tag
    Stale,       // stamped more than the window before the host's clock
    Future,      // stamped more than the window after the host's clock
    BeforeStart, // stamped before the host started (its replay cache is younger)
    Replayed,    // a block with this salt was accepted before
    CacheFull,   // the replay cache cannot remember one more block
};
const char *KeyVerdictText(KeyVerdict v);

// The host-wide freshness rule of key blocks: a block is taken only if its
// stamp lies within the window around the host's clock, not before the
// host started and not before the lowest edge the window has reached, and
// if no block with its salt was taken before. Taken salts are remembered
// until their stamps fall below that edge, after which the window refuses
// them anyway; the edge never moves back, so a clock set back opens no door
// to a forgotten block.
//
// `startMs` is the host's start S: the higher of its clock when the guard is
// made and one above the highest stamp any earlier run with this key pair
// took (which the host keeps; see HostServer). It has no default: only a
// host that knows no earlier run took a block (a key pair made for this
// run) may start at its clock.
class KeyGuard {
public:
    explicit KeyGuard(int64_t startMs, int64_t windowMs = kKeyWindowMs,
                      size_t limit = kReplayCacheLimit);

    // Judges a block's stamp and salt at nowMs; remembers the salt when the
    // verdict is Accepted.
    KeyVerdict admit(uint64_t stampMs, const uint8_t salt[32], int64_t nowMs);
    int64_t startMs() const { return startMs_; }
    size_t remembered() const { return salts_.size(); }
    // The highest stamp taken so far (-1 before the first).
    int64_t highestAccepted() const { return highestMs_; }

private:
    int64_t startMs_;
    int64_t windowMs_;
    size_t limit_;
    int64_t floorMs_;
    int64_t highestMs_ = -1;
    std::set<Key32> salts_;
    std::multimap<int64_t, Key32> byStamp_;
};

using KeyBlock = std::array<uint8_t, kKeyBlockSize>;

// A client's key block for the host key `hostPub`, made from given parts:
// the client's ephemeral private key, the salt and the stamp, where a client
// draws fresh ones for every block. For tests that need a block the client
// library would not make (a stamp of their choosing, one ephemeral key and
// salt used twice). Nothing when the key agreement fails.
std::optional<KeyBlock> MakeClientKeyBlock(const Key32 &hostPub, const Key32 &clientPriv,
                                           const Key32 &salt, uint64_t stampMs);

// One client connection seen from the host.
class HostSession {
public:
    explicit HostSession(HostKey key);
    ~HostSession();
    HostSession(const HostSession &) = delete;
    HostSession &operator=(const HostSession &) = delete;

    // Takes the client's key block and starts a new session. Returns false
    // (and holds no session) for a block that is malformed, made for another
    // host key, or whose confirmation tag does not match (all judged first),
    // or that the guard refuses at nowMs; verdict() tells which.
    bool acceptKeyBlock(const uint8_t *block128, KeyGuard &guard, int64_t nowMs = WallClockMs());
    KeyVerdict verdict() const { return verdict_; }
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
    KeyVerdict verdict_ = KeyVerdict::Malformed;
    uint8_t fromClientKey_[16]{};
    uint8_t fromClientPrefix_[4]{};
    uint8_t toClientKey_[16]{};
    uint8_t toClientPrefix_[4]{};
    uint64_t fromClientCounter_ = 0;
    uint64_t toClientCounter_ = 0;
};

} // namespace hostsim
