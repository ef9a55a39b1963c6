// The simulated service host: listens on the loopback address, takes the
// client's key frame, opens each data frame into a 1024-byte telegram and
// answers it as the scenario says. One session per connection, all on the
// thread that runs the Qt event loop.
#pragma once

#include "hostcrypto.h"
#include "scenario.h"
#include "wire.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class QTcpServer;
class QTcpSocket;
class QTimer;

namespace fm {
class RegularFile;
}

namespace hostsim {

class HostServer;

// One client connection: its socket, its session key, what it has asked for
// and the frames waiting to go out.
class HostConnection : public QObject {
    Q_OBJECT
public:
    HostConnection(HostServer &server, QTcpSocket *socket, int id);
    ~HostConnection() override;

    int id() const { return id_; }
    bool open() const;

    // A host answer to `request`: every field blank but JobKind, CompCd,
    // SubCode and DirFlag copied from the request, the code, the host's time
    // stamp, RecCount "00", BlockSeq "0000001" and RespCode "00".
    std::string answerFor(const std::string &request, std::string_view code) const;
    // Seals a 1024-byte telegram and sends it as a "D" frame (through the
    // armed transport faults). Returns false without a session.
    bool sendTelegram(const std::string &telegram);
    // Answers `request` with a host error code (two bytes, sent as given).
    void sendError(const std::string &request, std::string_view resp);
    // Sends bytes as they stand, through the armed transport faults.
    void sendRaw(const std::string &bytes);
    // Closes the connection at once; frames still queued are dropped.
    void closeNow();
    // Resets the connection (an RST, not an orderly close); frames still
    // queued are dropped.
    void resetNow();
    // Closes the connection once the frames queued so far have been written.
    void closeWhenSent();

    // Session state the handlers keep.
    bool loggedIn = false;
    int wrongPasswords = 0;
    // Blocks of a list still to send, each sent on the acknowledgement
    // `pendingAck`.
    std::deque<std::string> pendingBlocks;
    std::string pendingAck;
    // A file or notice being handed out: its further blocks, each sent on
    // the client's block acknowledgement, then its end telegram.
    std::deque<std::string> transferBlocks;
    std::string transferEnd;
    // The upload (index into HostServer::uploads()) this connection is
    // receiving, or -1.
    int upload = -1;

private:
    struct Write {
        std::string bytes;
        qint64 due = 0;
        bool closeAfter = false;
    };

    void onReadyRead();
    void onDisconnected();
    void handleFrame(const wire::Frame &frame);
    void handleKey(const std::string &payload);
    void handleTelegram(const std::string &payload);
    void queueFrame(std::string frame, bool telegram);
    void enqueue(std::string bytes, qint64 extraDelay, bool closeAfter);
    void pump();
    void flushHeld();
    void resetSession();

    HostServer &server_;
    QPointer<QTcpSocket> socket_;
    int id_;
    HostSession crypto_;
    wire::FrameReader reader_;
    bool closing_ = false;
    int keyFrames_ = 0;
    std::deque<Write> outbox_;
    qint64 lastDue_ = 0;
    QElapsedTimer clock_;
    QTimer *pumpTimer_;
    QTimer *holdTimer_;
    std::string held_;
    bool heldCloseAfter_ = false;

    friend class HostServer;
};

// A file the client sent: what its request named and the records of its
// blocks in the order they came.
struct Upload {
    std::string bank;                 // SubCode of the request, trimmed
    std::string kind;                 // JobKind of the request
    std::vector<std::string> records; // each of the block's record length
    std::vector<int> blockCounts;     // RecCount of each block
    std::string total;                // Data of the client's end telegram, trimmed
    bool ended = false;               // the end telegram arrived and was confirmed
};

class HostServer : public QObject {
    Q_OBJECT
public:
    // Handles one opened telegram (1024 bytes) of a given code.
    using TelegramHandler = std::function<void(HostConnection &, const std::string &request)>;
    // Handles one frame of a given letter other than "S" and "D" (payload).
    using FrameHandler = std::function<void(HostConnection &, const std::string &payload)>;

    // Transport faults, each armed for a number of frames.
    enum class Fault {
        SplitFrame,      // the next frame goes out in two writes with a pause between
        CoalesceFrames,  // the next two frames go out in one write
        TamperFrame,     // one byte of the next telegram frame's ciphertext is flipped
        CloseAfterFrame, // the connection is closed once the next frame is written
        CloseOnTelegram, // the next telegram received is not answered: the connection closes
        RefuseKey,       // the next key frame is answered "ERR" whatever it holds
    };

