#pragma once
// TNMFTP: the client side of FTP on the socket component. Its own socket is the control
// connection; every transfer opens a second component as its data connection, in active mode
// (the server connects to us) or passive mode (we connect to the server). A site may require
// TLS: AUTH TLS before the log-in, the data connections protected too. Operations look blocking
// to the caller while the event loop keeps turning.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "net/ftp_parse.h"
#include "net/socket.h"

namespace quillet::platform {
class PageCodec;
}

namespace quillet::net {

// The message is the server's reply line as read, line end included (or, for what the client
// refuses to send, a short text of its own).
class FTPException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A site that requires TLS met a server that refused what that needs: AUTH TLS (then neither
// the user name nor the password was sent) or the protection of the data connections (PBSZ 0,
// PROT P).
class ESecurityRefused : public FTPException {
public:
    enum class Step : std::uint8_t { Auth, Protect };
    ESecurityRefused(Step step, const std::string& reply);
    Step RefusedStep() const { return step_; }
    const std::string& Reply() const { return reply_; }

private:
    Step step_;
    std::string reply_;
};

// An upload after which the server holds another number of bytes than were sent.
class EUploadMismatch : public std::runtime_error {
public:
    EUploadMismatch(std::uint64_t sent, std::uint64_t held);
    std::uint64_t Sent() const { return sent_; }
    std::uint64_t Held() const { return held_; }

private:
    std::uint64_t sent_;
    std::uint64_t held_;
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

// What the control connection is doing or still owes. Only TNMFTP::setState changes it.
enum class FtpState : std::uint8_t {
    Disconnected, // not logged in
    Connecting,   // looking the host up, connecting, the greeting
    Securing,     // AUTH TLS and the handshake
    LoggingIn,    // USER, PASS (and PBSZ, PROT after them)
    Ready,        // logged in; no reply outstanding
    Data,         // a transfer command was accepted: the data flows and the final reply is to
                  // come; an error reply on the control connection ends the transfer
    ServerEnded,  // such an error reply came: it is the transfer's final reply
    ReplyOwed,    // a reply was given up (time-out, cancel) and may still come: the next
                  // command reads it first, so that it is never taken for that command's answer
};

class TNMFTP : public TPowersock {
public:
    explicit TNMFTP(QObject* Owner = nullptr);
    ~TNMFTP() override;

    std::string UserID;
    std::string Password;
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
    bool ParseList = false;

    // Passive: the client connects to where the server listens (EPSV, falling back to PASV when
    // the server refuses it; always to the control connection's peer). Otherwise active: the
    // server connects to the client (PORT, or EPRT over IPv6).
    bool Passive = false;
    // TLS required: AUTH TLS before the log-in, PBSZ 0 and PROT P after it; each data
    // connection is secured and resumes the control connection's session. A server that
    // refuses any of it ends the connect (ESecurityRefused).
    bool UseTls = false;
    // The SHA-256 fingerprint of the certificate trusted for the site: when set, exactly that
    // certificate is accepted and any other refused, whatever the trust store says.
    std::string PinnedCertificate;
    // The CA certificates trusted instead of the system's (for tests); empty: the system's.
    std::string TrustedCaFile;
    // Asked about a certificate that neither the trust store nor a pin vouches for; true trusts
    // it for this connection. Unassigned, such a certificate is refused.
    TrustQuestion OnUntrustedCertificate;
    // Asks FEAT once per log-in before the first name goes out: a server that lists UTF8 gets
    // its names in UTF-8 (after OPTS UTF8 ON), one that lists SIZE has each binary upload
    // checked. Off: no FEAT, names in CP932, as the documented client.
    bool NegotiateFeatures = false;
    // Told each change of ProtocolState, so that a window can say what a connect is doing.
    std::function<void(FtpState)> OnProtocolState;

    // The data connection; exists while a transfer runs.
    TPowersock* DataSocket() const { return dataSocket_.get(); }
    // The parsed lines of the last listing (ParseList), from the first one after log-in.
    const TFTPDirectoryList* DirectoryList() const { return directoryList_.get(); }
    FtpState ProtocolState() const { return state_; }
    // The encoding names go out in: UTF-8 when the server lists UTF8 in FEAT, else CP932. With
    // NegotiateFeatures it asks FEAT first (once per log-in), so that a name can be refused
    // before any command carries it.
    const platform::PageCodec& NameEncoding();

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
    std::uint64_t BytesSentNow() const { return dataSocket_ ? dataSocket_->BytesSent() : 0; }

    // How long a reply left unread by an interrupted transfer is waited for before the next
    // command; when none comes, the control connection is closed.
    int PendingReplyWait = 3000;

private:
    using LineObserver = std::function<void(const std::string& line)>;

    void setState(FtpState next);
    // The start of every operation that talks to the server.
    void beginOperation();
    // Sends Command and reads its whole reply; observe sees each of its lines.
    std::string Transaction(const std::string& Command, const LineObserver& observe);
    // Reads one whole reply (first line into LastReply and ReplyNumber, then the lines that
    // continue it), each line reported at level 1.
    std::string readReply(const LineObserver& observe = {});
    // A reply read broke off.
    void replyBroken(bool canceled);
    // Applies the reply rules to LastReply at this step: a failure raises FTPException with the
    // reply line unless the step lets an OnFailure handler take it. True when it failed.
    bool checkReply(ReplyStep step, TCmdType type);
    void discardControlBytes();
    void settlePendingReply();
    void detectSystem();
    // The log-in's TLS steps: AUTH TLS and the handshake before USER; PBSZ and PROT after PASS.
    void secureControlConnection();
    void protectDataConnections();
    void askFeatures();
    // After a binary upload: the size the server gives for the file must be the bytes sent.
    void verifyUpload(const std::string& name, std::uint64_t sent);
    // The data connection's address from EPSV or PASV.
    platform::SocketAddress passiveAddress(TCmdType type);
    std::optional<std::uint64_t> remoteSize(const std::string& name);
    // The data connection in two steps: before the transfer command (active: listen and
    // announce it with PORT or EPRT; passive: ask where with EPSV or PASV and connect) and after
    // it (active: accept the server's connection; both: the TLS handshake, which the server
    // starts only once it has the command).
    void prepareDataConnection(TCmdType type);
    void completeDataConnection();
    // Reads a transfer's final reply; false when the server reports the transfer failed.
    bool finalReply(TCmdType type);
    void receiveListing();
    void DrainAfterAbort();
    // Runs one transfer with its data connection; body returns whether the server confirmed it.
    template <class Body> void runTransfer(TCmdType type, Body&& body);

    FtpState state_ = FtpState::Disconnected;
    char transferType_ = 'A'; // of the last TYPE the server accepted; A after log-in and REIN
    // Of one log-in:
    std::shared_ptr<platform::TlsContext> tlsContext_;
    std::string tlsContextFile_; // the TrustedCaFile it was made with
    bool dataProtected_ = false; // PROT P was accepted
    std::string dataPin_;        // the certificate data connections must show, when the store does not vouch
    bool epsvRefused_ = false;
    std::optional<ServerFeatures> features_; // once FEAT was asked
    bool featuresListed_ = false;            // ... and answered with a list
    std::unique_ptr<TPowersock> dataSocket_;
    std::unique_ptr<TFTPDirectoryList> directoryList_;
};

} // namespace quillet::net
