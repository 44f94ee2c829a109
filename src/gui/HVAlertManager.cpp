#include "HVAlertManager.h"

#include "HVError.h"
#include "HVQtUserInterface.h"

namespace {

// The Qt user interface when the application runs one (headless tests install others).
HVQtUserInterface* qtUserInterface() {
    return dynamic_cast<HVQtUserInterface*>(&HVUserInterface::shared());
}

} // namespace

HVAlertManager::HVAlertManager(QWidget* window) : m_window(window) {}

HVAlertManager::~HVAlertManager() {
    if (HVQtUserInterface* ui = qtUserInterface())
        ui->forgetContext(this);
}

void HVAlertManager::setStatusBarWarningHandler(WarningHandler handler) {
    m_warning = std::move(handler);
}

void HVAlertManager::presentError(const HVError& error,
                                  std::function<void(std::size_t)> completion) {
    if (error.isLowPriority() && m_warning) {
        m_warning(error.description());
        if (completion)
            completion(0);
        return;
    }
    // Registered at each use: the user interface may have been installed after this manager.
    if (HVQtUserInterface* ui = qtUserInterface())
        ui->setWindowForContext(this, m_window);
    HVUserInterface::shared().presentError(error, this, std::move(completion));
}
