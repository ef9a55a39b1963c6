#pragma once
// Our stand-in for the machine-wide registry (HKEY_LOCAL_MACHINE).
//
// One hive shared by both programs, kept in one human-readable text file.
// Its location: the environment variable FENNIMARCH_HIVE names the file;
// otherwise $XDG_CONFIG_HOME/fennimarch/hklm.reg (~/.config/... when unset).
// A missing (or zero-length) file is an empty hive; its folder is created on
// the first write.
// All key paths, value names and values are CP949 bytes (see common/regnames.h
// for the names); every value the system uses is a string.
//
// The file (UTF-8) looks like this:
//
//   Fennimarch registry hive 1
//   [HKEY_LOCAL_MACHINE\Software\(주)Norvane\Velmontis\Communication]
//   "Address"="127.0.0.1"
//   "PortNo"="39995"
//   "SomeNumber"=dword:00000010
//
// Inside quotes, \" and \\ stand for " and \, and \xHH for a byte that has no
// printable form (a control byte, or a byte that is not valid CP949). Lines
// starting with ';' and blank lines are ignored. Values of other types
// (dword:, hex:, hex(n):) are kept as written. "@" names the default value.
// A key has a section of its own when it has values or no subkeys; a key
// with subkeys alone is implied by theirs (so the file grows with the hive,
// not with its depth). Keys nest at most kMaxKeyDepth deep; the file is at
// most 16 MB.
//
// Semantics relied on by the programs:
// - Key paths are taken from HKEY_LOCAL_MACHINE (a leading "\" is allowed).
//   Key paths and value names match without regard to case but keep the
//   spelling they were created with.
// - OpenKey(path, false) fails (returns false) when the key does not exist;
//   OpenKey(path, true) creates the key and its parents. A key is opened
//   with the rights in `Access` (full access by default); full access fails
//   when the hive is not writable, as for a user without write rights.
//   OpenKeyReadOnly opens an existing key for reading only. A failed open
//   leaves no key open.
// - The hive is writable when the file (or, before it exists, the nearest
//   existing folder on its path) and its folder have the owner-write mode
//   bit and access(W_OK) allows writing: mode bits count even for root.
// - ReadString of a missing value gives an empty text; a value stored with
//   another type raises RegistryError "Invalid data type for '%s'".
// - WriteString failure (hive not writable, no key open, key opened read-only
//   or deleted meanwhile, the file write failing) raises RegistryError
//   "Failed to set data for '%s'".
// - Every write reaches the file at once and atomically (under an exclusive
//   lock on the file + ".lock", the file is read again, changed, written to
//   a new file file + ".tmp.<pid>-<n>" in the same folder and renamed over
//   the old one), so another process that opens a key afterwards sees it.
//   A write whose result the reader would refuse (too large) is not made
//   and fails as above. Temporary files left by a killed writer are removed
//   by the next write, under the lock. Every access re-reads the file when
//   it has changed. A damaged hive file, or one that is not a regular file
//   (a FIFO or a device is never opened for reading or waited on), raises
//   RegistryError naming the file on any access and is never overwritten. A
//   lock file that is not a regular file makes every write fail.
// - The hive holds a password: the file, its lock and the temporary files
//   are created readable and writable by the owner only (0600), and every
//   rewrite leaves the hive so.
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace fm {

// Access rights, with the values Windows gives them.
inline constexpr unsigned KEY_QUERY_VALUE = 0x0001;
inline constexpr unsigned KEY_SET_VALUE = 0x0002;
inline constexpr unsigned KEY_CREATE_SUB_KEY = 0x0004;
inline constexpr unsigned KEY_ENUMERATE_SUB_KEYS = 0x0008;
inline constexpr unsigned KEY_READ = 0x20019;
inline constexpr unsigned KEY_WRITE = 0x20006;
inline constexpr unsigned KEY_ALL_ACCESS = 0xF003F;

// Keys nest at most this deep: OpenKey and KeyExists fail for a deeper path,
// and a hive file with a deeper key is refused as damaged.
inline constexpr size_t kMaxKeyDepth = 10000;

class TRegistry {
public:
    TRegistry();
    ~TRegistry();
    TRegistry(const TRegistry &) = delete;
    TRegistry &operator=(const TRegistry &) = delete;

    // Rights with which OpenKey opens a key.
    unsigned Access = KEY_ALL_ACCESS;

    bool OpenKey(const std::string &key, bool canCreate);
    // Opens an existing key with read access only (works on a read-only hive).
    bool OpenKeyReadOnly(const std::string &key);
    void CloseKey();
    bool KeyExists(const std::string &key);
    bool ValueExists(const std::string &name);
    std::string ReadString(const std::string &name);
    void WriteString(const std::string &name, const std::string &value);
    // The names of the values of the open key (for tools and tests).
    std::vector<std::string> GetValueNames();

    const std::string &CurrentPath() const { return current_; }

    // The hive file in use.
    static std::string HivePath();
    // The whole hive in its file form (UTF-8), for tools.
    static std::string Dump();

private:
    struct Impl;
    bool openKey(const std::string &key, bool canCreate, unsigned access);

    std::string current_; // the open key, empty when none
    bool open_ = false;
    std::unique_ptr<Impl> d_;
};

// Closes the registry object's key when the scope ends, on every path out
// of it (the try/finally around each use of a key).
struct TKeyCloser {
    TRegistry &reg;
    ~TKeyCloser() { reg.CloseKey(); }
};

} // namespace fm
