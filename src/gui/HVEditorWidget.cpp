#include "HVEditorWidget.h"

#include "HTMLView.h"
#include "HVAttributes.h"
#include "HVCallTipWidget.h"
#include "HVCodeCompletionPopupWidget.h"
#include "HVLayoutManager.h"
#include "HVLineNumberingRulerWidget.h"
#include "HVSyntaxHighlightingTextView.h"
#include "HVTextBuffer.h"
#include "HVTextDisplayLineModel.h"
#include "HVTextDisplayModel.h"
#include "HVTextLineModel.h"
#include "HVTextStorage.h"
#include "HVTextViewModel.h"
#include "HVUndoManager.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QTextLayout>
#include <algorithm>
#include <map>

namespace {

struct KeyCommand {
    QKeySequence::StandardKey key;
    const char* selector;
};

// The platform's standard keys, each bound to the command of the same meaning.
const KeyCommand kKeyCommands[] = {
    {QKeySequence::MoveToNextChar, "moveRight:"},
    {QKeySequence::MoveToPreviousChar, "moveLeft:"},
    {QKeySequence::MoveToNextWord, "moveWordRight:"},
    {QKeySequence::MoveToPreviousWord, "moveWordLeft:"},
    {QKeySequence::MoveToNextLine, "moveDown:"},
    {QKeySequence::MoveToPreviousLine, "moveUp:"},
    {QKeySequence::MoveToNextPage, "pageDown:"},
    {QKeySequence::MoveToPreviousPage, "pageUp:"},
    {QKeySequence::MoveToStartOfLine, "moveToBeginningOfLine:"},
    {QKeySequence::MoveToEndOfLine, "moveToEndOfLine:"},
    {QKeySequence::MoveToStartOfBlock, "moveToBeginningOfParagraph:"},
    {QKeySequence::MoveToEndOfBlock, "moveToEndOfParagraph:"},
    {QKeySequence::MoveToStartOfDocument, "moveToBeginningOfDocument:"},
    {QKeySequence::MoveToEndOfDocument, "moveToEndOfDocument:"},
    {QKeySequence::SelectNextChar, "moveRightAndModifySelection:"},
    {QKeySequence::SelectPreviousChar, "moveLeftAndModifySelection:"},
    {QKeySequence::SelectNextWord, "moveWordRightAndModifySelection:"},
    {QKeySequence::SelectPreviousWord, "moveWordLeftAndModifySelection:"},
    {QKeySequence::SelectNextLine, "moveDownAndModifySelection:"},
    {QKeySequence::SelectPreviousLine, "moveUpAndModifySelection:"},
    {QKeySequence::SelectNextPage, "pageDownAndModifySelection:"},
    {QKeySequence::SelectPreviousPage, "pageUpAndModifySelection:"},
    {QKeySequence::SelectStartOfLine, "moveToBeginningOfLineAndModifySelection:"},
    {QKeySequence::SelectEndOfLine, "moveToEndOfLineAndModifySelection:"},
    {QKeySequence::SelectStartOfBlock, "moveToBeginningOfParagraphAndModifySelection:"},
    {QKeySequence::SelectEndOfBlock, "moveToEndOfParagraphAndModifySelection:"},
    {QKeySequence::SelectStartOfDocument, "moveToBeginningOfDocumentAndModifySelection:"},
    {QKeySequence::SelectEndOfDocument, "moveToEndOfDocumentAndModifySelection:"},
    {QKeySequence::SelectAll, "selectAll:"},
    {QKeySequence::Copy, "copy:"},
    {QKeySequence::Cut, "cut:"},
    {QKeySequence::Paste, "paste:"},
    {QKeySequence::Undo, "undo:"},
    {QKeySequence::Redo, "redo:"},
    {QKeySequence::Delete, "deleteForward:"},
    {QKeySequence::DeleteStartOfWord, "deleteWordBackward:"},
    {QKeySequence::DeleteEndOfWord, "deleteWordForward:"},
    {QKeySequence::DeleteEndOfLine, "deleteToEndOfLine:"},
    {QKeySequence::InsertParagraphSeparator, "insertNewline:"},
    {QKeySequence::InsertLineSeparator, "insertNewline:"},
};

QColor toQColor(const HVColor& color) {
    return QColor::fromRgbF(float(color.red), float(color.green), float(color.blue),
                            float(color.alpha));
}

} // namespace

// Lays units out with the widget's cached layouts, for the display model.
class HVEditorWidget::Measurer : public HVTextMeasurer {
public:
    explicit Measurer(HVEditorWidget* widget) : m_widget(widget) {}

    std::vector<std::size_t> rowStarts(HVDisplayUnit unit, HVRange) override {
        QTextLayout& layout = m_widget->layoutFor(unit);
        std::vector<std::size_t> starts;
        for (int i = 0; i < layout.lineCount(); ++i)
            starts.push_back(std::size_t(std::max(0, layout.lineAt(i).textStart())));
        return starts;
    }

    double xForOffset(HVDisplayUnit unit, HVRange, std::size_t row, std::size_t offset) override {
        QTextLine line = m_widget->layoutFor(unit).lineAt(int(row));
        return line.isValid() ? line.cursorToX(int(offset)) : 0;
    }

