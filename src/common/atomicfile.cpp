#include "common/atomicfile.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fm {
namespace {

constexpr size_t kBufferSize = 64 * 1024;

bool writeAll(int fd, const char *data, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

void syncFolder(const std::string &folder)
{
    const int dfd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
}

std::string folderOf(const std::string &path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

bool allDigits(std::string_view s)
{
    if (s.empty() || s.size() > 18) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

} // namespace

AtomicFile::AtomicFile(std::string folder, std::string stem, std::string suffix, mode_t mode)
    : folder_(folder.empty() ? std::string(".") : std::move(folder)), stem_(std::move(stem)),
      suffix_(std::move(suffix)), mode_(mode)
{
}

AtomicFile::~AtomicFile() { Discard(); }

bool AtomicFile::Open()
{
    Discard();
    for (int attempt = 0; attempt < 100; ++attempt) {
        // Formatted by hand: the conversion library must stay free of symbols
        // that would keep it loaded after it is unloaded.
        char middle[48];
        std::snprintf(middle, sizeof middle, "%ld-%d", long(::getpid()), attempt);
        const std::string tmp = folder_ + (folder_.back() == '/' ? "" : "/") + stem_ + middle + suffix_;
        const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode_);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return false;
        }
        fd_ = fd;
        tmp_ = tmp;
        ok_ = true;
        return true;
    }
    return false;
}

bool AtomicFile::flush()
{
    if (!buf_.empty() && ok_) ok_ = writeAll(fd_, buf_.data(), buf_.size());
    buf_.clear();
    return ok_;
}

bool AtomicFile::Write(const char *data, size_t size)
{
    if (!ok_ || fd_ < 0) return false;
    if (buf_.size() + size > kBufferSize && !flush()) return false;
    if (size >= kBufferSize) {
        ok_ = writeAll(fd_, data, size);
        return ok_;
    }
    if (buf_.capacity() < kBufferSize) buf_.reserve(kBufferSize);
    buf_.append(data, size);
    return true;
}

bool AtomicFile::SetMode(mode_t mode)
{
    if (!ok_ || fd_ < 0) return false;
    if (::fchmod(fd_, mode) != 0) ok_ = false;
    return ok_;
}

bool AtomicFile::Finish()
{
    if (fd_ < 0) return false;
    bool good = flush() && ::fsync(fd_) == 0;
    if (::close(fd_) != 0) good = false;
    fd_ = -1;
    ok_ = good;
    if (!good) Discard();
    return good;
}

bool AtomicFile::RenameTo(const std::string &target)
{
    if (!ok_ || fd_ >= 0 || tmp_.empty() || ::rename(tmp_.c_str(), target.c_str()) != 0) {
        Discard();
        return false;
    }
    tmp_.clear();
    ok_ = false;
    syncFolder(folder_);
    return true;
}

int AtomicFile::RenameToNew(const std::string &target)
{
    if (!ok_ || fd_ >= 0 || tmp_.empty()) {
        Discard();
        return EINVAL;
    }
    const int err = RenameNoReplace(tmp_, target);
    if (err == EEXIST) return err;
    if (err != 0) {
        Discard();
        return err;
    }
    tmp_.clear();
    ok_ = false;
    return 0;
}

void AtomicFile::Discard()
{
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!tmp_.empty()) {
        ::unlink(tmp_.c_str());
        tmp_.clear();
    }
    buf_.clear();
    ok_ = false;
}

int RenameNoReplace(const std::string &from, const std::string &to)
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) != 0) {
        if (errno != EINVAL && errno != ENOSYS) return errno;
        // No such rename here: a second name, which never replaces a file,
        // then the old name goes.
        if (::link(from.c_str(), to.c_str()) != 0) return errno;
        ::unlink(from.c_str());
    }
    syncFolder(folderOf(to));
    return 0;
}

bool SyncFile(const std::string &path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    bool good = ::fsync(fd) == 0;
    if (::close(fd) != 0) good = false;
    return good;
}

bool IsAtomicTempName(std::string_view name, std::string_view stem, std::string_view suffix, long *pid)
{
    if (name.size() < stem.size() + suffix.size() + 3 || name.substr(0, stem.size()) != stem ||
        name.substr(name.size() - suffix.size()) != suffix)
        return false;
    const std::string_view middle = name.substr(stem.size(), name.size() - stem.size() - suffix.size());
    // "<pid>-<n>".
    const size_t sep = middle.find('-');
    if (sep == std::string_view::npos || !allDigits(middle.substr(0, sep)) ||
        !allDigits(middle.substr(sep + 1)))
        return false;
    if (pid) {
        long v = 0;
        for (char c : middle.substr(0, sep)) v = v * 10 + (c - '0');
        *pid = v;
    }
    return true;
}

int RemoveStaleTemps(const std::string &folder, std::string_view stem, std::string_view suffix,
                     bool keepLiveOwners)
{
    DIR *d = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!d) return 0;
    int removed = 0;
    while (const dirent *e = ::readdir(d)) {
        long pid = 0;
        if (!IsAtomicTempName(e->d_name, stem, suffix, &pid)) continue;
        // A process that is still running (or one we may not signal) may be
        // writing it right now.
        if (keepLiveOwners && pid > 0 && pid <= 0x7fffffffL &&
            (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM))
            continue;
        std::string path = folder.empty() ? std::string(".") : folder;
        if (path.back() != '/') path += '/';
        path += e->d_name;
        struct stat st;
        if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::unlink(path.c_str()) == 0)
            ++removed;
    }
    ::closedir(d);
    return removed;
}

} // namespace fm
