#pragma once
// Whether the event loop keeps turning while the FTP client waits on a hostile server: a 10 ms
// timer on this thread records the largest gap between its ticks. With QUILLET_HOSTILE_REPORT
// set, each case prints a line that ./bench/run hostile collects.

#include <QElapsedTimer>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>

namespace quillet::testing {

class GuiGapProbe {
public:
    GuiGapProbe() {
        QObject::connect(&timer_, &QTimer::timeout, [this] { tick(); });
        clock_.start();
        timer_.start(10);
    }
    // The largest gap in ms, the last stretch up to now included.
    qint64 stop() {
        tick();
        timer_.stop();
        return maxGap_;
    }

private:
    void tick() {
        const qint64 now = clock_.elapsed();
        maxGap_ = std::max(maxGap_, now - last_);
        last_ = now;
    }
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 last_ = 0;
    qint64 maxGap_ = 0;
};

// "hostile-case kind=K ok=yes|no gui_gap_ms=G"; ok is no when the test has failed so far.
inline void reportHostileCase(const std::string& kind, qint64 gapMs) {
    if (!std::getenv("QUILLET_HOSTILE_REPORT"))
        return;
    std::printf("hostile-case kind=%s ok=%s gui_gap_ms=%lld\n", kind.c_str(),
                ::testing::Test::HasFailure() ? "no" : "yes", static_cast<long long>(gapMs));
    std::fflush(stdout);
}

} // namespace quillet::testing
