#pragma once

#include "HVBlockedEntries.h"
#include "HVFoldMarker.h"
#include "HVRange.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

class HVLineNumberingRulerViewDelegate;
class HVSyntaxHighlightingTextView;

// The logic of the gutter beside an editor: it numbers the lines and keeps one fold marker per
// line that opens or closes a region of the language's fold patterns. A widget draws it.
//
// Markers follow the highlighting: a line is classified with the parser that painted its
// start, so they are found as the lines are painted (an edit's lines at once, the rest of a
// large file in the highlighting's idle slices), and after an edit only the lines it touched
// are classified again; the others move with the text. The editor, as delegate, makes the
// decisions that need the text and does the collapsing and expanding.
//
// Made and owned by its editor; it must not outlive the text view it is given.
class HVLineNumberingRulerView {
public:
    // The width of the gutter while it shows, and of its marker column at the right.
    static constexpr double visibleThickness = 40;
    static constexpr double markerColumnWidth = 20;

    // Reads "HVCodeFoldingEnabled" and "HVLineNums".
    HVLineNumberingRulerView(HVSyntaxHighlightingTextView& textView,
                             HVLineNumberingRulerViewDelegate* delegate);
    ~HVLineNumberingRulerView();
    HVLineNumberingRulerView(const HVLineNumberingRulerView&) = delete;
    HVLineNumberingRulerView& operator=(const HVLineNumberingRulerView&) = delete;

    void setDelegate(HVLineNumberingRulerViewDelegate* delegate) { m_delegate = delegate; }

    bool lineNumbersEnabled() const { return m_lineNumbersEnabled; }
    void setLineNumbersEnabled(bool enabled);
    // Off discards every marker; on finds them all again.
    bool codeFoldingEnabled() const { return m_codeFoldingEnabled; }
    void setCodeFoldingEnabled(bool enabled);
    // visibleThickness when numbers or folding show, else 0.
    double thickness() const;

    // Classifies every line of the text afresh.
    void updateMarkers();
    // The markers, sorted by their line's start: a copy, for tests and tools; drawing asks
    // markerAtGlyphIndex() for the lines it shows.
    std::vector<HVFoldMarker> foldMarkers() const;
    std::size_t markerCount() const { return m_markers.size(); }
    // The marker of the line that starts at the position.
    std::optional<HVFoldMarker> markerAtGlyphIndex(std::size_t lineStart) const;
    // The markers of one state at one nesting level: walking the markers with a level that
    // starts at level, a marker of the state is taken when the level on reaching it is 0 or
    // -1; after each marker a closer lowers the level and an opener raises it.
    std::vector<HVFoldMarker> markersWithState(HVFoldState state, int level) const;

    // Collapses the region of the line's opener or closer, or expands its collapsed region.
    // False when the line has no marker or one that cannot be toggled (CloserThenOpener).
    bool toggleMarker(std::size_t lineStart);
    // Toggles the innermost block around the line of the index; false when there is none.
    bool foldBlockForIndex(std::size_t index);
    // A click on the line: in the marker column (with folding on) it toggles the line's
    // marker, or selects the line when it has none; elsewhere it selects the line.
    void mouseDown(std::size_t lineStart, bool inMarkerColumn);

    // Lines painted in the highlighting's idle slices are classified in slices of their own
    // (a screenful or an edit's lines at once), so that the two together stay short.
    bool hasPendingClassification() const { return m_unclassified.has_value(); }
    void finishPendingClassification();
    // The longest a slice of that work aims to take.
    static constexpr double sliceBudgetSeconds = 0.003;

    // The number shown for the line that starts at the position: lines of the full text, from
    // 1, so that a collapsed region's hidden lines are skipped. The empty line after a final
    // line break has its number too.
    std::size_t lineNumberAtIndex(std::size_t lineStart) const;

    // Observers of whatever changes the drawing: markers, settings.
    using ObserverToken = std::uint64_t;
    ObserverToken addObserver(std::function<void()> observer);
    void removeObserver(ObserverToken token);

private:
    void textEdited(HVRange edited, std::ptrdiff_t changeInLength);
    void linesPainted(HVRange range);
    // Classifies the lines that the range touches, in the text after an edit of
    // changeInLength characters that lies within them: their old markers go, the markers
    // after them move by the change, and the lines' new markers take their place.
    void classifyLines(HVRange range, std::ptrdiff_t changeInLength = 0);
    // The marker that matches the one at index, with the offset of the match on its line.
    std::optional<std::pair<std::size_t, std::size_t>> matchForMarker(std::size_t index) const;
    // The ordinal of the line's marker, or HVNotFound.
    std::size_t indexOfMarker(std::size_t lineStart) const;
    HVFoldMarker marker(std::size_t index) const;
    void changed();
    // Classifies waiting lines from the first on, for up to the budget; none means all.
    void classifyPending(std::optional<double> budgetSeconds);
    void schedulePending();

    // What a marker holds besides its place.
    struct Payload {
        HVFoldState state = HVFoldState::None;
        std::uint32_t numberOfLines = 0;
        std::uint32_t count = 0;
    };

    HVSyntaxHighlightingTextView& m_textView;
    HVLineNumberingRulerViewDelegate* m_delegate;
    // In blocks whose places move together, so that an edit costs the lines it touched and
    // not the markers after them.
    HVBlockedEntries<Payload> m_markers{64};
    bool m_codeFoldingEnabled = true;
    bool m_lineNumbersEnabled = true;
    // Lines painted during an edit that the markers have not followed yet, in the text after
    // it; classified once the markers have moved.
    std::optional<HVRange> m_paintedDuringEdit;
    std::uint64_t m_editsSeen = 0;
    // Painted lines not yet classified, in the text as it is now.
    std::optional<HVRange> m_unclassified;
    std::uint64_t m_pendingTask = 0;
    // Tasks posted to the dispatcher reach the ruler through this, so that they do nothing
    // once it is gone.
    std::shared_ptr<HVLineNumberingRulerView*> m_self;
    std::uint64_t m_bufferObserver = 0;
    std::uint64_t m_repaintObserver = 0;
    std::map<ObserverToken, std::shared_ptr<std::function<void()>>> m_observers;
    ObserverToken m_nextObserver = 1;
};
