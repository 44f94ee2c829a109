#include "HVUnknownFileTypeController.h"

#include "HVFileCategories.h"
#include "HVFileSystem.h"
#include "HVUserInterface.h"

#include <QComboBox>
#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

HVUnknownFileTypeController::HVUnknownFileTypeController(QWidget* parent) : QDialog(parent) {
    setObjectName("UnknownFileTypePanel");
    setWindowTitle(tr("Unknown File Type"));
    setMinimumWidth(460);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 16, 20, 16);
    layout->setSpacing(10);
    auto* heading = new QLabel(tr("Unknown File Type"), this);
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    layout->addWidget(heading);
    m_message = new QLabel(this);
    m_message->setObjectName("message");
    m_message->setWordWrap(true);
    layout->addWidget(m_message);
    m_choices = new QComboBox(this);
    m_choices->setObjectName("fileTypeChoice");
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(tr("Files of this type:"), this));
    row->addWidget(m_choices, 1);
    layout->addLayout(row);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    m_cancel = new QPushButton(tr("Cancel"), this);
    m_cancel->setObjectName("cancelButton");
    m_confirm = new QPushButton(tr("OK"), this);
    m_confirm->setObjectName("confirmButton");
    m_confirm->setDefault(true);
    buttons->addWidget(m_cancel);
    buttons->addWidget(m_confirm);
    layout->addLayout(buttons);

    connect(m_cancel, &QPushButton::clicked, this, [this] { finish(false); });
    connect(m_confirm, &QPushButton::clicked, this, [this] { finish(true); });
    connect(m_choices, qOverload<int>(&QComboBox::activated), this,
            &HVUnknownFileTypeController::choose);
    rebuild();
    auto& center = HVNotificationCenter::defaultCenter();
    m_categoriesObserver = HVScopedObserver(
        center, center.addObserver(std::string(HVFileCategoriesChangedNotification), nullptr,
                                   [this](const HVNotification&) { rebuild(); }));
}

HVUnknownFileTypeController::~HVUnknownFileTypeController() = default;

void HVUnknownFileTypeController::rebuild() {
    std::shared_ptr<HVFileCategory> chosen;
    if (int current = m_choices->currentIndex(); current >= 0 && current < int(m_items.size()))
        chosen = m_items[std::size_t(current)].category;
    m_items = HVUnknownFileTypeChoices::items(HVFileCategories::sharedCategories());
    m_choices->clear();
    for (const auto& item : m_items) {
        if (item.kind == HVUnknownFileTypeChoices::Item::Separator)
            m_choices->insertSeparator(m_choices->count());
        else
            m_choices->addItem(QString::fromStdString(item.title));
    }
    m_choices->setCurrentIndex(int(HVUnknownFileTypeChoices::indexOfCategory(m_items, chosen)));
}

void HVUnknownFileTypeController::choose(int index) {
    if (index < 0 || index >= int(m_items.size()))
        return;
    if (m_items[std::size_t(index)].kind == HVUnknownFileTypeChoices::Item::EditCategories) {
        // The file categories get their preferences pane later; until then the entry only
        // goes back to the safe answer.
        m_choices->setCurrentIndex(0);
    }
}

void HVUnknownFileTypeController::displayForFile(QWidget* window, const std::string& path,
                                                 Completion completion) {
    m_path = path;
    m_completion = std::move(completion);
    if (window && parentWidget() != window->window())
        setParent(window->window(), windowFlags());
    setWindowModality(window ? Qt::WindowModal : Qt::ApplicationModal);
    const std::string name = HVFileSystem::lastPathComponent(path);
    const std::string extension = HVFileSystem::pathExtension(path);
    m_message->setText(tr("Halvet does not know what kind of file “%1” is. Choose what it "
                          "should do with every file ending in “.%2”.")
                           .arg(QString::fromStdString(name), QString::fromStdString(extension)));
    m_choices->setCurrentIndex(0);
    QPointer<HVUnknownFileTypeController> self(this);
    QTimer::singleShot(0, this, [self] {
        if (self)
            self->open();
    });
}

void HVUnknownFileTypeController::finish(bool confirmed) {
    std::shared_ptr<HVFileCategory> category;
    const int index = m_choices->currentIndex();
    if (confirmed && index >= 0 && index < int(m_items.size())) {
        HVError error;
        // A copy: saving the categories announces the change, which rebuilds the list.
        const HVUnknownFileTypeChoices::Item item = m_items[std::size_t(index)];
        category = HVUnknownFileTypeChoices::confirm(item, m_path,
                                                     HVFileCategories::sharedCategories(), &error);
        if (!error.description().empty())
            HVUserInterface::shared().presentError(error, nullptr, nullptr);
    }
    Completion completion = std::move(m_completion);
    m_completion = nullptr;
    if (confirmed)
        QDialog::accept();
    else
        QDialog::reject();
    if (completion)
        completion(std::move(category));
}

void HVUnknownFileTypeController::reject() {
    // Escape and the window's close button are Cancel: the window still hears the answer.
    if (m_completion)
        finish(false);
    else
        QDialog::reject();
}
