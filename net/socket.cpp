#include "net/socket.h"

#include "document/file_io.h"
#include "net/texts.h"

#include <QCoreApplication>
#include <QTimerEvent>
#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <sys/resource.h>
#include <sys/stat.h>

namespace quillet::net {

using namespace NMConst;
using platform::AsyncSocket;
using platform::Message;

namespace {

int startupCount = 0;

// Runs f on the way out unless the component went away meanwhile.
class RestoreOnExit {
public:
    RestoreOnExit(std::shared_ptr<bool> alive, std::function<void()> f)
        : alive_(std::move(alive)), f_(std::move(f)) {}
    ~RestoreOnExit() {
        if (*alive_)
            f_();
    }
    RestoreOnExit(const RestoreOnExit&) = delete;
    RestoreOnExit& operator=(const RestoreOnExit&) = delete;

private:
    std::shared_ptr<bool> alive_;
    std::function<void()> f_;
};

} // namespace

// ---- TThreadTimer ----

TThreadTimer::TThreadTimer(QObject* Owner) : QObject(Owner) {}

TThreadTimer::~TThreadTimer() {
    enabled_ = false;
    if (timerId_)
        killTimer(timerId_);
}

void TThreadTimer::SetInterval(unsigned value) {
    if (value == interval_)
        return;
    interval_ = value;
    UpdateTimer();
}

void TThreadTimer::SetEnabled(bool value) {
    if (value == enabled_)
        return;
    enabled_ = value;
    UpdateTimer();
}

void TThreadTimer::SetOnTimer(TNotifyEvent handler) {
    onTimer_ = std::move(handler);
    UpdateTimer();
}

void TThreadTimer::UpdateTimer() {
    if (timerId_) {
        killTimer(timerId_);
        timerId_ = 0;
    }
    if (interval_ != 0 && enabled_ && onTimer_) {
        timerId_ = startTimer(static_cast<int>(std::min<unsigned>(interval_, INT32_MAX)), Qt::PreciseTimer);
        if (!timerId_)
            throw std::runtime_error(Sock_Err_NoTimer);
    }
}

void TThreadTimer::timerEvent(QTimerEvent* event) {
    if (event->timerId() != timerId_ || !onTimer_)
        return;
    try {
        // A copy: the handler may replace itself.
        TNotifyEvent handler = onTimer_;
        handler(this);
    } catch (...) {
        platform::reportException(std::current_exception());
    }
}

// ---- ReceiveBuffer ----

std::string ReceiveBuffer::take(std::size_t n) {
    n = std::min(n, size());
    std::string out = data_.substr(head_, n);
    head_ += n;
    if (head_ == data_.size())
        clear();
    else if (head_ > 65536 && head_ > data_.size() / 2) {
        data_.erase(0, head_);
        head_ = 0;
    }
    return out;
}

void ReceiveBuffer::clear() {
    data_.clear();
    head_ = 0;
}

// ---- TPowersock: creation, start-up, destruction ----

TPowersock::TPowersock(QObject* Owner) : QObject(Owner) {
    StatusMessage(StatusStep, Cons_Msg_Create);
    window_ = std::make_unique<platform::MessageWindow>();
    window_->setHandler([this, alive = alive_](const Message& m) {
        if (!*alive)
            return;
        ++dispatchDepth_;
        try {
            Dispatch(m);
        } catch (...) {
            // Never across Qt's dispatch, and never swallowed: the application shows it.
            platform::reportException(std::current_exception());
        }
        if (*alive)
            --dispatchDepth_;
    });
    timer_ = std::make_unique<TThreadTimer>();
    timer_->SetEnabled(false);
    timer_->SetOnTimer([this](QObject*) { TimerTriggered(); });
    lookup_ = std::make_unique<platform::HostLookup>(window_.get());
    InitWinsock();
}

void TPowersock::InitWinsock() {
    StatusMessage(StatusStep, Cons_Msg_InitWinsock);
    if (++startupCount == 1) {
        rlimit files{};
        ::getrlimit(RLIMIT_NOFILE, &files);
        WinsockInfo = {
            std::string(Cons_Info_Version) + "1.1",
            std::string(Cons_Info_HighVersion) + "2.2",
            std::string(Cons_Info_Description) + "POSIX sockets on the Qt event loop",
            std::string(Cons_Info_System) + "Running",
            std::string(Cons_Info_MaxSockets) + std::to_string(files.rlim_cur),
            std::string(Cons_Info_MaxUdp) + "65467",
        };
    }
    counted_ = true;
    try {
        openSocket(true);
    } catch (...) {
        --startupCount;
        counted_ = false;
        throw ESockError(Sock_Err_Init);
    }
}

void TPowersock::openSocket(bool resetOnClose) {
    auto socket = AsyncSocket::create();
    if (!socket || (resetOnClose && !socket->setLinger(true, 0)))
        throw ESockError(Sock_Err_Init);
    socket_ = std::move(socket);
    closeError_ = 0;
    peerClosed_ = false;
    selectAll();
}

void TPowersock::selectAll() { socket_->select(window_.get(), WM_SOCKET, platform::FD_ALL_EVENTS); }

TPowersock::~TPowersock() {
    destroying_ = true;
    StatusMessage(StatusStep, Cons_Msg_Destroy);
    // A wait of ours may still be on the stack: it sees this and unwinds without touching us.
    *alive_ = false;
    try {
        Abort();
    } catch (...) {
    }
    Cancel();
    lookup_.reset(); // a late lookup reply now goes nowhere
    timer_.reset();
    NoReopen = true;
    accepted_.reset();
    socket_.reset();
    // Destroyed from one of its own notifications: the window goes once that has returned.
    if (dispatchDepth_ > 0)
        window_.release()->deleteLater();
    else
        window_.reset();
    if (counted_)
        --startupCount;
}

int TPowersock::StartupCount() { return startupCount; }

void TPowersock::Free() {
    if (waitDepth_ > 0) {
        // Deleted when the wait has unwound (see waitFor).
        freePending_ = true;
        Cancel();
    } else if (dispatchDepth_ > 0) {
        deleteLater();
    } else {
        delete this;
    }
}

int TPowersock::SocketHandle() const { return socket_ ? socket_->fd() : -1; }

// ---- status and errors ----

void TPowersock::StatusMessage(int Level, const std::string& Text) {
    if (Level > ReportLevel)
        return;
    Status = Text;
    if (!destroying_ && OnStatus)
        OnStatus(this, Text);
}

std::string TPowersock::ErrorMessage(int ErrorNo) {
    StatusMessage(StatusStep, Cons_Msg_LookupError);
    if (ErrorNo == 0)
        return {};
    if (const char* text = winsockErrorText(ErrorNo))
        return std::to_string(ErrorNo) + ":" + text;
    return Sock_Err_Unknown + std::to_string(ErrorNo);
}

void TPowersock::raiseSocketError(int error) {
    LastErrorNo = error;
    std::string text = ErrorMessage(error);
    if (OnError)
        OnError(this, error, text);
    throw ESockError(text);
}

void TPowersock::ErrorManager(int IgnoreError) {
    StatusMessage(StatusErrorCheck, Cons_Msg_ErrorManager);
    int error = socket_ ? socket_->lastError() : platform::WSAENOTCONN;
    if (error == IgnoreError) {
        LastErrorNo = error;
        return;
    }
    raiseSocketError(error);
}

void TPowersock::raiseConnectionGone() {
    if (closeError_)
        throw ESockError(ErrorMessage(closeError_));
    if (peerClosed_)
        throw ESockError(Sock_Err_PeerClosed);
    throw ESockError(ErrorMessage(platform::WSAENOTCONN));
}

void TPowersock::CheckConnection() {
    for (int round = 0; !Connected; ++round) {
        if (round > 0 || !OnConnectionRequired)
            throw std::runtime_error(Sock_Err_NotConnected);
        bool handled = false;
        OnConnectionRequired(handled);
        if (!handled)
            throw std::runtime_error(Sock_Err_NotConnected);
    }
}

// ---- timer and waiting ----

void TPowersock::TimerOn() {
    StatusMessage(StatusStep, Cons_Msg_TimerOn);
    TimedOut = false;
    // A negative time-out counts as none.
    timer_->SetInterval(TimeOut > 0 ? static_cast<unsigned>(TimeOut) : 0);
    timer_->SetEnabled(true);
}

void TPowersock::TimerOff() {
    StatusMessage(StatusStep, Cons_Msg_TimerOff);
    timer_->SetEnabled(false);
}

void TPowersock::TimerTriggered() {
    StatusMessage(StatusStep, Cons_Msg_TimerTriggered);
    if (transferWait_ && TimeOut > 0) {
        // A transfer times out only after TimeOut without progress, or at its deadline.
        qint64 left = TimeOut - lastProgress_.elapsed();
        if (!waitDeadline_.isForever())
            left = std::min(left, waitDeadline_.remainingTime());
        if (left > 0) {
            timer_->SetInterval(static_cast<unsigned>(left));
            return;
        }
    }
    TimerOff();
    TimedOut = true;
    Abort();
}

void TPowersock::waitFor(const std::function<bool()>& done) {
    std::shared_ptr<bool> alive = alive_;
    // Whoever waits has taken bytes from a full buffer, or wants more than it holds.
    if (readPaused_ && (ReceiveStream.size() < std::max(kReceiveLimit, readWanted_))) {
        readPaused_ = false;
        postToSelf(WM_READMORE);
    }
    ++waitDepth_;
    platform::waitUntil([&] { return !*alive || Canceled || done(); });
    if (!*alive)
        throw EAbortError(Sock_Err_SendAborted); // destroyed meanwhile: touch nothing of it
    // Posted at the caller's level, so the deletion happens once control is back in the event
    // loop, never in a pump further down this operation.
    if (--waitDepth_ == 0 && freePending_)
        deleteLater();
}

bool TPowersock::waitForTransfer(const std::function<bool()>& done, QDeadlineTimer deadline) {
    if (TimeOut <= 0) {
        waitFor(done);
        return true;
    }
    if (deadline.hasExpired())
        return done();
    TimerOn();
    waitDeadline_ = deadline;
    if (!deadline.isForever())
        timer_->SetInterval(static_cast<unsigned>(std::clamp<qint64>(deadline.remainingTime(), 1, TimeOut)));
    transferWait_ = true;
    noteProgress();
    waitFor([&] { return TimedOut || done(); });
    transferWait_ = false;
    waitDeadline_ = QDeadlineTimer(QDeadlineTimer::Forever);
    TimerOff();
    return done() || !TimedOut;
}

void TPowersock::postToSelf(unsigned msg) { window_->post(msg, socket_ ? socket_->tag() : 0); }

// ---- notification dispatch ----

void TPowersock::Dispatch(const Message& m) {
    using namespace platform;
    unsigned event = selectEvent(m.lParam);
    int error = selectError(m.lParam);
    switch (m.msg) {
    case WM_SOCKET:
        // A notification of a socket closed meanwhile must not act on its successor.
        if (!socket_ || m.wParam != socket_->tag())
            return;
        LastEventOk = error == 0;
        switch (event) {
        case FD_READ:
            ReadToStream();
            break;
        case FD_WRITE:
            WriteFromStream();
            break;
        case FD_ACCEPT:
            Connected = true;
            if (OnAccept)
                OnAccept(this);
            break;
        case FD_CONNECT:
            if (LastEventOk) {
                Connected = true;
                connectCompleted_ = true;
                noteProgress();
                if (OnConnect)
                    OnConnect(this);
            }
            break;
        case FD_CLOSE: {
            bool stored = false;
            char buffer[kBlockSize];
            std::shared_ptr<bool> alive = alive_;
            // The bytes that came with the close; they count like all others.
            while (!Canceled) {
                ssize_t n = socket_->recv(buffer, sizeof buffer);
                if (n <= 0)
                    break;
                storeReceived(buffer, static_cast<std::size_t>(n));
                stored = true;
                if (!*alive)
                    return; // a handler destroyed us
            }
            closeError_ = error;
            peerClosed_ = true;
            Connected = false;
            RequestCloseSocket();
            if (*alive && stored && OnDataArrived)
                OnDataArrived(this);
            break;
        }
        default:
            break;
        }
        break;
    case WM_ASYNCDONE:
        if (lookupTag_ && m.wParam == lookupTag_) {
            LastEventOk = error == 0;
            lookupOk_ = LastEventOk && lookup_->takeResult(m.wParam, &lookupAddress_);
            AsyncDone = true;
        } else if (socket_ && m.wParam == socket_->tag() && event == FD_ACCEPT) {
            LastEventOk = error == 0;
            AsyncDone = true;
            Connected = true;
        }
        break; // anything else is a reply nobody waits for any more
    case WM_WRITEMORE:
        if (socket_ && m.wParam == socket_->tag())
            WriteFromStream();
        break;
    case WM_READMORE:
        if (socket_ && m.wParam == socket_->tag())
            ReadToStream();
        break;
    default:
        break;
    }
}

void TPowersock::storeReceived(const char* bytes, std::size_t n) {
    if (captureFile_) {
        if (fileError_)
            return;
        try {
            captureFile_->write(bytes, n);
        } catch (...) {
            fileError_ = std::current_exception(); // ends the capture with this error
            return;
        }
    } else {
        ReceiveStream.append(bytes, n);
    }
    if (Transferring) {
        BytesRecvd += n;
        if (OnPacketRecvd)
            OnPacketRecvd(this);
    }
}

void TPowersock::ReadToStream() {
    if (readBusy_) {
        // Readiness is one-shot: a dropped notification would stall the socket for good.
        readPending_ = true;
        return;
    }
    readBusy_ = true;
    HandlerBusy = true;
    bool arrived = false;
    std::shared_ptr<bool> alive = alive_;
    // Every way out, unless an event handler destroyed us on the way.
    auto finish = [&] {
        if (!*alive)
            return false;
        readBusy_ = false;
        HandlerBusy = writeBusy_;
        if (readPending_) {
            readPending_ = false;
            postToSelf(WM_READMORE);
        }
        return true;
    };
    try {
        StatusMessage(StatusStep, Cons_Msg_ReadToStream);
        if (!captureFile_ && ReceiveStream.size() >= std::max(kReceiveLimit, readWanted_)) {
            // No recv, so no new notification either until a wait resumes reading.
            readPaused_ = true;
            readPending_ = false;
            finish();
            return;
        }
        char buffer[kBlockSize];
        ssize_t n = socket_->recv(buffer, sizeof buffer);
        if (n < 0) {
            LastErrorNo = socket_->lastError();
            if (OnError)
                OnError(this, LastErrorNo, ErrorMessage(LastErrorNo));
        } else {
            if (n > 0)
                noteProgress();
            arrived = true;
            storeReceived(buffer, static_cast<std::size_t>(n));
            if (*alive && static_cast<std::size_t>(n) == kBlockSize)
                postToSelf(WM_READMORE);
        }
    } catch (...) {
        finish();
        throw;
    }
    if (finish() && arrived && OnDataArrived)
        OnDataArrived(this);
}

void TPowersock::WriteFromStream() {
    if (writeBusy_) {
        writePending_ = true;
        return;
    }
    writeBusy_ = true;
    HandlerBusy = true;
    std::shared_ptr<bool> alive = alive_;
    auto finish = [&] {
        if (!*alive)
            return;
        writeBusy_ = false;
        HandlerBusy = readBusy_;
        if (writePending_) {
            writePending_ = false;
            postToSelf(WM_WRITEMORE);
        }
    };
    try {
        StatusMessage(StatusStep, Cons_Msg_WriteFromStream);
        const char* data = nullptr;
        std::size_t length = 0;
        if (StreamIsFile && sendFile_) {
            if (sendBlock_.empty() && !fileError_) {
                sendBlock_.resize(kBlockSize);
                std::size_t got = 0;
                try {
                    got = sendFile_->read(sendBlock_.data(), kBlockSize);
                } catch (...) {
                    fileError_ = std::current_exception();
                }
                sendBlock_.resize(got);
                if (got == 0 && !fileError_)
                    SendDone = true; // the file ended early
            }
            data = sendBlock_.data();
            length = sendBlock_.size();
        } else {
            data = sendQueue_.data() + sendHead_;
            length = sendQueue_.size() - sendHead_;
        }
        if (length > 0 && !Canceled) {
            ssize_t n = socket_->send(data, std::min(length, kBlockSize));
            if (n < 0) {
                // Would-block resumes at the next FD_WRITE; anything else closes the connection.
                LastErrorNo = socket_->lastError();
                if (LastErrorNo != platform::WSAEWOULDBLOCK && !closeError_)
                    closeError_ = LastErrorNo;
            } else {
                auto sent = static_cast<std::size_t>(n);
                noteProgress();
                if (StreamIsFile && sendFile_) {
                    sendBlock_.erase(0, sent);
                    if (sendBlock_.empty() && static_cast<std::int64_t>(BytesSent + sent) >= BytesTotal)
                        SendDone = true;
                    else
                        postToSelf(WM_WRITEMORE);
                } else {
                    sendHead_ += sent;
                    if (sendHead_ == sendQueue_.size()) {
                        sendQueue_.clear();
                        sendHead_ = 0;
                        SendDone = true;
                    } else {
                        postToSelf(WM_WRITEMORE);
                    }
                }
                BytesSent += sent;
                if (Transferring && OnPacketSent)
                    OnPacketSent(this);
            }
        }
    } catch (...) {
        finish();
        throw;
    }
    finish();
}

// ---- lookup, connect, close ----

void TPowersock::ResolveHost() {
    StatusMessage(StatusStep, Cons_Msg_ResolveHost);
    const std::string& name = Proxy.empty() ? Host : Proxy;
    std::uint32_t address = platform::inetAddr(name);
    if (address != INADDR_NONE) {
        RemoteAddress.sin_addr.s_addr = address;
        return;
    }
    RemoteAddress.sin_addr.s_addr = 0;
    TimerOn();
    AsyncDone = false;
    lookupOk_ = false;
    lookupTag_ = lookup_->start(name, WM_ASYNCDONE);
    waitFor([this] { return AsyncDone || TimedOut; });
    TimerOff();
    // Abandoned for good: a late reply can neither end a later lookup nor reach us.
    lookup_->cancel();
    lookupTag_ = 0;
    if (TimedOut)
        throw ESockError(Sock_Err_LookupTimedOut);
    if (Canceled)
        throw ESockError(Sock_Err_LookupCanceled);
    if (!lookupOk_)
        throw ESockError(Sock_Err_LookupFailed);
    RemoteAddress.sin_addr = lookupAddress_;
    if (OnHostResolved)
        OnHostResolved(this);
}

void TPowersock::dropSocket() {
    // A fresh socket: whatever the old one still reports is stale from now on.
    socket_.reset();
    Connected = false;
    openSocket(false);
}

void TPowersock::Connect() {
    StatusMessage(StatusStep, Cons_Msg_Connecting);
    Canceled = false;
    if (Connected)
        throw ESockError(Sock_Err_AlreadyConnected);
    for (int attempts = 0;; ++attempts) {
        try {
            ResolveHost();
        } catch (const EAbortError&) {
            throw;
        } catch (const ESockError& e) {
            std::string_view what = e.what();
            if (what == Sock_Err_LookupTimedOut || what == Sock_Err_LookupCanceled)
                throw;
            RemoteAddress.sin_addr.s_addr = 0;
        }
        if (RemoteAddress.sin_addr.s_addr != 0)
            break;
        if (attempts > 0 || !OnInvalidHost)
            throw ESockError(Sock_Err_NullAddress);
        bool handled = false;
        OnInvalidHost(handled);
        if (!handled)
            throw ESockError(Sock_Err_NullAddress);
    }
    if (!socket_)
        openSocket(false);
    RemoteAddress.sin_family = AF_INET;
    RemoteAddress.sin_port = htons(static_cast<std::uint16_t>(Proxy.empty() ? Port : ProxyPort));
    AsyncDone = false;
    LastEventOk = true;
    connectCompleted_ = false;
    closeError_ = 0;
    peerClosed_ = false;
    if (socket_->connect(RemoteAddress) != 0) {
        try {
            ErrorManager(platform::WSAEWOULDBLOCK);
        } catch (...) {
            dropSocket();
            throw;
        }
    }
    TimerOn();
    // Completion is an event, not the state: a peer that answers and closes at once may have
    // taken Connected back within the same round.
    waitFor([this] { return connectCompleted_ || TimedOut || !LastEventOk; });
    TimerOff();
    // A completion handled in the same round as the time-out wins.
    if (connectCompleted_) {
        TimedOut = false;
        return;
    }
    // Closed before anything is reported, so a late completion cannot mark us connected.
    dropSocket();
    if (OnConnectionFailed)
        OnConnectionFailed(this);
    if (TimedOut)
        throw ESockError(Sock_Err_ConnTimedOut);
    if (Canceled)
        throw ESockError(Sock_Err_ConnCanceled);
    throw ESockError(Sock_Err_ConnFailed);
}

void TPowersock::Disconnect() {
    StatusMessage(StatusStep, Cons_Msg_Disconnecting);
    RequestCloseSocket();
}

void TPowersock::RequestCloseSocket() {
    StatusMessage(StatusBuffer, Cons_Msg_RequestClose);
    Connected = false;
    if (!socket_)
        return;
    socket_.reset();
    accepted_.reset();
    // Queued bytes belong to the connection that is gone; they must not reach the next one.
    sendQueue_.clear();
    sendHead_ = 0;
    if (!destroying_ && OnDisconnect) {
        std::shared_ptr<bool> alive = alive_;
        OnDisconnect(this);
        if (!*alive)
            return;
    }
    if (!NoReopen && !socket_) {
        int closeError = closeError_;
        bool peerClosed = peerClosed_;
        openSocket(false);
        closeError_ = closeError; // still wanted by the operation that waits
        peerClosed_ = peerClosed;
    }
}

void TPowersock::Cancel() {
    StatusMessage(StatusStep, Cons_Msg_Canceling);
    Canceled = true;
}

// ---- line, stream and file I/O ----

void TPowersock::SendBuffer(std::string_view Buffer) {
    StatusMessage(StatusBuffer, Cons_Msg_SendingBuffer);
    if (Canceled) {
        Canceled = false;
        throw EAbortError(Sock_Err_SendAborted);
    }
    if (Buffer.empty())
        return;
    if (!Connected || !socket_)
        raiseConnectionGone();
    sendQueue_.append(Buffer);
    SendDone = false;
    postToSelf(WM_WRITEMORE);
    bool inTime = waitForTransfer([this] { return SendDone || !Connected; });
    if (Canceled) {
        Canceled = false;
        throw EAbortError(Sock_Err_SendAborted);
    }
    if (SendDone)
        return;
    if (!inTime)
        throw ESockError(Sock_Err_ConnTimedOut);
    raiseConnectionGone();
}

void TPowersock::Write(std::string_view Text) {
    StatusMessage(StatusStep, Cons_Msg_Write);
    SendBuffer(Text);
}

void TPowersock::Writeln(std::string_view Text) {
    StatusMessage(StatusStep, Cons_Msg_Writeln);
    std::string line;
    line.reserve(Text.size() + 2);
    line.append(Text).append("\r\n");
    SendBuffer(line);
}

std::string TPowersock::Read(std::size_t Count) {
    StatusMessage(StatusStep, std::string(Cons_Msg_ReadOpen) + std::to_string(Count) + Cons_Msg_ReadClose);
    bool inTime = true;
    if (Count != 0 && ReceiveStream.size() < Count) {
        readWanted_ = Count;
        RestoreOnExit unwanted(alive_, [this] { readWanted_ = 0; });
        inTime = waitForTransfer([&] { return ReceiveStream.size() >= Count || !Connected; });
    }
    if (Canceled) {
        Canceled = false;
        throw EAbortError(Sock_Err_SendAborted);
    }
    if (ReceiveStream.size() < Count) {
        if (!inTime)
            throw ESockError(Sock_Err_ConnTimedOut);
        raiseConnectionGone();
    }
    return ReceiveStream.take(Count ? Count : ReceiveStream.size());
}

std::string TPowersock::ReadLn() {
    StatusMessage(StatusStep, Cons_Msg_ReadLn);
    std::size_t scanned = 0;
    std::size_t lineEnd = std::string_view::npos;
    auto complete = [&] {
        if (lineEnd != std::string_view::npos)
            return true;
        std::string_view buffered = ReceiveStream.view().substr(0, kMaxLineLength);
        lineEnd = buffered.find('\n', scanned);
        scanned = buffered.size();
        return lineEnd != std::string_view::npos || scanned >= kMaxLineLength;
    };
    // A line trickling in a byte at a time is progress, but may not take for ever.
    const QDeadlineTimer deadline =
        !ReadDeadline.isForever() || TimeOut <= 0 ? ReadDeadline : QDeadlineTimer(TimeOut);
    if (deadline.hasExpired() && !Canceled)
        throw ESockError(Sock_Err_ConnTimedOut);
    bool inTime = true;
    if (!complete())
        inTime = waitForTransfer([&] { return complete() || !Connected; }, deadline);
    if (Canceled)
        throw EAbortError(Sock_Err_ReadLnAborted);
    if (lineEnd != std::string_view::npos)
        return ReceiveStream.take(lineEnd + 1);
    if (scanned >= kMaxLineLength)
        throw ESockError(Sock_Err_LineTooLong);
    if (!inTime)
        throw ESockError(Sock_Err_ConnTimedOut);
    raiseConnectionGone();
}

std::string TPowersock::Transaction(const std::string& Command) {
    StatusMessage(StatusStep, Cons_Msg_Transaction);
    ReplyNumber = 0;
    Writeln(Command);
    LastReply = ReadLn();
    if (!LastReply.empty()) {
        StatusMessage(StatusProtocol, LastReply);
        std::int64_t value = 0;
        std::size_t digits = 0;
        while (digits < LastReply.size() && digits < 10 && LastReply[digits] >= '0' &&
               LastReply[digits] <= '9')
            value = value * 10 + (LastReply[digits++] - '0');
        if (digits > 0)
            ReplyNumber = value <= INT32_MAX ? static_cast<int>(value) : 0;
    }
    return LastReply;
}

void TPowersock::SendFile(const std::string& FileName) {
    StatusMessage(StatusStep, Cons_Msg_SendFile);
    doc::InputFile file(FileName);
    struct stat info {};
    if (::fstat(file.fd(), &info) != 0)
        throw doc::FileError(doc::FileError::Step::Read, errno, FileName);
    sendFile_ = &file;
    sendBlock_.clear();
    fileError_ = nullptr;
    Transferring = true;
    StreamIsFile = true;
    SendDone = false;
    BytesSent = 0;
    BytesTotal = info.st_size;
    bool inTime = true;
    {
        RestoreOnExit restore(alive_, [this] {
            sendFile_ = nullptr;
            sendBlock_.clear();
            Transferring = false;
            StreamIsFile = false;
        });
        if (BytesTotal > 0) {
            postToSelf(WM_WRITEMORE);
            inTime = waitForTransfer([this] { return SendDone || fileError_ || !Connected; });
        }
    }
    if (fileError_)
        std::rethrow_exception(std::exchange(fileError_, nullptr));
    if (Canceled) {
        Canceled = false;
        throw EAbortError(Sock_Err_SendAborted);
    }
    if (BytesTotal <= 0 || SendDone)
        return;
    if (!inTime)
        throw ESockError(Sock_Err_ConnTimedOut);
    raiseConnectionGone();
}

void TPowersock::CaptureFile(const std::string& FileName) {
    doc::OutputFile file(FileName);
    CaptureFile(file);
    // A delayed write error shows at close; the download is not complete without it.
    file.close();
}

void TPowersock::CaptureFile(doc::OutputFile& file) {
    StatusMessage(StatusStep, Cons_Msg_CaptureFile);
    fileError_ = nullptr;
    bool inTime = true;
    {
        RestoreOnExit restore(alive_, [this] {
            captureFile_ = nullptr;
            Transferring = false;
            StreamIsFile = false;
        });
        captureFile_ = &file;
        Transferring = true;
        StreamIsFile = true;
        BytesRecvd = 0;
        if (!ReceiveStream.empty()) {
            std::string_view buffered = ReceiveStream.view();
            file.write(buffered.data(), buffered.size());
            BytesRecvd = buffered.size();
            ReceiveStream.clear();
            // Bytes that came before the capture are progress too; whoever watches the count
            // (the progress display, a caller waiting for a size) must hear of them.
            if (OnPacketRecvd)
                OnPacketRecvd(this);
        }
        inTime = waitForTransfer([this] { return !Connected || fileError_; });
    }
    if (fileError_)
        std::rethrow_exception(std::exchange(fileError_, nullptr));
    if (Canceled) {
        Canceled = false;
        throw EAbortError(Sock_Err_SendAborted);
    }
    if (!inTime)
        throw ESockError(Sock_Err_ConnTimedOut);
    // A reset is a broken download, not its end.
    if (closeError_)
        throw ESockError(ErrorMessage(closeError_));
}

// ---- listening ----

void TPowersock::Listen(bool WaitForAccept) {
    StatusMessage(StatusStep, Cons_Msg_Listening);
    if (Port < 0 || Port > 65535)
        raiseSocketError(platform::WSAEINVAL);
    if (!socket_)
        openSocket(false);
    RemoteAddress = {};
    RemoteAddress.sin_family = AF_INET;
    RemoteAddress.sin_addr.s_addr = BindAddress;
    RemoteAddress.sin_port = htons(static_cast<std::uint16_t>(Port));
    AsyncDone = false;
    closeError_ = 0;
    peerClosed_ = false;
    if (socket_->bind(RemoteAddress) != 0)
        raiseSocketError(socket_->lastError());
    socket_->select(window_.get(), WaitForAccept ? WM_ASYNCDONE : WM_SOCKET, platform::FD_ACCEPT);
    if (socket_->listen(1) != 0)
        raiseSocketError(socket_->lastError());
}

int TPowersock::Accept() {
    if (!socket_)
        raiseConnectionGone();
    sockaddr_in peer{};
    int fd = -1;
    for (;;) {
        bool inTime = true;
        if (!AsyncDone)
            inTime = waitForTransfer([this] { return AsyncDone; });
        if (Canceled)
            throw ESockError(Sock_Err_AcceptCanceled);
        if (!inTime)
            throw ESockError(Sock_Err_ConnTimedOut);
        if (!LastEventOk)
            throw ESockError(Sock_Err_DataConnection);
        StatusMessage(StatusBuffer, Cons_Msg_Accepting);
        peer = {};
        fd = socket_->accept(&peer);
        if (fd < 0)
            raiseSocketError(socket_->lastError());
        accepted_ = AsyncSocket::adopt(fd);
        if (AcceptFrom == 0 || peer.sin_addr.s_addr == AcceptFrom)
            break;
        // Not the expected peer: closed at once, and the wait goes on.
        accepted_.reset();
        AsyncDone = false;
    }
    RemoteAddress = peer;
    AsyncDone = false; // the next Accept waits for the next connection
    if (Canceled) {
        accepted_.reset();
        Canceled = false;
        throw EAbortError(Sock_Err_SendAborted);
    }
    return fd;
}

void TPowersock::AdoptSocket(int fd) {
    std::unique_ptr<AsyncSocket> socket =
        accepted_ && accepted_->fd() == fd ? std::move(accepted_) : AsyncSocket::adopt(fd);
    socket_ = std::move(socket);
    accepted_.reset();
    closeError_ = 0;
    peerClosed_ = false;
    Connected = true;
    selectAll();
}

void TPowersock::SetLinger(bool on, int seconds) {
    if (socket_ && !socket_->setLinger(on, seconds))
        raiseSocketError(socket_->lastError());
}

std::string TPowersock::GetPortAddress() {
    sockaddr_in local{};
    if (!socket_ || !socket_->localAddress(&local))
        raiseSocketError(socket_ ? socket_->lastError() : platform::WSAENOTCONN);
    std::string text = ::inet_ntoa(local.sin_addr);
    for (char& c : text)
        if (c == '.')
            c = ',';
    return text;
}

std::string TPowersock::GetPortNumbers() {
    sockaddr_in local{};
    if (!socket_ || !socket_->localAddress(&local))
        raiseSocketError(socket_ ? socket_->lastError() : platform::WSAENOTCONN);
    unsigned port = ntohs(local.sin_port);
    char text[16];
    std::snprintf(text, sizeof text, ",%u,%u", port / 256, port % 256);
    return text;
}

std::string NthWord(const std::string& Text, char Delimiter, int N) {
    if (N < 1)
        return {};
    std::size_t start = 0;
    for (int field = 1; field < N; ++field) {
        std::size_t next = Text.find(Delimiter, start);
        if (next == std::string::npos)
            return {};
        start = next + 1;
    }
    std::size_t end = Text.find(Delimiter, start);
    return Text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

} // namespace quillet::net
