#include "HVTextDisplayModel.h"

#include "HVTextBuffer.h"
#include "HVTextLineModel.h"

#include <algorithm>

HVTextDisplayModel::HVTextDisplayModel(HVTextBuffer& text, std::size_t segmentLength)
    : m_text(text), m_segmentLength(std::max<std::size_t>(segmentLength, 2)) {
    m_lineCount = m_text.lineCount();
    m_longLines = scanLongLines(m_text, m_segmentLength, 0, m_lineCount);
    indexChanged();
    m_textObserver = m_text.addObserver([this](const HVTextEdit& edit) { textEdited(edit); });
}

HVTextDisplayModel::~HVTextDisplayModel() {
    m_text.removeObserver(m_textObserver);
}

// ---- Units

std::vector<HVTextDisplayModel::LongLine>
HVTextDisplayModel::scanLongLines(const HVTextBuffer& text, std::size_t segmentLength,
                                  std::size_t fromLine, std::size_t toLine) {
    std::vector<LongLine> found;
    for (std::size_t line = fromLine; line < toLine && line < text.lineCount(); ++line) {
        HVRange range = text.rangeOfLine(line);
        // Most lines are short with their break: no need to look at it.
        if (range.length <= segmentLength)
            continue;
        std::size_t length = HVTextLineModel::withoutLineBreak(text, range).length;
        if (length > segmentLength)
            found.push_back({line, (length + segmentLength - 1) / segmentLength - 1});
    }
    return found;
}

void HVTextDisplayModel::indexChanged() {
    m_extraBefore.resize(m_longLines.size());
    m_extraUnits = 0;
    for (std::size_t i = 0; i < m_longLines.size(); ++i) {
        m_extraBefore[i] = m_extraUnits;
        m_extraUnits += m_longLines[i].extraUnits;
    }
    if (m_topUnit >= unitCount()) {
        m_topUnit = unitCount() - 1;
        m_topOffset = 0;
    }
}

void HVTextDisplayModel::textEdited(const HVTextEdit& edit) {
    Change change;
    change.mask = edit.mask;
    if (edit.mask & HVTextEdit::Characters) {
        std::size_t lineCount = m_text.lineCount();
        std::ptrdiff_t added = std::ptrdiff_t(lineCount) - std::ptrdiff_t(m_lineCount);
        std::size_t location = edit.editedRange.location;
        // Lines before the one holding the edit's start, and lines after the one holding its
        // end, kept their characters and only moved; except that a CR right before the edit
        // may have met or lost its LF, which changes the line it ends.
        std::size_t first = m_text.lineNumberForIndex(
            location > 0 && m_text.characterAtIndex(location - 1) == u'\r' ? location - 1
                                                                           : location);
        std::size_t newLast = m_text.lineNumberForIndex(edit.editedRange.end());
        std::size_t oldLast =
            std::size_t(std::max(std::ptrdiff_t(first), std::ptrdiff_t(newLast) - added));
        std::vector<LongLine> lines;
        lines.reserve(m_longLines.size() + 1);
        auto it = m_longLines.begin();
        for (; it != m_longLines.end() && it->line < first; ++it)
            lines.push_back(*it);
        for (const LongLine& found : scanLongLines(m_text, m_segmentLength, first, newLast + 1))
            lines.push_back(found);
        for (; it != m_longLines.end(); ++it) {
            if (it->line > oldLast)
                lines.push_back({std::size_t(std::ptrdiff_t(it->line) + added), it->extraUnits});
        }
        m_longLines = std::move(lines);
        m_lineCount = lineCount;
        indexChanged();
        change.firstLine = first;
        change.oldEndLine = oldLast + 1;
        change.newEndLine = newLast + 1;
    } else if (m_text.lineCount() != m_lineCount) {
        // Attributes painted by an observer that heard of a change of lines before this model
        // did: its lines are numbered as they are now, what was kept of the lines as they were.
        // Everything goes.
        change.firstLine = 0;
        change.oldEndLine = change.newEndLine = m_lineCount;
    } else {
        HVRange lines = m_text.lineRangeForRange(edit.editedRange);
        change.firstLine = m_text.lineNumberForIndex(lines.location);
        change.oldEndLine = change.newEndLine =
            m_text.lineNumberForIndex(lines.length > 0 ? lines.end() - 1 : lines.location) + 1;
    }
    std::vector<std::shared_ptr<std::function<void(const Change&)>>> observers;
    for (const auto& [token, observer] : m_observers)
        observers.push_back(observer);
    for (const auto& observer : observers)
        (*observer)(change);
}

