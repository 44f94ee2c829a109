#pragma once

#include <QObject>
#include <QPointer>

#include <cstdint>

class QCheckBox;
class QComboBox;
class QFormLayout;
class QWidget;

// A window's search and replace fields and its two options, kept in step with the shared find
// model both ways, with the search history in the fields' menus. The find panel and the
// multi-file search window share the model through one of these each.
class HVSearchFieldsBinding : public QObject {
public:
    // Makes the fields ("searchField", "replaceField") and the check boxes in owner.
    HVSearchFieldsBinding(QWidget* owner, int fieldWidth);
    ~HVSearchFieldsBinding() override;

    QComboBox* search() const { return m_search; }
    QComboBox* replace() const { return m_replace; }
    QCheckBox* regularExpression() const { return m_regularExpression; }
    QCheckBox* matchCase() const { return m_matchCase; }
    // The two fields with their labels, for the owner's layout.
    QFormLayout* makeForm() const;

    // The model's history lists into the fields' menus, keeping what the fields show.
    void fillHistory();
    // The model's strings and options into the fields (done on every change of the model).
    void showFields();

private:
    QPointer<QComboBox> m_search;
    QPointer<QComboBox> m_replace;
    QPointer<QCheckBox> m_regularExpression;
    QPointer<QCheckBox> m_matchCase;
    std::uint64_t m_observer = 0;
    // Set while the fields are being filled from the model, so that they do not write back.
    bool m_showing = false;
};
