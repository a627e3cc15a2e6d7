#include "net/socket.h"

#include "document/file_io.h"
#include "net/texts.h"

#include <QCoreApplication>
#include <QTimer>
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
using platform::SocketAddress;
using platform::TlsFailure;
using platform::TlsResult;
using platform::TlsStatus;

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

const char* tlsErrorText(TlsFailure failure) {
    switch (failure) {
    case TlsFailure::NotTls:
        return Tls_Err_NotTls;
    case TlsFailure::Ended:
        return Tls_Err_Ended;
    case TlsFailure::Connection:
        return Tls_Err_Connection;
    case TlsFailure::Untrusted:
        return Tls_Err_Untrusted;
    case TlsFailure::PinMismatch:
        return Tls_Err_PinMismatch;
    case TlsFailure::None:
    case TlsFailure::Protocol:
        break;
    }
    return Tls_Err_Protocol;
}

} // namespace

ETlsError::ETlsError(TlsFailure failure, platform::CertificateInfo certificate, std::string detail)
    : ESockError(detail.empty() ? std::string(tlsErrorText(failure))
                                : std::string(tlsErrorText(failure)) + " (" + detail + ")"),
      failure_(failure), certificate_(std::move(certificate)), detail_(std::move(detail)) {}

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
        winsockInfo_ = {
            std::string(Cons_Info_Version) + "1.1",
            std::string(Cons_Info_HighVersion) + "2.2",
            std::string(Cons_Info_Description) + "POSIX sockets on the Qt event loop",
            std::string(Cons_Info_System) + "Running",
            std::string(Cons_Info_MaxSockets) + std::to_string(files.rlim_cur),
            std::string(Cons_Info_MaxUdp) + "65467",
        };
    }
    try {
        openSocket(true);
    } catch (...) {
        // The constructor fails, so no destructor takes the count down again.
        --startupCount;
        throw ESockError(Sock_Err_Init);
    }
}

void TPowersock::openSocket(bool resetOnClose, int family) {
    auto socket = AsyncSocket::create(family);
    if (!socket || (resetOnClose && !socket->setLinger(true, 0)))
        throw ESockError(Sock_Err_Init);
    socket_ = std::move(socket);
    resetOnClose_ = resetOnClose;
    selectAll();
}

void TPowersock::ensureFamily(int family) {
    if (socket_ && socket_->family() == family)
        return;
    const bool reset = socket_ ? resetOnClose_ : false;
    closeSocket();
    openSocket(reset, family);
}

void TPowersock::closeSocket() {
    // The channel writes through the socket: it goes first.
    tls_.reset();
    tlsHandshaking_ = tlsAwaitingTrust_ = tlsShuttingDown_ = false;
    readWantsWrite_ = writeWantsRead_ = false;
    socket_.reset();
}

void TPowersock::selectAll() { socket_->select(window_.get(), WM_SOCKET, platform::FD_ALL_EVENTS); }

TPowersock::~TPowersock() {
    setState(SocketState::Destroyed);
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
    accepted_.reset();
    closeSocket();
    // Destroyed from one of its own notifications: the window goes once that has returned.
    if (dispatchDepth_ > 0)
        window_.release()->deleteLater();
    else
        window_.reset();
    --startupCount;
}

int TPowersock::StartupCount() { return startupCount; }

void TPowersock::Free() {
    if (waitDepth_ > 0) {
        // Deleted when the wait has unwound (see wait).
        freePending_ = true;
        Cancel();
    } else if (dispatchDepth_ > 0) {
        deleteLater();
    } else {
        delete this;
    }
}

int TPowersock::SocketHandle() const { return socket_ ? socket_->fd() : -1; }

void TPowersock::setState(SocketState next) {
    if (state_ == SocketState::Destroyed)
        return; // going away is final
    state_ = next;
    // How the connection ended matters only until a new one is tried.
    if (next != SocketState::PeerClosed)
        closeError_ = 0;
}

// ---- status and errors ----

void TPowersock::StatusMessage(int Level, const std::string& Text) {
    if (Level > ReportLevel)
        return;
    status_ = Text;
    if (state_ != SocketState::Destroyed && OnStatus)
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
    lastErrorNo_ = error;
    std::string text = ErrorMessage(error);
    if (OnError)
        OnError(this, error, text);
    throw ESockError(text);
}

void TPowersock::throwIfCanceled() {
    if (std::exchange(canceled_, false))
        throw EAbortError(Sock_Err_SendAborted);
}

