#include "HTMLView.h"

#include "HVParser.h"
#include "HVPreferences.h"
#include "HVTagFormatting.h"
#include "HVUndoManager.h"
#include "HVUserInterface.h"

#include <algorithm>
#include <unicode/uchar.h>
#include <unicode/utf16.h>
#include <utility>

namespace {

constexpr std::string_view kTyping = "Typing";
constexpr std::string_view kTagCompletion = "Tag Completion";
constexpr std::string_view kAutoTab = "Auto Tab";
constexpr std::string_view kCloseTag = "Close Tag";
constexpr std::string_view kIndentBlock = "Indent Block";
constexpr std::string_view kOutdentBlock = "Outdent Block";
constexpr std::string_view kDelete = "Delete";

bool isLineBreak(char16_t c) {
    return c == u'\n' || c == u'\r';
}

bool isBlank(char16_t c) {
    return c == u' ' || c == u'\t';
}

// The registered defaults answer for a store that has none.
bool preference(std::string_view key, bool fallback) {
    return HVPreferences::sharedInstance().boolForKey(key).value_or(fallback);
}

// The column arithmetic divides by it.
std::size_t tabSize() {
    return std::size_t(std::max<std::int64_t>(
        1, HVPreferences::sharedInstance().integerForKey("HVTabSizeKey").value_or(4)));
}

// Whether position lies inside double quotes of s: an odd number of them before it, a quote
// after a backslash not counting.
bool insideQuotes(std::u16string_view s, std::size_t position) {
    bool inside = false;
    for (std::size_t i = 0; i < position && i < s.size(); ++i) {
        if (s[i] == u'"' && (i == 0 || s[i - 1] != u'\\'))
            inside = !inside;
    }
    return inside;
}

bool isNameCharacter(char16_t c) {
    return u_isalnum(c) || c == u'-' || c == u'_' || c == u':' || c == u'.';
}

std::u16string closingTag(std::u16string_view name) {
    return u"</" + std::u16string(name) + u">";
}

// Long scans read the text in pieces of this many units: after an edit the whole text in one
// piece would cost a copy of it.
constexpr std::size_t kPiece = 65536;

// The first place at or after from and before to where needle (lower case) begins, ignoring
// case; HVNotFound when there is none.
std::size_t findIgnoringCase(const HVTextBuffer& text, std::u16string_view needle, std::size_t from,
                             std::size_t to) {
    auto same = [](char16_t a, char16_t b) { return char16_t(u_tolower(a)) == b; };
    for (std::size_t start = from; start < to; start += kPiece) {
        std::size_t end = std::min(to, start + kPiece + needle.size() - 1);
        std::u16string_view piece = text.contiguousRange({start, end - start});
        auto found = std::search(piece.begin(), piece.end(), needle.begin(), needle.end(), same);
        if (found != piece.end())
            return start + std::size_t(found - piece.begin());
    }
    return HVNotFound;
}

// The innermost element left open at the end of text, walking its tags backwards; ranOut is
// set when the walk reached the start of text without deciding.
std::optional<std::u16string>
innermostOpenElement(std::u16string_view text, const HVTagFormatting& formatting, bool& ranOut) {
    std::size_t gt = text.rfind(u'>');
    int depth = 0;
    while (gt != std::u16string_view::npos) {
        std::size_t lt = text.substr(0, gt).rfind(u'<');
        if (lt == std::u16string_view::npos)
            break;
        bool closing = lt + 1 < gt && text[lt + 1] == u'/';
        bool selfClosed = gt > lt + 1 && text[gt - 1] == u'/';
        std::size_t start = lt + (closing ? 2 : 1);
        std::size_t end = start;
        while (end < gt && (end == start ? u_isalnum(text[end]) : isNameCharacter(text[end])))
            ++end;
        std::u16string_view name = text.substr(start, end - start);
        int code = formatting.codeForTag(name);
        bool counted = code != HVTagFormatting::Empty && code != HVTagFormatting::Never;
        // A self-closed element is complete: it neither opens nor closes anything.
        if (closing) {
            if (counted)
                ++depth;
        } else if (!selfClosed && counted && !name.empty()) {
            if (depth == 0)
                return std::u16string(name);
            --depth;
        }
        gt = lt == 0 ? std::u16string_view::npos : text.substr(0, lt).rfind(u'>');
    }
    ranOut = true;
    return std::nullopt;
}

bool equalIgnoringCase(std::u16string_view a, std::u16string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char16_t x, char16_t y) { return u_tolower(x) == u_tolower(y); });
}

} // namespace

