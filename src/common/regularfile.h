#pragma once
// Opening a file that must be a regular file. A FIFO, a device or a terminal
// in a file's place (or a link to one) would make a plain open or read wait
// for ever, or become the process's controlling terminal; such a file is
// never waited on and never read. The name is looked at before it is opened,
// so a device is not even opened, and the opened descriptor is looked at
// again, so a file swapped in between is caught as well.
//
// No Qt here: the encryption library (libs/zelcoran), the registry and the
// host simulator's files use it.
#include <cstddef>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>

namespace fm {

class RegularFile {
public:
    enum class Status {
        Open,       // a regular file, open
        Missing,    // no such file (or a path through something not a folder)
        NotRegular, // a FIFO, device, socket or folder: not opened, or closed again
        Failed,     // any other failure; error() tells which
    };

    // Opens `path`, following links, with `flags` (O_RDONLY to read; for
    // instance O_RDWR | O_CREAT with `mode` for a lock file), always adding
    // O_NONBLOCK, O_NOCTTY and O_CLOEXEC. O_NONBLOCK is taken off again once
    // the descriptor is known to be a regular file.
    explicit RegularFile(const std::string &path, int flags = O_RDONLY, mode_t mode = 0);
    ~RegularFile();
    RegularFile(const RegularFile &) = delete;
    RegularFile &operator=(const RegularFile &) = delete;

    Status status() const { return status_; }
    bool isOpen() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    // errno of a Missing or Failed open or of the last failed read (EFBIG:
    // the file is larger than the reader takes).
    int error() const { return error_; }
    // What fstat said of the open file.
    const struct stat &info() const { return info_; }

    // Reads the rest of the file into `out`. False when a read fails or the
    // file holds more than `maxSize` bytes (error() is then EFBIG).
    bool readAll(std::string &out, size_t maxSize);
    void close();

    // A short English text for a status other than Open ("not a regular
    // file", or the system's text for error()).
    std::string why() const;

private:
    int fd_ = -1;
    Status status_ = Status::Failed;
    int error_ = 0;
    struct stat info_ {};
};

// Reads a whole regular file of at most `maxSize` bytes into `out`. On
// failure returns false and, when `why` is given, says why there.
bool ReadRegularFile(const std::string &path, size_t maxSize, std::string &out,
                     std::string *why = nullptr);

} // namespace fm
