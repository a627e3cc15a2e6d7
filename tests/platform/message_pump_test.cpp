#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "platform/message_pump.h"

using quillet::platform::runAside;

namespace {
QCoreApplication& app() {
    static int argc = 1;
    static char name[] = "test_platform";
    static char* argv[] = {name, nullptr};
    static QCoreApplication instance(argc, argv);
    return instance;
}
} // namespace

// Work run aside blocks only its own thread: the event loop goes on delivering timers, and what
// the work throws comes back to the caller.
TEST(RunAside, TheEventLoopTurnsWhileTheWorkBlocksAndItsErrorReturns) {
    app();
    std::atomic<bool> timerRan{false};
    bool sawTimer = false;
    QTimer::singleShot(0, [&] { timerRan = true; });
    runAside([&] {
        // Waits for the loop it would freeze if it ran on the caller's thread.
        for (int i = 0; i < 1000 && !timerRan; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        sawTimer = timerRan;
    });
    EXPECT_TRUE(sawTimer);

    EXPECT_THROW(runAside([] { throw std::runtime_error("disk gone"); }), std::runtime_error);
    int ran = 0;
    runAside([&] { ++ran; });
    EXPECT_EQ(ran, 1);
}
