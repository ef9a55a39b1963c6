#pragma once
// Expected telegram bytes for the tests.
#include "common/datetime.h"

#include <ctime>
#include <string>

namespace tgtest {

inline std::string Blanks(const std::string &head, size_t width)
{
    std::string s = head.substr(0, width);
    s.resize(width, ' ');
    return s;
}

// The 64-byte header of a telegram of company "AB".
inline std::string Header(const std::string &job, const std::string &code, const std::string &sub,
                          const std::string &stamp, const std::string &tail = "000000001" "00 ",
                          const std::string &recInfo = "")
{
    return job + code + "AB  " + sub + stamp + tail + Blanks(recInfo, 22);
}

// Points the clock at a local time.
inline void SetLocalTime(int y, int mo, int d, int h, int mi, int s)
{
    std::tm tm{};
    tm.tm_year = y - 1900, tm.tm_mon = mo - 1, tm.tm_mday = d;
    tm.tm_hour = h, tm.tm_min = mi, tm.tm_sec = s, tm.tm_isdst = -1;
    const std::time_t t = std::mktime(&tm);
    fm::SetClockForTesting([t] { return t; });
}

} // namespace tgtest
