#pragma once
// One file conversion through the conversion library "Omvertis.dll".
//
// The library is loaded for every call and unloaded again before the call
// returns. It is looked for under its bare name "Omvertis.dll" in the
// program's own folder first and then in the working folder given to the
// call (both matched without regard to letter case); the first one that
// loads is used.
#include <string>
#include <vector>

namespace fm {

inline constexpr const char *kOmvertisLibrary = "Omvertis.dll";
inline constexpr const char *kOmvertisEntry = "DoOmvertis";
// What the "S" conversion appends to the name of the copy it writes to
// sback: not ".txt", so the file lists never show a copy.
inline constexpr const char *kConvertedCopySuffix = ".cnv";

// Converts fileName (a bare name) of the working folder `folder` with mode
// "S" (a transfer file of folder\send into the copy to send,
// folder\sback\<fileName> + kConvertedCopySuffix) or "R" (a received raw file
// of folder\recv into a new "S*.txt" transfer file there, never replacing
// one). True when the library reports success. A library that cannot be loaded, or that lacks its entry,
// is reported in a plain message and gives false.
bool ConvertFile(const std::string &folder, const std::string &fileName, const std::string &mode);

// The paths ConvertFile tries, in order.
std::vector<std::string> OmvertisCandidates(const std::string &folder);

// The folder the running program was started from.
std::string ProgramFolder();
// Makes ProgramFolder() answer `folder` instead (tests); empty restores it.
void SetProgramFolder(const std::string &folder);

} // namespace fm
