#pragma once
// Our stand-in for the file version resources of programs and libraries.
//
// The build places a version block (layout: versionblock.h) into the ELF
// section ".fmversion" of a program or library (cmake/VersionResource.cmake).
// These functions read it back with the semantics of the Windows version
// functions. A file that is not an ELF file, has no such section, or whose
// section or block is damaged, has no version. Everything read from the file
// is bounds-checked.
//
// Paths are native paths (pass AppDir + "\\Name" through NativePath()).
#include <cstdint>
#include <string>

namespace fm {

// Bytes the caller must provide to GetFileVersionInfo(); 0 when the file has
// no version. *handle (when given) is set to 0.
uint32_t GetFileVersionInfoSize(const std::string &file, uint32_t *handle);

// Copies the version information of the file into data, which must hold
// `len` bytes, len being at least what GetFileVersionInfoSize() returned.
// The copy holds the block itself followed by the CP949 form of its texts.
// False when the file has no version or len is too small.
bool GetFileVersionInfo(const std::string &file, uint32_t handle, uint32_t len, void *data);

// Looks a value up in a copy made by GetFileVersionInfo(). subBlock:
//   "\"                                   the fixed part (52 bytes)
//   "\VarFileInfo\Translation"            the translation table: pairs of
//                                         16-bit language and code page
//   "\StringFileInfo\041203B5\FileVersion" a zero-terminated CP949 text;
//                                         *len = its characters with the zero
// Names compare without regard to case. False when there is no such value.
bool VerQueryValue(const void *block, const std::string &subBlock, const void **buffer,
                   uint32_t *len);

// The text of one string of the file's version, from the string table of
// the first translation; empty on any failure.
std::string GetFileVersionString(const std::string &file, const std::string &key);

} // namespace fm
