#pragma once

#include <QObject>
#include <QTimer>

// Runs the main-thread dispatcher's work from Qt's event loop: any thread that posts wakes the
// loop, and a timer waits for the earliest delayed task.
class HVQtDispatcher : public QObject {
    Q_OBJECT
public:
    explicit HVQtDispatcher(QObject* parent = nullptr);
    ~HVQtDispatcher() override;

private:
    Q_INVOKABLE void drain();
    void schedule();

    QTimer m_timer;
};
