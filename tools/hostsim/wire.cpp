#include "wire.h"

#include <cerrno>
#include <iconv.h>

namespace hostsim::wire {

std::string MakeFrame(char letter, std::string_view payload)
{
    std::string f(1, letter);
    f += ZeroPad(static_cast<long long>(payload.size()), 5);
    f.append(payload);
    return f;
}

std::optional<Frame> FrameReader::next()
{
    if (broken_ || buffer_.size() < kFrameHeaderSize)
        return std::nullopt;
    std::string_view lengthField(buffer_.data() + 1, 5);
    if (!IsDigits(lengthField, 5)) {
        broken_ = true;
        return std::nullopt;
    }
    size_t length = std::stoul(std::string(lengthField));
    if (buffer_.size() < kFrameHeaderSize + length)
        return std::nullopt;
    Frame f;
    f.letter = buffer_[0];
    f.raw = buffer_.substr(0, kFrameHeaderSize + length);
    f.payload = f.raw.substr(kFrameHeaderSize);
    buffer_.erase(0, kFrameHeaderSize + length);
    return f;
}

std::string Get(std::string_view record, Field f)
{
    if (f.at >= record.size())
        return {};
    return std::string(record.substr(f.at, f.width));
}

void Put(std::string &record, Field f, std::string_view value)
{
    std::string v(value.substr(0, f.width));
    v.resize(f.width, ' ');
    record.replace(f.at, f.width, v);
}

std::string BlankRecord() { return std::string(kRecordSize, ' '); }

std::string Trim(std::string_view s)
{
    auto skip = [](unsigned char c) { return c <= ' '; };
    size_t b = 0, e = s.size();
    while (b < e && skip(s[b]))
        ++b;
    while (e > b && skip(s[e - 1]))
        --e;
    return std::string(s.substr(b, e - b));
}

std::string ZeroPad(long long n, size_t width)
{
    std::string digits = std::to_string(n < 0 ? -n : n);
    if (digits.size() < width)
        digits.insert(0, width - digits.size(), '0');
    return n < 0 ? "-" + digits : digits;
}

bool IsDigits(std::string_view s, size_t n)
{
    if (s.size() != n)
        return false;
    for (char c : s)
        if (c < '0' || c > '9')
            return false;
    return true;
}

namespace {

// Runs iconv over the whole input. With `strict`, the first sequence that
// does not convert makes the result empty; otherwise it becomes '?' and
// one input byte is skipped.
std::optional<std::string> Convert(const char *to, const char *from, std::string_view in,
                                   bool strict)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;
    std::string out;
    char *src = const_cast<char *>(in.data());
    size_t left = in.size();
    char buf[1024];
    bool ok = true;
    while (left > 0) {
        char *dst = buf;
        size_t room = sizeof buf;
        size_t r = iconv(cd, &src, &left, &dst, &room);
        out.append(buf, dst - buf);
        if (r != static_cast<size_t>(-1) || errno == E2BIG)
            continue;
        if (strict) {
            ok = false;
            break;
        }
        out += '?';
        ++src;
        --left;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    iconv_close(cd);
    if (!ok)
        return std::nullopt;
    return out;
}

} // namespace

std::optional<std::string> ToCp949(std::string_view utf8)
{
    return Convert("CP949", "UTF-8", utf8, true);
}

std::string FromCp949(std::string_view cp949)
{
    return Convert("UTF-8", "CP949", cp949, false).value_or(std::string());
}

} // namespace hostsim::wire
