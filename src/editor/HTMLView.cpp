#include "HTMLView.h"

#include "HVFoldMarkerTextAttachment.h"
#include "HVLineNumberingRulerView.h"
#include "HVParser.h"
#include "HVPreferences.h"
#include "HVRegex.h"
#include "HVUserInterface.h"

#include <algorithm>

namespace {

constexpr std::string_view kCollapseRegion = "Collapse Region";
constexpr std::string_view kExpandRegion = "Expand Region";
// The character that stands for a collapsed region.
constexpr char16_t kObjectReplacementCharacter = u'\uFFFC';

bool isLineBreak(char16_t c) {
    return c == u'\n' || c == u'\r';
}

HVRange contentOfLine(const HVTextBuffer& text, std::size_t index) {
    HVRange line = text.lineRangeForIndex(index);
    while (line.length > 0 && isLineBreak(text.characterAtIndex(line.end() - 1)))
        --line.length;
    return line;
}

// The match of the pattern on the line with the given index in left-to-right order (the
// first when there are fewer), in the text's positions. Attachments count as one space each,
// so that a collapsed region never matches.
std::optional<HVRange> matchOnLine(HVRegex* regex, const HVTextStorage& text, std::size_t lineStart,
                                   std::size_t index) {
    if (!regex)
        return std::nullopt;
    HVRange content = contentOfLine(text, lineStart);
    std::u16string line = text.stringWithoutAttachments(content);
    std::optional<HVRange> first;
    std::size_t position = 0;
    for (std::size_t found = 0; position <= line.size(); ++found) {
        auto match = regex->copyMatchForString(line, {position, line.size() - position});
        if (!match)
            break;
        HVRange range = match->rangeForCapture(0);
        if (found == index)
            return HVRange{content.location + range.location, range.length};
        if (!first)
            first = HVRange{content.location + range.location, range.length};
        // An empty match must not be found again at the same place.
        position = range.length > 0 ? range.end() : range.location + 1;
    }
    return first;
}

} // namespace

HTMLView::HTMLView(std::unique_ptr<HVTextStorage> textStorage)
    : HVSyntaxHighlightingTextView(std::move(textStorage)),
      m_ruler(std::make_unique<HVLineNumberingRulerView>(*this, this)) {
    auto& center = HVNotificationCenter::defaultCenter();
    m_foldingPrefsObserver = HVScopedObserver(
        center, center.addObserver(std::string(HVCodeFoldingPrefChangedNotification), nullptr,
                                   [this](const HVNotification&) { codeFoldingPrefChanged(); }));
    installTypingDelegate();
}

HTMLView::~HTMLView() {
    findingViewClosing();
}

// The gutter's questions.

HVFoldState HTMLView::rangeNeedsMarker(HVRange line) {
    if (line.length == 0)
        return HVFoldState::None;
    const HVTextStorage& text = textStorage();
    auto parser = HVParser::parserAtIndex(text, line.location);
    if (!parser || (!parser->foldOpener() && !parser->foldCloser()))
        return HVFoldState::None;
    bool collapsed = text.firstAttachmentInRange(line) != nullptr;
    return parser->foldStateForLine(text.contiguousRange(line), collapsed);
}

std::size_t HTMLView::numberOfLinesForState(HVFoldState state, std::size_t lineStart) {
    if (state != HVFoldState::Collapsed)
        return 0;
    auto fold = textStorage().firstAttachmentInRange(contentOfLine(textStorage(), lineStart));
    return fold ? fold->numberOfLines() : 0;
}

std::size_t HTMLView::countForState(HVFoldState state, std::size_t lineStart) {
    if (state == HVFoldState::Collapsed)
        return 1;
    const HVTextStorage& text = textStorage();
    auto parser = HVParser::parserAtIndex(text, lineStart);
    if (!parser)
        return 0;
    return parser->foldStepForLine(text.contiguousRange(text.lineRangeForIndex(lineStart)), state);
}