    std::size_t offsetForX(HVDisplayUnit unit, HVRange, std::size_t row, double x) override {
        QTextLine line = m_widget->layoutFor(unit).lineAt(int(row));
        return line.isValid() ? std::size_t(std::max(0, line.xToCursor(x))) : 0;
    }

private:
    HVEditorWidget* m_widget;
};

// Layouts by unit (line, piece), dropped by least recent use beyond the limit.
struct HVEditorWidget::LayoutCache {
    struct Entry {
        std::unique_ptr<QTextLayout> layout;
        std::uint64_t lastUse = 0;
    };
    std::map<std::pair<std::size_t, std::size_t>, Entry> entries;
    std::uint64_t clock = 0;
    std::uint64_t made = 0;
};

HVEditorWidget::HVEditorWidget(HVTextViewModel* view, QWidget* parent)
    : QAbstractScrollArea(parent), m_view(view),
      m_display(std::make_shared<HVTextDisplayModel>(view->textStorage())),
      m_layouts(std::make_unique<LayoutCache>()) {
    m_highlightingView = dynamic_cast<HVSyntaxHighlightingTextView*>(view);
    m_foldingView = dynamic_cast<HTMLView*>(view);
    if (m_highlightingView) {
        m_layoutManager = &m_highlightingView->layoutManager();
    } else {
        m_ownLayoutManager = std::make_unique<HVLayoutManager>();
        m_layoutManager = m_ownLayoutManager.get();
    }
    setAttribute(Qt::WA_InputMethodEnabled);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setAutoFillBackground(false);
    m_display->setMeasurer(std::make_shared<Measurer>(this));
    QFont font(QStringLiteral("Monospace"));
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    setEditorFont(font);

    m_displayObserver = m_display->addObserver([this](const HVTextDisplayModel::Change& change) {
        forgetLayoutsOfLines(change.firstLine, change.oldEndLine, change.newEndLine);
        if (change.mask & HVTextEdit::Characters) {
            updateScrollBars();
            // Lines moved: what is shown is told once the edit is over, not in the middle of
            // the text's notifications.
            if (m_highlightingView && !m_visibleRangeQueued) {
                m_visibleRangeQueued = true;
                QMetaObject::invokeMethod(
                    this,
                    [this] {
                        m_visibleRangeQueued = false;
                        updateVisibleRange();
                    },
                    Qt::QueuedConnection);
            }
            emit textChanged();
        }
        redraw();
    });
    m_selectionObserver = m_view->addSelectionObserver([this](HVRange) {
        restartCaretBlink();
        emit selectionChanged();
        viewport()->update();
    });
    m_scrollObserver = m_view->addScrollRequestObserver([this](HVRange range) {
        // Collapsing or expanding by the gutter or a command keeps the text where it is.
        if (!m_foldingView || !m_foldingView->isChangingFolds())
            ensureRangeVisible(range);
    });
    m_lineBreakObserver = m_view->addLineBreakTypeObserver([this] { emit lineBreakTypeChanged(); });
    // Invisibles are drawn over the kept layouts, which stay as they are.
    m_layoutManagerObserver = m_layoutManager->addChangeObserver([this] { viewport()->update(); });
    if (m_highlightingView) {
        takeViewColors();
        m_colorsObserver = m_highlightingView->addColorsObserver([this] { takeViewColors(); });
    }
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    m_view->setLineModel(std::make_unique<HVTextDisplayLineModel>(m_display));

    m_caretTimer.setInterval(
        QApplication::cursorFlashTime() > 0 ? QApplication::cursorFlashTime() / 2 : 500);
    connect(&m_caretTimer, &QTimer::timeout, this, [this] { blinkCaret(); });
    if (m_foldingView) {
        m_gutter = std::make_unique<HVLineNumberingRulerWidget>(this, *m_foldingView);
        connect(m_gutter.get(), &HVLineNumberingRulerWidget::thicknessChanged, this,
                [this] { layOutGutter(); });
        layOutGutter();
        m_flashTimer.setSingleShot(true);
        m_flashTimer.setInterval(kFlashMilliseconds);
        connect(&m_flashTimer, &QTimer::timeout, this, [this] {
            m_flashRange = {HVNotFound, 0};
            viewport()->update();
        });
        m_flashObserver = m_foldingView->addFlashObserver([this](HVRange range) {
            m_flashRange = range;
            m_flashTimer.start();
            viewport()->update();
        });
        m_completionPopup = std::make_unique<HVCodeCompletionPopupWidget>(*this, *m_foldingView);
        connect(m_completionPopup.get(), &HVCodeCompletionPopupWidget::rowAccepted, this,
                [this](int row) {
                    runUserEvent([&] {
                        m_foldingView->codeCompletionPopup().selectRow(std::size_t(row));
                        m_foldingView->doCompletions();
                    });
                    caretMoved();
                });
        m_callTip = std::make_unique<HVCallTipWidget>(*this, *m_foldingView);
    }
    updateScrollBars();
}

