#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <cstdlib>
#include <functional>

// The one application of a GUI test program, on Qt's offscreen platform.
inline QApplication& HVGuiApplication() {
    static int argc = 1;
    static char name[] = "halvet_gui_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        return new QApplication(argc, argv);
    }();
    return *app;
}

// Runs Qt's events until the condition holds or a few seconds pass.
inline bool HVWaitFor(const std::function<bool()>& condition, int milliseconds = 5000) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > milliseconds)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        QTest::qWait(5);
    }
    return true;
}
