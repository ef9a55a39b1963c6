#pragma once
// The communication window: an MDI child of the main window where Marrowick
// talks to the service host. It owns the one connection to the host, the
// session key and the encryption context, the frames sent and received on
// that connection, the status line, the hidden log of what was sent and the
// state of its buttons between offline and logged in. It decides itself
// when it may close: while it is logged in (its "접속종료" button is shown)
// it refuses.
#include "common/frame.h"
#include "platform/FileListBox.h"
#include "platform/StringGrid.h"
#include "session/DataGrid.h"
#include "session/FileLists.h"
#include "session/Telegram.h"
#include "session/TelegramBuilders.h"
#include "shell/Main.h"

#include <QPointer>
#include <QWidget>
#include <cstddef>
#include <deque>
#include <fstream>
#include <memory>
#include <functional>
#include <string>

class QCloseEvent;
class QFrame;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTimer;

namespace fm {

struct TBlockShape;

class TClientSocket;
enum class TErrorEvent;

// The text of a host error code; 0, negative codes and codes above 23 (and
// the unnamed 4) share the last text.
QString HostErrorText(int code);
// The text of the socket-error box for a kind of socket error.
QString SocketErrorText(TErrorEvent kind);

// The daily reset of the receive counters under RecvFile: when the key is
// missing or its Date is not today, Date := today and the nine counters
// "000" .. "800" := "0"; on the same day nothing is written.
void ResetDailyRecvCounters();

// The host's answer to the key frame, or a telegram.
enum class THostFrameKind { KeyAccepted, KeyRefused, Telegram };
THostFrameKind HostFrameKindOf(const FrameAssembler::Frame &frame);

class TFrmC101B00 : public QWidget, public TCloseQuery {
    Q_OBJECT
public:
    explicit TFrmC101B00(QWidget *parent = nullptr);
    ~TFrmC101B00() override;

    // Components, in the class's order.
    TClientSocket *CSock = nullptr;
    QFrame *PnlBack = nullptr;
    QFrame *PnlList = nullptr;
    TStringGrid *SGrdDataLst = nullptr;
    QFrame *PnlFtp = nullptr;
    QLabel *LblFtp = nullptr;
    QProgressBar *PBarFtp = nullptr;
    QLabel *PnlStatus = nullptr;
    QFrame *PnlBtn = nullptr;
    QPushButton *BBtnDisConn = nullptr;
    QPushButton *BBtnConn = nullptr;
    QPushButton *BBtnPswd = nullptr;
    QPushButton *BBtnFileRecv = nullptr;
    QPushButton *BBtnFileSnd = nullptr;
    QPushButton *BBtnLstSech = nullptr;
    QFrame *PnlExit = nullptr;
    QPushButton *BBtnExit = nullptr;
    // The hidden bank list the lists show bank names through.
    TBankList LbBnk;
    QTimer *TmrRecv = nullptr;
    TFileListBox FLbHProc;
    QTimer *TmrSnd = nullptr;
    QPlainTextEdit *Memo = nullptr;
    QPushButton *BBtnDataList = nullptr;

    // Data records of the last loaded transfer file and the kind ("S" or
    // "R") of the last filled file list.
    int FileRecCount = 0;
    std::string ListKind;

    // The list row being put into the grid: a result-list row (41
    // characters are read) or a notice-list row (114).
    std::string ResultRow;
    std::string NoticeRow;

    // The file being sent and the fifteen telegram builders, which write the
    // unit's Telegram record and send it through SendTelegram.
    TSendState SendState;
    TTelegramBuilders Builders;

    // Size of the encryption library's context block of this window.
    static constexpr size_t kCryptCtxSize = 8193;
    // Colours of the status line.
    static constexpr TColor kStatusBlue = clBlue;
    static constexpr TColor kStatusRed = clRed;

    // ---- life cycle ---------------------------------------------------------
    void FormCreate();
    // True when the window may close; refuses (and says so) while logged in.
    bool FormCloseQuery() override;
    // The window is closing: frees the context, ends the connection and
    // destroys the window.
    void FormClose();
    // F11 shows or hides the log; the key goes on to the focused control.
    void FormKeyDown(int key, TShiftState shift);

    // ---- buttons ------------------------------------------------------------
    void BBtnConnClick();
    void BBtnDisConnClick();
    void BBtnExitClick();
    // The work selection: reshapes the grid into the chosen list and starts
    // filling it.
    void BBtnLstSechClick();
    // The password change: sends it when the confirmation matches.
    void BBtnPswdClick();