HVEditorWidget::~HVEditorWidget() {
    // The gutter, the pop-up and the tip draw the display model and observe the view: they go
    // first.
    m_callTip.reset();
    m_completionPopup.reset();
    m_gutter.reset();
    if (m_foldingView)
        m_foldingView->removeFlashObserver(m_flashObserver);
    m_view->setLineModel(nullptr);
    m_display->removeObserver(m_displayObserver);
    m_view->removeViewObserver(m_selectionObserver);
    m_view->removeViewObserver(m_scrollObserver);
    m_view->removeViewObserver(m_lineBreakObserver);
    m_layoutManager->removeChangeObserver(m_layoutManagerObserver);
    if (m_highlightingView)
        m_highlightingView->removeHighlightingObserver(m_colorsObserver);
    // The model's measurer reaches back into this widget: the model goes first.
    m_display.reset();
}

const HVTextBuffer& HVEditorWidget::text() const {
    return m_view->textStorage();
}

std::size_t HVEditorWidget::topUnit() const {
    return m_display->topUnit();
}

std::size_t HVEditorWidget::unitCount() const {
    return m_display->unitCount();
}

std::size_t HVEditorWidget::cachedLayoutCount() const {
    return m_layouts->entries.size();
}

void HVEditorWidget::setEditorFont(const QFont& font) {
    m_font = font;
    QFontMetricsF metrics(m_font);
    m_lineHeight = std::ceil(metrics.lineSpacing());
    m_spaceWidth = metrics.horizontalAdvance(QLatin1Char(' '));
    forgetLayouts();
    m_display->setLineHeight(m_lineHeight);
    m_widestSeen = 0;
    redraw();
    updateScrollBars();
    updateVisibleRange();
}

void HVEditorWidget::setTabWidth(int columns) {
    columns = std::max(1, columns);
    if (columns == m_tabWidth)
        return;
    m_tabWidth = columns;
    forgetLayouts();
    m_display->layoutChanged();
    updateVisibleRange();
    redraw();
}

void HVEditorWidget::setWrapsText(bool wraps) {
    if (m_wraps == wraps)
        return;
    m_wraps = wraps;
    forgetLayouts();
    m_display->layoutChanged();
    m_widestSeen = 0;
    updateScrollBars();
    updateVisibleRange();
    redraw();
}

void HVEditorWidget::setColors(const QColor& textColor, const QColor& background,
                               const QColor& selection, const QColor& caret) {
    m_textColor = textColor;
    m_backgroundColor = background;
    m_selectionColor = selection;
    m_caretColor = caret;
    forgetLayouts();
    redraw();
}

void HVEditorWidget::takeViewColors() {
    const HVEditorColors& colors = m_highlightingView->colors();
    setColors(toQColor(colors.text), toQColor(colors.background), toQColor(colors.selection),
              toQColor(colors.insertionPoint));
}

bool HVEditorWidget::showsInvisibles() const {
    return m_layoutManager->showInvisibleCharacters();
}

QColor HVEditorWidget::invisiblesColor() const {
    return toQColor(m_layoutManager->invisiblesColor());
}

HVRange HVEditorWidget::shownRange() const {
    std::vector<HVTextDisplayModel::VisibleUnit> units = m_display->visibleUnits();
    if (units.empty())
        return {0, 0};
    std::size_t from = units.front().range.location;
    return {from, units.back().range.end() - from};
}

void HVEditorWidget::updateVisibleRange() {
    // Before the first resize the model knows of no viewport; the view's default stands.
    if (!m_highlightingView || m_display->viewportHeight() <= 0)
        return;
    m_highlightingView->setVisibleRange(shownRange());
}

void HVEditorWidget::redraw() {
    viewport()->update();
    if (m_gutter)
        m_gutter->update();
}

void HVEditorWidget::layOutGutter() {
    if (!m_gutter)
        return;
    int thickness = m_gutter->thickness();
    if (viewportMargins().left() != thickness)
        setViewportMargins(thickness, 0, 0, 0);
    QRect area = viewport()->geometry();
    m_gutter->setGeometry(area.left() - thickness, area.top(), thickness, area.height());
    m_gutter->setVisible(thickness > 0);
    m_gutter->update();
}

// ---- Layouts

qreal HVEditorWidget::layoutWidth() const {
    return m_wraps ? std::max<qreal>(viewport()->width() - 8, m_spaceWidth * 8) : 1e7;
}

qreal HVEditorWidget::textLeft() const {
    return 4 - (m_wraps ? 0 : horizontalScrollBar()->value());
}

void HVEditorWidget::forgetLayouts() {
    m_layouts->entries.clear();
}

void HVEditorWidget::forgetLayoutsOfLines(std::size_t firstLine, std::size_t oldEndLine,
                                          std::size_t newEndLine) {
    // The lines that changed go; the lines after them move by the lines added.
    std::ptrdiff_t added = std::ptrdiff_t(newEndLine) - std::ptrdiff_t(oldEndLine);
    auto& entries = m_layouts->entries;
    decltype(LayoutCache::entries) kept;
    for (auto& [key, entry] : entries) {
        if (key.first < firstLine)
            kept.emplace(key, std::move(entry));
        else if (key.first >= oldEndLine)
            kept.emplace(std::pair{std::size_t(std::ptrdiff_t(key.first) + added), key.second},
                         std::move(entry));
    }
    entries = std::move(kept);
}

