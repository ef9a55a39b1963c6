#pragma once
// Backup of the data folder into the one archive and its restore: the two
// commands of the main window's tool menu. Both show their own boxes.
//
// The archive is AppDir\DataBack\DataBackup.zip, flat (entries carry bare
// file names). A backup adds or replaces the entries of the files directly in
// AppDir\Data\ and keeps every other entry; a restore writes every entry back
// into AppDir\Data\, replacing files of the same name and keeping the rest.
#include "shell/DMModule.h"

#include <string>
#include <vector>

namespace fm {

// The largest file a restore writes (1 GiB). An entry that claims more, or
// more than the disk holding the data folder has free, fails the restore
// before anything is written.
inline constexpr unsigned long long kMaxRestoreEntrySize = 1ULL << 30;
// The most a restore writes in all (4 GiB): when the entries together claim
// more, or more than the disk has free, the restore fails before anything is
// written.
inline constexpr unsigned long long kMaxRestoreTotalSize = 4ULL << 30;

// The commands for a given working folder (AppDir form: no trailing
// separator, suffixes appended with "\").
void DataBackup(const std::string &appDir);
void DataRestore(const std::string &appDir);

// Puts every file of AppDir\Data\ into AppDir\DataBack\DataBackup.zip.
inline void DataBackup() { DataBackup(DMLib->AppDir); }
// Writes the archive's files back into AppDir\Data\, after a Yes/No question.
inline void DataRestore() { DataRestore(DMLib->AppDir); }

// ---- The archive work itself, without boxes (native paths). ----

// True for the suffixes whose files are already packed (gif, png, zip, ...):
// those are stored without compression. Letter case is not significant.
bool StoredWithoutCompression(const std::string &fileName);

// The bare names of the regular files directly in a folder, in the order the
// system lists them; hidden and read-only files included, sub-folders,
// special files and the restore's temporary files skipped. A missing or
// unreadable folder gives no names.
std::vector<std::string> ListFolderFiles(const std::string &folder);

// Adds each named file of `folder` to the archive under its bare name
// (deflate level 9, or stored for the packed suffixes), replacing an entry of
// the same name and keeping the others. Creates the archive when it is
// absent. Throws InOutError; the archive is then left as it was.
void AddFilesToArchive(const std::string &archive, const std::string &folder,
                       const std::vector<std::string> &names);

// The number of entries in the archive's directory; 0 when the file is
// missing, empty, damaged or not an archive.
long long ArchiveEntryCount(const std::string &archive);

// What an entry's stored name becomes in the target folder.
struct EntryTarget {
    enum Kind { File, Folder, Refused } kind;
    std::string name; // the bare file name (kind File only)
};
// Folder parts ("a/", "../", "..\") are dropped so that the file lands
// directly in the target folder; folder entries are skipped; absolute names
// ("/etc/x", "\x", "C:\x") and names that leave nothing usable are refused.
EntryTarget ClassifyEntryName(const std::string &entryName);

// The names a restore gives its temporary files in the data folder
// (".fennimarch-restore-<pid>-<n>.part"): a backup never takes them, and the
// start of every backup or restore removes those whose process has gone.
bool IsRestoreTempName(const std::string &name);

// Writes every entry of the archive into `folder`, replacing files of the
// same name (matched without regard to case). Each file is written to a
// temporary file first and renamed into place, so a failed entry never
// leaves a half-written file behind. An entry larger than
// kMaxRestoreEntrySize or than the free space of the disk, or entries
// together larger than kMaxRestoreTotalSize or than the free space, throw
// InOutError before anything is written. Otherwise goes on after a failed or
// refused entry and throws InOutError at the end when any entry failed.
void ExtractArchive(const std::string &archive, const std::string &folder);

} // namespace fm
