#pragma once

#include "HVUserInterface.h"

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <deque>
#include <map>
#include <string_view>


// Asks the person at the screen: alerts whose buttons are an error's recovery options, shown as
// window-modal sheets (one at a time per window, the rest wait their turn), file dialogs and
// the review of unsaved documents.
class HVQtUserInterface : public QObject, public HVUserInterface {
    Q_OBJECT
public:
    // The window that questions about a model object (a document, a window controller) belong
    // to; unknown objects get application-wide dialogs.
    void setWindowForContext(const void* context, QWidget* window);
    void forgetContext(const void* context);
    QWidget* windowForContext(const void* context) const;

    void presentError(const HVError& error, const void* context,
                      std::function<void(std::size_t option)> completion) override;
    void runOpenPanel(const OpenPanelOptions& options, const void* context,
                      std::function<void(std::vector<std::string> paths)> completion) override;
    void runSavePanel(const SavePanelOptions& options, const void* context,
                      std::function<void(std::optional<std::string> path)> completion) override;
    void reviewUnsavedDocuments(
        const std::vector<std::string>& titles, const void* context,
        std::function<void(int result, std::vector<std::size_t> selected)> completion) override;
    void beep() override;

private:
    struct PendingAlert {
        HVError error;
        std::function<void(std::size_t)> completion;
    };
    void showNextAlert(QWidget* window);

    std::map<const void*, QPointer<QWidget>> m_windows;
    // Alerts waiting for the one on screen to end, per window (null: application-wide).
    std::map<QWidget*, std::deque<PendingAlert>> m_waiting;
    std::map<QWidget*, bool> m_showing;
};
