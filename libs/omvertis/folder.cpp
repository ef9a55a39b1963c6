#include "folder.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace omv {
namespace {

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

// Letters beyond ASCII are bytes of double-byte characters and stay as they
// are.
bool SameIgnoringCase(const char *a, const std::string &b)
{
    size_t i = 0;
    for (; a[i] && i < b.size(); ++i)
        if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
    return a[i] == '\0' && i == b.size();
}

} // namespace

bool IsBareName(const char *name)
{
    if (!name || !*name) return false;
    const std::string s(name);
    if (s == ".") return false;
    return s.find_first_of("/\\") == std::string::npos && s.find("..") == std::string::npos;
}

std::string FindEntry(const std::string &dir, const std::string &name)
{
    struct stat st{};
    if (::lstat((dir + "/" + name).c_str(), &st) == 0) return name;
    DIR *d = ::opendir(dir.c_str());
    if (!d) return {};
    std::string found;
    while (const dirent *e = ::readdir(d)) {
        if (SameIgnoringCase(e->d_name, name)) {
            found = e->d_name;
            break;
        }
    }
    ::closedir(d);
    return found;
}

std::string SubFolder(const std::string &dir, const std::string &name)
{
    const std::string entry = FindEntry(dir, name);
    if (entry.empty()) return {};
    const std::string path = dir + "/" + entry;
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return {};
    return path;
}

InputFile::InputFile(const std::string &path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return;
    if (::fstat(fd, &st_) != 0 || !S_ISREG(st_.st_mode)) {
        ::close(fd);
        return;
    }
    f_ = ::fdopen(fd, "rb");
    if (!f_) ::close(fd);
}

InputFile::~InputFile()
{
    if (f_) std::fclose(f_);
}

bool InputFile::ReadExactly(char *buf, size_t n)
{
    return f_ && std::fread(buf, 1, n, f_) == n;
}

bool InputFile::AtEnd()
{
    return f_ && std::fgetc(f_) == EOF && !std::ferror(f_);
}

namespace {
constexpr const char *kTempStem = ".omvertis-";
constexpr const char *kTempSuffix = ".tmp";
} // namespace

OutputFile::OutputFile(std::string dir) : dir_(std::move(dir)), file_(dir_, kTempStem, kTempSuffix, 0666) {}

OutputFile::~OutputFile() = default;

bool OutputFile::Open()
{
    // What a conversion that was killed left behind goes first; a
    // conversion still running in another process keeps its file.
    fm::RemoveStaleTemps(dir_, kTempStem, kTempSuffix, /*keepLiveOwners=*/true);
    return file_.Open();
}

bool OutputFile::Write(const char *data, size_t n) { return file_.Write(data, n); }

bool OutputFile::Commit(const std::string &name, const struct stat &protect)
{
    if (!file_.Finish()) return false;
    std::string target = FindEntry(dir_, name);
    if (target.empty()) target = name;
    const std::string path = dir_ + "/" + target;
    struct stat st{};
    if (::stat(path.c_str(), &st) == 0 &&
        ((st.st_dev == protect.st_dev && st.st_ino == protect.st_ino) || S_ISDIR(st.st_mode))) {
        file_.Discard();
        return false;
    }
    return file_.RenameTo(path);
}

bool OutputFile::Finish() { return file_.Finish(); }

int OutputFile::PublishAs(const std::string &name)
{
    if (!FindEntry(dir_, name).empty()) return EEXIST;
    return file_.RenameToNew(dir_ + "/" + name);
}

} // namespace omv
