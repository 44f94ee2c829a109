#include "HVTextBuffer.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <map>
#include <new>
#include <type_traits>
#include <unordered_map>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// Calls f(i) for every i < n where data[i] is LF or CR. Text is mostly free of them, so the
// scan tests eight code units at a time.
template <typename F> void forEachBreakCharacter(const char16_t* data, std::size_t n, F&& f) {
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i lf = _mm_set1_epi16(u'\n');
    const __m128i cr = _mm_set1_epi16(u'\r');
    for (; i + 8 <= n; i += 8) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
        __m128i hits = _mm_or_si128(_mm_cmpeq_epi16(v, lf), _mm_cmpeq_epi16(v, cr));
        unsigned mask = unsigned(_mm_movemask_epi8(hits));
        while (mask) {
            unsigned bit = unsigned(__builtin_ctz(mask));
            f(i + bit / 2);
            mask &= ~(3u << bit);
        }
    }
#endif
    for (; i < n; ++i) {
        if (data[i] == u'\n' || data[i] == u'\r')
            f(i);
    }
}

// Gives a gapped array of trivially copyable items a new capacity, keeping the items after the
// gap at its end. Large blocks grow by remapping their pages, so only the part after the gap
// is copied, and the new room costs no memory until it is used.
template <typename T>
T* resizeGapped(T* items, std::size_t capacity, std::size_t gapEnd, std::size_t newCapacity) {
    std::size_t tail = capacity - gapEnd;
    if (newCapacity < capacity && tail > 0)
        std::memmove(items + newCapacity - tail, items + gapEnd, tail * sizeof(T));
    void* resized = std::realloc(items, std::max<std::size_t>(newCapacity, 1) * sizeof(T));
    if (!resized)
        throw std::bad_alloc();
    items = static_cast<T*>(resized);
    if (newCapacity > capacity && tail > 0)
        std::memmove(items + newCapacity - tail, items + gapEnd, tail * sizeof(T));
    return items;
}

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};

// The characters, with a gap at the place of the last edit. The storage is left uninitialised:
// only what holds text is ever written.
class GapText {
public:
    std::size_t length() const { return m_capacity - gapLength(); }
    char16_t at(std::size_t index) const {
        return m_data[index < m_gapStart ? index : index + gapLength()];
    }
    // The characters before the gap start at index 0 of this.
    const char16_t* beforeGap() const { return m_data.get(); }
    std::size_t gapStart() const { return m_gapStart; }

    void copy(std::size_t from, std::size_t count, char16_t* out) const {
        if (from < m_gapStart) {
            std::size_t n = std::min(count, m_gapStart - from);
            std::memcpy(out, m_data.get() + from, n * sizeof(char16_t));
            out += n;
            from += n;
            count -= n;
        }
        if (count > 0)
            std::memcpy(out, m_data.get() + from + gapLength(), count * sizeof(char16_t));
    }

    void assign(std::u16string_view text) {
        std::size_t capacity = text.size() + spareFor(text.size());
        m_data.reset(resizeGapped<char16_t>(nullptr, 0, 0, capacity));
        m_capacity = capacity;
        if (!text.empty())
            std::memcpy(m_data.get(), text.data(), text.size() * sizeof(char16_t));
        m_gapStart = text.size();
        m_gapEnd = capacity;
    }

    std::u16string_view contiguous() {
        if (!m_data)
            return {};
        moveGap(length());
        return {m_data.get(), length()};
    }

    // The characters of [from, to) in one piece: the gap moves only when it lies inside them,
    // and then only to the nearer end, so a line near the last edit costs its own length.
    std::u16string_view contiguous(std::size_t from, std::size_t to) {
        if (!m_data || from >= to)
            return {};
        if (from < m_gapStart && to > m_gapStart)
            moveGap(m_gapStart - from < to - m_gapStart ? from : to);
        const char16_t* base = m_data.get() + (from < m_gapStart ? from : from + gapLength());
        return {base, to - from};
    }

