#include "updater/FtpClient.h"

#include "common/guard.h"
#include "updater/VersionFrame.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <curl/curl.h>
#include <fcntl.h>
#include <optional>
#include <strings.h>
#include <unistd.h>

namespace fm::upd {

namespace {

void GlobalInit()
{
    static const bool done = [] {
        curl_global_init(CURL_GLOBAL_DEFAULT);
        return true;
    }();
    (void)done;
}

// Runs an event handler; an error it raises is shown and does not travel
// through libcurl.
template <class F>
void Raise(const F &handler)
{
    Guarded([&] { handler(); });
}

int TransKindOf(const std::string &command)
{
    auto is = [&](const char *verb) {
        const size_t n = std::strlen(verb);
        return command.size() >= n && strncasecmp(command.c_str(), verb, n) == 0;
    };
    if (is("CWD")) return kTransChangeDir;
    if (is("TYPE")) return kTransType;
    if (is("RETR") || is("PORT") || is("EPRT")) return kTransRetrieve;
    return kTransOther;
}

// The file size in a reply to "SIZE": "213 " and decimal digits; nothing
// for any other reply.
std::optional<int64_t> SizeReplyValue(const std::string &reply)
{
    if (reply.size() < 5 || reply.compare(0, 4, "213 ") != 0) return std::nullopt;
    int64_t size = 0;
    size_t i = 4;
    for (; i < reply.size() && std::isdigit((unsigned char)reply[i]); ++i) {
        const int digit = reply[i] - '0';
        if (size > (INT64_MAX - digit) / 10) return std::nullopt;
        size = size * 10 + digit;
    }
    if (i == 4 || reply.find_first_not_of(' ', i) != std::string::npos) return std::nullopt;
    return size;
}

} // namespace

struct TNMFTP::Impl {
    TNMFTP &owner;
    CURLM *multi = nullptr;
    CURL *easy = nullptr;
    bool connected = false;
    char errorText[CURL_ERROR_SIZE] = {};

    // What the protocol exchange shows, collected by the debug callback.
    std::string lastCommand;
    int lastReplyCode = 0;
    bool retrieving = false;    // the current call is a retrieval
    bool retrAccepted = false;  // the server accepted "RETR"

    // The local file of the retrieval.
    std::string localPath;
    int fd = -1;
    int64_t received = 0;
    int64_t announced = 0; // the total the server's reply gave; 0: none
    std::optional<int64_t> sizeAnswer; // the server's answer to "SIZE"
    std::string writeFailure;

    explicit Impl(TNMFTP &o) : owner(o) {}
    ~Impl() { drop(); }

    void closeFile()
    {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }

    // Closes the connection ("QUIT" when it is still usable) and frees the
    // handles.
    void drop()
    {
        closeFile();
        if (multi && easy) curl_multi_remove_handle(multi, easy);
        if (multi) curl_multi_cleanup(multi);
        if (easy) curl_easy_cleanup(easy);
        multi = nullptr;
        easy = nullptr;
        connected = false;
    }

    // Creates the local file on the first block (a program file, startable
    // like any the system installs). Only a new file is written: a file or
    // a link already of that name fails the transfer, so that nothing
    // outside the folder is ever written through it.
    bool openFile()
    {
        if (fd >= 0) return true;
        fd = ::open(localPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0777);
        if (fd < 0) {
            writeFailure = "Cannot create file \"" + localPath + "\". " + std::strerror(errno);
            return false;
        }
        return true;
    }

    static size_t onWrite(char *data, size_t size, size_t count, void *user)
    {
        auto *self = static_cast<Impl *>(user);
        const size_t total = size * count;
        if (!self->openFile()) return 0;
        size_t done = 0;
        while (done < total) {
            const ssize_t n = ::write(self->fd, data + done, total - done);
            if (n < 0) {
                if (errno == EINTR) continue;
                self->writeFailure = "Cannot write file \"" + self->localPath + "\". " + std::strerror(errno);
                return 0;
            }
            done += size_t(n);
        }
        self->received += int64_t(total);
        const int64_t soFar = self->received;
        Raise([&] {
            if (self->owner.OnPacketRecvd) self->owner.OnPacketRecvd(soFar);
        });
        return total;
    }

