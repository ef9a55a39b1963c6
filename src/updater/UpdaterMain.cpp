#include "updater/UpdaterMain.h"

#include "common/codec.h"
#include "common/guard.h"
#include "common/modal.h"
#include "common/msgbox.h"
#include "common/regnames.h"
#include "common/text.h"
#include "common/widgets.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/versioninfo.h"
#include "updater/E101B00.h"
#include "updater/Gauge.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace fm::upd {

namespace {

TFrmVersion::PageOpener g_pageOpener;

QPushButton *button(QWidget *parent, const char *name, const char *caption, const QRect &geometry)
{
    QPushButton *b = MakeButton(parent, name, caption, false);
    b->setGeometry(geometry);
    return b;
}

void setTextColour(QWidget *w, const QColor &colour)
{
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, colour);
    w->setPalette(p);
}

// Writes a key's defaults, in the order given, when the key cannot be
// opened; an existing key is left as it is, even with values missing.
void WriteDefaults(const std::string &key, std::initializer_list<std::pair<const char *, const char *>> values)
{
    TRegistry reg;
    TKeyCloser closer{reg};
    if (reg.OpenKey(key, false)) return;
    reg.OpenKey(key, true); // a failure shows up in the first write
    for (const auto &[name, value] : values) reg.WriteString(name, value);
}

} // namespace

QString SocketErrorText(TErrorEvent kind)
{
    switch (kind) {
    case TErrorEvent::eeGeneral:
        return QStringLiteral("The socket received an error message that does not fit into any of the "
                              "following categories.");
    case TErrorEvent::eeSend: return U("송신오류");
    case TErrorEvent::eeReceive: return U("수신오류");
    case TErrorEvent::eeConnect: return U("접속오류");
    case TErrorEvent::eeDisconnect: return U("접속해제오류");
    case TErrorEvent::eeAccept:
        return QStringLiteral("A problem occurred when trying to accept a client connection request.");
    }
    return {};
}

void TFrmVersion::SetPageOpener(PageOpener opener) { g_pageOpener = std::move(opener); }

TFrmVersion::TFrmVersion(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setObjectName("FrmVersion");
    // Closing the window frees it.
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(U("버젼 업데이트 Ver1.0"));
    // A dialog frame of fixed size; the close box is its only button.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(380, 157);
    QFont f(U("굴림"));
    f.setPixelSize(12);
    setFont(f);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(240, 250, 255));
    setPalette(pal);
    setAutoFillBackground(true);

    GaugeBar = new TGauge(this);
    GaugeBar->setObjectName("GaugeBar");
    GaugeBar->setGeometry(7, 16, 365, 25);

    CSock = new TClientSocket(this);
    CSock->setObjectName("CSock");
    answerWait_ = new QTimer(this);
    answerWait_->setSingleShot(true);
    connect(answerWait_, &QTimer::timeout, this, [this] { handleAnswerGuarded([this] { AnswerWaitOver(); }); });

    BitBtn1 = button(this, "BitBtn1", "연결", QRect(215, 123, 75, 25));
    BitBtn2 = button(this, "BitBtn2", "닫기", QRect(294, 123, 75, 25));
    BitBtn3 = button(this, "BitBtn3", "설정", QRect(136, 123, 75, 25));

    Label1 = new QLabel(this);
    Label1->setObjectName("Label1");
    Label1->move(9, 53);
    Label1->resize(365, 14);
    setTextColour(Label1, QColor(0, 0, 128)); // navy

    Button1 = button(this, "Button1", "수동 다운로드", QRect(7, 124, 89, 25));

    Label2 = new QLabel(this);
    Label2->setObjectName("Label2");
    Label2->setGeometry(7, 76, 372, 42);
    Label2->setText(U("연결버튼을 누른 후  2~3분 동안 아무런 반응이 없으면 수동다운로드 \n"
                      "\n"
                      "버튼을 누른후 Norvane 홈페이지에서 프로그램을 직접 다운받으십시요"));
    Label2->setWordWrap(false);
    Label2->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // In the mapped font at the window's 12 pixels the two long lines need
    // 391 pixels of the label's 372 (the blanks and Latin letters are wider
    // than the original face's): the hint is one pixel smaller, 359 wide.
    QFont hint = f;
    hint.setPixelSize(11);
    Label2->setFont(hint);
    setTextColour(Label2, QColor(128, 0, 128)); // purple

    setTabOrder(BitBtn1, BitBtn2);
    setTabOrder(BitBtn2, BitBtn3);
    setTabOrder(BitBtn3, Button1);
    BitBtn1->setFocus();

    Bind(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
    Bind(BitBtn2, &QPushButton::clicked, this, [this] { BitBtn2Click(); });
    Bind(BitBtn3, &QPushButton::clicked, this, [this] { BitBtn3Click(); });
    Bind(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });

    // The socket runs its handlers inside the guard.
    CSock->OnConnect = [this] { CSockConnect(); };
    CSock->OnRead = [this] { sockRead(); };
    CSock->OnDisconnect = [this] { sockDisconnect(); };
    CSock->OnError = [this](TErrorEvent kind, int &code) { CSockError(kind, code); };

    NMFTP.OnConnect = [this] { NMFTPConnect(); };
    NMFTP.OnConnectionFailed = [this] { NMFTPConnectionFailed(); };
    NMFTP.OnTransactionStart = [this](int64_t total) { NMFTPTransactionStart(total); };
    NMFTP.OnPacketRecvd = [this](int64_t received) { NMFTPPacketRecvd(received); };
    NMFTP.OnSuccess = [this](int transType) { NMFTPSuccess(transType); };
    NMFTP.OnError = [this](int code, const std::string &message) { NMFTPError(code, message); };
    NMFTP.OnFailure = [this](int transType) { NMFTPFailure(transType); };

    Guarded([this] { FormCreate(); });
}

