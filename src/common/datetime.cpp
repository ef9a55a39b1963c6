#include "common/datetime.h"

#include <cstdio>

namespace fm {
namespace {
std::function<std::time_t()> g_clock;

std::tm local(std::time_t t)
{
    std::tm tm{};
    localtime_r(&t, &tm);
    return tm;
}
} // namespace

std::time_t Now() { return g_clock ? g_clock() : std::time(nullptr); }

void SetClockForTesting(std::function<std::time_t()> clock) { g_clock = std::move(clock); }

std::string FormatYmd(std::time_t t)
{
    std::tm tm = local(t);
    char buf[48];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
    return buf;
}

std::string FormatStamp(std::time_t t)
{
    std::tm tm = local(t);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d%02d%02d%02d", tm.tm_year + 1900, tm.tm_mon + 1,
                  tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return buf;
}

} // namespace fm