QTextLayout& HVEditorWidget::layoutFor(HVDisplayUnit unit) {
    auto& entries = m_layouts->entries;
    auto key = std::pair{unit.line, unit.segment};
    auto it = entries.find(key);
    if (it == entries.end()) {
        it = entries.emplace(key, LayoutCache::Entry{makeLayout(unit), 0}).first;
        ++m_layouts->made;
        if (entries.size() > kLayoutCacheLimit) {
            // Drop the least recently used quarter; the new layout is the most recent.
            std::vector<std::uint64_t> uses;
            for (const auto& [k, entry] : entries)
                uses.push_back(entry.lastUse);
            std::nth_element(uses.begin(), uses.begin() + long(uses.size() / 4), uses.end());
            std::uint64_t limit = uses[uses.size() / 4];
            for (auto e = entries.begin(); e != entries.end();) {
                if (e != it && e->second.lastUse <= limit)
                    e = entries.erase(e);
                else
                    ++e;
            }
        }
    }
    it->second.lastUse = ++m_layouts->clock;
    return *it->second.layout;
}

std::unique_ptr<QTextLayout> HVEditorWidget::makeLayout(HVDisplayUnit unit) const {
    HVRange range = m_display->rangeOfUnit(unit);
    std::u16string characters = text().substring(range);
    QString shown = QString::fromUtf16(characters.data(), qsizetype(characters.size()));
    // A collapsed region's character is laid out as an ellipsis widened to a box of a few
    // columns, so that hit testing and the caret know its width; drawFoldMarkers draws the box.
    std::vector<std::size_t> folds = foldMarkersIn(range);
    for (std::size_t fold : folds)
        shown[qsizetype(fold - range.location)] = QChar(0x2026);
    auto layout = std::make_unique<QTextLayout>(shown, m_font);
    QTextOption option;
    option.setTabStopDistance(m_spaceWidth * m_tabWidth);
    option.setWrapMode(m_wraps ? QTextOption::WrapAtWordBoundaryOrAnywhere : QTextOption::NoWrap);
    layout->setTextOption(option);
    layout->setCacheEnabled(true);
    QList<QTextLayout::FormatRange> formats;
    text().enumerateRuns(range, [&](HVRange run, const HVAttributes& attributes) {
        if (attributes.empty())
            return;
        QTextCharFormat format;
        bool any = false;
        if (const HVColor* color = attributes.color(HVForegroundColorAttribute)) {
            format.setForeground(toQColor(*color));
            any = true;
        }
        if (const HVColor* color = attributes.color(HVBackgroundColorAttribute)) {
            format.setBackground(toQColor(*color));
            any = true;
        }
        if (auto traits = attributes.integerValue(HVFontTraitsAttribute)) {
            format.setFontWeight(*traits & HVBoldFontTrait ? QFont::Bold : QFont::Normal);
            format.setFontItalic(*traits & HVItalicFontTrait);
            format.setFontUnderline(*traits & HVUnderlineFontTrait);
            any = true;
        }
        if (any)
            formats.append({int(run.location - range.location), int(run.length), format});
    });
    for (std::size_t fold : folds) {
        QTextCharFormat format;
        format.setForeground(Qt::transparent);
        format.setFontLetterSpacingType(QFont::AbsoluteSpacing);
        format.setFontLetterSpacing(
            std::max<qreal>(0, kFoldMarkerColumns * m_spaceWidth -
                                   QFontMetricsF(m_font).horizontalAdvance(QChar(0x2026))));
        formats.append({int(fold - range.location), 1, format});
    }
    layout->setFormats(formats);
    layout->beginLayout();
    qreal y = 0;
    for (;;) {
        QTextLine line = layout->createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(layoutWidth());
        line.setPosition(QPointF(0, y));
        y += m_lineHeight;
    }
    layout->endLayout();
    return layout;
}

// ---- Painting

