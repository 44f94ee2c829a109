#include "HVTextBuffer.h"

#include "HVAttributeSetTable.h"
#include "HVBlockedEntries.h"
#include "HVBlockedText.h"
#include "HVCharacterScan.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <initializer_list>
#include <map>
#include <unordered_map>
#include <vector>

namespace {

HVRange clip(HVRange range, std::size_t length) {
    if (range.location > length)
        return {length, 0};
    return {range.location, std::min(range.length, length - range.location)};
}

const HVAttributesRef& emptyAttributes() {
    static const HVAttributesRef empty = std::make_shared<const HVAttributes>();
    return empty;
}

using InternedSet = HVAttributeSetTable::Set;

} // namespace

struct HVTextBuffer::Storage {
    using Runs = HVBlockedEntries<std::uint32_t>;
    using RunCursor = Runs::Cursor;
    using LineStarts = HVBlockedEntries<HVNoPayload>;

    explicit Storage(BlockSizes sizes)
        : text(sizes.characters), lineStarts(sizes.entries), runs(sizes.entries) {}

    HVBlockedText text;
    // The starts of lines 1, 2, ...: the positions just after each line break.
    LineStarts lineStarts;
    // The starts of the runs; the first is 0, and neighbours never share a set.
    Runs runs;

    HVAttributeSetTable sets;

    std::map<ObserverToken, std::shared_ptr<Observer>> observers;
    std::uint64_t characterEdits = 0;
    ObserverToken nextToken = 1;
    int editingDepth = 0;
    HVTextEdit pending;

    // Every character that carries an attachment, ascending, with its position in the full
    // text; rebuilt on the first question after a change.
    struct Attachment {
        std::size_t position;
        std::size_t fullPosition;
        std::shared_ptr<const HVTextAttachment> attachment;
        std::size_t fullLength() const { return attachment->string().size(); }
        std::size_t fullEnd() const { return fullPosition + fullLength(); }
    };
    mutable std::vector<Attachment> attachmentIndex;
    mutable bool attachmentIndexValid = false;

    const std::vector<Attachment>& attachments() const {
        if (attachmentIndexValid)
            return attachmentIndex;
        attachmentIndex.clear();
        if (sets.attachmentSets() > 0 && runs.size() > 0) {
            std::size_t extra = 0;
            RunCursor run;
            do {
                const InternedSet* set = setOf(run);
                if (!set || !set->attachment)
                    continue;
                auto attachment = set->attributes->attachment();
                for (std::size_t p = runs.position(run), end = runEnd(run); p < end; ++p) {
                    attachmentIndex.push_back({p, p + extra, attachment});
                    extra += attachment->string().size() - 1;
                }
            } while (runs.next(run));
        }
        attachmentIndexValid = true;
        return attachmentIndex;
    }

    std::size_t length() const { return text.length(); }

    void collectIfNeeded() {
        sets.collectIfNeeded([&](auto mark) { runs.forEachPayload(mark); });
    }
    const InternedSet* intern(const HVAttributesRef& attributes) { return sets.intern(attributes); }

    // Runs.

    static std::uint32_t idOf(const InternedSet* set) { return HVAttributeSetTable::idOf(set); }
    const InternedSet* setOf(RunCursor cursor) const { return sets.set(runs.payload(cursor)); }

    // The run that holds position, which must lie in the text.
    RunCursor runAt(std::size_t position) const {
        RunCursor cursor;
        runs.findLast(position, cursor);
        return cursor;
    }
    std::size_t runEnd(RunCursor cursor) const { return runs.nextPosition(cursor, length()); }

    // Makes position the start of a run, splitting the run that holds it.
    void splitRun(std::size_t position) {
        RunCursor cursor = runAt(position);
        if (runs.position(cursor) < position)
            runs.insertAfter(cursor, {{position, runs.payload(cursor)}});
    }

