// The host's static X25519 public key, read from the key file installed for
// the client. There is no built-in key: without a usable file no session
// can start.
#pragma once

#include <cstdint>
#include <string>

namespace zelcoran {

constexpr const char *kHostKeyFileName = "ZelcoranHost.key";

// Reads the host public key for a new session into pub. The key file is
// looked for in the folder of the running program first, then in the
// current folder; in each the name is matched without regard to case. The
// first folder holding the name decides: a file there that is not a
// regular file (a FIFO or a device is never opened for reading), cannot be
// read or parsed, or two spellings of the name in that folder, fail without
// looking further. Returns false (pub untouched) when no usable key is
// found.
bool LoadHostPublicKey(uint8_t pub[32]);

// Parses key file contents: exactly 64 hex digits, optionally surrounded by
// ASCII white space.
bool ParseHostKeyText(const std::string &text, uint8_t pub[32]);

} // namespace zelcoran