    // ---- socket events ------------------------------------------------------
    void CSockConnect();
    void CSockRead();
    void CSockDisconnect();
    void CSockError(TErrorEvent kind, int &errorCode);

    // ---- sending and answers --------------------------------------------------
    // Logs, encrypts and sends the current Telegram as one data frame, on an
    // established connection only. One that cannot be sealed is not sent:
    // the broken-answer box, then the connection is closed.
    void SendTelegram();
    // Runs the branch of the decrypted answer in Telegram.
    void ProcessTelegram();
    // Tells the user what the host refused, then the further step of the code.
    void ShowHostError(int code);
    // The log-in dialog, then the log-in telegram when it ends with OK.
    void LoginRoad();

    // One branch of ProcessTelegram.
    using Branch = void (TFrmC101B00::*)();
    // The branch that the answer in `t` runs.
    static Branch BranchFor(const TTelegram &t);
    // Branches.
    void LoginAnswer();      // "0810100"
    void LogoutAnswer();     // "0810900"
    void ResultListStart();  // "0610100"
    void ResultListRows();   // "0630100"
    void PasswordChanged();  // "0310100"
    void NoticeListStart();  // "0410100"
    void NoticeListRows();   // "0430100"
    void DirectionError();   // "0720100" / "0730100" with a direction other than S and R
    void UnrecognisedCode(); // an answer that fits no branch

    // ---- window helpers -----------------------------------------------------
    void SetStatus(const QString &text, TColor colour);
    TColor StatusColor() const { return statusColor_; }
    // Adds one line (CP949) to the log. The lines are kept as bytes and put
    // into Memo only while it is shown: a hidden log costs no text layout.
    void MemoAdd(std::string cp949);
    // Empties the log (each new connection).
    void ClearLog();
    // Shows the log with every line kept, or hides it and lets the widget
    // drop its copy.
    void ShowLog(bool shown);
    // The log keeps its newest lines up to this many: the whole log of the
    // largest file sent and received in one connection (about 5,000 lines of
    // 1,031 bytes for 10,001 records) fits, and a long connection stays
    // within about 8.5 MB.
    static constexpr size_t kLogLines = 8192;
    size_t LogLineCount() const { return log_.size(); }
    void ClearDataList();
    void SetResultListTitle();
    void AddResultListRow();
    void SetNoticeListTitle();
    void AddNoticeListRow();

    // ---- the list grid and the file lists -----------------------------------
    void SGrdDataLstDrawCell(TGridCanvas &canvas, int col, int row, const TRect &rect);
    void SGrdDataLstDblClick();
    void SGrdDataLstKeyDown(int key, TShiftState shift);
    void SetSendFileListTitle();
    void SetSentFileListTitle();
    void SetRecvFileListTitle();
    void FillFileList(const std::string &folder, const std::string &kind, const std::string &mode);
    void LoadTransferFile(int index, const std::string &folder);
    // The working folder of the data module.
    std::string AppDir() const;
    void SetOfflineButtons();
    void SetLoggedInButtons();

    // Logged in means the "접속종료" button is shown.
    bool LoggedIn() const;
    const std::string &CompCd() const { return FCompCd; }
    bool HasCryptCtx() const { return FCryptCtx != nullptr; }
    const unsigned char *CryptCtx() const { return FCryptCtx.get(); }

