#pragma once

#include "HVNotificationCenter.h"

#include <QWidget>
#include <cstdint>
#include <optional>

class QPushButton;
class QTreeWidget;

// The uploads of every project: file, site, state and, for a failure, why, with Retry and
// Cancel for the selected one. A view of HVUploadList, redrawn whenever the list changes.
class HVUploadListWindow : public QWidget {
    Q_OBJECT
public:
    explicit HVUploadListWindow(QWidget* parent = nullptr);
    ~HVUploadListWindow() override;

    QTreeWidget* table() const { return m_table; }
    QPushButton* retryButton() const { return m_retry; }
    QPushButton* cancelButton() const { return m_cancel; }
    // Selects the row of the entry, if it is listed.
    void selectEntry(std::uint64_t identifier);

    enum Column { FileColumn, SiteColumn, StateColumn, ProblemColumn };

private:
    void reload();
    void updateButtons();
    std::optional<std::uint64_t> selectedIdentifier() const;

    QTreeWidget* m_table;
    QPushButton* m_retry;
    QPushButton* m_cancel;
    HVScopedObserver m_observer;
};