HVTextDisplayModel::ObserverToken
HVTextDisplayModel::addObserver(std::function<void(const Change&)> observer) {
    ObserverToken token = m_nextObserver++;
    m_observers[token] = std::make_shared<std::function<void(const Change&)>>(std::move(observer));
    return token;
}

void HVTextDisplayModel::removeObserver(ObserverToken token) {
    m_observers.erase(token);
}

std::size_t HVTextDisplayModel::unitCount() const {
    return m_lineCount + m_extraUnits;
}

std::size_t HVTextDisplayModel::unitsOfLine(std::size_t line) const {
    auto it = std::lower_bound(m_longLines.begin(), m_longLines.end(), line,
                               [](const LongLine& a, std::size_t l) { return a.line < l; });
    return it != m_longLines.end() && it->line == line ? it->extraUnits + 1 : 1;
}

bool HVTextDisplayModel::isLastUnitOfLine(HVDisplayUnit unit) const {
    return unit.segment + 1 >= unitsOfLine(unit.line);
}

std::size_t HVTextDisplayModel::indexOfUnit(HVDisplayUnit unit) const {
    auto it = std::lower_bound(m_longLines.begin(), m_longLines.end(), unit.line,
                               [](const LongLine& a, std::size_t l) { return a.line < l; });
    std::size_t before = it == m_longLines.end()
                             ? m_extraUnits
                             : m_extraBefore[std::size_t(it - m_longLines.begin())];
    return unit.line + before + unit.segment;
}

HVDisplayUnit HVTextDisplayModel::unitAt(std::size_t index) const {
    if (index >= unitCount()) {
        std::size_t last = m_lineCount - 1;
        return {last, unitsOfLine(last) - 1};
    }
    // The first unit of each long line grows with i: find the last that starts at or before.
    std::size_t low = 0;
    std::size_t high = m_longLines.size();
    while (low < high) {
        std::size_t middle = (low + high) / 2;
        if (m_longLines[middle].line + m_extraBefore[middle] <= index)
            low = middle + 1;
        else
            high = middle;
    }
    if (low == 0)
        return {index, 0};
    const LongLine& longLine = m_longLines[low - 1];
    std::size_t first = longLine.line + m_extraBefore[low - 1];
    if (index <= first + longLine.extraUnits)
        return {longLine.line, index - first};
    return {index - m_extraBefore[low - 1] - longLine.extraUnits, 0};
}

HVRange HVTextDisplayModel::rangeOfUnit(HVDisplayUnit unit) const {
    HVRange line = HVTextLineModel::withoutLineBreak(m_text, m_text.rangeOfLine(unit.line));
    auto boundary = [&](std::size_t offset) {
        std::size_t position = line.location + std::min(offset, line.length);
        // A piece never ends between the two halves of a surrogate pair.
        if (position > line.location && position < line.end() &&
            (m_text.characterAtIndex(position) & 0xFC00) == 0xDC00)
            ++position;
        return position;
    };
    std::size_t start =
        unit.segment == 0 ? line.location : boundary(unit.segment * m_segmentLength);
    std::size_t end = boundary((unit.segment + 1) * m_segmentLength);
    return {start, end - start};
}

HVDisplayUnit HVTextDisplayModel::unitForPosition(std::size_t position) const {
    position = std::min(position, m_text.length());
    std::size_t line = m_text.lineNumberForIndex(position);
    std::size_t lineStart = m_text.rangeOfLine(line).location;
    std::size_t segment = std::min((position - lineStart) / m_segmentLength, unitsOfLine(line) - 1);
    // The start of a piece after a surrogate boundary may belong to the piece before.
    while (segment > 0 && rangeOfUnit({line, segment}).location > position)
        --segment;
    return {line, segment};
}

// ---- Geometry

void HVTextDisplayModel::setMeasurer(std::shared_ptr<HVTextMeasurer> measurer) {
    m_measurer = std::move(measurer);
    layoutChanged();
}

