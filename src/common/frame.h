#pragma once
// Frames on a host connection: one letter, a five-digit decimal length, the
// payload.
#include <optional>
#include <string>
#include <string_view>

namespace fm {

inline constexpr size_t kFrameHeaderSize = 6;

// letter + the length as five digits + payload. `lengthField` overrides the
// written length (the key frame always says 00128).
std::string MakeFrame(char letter, std::string_view payload, int lengthField = -1);

// Reassembles frames from a byte stream: TCP may split one frame over several
// reads or deliver several in one. A frame is complete when its header and
// the payload length it announces have arrived.
class FrameAssembler {
public:
    struct Frame {
        char letter;
        std::string payload;
    };
    // A header whose length field is not five digits is a broken stream.
    struct Broken {};

    void feed(std::string_view bytes) { buffer_.append(bytes); }
    // The next whole frame, or nothing while it is incomplete. Throws Broken
    // when the stream cannot be framed.
    std::optional<Frame> next();
    size_t pending() const { return buffer_.size(); }
    void clear() { buffer_.clear(); }

private:
    std::string buffer_;
};

} // namespace fm
