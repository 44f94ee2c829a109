#include "HVMultiFileSearchWindow.h"

#include "HVMultiFileSearchController.h"
#include "HVMultiFileSearchNode.h"
#include "HVSearchController.h"
#include "HVSearchFieldsBinding.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

// Item data of a match row: the context line and where the match lies in it.
constexpr int kContextRole = Qt::UserRole + 1;
constexpr int kMatchStartRole = Qt::UserRole + 2;
constexpr int kMatchLengthRole = Qt::UserRole + 3;

std::u16string toU16(const QString& string) {
    return std::u16string(reinterpret_cast<const char16_t*>(string.utf16()),
                          std::size_t(string.size()));
}

QString fromU16(std::u16string_view string) {
    return QString::fromUtf16(string.data(), qsizetype(string.size()));
}

// Draws a match row's context in grey with the match in bold, after the checkbox and line
// number that the style draws.
class HVMatchDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QVariant context = index.data(kContextRole);
        if (!context.isValid()) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        QStyleOptionViewItem item(option);
        initStyleOption(&item, index);
        QString lineNumber = item.text;
        item.text.clear();
        const QWidget* widget = option.widget;
        QStyle* style = widget ? widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &item, painter, widget);
        QRect rect = style->subElementRect(QStyle::SE_ItemViewItemText, &item, widget);

        QString text = context.toString();
        int start = index.data(kMatchStartRole).toInt();
        int length = index.data(kMatchLengthRole).toInt();
        bool selected = option.state & QStyle::State_Selected;
        QColor plain = selected ? option.palette.color(QPalette::HighlightedText)
                                : option.palette.color(QPalette::PlaceholderText);
        QColor strong = selected ? option.palette.color(QPalette::HighlightedText)
                                 : option.palette.color(QPalette::Text);
        painter->save();
        painter->setClipRect(rect);
        QFont font = option.font;
        QFont bold = font;
        bold.setBold(true);
        int x = rect.left() + 2;
        auto run = [&](const QString& piece, const QFont& runFont, const QColor& color) {
            painter->setFont(runFont);
            painter->setPen(color);
            QFontMetrics metrics(runFont);
            painter->drawText(QRect(x, rect.top(), rect.right() - x, rect.height()),
                              Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine, piece);
            x += metrics.horizontalAdvance(piece);
        };
        run(lineNumber + QStringLiteral(": "), font, plain);
        // Line breaks inside the context show as spaces: a row is one line.
        auto flat = [](QString piece) {
            return piece.replace(QLatin1Char('\n'), QLatin1Char(' '))
                .replace(QLatin1Char('\r'), QLatin1Char(' '))
                .replace(QLatin1Char('\t'), QLatin1Char(' '));
        };
        run(flat(text.left(start)), font, plain);
        run(flat(text.mid(start, length)), bold, strong);
        run(flat(text.mid(start + length)), font, plain);
        painter->restore();
    }
};

} // namespace