void HVTextDisplayModel::setLineHeight(double height) {
    m_lineHeight = std::max(height, 1.0);
    layoutChanged();
}

void HVTextDisplayModel::setViewportHeight(double height) {
    m_viewportHeight = std::max(height, 0.0);
}

void HVTextDisplayModel::layoutChanged() {
    m_topOffset = 0;
}

std::vector<std::size_t> HVTextDisplayModel::rowStarts(HVDisplayUnit unit) const {
    std::vector<std::size_t> starts;
    if (m_measurer)
        starts = m_measurer->rowStarts(unit, rangeOfUnit(unit));
    if (starts.empty())
        starts.push_back(0);
    return starts;
}

double HVTextDisplayModel::unitHeight(HVDisplayUnit unit) const {
    return double(rowStarts(unit).size()) * m_lineHeight;
}

std::size_t HVTextDisplayModel::rowOfOffset(const std::vector<std::size_t>& starts,
                                            std::size_t offset) const {
    auto it = std::upper_bound(starts.begin(), starts.end(), offset);
    return it == starts.begin() ? 0 : std::size_t(it - starts.begin()) - 1;
}

std::size_t HVTextDisplayModel::offsetForX(HVDisplayUnit unit, HVRange range,
                                           const std::vector<std::size_t>& starts, std::size_t row,
                                           double x) const {
    std::size_t cursor = m_measurer ? m_measurer->offsetForX(unit, range, row, x) : 0;
    // The end of a wrapped row is the start of the next: stay on the row.
    if (row + 1 < starts.size() && cursor >= starts[row + 1])
        cursor = starts[row + 1] - 1;
    return std::min(range.location + cursor, range.end());
}

// ---- Scrolling

void HVTextDisplayModel::scrollToUnit(std::size_t index, double offset) {
    m_topUnit = std::min(index, unitCount() - 1);
    m_topOffset = std::max(offset, 0.0);
}

void HVTextDisplayModel::scrollByPixels(double pixels) {
    std::size_t units = unitCount();
    double offset = m_topOffset + pixels;
    std::size_t top = m_topUnit;
    while (offset < 0 && top > 0) {
        --top;
        offset += unitHeight(unitAt(top));
    }
    if (offset < 0)
        offset = 0;
    for (;;) {
        double height = unitHeight(unitAt(top));
        if (offset < height || top + 1 >= units)
            break;
        offset -= height;
        ++top;
    }
    // The last unit may come up to the top of the view, no further.
    if (top + 1 >= units)
        offset = 0;
    scrollToUnit(top, offset);
}

void HVTextDisplayModel::ensurePositionVisible(std::size_t position) {
    HVDisplayUnit unit = unitForPosition(position);
    std::size_t index = indexOfUnit(unit);
    HVRange range = rangeOfUnit(unit);
    double rowTop = double(rowOfOffset(rowStarts(unit), position - range.location)) * m_lineHeight;
    double height = m_viewportHeight;
    if (index < m_topUnit || (index == m_topUnit && rowTop < m_topOffset)) {
        scrollToUnit(index, rowTop);
        return;
    }
    // Where is the row? Measure from the top unit down to it, but no further than a screen.
    double y = -m_topOffset;
    bool far = false;
    for (std::size_t i = m_topUnit; i < index; ++i) {
        y += unitHeight(unitAt(i));
        if (y > height) {
            far = true;
            break;
        }
    }
    if (far) {
        // A jump: put the row in the middle of the view, with the units before it above.
        double above = height / 2 - rowTop;
        std::size_t top = index;
        while (top > 0 && above > 0) {
            --top;
            above -= unitHeight(unitAt(top));
        }
        scrollToUnit(top, above < 0 ? -above : 0);
    } else if (y + rowTop + m_lineHeight > height) {
        scrollByPixels(y + rowTop + m_lineHeight - height);
    }
}

std::vector<HVTextDisplayModel::VisibleUnit> HVTextDisplayModel::visibleUnits() const {
    std::vector<VisibleUnit> visible;
    std::size_t units = unitCount();
    double y = -m_topOffset;
    for (std::size_t index = m_topUnit; index < units && y < m_viewportHeight; ++index) {
        HVDisplayUnit unit = unitAt(index);
        visible.push_back({index, unit, rangeOfUnit(unit), y});
        y += unitHeight(unit);
    }
    return visible;
}

