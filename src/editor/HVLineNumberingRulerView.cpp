#include "HVLineNumberingRulerView.h"

#include "HVDispatcher.h"
#include "HVLineNumberingRulerViewDelegate.h"
#include "HVPositionMapper.h"
#include "HVPreferences.h"
#include "HVSyntaxHighlightingTextView.h"

#include <algorithm>
#include <chrono>

namespace {

bool isLineBreak(char16_t c) {
    return c == u'\n' || c == u'\r';
}

// The line's range without its terminator.
HVRange contentOf(const HVTextBuffer& text, HVRange line) {
    while (line.length > 0 && isLineBreak(text.characterAtIndex(line.end() - 1)))
        --line.length;
    return line;
}

HVRange between(std::size_t from, std::size_t to) {
    return {from, to - from};
}

HVRange spanning(HVRange a, HVRange b) {
    return between(std::min(a.location, b.location), std::max(a.end(), b.end()));
}

// Painted ranges up to this long are classified at once: a screenful, an edit's lines.
constexpr std::size_t kClassifiedAtOnce = 16 * 1024;

bool preference(const char* key) {
    return HVPreferences::sharedInstance().boolForKey(key).value_or(true);
}

} // namespace

HVLineNumberingRulerView::HVLineNumberingRulerView(HVSyntaxHighlightingTextView& textView,
                                                   HVLineNumberingRulerViewDelegate* delegate)
    : m_textView(textView), m_delegate(delegate),
      m_codeFoldingEnabled(preference("HVCodeFoldingEnabled")),
      m_lineNumbersEnabled(preference("HVLineNums")),
      m_self(std::make_shared<HVLineNumberingRulerView*>(this)) {
    HVTextStorage& text = m_textView.textStorage();
    m_editsSeen = text.characterEditCount();
    // Registered after the view's own observer, so an edit's lines are painted when it runs.
    m_bufferObserver = text.addObserver([this](const HVTextEdit& edit) {
        if (edit.mask & HVTextEdit::Characters)
            textEdited(edit.editedRange, edit.changeInLength);
    });
    m_repaintObserver =
        m_textView.addRepaintObserver([this](HVRange range) { linesPainted(range); });
}

HVLineNumberingRulerView::~HVLineNumberingRulerView() {
    if (m_pendingTask)
        HVDispatcher::main().cancel(m_pendingTask);
    m_textView.textStorage().removeObserver(m_bufferObserver);
    m_textView.removeHighlightingObserver(m_repaintObserver);
}

void HVLineNumberingRulerView::setLineNumbersEnabled(bool enabled) {
    if (enabled == m_lineNumbersEnabled)
        return;
    m_lineNumbersEnabled = enabled;
    changed();
}

void HVLineNumberingRulerView::setCodeFoldingEnabled(bool enabled) {
    m_codeFoldingEnabled = enabled;
    if (enabled) {
        updateMarkers();
        return;
    }
    m_markers = HVBlockedEntries<Payload>(64);
    m_unclassified.reset();
    changed();
}

double HVLineNumberingRulerView::thickness() const {
    return m_lineNumbersEnabled || m_codeFoldingEnabled ? visibleThickness : 0;
}

void HVLineNumberingRulerView::updateMarkers() {
    m_markers = HVBlockedEntries<Payload>(64);
    m_unclassified.reset();
    if (m_codeFoldingEnabled)
        classifyLines({0, m_textView.textStorage().length()});
    changed();
}

// Following the text.

void HVLineNumberingRulerView::textEdited(HVRange edited, std::ptrdiff_t changeInLength) {
    const HVTextStorage& text = m_textView.textStorage();
    m_editsSeen = text.characterEditCount();
    std::optional<HVRange> painted = std::exchange(m_paintedDuringEdit, std::nullopt);
    if (!m_codeFoldingEnabled)
        return;
    if (m_unclassified) {
        auto oldLength = std::size_t(std::ptrdiff_t(edited.length) - changeInLength);
        m_unclassified =
            HVPositionMapper({edited.location, oldLength}, edited.length).map(*m_unclassified);
    }
    if (edited.location == 0 && edited.length == text.length()) {
        // A new text: its lines are classified as they are painted.
        m_markers = HVBlockedEntries<Payload>(64);
        m_unclassified.reset();
        if (painted && painted->length <= kClassifiedAtOnce)
            classifyLines(*painted);
        else if (painted)
            m_unclassified = *painted;
        if (m_unclassified)
            schedulePending();
        changed();
        return;
    }
    // The lines the edit touched: from the start of its first line to the end of the line
    // that holds its end, so that a line it split or joined is classified again; and the
    // lines painted with it, whose language may have changed.
    HVRange lines = between(text.lineRangeForIndex(edited.location).location,
                            contentOf(text, text.lineRangeForIndex(edited.end())).end());
    if (painted && painted->length <= kClassifiedAtOnce)
        lines = spanning(lines, *painted);
    else if (painted)
        m_unclassified = m_unclassified ? spanning(*m_unclassified, *painted) : *painted;
    if (lines.length > kClassifiedAtOnce) {
        // A long edit (Replace All): its lines lose their old markers now, those shown are
        // classified at once and the rest in idle slices, as long paintings are.
        std::size_t oldEnd = lines.end() - std::size_t(changeInLength);
        m_markers.splice(lines.location, oldEnd + 1, std::size_t(changeInLength), nullptr, 0);
        m_unclassified = m_unclassified ? spanning(*m_unclassified, lines) : lines;
        HVRange visible = m_textView.visibleRange();
        std::size_t from = std::max(visible.location, lines.location);
        std::size_t to = std::min(visible.end(), lines.end());
        if (from < to)
            classifyLines(between(from, to));
        schedulePending();
        changed();
        return;
    }
    classifyLines(lines, changeInLength);
    if (m_unclassified)
        schedulePending();
    changed();
}

