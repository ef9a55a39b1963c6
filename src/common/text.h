#pragma once
// Text helpers shared by every part of the system. All widths count bytes
// of the Korean double-byte code page (a Korean syllable counts two).
#include <cstdint>
#include <string>
#include <string_view>

namespace fm {

// Leading and trailing blanks and control characters (bytes <= 32) removed.
std::string Trimmed(std::string_view s);

// A decimal text as a signed 32-bit integer: leading blanks skipped, an
// optional sign, then digits only. Anything else (a trailing blank, an empty
// text, overflow) raises ConvertError "'%s' is not a valid integer value"
// with the text (shown as UTF-8) in place of %s. The text is CP949.
int32_t StrToInt(std::string_view s);
// The same rule read into 64 bits; used where a field holds more digits than
// 32 bits can carry.
int64_t StrToInt64(std::string_view s);

// "0" characters in front up to the width; never shortens.
std::string PadLeftZero(std::string_view s, int width);
// Blanks behind up to the width; never shortens.
std::string PadRightSpace(std::string_view s, int width);

// The leftmost `width` bytes of s, padded with blanks when shorter: what a
// fixed-width place of a record receives.
std::string FitField(std::string_view s, size_t width);

// A field of a record: `width` bytes from `offset`, cut at the first zero
// byte, clamped to the record.
std::string FieldAt(std::string_view record, size_t offset, size_t width);

// A number grouped by threes with ",", no decimals, right-aligned in at
// least `width` characters (the "%<width>.0n" format of the Korean locale).
// The process locale plays no part.
std::string FormatThousands(int64_t value, int width);

} // namespace fm
