#include "common/regularfile.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace fm {

RegularFile::RegularFile(const std::string &path, int flags, mode_t mode)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) {
            status_ = Status::NotRegular;
            return;
        }
    } else if (errno != ENOENT || !(flags & O_CREAT)) {
        error_ = errno;
        status_ = (errno == ENOENT || errno == ENOTDIR) ? Status::Missing : Status::Failed;
        return;
    }
    int fd;
    do {
        fd = ::open(path.c_str(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        error_ = errno;
        status_ = (errno == ENOENT || errno == ENOTDIR) ? Status::Missing : Status::Failed;
        return;
    }
    if (::fstat(fd, &info_) != 0) {
        error_ = errno;
        ::close(fd);
        status_ = Status::Failed;
        return;
    }
    if (!S_ISREG(info_.st_mode)) {
        ::close(fd);
        status_ = Status::NotRegular;
        return;
    }
    const int fl = ::fcntl(fd, F_GETFL);
    if (fl >= 0) ::fcntl(fd, F_SETFL, fl & ~O_NONBLOCK);
    fd_ = fd;
    status_ = Status::Open;
}

RegularFile::~RegularFile() { close(); }

void RegularFile::close()
{
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool RegularFile::readAll(std::string &out, size_t maxSize)
{
    out.clear();
    if (fd_ < 0) {
        error_ = EBADF;
        return false;
    }
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd_, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            error_ = errno;
            return false;
        }
        if (n == 0) return true;
        if (out.size() + static_cast<size_t>(n) > maxSize) {
            error_ = EFBIG;
            return false;
        }
        out.append(buf, static_cast<size_t>(n));
    }
}

std::string RegularFile::why() const
{
    if (status_ == Status::NotRegular) return "not a regular file";
    return std::strerror(error_ ? error_ : EIO);
}

bool ReadRegularFile(const std::string &path, size_t maxSize, std::string &out, std::string *why)
{
    RegularFile file(path);
    if (file.isOpen() && file.readAll(out, maxSize)) return true;
    out.clear();
    if (why) *why = file.why();
    return false;
}

} // namespace fm
