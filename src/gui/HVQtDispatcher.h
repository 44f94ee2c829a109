#pragma once

#include <QObject>
#include <QTimer>

// Runs the main-thread dispatcher's work from Qt's event loop: any thread that posts wakes the
// loop, and a timer waits for the earliest task. Tasks run from the timer, after the posted
// events of each pass of the loop, so that idle work that posts its next slice never holds back
// a repaint (Qt posts those at low priority).
class HVQtDispatcher : public QObject {
    Q_OBJECT
public:
    explicit HVQtDispatcher(QObject* parent = nullptr);
    ~HVQtDispatcher() override;

private:
    void drain();
    Q_INVOKABLE void schedule();

    QTimer m_timer;
};