    // Replaces [from, to) by text; afterwards the gap follows the new text.
    void replace(std::size_t from, std::size_t to, std::u16string_view text) {
        std::u16string own;
        std::less<const char16_t*> less;
        if (m_data && !less(text.data(), m_data.get()) &&
            less(text.data(), m_data.get() + m_capacity)) {
            own.assign(text);
            text = own;
        }
        if (m_gapStart < from)
            moveGap(from);
        else if (m_gapStart > to)
            moveGap(to);
        m_gapEnd += to - m_gapStart;
        m_gapStart = from;
        std::size_t remaining = length();
        std::size_t needed = remaining + text.size();
        bool tooSmall = gapLength() < text.size();
        bool wasteful = m_capacity > 4 * needed + (std::size_t(1) << 20);
        if (tooSmall || wasteful)
            reallocate(needed + spareFor(needed));
        if (!text.empty())
            std::memcpy(m_data.get() + m_gapStart, text.data(), text.size() * sizeof(char16_t));
        m_gapStart += text.size();
    }

private:
    static std::size_t spareFor(std::size_t length) {
        return std::max<std::size_t>(length / 64, 4096);
    }
    std::size_t gapLength() const { return m_gapEnd - m_gapStart; }

    void moveGap(std::size_t position) {
        std::size_t gap = gapLength();
        char16_t* data = m_data.get();
        if (position < m_gapStart)
            std::memmove(data + position + gap, data + position,
                         (m_gapStart - position) * sizeof(char16_t));
        else if (position > m_gapStart)
            std::memmove(data + m_gapStart, data + m_gapEnd,
                         (position - m_gapStart) * sizeof(char16_t));
        m_gapStart = position;
        m_gapEnd = position + gap;
    }

    void reallocate(std::size_t capacity) {
        std::size_t tail = m_capacity - m_gapEnd;
        char16_t* data = resizeGapped(m_data.get(), m_capacity, m_gapEnd, capacity);
        (void)m_data.release();
        m_data.reset(data);
        m_capacity = capacity;
        m_gapEnd = capacity - tail;
    }

    std::unique_ptr<char16_t[], FreeDeleter> m_data;
    std::size_t m_capacity = 0;
    std::size_t m_gapStart = 0;
    std::size_t m_gapEnd = 0;
};

struct NoPayload {};