HVMultiFileSearchWindow::HVMultiFileSearchWindow(QWidget* parent)
    : QWidget(parent, Qt::Window), m_model(std::make_unique<HVMultiFileSearchController>()) {
    setObjectName("multiFileSearchWindow");
    setWindowTitle("Multi-File Search");
    resize(720, 520);
    auto* layout = new QVBoxLayout(this);
    m_fields = new HVSearchFieldsBinding(this, 360);
    m_search = m_fields->search();
    m_replace = m_fields->replace();
    m_regex = m_fields->regularExpression();
    m_matchCase = m_fields->matchCase();
    layout->addLayout(m_fields->makeForm());

    auto* options = new QHBoxLayout;
    m_scope = new QComboBox(this);
    m_scope->setObjectName("scopePopup");
    m_scope->addItems({"Current File", "Current Project", "Open Files", "Files and Folders…"});
    m_find = new QPushButton("Find", this);
    m_find->setObjectName("findButton");
    m_find->setDefault(true);
    options->addWidget(m_regex);
    options->addWidget(m_matchCase);
    options->addStretch();
    options->addWidget(new QLabel("In:", this));
    options->addWidget(m_scope);
    options->addWidget(m_find);
    layout->addLayout(options);

    m_results = new QTreeWidget(this);
    m_results->setObjectName("searchResults");
    m_results->setHeaderHidden(true);
    m_results->setColumnCount(1);
    m_results->setUniformRowHeights(true);
    m_results->setItemDelegate(new HVMatchDelegate(m_results));
    layout->addWidget(m_results, 1);

    auto* bottom = new QHBoxLayout;
    m_progress = new QLabel(this);
    m_progress->setObjectName("searchProgress");
    m_replaceButton = new QPushButton("Replace", this);
    m_replaceButton->setObjectName("replaceButton");
    m_replaceButton->setAutoDefault(false);
    bottom->addWidget(m_progress, 1);
    bottom->addWidget(m_replaceButton);
    layout->addLayout(bottom);

    connect(m_search->lineEdit(), &QLineEdit::returnPressed, this,
            &HVMultiFileSearchWindow::findOrStop);
    connect(m_find, &QPushButton::clicked, this, &HVMultiFileSearchWindow::findOrStop);
    connect(m_replaceButton, &QPushButton::clicked, this, &HVMultiFileSearchWindow::replace);
    connect(m_scope, &QComboBox::activated, this, &HVMultiFileSearchWindow::scopeChosen);
    connect(m_results, &QTreeWidget::itemChanged, this, &HVMultiFileSearchWindow::itemChanged);
    connect(m_results, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
        QTreeWidgetItem* parent = item->parent();
        if (!parent)
            return;
        m_model->openResult(std::size_t(m_results->indexOfTopLevelItem(parent)),
                            std::size_t(parent->indexOfChild(item)));
    });

    m_model->onReset = [this] { rebuild(); };
    m_model->onNodesInserted = [this](std::size_t first, std::size_t count) {
        insertNodes(first, count);
    };
    m_model->onNodeChanged = [this](std::size_t index) {
        delete m_results->takeTopLevelItem(int(index));
        m_results->insertTopLevelItem(int(index), makeNodeItem(index));
    };
    m_model->onNodeRemoved = [this](std::size_t index) {
        delete m_results->takeTopLevelItem(int(index));
    };
    m_model->onStatusChanged = [this] { showStatus(); };

    m_fields->fillHistory();
    m_fields->showFields();
    showStatus();
}

HVMultiFileSearchWindow::~HVMultiFileSearchWindow() {
    m_model->onReset = nullptr;
    m_model->onNodesInserted = nullptr;
    m_model->onNodeChanged = nullptr;
    m_model->onNodeRemoved = nullptr;
    m_model->onStatusChanged = nullptr;
}

void HVMultiFileSearchWindow::showWindow() {
    m_fields->fillHistory();
    m_fields->showFields();
    m_scope->setCurrentIndex(int(m_model->mode()));
    show();
    raise();
    activateWindow();
    m_search->setFocus();
    m_search->lineEdit()->selectAll();
}

void HVMultiFileSearchWindow::showEvent(QShowEvent* event) {
    m_model->setVisible(true);
    QWidget::showEvent(event);
}

void HVMultiFileSearchWindow::hideEvent(QHideEvent* event) {
    m_model->setVisible(false);
    QWidget::hideEvent(event);
}

void HVMultiFileSearchWindow::scopeChosen(int index) {
    using Mode = HVMultiFileSearchController::Mode;
    if (Mode(index) != Mode::SpecificFiles) {
        m_model->setMode(Mode(index));
        return;
    }
    // The desktop's panel chooses files or a folder, not both: the person says which.
    QMenu menu(this);
    menu.addAction("Files…");
    QAction* folder = menu.addAction("Folder…");
    QAction* chosen = menu.exec(m_scope->mapToGlobal(QPoint(0, m_scope->height())));
    if (!chosen) {
        m_scope->setCurrentIndex(int(m_model->mode()));
        return;
    }
    QPointer<HVMultiFileSearchWindow> self(this);
    m_model->chooseSpecificPaths(chosen == folder, [self](bool any) {
        // Nothing chosen leaves the scope as it was.
        if (self && !any)
            self->m_scope->setCurrentIndex(int(self->m_model->mode()));
    });
}