void HVEditorWidget::paintEvent(QPaintEvent* event) {
    QPainter painter(viewport());
    const QRect dirty = event->rect();
    painter.fillRect(dirty, m_backgroundColor);
    painter.setPen(m_textColor);
    const qreal left = textLeft();
    HVRange selection = m_view->selectedRange();
    std::size_t caret = m_view->selectionHead();
    bool drawCaret = hasFocus() && m_caretVisible && selection.length == 0;
    std::uint64_t madeBefore = m_layouts->made;
    m_lastPaintLayouts = 0;
    qreal widest = m_widestSeen;
    for (const auto& visible : m_display->visibleUnits()) {
        HVRange range = visible.range;
        QTextLayout& layout = layoutFor(visible.unit);
        qreal y = visible.y;
        qreal height = layout.lineCount() * m_lineHeight;
        for (int i = 0; i < layout.lineCount(); ++i)
            widest = std::max(widest, layout.lineAt(i).naturalTextWidth());
        // Only what the paint asks for: a blinking caret repaints its own row.
        if (y + height <= dirty.top() || y > dirty.bottom())
            continue;
        ++m_lastPaintLayouts;
        QList<QTextLayout::FormatRange> selections;
        std::size_t from = std::max(selection.location, range.location);
        std::size_t to = std::min(selection.end(), range.end());
        if (selection.length > 0 && from < to) {
            QTextCharFormat format;
            format.setBackground(m_selectionColor);
            selections.append({int(from - range.location), int(to - from), format});
        }
        if (HVRangeIsFound(m_flashRange)) {
            std::size_t flashFrom = std::max(m_flashRange.location, range.location);
            std::size_t flashTo = std::min(m_flashRange.end(), range.end());
            if (flashFrom < flashTo) {
                QTextCharFormat format;
                format.setBackground(m_selectionColor);
                selections.append(
                    {int(flashFrom - range.location), int(flashTo - flashFrom), format});
            }
        }
        QPointF origin(left, y);
        layout.draw(&painter, origin, selections);
        bool lastPiece = m_display->isLastUnitOfLine(visible.unit);
        // The line break of a selected line shows as a little extra selection.
        if (selection.length > 0 && lastPiece && selection.location <= range.end() &&
            selection.end() > range.end()) {
            QTextLine lastRow = layout.lineAt(layout.lineCount() - 1);
            painter.fillRect(QRectF(left + lastRow.naturalTextWidth(), y + lastRow.y(),
                                    m_spaceWidth, m_lineHeight),
                             m_selectionColor);
        }
        if (m_layoutManager->showInvisibleCharacters())
            drawInvisibles(painter, layout, visible.unit, range, origin);
        drawFoldMarkers(painter, layout, range, origin);
        if (drawCaret && caret >= range.location &&
            (caret < range.end() || (caret == range.end() && lastPiece))) {
            // Drawn by hand: QTextLayout::drawCursor inverts what is below instead of using
            // the colour given.
            int offset = int(caret - range.location);
            QTextLine row = layout.lineForTextPosition(offset);
            if (row.isValid())
                painter.fillRect(QRectF(left + row.cursorToX(offset), y + row.y(), 2, m_lineHeight),
                                 m_caretColor);
        }
        if (!m_preedit.isEmpty() && caret >= range.location && caret <= range.end()) {
            QTextLine row = layout.lineForTextPosition(int(caret - range.location));
            if (row.isValid()) {
                qreal x = left + row.cursorToX(int(caret - range.location));
                QFont underlined = m_font;
                underlined.setUnderline(true);
                painter.setFont(underlined);
                painter.drawText(QPointF(x, y + row.y() + row.ascent()), m_preedit);
                painter.setFont(m_font);
            }
        }
    }
    m_lastPaintNewLayouts = int(m_layouts->made - madeBefore);
    if (widest > m_widestSeen) {
        m_widestSeen = widest;
        QMetaObject::invokeMethod(
            this, [this] { updateScrollBars(); }, Qt::QueuedConnection);
    }
}

void HVEditorWidget::drawInvisibles(QPainter& painter, QTextLayout& layout, HVDisplayUnit unit,
                                    HVRange range, QPointF origin) {
    // The last piece of a line also shows the line's break.
    HVRange scanned = range;
    if (m_display->isLastUnitOfLine(unit))
        scanned.length = text().rangeOfLine(unit.line).end() - range.location;
    std::vector<HVInvisibleMark> symbols = m_layoutManager->invisibleMarksInRange(text(), scanned);
    if (symbols.empty())
        return;
    painter.save();
    painter.setFont(m_font);
    painter.setPen(invisiblesColor());
    for (const HVInvisibleMark& symbol : symbols) {
        int offset = int(std::min(symbol.position, range.end()) - range.location);
        QTextLine row = layout.lineForTextPosition(offset);
        if (!row.isValid())
            continue;
        QPointF at(origin.x() + row.cursorToX(offset), origin.y() + row.y() + row.ascent());
        painter.drawText(at, QString(QChar(symbol.symbol)));
    }
    painter.restore();
}

void HVEditorWidget::drawFoldMarkers(QPainter& painter, QTextLayout& layout, HVRange range,
                                     QPointF origin) {
    std::vector<std::size_t> folds = foldMarkersIn(range);
    if (folds.empty())
        return;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QColor frame = m_textColor;
    frame.setAlphaF(0.45f);
    QColor fill = m_textColor;
    fill.setAlphaF(0.12f);
    QColor dots = m_textColor;
    dots.setAlphaF(0.8f);
    for (std::size_t fold : folds) {
        int offset = int(fold - range.location);
        QTextLine row = layout.lineForTextPosition(offset);
        if (!row.isValid())
            continue;
        qreal left = origin.x() + row.cursorToX(offset);
        qreal right = origin.x() + row.cursorToX(offset + 1);
        QRectF box(left + 1.5, origin.y() + row.y() + 2.5, right - left - 3, m_lineHeight - 5);
        painter.setPen(QPen(frame, 1));
        painter.setBrush(fill);
        painter.drawRoundedRect(box, 3, 3);
        painter.setPen(Qt::NoPen);
        painter.setBrush(dots);
        qreal radius = std::max<qreal>(1, m_lineHeight / 14);
        qreal step = box.width() / 4;
        for (int i = 1; i <= 3; ++i)
            painter.drawEllipse(QPointF(box.left() + step * i, box.center().y()), radius, radius);
    }
    painter.restore();
}