// The view's own delegate: its questions and news go to the view's typing code.
class HTMLView::TypingDelegate : public HVTextViewDelegate {
public:
    explicit TypingDelegate(HTMLView& view) : m_view(view) {}
    ~TypingDelegate() override {
        if (m_view.delegate() == this)
            m_view.setDelegate(nullptr);
    }

    bool textViewShouldChangeTextInRange(HVTextViewModel&, HVRange range,
                                         std::u16string_view replacement) override {
        return m_view.shouldChangeText(range, replacement);
    }
    bool textViewShouldChangeTextInRanges(HVTextViewModel&, const std::vector<HVRange>& ranges,
                                          const std::vector<std::u16string>& texts) override {
        if (!ranges.empty())
            m_view.m_changeRange = {ranges.front().location, texts.front().size()};
        return true;
    }
    void textDidChange(HVTextViewModel&) override { m_view.textChanged(); }
    void textViewDidChangeSelection(HVTextViewModel&, HVRange) override {
        m_view.selectionChanged();
    }
    bool doCommandBySelector(HVTextViewModel&, std::string_view selector) override {
        return m_view.typingCommand(selector);
    }

private:
    HTMLView& m_view;
};

void HTMLView::installTypingDelegate() {
    m_typingDelegate = std::make_unique<TypingDelegate>(*this);
    setDelegate(m_typingDelegate.get());
}

bool HTMLView::changeOwnText(HVRange range, std::u16string_view text, HVRange selectionAfter,
                             std::string_view actionName) {
    ++m_ownChanges;
    bool changed = changeText(range, text, selectionAfter, actionName, false);
    --m_ownChanges;
    return changed;
}

bool HTMLView::undoableInsertText(std::u16string_view text, std::string_view actionName) {
    HVRange range = selectedRange();
    return changeOwnText(range, text, {range.location + text.size(), 0}, actionName);
}

bool HTMLView::undoableSetString(std::u16string_view text, std::string_view actionName) {
    std::size_t caret = std::min(selectedRange().location, text.size());
    return changeOwnText({0, textStorage().length()}, text, {caret, 0}, actionName);
}

void HTMLView::setEscapedState(bool escaped) {
    if (m_escaped == escaped)
        return;
    m_escaped = escaped;
    if (m_interfaceDelegate)
        m_interfaceDelegate->htmlViewIsEscaped(*this, escaped);
}

// The typing hook: what the user is about to type may complete a tag, close one, or outdent a
// brace. Changes that are not typed, and the view's own, go in untouched.
bool HTMLView::shouldChangeText(HVRange range, std::u16string_view replacement) {
    if (m_ownChanges > 0)
        return true;
    m_changeRange = {range.location, replacement.size()};
    if (m_escaped || !isInsertingText())
        return true;
    std::size_t location = range.location;
    const HVTextStorage& storage = textStorage();
    char16_t before = location > 0 ? storage.characterAtIndex(location - 1) : 0;
    if (replacement == u"/" || replacement == u">") {
        auto tag = openTagBefore(location, true);
        auto parser = activeParser(true);
        const std::string identifier = parser ? parser->identifier() : std::string();
        // Markup, and the tag that ends a style sheet or script embedded in it.
        bool markup = markupAtCaret() || (identifier == "text.css" && tag == u"style") ||
                      (identifier == "text.js" && tag == u"script");
        if (replacement == u"/") {
            if (preference("HVAutoCompleteOnType", false) && markup && before == u'<') {
                // The "/" and the closing tag are one step, apart from the typing before.
                breakUndoCoalescing();
                m_closeTagAfterChange = true;
            }
            return true;
        }
        if (tag && before == u' ') {
            HVRange selection = selectedRange();
            HVRange space{location - 1, 1};
            HVRange after{location - 1, selection.end() - location};
            if (!changeOwnText(space, u"", after, kTyping))
                return false;
        }
        if (markup && preference("HVAutoComplete", true))
            return autoComplete(tag);
        return true;
    }
    if (replacement == u"}") {
        HVRange brace = matchingBracketBefore(location, u'{', u'}');
        if (!HVRangeIsFound(brace)) {
            HVUserInterface::shared().beep();
            return true;
        }
        tempHighlightRange(brace);
        // A brace typed over a selection simply replaces it.
        return range.length > 0 || useWhitespaceFromLineWithRange(brace, location);
    }
    if (replacement == u")")
        flashMatchOrBeep(location, u'(', u')');
    else if (replacement == u"]")
        flashMatchOrBeep(location, u'[', u']');
    return true;
}