    // Gives every part of the runs within [from, to), which must lie in the text, the set
    // transform(old set), splitting at the ends and joining equal neighbours.
    template <typename F> void rewriteRuns(std::size_t from, std::size_t to, F&& transform) {
        RunCursor cursor = runAt(from);
        std::size_t start = runs.position(cursor);
        std::size_t end = runEnd(cursor);
        if (to <= end && rewriteWithinRun(cursor, start, end, from, to, transform))
            return;
        splitRun(from);
        if (to < length())
            splitRun(to);
        auto transformIds = [&](std::uint32_t id) { return idOf(transform(sets.set(id))); };
        runs.transform(from, to, transformIds);
        runs.compact(from, to);
    }

    // The common case of painting: [from, to) lies in the run [start, end) at cursor. Changes
    // at most two entries beside it in its block; false when the change needs more, such as a
    // new first entry of a block.
    template <typename F>
    bool rewriteWithinRun(RunCursor cursor, std::size_t start, std::size_t end, std::size_t from,
                          std::size_t to, F& transform) {
        const InternedSet* oldSet = setOf(cursor);
        const std::uint32_t old = idOf(oldSet);
        const std::uint32_t set = idOf(transform(oldSet));
        if (set == old)
            return true;
        RunCursor after = cursor;
        bool hasNext = runs.next(after);
        bool nextInBlock = hasNext && after.block == cursor.block;
        bool joinsNext = hasNext && runs.payload(after) == set;
        if (start < from) {
            if (to < end) {
                runs.insertAfter(cursor, {{from, set}, {to, old}});
            } else if (!joinsNext) {
                runs.insertAfter(cursor, {{from, set}});
            } else if (nextInBlock) {
                runs.move(after, from);
            } else {
                return false;
            }
            return true;
        }
        if (cursor.index == 0)
            return false;
        RunCursor before{cursor.block, cursor.index - 1};
        bool joinsPrevious = runs.payload(before) == set;
        if (to < end) {
            if (joinsPrevious) {
                runs.move(cursor, to);
            } else {
                runs.setPayload(cursor, set);
                runs.insertAfter(cursor, {{to, old}});
            }
            return true;
        }
        if (joinsNext && !nextInBlock)
            return false;
        if (joinsPrevious)
            runs.erase(cursor, joinsNext ? 2 : 1);
        else if (joinsNext) {
            runs.setPayload(cursor, set);
            runs.erase(after, 1);
        } else {
            runs.setPayload(cursor, set);
        }
        return true;
    }

    // Runs for the replacement of [from, to) of a text of oldLength by count characters.
    void replaceRuns(std::size_t from, std::size_t to, std::size_t count,
                     const InternedSet* interned, std::size_t oldLength) {
        const std::uint32_t set = idOf(interned);
        std::size_t delta = count - (to - from);
        if (oldLength == 0 || (from == 0 && to == oldLength)) {
            runs.clear();
            Runs::Item item{0, set};
            if (count > 0)
                runs.splice(0, 0, 0, &item, 1);
            return;
        }
        // Within a run of the same set, or just after one (typing at its end), only the
        // positions behind move.
        RunCursor cursor = runAt(from);
        std::size_t start = runs.position(cursor);
        bool within =
            start < from && (to < runEnd(cursor) || to == oldLength) && runs.payload(cursor) == set;
        RunCursor before = cursor;
        bool after =
            start == from && to == from && runs.previous(before) && runs.payload(before) == set;
        if (within || after) {
            runs.splice(from, to, delta, nullptr, 0);
            return;
        }
        if (to < oldLength)
            splitRun(to);
        Runs::Item item{from, set};
        runs.splice(from, to, delta, &item, count > 0 ? 1 : 0);
        runs.compact(from, from + count);
    }

    // Lines.

