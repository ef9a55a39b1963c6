#pragma once
// The fifteen telegram builders of the communication window.
//
// Each builder writes the whole telegram record (the common defaults of a
// client telegram, then its own fields) and hands it to SendTelegram, the
// window's routine that logs, encrypts, frames and sends the record. None
// waits for an answer.
#include "session/Telegram.h"

#include <functional>
#include <istream>
#include <memory>
#include <string>

namespace fm {

// The file being sent: the converted copy in the sent folder, read line by
// line as its blocks go out. Lines end with CR LF or LF; the line end is not
// part of the line.
struct TSendState {
    int SendRow = 0;                            // grid row (1-based) of the file in transfer
    std::string CurFilePath;                    // the converted copy being sent
    std::unique_ptr<std::istream> SendTextFile; // open while the file is in transfer
    std::string BlockData;                      // records of the block being built
    int RecLen = 0;                             // length of the copy's first line
    int LinesRead = 0;                          // lines read so far, the first counting
    int SendBlockSeq = 0;                       // data blocks sent for the file

    // Starts a file: opens `path` (a native path) as the copy, reads its first
    // line into BlockData, RecLen := its length, LinesRead := 1,
    // SendBlockSeq := 0. Raises InOutError when the file cannot be opened.
    void OpenCopy(const std::string &path);
    // Closes the copy (nothing happens when none is open).
    void Close();
    bool IsOpen() const { return SendTextFile != nullptr; }
    // True when nothing is left to read. Raises InOutError when no copy is open.
    bool AtEnd() const;
    // The next line without its line end. Raises InOutError when no copy is
    // open or the read fails.
    std::string ReadLine();
};

class TTelegramBuilders {
public:
    // `telegram` is the record the builders write, `compCd` the window's
    // FCompCd (read at every build), `send` the state of the file being sent.
    TTelegramBuilders(TTelegram &telegram, const std::string &compCd, TSendState &send);

    // Seams set by the window.
    std::function<void()> SendTelegram;                      // sends the record
    std::function<std::string()> SendRowCountText;           // column 6 of row SendRow
    std::function<void(std::string)> LogSendLine;              // "SEND==>" + the 1024 bytes
    std::function<void(int)> OnLinesRead;                    // progress: LinesRead after a block (optional)

    void SendLoginRequest(const std::string &password);
    void SendLogoutRequest();
    void SendResultListRequest(const std::string &fromDate, const std::string &toDate,
                               const std::string &listLetter);
    void SendResultListAck(const std::string &answerCode);
    void SendReceiveRequest(const std::string &bankCode, const std::string &fileKindCode,
                            const std::string &sendDate, const std::string &sequence);
    void SendReceiveBlockAck(char jobKind, const std::string &subCode,
                             const std::string &answerCode);
    void SendReceiveEndAck(int count, const std::string &answerCode);
    void SendTransmitRequest(const std::string &bankCode, const std::string &fileKindCode);
    // mode 1 for the first block of a file, 2 for the others.
    void SendNextDataBlock(const std::string &subCode, char jobKind, int mode);
    void SendTransmitEnd();
    void SendPasswordChange(const std::string &currentPassword, const std::string &newPassword);
    void SendNoticeListRequest(const std::string &fromDate, const std::string &toDate);
    void SendNoticeListAck(const std::string &answerCode);
    void SendNoticeFileRequest(const std::string &fileName);
    void SendNoticeBlockAck(const std::string &answerCode);

    // Record lengths a data block can carry: at least 10 bytes (so that the
    // two-digit RecCount holds a block's count), at most the 960-byte Data.
    static constexpr int MinRecLen = 10;
    static constexpr int MaxRecLen = 960;

private:
    // Writes every field with the common defaults of a client telegram and
    // the code's job kind.
    void Begin(TTelegramCode code, std::string_view jobKind);
    void Send();
    // Records announced for the row being sent: its count + 2.
    long long SendTotal() const;

    TTelegram &t_;
    const std::string &compCd_;
    TSendState &send_;
};

} // namespace fm