    explicit HostServer(QObject *parent = nullptr);
    ~HostServer() override;

    // Opens the key state (openKeyState), then listens on 127.0.0.1; port 0
    // takes any free port. False, with errorString() saying why, when
    // either fails.
    bool listen(quint16 port = 0);
    quint16 port() const;
    QString errorString() const;
    // Stops listening and closes every connection.
    void close();

    // The host's key pair; set it before listening (a host keeping its
    // state in the default file opens the one of the new key).
    void setHostKey(const HostKey &key);
    // The freshness rule and replay cache of key blocks, over all
    // connections; started with the server.
    KeyGuard &keyGuard() { return keyGuard_; }
    // The highest key-block stamp this host ever took (H) is kept in a file
    // across runs (decimal milliseconds and a line end): a run starts its
    // freshness rule above it, so no block an earlier run took is taken
    // again (its replay cache died with it, and the window takes stamps up
    // to 5 minutes ahead of the clock).
    //
    // The file is opened once and held for the host's life: created with
    // its folder when missing (a missing or empty file means no earlier
    // run), locked against every other host (a second host, of this
    // process or another, cannot open it while this one lives), and
    // written at once with one below the host's start, so a host that
    // could not keep its state refuses to start instead of refusing every
    // key. It is written again before each "OK"; a block whose stamp cannot
    // be recorded is refused and keyStateWriteFailed says why.
    //
    // setKeyStateFile opens the named file (call it before listening);
    // without it listen() opens DefaultKeyStateFile(hostKey()). A name that
    // is empty, a file that is not a regular file, cannot be created,
    // locked, read or written, or holds anything but a stamp from 0 to
    // 2^63 - 2 is refused: false, with `error` saying why and naming the
    // file.
    bool setKeyStateFile(const QString &path, std::string *error = nullptr);
    // Opens the default key state file unless setKeyStateFile or
    // useNewKeyPair chose otherwise, or it is open already; false, with
    // `error`, as setKeyStateFile, also when there is no default place
    // (neither XDG_STATE_HOME nor HOME). listen() calls it.
    bool openKeyState(std::string *error = nullptr);
    // For tests only: gives the host a key pair made now. No earlier run can
    // have taken a block made for it, so the host keeps no H and takes
    // blocks from its start on. False (and nothing changed) when no key
    // could be made. Write hostKey()'s public key file for the client after
    // this call.
    bool useNewKeyPair();
    const HostKey &hostKey() const { return key_; }
    // The scenario; a password change is stored in it.
    Scenario &scenario() { return scenario_; }
    void setScenario(Scenario s);

    // Dispatch: the handler of a telegram code, replacing any before it;
    // codes without a handler are answered with error 01.
    void setHandler(const std::string &code, TelegramHandler handler);
    void setFrameHandler(char letter, FrameHandler handler);

    // Errors on demand: the next `times` telegrams with this code (any code
    // when empty; every one when `times` is below 0) are answered with
    // RespCode `resp` (two bytes as given, also non-numeric) instead.
    void failNext(const std::string &code, const std::string &resp, int times = 1);
    // Transport faults: armed for the next `times` frames (every frame when
    // below 0; 0 disarms).
    void armFault(Fault fault, int times = 1);
    void clearFaults();
    // Where SplitFrame cuts (bytes from the frame's start, 0: the middle) and
    // how long it pauses between the two writes.
    void setSplit(int atByte, int pauseMs);
    // Delay of every frame the host sends.
    void setAnswerDelay(int ms) { answerDelayMs_ = ms; }
    // Closes every open connection at once.
    void closeConnections();

    // Sends a telegram / raw bytes to the newest open connection, unasked.
    bool pushTelegram(const std::string &telegram);
    bool pushRaw(const std::string &bytes);

