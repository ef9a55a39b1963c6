#pragma once
// The one place where text changes encoding.
//
// Everything the system stores or sends (telegrams, transfer files, registry
// values, result-code tables) is Korean double-byte code page text (CP949)
// held in std::string; widths and offsets count those bytes. Widgets speak
// QString. Conversion happens here and nowhere else.
#include <QString>
#include <string>
#include <string_view>

namespace fm {

// CP949 bytes -> UTF-8. Bytes that are not valid CP949 become U+FFFD.
std::string Cp949ToUtf8(std::string_view cp949);
// UTF-8 -> CP949 bytes. Characters CP949 cannot hold become '?'.
std::string Utf8ToCp949(std::string_view utf8);

// Widget boundary.
QString ToQ(std::string_view cp949);
std::string FromQ(const QString &text);

// A UTF-8 source literal as CP949 bytes (for fixed Korean texts that go into
// records or the registry).
inline std::string K(std::string_view utf8) { return Utf8ToCp949(utf8); }

} // namespace fm