    // The line starts in [from, from + count] after count characters of text replace
    // [from, to): they depend on the characters from from - 1 to from + count. Asked before
    // the characters change.
    std::vector<LineStarts::Item> lineStartsFor(std::size_t from, std::size_t to,
                                                std::u16string_view inserted) const {
        std::vector<LineStarts::Item> starts;
        std::size_t oldLength = length();
        char16_t after = to < oldLength ? text.at(to) : 0;
        auto at = [&](std::size_t i) { return i < inserted.size() ? inserted[i] : after; };
        auto endsLine = [&](char16_t c, std::size_t next) {
            return c == u'\n' || (c == u'\r' && at(next) != u'\n');
        };
        if (from > 0 && endsLine(text.at(from - 1), 0))
            starts.push_back({from, {}});
        HVForEachCharacterOf<u'\n', u'\r'>(inserted.data(), inserted.size(), [&](std::size_t i) {
            if (endsLine(inserted[i], i + 1))
                starts.push_back({from + i + 1, {}});
        });
        return starts;
    }

    // Notifications.

    // Keeps a built attachment index current after a change whose runs are in place: the
    // entries of the changed range are found again, those after it move, so that typing in a
    // large text with collapsed regions does not walk every run.
    void updateAttachmentIndex(HVRange oldRange, std::size_t newLength) {
        if (!attachmentIndexValid)
            return;
        auto& index = attachmentIndex;
        auto before = [](const Attachment& a, std::size_t p) { return a.position < p; };
        auto first = std::lower_bound(index.begin(), index.end(), oldRange.location, before);
        auto last = std::lower_bound(first, index.end(), oldRange.end(), before);
        std::size_t delta = newLength - oldRange.length;
        for (auto it = last; it != index.end(); ++it)
            it->position += delta;
        std::vector<Attachment> found;
        std::size_t from = oldRange.location, to = oldRange.location + newLength;
        if (newLength > 0 && sets.attachmentSets() > 0) {
            RunCursor run = runAt(from);
            do {
                std::size_t start = runs.position(run);
                if (start >= to)
                    break;
                const InternedSet* set = setOf(run);
                if (!set || !set->attachment)
                    continue;
                auto attachment = set->attributes->attachment();
                for (std::size_t p = std::max(start, from), end = std::min(runEnd(run), to);
                     p < end; ++p)
                    found.push_back({p, 0, attachment});
            } while (runs.next(run));
        }
        std::size_t i = std::size_t(first - index.begin());
        index.erase(first, last);
        index.insert(index.begin() + std::ptrdiff_t(i), found.begin(), found.end());
        std::size_t extra = 0;
        if (i > 0)
            extra = index[i - 1].fullEnd() - index[i - 1].position - 1;
        for (std::size_t j = i; j < index.size(); ++j) {
            index[j].fullPosition = index[j].position + extra;
            extra += index[j].fullLength() - 1;
        }
    }

    void record(unsigned mask, HVRange oldRange, std::size_t newLength) {
        updateAttachmentIndex(oldRange, newLength);
        std::ptrdiff_t delta = std::ptrdiff_t(newLength) - std::ptrdiff_t(oldRange.length);
        if (pending.mask == 0) {
            pending.editedRange = {oldRange.location, newLength};
        } else {
            std::size_t start = std::min(pending.editedRange.location, oldRange.location);
            std::size_t oldEnd = std::max(pending.editedRange.end(), oldRange.end());
            pending.editedRange = {start, std::size_t(std::ptrdiff_t(oldEnd) + delta) - start};
        }
        pending.mask |= mask;
        pending.changeInLength += delta;
    }
};

HVTextBuffer::HVTextBuffer() : m_storage(std::make_unique<Storage>(BlockSizes{})) {}

HVTextBuffer::HVTextBuffer(std::u16string_view text) : HVTextBuffer(text, BlockSizes{}) {}

HVTextBuffer::HVTextBuffer(std::u16string_view text, BlockSizes blockSizes)
    : m_storage(std::make_unique<Storage>(blockSizes)) {
    replaceCharacters({0, 0}, text, nullptr);
}

HVTextBuffer::~HVTextBuffer() = default;

std::size_t HVTextBuffer::length() const {
    return m_storage->length();
}

char16_t HVTextBuffer::characterAtIndex(std::size_t index) const {
    return index < length() ? m_storage->text.at(index) : 0;
}

std::u16string HVTextBuffer::substring(HVRange range) const {
    range = clip(range, length());
    std::u16string result(range.length, u'\0');
    m_storage->text.copy(range.location, range.length, result.data());
    return result;
}

