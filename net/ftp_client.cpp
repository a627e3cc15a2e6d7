#include "net/ftp_client.h"

#include <QCoreApplication>
#include <QTimer>
#include <arpa/inet.h>
#include <optional>
#include <sys/socket.h>

#include "document/file_io.h"
#include "document/paths.h"
#include "document/work_files.h"
#include "net/texts.h"
#include "platform/codepage.h"
#include "platform/message_pump.h"

namespace quillet::net {

using namespace NMConst;

namespace {
constexpr const char* kUnsafeCommand = Ftp_Err_UnsafeCommand;
constexpr const char* kNoReplyCode = Ftp_Err_NoReplyCode;
constexpr const char* kNameNotCp932 = Ftp_Err_NameNotCp932;

bool inRange(int code, int low, int high) { return code >= low && code <= high; }

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

// One deadline for all lines of a reply, so that a reply that never ends, or trickles in a
// byte at a time, is over after TimeOut all the same. Nested readers keep the outer deadline.
class ReplyClock {
public:
    explicit ReplyClock(TPowersock& socket) : socket_(socket), outer_(socket.ReadDeadline) {
        if (outer_.isForever() && socket.TimeOut > 0)
            socket.ReadDeadline = QDeadlineTimer(socket.TimeOut);
    }
    ~ReplyClock() { socket_.ReadDeadline = outer_; }
    ReplyClock(const ReplyClock&) = delete;
    ReplyClock& operator=(const ReplyClock&) = delete;

private:
    TPowersock& socket_;
    QDeadlineTimer outer_;
};
} // namespace

EIncompleteDownload::EIncompleteDownload(std::uint64_t expected, std::uint64_t received)
    : std::runtime_error(Ftp_Err_Incomplete + std::to_string(received) + Ftp_Err_IncompleteOf +
                         std::to_string(expected) + Ftp_Err_IncompleteBytes),
      expected_(expected), received_(received) {}

TNMFTP::TNMFTP(QObject* Owner) : TPowersock(Owner) {
    Port = 21;
    // A 421 or 426 on the control connection cancels what waits for a reply; while a transfer
    // waits for its data, any error reply ends that wait too (the server will not send or
    // take the data any more).
    OnDataArrived = [this](QObject*) {
        const std::string_view unread = ReceiveStream.view();
        if (!watchReplies_ || unread.size() < 4)
            return;
        const bool closing = unread.starts_with("421") || unread.starts_with("426");
        const bool error = unread[0] == '4' || unread[0] == '5';
        if (dataWait_ && error && DataSocket) {
            serverAborted_ = true;
            DataSocket->Cancel();
        }
        if (closing) {
            serverAborted_ = true;
            Cancel();
        }
    };
}

TNMFTP::~TNMFTP() {
    Abort(); // the base destructor cannot reach this class's Abort any more
    Cancel();
    if (TimeOut <= 0 || TimeOut > 3000)
        TimeOut = 3000; // going away: QUIT gets a short answer time, whatever was set
    if (Connected) {
        try {
            Disconnect();
        } catch (...) {
            // Going away: a refused QUIT changes nothing.
        }
    }
    DirectoryList.reset();
    DataSocket.reset();
}

void TNMFTP::SkipContinuationLines(const std::string& first) {
    ReplyReader reader;
    bool more = reader.start(first);
    while (more) {
        const std::string line = ReadLn();
        StatusMessage(StatusProtocol, line);
        more = reader.next(line);
    }
}

void TNMFTP::settlePendingReply() {
    if (!replyPending_)
        return;
    replyPending_ = false;
    // A late "226" or "426" must never be taken for the answer to the next command.
    const int savedTimeOut = TimeOut;
    TimeOut = TimeOut > 0 ? std::min(TimeOut, PendingReplyWait) : PendingReplyWait;
    watchReplies_ = false; // the 426 we wait for is no reason to cancel
    Canceled = false;
    serverAborted_ = false;
    try {
        ReplyClock clock(*this);
        const std::string line = ReadLn();
        StatusMessage(StatusProtocol, line);
        SkipContinuationLines(line);
        TimeOut = savedTimeOut;
        watchReplies_ = true;
    } catch (...) {
        TimeOut = savedTimeOut;
        watchReplies_ = true;
        Canceled = false;
        TPowersock::Disconnect();
        throw;
    }
}

void TNMFTP::replyBroken() {
    if (!Connected)
        return;
    if (TimedOut)
        replyPending_ = true; // a late answer must not be taken for the next command's
    else
        TPowersock::Disconnect(); // an overlong or endless reply: out of step for good
}

std::string TNMFTP::Transaction(const std::string& Command) {
    if (!isSafeArgument(Command))
        throw FTPException(kUnsafeCommand);
    settlePendingReply();
    ReplyClock clock(*this);
    std::string first;
    try {
        first = TPowersock::Transaction(Command);
    } catch (const EAbortError&) {
        // The watcher cancelled the read because the reply is a 421 or 426: that line is the
        // answer, and the caller should see the server's words.
        const auto lf = ReceiveStream.view().find('\n');
        if (!serverAborted_ || lf == std::string_view::npos)
            throw;
        serverAborted_ = false;
        Canceled = false;
        first = ReceiveStream.take(lf + 1);
        LastReply = first;
        ReplyNumber = replyCode(first).value_or(0);
        StatusMessage(StatusProtocol, first);
    } catch (const ESockError&) {
        replyBroken();
        throw;
    }
    if (!replyCode(first))
        throw FTPException(kNoReplyCode + first);
    try {
        SkipContinuationLines(first);
    } catch (const EAbortError&) {
        throw;
    } catch (const ESockError&) {
        replyBroken();
        throw;
    }
    return first;
}

void TNMFTP::raiseFailure(const std::string& reply) { throw FTPException(reply); }

void TNMFTP::failureProtocol(TCmdType type, bool checkUnsupported) {
    if (checkUnsupported && inRange(ReplyNumber, 500, 502) && OnUnSupportedFunction)
        OnUnSupportedFunction(type);
    if (!OnFailure)
        raiseFailure(LastReply);
    bool handled = false;
    OnFailure(handled, type);
    if (!handled)
        raiseFailure(LastReply);
}

void TNMFTP::discardControlBytes() {
    if (!ReceiveStream.empty())
        Read(0);
}

void TNMFTP::Connect() {
    Canceled = false;
    if (Connected)
        return;
    ReceiveStream.clear();
    replyPending_ = false;
    serverAborted_ = false;
    transferType_ = 'A';
    watchReplies_ = false; // a greeting of 421 is the greeting, read as such
    TPowersock::Connect();
    try {
        std::optional<ReplyClock> clock(std::in_place, *this);
        const std::string greeting = ReadLn();
        StatusMessage(StatusProtocol, greeting);
        const auto code = replyCode(greeting);
        if (!code)
            throw FTPException(kNoReplyCode + greeting);
        LastReply = greeting;
        ReplyNumber = *code;
        SkipContinuationLines(greeting);
        clock.reset();
        // A server that is full or refuses us says so in its greeting: no user name into that.
        if (*code >= 400)
            raiseFailure(greeting);
        watchReplies_ = true;
        if ((UserID.empty() || Password.empty()) && OnAuthenticationNeeded) {
            bool handled = false;
            OnAuthenticationNeeded(handled);
        }
        StatusMessage(StatusProtocol, "USER " + UserID);
        Transaction(Proxy.empty() ? "USER " + UserID : "USER " + UserID + "@" + Host);
        auto refused = [this] {
            if (inRange(ReplyNumber, 401, 599)) {
                if (OnConnectionFailed)
                    OnConnectionFailed(this);
                raiseFailure(LastReply);
            }
        };
        refused();
        if (ReplyNumber == 331) {
            StatusMessage(StatusProtocol, "PASS ");
            Transaction("PASS " + Password);
            refused();
        }
    } catch (const ESockError&) {
        // Silent, gone or out of step: no QUIT, which would only wait as long again.
        TPowersock::Disconnect();
        StatusMessage(StatusProtocol, "Disconnected");
        throw;
    } catch (...) {
        // The log-in's own error is the one reported, whatever QUIT meets.
        try {
            Disconnect();
        } catch (...) {
        }
        if (Connected)
            TPowersock::Disconnect();
        StatusMessage(StatusProtocol, "Disconnected");
        throw;
    }
    if (OnConnect)
        OnConnect(this);
}

void TNMFTP::Disconnect() {
    Canceled = false;
    if (!Connected)
        return;
    StatusMessage(StatusProtocol, "QUIT");
    try {
        DirectoryList.reset();
        Vendor = VendorDetect;
        discardControlBytes();
        replyPending_ = false; // the connection ends: a stale reply no longer matters
        Transaction("QUIT");
        if (inRange(ReplyNumber, 301, 599))
            raiseFailure(LastReply);
    } catch (...) {
        TPowersock::Disconnect();
        throw;
    }
    TPowersock::Disconnect();
}

void TNMFTP::DoCommand(const std::string& Command) {
    const TCmdType type = classifyCommand(Command);
    Canceled = false;
    CheckConnection();
    StatusMessage(StatusProtocol, Command);
    settlePendingReply(); // before discarding: a late reply may already be here
    discardControlBytes();
    Transaction(Command);
    if (inRange(ReplyNumber, 400, 599)) {
        failureProtocol(type, true);
        return;
    }
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
    if (DataSocket)
        DataSocket->Cancel();
}

void TNMFTP::detectSystem() {
    if (!DirectoryList) {
        if (Vendor == VendorDetect) {
            try {
                DoCommand("SYST");
            } catch (...) {
                // The detection reads whatever the last reply says.
            }
            Vendor = vendorFromSyst(LastReply);
        }
        if (isKnownVendor(Vendor))
            DirectoryList = std::make_unique<TFTPUnixList>();
    }
    if (DirectoryList)
        DirectoryList->ClearLists();
}

std::optional<std::uint64_t> TNMFTP::remoteSize(const std::string& name) {
    // In ASCII type a size is the server's file, not what comes over the wire.
    if (transferType_ != 'I' && transferType_ != 'L')
        return std::nullopt;
    StatusMessage(StatusProtocol, "SIZE " + name);
    Transaction("SIZE " + name);
    if (ReplyNumber == 421)
        raiseFailure(LastReply);
    // 500, 502, 550 ...: no size from this server; the 150 reply may still give one.
    return sizeFromReply(LastReply);
}

void TNMFTP::openDataConnection() {
    DataSocket->TimeOut = TimeOut;
    DataSocket->Port = 0;
    // Listen where the server was told to connect, and take the data connection from the
    // server's address only: another local user could otherwise steal or plant the page.
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (::getsockname(SocketHandle(), reinterpret_cast<sockaddr*>(&local), &length) == 0)
        DataSocket->BindAddress = local.sin_addr.s_addr;
    DataSocket->AcceptFrom = RemoteAddress.sin_addr.s_addr;
    DataSocket->Listen(true);
}

void TNMFTP::sendPort(TCmdType type) {
    const std::string port = "PORT " + GetPortAddress() + DataSocket->GetPortNumbers();
    StatusMessage(StatusProtocol, port);
    Transaction(port);
    if (inRange(ReplyNumber, 301, 599))
        failureProtocol(type, false);
}

void TNMFTP::acceptDataConnection() {
    const int fd = DataSocket->Accept();
    DataSocket->AdoptSocket(fd); // closes the listening socket, selects every event
}

void TNMFTP::finalReply(TCmdType type) {
    dataWait_ = false;
    if (serverAborted_) {
        // The server ended the transfer with 421 or 426: that reply is the final one.
        serverAborted_ = false;
        Canceled = false;
    } else if (Canceled || TimedOut) {
        replyPending_ = true;
        StatusMessage(StatusProtocol, LastReply);
        return;
    }
    // The final reply may itself be a 421 or 426: it must be read, not cancelled.
    struct Unwatched {
        bool& watch;
        ~Unwatched() { watch = true; }
    } unwatched{watchReplies_};
    watchReplies_ = false;
    ReplyClock clock(*this);
    const std::string line = ReadLn();
    StatusMessage(StatusProtocol, line);
    const auto code = replyCode(line);
    LastReply = line;
    ReplyNumber = code.value_or(0);
    SkipContinuationLines(line);
    replyPending_ = false;
    // A transfer the server reports as failed (disk full, aborted) is no success.
    if (!code)
        throw FTPException(kNoReplyCode + line);
    if (*code >= 400) {
        // Even when a handler takes it as handled, the transfer did not succeed.
        finalFailed_ = true;
        failureProtocol(type, false);
    }
}

template <class Body> void TNMFTP::runTransfer(TCmdType type, Body&& body) {
    Canceled = false;
    CheckConnection();
    settlePendingReply();
    DataSocket = std::make_unique<TPowersock>();
    DataSocket->ReportLevel = ReportLevel;
    DataSocket->OnStatus = OnStatus;
    finalFailed_ = false;
    serverAborted_ = false;
    bool reachedEnd = false;
    try {
        discardControlBytes();
        body();
        reachedEnd = true;
    } catch (...) {
        dataWait_ = false;
        DataSocket.reset();
        // The server ended the transfer with an error reply: report that reply, also when the
        // server has gone since and only its last words are left.
        if (serverAborted_ && (Connected || ReceiveStream.view().find('\n') != std::string_view::npos))
            finalReply(type);
        if (type == TCmdType::cmdDownload && Canceled)
            DrainAfterAbort();
        throw;
    }
    DataSocket.reset();
    if (reachedEnd && !finalFailed_ && OnSuccess)
        OnSuccess(type);
    if (type == TCmdType::cmdDownload && Canceled)
        DrainAfterAbort();
}

void TNMFTP::receiveListing() {
    auto deliver = [this](std::string line) {
        if (ParseList && DirectoryList)
            DirectoryList->ParseLine(line);
        if (OnListItem)
            OnListItem(line);
    };
    if (Canceled || TimedOut)
        return;
    for (;;) {
        if (!DataSocket->Connected && DataSocket->ReceiveStream.empty())
            return;
        std::string line;
        try {
            line = DataSocket->ReadLn();
        } catch (const EAbortError&) {
            throw;
        } catch (const ESockError&) {
            if (DataSocket->Connected)
                throw; // timed out or too long a line
            if (DataSocket->ReceiveStream.empty())
                return; // the server closed after the last line
            // The last line came without LF: it is a line all the same.
            line = DataSocket->ReceiveStream.take(DataSocket->ReceiveStream.size());
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
        openDataConnection();
        sendPort(TCmdType::cmdList);
        StatusMessage(StatusProtocol, "LIST");
        Transaction("LIST");
        if (inRange(ReplyNumber, 301, 599))
            failureProtocol(TCmdType::cmdList, true);
        replyPending_ = true; // until the final reply is read
        dataWait_ = true;
        BytesTotal = static_cast<std::int64_t>(ParseByteCount(LastReply));
        if (OnTransactionStart)
            OnTransactionStart(this);
        acceptDataConnection();
        receiveListing();
        if (OnTransactionStop)
            OnTransactionStop(this);
        const std::uint64_t received = DataSocket->BytesRecvd + 0;
        DataSocket->RequestCloseSocket();
        BytesTotal = static_cast<std::int64_t>(received);
        StatusMessage(StatusProtocol, "Received " + std::to_string(received) + " Bytes");
        finalReply(TCmdType::cmdList);
    });
}

void TNMFTP::Download(const std::string& RemoteFile, const std::string& LocalFile) {
    doc::ReceivedFile file(LocalFile.empty() ? RemoteFile : LocalFile, doc::Backup::None);
    if (!Download(RemoteFile, file.out()))
        return; // nothing complete and confirmed to keep
    file.install();
}

bool TNMFTP::Download(const std::string& RemoteFile, doc::OutputFile& LocalFile) {
    bool complete = false;
    runTransfer(TCmdType::cmdDownload, [&] {
        if (OnPacketRecvd)
            DataSocket->OnPacketRecvd = OnPacketRecvd;
        if (!isSafeArgument(RemoteFile))
            throw FTPException(kUnsafeCommand);
        std::optional<std::uint64_t> expected = remoteSize(RemoteFile);
        openDataConnection();
        sendPort(TCmdType::cmdDownload);
        StatusMessage(StatusProtocol, "RETR " + RemoteFile);
        BytesTotal = 0;
        {
            ReplyClock clock(*this);
            // The socket's own transaction: the continuation lines are read below, for their count.
            try {
                TPowersock::Transaction("RETR " + RemoteFile);
            } catch (const ESockError&) {
                if (TimedOut && Connected)
                    replyPending_ = true;
                throw;
            }
            if (!replyCode(LastReply))
                throw FTPException(kNoReplyCode + LastReply);
            if (inRange(ReplyNumber, 301, 599))
                failureProtocol(TCmdType::cmdDownload, true);
            replyPending_ = true;
            BytesTotal = static_cast<std::int64_t>(ParseByteCount(LastReply));
            std::optional<std::uint64_t> announced = announcedSize(LastReply);
            ReplyReader reader;
            for (bool more = reader.start(LastReply); more;) {
                const std::string line = ReadLn();
                StatusMessage(StatusProtocol, line);
                if (BytesTotal == 0)
                    BytesTotal = static_cast<std::int64_t>(ParseByteCount(line));
                if (!announced)
                    announced = announcedSize(line);
                more = reader.next(line);
            }
            if (!expected)
                expected = announced;
            if (expected)
                BytesTotal = static_cast<std::int64_t>(*expected);
        }
        dataWait_ = true;
        acceptDataConnection();
        if (OnTransactionStart)
            OnTransactionStart(this);
        if (!Canceled && !TimedOut)
            DataSocket->CaptureFile(LocalFile);
        if (OnTransactionStop)
            OnTransactionStop(this);
        const std::uint64_t received = DataSocket->BytesRecvd;
        DataSocket->RequestCloseSocket();
        BytesTotal = static_cast<std::int64_t>(received);
        StatusMessage(StatusProtocol, "Received " + std::to_string(received) + " Bytes");
        const bool interrupted = Canceled || TimedOut;
        finalReply(TCmdType::cmdDownload);
        complete = !interrupted && !finalFailed_;
        // In ASCII type the line ends may grow on the way; in binary type the count is exact.
        const bool binary = transferType_ == 'I' || transferType_ == 'L';
        if (complete && expected && (received < *expected || (binary && received != *expected)))
            throw EIncompleteDownload(*expected, received);
    });
    return complete;
}

void TNMFTP::Upload(const std::string& LocalFile, const std::string& RemoteFile) {
    runTransfer(TCmdType::cmdUpload, [&] {
        openDataConnection();
        {
            doc::InputFile file(LocalFile);
            BytesTotal = static_cast<std::int64_t>(doc::fileSize(file));
            file.close();
        }
        if (OnPacketSent)
            DataSocket->OnPacketSent = OnPacketSent;
        sendPort(TCmdType::cmdUpload);
        std::string name = RemoteFile;
        if (name.empty()) {
            // The local name is a file-system path; the server gets its last part in CP932.
            const auto encoded =
                platform::cp932().encodeStrict(QString::fromUtf8(doc::fileNameOf(LocalFile).c_str()));
            if (!encoded)
                throw FTPException(kNameNotCp932);
            name = *encoded;
        }
        StatusMessage(StatusProtocol, "STOR " + (RemoteFile.empty() ? LocalFile : RemoteFile));
        Transaction("STOR " + name);
        if (inRange(ReplyNumber, 301, 599))
            failureProtocol(TCmdType::cmdUpload, true);
        replyPending_ = true;
        dataWait_ = true;
        acceptDataConnection();
        if (OnTransactionStart)
            OnTransactionStart(this);
        if (!Canceled && !TimedOut)
            DataSocket->SendFile(LocalFile);
        if (OnTransactionStop)
            OnTransactionStop(this);
        DataSocket->SetLinger(false, 0);
        DataSocket->RequestCloseSocket();
        finalReply(TCmdType::cmdUpload);
    });
}

void TNMFTP::DrainAfterAbort() {
    Canceled = false;
    // The reply drained here is expected; it must not cancel the drain itself.
    struct Unwatched {
        bool& watch;
        ~Unwatched() { watch = true; }
    } unwatched{watchReplies_};
    watchReplies_ = false;
    bool expired = false;
    QTimer clock;
    clock.setSingleShot(true);
    QObject::connect(&clock, &QTimer::timeout, [&expired] { expired = true; });
    clock.start(950);
    platform::waitUntil([&] { return expired || !ReceiveStream.empty() || !Connected; });
    std::string drained = ReceiveStream.empty() ? std::string() : Read(0);
    if (!drained.empty()) {
        StatusMessage(StatusProtocol, drained);
        // What came was the interrupted transfer's reply when it holds a complete last line.
        replyPending_ = drained.back() != '\n';
    }
}

} // namespace quillet::net
