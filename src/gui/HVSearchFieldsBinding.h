#pragma once

#include <QObject>
#include <QPointer>

#include <cstdint>

class QCheckBox;
class QComboBox;

// Keeps a window's search and replace fields and its two options in step with the shared find
// model, both ways, and fills the fields' menus with the search history. The find panel and
// the multi-file search window share the model through one of these each.
class HVSearchFieldsBinding : public QObject {
public:
    HVSearchFieldsBinding(QComboBox* search, QComboBox* replace, QCheckBox* regularExpression,
                          QCheckBox* matchCase, QObject* parent);
    ~HVSearchFieldsBinding() override;

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