TFrmVersion::~TFrmVersion() = default;

void TFrmVersion::FormCreate()
{
    Label1->clear();
    AppDir = CurrentFolder();
    DllVer = GetFileVersionString(AppDir + "\\" + kLibraryFile, "FileVersion");
    ExeVer = GetFileVersionString(AppDir + "\\" + kClientFile, "FileVersion");
    VerStr = MakeVerStr(DllVer, ExeVer);

    WriteDefaults(reg::CommunicationKey(), {{reg::kPortNo, kDefaultCommPort},
                                            {reg::kAddress, kDefaultCommAddress},
                                            {reg::kLoginNm, kDefaultCommLogin},
                                            {reg::kPasswd, kDefaultCommPasswd}});
    WriteDefaults(reg::FtpKey(), {{reg::kPortNo, kDefaultFtpPort},
                                  {reg::kAddress, kDefaultFtpAddress},
                                  {reg::kLoginNm, kDefaultFtpLogin},
                                  {reg::kPasswd, kDefaultFtpPasswd}});
}

std::string TFrmVersion::GetFileVersionString(const std::string &fileName, const std::string &key)
{
    return fm::GetFileVersionString(NativePath(fileName), key);
}

void TFrmVersion::BitBtn1Click()
{
    BitBtn1->setEnabled(false); // once per run
    TRegistry reg;
    TKeyCloser closer{reg};
    reg.OpenKey(reg::CommunicationKey(), false); // a missing key reads as empty texts
    // A dotted address or a host name: given as the host, so that a name is
    // looked up (the socket's Address takes dotted addresses only); an
    // address is used as it stands, with no look-up.
    CSock->Host = reg.ReadString(reg::kAddress);
    CSock->Port = StrToInt(reg.ReadString(reg::kPortNo));
    if (!CSock->Active()) CSock->Open();
}

void TFrmVersion::CSockConnect()
{
    CSock->SendText(MakeVersionRequest(VerStr));
}

// The answer is handled once what has arrived decides it, or when the wait
// for more bytes is over, or when the connection ends with bytes not yet
// handled. While it is handled (the downloads keep events flowing), further
// reads are not taken and an end of the connection is held back until the
// handling has finished, so that the client is never started while its file
// is being replaced.
void TFrmVersion::sockRead()
{
    handleAnswerGuarded([this] { CSockRead(); });
}

