#pragma once

#include "HVNotificationCenter.h"

#include <QDialog>
#include <cstdint>
#include <vector>

class HVSearchFieldsBinding;
class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QRadioButton;

// The find panel, one for the program and never modal: the shared search's fields with their
// history, and the commands, which act on the editor that is the panel's target. When an
// editor closes, the panel turns to the active editor of the frontmost document window, and
// without one its commands are disabled until an editor is there again.
class HVFindPanel : public QDialog {
    Q_OBJECT
public:
    static HVFindPanel& shared();
    ~HVFindPanel() override;

    // Shows the panel with the search field selected.
    void showPanel();
    void findNext();
    void findPrevious();
    void replace();
    void replaceAndFind();
    void replaceAll();

    QComboBox* searchField() const { return m_search; }
    QComboBox* replaceField() const { return m_replace; }
    QCheckBox* regularExpressionBox() const { return m_regex; }
    QCheckBox* matchCaseBox() const { return m_matchCase; }
    QRadioButton* selectionScope() const { return m_inSelection; }
    QLabel* statusLabel() const { return m_status; }
    // Whether the commands are enabled: there is an editor to act on.
    bool commandsEnabled() const;

private:
    HVFindPanel();
    // The fields into the shared search; false (with the reason shown) when it is not valid.
    bool takeFields();
    void showModel();
    // An editor goes away: the active editor of the frontmost window that has one takes over.
    void turnFromClosingView(const void* closing);
    void updateCommands();

    QComboBox* m_search;
    QComboBox* m_replace;
    QCheckBox* m_regex;
    QCheckBox* m_matchCase;
    HVSearchFieldsBinding* m_fields = nullptr;
    QRadioButton* m_wholeText;
    QRadioButton* m_inSelection;
    QLabel* m_status;
    std::vector<QPushButton*> m_commands;
    HVScopedObserver m_closingObserver;
    std::uint64_t m_observer = 0;
};
