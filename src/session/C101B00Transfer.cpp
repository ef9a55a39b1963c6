// The communication window's file exchange: sending the marked files of the
// send list, receiving the marked result files, downloading a marked notice
// and showing it, and the detail list of the file loaded last.
#include "session/C101B00.h"

#include "common/atomicfile.h"
#include "common/codec.h"
#include "common/errors.h"
#include "common/guard.h"
#include "common/modal.h"
#include "common/msgbox.h"
#include "common/regnames.h"
#include "common/text.h"
#include "common/widgets.h"
#include "platform/ClientSocket.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "session/C101B04.h"
#include "session/C101B05.h"
#include "session/Convert.h"
#include "session/DataGrid.h"
#include "session/TransferFile.h"
#include "session/TransferRules.h"
#include "shell/DMModule.h"

#include <QFrame>
#include <algorithm>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sys/stat.h>

namespace fm {

namespace {

// The working folder (as the data module fixed it).
std::string WorkDir() { return DMLib ? DMLib->AppDir : CurrentFolder(); }

// Grid columns of the lists the exchange reads.
constexpr int kSendMarkCol = 10; // send-file list: the mark
constexpr int kSendCountCol = 6; // send-file list: data records of the file
constexpr int kSendAmountCol = 7; // send-file list: total amount of the file
constexpr int kResultMarkCol = 9;
constexpr int kNoticeMarkCol = 4;
constexpr int kNoticeFileCol = 3;

bool IsSendFileList(const TStringGrid &g) { return g.ColCount() == 11 && g.Cells(0, 1) == "S"; }
bool IsResultList(const TStringGrid &g) { return g.ColCount() == 10; }
bool IsNoticeList(const TStringGrid &g) { return g.ColCount() == 5; }

// Deletes a file; true when it is gone.
bool DeleteFileAt(const std::string &nativePath) { return std::remove(nativePath.c_str()) == 0; }

// What a result file is received into until the host's total has been
// checked: <raw name> + this. Only a part file was never confirmed to the
// host, so only a part file is ever deleted unconverted.
constexpr const char *kPartSuffix = ".part";

// Puts a raw result file whose result was not written (its conversion
// failed, or the program ended while converting it) out of the way of the
// receptions to come, which write under the same name: it becomes
// <raw name>.1 (.2, ... when taken), never replacing a file. The path it is
// now found at; the old one when it could not be moved.
std::string KeepRawFile(const std::string &nativePath)
{
    for (int n = 1; n < 1000; ++n) {
        const std::string kept = nativePath + "." + std::to_string(n);
        const int err = RenameNoReplace(nativePath, kept);
        if (err == 0) return kept;
        if (err != EEXIST) break;
    }
    return nativePath;
}

// Gives a completely received part file its raw name, on disk, before the
// host is told the file arrived. Never replaces a file.
bool PublishRawFile(const std::string &partPath, const std::string &rawPath)
{
    return SyncFile(partPath) && RenameNoReplace(partPath, rawPath) == 0;
}

// The progress bar keeps its position within 0..maximum, as the framework's
// bar does (Qt would ignore a value outside the range, and draw a busy bar
// for an empty range).
void SetBarMaximum(QProgressBar *bar, int maximum)
{
    bar->setRange(0, std::max(maximum, 1));
    bar->setValue(0);
}

// A transfer moves the bar hundreds of times a second, and each immediate
// repaint of it costs more than the block it shows. The position is set at
// once; after a repaint the bar is painted again, with its latest position,
// once this interval has passed.
constexpr int kBarPaintIntervalMs = 100;

void SetBarPosition(QProgressBar *bar, int position)
{
    const bool paintNow = bar->updatesEnabled();
    bar->setValue(std::clamp(position, bar->minimum(), bar->maximum()));
    if (!paintNow) return;
    bar->setUpdatesEnabled(false);
    QTimer::singleShot(kBarPaintIntervalMs, bar, [bar] { bar->setUpdatesEnabled(true); });
}

// Runs a step of a transfer; an error in it ends the transfer (`stop`) before
// it is reported, so that nothing stays half open.
template <class Body, class Stop>
void Stopping(Body body, Stop stop)
{
    try {
        body();
    } catch (...) {
        stop();
        throw;
    }
}

} // namespace

// Connects the buttons and timers of the exchange and hooks the end of the
// connection, which stops a transfer under way.
void TFrmC101B00::ConnectTransfers()
{
    Bind(BBtnFileSnd, &QPushButton::clicked, this, [this] { BBtnFileSndClick(); });
    Bind(BBtnFileRecv, &QPushButton::clicked, this, [this] { BBtnFileRecvClick(); });
    Bind(BBtnDataList, &QPushButton::clicked, this, [this] { BBtnDataListClick(); });
    Bind(TmrSnd, &QTimer::timeout, this, [this] { TmrSndTimer(); });
    Bind(TmrRecv, &QTimer::timeout, this, [this] { TmrRecvTimer(); });
    Builders.SendRowCountText = [this] { return sendCountText_; };
    Builders.OnLinesRead = [this](int lines) { SetBarPosition(PBarFtp, lines); };
}

void TFrmC101B00::TransfersStopped()
{
    EndSendRun();     // TmrSnd stopped too
    TmrRecv->stop();  // the next file of the chain is not asked for
    EndReception();
    PnlFtp->hide();   // no run is left to show the progress of
}

bool TFrmC101B00::Online() const { return CSock->Connected() && LoggedIn(); }

bool TFrmC101B00::StartRunTimer(QTimer *timer)
{
    if (!Online()) return false;
    timer->start();
    return true;
}

void TFrmC101B00::HostErrorEndsItsRun()
{
    const std::optional<TTelegramCode> code = CodeOf(Telegram);
    if (!code) return;
    const char dir = Telegram.DirFlag[0];
    bool send = false, result = false, notice = false;
    switch (*code) {
    case TTelegramCode::tcTransferReq:
    case TTelegramCode::tcTransferStart:
    case TTelegramCode::tcTransferBlock:
    case TTelegramCode::tcTransferNext:
    case TTelegramCode::tcTransferEnd:
    case TTelegramCode::tcTransferEndAck:
        // Sending and receiving share these codes; the direction tells them
        // apart, and one that tells nothing ends both.
        notice = dir == 'G';
        send = dir == 'S' || (!notice && dir != 'R');
        result = dir == 'R' || (!notice && dir != 'S');
        break;
    case TTelegramCode::tcNoticeFileReq:
    case TTelegramCode::tcNoticeFileStart:
    case TTelegramCode::tcNoticeFileNext:
    case TTelegramCode::tcNoticeBlockAck:
        notice = true;
        break;
    default:
        return; // log-in, log-out, password change, lists: no transfer step
    }
    if (send) EndSendRun();
    if ((result && recvKind_ == RecvKind::Result) || (notice && recvKind_ == RecvKind::Notice)) EndReception();
}

// ---- progress panel ------------------------------------------------------------

void TFrmC101B00::ShowProgressPanel()
{
    // PnlFtp floats over the list area; its place is taken relative to PnlBack.
    const QPoint origin = PnlFtp->parentWidget()->mapFrom(PnlBack, QPoint(0, 0));
    PnlFtp->move(origin.x() + (PnlBack->width() - PnlFtp->width()) / 2,
                 origin.y() + (PnlBack->height() - PnlFtp->height()) / 2);
    PnlFtp->show();
    PnlFtp->raise();
}

// ---- sending ---------------------------------------------------------------------

void TFrmC101B00::DropSendCopy()
{
    if (sendCopy_.empty()) return;
    DeleteFileAt(sendCopy_);
    sendCopy_.clear();
}

void TFrmC101B00::EndSendRun()
{
    SendState.Close();
    DropSendCopy();
    sendRunning_ = false;
    sendName_.clear();
    TmrSnd->stop();
}

void TFrmC101B00::BBtnFileSndClick()
{
    // A run under way keeps its rows: a second press does not start another.
    if (sendRunning_) return;
    int marked = 0;
    for (int r = 1; r < SGrdDataLst->RowCount(); ++r) marked += SGrdDataLst->Cells(kSendMarkCol, r) == MarkText();
    if (marked == 0) {
        MessageBox(U("먼저 송신할 이체파일을 선택하세요!!"), U("송신실패"), MsgIcon::None);
        return;
    }
    SendState.SendRow = 1;
    sendRunning_ = StartRunTimer(TmrSnd);
}

void TFrmC101B00::TmrSndTimer()
{
    TmrSnd->stop();
    if (!sendRunning_) return;
    if (!Online()) {
        EndSendRun();
        return;
    }
    TStringGrid &g = *SGrdDataLst;
    // Only the send list names files of the send folder; another list shown
    // meanwhile ends the run.
    int row = 0;
    if (IsSendFileList(g)) {
        for (int r = std::max(SendState.SendRow, 1); r < g.RowCount(); ++r)
            if (g.Cells(kSendMarkCol, r) == MarkText()) {
                row = r;
                break;
            }
    }
    if (row == 0) {
        EndSendRun();
        return;
    }
    Stopping([&] {
        g.SetRow(row);
        SendState.SendRow = row;
        if (row - 1 >= FLbHProc.Count()) throw Error("List index out of bounds (" + std::to_string(row - 1) + ")");
        LblFtp->setText(ToQ(header::BankCd(LoadedFile().FileHeader)) +
                        U(" 파일송신중입니다. 잠시만 기다려 주십시요!"));
        SetBarMaximum(PBarFtp, StrToInt(g.Cells(kSendCountCol, row)));
        ShowProgressPanel();
        sendName_ = FLbHProc.Items()[size_t(row - 1)];
        sendCountText_ = g.Cells(kSendCountCol, row);
        sendAmountText_ = g.Cells(kSendAmountCol, row);
        Builders.SendTransmitRequest(g.Cells(1, row), g.Cells(2, row).substr(0, 1));
    }, [this] { EndSendRun(); });
}

void TFrmC101B00::RefuseSendFile(const std::string &copy, const QString &reason)
{
    MessageBox(U("이체자료 송신실패!") + reason, U("파일컨버젼 오류"), MsgIcon::Error);
    PnlFtp->hide();
    if (IsSendFileList(*SGrdDataLst)) SGrdDataLst->SetCell(kSendMarkCol, SendState.SendRow, "  ");
    EndSendRun();
    // Only what this conversion wrote: the copy, never a sent file.
    if (FileExists(copy)) {
        if (DeleteFileAt(copy))
            ShowMessage(ToQ(copy) + U(" 파일삭제성공"));
        else
            ShowMessage(ToQ(copy) + U(" 파일삭제실패"));
    }
}

void TFrmC101B00::TransmitAccepted()
{
    if (!sendRunning_ || sendName_.empty() || SendState.IsOpen()) {
        BrokenAnswer();
        return;
    }
    const std::string name = sendName_;
    const std::string copy = NativePath(WorkDir() + "\\sback\\" + name + kConvertedCopySuffix);
    // A copy left by a program that ended in the middle of a file is no sent
    // file: it goes first, so that a copy found afterwards is this
    // conversion's own.
    DeleteFileAt(copy);
    if (!ConvertFile(WorkDir(), name, "S")) {
        RefuseSendFile(copy, QString());
        return;
    }
    // The blocks and the end telegram count the records by the list: a file
    // rewritten since the list was read would go out cut short, or never
    // end, and still be reported as sent. And the user marked the file for
    // the totals the list showed: one rewritten with other amounts is not
    // the file that was chosen.
    const int listed = StrToInt(sendCountText_);
    const std::optional<int64_t> listedAmount = ReadShownAmount(sendAmountText_);
    const TTrailerTotals inFile = CopyTrailerTotals(copy);
    const auto amountText = [](const std::optional<int64_t> &amount) {
        return amount ? ToQ(FormatThousands(*amount, 0)) : QStringLiteral("?");
    };
    if (inFile.Count != listed) {
        RefuseSendFile(copy, U("\r\n목록을 조회한 뒤 파일이 바뀌었습니다(목록 %1건, 파일 %2건). "
                               "목록을 다시 조회한 뒤 송신하세요.")
                                 .arg(listed)
                                 .arg(inFile.Count ? QString::number(*inFile.Count) : QStringLiteral("?")));
        return;
    }
    if (!listedAmount || inFile.Amount != listedAmount) {
        RefuseSendFile(copy, U("\r\n목록을 조회한 뒤 파일이 바뀌었습니다(목록 총금액 %1, 파일 총금액 %2). "
                               "목록을 다시 조회한 뒤 송신하세요.")
                                 .arg(amountText(listedAmount), amountText(inFile.Amount)));
        return;
    }
    sendCopy_ = copy;
    Stopping([&] {
        SendState.OpenCopy(copy);
        Builders.SendNextDataBlock(FieldRaw(Telegram.CompCd), Telegram.JobKind[0], 1);
    }, [this] { EndSendRun(); });
}

void TFrmC101B00::TransmitNext()
{
    if (!sendRunning_ || !SendState.IsOpen()) {
        BrokenAnswer();
        return;
    }
    Stopping([&] { Builders.SendNextDataBlock(FieldRaw(Telegram.CompCd), Telegram.JobKind[0], 2); },
             [this] { EndSendRun(); });
}

void TFrmC101B00::TransmitConfirmed()
{
    // Only the end of a file in transfer is confirmed.
    if (!sendRunning_ || !SendState.IsOpen()) {
        BrokenAnswer();
        return;
    }
    SendState.Close();
    DropSendCopy();
    SetStatus(U("이체자료 송신완료!!"), kStatusBlue);
    PnlFtp->hide();
    const std::string name = sendName_;
    sendName_.clear();
    // The file the host confirmed is the only one sback gains. The move
    // replaces an earlier sent file of the same name only when it succeeds.
    const std::string source = NativePath(WorkDir() + "\\send\\" + name);
    const std::string target = NativePath(WorkDir() + "\\sback\\" + name);
    if (std::rename(source.c_str(), target.c_str()) != 0)
        MessageBox(U("송신 후 sback으로 Move되지  않았습니다!"), U("화일처리 오류"), MsgIcon::Error);
    MessageBox(U("이체자료 파일송신이 완료되었습니다!!"), U("완료"), MsgIcon::Information);
    BBtnFileSnd->setEnabled(true);
    BBtnFileRecv->setEnabled(false);
    BBtnDataList->setEnabled(false);
    if (IsSendFileList(*SGrdDataLst)) SGrdDataLst->SetCell(kSendMarkCol, SendState.SendRow, std::string());
    SendState.SendRow += 1;
    if (sendRunning_ && !StartRunTimer(TmrSnd)) EndSendRun();
}

// ---- receiving ------------------------------------------------------------------------

void TFrmC101B00::EndReception()
{
    RecvTextFile.reset();
    recvKind_ = RecvKind::None;
}

void TFrmC101B00::BBtnFileRecvClick()
{
    // One reception at a time: a press while a file or notice is arriving
    // leaves it alone.
    if (Receiving()) return;
    TStringGrid &g = *SGrdDataLst;
    int marked = 0;
    for (int r = 1; r < g.RowCount(); ++r)
        if (g.Cells(kResultMarkCol, r) == MarkText() || g.Cells(kNoticeMarkCol, r) == MarkText()) ++marked;
    if (marked == 0) {
        MessageBox(U("먼저 이체결과 파일을 선택하세요!!"), U("수신실패"), MsgIcon::None);
        return;
    }
    RecvRow = 1;
    LblFtp->setText(U("이체결과파일 수신중입니다. 잠시만 기다려 주십시요!!!"));
    StartRunTimer(TmrRecv);
}

void TFrmC101B00::TmrRecvTimer()
{
    TmrRecv->stop();
    if (Receiving() || !Online()) return;
    TStringGrid &g = *SGrdDataLst;
    for (int r = std::max(RecvRow, 1); r < g.RowCount(); ++r) {
        if (IsResultList(g) && g.Cells(kResultMarkCol, r) == MarkText()) {
            const std::string bank = g.Cells(1, r);
            const std::string date = g.Cells(3, r).substr(0, 8);
            const std::string sequence = Trimmed(g.Cells(7, r));
            g.SetRow(r);
            RecvRow = r;
            const std::string kind = g.Cells(2, r);
            SetBarMaximum(PBarFtp, StrToInt(g.Cells(6, r)));
            ShowProgressPanel();
            recvKind_ = RecvKind::Result;
            recvKindCode_ = Trimmed(kind);
            Builders.SendReceiveRequest(bank, kind.substr(0, 1), date, sequence);
            return;
        }
        if (IsNoticeList(g) && g.Cells(kNoticeMarkCol, r) == MarkText()) {
            const std::string name = Trimmed(g.Cells(kNoticeFileCol, r));
            g.SetRow(r);
            RecvRow = r;
            // The name becomes a file of \gong: one that would leave the
            // folder is not asked for.
            if (!name.empty() && !IsSafeBareName(name)) {
                BrokenAnswer();
                return;
            }
            recvKind_ = RecvKind::Notice;
            noticeName_ = name;
            Builders.SendNoticeFileRequest(name);
            return;
        }
    }
}

namespace {

// Writes the block's records, each followed by CR LF, with one write; the
// file is flushed when it is closed at its end.
void WriteRecords(std::ofstream &out, const TTelegram &t, const TBlockShape &shape)
{
    std::string lines;
    lines.reserve(size_t(shape.Count) * (size_t(shape.RecLen) + 2));
    for (int i = 0; i < shape.Count; ++i) {
        lines.append(t.Data + size_t(i) * size_t(shape.RecLen), size_t(shape.RecLen));
        lines.append("\r\n", 2);
    }
    out.write(lines.data(), std::streamsize(lines.size()));
    if (!out) throw InOutError("File write error");
}

} // namespace

void TFrmC101B00::ReceiveFirstBlock()
{
    Stopping([&] {
        if (recvKind_ != RecvKind::Result || RecvTextFile) {
            BrokenAnswer();
            return;
        }
        // A block whose record length or count is not a number, or whose
        // records run past Data, is refused as a whole.
        const std::optional<TBlockShape> shape =
            ReadBlockShape(std::string_view(Telegram.RecInfo, 3), FieldRaw(Telegram.RecCount));
        if (!shape) {
            RefuseReception();
            return;
        }
        RecvCount = 0;
        ShowProgressPanel();
        const std::string kind = recvKindCode_;
        const std::string counter = CounterNameFor(kind);
        if (counter.empty()) {
            RefuseReception();
            return;
        }
        int number = 0;
        {
            TRegistry reg;
            TKeyCloser closer{reg};
            reg.OpenKey(reg::RecvFileKey(), false);
            number = StrToInt(reg.ReadString(counter)) + 1;
            reg.WriteString(counter, std::to_string(number));
        }
        const std::string name = RecvFileNameOf(FieldRaw(Telegram.CompCd), FieldRaw(Telegram.SubCode), kind, number);
        // The name comes from the host: one that would leave \recv is refused.
        if (!IsSafeBareName(name)) {
            RefuseReception();
            return;
        }
        RecvFileName = name;
        CurFilePath = NativePath(WorkDir() + "\\recv\\" + RecvFileName);
        // The records go into a part file until the end was checked. A part
        // file of this name is left by a reception that was never confirmed:
        // it goes.
        const std::string part = CurFilePath + kPartSuffix;
        std::remove(part.c_str());
        // A file under the raw name itself was confirmed to the host, which
        // will not send it again, and its result was never written (the
        // program ended while converting it): it is kept, never replaced.
        std::string keptEarlier;
        struct stat st{};
        if (::lstat(CurFilePath.c_str(), &st) == 0) {
            keptEarlier = KeepRawFile(CurFilePath);
            if (keptEarlier == CurFilePath) {
                EndReception();
                throw InOutError(Format("Cannot create file \"%s\"", CurFilePath));
            }
        }
        auto file = std::make_unique<std::ofstream>(part, std::ios::binary | std::ios::trunc);
        if (!file->is_open()) {
            EndReception();
            throw InOutError(Format("Cannot create file \"%s\"", part));
        }
        RecvTextFile = std::move(file);
        WriteBlockAndAck(*shape); // the first block does not move the bar
        if (!keptEarlier.empty())
            MessageBox(U("변환되지 않은 이전 수신자료는 %1 파일에 남아 있습니다.").arg(ToQ(keptEarlier)),
                       U("수신자료"), MsgIcon::Warning);
    }, [this] { EndReception(); });
}

void TFrmC101B00::RefuseReception()
{
    PnlFtp->hide();
    EndReception();
    BrokenAnswer();
}

void TFrmC101B00::WriteBlockAndAck(const TBlockShape &shape)
{
    WriteRecords(*RecvTextFile, Telegram, shape);
    RecvCount += shape.Count;
    Builders.SendReceiveBlockAck(Telegram.JobKind[0], FieldRaw(Telegram.CompCd), "00");
}

void TFrmC101B00::ReceiveNextBlock()
{
    Stopping([&] {
        if (recvKind_ != RecvKind::Result || !RecvTextFile) {
            BrokenAnswer();
            return;
        }
        const std::optional<TBlockShape> shape = ReadBlockShape(FieldRaw(Telegram.RecInfo), FieldRaw(Telegram.RecCount));
        if (!shape) {
            RefuseReception();
            return;
        }
        WriteBlockAndAck(*shape);
        // The bar moves once a block, to the block's last record.
        if (shape->Count > 0) SetBarPosition(PBarFtp, RecvCount);
    }, [this] { EndReception(); });
}

void TFrmC101B00::ReceiveEnd()
{
    Stopping([&] {
        if (recvKind_ != RecvKind::Result || !RecvTextFile) {
            BrokenAnswer();
            return;
        }
        // The records of the last blocks reach the file here; a file that
        // cannot be completed is not confirmed.
        RecvTextFile->close();
        const bool complete = !RecvTextFile->fail();
        RecvTextFile.reset();
        if (!complete) throw InOutError("File write error");
        const std::optional<int> total = ReadTotal(FieldRaw(Telegram.Data));
        // A total that is not a number cannot be confirmed: it counts as a
        // wrong total.
        const std::string part = CurFilePath + kPartSuffix;
        if (!total || *total != RecvCount) {
            std::remove(part.c_str());
            PnlFtp->hide();
            EndReception();
            Builders.SendReceiveEndAck(RecvCount, "13");
            MessageBox(U("파일수신을 실패하였습니다. 총 건수 오류"), U("오류"), MsgIcon::Error);
            return;
        }
        // The host is told the file arrived only once it is on disk under
        // its raw name, where no later reception deletes it.
        if (!PublishRawFile(part, CurFilePath)) throw InOutError("File write error");
        PnlFtp->hide();
        Builders.SendReceiveEndAck(RecvCount, "00");
        TStringGrid &g = *SGrdDataLst;
        if (IsResultList(g) && g.Cells(kResultMarkCol, RecvRow) == MarkText()) g.SetCell(kResultMarkCol, RecvRow, {});
        RecvRow += 1;
        // The next file may arrive behind the boxes below and take over the
        // shared receive state: this file's raw name is kept here.
        const std::string rawName = RecvFileName;
        const std::string rawPath = CurFilePath;
        EndReception();
        StartRunTimer(TmrRecv);
        if (ConvertFile(WorkDir(), rawName, "R")) {
            std::remove(rawPath.c_str());
            MessageBox(U("이체결과자료 수신이 완료되었습니다!!"), U("완료"), MsgIcon::Information);
            SetStatus(U("이체결과자료 수신 완료!!"), kStatusBlue);
        } else {
            // The host was told the file arrived and will not send it again:
            // the raw file stays, for the user to take care of.
            const std::string kept = KeepRawFile(rawPath);
            MessageBox(U("이체결과자료 수신오류 발생!!") +
                           U("\r\n수신한 자료는 %1 파일에 남아 있습니다.").arg(ToQ(kept)),
                       U("오류"), MsgIcon::Information);
            SetStatus(U("이체결과자료 수신 오류!!"), kStatusRed);
        }
    }, [this] { EndReception(); });
}

// ---- notices ------------------------------------------------------------------------------

void TFrmC101B00::NoticeFirstBlock()
{
    Stopping([&] {
        if (recvKind_ != RecvKind::Notice || RecvTextFile) {
            BrokenAnswer();
            return;
        }
        if (!IsSafeBareName(noticeName_)) {
            EndReception();
            BrokenAnswer();
            return;
        }
        RecvCount = 1;
        CurFilePath = NativePath(WorkDir() + "\\gong\\" + noticeName_);
        std::remove(CurFilePath.c_str());
        auto file = std::make_unique<std::ofstream>(CurFilePath, std::ios::binary | std::ios::trunc);
        if (!file->is_open()) {
            EndReception();
            throw InOutError(Format("Cannot create file \"%s\"", CurFilePath));
        }
        RecvTextFile = std::move(file);
        const std::string data = FieldText(Telegram.Data);
        RecvTextFile->write(data.data(), std::streamsize(data.size()));
        RecvTextFile->flush();
        if (!*RecvTextFile) throw InOutError("File write error");
        Builders.SendNoticeBlockAck("00");
    }, [this] { EndReception(); });
}

void TFrmC101B00::NoticeNextBlock()
{
    Stopping([&] {
        if (recvKind_ != RecvKind::Notice || !RecvTextFile) {
            BrokenAnswer();
            return;
        }
        RecvCount += 1;
        const std::string data = FieldText(Telegram.Data);
        RecvTextFile->write(data.data(), std::streamsize(data.size()));
        RecvTextFile->flush();
        if (!*RecvTextFile) throw InOutError("File write error");
        Builders.SendNoticeBlockAck("00");
    }, [this] { EndReception(); });
}

void TFrmC101B00::NoticeEnd()
{
    if (recvKind_ != RecvKind::Notice || !RecvTextFile) {
        BrokenAnswer();
        return;
    }
    RecvTextFile.reset();
    PnlFtp->hide();
    Builders.SendReceiveEndAck(RecvCount, "00");
    TStringGrid &g = *SGrdDataLst;
    if (IsNoticeList(g) && g.Cells(kNoticeMarkCol, RecvRow) == MarkText()) g.SetCell(kNoticeMarkCol, RecvRow, {});
    const std::string path = CurFilePath;
    EndReception();
    TFrmC101B04 viewer;
    viewer.LoadFromFile(path);
    ShowModal(viewer);
}

// ---- detail list ------------------------------------------------------------------------------

void TFrmC101B00::BBtnDataListClick()
{
    int result = mrCancel;
    {
        // Centred on the main window, which it belongs to.
        TFrmC101B05 dialog(LoadedFile(), FileRecCount, ListKind, &LbBnk, window());
        result = ShowModal(dialog);
    }
    if (result == mrOk) {
        TStringGrid &g = *SGrdDataLst;
        for (int r = 1; r < g.RowCount(); ++r) {
            if (g.ColCount() == 12 && g.Cells(0, r) == "S")
                g.SetCell(11, r, {});
            else
                g.SetCell(10, r, {});
        }
    }
    BBtnDataList->setEnabled(false);
}

} // namespace fm
