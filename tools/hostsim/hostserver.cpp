#include "hostserver.h"

#include "common/regularfile.h"

#include <QDateTime>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include <sys/file.h>
#include <sys/socket.h>
#include <unistd.h>

namespace hostsim {

using namespace wire;

namespace {

// How long a frame held back to be coalesced waits for its partner.
constexpr int kCoalesceWaitMs = 500;
// Offset of the ciphertext byte that TamperFrame flips.
constexpr size_t kTamperAt = kFrameHeaderSize + 100;

std::string Stamp()
{
    return QDateTime::currentDateTime().toString("yyyyMMddhhmmss").toStdString();
}

// The highest stamp a key state file may hold: one above it is still a
// stamp (the next run's start).
constexpr int64_t kMaxKeyState = INT64_MAX - 1;

// How a host that cannot keep its key state where it is told is told
// another place.
constexpr const char *kAnotherPlace =
    "; give the host another file with --state FILE (or a state folder with XDG_STATE_HOME)";

// The key state file, named `name`, opened and locked for the host's life
// (see HostServer::setKeyStateFile), with the stamp it holds in `highest`
// (-1 when it holds none: no earlier run). Nothing, with `error`, when it
// cannot be kept.
std::unique_ptr<fm::RegularFile> OpenKeyState(const std::string &name, int64_t &highest, std::string &error)
{
    highest = -1;
    if (name.empty()) {
        error = "the key state file has an empty name; give the host a file with --state FILE";
        return nullptr;
    }
    std::error_code ec;
    const std::filesystem::path folder = std::filesystem::path(name).parent_path();
    if (!folder.empty() && !std::filesystem::is_directory(folder, ec)) {
        std::filesystem::create_directories(folder, ec);
        if (ec) {
            error = "cannot make the folder " + folder.string() + " of the key state file " + name + ": " +
                    ec.message() + kAnotherPlace;
            return nullptr;
        }
    }
    auto file = std::make_unique<fm::RegularFile>(name, O_RDWR | O_CREAT, 0644);
    if (!file->isOpen()) {
        error = "cannot open the key state file " + name + ": " + file->why() + kAnotherPlace;
        return nullptr;
    }
    // One host a file: two that each wrote their own highest stamp would
    // let the last write put it back.
    if (::flock(file->fd(), LOCK_EX | LOCK_NB) != 0) {
        error = errno == EWOULDBLOCK
                    ? "another host is running on the key state file " + name +
                          "; a host key serves one host at a time: stop the other one first"
                    : "cannot lock the key state file " + name + ": " + std::strerror(errno);
        return nullptr;
    }
    std::string text;
    if (!file->readAll(text, 64)) {
        error = "cannot read the key state file " + name + ": " + file->why();
        return nullptr;
    }
    const QByteArray digits = QByteArray::fromStdString(text).trimmed();
    // Just made, or left empty by a host that ended before its first write:
    // no earlier run took a block (a host writes the file before it takes
    // any).
    if (digits.isEmpty()) return file;
    bool number = digits.size() <= 19;
    for (char c : digits) number = number && c >= '0' && c <= '9';
    const qulonglong value = number ? digits.toULongLong(&number) : 0;
    if (!number || value > qulonglong(kMaxKeyState)) {
        error = "the key state file " + name + " holds no stamp from 0 to " + std::to_string(kMaxKeyState) +
                ": '" + digits.left(40).toStdString() + "'";
        return nullptr;
    }
    highest = int64_t(value);
    return file;
}

// Writes `value` over the open key state file. The value only grows, and
// from the first write on it is a stamp of the clock's thirteen digits, so
// a write cut short can leave no lower number behind.
bool WriteKeyState(int fd, int64_t value, std::string &why)
{
    const std::string text = std::to_string(value) + "\n";
    const ssize_t n = ::pwrite(fd, text.data(), text.size(), 0);
    if (n >= 0 && size_t(n) != text.size()) {
        // Not cut to the short write's length: that would leave a lower
        // number.
        why = "only " + std::to_string(n) + " of " + std::to_string(text.size()) + " bytes written";
        return false;
    }
    if (n < 0 || ::ftruncate(fd, off_t(n)) != 0 || ::fdatasync(fd) != 0) {
        why = std::strerror(errno);
        return false;
    }
    return true;
}

} // namespace

QString DefaultKeyStateFile(const HostKey &key)
{
    const QByteArray xdg = qgetenv("XDG_STATE_HOME"), home = qgetenv("HOME");
    if (!xdg.startsWith('/') && !home.startsWith('/')) return {};
    const QString base = xdg.startsWith('/') ? QString::fromLocal8Bit(xdg) : QString::fromLocal8Bit(home) + "/.local/state";
    const auto id = key.keyId();
    const QByteArray hex = QByteArray(reinterpret_cast<const char *>(id.data()), qsizetype(id.size())).toHex();
    return base + "/fennimarch/hostsim/" + QString::fromLatin1(hex) + ".state";
}

std::string AnswerCode(const std::string &requestCode)
{
    static const std::map<std::string, std::string> answers = {
        {"0800100", "0810100"}, {"0800900", "0810900"}, {"0300100", "0310100"},
        {"0600100", "0610100"}, {"0620100", "0630100"}, {"0400100", "0410100"},
        {"0420100", "0430100"}, {"0700100", "0720100"}, {"0710100", "0730100"},
        {"0500100", "0520100"}, {"0510100", "0530100"}, {"0800800", "0810800"},
    };
    auto it = answers.find(requestCode);
    return it == answers.end() ? requestCode : it->second;
}

// ---- HostConnection ----------------------------------------------------------

HostConnection::HostConnection(HostServer &server, QTcpSocket *socket, int id)
    : QObject(&server), server_(server), socket_(socket), id_(id), crypto_(server.hostKey()),
      pumpTimer_(new QTimer(this)), holdTimer_(new QTimer(this))
{
    socket->setParent(this);
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    clock_.start();
    pumpTimer_->setSingleShot(true);
    holdTimer_->setSingleShot(true);
    connect(pumpTimer_, &QTimer::timeout, this, &HostConnection::pump);
    connect(holdTimer_, &QTimer::timeout, this, &HostConnection::flushHeld);
    connect(socket, &QTcpSocket::readyRead, this, &HostConnection::onReadyRead);
    connect(socket, &QTcpSocket::disconnected, this, &HostConnection::onDisconnected);
}

HostConnection::~HostConnection()
{
    if (socket_)
        socket_->disconnect(this);
}

bool HostConnection::open() const
{
    return socket_ && socket_->state() == QAbstractSocket::ConnectedState && !closing_;
}

void HostConnection::onReadyRead()
{
    if (!socket_)
        return;
    QByteArray bytes = socket_->readAll();
    if (closing_)
        return;
    reader_.feed(std::string_view(bytes.constData(), size_t(bytes.size())));
    while (!closing_) {
        auto frame = reader_.next();
        if (!frame)
            break;
        server_.frames_.push_back(frame->raw);
        handleFrame(*frame);
    }
    if (reader_.broken() && !closing_) {
        server_.reportError(*this, "frame header without a five-digit length");
        closeNow();
    }
}

void HostConnection::onDisconnected()
{
    closing_ = true;
    pumpTimer_->stop();
    holdTimer_->stop();
    server_.connectionClosed(this);
}

void HostConnection::handleFrame(const Frame &frame)
{
    if (frame.letter == 'S')
        handleKey(frame.payload);
    else if (frame.letter == 'D')
        handleTelegram(frame.payload);
    else if (auto it = server_.frameHandlers_.find(frame.letter); it != server_.frameHandlers_.end())
        it->second(*this, frame.payload);
    else
        server_.reportError(*this, std::string("frame of unknown kind '") + frame.letter + "'");
}

void HostConnection::resetSession()
{
    crypto_.reset();
    loggedIn = false;
    wrongPasswords = 0;
    pendingBlocks.clear();
    pendingAck.clear();
}

void HostConnection::handleKey(const std::string &payload)
{
    server_.keyBlocks_.push_back(payload);
    emit server_.keyBlockReceived(id_, QByteArray(payload.data(), qsizetype(payload.size())));
    resetSession();
    // A client sends one key frame a connection. More would let one
    // connection fill the replay cache with blocks of its own making.
    if (++keyFrames_ > 1) {
        server_.reportError(*this, "a second key frame on one connection");
        enqueue(MakeFrame('S', "ERR"), 0, /*closeAfter=*/true);
        return;
    }
    bool refuse = server_.takeFault(HostServer::Fault::RefuseKey) || server_.scenario_.refuseKeys;
    bool ok = false;
    std::string stateError;
    if (payload.size() != kKeyBlockSize) {
        server_.reportError(*this, "key frame of " + std::to_string(payload.size()) + " bytes");
    } else if (refuse) {
        // answered "ERR" below
    } else if (!server_.openKeyState(&stateError)) {
        // Without the highest stamp of the earlier runs no block is fresh
        // for certain.
        server_.reportError(*this, stateError);
    } else {
        ok = crypto_.acceptKeyBlock(reinterpret_cast<const uint8_t *>(payload.data()), server_.keyGuard_);
        // An authentic block that is not fresh: a replay or a client clock
        // far off. Nothing of this connection is dispatched until a fresh
        // block comes.
        if (!ok && crypto_.verdict() != KeyVerdict::Malformed)
            server_.reportError(*this, KeyVerdictText(crypto_.verdict()));
        if (ok && !server_.recordKeyState(stateError)) {
            server_.reportError(*this, stateError);
            emit server_.keyStateWriteFailed(QString::fromStdString(stateError));
            ok = false;
        }
    }
    if (!ok)
        crypto_.reset();
    queueFrame(MakeFrame('S', ok ? "OK" : "ERR"), false);
}

void HostConnection::handleTelegram(const std::string &payload)
{
    if (payload.size() != kSealedSize) {
        server_.reportError(*this, "data frame of " + std::to_string(payload.size()) + " bytes");
        return;
    }
    if (!crypto_.established()) {
        server_.reportError(*this, "data frame without an accepted key");
        return;
    }
    std::string plain(kTelegramSize, '\0');
    if (!crypto_.decrypt(reinterpret_cast<const uint8_t *>(payload.data()),
                         reinterpret_cast<uint8_t *>(plain.data()))) {
        // The client's send counter has moved past the one expected here, so
        // no later frame of this connection would open either.
        server_.reportError(*this, "data frame does not open with the session key");
        closeNow();
        return;
    }
    server_.telegrams_.push_back(plain);
    emit server_.telegramReceived(id_, QByteArray(plain.data(), qsizetype(plain.size())));
    if (server_.takeFault(HostServer::Fault::CloseOnTelegram)) {
        closeNow();
        return;
    }
    server_.dispatch(*this, plain);
}

std::string HostConnection::answerFor(const std::string &request, std::string_view code) const
{
    std::string t = BlankRecord();
    Put(t, kJobKind, Get(request, kJobKind));
    Put(t, kMsgCode, code);
    Put(t, kCompCd, Get(request, kCompCd));
    Put(t, kSubCode, Get(request, kSubCode));
    Put(t, kStamp, Stamp());
    Put(t, kRecCount, "00");
    Put(t, kBlockSeq, "0000001");
    Put(t, kRespCode, "00");
    Put(t, kDirFlag, Get(request, kDirFlag));
    return t;
}

bool HostConnection::sendTelegram(const std::string &telegram)
{
    if (!crypto_.established() || closing_)
        return false;
    std::string plain = telegram.substr(0, kTelegramSize);
    plain.resize(kTelegramSize, ' ');
    std::string sealed(kSealedSize, '\0');
    if (!crypto_.encrypt(reinterpret_cast<const uint8_t *>(plain.data()),
                         reinterpret_cast<uint8_t *>(sealed.data())))
        return false;
    server_.sent_.push_back(plain);
    queueFrame(MakeFrame('D', sealed), true);
    return true;
}

void HostConnection::sendError(const std::string &request, std::string_view resp)
{
    std::string t = answerFor(request, AnswerCode(Get(request, kMsgCode)));
    Put(t, kRespCode, resp);
    sendTelegram(t);
}

void HostConnection::sendRaw(const std::string &bytes)
{
    if (!closing_)
        queueFrame(bytes, false);
}

void HostConnection::queueFrame(std::string frame, bool telegram)
{
    if (telegram && frame.size() > kTamperAt && server_.takeFault(HostServer::Fault::TamperFrame))
        frame[kTamperAt] = char(frame[kTamperAt] ^ 0x01);
    bool closeAfter = server_.takeFault(HostServer::Fault::CloseAfterFrame);
    if (!held_.empty()) {
        frame = held_ + frame;
        closeAfter = closeAfter || heldCloseAfter_;
        held_.clear();
        holdTimer_->stop();
    } else if (server_.takeFault(HostServer::Fault::CoalesceFrames)) {
        held_ = frame;
        heldCloseAfter_ = closeAfter;
        holdTimer_->start(kCoalesceWaitMs);
        return;
    }
    if (frame.size() > 1 && server_.takeFault(HostServer::Fault::SplitFrame)) {
        size_t at = server_.splitAt_ > 0 ? std::min(size_t(server_.splitAt_), frame.size() - 1)
                                         : frame.size() / 2;
        enqueue(frame.substr(0, at), 0, false);
        enqueue(frame.substr(at), server_.splitPauseMs_, closeAfter);
    } else {
        enqueue(std::move(frame), 0, closeAfter);
    }
}

void HostConnection::flushHeld()
{
    if (held_.empty())
        return;
    std::string frame;
    frame.swap(held_);
    enqueue(std::move(frame), 0, heldCloseAfter_);
}

void HostConnection::enqueue(std::string bytes, qint64 extraDelay, bool closeAfter)
{
    qint64 due = std::max(clock_.elapsed() + server_.answerDelayMs_, lastDue_) + extraDelay;
    lastDue_ = due;
    outbox_.push_back({std::move(bytes), due, closeAfter});
    pump();
}

void HostConnection::pump()
{
    if (!socket_ || closing_)
        return;
    qint64 now = clock_.elapsed();
    while (!outbox_.empty() && outbox_.front().due <= now) {
        Write w = std::move(outbox_.front());
        outbox_.pop_front();
        socket_->write(w.bytes.data(), qint64(w.bytes.size()));
        socket_->flush();
        if (w.closeAfter) {
            outbox_.clear();
            closing_ = true;
            socket_->disconnectFromHost();
            return;
        }
    }
    if (!outbox_.empty())
        pumpTimer_->start(int(std::max<qint64>(0, outbox_.front().due - now)));
}

void HostConnection::closeNow()
{
    outbox_.clear();
    held_.clear();
    pumpTimer_->stop();
    holdTimer_->stop();
    closing_ = true;
    if (socket_)
        socket_->disconnectFromHost();
}

void HostConnection::resetNow()
{
    // A close with a zero linger time ends the connection with a reset.
    if (socket_ && socket_->socketDescriptor() >= 0) {
        const linger hard{1, 0};
        ::setsockopt(int(socket_->socketDescriptor()), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    }
    closeNow();
}

void HostConnection::closeWhenSent()
{
    if (!held_.empty())
        heldCloseAfter_ = true;
    else if (!outbox_.empty())
        outbox_.back().closeAfter = true;
    else
        closeNow();
}

// ---- HostServer ----------------------------------------------------------------

HostServer::HostServer(QObject *parent)
    : QObject(parent), server_(new QTcpServer(this)), key_(HostKey::demo()), keyGuard_(WallClockMs())
{
    connect(server_, &QTcpServer::newConnection, this, &HostServer::onNewConnection);
    installDefaultHandlers();
}

HostServer::~HostServer()
{
    for (auto &c : connections_)
        delete c.data();
    connections_.clear();
}

void HostServer::setHostKey(const HostKey &key)
{
    key_ = key;
    if (keyState_ == KeyState::Default) keyStateOpen_.reset(); // the file of the new key is opened instead
}

bool HostServer::setKeyStateFile(const QString &path, std::string *error)
{
    if (!openKeyStateFile(path, error)) return false;
    keyState_ = KeyState::Named;
    return true;
}

bool HostServer::openKeyState(std::string *error)
{
    if (keyState_ != KeyState::Default || keyStateOpen_) return true;
    const QString path = DefaultKeyStateFile(key_);
    if (path.isEmpty()) {
        if (error)
            *error = "neither XDG_STATE_HOME nor HOME names a folder for the key state file; "
                     "give the host one with --state FILE";
        return false;
    }
    return openKeyStateFile(path, error);
}

bool HostServer::openKeyStateFile(const QString &path, std::string *error)
{
    const std::string name = path.toLocal8Bit().toStdString();
    int64_t highest = -1;
    std::string why;
    auto file = OpenKeyState(name, highest, why);
    // The start: the clock when the host was made, or above the stamp an
    // earlier run took last.
    const KeyGuard guard(std::max(keyGuard_.startMs(), highest + 1));
    if (file && !WriteKeyState(file->fd(), guard.startMs() - 1, why)) {
        why = "cannot write the key state file " + name + ": " + why + kAnotherPlace;
        file.reset();
    }
    if (!file) {
        if (error) *error = why;
        return false;
    }
    keyStateFile_ = path;
    keyStateOpen_ = std::move(file);
    keyGuard_ = guard;
    return true;
}

bool HostServer::useNewKeyPair()
{
    auto key = HostKey::generate();
    if (!key) return false;
    key_ = *key;
    keyState_ = KeyState::None;
    keyStateFile_.clear();
    keyStateOpen_.reset();
    return true;
}

bool HostServer::recordKeyState(std::string &error)
{
    if (keyState_ == KeyState::None) return true;
    if (!keyStateOpen_) {
        error = "the key state file is not open";
        return false;
    }
    const int64_t highest = std::max(keyGuard_.highestAccepted(), keyGuard_.startMs() - 1);
    std::string why;
    if (WriteKeyState(keyStateOpen_->fd(), highest, why)) return true;
    error = "cannot write the key state file " + keyStateFile_.toLocal8Bit().toStdString() + ": " + why;
    return false;
}

bool HostServer::listen(quint16 port)
{
    std::string error;
    listenError_.clear();
    if (!openKeyState(&error)) {
        listenError_ = QString::fromStdString(error);
        return false;
    }
    return server_->listen(QHostAddress::LocalHost, port);
}

quint16 HostServer::port() const { return server_->serverPort(); }

QString HostServer::errorString() const { return listenError_.isEmpty() ? server_->errorString() : listenError_; }

void HostServer::close()
{
    server_->close();
    closeConnections();
}

void HostServer::setScenario(Scenario s)
{
    scenario_ = std::move(s);
    errorRules_ = scenario_.errors;
    answerDelayMs_ = scenario_.answerDelayMs;
}

void HostServer::setHandler(const std::string &code, TelegramHandler handler)
{
    handlers_[code] = std::move(handler);
}

void HostServer::setFrameHandler(char letter, FrameHandler handler)
{
    frameHandlers_[letter] = std::move(handler);
}

void HostServer::failNext(const std::string &code, const std::string &resp, int times)
{
    if (times != 0)
        errorRules_.push_back({code, resp, times});
}

void HostServer::armFault(Fault fault, int times) { faults_[fault] = times; }

void HostServer::clearFaults() { faults_.clear(); }

void HostServer::setSplit(int atByte, int pauseMs)
{
    splitAt_ = std::max(0, atByte);
    splitPauseMs_ = std::max(0, pauseMs);
}

void HostServer::closeConnections()
{
    for (auto &c : connections_)
        if (c)
            c->closeNow();
}

bool HostServer::pushTelegram(const std::string &telegram)
{
    HostConnection *c = lastConnection();
    return c && c->sendTelegram(telegram);
}

bool HostServer::pushRaw(const std::string &bytes)
{
    HostConnection *c = lastConnection();
    if (!c)
        return false;
    c->sendRaw(bytes);
    return true;
}

std::vector<std::string> HostServer::receivedCodes() const
{
    std::vector<std::string> codes;
    for (const auto &t : telegrams_)
        codes.push_back(Get(t, kMsgCode));
    return codes;
}

void HostServer::clearLog()
{
    telegrams_.clear();
    keyBlocks_.clear();
    frames_.clear();
    sent_.clear();
    errors_.clear();
}

int HostServer::openConnections() const
{
    return int(std::count_if(connections_.begin(), connections_.end(),
                             [](const QPointer<HostConnection> &c) { return c && c->open(); }));
}

HostConnection *HostServer::lastConnection() const
{
    for (auto it = connections_.rbegin(); it != connections_.rend(); ++it)
        if (*it && (*it)->open())
            return it->data();
    return nullptr;
}

void HostServer::onNewConnection()
{
    while (QTcpSocket *socket = server_->nextPendingConnection()) {
        auto *c = new HostConnection(*this, socket, ++accepted_);
        connections_.push_back(c);
        emit clientConnected(c->id());
    }
}

void HostServer::connectionClosed(HostConnection *c)
{
    connections_.erase(std::remove(connections_.begin(), connections_.end(), c),
                       connections_.end());
    emit clientDisconnected(c->id());
    c->deleteLater();
}

void HostServer::reportError(HostConnection &c, const std::string &what)
{
    errors_.push_back(what);
    emit protocolError(c.id(), QString::fromStdString(what));
}

bool HostServer::takeFault(Fault f)
{
    auto it = faults_.find(f);
    if (it == faults_.end() || it->second == 0)
        return false;
    if (it->second > 0)
        --it->second;
    return true;
}

bool HostServer::takeErrorRule(const std::string &code, std::string &resp)
{
    for (auto it = errorRules_.begin(); it != errorRules_.end(); ++it) {
        if (!it->code.empty() && it->code != code)
            continue;
        resp = it->resp;
        if (it->times > 0 && --it->times == 0)
            errorRules_.erase(it);
        return true;
    }
    return false;
}

void HostServer::dispatch(HostConnection &c, const std::string &request)
{
    std::string code = Get(request, kMsgCode);
    std::string resp;
    if (takeErrorRule(code, resp)) {
        c.sendError(request, resp);
        return;
    }
    auto it = handlers_.find(code);
    if (it == handlers_.end()) {
        c.sendError(request, "01");
        return;
    }
    it->second(c, request);
}

void HostServer::installDefaultHandlers()
{
    setHandler("0800100", [this](HostConnection &c, const std::string &r) { onLogin(c, r); });
    setHandler("0800900", [this](HostConnection &c, const std::string &r) { onLogout(c, r); });
    setHandler("0300100",
               [this](HostConnection &c, const std::string &r) { onPasswordChange(c, r); });
    setHandler("0600100", [this](HostConnection &c, const std::string &r) { onResultList(c, r); });
    setHandler("0400100", [this](HostConnection &c, const std::string &r) { onNoticeList(c, r); });
    setHandler("0620100", [this](HostConnection &c, const std::string &r) { onListAck(c, r); });
    setHandler("0420100", [this](HostConnection &c, const std::string &r) { onListAck(c, r); });
    setHandler("0700100",
               [this](HostConnection &c, const std::string &r) { onTransferRequest(c, r); });
    setHandler("0710100", [this](HostConnection &c, const std::string &r) { onTransferBlock(c, r); });
    setHandler("0800800", [this](HostConnection &c, const std::string &r) { onTransferEnd(c, r); });
    setHandler("0500100", [this](HostConnection &c, const std::string &r) { onNoticeFile(c, r); });
    setHandler("0510100",
               [this](HostConnection &c, const std::string &r) { sendNextTransferBlock(c, r); });
    // The client's end acknowledgement of a received file or notice: kept in
    // the log, not answered.
    setHandler("0810800", [](HostConnection &c, const std::string &) {
        c.transferBlocks.clear();
        c.transferEnd.clear();
    });
}

void HostServer::onTransferRequest(HostConnection &c, const std::string &req)
{
    const std::string dir = Get(req, kDirFlag);
    c.transferBlocks.clear();
    c.transferEnd.clear();
    if (dir == "S") {
        Upload u;
        u.bank = Trim(Get(req, kSubCode));
        u.kind = Get(req, kJobKind);
        uploads_.push_back(u);
        c.upload = int(uploads_.size()) - 1;
        c.sendTelegram(c.answerFor(req, "0720100"));
        return;
    }
    if (dir != "R") {
        c.sendError(req, "07");
        return;
    }
    const std::string bank = Trim(Get(req, kSubCode));
    const std::string kind = Get(req, kJobKind);
    const std::string data = Get(req, kData);
    const std::string date = data.substr(0, 8);
    const std::string seqText = Trim(data.substr(8, 3));
    const ResultFile *found = nullptr;
    for (const ResultFile &f : scenario_.resultFiles) {
        if (f.bank != bank || f.kind.substr(0, 1) != kind || f.date != date)
            continue;
        if (!seqText.empty() && seqText.find_first_not_of("0123456789") == std::string::npos &&
            std::stoi(seqText) == f.seq) {
            found = &f;
            break;
        }
    }
    if (!found) {
        c.sendError(req, "10");
        return;
    }
    const size_t len = size_t(found->recordLength);
    const size_t per = std::max<size_t>(1, std::min<size_t>(kData.width / len, 99));
    std::vector<std::string> blocks;
    size_t first = 0;
    do {
        const size_t n = std::min(per, found->records.size() - first);
        std::string block = c.answerFor(req, blocks.empty() ? "0720100" : "0730100");
        Put(block, kCompCd, found->baseName.substr(0, 4));
        Put(block, kSubCode, found->baseName.substr(4, 4));
        Put(block, kRecCount, ZeroPad(static_cast<long long>(n), 2));
        Put(block, kRecInfo, ZeroPad(static_cast<long long>(len), 3));
        std::string payload;
        for (size_t i = first; i < first + n; ++i)
            payload += found->records[i];
        Put(block, kData, payload);
        blocks.push_back(block);
        first += n;
    } while (first < found->records.size());
    std::string end = c.answerFor(req, "0800800");
    Put(end, kDirFlag, "R");
    Put(end, kData,
        std::to_string(static_cast<long long>(found->records.size()) + found->totalDelta));
    c.sendTelegram(blocks.front());
    c.transferBlocks.assign(blocks.begin() + 1, blocks.end());
    c.transferEnd = end;
}

void HostServer::onTransferBlock(HostConnection &c, const std::string &req)
{
    if (Get(req, kDirFlag) == "R") {
        sendNextTransferBlock(c, req);
        return;
    }
    if (c.upload < 0 || size_t(c.upload) >= uploads_.size()) {
        reportError(c, "a data block without a file being sent");
        c.sendError(req, "07");
        return;
    }
    Upload &u = uploads_[size_t(c.upload)];
    const std::string countText = Get(req, kRecCount);
    const std::string lenText = Get(req, kRecInfo).substr(0, 3);
    if (!IsDigits(countText, 2) || !IsDigits(lenText, 3) || std::stoi(lenText) == 0) {
        reportError(c, "a data block with a bad record count or length");
        c.sendError(req, "12");
        return;
    }
    const size_t n = size_t(std::stoi(countText));
    const size_t len = size_t(std::stoi(lenText));
    const std::string data = Get(req, kData);
    u.blockCounts.push_back(int(n));
    for (size_t i = 0; i < n && (i + 1) * len <= data.size(); ++i) {
        std::string rec = data.substr(i * len, len);
        if (Trim(rec).empty())
            break; // the block announced more records than it holds
        u.records.push_back(rec);
    }
    c.sendTelegram(c.answerFor(req, "0730100"));
}

void HostServer::onTransferEnd(HostConnection &c, const std::string &req)
{
    if (c.upload < 0 || size_t(c.upload) >= uploads_.size()) {
        reportError(c, "an end telegram without a file being sent");
        c.sendError(req, "07");
        return;
    }
    Upload &u = uploads_[size_t(c.upload)];
    u.total = Trim(Get(req, kData));
    u.ended = true;
    c.upload = -1;
    c.sendTelegram(c.answerFor(req, "0810800"));
}

void HostServer::onNoticeFile(HostConnection &c, const std::string &req)
{
    c.transferBlocks.clear();
    c.transferEnd.clear();
    auto it = scenario_.noticeFiles.find(Trim(Get(req, kData)));
    if (it == scenario_.noticeFiles.end()) {
        c.sendError(req, "10");
        return;
    }
    const std::string &content = it->second;
    std::vector<std::string> blocks;
    size_t at = 0;
    do {
        std::string block = c.answerFor(req, blocks.empty() ? "0520100" : "0530100");
        Put(block, kData, content.substr(at, kData.width));
        blocks.push_back(block);
        at += kData.width;
    } while (at < content.size());
    std::string end = c.answerFor(req, "0800800");
    Put(end, kDirFlag, "G");
    c.sendTelegram(blocks.front());
    c.transferBlocks.assign(blocks.begin() + 1, blocks.end());
    c.transferEnd = end;
}

void HostServer::sendNextTransferBlock(HostConnection &c, const std::string &req)
{
    if (!c.transferBlocks.empty()) {
        std::string block = c.transferBlocks.front();
        c.transferBlocks.pop_front();
        Put(block, kStamp, Stamp());
        c.sendTelegram(block);
        return;
    }
    if (!c.transferEnd.empty()) {
        std::string end = c.transferEnd;
        c.transferEnd.clear();
        Put(end, kStamp, Stamp());
        c.sendTelegram(end);
        return;
    }
    reportError(c, "block acknowledgement " + Get(req, kMsgCode) + " without a transfer under way");
}

void HostServer::onLogin(HostConnection &c, const std::string &req)
{
    std::string code = Trim(Get(req, kCompCd));
    std::string password = Trim(Get(req, kData).substr(0, 10));
    auto account = scenario_.accounts.find(code);
    if (account == scenario_.accounts.end()) {
        c.sendError(req, "02");
        return;
    }
    if (account->second != password) {
        if (++c.wrongPasswords >= scenario_.passwordTries) {
            c.sendError(req, "15");
            if (scenario_.closeOnLockout)
                c.closeWhenSent();
        } else {
            c.sendError(req, "03");
        }
        return;
    }
    c.wrongPasswords = 0;
    c.loggedIn = true;
    std::string answer = c.answerFor(req, "0810100");
    Put(answer, kData, scenario_.loginNotice);
    c.sendTelegram(answer);
}

void HostServer::onLogout(HostConnection &c, const std::string &req)
{
    c.loggedIn = false;
    c.pendingBlocks.clear();
    c.pendingAck.clear();
    c.sendTelegram(c.answerFor(req, "0810900"));
}

void HostServer::onPasswordChange(HostConnection &c, const std::string &req)
{
    std::string code = Trim(Get(req, kCompCd));
    std::string data = Get(req, kData);
    std::string current = Trim(data.substr(0, 10));
    std::string changed = Trim(data.substr(10, 10));
    auto account = scenario_.accounts.find(code);
    if (account == scenario_.accounts.end()) {
        c.sendError(req, "02");
        return;
    }
    if (account->second != current) {
        c.sendError(req, "11");
        return;
    }
    account->second = changed;
    c.sendTelegram(c.answerFor(req, "0310100"));
}

void HostServer::onResultList(HostConnection &c, const std::string &req)
{
    std::string data = Get(req, kData);
    std::string from = data.substr(0, 8), to = data.substr(8, 8);
    if (data.substr(16, 1) != "R") {
        c.sendError(req, "08");
        return;
    }
    std::vector<std::string> rows;
    for (const auto &row : scenario_.resultRows) {
        std::string date = row.substr(8, 8);
        if (date >= from && date <= to)
            rows.push_back(row);
    }
    startList(c, req, rows, kResultRowSize, scenario_.resultRowsPerBlock, "0610100", "0630100",
              "0620100");
}

void HostServer::onNoticeList(HostConnection &c, const std::string &req)
{
    std::string data = Get(req, kData);
    std::string from = data.substr(0, 8), to = data.substr(8, 8);
    std::vector<std::string> rows;
    for (const auto &row : scenario_.noticeRows) {
        std::string date = row.substr(0, 8);
        if (date >= from && date <= to)
            rows.push_back(row);
    }
    startList(c, req, rows, kNoticeRowSize, scenario_.noticeRowsPerBlock, "0410100", "0430100",
              "0420100");
}

void HostServer::startList(HostConnection &c, const std::string &req,
                           const std::vector<std::string> &rows, size_t rowSize, int perBlock,
                           const char *startCode, const char *blockCode, const char *ackCode)
{
    c.pendingBlocks.clear();
    c.pendingAck.clear();
    if (rows.empty()) {
        c.sendError(req, "16");
        return;
    }
    size_t per = size_t(std::clamp(perBlock, 1, int(kData.width / rowSize)));
    for (size_t first = 0; first < rows.size(); first += per) {
        size_t n = std::min(per, rows.size() - first);
        std::string block = c.answerFor(req, blockCode);
        Put(block, kRecCount, ZeroPad(static_cast<long long>(n), 2));
        Put(block, kRecInfo, std::to_string(rowSize));
        std::string data;
        for (size_t i = first; i < first + n; ++i) {
            std::string row = rows[i].substr(0, rowSize);
            row.resize(rowSize, ' ');
            data += row;
        }
        Put(block, kData, data);
        c.pendingBlocks.push_back(block);
    }
    c.pendingAck = ackCode;
    c.sendTelegram(c.answerFor(req, startCode));
    std::string first = c.pendingBlocks.front();
    c.pendingBlocks.pop_front();
    c.sendTelegram(first);
}

void HostServer::onListAck(HostConnection &c, const std::string &req)
{
    std::string code = Get(req, kMsgCode);
    if (c.pendingAck != code) {
        reportError(c, "acknowledgement " + code + " without a list block to acknowledge");
        return;
    }
    if (c.pendingBlocks.empty()) { // the last block is acknowledged: the list is done
        c.pendingAck.clear();
        return;
    }
    std::string block = c.pendingBlocks.front();
    c.pendingBlocks.pop_front();
    Put(block, kStamp, Stamp());
    c.sendTelegram(block);
}

} // namespace hostsim