std::vector<std::size_t> HVEditorWidget::foldMarkersIn(HVRange range) const {
    std::vector<std::size_t> found;
    if (!m_foldingView || !text().hasAttachments())
        return found;
    const HVTextStorage& storage = m_foldingView->textStorage();
    HVRange at;
    for (std::size_t from = range.location; from < range.end(); from = at.end()) {
        if (!storage.firstAttachmentInRange({from, range.end() - from}, &at))
            break;
        found.push_back(at.location);
    }
    return found;
}

void HVEditorWidget::blinkCaret() {
    m_caretVisible = !m_caretVisible;
    // Only the caret's row changes (all of its pixels, also at a fractional top).
    if (auto caret = m_display->caretRect(m_view->selectionHead()))
        viewport()->update(QRectF(0, caret->y, viewport()->width(), caret->height).toAlignedRect());
}

// ---- Scrolling

void HVEditorWidget::updateScrollBars() {
    m_settingScrollBars = true;
    std::size_t units = m_display->unitCount();
    int visible = std::max(1, int(viewport()->height() / m_lineHeight));
    verticalScrollBar()->setRange(0,
                                  int(std::min<std::size_t>(units > 0 ? units - 1 : 0, INT32_MAX)));
    verticalScrollBar()->setPageStep(visible);
    verticalScrollBar()->setSingleStep(1);
    verticalScrollBar()->setValue(int(std::min<std::size_t>(m_display->topUnit(), INT32_MAX)));
    if (m_wraps) {
        horizontalScrollBar()->setRange(0, 0);
    } else {
        int width = int(m_widestSeen + m_spaceWidth * 4);
        horizontalScrollBar()->setRange(0, std::max(0, width - viewport()->width()));
        horizontalScrollBar()->setPageStep(viewport()->width());
        horizontalScrollBar()->setSingleStep(int(m_spaceWidth * 4));
    }
    m_settingScrollBars = false;
}

void HVEditorWidget::scrollContentsBy(int, int) {
    if (m_settingScrollBars)
        return;
    std::size_t value = std::size_t(std::max(0, verticalScrollBar()->value()));
    if (value != m_display->topUnit())
        m_display->scrollToUnit(value);
    updateVisibleRange();
    redraw();
    placeCaretBoxes();
}

void HVEditorWidget::scrollToUnit(std::size_t unit, qreal offset) {
    m_display->scrollToUnit(unit, offset);
    updateScrollBars();
    updateVisibleRange();
    redraw();
}

void HVEditorWidget::scrollByPixels(qreal pixels) {
    m_display->scrollByPixels(pixels);
    updateScrollBars();
    updateVisibleRange();
    redraw();
}

void HVEditorWidget::wheelEvent(QWheelEvent* event) {
    QPoint pixels = event->pixelDelta();
    QPoint degrees = event->angleDelta();
    if (!pixels.isNull()) {
        scrollByPixels(-pixels.y());
    } else if (!degrees.isNull()) {
        scrollByPixels(-degrees.y() / 120.0 * 3 * m_lineHeight);
        if (!m_wraps && degrees.x() != 0)
            horizontalScrollBar()->setValue(horizontalScrollBar()->value() -
                                            int(degrees.x() / 120.0 * 3 * m_spaceWidth));
    }
    event->accept();
}

void HVEditorWidget::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    m_display->setViewportHeight(viewport()->height());
    // Wrapped rows depend on the width.
    if (m_wraps) {
        forgetLayouts();
        m_display->layoutChanged();
    }
    m_view->setPageSize(std::max(1, int(viewport()->height() / m_lineHeight) - 1));
    updateScrollBars();
    updateVisibleRange();
    layOutGutter();
    placeCaretBoxes();
}

void HVEditorWidget::ensurePositionVisible(std::size_t position) {
    m_display->ensurePositionVisible(position);
    if (!m_wraps) {
        int x = int(m_display->xForPosition(position));
        int scroll = horizontalScrollBar()->value();
        if (x > m_widestSeen)
            m_widestSeen = x;
        updateScrollBars();
        // Keep a few columns of context beside the caret when scrolling to it.
        int margin = int(m_spaceWidth * 4);
        if (x < scroll)
            horizontalScrollBar()->setValue(std::max(0, x - margin));
        else if (x > scroll + viewport()->width() - 8)
            horizontalScrollBar()->setValue(x - viewport()->width() + margin);
    } else {
        updateScrollBars();
    }
    updateVisibleRange();
    redraw();
}

void HVEditorWidget::ensureRangeVisible(HVRange range) {
    ensurePositionVisible(range.end());
    ensurePositionVisible(range.location);
}

// ---- Hit testing

std::size_t HVEditorWidget::positionAt(const QPoint& point) {
    return m_display->positionAt(point.x() - textLeft(), point.y());
}

std::size_t HVEditorWidget::characterAt(const QPoint& point) {
    std::size_t position = positionAt(point);
    // The nearest caret place may be after the character that holds the point.
    if (position > 0 && m_display->xForPosition(position) > point.x() - textLeft())
        return position - 1;
    return position;
}

QRect HVEditorWidget::caretRect() {
    auto caret = m_display->caretRect(m_view->selectionHead());
    if (!caret)
        return {};
    return QRect(int(textLeft() + caret->x), int(caret->y), 2, int(m_lineHeight));
}

// ---- Keyboard and input methods