void TFrmVersion::handleAnswerGuarded(const std::function<void()> &handler)
{
    if (reading_) return;
    reading_ = true;
    Guarded(handler);
    reading_ = false;
    if (heldDisconnect_) {
        heldDisconnect_ = false;
        Guarded([this] { CSockDisconnect(); });
    }
    if (freeAfterRead_) deleteLater();
}

void TFrmVersion::sockDisconnect()
{
    if (reading_) {
        heldDisconnect_ = true;
        return;
    }
    if (reader_.waiting()) {
        // The host closed on an answer still waiting for bytes: it is
        // handled first, then the end of the connection.
        heldDisconnect_ = true;
        handleAnswerGuarded([this] { AnswerWaitOver(); });
        return;
    }
    CSockDisconnect();
}

void TFrmVersion::CSockRead()
{
    const std::string data = CSock->ReceiveAll();
    // A length that is not a number ends the handler here; the answer is
    // then not read any further.
    const std::optional<VersionAnswer> answer = reader_.feed(data);
    if (!answer) {
        if (reader_.waiting() && !answerWait_->isActive()) answerWait_->start(kAnswerWaitMs);
        return;
    }
    answerWait_->stop();
    HandleAnswer(*answer);
}

void TFrmVersion::AnswerWaitOver()
{
    answerWait_->stop();
    // Read as the host's answer; a length that is not a number stops here.
    if (const std::optional<VersionAnswer> answer = reader_.flush()) HandleAnswer(*answer);
}

void TFrmVersion::HandleAnswer(const VersionAnswer &answer)
{
    switch (answer.kind) {
    case AnswerKind::NotVersion:
        MessageBox(U("버전체크 전문 오류입니다!! "), U("오류"), MsgIcon::Error);
        break;
    case AnswerKind::Ok:
        break;
    case AnswerKind::FileNo:
        MessageBox(U("파일이 없습니다.!!"), U("오류"), MsgIcon::Error);
        break;
    case AnswerKind::Diff:
        HostDllVer = answer.hostDllVer;
        HostExeVer = answer.hostExeVer;
        if (DllVer != HostDllVer) {
            UpdateFileName = kLibraryFile;
            DownloadFile();
        }
        if (ExeVer != HostExeVer) {
            UpdateFileName = kClientFile;
            DownloadFile();
        }
        SaveVersion(VerStr);
        break;
    case AnswerKind::Other:
        break;
    }
    CSock->Close();
}

void TFrmVersion::CSockDisconnect()
{
    // "닫기" or the close box already ended the program: no launch.
    if (closedByUser_ || launched_) return;
    closingForLaunch_ = true;
    close();
    launchClient();
}

void TFrmVersion::launchClient()
{
    launched_ = true;
    // No command line to parse: the path goes to the system as one
    // argument, blanks and all. The client gets the same working folder.
    const QString program = QFile::decodeName(QByteArray::fromStdString(NativePath(AppDir + "\\" + kClientFile)));
    const QString folder = QFile::decodeName(QByteArray::fromStdString(NativePath(AppDir)));
    QProcess::startDetached(program, {}, folder);
}

void TFrmVersion::CSockError(TErrorEvent kind, int &errorCode)
{
    // The code stays set: the socket layer reports the error as well.
    MessageBox(SocketErrorText(kind), QStringLiteral("Error"), MsgIcon::Error);
}

void TFrmVersion::BitBtn2Click() { close(); }

void TFrmVersion::BitBtn3Click()
{
    TFrmE101B00 dialog(this);
    ShowModal(dialog);
}

void TFrmVersion::Button1Click()
{
    const QUrl url(QString::fromLatin1(kManualDownloadUrl));
    if (g_pageOpener)
        g_pageOpener(url);
    else
        QDesktopServices::openUrl(url);
}

void TFrmVersion::SaveVersion(const std::string &text)
{
    TRegistry reg;
    TKeyCloser closer{reg};
    if (!reg.OpenKey(reg::ProductKey(), false)) reg.OpenKey(reg::ProductKey(), true);
    reg.WriteString(reg::kVersion, text);
}