    // What arrived, over all connections, in order: opened telegrams (1024
    // bytes each), key blocks (the 128 payload bytes), every frame whole as
    // received; what the host answered (plain telegrams); faults in what
    // the clients sent.
    const std::vector<std::string> &receivedTelegrams() const { return telegrams_; }
    const std::vector<std::string> &receivedKeyBlocks() const { return keyBlocks_; }
    const std::vector<std::string> &receivedFrames() const { return frames_; }
    const std::vector<std::string> &sentTelegrams() const { return sent_; }
    const std::vector<std::string> &protocolErrors() const { return errors_; }
    // Codes of the received telegrams, in order.
    std::vector<std::string> receivedCodes() const;
    // Files the clients sent, in the order they were requested.
    const std::vector<Upload> &uploads() const { return uploads_; }
    void clearLog();

    int connectionsAccepted() const { return accepted_; }
    int openConnections() const;
    HostConnection *lastConnection() const;

signals:
    void clientConnected(int id);
    void clientDisconnected(int id);
    void keyBlockReceived(int id, const QByteArray &block);
    void telegramReceived(int id, const QByteArray &telegram);
    void protocolError(int id, const QString &what);
    // The key state file could not be written: a key block was refused.
    void keyStateWriteFailed(const QString &what);

private:
    void onNewConnection();
    void installDefaultHandlers();
    void dispatch(HostConnection &c, const std::string &request);
    bool takeFault(Fault f);
    bool takeErrorRule(const std::string &code, std::string &resp);
    void reportError(HostConnection &c, const std::string &what);
    void connectionClosed(HostConnection *c);

    // Default answers.
    void onLogin(HostConnection &c, const std::string &req);
    void onLogout(HostConnection &c, const std::string &req);
    void onPasswordChange(HostConnection &c, const std::string &req);
    void onResultList(HostConnection &c, const std::string &req);
    void onNoticeList(HostConnection &c, const std::string &req);
    void onListAck(HostConnection &c, const std::string &req);
    void onTransferRequest(HostConnection &c, const std::string &req);
    void onTransferBlock(HostConnection &c, const std::string &req);
    void onTransferEnd(HostConnection &c, const std::string &req);
    void onNoticeFile(HostConnection &c, const std::string &req);
    void sendNextTransferBlock(HostConnection &c, const std::string &req);
    void startList(HostConnection &c, const std::string &req, const std::vector<std::string> &rows,
                   size_t rowSize, int perBlock, const char *startCode, const char *blockCode,
                   const char *ackCode);

    // Opens, locks, reads and writes the key state file at `path` for the
    // host's life (setKeyStateFile without the choice).
    bool openKeyStateFile(const QString &path, std::string *error);
    // Writes the highest stamp taken (or one below the start, before the
    // first) over the open key state file; true when the host keeps none.
    bool recordKeyState(std::string &error);

    // Where the host keeps H: the default file of its key, a file it was
    // given, or nowhere (a key pair of this run's own).
    enum class KeyState { Default, Named, None };

    QTcpServer *server_;
    QString listenError_;
    HostKey key_;
    KeyGuard keyGuard_;
    KeyState keyState_ = KeyState::Default;
    QString keyStateFile_;                  // the open file's name
    std::unique_ptr<fm::RegularFile> keyStateOpen_; // open and locked; none yet when empty
    Scenario scenario_;
    std::map<std::string, TelegramHandler> handlers_;
    std::map<char, FrameHandler> frameHandlers_;
    std::vector<ErrorRule> errorRules_;
    std::map<Fault, int> faults_;
    int splitAt_ = 0;
    int splitPauseMs_ = 50;
    int answerDelayMs_ = 0;
    int accepted_ = 0;
    std::vector<QPointer<HostConnection>> connections_;

    std::vector<std::string> telegrams_;
    std::vector<std::string> keyBlocks_;
    std::vector<std::string> frames_;
    std::vector<std::string> sent_;
    std::vector<std::string> errors_;
    std::vector<Upload> uploads_;

    friend class HostConnection;
};

// Where a host keeps the highest key-block stamp it took for a key pair
// when it is not told otherwise: one file per host key id (16 hex digits),
// $XDG_STATE_HOME/fennimarch/hostsim/<key id>.state, or
// $HOME/.local/state/fennimarch/hostsim/<key id>.state when XDG_STATE_HOME
// is not set to an absolute path. Empty when neither is (no place of the
// host's own: it must be told one).
QString DefaultKeyStateFile(const HostKey &key);

// The code of the host's answer to a request code ("0800100" -> "0810100");
// the request code itself for codes the host does not know.
std::string AnswerCode(const std::string &requestCode);

} // namespace hostsim
