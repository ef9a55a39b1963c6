#include "common/frame.h"

#include <algorithm>
#include <cstdio>

namespace fm {

std::string MakeFrame(char letter, std::string_view payload, int lengthField)
{
    const int len = lengthField >= 0 ? lengthField : static_cast<int>(payload.size());
    char head[8];
    std::snprintf(head, sizeof head, "%c%05d", letter, len % 100000);
    std::string out(head, kFrameHeaderSize);
    out.append(payload);
    return out;
}

namespace {

// How far the bytes from offset 6 on match a key answer: the answer's length
// when they hold it whole, 0 when they cannot become it, -1 while too few
// bytes have arrived to tell.
int KeyAnswerMatch(std::string_view rest, std::string_view answer)
{
    const size_t n = std::min(rest.size(), answer.size());
    if (rest.substr(0, n) != answer.substr(0, n)) return 0;
    return n == answer.size() ? int(n) : -1;
}

} // namespace

std::optional<FrameAssembler::Frame> FrameAssembler::next()
{
    if (buffer_.empty()) return std::nullopt;
    size_t size = kHostFrameSize;
    if (buffer_[0] == 'S') {
        if (buffer_.size() <= kFrameHeaderSize) return std::nullopt;
        const std::string_view rest = std::string_view(buffer_).substr(kFrameHeaderSize);
        for (std::string_view answer : {std::string_view("OK"), std::string_view("ERR")}) {
            const int m = KeyAnswerMatch(rest, answer);
            if (m < 0) return std::nullopt;
            if (m > 0) {
                size = kFrameHeaderSize + size_t(m);
                break;
            }
        }
    }
    if (buffer_.size() < size) return std::nullopt;
    Frame f{buffer_[0], buffer_.substr(kFrameHeaderSize, size - kFrameHeaderSize)};
    buffer_.erase(0, size);
    return f;
}

} // namespace fm