bool HVEditorWidget::runCommand(const char* selector) {
    HVUndoManager& undo = m_view->undoManager();
    undo.beginEventGroup();
    bool known = m_view->doCommandBySelector(selector);
    undo.endEventGroup();
    caretMoved();
    return known;
}

void HVEditorWidget::runUserEvent(const std::function<void()>& action) {
    HVUndoManager& undo = m_view->undoManager();
    undo.beginEventGroup();
    action();
    undo.endEventGroup();
    redraw();
}

void HVEditorWidget::caretMoved() {
    ensurePositionVisible(m_view->selectionHead());
    restartCaretBlink();
    viewport()->update();
    placeCaretBoxes();
}

void HVEditorWidget::placeCaretBoxes() {
    if (m_completionPopup)
        m_completionPopup->place();
    if (m_callTip)
        m_callTip->place();
}

void HVEditorWidget::restartCaretBlink() {
    m_caretVisible = true;
    if (hasFocus())
        m_caretTimer.start();
}

bool HVEditorWidget::focusNextPrevChild(bool) {
    return false;
}

void HVEditorWidget::keyPressEvent(QKeyEvent* event) {
    // The arrow keys choose in the completion pop-up while it shows; Return and Tab reach the
    // view, which accepts its entry, and Escape hides it.
    if (m_foldingView && m_foldingView->codeCompletionPopup().isVisible() &&
        (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier &&
        (event->key() == Qt::Key_Up || event->key() == Qt::Key_Down)) {
        HVCodeCompletionPopup& popup = m_foldingView->codeCompletionPopup();
        if (event->key() == Qt::Key_Up)
            popup.moveUp();
        else
            popup.moveDown();
        event->accept();
        return;
    }
    for (const auto& binding : kKeyCommands) {
        if (event->matches(binding.key)) {
            runCommand(binding.selector);
            event->accept();
            return;
        }
    }
    const char* selector = nullptr;
    Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    switch (event->key()) {
    case Qt::Key_Backspace:
        selector = (modifiers & Qt::ControlModifier) ? "deleteWordBackward:" : "deleteBackward:";
        break;
    case Qt::Key_Tab:
        selector = modifiers == Qt::NoModifier ? "insertTab:" : nullptr;
        break;
    case Qt::Key_Backtab:
        selector = "insertBacktab:";
        break;
    case Qt::Key_Escape:
        selector = modifiers == Qt::NoModifier ? "cancelOperation:" : nullptr;
        break;
    case Qt::Key_F5:
        // Completion shown at once, without waiting for the language to suggest it.
        if (m_foldingView && modifiers == Qt::NoModifier) {
            runCommand("complete:");
            event->accept();
            return;
        }
        break;
    default:
        break;
    }
    if (selector) {
        runCommand(selector);
        event->accept();
        return;
    }
    QString typed = event->text();
    bool printable = !typed.isEmpty() && !(modifiers & (Qt::ControlModifier | Qt::AltModifier)) &&
                     std::all_of(typed.begin(), typed.end(),
                                 [](QChar c) { return c.isPrint() || c == QChar('\t'); });
    if (printable) {
        HVUndoManager& undo = m_view->undoManager();
        undo.beginEventGroup();
        m_view->insertText(std::u16string_view(reinterpret_cast<const char16_t*>(typed.utf16()),
                                               std::size_t(typed.size())));
        undo.endEventGroup();
        caretMoved();
        event->accept();
        return;
    }
    QAbstractScrollArea::keyPressEvent(event);
}

void HVEditorWidget::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls() || event->mimeData()->hasText() ||
        event->mimeData()->hasColor())
        event->acceptProposedAction();
}

void HVEditorWidget::dragMoveEvent(QDragMoveEvent* event) {
    if (event->mimeData()->hasUrls() || event->mimeData()->hasText() ||
        event->mimeData()->hasColor())
        event->acceptProposedAction();
}

void HVEditorWidget::dropEvent(QDropEvent* event) {
    const QMimeData* data = event->mimeData();
    QStringList files;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile())
            files << url.toLocalFile();
    }
    if (!files.isEmpty()) {
        event->acceptProposedAction();
        emit filesDropped(files);
        return;
    }
    QString dropped;
    if (data->hasColor()) {
        // A colour from a colour picker goes in as the web's notation of it.
        dropped = qvariant_cast<QColor>(data->colorData()).name(QColor::HexRgb).toUpper();
    } else if (data->hasText()) {
        dropped = data->text();
    } else {
        return;
    }
    // Drops reach the area through its viewport, in the viewport's coordinates.
    std::size_t position = positionAt(event->position().toPoint());
    // Dropped text is the user's new text: its line breaks become the document's.
    std::u16string text = m_view->convertingLineBreaks(std::u16string_view(
        reinterpret_cast<const char16_t*>(dropped.utf16()), std::size_t(dropped.size())));
    m_view->setSelectedRange({position, 0});
    position = m_view->selectedRange().location;
    if (m_view->replaceCharacters({position, 0}, text, "Drop")) {
        m_view->setSelectedRange({position, text.size()});
        event->acceptProposedAction();
    }
    setFocus();
}