void TPowersock::ErrorManager(int IgnoreError) {
    StatusMessage(StatusErrorCheck, Cons_Msg_ErrorManager);
    int error = socket_ ? socket_->lastError() : platform::WSAENOTCONN;
    if (error == IgnoreError) {
        lastErrorNo_ = error;
        return;
    }
    raiseSocketError(error);
}

void TPowersock::raiseConnectionGone() {
    if (state_ == SocketState::PeerClosed) {
        if (closeError_)
            throw ESockError(ErrorMessage(closeError_));
        throw ESockError(Sock_Err_PeerClosed);
    }
    throw ESockError(ErrorMessage(platform::WSAENOTCONN));
}

void TPowersock::CheckConnection() {
    for (int round = 0; !Connected(); ++round) {
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
    timedOut_ = false;
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
    if (waitLimit_ == Limit::Progress && TimeOut > 0) {
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
    timedOut_ = true;
    Abort();
}

bool TPowersock::wait(const std::function<bool()>& done, Limit limit, QDeadlineTimer deadline) {
    if (limit == Limit::Progress && TimeOut <= 0)
        limit = Limit::None;
    if (limit == Limit::Progress && deadline.hasExpired())
        return done();
    const bool armed = limit == Limit::Total || limit == Limit::Progress;
    bool expired = false;
    QTimer expiry;
    if (armed) {
        TimerOn();
        if (limit == Limit::Progress) {
            waitDeadline_ = deadline;
            if (!deadline.isForever())
                timer_->SetInterval(
                    static_cast<unsigned>(std::clamp<qint64>(deadline.remainingTime(), 1, TimeOut)));
            noteProgress();
        }
        waitLimit_ = limit;
    } else if (limit == Limit::Deadline && !deadline.isForever()) {
        expiry.setSingleShot(true);
        QObject::connect(&expiry, &QTimer::timeout, [&expired] { expired = true; });
        expiry.start(static_cast<int>(std::clamp<qint64>(deadline.remainingTime(), 0, INT32_MAX)));
    }
    std::shared_ptr<bool> alive = alive_;
    // Whoever waits has taken bytes from a full buffer, or wants more than it holds.
    if (readPaused_ && (receiveStream_.size() < std::max(kReceiveLimit, readWanted_))) {
        readPaused_ = false;
        postToSelf(WM_READMORE);
    }
    ++waitDepth_;
    platform::waitUntil([&] { return !*alive || canceled_ || (armed && timedOut_) || expired || done(); });
    if (!*alive)
        throw EAbortError(Sock_Err_SendAborted); // destroyed meanwhile: touch nothing of it
    if (armed) {
        waitLimit_ = Limit::None;
        waitDeadline_ = QDeadlineTimer(QDeadlineTimer::Forever);
        TimerOff();
    }
    // Posted at the caller's level, so the deletion happens once control is back in the event
    // loop, never in a pump further down this operation.
    if (--waitDepth_ == 0 && freePending_)
        deleteLater();
    return done() || !(armed && timedOut_);
}

TPowersock::LineDeadline::LineDeadline(TPowersock& socket) : socket_(socket), outer_(socket.lineDeadline_) {
    if (outer_.isForever() && socket.TimeOut > 0)
        socket.lineDeadline_ = QDeadlineTimer(socket.TimeOut);
}

TPowersock::LineDeadline::~LineDeadline() { socket_.lineDeadline_ = outer_; }

void TPowersock::postToSelf(unsigned msg) { window_->post(msg, socket_ ? socket_->tag() : 0); }

// ---- notification dispatch ----

void TPowersock::Dispatch(const Message& m) {
    using namespace platform;
    const unsigned event = selectEvent(m.lParam);
    const int error = selectError(m.lParam);
    // A notification of a socket closed meanwhile must not act on its successor.
    const bool ours = socket_ && m.wParam == socket_->tag();
    switch (m.msg) {
    case WM_SOCKET:
        if (!ours)
            return;
        eventError_ = error;
        switch (event) {
        case FD_READ:
            ReadToStream();
            break;
        case FD_WRITE:
            WriteFromStream();
            break;
        case FD_ACCEPT:
            onAccepted(error);
            if (OnAccept)
                OnAccept(this);
            break;
        case FD_CONNECT:
            onConnected(error);
            break;
        case FD_CLOSE:
            onClosed(error);
            break;
        default:
            break;
        }
        break;
    case WM_ASYNCDONE:
        if (lookupTag_ && m.wParam == lookupTag_) {
            eventError_ = error;
            onLookupDone(error, m.wParam);
        } else if (ours && event == FD_ACCEPT) {
            eventError_ = error;
            onAccepted(error);
        }
        break; // anything else is a reply nobody waits for any more
    case WM_WRITEMORE:
        if (ours)
            WriteFromStream();
        break;
    case WM_READMORE:
        if (ours)
            ReadToStream();
        break;
    default:
        break;
    }
}

void TPowersock::onAccepted(int) { setState(SocketState::AcceptReady); }

void TPowersock::onConnected(int error) {
    if (state_ != SocketState::Connecting)
        return;
    if (error != 0) {
        setState(SocketState::Closed); // the waiting Connect reports it
        return;
    }
    setState(SocketState::Connected);
    noteProgress();
    if (OnConnect)
        OnConnect(this);
}

void TPowersock::onClosed(int error) {
    bool stored = false;
    char buffer[kBlockSize];
    std::shared_ptr<bool> alive = alive_;
    if (tlsHandshaking_) {
        stepHandshake(); // it learns that the connection has ended
    } else if (tls_ && !tlsAwaitingTrust_) {
        // The records that came with the close, through the channel, which also tells a clean
        // end (close_notify) from a cut one.
        TlsResult r{TlsStatus::Ok, 0};
        while (!canceled_) {
            r = tls_->read(buffer, sizeof buffer);
            if (r.bytes > 0) {
                storeReceived(buffer, r.bytes);
                stored = true;
                if (!*alive)
                    return;
            }
            if (r.status != TlsStatus::Ok)
                break;
        }
        tlsEnd_ = r.status == TlsStatus::Closed ? TlsStatus::Closed : TlsStatus::Truncated;
        if (r.status == TlsStatus::Closed)
            tls_->shutdown(); // our close_notify in answer, as far as the socket takes it now
        else if (r.status == TlsStatus::Failed && error == 0)
            error = platform::WSAECONNABORTED; // a damaged record: the stream cannot be trusted
    } else {
        // The bytes that came with the close; they count like all others.
        while (!canceled_ && !tlsAwaitingTrust_) {
            ssize_t n = socket_->recv(buffer, sizeof buffer);
            if (n <= 0)
                break;
            storeReceived(buffer, static_cast<std::size_t>(n));
            stored = true;
            if (!*alive)
                return; // a handler destroyed us
        }
    }
    setState(SocketState::PeerClosed);
    closeError_ = error;
    RequestCloseSocket();
    if (*alive && stored && OnDataArrived)
        OnDataArrived(this);
}

void TPowersock::onLookupDone(int error, std::uintptr_t tag) {
    if (error == 0)
        lookup_->takeResult(tag, &lookupAddresses_);
    if (state_ == SocketState::Resolving)
        setState(SocketState::Closed);
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
        receiveStream_.append(bytes, n);
    }
    if (Transferring()) {
        bytesRecvd_ += n;
        if (OnPacketRecvd)
            OnPacketRecvd(this);
    }
}

bool TPowersock::Reentry::enter() {
    if (run_ != Run::Idle) {
        run_ = Run::Again;
        return false;
    }
    run_ = Run::Running;
    return true;
}

void TPowersock::ReadToStream() {
    if (!reading_.enter())
        return;
    bool arrived = false;
    std::shared_ptr<bool> alive = alive_;
    // Every way out, unless an event handler destroyed us on the way.
    auto finish = [&] {
        if (!*alive)
            return false;
        if (reading_.leave())
            postToSelf(WM_READMORE);
        return true;
    };
    try {
        StatusMessage(StatusStep, Cons_Msg_ReadToStream);
        if (!captureFile_ && receiveStream_.size() >= std::max(kReceiveLimit, readWanted_)) {
            // No recv, so no new notification either until a wait resumes reading.
            readPaused_ = true;
            if (*alive)
                reading_.leave();
            return;
        }
        if (tls_) {
            arrived = readThroughTls(alive);
        } else {
            char buffer[kBlockSize];
            ssize_t n = socket_->recv(buffer, sizeof buffer);
            if (n < 0) {
                lastErrorNo_ = socket_->lastError();
                if (OnError)
                    OnError(this, lastErrorNo_, ErrorMessage(lastErrorNo_));
            } else {
                if (n > 0)
                    noteProgress();
                arrived = true;
                storeReceived(buffer, static_cast<std::size_t>(n));
                if (*alive && static_cast<std::size_t>(n) == kBlockSize)
                    postToSelf(WM_READMORE);
            }
        }
    } catch (...) {
        finish();
        throw;
    }
    if (finish() && arrived && OnDataArrived)
        OnDataArrived(this);
}

// ---- TLS ----

void TPowersock::postClose() {
    // Handled like the socket's own FD_CLOSE, after the handler that noticed the end.
    if (socket_)
        window_->post(WM_SOCKET, socket_->tag(), platform::selectLParam(platform::FD_CLOSE, 0));
}

void TPowersock::stepHandshake() {
    const TlsResult r = tls_->handshake();
    if (r.status == TlsStatus::WantRead || r.status == TlsStatus::WantWrite)
        return; // the socket's next notification brings the next step
    tlsHandshaking_ = false;
    if (r.status == TlsStatus::Ok)
        return;
    // Kept apart from the channel, which closing the socket takes along.
    tlsFailure_ = tls_->failure();
    tlsCertificate_ = tls_->certificate();
    tlsDetail_ = tls_->detail();
    if (tlsFailure_ == TlsFailure::None)
        tlsFailure_ = TlsFailure::Ended;
}

bool TPowersock::readThroughTls(const std::shared_ptr<bool>& alive) {
    if (tlsHandshaking_) {
        stepHandshake();
        return false;
    }
    if (tlsAwaitingTrust_)
        return false; // read once the author has answered
    if (writeWantsRead_) {
        writeWantsRead_ = false;
        postToSelf(WM_WRITEMORE);
    }
    char buffer[kBlockSize];
    const TlsResult r = tls_->read(buffer, sizeof buffer);
    if (r.bytes > 0) {
        noteProgress();
        storeReceived(buffer, r.bytes);
        if (!*alive)
            return true;
    }
    switch (r.status) {
    case TlsStatus::Ok:
        // A full buffer: more may wait inside the channel, where no notification announces it.
        postToSelf(WM_READMORE);
        break;
    case TlsStatus::WantRead:
        break;
    case TlsStatus::WantWrite:
        readWantsWrite_ = true;
        break;
    case TlsStatus::Closed:
    case TlsStatus::Truncated:
    case TlsStatus::Failed:
        postClose();
        break;
    }
    return r.bytes > 0;
}

void TPowersock::writeThroughTls(std::string_view block) {
    if (tlsHandshaking_) {
        stepHandshake();
        return;
    }
    if (tlsAwaitingTrust_)
        return;
    if (readWantsWrite_) {
        readWantsWrite_ = false;
        postToSelf(WM_READMORE);
    }
    if (tlsShuttingDown_) {
        const TlsResult r = tls_->shutdown();
        if (r.status != TlsStatus::WantWrite && r.status != TlsStatus::WantRead)
            tlsShuttingDown_ = false;
        return;
    }
    if (block.empty() || canceled_)
        return;
    const TlsResult r = tls_->write(block.data(), std::min(block.size(), kBlockSize));
    if (r.bytes > 0) {
        noteProgress();
        sent(r.bytes);
        if (Transferring() && OnPacketSent)
            OnPacketSent(this);
    }
    if (r.status == TlsStatus::WantRead)
        writeWantsRead_ = true;
    else if (r.status == TlsStatus::Closed || r.status == TlsStatus::Truncated ||
             r.status == TlsStatus::Failed)
        postClose();
}

void TPowersock::StartTls(std::shared_ptr<platform::TlsContext> context, platform::TlsPeer peer,
                          const TrustQuestion& trust) {
    StatusMessage(StatusStep, Cons_Msg_StartTls);
    if (!Connected() || !socket_)
        raiseConnectionGone();
    auto refuse = [this](TlsFailure failure, std::string detail) {
        platform::CertificateInfo certificate = std::move(tlsCertificate_);
        RequestCloseSocket();
        throw ETlsError(failure, std::move(certificate), std::move(detail));
    };
    // What came before the handshake came in clear: taken for the server's words once the
    // connection counts as secured, it could be anybody's.
    if (!receiveStream_.empty())
        refuse(TlsFailure::Protocol, Tls_Detail_ClearBeforeHandshake);
    tls_.reset();
    tls_ = std::make_unique<platform::TlsChannel>(
        std::move(context), std::make_unique<platform::AsyncSocketTransport>(*socket_), std::move(peer));
    tlsFailure_ = TlsFailure::None;
    tlsCertificate_ = {};
    tlsDetail_.clear();
    tlsEnd_ = TlsStatus::Ok;
    tlsHandshaking_ = true;
    stepHandshake(); // the ClientHello
    bool inTime = true;
    if (tlsHandshaking_)
        inTime = wait([this] { return !tlsHandshaking_ || !Connected(); }, Limit::Total);
    if (tlsHandshaking_) {
        // Given up: the connection is of no further use.
        const bool canceled = std::exchange(canceled_, false);
        const bool connected = Connected();
        RequestCloseSocket();
        if (canceled)
            throw EAbortError(Sock_Err_SendAborted);
        if (!inTime)
            throw ESockError(Sock_Err_ConnTimedOut);
        if (!connected)
            throw ETlsError(TlsFailure::Ended, {}, {});
    }
    if (tlsFailure_ == TlsFailure::Untrusted && trust) {
        const std::shared_ptr<const bool> alive = lifeline();
        tlsAwaitingTrust_ = true;
        const bool trusted = trust(tls_ ? tls_->certificate() : tlsCertificate_);
        if (!*alive)
            throw EAbortError(Sock_Err_SendAborted);
        tlsAwaitingTrust_ = false;
        if (!Connected() || !tls_)
            raiseConnectionGone();
        if (trusted) {
            tls_->acceptCertificate();
            tlsFailure_ = TlsFailure::None;
        }
    }
    if (tlsFailure_ != TlsFailure::None)
        refuse(tlsFailure_, tlsDetail_);
    // Records that came with the handshake's end may wait inside the channel unannounced.
    postToSelf(WM_READMORE);
}

void TPowersock::ShutdownTls() {
    if (!tls_ || !Connected() || !socket_)
        return;
    tlsShuttingDown_ = true;
    postToSelf(WM_WRITEMORE);
    const bool inTime = wait([this] { return !tlsShuttingDown_ || !Connected(); }, Limit::Progress);
    throwIfCanceled();
    if (!inTime)
        throw ESockError(Sock_Err_ConnTimedOut);
    if (Connected() && socket_)
        socket_->shutdownWrite();
}

bool TPowersock::sendFileDone() const {
    return sendBlock_.empty() && static_cast<std::int64_t>(bytesSent_) >= bytesTotal_;
}

std::string_view TPowersock::nextSendBlock() {
    if (!sendFile_)
        return std::string_view(sendQueue_).substr(sendHead_);
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
            bytesTotal_ = static_cast<std::int64_t>(bytesSent_); // the file ended early
    }
    return sendBlock_;
}

