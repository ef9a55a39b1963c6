#include "session/TelegramBuilders.h"

#include "common/datetime.h"
#include "common/errors.h"
#include "common/text.h"

#include <fstream>

namespace fm {

// ---- the file being sent ----------------------------------------------------

void TSendState::OpenCopy(const std::string &path)
{
    Close();
    auto file = std::make_unique<std::ifstream>(path, std::ios::in | std::ios::binary);
    if (!file->is_open()) throw InOutError(Format("Cannot open file \"%s\"", path));
    SendTextFile = std::move(file);
    CurFilePath = path;
    SendBlockSeq = 0;
    BlockData = ReadLine();
    RecLen = static_cast<int>(BlockData.size());
    LinesRead = 1;
}

void TSendState::Close() { SendTextFile.reset(); }

bool TSendState::AtEnd() const
{
    if (!SendTextFile) throw InOutError("File not open");
    if (SendTextFile->bad()) throw InOutError("Read error");
    return SendTextFile->peek() == std::char_traits<char>::eof();
}

std::string TSendState::ReadLine()
{
    if (!SendTextFile) throw InOutError("File not open");
    std::string line;
    std::getline(*SendTextFile, line);
    if (SendTextFile->bad()) throw InOutError("Read error");
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

// ---- building ------------------------------------------------------------------

TTelegramBuilders::TTelegramBuilders(TTelegram &telegram, const std::string &compCd,
                                     TSendState &send)
    : t_(telegram), compCd_(compCd), send_(send)
{
}

void TTelegramBuilders::Begin(TTelegramCode code, std::string_view jobKind)
{
    SetText(t_.JobKind, jobKind);
    SetText(t_.MsgCode, CodeText(code));
    SetText(t_.CompCd, compCd_);
    SetText(t_.SubCode, "ZEMA");
    SetText(t_.SendDateTime, NowStamp());
    SetText(t_.RecCount, "00");
    SetText(t_.BlockSeq, "0000001");
    SetText(t_.RespCode, "00");
    SetText(t_.DirFlag, " ");
    SetText(t_.RecInfo, "");
    SetText(t_.Data, "");
}

void TTelegramBuilders::Send()
{
    if (SendTelegram) SendTelegram();
}

long long TTelegramBuilders::SendTotal() const
{
    if (!SendRowCountText) throw Error("No transfer file row is being sent");
    const int count = StrToInt(Trimmed(SendRowCountText()));
    if (count < 0)
        throw Error(Format("송신할 파일의 레코드 건수(%d)가 올바르지 않습니다.", count));
    return static_cast<long long>(count) + 2; // data records plus header and trailer
}

void TTelegramBuilders::SendLoginRequest(const std::string &password)
{
    Begin(TTelegramCode::tcLoginReq, "0");
    SetText(t_.Data, PadRightSpace(password, 10));
    Send();
}

void TTelegramBuilders::SendLogoutRequest()
{
    Begin(TTelegramCode::tcLogoutReq, "0");
    Send();
}

void TTelegramBuilders::SendResultListRequest(const std::string &fromDate,
                                              const std::string &toDate,
                                              const std::string &listLetter)
{
    Begin(TTelegramCode::tcResultListReq, "6");
    SetText(t_.Data, fromDate + toDate + listLetter);
    Send();
}

void TTelegramBuilders::SendResultListAck(const std::string &answerCode)
{
    Begin(TTelegramCode::tcResultListAck, "6");
    SetText(t_.RespCode, answerCode);
    Send();
}

void TTelegramBuilders::SendReceiveRequest(const std::string &bankCode,
                                           const std::string &fileKindCode,
                                           const std::string &sendDate,
                                           const std::string &sequence)
{
    Begin(TTelegramCode::tcTransferReq, std::string_view(fileKindCode).substr(0, 1));
    SetText(t_.SubCode, bankCode);
    SetText(t_.DirFlag, "R");
    SetText(t_.Data, sendDate + sequence);
    Send();
}

void TTelegramBuilders::SendReceiveBlockAck(char jobKind, const std::string &subCode,
                                            const std::string &answerCode)
{
    Begin(TTelegramCode::tcTransferBlock, std::string_view(&jobKind, 1));
    SetText(t_.SubCode, subCode);
    SetText(t_.RespCode, answerCode);
    SetText(t_.DirFlag, "R");
    Send();
}

void TTelegramBuilders::SendReceiveEndAck(int count, const std::string &answerCode)
{
    Begin(TTelegramCode::tcTransferEndAck, "0");
    SetText(t_.RespCode, answerCode);
    SetText(t_.DirFlag, "R");
    SetText(t_.Data, PadLeftZero(std::to_string(count), 6));
    Send();
}

void TTelegramBuilders::SendTransmitRequest(const std::string &bankCode,
                                            const std::string &fileKindCode)
{
    Begin(TTelegramCode::tcTransferReq, std::string_view(fileKindCode).substr(0, 1));
    SetText(t_.SubCode, bankCode);
    SetText(t_.DirFlag, "S");
    Send();
}

void TTelegramBuilders::SendNextDataBlock(const std::string &subCode, char jobKind, int mode)
{
    TSendState &s = send_;
    const bool first = mode == 1;

    // The copy is exhausted: announce the end instead of a further block.
    if (s.AtEnd()) {
        SendTransmitEnd();
        return;
    }

    // Whole records that fit into Data. A record length outside 10..960
    // would divide by zero, overflow the two-digit record count or fit no
    // record at all: such a copy is refused before anything is sent.
    if (s.RecLen < MinRecLen || s.RecLen > MaxRecLen)
        throw Error(Format("송신할 파일의 레코드 길이(%d바이트)가 올바르지 않습니다. "
                           "10~960바이트의 레코드만 송신할 수 있습니다.",
                           s.RecLen));
    const long long k = MaxRecLen / s.RecLen;

    const long long total = SendTotal();
    const long long left = total - s.LinesRead;

    // Every record the list announces has gone out while the copy still has
    // lines: the file ends here, with exactly the announced records sent.
    if (!first && left <= 0) {
        SendTransmitEnd();
        return;
    }

    long long n = k;
    if (k > left) n = first ? total : left;

    // The first block keeps the first line, already read; the others start
    // empty.
    long long reads = n;
    if (first)
        --reads;
    else
        s.BlockData.clear();
    const int linesBefore = s.LinesRead;
    for (long long i = 0; i < reads; ++i) {
        if (s.AtEnd()) break;
        s.BlockData += s.ReadLine();
        ++s.LinesRead;
    }
    // The progress moves once a block, to where the last line read put it.
    if (OnLinesRead && s.LinesRead != linesBefore) OnLinesRead(s.LinesRead);
    // Lines longer than the first one would push records past Data and be cut.
    if (s.BlockData.size() > sizeof t_.Data)
        throw Error(Format("송신할 파일의 레코드 길이가 첫 레코드(%d바이트)와 달라 "
                           "블록을 만들 수 없습니다.",
                           s.RecLen));

    ++s.SendBlockSeq;

    Begin(TTelegramCode::tcTransferBlock, std::string_view(&jobKind, 1));
    SetText(t_.SubCode, subCode);
    SetNumber(t_.RecCount, n);
    SetNumber(t_.BlockSeq, s.SendBlockSeq);
    SetText(t_.DirFlag, "S");
    SetText(t_.RecInfo, PadLeftZero(std::to_string(s.RecLen), 3));
    SetText(t_.Data, s.BlockData);

    if (LogSendLine) LogSendLine(t_.ToString("SEND==>"));
    Send();
}

void TTelegramBuilders::SendTransmitEnd()
{
    const long long total = SendTotal();
    Begin(TTelegramCode::tcTransferEnd, "0");
    SetText(t_.DirFlag, "S");
    SetText(t_.Data, PadLeftZero(std::to_string(total), 6));
    Send();
}

void TTelegramBuilders::SendPasswordChange(const std::string &currentPassword,
                                           const std::string &newPassword)
{
    Begin(TTelegramCode::tcPasswordReq, "3");
    SetText(t_.Data, PadRightSpace(currentPassword, 10) + PadRightSpace(newPassword, 10));
    Send();
}

void TTelegramBuilders::SendNoticeListRequest(const std::string &fromDate,
                                              const std::string &toDate)
{
    Begin(TTelegramCode::tcNoticeListReq, "4");
    SetText(t_.Data, fromDate + toDate);
    Send();
}

void TTelegramBuilders::SendNoticeListAck(const std::string &answerCode)
{
    Begin(TTelegramCode::tcNoticeListAck, "4");
    SetText(t_.RespCode, answerCode);
    Send();
}

void TTelegramBuilders::SendNoticeFileRequest(const std::string &fileName)
{
    Begin(TTelegramCode::tcNoticeFileReq, "5");
    SetText(t_.Data, fileName);
    Send();
}

void TTelegramBuilders::SendNoticeBlockAck(const std::string &answerCode)
{
    Begin(TTelegramCode::tcNoticeBlockAck, "5");
    SetText(t_.RespCode, answerCode);
    SetText(t_.DirFlag, "G");
    Send();
}

} // namespace fm