void HVMultiFileSearchWindow::findOrStop() {
    if (m_model->searching()) {
        m_model->stop();
        return;
    }
    if (!m_model->find() && !m_model->searching())
        QApplication::beep();
    m_fields->fillHistory();
}

void HVMultiFileSearchWindow::replace() {
    HVSearchController::sharedFind().setReplaceString(toU16(m_replace->currentText()));
    m_model->replace();
}

void HVMultiFileSearchWindow::rebuild() {
    m_showing = true;
    m_results->clear();
    m_showing = false;
    insertNodes(0, m_model->nodes().size());
}

void HVMultiFileSearchWindow::insertNodes(std::size_t first, std::size_t count) {
    m_showing = true;
    for (std::size_t i = first; i < first + count; ++i)
        m_results->insertTopLevelItem(int(i), makeNodeItem(i));
    m_showing = false;
}

QTreeWidgetItem* HVMultiFileSearchWindow::makeNodeItem(std::size_t index) {
    bool wasShowing = m_showing;
    m_showing = true;
    const auto& node = m_model->nodes()[index];
    auto* item = new QTreeWidgetItem;
    QString name = fromU16(node->displayName());
    if (node->skipped()) {
        item->setText(0, name + QStringLiteral(" (") +
                             QString::fromStdString(node->skipped()->description()) +
                             QStringLiteral(")"));
        item->setForeground(0, palette().color(QPalette::Disabled, QPalette::Text));
        item->setFlags(Qt::ItemIsEnabled);
        m_showing = wasShowing;
        return item;
    }
    item->setText(0, QStringLiteral("%1 (%2)").arg(name).arg(node->results().size()));
    QFont bold = item->font(0);
    bold.setBold(true);
    item->setFont(0, bold);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable |
                   Qt::ItemIsAutoTristate);
    fillMatches(item, index);
    item->setExpanded(true);
    m_showing = wasShowing;
    return item;
}

void HVMultiFileSearchWindow::fillMatches(QTreeWidgetItem* item, std::size_t index) {
    const auto& node = m_model->nodes()[index];
    const auto& results = node->results();
    for (std::size_t r = 0; r < results.size(); ++r) {
        auto* match = new QTreeWidgetItem(item);
        const HVSearchContextLine& context = results[r].contextLine();
        match->setText(0, QString::number(node->lineAndColumn(results[r].range().location).first));
        // A row is one line: the context stops at the first line break after the match.
        std::u16string_view line = context.text;
        std::size_t end = line.find_first_of(u"\r\n", context.match.end());
        match->setData(0, kContextRole, fromU16(line.substr(0, end)));
        match->setData(0, kMatchStartRole, int(context.match.location));
        match->setData(0, kMatchLengthRole, int(context.match.length));
        match->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        match->setCheckState(0, m_model->isResultChecked(index, r) ? Qt::Checked : Qt::Unchecked);
    }
    // Expanded once it is in the tree.
    QMetaObject::invokeMethod(
        this,
        [tree = QPointer<QTreeWidget>(m_results), item] {
            if (tree && tree->indexOfTopLevelItem(item) >= 0)
                item->setExpanded(true);
        },
        Qt::QueuedConnection);
}

void HVMultiFileSearchWindow::itemChanged(QTreeWidgetItem* item) {
    if (m_showing)
        return;
    // Qt keeps a file's tristate box in line with its matches; the model follows each match.
    if (QTreeWidgetItem* parent = item->parent()) {
        m_model->setResultChecked(std::size_t(m_results->indexOfTopLevelItem(parent)),
                                  std::size_t(parent->indexOfChild(item)),
                                  item->checkState(0) == Qt::Checked);
    }
    showStatus();
}

void HVMultiFileSearchWindow::showStatus() {
    bool searching = m_model->searching();
    m_find->setText(searching ? "Stop" : "Find");
    m_progress->setText(QString::fromStdString(m_model->progressText()));
    m_replaceButton->setEnabled(!searching && !m_model->replacing() && m_model->checkedCount() > 0);
}
