#pragma once
// Local dates and time stamps as the system writes them.
#include <ctime>
#include <functional>
#include <string>

namespace fm {

// The current local time; tests may replace the clock.
std::time_t Now();
void SetClockForTesting(std::function<std::time_t()> clock); // nullptr: real clock

std::string FormatYmd(std::time_t t);       // "yyyymmdd"
std::string FormatStamp(std::time_t t);     // "yyyymmddhhmmss", hour 00..23
inline std::string TodayYmd() { return FormatYmd(Now()); }
inline std::string NowStamp() { return FormatStamp(Now()); }

} // namespace fm