std::size_t HVTextBuffer::getCharacters(char16_t* out, HVRange range) const {
    range = clip(range, length());
    m_storage->text.copy(range.location, range.length, out);
    return range.length;
}

std::u16string_view HVTextBuffer::string() const {
    return m_storage->text.whole();
}

std::u16string_view HVTextBuffer::contiguousRange(HVRange range) const {
    range = clip(range, length());
    return m_storage->text.contiguous(range.location, range.end());
}

void HVTextBuffer::replaceCharacters(HVRange range, std::u16string_view text) {
    range = clip(range, length());
    HVAttributesRef attributes;
    if (range.length > 0)
        attributes = attributesAtIndex(range.location);
    else if (range.location > 0)
        attributes = attributesAtIndex(range.location - 1);
    if (attributes && attributes->contains(HVAttachmentAttribute))
        attributes =
            std::make_shared<const HVAttributes>(attributes->removing(HVAttachmentAttribute));
    replaceCharacters(range, text, attributes);
}

void HVTextBuffer::replaceCharacters(HVRange range, const HVAttributedString& text) {
    replaceCharacters(range, text.string(), text.runs());
}

void HVTextBuffer::replaceCharacters(HVRange range, std::u16string_view text,
                                     std::span<const HVAttributedString::Run> runs) {
    range = clip(range, length());
    beginEditing();
    replaceCharacters(range, text, runs.empty() ? nullptr : runs[0].attributes);
    std::size_t at = range.location;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        if (i > 0)
            setAttributes(runs[i].attributes, {at, runs[i].length});
        at += runs[i].length;
    }
    endEditing();
}

HVAttributedString HVTextBuffer::attributedSubstring(HVRange range) const {
    std::u16string text;
    std::vector<HVAttributedString::Run> runs;
    appendAttributedSubstring(range, text, runs);
    return HVAttributedString(std::move(text), std::move(runs));
}

void HVTextBuffer::appendAttributedSubstring(HVRange range, std::u16string& text,
                                             std::vector<HVAttributedString::Run>& runs) const {
    const Storage& s = *m_storage;
    range = clip(range, length());
    if (range.length == 0)
        return;
    auto run = s.runAt(range.location);
    std::size_t start = s.runs.position(run);
    while (start < range.end()) {
        std::size_t end = s.runEnd(run);
        std::size_t from = std::max(start, range.location);
        std::size_t to = std::min(end, range.end());
        const InternedSet* set = s.setOf(run);
        runs.push_back({to - from, set ? set->attributes : nullptr});
        if (!s.runs.next(run))
            break;
        start = end;
    }
    std::size_t at = text.size();
    text.resize(at + range.length);
    getCharacters(text.data() + at, range);
}

std::size_t
HVTextBuffer::nextAttachmentPosition(std::size_t index,
                                     std::shared_ptr<const HVTextAttachment>* attachment) const {
    if (m_storage->sets.attachmentSets() == 0)
        return HVNotFound;
    const auto& entries = m_storage->attachments();
    auto found = std::lower_bound(entries.begin(), entries.end(), index,
                                  [](const auto& a, std::size_t p) { return a.position < p; });
    if (found == entries.end())
        return HVNotFound;
    if (attachment)
        *attachment = found->attachment;
    return found->position;
}

std::size_t HVTextBuffer::previousAttachmentPosition(
    std::size_t index, std::shared_ptr<const HVTextAttachment>* attachment) const {
    if (m_storage->sets.attachmentSets() == 0)
        return HVNotFound;
    const auto& entries = m_storage->attachments();
    auto after = std::upper_bound(entries.begin(), entries.end(), index,
                                  [](std::size_t p, const auto& a) { return p < a.position; });
    if (after == entries.begin())
        return HVNotFound;
    if (attachment)
        *attachment = std::prev(after)->attachment;
    return std::prev(after)->position;
}

bool HVTextBuffer::hasAttachments() const {
    return m_storage->sets.attachmentSets() > 0 && !m_storage->attachments().empty();
}