void TFrmVersion::DownloadFile()
{
    NMFTP.Disconnect();
    {
        TRegistry reg;
        TKeyCloser closer{reg};
        reg.OpenKey(reg::FtpKey(), false); // a missing key reads as empty texts
        NMFTP.Host = reg.ReadString(reg::kAddress);
        NMFTP.Port = StrToInt(reg.ReadString(reg::kPortNo));
        NMFTP.TimeOut = 20000;
        NMFTP.UserID = reg.ReadString(reg::kLoginNm);
        NMFTP.Password = reg.ReadString(reg::kPasswd);
    }
    try {
        NMFTP.Connect();
        FetchFile();
    } catch (const std::exception &) {
        MessageBox(U("자동 업데이트 연결을 실패했습니다!!"), U("업데이트실패"), MsgIcon::Error);
    }
}

std::string DownloadTempName(const std::string &fileName) { return fileName + kDownloadSuffix; }

void TFrmVersion::FetchFile()
{
    // The file arrives under a name of its own in the same folder and takes
    // the place of the old one only once it is complete: a failed download
    // leaves the old file as it was. A local file that could not be
    // replaced is reported before anything is fetched.
    const std::string target = NativePath(AppDir + "\\" + UpdateFileName);
    const std::string temp = NativePath(AppDir + "\\" + DownloadTempName(UpdateFileName));
    struct stat st{};
    const bool exists = ::lstat(target.c_str(), &st) == 0;
    if ((exists && S_ISDIR(st.st_mode)) || ::access(NativePath(AppDir).c_str(), W_OK | X_OK) != 0) {
        MessageBox(U("파일삭제 에러"), U("delete Error"), MsgIcon::Error);
        NMFTP.Disconnect();
        return;
    }
    Label1->setText(U("파일 업데이트 중..."));
    // A leftover of an earlier run (or anything else of that name, a link
    // included) goes first; the download then creates the name anew and
    // fails rather than write into something that appeared there since.
    ::unlink(temp.c_str());
    try {
        NMFTP.Retrieve(kUpdateFolder, UpdateFileName, temp);
    } catch (...) {
        ::unlink(temp.c_str());
        throw;
    }
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        ::unlink(temp.c_str());
        MessageBox(U("파일삭제 에러"), U("delete Error"), MsgIcon::Error);
    }
}

void TFrmVersion::NMFTPConnect() { Label1->setText(U("Norvane 연결중...")); }

void TFrmVersion::NMFTPConnectionFailed()
{
    MessageBox(U("FTP 연결이 실패하였습니다!!"), U("연결실패"), MsgIcon::Error);
}

void TFrmVersion::NMFTPTransactionStart(int64_t total) { GaugeBar->SetMaxValue(total); }

void TFrmVersion::NMFTPPacketRecvd(int64_t received) { GaugeBar->SetProgress(received); }

void TFrmVersion::NMFTPSuccess(int transType)
{
    // A finished download ends its connection at once.
    if (transType == kTransRetrieve) NMFTP.Disconnect();
}

void TFrmVersion::NMFTPError(int errorCode, const std::string &message)
{
    MessageBox(QString::fromStdString(message), QStringLiteral("FTP Error"), MsgIcon::Error);
    NMFTP.Disconnect();
}

void TFrmVersion::NMFTPFailure(int transType)
{
    MessageBox(U("업데이트중 오류 발생!!"), QStringLiteral("FTP Error"), MsgIcon::Error);
    NMFTP.Disconnect();
}

void TFrmVersion::closeEvent(QCloseEvent *event)
{
    if (!closingForLaunch_) closedByUser_ = true;
    // Closing frees the window, but not while CSockRead is still running
    // in it: the downloads handle events, which would free it under it.
    if (reading_ && testAttribute(Qt::WA_DeleteOnClose)) {
        setAttribute(Qt::WA_DeleteOnClose, false);
        freeAfterRead_ = true;
    }
    event->accept();
}

void TFrmVersion::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (QScreen *s = screen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(s->availableGeometry().center());
        move(frame.topLeft());
    }
}

} // namespace fm::upd
