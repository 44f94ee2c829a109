#include "HVSearchFieldsBinding.h"

#include "HVSearchController.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>

#include <utility>

namespace {

std::u16string toU16(const QString& string) {
    return std::u16string(reinterpret_cast<const char16_t*>(string.utf16()),
                          std::size_t(string.size()));
}

QString fromU16(const std::u16string& string) {
    return QString::fromUtf16(string.data(), qsizetype(string.size()));
}

} // namespace

HVSearchFieldsBinding::HVSearchFieldsBinding(QWidget* owner, int fieldWidth)
    : QObject(owner), m_search(new QComboBox(owner)), m_replace(new QComboBox(owner)),
      m_regularExpression(new QCheckBox("Regular expression", owner)),
      m_matchCase(new QCheckBox("Match case", owner)) {
    m_search->setObjectName("searchField");
    m_replace->setObjectName("replaceField");
    for (QComboBox* field : {m_search.data(), m_replace.data()}) {
        field->setEditable(true);
        field->setInsertPolicy(QComboBox::NoInsert);
        field->setMinimumWidth(fieldWidth);
    }
    QComboBox* search = m_search;
    QComboBox* replace = m_replace;
    QCheckBox* regularExpression = m_regularExpression;
    QCheckBox* matchCase = m_matchCase;
    m_observer = HVSearchController::sharedFind().addObserver([this] { showFields(); });
    connect(search, &QComboBox::editTextChanged, this, [this](const QString& text) {
        if (!m_showing)
            HVSearchController::sharedFind().setSearchString(toU16(text));
    });
    connect(replace, &QComboBox::editTextChanged, this, [this](const QString& text) {
        if (!m_showing)
            HVSearchController::sharedFind().setReplaceString(toU16(text));
    });
    connect(regularExpression, &QCheckBox::toggled, this, [this](bool on) {
        if (!m_showing)
            HVSearchController::sharedFind().setRegularExpression(on);
    });
    connect(matchCase, &QCheckBox::toggled, this, [this](bool on) {
        if (!m_showing)
            HVSearchController::sharedFind().setMatchCase(on);
    });
}

QFormLayout* HVSearchFieldsBinding::makeForm() const {
    auto* form = new QFormLayout;
    form->addRow("Find:", m_search);
    form->addRow("Replace:", m_replace);
    return form;
}

HVSearchFieldsBinding::~HVSearchFieldsBinding() {
    HVSearchController::sharedFind().removeObserver(m_observer);
}

void HVSearchFieldsBinding::fillHistory() {
    m_showing = true;
    auto& model = HVSearchController::sharedFind();
    for (auto [field, key] : {std::pair{m_search.data(), "HVSearchHistory"},
                              std::pair{m_replace.data(), "HVReplaceHistory"}}) {
        if (!field)
            continue;
        QString text = field->currentText();
        field->clear();
        for (const std::u16string& entry : model.history(key))
            field->addItem(fromU16(entry));
        field->setEditText(text);
    }
    m_showing = false;
}

void HVSearchFieldsBinding::showFields() {
    if (m_showing || !m_search || !m_replace || !m_regularExpression || !m_matchCase)
        return;
    m_showing = true;
    auto& model = HVSearchController::sharedFind();
    QString search = fromU16(model.searchString());
    if (m_search->currentText() != search)
        m_search->setEditText(search);
    QString replacement = fromU16(model.replaceString());
    if (m_replace->currentText() != replacement)
        m_replace->setEditText(replacement);
    m_regularExpression->setChecked(model.regularExpression());
    m_matchCase->setChecked(model.matchCase());
    m_showing = false;
}