std::u16string HVTextBuffer::fullString(HVRange range) const {
    range = clip(range, length());
    if (m_storage->sets.attachmentSets() == 0)
        return substring(range);
    const auto& index = m_storage->attachments();
    auto first = std::lower_bound(index.begin(), index.end(), range.location,
                                  [](const auto& a, std::size_t p) { return a.position < p; });
    std::u16string result;
    std::size_t at = range.location;
    for (auto it = first; it != index.end() && it->position < range.end(); ++it) {
        result += substring({at, it->position - at});
        result += it->attachment->string();
        at = it->position + 1;
    }
    result += substring({at, range.end() - at});
    return result;
}

std::size_t HVTextBuffer::fullLength() const {
    return fullPosition(length());
}

std::size_t HVTextBuffer::fullPosition(std::size_t visible) const {
    visible = std::min(visible, length());
    if (m_storage->sets.attachmentSets() == 0)
        return visible;
    const auto& index = m_storage->attachments();
    auto after = std::lower_bound(index.begin(), index.end(), visible,
                                  [](const auto& a, std::size_t p) { return a.position < p; });
    if (after == index.begin())
        return visible;
    const auto& last = *std::prev(after);
    return last.fullEnd() + (visible - last.position - 1);
}

std::size_t HVTextBuffer::visiblePosition(std::size_t full) const {
    if (m_storage->sets.attachmentSets() == 0)
        return std::min(full, length());
    const auto& index = m_storage->attachments();
    auto after = std::upper_bound(index.begin(), index.end(), full,
                                  [](std::size_t f, const auto& a) { return f < a.fullPosition; });
    if (after == index.begin())
        return std::min(full, length());
    const auto& last = *std::prev(after);
    if (full < last.fullEnd())
        return last.position;
    return std::min(length(), last.position + 1 + (full - last.fullEnd()));
}

HVTextBuffer::LineAndColumn HVTextBuffer::fullLineAndColumn(std::size_t visible) const {
    visible = std::min(visible, length());
    std::size_t line = lineNumberForIndex(visible);
    std::size_t lineStart = rangeOfLine(line).location;
    if (m_storage->sets.attachmentSets() == 0)
        return {line, visible - lineStart};
    std::size_t fullLineStart = fullPosition(lineStart);
    for (const auto& entry : m_storage->attachments()) {
        if (entry.position >= visible)
            break;
        // The breaks of the hidden text count as lines; the last one starts the caret's line.
        const std::u16string& hidden = entry.attachment->string();
        std::size_t lastLineStart = HVNotFound;
        for (std::size_t i = 0; i < hidden.size(); ++i) {
            char16_t c = hidden[i];
            if (c == u'\n' || (c == u'\r' && (i + 1 == hidden.size() || hidden[i + 1] != u'\n'))) {
                ++line;
                lastLineStart = i + 1;
            }
        }
        if (entry.position >= lineStart && lastLineStart != HVNotFound)
            fullLineStart = entry.fullPosition + lastLineStart;
    }
    return {line, fullPosition(visible) - fullLineStart};
}

void HVTextBuffer::replaceCharacters(HVRange range, std::u16string_view text,
                                     const HVAttributesRef& attributes) {
    Storage& s = *m_storage;
    range = clip(range, length());
    if ((range.length == 0 && text.empty()) ||
        text.size() > maximumLength - (length() - range.length))
        return;
    // Text that lies in the blocks being edited is copied first; a few characters always are,
    // which is cheaper than asking.
    std::array<char16_t, 16> few;
    std::u16string own;
    if (text.size() <= few.size()) {
        std::copy(text.begin(), text.end(), few.begin());
        text = {few.data(), text.size()};
    } else if (s.text.holds(text.data())) {
        own.assign(text);
        text = own;
    }
    s.collectIfNeeded();
    const InternedSet* set = s.intern(attributes);
    std::size_t from = range.location, to = range.end();
    std::size_t delta = text.size() - range.length;
    auto starts = s.lineStartsFor(from, to, text);
    s.lineStarts.splice(from, to + 1, delta, starts.data(), starts.size());
    s.replaceRuns(from, to, text.size(), set, length());
    s.text.replace(from, to, text);
    beginEditing();
    s.record(HVTextEdit::Characters, range, text.size());
    endEditing();
}
void HVTextBuffer::setString(std::u16string_view text) {
    replaceCharacters({0, length()}, text, nullptr);
}

