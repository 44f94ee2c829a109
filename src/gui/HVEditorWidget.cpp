#include "HVEditorWidget.h"

#include "HVAttributes.h"
#include "HVTextBuffer.h"
#include "HVTextLineModel.h"
#include "HVTextViewModel.h"
#include "HVUndoManager.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QTextLayout>
#include <algorithm>

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

// Vertical moves by rows as drawn, with the goal kept in pixels.
class HVEditorWidget::LineModel : public HVTextLineModel {
public:
    explicit LineModel(HVEditorWidget* widget) : m_widget(widget) {}

    HVRange lineRangeForPosition(const HVTextViewModel&, std::size_t position) const override {
        Unit unit = m_widget->unitForPosition(position);
        HVRange segment = m_widget->segmentRange(unit);
        auto layout = m_widget->layoutUnit(unit, false);
        QTextLine row = layout->lineForTextPosition(int(position - segment.location));
        if (!row.isValid())
            return segment;
        std::size_t start = segment.location + std::size_t(row.textStart());
        std::size_t end = std::min(segment.end(), start + std::size_t(row.textLength()));
        // A wrapped row that is not the last keeps its trailing blank out of the range.
        if (end < segment.end() && end > start)
            --end;
        return {start, end - start};
    }

    double goalForPosition(const HVTextViewModel&, std::size_t position) const override {
        Unit unit = m_widget->unitForPosition(position);
        HVRange segment = m_widget->segmentRange(unit);
        auto layout = m_widget->layoutUnit(unit, false);
        int cursor = int(position - segment.location);
        QTextLine row = layout->lineForTextPosition(cursor);
        return row.isValid() ? row.cursorToX(cursor) : 0;
    }

    std::size_t positionForGoal(const HVTextViewModel& view, std::size_t position,
                                std::ptrdiff_t lines, double goal) const override {
        std::size_t length = view.textStorage().length();
        Unit unit = m_widget->unitForPosition(position);
        std::size_t unitIndex = m_widget->unitIndex(unit);
        auto layout = m_widget->layoutUnit(unit, false);
        HVRange segment = m_widget->segmentRange(unit);
        QTextLine row = layout->lineForTextPosition(int(position - segment.location));
        int rowIndex = row.isValid() ? row.lineNumber() : 0;
        std::size_t units = m_widget->unitCount();
        while (lines != 0) {
            if (lines > 0) {
                if (rowIndex + 1 < layout->lineCount()) {
                    ++rowIndex;
                } else if (unitIndex + 1 < units) {
                    ++unitIndex;
                    unit = m_widget->unitAt(unitIndex);
                    layout = m_widget->layoutUnit(unit, false);
                    rowIndex = 0;
                } else {
                    return length;
                }
                --lines;
            } else {
                if (rowIndex > 0) {
                    --rowIndex;
                } else if (unitIndex > 0) {
                    --unitIndex;
                    unit = m_widget->unitAt(unitIndex);
                    layout = m_widget->layoutUnit(unit, false);
                    rowIndex = layout->lineCount() - 1;
                } else {
                    return 0;
                }
                ++lines;
            }
        }
        segment = m_widget->segmentRange(unit);
        QTextLine target = layout->lineAt(rowIndex);
        int cursor = target.xToCursor(goal);
        // The end of a wrapped row is the start of the next: stay on the row.
        if (rowIndex + 1 < layout->lineCount() &&
            cursor >= target.textStart() + target.textLength())
            cursor = target.textStart() + target.textLength() - 1;
        return std::min(segment.location + std::size_t(std::max(cursor, 0)), segment.end());
    }

private:
    HVEditorWidget* m_widget;
};

HVEditorWidget::HVEditorWidget(HVTextViewModel* view, QWidget* parent)
    : QAbstractScrollArea(parent), m_view(view) {
    setAttribute(Qt::WA_InputMethodEnabled);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setAutoFillBackground(false);
    QFont font(QStringLiteral("Monospace"));
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    setEditorFont(font);

    m_textObserver =
        m_view->textStorage().addObserver([this](const HVTextEdit& edit) { textEdited(edit); });
    m_selectionObserver = m_view->addSelectionObserver([this](HVRange) {
        restartCaretBlink();
        emit selectionChanged();
        viewport()->update();
    });
    m_scrollObserver =
        m_view->addScrollRequestObserver([this](HVRange range) { ensureRangeVisible(range); });
    m_lineBreakObserver = m_view->addLineBreakTypeObserver([this] { emit lineBreakTypeChanged(); });
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    m_view->setLineModel(std::make_unique<LineModel>(this));
    rescanLongLines(0, text().lineCount());

    m_caretTimer.setInterval(
        QApplication::cursorFlashTime() > 0 ? QApplication::cursorFlashTime() / 2 : 500);
    connect(&m_caretTimer, &QTimer::timeout, this, [this] {
        m_caretVisible = !m_caretVisible;
        viewport()->update();
    });
    updateScrollBars();
}

