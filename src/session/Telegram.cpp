#include "session/Telegram.h"

#include "common/text.h"

#include <algorithm>
#include <cstring>

namespace fm {

TTelegram Telegram{};

namespace detail {

namespace {
void put(char *field, std::size_t width, const std::string &formed)
{
    // The formed value is at least `width` long; only its leftmost bytes fit.
    std::memcpy(field, formed.data(), std::min(formed.size(), width));
    if (formed.size() < width) std::memset(field + formed.size(), ' ', width - formed.size());
}
} // namespace

void PutText(char *field, std::size_t width, std::string_view value)
{
    put(field, width, PadRightSpace(value, static_cast<int>(width)));
}

void PutNumber(char *field, std::size_t width, long long value)
{
    put(field, width, PadLeftZero(std::to_string(value), static_cast<int>(width)));
}

} // namespace detail

namespace {

struct CodeEntry {
    TTelegramCode code;
    const char *text;
    const char *name;
};

constexpr CodeEntry kCodes[TelegramCodeCount] = {
    {TTelegramCode::tcLoginReq, "0800100", "tcLoginReq"},
    {TTelegramCode::tcLoginResp, "0810100", "tcLoginResp"},
    {TTelegramCode::tcLogoutReq, "0800900", "tcLogoutReq"},
    {TTelegramCode::tcLogoutResp, "0810900", "tcLogoutResp"},
    {TTelegramCode::tcPasswordReq, "0300100", "tcPasswordReq"},
    {TTelegramCode::tcPasswordResp, "0310100", "tcPasswordResp"},
    {TTelegramCode::tcResultListReq, "0600100", "tcResultListReq"},
    {TTelegramCode::tcResultListStart, "0610100", "tcResultListStart"},
    {TTelegramCode::tcResultListRows, "0630100", "tcResultListRows"},
    {TTelegramCode::tcResultListAck, "0620100", "tcResultListAck"},
    {TTelegramCode::tcTransferReq, "0700100", "tcTransferReq"},
    {TTelegramCode::tcTransferStart, "0720100", "tcTransferStart"},
    {TTelegramCode::tcTransferBlock, "0710100", "tcTransferBlock"},
    {TTelegramCode::tcTransferNext, "0730100", "tcTransferNext"},
    {TTelegramCode::tcTransferEnd, "0800800", "tcTransferEnd"},
    {TTelegramCode::tcTransferEndAck, "0810800", "tcTransferEndAck"},
    {TTelegramCode::tcNoticeListReq, "0400100", "tcNoticeListReq"},
    {TTelegramCode::tcNoticeListStart, "0410100", "tcNoticeListStart"},
    {TTelegramCode::tcNoticeListRows, "0430100", "tcNoticeListRows"},
    {TTelegramCode::tcNoticeListAck, "0420100", "tcNoticeListAck"},
    {TTelegramCode::tcNoticeFileReq, "0500100", "tcNoticeFileReq"},
    {TTelegramCode::tcNoticeFileStart, "0520100", "tcNoticeFileStart"},
    {TTelegramCode::tcNoticeFileNext, "0530100", "tcNoticeFileNext"},
    {TTelegramCode::tcNoticeBlockAck, "0510100", "tcNoticeBlockAck"},
};

const CodeEntry &entry(TTelegramCode code)
{
    const auto i = static_cast<std::size_t>(code);
    return i < std::size(kCodes) ? kCodes[i] : kCodes[0];
}

} // namespace

const char *CodeText(TTelegramCode code) { return entry(code).text; }

const char *CodeName(TTelegramCode code) { return entry(code).name; }

std::optional<TTelegramCode> CodeFromText(std::string_view text)
{
    text = text.substr(0, 7);
    auto z = text.find('\0');
    if (z != std::string_view::npos) text = text.substr(0, z);
    for (const auto &e : kCodes)
        if (text == e.text) return e.code;
    return std::nullopt;
}

} // namespace fm