void TPowersock::sent(std::size_t n) {
    bytesSent_ += n;
    if (sendFile_) {
        sendBlock_.erase(0, n);
        if (!sendFileDone())
            postToSelf(WM_WRITEMORE);
        return;
    }
    sendHead_ += n;
    queueSent_ += n;
    if (sendHead_ == sendQueue_.size()) {
        sendQueue_.clear();
        sendHead_ = 0;
    } else {
        postToSelf(WM_WRITEMORE);
    }
}

void TPowersock::WriteFromStream() {
    if (!writing_.enter())
        return;
    std::shared_ptr<bool> alive = alive_;
    auto finish = [&] {
        if (*alive && writing_.leave())
            postToSelf(WM_WRITEMORE);
    };
    try {
        StatusMessage(StatusStep, Cons_Msg_WriteFromStream);
        if (tls_) {
            const std::string_view block =
                tlsHandshaking_ || tlsAwaitingTrust_ ? std::string_view() : nextSendBlock();
            writeThroughTls(block);
            finish();
            return;
        }
        const std::string_view block = nextSendBlock();
        if (!block.empty() && !canceled_) {
            ssize_t n = socket_->send(block.data(), std::min(block.size(), kBlockSize));
            if (n < 0) {
                // Would-block resumes at the next FD_WRITE; anything else closes the connection.
                lastErrorNo_ = socket_->lastError();
            } else {
                noteProgress();
                sent(static_cast<std::size_t>(n));
                if (Transferring() && OnPacketSent)
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
    candidates_.clear();
    if (auto address = SocketAddress::numeric(name)) {
        candidates_.push_back(*address);
        return;
    }
    lookupAddresses_.clear();
    setState(SocketState::Resolving);
    lookupTag_ = lookup_->start(name, WM_ASYNCDONE);
    wait([this] { return state_ != SocketState::Resolving; }, Limit::Total);
    // Abandoned for good: a late reply can neither end a later lookup nor reach us.
    lookup_->cancel();
    lookupTag_ = 0;
    if (state_ == SocketState::Resolving)
        setState(SocketState::Closed);
    if (TimedOut())
        throw ESockError(Sock_Err_LookupTimedOut);
    if (Canceled())
        throw ESockError(Sock_Err_LookupCanceled);
    if (lookupAddresses_.empty())
        throw ESockError(Sock_Err_LookupFailed);
    candidates_ = std::move(lookupAddresses_);
    lookupAddresses_.clear();
    if (OnHostResolved)
        OnHostResolved(this);
}

void TPowersock::dropSocket() {
    // A fresh socket: whatever the old one still reports is stale from now on.
    const int family = socket_ ? socket_->family() : AF_INET;
    closeSocket();
    setState(SocketState::Closed);
    openSocket(false, family);
}

void TPowersock::Connect() {
    StatusMessage(StatusStep, Cons_Msg_Connecting);
    ClearCancel();
    if (Connected())
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
            candidates_.clear();
        }
        if (!candidates_.empty())
            break;
        if (attempts > 0 || !OnInvalidHost)
            throw ESockError(Sock_Err_NullAddress);
        bool handled = false;
        OnInvalidHost(handled);
        if (!handled)
            throw ESockError(Sock_Err_NullAddress);
    }
    connectCandidates(static_cast<std::uint16_t>(Proxy.empty() ? Port : ProxyPort));
}

void TPowersock::ConnectTo(const SocketAddress& address) {
    StatusMessage(StatusStep, Cons_Msg_Connecting);
    ClearCancel();
    if (Connected())
        throw ESockError(Sock_Err_AlreadyConnected);
    candidates_ = {address};
    connectCandidates(address.port());
}

void TPowersock::connectCandidates(std::uint16_t port) {
    // A host may have several addresses (IPv6 and IPv4, say): one that cannot be reached gives
    // way to the next; a time-out or a cancel ends the attempt.
    for (std::size_t i = 0; i < candidates_.size(); ++i) {
        const bool last = i + 1 == candidates_.size();
        remoteAddress_ = candidates_[i];
        remoteAddress_.setPort(port);
        ensureFamily(remoteAddress_.family());
        eventError_ = 0;
        setState(SocketState::Connecting);
        if (socket_->connect(remoteAddress_) != 0 && socket_->lastError() != platform::WSAEWOULDBLOCK) {
            if (!last) {
                dropSocket();
                continue;
            }
            try {
                ErrorManager(platform::WSAEWOULDBLOCK);
            } catch (...) {
                dropSocket();
                throw;
            }
        }
        wait([this] { return state_ != SocketState::Connecting; }, Limit::Total);
        // A completion handled in the same round as the time-out wins; a peer that answers and
        // closes at once may have taken the connection back within that round.
        if (state_ == SocketState::Connected || state_ == SocketState::PeerClosed) {
            timedOut_ = false;
            return;
        }
        // Closed before anything is reported, so a late completion cannot mark us connected.
        dropSocket();
        if (!last && !TimedOut() && !Canceled())
            continue;
        if (OnConnectionFailed)
            OnConnectionFailed(this);
        if (TimedOut())
            throw ESockError(Sock_Err_ConnTimedOut);
        if (Canceled())
            throw ESockError(Sock_Err_ConnCanceled);
        throw ESockError(Sock_Err_ConnFailed);
    }
    throw ESockError(Sock_Err_NullAddress);
}

void TPowersock::Disconnect() {
    StatusMessage(StatusStep, Cons_Msg_Disconnecting);
    RequestCloseSocket();
}

void TPowersock::RequestCloseSocket() {
    StatusMessage(StatusBuffer, Cons_Msg_RequestClose);
    // After the peer's close the state keeps saying so, for the operation that waits.
    if (state_ != SocketState::PeerClosed)
        setState(SocketState::Closed);
    if (!socket_)
        return;
    const int family = socket_->family();
    closeSocket();
    accepted_.reset();
    // Queued bytes belong to the connection that is gone; they must not reach the next one.
    sendQueue_.clear();
    sendHead_ = 0;
    queueTarget_ = queueSent_;
    if (state_ != SocketState::Destroyed && OnDisconnect) {
        std::shared_ptr<bool> alive = alive_;
        OnDisconnect(this);
        if (!*alive)
            return;
    }
    if (state_ != SocketState::Destroyed && !socket_)
        openSocket(false, family);
}

void TPowersock::Cancel() {
    StatusMessage(StatusStep, Cons_Msg_Canceling);
    canceled_ = true;
}

// ---- line, stream and file I/O ----

void TPowersock::SendBuffer(std::string_view Buffer) {
    StatusMessage(StatusBuffer, Cons_Msg_SendingBuffer);
    throwIfCanceled();
    if (Buffer.empty())
        return;
    if (!Connected() || !socket_)
        raiseConnectionGone();
    // Done when these bytes, and whatever an earlier aborted send left queued, have gone.
    sendQueue_.append(Buffer);
    queueTarget_ += Buffer.size();
    const std::uint64_t target = queueTarget_;
    postToSelf(WM_WRITEMORE);
    const bool inTime = wait([&] { return queueSent_ >= target || !Connected(); }, Limit::Progress);
    throwIfCanceled();
    if (queueSent_ >= target)
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
    if (Count != 0 && receiveStream_.size() < Count) {
        readWanted_ = Count;
        RestoreOnExit unwanted(alive_, [this] { readWanted_ = 0; });
        inTime = wait([&] { return receiveStream_.size() >= Count || !Connected(); }, Limit::Progress);
    }
    throwIfCanceled();
    if (receiveStream_.size() < Count) {
        if (!inTime)
            throw ESockError(Sock_Err_ConnTimedOut);
        raiseConnectionGone();
    }
    return receiveStream_.take(Count ? Count : receiveStream_.size());
}

std::string TPowersock::ReadLn() {
    StatusMessage(StatusStep, Cons_Msg_ReadLn);
    std::size_t scanned = 0;
    std::size_t lineEnd = std::string_view::npos;
    auto complete = [&] {
        if (lineEnd != std::string_view::npos)
            return true;
        std::string_view buffered = receiveStream_.view().substr(0, kMaxLineLength);
        lineEnd = buffered.find('\n', scanned);
        scanned = buffered.size();
        return lineEnd != std::string_view::npos || scanned >= kMaxLineLength;
    };
    // A line trickling in a byte at a time is progress, but may not take for ever.
    const QDeadlineTimer deadline =
        !lineDeadline_.isForever() || TimeOut <= 0 ? lineDeadline_ : QDeadlineTimer(TimeOut);
    if (deadline.hasExpired() && !canceled_)
        throw ESockError(Sock_Err_ConnTimedOut);
    bool inTime = true;
    if (!complete())
        inTime = wait([&] { return complete() || !Connected(); }, Limit::Progress, deadline);
    // The cancel stays set: whoever cancelled a reply read decides what comes next.
    if (canceled_)
        throw EAbortError(Sock_Err_ReadLnAborted);
    if (lineEnd != std::string_view::npos)
        return receiveStream_.take(lineEnd + 1);
    if (scanned >= kMaxLineLength)
        throw ESockError(Sock_Err_LineTooLong);
    if (!inTime)
        throw ESockError(Sock_Err_ConnTimedOut);
    raiseConnectionGone();
}

void TPowersock::sendCommand(const std::string& Command) {
    StatusMessage(StatusStep, Cons_Msg_Transaction);
    replyNumber_ = 0;
    Writeln(Command);
}

std::string TPowersock::readReplyLine() {
    lastReply_ = ReadLn();
    if (!lastReply_.empty()) {
        StatusMessage(StatusProtocol, lastReply_);
        std::int64_t value = 0;
        std::size_t digits = 0;
        while (digits < lastReply_.size() && digits < 10 && lastReply_[digits] >= '0' &&
               lastReply_[digits] <= '9')
            value = value * 10 + (lastReply_[digits++] - '0');
        replyNumber_ = digits > 0 && value <= INT32_MAX ? static_cast<int>(value) : 0;
    }
    return lastReply_;
}

std::string TPowersock::Transaction(const std::string& Command) {
    sendCommand(Command);
    return readReplyLine();
}

void TPowersock::SendFile(const std::string& FileName) {
    StatusMessage(StatusStep, Cons_Msg_SendFile);
    doc::InputFile file(FileName);
    struct stat info {};
    if (::fstat(file.fd(), &info) != 0)
        throw doc::FileError(doc::FileError::Step::Read, errno, FileName);
    sendBlock_.clear();
    fileError_ = nullptr;
    bytesSent_ = 0;
    bytesTotal_ = info.st_size;
    bool inTime = true;
    bool done = bytesTotal_ <= 0; // an empty file is sent at once
    {
        sendFile_ = &file;
        RestoreOnExit restore(alive_, [this] {
            sendFile_ = nullptr;
            sendBlock_.clear();
        });
        if (!done) {
            postToSelf(WM_WRITEMORE);
            inTime = wait([this] { return sendFileDone() || fileError_ || !Connected(); }, Limit::Progress);
            done = sendFileDone();
        }
    }
    if (fileError_)
        std::rethrow_exception(std::exchange(fileError_, nullptr));
    throwIfCanceled();
    if (done)
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
        RestoreOnExit restore(alive_, [this] { captureFile_ = nullptr; });
        captureFile_ = &file;
        bytesRecvd_ = 0;
        if (!receiveStream_.empty()) {
            std::string_view buffered = receiveStream_.view();
            file.write(buffered.data(), buffered.size());
            bytesRecvd_ = buffered.size();
            receiveStream_.clear();
            // Bytes that came before the capture are progress too; whoever watches the count
            // (the progress display, a caller waiting for a size) must hear of them.
            if (OnPacketRecvd)
                OnPacketRecvd(this);
        }
        inTime = wait([this] { return !Connected() || fileError_; }, Limit::Progress);
    }
    if (fileError_)
        std::rethrow_exception(std::exchange(fileError_, nullptr));
    throwIfCanceled();
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
    ensureFamily(BindAddress.empty() ? AF_INET : BindAddress.family());
    remoteAddress_ = BindAddress.empty() ? SocketAddress::any(AF_INET) : BindAddress;
    remoteAddress_.setPort(static_cast<std::uint16_t>(Port));
    setState(SocketState::Closed); // whatever the last connection was
    if (socket_->bind(remoteAddress_) != 0)
        raiseSocketError(socket_->lastError());
    socket_->select(window_.get(), WaitForAccept ? WM_ASYNCDONE : WM_SOCKET, platform::FD_ACCEPT);
    if (socket_->listen(1) != 0)
        raiseSocketError(socket_->lastError());
    setState(SocketState::Listening);
}

