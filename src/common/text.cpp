#include "common/text.h"

#include "common/codec.h"
#include "common/errors.h"

#include <cstdio>
#include <limits>

namespace fm {

std::string Format(const std::string &pattern, const std::string &arg)
{
    std::string out = pattern;
    auto p = out.find("%s");
    if (p != std::string::npos) out.replace(p, 2, arg);
    return out;
}

std::string Format(const std::string &pattern, long long arg)
{
    std::string out = pattern;
    auto p = out.find("%d");
    if (p != std::string::npos) out.replace(p, 2, std::to_string(arg));
    return out;
}

std::string Trimmed(std::string_view s)
{
    size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= 32) ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= 32) --e;
    return std::string(s.substr(b, e - b));
}

namespace {

[[noreturn]] void notAnInteger(std::string_view s)
{
    throw ConvertError(Format("'%s' is not a valid integer value", Cp949ToUtf8(s)));
}

int64_t parse(std::string_view s, int64_t lo, int64_t hi)
{
    size_t i = 0;
    while (i < s.size() && s[i] == ' ') ++i;
    bool neg = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        neg = s[i] == '-';
        ++i;
    }
    if (i >= s.size()) notAnInteger(s);
    // Accumulate as a negative number so that the lowest value fits.
    int64_t v = 0;
    for (; i < s.size(); ++i) {
        char c = s[i];
        if (c < '0' || c > '9') notAnInteger(s);
        int d = c - '0';
        if (v < (std::numeric_limits<int64_t>::min() + d) / 10) notAnInteger(s);
        v = v * 10 - d;
    }
    if (!neg) {
        if (v == std::numeric_limits<int64_t>::min()) notAnInteger(s);
        v = -v;
    }
    if (v < lo || v > hi) notAnInteger(s);
    return v;
}

} // namespace

int32_t StrToInt(std::string_view s)
{
    return static_cast<int32_t>(parse(s, std::numeric_limits<int32_t>::min(),
                                      std::numeric_limits<int32_t>::max()));
}

int64_t StrToInt64(std::string_view s)
{
    return parse(s, std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max());
}

std::string PadLeftZero(std::string_view s, int width)
{
    const long n = static_cast<long>(width) - static_cast<long>(s.size());
    if (n <= 0) return std::string(s);
    return std::string(static_cast<size_t>(n), '0') + std::string(s);
}

std::string PadRightSpace(std::string_view s, int width)
{
    const long n = static_cast<long>(width) - static_cast<long>(s.size());
    if (n <= 0) return std::string(s);
    return std::string(s) + std::string(static_cast<size_t>(n), ' ');
}

std::string FitField(std::string_view s, size_t width)
{
    std::string out(s.substr(0, width));
    out.resize(width, ' ');
    return out;
}

std::string FieldAt(std::string_view record, size_t offset, size_t width)
{
    if (offset >= record.size()) return {};
    std::string_view f = record.substr(offset, width);
    auto z = f.find('\0');
    if (z != std::string_view::npos) f = f.substr(0, z);
    return std::string(f);
}

std::string FormatThousands(int64_t value, int width)
{
    // One fixed rule, the Korean one, whatever the process locale.
    const std::string sep = ",";
    const bool neg = value < 0;
    // Work on the unsigned magnitude so that the lowest value is safe.
    uint64_t mag = neg ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    std::string digits = std::to_string(mag);
    std::string grouped;
    int n = 0;
    for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
        if (n > 0 && n % 3 == 0) grouped.insert(0, sep);
        grouped.insert(grouped.begin(), *it);
        ++n;
    }
    if (neg) grouped.insert(grouped.begin(), '-');
    const long fill = static_cast<long>(width) - static_cast<long>(grouped.size());
    if (fill > 0) grouped.insert(0, static_cast<size_t>(fill), ' ');
    return grouped;
}

} // namespace fm
