#pragma once

#include <QWidget>
#include <cstdint>
#include <memory>

class HVMultiFileSearchController;
class HVSearchFieldsBinding;
class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// The multi-file search window, one for the program: the shared find fields, a scope, and the
// files found with their matches as a tree, checked for Replace. It draws its model and hands
// it the person's choices.
class HVMultiFileSearchWindow : public QWidget {
    Q_OBJECT
public:
    explicit HVMultiFileSearchWindow(QWidget* parent = nullptr);
    ~HVMultiFileSearchWindow() override;

    HVMultiFileSearchController& model() { return *m_model; }
    void showWindow();

    QComboBox* searchField() const { return m_search; }
    QComboBox* replaceField() const { return m_replace; }
    QCheckBox* regularExpressionBox() const { return m_regex; }
    QCheckBox* matchCaseBox() const { return m_matchCase; }
    QComboBox* scopePopup() const { return m_scope; }
    QPushButton* findButton() const { return m_find; }
    QPushButton* replaceButton() const { return m_replaceButton; }
    QTreeWidget* results() const { return m_results; }
    QLabel* progressLabel() const { return m_progress; }

    // The Find button: starts a search, or stops the one running.
    void findOrStop();
    void replace();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void scopeChosen(int index);
    void rebuild();
    void insertNodes(std::size_t first, std::size_t count);
    QTreeWidgetItem* makeNodeItem(std::size_t index);
    void fillMatches(QTreeWidgetItem* item, std::size_t index);
    void itemChanged(QTreeWidgetItem* item);
    void showStatus();

    std::unique_ptr<HVMultiFileSearchController> m_model;
    QComboBox* m_search;
    QComboBox* m_replace;
    QCheckBox* m_regex;
    QCheckBox* m_matchCase;
    QComboBox* m_scope;
    QPushButton* m_find;
    QPushButton* m_replaceButton;
    QTreeWidget* m_results;
    QLabel* m_progress;
    HVSearchFieldsBinding* m_fields = nullptr;
    // Set while the tree is being filled, so that its check boxes do not write back.
    bool m_showing = false;
};
