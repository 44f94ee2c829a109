#include "HVTextBuffer.h"

#include <algorithm>
#include <map>
#include <unordered_map>
#include <vector>

namespace {

struct Run {
    std::size_t length;
    HVAttributesRef attributes; // interned; null for the empty set
};

const HVAttributesRef& emptyAttributes() {
    static const HVAttributesRef empty = std::make_shared<const HVAttributes>();
    return empty;
}

HVRange clip(HVRange range, std::size_t length) {
    if (range.location > length)
        return {length, 0};
    return {range.location, std::min(range.length, length - range.location)};
}

} // namespace

struct HVTextBuffer::Storage {
    std::u16string text;
    std::vector<Run> runs;
    std::vector<std::size_t> lineStarts{0};

    // Equal attribute sets share one object, so runs compare by pointer.
    std::unordered_map<std::size_t, std::vector<HVAttributesRef>> interned;

    std::map<ObserverToken, std::shared_ptr<Observer>> observers;
    ObserverToken nextToken = 1;
    int editingDepth = 0;
    HVTextEdit pending;

    HVAttributesRef intern(const HVAttributesRef& attributes) {
        if (!attributes || attributes->empty())
            return nullptr;
        auto& bucket = interned[attributes->hash()];
        for (const auto& existing : bucket) {
            if (*existing == *attributes)
                return existing;
        }
        bucket.push_back(attributes);
        return attributes;
    }

    HVAttributesRef intern(HVAttributes&& attributes) {
        if (attributes.empty())
            return nullptr;
        return intern(std::make_shared<const HVAttributes>(std::move(attributes)));
    }

    // Index of the run holding position (the last run when position is the end), and its start.
    std::pair<std::size_t, std::size_t> runAt(std::size_t position) const {
        std::size_t start = 0;
        for (std::size_t i = 0; i < runs.size(); ++i) {
            if (position < start + runs[i].length)
                return {i, start};
            start += runs[i].length;
        }
        return {runs.size(), start};
    }

    // Makes position a run boundary; returns the index of the run starting there.
    std::size_t split(std::size_t position) {
        auto [index, start] = runAt(position);
        if (index == runs.size() || start == position)
            return index;
        Run tail{runs[index].length - (position - start), runs[index].attributes};
        runs[index].length = position - start;
        runs.insert(runs.begin() + std::ptrdiff_t(index) + 1, tail);
        return index + 1;
    }

    void mergeRuns() {
        std::vector<Run> merged;
        merged.reserve(runs.size());
        for (auto& run : runs) {
            if (run.length == 0)
                continue;
            if (!merged.empty() && merged.back().attributes == run.attributes)
                merged.back().length += run.length;
            else
                merged.push_back(std::move(run));
        }
        runs = std::move(merged);
    }

