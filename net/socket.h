#pragma once
// TPowersock: one TCP socket whose operations look blocking to the caller while the event loop
// keeps turning, so the window stays responsive during every wait. Notifications arrive as
// messages at the component's hidden window and move bytes between the socket and its buffers;
// the operations wait for flags. TThreadTimer measures the time-out.
//
// Every wait for the network ends on Cancel, on TimeOut (when not 0; for transfers it counts
// time without progress) and, for reads and sends, as soon as the connection is gone.

#include "platform/async_socket.h"
#include "platform/message_pump.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QObject>
#include <cstdint>
#include <functional>
#include <memory>
#include <netinet/in.h>
#include <stdexcept>
#include <string>
#include <string_view>
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
    // Listen binds this address (network byte order; 0 = every interface), and Accept takes a
    // connection only from AcceptFrom (0 = anyone): an FTP data connection must come from the
    // server it was announced to.
    in_addr_t BindAddress = 0;
    in_addr_t AcceptFrom = 0;
    // When set, ReadLn ends by then however slowly its bytes trickle in (the FTP client sets one
    // for all lines of a reply); otherwise each ReadLn has TimeOut, when set, for its whole line.
    QDeadlineTimer ReadDeadline{QDeadlineTimer::Forever};

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

    // State, readable by callers; the FTP client clears Canceled and sets BytesTotal.
    bool Connected = false;
    bool Canceled = false;
    bool TimedOut = false;
    bool Transferring = false;
    bool StreamIsFile = false;
    bool HandlerBusy = false;
    bool SendDone = false;
    bool AsyncDone = false;
    bool LastEventOk = false;
    bool NoReopen = false;
    int LastErrorNo = 0;
    std::string Status;
    std::vector<std::string> WinsockInfo;
    std::uint64_t BytesSent = 0;
    std::int64_t BytesTotal = 0;
    std::uint64_t BytesRecvd = 0;
    std::string LastReply;
    int ReplyNumber = 0;
    sockaddr_in RemoteAddress{};
    ReceiveBuffer ReceiveStream;

    int SocketHandle() const; // -1 when there is none
    platform::MessageWindow* WindowHandle() const { return window_.get(); }
    TThreadTimer* Timer() const { return timer_.get(); }
    // Components alive now; the first one started the socket layer, the last one stops it.
    static int StartupCount();

    virtual int Accept();
    virtual void Connect();
    virtual void Disconnect();
    virtual std::string Transaction(const std::string& Command);
    // Hook run when the time-out fires and when the component is destroyed.
    virtual void Abort() {}

    void Cancel();
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
    // Destroys the component; during its own wait the wait is cancelled and the component is
    // deleted once the operation has unwound (when control is back in the event loop).
    void Free();

protected:
    void InitWinsock();
    void ResolveHost();
    void TimerOn();
    void TimerOff();
    void TimerTriggered();
    void ReadToStream();
    void WriteFromStream();
    void Dispatch(const platform::Message& message);

    // Waits with the event loop turning until done() or Canceled; the caller looks at flags.
    void waitFor(const std::function<bool()>& done);
    // The same, bounded by TimeOut without progress and by deadline; false when either ended it.
    bool waitForTransfer(const std::function<bool()>& done,
                         QDeadlineTimer deadline = QDeadlineTimer(QDeadlineTimer::Forever));
    // Raises the error for a connection that is gone.
    [[noreturn]] void raiseConnectionGone();

private:
    void openSocket(bool resetOnClose);
    void selectAll();
    void dropSocket();
    void storeReceived(const char* bytes, std::size_t n);
    void noteProgress() { lastProgress_.start(); }
    void postToSelf(unsigned msg);
    void raiseSocketError(int error);

    std::unique_ptr<platform::MessageWindow> window_;
    std::unique_ptr<TThreadTimer> timer_;
    std::unique_ptr<platform::HostLookup> lookup_;
    std::unique_ptr<platform::AsyncSocket> socket_;
    std::unique_ptr<platform::AsyncSocket> accepted_; // from Accept, until adopted
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    bool destroying_ = false;
    bool counted_ = false;
    int waitDepth_ = 0;
    int dispatchDepth_ = 0;
    bool freePending_ = false;

    std::uintptr_t lookupTag_ = 0;
    bool lookupOk_ = false;
    in_addr lookupAddress_{};

    std::string sendQueue_;
    std::size_t sendHead_ = 0;
    doc::InputFile* sendFile_ = nullptr;
    std::string sendBlock_; // read from sendFile_, not yet accepted by the socket
    doc::OutputFile* captureFile_ = nullptr;
    std::exception_ptr fileError_; // a read or write of the transfer's file failed
    // Each handler keeps itself from running inside itself; a send from a receive event (or
    // the other way round) is fine, and must be, since it may wait.
    bool readBusy_ = false;
    bool writeBusy_ = false;
    bool readPending_ = false; // a notification met the busy handler: run it afterwards
    bool writePending_ = false;
    int closeError_ = 0; // error of the peer's close (a reset), 0 for a graceful one
    bool peerClosed_ = false;
    bool transferWait_ = false;
    QDeadlineTimer waitDeadline_{QDeadlineTimer::Forever}; // of the running transfer wait
    bool readPaused_ = false;       // the receive buffer is full: the socket is read again once drained
    std::size_t readWanted_ = 0;    // bytes a waiting Read asks for
    bool connectCompleted_ = false; // FD_CONNECT without error arrived for the running Connect
    QElapsedTimer lastProgress_;
};

// The N-th field (from 1) of Text between single Delimiter characters; empty when there is none.
std::string NthWord(const std::string& Text, char Delimiter, int N);

} // namespace quillet::net
