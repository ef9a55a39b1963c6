#pragma once
// The version report to the service host, without widgets: the request
// frame, the reading of the host's answer (reassembled over several reads),
// the choice of the files to fetch, and the byte count of an FTP retrieval
// reply. All texts are single-byte (CP949) strings; lengths count bytes.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace fm::upd {

// Length of a version text as both sides agree on it ("1.0.0.8").
inline constexpr size_t kVersionLength = 7;
// "DLL:" + 7 + " EXE:" + 7.
inline constexpr size_t kVerStrLength = 23;
// A complete "DIFF" answer: "V", five digits, "DIFF", "DLL:", 7, " EXE:", 7.
inline constexpr size_t kDiffAnswerLength = 33;

inline constexpr const char *kFallbackVerStr = "DLL:1.0.0.0 EXE:1.0.0.0";

// "DLL:" + dll + " EXE:" + exe.
std::string MakeVerStr(std::string_view dllVer, std::string_view exeVer);

// The request sent on connection: "V00023" + verStr. A verStr that is not
// exactly 23 bytes long is first replaced by the fallback text (the caller's
// variable keeps the replacement).
std::string MakeVersionRequest(std::string &verStr);

// Characters of s from the 1-based position `pos`, at most `count` of them;
// empty when pos lies beyond the text or count is not positive.
std::string Copy(std::string_view s, int pos, int count);

enum class AnswerKind {
    NotVersion, // first character is not "V"
    Ok,         // both files current
    FileNo,     // the host has no file
    Diff,       // the host's versions follow
    Other,      // any other payload: ignored
};

struct VersionAnswer {
    AnswerKind kind = AnswerKind::Other;
    std::string hostDllVer; // positions 15-21 of a "DIFF" answer
    std::string hostExeVer; // positions 27-33 of a "DIFF" answer
};

// Reads an answer whose bytes have all arrived. The length in positions
// 2-6 is converted first: a text that is not a number raises ConvertError.
VersionAnswer ParseVersionAnswer(std::string_view s);

// Collects the host's answer from the bytes of successive reads. An answer
// is taken as soon as what has arrived decides it: a first letter other
// than "V", "OK" or "FILENO" read as ParseVersionAnswer reads them, a
// "DIFF" of 33 characters or of as many as its length field gives (at least
// the four of "DIFF"), or any other payload. While what has arrived could
// still become one of the longer answers (no payload yet, a beginning of
// "OK", "FILENO" or "DIFF", a shorter "DIFF"), it waits; the caller bounds
// that wait and then takes what has arrived with `flush`.
class AnswerReader {
public:
    // Adds the bytes of one read. Returns the answer once it is decided.
    // Raises ConvertError when the length field is not a number; the reader
    // is then finished and takes nothing more, as it does after returning
    // an answer.
    std::optional<VersionAnswer> feed(std::string_view bytes);
    // The answer read from what has arrived, when the wait is over or the
    // connection has ended; nothing when no byte has arrived. May raise
    // ConvertError as ParseVersionAnswer does.
    std::optional<VersionAnswer> flush();
    // Bytes have arrived and no answer has been taken from them yet.
    bool waiting() const { return !finished_ && !buffer_.empty(); }
    bool finished() const { return finished_; }
    const std::string &received() const { return buffer_; }

private:
    // True while more bytes could still make what has arrived another
    // answer; `n` is the length field.
    bool couldGrow(int n) const;

    std::string buffer_;
    bool finished_ = false;
};

// The two files the updater keeps current, by their bare names.
inline constexpr const char *kLibraryFile = "Omvertis.dll";
inline constexpr const char *kClientFile = "Marrowick.exe";

// The total byte count announced in the reply to a retrieval: the last
// number before the first "BYTE" (letters compared without regard to case);
// 0 when the reply has no "BYTE" or no number before it.
int64_t RetrievalTotal(std::string_view reply);

} // namespace fm::upd