void HVTextBuffer::adoptString(std::u16string&& text) {
    Storage& s = *m_storage;
    if (text.size() > maximumLength)
        return;
    beginEditing();
    std::size_t oldLength = length();
    if (oldLength > 0)
        replaceCharacters({0, oldLength}, u"", nullptr);
    if (!text.empty()) {
        // The steps of an insertion into the empty text, with the characters taken over.
        s.collectIfNeeded();
        const InternedSet* set = s.intern(nullptr);
        std::u16string_view view = text;
        auto starts = s.lineStartsFor(0, 0, view);
        s.lineStarts.splice(0, 1, view.size(), starts.data(), starts.size());
        s.replaceRuns(0, 0, view.size(), set, 0);
        std::size_t size = text.size();
        s.text.adopt(std::move(text));
        s.record(HVTextEdit::Characters, {0, 0}, size);
    }
    endEditing();
}

void HVTextBuffer::beginEditing() {
    ++m_storage->editingDepth;
}

void HVTextBuffer::endEditing() {
    Storage& s = *m_storage;
    if (s.editingDepth == 0 || --s.editingDepth > 0 || s.pending.mask == 0)
        return;
    HVTextEdit edit = s.pending;
    s.pending = HVTextEdit{};
    if (edit.mask & HVTextEdit::Characters)
        ++s.characterEdits;
    if (s.observers.size() == 1) {
        auto observer = s.observers.begin()->second;
        (*observer)(edit);
        return;
    }
    std::vector<std::shared_ptr<Observer>> observers;
    observers.reserve(s.observers.size());
    for (const auto& [token, observer] : s.observers)
        observers.push_back(observer);
    for (const auto& observer : observers)
        (*observer)(edit);
}

bool HVTextBuffer::isEditing() const {
    return m_storage->editingDepth > 0;
}

HVAttributesRef HVTextBuffer::attributesAtIndex(std::size_t index, HVRange* effectiveRange) const {
    const Storage& s = *m_storage;
    if (index >= length()) {
        if (effectiveRange)
            *effectiveRange = {0, 0};
        return emptyAttributes();
    }
    auto run = s.runAt(index);
    if (effectiveRange) {
        std::size_t start = s.runs.position(run);
        *effectiveRange = {start, s.runEnd(run) - start};
    }
    const InternedSet* set = s.setOf(run);
    return set ? set->attributes : emptyAttributes();
}

HVAttributesRef HVTextBuffer::attributesAtIndex(std::size_t index, HVRange* longestEffectiveRange,
                                                HVRange rangeLimit) const {
    HVRange range;
    auto attributes = attributesAtIndex(index, &range);
    if (longestEffectiveRange) {
        // Runs are merged whenever they become equal, so one run is already the longest.
        std::size_t start = std::max(range.location, rangeLimit.location);
        std::size_t end = std::min(range.end(), rangeLimit.end());
        *longestEffectiveRange = end > start ? HVRange{start, end - start} : HVRange{index, 0};
        if (index >= length())
            *longestEffectiveRange = {0, 0};
    }
    return attributes;
}

std::optional<HVAttributeValue> HVTextBuffer::attribute(std::string_view name, std::size_t index,
                                                        HVRange* effectiveRange) const {
    auto attributes = attributesAtIndex(index, effectiveRange);
    const HVAttributeValue* value = attributes->value(name);
    return value ? std::optional<HVAttributeValue>(*value) : std::nullopt;
}

