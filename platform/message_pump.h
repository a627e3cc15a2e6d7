#pragma once
// Window messages on Qt's event loop: a notification target that receives posted messages
// (message number, wParam, lParam) in posting order on the GUI thread, and the waiting loop
// that keeps every message flowing while an operation looks blocking to its caller.

#include <QObject>
#include <cstdint>
#include <exception>
#include <functional>

namespace quillet::platform {

constexpr unsigned WM_USER = 0x0400;

struct Message {
    unsigned msg = 0;
    std::uintptr_t wParam = 0;
    std::intptr_t lParam = 0;
};

// The hidden window of a component. Messages may be posted from any thread; they are handled
// on the thread the window lives in. Whatever the handler throws is discarded here, so nothing
// crosses Qt's dispatch.
class MessageWindow : public QObject {
public:
    using Handler = std::function<void(const Message&)>;
    explicit MessageWindow(QObject* parent = nullptr);
    void setHandler(Handler handler) { handler_ = std::move(handler); }
    void post(unsigned msg, std::uintptr_t wParam = 0, std::intptr_t lParam = 0);

protected:
    bool event(QEvent* e) override;

private:
    Handler handler_;
};

// Processes every pending message, including those posted while it runs (processEvents()
// alone sees only those posted before the call), together with due timers and sockets.
void pumpMessages();

// Pumps until done() holds; between rounds it blocks on the event loop, so waiting costs
// neither latency nor CPU.
void waitUntil(const std::function<bool()>& done);

// Runs work on a thread of its own and waits for it as every operation waits, so that the event
// loop keeps turning while a long file call (an fsync of a large download) blocks. What work
// throws is rethrown here. Without an event loop the work simply runs here.
void runAside(const std::function<void()>& work);

// Where an exception from a timer handler goes (the application's error display). The default
// writes a warning.
using ExceptionReporter = std::function<void(std::exception_ptr)>;
void setExceptionReporter(ExceptionReporter reporter);
void reportException(std::exception_ptr error) noexcept;

} // namespace quillet::platform
