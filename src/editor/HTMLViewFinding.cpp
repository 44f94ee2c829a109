#include "HTMLView.h"

#include "HVFoldMarkerTextAttachment.h"
#include "HVSearch.h"
#include "HVSearchController.h"
#include "HVUndoManager.h"
#include "HVUnicode.h"
#include "HVUserInterface.h"

#include <algorithm>

namespace {

constexpr std::string_view kReplace = "Replace";
constexpr std::string_view kReplaceAll = "Replace All";
constexpr std::string_view kReplaceAllInSelection = "Replace All in Selection";
constexpr std::string_view kExpandRegion = "Expand Region";
constexpr std::int64_t kQuickSearchFoundNothing = 8;

constexpr HVRange kNotFound{HVNotFound, 0};

// The editor that the find panel works on; the editor's destructor drops it.
HTMLView* gFindPanelTarget = nullptr;

bool found(HVRange range) {
    return range.location != HVNotFound;
}

// The full text, hidden text of collapsed regions in place. Without collapsed regions it is
// the buffer's own characters, not a copy.
std::u16string_view fullText(const HVTextBuffer& text, std::u16string& storage) {
    if (!text.hasAttachments())
        return text.string();
    storage = text.fullString({0, text.length()});
    return storage;
}

std::size_t fullPosition(const HVTextBuffer& text, std::size_t visible) {
    return text.hasAttachments() ? text.fullPosition(visible) : visible;
}

// The match nearest the range's end. A literal search finds it itself; an expression search
// always answers the leftmost match, so the matches are walked.
HVRange lastMatch(HVSearch& search, std::u16string_view text, HVRange range) {
    if (!search.isRegularExpression())
        return search.firstMatchInString(text, range, true);
    HVRange last = kNotFound;
    std::size_t position = range.location;
    while (position <= range.end()) {
        HVRange match = search.firstMatchInString(text, {position, range.end() - position});
        if (!found(match))
            break;
        last = match;
        position = match.length > 0 ? match.end() : match.location + 1;
    }
    return last;
}

void setStatus(std::string status) {
    HVSearchController::sharedFind().setStatus(std::move(status));
}

} // namespace

// Searching.

HVRange HTMLView::nextRangeForSearch(HVSearch& search) {
    const HVTextBuffer& text = textStorage();
    std::u16string storage;
    std::u16string_view full = fullText(text, storage);
    std::size_t from = fullPosition(text, selectedRange().end());
    HVRange match = search.firstMatchInString(full, {from, full.size() - from});
    // Wrapping includes the selection itself, so that a lone match stays found.
    if (!found(match) && !full.empty())
        match = search.firstMatchInString(full, {0, from});
    return found(match) ? revealFullRange(match) : kNotFound;
}

HVRange HTMLView::previousRangeForSearch(HVSearch& search) {
    const HVTextBuffer& text = textStorage();
    std::u16string storage;
    std::u16string_view full = fullText(text, storage);
    std::size_t before = fullPosition(text, selectedRange().location);
    HVRange match = lastMatch(search, full, {0, before});
    if (!found(match) && !full.empty())
        match = lastMatch(search, full, {before, full.size() - before});
    return found(match) ? revealFullRange(match) : kNotFound;
}

HVRange HTMLView::revealFullRange(HVRange fullRange) {
    if (!textStorage().hasAttachments())
        return fullRange;
    expandRegionsForFullRanges({fullRange});
    return {textStorage().visiblePosition(fullRange.location), fullRange.length};
}

bool HTMLView::expandRegionsForFullRanges(const std::vector<HVRange>& fullRanges) {
    const HVTextBuffer& text = textStorage();
    if (!text.hasAttachments() || fullRanges.empty())
        return false;
    FoldBatch batch;
    auto range = fullRanges.begin();
    std::shared_ptr<const HVTextAttachment> attachment;
    for (std::size_t position = text.nextAttachmentPosition(0, &attachment);
         position != HVNotFound && range != fullRanges.end();
         position = text.nextAttachmentPosition(position + 1, &attachment)) {
        std::size_t hiddenStart = text.fullPosition(position);
        std::size_t hiddenEnd = hiddenStart + attachment->string().size();
        while (range != fullRanges.end() &&
               std::max(range->end(), range->location + 1) <= hiddenStart)
            ++range;
        if (range == fullRanges.end() || range->location >= hiddenEnd)
            continue;
        // The hidden text comes back in the runs of its character, until the highlighting
        // paints it.
        auto attributes = text.attributesAtIndex(position)->removing(HVAttachmentAttribute);
        batch.ranges.push_back({position, 1});
        batch.texts.emplace_back(attachment->string(),
                                 std::make_shared<const HVAttributes>(attributes));
    }
    if (batch.ranges.empty())
        return false;
    applyFolds(std::move(batch), kExpandRegion);
    return true;
}