    // Follows the commands and replies on the control connection.
    static int onDebug(CURL *, curl_infotype type, char *data, size_t size, void *user)
    {
        auto *self = static_cast<Impl *>(user);
        if (type != CURLINFO_HEADER_OUT && type != CURLINFO_HEADER_IN) return 0;
        std::string text(data, size);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
        if (type == CURLINFO_HEADER_OUT) {
            self->lastCommand = text;
            return 0;
        }
        // A reply line: "ddd text" or "ddd-text".
        if (text.size() < 3 || !std::isdigit((unsigned char)text[0]) ||
            !std::isdigit((unsigned char)text[1]) || !std::isdigit((unsigned char)text[2]))
            return 0;
        const int code = (text[0] - '0') * 100 + (text[1] - '0') * 10 + (text[2] - '0');
        self->lastReplyCode = code;
        if (self->retrieving && strncasecmp(self->lastCommand.c_str(), "SIZE ", 5) == 0)
            self->sizeAnswer = SizeReplyValue(text);
        if (self->retrieving && !self->retrAccepted && code >= 100 && code < 200 &&
            TransKindOf(self->lastCommand) == kTransRetrieve &&
            strncasecmp(self->lastCommand.c_str(), "RETR", 4) == 0) {
            self->retrAccepted = true;
            const int64_t total = RetrievalTotal(text);
            self->announced = total;
            Raise([&] {
                if (self->owner.OnTransactionStart) self->owner.OnTransactionStart(total);
            });
        }
        return 0;
    }

    bool setUrl(const std::string &path)
    {
        CURLU *url = curl_url();
        bool ok = curl_url_set(url, CURLUPART_SCHEME, "ftp", 0) == CURLUE_OK &&
                  !owner.Host.empty() &&
                  curl_url_set(url, CURLUPART_HOST, owner.Host.c_str(), 0) == CURLUE_OK &&
                  owner.Port > 0 && owner.Port <= 65535 &&
                  curl_url_set(url, CURLUPART_PORT, std::to_string(owner.Port).c_str(), 0) == CURLUE_OK &&
                  curl_url_set(url, CURLUPART_PATH, path.c_str(), 0) == CURLUE_OK;
        char *full = nullptr;
        if (ok) ok = curl_url_get(url, CURLUPART_URL, &full, 0) == CURLUE_OK;
        if (ok) ok = curl_easy_setopt(easy, CURLOPT_URL, full) == CURLE_OK;
        curl_free(full);
        curl_url_cleanup(url);
        return ok;
    }

    // Runs the transfer set on the handle while the window and socket
    // events go on being handled.
    CURLcode run()
    {
        errorText[0] = 0;
        lastReplyCode = 0;
        if (curl_multi_add_handle(multi, easy) != CURLM_OK) return CURLE_FAILED_INIT;
        CURLcode result = CURLE_OK;
        for (;;) {
            int running = 0;
            if (curl_multi_perform(multi, &running) != CURLM_OK) {
                result = CURLE_FAILED_INIT;
                break;
            }
            bool done = false;
            int queued = 0;
            while (CURLMsg *m = curl_multi_info_read(multi, &queued)) {
                if (m->msg == CURLMSG_DONE && m->easy_handle == easy) {
                    result = m->data.result;
                    done = true;
                }
            }
            if (done) break;
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            curl_multi_poll(multi, nullptr, 0, 10, nullptr);
        }
        curl_multi_remove_handle(multi, easy);
        return result;
    }