HVEditorWidget::~HVEditorWidget() {
    m_view->setLineModel(nullptr);
    m_view->textStorage().removeObserver(m_textObserver);
    m_view->removeViewObserver(m_selectionObserver);
    m_view->removeViewObserver(m_scrollObserver);
    m_view->removeViewObserver(m_lineBreakObserver);
}

const HVTextBuffer& HVEditorWidget::text() const {
    return m_view->textStorage();
}

void HVEditorWidget::setEditorFont(const QFont& font) {
    m_font = font;
    QFontMetricsF metrics(m_font);
    m_lineHeight = std::ceil(metrics.lineSpacing());
    m_spaceWidth = metrics.horizontalAdvance(QLatin1Char(' '));
    viewport()->update();
    updateScrollBars();
}

void HVEditorWidget::setTabWidth(int columns) {
    m_tabWidth = std::max(1, columns);
    viewport()->update();
}

void HVEditorWidget::setWrapsText(bool wraps) {
    if (m_wraps == wraps)
        return;
    m_wraps = wraps;
    m_topOffset = 0;
    m_widestSeen = 0;
    updateScrollBars();
    viewport()->update();
}

void HVEditorWidget::setColors(const QColor& textColor, const QColor& background,
                               const QColor& selection, const QColor& caret) {
    m_textColor = textColor;
    m_backgroundColor = background;
    m_selectionColor = selection;
    m_caretColor = caret;
    viewport()->update();
}

// ---- Lines and units

std::size_t HVEditorWidget::lineContentLength(std::size_t line) const {
    return HVTextLineModel::withoutLineBreak(text(), text().rangeOfLine(line)).length;
}

std::size_t HVEditorWidget::segmentsOfLine(std::size_t line) const {
    std::size_t length = lineContentLength(line);
    return length == 0 ? 1 : (length + kSegmentLength - 1) / kSegmentLength;
}

std::size_t HVEditorWidget::unitCount() const {
    return text().lineCount() + m_extraUnits;
}

std::size_t HVEditorWidget::unitIndex(Unit unit) const {
    std::size_t extraBefore = 0;
    for (const auto& longLine : m_longLines) {
        std::size_t line = text().lineNumberForIndex(longLine.offset);
        if (line >= unit.line)
            break;
        extraBefore += longLine.extra;
    }
    return unit.line + extraBefore + unit.segment;
}

HVEditorWidget::Unit HVEditorWidget::unitAt(std::size_t index) const {
    std::size_t extraBefore = 0;
    for (const auto& longLine : m_longLines) {
        std::size_t line = text().lineNumberForIndex(longLine.offset);
        std::size_t first = line + extraBefore;
        if (index < first)
            break;
        if (index <= first + longLine.extra)
            return {line, index - first};
        extraBefore += longLine.extra;
    }
    std::size_t line = index - extraBefore;
    return {std::min(line, text().lineCount() - 1), 0};
}

HVRange HVEditorWidget::segmentRange(Unit unit) const {
    HVRange line = HVTextLineModel::withoutLineBreak(text(), text().rangeOfLine(unit.line));
    auto boundary = [&](std::size_t offset) {
        std::size_t position = line.location + std::min(offset, line.length);
        // A piece never ends between the two halves of a surrogate pair.
        if (position > line.location && position < line.end() &&
            (text().characterAtIndex(position) & 0xFC00) == 0xDC00)
            ++position;
        return position;
    };
    std::size_t start = unit.segment == 0 ? line.location : boundary(unit.segment * kSegmentLength);
    std::size_t end = boundary((unit.segment + 1) * kSegmentLength);
    return {start, end - start};
}

HVEditorWidget::Unit HVEditorWidget::unitForPosition(std::size_t position) const {
    std::size_t line = text().lineNumberForIndex(position);
    std::size_t lineStart = text().rangeOfLine(line).location;
    std::size_t segments = segmentsOfLine(line);
    std::size_t segment = std::min((position - lineStart) / kSegmentLength, segments - 1);
    // The start of a piece after a surrogate boundary may belong to the piece before.
    while (segment > 0 && segmentRange({line, segment}).location > position)
        --segment;
    return {line, segment};
}