// Ascending text positions with a payload each, stored with a gap. Entries before the gap hold
// their position; entries after it hold their distance from the end of the text, so that an
// edit at the gap moves every later entry without touching it. The gap must be at the edit
// (moveGap) before the length of the text changes.
template <typename Payload> class PositionGapVector {
public:
    struct Entry {
        std::size_t key;
        [[no_unique_address]] Payload payload;
    };

    std::size_t size() const { return m_capacity - gapLength(); }
    std::size_t position(std::size_t index, std::size_t textLength) const {
        return index < m_gapStart ? m_items[index].key
                                  : textLength - m_items[index + gapLength()].key;
    }
    const Payload& payload(std::size_t index) const {
        return m_items[index < m_gapStart ? index : index + gapLength()].payload;
    }

    // The first index whose position is greater than (upper) or not less than (lower) pos.
    std::size_t upperBound(std::size_t pos, std::size_t textLength) const {
        const Entry* begin = m_items.get();
        const Entry* before =
            std::upper_bound(begin, begin + m_gapStart, pos,
                             [](std::size_t p, const Entry& e) { return p < e.key; });
        if (before != begin + m_gapStart)
            return std::size_t(before - begin);
        std::size_t distance = textLength - pos;
        const Entry* after =
            std::partition_point(begin + m_gapEnd, begin + m_capacity,
                                 [&](const Entry& e) { return e.key >= distance; });
        return m_gapStart + std::size_t(after - (begin + m_gapEnd));
    }
    std::size_t lowerBound(std::size_t pos, std::size_t textLength) const {
        const Entry* begin = m_items.get();
        const Entry* before =
            std::lower_bound(begin, begin + m_gapStart, pos,
                             [](const Entry& e, std::size_t p) { return e.key < p; });
        if (before != begin + m_gapStart)
            return std::size_t(before - begin);
        std::size_t distance = textLength - pos;
        const Entry* after = std::partition_point(begin + m_gapEnd, begin + m_capacity,
                                                  [&](const Entry& e) { return e.key > distance; });
        return m_gapStart + std::size_t(after - (begin + m_gapEnd));
    }

    // Puts the gap before the entry at index.
    void moveGap(std::size_t index, std::size_t textLength) {
        Entry* items = m_items.get();
        while (m_gapStart > index) {
            const Entry& e = items[--m_gapStart];
            items[--m_gapEnd] = Entry{textLength - e.key, e.payload};
        }
        while (m_gapStart < index) {
            const Entry& e = items[m_gapEnd++];
            items[m_gapStart++] = Entry{textLength - e.key, e.payload};
        }
    }

    // The number of entries before the gap.
    std::size_t gapIndex() const { return m_gapStart; }
    bool hasBefore() const { return m_gapStart > 0; }
    const Entry& before() const { return m_items[m_gapStart - 1]; }
    bool hasAfter() const { return m_gapEnd < m_capacity; }
    const Entry& after() const { return m_items[m_gapEnd]; }
    void pushBefore(std::size_t position, Payload payload) {
        if (m_gapStart == m_gapEnd)
            reallocate(std::max<std::size_t>(64, m_capacity * 2));
        m_items[m_gapStart++] = Entry{position, payload};
    }
    void pushAfter(std::size_t distanceFromEnd, Payload payload) {
        if (m_gapStart == m_gapEnd)
            reallocate(std::max<std::size_t>(64, m_capacity * 2));
        m_items[--m_gapEnd] = Entry{distanceFromEnd, payload};
    }
    void popAfter() { ++m_gapEnd; }

    void clear() {
        m_items.reset();
        m_capacity = m_gapStart = m_gapEnd = 0;
    }
    // Room for count entries in all, with the gap at the end; only while empty.
    void reserve(std::size_t count) {
        clear();
        reallocate(count);
    }

    template <typename F> void forEachPayload(F&& f) const {
        for (std::size_t i = 0; i < m_gapStart; ++i)
            f(m_items[i].payload);
        for (std::size_t i = m_gapEnd; i < m_capacity; ++i)
            f(m_items[i].payload);
    }

private:
    std::size_t gapLength() const { return m_gapEnd - m_gapStart; }

    void reallocate(std::size_t capacity) {
        static_assert(std::is_trivially_copyable_v<Entry>);
        std::size_t tail = m_capacity - m_gapEnd;
        Entry* items = resizeGapped(m_items.get(), m_capacity, m_gapEnd, capacity);
        (void)m_items.release();
        m_items.reset(items);
        m_capacity = capacity;
        m_gapEnd = capacity - tail;
    }

    std::unique_ptr<Entry[], FreeDeleter> m_items;
    std::size_t m_capacity = 0;
    std::size_t m_gapStart = 0;
    std::size_t m_gapEnd = 0;
};

// One interned attribute set. Runs point at these; null stands for the empty set.
struct InternedSet {
    HVAttributesRef attributes;
    bool marked = false;
};

using SetMap = std::unordered_map<const InternedSet*, const InternedSet*>;

struct PairHash {
    std::size_t operator()(const std::pair<const InternedSet*, const InternedSet*>& p) const {
        return std::hash<const void*>()(p.first) * 31 + std::hash<const void*>()(p.second);
    }
};

} // namespace

struct HVTextBuffer::Storage {
    GapText text;
    // The starts of lines 1, 2, ...: the positions just after each line break.
    PositionGapVector<NoPayload> lineStarts;
    // The starts of the runs; the first is 0, and neighbours never share a set.
    PositionGapVector<const InternedSet*> runs;