// ---- Hit testing

std::size_t HVTextDisplayModel::positionAt(double x, double y) const {
    std::size_t units = unitCount();
    if (y < 0)
        return rangeOfUnit(unitAt(m_topUnit)).location;
    double top = -m_topOffset;
    for (std::size_t index = m_topUnit; index < units; ++index) {
        HVDisplayUnit unit = unitAt(index);
        std::vector<std::size_t> starts = rowStarts(unit);
        double height = double(starts.size()) * m_lineHeight;
        if (y < top + height || index + 1 == units) {
            std::size_t row =
                std::size_t(std::clamp((y - top) / m_lineHeight, 0.0, double(starts.size() - 1)));
            return offsetForX(unit, rangeOfUnit(unit), starts, row, x);
        }
        top += height;
    }
    return m_text.length();
}

std::optional<HVTextDisplayModel::Rect> HVTextDisplayModel::caretRect(std::size_t position,
                                                                      double width) const {
    HVDisplayUnit unit = unitForPosition(position);
    std::size_t index = indexOfUnit(unit);
    if (index < m_topUnit)
        return std::nullopt;
    double y = -m_topOffset;
    for (std::size_t i = m_topUnit; i < index; ++i) {
        y += unitHeight(unitAt(i));
        if (y >= m_viewportHeight)
            return std::nullopt;
    }
    HVRange range = rangeOfUnit(unit);
    std::size_t offset = std::min(position, range.end()) - range.location;
    std::size_t row = rowOfOffset(rowStarts(unit), offset);
    double top = y + double(row) * m_lineHeight;
    if (top + m_lineHeight <= 0 || top >= m_viewportHeight)
        return std::nullopt;
    double x = m_measurer ? m_measurer->xForOffset(unit, range, row, offset) : 0;
    return Rect{x, top, width, m_lineHeight};
}

double HVTextDisplayModel::xForPosition(std::size_t position) const {
    if (!m_measurer)
        return 0;
    HVDisplayUnit unit = unitForPosition(position);
    HVRange range = rangeOfUnit(unit);
    std::size_t offset = std::min(position, range.end()) - range.location;
    return m_measurer->xForOffset(unit, range, rowOfOffset(rowStarts(unit), offset), offset);
}

HVRange HVTextDisplayModel::rowRangeForPosition(std::size_t position) const {
    HVDisplayUnit unit = unitForPosition(position);
    HVRange range = rangeOfUnit(unit);
    std::vector<std::size_t> starts = rowStarts(unit);
    std::size_t row = rowOfOffset(starts, std::min(position, range.end()) - range.location);
    std::size_t start = range.location + starts[row];
    std::size_t end = row + 1 < starts.size() ? range.location + starts[row + 1] : range.end();
    // A wrapped row that is not the last keeps its trailing blank out of the range.
    if (end < range.end() && end > start)
        --end;
    return {start, end - start};
}

std::size_t HVTextDisplayModel::positionForRowMove(std::size_t position, std::ptrdiff_t rows,
                                                   double x) const {
    HVDisplayUnit unit = unitForPosition(position);
    std::size_t index = indexOfUnit(unit);
    HVRange range = rangeOfUnit(unit);
    std::vector<std::size_t> starts = rowStarts(unit);
    std::size_t row = rowOfOffset(starts, std::min(position, range.end()) - range.location);
    std::size_t units = unitCount();
    while (rows != 0) {
        if (rows > 0) {
            if (row + 1 < starts.size()) {
                ++row;
            } else if (index + 1 < units) {
                unit = unitAt(++index);
                starts = rowStarts(unit);
                row = 0;
            } else {
                return m_text.length();
            }
            --rows;
        } else {
            if (row > 0) {
                --row;
            } else if (index > 0) {
                unit = unitAt(--index);
                starts = rowStarts(unit);
                row = starts.size() - 1;
            } else {
                return 0;
            }
            ++rows;
        }
    }
    return offsetForX(unit, rangeOfUnit(unit), starts, row, x);
}