void HVEditorWidget::rescanLongLines(std::size_t fromLine, std::size_t toLine) {
    std::vector<LongLine> found;
    for (std::size_t line = fromLine; line < toLine && line < text().lineCount(); ++line) {
        std::size_t length = lineContentLength(line);
        if (length > kSegmentLength)
            found.push_back({text().rangeOfLine(line).location, length,
                             (length + kSegmentLength - 1) / kSegmentLength - 1});
    }
    auto at = std::lower_bound(
        m_longLines.begin(), m_longLines.end(), found.empty() ? 0 : found.front().offset,
        [](const LongLine& a, std::size_t offset) { return a.offset < offset; });
    m_longLines.insert(at, found.begin(), found.end());
    m_extraUnits = 0;
    for (const auto& longLine : m_longLines)
        m_extraUnits += longLine.extra;
}

void HVEditorWidget::textEdited(const HVTextEdit& edit) {
    if (edit.mask & HVTextEdit::Characters) {
        // Look again at the lines the edit touched, and at the line before it (whose line
        // break an edit may have joined or split); long lines after the edit only move.
        std::size_t location = edit.editedRange.location;
        std::size_t oldEnd =
            std::size_t(std::ptrdiff_t(edit.editedRange.end()) - edit.changeInLength);
        std::size_t from = location >= 2 ? location - 2 : 0;
        HVRange lines = text().lineRangeForRange({from, edit.editedRange.end() - from});
        std::vector<LongLine> kept;
        for (const auto& longLine : m_longLines) {
            if (longLine.offset < lines.location) {
                kept.push_back(longLine);
            } else if (longLine.offset > oldEnd) {
                std::size_t moved =
                    std::size_t(std::ptrdiff_t(longLine.offset) + edit.changeInLength);
                if (moved >= lines.end())
                    kept.push_back({moved, longLine.length, longLine.extra});
            }
        }
        m_longLines = std::move(kept);
        std::size_t first = text().lineNumberForIndex(lines.location);
        std::size_t last =
            text().lineNumberForIndex(lines.length > 0 ? lines.end() - 1 : lines.location);
        rescanLongLines(first, last + 1);
        if (m_topUnit >= unitCount())
            m_topUnit = unitCount() - 1;
        updateScrollBars();
        emit textChanged();
    }
    viewport()->update();
}

// ---- Layout and painting

qreal HVEditorWidget::layoutWidth() const {
    return m_wraps ? std::max<qreal>(viewport()->width() - 8, m_spaceWidth * 8) : 1e7;
}

std::unique_ptr<QTextLayout> HVEditorWidget::layoutUnit(Unit unit, bool withFormats) const {
    HVRange range = segmentRange(unit);
    std::u16string characters = text().substring(range);
    auto layout = std::make_unique<QTextLayout>(
        QString::fromUtf16(characters.data(), qsizetype(characters.size())), m_font);
    QTextOption option;
    option.setTabStopDistance(m_spaceWidth * m_tabWidth);
    option.setWrapMode(m_wraps ? QTextOption::WrapAtWordBoundaryOrAnywhere : QTextOption::NoWrap);
    layout->setTextOption(option);
    layout->setCacheEnabled(true);
    if (withFormats) {
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
                if (*traits & HVBoldFontTrait)
                    format.setFontWeight(QFont::Bold);
                if (*traits & HVItalicFontTrait)
                    format.setFontItalic(true);
                if (*traits & HVUnderlineFontTrait)
                    format.setFontUnderline(true);
                any = true;
            }
            if (any)
                formats.append({int(run.location - range.location), int(run.length), format});
        });
        layout->setFormats(formats);
    }
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

