#pragma once
// TPowersock: one TCP socket whose operations look blocking to the caller while the event loop
// keeps turning, so the window stays responsive during every wait. Notifications arrive as
// messages at the component's hidden window; a small handler per event moves bytes between the
// socket and its buffers and advances the socket's state. The operations wait, through one wait
// helper, until the state or their buffers say they are done. TThreadTimer measures the time-out.
//
// Every wait for the network ends on Cancel, on TimeOut (when not 0; for transfers it counts
// time without progress) and, for reads and sends, as soon as the connection is gone.
//
// A connection can be secured with TLS (StartTls): from then on every byte goes through the
// channel, the handlers stay the same, and the peer's end of the TLS stream counts as its close.

#include "platform/async_socket.h"
#include "platform/message_pump.h"
#include "platform/tls_channel.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QObject>
#include <cstdint>
#include <functional>
#include <memory>
#include <netinet/in.h>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillet::doc {
class InputFile;
class OutputFile;
} // namespace quillet::doc

namespace quillet::net {

class ESockError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
class EAbortError : public ESockError {
public:
    using ESockError::ESockError;
};
// A TLS handshake or certificate check that failed, or a certificate the author did not trust;
// the connection is closed.
class ETlsError : public ESockError {
public:
    ETlsError(platform::TlsFailure failure, platform::CertificateInfo certificate, std::string detail);
    platform::TlsFailure Failure() const { return failure_; }
    // The server's certificate, when the handshake got that far.
    const platform::CertificateInfo& Certificate() const { return certificate_; }
    // OpenSSL's reason for a protocol failure.
    const std::string& Detail() const { return detail_; }

private:
    platform::TlsFailure failure_;
    platform::CertificateInfo certificate_;
    std::string detail_;
};

class TPowersock;
using TNotifyEvent = std::function<void(QObject* Sender)>;
using THandlerEvent = std::function<void(bool& Handled)>;
using TOnHostResolved = std::function<void(QObject* Sender)>;
using TOnStatus = std::function<void(QObject* Sender, const std::string& Status)>;
using TOnErrorEvent = std::function<void(QObject* Sender, int Errno, const std::string& Errmsg)>;

// Status levels of StatusMessage.
enum : int { StatusProtocol = 1, StatusBuffer = 4, StatusStep = 8, StatusErrorCheck = 16 };

// Notification messages of the hidden window.
constexpr unsigned WM_SOCKET = platform::WM_USER + 101;    // socket events
constexpr unsigned WM_ASYNCDONE = platform::WM_USER + 102; // lookup reply, accept in wait mode
constexpr unsigned WM_WRITEMORE = platform::WM_USER + 103;
constexpr unsigned WM_READMORE = platform::WM_USER + 104;

// Bytes of one recv or send call. One block per notification keeps the window responsive;
// 64 KiB blocks keep a transfer near the speed of a plain blocking loop (16 KiB ones cost
// about half of it on loopback).
constexpr std::size_t kBlockSize = 65536;
// ReadLn refuses a line that has no LF within this many bytes.
constexpr std::size_t kMaxLineLength = 1024 * 1024;
// While this much waits unread (and no Read asks for more), the socket is not read: the peer is
// held back by TCP instead of filling our memory.
constexpr std::size_t kReceiveLimit = kMaxLineLength + kBlockSize;

// A periodic timer on the window timer: OnTimer fires every Interval ms while Enabled.
class TThreadTimer : public QObject {
public:
    explicit TThreadTimer(QObject* Owner = nullptr);
    ~TThreadTimer() override;

    unsigned Interval() const { return interval_; }
    void SetInterval(unsigned value);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value);
    void SetOnTimer(TNotifyEvent handler);

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    void UpdateTimer();

    unsigned interval_ = 1000;
    bool enabled_ = true;
    TNotifyEvent onTimer_;
    int timerId_ = 0;
};

// The receive buffer: bytes are appended at the end and consumed from the front.
class ReceiveBuffer {
public:
    std::size_t size() const { return data_.size() - head_; }
    bool empty() const { return size() == 0; }
    std::string_view view() const { return std::string_view(data_).substr(head_); }
    void append(const char* bytes, std::size_t n) { data_.append(bytes, n); }
    std::string take(std::size_t n);
    void clear();

private:
    std::string data_;
    std::size_t head_ = 0;
};