bool HTMLView::showFound(HVRange range) {
    if (!found(range)) {
        HVUserInterface::shared().beep();
        setStatus("Not found");
        return false;
    }
    setSelectedRange(range);
    scrollRangeToVisible(range);
    setStatus({});
    return true;
}

// The find panel's commands.

std::unique_ptr<HVSearch> HTMLView::panelSearch() {
    makeFindPanelTarget();
    auto& controller = HVSearchController::sharedFind();
    auto search = controller.search();
    if (!search) {
        HVUserInterface::shared().beep();
        return nullptr;
    }
    controller.rememberSearch();
    return search;
}

bool HTMLView::findNext() {
    auto search = panelSearch();
    if (!search)
        return false;
    return showFound(nextRangeForSearch(*search));
}

bool HTMLView::findPrevious() {
    auto search = panelSearch();
    if (!search)
        return false;
    return showFound(previousRangeForSearch(*search));
}

bool HTMLView::replaceAndFind() {
    auto search = panelSearch();
    if (!search)
        return false;
    HVRange selection = selectedRange();
    std::u16string selected = textStorage().fullString(selection);
    // Only a selection that is a whole match is replaced: the panel's Replace after a Find.
    HVRange match = search->firstMatchInString(selected);
    bool replaced = false;
    if (selection.length > 0 && match.location == 0 && match.length == selected.size())
        replaced = replaceCharacters(selection, search->replacementForString(selected), kReplace);
    return showFound(nextRangeForSearch(*search)) || replaced;
}

std::size_t HTMLView::replaceAll(bool inSelection) {
    auto search = panelSearch();
    if (!search)
        return 0;
    const HVTextBuffer& text = textStorage();
    HVRange scope = inSelection ? selectedRange() : HVRange{0, text.length()};
    std::size_t fullStart = fullPosition(text, scope.location);
    std::size_t fullEnd = fullPosition(text, scope.end());
    std::u16string storage;
    std::u16string_view full = fullText(text, storage).substr(fullStart, fullEnd - fullStart);

    std::vector<HVRange> matches =
        scope.length > 0 ? search->findAllForString(full) : std::vector<HVRange>{};
    std::vector<std::u16string> replacements;
    replacements.reserve(matches.size());
    for (HVRange match : matches)
        replacements.push_back(
            search->replacementForString(full.substr(match.location, match.length)));
    std::string_view actionName = inSelection ? kReplaceAllInSelection : kReplaceAll;
    setStatus("Replaced " + std::to_string(matches.size()));
    if (matches.empty()) {
        HVUserInterface::shared().beep();
        return 0;
    }

    // Matches in hidden text are replaced in the open: the regions they touch expand first,
    // in the same undo step.
    HVUndoManager& undo = undoManager();
    undo.beginUndoGrouping();
    if (text.hasAttachments()) {
        std::vector<HVRange> fullMatches(matches);
        for (HVRange& match : fullMatches)
            match.location += fullStart;
        expandRegionsForFullRanges(fullMatches);
        // Full positions are unchanged; visible ones now differ from them only by the regions
        // left collapsed.
        for (HVRange& match : matches)
            match.location = text.visiblePosition(fullStart + match.location);
    } else {
        for (HVRange& match : matches)
            match.location += fullStart;
    }
    std::size_t visibleStart = text.hasAttachments() ? text.visiblePosition(fullStart) : fullStart;
    std::size_t visibleEnd = text.hasAttachments() ? text.visiblePosition(fullEnd) : fullEnd;
    std::ptrdiff_t change = 0;
    for (std::size_t i = 0; i < matches.size(); ++i)
        change += std::ptrdiff_t(replacements[i].size()) - std::ptrdiff_t(matches[i].length);
    bool replaced = replaceCharacters(matches, replacements, actionName);
    if (replaced && inSelection)
        setSelectedRange(
            {visibleStart, std::size_t(std::ptrdiff_t(visibleEnd) + change) - visibleStart});
    undo.setActionName(actionName);
    undo.endUndoGrouping();
    if (!replaced) {
        setStatus({});
        return 0;
    }
    return matches.size();
}

