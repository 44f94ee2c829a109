#pragma once

#include "HVNotificationCenter.h"
#include "HVUnknownFileTypeChoices.h"

#include <QDialog>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class HVFileCategory;
class QComboBox;
class QLabel;
class QPushButton;

// Asks, as a window-modal sheet, what to do with a file whose kind the categories do not know:
// ignore its extension from now on, or give the extension a text or image category. The list
// follows the categories while the sheet is up.
class HVUnknownFileTypeController : public QDialog {
    Q_OBJECT
public:
    // The category the file now has; none when it was ignored, left undecided or cancelled.
    using Completion = std::function<void(std::shared_ptr<HVFileCategory> category)>;

    explicit HVUnknownFileTypeController(QWidget* parent = nullptr);
    ~HVUnknownFileTypeController() override;

    // Shows the sheet for the file on the window at the next turn of the event loop (another
    // sheet may still be closing there). The completion runs once.
    void displayForFile(QWidget* window, const std::string& path, Completion completion);

    QComboBox* choiceList() const { return m_choices; }
    QPushButton* confirmButton() const { return m_confirm; }
    QPushButton* cancelButton() const { return m_cancel; }
    const std::vector<HVUnknownFileTypeChoices::Item>& items() const { return m_items; }

    void reject() override;

private:
    void rebuild();
    void choose(int index);
    void finish(bool confirmed);

    QLabel* m_message;
    QComboBox* m_choices;
    QPushButton* m_cancel;
    QPushButton* m_confirm;
    std::vector<HVUnknownFileTypeChoices::Item> m_items;
    std::string m_path;
    Completion m_completion;
    HVScopedObserver m_categoriesObserver;
};
