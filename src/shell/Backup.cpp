#include "shell/Backup.h"

#include "common/atomicfile.h"
#include "common/errors.h"
#include "common/msgbox.h"
#include "common/widgets.h"
#include "platform/paths.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QString>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <zip.h>

namespace fm {
namespace {

const char *const kStoredSuffixes[] = {"gif", "png", "z",   "zip", "zoo", "arc", "lzh", "arj", "taz",
                                       "tgz", "lha", "rar", "ace", "cab", "gz",  "gzip", "jar"};

const char *const kArchiveSuffix = "\\DataBack\\DataBackup.zip";
const char *const kDataSuffix = "\\Data\\";

std::string JoinPath(const std::string &folder, const std::string &name)
{
    if (!folder.empty() && folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

std::string ErrnoText(const std::string &what, int err)
{
    return what + ": " + std::strerror(err);
}

// A restored file is written under a temporary name in the data folder:
// kRestoreTempStem + "<pid>-<n>" + kRestoreTempSuffix.
const char *const kRestoreTempStem = ".fennimarch-restore-";
const char *const kRestoreTempSuffix = ".part";

// Removes what a killed restore left in the data folder. Files of a restore
// still running in another process stay.
void RemoveStaleRestoreTemps(const std::string &folder)
{
    RemoveStaleTemps(folder, kRestoreTempStem, kRestoreTempSuffix, true);
}

// The free space of the disk that holds `folder`, for an ordinary user
// (unbounded when the system cannot say).
unsigned long long FreeSpace(const std::string &folder)
{
    struct statvfs vfs{};
    if (::statvfs(folder.c_str(), &vfs) != 0) return ~0ULL;
    return static_cast<unsigned long long>(vfs.f_bavail) * vfs.f_frsize;
}

// Keeps the window system going during a long archive run: the clock, open
// connections and the menus stay live, as they do while any message box is
// open. A command started from a menu meanwhile runs to its end inside this
// call; every file a restore writes is replaced whole, so none is left torn.
class EventPump {
public:
    EventPump() { timer_.start(); }
    void operator()()
    {
        if (!QCoreApplication::instance() || timer_.elapsed() < 50) return;
        QCoreApplication::processEvents();
        timer_.restart();
    }

private:
    QElapsedTimer timer_;
};

void PumpProgress(zip_t *, double, void *pump) { (*static_cast<EventPump *>(pump))(); }

// The archive's last error as text.
std::string ZipErrorText(zip_t *za) { return zip_strerror(za); }

std::string OpenErrorText(int code)
{
    zip_error_t err;
    zip_error_init_with_code(&err, code);
    std::string text = zip_error_strerror(&err);
    zip_error_fini(&err);
    return text;
}

// Owns an open archive; discards it unless it was closed.
class Archive {
public:
    Archive(const std::string &path, int flags)
    {
        int code = 0;
        za_ = zip_open(path.c_str(), flags, &code);
        if (!za_) throw InOutError(path + ": " + OpenErrorText(code));
    }
    ~Archive()
    {
        if (za_) zip_discard(za_);
    }
    Archive(const Archive &) = delete;
    Archive &operator=(const Archive &) = delete;
    zip_t *get() const { return za_; }
    void close()
    {
        if (zip_close(za_) != 0) throw InOutError(ZipErrorText(za_));
        za_ = nullptr;
    }

private:
    zip_t *za_ = nullptr;
};

// Refuses an entry that is larger than a restore may write, or than the disk
// can take, before anything of it is written.
void CheckEntrySize(const std::string &name, const zip_stat_t &st, const std::string &folder)
{
    if (!(st.valid & ZIP_STAT_SIZE))
        throw InOutError(name + ": the archive does not say how large the file is");
    if (st.size > kMaxRestoreEntrySize)
        throw InOutError(name + ": " + std::to_string(st.size) + " bytes, more than a restore writes (" +
                         std::to_string(kMaxRestoreEntrySize) + ")");
    if (st.size > FreeSpace(folder))
        throw InOutError(name + ": " + std::to_string(st.size) +
                         " bytes, more than the disk has free");
}

// Writes one entry to `target` through a temporary file in the same folder.
void ExtractEntry(zip_t *za, zip_uint64_t index, const std::string &folder,
                  const std::string &target, EventPump &pump)
{
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(za, index, 0, &st) != 0) throw InOutError(target + ": " + ZipErrorText(za));
    CheckEntrySize(target, st, folder);

    zip_file_t *zf = zip_fopen_index(za, index, 0);
    if (!zf) throw InOutError(target + ": " + ZipErrorText(za));

    AtomicFile file(folder, kRestoreTempStem, kRestoreTempSuffix, 0666);
    if (!file.Open()) {
        const int err = errno;
        zip_fclose(zf);
        throw InOutError(ErrnoText(target, err));
    }

    std::string failure;
    std::vector<char> buf(1 << 16);
    zip_uint64_t written = 0;
    for (;;) {
        zip_int64_t n = zip_fread(zf, buf.data(), buf.size());
        if (n < 0) {
            failure = target + ": " + zip_file_strerror(zf);
            break;
        }
        if (n == 0) break;
        written += static_cast<zip_uint64_t>(n);
        if (written > st.size) { // never more than was checked above
            failure = target + ": the entry holds more than the archive says";
            break;
        }
        if (!file.Write(buf.data(), static_cast<size_t>(n))) {
            failure = ErrnoText(target, errno);
            break;
        }
        pump();
    }
    if (zip_fclose(zf) != 0 && failure.empty()) failure = target + ": " + ZipErrorText(za);
    // A cut-off entry is damaged: it does not replace the file it would.
    if (failure.empty() && written != st.size) failure = target + ": the entry holds less than the archive says";

    if (failure.empty()) {
        // A replaced file keeps its permissions; a new one gets the usual ones.
        struct stat old{};
        if (::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode)) file.SetMode(old.st_mode & 07777);
        if (st.valid & ZIP_STAT_MTIME) {
            struct timespec times[2];
            times[0].tv_sec = times[1].tv_sec = st.mtime;
            times[0].tv_nsec = times[1].tv_nsec = 0;
            ::futimens(file.Handle(), times);
        }
        if (!file.Commit(target)) failure = ErrnoText(target, errno);
    }
    if (!failure.empty()) {
        file.Discard();
        throw InOutError(failure);
    }
}

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

bool g_busy = false;

class BusyScope {
public:
    BusyScope() { g_busy = true; }
    ~BusyScope() { g_busy = false; }
};

} // namespace

bool StoredWithoutCompression(const std::string &fileName)
{
    const size_t dot = fileName.rfind('.');
    if (dot == std::string::npos) return false;
    const std::string suffix = fileName.substr(dot + 1);
    return std::any_of(std::begin(kStoredSuffixes), std::end(kStoredSuffixes),
                       [&](const char *s) { return ::strcasecmp(s, suffix.c_str()) == 0; });
}

std::vector<std::string> ListFolderFiles(const std::string &folder)
{
    std::vector<std::string> names;
    DIR *d = ::opendir(folder.c_str());
    if (!d) return names;
    while (dirent *e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        if (IsRestoreTempName(name)) continue;
        struct stat st{};
        if (::stat(JoinPath(folder, name).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        names.push_back(name);
    }
    ::closedir(d);
    return names;
}

void AddFilesToArchive(const std::string &archive, const std::string &folder,
                       const std::vector<std::string> &names)
{
    if (names.empty()) return; // nothing to add: the archive stays as it is

    Archive za(archive, ZIP_CREATE);
    for (const auto &name : names) {
        const std::string path = JoinPath(folder, name);
        zip_source_t *src = zip_source_file(za.get(), path.c_str(), 0, -1);
        if (!src) throw InOutError(path + ": " + ZipErrorText(za.get()));

        // Same name (byte for byte) replaces; the stored name keeps the bytes
        // it has on disk.
        zip_int64_t index = zip_name_locate(za.get(), name.c_str(), ZIP_FL_ENC_RAW);
        if (index >= 0) {
            if (zip_file_replace(za.get(), static_cast<zip_uint64_t>(index), src, 0) != 0) {
                zip_source_free(src);
                throw InOutError(path + ": " + ZipErrorText(za.get()));
            }
        } else {
            index = zip_file_add(za.get(), name.c_str(), src, ZIP_FL_ENC_GUESS);
            if (index < 0) {
                zip_source_free(src);
                throw InOutError(path + ": " + ZipErrorText(za.get()));
            }
        }
        const bool stored = StoredWithoutCompression(name);
        if (zip_set_file_compression(za.get(), static_cast<zip_uint64_t>(index),
                                     stored ? ZIP_CM_STORE : ZIP_CM_DEFLATE, stored ? 0 : 9) != 0)
            throw InOutError(path + ": " + ZipErrorText(za.get()));
    }

    EventPump pump;
    zip_register_progress_callback_with_state(za.get(), 0.01, PumpProgress, nullptr, &pump);
    za.close();
}

long long ArchiveEntryCount(const std::string &archive)
{
    struct stat st{};
    if (::stat(archive.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return 0;
    int code = 0;
    zip_t *za = zip_open(archive.c_str(), ZIP_RDONLY, &code);
    if (!za) return 0;
    const zip_int64_t n = zip_get_num_entries(za, 0);
    zip_discard(za);
    return n < 0 ? 0 : n;
}

EntryTarget ClassifyEntryName(const std::string &entryName)
{
    if (entryName.empty()) return {EntryTarget::Refused, {}};
    if (IsSeparator(entryName.front())) return {EntryTarget::Refused, {}};
    // "C:\x": a drive path. ("C:x" alone is an ordinary name here.)
    if (entryName.size() >= 3 && entryName[1] == ':' && IsSeparator(entryName[2]) &&
        ((entryName[0] >= 'A' && entryName[0] <= 'Z') || (entryName[0] >= 'a' && entryName[0] <= 'z')))
        return {EntryTarget::Refused, {}};
    if (IsSeparator(entryName.back())) return {EntryTarget::Folder, {}};

    size_t start = entryName.size();
    while (start > 0 && !IsSeparator(entryName[start - 1])) --start;
    std::string base = entryName.substr(start);
    if (base == "." || base == "..") return {EntryTarget::Refused, {}};
    return {EntryTarget::File, base};
}

bool IsRestoreTempName(const std::string &name)
{
    return IsAtomicTempName(name, kRestoreTempStem, kRestoreTempSuffix);
}

void ExtractArchive(const std::string &archive, const std::string &folder)
{
    Archive za(archive, ZIP_RDONLY);
    const zip_int64_t count = zip_get_num_entries(za.get(), 0);
    // An entry too large for a restore, or entries together too large,
    // refuse the whole restore before anything is written (each entry is
    // checked again as it is written). Files an entry replaces are not
    // counted as freed: the total is held against the free space as it is.
    unsigned long long total = 0;
    for (zip_int64_t i = 0; i < count; ++i) {
        const char *raw = zip_get_name(za.get(), static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW);
        if (!raw || ClassifyEntryName(raw).kind != EntryTarget::File) continue;
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat_index(za.get(), static_cast<zip_uint64_t>(i), 0, &st) != 0)
            throw InOutError(std::string(raw) + ": " + ZipErrorText(za.get()));
        CheckEntrySize(raw, st, folder);
        total += st.size; // each at most kMaxRestoreEntrySize: no overflow before the check
        if (total > kMaxRestoreTotalSize)
            throw InOutError(archive + ": more than " + std::to_string(kMaxRestoreTotalSize) +
                             " bytes in all, more than a restore writes");
    }
    if (total > FreeSpace(folder))
        throw InOutError(archive + ": " + std::to_string(total) + " bytes in all, more than the disk has free");
    EventPump pump;
    std::string firstFailure;
    for (zip_int64_t i = 0; i < count; ++i) {
        const auto index = static_cast<zip_uint64_t>(i);
        const char *raw = zip_get_name(za.get(), index, ZIP_FL_ENC_RAW);
        if (!raw) {
            if (firstFailure.empty()) firstFailure = ZipErrorText(za.get());
            continue;
        }
        const EntryTarget t = ClassifyEntryName(raw);
        if (t.kind == EntryTarget::Folder) continue;
        if (t.kind == EntryTarget::Refused) {
            if (firstFailure.empty()) firstFailure = std::string("refused entry name: ") + raw;
            continue;
        }
        try {
            ExtractEntry(za.get(), index, folder, NativePath(JoinPath(folder, t.name)), pump);
        } catch (const Error &e) {
            if (firstFailure.empty()) firstFailure = e.what();
        }
        pump();
    }
    if (!firstFailure.empty()) throw InOutError(firstFailure);
}

void DataBackup(const std::string &appDir)
{
    if (g_busy) return;
    BusyScope busy;
    bool ok = true;
    try {
        const std::string folder = NativePath(appDir + kDataSuffix);
        RemoveStaleRestoreTemps(folder);
        AddFilesToArchive(NativePath(appDir + kArchiveSuffix), folder, ListFolderFiles(folder));
    } catch (...) {
        ok = false;
    }
    if (ok)
        MessageBox(U("데이터가 성공적으로 백업되었습니다."), U("백업완료"), MsgIcon::Information);
    else
        MessageBox(U("데이터가 백업되지 않았습니다."), U("백업실패"), MsgIcon::Error);
}

void DataRestore(const std::string &appDir)
{
    if (g_busy) return;
    BusyScope busy;
    if (FolderExists(appDir + kDataSuffix)) RemoveStaleRestoreTemps(NativePath(appDir + kDataSuffix));
    const std::string archive = NativePath(appDir + kArchiveSuffix);
    if (!FileExists(appDir + kArchiveSuffix) || ArchiveEntryCount(archive) < 1) {
        MessageBox(U("복구할 파일이 없습니다."), U("오류"), MsgIcon::Error);
        return;
    }
    if (MessageBox(U("데이터를 복구하면 기존에 존재하던 데이터가 삭제될 수 있습니다.\r\n"
                     "데이터를 복구하시겠습니까?"),
                   U("확인"), MsgIcon::Question, MsgButtons::YesNo) != mrYes)
        return;

    bool ok = true;
    try {
        // The data folder is made at start-up; when it has gone since, it is
        // made again under the same name before writing into it.
        if (!FolderExists(appDir + kDataSuffix) &&
            ::mkdir(NativePath(appDir + "\\data").c_str(), 0777) != 0)
            throw InOutError(ErrnoText(appDir + "\\data", errno));
        ExtractArchive(archive, NativePath(appDir + kDataSuffix));
    } catch (...) {
        ok = false;
    }
    if (ok)
        MessageBox(U("데이터가 성공적으로 복구되었습니다."), U("복구완료"), MsgIcon::Information);
    else
        MessageBox(U("데이터가 복구되지 않았습니다."), U("복구실패"), MsgIcon::Error);
}

} // namespace fm