bool HTMLView::replaceFullRanges(const std::vector<HVRange>& fullRanges,
                                 const std::vector<std::u16string>& texts,
                                 std::string_view actionName) {
    if (fullRanges.empty() || fullRanges.size() != texts.size())
        return false;
    const HVTextBuffer& text = textStorage();
    HVUndoManager& undo = undoManager();
    undo.beginUndoGrouping();
    std::vector<HVRange> ranges(fullRanges);
    if (text.hasAttachments()) {
        expandRegionsForFullRanges(fullRanges);
        for (HVRange& range : ranges)
            range.location = text.visiblePosition(range.location);
    }
    std::vector<std::u16string> converted;
    converted.reserve(texts.size());
    for (const std::u16string& replacement : texts)
        converted.push_back(convertingLineBreaks(replacement));
    bool replaced = replaceCharacters(ranges, converted, actionName);
    undo.setActionName(actionName);
    undo.endUndoGrouping();
    return replaced;
}

void HTMLView::findUsingSelection() {
    makeFindPanelTarget();
    std::u16string selected = textStorage().fullString(selectedRange());
    if (selected.empty()) {
        HVUserInterface::shared().beep();
        return;
    }
    HVSearchController::sharedFind().setFindPasteboardString(selected);
    HVNotificationCenter::defaultCenter().postNotificationName(
        std::string(HVSetSearchStringNotification), this,
        {{std::string(HVSearchStringKey), HVPlistValue(HVUnicode::utf8(selected))}});
}

// Quick search.

bool HTMLView::quickSearch(std::u16string_view text, bool backwards) {
    HVRange selection = selectedRange();
    std::size_t length = textStorage().length();
    // Typing on extends the match at the selection's start, in either direction.
    HVRange range = backwards ? HVRange{0, std::min(length, selection.location + text.size())}
                              : HVRange{selection.location, length - selection.location};
    return quickSearchInRange(text, backwards, range);
}

bool HTMLView::quickSearchAgain(std::u16string_view text, bool backwards) {
    HVRange selection = selectedRange();
    std::size_t length = textStorage().length();
    HVRange range = backwards ? HVRange{0, selection.location}
                              : HVRange{selection.end(), length - selection.end()};
    return quickSearchInRange(text, backwards, range);
}

bool HTMLView::quickSearchInRange(std::u16string_view string, bool backwards,
                                  HVRange visibleRange) {
    if (string.empty())
        return false;
    HVRange selection = selectedRange();
    auto search = HVSearch::initWithSearchString(string);
    const HVTextBuffer& text = textStorage();
    std::u16string storage;
    std::u16string_view full = fullText(text, storage);
    std::size_t start = fullPosition(text, visibleRange.location);
    HVRange range{start, fullPosition(text, visibleRange.end()) - start};
    HVRange match = backwards ? search->firstMatchInString(full, range, true)
                              : search->firstMatchInString(full, range);
    if (found(match)) {
        HVRange visible = revealFullRange(match);
        setSelectedRange(visible);
        scrollRangeToVisible(visible);
        return true;
    }
    HVUserInterface::shared().beep();
    setSelectedRange(selection);
    if (interfaceDelegate())
        interfaceDelegate()->htmlViewHadError(
            *this,
            HVError(HVErrorDomain, kQuickSearchFoundNothing,
                    selection.length > 0 ? "No more matches" : "No match"),
            false);
    return false;
}

// The find panel's target.

void HTMLView::makeFindPanelTarget() {
    gFindPanelTarget = this;
}

HTMLView* HTMLView::findPanelTarget() {
    return gFindPanelTarget;
}

void HTMLView::findingViewClosing() {
    if (gFindPanelTarget == this)
        gFindPanelTarget = nullptr;
    HVNotificationCenter::defaultCenter().postNotificationName(
        std::string(HVTextViewIsClosingNotification), this);
}