void HVLineNumberingRulerView::linesPainted(HVRange range) {
    if (!m_codeFoldingEnabled)
        return;
    if (m_textView.textStorage().characterEditCount() != m_editsSeen) {
        // Painted in an edit whose moves are still to come: classified after them.
        m_paintedDuringEdit = m_paintedDuringEdit ? spanning(*m_paintedDuringEdit, range) : range;
        return;
    }
    if (range.length > kClassifiedAtOnce) {
        m_unclassified = m_unclassified ? spanning(*m_unclassified, range) : range;
        schedulePending();
        return;
    }
    classifyLines(range);
    changed();
}

void HVLineNumberingRulerView::finishPendingClassification() {
    classifyPending(std::nullopt);
}

void HVLineNumberingRulerView::classifyPending(std::optional<double> budgetSeconds) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    const HVTextStorage& text = m_textView.textStorage();
    while (m_unclassified) {
        HVRange& pending = *m_unclassified;
        // A piece that ends at a line's end, so that the next starts on a fresh line.
        std::size_t to = std::min(pending.end(), pending.location + kClassifiedAtOnce / 4);
        to = std::min(text.lineRangeForIndex(to).end(), pending.end());
        classifyLines(between(pending.location, to));
        if (to >= pending.end())
            m_unclassified.reset();
        else
            pending = between(to, pending.end());
        if (budgetSeconds &&
            std::chrono::duration<double>(Clock::now() - start).count() >= *budgetSeconds)
            break;
    }
    changed();
    if (m_unclassified)
        schedulePending();
}

void HVLineNumberingRulerView::schedulePending() {
    if (m_pendingTask)
        return;
    std::weak_ptr<HVLineNumberingRulerView*> weak = m_self;
    m_pendingTask = HVDispatcher::main().post([weak] {
        if (auto self = weak.lock()) {
            (*self)->m_pendingTask = 0;
            (*self)->classifyPending(sliceBudgetSeconds);
        }
    });
}

void HVLineNumberingRulerView::classifyLines(HVRange range, std::ptrdiff_t changeInLength) {
    if (!m_codeFoldingEnabled || !m_delegate)
        return;
    const HVTextStorage& text = m_textView.textStorage();
    std::size_t firstLine = text.lineNumberForIndex(range.location);
    std::size_t lastLine = text.lineNumberForIndex(range.end());
    std::size_t from = text.rangeOfLine(firstLine).location;
    std::vector<HVBlockedEntries<Payload>::Item> found;
    for (std::size_t line = firstLine; line <= lastLine; ++line) {
        HVRange content = contentOf(text, text.rangeOfLine(line));
        HVFoldState state = m_delegate->rangeNeedsMarker(content);
        if (state == HVFoldState::None)
            continue;
        found.push_back(
            {content.location,
             {state, std::uint32_t(m_delegate->numberOfLinesForState(state, content.location)),
              std::uint32_t(m_delegate->countForState(state, content.location))}});
    }
    // In the text before the edit, which lies within the range, the old markers of these
    // lines end at the range's end less the change; those after them move by it.
    std::size_t oldEnd = range.end() - std::size_t(changeInLength);
    m_markers.splice(from, oldEnd + 1, std::size_t(changeInLength), found.data(), found.size());
}

// Markers.

std::size_t HVLineNumberingRulerView::indexOfMarker(std::size_t lineStart) const {
    HVBlockedEntries<Payload>::Cursor cursor;
    if (m_markers.size() == 0 || !m_markers.findLast(lineStart, cursor) ||
        m_markers.position(cursor) != lineStart)
        return HVNotFound;
    return m_markers.ordinal(cursor);
}

HVFoldMarker HVLineNumberingRulerView::marker(std::size_t index) const {
    auto cursor = m_markers.at(index);
    const Payload& payload = m_markers.payload(cursor);
    return {m_markers.position(cursor), payload.state, payload.numberOfLines, payload.count};
}

std::vector<HVFoldMarker> HVLineNumberingRulerView::foldMarkers() const {
    std::vector<HVFoldMarker> markers;
    markers.reserve(m_markers.size());
    for (std::size_t i = 0; i < m_markers.size(); ++i)
        markers.push_back(marker(i));
    return markers;
}