    // Sending, receiving, notice download, detail list
    // ---- sending the marked files of the send list -----------------------------
    void BBtnFileSndClick();
    void TmrSndTimer();
    // Centres the progress panel on PnlBack and shows it.
    void ShowProgressPanel();
    void TransmitAccepted();  // "0720100" S: convert, first block
    void TransmitNext();      // "0730100" S: next block or the end
    void TransmitConfirmed(); // "0810800": move the file to sback, next file
    // True from the button until the run ends (no further marked row, a
    // failed conversion, a host error or the end of the connection).
    bool SendRunning() const { return sendRunning_; }
    // ---- receiving the marked result files and notices ------------------------
    void BBtnFileRecvClick();
    void TmrRecvTimer();
    void ReceiveFirstBlock(); // "0720100" R
    void ReceiveNextBlock();  // "0730100" R
    void ReceiveEnd();        // "0800800" other than G
    // A received block that cannot be taken: the panel hidden, the
    // reception ended, the broken-answer box.
    void RefuseReception();
    // Writes a received block's records, counts them and acknowledges it.
    void WriteBlockAndAck(const TBlockShape &shape);
    void NoticeFirstBlock();  // "0520100"
    void NoticeNextBlock();   // "0530100"
    void NoticeEnd();         // "0800800" G
    bool Receiving() const { return recvKind_ != RecvKind::None; }
    // The end of the connection ends every run: the send run and the chain
    // of receptions (both chain timers stopped), a reception or notice
    // download under way (the open files closed).
    void TransfersStopped();
    // A run's timer acts only while the window is logged in on an
    // established connection; one that fires otherwise does nothing.
    bool Online() const;
    // A host error in Telegram stops only the run whose step it answers, as
    // its telegram code (and, for the transfer codes, its direction flag)
    // tells; an error answering any other request leaves every run alone.
    void HostErrorEndsItsRun();
    // ---- detail list -----------------------------------------------------------
    void BBtnDataListClick();

    // Receive state, shared by result files and notices.
    int RecvRow = 0;
    int RecvCount = 0;
    std::unique_ptr<std::ofstream> RecvTextFile;
    std::string CurFilePath;  // the raw file or the notice file (native path)
    std::string RecvFileName; // the raw file's bare name

private:
    void ConnectTransfers();
    // Starts a chain timer of a run (TmrSnd, TmrRecv), only while Online();
    // true when it was started.
    bool StartRunTimer(QTimer *timer);
    void EndSendRun();
    // Deletes the copy being sent, if there is one.
    void DropSendCopy();
    // The conversion-failure road: the box (with `reason` appended), the
    // row's mark cleared, the run ended, `copy` (a native path) deleted if
    // it exists.
    void RefuseSendFile(const std::string &copy, const QString &reason);
    void EndReception();
    // The file of the send run's row, its record count and its total amount
    // as the list showed them, taken when the file was requested so that a
    // list chosen meanwhile changes nothing.
    bool sendRunning_ = false;
    std::string sendName_;
    std::string sendCountText_;
    std::string sendAmountText_;
    // The converted copy being sent (native path): deleted when the file's
    // run ends, however it ends.
    std::string sendCopy_;
    enum class RecvKind { None, Result, Notice };
    RecvKind recvKind_ = RecvKind::None;
    std::string recvKindCode_; // file-kind code of the result row being received
    std::string noticeName_;   // file name of the notice being downloaded
    // End of sending, receiving, notice download, detail list

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // One whole host frame, as reassembled from the stream.
    void HandleHostFrame(const FrameAssembler::Frame &frame);
    // "응답 전문 오류입니다!!": an answer that cannot be used.
    void BrokenAnswer();
    // A host frame that cannot be opened: the box, then the connection ends.
    void UnopenableFrame();
    // Set while the user is told that a telegram could not be sealed: the
    // session is broken and its connection about to be closed, so nothing
    // more is sent on it.
    bool sealFailed_ = false;
    // The key frame of this connection is sent and its answer has not come.
    bool keyAwaited_ = false;

    // What setting a mark in a file list does besides (load, enable the
    // detail button).
    TMarkActions MarkActions();

    std::string FCompCd;
    // The three file lists, working on the grid, FLbHProc and the store.
    std::unique_ptr<TFileLists> FFileLists;
    // The encryption context: allocated at creation, wiped at the end of
    // every connection, wiped and freed when the window closes.
    struct TCryptCtxFree {
        void operator()(unsigned char *ctx) const;
    };
    std::unique_ptr<unsigned char[], TCryptCtxFree> FCryptCtx;
    // Host frames are reassembled from the byte stream of the connection.
    FrameAssembler FFrames;
    TColor statusColor_ = clBlack;
    // The log's lines (CP949), oldest first.
    std::deque<std::string> log_;
    // The key press last seen by the F11 filter and the widget it was at,
    // so that one press travelling up to the parents counts once.
    const QEvent *lastKey_ = nullptr;
    QPointer<QWidget> lastKeyAt_;
};

// The communication window created last; never names a freed window.
extern QPointer<TFrmC101B00> FrmC101B00;

// Creates a communication window into FrmC101B00 (the main window's "연결").
TFrmC101B00 *CreateFrmC101B00(QWidget *parent);

} // namespace fm
