#include "common/codec.h"

#include <cerrno>
#include <iconv.h>
#include <stdexcept>

namespace fm {
namespace {

class Converter {
public:
    Converter(const char *to, const char *from, int unit)
        : unitOf_(unit), cd_(iconv_open(to, from))
    {
        if (cd_ == reinterpret_cast<iconv_t>(-1))
            throw std::runtime_error(std::string("iconv cannot convert ") + from + " to " + to);
    }
    ~Converter() { iconv_close(cd_); }
    Converter(const Converter &) = delete;
    Converter &operator=(const Converter &) = delete;

    // Converts `in`, replacing each unconvertible input sequence by `bad`.
    std::string run(std::string_view in, std::string_view bad)
    {
        std::string out;
        out.reserve(in.size() * 2 + 8);
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        char *src = const_cast<char *>(in.data());
        size_t srcLeft = in.size();
        char buf[4096];
        while (srcLeft > 0) {
            char *dst = buf;
            size_t dstLeft = sizeof buf;
            size_t r = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
            out.append(buf, dst - buf);
            if (r == static_cast<size_t>(-1)) {
                if (errno == E2BIG)
                    continue;
                // EILSEQ or EINVAL (truncated sequence at the end): replace
                // one input unit and go on.
                out.append(bad);
                size_t step = 1;
                if (unitOf_ > 1) {
                    // UTF-8 input: skip the whole (broken) sequence lead.
                    unsigned char c = static_cast<unsigned char>(*src);
                    step = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
                    if (step > srcLeft) step = srcLeft;
                }
                src += step;
                srcLeft -= step;
                iconv(cd_, nullptr, nullptr, nullptr, nullptr);
            }
        }
        char *dst = buf;
        size_t dstLeft = sizeof buf;
        iconv(cd_, nullptr, nullptr, &dst, &dstLeft);
        out.append(buf, dst - buf);
        return out;
    }
private:
    int unitOf_; // 1: double-byte input, skip a byte; >1: UTF-8 input
    iconv_t cd_;
};

Converter &toUtf8()
{
    static Converter c("UTF-8", "CP949", 1);
    return c;
}
Converter &toCp949()
{
    static Converter c("CP949", "UTF-8", 4);
    return c;
}

bool isAscii(std::string_view s)
{
    for (unsigned char c : s)
        if (c >= 0x80) return false;
    return true;
}

} // namespace

std::string Cp949ToUtf8(std::string_view cp949)
{
    if (isAscii(cp949)) return std::string(cp949);
    return toUtf8().run(cp949, "\xEF\xBF\xBD");
}

std::string Utf8ToCp949(std::string_view utf8)
{
    if (isAscii(utf8)) return std::string(utf8);
    return toCp949().run(utf8, "?");
}

QString ToQ(std::string_view cp949)
{
    const std::string u = Cp949ToUtf8(cp949);
    return QString::fromUtf8(u.data(), static_cast<qsizetype>(u.size()));
}

std::string FromQ(const QString &text)
{
    const QByteArray u = text.toUtf8();
    return Utf8ToCp949(std::string_view(u.constData(), static_cast<size_t>(u.size())));
}

} // namespace fm
