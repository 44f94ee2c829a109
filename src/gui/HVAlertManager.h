#pragma once

#include <QPointer>
#include <QWidget>
#include <cstddef>
#include <functional>
#include <string>

class HVError;

// Tells the person at one window about failures: a low-priority one as a warning in the
// window's status bar, any other as an alert in the window's queue of the application's user
// interface (one alert on screen at a time, the rest waiting their turn).
class HVAlertManager {
public:
    explicit HVAlertManager(QWidget* window);
    ~HVAlertManager();
    HVAlertManager(const HVAlertManager&) = delete;
    HVAlertManager& operator=(const HVAlertManager&) = delete;

    using WarningHandler = std::function<void(const std::string& warning)>;
    // Shows a warning in the status bar; without one, low-priority errors become alerts too.
    void setStatusBarWarningHandler(WarningHandler handler);

    // The completion gets the chosen recovery option's index (0 for a status-bar warning).
    void presentError(const HVError& error,
                      std::function<void(std::size_t option)> completion = {});

    QWidget* window() const { return m_window; }

private:
    QPointer<QWidget> m_window;
    WarningHandler m_warning;
};