    // Equal attribute sets share one object, so runs compare by pointer. Merges and removals
    // are remembered, so painting many tokens with few styles allocates nothing per token.
    std::unordered_map<std::size_t, std::vector<std::unique_ptr<InternedSet>>> internedByHash;
    std::unordered_map<const HVAttributes*, const InternedSet*> internedByObject;
    std::size_t internedCount = 0;
    std::size_t collectAt = 256;
    std::unordered_map<std::pair<const InternedSet*, const InternedSet*>, const InternedSet*,
                       PairHash>
        merges;
    std::unordered_map<std::string, SetMap> removals;
    // The sets interned last: a highlighter passes the same few sets again and again, and
    // comparing with them is cheaper than hashing.
    std::array<const InternedSet*, 4> recent{};
    std::size_t nextRecent = 0;

    std::map<ObserverToken, std::shared_ptr<Observer>> observers;
    ObserverToken nextToken = 1;
    int editingDepth = 0;
    HVTextEdit pending;

    std::size_t length() const { return text.length(); }

    // Interning.

    const InternedSet* intern(const HVAttributesRef& attributes) {
        if (!attributes || attributes->empty())
            return nullptr;
        auto known = internedByObject.find(attributes.get());
        if (known != internedByObject.end())
            return known->second;
        return internValue(*attributes, &attributes);
    }

    const InternedSet* internValue(const HVAttributes& attributes,
                                   const HVAttributesRef* shared = nullptr) {
        if (attributes.empty())
            return nullptr;
        for (const InternedSet* set : recent) {
            if (set && *set->attributes == attributes)
                return set;
        }
        auto& bucket = internedByHash[attributes.hash()];
        for (const auto& existing : bucket) {
            if (*existing->attributes == attributes)
                return remember(existing.get());
        }
        auto set = std::make_unique<InternedSet>();
        set->attributes = shared ? *shared : std::make_shared<const HVAttributes>(attributes);
        internedByObject.emplace(set->attributes.get(), set.get());
        bucket.push_back(std::move(set));
        ++internedCount;
        return remember(bucket.back().get());
    }

    const InternedSet* remember(const InternedSet* set) {
        recent[nextRecent++ % recent.size()] = set;
        return set;
    }

    const InternedSet* merge(const InternedSet* old, const InternedSet* added) {
        if (!old || !added || old == added)
            return added ? added : old;
        auto key = std::make_pair(old, added);
        auto it = merges.find(key);
        if (it != merges.end())
            return it->second;
        const InternedSet* result = internValue(old->attributes->adding(*added->attributes));
        merges.emplace(key, result);
        return result;
    }

    // Drops the sets that no run uses once many were made, such as the sets of attachments
    // of regions that were expanded again. Runs only at the start of an operation, while no
    // set pointers are held elsewhere.
    void collectIfNeeded() {
        if (internedCount < collectAt)
            return;
        runs.forEachPayload([](const InternedSet* set) {
            if (set)
                const_cast<InternedSet*>(set)->marked = true;
        });
        merges.clear();
        removals.clear();
        recent.fill(nullptr);
        internedCount = 0;
        for (auto bucket = internedByHash.begin(); bucket != internedByHash.end();) {
            auto& sets = bucket->second;
            std::erase_if(sets, [&](const std::unique_ptr<InternedSet>& set) {
                if (set->marked)
                    return false;
                internedByObject.erase(set->attributes.get());
                return true;
            });
            for (auto& set : sets)
                set->marked = false;
            internedCount += sets.size();
            bucket = sets.empty() ? internedByHash.erase(bucket) : std::next(bucket);
        }
        collectAt = std::max<std::size_t>(256, internedCount * 2);
    }

    // Runs.

    std::size_t runIndexAt(std::size_t position) const {
        // Edits go mostly left to right from the last one: look beside the gap first.
        std::size_t length = this->length();
        std::size_t gap = runs.gapIndex();
        std::size_t count = runs.size();
        auto holds = [&](std::size_t index) {
            return runs.position(index, length) <= position &&
                   (index + 1 == count || position < runs.position(index + 1, length));
        };
        if (gap < count && holds(gap))
            return gap;
        if (gap > 0 && holds(gap - 1))
            return gap - 1;
        return runs.upperBound(position, length) - 1;
    }
    std::size_t runEnd(std::size_t index) const {
        return index + 1 < runs.size() ? runs.position(index + 1, length()) : length();
    }
    const InternedSet* runSet(std::size_t index) const { return runs.payload(index); }