// What the socket is doing. Only TPowersock::setState changes it.
enum class SocketState : std::uint8_t {
    Closed,      // a fresh socket: ready to connect or listen
    Resolving,   // Connect looks the host up
    Connecting,  // Connect waits for the connection
    Connected,   // received bytes collect in ReceiveStream whether or not anybody reads them
    Listening,   // bound, waiting for one connection
    AcceptReady, // that connection has arrived (a listening socket then counts as connected)
    PeerClosed,  // the peer closed or reset; what it sent before stays readable
    Destroyed,   // going away: closing opens no new socket, nothing is reported
};

class TPowersock : public QObject {
public:
    explicit TPowersock(QObject* Owner = nullptr);
    ~TPowersock() override;
    TPowersock(const TPowersock&) = delete;
    TPowersock& operator=(const TPowersock&) = delete;

    // Published properties.
    std::string Host;
    int Port = 0;
    int TimeOut = 0;     // ms; 0 = no limit
    int ReportLevel = 0; // highest status level passed to OnStatus
    std::string Proxy;   // looked up and connected to instead of Host when not empty
    int ProxyPort = 0;
    // Listen binds this address (its port aside; empty = every IPv4 interface), and Accept takes
    // a connection only from AcceptFrom's host (empty = anyone): an FTP data connection must
    // come from the server it was announced to.
    platform::SocketAddress BindAddress;
    platform::SocketAddress AcceptFrom;

    // Events.
    TNotifyEvent OnDataArrived;
    TNotifyEvent OnAccept;
    TNotifyEvent OnConnect;
    TNotifyEvent OnDisconnect;
    TOnErrorEvent OnError;
    THandlerEvent OnInvalidHost;
    TOnHostResolved OnHostResolved;
    THandlerEvent OnConnectionRequired;
    TOnStatus OnStatus;
    TNotifyEvent OnConnectionFailed;
    TNotifyEvent OnPacketRecvd;
    TNotifyEvent OnPacketSent;

    // Readable state.
    SocketState State() const { return state_; }
    bool Connected() const { return state_ == SocketState::Connected || state_ == SocketState::AcceptReady; }
    bool Canceled() const { return canceled_; }
    bool TimedOut() const { return timedOut_; }
    // A file transfer runs: a file stands in for the buffer of its direction.
    bool Transferring() const { return sendFile_ || captureFile_; }
    bool StreamIsFile() const { return Transferring(); }
    bool HandlerBusy() const { return reading_.busy() || writing_.busy(); }
    int LastErrorNo() const { return lastErrorNo_; }
    const std::string& Status() const { return status_; }
    const std::vector<std::string>& WinsockInfo() const { return winsockInfo_; }
    std::uint64_t BytesSent() const { return bytesSent_; }
    std::int64_t BytesTotal() const { return bytesTotal_; }
    std::uint64_t BytesRecvd() const { return bytesRecvd_; }
    const std::string& LastReply() const { return lastReply_; }
    int ReplyNumber() const { return replyNumber_; }
    const platform::SocketAddress& RemoteAddress() const { return remoteAddress_; }
    // The address this end of the connection (or the listening socket) has; empty when none.
    platform::SocketAddress LocalAddress() const;
    const ReceiveBuffer& ReceiveStream() const { return receiveStream_; }

    int SocketHandle() const; // -1 when there is none
    platform::MessageWindow* WindowHandle() const { return window_.get(); }
    TThreadTimer* Timer() const { return timer_.get(); }
    // Components alive now; the first one started the socket layer, the last one stops it.
    static int StartupCount();

    virtual int Accept();
    virtual void Connect();
    // Connects to this address without a lookup (Host and Proxy are not used).
    void ConnectTo(const platform::SocketAddress& address);
    virtual void Disconnect();
    virtual std::string Transaction(const std::string& Command);
    // Hook run when the time-out fires and when the component is destroyed.
    virtual void Abort() {}

    // Asks the running wait to end; the operation that waits raises.
    void Cancel();
    // Forgets a cancel that no wait has taken (ReadLn and Accept leave theirs set).
    void ClearCancel() { canceled_ = false; }
    void CheckConnection();
    void RequestCloseSocket();
    void StatusMessage(int Level, const std::string& Text);
    void ErrorManager(int IgnoreError);
    std::string ErrorMessage(int ErrorNo);

    void SendBuffer(std::string_view Buffer);
    void Write(std::string_view Text);
    void Writeln(std::string_view Text);
    std::string Read(std::size_t Count);
    std::string ReadLn();
    void SendFile(const std::string& FileName);
    void CaptureFile(const std::string& FileName);
    // Receives into a file the caller opened (and later syncs, closes and installs).
    void CaptureFile(doc::OutputFile& File);
    void Listen(bool WaitForAccept);
    std::string GetPortAddress();
    std::string GetPortNumbers();

