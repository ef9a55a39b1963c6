#pragma once
// Frames on a host connection: one letter, a five-digit decimal length, the
// payload (as the client writes them), and the reassembly of the host's.
#include <optional>
#include <string>
#include <string_view>

namespace fm {

inline constexpr size_t kFrameHeaderSize = 6;

// letter + the length as five digits + payload. `lengthField` overrides the
// written length (the key frame always says 00128).
std::string MakeFrame(char letter, std::string_view payload, int lengthField = -1);

// Size of every host frame that is not a key answer: letter, five bytes,
// 1040 encrypted bytes.
inline constexpr size_t kHostFrameSize = 1046;

// Reassembles the host's frames from a byte stream: TCP may split one frame
// over several reads or deliver several in one. Bytes 1-5 of a host frame
// are never read, so they cannot give its length; the frame's form does:
// an "S" frame whose bytes 6-7 are "OK" ends after them, one whose bytes
// 6-8 are "ERR" ends after them, and every other frame is kHostFrameSize
// bytes. A frame that could still become a key answer waits for the bytes
// that decide it.
class FrameAssembler {
public:
    struct Frame {
        char letter;
        std::string payload; // the bytes from offset 6 on
    };

    void feed(std::string_view bytes) { buffer_.append(bytes); }
    // The next whole frame, or nothing while it is incomplete.
    std::optional<Frame> next();
    size_t pending() const { return buffer_.size(); }
    void clear() { buffer_.clear(); }

private:
    std::string buffer_;
};

} // namespace fm
