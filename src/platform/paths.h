#pragma once
// File names the way the programs write them: the working folder followed by
// a suffix that uses "\" as separator, matched without regard to case.
//
// NativePath() turns such a path into a real one on this machine: every "\"
// becomes "/", and each component that exists in any letter case is replaced
// by its spelling on disk ("\Data\" finds "data", "\SBack" finds "sback").
// Components that do not exist are kept as written. Doubled separators (a
// working folder at the root gives "/" + "\data") are harmless.
#include <string>

namespace fm {

std::string NativePath(const std::string &windowsStylePath);

// The process's current folder, as the programs take it at start-up (no
// trailing separator except at the root).
std::string CurrentFolder();

bool FileExists(const std::string &windowsStylePath);   // a regular file
bool FolderExists(const std::string &windowsStylePath); // a directory

} // namespace fm
