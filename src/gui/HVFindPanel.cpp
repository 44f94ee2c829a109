#include "HVFindPanel.h"

#include "HTMLView.h"
#include "HVDocumentWindow.h"
#include "HVSearchController.h"
#include "HVSearchFieldsBinding.h"
#include "HVTextStorage.h"
#include "HVUserInterface.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

std::u16string toU16(const QString& string) {
    return std::u16string(reinterpret_cast<const char16_t*>(string.utf16()),
                          std::size_t(string.size()));
}

} // namespace

HVFindPanel& HVFindPanel::shared() {
    static HVFindPanel* panel = new HVFindPanel;
    return *panel;
}

HVFindPanel::HVFindPanel() : QDialog(nullptr, Qt::Tool) {
    setObjectName("findPanel");
    setWindowTitle("Find");
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    m_fields = new HVSearchFieldsBinding(this, 320);
    m_search = m_fields->search();
    m_replace = m_fields->replace();
    m_regex = m_fields->regularExpression();
    m_matchCase = m_fields->matchCase();
    layout->addLayout(m_fields->makeForm());

    auto* options = new QHBoxLayout;
    m_wholeText = new QRadioButton("Whole text", this);
    m_inSelection = new QRadioButton("Selection", this);
    m_wholeText->setChecked(true);
    for (QWidget* widget :
         std::initializer_list<QWidget*>{m_regex, m_matchCase, m_wholeText, m_inSelection})
        options->addWidget(widget);
    layout->addLayout(options);

    m_status = new QLabel(this);
    m_status->setObjectName("findStatus");
    m_status->setWordWrap(true);
    layout->addWidget(m_status);

    auto* buttons = new QHBoxLayout;
    auto addButton = [&](const QString& title, void (HVFindPanel::*command)()) {
        auto* button = new QPushButton(title, this);
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, command);
        buttons->addWidget(button);
        m_commands.push_back(button);
        return button;
    };
    addButton("Replace All", &HVFindPanel::replaceAll);
    addButton("Replace", &HVFindPanel::replace);
    addButton("Replace && Find", &HVFindPanel::replaceAndFind);
    addButton("Previous", &HVFindPanel::findPrevious);
    addButton("Next", &HVFindPanel::findNext)->setDefault(true);
    layout->addLayout(buttons);

    auto& model = HVSearchController::sharedFind();
    // The binding shows the fields; this shows the model's status.
    m_observer = model.addObserver([this] { showModel(); });
    // A search string copied in another program's find field while this panel did not exist.
    model.readFindPasteboard();
    m_fields->fillHistory();
    showModel();

    auto& center = HVNotificationCenter::defaultCenter();
    m_closingObserver = HVScopedObserver(
        center, center.addObserver(std::string(HVTextViewIsClosingNotification), nullptr,
                                   [this](const HVNotification& notification) {
                                       turnFromClosingView(notification.object);
                                   }));
    // An editor that comes forward makes itself the target; the buttons follow the focus.
    connect(qApp, &QApplication::focusChanged, this, [this] { updateCommands(); });
    updateCommands();
}

HVFindPanel::~HVFindPanel() {
    HVSearchController::sharedFind().removeObserver(m_observer);
}

void HVFindPanel::showPanel() {
    updateCommands();
    m_fields->fillHistory();
    showModel();
    show();
    raise();
    activateWindow();
    m_search->setFocus();
    m_search->lineEdit()->selectAll();
}

void HVFindPanel::turnFromClosingView(const void* closing) {
    // The closing view is only compared: it is being destroyed.
    for (HVDocumentWindow* window : HVDocumentWindow::windowsFrontToBack()) {
        if (HTMLView* view = window->activeHTMLView(); view && view != closing) {
            view->makeFindPanelTarget();
            updateCommands();
            return;
        }
    }
    for (QPushButton* button : m_commands)
        button->setEnabled(false);
}

void HVFindPanel::updateCommands() {
    bool enabled = HTMLView::findPanelTarget() != nullptr;
    for (QPushButton* button : m_commands)
        button->setEnabled(enabled);
}

bool HVFindPanel::commandsEnabled() const {
    return !m_commands.empty() && m_commands.front()->isEnabled();
}

void HVFindPanel::showModel() {
    m_fields->showFields();
    auto& model = HVSearchController::sharedFind();
    QString status = QString::fromStdString(model.status());
    if (!model.statusDetail().empty())
        status += QStringLiteral(": ") + QString::fromStdString(model.statusDetail());
    m_status->setText(status);
}

bool HVFindPanel::takeFields() {
    auto& model = HVSearchController::sharedFind();
    model.setSearchString(toU16(m_search->currentText()));
    model.setReplaceString(toU16(m_replace->currentText()));
    model.setRegularExpression(m_regex->isChecked());
    model.setMatchCase(m_matchCase->isChecked());
    if (!model.validate()) {
        showModel();
        HVUserInterface::shared().beep();
        return false;
    }
    model.rememberSearch();
    m_fields->fillHistory();
    return true;
}

void HVFindPanel::findNext() {
    if (HTMLView* target = HTMLView::findPanelTarget(); target && takeFields())
        target->findNext();
}

void HVFindPanel::findPrevious() {
    if (HTMLView* target = HTMLView::findPanelTarget(); target && takeFields())
        target->findPrevious();
}

void HVFindPanel::replace() {
    // Replace-and-find, then back to the replacement: the caret stays where the user looked.
    HTMLView* target = HTMLView::findPanelTarget();
    if (!target || !takeFields())
        return;
    HVRange before = target->selectedRange();
    std::size_t length = target->textStorage().length();
    std::uint64_t edits = target->textStorage().characterEditCount();
    target->replaceAndFind();
    if (target->textStorage().characterEditCount() != edits)
        target->setSelectedRange(
            {before.location, before.length + target->textStorage().length() - length});
}

void HVFindPanel::replaceAndFind() {
    if (HTMLView* target = HTMLView::findPanelTarget(); target && takeFields())
        target->replaceAndFind();
}

void HVFindPanel::replaceAll() {
    if (HTMLView* target = HTMLView::findPanelTarget(); target && takeFields())
        target->replaceAll(m_inSelection->isChecked());
}