void HTMLView::flashMatchOrBeep(std::size_t location, char16_t open, char16_t close) {
    HVRange match = matchingBracketBefore(location, open, close);
    if (HVRangeIsFound(match))
        tempHighlightRange(match);
    else
        HVUserInterface::shared().beep();
}

std::optional<std::u16string> HTMLView::openTagBefore(std::size_t location,
                                                      bool autoComplete) const {
    const HVTextStorage& storage = textStorage();
    location = std::min(location, storage.length());
    std::size_t lineStart = storage.lineRangeForIndex(location).location;
    if (lineStart > location)
        lineStart = location;
    std::u16string s = storage.substring({lineStart, location - lineStart});
    if (autoComplete && insideQuotes(s, s.size()))
        return std::nullopt;
    std::size_t lt = s.rfind(u'<');
    if (lt == std::u16string::npos || s.size() == 1)
        return std::nullopt;
    for (std::size_t gt = s.size(); gt-- > 0;) {
        if (s[gt] == u'>' && !insideQuotes(s, gt)) {
            if (gt > lt)
                return std::nullopt;
            break;
        }
    }
    if (lt + 1 < s.size() && s[lt + 1] == u'/')
        return std::nullopt;
    while (insideQuotes(s, lt)) {
        if (lt == 0)
            return std::nullopt;
        lt = s.rfind(u'<', lt - 1);
        if (lt == std::u16string::npos)
            return std::nullopt;
    }
    std::size_t end = s.find_first_of(u" \t/", lt + 1);
    std::u16string name = s.substr(lt + 1, end == std::u16string::npos ? end : end - lt - 1);
    if (name.empty())
        return std::nullopt;
    return name;
}

bool HTMLView::isXHTML() const {
    const HVTextStorage& text = textStorage();
    std::size_t doctype = findIgnoringCase(text, u"<!doctype", 0, text.length());
    std::size_t gt =
        doctype != HVNotFound ? findIgnoringCase(text, u">", doctype, text.length()) : HVNotFound;
    if (gt != HVNotFound)
        return findIgnoringCase(text, u"xhtml", doctype, gt) != HVNotFound;
    return preference("HVXHTMLTags", false);
}

bool HTMLView::autoComplete(std::optional<std::u16string> tag) {
    if (!tag || m_ignore) {
        m_ignore = false;
        return true;
    }
    std::u16string name = tag->starts_with(u"!--") ? u"!--" : *tag;
    HVTagFormatting formatting = HVTagFormatting::load();
    int code = formatting.codeForTag(name);
    HVRange selection = selectedRange();
    std::u16string selected = selectedString();
    switch (code) {
    case HVTagFormatting::Never:
        changeOwnText(selection, u">", {selection.location + 1, 0}, kTagCompletion);
        return false;
    case HVTagFormatting::Block: {
        std::u16string indent = tabIndex();
        const std::u16string& lineBreak = newlineString();
        std::u16string inserted = u">" + lineBreak + indent + tabSpaces() + selected;
        std::size_t caret = selection.location + inserted.size();
        inserted += lineBreak + indent + closingTag(name);
        changeOwnText(selection, u">", {selection.location + 1, 0}, kTyping);
        changeOwnText({selection.location + 1, 0}, std::u16string_view(inserted).substr(1),
                      {caret, 0}, kTagCompletion);
        return false;
    }
    case HVTagFormatting::Empty: {
        bool slash =
            selection.end() > 0 && textStorage().characterAtIndex(selection.end() - 1) == u'/';
        std::u16string_view inserted = isXHTML() && !slash ? u" />" : u">";
        changeOwnText(selection, inserted, {selection.location + inserted.size(), 0},
                      kTagCompletion);
        return false;
    }
    default:
        break;
    }
    if (!selected.empty()) {
        // With a selection, a longer name typed over a known one completes the known one.
        for (std::size_t length = name.size(); length > 0; --length) {
            std::u16string_view prefix = std::u16string_view(name).substr(0, length);
            if (!formatting.hasEntry(prefix))
                continue;
            if (!equalIgnoringCase(prefix, name))
                return autoComplete(std::u16string(prefix));
            break;
        }
    }
    std::u16string closing = selected + closingTag(name);
    changeOwnText(selection, u">", {selection.location + 1, 0}, kTyping);
    changeOwnText({selection.location + 1, 0}, closing,
                  {selection.location + 1 + selected.size(), 0}, kTagCompletion);
    return false;
}

