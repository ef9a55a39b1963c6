// The host's static X25519 public key: the one built in for the bundled
// demo host, or the one installed in the working folder.
#pragma once

#include <cstdint>
#include <string>

namespace zelcoran {

constexpr const char *kHostKeyFileName = "ZelcoranHost.key";

enum class HostKeySource { BuiltIn, File, Unusable };

// Reads the host public key for a new session. A key file in the current
// folder (name matched without regard to case) replaces the built-in key;
// a key file that cannot be read or parsed makes the result Unusable and
// leaves pub untouched, it never falls back to the built-in key.
HostKeySource LoadHostPublicKey(uint8_t pub[32]);

// Parses key file contents: exactly 64 hex digits, optionally surrounded by
// ASCII white space.
bool ParseHostKeyText(const std::string &text, uint8_t pub[32]);

} // namespace zelcoran
