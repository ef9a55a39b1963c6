#include "platform/paths.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fm {
namespace {

bool isDir(const std::string &p)
{
    struct stat st{};
    return ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The entry of `dir` whose name equals `name` without regard to case; an
// exact match wins. Empty when there is none.
std::string findEntry(const std::string &dir, const std::string &name)
{
    const std::string exact = (dir == "/" ? "" : dir) + "/" + name;
    struct stat st{};
    if (::lstat(exact.c_str(), &st) == 0) return name;
    DIR *d = ::opendir(dir.empty() ? "/" : dir.c_str());
    if (!d) return {};
    std::string found;
    while (dirent *e = ::readdir(d)) {
        if (::strcasecmp(e->d_name, name.c_str()) == 0) {
            found = e->d_name;
            break;
        }
    }
    ::closedir(d);
    return found;
}

} // namespace

std::string NativePath(const std::string &windowsStylePath)
{
    std::string p = windowsStylePath;
    for (char &c : p)
        if (c == '\\') c = '/';
    const bool absolute = !p.empty() && p[0] == '/';
    std::vector<std::string> parts;
    size_t i = 0;
    while (i <= p.size()) {
        size_t j = p.find('/', i);
        if (j == std::string::npos) j = p.size();
        if (j > i) parts.push_back(p.substr(i, j - i));
        i = j + 1;
    }
    std::string out = absolute ? "" : ".";
    bool resolving = true;
    for (const auto &part : parts) {
        std::string name = part;
        if (resolving && part != "." && part != "..") {
            const std::string dir = out.empty() ? "/" : out;
            std::string hit = isDir(dir) ? findEntry(dir, part) : std::string();
            if (!hit.empty())
                name = hit;
            else
                resolving = false; // nothing below a missing component exists
        }
        out += "/" + name;
    }
    if (out.empty()) out = "/";
    if (!absolute && out.rfind("./", 0) == 0) out = out.substr(2);
    if (p.size() > 1 && p.back() == '/' && out.back() != '/') out += '/';
    return out;
}

std::string CurrentFolder()
{
    std::vector<char> buf(4096);
    while (!::getcwd(buf.data(), buf.size())) {
        if (errno != ERANGE) return ".";
        buf.resize(buf.size() * 2);
    }
    return std::string(buf.data());
}

bool FileExists(const std::string &windowsStylePath)
{
    struct stat st{};
    return ::stat(NativePath(windowsStylePath).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool FolderExists(const std::string &windowsStylePath)
{
    return isDir(NativePath(windowsStylePath));
}

} // namespace fm
