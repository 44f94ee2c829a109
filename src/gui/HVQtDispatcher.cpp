#include "HVQtDispatcher.h"

#include "HVDispatcher.h"

#include <QMetaObject>
#include <chrono>

HVQtDispatcher::HVQtDispatcher(QObject* parent) : QObject(parent) {
    HVDispatcher::main().adoptCurrentThread();
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &HVQtDispatcher::drain);
    HVDispatcher::main().setWakeUpHandler(
        [this] { QMetaObject::invokeMethod(this, "schedule", Qt::QueuedConnection); });
    schedule();
}

HVQtDispatcher::~HVQtDispatcher() {
    HVDispatcher::main().setWakeUpHandler(nullptr);
}

void HVQtDispatcher::drain() {
    HVDispatcher::main().runPending();
    schedule();
}

void HVQtDispatcher::schedule() {
    auto wait = HVDispatcher::main().timeUntilNextTask();
    if (!wait) {
        m_timer.stop();
        return;
    }
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(*wait).count();
    m_timer.start(int(std::min<long long>(ms, 1 << 30)));
}
