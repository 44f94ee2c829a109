#pragma once

// What the benchmarks of the window share: a clock, and running Qt's events until something
// happened.

#include <QApplication>
#include <QElapsedTimer>
#include <chrono>
#include <functional>

using HVBenchClock = std::chrono::steady_clock;

inline double HVMillisecondsSince(HVBenchClock::time_point start) {
    return std::chrono::duration<double, std::milli>(HVBenchClock::now() - start).count();
}

// Runs the event loop until the condition holds; false when the time ran out first.
inline bool HVRunUntil(const std::function<bool()>& done, int timeoutMs = 120000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}
