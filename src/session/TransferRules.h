#pragma once
// Rules of the file exchange that need no window: the raw result file's
// name and its counter, the shape of a received block, the host's total,
// safe bare file names, the notice text shown for a Rich Text file, and the
// fields of the detail list.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace fm {

// A bare file name that stays inside its folder: not empty, not "." or "..",
// no "/" or "\", no ".." anywhere, no control characters.
bool IsSafeBareName(std::string_view name);

// The two-digit suffix of the raw file name: the counter in decimal, "0" in
// front to two digits, then its first two characters (1 -> "01", 123 -> "12").
std::string RecvSuffix(int counter);

// The raw file name: the CompCd and SubCode fields (each up to a zero byte),
// ".", the first character of the file-kind code, the counter's suffix.
std::string RecvFileNameOf(std::string_view compCdField, std::string_view subCodeField,
                           std::string_view kindCode, int counter);

// The counter a file kind advances: one of the nine counters "000" .. "800"
// stands for itself; another three-digit kind takes the counter of its
// hundred ("801" -> "800"), whose files get the same name letter, so that
// the two never give one name twice on a day. Empty for anything else.
std::string CounterNameFor(const std::string &kindCode);

// Record length and count of a received block, from the length text (the
// first three characters of RecInfo for a first block, the whole field after)
// and the two RecCount characters. Nothing when either is not a decimal
// number, the length is not positive, the count is negative, or the records
// would run past the 960-byte data part.
struct TBlockShape {
    int RecLen = 0;
    int Count = 0;
};
std::optional<TBlockShape> ReadBlockShape(std::string_view recLenText, std::string_view recCountText);

// The host's total of records in the Data part of its end telegram, blanks
// trimmed; nothing when it is not a decimal number.
std::optional<int> ReadTotal(std::string_view data);

// The amount a file list shows (column 7, "%13.0n": blanks in front, the
// digits grouped with ","), as a number; nothing when the text is not such
// an amount.
std::optional<int64_t> ReadShownAmount(std::string_view cell);

// True when the text is a Rich Text document ("{\rtf" at its start).
bool IsRichText(std::string_view text);
// The text of a Rich Text document with its control words, groups of
// formatting tables and hidden destinations removed: \par and \line give
// line ends, \tab a tab, \'hh the byte hh (the document's code page is kept,
// so Korean text stays CP949), \uN the character N as CP949 when it has one.
std::string RtfToPlain(std::string_view rtf);

// ---- detail list -------------------------------------------------------------

// The bank key of the failure-reason lookup: "26", "11" and "12" stand for
// themselves, every other code (a blank one too) for "99".
std::string ReasonBankKey(const std::string &bankCode);
// The result code of the lookup: trimmed, then "0" in front to 4 characters.
std::string ReasonResultCode(const std::string &field);
// An amount field shown with thousands separators: "0" in front to `width`
// characters, read as a decimal number (64 bits), formatted right-aligned in
// `width` characters. A field that is not a number raises ConvertError.
std::string DetailAmount(const std::string &field, int width);

} // namespace fm