QMenu* HVEditorWidget::createContextMenu(QWidget* parent) {
    auto* menu = new QMenu(parent);
    for (auto [title, selector] :
         {std::pair{"Cu&t", "cut:"}, std::pair{"&Copy", "copy:"}, std::pair{"&Paste", "paste:"}}) {
        std::string command = selector;
        menu->addAction(title, this, [this, command] { runCommand(command.c_str()); });
    }
    if (HTMLView* view = m_foldingView) {
        menu->addSeparator();
        menu->addAction("Indent Block", this,
                        [this, view] { runUserEvent([view] { view->entabBlock(); }); });
        menu->addAction("Outdent Block", this,
                        [this, view] { runUserEvent([view] { view->detabBlock(); }); });
    }
    return menu;
}

void HVEditorWidget::contextMenuEvent(QContextMenuEvent* event) {
    QMenu* menu = createContextMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

void HVEditorWidget::inputMethodEvent(QInputMethodEvent* event) {
    QString commit = event->commitString();
    if (!commit.isEmpty()) {
        HVUndoManager& undo = m_view->undoManager();
        undo.beginEventGroup();
        m_view->insertText(std::u16string_view(reinterpret_cast<const char16_t*>(commit.utf16()),
                                               std::size_t(commit.size())));
        undo.endEventGroup();
    }
    m_preedit = event->preeditString();
    caretMoved();
    event->accept();
}

QVariant HVEditorWidget::inputMethodQuery(Qt::InputMethodQuery query) const {
    auto* self = const_cast<HVEditorWidget*>(this);
    switch (query) {
    case Qt::ImCursorRectangle:
        return self->caretRect();
    case Qt::ImFont:
        return m_font;
    case Qt::ImCursorPosition: {
        std::size_t caret = m_view->selectionHead();
        return int(caret - text().lineRangeForIndex(caret).location);
    }
    case Qt::ImSurroundingText: {
        std::u16string line = text().substring(HVTextLineModel::withoutLineBreak(
            text(), text().lineRangeForIndex(m_view->selectionHead())));
        return QString::fromUtf16(line.data(), qsizetype(line.size()));
    }
    case Qt::ImCurrentSelection: {
        std::u16string selected = m_view->selectedString();
        return QString::fromUtf16(selected.data(), qsizetype(selected.size()));
    }
    default:
        return QAbstractScrollArea::inputMethodQuery(query);
    }
}

// ---- Mouse

void HVEditorWidget::selectByMouse(std::size_t position, bool extend) {
    if (extend)
        m_view->setSelectedRange(position < m_dragAnchor
                                     ? HVRange{position, m_dragAnchor - position}
                                     : HVRange{m_dragAnchor, position - m_dragAnchor});
    else
        m_view->setSelectedRange({position, 0});
    m_view->breakUndoCoalescing();
}

void HVEditorWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    std::size_t position = positionAt(event->position().toPoint());
    // A click ends completion.
    if (m_foldingView)
        m_foldingView->mouseDown(position, 1);
    // A third click soon after a double click selects the line.
    if (m_lastDoubleClick.isValid() &&
        m_lastDoubleClick.elapsed() < QApplication::doubleClickInterval()) {
        m_view->setSelectedRange({position, 0});
        m_view->doCommandBySelector("selectLine:");
        m_lastDoubleClick.invalidate();
        caretMoved();
        return;
    }
    bool extend = event->modifiers() & Qt::ShiftModifier;
    if (!extend)
        m_dragAnchor = position;
    else
        m_dragAnchor = m_view->selectionAnchor();
    selectByMouse(position, extend);
    m_dragging = true;
    caretMoved();
}

void HVEditorWidget::mouseMoveEvent(QMouseEvent* event) {
    if (!m_dragging)
        return;
    QPoint point = event->position().toPoint();
    if (point.y() < 0)
        scrollByPixels(-m_lineHeight);
    else if (point.y() > viewport()->height())
        scrollByPixels(m_lineHeight);
    selectByMouse(positionAt(point), true);
    viewport()->update();
}

void HVEditorWidget::mouseReleaseEvent(QMouseEvent*) {
    m_dragging = false;
}

void HVEditorWidget::mouseDoubleClickEvent(QMouseEvent* event) {
    std::size_t position = positionAt(event->position().toPoint());
    if (m_foldingView && m_foldingView->textStorage().hasAttachments()) {
        bool expanded = false;
        runUserEvent([&] {
            expanded = m_foldingView->doubleClickedOnAttachmentAtIndex(
                characterAt(event->position().toPoint()));
        });
        if (expanded) {
            m_dragging = false;
            return;
        }
    }
    // At the place just after an opening bracket, the view selects through its match; else a
    // word (a double click on the middle of the word after the bracket selects that word).
    bool selectedBlock = false;
    if (m_foldingView)
        runUserEvent([&] { selectedBlock = m_foldingView->mouseDown(position, 2); });
    if (!selectedBlock) {
        m_view->setSelectedRange({position, 0});
        m_view->doCommandBySelector("selectWord:");
    }
    m_lastDoubleClick.start();
    m_dragging = false;
    caretMoved();
}

void HVEditorWidget::focusInEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusInEvent(event);
    restartCaretBlink();
    viewport()->update();
}

void HVEditorWidget::focusOutEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusOutEvent(event);
    m_caretTimer.stop();
    viewport()->update();
}