    void rebuildLines() {
        lineStarts.assign(1, 0);
        for (std::size_t i = 0; i < text.size(); ++i) {
            char16_t c = text[i];
            if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
                lineStarts.push_back(i + 2);
                ++i;
            } else if (c == u'\n' || c == u'\r') {
                lineStarts.push_back(i + 1);
            }
        }
    }

    void record(unsigned mask, HVRange oldRange, std::size_t newLength) {
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

HVTextBuffer::HVTextBuffer() : m_storage(std::make_unique<Storage>()) {}

HVTextBuffer::HVTextBuffer(std::u16string_view text) : HVTextBuffer() {
    m_storage->text.assign(text);
    if (!text.empty())
        m_storage->runs.push_back({text.size(), nullptr});
    m_storage->rebuildLines();
}

HVTextBuffer::~HVTextBuffer() = default;

std::size_t HVTextBuffer::length() const {
    return m_storage->text.size();
}

char16_t HVTextBuffer::characterAtIndex(std::size_t index) const {
    return index < m_storage->text.size() ? m_storage->text[index] : 0;
}

std::u16string HVTextBuffer::substring(HVRange range) const {
    range = clip(range, length());
    return m_storage->text.substr(range.location, range.length);
}

std::u16string_view HVTextBuffer::string() const {
    return m_storage->text;
}

void HVTextBuffer::replaceCharacters(HVRange range, std::u16string_view text) {
    range = clip(range, length());
    HVAttributesRef attributes;
    if (range.length > 0)
        attributes = attributesAtIndex(range.location);
    else if (range.location > 0)
        attributes = attributesAtIndex(range.location - 1);
    replaceCharacters(range, text, attributes);
}

void HVTextBuffer::replaceCharacters(HVRange range, std::u16string_view text,
                                     const HVAttributesRef& attributes) {
    Storage& s = *m_storage;
    range = clip(range, length());
    std::size_t first = s.split(range.location);
    std::size_t last = s.split(range.end());
    s.runs.erase(s.runs.begin() + std::ptrdiff_t(first), s.runs.begin() + std::ptrdiff_t(last));
    if (!text.empty())
        s.runs.insert(s.runs.begin() + std::ptrdiff_t(first),
                      Run{text.size(), s.intern(attributes)});
    s.mergeRuns();
    s.text.replace(range.location, range.length, text);
    s.rebuildLines();
    beginEditing();
    s.record(HVTextEdit::Characters, range, text.size());
    endEditing();
}

void HVTextBuffer::setString(std::u16string_view text) {
    replaceCharacters({0, length()}, text, nullptr);
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
    std::vector<std::shared_ptr<Observer>> observers;
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
    auto [run, start] = s.runAt(index);
    if (effectiveRange)
        *effectiveRange = {start, s.runs[run].length};
    return s.runs[run].attributes ? s.runs[run].attributes : emptyAttributes();
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
    if (index >= length()) {
        if (longestEffectiveRange)
            *longestEffectiveRange = {0, 0};
        return std::nullopt;
    }
    auto valueOf = [&](const HVAttributesRef& attributes) -> const HVAttributeValue* {
        return attributes ? attributes->value(name) : nullptr;
    };
    auto [run, start] = s.runAt(index);
    const HVAttributeValue* value = valueOf(s.runs[run].attributes);
    auto same = [&](std::size_t i) {
        const HVAttributeValue* other = valueOf(s.runs[i].attributes);
        return (!value && !other) || (value && other && *value == *other);
    };
    if (longestEffectiveRange) {
        std::size_t lo = run, loStart = start;
        while (lo > 0 && loStart > rangeLimit.location && same(lo - 1)) {
            --lo;
            loStart -= s.runs[lo].length;
        }
        std::size_t hi = run, hiEnd = start + s.runs[run].length;
        while (hi + 1 < s.runs.size() && hiEnd < rangeLimit.end() && same(hi + 1)) {
            ++hi;
            hiEnd += s.runs[hi].length;
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
    std::size_t first = s.split(range.location);
    std::size_t last = s.split(range.end());
    s.runs.erase(s.runs.begin() + std::ptrdiff_t(first), s.runs.begin() + std::ptrdiff_t(last));
    s.runs.insert(s.runs.begin() + std::ptrdiff_t(first), Run{range.length, s.intern(attributes)});
    s.mergeRuns();
    beginEditing();
    s.record(HVTextEdit::Attributes, range, range.length);
    endEditing();
}

void HVTextBuffer::setAttributes(const HVAttributes& attributes, HVRange range) {
    setAttributes(std::make_shared<const HVAttributes>(attributes), range);
}

void HVTextBuffer::addAttributes(const HVAttributes& attributes, HVRange range) {
    Storage& s = *m_storage;
    range = clip(range, length());
    if (range.length == 0 || attributes.empty())
        return;
    std::size_t first = s.split(range.location);
    std::size_t last = s.split(range.end());
    for (std::size_t i = first; i < last; ++i) {
        const HVAttributesRef& old = s.runs[i].attributes;
        s.runs[i].attributes = s.intern(old ? old->adding(attributes) : HVAttributes(attributes));
    }
    s.mergeRuns();
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
    std::size_t first = s.split(range.location);
    std::size_t last = s.split(range.end());
    for (std::size_t i = first; i < last; ++i) {
        const HVAttributesRef& old = s.runs[i].attributes;
        if (old && old->contains(name))
            s.runs[i].attributes = s.intern(old->removing(name));
    }
    s.mergeRuns();
    beginEditing();
    s.record(HVTextEdit::Attributes, range, range.length);
    endEditing();
}

void HVTextBuffer::enumerateRuns(
    HVRange range, const std::function<void(HVRange, const HVAttributes&)>& body) const {
    const Storage& s = *m_storage;
    range = clip(range, length());
    std::size_t start = 0;
    for (const auto& run : s.runs) {
        std::size_t end = start + run.length;
        std::size_t from = std::max(start, range.location);
        std::size_t to = std::min(end, range.end());
        if (from < to)
            body({from, to - from}, run.attributes ? *run.attributes : *emptyAttributes());
        if (end >= range.end())
            break;
        start = end;
    }
}

std::size_t HVTextBuffer::runCount() const {
    return m_storage->runs.size();
}

std::size_t HVTextBuffer::lineCount() const {
    return m_storage->lineStarts.size();
}

std::size_t HVTextBuffer::lineNumberForIndex(std::size_t index) const {
    const auto& starts = m_storage->lineStarts;
    index = std::min(index, length());
    return std::size_t(std::upper_bound(starts.begin(), starts.end(), index) - starts.begin()) - 1;
}

HVRange HVTextBuffer::lineRangeForIndex(std::size_t index) const {
    return rangeOfLine(lineNumberForIndex(index));
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
    if (lineNumber >= starts.size())
        return {length(), 0};
    std::size_t start = starts[lineNumber];
    std::size_t end = lineNumber + 1 < starts.size() ? starts[lineNumber + 1] : length();
    return {start, end - start};
}

HVTextBuffer::ObserverToken HVTextBuffer::addObserver(Observer observer) {
    ObserverToken token = m_storage->nextToken++;
    m_storage->observers.emplace(token, std::make_shared<Observer>(std::move(observer)));
    return token;
}

void HVTextBuffer::removeObserver(ObserverToken token) {
    m_storage->observers.erase(token);
}
