#pragma once
// Quenbrook's one window, the version window: reads the versions of the
// conversion library and of the client in the working folder, makes sure
// the registry holds the service-host and update-server settings, reports
// the versions to the service host on "연결", has each file whose version
// differs fetched over FTP, records the version, and, once the connection
// has closed, closes and starts the client from the working folder.
#include "platform/ClientSocket.h"
#include "updater/FtpClient.h"
#include "updater/VersionFrame.h"

#include <QPointer>
#include <QUrl>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class QLabel;
class QPushButton;
class QTimer;

namespace fm::upd {

class TGauge;

// The defaults written when a key is missing: loopback addresses, so that a
// fresh installation reaches nothing outside this machine until it is
// configured. The service host's differs from the one the client's own
// settings dialog writes; the update server is a host of its own.
inline constexpr const char *kDefaultCommAddress = "127.0.0.2";
inline constexpr const char *kDefaultCommPort = "29994";
inline constexpr const char *kDefaultCommLogin = "tavrin";
inline constexpr const char *kDefaultCommPasswd = "wexlo5836";
inline constexpr const char *kDefaultFtpAddress = "127.0.0.3";
inline constexpr const char *kDefaultFtpPort = "21";
inline constexpr const char *kDefaultFtpLogin = "vrguest";
inline constexpr const char *kDefaultFtpPasswd = "dorvimpa";

// The maker's manual-download page.
inline constexpr const char *kManualDownloadUrl =
    "http://www.norvane.example/customer/v_faq_list.jsp?faq_code=6";

// The server folder that holds the update files.
inline constexpr const char *kUpdateFolder = "pellquay";

// A file being downloaded is written as its name + this suffix in the same
// folder, and renamed to its name once it has arrived complete.
inline constexpr const char *kDownloadSuffix = ".download";
std::string DownloadTempName(const std::string &fileName);

class TFrmVersion : public QWidget {
public:
    explicit TFrmVersion(QWidget *parent = nullptr);
    ~TFrmVersion() override;

    TGauge *GaugeBar = nullptr;
    TNMFTP NMFTP;
    TClientSocket *CSock = nullptr;
    QPushButton *BitBtn1 = nullptr;
    QPushButton *BitBtn2 = nullptr;
    QPushButton *BitBtn3 = nullptr;
    QLabel *Label1 = nullptr;
    QPushButton *Button1 = nullptr;
    QLabel *Label2 = nullptr;

    // Program state.
    std::string AppDir;
    std::string DllVer;
    std::string ExeVer;
    std::string HostDllVer;
    std::string HostExeVer;
    std::string VerStr;
    std::string UpdateFileName;

    void FormCreate();
    void BitBtn1Click();
    void BitBtn2Click();
    void BitBtn3Click();
    void Button1Click();
    void CSockConnect();
    void CSockRead();
    void CSockDisconnect();
    void CSockError(TErrorEvent kind, int &errorCode);

    void NMFTPConnect();
    void NMFTPConnectionFailed();
    void NMFTPTransactionStart(int64_t total);
    void NMFTPPacketRecvd(int64_t received);
    void NMFTPSuccess(int transType);
    void NMFTPError(int errorCode, const std::string &message);
    void NMFTPFailure(int transType);

    std::string GetFileVersionString(const std::string &fileName, const std::string &key);
    void SaveVersion(const std::string &text);
    void DownloadFile();
    void FetchFile();

    // The client was started (the launch was attempted).
    bool Launched() const { return launched_; }

    // How long an answer that could still grow waits for more bytes before
    // what has arrived is handled (single shot, from the read that left it
    // undecided).
    static constexpr int kAnswerWaitMs = 3000;

    // Opens a web page in the default browser; tests replace it.
    using PageOpener = std::function<void(const QUrl &)>;
    static void SetPageOpener(PageOpener opener); // nullptr: the desktop's browser

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void sockRead();
    void sockDisconnect();
    // Runs a handler that reads and handles the answer: one at a time, with
    // an end of the connection held back until it has finished.
    void handleAnswerGuarded(const std::function<void()> &handler);
    // The answer read from what has arrived, after the wait or at the end
    // of the connection.
    void AnswerWaitOver();
    void HandleAnswer(const VersionAnswer &answer);
    void launchClient();

    AnswerReader reader_;
    QTimer *answerWait_ = nullptr;
    bool reading_ = false;        // CSockRead is running
    bool heldDisconnect_ = false; // the connection ended while it ran
    bool closingForLaunch_ = false;
    bool closedByUser_ = false;
    bool freeAfterRead_ = false;  // closed while CSockRead ran
    bool launched_ = false;
};

// The error-box text for a kind of socket error.
QString SocketErrorText(TErrorEvent kind);

} // namespace fm::upd
