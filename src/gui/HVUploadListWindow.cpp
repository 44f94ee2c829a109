#include "HVUploadListWindow.h"

#include "HVFileSystem.h"
#include "HVProject.h"
#include "HVProjectRepository.h"
#include "HVUploadList.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

constexpr int HVIdentifierRole = Qt::UserRole;

QString stateText(HVUploadList::State state) {
    switch (state) {
    case HVUploadList::State::Queued:
        return "Waiting";
    case HVUploadList::State::Failed:
        return "Failed";
    case HVUploadList::State::Finished:
        return "Uploaded";
    }
    return {};
}

// The error as the alert would say it, with the server's own words after it: those are what
// tell a full disk from a missing folder.
QString problemText(const HVUploadList::Entry& entry) {
    if (!entry.error)
        return {};
    QString text = QString::fromStdString(entry.error->description());
    if (const HVPlistValue* reason = entry.error->userInfoValue(HVRemoteReasonErrorKey);
        reason && reason->string() && !reason->string()->empty()) {
        if (!text.isEmpty())
            text += QString::fromUtf8(" \u2014 ");
        text += QString::fromStdString(*reason->string()).trimmed();
    }
    return text;
}

} // namespace

HVUploadListWindow::HVUploadListWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("HVUploadList");
    setWindowTitle("Uploads");
    m_table = new QTreeWidget(this);
    m_table->setObjectName("HVUploadListTable");
    m_table->setRootIsDecorated(false);
    m_table->setUniformRowHeights(true);
    m_table->setAllColumnsShowFocus(true);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setHeaderLabels({"File", "Site", "State", "Problem"});
    m_table->header()->setStretchLastSection(true);
    m_retry = new QPushButton("Retry", this);
    m_cancel = new QPushButton("Cancel", this);
    // Cancel gives an upload up: it must never be what Return presses.
    m_retry->setAutoDefault(false);
    m_cancel->setAutoDefault(false);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_cancel);
    buttons->addWidget(m_retry);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_table);
    layout->addLayout(buttons);
    resize(760, 280);

    connect(m_table, &QTreeWidget::itemSelectionChanged, this, [this] { updateButtons(); });
    connect(m_retry, &QPushButton::clicked, this, [this] {
        if (auto identifier = selectedIdentifier())
            HVUploadList::sharedInstance().retry(*identifier);
    });
    connect(m_cancel, &QPushButton::clicked, this, [this] {
        if (auto identifier = selectedIdentifier())
            HVUploadList::sharedInstance().cancel(*identifier);
    });
    HVUploadList* list = &HVUploadList::sharedInstance();
    m_observer = HVScopedObserver(HVNotificationCenter::defaultCenter(),
                                  HVNotificationCenter::defaultCenter().addObserver(
                                      std::string(HVUploadListChangedNotification), list,
                                      [this](const HVNotification&) { reload(); }));
    reload();
}

HVUploadListWindow::~HVUploadListWindow() = default;

void HVUploadListWindow::reload() {
    std::optional<std::uint64_t> selected = selectedIdentifier();
    QSignalBlocker blocker(m_table);
    m_table->clear();
    QTreeWidgetItem* selectedItem = nullptr;
    for (const HVUploadList::Entry& entry : HVUploadList::sharedInstance().entries()) {
        auto* item = new QTreeWidgetItem(m_table);
        item->setData(0, HVIdentifierRole, QVariant::fromValue<qulonglong>(entry.identifier));
        item->setText(FileColumn, QString::fromStdString(entry.path));
        // The project's name says more than its folder; a site no project knows shows its
        // folder's name.
        auto project = HVProjectRepository::sharedInstance().copyProjectWithPath(entry.site, false);
        item->setText(SiteColumn,
                      QString::fromStdString(project && !project->displayName().empty()
                                                 ? project->displayName()
                                                 : HVFileSystem::lastPathComponent(entry.site)));
        item->setToolTip(SiteColumn, QString::fromStdString(entry.site));
        item->setText(StateColumn, stateText(entry.state));
        QString problem = problemText(entry);
        item->setText(ProblemColumn, problem);
        // A long reason is cut by the column; the whole of it is a hover away.
        item->setToolTip(ProblemColumn, problem);
        item->setToolTip(FileColumn, QString::fromStdString(entry.site + "/" + entry.path));
        if (selected && entry.identifier == *selected)
            selectedItem = item;
    }
    // Fitted to the text, with room to breathe between columns.
    for (int column : {FileColumn, SiteColumn, StateColumn}) {
        m_table->resizeColumnToContents(column);
        m_table->setColumnWidth(column, m_table->columnWidth(column) + 16);
    }
    if (selectedItem)
        selectedItem->setSelected(true);
    blocker.unblock();
    updateButtons();
}

void HVUploadListWindow::selectEntry(std::uint64_t identifier) {
    for (int i = 0; i < m_table->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = m_table->topLevelItem(i);
        if (item->data(0, HVIdentifierRole).toULongLong() == identifier) {
            m_table->setCurrentItem(item);
            return;
        }
    }
}

std::optional<std::uint64_t> HVUploadListWindow::selectedIdentifier() const {
    QList<QTreeWidgetItem*> items = m_table->selectedItems();
    if (items.isEmpty())
        return std::nullopt;
    return items.front()->data(0, HVIdentifierRole).toULongLong();
}

void HVUploadListWindow::updateButtons() {
    std::optional<HVUploadList::Entry> entry;
    if (auto identifier = selectedIdentifier())
        entry = HVUploadList::sharedInstance().entry(*identifier);
    m_retry->setEnabled(entry && entry->state == HVUploadList::State::Failed);
    m_cancel->setEnabled(entry && entry->state != HVUploadList::State::Finished);
}
