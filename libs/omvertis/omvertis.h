#pragma once
// Omvertis, the transfer-file conversion library.
//
// DoOmvertis(folder, fileName, mode) converts one file of the working folder
// `folder` (a native path). fileName is a bare file name, matched without
// regard to letter case; mode is "S" or "R". It returns non-zero when the
// file was converted.
//
// "S" (before sending): reads folder/send/<fileName>, a transfer file (one
// header, N data records and one trailer, every record 148 bytes followed by
// CR LF, the trailer's CR LF optional, the trailer's total count at position
// 31 equal to N), and writes the copy to send, folder/sback/<fileName>.cnv:
// the N + 2 records, each on a line of its own ending in CR LF. The file in
// send, and a sent file of that name in sback, stay as they are.
//
// "R" (after receiving): reads folder/recv/<fileName>, a raw result file of
// equal-length records, one per line, and writes a new transfer file
// folder/recv/S<fileName with "." replaced by "_">_<yyyymmddhhmmss>.txt
// (local time; "_2", "_3", ... before ".txt" when that name is taken), every
// record as 148 bytes and CR LF (see omvertis.cpp for records of another
// length). It never replaces a file of recv. The raw file stays.
//
// A result is written to a temporary file in the target folder
// (".omvertis-<pid>-<n>.tmp"), synced to disk and renamed into place only
// when complete, so its name never shows an empty or partial file; on
// failure nothing is left behind, and what a killed conversion left is
// removed by the next conversion into that folder. Nothing
// is ever written outside folder/sback and folder/recv. Sub-folder names
// are matched without regard to letter case.
#ifdef __cplusplus
extern "C" {
#endif

#if defined(OMVERTIS_BUILDING)
#define OMVERTIS_API __attribute__((visibility("default")))
#else
#define OMVERTIS_API
#endif

OMVERTIS_API unsigned char DoOmvertis(const char *folder, const char *fileName, const char *mode);

// The entry's type, for loading it by name.
typedef unsigned char (*DoOmvertisFn)(const char *folder, const char *fileName, const char *mode);

#ifdef __cplusplus
}
#endif
