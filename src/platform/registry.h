#pragma once
// Our stand-in for the machine-wide registry (HKEY_LOCAL_MACHINE).
//
// One hive shared by both programs, kept in one human-readable text file.
// Its location: the environment variable FENNIMARCH_HIVE names the file;
// otherwise $XDG_CONFIG_HOME/fennimarch/hklm.reg (~/.config/... when unset).
// All key paths, value names and values are CP949 bytes (see common/regnames.h
// for the names); every value the system uses is a string.
//
// Semantics relied on by the programs:
// - OpenKey(path, false) fails (returns false) when the key does not exist;
//   OpenKey(path, true) creates the key and its parents.
// - ReadString of a missing value gives an empty text; a value stored with
//   another type raises RegistryError "Invalid data type for '%s'".
// - WriteString failure (hive not writable, no key open) raises RegistryError
//   "Failed to set data for '%s'".
// - Every write reaches the file at once and atomically (a new file renamed
//   over the old one, under a lock), so another process that opens a key
//   afterwards sees it. A damaged hive file raises RegistryError on any
//   access and is never overwritten.
#include <string>
#include <vector>

namespace fm {

class TRegistry {
public:
    TRegistry();
    ~TRegistry();
    TRegistry(const TRegistry &) = delete;
    TRegistry &operator=(const TRegistry &) = delete;

    bool OpenKey(const std::string &key, bool canCreate);
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

private:
    std::string current_; // the open key, empty when none
    bool open_ = false;
};

} // namespace fm