std::optional<HVAttributeValue> HVTextBuffer::attribute(std::string_view name, std::size_t index,
                                                        HVRange* longestEffectiveRange,
                                                        HVRange rangeLimit) const {
    const Storage& s = *m_storage;
    std::size_t length = this->length();
    if (index >= length) {
        if (longestEffectiveRange)
            *longestEffectiveRange = {0, 0};
        return std::nullopt;
    }
    using Cursor = Storage::RunCursor;
    auto valueOf = [&](Cursor run) -> const HVAttributeValue* {
        const InternedSet* set = s.setOf(run);
        return set ? set->attributes->value(name) : nullptr;
    };
    Cursor run = s.runAt(index);
    const HVAttributeValue* value = valueOf(run);
    auto same = [&](Cursor other) {
        const HVAttributeValue* v = valueOf(other);
        return (!value && !v) || (value && v && *value == *v);
    };
    if (longestEffectiveRange) {
        Cursor lo = run, before = run;
        std::size_t loStart = s.runs.position(run);
        while (loStart > rangeLimit.location && s.runs.previous(before) && same(before)) {
            lo = before;
            loStart = s.runs.position(lo);
        }
        Cursor hi = run, after = run;
        std::size_t hiEnd = s.runEnd(run);
        while (hiEnd < rangeLimit.end() && s.runs.next(after) && same(after)) {
            hi = after;
            hiEnd = s.runEnd(hi);
        }
        std::size_t from = std::max(loStart, rangeLimit.location);
        std::size_t to = std::min(hiEnd, rangeLimit.end());
        *longestEffectiveRange = to > from ? HVRange{from, to - from} : HVRange{index, 0};
    }
    return value ? std::optional<HVAttributeValue>(*value) : std::nullopt;
}

void HVTextBuffer::setAttributes(const HVAttributesRef& attributes, HVRange range) {
    Storage& s = *m_storage;
    range = clip(range, length());
    if (range.length == 0)
        return;
    s.collectIfNeeded();
    const InternedSet* set = s.intern(attributes);
    s.rewriteRuns(range.location, range.end(), [&](const InternedSet*) { return set; });
    beginEditing();
    s.record(HVTextEdit::Attributes, range, range.length);
    endEditing();
}

void HVTextBuffer::setAttributes(const HVAttributes& attributes, HVRange range) {
    Storage& s = *m_storage;
    range = clip(range, length());
    if (range.length == 0)
        return;
    s.collectIfNeeded();
    const InternedSet* set = s.sets.internValue(attributes);
    HVAttributesRef shared = set ? set->attributes : nullptr;
    setAttributes(shared, range);
}

void HVTextBuffer::addAttributes(const HVAttributes& attributes, HVRange range) {
    Storage& s = *m_storage;
    range = clip(range, length());
    if (range.length == 0 || attributes.empty())
        return;
    s.collectIfNeeded();
    HVAttributesRef shared = s.sets.internValue(attributes)->attributes;
    addAttributes(shared, range);
}

void HVTextBuffer::addAttributes(const HVAttributesRef& attributes, HVRange range) {
    Storage& s = *m_storage;
    range = clip(range, length());
    if (range.length == 0 || !attributes || attributes->empty())
        return;
    s.collectIfNeeded();
    const InternedSet* added = s.intern(attributes);
    const InternedSet* lastOld = nullptr;
    const InternedSet* lastNew = nullptr;
    bool haveLast = false;
    s.rewriteRuns(range.location, range.end(), [&](const InternedSet* old) {
        if (!haveLast || old != lastOld) {
            lastOld = old;
            lastNew = s.sets.merge(old, added);
            haveLast = true;
        }
        return lastNew;
    });
    beginEditing();
    s.record(HVTextEdit::Attributes, range, range.length);
    endEditing();
}

void HVTextBuffer::addAttribute(std::string_view name, HVAttributeValue value, HVRange range) {
    addAttributes(HVAttributes().setting(name, std::move(value)), range);
}