std::optional<HVFoldMarker>
HVLineNumberingRulerView::markerAtGlyphIndex(std::size_t lineStart) const {
    std::size_t index = indexOfMarker(lineStart);
    if (index == HVNotFound)
        return std::nullopt;
    return marker(index);
}

std::vector<HVFoldMarker> HVLineNumberingRulerView::markersWithState(HVFoldState state,
                                                                     int level) const {
    std::vector<HVFoldMarker> taken;
    for (std::size_t i = 0; i < m_markers.size(); ++i) {
        HVFoldMarker marker = this->marker(i);
        if (marker.state == state && (level == 0 || level == -1))
            taken.push_back(marker);
        if (marker.state == HVFoldState::Closer)
            --level;
        else if (marker.state == HVFoldState::Opener)
            ++level;
    }
    return taken;
}

std::optional<std::pair<std::size_t, std::size_t>>
HVLineNumberingRulerView::matchForMarker(std::size_t index) const {
    HVFoldState state = marker(index).state;
    auto balance = std::ptrdiff_t(marker(index).count) - 1;
    auto step = [&](std::size_t at) -> std::optional<std::pair<std::size_t, std::size_t>> {
        HVFoldMarker other = marker(at);
        if (other.state == state)
            balance += std::ptrdiff_t(other.count);
        else if (other.state == HVFoldState::Opener || other.state == HVFoldState::Closer)
            balance -= std::ptrdiff_t(other.count);
        if (balance < 0)
            return std::pair{at, std::size_t(-balance - 1)};
        return std::nullopt;
    };
    if (state == HVFoldState::Opener) {
        for (std::size_t at = index + 1; at < m_markers.size(); ++at) {
            if (auto match = step(at))
                return match;
        }
    } else {
        for (std::size_t at = index; at-- > 0;) {
            if (auto match = step(at))
                return match;
        }
    }
    return std::nullopt;
}

bool HVLineNumberingRulerView::toggleMarker(std::size_t lineStart) {
    std::size_t index = indexOfMarker(lineStart);
    if (index == HVNotFound || !m_delegate)
        return false;
    HVFoldMarker marker = this->marker(index);
    switch (marker.state) {
    case HVFoldState::Collapsed:
        m_delegate->expandForMarkerWithGlyphIndex(lineStart);
        return true;
    case HVFoldState::Opener:
    case HVFoldState::Closer: {
        std::size_t first = lineStart;
        std::size_t last = HVNotFound;
        std::size_t offset = 0;
        if (auto match = matchForMarker(index)) {
            std::size_t other = this->marker(match->first).glyphIndex;
            first = std::min(lineStart, other);
            last = std::max(lineStart, other);
            offset = match->second;
        }
        // The edit classifies the line again, as collapsed when something was hidden.
        m_delegate->collapseFromGlyphIndex(first, last, marker.state, offset);
        return true;
    }
    case HVFoldState::CloserThenOpener:
    case HVFoldState::None:
        break;
    }
    return false;
}

bool HVLineNumberingRulerView::foldBlockForIndex(std::size_t index) {
    std::size_t lineStart = m_textView.textStorage().lineRangeForIndex(index).location;
    std::vector<std::size_t> open;
    for (std::size_t i = 0; i < m_markers.size(); ++i) {
        HVFoldMarker marker = this->marker(i);
        if (marker.glyphIndex >= lineStart) {
            if (marker.glyphIndex == lineStart && marker.state == HVFoldState::Collapsed)
                open.push_back(marker.glyphIndex);
            break;
        }
        if (marker.state == HVFoldState::Opener)
            open.push_back(marker.glyphIndex);
        else if (marker.state == HVFoldState::Closer && !open.empty())
            open.pop_back();
    }
    if (open.empty())
        return false;
    return toggleMarker(open.back());
}

void HVLineNumberingRulerView::mouseDown(std::size_t lineStart, bool inMarkerColumn) {
    if (inMarkerColumn && m_codeFoldingEnabled && indexOfMarker(lineStart) != HVNotFound) {
        toggleMarker(lineStart);
        return;
    }
    if (m_delegate)
        m_delegate->selectLineForGlyphIndex(lineStart);
}

std::size_t HVLineNumberingRulerView::lineNumberAtIndex(std::size_t lineStart) const {
    return m_textView.textStorage().fullLineAndColumn(lineStart).line + 1;
}

// Observers.

HVLineNumberingRulerView::ObserverToken
HVLineNumberingRulerView::addObserver(std::function<void()> observer) {
    ObserverToken token = m_nextObserver++;
    m_observers.emplace(token, std::make_shared<std::function<void()>>(std::move(observer)));
    return token;
}

void HVLineNumberingRulerView::removeObserver(ObserverToken token) {
    m_observers.erase(token);
}

void HVLineNumberingRulerView::changed() {
    // Copied first: an observer may remove itself.
    std::vector<std::shared_ptr<std::function<void()>>> observers;
    for (const auto& [token, observer] : m_observers)
        observers.push_back(observer);
    for (const auto& observer : observers)
        (*observer)();
}
