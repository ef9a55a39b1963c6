#include "common/frame.h"

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

std::optional<FrameAssembler::Frame> FrameAssembler::next()
{
    if (buffer_.size() < kFrameHeaderSize) return std::nullopt;
    size_t len = 0;
    for (size_t i = 1; i < kFrameHeaderSize; ++i) {
        char c = buffer_[i];
        if (c < '0' || c > '9') throw Broken{};
        len = len * 10 + static_cast<size_t>(c - '0');
    }
    if (buffer_.size() < kFrameHeaderSize + len) return std::nullopt;
    Frame f{buffer_[0], buffer_.substr(kFrameHeaderSize, len)};
    buffer_.erase(0, kFrameHeaderSize + len);
    return f;
}

} // namespace fm
