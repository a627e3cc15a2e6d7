#include "platform/message_pump.h"

#include <QCoreApplication>
#include <QEvent>
#include <QtDebug>
#include <atomic>
#include <thread>

namespace quillet::platform {

namespace {

// Messages posted and not yet handled, over all windows; the pump runs until none is left.
std::atomic<long> pendingMessages{0};

const QEvent::Type messageEventType = static_cast<QEvent::Type>(QEvent::registerEventType());

class MessageEvent : public QEvent {
public:
    explicit MessageEvent(const Message& m) : QEvent(messageEventType), message(m) { ++pendingMessages; }
    // An event dropped with its window (never delivered) no longer counts as pending.
    ~MessageEvent() override { markDelivered(); }
    void markDelivered() {
        if (!delivered) {
            delivered = true;
            --pendingMessages;
        }
    }
    Message message;
    bool delivered = false;
};

ExceptionReporter& reporter() {
    static ExceptionReporter r;
    return r;
}

} // namespace

MessageWindow::MessageWindow(QObject* parent) : QObject(parent) {}

void MessageWindow::post(unsigned msg, std::uintptr_t wParam, std::intptr_t lParam) {
    QCoreApplication::postEvent(this, new MessageEvent(Message{msg, wParam, lParam}));
}

bool MessageWindow::event(QEvent* e) {
    if (e->type() != messageEventType)
        return QObject::event(e);
    auto* m = static_cast<MessageEvent*>(e);
    // Counted as handled before the handler runs: a wait inside the handler must not wait
    // for the very message it is part of.
    m->markDelivered();
    try {
        if (handler_)
            handler_(m->message);
    } catch (...) {
    }
    return true;
}

void pumpMessages() {
    do
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    while (pendingMessages.load() > 0);
}

void waitUntil(const std::function<bool()>& done) {
    for (;;) {
        pumpMessages();
        if (done())
            return;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
}

void runAside(const std::function<void()>& work) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) {
        work();
        return;
    }
    std::atomic<bool> done{false};
    std::exception_ptr error;
    std::thread worker([&] {
        try {
            work();
        } catch (...) {
            error = std::current_exception();
        }
        done = true;
        QMetaObject::invokeMethod(
            app, [] {}, Qt::QueuedConnection); // wakes the waiting loop
    });
    waitUntil([&] { return done.load(); });
    worker.join();
    if (error)
        std::rethrow_exception(error);
}

void setExceptionReporter(ExceptionReporter r) { reporter() = std::move(r); }

void reportException(std::exception_ptr error) noexcept {
    try {
        if (reporter()) {
            reporter()(error);
            return;
        }
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        qWarning("Quillet: %s", e.what());
    } catch (...) {
        qWarning("Quillet: unknown exception");
    }
}

} // namespace quillet::platform
