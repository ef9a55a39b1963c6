#include "updater/VersionFrame.h"

#include "common/text.h"

#include <algorithm>
#include <cctype>

namespace fm::upd {

std::string MakeVerStr(std::string_view dllVer, std::string_view exeVer)
{
    std::string s = "DLL:";
    s.append(dllVer);
    s += " EXE:";
    s.append(exeVer);
    return s;
}

std::string MakeVersionRequest(std::string &verStr)
{
    if (verStr.size() != kVerStrLength) verStr = kFallbackVerStr;
    return "V00023" + verStr;
}

std::string Copy(std::string_view s, int pos, int count)
{
    if (pos < 1) pos = 1;
    if (count <= 0 || size_t(pos) > s.size()) return {};
    return std::string(s.substr(size_t(pos) - 1, size_t(count)));
}

VersionAnswer ParseVersionAnswer(std::string_view s)
{
    // The length comes first: a broken one stops the reading here.
    const int n = StrToInt(Copy(s, 2, 5));
    VersionAnswer a;
    if (s.empty() || s[0] != 'V') {
        a.kind = AnswerKind::NotVersion;
    } else if (Copy(s, 7, n) == "OK") {
        a.kind = AnswerKind::Ok;
    } else if (Copy(s, 7, n) == "FILENO") {
        a.kind = AnswerKind::FileNo;
    } else if (Copy(s, 7, 4) == "DIFF") {
        a.kind = AnswerKind::Diff;
        a.hostDllVer = Copy(s, 15, int(kVersionLength));
        a.hostExeVer = Copy(s, 27, int(kVersionLength));
    } else {
        a.kind = AnswerKind::Other;
    }
    return a;
}

namespace {

// `s` is a proper beginning of `word` (the empty text included).
bool Begins(std::string_view s, std::string_view word)
{
    return s.size() < word.size() && word.substr(0, s.size()) == s;
}

} // namespace

bool AnswerReader::couldGrow(int n) const
{
    const std::string_view payload = std::string_view(buffer_).substr(6);
    if (Begins(payload, "DIFF")) return true;
    if (payload.substr(0, 4) == "DIFF") {
        // Complete at 33 characters, or at the length its digits give.
        const size_t need = n >= 4 ? std::min(size_t(n) + 6, kDiffAnswerLength) : kDiffAnswerLength;
        return buffer_.size() < need;
    }
    const AnswerKind now = ParseVersionAnswer(buffer_).kind;
    if (now == AnswerKind::Ok || now == AnswerKind::FileNo) return false;
    // Copy(s, 7, n) can still become "OK" or "FILENO" only from a beginning
    // of it, and only when n can hold it.
    return (n >= 2 && Begins(payload, "OK")) || (n >= 6 && Begins(payload, "FILENO"));
}

std::optional<VersionAnswer> AnswerReader::feed(std::string_view bytes)
{
    if (finished_) return std::nullopt;
    // Nothing past the longest answer is needed; a host that keeps sending
    // cannot make the buffer grow.
    const size_t room = kDiffAnswerLength > buffer_.size() ? kDiffAnswerLength - buffer_.size() : 0;
    buffer_.append(bytes.substr(0, std::min(room, bytes.size())));
    if (buffer_.size() < 6) return std::nullopt;

    int n = 0;
    try {
        n = StrToInt(Copy(buffer_, 2, 5));
    } catch (...) {
        finished_ = true;
        throw;
    }
    if (buffer_[0] == 'V' && couldGrow(n)) return std::nullopt;
    finished_ = true;
    return ParseVersionAnswer(buffer_);
}

std::optional<VersionAnswer> AnswerReader::flush()
{
    if (finished_ || buffer_.empty()) return std::nullopt;
    finished_ = true;
    return ParseVersionAnswer(buffer_);
}

int64_t RetrievalTotal(std::string_view reply)
{
    size_t at = std::string_view::npos;
    for (size_t i = 0; i + 4 <= reply.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(reply[i])) == 'B' &&
            std::toupper(static_cast<unsigned char>(reply[i + 1])) == 'Y' &&
            std::toupper(static_cast<unsigned char>(reply[i + 2])) == 'T' &&
            std::toupper(static_cast<unsigned char>(reply[i + 3])) == 'E') {
            at = i;
            break;
        }
    }
    if (at == std::string_view::npos) return 0;
    // The last run of digits before it.
    size_t end = at;
    while (end > 0 && !std::isdigit(static_cast<unsigned char>(reply[end - 1]))) --end;
    if (end == 0) return 0;
    size_t begin = end;
    while (begin > 0 && std::isdigit(static_cast<unsigned char>(reply[begin - 1]))) --begin;
    int64_t total = 0;
    for (size_t i = begin; i < end; ++i) {
        const int digit = reply[i] - '0';
        if (total > (INT64_MAX - digit) / 10) return 0; // not a size anyone can send
        total = total * 10 + digit;
    }
    return total;
}

} // namespace fm::upd
