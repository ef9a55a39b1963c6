#pragma once
// Replacing a file whole. The new content goes into a temporary file beside
// the target, is flushed to disk and renamed over the target, so a reader
// sees either the old file or the new one, never a mix, and a failed write
// leaves the target as it was and no temporary file behind.
//
// Temporary names are `stem` + "<pid>-<n>" + `suffix` in the target's
// folder; each user picks a stem that no file of its own can have, so stale
// temporary files (of a killed process) can be found and removed again.
//
// No Qt here: the conversion library (libs/omvertis) uses it as well.
#include <cstddef>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace fm {

class AtomicFile {
public:
    // `mode` is the mode the temporary file is created with (before the
    // umask); it is the new file's mode unless SetMode changes it.
    AtomicFile(std::string folder, std::string stem, std::string suffix, mode_t mode);
    ~AtomicFile(); // discards what was not renamed into place
    AtomicFile(const AtomicFile &) = delete;
    AtomicFile &operator=(const AtomicFile &) = delete;

    // Creates the temporary file (never an existing one).
    bool Open();
    // Appends to the file (buffered); false once anything failed.
    bool Write(const char *data, size_t size);
    bool Write(std::string_view data) { return Write(data.data(), data.size()); }
    // The mode the file gets, exactly (no umask).
    bool SetMode(mode_t mode);
    // Writes out what is buffered, syncs the file to disk and closes it. The
    // file is still the temporary one.
    bool Finish();
    // Renames the finished file to `target` and syncs the folder.
    bool RenameTo(const std::string &target);
    // Finish, then RenameTo.
    bool Commit(const std::string &target) { return Finish() && RenameTo(target); }
    // Gives the finished file the name `target` only when no file has that
    // name (RenameNoReplace) and syncs the folder: 0 then. EEXIST when the
    // name is taken: the file stays the finished temporary one, for another
    // name. Any other error removes the temporary file.
    int RenameToNew(const std::string &target);
    // Closes and removes the temporary file.
    void Discard();

    // The open file (-1 when none), for metadata such as times.
    int Handle() const { return fd_; }
    const std::string &TempPath() const { return tmp_; }

private:
    bool flush();

    std::string folder_, stem_, suffix_;
    mode_t mode_;
    int fd_ = -1;
    bool ok_ = false;
    std::string tmp_;
    std::string buf_;
};

// Renames `from` to `to` only when no file is named `to`: a rename that
// refuses an existing target, or, on a file system without one, a hard link
// and the removal of the old name. The folder of `to` is synced afterwards.
// 0 on success, else the error (EEXIST when `to` is taken).
int RenameNoReplace(const std::string &from, const std::string &to);

// Writes a file's content out to disk (fsync); false when it cannot.
bool SyncFile(const std::string &path);

// True when `name` (a bare file name) has the form of a temporary name with
// this stem and suffix; `pid` then receives the process that made it.
bool IsAtomicTempName(std::string_view name, std::string_view stem, std::string_view suffix,
                      long *pid = nullptr);

// Removes the files of `folder` with temporary names of this stem and suffix.
// With `keepLiveOwners`, the files of a process that is still running stay.
// Returns the number removed.
int RemoveStaleTemps(const std::string &folder, std::string_view stem, std::string_view suffix,
                     bool keepLiveOwners);

} // namespace fm
