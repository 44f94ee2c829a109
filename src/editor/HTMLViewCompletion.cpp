#include "HTMLView.h"

#include "HVBundle.h"
#include "HVBundleRepository.h"
#include "HVCodeCompletion.h"
#include "HVCodeHinting.h"
#include "HVParser.h"

#include <algorithm>

namespace {

constexpr std::string_view kCodeComplete = "Code Complete";
// How far before the caret a completion reads: a style sheet's rule block or a tag rarely
// starts further back.
constexpr std::size_t kContextBefore = 8192;

} // namespace

std::shared_ptr<HVBundle> HTMLView::bundleAtCaret() {
    auto parser = activeParser(true);
    HVBundle* owner = parser ? parser->bundle() : nullptr;
    if (!owner)
        return nullptr;
    if (owner == bundle().get())
        return bundle();
    return HVBundleRepository::sharedRepository().bundleForBundleIdentifier(
        owner->bundleIdentifier());
}

HVRange HTMLView::completionContext() const {
    const HVTextStorage& text = textStorage();
    std::size_t caret = std::min(selectedRange().location, text.length());
    std::size_t start =
        text.lineRangeForIndex(caret > kContextBefore ? caret - kContextBefore : 0).location;
    std::size_t end = text.lineRangeForIndex(caret).end();
    return {start, end - start};
}

void HTMLView::showCodeCompletion(bool optional) {
    auto bundle = bundleAtCaret();
    auto completion = bundle ? HVCodeCompletion::completionForBundle(bundle) : nullptr;
    if (optional && !m_completionPopup.isVisible() &&
        (!completion || !completion->suggestAutomatically()))
        return;
    if (!completion) {
        hideCodeCompletion();
        return;
    }
    HVRange context = completionContext();
    std::size_t caret = selectedRange().location;
    std::u16string_view text = textStorage().contiguousRange(context);
    auto partial = completion->partialKeywordForString(text, caret - context.location);
    std::vector<HVCodeCompletionEntry> entries;
    if (partial)
        entries = completion->completionsForString(*partial, path().value_or(std::string()),
                                                   caret - context.location);
    if (entries.empty()) {
        hideCodeCompletion();
        return;
    }
    m_shownCompletion = completion;
    m_completionPopup.show(std::move(entries), partial.value_or(std::u16string()),
                           completion->showTypeColumn());
}

void HTMLView::hideCodeCompletion() {
    m_completionPopup.hide();
}

void HTMLView::complete() {
    showCodeCompletion(false);
}

bool HTMLView::doCompletions() {
    if (!m_completionPopup.isVisible())
        return false;
    const HVCodeCompletionEntry* entry = m_completionPopup.currentEntry();
    auto completion = m_shownCompletion;
    if (!entry || !completion)
        return false;
    std::u16string text = entry->completion();
    bool hideOnComplete = entry->hideOnComplete();
    hideCodeCompletion();
    // A dialog may answer after the view is gone.
    std::weak_ptr<HTMLView*> weak = m_commandsSelf;
    completion->postprocessCompletion(
        std::move(text), [weak, completion, hideOnComplete](std::optional<std::u16string> final) {
            auto self = weak.lock();
            if (self && *self && final)
                (*self)->insertCompletion(*completion, *final, hideOnComplete);
        });
    return true;
}

void HTMLView::insertCompletion(HVCodeCompletion& completion, std::u16string_view text,
                                bool hideOnComplete) {
    HVRange context = completionContext();
    std::size_t caret = selectedRange().location;
    std::u16string_view text16 = textStorage().contiguousRange(context);
    // The completion keeps the context of its last request, which another view of the language
    // (or this one, while a dialog was open) may have made since.
    completion.partialKeywordForString(text16, caret - context.location);
    HVRange replaced = completion.keywordRangeForString(text16, caret - context.location);
    if (HVRangeIsFound(replaced))
        replaced.location += context.location;
    else
        replaced = {caret, 0};
    // The word replaced is the user's: the undo that takes the completion back selects it.
    if (!changeOwnText(replaced, text, {replaced.location + text.size(), 0}, kCodeComplete))
        return;
    std::size_t end = replaced.location + text.size();
    // The first placeholder of what went in, as Tab finds them (the parser reads the line).
    if (auto parser = activeParser(true)) {
        const HVTextStorage& storage = textStorage();
        HVRange line = storage.lineRangeForIndex(replaced.location);
        HVRange next = parser->nextSignificantRangeInString(storage.contiguousRange(line),
                                                            {replaced.location - line.location, 0});
        if (HVRangeIsFound(next) && line.location + next.end() <= end)
            setSelectedRange({line.location + next.location, next.length});
    }
    // A placeholder selected is for typing over, not for completing.
    if (!hideOnComplete && selectedRange().length == 0)
        showCodeCompletion(false);
}

void HTMLView::completionSelectionChanged() {
    std::size_t length = textStorage().length();
    // A move of the caret, not an edit, ends the completion.
    if (length == m_lengthAtSelection)
        hideCodeCompletion();
    m_lengthAtSelection = length;
    updateCallHint();
}

void HTMLView::updateCallHint() {
    std::optional<HVCallHint> hint;
    const HVTextStorage& text = textStorage();
    std::size_t caret = std::min(selectedRange().location, text.length());
    // Only what lies before the caret: a comma just after it is not typed yet.
    std::size_t lineStart = text.lineRangeForIndex(caret).location;
    HVRange before{lineStart, caret - lineStart};
    // Most moves are on lines without a call: those never ask which language is at the caret.
    // A copy: finding the language reads the text too.
    std::u16string line = text.substring(before);
    if (line.find(u'(') != std::u16string::npos) {
        auto bundle = bundleAtCaret();
        auto hinting = bundle ? HVCodeHinting::hintingForBundle(bundle) : nullptr;
        std::size_t argument = 0;
        auto prototype =
            hinting ? hinting->prototypeInString(line, line.size(), &argument) : std::nullopt;
        if (prototype) {
            HVRange range = HVCallHint::argumentRangeInPrototype(*prototype, argument);
            hint = HVCallHint{std::move(*prototype), argument, range};
        }
    }
    if (hint == m_callHint)
        return;
    m_callHint = std::move(hint);
    // A copy, so that an observer may remove itself while it is told.
    auto observers = m_callHintObservers;
    for (const auto& [token, observer] : observers)
        observer();
}

HTMLView::CallHintObserverToken HTMLView::addCallHintObserver(std::function<void()> observer) {
    CallHintObserverToken token = m_nextCallHintObserver++;
    m_callHintObservers[token] = std::move(observer);
    return token;
}

void HTMLView::removeCallHintObserver(CallHintObserverToken token) {
    m_callHintObservers.erase(token);
}