bool HTMLView::useWhitespaceFromLineWithRange(HVRange brace, std::size_t location) {
    if (m_ignore) {
        m_ignore = false;
        return true;
    }
    const HVTextStorage& storage = textStorage();
    HVRange line = storage.lineRangeForIndex(location);
    std::size_t end = line.end();
    while (end > line.location && isLineBreak(storage.characterAtIndex(end - 1)))
        --end;
    if (location > end)
        return true;
    std::u16string content = storage.substring({line.location, end - line.location});
    if (!std::all_of(content.begin(), content.end(), isBlank))
        return true;
    std::u16string replacement = indentationOfLine(brace.location, false) + u"}";
    changeOwnText({line.location, end - line.location}, replacement,
                  {line.location + replacement.size(), 0}, kTyping);
    return false;
}

// Closing tags.

void HTMLView::closeTag() {
    std::size_t caret = selectedRange().location;
    const HVTextStorage& storage = textStorage();
    HVTagFormatting formatting = HVTagFormatting::load();
    // The walk usually ends a few tags back: it reads a stretch before the caret and widens it
    // only when it runs out of it, so a large text is not copied for every "</".
    std::optional<std::u16string> found;
    for (std::size_t stretch = 16384;; stretch *= 2) {
        std::size_t from = caret > stretch ? caret - stretch : 0;
        bool ranOut = false;
        found = innermostOpenElement(storage.substring({from, caret - from}), formatting, ranOut);
        if (!ranOut || from == 0)
            break;
    }
    if (!found) {
        HVUserInterface::shared().beep();
        return;
    }
    char16_t last = caret >= 1 ? storage.characterAtIndex(caret - 1) : 0;
    char16_t second = caret >= 2 ? storage.characterAtIndex(caret - 2) : 0;
    std::u16string inserted;
    if (last == u'<')
        inserted = u"/" + *found + u">";
    else if (second == u'<' && last == u'/')
        inserted = *found + u">";
    else
        inserted = closingTag(*found);
    undoableInsertText(inserted, kCloseTag);
}

// Brackets.

HVRange HTMLView::matchingBracketBefore(std::size_t location, char16_t open, char16_t close) const {
    const HVTextStorage& text = textStorage();
    std::size_t depth = 0;
    for (std::size_t end = std::min(location, text.length()); end > 0;) {
        std::size_t start = end > kPiece ? end - kPiece : 0;
        std::u16string_view piece = text.contiguousRange({start, end - start});
        for (std::size_t i = piece.size(); i-- > 0;) {
            if (piece[i] == close) {
                ++depth;
            } else if (piece[i] == open) {
                if (depth == 0)
                    return {start + i, 1};
                --depth;
            }
        }
        end = start;
    }
    return {HVNotFound, 0};
}

HVRange HTMLView::matchingBracketAfter(std::size_t location, char16_t open, char16_t close) const {
    const HVTextStorage& text = textStorage();
    std::size_t depth = 0;
    for (std::size_t start = location; start < text.length(); start += kPiece) {
        std::u16string_view piece = text.contiguousRange({start, kPiece});
        for (std::size_t i = 0; i < piece.size(); ++i) {
            if (piece[i] == open) {
                ++depth;
            } else if (piece[i] == close) {
                if (depth == 0)
                    return {start + i, 1};
                --depth;
            }
        }
    }
    return {HVNotFound, 0};
}