    std::string errorMessage(CURLcode code) const
    {
        if (!writeFailure.empty()) return writeFailure;
        if (errorText[0]) return errorText;
        return curl_easy_strerror(code);
    }
};

TNMFTP::TNMFTP() : d_(std::make_unique<Impl>(*this)) { GlobalInit(); }

TNMFTP::~TNMFTP() = default;

bool TNMFTP::Connected() const { return d_->connected; }

void TNMFTP::Disconnect()
{
    if (!d_->multi && !d_->easy) return;
    d_->drop();
}

void TNMFTP::Connect()
{
    d_->drop();
    d_->multi = curl_multi_init();
    d_->easy = curl_easy_init();
    CURL *e = d_->easy;
    const long seconds = long((std::max(TimeOut, 1) + 999) / 1000);
    bool ok = d_->multi && e;
    if (ok) {
        curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "ftp");
        curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(e, CURLOPT_ERRORBUFFER, d_->errorText);
        curl_easy_setopt(e, CURLOPT_VERBOSE, 1L);
        curl_easy_setopt(e, CURLOPT_DEBUGFUNCTION, &Impl::onDebug);
        curl_easy_setopt(e, CURLOPT_DEBUGDATA, d_.get());
        curl_easy_setopt(e, CURLOPT_USERNAME, UserID.c_str());
        curl_easy_setopt(e, CURLOPT_PASSWORD, Password.c_str());
        curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, long(std::max(TimeOut, 1)));
        curl_easy_setopt(e, CURLOPT_SERVER_RESPONSE_TIMEOUT, seconds);
        curl_easy_setopt(e, CURLOPT_ACCEPTTIMEOUT_MS, long(std::max(TimeOut, 1)));
        curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, seconds);
        // Active mode: the client listens and announces its port with PORT.
        curl_easy_setopt(e, CURLOPT_FTPPORT, "-");
        curl_easy_setopt(e, CURLOPT_FTP_USE_EPRT, 0L);
        // A retrieval asks for the file's size ("SIZE") before "RETR".
        curl_easy_setopt(e, CURLOPT_FTP_FILEMETHOD, long(CURLFTPMETHOD_MULTICWD));
        curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &Impl::onWrite);
        curl_easy_setopt(e, CURLOPT_WRITEDATA, d_.get());
        // Log in only: the login folder, no transfer.
        curl_easy_setopt(e, CURLOPT_NOBODY, 1L);
        ok = d_->setUrl("/");
    }
    d_->retrieving = false;
    const CURLcode rc = ok ? d_->run() : CURLE_URL_MALFORMAT;
    if (rc != CURLE_OK) {
        const std::string message = d_->errorMessage(rc);
        d_->drop();
        Raise([&] {
            if (OnConnectionFailed) OnConnectionFailed();
        });
        throw FtpFailure("FTP connection failed: " + message);
    }
    d_->connected = true;
    Raise([&] {
        if (OnConnect) OnConnect();
    });
}

void TNMFTP::Retrieve(const std::string &folder, const std::string &remoteName,
                      const std::string &localPath)
{
    if (!d_->connected) throw FtpFailure("Not connected");
    CURL *e = d_->easy;
    d_->localPath = localPath;
    d_->received = 0;
    d_->announced = 0;
    d_->sizeAnswer.reset();
    d_->writeFailure.clear();
    d_->retrieving = true;
    d_->retrAccepted = false;
    d_->lastCommand.clear();
    curl_easy_setopt(e, CURLOPT_NOBODY, 0L);
    curl_easy_setopt(e, CURLOPT_TRANSFERTEXT, 0L); // TYPE I
    // The folder and the name are path segments of their own.
    char *f = curl_easy_escape(e, folder.c_str(), int(folder.size()));
    char *n = curl_easy_escape(e, remoteName.c_str(), int(remoteName.size()));
    const std::string path = std::string("/") + (f ? f : "") + "/" + (n ? n : "");
    curl_free(f);
    curl_free(n);

    CURLcode rc = d_->setUrl(path) ? d_->run() : CURLE_URL_MALFORMAT;
    d_->retrieving = false;
    if (rc == CURLE_OK && !d_->openFile()) rc = CURLE_WRITE_ERROR; // an empty file
    // On disk before the caller renames it into place: a crash after that
    // must not leave a program file of zeros.
    if (rc == CURLE_OK && ::fsync(d_->fd) != 0) {
        d_->writeFailure = "Cannot write file \"" + d_->localPath + "\". " + std::strerror(errno);
        rc = CURLE_WRITE_ERROR;
    }
    d_->closeFile();
    // A transfer that ended with another byte count than the file's size
    // was cut off, however cleanly the server ended it. The size is the
    // server's answer to "SIZE", else the total in its reply to "RETR";
    // without either, the server's end of the transfer is all there is.
    std::optional<int64_t> size = d_->sizeAnswer;
    if (!size && d_->announced > 0) size = d_->announced;
    if ((rc == CURLE_OK || rc == CURLE_PARTIAL_FILE) && size && d_->received != *size) {
        std::snprintf(d_->errorText, sizeof d_->errorText, "Received %lld of the %lld bytes announced",
                      (long long)d_->received, (long long)*size);
        rc = CURLE_PARTIAL_FILE;
    }

    if (rc == CURLE_OK) {
        Raise([&] {
            if (OnSuccess) OnSuccess(kTransRetrieve);
        });
        return;
    }
    const int reply = d_->lastReplyCode;
    const int kind = TransKindOf(d_->lastCommand);
    const std::string message = d_->errorMessage(rc);
    if (d_->writeFailure.empty() && reply >= 400 && reply <= 599) {
        Raise([&] {
            if (OnFailure) OnFailure(kind);
        });
        Disconnect();
        throw FtpFailure("FTP command refused: " + message);
    }
    Raise([&] {
        if (OnError) OnError(int(rc), message);
    });
    Disconnect();
    throw FtpFailure(message);
}

} // namespace fm::upd
