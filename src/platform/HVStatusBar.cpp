#include "HVStatusBar.h"

#include "HVError.h"

void HVRecordingStatusBar::showWarning(const HVError& error) {
    warning = error.description();
}
