#include "hostkey.h"

#include "common/regularfile.h"

#include <cstring>
#include <dirent.h>
#include <strings.h>
#include <unistd.h>

namespace zelcoran {
namespace {

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

// Finds the key file in a folder (ending in '/', or empty for the current
// folder): the one entry whose name matches without regard to case. Two
// spellings of the name are ambiguous, whichever of them is exact. A folder
// that cannot be listed is asked for the exact name only.
Found FindKeyFile(const std::string &folder, std::string &path)
{
    DIR *dir = opendir(folder.empty() ? "." : folder.c_str());
    if (!dir) {
        const std::string exact = folder + kHostKeyFileName;
        if (access(exact.c_str(), F_OK) != 0) return Found::None;
        path = exact; // present: reading it decides
        return Found::One;
    }
    Found result = Found::None;
    while (dirent *entry = readdir(dir)) {
        if (strcasecmp(entry->d_name, kHostKeyFileName) != 0) continue;
        if (result == Found::One) {
            result = Found::Ambiguous;
            break;
        }
        path = folder + entry->d_name;
        result = Found::One;
    }
    closedir(dir);
    return result;
}

// The folder of the running program with a trailing '/', or empty when it
// cannot be told.
std::string ProgramFolder()
{
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0 || static_cast<size_t>(n) >= sizeof buf - 1) return {};
    std::string exe(buf, static_cast<size_t>(n));
    size_t slash = exe.rfind('/');
    return slash == std::string::npos ? std::string() : exe.substr(0, slash + 1);
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

bool LoadHostPublicKey(uint8_t pub[32])
{
    std::string path;
    Found found = Found::None;
    const std::string programFolder = ProgramFolder();
    if (!programFolder.empty()) found = FindKeyFile(programFolder, path);
    if (found == Found::None) found = FindKeyFile(std::string(), path);
    if (found != Found::One) return false;
    // Only a regular file is read: a FIFO or a device of that name fails
    // at once instead of holding the caller (the window's thread) for ever.
    std::string text;
    return fm::ReadRegularFile(path, kMaxKeyFileSize, text) && ParseHostKeyText(text, pub);
}

} // namespace zelcoran
