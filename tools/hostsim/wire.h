// The host's own view of the wire: frames (one letter, a five-digit decimal
// length, the payload), the 1024-byte telegram record with its field offsets,
// and the code page of the texts it carries. Written independently of the
// client so that a disagreement between the two sides shows up in tests.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace hostsim::wire {

// ---- frames ---------------------------------------------------------------

constexpr size_t kFrameHeaderSize = 6;
constexpr size_t kMaxFramePayload = 99999;

// letter + payload length as five digits + payload. A payload longer than
// 99999 bytes cannot be framed; the caller never builds one.
std::string MakeFrame(char letter, std::string_view payload);

struct Frame {
    char letter = 0;
    std::string payload;
    std::string raw; // header and payload as they arrived
};

// Reassembles frames from a byte stream in which TCP may split one frame
// over several reads or deliver several frames in one.
class FrameReader {
public:
    void feed(std::string_view bytes) { buffer_.append(bytes); }
    // The next complete frame, or nothing while it is incomplete or once the
    // stream is broken (a length field that is not five digits).
    std::optional<Frame> next();
    bool broken() const { return broken_; }
    size_t pending() const { return buffer_.size(); }

private:
    std::string buffer_;
    bool broken_ = false;
};

// ---- telegram record --------------------------------------------------------

constexpr size_t kRecordSize = 1024;

struct Field {
    size_t at;
    size_t width;
};

constexpr Field kJobKind{0, 1};
constexpr Field kMsgCode{1, 7};
constexpr Field kCompCd{8, 4};
constexpr Field kSubCode{12, 4};
constexpr Field kStamp{16, 14};
constexpr Field kRecCount{30, 2};
constexpr Field kBlockSeq{32, 7};
constexpr Field kRespCode{39, 2};
constexpr Field kDirFlag{41, 1};
constexpr Field kRecInfo{42, 22};
constexpr Field kData{64, 960};

// The bytes of a field of a 1024-byte record (fewer if the record is short).
std::string Get(std::string_view record, Field f);
// Writes a value into a field: blanks after it up to the width, cut to the
// width. The record must hold 1024 bytes.
void Put(std::string &record, Field f, std::string_view value);
// A record of 1024 blanks.
std::string BlankRecord();

// Leading and trailing blanks and control characters removed.
std::string Trim(std::string_view s);
// Decimal digits, zero-filled on the left to `width` (not cut).
std::string ZeroPad(long long n, size_t width);
// True when `s` is `n` ASCII digits.
bool IsDigits(std::string_view s, size_t n);

// ---- code page -------------------------------------------------------------

// UTF-8 -> CP949. Nothing when the text is not valid UTF-8 or holds a
// character the code page cannot take.
std::optional<std::string> ToCp949(std::string_view utf8);
// CP949 -> UTF-8 for display; bytes that do not decode become '?'.
std::string FromCp949(std::string_view cp949);

} // namespace hostsim::wire
