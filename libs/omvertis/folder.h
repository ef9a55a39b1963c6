#pragma once
// Files and folders for the conversions: case-blind look-up of names, input
// files opened safely, and output files that appear only when complete.
#include "common/atomicfile.h"

#include <cstdio>
#include <string>
#include <sys/stat.h>

namespace omv {

// A bare file name: not empty, not "." or "..", holding neither "/" nor "\"
// nor "..".
bool IsBareName(const char *name);

// The spelling on disk of the entry of `dir` whose name equals `name` when
// ASCII letters are compared without regard to case; an exact match wins.
// Empty when there is none.
std::string FindEntry(const std::string &dir, const std::string &name);

// dir + "/" + the on-disk spelling of its sub-folder `name`; empty when
// there is no such folder.
std::string SubFolder(const std::string &dir, const std::string &name);

// A regular file opened for reading. A missing file, a folder, a device or a
// FIFO is not opened (and opening never waits).
class InputFile {
public:
    explicit InputFile(const std::string &path);
    ~InputFile();
    InputFile(const InputFile &) = delete;
    InputFile &operator=(const InputFile &) = delete;

    bool IsOpen() const { return f_ != nullptr; }
    std::FILE *Get() const { return f_; }
    long long Size() const { return static_cast<long long>(st_.st_size); }
    const struct stat &Stat() const { return st_; }
    // True when exactly n bytes were read.
    bool ReadExactly(char *buf, size_t n);
    // True when nothing follows.
    bool AtEnd();

private:
    std::FILE *f_ = nullptr;
    struct stat st_{};
};

// A new file in `dir` under a temporary hidden name. Commit() gives it its
// final name; until then, and whenever anything fails, the temporary file
// is removed again.
class OutputFile {
public:
    explicit OutputFile(std::string dir);
    ~OutputFile();
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;

    bool Open();
    bool Write(const char *data, size_t n);
    // Flushes and closes the file and renames it to `name` in the folder,
    // replacing a file whose name differs only in letter case. Refused when
    // that file is `protect` itself (the input reached through a link).
    bool Commit(const std::string &name, const struct stat &protect);
    // Flushes, syncs and closes the file, still under its temporary name.
    bool Finish();
    // Gives the finished file the name `name` unless an entry of the folder
    // has that name in any letter case; never replaces a file, so the name
    // appears only with the whole content behind it. 0 then; EEXIST when
    // the name is taken (the file stays finished, for another name); on any
    // other error the temporary file is removed.
    int PublishAs(const std::string &name);

private:
    std::string dir_;
    fm::AtomicFile file_;
};

} // namespace omv
