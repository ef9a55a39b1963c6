#pragma once
// The updater's FTP client (RFC 959 over libcurl), in the shape of the
// window framework's FTP component: properties set before connecting,
// blocking calls that keep window and socket events flowing while they wait
// (libcurl's multi interface driven from this thread), and events for the
// connection, the start of a retrieval, each block received, success,
// failure and error.
//
// - Connect(): control connection, greeting, USER and PASS; OnConnect on
//   success. When the server cannot be reached, does not answer in time, or
//   refuses the greeting or the log-in, OnConnectionFailed is raised and the
//   call fails with FtpFailure; the client stays disconnected.
// - Retrieve(folder, remote, local): on the logged-in connection, "CWD
//   folder", "TYPE I", an active data connection announced with "PORT",
//   "SIZE remote" and "RETR remote". The reply accepting the retrieval gives
//   the total byte count (see RetrievalTotal) and raises OnTransactionStart;
//   the local file is created when the first block arrives, or at the end
//   for an empty file, only as a new file (an existing file or link of that
//   name fails the call, see below), and is written block by block,
//   OnPacketRecvd following each block; the end raises OnSuccess(9). A
//   command the server refuses (a reply from 400 to 599) raises
//   OnFailure(kind of the refused command) and a broken or timed-out
//   connection or a local file that cannot be created or written raises
//   OnError(code, text); both then close the connection and fail the call
//   with FtpFailure. A transfer that ends with another byte count than the
//   file's size is cut off: OnError, as for a broken connection. The size
//   is the server's answer to "SIZE", else the total in its reply to
//   "RETR"; a server that gives neither is trusted to end the transfer
//   only when the whole file has been sent. A partly received file stays as
//   far as it was written (the window downloads under a name of its own,
//   see TFrmVersion::FetchFile).
// - Disconnect(): "QUIT" and the connection closed when connected;
//   nothing otherwise.
// - TimeOut bounds every wait on the server: the connection, each reply,
//   the server's connection to the data port, each next block of data.
#include "common/errors.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace fm::upd {

// A failed FTP call; the event that reported it has already run.
class FtpFailure : public Error {
public:
    using Error::Error;
};

// Transaction kinds, with the FTP component's numbering.
inline constexpr int kTransChangeDir = 0;
inline constexpr int kTransRetrieve = 9;
inline constexpr int kTransType = 14;
inline constexpr int kTransOther = 100;

class TNMFTP {
public:
    TNMFTP();
    ~TNMFTP();
    TNMFTP(const TNMFTP &) = delete;
    TNMFTP &operator=(const TNMFTP &) = delete;

    std::string Host;
    int Port = 21;
    int TimeOut = 20000; // milliseconds
    std::string UserID;
    std::string Password;

    std::function<void()> OnConnect;
    std::function<void()> OnConnectionFailed;
    std::function<void(int64_t total)> OnTransactionStart;
    std::function<void(int64_t received)> OnPacketRecvd;
    std::function<void(int transType)> OnSuccess;
    std::function<void(int errorCode, const std::string &message)> OnError;
    std::function<void(int transType)> OnFailure;

    bool Connected() const;
    void Connect();
    void Disconnect();
    void Retrieve(const std::string &folder, const std::string &remoteName,
                  const std::string &localPath);

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

} // namespace fm::upd