    void pushRun(std::size_t start, const InternedSet* set) {
        if (runs.hasBefore() && runs.before().payload == set)
            return;
        runs.pushBefore(start, set);
    }

    // Gives every part of the runs within [from, to) the set transform(old set), in one pass
    // that splits at the ends and joins equal neighbours. Leaves the gap after the range.
    template <typename F> void rewriteRuns(std::size_t from, std::size_t to, F&& transform) {
        std::size_t length = this->length();
        runs.moveGap(runIndexAt(from), length);
        while (runs.hasAfter()) {
            std::size_t start = length - runs.after().key;
            if (start >= to)
                break;
            const InternedSet* set = runs.after().payload;
            runs.popAfter();
            std::size_t end = runs.hasAfter() ? length - runs.after().key : length;
            if (start < from)
                pushRun(start, set);
            pushRun(std::max(start, from), transform(set));
            if (end > to)
                pushRun(to, set);
        }
        if (runs.hasAfter() && runs.hasBefore() && runs.after().payload == runs.before().payload)
            runs.popAfter();
    }

    // Runs for the replacement of [from, to) of a text of oldLength by count characters.
    void replaceRuns(std::size_t from, std::size_t to, std::size_t count, const InternedSet* set,
                     std::size_t oldLength) {
        if (oldLength == 0) {
            runs.clear();
            if (count > 0)
                runs.pushBefore(0, set);
            return;
        }
        std::size_t index = from < oldLength ? runs.upperBound(from, oldLength) - 1 : runs.size();
        runs.moveGap(index, oldLength);
        while (runs.hasAfter()) {
            std::size_t start = oldLength - runs.after().key;
            if (start >= to)
                break;
            const InternedSet* old = runs.after().payload;
            runs.popAfter();
            std::size_t end = runs.hasAfter() ? oldLength - runs.after().key : oldLength;
            if (start < from)
                pushRun(start, old);
            if (end > to) {
                // The part behind the replaced range keeps its distance from the end.
                runs.pushAfter(oldLength - to, old);
                break;
            }
        }
        if (count > 0)
            pushRun(from, set);
        if (runs.hasAfter() && runs.hasBefore() && runs.after().payload == runs.before().payload)
            runs.popAfter();
        if (oldLength - (to - from) + count == 0)
            runs.clear();
    }

    // Lines.

    // Before the characters of [from, to) change: forgets the line starts that they decide.
    void removeLineStarts(std::size_t from, std::size_t to) {
        std::size_t length = this->length();
        lineStarts.moveGap(lineStarts.lowerBound(from, length), length);
        while (lineStarts.hasAfter() && length - lineStarts.after().key <= to)
            lineStarts.popAfter();
    }

    // After count characters went in at from (the text gap now follows them): adds the line
    // starts in [from, from + count), which depend on the characters from from - 1 to
    // from + count.
    void addLineStarts(std::size_t from, std::size_t count) {
        std::size_t length = this->length();
        std::size_t first = from > 0 ? from - 1 : 0;
        std::size_t end = from + count;
        const char16_t* data = text.beforeGap();
        forEachBreakCharacter(data + first, end - first, [&](std::size_t offset) {
            std::size_t i = first + offset;
            if (data[i] == u'\n' || i + 1 == length || text.at(i + 1) != u'\n')
                lineStarts.pushBefore(i + 1, NoPayload{});
        });
    }

    void assign(std::u16string_view characters) {
        text.assign(characters);
        runs.clear();
        if (!characters.empty())
            runs.pushBefore(0, nullptr);
        std::size_t breaks = 0;
        forEachBreakCharacter(characters.data(), characters.size(), [&](std::size_t) { ++breaks; });
        lineStarts.clear();
        lineStarts.reserve(breaks + breaks / 16 + 16);
        addLineStarts(0, characters.size());
    }