HTMLView::FlashObserverToken HTMLView::addFlashObserver(std::function<void(HVRange)> observer) {
    FlashObserverToken token = m_nextFlashObserver++;
    m_flashObservers[token] = std::move(observer);
    return token;
}

void HTMLView::removeFlashObserver(FlashObserverToken token) {
    m_flashObservers.erase(token);
}

void HTMLView::tempHighlightRange(HVRange range) {
    // A copy, so that an observer may remove itself while it is told.
    auto observers = m_flashObservers;
    for (const auto& [token, observer] : observers)
        observer(range);
}

void HTMLView::moveRight() {
    HVRange selection = selectedRange();
    if (selection.length == 0 && selection.location < textStorage().length()) {
        char16_t c = textStorage().characterAtIndex(selection.location);
        if (c == u'}')
            flashMatchOrBeep(selection.location, u'{', u'}');
        else if (c == u')')
            flashMatchOrBeep(selection.location, u'(', u')');
        else if (c == u']')
            flashMatchOrBeep(selection.location, u'[', u']');
    }
    HVSyntaxHighlightingTextView::moveRight();
}

bool HTMLView::mouseDown(std::size_t index, int clickCount) {
    hideCodeCompletion();
    if (clickCount != 2 || index == 0 || index > textStorage().length())
        return false;
    static constexpr std::u16string_view opens = u"{[(";
    static constexpr std::u16string_view closes = u"}])";
    std::size_t kind = opens.find(textStorage().characterAtIndex(index - 1));
    if (kind == std::u16string_view::npos)
        return false;
    HVRange match = matchingBracketAfter(index, opens[kind], closes[kind]);
    if (!HVRangeIsFound(match))
        return false;
    setSelectedRange({index - 1, match.end() - (index - 1)});
    return true;
}

// Indentation.

std::u16string HTMLView::tabSpaces() const {
    if (preference("HVTabsAreSpaces", false))
        return std::u16string(tabSize(), u' ');
    return u"\t";
}

std::u16string HTMLView::indentationOfLine(std::size_t index, bool tabsAsUnits) const {
    const HVTextStorage& storage = textStorage();
    std::size_t i = storage.lineRangeForIndex(std::min(index, storage.length())).location;
    std::u16string unit = tabsAsUnits ? tabSpaces() : u"\t";
    std::u16string indentation;
    for (; i < storage.length() && isBlank(storage.characterAtIndex(i)); ++i)
        indentation += storage.characterAtIndex(i) == u'\t' ? unit : u" ";
    return indentation;
}

std::u16string HTMLView::tabIndex() const {
    return indentationOfLine(selectedRange().location, true);
}

void HTMLView::insertNewline() {
    if (doCompletions())
        return;
    std::u16string text = newlineString();
    std::size_t caret = selectedRange().location;
    if (!m_escaped && preference("HVAutoTabKey", true)) {
        const HVTextStorage& storage = textStorage();
        std::size_t i = storage.lineRangeForIndex(caret).location;
        for (; i < caret && isBlank(storage.characterAtIndex(i)); ++i)
            text += storage.characterAtIndex(i);
        if (caret > 0 && storage.characterAtIndex(caret - 1) == u'{')
            text += tabSpaces();
    }
    insertText(text);
}

void HTMLView::insertTab() {
    if (doCompletions())
        return;
    bool escaped = m_escaped;
    HVRange selection = selectedRange();
    std::size_t caret = selection.location;
    const HVTextStorage& storage = textStorage();
    std::size_t lineStart = storage.lineRangeForIndex(caret).location;
    if (!escaped && caret != lineStart) {
        std::u16string before = storage.substring({lineStart, caret - lineStart});
        if (!std::all_of(before.begin(), before.end(), isBlank)) {
            // The placeholder lies on this line: the parser reads the line, not the text.
            auto parser = activeParser(true);
            HVRange line = storage.lineRangeForIndex(caret);
            HVRange next{HVNotFound, 0};
            if (parser) {
                next = parser->nextSignificantRangeInString(
                    storage.contiguousRange(line),
                    {selection.location - line.location, selection.length});
                if (HVRangeIsFound(next))
                    next.location += line.location;
            }
            if (HVRangeIsFound(next)) {
                setSelectedRange(next);
                return;
            }
        }
    }
    if (!escaped && selection.length > 0) {
        entabBlock();
        return;
    }
    if (preference("HVTabsAreSpaces", false)) {
        std::size_t size = tabSize();
        insertText(std::u16string(size - (caret - lineStart) % size, u' '));
    } else {
        insertText(u"\t");
    }
    if (escaped || caret != lineStart || caret == 0 || !preference("HVAutoTabKey", true))
        return;
    std::u16string indentation = indentationOfLine(lineStart - 1, true);
    std::u16string unit = tabSpaces();
    if (indentation.starts_with(unit))
        indentation.erase(0, unit.size());
    if (indentation.empty())
        return;
    HVRange at = selectedRange();
    changeOwnText(at, indentation, {at.location + indentation.size(), 0}, kAutoTab);
}