void HVEditorWidget::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    painter.fillRect(viewport()->rect(), m_backgroundColor);
    painter.setPen(m_textColor);
    const qreal left = 4 - (m_wraps ? 0 : horizontalScrollBar()->value());
    HVRange selection = m_view->selectedRange();
    std::size_t caret = m_view->selectionHead();
    bool drawCaret = hasFocus() && m_caretVisible && selection.length == 0;
    std::size_t units = unitCount();
    qreal y = -m_topOffset;
    m_lastPaintLayouts = 0;
    qreal widest = m_widestSeen;
    for (std::size_t index = m_topUnit; index < units && y < viewport()->height(); ++index) {
        Unit unit = unitAt(index);
        HVRange range = segmentRange(unit);
        auto layout = layoutUnit(unit, true);
        ++m_lastPaintLayouts;
        QList<QTextLayout::FormatRange> selections;
        std::size_t from = std::max(selection.location, range.location);
        std::size_t to = std::min(selection.end(), range.end());
        if (selection.length > 0 && from < to) {
            QTextCharFormat format;
            format.setBackground(m_selectionColor);
            selections.append({int(from - range.location), int(to - from), format});
        }
        QPointF origin(left, y);
        layout->draw(&painter, origin, selections);
        // The line break of a selected line shows as a little extra selection.
        if (selection.length > 0 && selection.location <= range.end() &&
            selection.end() > range.end() &&
            range.end() ==
                HVTextLineModel::withoutLineBreak(text(), text().rangeOfLine(unit.line)).end()) {
            QTextLine lastRow = layout->lineAt(layout->lineCount() - 1);
            painter.fillRect(QRectF(left + lastRow.naturalTextWidth(), y + lastRow.y(),
                                    m_spaceWidth, m_lineHeight),
                             m_selectionColor);
        }
        bool lastPiece = unit.segment + 1 >= segmentsOfLine(unit.line);
        if (drawCaret && caret >= range.location &&
            (caret < range.end() || (caret == range.end() && lastPiece))) {
            int position = int(caret - range.location);
            painter.setPen(m_caretColor);
            layout->drawCursor(&painter, origin, position, 2);
            painter.setPen(m_textColor);
        }
        if (!m_preedit.isEmpty() && caret >= range.location && caret <= range.end()) {
            QTextLine row = layout->lineForTextPosition(int(caret - range.location));
            if (row.isValid()) {
                qreal x = left + row.cursorToX(int(caret - range.location));
                QFont underlined = m_font;
                underlined.setUnderline(true);
                painter.setFont(underlined);
                painter.drawText(QPointF(x, y + row.y() + row.ascent()), m_preedit);
                painter.setFont(m_font);
            }
        }
        for (int i = 0; i < layout->lineCount(); ++i)
            widest = std::max(widest, layout->lineAt(i).naturalTextWidth());
        y += layout->lineCount() * m_lineHeight;
    }
    if (widest > m_widestSeen) {
        m_widestSeen = widest;
        QMetaObject::invokeMethod(
            this, [this] { updateScrollBars(); }, Qt::QueuedConnection);
    }
}

// ---- Scrolling

void HVEditorWidget::updateScrollBars() {
    m_settingScrollBars = true;
    std::size_t units = unitCount();
    int visible = std::max(1, int(viewport()->height() / m_lineHeight));
    verticalScrollBar()->setRange(0,
                                  int(std::min<std::size_t>(units > 0 ? units - 1 : 0, INT32_MAX)));
    verticalScrollBar()->setPageStep(visible);
    verticalScrollBar()->setSingleStep(1);
    verticalScrollBar()->setValue(int(std::min<std::size_t>(m_topUnit, INT32_MAX)));
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
    if (value != m_topUnit) {
        m_topUnit = value;
        m_topOffset = 0;
    }
    viewport()->update();
}

void HVEditorWidget::scrollToUnit(std::size_t unit, qreal offset) {
    m_topUnit = std::min(unit, unitCount() - 1);
    m_topOffset = offset;
    updateScrollBars();
    viewport()->update();
}

void HVEditorWidget::scrollByPixels(qreal pixels) {
    std::size_t units = unitCount();
    qreal offset = m_topOffset + pixels;
    std::size_t top = m_topUnit;
    while (offset < 0 && top > 0) {
        --top;
        offset += layoutUnit(unitAt(top), false)->lineCount() * m_lineHeight;
    }
    if (offset < 0)
        offset = 0;
    for (;;) {
        qreal height = layoutUnit(unitAt(top), false)->lineCount() * m_lineHeight;
        if (offset < height || top + 1 >= units)
            break;
        offset -= height;
        ++top;
    }
    if (top + 1 >= units)
        offset = std::min(offset, qreal(0));
    scrollToUnit(top, std::max<qreal>(offset, 0));
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
    m_view->setPageSize(std::max(1, int(viewport()->height() / m_lineHeight) - 1));
    updateScrollBars();
}

