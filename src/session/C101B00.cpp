#include "session/C101B00.h"

#include "common/codec.h"
#include "common/errors.h"
#include "common/guard.h"
#include "common/modal.h"
#include "common/msgbox.h"
#include "common/regnames.h"
#include "common/text.h"
#include "common/datetime.h"
#include "platform/ClientSocket.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "session/C101B01.h"
#include "session/C101B02.h"
#include "session/C101B03.h"
#include "session/DataGrid.h"
#include "session/ListRows.h"
#include "session/TransferFile.h"
#include "shell/DMModule.h"
#include "zelcoran.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QProgressBar>
#include <QScrollBar>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QTimer>
#include <QVBoxLayout>

#include <cstring>

namespace fm {

QPointer<TFrmC101B00> FrmC101B00;

TFrmC101B00 *CreateFrmC101B00(QWidget *parent)
{
    auto *window = new TFrmC101B00(parent);
    FrmC101B00 = window;
    return window;
}

// ---- texts --------------------------------------------------------------------

QString HostErrorText(int code)
{
    static const char *const kTexts[] = {
        nullptr,
        "작업코드오류",              // 1
        "업체코드오류",              // 2
        "비밀번호오류",              // 3
        nullptr,                     // 4 has no text of its own
        "프로그램버젼오류",          // 5
        "송신시간오류",              // 6
        "업무구분오류",              // 7
        "목록구분오류",              // 8
        "은행코드오류",              // 9
        "해당파일없음",              // 10
        "구비밀번호오류",            // 11
        "전문Size오류",              // 12
        "File Size오류, 송신불가",   // 13
        "휴일오류",                  // 14
        "비밀번호를 3회 틀리셨습니다.\r\nNorvane과 연결할 수 없습니다.\r\n"
        "접속하실려면 Norvane으로 연락하세요!!", // 15
        "검색자료없음",              // 16
        "line read error",           // 17
        "line write error",          // 18
        "접속 오류",                 // 19
        "시간초과오류",              // 20
        "해당은행송신불가",          // 21
        "DB 오류",                   // 22
        "system오류",                // 23
    };
    if (code >= 1 && code <= 23 && kTexts[code]) return QString::fromUtf8(kTexts[code]);
    return QString::fromUtf8("알수없는 에러입니다.\r\n(주)Norvane으로 연락하십시요!!");
}

QString SocketErrorText(TErrorEvent kind)
{
    switch (kind) {
    case TErrorEvent::eeSend: return QString::fromUtf8("송신오류");
    case TErrorEvent::eeReceive: return QString::fromUtf8("수신오류");
    case TErrorEvent::eeConnect: return QString::fromUtf8("접속오류");
    case TErrorEvent::eeDisconnect: return QString::fromUtf8("접속해제오류");
    case TErrorEvent::eeAccept:
        return QStringLiteral("A problem occurred when trying to accept a client connection request.");
    case TErrorEvent::eeGeneral: break;
    }
    return QStringLiteral(
        "The socket received an error message that does not fit into any of the following categories.");
}

THostFrameKind HostFrameKindOf(const FrameAssembler::Frame &frame)
{
    if (frame.letter == 'S') {
        const std::string &p = frame.payload;
        if (p.compare(0, 2, "OK") == 0) return THostFrameKind::KeyAccepted;
        if (p.compare(0, 3, "ERR") == 0) return THostFrameKind::KeyRefused;
    }
    return THostFrameKind::Telegram;
}

// ---- the daily reset of the receive counters -------------------------------------

void ResetDailyRecvCounters()
{
    TRegistry reg;
    TKeyCloser closer{reg};

    const std::string today = TodayYmd();
    if (reg.OpenKey(reg::RecvFileKey(), false)) {
        if (reg.ReadString(reg::kDate) == today) return;
    } else {
        reg.OpenKey(reg::RecvFileKey(), true);
    }
    reg.WriteString(reg::kDate, today);
    for (const char *counter : reg::kRecvCounters) reg.WriteString(counter, "0");
}

// ---- the window ------------------------------------------------------------------

namespace {

QPushButton *button(QWidget *parent, const char *name, const char *caption, bool enabled)
{
    auto *b = new QPushButton(QString::fromUtf8(caption), parent);
    b->setObjectName(name);
    b->setFixedSize(75, 25);
    b->setAutoDefault(false);
    b->setEnabled(enabled);
    return b;
}

QFont fixedFont(int pixels, bool bold)
{
    QFont f(QString::fromUtf8("굴림체"));
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

} // namespace

TFrmC101B00::TFrmC101B00(QWidget *parent)
    : QWidget(parent), Builders(Telegram, FCompCd, SendState)
{
    setObjectName("FrmC101B00");
    setWindowTitle(QString::fromUtf8("통신"));
    QFont f(QString::fromUtf8("굴림"));
    f.setPixelSize(12);
    setFont(f);

    CSock = new TClientSocket(this);
    CSock->Port = 39995;

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    PnlBack = new QFrame(this);
    PnlBack->setObjectName("PnlBack");
    PnlBack->setFrameStyle(QFrame::Panel | QFrame::Raised);
    outer->addWidget(PnlBack);

    auto *back = new QVBoxLayout(PnlBack);
    back->setContentsMargins(5, 5, 5, 5);
    back->setSpacing(0);
    auto *upper = new QHBoxLayout;
    upper->setSpacing(0);
    back->addLayout(upper, 1);

    // The list area: the grid above the (hidden) log, the progress panel
    // floating over them.
    PnlList = new QFrame(PnlBack);
    PnlList->setObjectName("PnlList");
    upper->addWidget(PnlList, 1);
    auto *list = new QVBoxLayout(PnlList);
    list->setContentsMargins(0, 0, 0, 0);
    list->setSpacing(0);
    SGrdDataLst = new TStringGrid(PnlList);
    SGrdDataLst->setObjectName("SGrdDataLst");
    InitDataGrid(*SGrdDataLst);
    FFileLists = std::make_unique<TFileLists>(*SGrdDataLst, FLbHProc, LoadedFile(), FileRecCount, ListKind);
    list->addWidget(SGrdDataLst, 1);

    Memo = new QPlainTextEdit(PnlList);
    Memo->setObjectName("Memo");
    Memo->setFixedHeight(111);
    Memo->setFont(fixedFont(12, false));
    Memo->setStyleSheet("QPlainTextEdit { background-color: black; color: white; }");
    Memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo->setMaximumBlockCount(int(kLogLines));
    Memo->hide();
    list->addWidget(Memo);

    PnlFtp = new QFrame(PnlList);
    PnlFtp->setObjectName("PnlFtp");
    PnlFtp->setFrameStyle(QFrame::Box | QFrame::Plain);
    PnlFtp->setFixedSize(357, 89);
    LblFtp = new QLabel(QString::fromUtf8("파일수신중입니다. 잠시만 기다려 주십시요!!!"), PnlFtp);
    LblFtp->setObjectName("LblFtp");
    LblFtp->setFont(fixedFont(12, true));
    {
        QPalette p = LblFtp->palette();
        p.setColor(QPalette::WindowText, QColor(0, 0, 128));
        LblFtp->setPalette(p);
    }
    LblFtp->setGeometry(12, 16, 333, 20);
    PBarFtp = new QProgressBar(PnlFtp);
    PBarFtp->setObjectName("PBarFtp");
    PBarFtp->setRange(0, 100);
    PBarFtp->setValue(0);
    PBarFtp->setGeometry(12, 48, 333, 22);
    PnlFtp->hide();

    // The buttons along the right edge.
    PnlBtn = new QFrame(PnlBack);
    PnlBtn->setObjectName("PnlBtn");
    PnlBtn->setFrameStyle(QFrame::Panel | QFrame::Raised);
    PnlBtn->setFixedWidth(91);
    upper->addWidget(PnlBtn);

    PnlStatus = new QLabel(PnlBack);
    PnlStatus->setObjectName("PnlStatus");
    PnlStatus->setFrameStyle(QFrame::Panel | QFrame::Raised);
    PnlStatus->setFixedHeight(30);
    PnlStatus->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    PnlStatus->setFont(fixedFont(12, true));
    back->addWidget(PnlStatus);

    // "접속" and "접속종료" share one place; the shown one is the state.
    auto *buttons = new QVBoxLayout(PnlBtn);
    buttons->setContentsMargins(7, 8, 7, 8);
    BBtnDisConn = button(PnlBtn, "BBtnDisConn", "접속종료", true);
    BBtnConn = button(PnlBtn, "BBtnConn", "접속", true);
    BBtnLstSech = button(PnlBtn, "BBtnLstSech", "작업선택", false);
    BBtnFileSnd = button(PnlBtn, "BBtnFileSnd", "이체자료송신", false);
    BBtnFileRecv = button(PnlBtn, "BBtnFileRecv", "이체결과수신", false);
    BBtnDataList = button(PnlBtn, "BBtnDataList", "세부자료조회", false);
    BBtnPswd = button(PnlBtn, "BBtnPswd", "암호변경", false);
    BBtnDisConn->hide();
    for (QPushButton *b : {BBtnDisConn, BBtnConn, BBtnLstSech, BBtnFileSnd, BBtnFileRecv, BBtnDataList, BBtnPswd})
        buttons->addWidget(b);
    buttons->addStretch(1);

    FLbHProc.Mask = "S*.txt";

    PnlExit = new QFrame(PnlBtn);
    PnlExit->setObjectName("PnlExit");
    PnlExit->setFixedWidth(75);
    auto *exit = new QVBoxLayout(PnlExit);
    exit->setContentsMargins(0, 0, 0, 0);
    BBtnExit = button(PnlExit, "BBtnExit", "닫기", true);
    exit->addWidget(BBtnExit);
    buttons->addWidget(PnlExit);

    TmrRecv = new QTimer(this);
    TmrRecv->setObjectName("TmrRecv");
    TmrRecv->setInterval(1000);
    TmrSnd = new QTimer(this);
    TmrSnd->setObjectName("TmrSnd");
    TmrSnd->setInterval(1000);

    // Handlers.
    Bind(BBtnConn, &QPushButton::clicked, this, [this] { BBtnConnClick(); });
    Bind(BBtnDisConn, &QPushButton::clicked, this, [this] { BBtnDisConnClick(); });
    Bind(BBtnExit, &QPushButton::clicked, this, [this] { BBtnExitClick(); });
    Bind(BBtnLstSech, &QPushButton::clicked, this, [this] { BBtnLstSechClick(); });
    Bind(BBtnPswd, &QPushButton::clicked, this, [this] { BBtnPswdClick(); });
    SGrdDataLst->OnDrawCell = [this](TGridCanvas &canvas, int col, int row, const TRect &rect) {
        SGrdDataLstDrawCell(canvas, col, row, rect);
    };
    SGrdDataLst->OnDblClick = [this] { SGrdDataLstDblClick(); };
    SGrdDataLst->OnKeyDown = [this](int key, TShiftState shift) { SGrdDataLstKeyDown(key, shift); };
    CSock->OnConnect = [this] { CSockConnect(); };
    CSock->OnRead = [this] { CSockRead(); };
    CSock->OnDisconnect = [this] { CSockDisconnect(); };
    CSock->OnError = [this](TErrorEvent kind, int &code) { CSockError(kind, code); };
    Builders.SendTelegram = [this] { SendTelegram(); };
    Builders.LogSendLine = [this](std::string line) { MemoAdd(std::move(line)); };
    ConnectTransfers(); // file buttons, TmrSnd, TmrRecv

    // Key preview: the window sees every key pressed in it first.
    qApp->installEventFilter(this);

    Guarded([this] { FormCreate(); });
}

TFrmC101B00::~TFrmC101B00()
{
    qApp->removeEventFilter(this);
    // The connection goes away with the window without raising its events.
    CSock->OnConnect = nullptr;
    CSock->OnRead = nullptr;
    CSock->OnDisconnect = nullptr;
    CSock->OnError = nullptr;
    delete CSock;
    CSock = nullptr;
}

// ---- life cycle -------------------------------------------------------------------

void TFrmC101B00::FormCreate()
{
    ClearDataList();
    FCryptCtx.reset(new unsigned char[kCryptCtxSize]);
    ResetDailyRecvCounters();
}

bool TFrmC101B00::LoggedIn() const { return !BBtnDisConn->isHidden(); }

bool TFrmC101B00::FormCloseQuery()
{
    if (!LoggedIn()) return true;
    MessageBox(QString::fromUtf8("접속종료를 먼저 하십시요!!!"), QString::fromUtf8("종료에러"),
               MsgIcon::Error);
    return false;
}

void TFrmC101B00::FormClose()
{
    FCryptCtx.reset();
    if (CSock->Active()) CSock->Close();
    // Destroyed, not hidden: with the MDI frame around it when there is one.
    if (auto *sub = qobject_cast<QMdiSubWindow *>(parentWidget())) sub->deleteLater();
    deleteLater();
}

void TFrmC101B00::FormKeyDown(int key, TShiftState)
{
    if (key == VK_F11) ShowLog(Memo->isHidden());
}

void TFrmC101B00::closeEvent(QCloseEvent *event)
{
    event->ignore();
    Guarded([&] {
        if (!FormCloseQuery()) return;
        FormClose();
        event->accept();
    });
}

bool TFrmC101B00::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && watched->isWidgetType()) {
        auto *w = static_cast<QWidget *>(watched);
        if (w == this || isAncestorOf(w)) {
            // A key the focused control leaves travels on to its parents:
            // the same press seen again at the parent of where it was last.
            const bool travelling = event == lastKey_ && lastKeyAt_ && lastKeyAt_->parentWidget() == w;
            lastKey_ = event;
            lastKeyAt_ = w;
            if (!travelling) {
                auto *ke = static_cast<QKeyEvent *>(event);
                const int key = KeyCodeOf(ke->key());
                const TShiftState shift = ShiftStateOf(ke->modifiers());
                Guarded([&] { FormKeyDown(key, shift); });
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

// ---- buttons ----------------------------------------------------------------------

void TFrmC101B00::BBtnConnClick()
{
    {
        TRegistry reg;
        TKeyCloser closer{reg};
        reg.OpenKey(reg::CommunicationKey(), false);
        CSock->Address = reg.ReadString(reg::kAddress);
        CSock->Port = StrToInt(reg.ReadString(reg::kPortNo));
    }
    if (!CSock->Active()) CSock->Open();
}

void TFrmC101B00::BBtnDisConnClick()
{
    Builders.SendLogoutRequest();
    ClearDataList();
    SetResultListTitle();
}

void TFrmC101B00::BBtnExitClick()
{
    // Closing the MDI frame asks this window (closeEvent) first.
    if (auto *sub = qobject_cast<QMdiSubWindow *>(parentWidget()))
        sub->close();
    else
        close();
}

// ---- socket events ----------------------------------------------------------------

void TFrmC101B00::CSockConnect()
{
    FFrames.clear();
    if (!FCryptCtx) return; // the window is closing
    unsigned char key[128];
    std::memset(key, 0, sizeof key);
    const int n = GetRSASeedKey(FCryptCtx.get(), key);
    if (n < 1) {
        MessageBox(QString::fromUtf8("세션키 생성을 실패하였습니다.\r\n재접속하세요!!"),
                   QString::fromUtf8("세션키오류"), MsgIcon::Error);
        CSock->Close();
        return;
    }
    ClearLog();
    const auto *k = reinterpret_cast<const char *>(key);
    MemoAdd("SEND==>S" + PadLeftZero(std::to_string(n), 5) + std::string(k, strnlen(k, sizeof key)));
    CSock->SendText(MakeFrame('S', std::string_view(k, sizeof key), 128));
    keyAwaited_ = true;
}

void TFrmC101B00::CSockRead()
{
    FFrames.feed(CSock->ReceiveAll());
    QPointer<TFrmC101B00> self(this);
    while (std::optional<FrameAssembler::Frame> frame = FFrames.next()) {
        // Each frame is handled on its own: an error in one ends only its
        // handling, and the frames behind it still come.
        Guarded([&] { HandleHostFrame(*frame); });
        if (!self) return;
    }
}

void TFrmC101B00::HandleHostFrame(const FrameAssembler::Frame &frame)
{
    const THostFrameKind kind = HostFrameKindOf(frame);
    if (kind != THostFrameKind::Telegram) {
        // A connection has one key answer, to its key frame.
        if (!keyAwaited_) {
            UnopenableFrame();
            return;
        }
        keyAwaited_ = false;
    }
    switch (kind) {
    case THostFrameKind::KeyAccepted:
        LoginRoad();
        return;
    case THostFrameKind::KeyRefused:
        MessageBox(QString::fromUtf8("세션키 전송에 실패하였습니다.\r\n재접속하세요!!"),
                   QString::fromUtf8("세션키오류"), MsgIcon::Error);
        CSock->Close();
        return;
    case THostFrameKind::Telegram:
        break;
    }
    if (frame.payload.size() != 1040 || !FCryptCtx) {
        UnopenableFrame();
        return;
    }
    unsigned char in[1041];
    std::memcpy(in, frame.payload.data(), 1040);
    in[1040] = 0;
    auto out = std::make_unique<unsigned char[]>(1041);
    if (rs_Decrypt(FCryptCtx.get(), in, 1041, out.get()) != 1024) {
        // Not a telegram of this session: never dispatched.
        UnopenableFrame();
        return;
    }
    // The answer is text up to its first zero byte; the rest of the record
    // is blank rather than left over from the telegram before.
    const auto *plain = reinterpret_cast<const char *>(out.get());
    const size_t len = strnlen(plain, TTelegram::Size);
    std::memcpy(Telegram.Bytes(), plain, len);
    std::memset(Telegram.Bytes() + len, ' ', TTelegram::Size - len);

    const std::string resp = FieldRaw(Telegram.RespCode);
    if (resp != "00") {
        // A code that is not a number stops here with the conversion error
        // alone, before anything of a transfer under way is touched.
        const int code = StrToInt(resp);
        HostErrorEndsItsRun(); // only the run whose step it answers ends
        ShowHostError(code);
        PnlFtp->hide();
    } else {
        ProcessTelegram();
    }
}

void TFrmC101B00::BrokenAnswer()
{
    MessageBox(QString::fromUtf8("응답 전문 오류입니다!!"), QString::fromUtf8("전문오류"), MsgIcon::Error);
}

void TFrmC101B00::UnopenableFrame()
{
    // Nothing the session could go on from: a frame not sealed with its key,
    // one cut short, or a second key answer. After the box the connection
    // ends, and with it every frame that came behind this one, so a peer
    // that streams such frames gets one box, not one per frame.
    BrokenAnswer();
    CSock->Close();
}

void TFrmC101B00::TCryptCtxFree::operator()(unsigned char *ctx) const
{
    ZelcoranWipe(ctx);
    delete[] ctx;
}

void TFrmC101B00::CSockDisconnect()
{
    FFrames.clear();
    keyAwaited_ = false;
    ZelcoranWipe(FCryptCtx.get()); // nothing of the session outlives it
    TransfersStopped(); // so does the end of the connection
    MessageBox(QString::fromUtf8("Norvane과 연결이 종료되었습니다!!!\r\n연결을 원하면 다시 접속하세요!!!"),
               QString::fromUtf8("접속종료"), MsgIcon::Information);
    SetOfflineButtons();
}

void TFrmC101B00::CSockError(TErrorEvent kind, int &)
{
    // The code stays set: the socket layer reports its own error afterwards.
    MessageBox(SocketErrorText(kind), QStringLiteral("Error"), MsgIcon::Error);
}

// ---- sending ------------------------------------------------------------------------

void TFrmC101B00::SendTelegram()
{
    // Nothing goes out without a connection, on a session that has broken
    // down (its close is under way), or once the context is gone (the
    // window is closing: no call into the library).
    if (!CSock->Connected() || sealFailed_ || !FCryptCtx) return;
    MemoAdd(Telegram.ToString("send==>"));
    unsigned char out[1040];
    std::memset(out, 0, sizeof out);
    if (rs_Encrypt(FCryptCtx.get(), reinterpret_cast<const unsigned char *>(Telegram.Bytes()), 1024, out) !=
        int(sizeof out)) {
        // A telegram that cannot be sealed (no session in the context, its
        // counter used up) is never sent: the session is broken, so its
        // connection is closed, which ends every run waiting for an answer.
        {
            QScopedValueRollback<bool> telling(sealFailed_, true);
            BrokenAnswer();
        }
        CSock->Close();
        return;
    }
    CSock->SendText(MakeFrame('D', std::string_view(reinterpret_cast<const char *>(out), sizeof out)));
}

// ---- the dispatcher -------------------------------------------------------------------

namespace {

// Which direction flags a route takes: 0 the flag is not examined; 'S', 'R',
// 'G' that flag; '*' any flag not taken by the routes of the code above it.
struct Route {
    TTelegramCode code;
    char dir;
    TFrmC101B00::Branch branch;
};

using F = TFrmC101B00;
using C = TTelegramCode;

// The whole dispatch table, in the order the codes are tested. Answers whose
// branch is not there yet take the unrecognised-code road.
const Route kRoutes[] = {
    {C::tcLoginResp, 0, &F::LoginAnswer},            // logged in
    {C::tcLogoutResp, 0, &F::LogoutAnswer},          // logged out; the connection is closed
    {C::tcResultListStart, 0, &F::ResultListStart},  // result-list query accepted
    {C::tcResultListRows, 0, &F::ResultListRows},    // a block of result-list rows
    {C::tcTransferStart, 'S', &F::TransmitAccepted}, // sending of a file accepted
    {C::tcTransferStart, 'R', &F::ReceiveFirstBlock}, // receiving accepted, first block
    {C::tcTransferStart, '*', &F::DirectionError},
    {C::tcTransferNext, 'S', &F::TransmitNext},      // next data block please
    {C::tcTransferNext, 'R', &F::ReceiveNextBlock},  // next block of the received file
    {C::tcTransferNext, '*', &F::DirectionError},
    {C::tcTransferEnd, 'G', &F::NoticeEnd},          // end of a notice file
    {C::tcTransferEnd, '*', &F::ReceiveEnd},         // end of a received result file
    {C::tcTransferEndAck, 0, &F::TransmitConfirmed}, // the sent file is complete
    {C::tcPasswordResp, 0, &F::PasswordChanged},     // password changed
    {C::tcNoticeListStart, 0, &F::NoticeListStart},  // notice-list query accepted
    {C::tcNoticeListRows, 0, &F::NoticeListRows},    // a block of notice-list rows
    {C::tcNoticeFileStart, 0, &F::NoticeFirstBlock}, // first block of a notice file
    {C::tcNoticeFileNext, 0, &F::NoticeNextBlock},   // next block of a notice file
};

} // namespace

TFrmC101B00::Branch TFrmC101B00::BranchFor(const TTelegram &t)
{
    const std::optional<TTelegramCode> code = CodeOf(t);
    if (!code) return &F::UnrecognisedCode;
    const char dir = t.DirFlag[0];
    for (const Route &r : kRoutes) {
        if (r.code != *code) continue;
        if (r.dir == 0 || r.dir == '*' || r.dir == dir) return r.branch;
    }
    // Codes only the client sends.
    return &F::UnrecognisedCode;
}

void TFrmC101B00::ProcessTelegram() { (this->*BranchFor(Telegram))(); }

void TFrmC101B00::UnrecognisedCode() { BrokenAnswer(); }

void TFrmC101B00::DirectionError()
{
    MessageBox(QString::fromUtf8("전문 오류"), QString::fromUtf8("전문오류"), MsgIcon::Error);
}

// ---- log-in and log-out ------------------------------------------------------------------

void TFrmC101B00::LoginRoad()
{
    TFrmC101B01 dialog;
    if (ShowModal(dialog) != mrOk) return;
    // The company code first: the builder copies it into the telegram.
    FCompCd = Trimmed(FromQ(dialog.EdtCompCd->text()));
    Builders.SendLoginRequest(Trimmed(FromQ(dialog.EdtPswd->text())));
}

void TFrmC101B00::LoginAnswer()
{
    SetStatus(QString::fromUtf8("Norvane과 개시되었습니다!!"), kStatusBlue);
    SetLoggedInButtons();
    const std::string notice = Trimmed(FieldRaw(Telegram.Data));
    if (!notice.empty()) MessageBox(ToQ(notice), QString::fromUtf8("공지사항"), MsgIcon::Information);
}

void TFrmC101B00::LogoutAnswer()
{
    SetStatus(QString::fromUtf8("Norvane과 접속이 종료되었습니다!!"), kStatusBlue);
    SetOfflineButtons();
    CSock->Close();
}

void TFrmC101B00::ShowHostError(int code)
{
    MessageBox(HostErrorText(code), QString::fromUtf8("오류"), MsgIcon::Error);
    switch (code) {
    case 3: LoginRoad(); break;
    case 15: CSock->Close(); break;
    case 16: SetStatus(QString::fromUtf8("검색자료없음!!"), kStatusRed); break;
    default: break;
    }
}

// ---- work selection, the host's lists and the password change ---------------------------------

void TFrmC101B00::BBtnLstSechClick()
{
    SetStatus(QStringLiteral(" "), kStatusBlue);
    TFrmC101B02 dialog(this);
    const int result = ShowModal(dialog);
    // The connection may have ended while the dialog was open: the window
    // then keeps the offline state the end of the connection gave it.
    if (!CSock->Connected()) return;

    BBtnConn->hide();
    BBtnDisConn->show();
    BBtnLstSech->setEnabled(true);
    BBtnFileSnd->setEnabled(true);
    BBtnFileRecv->setEnabled(true);
    BBtnPswd->setEnabled(true);
    BBtnDataList->setEnabled(false);
    if (result != mrOk) return;

    LblFtp->setText(QString::fromUtf8("자료수신중입니다. 잠시만 기다려 주십시요!!"));
    switch (dialog.ItemIndex()) {
    case TFrmC101B02::wsSendFiles:
        BBtnFileSnd->setEnabled(true);
        BBtnFileRecv->setEnabled(false);
        BBtnDataList->setEnabled(false);
        ClearDataList();
        SetSendFileListTitle();
        FillFileList(AppDir() + "\\Send", "S", "S");
        break;
    case TFrmC101B02::wsResultList:
        BBtnFileRecv->setEnabled(true);
        BBtnFileSnd->setEnabled(false);
        ClearDataList();
        SetResultListTitle();
        Builders.SendResultListRequest(dialog.FromDate(), dialog.ToDate(), "R");
        break;
    case TFrmC101B02::wsSentFiles:
        BBtnFileSnd->setEnabled(false);
        BBtnFileRecv->setEnabled(false);
        ClearDataList();
        SetSentFileListTitle();
        FillFileList(AppDir() + "\\SBack", "S", "L");
        break;
    case TFrmC101B02::wsRecvFiles:
        BBtnFileSnd->setEnabled(false);
        BBtnFileRecv->setEnabled(false);
        ClearDataList();
        SetRecvFileListTitle();
        FillFileList(AppDir() + "\\Recv", "R", "L");
        break;
    case TFrmC101B02::wsNoticeList:
        ClearDataList();
        SetNoticeListTitle();
        Builders.SendNoticeListRequest(dialog.FromDate(), dialog.ToDate());
        break;
    default: // no item chosen
        break;
    }
}

void TFrmC101B00::BBtnPswdClick()
{
    TFrmC101B03 dialog(this);
    if (ShowModal(dialog) != mrOk) return;
    // Compared exactly as typed; sent trimmed.
    if (dialog.EdtUpdtPswd->text() != dialog.EdtConfiPswd->text()) {
        MessageBox(QString::fromUtf8("새로운 패스워드가 틀립니다.\r\n다시 입력하세요!!!"),
                   QString::fromUtf8("입력오류"), MsgIcon::Error);
        return;
    }
    Builders.SendPasswordChange(Trimmed(FromQ(dialog.EdtCurrPswd->text())),
                                Trimmed(FromQ(dialog.EdtConfiPswd->text())));
}

void TFrmC101B00::PasswordChanged()
{
    MessageBox(QString::fromUtf8("암호가 변경되었습니다.!!"), QString::fromUtf8("암호변경"), MsgIcon::Information);
    SetStatus(QString::fromUtf8("암호가 변경되었습니다!!"), kStatusBlue);
}

void TFrmC101B00::ResultListStart() { SetStatus(QString::fromUtf8("이체결과자료 조회!!"), kStatusBlue); }

void TFrmC101B00::ResultListRows()
{
    const TListBlock block = TakeListRows(Telegram);
    if (block.Refused) {
        // A row length or count that cannot be read: nothing is taken and
        // the block is not acknowledged.
        BrokenAnswer();
        return;
    }
    for (const std::string &row : block.Rows) {
        ResultRow = row.substr(0, TResultListRow::Size);
        AddResultListRow();
    }
    Builders.SendResultListAck(ListAckCode(block));
}

void TFrmC101B00::NoticeListStart()
{
    SetStatus(QString::fromUtf8("공지사항 목록조회 중입니다!!"), kStatusBlue);
}

void TFrmC101B00::NoticeListRows()
{
    const TListBlock block = TakeListRows(Telegram);
    if (block.Refused) {
        BrokenAnswer();
        return;
    }
    for (const std::string &row : block.Rows) {
        NoticeRow = row.substr(0, TNoticeListRow::Size);
        AddNoticeListRow();
    }
    Builders.SendNoticeListAck(ListAckCode(block));
}

// ---- window helpers -------------------------------------------------------------------------

void TFrmC101B00::SetStatus(const QString &text, TColor colour)
{
    if (text.isEmpty()) {
        PnlStatus->clear();
        return;
    }
    statusColor_ = colour;
    QPalette p = PnlStatus->palette();
    p.setColor(QPalette::WindowText, QColor((colour >> 16) & 0xFF, (colour >> 8) & 0xFF, colour & 0xFF));
    PnlStatus->setPalette(p);
    PnlStatus->setText(text);
}

void TFrmC101B00::MemoAdd(std::string cp949)
{
    if (!Memo->isHidden()) Memo->appendPlainText(ToQ(cp949));
    log_.push_back(std::move(cp949));
    if (log_.size() > kLogLines) log_.pop_front();
}

void TFrmC101B00::ClearLog()
{
    log_.clear();
    Memo->clear();
}

void TFrmC101B00::ShowLog(bool shown)
{
    if (!shown) {
        Memo->hide();
        Memo->clear();
        return;
    }
    QString text;
    bool first = true;
    for (const std::string &line : log_) {
        if (!first) text += QLatin1Char('\n');
        text += ToQ(line);
        first = false;
    }
    Memo->setPlainText(text);
    Memo->show();
    PnlList->layout()->activate(); // the log's room beside the list, now
    // The newest line from its start: the cursor at the end of a line would
    // scroll the log sideways into the blanks that close its 1,024
    // characters, and it would open looking empty.
    Memo->moveCursor(QTextCursor::End);
    Memo->moveCursor(QTextCursor::StartOfBlock);
    Memo->horizontalScrollBar()->setValue(Memo->horizontalScrollBar()->minimum());
    Memo->verticalScrollBar()->setValue(Memo->verticalScrollBar()->maximum());
}

void TFrmC101B00::ClearDataList() { fm::ClearDataList(*SGrdDataLst); }

void TFrmC101B00::SetResultListTitle() { fm::SetResultListTitle(*SGrdDataLst); }

void TFrmC101B00::AddResultListRow() { fm::AddResultListRow(*SGrdDataLst, ResultRow); }

void TFrmC101B00::SetNoticeListTitle() { fm::SetNoticeListTitle(*SGrdDataLst); }

void TFrmC101B00::AddNoticeListRow() { fm::AddNoticeListRow(*SGrdDataLst, NoticeRow); }

// ---- the list grid and the file lists ------------------------------------------------------

void TFrmC101B00::SGrdDataLstDrawCell(TGridCanvas &canvas, int col, int row, const TRect &rect)
{
    fm::SGrdDataLstDrawCell(*SGrdDataLst, canvas, LbBnk, col, row, rect);
}

void TFrmC101B00::SGrdDataLstDblClick() { fm::SGrdDataLstDblClick(*SGrdDataLst, MarkActions()); }

void TFrmC101B00::SGrdDataLstKeyDown(int key, TShiftState shift)
{
    fm::SGrdDataLstKeyDown(*SGrdDataLst, key, shift, MarkActions());
}

TMarkActions TFrmC101B00::MarkActions()
{
    TMarkActions actions;
    actions.AppDir = AppDir();
    actions.LoadTransferFile = [this](int row, const std::string &folder) { LoadTransferFile(row, folder); };
    actions.EnableDataList = [this] { BBtnDataList->setEnabled(true); };
    return actions;
}

void TFrmC101B00::SetSendFileListTitle() { FFileLists->SetSendFileListTitle(); }

void TFrmC101B00::SetSentFileListTitle() { FFileLists->SetSentFileListTitle(); }

void TFrmC101B00::SetRecvFileListTitle() { FFileLists->SetRecvFileListTitle(); }

void TFrmC101B00::FillFileList(const std::string &folder, const std::string &kind, const std::string &mode)
{
    FFileLists->FillFileList(folder, kind, mode);
}

void TFrmC101B00::LoadTransferFile(int index, const std::string &folder)
{
    FFileLists->LoadTransferFile(index, folder);
}

std::string TFrmC101B00::AppDir() const { return DMLib ? DMLib->AppDir : CurrentFolder(); }

void TFrmC101B00::SetOfflineButtons()
{
    BBtnConn->show();
    BBtnDisConn->hide();
    BBtnLstSech->setEnabled(false);
    BBtnFileSnd->setEnabled(false);
    BBtnFileRecv->setEnabled(false);
    BBtnPswd->setEnabled(false);
    BBtnDataList->setEnabled(false);
}

void TFrmC101B00::SetLoggedInButtons()
{
    BBtnConn->hide();
    BBtnDisConn->show();
    BBtnLstSech->setEnabled(true);
    BBtnFileSnd->setEnabled(false);
    BBtnFileRecv->setEnabled(false);
    BBtnPswd->setEnabled(true);
    BBtnDataList->setEnabled(false);
}

} // namespace fm
