#pragma once

#include <QApplication>
#include <QColor>
#include <QElapsedTimer>
#include <QImage>
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

// The pixels of the picture within tolerance of the colour in each channel.
inline int HVPixelsNear(const QImage& image, const QColor& color, int tolerance) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            QColor pixel = image.pixelColor(x, y);
            count += std::abs(pixel.red() - color.red()) < tolerance &&
                     std::abs(pixel.green() - color.green()) < tolerance &&
                     std::abs(pixel.blue() - color.blue()) < tolerance;
        }
    }
    return count;
}
