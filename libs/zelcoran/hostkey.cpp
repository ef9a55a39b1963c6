#include "hostkey.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <strings.h>

namespace zelcoran {
namespace {

// Public half of the demo host's key pair; the private half belongs to the
// host simulator.
const uint8_t kBuiltInHostKey[32] = {
    0x19, 0xb2, 0x0d, 0xdc, 0x47, 0x05, 0x8e, 0x71, 0x24, 0x94, 0x6f, 0xac, 0x68, 0xc2, 0xf1, 0x8d,
    0x2c, 0x21, 0xc7, 0x07, 0x2b, 0x6c, 0xb4, 0x26, 0x2e, 0x32, 0x6d, 0x01, 0xfb, 0x6a, 0x33, 0x08,
};

// A key file is 64 hex digits and maybe a line end; anything much larger is
// not a key file.
constexpr size_t kMaxKeyFileSize = 4096;

int HexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

enum class Found { None, One, Ambiguous };

// Finds the key file in the current folder: the exact name first, otherwise
// the one entry whose name differs from it only in case.
Found FindKeyFile(std::string &name)
{
    FILE *probe = std::fopen(kHostKeyFileName, "rb");
    if (probe) {
        std::fclose(probe);
        name = kHostKeyFileName;
        return Found::One;
    }
    if (errno != ENOENT) {
        // Present but not openable: report it as found so that reading fails.
        name = kHostKeyFileName;
        return Found::One;
    }
    DIR *dir = opendir(".");
    if (!dir) return Found::None;
    Found result = Found::None;
    while (dirent *entry = readdir(dir)) {
        if (strcasecmp(entry->d_name, kHostKeyFileName) != 0) continue;
        if (result == Found::One) {
            result = Found::Ambiguous;
            break;
        }
        name = entry->d_name;
        result = Found::One;
    }
    closedir(dir);
    return result;
}

bool ReadSmallFile(const std::string &name, std::string &text)
{
    FILE *f = std::fopen(name.c_str(), "rb");
    if (!f) return false;
    char buf[kMaxKeyFileSize + 1];
    size_t n = std::fread(buf, 1, sizeof buf, f);
    bool ok = !std::ferror(f) && n <= kMaxKeyFileSize;
    std::fclose(f);
    if (ok) text.assign(buf, n);
    return ok;
}

} // namespace

bool ParseHostKeyText(const std::string &text, uint8_t pub[32])
{
    size_t begin = 0, end = text.size();
    while (begin < end && IsSpace(text[begin])) ++begin;
    while (end > begin && IsSpace(text[end - 1])) --end;
    if (end - begin != 64) return false;
    uint8_t key[32];
    for (size_t i = 0; i < 32; ++i) {
        int hi = HexValue(text[begin + 2 * i]);
        int lo = HexValue(text[begin + 2 * i + 1]);
        if (hi < 0 || lo < 0) return false;
        key[i] = static_cast<uint8_t>(hi << 4 | lo);
    }
    std::memcpy(pub, key, 32);
    return true;
}

HostKeySource LoadHostPublicKey(uint8_t pub[32])
{
    std::string name;
    switch (FindKeyFile(name)) {
    case Found::None:
        std::memcpy(pub, kBuiltInHostKey, 32);
        return HostKeySource::BuiltIn;
    case Found::Ambiguous:
        return HostKeySource::Unusable;
    case Found::One:
        break;
    }
    std::string text;
    if (!ReadSmallFile(name, text) || !ParseHostKeyText(text, pub)) return HostKeySource::Unusable;
    return HostKeySource::File;
}

} // namespace zelcoran