// Shift-Tab outdents the lines of the selection, or the caret's line.
void HTMLView::insertBacktab() {
    detabBlock();
}

std::pair<std::size_t, std::size_t> HTMLView::selectedLineStarts() const {
    const HVTextStorage& storage = textStorage();
    HVRange selection = selectedRange();
    std::size_t last = selection.end();
    // A selection that ends at the start of a line does not touch that line.
    if (selection.length > 0 && storage.lineRangeForIndex(last).location == last)
        --last;
    return {storage.lineRangeForIndex(selection.location).location,
            storage.lineRangeForIndex(last).location};
}

void HTMLView::entabBlock() {
    const HVTextStorage& storage = textStorage();
    auto [first, last] = selectedLineStarts();
    std::u16string unit = tabSpaces();
    std::vector<HVRange> ranges;
    for (std::size_t start = first;;) {
        ranges.push_back({start, 0});
        std::size_t next = storage.lineRangeForIndex(start).end();
        if (start >= last || next <= start || next > last)
            break;
        start = next;
    }
    HVRange selection = selectedRange();
    std::u16string selected = selectedString();
    std::size_t added = ranges.size() * unit.size();
    HVRange after;
    if (selection.length == 0)
        after = {selection.location + unit.size(), 0};
    else if (selected.find_first_of(u"\r\n") == std::u16string::npos &&
             selected.find(unit) == std::u16string::npos)
        after = {selection.location + unit.size(), selection.length};
    else if (selection.location == first)
        after = {selection.location, selection.length + added};
    else
        after = {selection.location + unit.size(), selection.length + added - unit.size()};
    ++m_ownChanges;
    changeTexts(ranges, std::vector<std::u16string>(ranges.size(), unit), after, kIndentBlock);
    --m_ownChanges;
}

void HTMLView::detabBlock() {
    const HVTextStorage& storage = textStorage();
    auto [first, last] = selectedLineStarts();
    std::size_t size = tabSize();
    std::vector<HVRange> ranges;
    for (std::size_t start = first;;) {
        HVRange line = storage.lineRangeForIndex(start);
        if (start < storage.length() && storage.characterAtIndex(start) == u'\t') {
            ranges.push_back({start, 1});
        } else {
            std::size_t spaces = 0;
            while (spaces < size && start + spaces < line.end() &&
                   storage.characterAtIndex(start + spaces) == u' ')
                ++spaces;
            if (spaces == size)
                ranges.push_back({start, size});
        }
        std::size_t next = line.end();
        if (start >= last || next <= start || next > last)
            break;
        start = next;
    }
    if (ranges.empty())
        return;
    HVRange selection = selectedRange();
    std::size_t removed = 0;
    std::size_t removedFromFirst = 0;
    for (HVRange range : ranges) {
        removed += range.length;
        if (range.location == first)
            removedFromFirst = range.length;
    }
    HVRange after;
    if (selection.location > first) {
        std::size_t start =
            std::max(first, selection.location - std::min(selection.location, removedFromFirst));
        after = {start, selection.length - std::min(selection.length, removed - removedFromFirst)};
    } else {
        after = {selection.location, selection.length - std::min(selection.length, removed)};
    }
    ++m_ownChanges;
    bool changed =
        changeTexts(ranges, std::vector<std::u16string>(ranges.size()), after, kOutdentBlock);
    --m_ownChanges;
    if (changed)
        scrollRangeToVisible({selectedRange().location, 0});
}