    // Makes a socket returned by Accept (or any connected descriptor) this component's socket:
    // the listening socket is closed and every event of the new one is selected.
    void AdoptSocket(int fd);
    // SO_LINGER of the socket: (true, 0) resets at close; (false, 0) closes gracefully.
    void SetLinger(bool on, int seconds);
    // An operation of this component is waiting.
    bool Waiting() const { return waitDepth_ > 0; }

    // Asked about a certificate the trust store does not vouch for; true trusts it for this
    // connection.
    using TrustQuestion = std::function<bool(const platform::CertificateInfo& certificate)>;
    // Secures the connection with TLS and waits for the handshake. Bytes received before it
    // (unread in ReceiveStream) refuse it: they came unprotected and would pass for the
    // server's. An untrusted certificate is put to trust (when given); a no, and every other
    // failure, closes the connection and raises ETlsError.
    void StartTls(std::shared_ptr<platform::TlsContext> context, platform::TlsPeer peer,
                  const TrustQuestion& trust = {});
    // The channel while the connection is secured, else null.
    const platform::TlsChannel* Tls() const { return tls_.get(); }
    // Sends our close_notify and ends the sending direction; the peer's end is still read.
    void ShutdownTls();
    // How the peer ended the last secured connection: Closed (close_notify), Truncated (it
    // just closed: what came may be cut short), or Ok while it has not ended.
    platform::TlsStatus TlsEnd() const { return tlsEnd_; }
    // Destroys the component; during its own wait the wait is cancelled and the component is
    // deleted once the operation has unwound (when control is back in the event loop).
    void Free();

protected:
    // How a wait is bounded besides Cancel.
    enum class Limit : std::uint8_t {
        None,     // nothing else
        Total,    // TimeOut from the start (lookup, connect)
        Progress, // TimeOut without progress, and the deadline
        Deadline, // the deadline only; reaching it is no time-out
    };
    // The one wait: runs the event loop until done() holds, a cancel comes or the limit is
    // reached (then TimedOut() is set, except for Limit::Deadline). False when the limit ended
    // it before done() held; the caller looks at what holds. Raises EAbortError when the
    // component was destroyed meanwhile.
    bool wait(const std::function<bool()>& done, Limit limit,
              QDeadlineTimer deadline = QDeadlineTimer(QDeadlineTimer::Forever));
    // A cancel ends the operation that looks for it: it is used up and raised as EAbortError.
    void throwIfCanceled();
    // One deadline for every ReadLn while it lives (from TimeOut, when set), so that a reply of
    // many lines that trickles in is over after TimeOut all the same. An outer one is kept.
    class LineDeadline {
    public:
        explicit LineDeadline(TPowersock& socket);
        ~LineDeadline();
        LineDeadline(const LineDeadline&) = delete;
        LineDeadline& operator=(const LineDeadline&) = delete;

    private:
        TPowersock& socket_;
        QDeadlineTimer outer_;
    };

    void setLastReply(std::string line, int number) {
        lastReply_ = std::move(line);
        replyNumber_ = number;
    }
    void setBytesTotal(std::int64_t total) { bytesTotal_ = total; }
    // Sends a command line (a transaction's first half); status "Transaction".
    void sendCommand(const std::string& Command);
    // Reads one reply line into LastReply and ReplyNumber (a transaction's second half).
    std::string readReplyLine();
    // Whether the component still exists, for code that must not touch it after a wait.
    std::shared_ptr<const bool> lifeline() const { return alive_; }
    ReceiveBuffer& receiveBuffer() { return receiveStream_; }

    void InitWinsock();
    void ResolveHost();
    void TimerOn();
    void TimerOff();
    void TimerTriggered();
    void ReadToStream();
    void WriteFromStream();
    void Dispatch(const platform::Message& message);
    // Raises the error for a connection that is gone.
    [[noreturn]] void raiseConnectionGone();

private:
    // Keeps a notification handler from running inside itself; a notification that meets it
    // busy runs it again afterwards (readiness is one-shot: a dropped one would stall the socket).
    class Reentry {
    public:
        bool busy() const { return run_ != Run::Idle; }
        // False when the handler is running already: it is then run again once it is done.
        bool enter();
        // True when a notification came meanwhile.
        bool leave() { return std::exchange(run_, Run::Idle) == Run::Again; }

    private:
        enum class Run : std::uint8_t { Idle, Running, Again } run_ = Run::Idle;
    };