void HTMLView::collapseFromGlyphIndex(std::size_t first, std::size_t last, HVFoldState type,
                                      std::size_t offset) {
    const HVTextStorage& text = textStorage();
    auto parser = HVParser::parserAtIndex(text, first);
    if (!parser)
        return;
    auto opener =
        matchOnLine(parser->foldOpener(), text, first, type == HVFoldState::Closer ? offset : 0);
    if (!opener)
        return;
    std::size_t start = opener->end();
    // An opener without a matching closer collapses to the end of the text.
    std::size_t end = text.length();
    if (last != HVNotFound) {
        auto closer =
            matchOnLine(parser->foldCloser(), text, last, type == HVFoldState::Opener ? offset : 0);
        if (!closer)
            return;
        end = closer->location;
    }
    if (end <= start)
        return;
    HVRange region{start, end - start};
    // The character keeps the runs of the region's start, so that it belongs to its language.
    auto attributes = text.attributesAtIndex(start)->setting(
        HVAttachmentAttribute,
        std::shared_ptr<const HVTextAttachment>(text.attachmentForRange(region)));
    fold(region,
         HVAttributedString(
             std::u16string(1, kObjectReplacementCharacter),
             std::make_shared<const HVAttributes>(attributes.removing(HVMultiLineAttribute))),
         kCollapseRegion);
}

void HTMLView::expandForMarkerWithGlyphIndex(std::size_t index) {
    HVRange found;
    auto region = textStorage().nextAttachmentAfterIndex(index, &found);
    if (!region)
        return;
    // The hidden text comes back in the runs of its character, without the attachment, until
    // the highlighting paints it.
    auto attributes =
        textStorage().attributesAtIndex(found.location)->removing(HVAttachmentAttribute);
    fold(found,
         HVAttributedString(region->string(), std::make_shared<const HVAttributes>(attributes)),
         kExpandRegion);
}

void HTMLView::selectLineForGlyphIndex(std::size_t index) {
    setSelectedRange(textStorage().lineRangeForIndex(index));
}

// Commands.

void HTMLView::collapseAllBlocks() {
    toggleAll(m_ruler->markersWithState(HVFoldState::Opener, 0), kCollapseRegion);
}

void HTMLView::expandAllBlocks() {
    toggleAll(m_ruler->markersWithState(HVFoldState::Collapsed, -1), kExpandRegion);
}

void HTMLView::toggleAll(const std::vector<HVFoldMarker>& markers, std::string_view actionName) {
    m_batch.emplace();
    // From the last to the first, as if each were toggled on its own.
    for (auto it = markers.rbegin(); it != markers.rend(); ++it)
        m_ruler->toggleMarker(it->glyphIndex);
    FoldBatch batch = std::move(*m_batch);
    m_batch.reset();
    applyFolds(std::move(batch), actionName);
}

bool HTMLView::foldCurrentBlock() {
    if (m_ruler->foldBlockForIndex(selectedRange().location))
        return true;
    HVUserInterface::shared().beep();
    return false;
}

bool HTMLView::doubleClickedOnAttachmentAtIndex(std::size_t index) {
    if (!textStorage().firstAttachmentInRange({index, 1}))
        return false;
    expandForMarkerWithGlyphIndex(index);
    return true;
}

void HTMLView::fold(HVRange range, HVAttributedString text, std::string_view actionName) {
    if (m_batch) {
        m_batch->ranges.push_back(range);
        m_batch->texts.push_back(std::move(text));
        return;
    }
    FoldBatch batch;
    batch.ranges.push_back(range);
    batch.texts.push_back(std::move(text));
    applyFolds(std::move(batch), actionName);
}

void HTMLView::applyFolds(FoldBatch batch, std::string_view actionName) {
    std::vector<std::size_t> order(batch.ranges.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return batch.ranges[a].location < batch.ranges[b].location;
    });
    // A region that reaches into an earlier one is part of it already (an opener without its
    // closer takes the rest of the text).
    std::vector<HVRange> ranges;
    std::vector<HVAttributedString> texts;
    for (std::size_t i : order) {
        if (!ranges.empty() && batch.ranges[i].location < ranges.back().end())
            continue;
        ranges.push_back(batch.ranges[i]);
        texts.push_back(std::move(batch.texts[i]));
    }
    if (ranges.empty())
        return;
    m_changingFolds = true;
    replaceWithoutChange(ranges, texts, actionName);
    m_changingFolds = false;
}

// Preferences.

void HTMLView::codeFoldingPrefChanged() {
    if (!active()) {
        m_foldingPrefsPending = true;
        return;
    }
    m_foldingPrefsPending = false;
    auto& preferences = HVPreferences::sharedInstance();
    m_ruler->setLineNumbersEnabled(preferences.boolForKey("HVLineNums").value_or(true));
    // Turning it on, or leaving it on, finds every marker again.
    m_ruler->setCodeFoldingEnabled(preferences.boolForKey("HVCodeFoldingEnabled").value_or(true));
}

void HTMLView::setActive(bool active) {
    HVSyntaxHighlightingTextView::setActive(active);
    if (active)
        makeFindPanelTarget();
    if (active && m_foldingPrefsPending)
        codeFoldingPrefChanged();
}