void HVTextBuffer::removeAttribute(std::string_view name, HVRange range) {
    Storage& s = *m_storage;
    range = clip(range, length());
    if (range.length == 0)
        return;
    s.collectIfNeeded();
    auto& memo = s.sets.removals(name);
    s.rewriteRuns(range.location, range.end(), [&](const InternedSet* old) -> const InternedSet* {
        if (!old || !old->attributes->contains(name))
            return old;
        auto it = memo.find(old);
        if (it != memo.end())
            return it->second;
        const InternedSet* result = s.sets.internValue(old->attributes->removing(name));
        memo.emplace(old, result);
        return result;
    });
    beginEditing();
    s.record(HVTextEdit::Attributes, range, range.length);
    endEditing();
}

void HVTextBuffer::enumerateRuns(
    HVRange range, const std::function<void(HVRange, const HVAttributes&)>& body) const {
    const Storage& s = *m_storage;
    std::size_t length = this->length();
    range = clip(range, length);
    if (range.length == 0)
        return;
    auto run = s.runAt(range.location);
    std::size_t start = s.runs.position(run);
    while (start < range.end()) {
        std::size_t end = s.runEnd(run);
        const InternedSet* set = s.setOf(run);
        std::size_t from = std::max(start, range.location);
        std::size_t to = std::min(end, range.end());
        body({from, to - from}, set ? *set->attributes : *emptyAttributes());
        if (!s.runs.next(run))
            break;
        start = end;
    }
}

std::size_t HVTextBuffer::runCount() const {
    return m_storage->runs.size();
}

std::size_t HVTextBuffer::lineCount() const {
    return m_storage->lineStarts.size() + 1;
}

std::size_t HVTextBuffer::lineNumberForIndex(std::size_t index) const {
    const auto& starts = m_storage->lineStarts;
    Storage::LineStarts::Cursor cursor;
    if (!starts.findLast(std::min(index, length()), cursor))
        return 0;
    return starts.ordinal(cursor) + 1;
}

HVRange HVTextBuffer::lineRangeForIndex(std::size_t index) const {
    const auto& starts = m_storage->lineStarts;
    std::size_t length = this->length();
    Storage::LineStarts::Cursor cursor;
    if (!starts.findLast(std::min(index, length), cursor)) {
        std::size_t end = starts.size() > 0 ? starts.position({}) : length;
        return {0, end};
    }
    std::size_t start = starts.position(cursor);
    return {start, starts.nextPosition(cursor, length) - start};
}

HVRange HVTextBuffer::lineRangeForRange(HVRange range) const {
    range = clip(range, length());
    HVRange first = lineRangeForIndex(range.location);
    if (range.length == 0)
        return first;
    HVRange last = lineRangeForIndex(range.end() - 1);
    return {first.location, last.end() - first.location};
}

HVRange HVTextBuffer::rangeOfLine(std::size_t lineNumber) const {
    const auto& starts = m_storage->lineStarts;
    std::size_t length = this->length();
    if (lineNumber > starts.size())
        return {length, 0};
    std::size_t start = lineNumber == 0 ? 0 : starts.position(starts.at(lineNumber - 1));
    std::size_t end = lineNumber < starts.size() ? starts.position(starts.at(lineNumber)) : length;
    return {start, end - start};
}

HVTextBuffer::ObserverToken HVTextBuffer::addObserver(Observer observer) {
    ObserverToken token = m_storage->nextToken++;
    m_storage->observers.emplace(token, std::make_shared<Observer>(std::move(observer)));
    return token;
}

std::uint64_t HVTextBuffer::characterEditCount() const {
    return m_storage->characterEdits;
}

void HVTextBuffer::removeObserver(ObserverToken token) {
    m_storage->observers.erase(token);
}

HVTextBuffer::BlockCounts HVTextBuffer::blockCounts() const {
    const Storage& s = *m_storage;
    return {s.text.blockCount(), s.lineStarts.blockCount(), s.runs.blockCount()};
}

std::string HVTextBuffer::storageProblem() const {
    const Storage& s = *m_storage;
    std::string problem = s.text.problem();
    if (problem.empty())
        problem = s.lineStarts.problem(length());
    if (problem.empty())
        problem = s.runs.problem(length());
    if (problem.empty() && length() > 0 && (s.runs.size() == 0 || s.runs.position({}) != 0))
        problem = "the first run does not start at 0";
    return problem;
}