    void setState(SocketState next);
    void openSocket(bool resetOnClose, int family = AF_INET);
    // A fresh socket of this family, unless the current one is of it already.
    void ensureFamily(int family);
    void closeSocket();
    void selectAll();
    void dropSocket();
    // Connects to the candidates in turn until one answers.
    void connectCandidates(std::uint16_t port);
    // TLS: one step of the handshake; reading and writing through the channel; the end.
    void stepHandshake();
    bool readThroughTls(const std::shared_ptr<bool>& alive);
    void writeThroughTls(std::string_view block);
    void postClose();
    // Handlers of the socket's events.
    void onAccepted(int error);
    void onConnected(int error);
    void onClosed(int error);
    void onLookupDone(int error, std::uintptr_t tag);
    void storeReceived(const char* bytes, std::size_t n);
    // The bytes of the next send: the file's block, or the queue's unsent rest.
    std::string_view nextSendBlock();
    void sent(std::size_t n);
    bool sendQueueDone() const { return queueSent_ >= queueTarget_; }
    bool sendFileDone() const;
    void noteProgress() { lastProgress_.start(); }
    void postToSelf(unsigned msg);
    void raiseSocketError(int error);

    SocketState state_ = SocketState::Closed;
    std::unique_ptr<platform::MessageWindow> window_;
    std::unique_ptr<TThreadTimer> timer_;
    std::unique_ptr<platform::HostLookup> lookup_;
    std::unique_ptr<platform::AsyncSocket> socket_;
    std::unique_ptr<platform::AsyncSocket> accepted_; // from Accept, until adopted
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    int waitDepth_ = 0;
    int dispatchDepth_ = 0;
    bool freePending_ = false; // Free() came during a wait: deleted once it has unwound

    int lastErrorNo_ = 0;
    int eventError_ = 0; // the error of the last notification (0 = success)
    int closeError_ = 0; // error of the peer's close (a reset), 0 for a graceful one
    std::string status_;
    std::vector<std::string> winsockInfo_;
    std::uint64_t bytesSent_ = 0;
    std::int64_t bytesTotal_ = 0;
    std::uint64_t bytesRecvd_ = 0;
    std::string lastReply_;
    int replyNumber_ = 0;
    platform::SocketAddress remoteAddress_;
    ReceiveBuffer receiveStream_;
    bool resetOnClose_ = false; // the socket's SO_LINGER resets the connection at close

    std::uintptr_t lookupTag_ = 0;
    std::vector<platform::SocketAddress> lookupAddresses_; // of the finished lookup
    std::vector<platform::SocketAddress> candidates_;      // where Connect tries, in order

    // TLS on the connection.
    std::unique_ptr<platform::TlsChannel> tls_;
    bool tlsHandshaking_ = false;
    bool tlsAwaitingTrust_ = false; // the author is asked: the channel is left alone meanwhile
    bool tlsShuttingDown_ = false;  // our close_notify waits for the socket to take it
    bool readWantsWrite_ = false;   // the channel's read goes on once the socket is writable
    bool writeWantsRead_ = false;   // ... and its write once it is readable
    platform::TlsFailure tlsFailure_ = platform::TlsFailure::None;
    platform::CertificateInfo tlsCertificate_;
    std::string tlsDetail_;
    platform::TlsStatus tlsEnd_ = platform::TlsStatus::Ok;

    // The memory queue: bytes from sendHead_ on are unsent. Queued and sent bytes are counted
    // over the connection's life, so a SendBuffer knows when its own bytes have gone.
    std::string sendQueue_;
    std::size_t sendHead_ = 0;
    std::uint64_t queueTarget_ = 0;
    std::uint64_t queueSent_ = 0;
    doc::InputFile* sendFile_ = nullptr;
    std::string sendBlock_; // read from sendFile_, not yet accepted by the socket
    doc::OutputFile* captureFile_ = nullptr;
    std::exception_ptr fileError_; // a read or write of the transfer's file failed
    Reentry reading_;
    Reentry writing_;
    bool readPaused_ = false;    // the receive buffer is full: the socket is read again once drained
    std::size_t readWanted_ = 0; // bytes a waiting Read asks for

    // The running wait.
    bool canceled_ = false;
    bool timedOut_ = false;
    Limit waitLimit_ = Limit::None;
    QDeadlineTimer waitDeadline_{QDeadlineTimer::Forever};
    QDeadlineTimer lineDeadline_{QDeadlineTimer::Forever}; // of the LineDeadline in force
    QElapsedTimer lastProgress_;
};

// The N-th field (from 1) of Text between single Delimiter characters; empty when there is none.
std::string NthWord(const std::string& Text, char Delimiter, int N);

} // namespace quillet::net