// Commands.

void HTMLView::deleteWordBackward() {
    HVRange selection = selectedRange();
    if (selection.length > 0) {
        changeOwnText(selection, u"", {selection.location, 0}, kDelete);
        return;
    }
    std::size_t caret = selection.location;
    if (caret == 0)
        return;
    const HVTextStorage& text = textStorage();
    auto at = [&](std::size_t index) { return text.characterAtIndex(index); };
    std::size_t start = caret - 1;
    bool pair = start > 0 && ((at(start) == u'\n' && at(start - 1) == u'\r') ||
                              (U16_IS_TRAIL(at(start)) && U16_IS_LEAD(at(start - 1))));
    if (pair)
        --start;
    else
        while (start > 0 && u_isalnum(at(start - 1)))
            --start;
    changeOwnText({start, caret - start}, u"", {start, 0}, kDelete);
}

void HTMLView::copy() {
    if (selectedRange().length == 0) {
        HVUserInterface::shared().beep();
        return;
    }
    HVSyntaxHighlightingTextView::copy();
}

void HTMLView::cut() {
    if (selectedRange().length == 0) {
        HVUserInterface::shared().beep();
        return;
    }
    HVSyntaxHighlightingTextView::cut();
}

void HTMLView::undo() {
    m_ignore = m_replaying = true;
    HVSyntaxHighlightingTextView::undo();
    m_ignore = m_replaying = false;
    setEscapedState(false);
}

void HTMLView::redo() {
    m_ignore = m_replaying = true;
    HVSyntaxHighlightingTextView::redo();
    m_ignore = m_replaying = false;
    setEscapedState(false);
}

bool HTMLView::typingCommand(std::string_view selector) {
    if (selector == "complete:") {
        complete();
        return true;
    }
    if (selector == "cancelOperation:" || selector == "cancel:" || selector == "_cancelKey:") {
        hideCodeCompletion();
        setEscapedState(!m_escaped);
        return true;
    }
    if (selector == "moveToEndOfLineAndModifySelection:" && lineBreakType() == HVLineBreaks::DOS) {
        const HVTextStorage& storage = textStorage();
        std::size_t anchor = selectionAnchor();
        HVRange line = storage.lineRangeForIndex(selectionHead());
        std::size_t end = line.end();
        if (end >= line.location + 2 && storage.characterAtIndex(end - 1) == u'\n' &&
            storage.characterAtIndex(end - 2) == u'\r')
            end -= 2;
        setSelectedRange({std::min(anchor, end), std::max(anchor, end) - std::min(anchor, end)});
        return true;
    }
    return false;
}

bool HTMLView::markupAtCaret() {
    auto parser = activeParser(true);
    const std::string identifier = parser ? parser->identifier() : std::string();
    // HTML and every page language built on it (PHP, components, templates).
    return identifier == "text.xhtml" || identifier == "text.html" ||
           identifier.rfind("text.html.", 0) == 0;
}

// After every change.

void HTMLView::textChanged() {
    m_lengthAtSelection = textStorage().length();
    updateCallHint();
    // Replays and the view's own changes are already what they should be; what the pop-up
    // offered belongs to the text before an undo or a redo.
    if (m_replaying) {
        hideCodeCompletion();
        return;
    }
    if (m_ownChanges > 0)
        return;
    if (selectedRange().length == 0)
        showCodeCompletion(true);
    else
        hideCodeCompletion();
    bool typed = isInsertingText();
    bool closeTagNow = std::exchange(m_closeTagAfterChange, false);
    if (typed && closeTagNow) {
        ++m_ownChanges;
        closeTag();
        --m_ownChanges;
    }
    if (typed && !m_escaped && m_changeRange.length == 1) {
        ++m_ownChanges;
        replaceTypedCharacterEntity();
        --m_ownChanges;
    }
    setEscapedState(false);
}

void HTMLView::selectionChanged() {
    completionSelectionChanged();
    if (!m_interfaceDelegate)
        return;
    auto place = textStorage().fullLineAndColumn(selectedRange().location);
    m_interfaceDelegate->htmlViewChangedToLine(*this, place.line + 1, place.column);
}