void HVEditorWidget::ensurePositionVisible(std::size_t position) {
    Unit unit = unitForPosition(position);
    std::size_t index = unitIndex(unit);
    HVRange range = segmentRange(unit);
    auto layout = layoutUnit(unit, false);
    QTextLine row = layout->lineForTextPosition(int(position - range.location));
    qreal rowTop = row.isValid() ? row.y() : 0;
    qreal height = viewport()->height();
    if (index < m_topUnit || (index == m_topUnit && rowTop < m_topOffset)) {
        scrollToUnit(index, rowTop);
    } else {
        // Where is the row? Measure from the top unit down to it, but no further than a screen.
        qreal y = -m_topOffset;
        bool far = false;
        for (std::size_t i = m_topUnit; i < index; ++i) {
            y += layoutUnit(unitAt(i), false)->lineCount() * m_lineHeight;
            if (y > height) {
                far = true;
                break;
            }
        }
        if (far) {
            // A jump: put the row in the middle of the view, with the units before it above.
            qreal above = height / 2 - rowTop;
            std::size_t top = index;
            while (top > 0 && above > 0) {
                --top;
                above -= layoutUnit(unitAt(top), false)->lineCount() * m_lineHeight;
            }
            scrollToUnit(top, above < 0 ? -above : 0);
        } else if (y + rowTop + m_lineHeight > height) {
            scrollByPixels(y + rowTop + m_lineHeight - height);
        }
    }
    if (!m_wraps && row.isValid()) {
        int x = int(row.cursorToX(int(position - range.location)));
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
    }
}

void HVEditorWidget::ensureRangeVisible(HVRange range) {
    ensurePositionVisible(range.end());
    ensurePositionVisible(range.location);
}

// ---- Hit testing

std::size_t HVEditorWidget::positionAt(const QPoint& point) {
    const qreal left = 4 - (m_wraps ? 0 : horizontalScrollBar()->value());
    std::size_t units = unitCount();
    qreal y = -m_topOffset;
    std::size_t index = m_topUnit;
    if (point.y() < 0)
        return unitIndex(unitAt(m_topUnit)) == 0 ? 0 : segmentRange(unitAt(m_topUnit)).location;
    for (; index < units; ++index) {
        Unit unit = unitAt(index);
        auto layout = layoutUnit(unit, false);
        qreal height = layout->lineCount() * m_lineHeight;
        if (point.y() < y + height || index + 1 == units) {
            HVRange range = segmentRange(unit);
            int rowIndex =
                std::clamp(int((point.y() - y) / m_lineHeight), 0, layout->lineCount() - 1);
            QTextLine row = layout->lineAt(rowIndex);
            int cursor = row.xToCursor(point.x() - left);
            if (rowIndex + 1 < layout->lineCount() && cursor >= row.textStart() + row.textLength())
                cursor = row.textStart() + row.textLength() - 1;
            return std::min(range.location + std::size_t(std::max(cursor, 0)), range.end());
        }
        y += height;
    }
    return text().length();
}

QRect HVEditorWidget::caretRect() {
    std::size_t caret = m_view->selectionHead();
    const qreal left = 4 - (m_wraps ? 0 : horizontalScrollBar()->value());
    qreal y = -m_topOffset;
    Unit target = unitForPosition(caret);
    std::size_t index = unitIndex(target);
    if (index < m_topUnit)
        return {};
    for (std::size_t i = m_topUnit; i < index; ++i) {
        y += layoutUnit(unitAt(i), false)->lineCount() * m_lineHeight;
        if (y > viewport()->height())
            return {};
    }
    HVRange range = segmentRange(target);
    auto layout = layoutUnit(target, false);
    QTextLine row = layout->lineForTextPosition(int(caret - range.location));
    if (!row.isValid())
        return {};
    qreal x = left + row.cursorToX(int(caret - range.location));
    return QRect(int(x), int(y + row.y()), 2, int(m_lineHeight));
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

void HVEditorWidget::caretMoved() {
    ensurePositionVisible(m_view->selectionHead());
    restartCaretBlink();
    viewport()->update();
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
    if (event->mimeData()->hasUrls() || event->mimeData()->hasText())
        event->acceptProposedAction();
}

void HVEditorWidget::dragMoveEvent(QDragMoveEvent* event) {
    if (event->mimeData()->hasUrls() || event->mimeData()->hasText())
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
    if (!data->hasText())
        return;
    QString dropped = data->text();
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
    m_view->setSelectedRange({position, 0});
    m_view->doCommandBySelector("selectWord:");
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
