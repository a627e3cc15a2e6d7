#pragma once
// TNMFTP: the client side of FTP on the socket component. Its own socket is the control
// connection; every transfer opens a second component as an active-mode data connection.
// Operations look blocking to the caller while the event loop keeps turning.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "net/ftp_parse.h"
#include "net/socket.h"

namespace quillet::net {

// The message is the server's reply line as read, line end included (or, for what the client
// refuses to send, a short text of its own).
class FTPException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A download the server called done that brought fewer bytes than the server announced (or, in
// binary type, any other number): the file is not the server's copy.
class EIncompleteDownload : public std::runtime_error {
public:
    EIncompleteDownload(std::uint64_t expected, std::uint64_t received);
    std::uint64_t Expected() const { return expected_; }
    std::uint64_t Received() const { return received_; }

private:
    std::uint64_t expected_;
    std::uint64_t received_;
};

using TSuccessEvent = std::function<void(TCmdType Trans_Type)>;
using TFailureEvent = std::function<void(bool& Handled, TCmdType Trans_Type)>;
using TUnsupportedEvent = std::function<void(TCmdType Trans_Type)>;
using TNMListItem = std::function<void(const std::string& Listing)>;

class TNMFTP : public TPowersock {
public:
    explicit TNMFTP(QObject* Owner = nullptr);
    ~TNMFTP() override;

    std::string UserID;
    std::string Password;
    std::unique_ptr<TPowersock> DataSocket; // exists while a transfer runs
    TNotifyEvent OnTransactionStart;
    TNotifyEvent OnTransactionStop;
    TSuccessEvent OnSuccess;
    TFailureEvent OnFailure;
    THandlerEvent OnAuthenticationNeeded;
    THandlerEvent OnAuthenticationFailed; // kept for callers; the client never raises it
    TNMListItem OnListItem;
    TNotifyEvent OnConnect; // log-in completed (the socket's own connect is not reported)
    TUnsupportedEvent OnUnSupportedFunction;
    int Vendor = VendorDetect;
    std::unique_ptr<TFTPDirectoryList> DirectoryList;
    bool ParseList = false;

    void Connect() override;
    void Disconnect() override;
    std::string Transaction(const std::string& Command) override;
    void Abort() override;

    void DoCommand(const std::string& Command);
    void SetTransferType(int Kind);
    void ReInit();
    void List();
    // Replaces LocalFile (RemoteFile's name when empty) only by a complete download the server
    // confirmed.
    void Download(const std::string& RemoteFile, const std::string& LocalFile);
    // Receives RemoteFile into a file the caller opened; renames nothing. True when the download
    // is complete and the server confirmed it; the caller then syncs and installs the file.
    // Where the server gave a size (SIZE in binary type, else "(N bytes)" in its 150 reply), a
    // download that brought fewer bytes (in binary type: another number) raises
    // EIncompleteDownload.
    bool Download(const std::string& RemoteFile, doc::OutputFile& LocalFile);
    void Upload(const std::string& LocalFile, const std::string& RemoteFile);
    // Bytes of the running upload sent so far.
    std::uint64_t BytesSentNow() const { return DataSocket ? DataSocket->BytesSent : 0; }

    // How long a reply left unread by an interrupted transfer is waited for before the next
    // command; when none comes, the control connection is closed.
    int PendingReplyWait = 3000;

private:
    void SkipContinuationLines(const std::string& first);
    std::string readReply();
    [[noreturn]] void raiseFailure(const std::string& reply);
    void failureProtocol(TCmdType type, bool checkUnsupported);
    void discardControlBytes();
    void settlePendingReply();
    // A reply read failed on the socket: wait for the answer later, or give the connection up.
    void replyBroken();
    void detectSystem();
    std::optional<std::uint64_t> remoteSize(const std::string& name);
    void openDataConnection();
    void sendPort(TCmdType type);
    void acceptDataConnection();
    void finalReply(TCmdType type);
    void receiveListing();
    void DrainAfterAbort();
    template <class Body> void runTransfer(TCmdType type, Body&& body);

    bool replyPending_ = false;  // a transfer's final reply was not read
    bool watchReplies_ = false;  // a 421 or 426 cancels the waiting reply read
    bool serverAborted_ = false; // the server said 421 or 426 while we waited
    bool dataWait_ = false;      // a transfer waits for its data connection or data
    bool finalFailed_ = false;   // the transfer's final reply was an error
    char transferType_ = 'A';    // of the last TYPE the server accepted; A after log-in and REIN
};

} // namespace quillet::net
