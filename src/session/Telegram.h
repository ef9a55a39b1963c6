#pragma once
// The telegram record exchanged with the host after the key exchange, and
// the telegram codes.
//
// A telegram is one fixed-width CP949 text record of exactly 1024 bytes: a
// 64-byte header followed by the 960-byte Data part. No separators, no
// terminator; numbers are decimal digits. The communication window holds one
// such record (Telegram): the builders write it before each send and each
// decrypted host answer is copied into it.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace fm {

struct TTelegram {
    char JobKind[1];       // job kind digit, or the file-kind / echoed job kind
    char MsgCode[7];       // telegram code, seven digits
    char CompCd[4];        // company code, left-aligned, blank-filled
    char SubCode[4];       // "ZEMA", a bank code, or an echoed company field
    char SendDateTime[14]; // "yyyymmddhhmmss" local time
    char RecCount[2];      // records in a block, zero-filled
    char BlockSeq[7];      // block number, zero-filled
    char RespCode[2];      // "00" success, otherwise a host error code
    char DirFlag[1];       // ' ', 'S', 'R' or 'G'
    char RecInfo[22];      // record length digits at the start, blanks after
    char Data[960];        // payload, left-aligned, blank-filled

    static constexpr std::size_t Size = 1024;
    static constexpr std::size_t HeaderSize = 64;

    // The whole record as 1024 bytes.
    const char *Bytes() const { return JobKind; }
    char *Bytes() { return JobKind; }
    std::string_view View() const { return {Bytes(), Size}; }
    std::string ToString() const { return std::string(View()); }
    // `prefix` followed by the whole record, in one exact allocation (log
    // lines are kept for the whole connection).
    std::string ToString(std::string_view prefix) const
    {
        std::string line;
        line.reserve(prefix.size() + Size);
        line.append(prefix).append(View());
        return line;
    }
};

static_assert(sizeof(TTelegram) == 1024, "the telegram record is 1024 bytes");
static_assert(offsetof(TTelegram, JobKind) == 0);
static_assert(offsetof(TTelegram, MsgCode) == 1);
static_assert(offsetof(TTelegram, CompCd) == 8);
static_assert(offsetof(TTelegram, SubCode) == 12);
static_assert(offsetof(TTelegram, SendDateTime) == 16);
static_assert(offsetof(TTelegram, RecCount) == 30);
static_assert(offsetof(TTelegram, BlockSeq) == 32);
static_assert(offsetof(TTelegram, RespCode) == 39);
static_assert(offsetof(TTelegram, DirFlag) == 41);
static_assert(offsetof(TTelegram, RecInfo) == 42);
static_assert(offsetof(TTelegram, Data) == TTelegram::HeaderSize);

// The communication unit's one record, alive for the whole run.
extern TTelegram Telegram;

// ---- reading and forming fields ------------------------------------------

// All bytes of a field, zero bytes included.
template <std::size_t N>
std::string FieldRaw(const char (&field)[N])
{
    return std::string(field, N);
}

// A field read as text: its bytes up to the first zero byte.
template <std::size_t N>
std::string FieldText(const char (&field)[N])
{
    std::string_view v(field, N);
    auto z = v.find('\0');
    if (z != std::string_view::npos) v = v.substr(0, z);
    return std::string(v);
}

namespace detail {
void PutText(char *field, std::size_t width, std::string_view value);
void PutNumber(char *field, std::size_t width, long long value);
} // namespace detail

// A text value: blanks behind up to the width, then only its leftmost bytes
// up to the width enter the field (a Korean syllable counts two bytes and
// may be split by the cut).
template <std::size_t N>
void SetText(char (&field)[N], std::string_view value)
{
    detail::PutText(field, N, value);
}

// A number: its decimal digits with "0" in front up to the width, then only
// the leftmost bytes up to the width enter the field.
template <std::size_t N>
void SetNumber(char (&field)[N], long long value)
{
    detail::PutNumber(field, N, value);
}

// ---- telegram codes --------------------------------------------------------

enum class TTelegramCode {
    tcLoginReq,        // "0800100" client
    tcLoginResp,       // "0810100" host
    tcLogoutReq,       // "0800900" client
    tcLogoutResp,      // "0810900" host
    tcPasswordReq,     // "0300100" client
    tcPasswordResp,    // "0310100" host
    tcResultListReq,   // "0600100" client
    tcResultListStart, // "0610100" host
    tcResultListRows,  // "0630100" host
    tcResultListAck,   // "0620100" client
    tcTransferReq,     // "0700100" client
    tcTransferStart,   // "0720100" host
    tcTransferBlock,   // "0710100" client
    tcTransferNext,    // "0730100" host
    tcTransferEnd,     // "0800800" client ("S") / host ("R", "G")
    tcTransferEndAck,  // "0810800" host (after "S") / client (after "R", "G")
    tcNoticeListReq,   // "0400100" client
    tcNoticeListStart, // "0410100" host
    tcNoticeListRows,  // "0430100" host
    tcNoticeListAck,   // "0420100" client
    tcNoticeFileReq,   // "0500100" client
    tcNoticeFileStart, // "0520100" host
    tcNoticeFileNext,  // "0530100" host
    tcNoticeBlockAck,  // "0510100" client
};

inline constexpr int TelegramCodeCount = 24;

// The seven digits of a code.
const char *CodeText(TTelegramCode code);
// The code's name ("tcLoginReq", ...).
const char *CodeName(TTelegramCode code);
// The code a text stands for: the text is read up to its 7th character or
// up to a zero byte, whichever comes first, and compared character for
// character with the table. A text not in the table gives none.
std::optional<TTelegramCode> CodeFromText(std::string_view text);
// The code in a record's MsgCode field.
inline std::optional<TTelegramCode> CodeOf(const TTelegram &t)
{
    return CodeFromText(std::string_view(t.MsgCode, sizeof t.MsgCode));
}

} // namespace fm
