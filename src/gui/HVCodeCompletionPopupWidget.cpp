#include "HVCodeCompletionPopupWidget.h"

#include "HTMLView.h"
#include "HVEditorWidget.h"

#include <QFontMetrics>
#include <QScrollBar>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace {

constexpr int kMostRows = 12;
constexpr int kWidest = 520;

QString qString(const std::u16string& text) {
    return QString::fromUtf16(text.data(), qsizetype(text.size()));
}

QColor mixed(const QColor& a, const QColor& b, double t) {
    return QColor::fromRgbF(float(a.redF() * (1 - t) + b.redF() * t),
                            float(a.greenF() * (1 - t) + b.greenF() * t),
                            float(a.blueF() * (1 - t) + b.blueF() * t));
}

} // namespace

HVCodeCompletionPopupWidget::HVCodeCompletionPopupWidget(HVEditorWidget& editor, HTMLView& view)
    : QFrame(editor.viewport()), m_editor(editor), m_view(view), m_list(new QTreeWidget(this)) {
    setObjectName("HVCodeCompletionPopup");
    setFrameShape(QFrame::Box);
    setLineWidth(1);
    setFocusPolicy(Qt::NoFocus);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->addWidget(m_list);
    m_list->setFocusPolicy(Qt::NoFocus);
    m_list->setHeaderHidden(true);
    m_list->setRootIsDecorated(false);
    m_list->setIndentation(0);
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setUniformRowHeights(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setColumnCount(2);
    connect(m_list, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) {
        m_view.codeCompletionPopup().selectRow(std::size_t(m_list->indexOfTopLevelItem(item)));
    });
    connect(m_list, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* item) { emit rowAccepted(m_list->indexOfTopLevelItem(item)); });
    hide();
    m_observer = m_view.codeCompletionPopup().addObserver([this] { modelChanged(); });
}

HVCodeCompletionPopupWidget::~HVCodeCompletionPopupWidget() {
    m_view.codeCompletionPopup().removeObserver(m_observer);
}

QStringList HVCodeCompletionPopupWidget::rows() const {
    QStringList rows;
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = m_list->topLevelItem(i);
        rows << (m_list->isColumnHidden(1) || item->text(1).isEmpty()
                     ? item->text(0)
                     : item->text(0) + "\t" + item->text(1));
    }
    return rows;
}

void HVCodeCompletionPopupWidget::modelChanged() {
    const HVCodeCompletionPopup& model = m_view.codeCompletionPopup();
    if (!model.isVisible()) {
        hide();
        m_list->clear();
        m_shownEntries.clear();
        return;
    }
    QSignalBlocker block(m_list);
    // A new selection alone keeps the rows: a click's row must still be there for the double
    // click that follows it.
    if (model.entries() != m_shownEntries || m_list->topLevelItemCount() == 0)
        fill();
    if (auto row = model.selectedRow()) {
        QTreeWidgetItem* item = m_list->topLevelItem(int(*row));
        m_list->setCurrentItem(item);
        m_list->scrollToItem(item);
    }
    place();
    show();
    raise();
}

void HVCodeCompletionPopupWidget::fill() {
    const HVCodeCompletionPopup& model = m_view.codeCompletionPopup();
    m_shownEntries = model.entries();
    m_list->clear();
    m_list->setFont(m_editor.editorFont());
    QPalette palette = m_list->palette();
    palette.setColor(QPalette::Base, m_editor.backgroundColor());
    palette.setColor(QPalette::Window, m_editor.backgroundColor());
    palette.setColor(QPalette::Text, m_editor.textColor());
    palette.setColor(QPalette::Highlight, m_editor.selectionColor());
    palette.setColor(QPalette::HighlightedText, m_editor.textColor());
    m_list->setPalette(palette);
    QPalette frame = this->palette();
    frame.setColor(QPalette::WindowText,
                   mixed(m_editor.textColor(), m_editor.backgroundColor(), 0.5));
    frame.setColor(QPalette::Window, m_editor.backgroundColor());
    setPalette(frame);
    QColor typeColor = mixed(m_editor.textColor(), m_editor.backgroundColor(), 0.45);
    QList<QTreeWidgetItem*> items;
    for (const HVCodeCompletionEntry& entry : model.entries()) {
        auto* item = new QTreeWidgetItem;
        item->setText(0, qString(entry.key()));
        if (entry.type())
            item->setText(1, qString(*entry.type()));
        item->setForeground(1, typeColor);
        items << item;
    }
    m_list->addTopLevelItems(items);
    m_list->setColumnHidden(1, !model.showTypeColumn());
}

void HVCodeCompletionPopupWidget::place() {
    if (!m_view.codeCompletionPopup().isVisible())
        return;
    QRect caret = m_editor.caretRect();
    if (caret.isNull()) {
        hide();
        return;
    }
    int rows = std::min(m_list->topLevelItemCount(), kMostRows);
    int rowHeight = std::max(m_list->sizeHintForRow(0), QFontMetrics(m_list->font()).height());
    // The last column stretches to the list's width: the texts say how wide each must be.
    QFontMetrics metrics(m_list->font());
    int keyWidth = 0, typeWidth = 0;
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        keyWidth = std::max(keyWidth, metrics.horizontalAdvance(m_list->topLevelItem(i)->text(0)));
        typeWidth =
            std::max(typeWidth, metrics.horizontalAdvance(m_list->topLevelItem(i)->text(1)));
    }
    keyWidth += 3 * metrics.averageCharWidth();
    int width = keyWidth;
    if (!m_list->isColumnHidden(1))
        width += typeWidth + metrics.averageCharWidth();
    if (m_list->topLevelItemCount() > kMostRows)
        width += m_list->verticalScrollBar()->sizeHint().width();
    QRect visible = m_editor.viewport()->rect();
    width = std::min({width + 4, kWidest, visible.width() - 20});
    int height = rows * rowHeight + 4;
    auto frame = HVCodeCompletionPopup::frameBesideLine(
        {double(caret.x()), double(caret.y()), double(caret.width()), double(caret.height())},
        width, height, {0, 0, double(visible.width()), double(visible.height())});
    setGeometry(int(frame.x), int(frame.y), width, height);
    m_list->setColumnWidth(0, keyWidth);
}