int TPowersock::Accept() {
    if (!socket_)
        raiseConnectionGone();
    SocketAddress peer;
    int fd = -1;
    for (;;) {
        bool inTime = true;
        if (state_ != SocketState::AcceptReady)
            inTime = wait([this] { return state_ == SocketState::AcceptReady; }, Limit::Progress);
        if (canceled_)
            throw ESockError(Sock_Err_AcceptCanceled); // the cancel stays set
        if (!inTime)
            throw ESockError(Sock_Err_ConnTimedOut);
        if (eventError_ != 0)
            throw ESockError(Sock_Err_DataConnection);
        StatusMessage(StatusBuffer, Cons_Msg_Accepting);
        peer = {};
        fd = socket_->accept(&peer);
        if (fd < 0)
            raiseSocketError(socket_->lastError());
        accepted_ = AsyncSocket::adopt(fd);
        // The next Accept waits for the next connection.
        setState(SocketState::Listening);
        if (AcceptFrom.empty() || peer.sameHost(AcceptFrom))
            break;
        // Not the expected peer: closed at once, and the wait goes on.
        accepted_.reset();
    }
    remoteAddress_ = peer;
    if (canceled_)
        accepted_.reset();
    throwIfCanceled();
    return fd;
}

void TPowersock::AdoptSocket(int fd) {
    std::unique_ptr<AsyncSocket> socket =
        accepted_ && accepted_->fd() == fd ? std::move(accepted_) : AsyncSocket::adopt(fd);
    closeSocket();
    socket_ = std::move(socket);
    accepted_.reset();
    setState(SocketState::Connected);
    selectAll();
}

void TPowersock::SetLinger(bool on, int seconds) {
    if (socket_ && !socket_->setLinger(on, seconds))
        raiseSocketError(socket_->lastError());
}

SocketAddress TPowersock::LocalAddress() const {
    SocketAddress local;
    if (socket_)
        socket_->localAddress(&local);
    return local;
}

std::string TPowersock::GetPortAddress() {
    SocketAddress local;
    if (!socket_ || !socket_->localAddress(&local))
        raiseSocketError(socket_ ? socket_->lastError() : platform::WSAENOTCONN);
    if (local.family() != AF_INET)
        raiseSocketError(platform::WSAEAFNOSUPPORT); // PORT speaks IPv4 only
    std::string text = local.hostText();
    for (char& c : text)
        if (c == '.')
            c = ',';
    return text;
}

std::string TPowersock::GetPortNumbers() {
    SocketAddress local;
    if (!socket_ || !socket_->localAddress(&local))
        raiseSocketError(socket_ ? socket_->lastError() : platform::WSAENOTCONN);
    unsigned port = local.port();
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
