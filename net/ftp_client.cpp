#include "net/ftp_client.h"

#include <QCoreApplication>
#include <arpa/inet.h>
#include <sys/socket.h>

#include "document/file_io.h"
#include "document/paths.h"
#include "document/work_files.h"
#include "net/texts.h"
#include "platform/codepage.h"

namespace quillet::net {

using namespace NMConst;

using platform::SocketAddress;

namespace {
constexpr const char* kUnsafeCommand = Ftp_Err_UnsafeCommand;
constexpr const char* kNoReplyCode = Ftp_Err_NoReplyCode;

std::string withoutLineEnd(std::string line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
    return line;
}

// Deletes a file on every way out unless released.
class TempFile {
public:
    explicit TempFile(std::string path) : path_(std::move(path)) {}
    ~TempFile() {
        if (!path_.empty())
            doc::removeFileQuietly(path_);
    }
    const std::string& path() const { return path_; }
    void release() { path_.clear(); }

private:
    std::string path_;
};

} // namespace

ESecurityRefused::ESecurityRefused(Step step, const std::string& reply)
    : FTPException((step == Step::Auth ? Ftp_Err_TlsRefused : Ftp_Err_ProtRefused) + withoutLineEnd(reply)),
      step_(step), reply_(reply) {}

EUploadMismatch::EUploadMismatch(std::uint64_t sent, std::uint64_t held)
    : std::runtime_error(Ftp_Err_UploadSize + std::to_string(held) + Ftp_Err_UploadSizeOf +
                         std::to_string(sent) + Ftp_Err_UploadSizeBytes),
      sent_(sent), held_(held) {}

EIncompleteDownload::EIncompleteDownload(std::uint64_t expected, std::uint64_t received)
    : std::runtime_error(Ftp_Err_Incomplete + std::to_string(received) + Ftp_Err_IncompleteOf +
                         std::to_string(expected) + Ftp_Err_IncompleteBytes),
      expected_(expected), received_(received) {}

TNMFTP::TNMFTP(QObject* Owner) : TPowersock(Owner) {
    Port = 21;
    // While the data flows, an error reply on the control connection (426 aborted, 421 closing,
    // 425 no data connection ...) ends the transfer: the data connection's wait ends, and the
    // reply is read as the transfer's final one. Replies awaited as such need no watching.
    OnDataArrived = [this](QObject*) {
        const std::string_view unread = ReceiveStream().view();
        if (state_ != FtpState::Data || unread.size() < 4)
            return;
        const auto code = replyCode(unread.substr(0, 4));
        if (!code || judgeReply(ReplyStep::Data, *code) == Verdict::Good)
            return;
        setState(FtpState::ServerEnded);
        if (dataSocket_)
            dataSocket_->Cancel();
    };
}

TNMFTP::~TNMFTP() {
    OnProtocolState = nullptr; // whoever listened may be going away first
    Abort();                   // the base destructor cannot reach this class's Abort any more
    Cancel();
    if (TimeOut <= 0 || TimeOut > 3000)
        TimeOut = 3000; // going away: QUIT gets a short answer time, whatever was set
    if (Connected()) {
        try {
            Disconnect();
        } catch (...) {
            // Going away: a refused QUIT changes nothing.
        }
    }
    directoryList_.reset();
    dataSocket_.reset();
}

void TNMFTP::setState(FtpState next) {
    if (next == state_)
        return;
    state_ = next;
    if (OnProtocolState)
        OnProtocolState(next);
}

// ---- replies ----

void TNMFTP::beginOperation() {
    ClearCancel();
    CheckConnection();
}

std::string TNMFTP::readReply(const LineObserver& observe) {
    const std::shared_ptr<const bool> alive = lifeline();
    try {
        const std::string first = readReplyLine();
        if (observe)
            observe(first);
        ReplyReader reader;
        for (bool more = reader.start(first); more;) {
            const std::string line = ReadLn();
            StatusMessage(StatusProtocol, line);
            if (observe)
                observe(line);
            more = reader.next(line);
        }
        return first;
    } catch (const EAbortError&) {
        if (*alive)
            replyBroken(true);
        throw;
    } catch (const ESockError&) {
        replyBroken(false);
        throw;
    }
}

void TNMFTP::replyBroken(bool canceled) {
    // During the log-in Connect gives the connection up itself.
    if (!Connected() || state_ == FtpState::LoggingIn)
        return;
    if (canceled || TimedOut())
        setState(FtpState::ReplyOwed); // a late answer must not be taken for the next command's
    else
        TPowersock::Disconnect(); // an overlong or endless reply: out of step for good
}

bool TNMFTP::checkReply(ReplyStep step, TCmdType type) {
    if (!replyCode(LastReply()))
        throw FTPException(kNoReplyCode + LastReply());
    const Verdict verdict = judgeReply(step, ReplyNumber());
    if (verdict == Verdict::Good)
        return false;
    switch (step) {
    case ReplyStep::LogIn:
        if (OnConnectionFailed)
            OnConnectionFailed(this);
        throw FTPException(LastReply());
    case ReplyStep::Greeting:
    case ReplyStep::Quit:
    case ReplyStep::Size:
        throw FTPException(LastReply());
    default:
        break;
    }
    if (verdict == Verdict::Unsupported && OnUnSupportedFunction)
        OnUnSupportedFunction(type);
    // A handler that takes the failure lets the operation go on as if the reply had been good.
    bool handled = false;
    if (OnFailure)
        OnFailure(handled, type);
    if (!handled)
        throw FTPException(LastReply());
    return true;
}

void TNMFTP::settlePendingReply() {
    if (state_ != FtpState::ReplyOwed)
        return;
    setState(FtpState::Ready);
    // A late "226" or "426" must never be taken for the answer to the next command.
    const int savedTimeOut = TimeOut;
    TimeOut = TimeOut > 0 ? std::min(TimeOut, PendingReplyWait) : PendingReplyWait;
    ClearCancel();
    try {
        LineDeadline deadline(*this);
        readReply();
    } catch (...) {
        TimeOut = savedTimeOut;
        if (Connected())
            TPowersock::Disconnect();
        throw;
    }
    TimeOut = savedTimeOut;
}

std::string TNMFTP::Transaction(const std::string& Command) { return Transaction(Command, {}); }

std::string TNMFTP::Transaction(const std::string& Command, const LineObserver& observe) {
    if (!isSafeArgument(Command))
        throw FTPException(kUnsafeCommand);
    settlePendingReply();
    LineDeadline deadline(*this);
    sendCommand(Command);
    return readReply(observe);
}

void TNMFTP::discardControlBytes() {
    if (!ReceiveStream().empty())
        Read(0);
}

// ---- log-in, commands ----

void TNMFTP::Connect() {
    ClearCancel();
    if (Connected())
        return;
    receiveBuffer().clear();
    transferType_ = 'A';
    dataProtected_ = false;
    dataPin_.clear();
    epsvRefused_ = false;
    features_.reset();
    featuresListed_ = false;
    setState(FtpState::Connecting);
    try {
        TPowersock::Connect();
    } catch (...) {
        setState(FtpState::Disconnected);
        throw;
    }
    try {
        {
            LineDeadline deadline(*this);
            readReply(); // the greeting
        }
        // A server that is full or refuses us says so in its greeting: no user name into that.
        checkReply(ReplyStep::Greeting, TCmdType::cmdDoCommand);
        if (UseTls)
            secureControlConnection();
        setState(FtpState::LoggingIn);
        if ((UserID.empty() || Password.empty()) && OnAuthenticationNeeded) {
            bool handled = false;
            OnAuthenticationNeeded(handled);
        }
        StatusMessage(StatusProtocol, "USER " + UserID);
        Transaction(Proxy.empty() ? "USER " + UserID : "USER " + UserID + "@" + Host);
        checkReply(ReplyStep::LogIn, TCmdType::cmdDoCommand);
        if (ReplyNumber() == 331) {
            StatusMessage(StatusProtocol, "PASS ");
            Transaction("PASS " + Password);
            checkReply(ReplyStep::LogIn, TCmdType::cmdDoCommand);
        }
        if (UseTls)
            protectDataConnections();
    } catch (const ESockError&) {
        // Silent, gone, out of step or not secured: no QUIT, which would only wait as long
        // again (or go where the certificate was refused).
        setState(FtpState::Disconnected);
        TPowersock::Disconnect();
        StatusMessage(StatusProtocol, "Disconnected");
        throw;
    } catch (...) {
        // The log-in's own error is the one reported, whatever QUIT meets.
        try {
            Disconnect();
        } catch (...) {
        }
        if (Connected())
            TPowersock::Disconnect();
        setState(FtpState::Disconnected);
        StatusMessage(StatusProtocol, "Disconnected");
        throw;
    }
    setState(FtpState::Ready);
    if (OnConnect)
        OnConnect(this);
}

void TNMFTP::secureControlConnection() {
    setState(FtpState::Securing);
    StatusMessage(StatusProtocol, "AUTH TLS");
    Transaction("AUTH TLS");
    if (!replyCode(LastReply()))
        throw FTPException(kNoReplyCode + LastReply());
    // Refused: the connect ends here, before the user name and the password.
    if (judgeReply(ReplyStep::Auth, ReplyNumber()) != Verdict::Good)
        throw ESecurityRefused(ESecurityRefused::Step::Auth, LastReply());
    if (!tlsContext_ || tlsContextFile_ != TrustedCaFile) {
        tlsContext_ = platform::TlsContext::create(TrustedCaFile);
        tlsContextFile_ = TrustedCaFile;
    }
    TrustQuestion trust;
    if (OnUntrustedCertificate)
        trust = [this](const platform::CertificateInfo& certificate) {
            return OnUntrustedCertificate(certificate);
        };
    // The name the author gave is the one the certificate must be made out for.
    StartTls(tlsContext_, {Proxy.empty() ? Host : Proxy, PinnedCertificate, nullptr}, trust);
    // A certificate the store does not vouch for (pinned, or trusted just now) is the only one
    // a data connection may show.
    const platform::CertificateInfo& certificate = Tls()->certificate();
    if (!PinnedCertificate.empty() || !certificate.problems.empty())
        dataPin_ = certificate.sha256;
}

void TNMFTP::protectDataConnections() {
    for (const char* command : {"PBSZ 0", "PROT P"}) {
        StatusMessage(StatusProtocol, command);
        Transaction(command);
        if (!replyCode(LastReply()))
            throw FTPException(kNoReplyCode + LastReply());
        if (judgeReply(ReplyStep::Protect, ReplyNumber()) != Verdict::Good)
            throw ESecurityRefused(ESecurityRefused::Step::Protect, LastReply());
    }
    dataProtected_ = true;
}

const platform::PageCodec& TNMFTP::NameEncoding() {
    if (NegotiateFeatures && !features_ && Connected() && state_ == FtpState::Ready)
        askFeatures();
    static const platform::PageCodec utf8("UTF-8");
    return features_ && features_->utf8 ? utf8 : platform::cp932();
}

void TNMFTP::askFeatures() {
    features_ = ServerFeatures{};
    settlePendingReply();
    discardControlBytes();
    StatusMessage(StatusProtocol, "FEAT");
    ServerFeatures listed;
    Transaction("FEAT", [&listed](const std::string& line) { noteFeature(line, listed); });
    if (ReplyNumber() != 211)
        return; // no list: nothing is known of the server's features
    featuresListed_ = true;
    *features_ = listed;
    if (listed.utf8) {
        // Servers that list UTF8 take names in UTF-8 whether or not they know this option.
        StatusMessage(StatusProtocol, "OPTS UTF8 ON");
        Transaction("OPTS UTF8 ON");
    }
}

void TNMFTP::Disconnect() {
    ClearCancel();
    if (!Connected())
        return;
    StatusMessage(StatusProtocol, "QUIT");
    try {
        directoryList_.reset();
        Vendor = VendorDetect;
        discardControlBytes();
        setState(FtpState::Disconnected); // the connection ends: a stale reply no longer matters
        Transaction("QUIT");
        checkReply(ReplyStep::Quit, TCmdType::cmdDoCommand);
    } catch (...) {
        TPowersock::Disconnect();
        setState(FtpState::Disconnected);
        throw;
    }
    TPowersock::Disconnect();
}

void TNMFTP::DoCommand(const std::string& Command) {
    const TCmdType type = classifyCommand(Command);
    beginOperation();
    StatusMessage(StatusProtocol, Command);
    settlePendingReply(); // before discarding: a late reply may already be here
    discardControlBytes();
    Transaction(Command);
    if (checkReply(ReplyStep::Command, type))
        return;
    if (Command.starts_with("TYPE ") && Command.size() > 5)
        transferType_ = Command[5];
    else if (Command == "REIN")
        transferType_ = 'A';
    if (OnSuccess)
        OnSuccess(type);
}

void TNMFTP::SetTransferType(int Kind) {
    switch (Kind) {
    case 1:
        DoCommand("TYPE A");
        break;
    case 2:
        DoCommand("TYPE I");
        break;
    case 3:
        DoCommand("TYPE L 8");
        break;
    default:
        break;
    }
}

void TNMFTP::ReInit() { DoCommand("REIN"); }

void TNMFTP::Abort() {
    if (dataSocket_)
        dataSocket_->Cancel();
}

void TNMFTP::detectSystem() {
    if (!directoryList_) {
        if (Vendor == VendorDetect) {
            try {
                DoCommand("SYST");
            } catch (...) {
                // The detection reads whatever the last reply says.
            }
            Vendor = vendorFromSyst(LastReply());
        }
        if (isKnownVendor(Vendor))
            directoryList_ = std::make_unique<TFTPUnixList>();
    }
    if (directoryList_)
        directoryList_->ClearLists();
}

std::optional<std::uint64_t> TNMFTP::remoteSize(const std::string& name) {
    // In ASCII type a size is the server's file, not what comes over the wire.
    if (transferType_ != 'I' && transferType_ != 'L')
        return std::nullopt;
    StatusMessage(StatusProtocol, "SIZE " + name);
    Transaction("SIZE " + name);
    checkReply(ReplyStep::Size, TCmdType::cmdDownload);
    // 500, 502, 550 ...: no size from this server; the 150 reply may still give one.
    return sizeFromReply(LastReply());
}

// ---- transfers ----

void TNMFTP::prepareDataConnection(TCmdType type) {
    dataSocket_->TimeOut = TimeOut;
    dataSocket_->Port = 0;
    if (Passive) {
        dataSocket_->ConnectTo(passiveAddress(type));
        dataSocket_->SetLinger(false, 0); // its end goes out in order, the upload's last bytes too
        return;
    }
    // Listen where the server was told to connect, and take the data connection from the
    // server's address only: another local user could otherwise steal or plant the page.
    const SocketAddress local = LocalAddress();
    dataSocket_->BindAddress = local;
    dataSocket_->AcceptFrom = RemoteAddress();
    dataSocket_->Listen(true);
    const std::string port =
        local.family() == AF_INET6
            ? "EPRT " + eprtArgument(true, local.hostText(), dataSocket_->LocalAddress().port())
            : "PORT " + GetPortAddress() + dataSocket_->GetPortNumbers();
    StatusMessage(StatusProtocol, port);
    Transaction(port);
    checkReply(ReplyStep::Port, type);
}

SocketAddress TNMFTP::passiveAddress(TCmdType type) {
    // Only the port is taken from the reply: the data connection goes to the control
    // connection's peer, wherever a reply (or someone who forged it) points.
    SocketAddress address = RemoteAddress();
    const bool ipv6 = address.family() == AF_INET6;
    std::optional<std::uint16_t> port;
    if (ipv6 || !epsvRefused_) {
        StatusMessage(StatusProtocol, "EPSV");
        Transaction("EPSV");
        if (ReplyNumber() == 229) {
            port = epsvPort(LastReply());
            if (!port)
                throw FTPException(Ftp_Err_NoPassivePort + LastReply());
        } else if (ipv6) {
            checkReply(ReplyStep::Port, type); // PASV cannot say where over IPv6
            throw FTPException(Ftp_Err_NoPassivePort + LastReply());
        } else if (ReplyNumber() >= 500) {
            epsvRefused_ = true; // an older server: PASV from now on
        }
    }
    if (!port) {
        StatusMessage(StatusProtocol, "PASV");
        Transaction("PASV");
        checkReply(ReplyStep::Port, type);
        port = pasvPort(LastReply());
        if (!port)
            throw FTPException(Ftp_Err_NoPassivePort + LastReply());
    }
    address.setPort(*port);
    return address;
}

void TNMFTP::completeDataConnection() {
    if (!Passive) {
        const int fd = dataSocket_->Accept();
        dataSocket_->AdoptSocket(fd); // closes the listening socket, selects every event
    }
    if (dataProtected_) {
        // Resuming the control connection's session proves the same client to the server (many
        // refuse a data connection that does not) and the same server to us.
        const platform::TlsChannel* control = Tls();
        dataSocket_->StartTls(
            tlsContext_, {Proxy.empty() ? Host : Proxy, dataPin_, control ? control->session() : nullptr});
    }
}

bool TNMFTP::finalReply(TCmdType type) {
    if (state_ == FtpState::ServerEnded) {
        // The server ended the transfer with an error reply: that reply is the final one.
        ClearCancel();
    } else if (Canceled() || TimedOut()) {
        setState(FtpState::ReplyOwed);
        StatusMessage(StatusProtocol, LastReply());
        return true;
    }
    setState(FtpState::ReplyOwed); // until it is read
    {
        LineDeadline deadline(*this);
        readReply();
    }
    setState(FtpState::Ready);
    // A transfer the server reports as failed (disk full, aborted) is no success, even when a
    // handler takes it as handled.
    return !checkReply(ReplyStep::Final, type);
}

template <class Body> void TNMFTP::runTransfer(TCmdType type, Body&& body) {
    beginOperation();
    settlePendingReply();
    dataSocket_ = std::make_unique<TPowersock>();
    dataSocket_->ReportLevel = ReportLevel;
    dataSocket_->OnStatus = OnStatus;
    bool confirmed = false;
    try {
        discardControlBytes();
        confirmed = body();
    } catch (...) {
        dataSocket_.reset();
        if (state_ == FtpState::ServerEnded &&
            (Connected() || ReceiveStream().view().find('\n') != std::string_view::npos)) {
            // Report the server's reply, also when the server has gone since and only its last
            // words are left.
            finalReply(type);
        } else if (state_ == FtpState::Data || state_ == FtpState::ServerEnded) {
            setState(FtpState::ReplyOwed);
        }
        if (type == TCmdType::cmdDownload && Canceled())
            DrainAfterAbort();
        throw;
    }
    dataSocket_.reset();
    if (confirmed && OnSuccess)
        OnSuccess(type);
    if (type == TCmdType::cmdDownload && Canceled())
        DrainAfterAbort();
}

void TNMFTP::receiveListing() {
    auto deliver = [this](std::string line) {
        if (ParseList && directoryList_)
            directoryList_->ParseLine(line);
        if (OnListItem)
            OnListItem(line);
    };
    if (Canceled() || TimedOut())
        return;
    TPowersock& data = *dataSocket_;
    for (;;) {
        if (!data.Connected() && data.ReceiveStream().empty())
            return;
        std::string line;
        try {
            line = data.ReadLn();
        } catch (const EAbortError&) {
            throw;
        } catch (const ESockError&) {
            if (data.Connected())
                throw; // timed out or too long a line
            if (data.ReceiveStream().empty())
                return; // the server closed after the last line
            // The last line came without LF: it is a line all the same.
            line = data.Read(0);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            deliver(line);
            return;
        }
        deliver(stripListingLineEnd(std::move(line)));
    }
}

void TNMFTP::List() {
    runTransfer(TCmdType::cmdList, [this] {
        if (ParseList)
            detectSystem();
        prepareDataConnection(TCmdType::cmdList);
        StatusMessage(StatusProtocol, "LIST");
        Transaction("LIST");
        checkReply(ReplyStep::Transfer, TCmdType::cmdList);
        setState(FtpState::Data);
        setBytesTotal(static_cast<std::int64_t>(ParseByteCount(LastReply())));
        if (OnTransactionStart)
            OnTransactionStart(this);
        completeDataConnection();
        receiveListing();
        if (OnTransactionStop)
            OnTransactionStop(this);
        const std::uint64_t received = dataSocket_->BytesRecvd();
        dataSocket_->RequestCloseSocket();
        setBytesTotal(static_cast<std::int64_t>(received));
        StatusMessage(StatusProtocol, "Received " + std::to_string(received) + " Bytes");
        return finalReply(TCmdType::cmdList);
    });
}

void TNMFTP::Download(const std::string& RemoteFile, const std::string& LocalFile) {
    doc::ReceivedFile file(LocalFile.empty() ? RemoteFile : LocalFile, doc::Backup::None);
    if (!Download(RemoteFile, file.out()))
        return; // nothing complete and confirmed to keep
    // Flushing a large file takes long; the event loop keeps turning meanwhile.
    platform::runAside([&] { file.install(); });
}

bool TNMFTP::Download(const std::string& RemoteFile, doc::OutputFile& LocalFile) {
    bool complete = false;
    runTransfer(TCmdType::cmdDownload, [&] {
        if (OnPacketRecvd)
            dataSocket_->OnPacketRecvd = OnPacketRecvd;
        if (!isSafeArgument(RemoteFile))
            throw FTPException(kUnsafeCommand);
        std::optional<std::uint64_t> expected = remoteSize(RemoteFile);
        prepareDataConnection(TCmdType::cmdDownload);
        StatusMessage(StatusProtocol, "RETR " + RemoteFile);
        setBytesTotal(0);
        std::uint64_t count = 0;
        std::optional<std::uint64_t> announced;
        Transaction("RETR " + RemoteFile, [&](const std::string& line) {
            if (count == 0)
                count = ParseByteCount(line);
            if (!announced)
                announced = announcedSize(line);
        });
        checkReply(ReplyStep::Transfer, TCmdType::cmdDownload);
        setState(FtpState::Data);
        if (!expected)
            expected = announced;
        setBytesTotal(static_cast<std::int64_t>(expected ? *expected : count));
        completeDataConnection();
        if (OnTransactionStart)
            OnTransactionStart(this);
        if (!Canceled() && !TimedOut())
            dataSocket_->CaptureFile(LocalFile);
        if (OnTransactionStop)
            OnTransactionStop(this);
        const std::uint64_t received = dataSocket_->BytesRecvd();
        // Over TLS, an end without close_notify may be anybody's cut: only a known size can
        // tell the page is whole then.
        const bool cut = dataSocket_->Tls() && dataSocket_->TlsEnd() == platform::TlsStatus::Truncated;
        dataSocket_->RequestCloseSocket();
        setBytesTotal(static_cast<std::int64_t>(received));
        StatusMessage(StatusProtocol, "Received " + std::to_string(received) + " Bytes");
        const bool interrupted = Canceled() || TimedOut();
        const bool confirmed = finalReply(TCmdType::cmdDownload) && !(cut && !expected);
        complete = !interrupted && confirmed;
        // In ASCII type the line ends may grow on the way; in binary type the count is exact.
        const bool binary = transferType_ == 'I' || transferType_ == 'L';
        if (complete && expected && (received < *expected || (binary && received != *expected)))
            throw EIncompleteDownload(*expected, received);
        return confirmed;
    });
    return complete;
}

void TNMFTP::Upload(const std::string& LocalFile, const std::string& RemoteFile) {
    runTransfer(TCmdType::cmdUpload, [&] {
        {
            doc::InputFile file(LocalFile);
            setBytesTotal(static_cast<std::int64_t>(doc::fileSize(file)));
            file.close();
        }
        // The local name is a file-system path; the server gets its last part in the server's
        // encoding, exactly or not at all, before anything is sent for this upload.
        std::string name = RemoteFile;
        const platform::PageCodec& encoding = NameEncoding();
        if (name.empty()) {
            const QString local = QString::fromUtf8(doc::fileNameOf(LocalFile).c_str());
            name = encoding.encodeExactly(local, local);
        }
        if (OnPacketSent)
            dataSocket_->OnPacketSent = OnPacketSent;
        prepareDataConnection(TCmdType::cmdUpload);
        StatusMessage(StatusProtocol, "STOR " + (RemoteFile.empty() ? LocalFile : RemoteFile));
        Transaction("STOR " + name);
        checkReply(ReplyStep::Transfer, TCmdType::cmdUpload);
        setState(FtpState::Data);
        completeDataConnection();
        if (OnTransactionStart)
            OnTransactionStart(this);
        if (!Canceled() && !TimedOut())
            dataSocket_->SendFile(LocalFile);
        if (OnTransactionStop)
            OnTransactionStop(this);
        const bool interrupted = Canceled() || TimedOut();
        const std::uint64_t sent = dataSocket_->BytesSent();
        dataSocket_->SetLinger(false, 0);
        if (dataSocket_->Tls()) {
            // Our close_notify says the page is whole (some servers refuse an upload without
            // it); the socket reads on until the server has answered, so that nothing it still
            // sends turns our close into a reset.
            if (!interrupted)
                dataSocket_->ShutdownTls();
        } else {
            dataSocket_->RequestCloseSocket();
        }
        const bool confirmed = finalReply(TCmdType::cmdUpload);
        dataSocket_->RequestCloseSocket();
        if (confirmed && !interrupted)
            verifyUpload(name, sent);
        return confirmed;
    });
}

void TNMFTP::verifyUpload(const std::string& name, std::uint64_t sent) {
    // Only a binary type makes the server's size the bytes sent.
    if (!NegotiateFeatures || (transferType_ != 'I' && transferType_ != 'L'))
        return;
    if (featuresListed_ && !features_->size)
        return; // the server said it has no SIZE
    StatusMessage(StatusProtocol, "SIZE " + name);
    Transaction("SIZE " + name);
    // A refusal (no SIZE after all, a folder one may write but not read) leaves it unchecked.
    const auto held = sizeFromReply(LastReply());
    if (held && *held != sent)
        throw EUploadMismatch(sent, *held);
}

void TNMFTP::DrainAfterAbort() {
    ClearCancel();
    // The interrupted download's reply may come at once: a short look, not a wait for it.
    wait([this] { return !ReceiveStream().empty() || !Connected(); }, Limit::Deadline, QDeadlineTimer(950));
    const std::string drained = ReceiveStream().empty() ? std::string() : Read(0);
    if (!drained.empty()) {
        StatusMessage(StatusProtocol, drained);
        // What came was the interrupted transfer's reply when it holds a complete last line.
        setState(drained.back() == '\n' ? FtpState::Ready : FtpState::ReplyOwed);
    }
}

} // namespace quillet::net