    // Notifications.

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
    m_storage->assign(text);
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
    return m_storage->text.contiguous();
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
    replaceCharacters(range, text, attributes);
}

void HVTextBuffer::replaceCharacters(HVRange range, std::u16string_view text,
                                     const HVAttributesRef& attributes) {
    Storage& s = *m_storage;
    range = clip(range, length());
    if (range.length == 0 && text.empty())
        return;
    s.collectIfNeeded();
    const InternedSet* set = s.intern(attributes);
    std::size_t oldLength = s.length();
    s.removeLineStarts(range.location, range.end());
    s.replaceRuns(range.location, range.end(), text.size(), set, oldLength);
    s.text.replace(range.location, range.end(), text);
    s.addLineStarts(range.location, text.size());
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
    std::size_t run = s.runIndexAt(index);
    if (effectiveRange) {
        std::size_t start = s.runs.position(run, length());
        *effectiveRange = {start, s.runEnd(run) - start};
    }
    const InternedSet* set = s.runSet(run);
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
    auto valueOf = [&](std::size_t run) -> const HVAttributeValue* {
        const InternedSet* set = s.runSet(run);
        return set ? set->attributes->value(name) : nullptr;
    };
    std::size_t run = s.runIndexAt(index);
    const HVAttributeValue* value = valueOf(run);
    auto same = [&](std::size_t other) {
        const HVAttributeValue* v = valueOf(other);
        return (!value && !v) || (value && v && *value == *v);
    };
    if (longestEffectiveRange) {
        std::size_t lo = run, loStart = s.runs.position(run, length);
        while (lo > 0 && loStart > rangeLimit.location && same(lo - 1)) {
            --lo;
            loStart = s.runs.position(lo, length);
        }
        std::size_t hi = run, hiEnd = s.runEnd(run);
        while (hi + 1 < s.runs.size() && hiEnd < rangeLimit.end() && same(hi + 1)) {
            ++hi;
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
    const InternedSet* set = s.internValue(attributes);
    HVAttributesRef shared = set ? set->attributes : nullptr;
    setAttributes(shared, range);
}

void HVTextBuffer::addAttributes(const HVAttributes& attributes, HVRange range) {
    Storage& s = *m_storage;
    range = clip(range, length());
    if (range.length == 0 || attributes.empty())
        return;
    s.collectIfNeeded();
    HVAttributesRef shared = s.internValue(attributes)->attributes;
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
            lastNew = s.merge(old, added);
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
    SetMap& memo = s.removals[std::string(name)];
    s.rewriteRuns(range.location, range.end(), [&](const InternedSet* old) -> const InternedSet* {
        if (!old || !old->attributes->contains(name))
            return old;
        auto it = memo.find(old);
        if (it != memo.end())
            return it->second;
        const InternedSet* result = s.internValue(old->attributes->removing(name));
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
    for (std::size_t run = s.runIndexAt(range.location); run < s.runs.size(); ++run) {
        std::size_t start = s.runs.position(run, length);
        if (start >= range.end())
            break;
        std::size_t from = std::max(start, range.location);
        std::size_t to = std::min(s.runEnd(run), range.end());
        const InternedSet* set = s.runSet(run);
        body({from, to - from}, set ? *set->attributes : *emptyAttributes());
    }
}

std::size_t HVTextBuffer::runCount() const {
    return m_storage->runs.size();
}

std::size_t HVTextBuffer::lineCount() const {
    return m_storage->lineStarts.size() + 1;
}

std::size_t HVTextBuffer::lineNumberForIndex(std::size_t index) const {
    index = std::min(index, length());
    return m_storage->lineStarts.upperBound(index, length());
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
    std::size_t length = this->length();
    if (lineNumber > starts.size())
        return {length, 0};
    std::size_t start = lineNumber == 0 ? 0 : starts.position(lineNumber - 1, length);
    std::size_t end = lineNumber < starts.size() ? starts.position(lineNumber, length) : length;
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
