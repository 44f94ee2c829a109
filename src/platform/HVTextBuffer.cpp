#include "HVTextBuffer.h"

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

// Ascending offsets (the starts of blocks, or the number of entries before them) to which an
// edit adds its change from some index on. The addition is kept pending and carried out only
// as far as the next addition elsewhere needs it: edits at one place cost nothing here, and
// edits far apart cost the number of offsets between them. Arithmetic is modulo 2^64, so a
// negative change is added as its two's complement.
class ShiftedOffsets {
public:
    std::size_t size() const { return m_values.size(); }
    std::size_t operator[](std::size_t index) const {
        return index < m_from ? m_values[index] : m_values[index] + m_pending;
    }
    void set(std::size_t index, std::size_t value) {
        m_values[index] = index < m_from ? value : value - m_pending;
    }

    // Adds delta to every offset from index on.
    void add(std::size_t index, std::size_t delta) {
        std::size_t count = m_values.size();
        if (delta == 0 || index >= count)
            return;
        // The pending stretch starts at the last edit, so that the next edit there is free.
        if (m_pending != 0) {
            for (std::size_t i = m_from; i < index; ++i)
                m_values[i] += m_pending;
            for (std::size_t i = index; i < m_from; ++i)
                m_values[i] -= m_pending;
        }
        m_from = index;
        m_pending += delta;
        if (m_pending == 0)
            m_from = 0;
    }

    // The first index whose offset is greater than value.
    std::size_t upperBound(std::size_t value) const {
        auto begin = m_values.begin();
        auto split = begin + std::ptrdiff_t(std::min(m_from, m_values.size()));
        auto found = std::upper_bound(begin, split, value);
        if (found != split)
            return std::size_t(found - begin);
        std::size_t pending = m_pending;
        found = std::partition_point(split, m_values.end(),
                                     [&](std::size_t v) { return v + pending <= value; });
        return std::size_t(found - begin);
    }

    // The offsets with the pending addition carried out, for changes of their number.
    std::vector<std::size_t>& values() {
        for (std::size_t i = m_from; i < m_values.size(); ++i)
            m_values[i] += m_pending;
        m_pending = 0;
        m_from = 0;
        return m_values;
    }

private:
    std::vector<std::size_t> m_values;
    std::size_t m_from = 0;
    std::size_t m_pending = 0;
};

// One block of characters: a small gap buffer, so that typing at one place moves nothing. The
// storage is left uninitialised: only what holds text is ever written.
//
// Text that arrives in one piece (a file, a large paste) is kept in one shared allocation, of
// which each block holds a slice without room to spare: ranges over blocks untouched since are
// then still one piece in memory. A block moves to storage of its own when it first grows; the
// allocation is freed when no block holds a slice of it any more, as when string() repacks
// the whole text. (Giving back the pages of each slice as its block leaves would cost a system
// call per block, which on some machines takes longer than the copy.)
class TextBlock {
public:
    TextBlock(std::u16string_view text, std::size_t capacity)
        : m_own(std::make_unique_for_overwrite<char16_t[]>(capacity)), m_data(m_own.get()),
          m_capacity(capacity), m_gapStart(text.size()), m_gapEnd(capacity) {
        if (!text.empty())
            std::memcpy(m_data, text.data(), text.size() * sizeof(char16_t));
    }
    TextBlock(std::shared_ptr<char16_t[]> shared, char16_t* slice, std::size_t size)
        : m_shared(std::move(shared)), m_data(slice), m_capacity(size), m_gapStart(size),
          m_gapEnd(size) {}

    std::size_t size() const { return m_capacity - gapLength(); }
    bool full() const { return m_gapStart == m_gapEnd; }
    // Whether the characters fill the storage, and end where next's begin in memory.
    bool runsInto(const TextBlock& next) const {
        return full() && m_data + m_capacity == next.m_data;
    }
    // The characters when they fill the storage.
    const char16_t* data() const { return m_data; }
    char16_t at(std::size_t index) const {
        return m_data[index < m_gapStart ? index : index + gapLength()];
    }
    bool holds(const char16_t* p) const {
        std::less<const char16_t*> less;
        return !less(p, m_data) && less(p, m_data + m_capacity);
    }

    void copy(std::size_t from, std::size_t count, char16_t* out) const {
        if (from < m_gapStart) {
            std::size_t n = std::min(count, m_gapStart - from);
            std::memcpy(out, m_data + from, n * sizeof(char16_t));
            out += n;
            from += n;
            count -= n;
        }
        if (count > 0)
            std::memcpy(out, m_data + from + gapLength(), count * sizeof(char16_t));
    }

    // The characters of [from, to) in one piece: the gap moves out of them, to the nearer end,
    // only when it lies inside.
    const char16_t* contiguous(std::size_t from, std::size_t to) {
        if (from < m_gapStart && to > m_gapStart && gapLength() > 0)
            moveGap(m_gapStart - from < to - m_gapStart ? from : to);
        return m_data + (from < m_gapStart ? from : from + gapLength());
    }

    // Replaces [from, to) by text, which must not lie in this block; the result must fit in
    // maximum. Afterwards the gap follows the new text.
    void replace(std::size_t from, std::size_t to, std::u16string_view text, std::size_t maximum) {
        if (m_gapStart < from)
            moveGap(from);
        else if (m_gapStart > to)
            moveGap(to);
        m_gapEnd += to - m_gapStart;
        m_gapStart = from;
        if (gapLength() < text.size()) {
            std::size_t needed = size() + text.size();
            reallocate(std::min(maximum, needed + std::max<std::size_t>(needed / 4, 16)));
        }
        if (!text.empty())
            std::memcpy(m_data + m_gapStart, text.data(), text.size() * sizeof(char16_t));
        m_gapStart += text.size();
    }

private:
    std::size_t gapLength() const { return m_gapEnd - m_gapStart; }

    void moveGap(std::size_t position) {
        std::size_t gap = gapLength();
        char16_t* data = m_data;
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
        auto data = std::make_unique_for_overwrite<char16_t[]>(capacity);
        std::size_t tail = m_capacity - m_gapEnd;
        std::memcpy(data.get(), m_data, m_gapStart * sizeof(char16_t));
        std::memcpy(data.get() + capacity - tail, m_data + m_gapEnd, tail * sizeof(char16_t));
        m_shared.reset();
        m_own = std::move(data);
        m_data = m_own.get();
        m_gapEnd = capacity - tail;
        m_capacity = capacity;
    }

    std::unique_ptr<char16_t[]> m_own;
    std::shared_ptr<char16_t[]> m_shared;
    char16_t* m_data = nullptr;
    std::size_t m_capacity = 0;
    std::size_t m_gapStart = 0;
    std::size_t m_gapEnd = 0;
};

// The characters, in blocks of at most m_max code units and, unless there is only one, at
// least m_max / 4. There is no block while the text is empty.
class BlockedText {
public:
    explicit BlockedText(std::size_t maximum)
        : m_max(std::max<std::size_t>(maximum, 4)), m_min(m_max / 4), m_target(m_max * 3 / 4) {}

    std::size_t length() const { return m_length; }
    std::size_t blockCount() const { return m_blocks.size(); }

    // index < length().
    char16_t at(std::size_t index) const {
        std::size_t b = blockAt(index);
        return m_blocks[b].at(index - m_starts[b]);
    }

    void copy(std::size_t from, std::size_t count, char16_t* out) const {
        if (count == 0)
            return;
        std::size_t b = blockAt(from);
        std::size_t offset = from - m_starts[b];
        while (count > 0) {
            std::size_t n = std::min(count, m_blocks[b].size() - offset);
            m_blocks[b].copy(offset, n, out);
            out += n;
            count -= n;
            ++b;
            offset = 0;
        }
    }

    // Whether p points into the storage of a block.
    bool holds(const char16_t* p) const {
        return std::any_of(m_blocks.begin(), m_blocks.end(),
                           [&](const TextBlock& block) { return block.holds(p); });
    }

    // The whole text in one piece. Text in several blocks is first put in one allocation
    // (repack), so that no second copy of the text is kept.
    std::u16string_view whole() {
        if (m_length == 0)
            return {};
        if (m_blocks.size() == 1)
            return {m_blocks[0].contiguous(0, m_length), m_length};
        if (!inOnePiece(0, m_blocks.size() - 1))
            repack(0, m_blocks.size());
        return {m_blocks[0].data(), m_length};
    }

    // The characters of [from, to) in one piece: a view into a block, or into blocks that lie
    // one after the other in memory; else a copy into the scratch buffer when the range is
    // small, and a repack of its blocks when it is large.
    std::u16string_view contiguous(std::size_t from, std::size_t to) {
        if (from >= to)
            return {};
        std::size_t b = blockAt(from);
        std::size_t start = m_starts[b];
        if (to - start <= m_blocks[b].size())
            return {m_blocks[b].contiguous(from - start, to - start), to - from};
        std::size_t last = blockAt(to - 1);
        if (!inOnePiece(b, last)) {
            if (to - from <= 4 * m_max) {
                if (m_scratchCapacity < to - from) {
                    m_scratchCapacity = std::max(to - from, 2 * m_scratchCapacity);
                    m_scratch = std::make_unique_for_overwrite<char16_t[]>(m_scratchCapacity);
                }
                copy(from, to - from, m_scratch.get());
                return {m_scratch.get(), to - from};
            }
            repack(b, last + 1);
            b = blockAt(from);
            start = m_starts[b];
        }
        return {m_blocks[b].data() + (from - start), to - from};
    }

    // Takes the characters of a whole text into an empty text without copying a large one:
    // its blocks are slices of the string's own storage.
    void adopt(std::u16string&& text) {
        std::size_t n = text.size();
        if (n <= 4 * m_target) {
            replace(0, 0, text);
            return;
        }
        auto holder = std::make_shared<std::u16string>(std::move(text));
        std::shared_ptr<char16_t[]> shared(holder, holder->data());
        place(0, 0, shared, n);
        m_length = n;
    }

    // Replaces [from, to) by text, which must not lie in a block.
    void replace(std::size_t from, std::size_t to, std::u16string_view text) {
        std::size_t removed = to - from;
        if (m_blocks.empty()) {
            rebuild(0, 0, text);
        } else {
            std::size_t b = blockAt(from);
            std::size_t start = m_starts[b];
            TextBlock& block = m_blocks[b];
            std::size_t kept = block.size() - std::min(block.size(), removed);
            bool inside = to - start <= block.size();
            std::size_t newSize = kept + text.size();
            if (inside && newSize > 0 && newSize <= m_max &&
                (newSize >= m_min || m_blocks.size() == 1)) {
                block.replace(from - start, to - start, text, m_max);
                m_starts.add(b + 1, text.size() - removed);
            } else {
                replaceAcrossBlocks(b, from, to, text);
            }
        }
        m_length = m_length - removed + text.size();
    }

    std::string problem() const {
        std::size_t total = 0;
        for (std::size_t b = 0; b < m_blocks.size(); ++b) {
            std::size_t size = m_blocks[b].size();
            if (m_starts[b] != total)
                return "text block " + std::to_string(b) + " starts at " +
                       std::to_string(m_starts[b]) + " instead of " + std::to_string(total);
            if (size > m_max || size == 0 || (size < m_min && m_blocks.size() > 1))
                return "text block " + std::to_string(b) + " holds " + std::to_string(size);
            total += size;
        }
        if (total != m_length)
            return "text blocks hold " + std::to_string(total) + " of " + std::to_string(m_length);
        return "";
    }

private:
    // The last block whose start is at or before index; the one found last is tried first.
    std::size_t blockAt(std::size_t index) const {
        std::size_t count = m_blocks.size();
        std::size_t hint = m_hint;
        if (hint < count && m_starts[hint] <= index &&
            (hint + 1 == count || index < m_starts[hint + 1]))
            return hint;
        std::size_t b = m_starts.upperBound(index);
        m_hint = b > 0 ? b - 1 : 0;
        return m_hint;
    }

    // Whether the blocks [first, last] lie one after the other in memory, without gaps.
    bool inOnePiece(std::size_t first, std::size_t last) const {
        for (std::size_t b = first; b < last; ++b) {
            if (!m_blocks[b].runsInto(m_blocks[b + 1]))
                return false;
        }
        return m_blocks[last].full();
    }

    void replaceAcrossBlocks(std::size_t b, std::size_t from, std::size_t to,
                             std::u16string_view text) {
        std::size_t first = b;
        std::size_t last = to > from ? blockAt(to - 1) : b;
        std::size_t firstStart = m_starts[first];
        std::size_t lastEnd = m_starts[last] + m_blocks[last].size();
        // A small remainder joins a neighbour.
        if ((from - firstStart) + text.size() + (lastEnd - to) < m_min) {
            if (last + 1 < m_blocks.size()) {
                ++last;
                lastEnd += m_blocks[last].size();
            } else if (first > 0) {
                --first;
                firstStart = m_starts[first];
            }
        }
        if (firstStart == from && lastEnd == to) {
            rebuild(first, last + 1, text);
            return;
        }
        std::size_t before = from - firstStart, n = before + text.size() + lastEnd - to;
        auto fill = [&](char16_t* out) {
            copy(firstStart, before, out);
            std::copy(text.begin(), text.end(), out + before);
            copy(to, lastEnd - to, out + before + text.size());
        };
        if (n > 4 * m_target) {
            auto shared = std::make_shared_for_overwrite<char16_t[]>(n);
            fill(shared.get());
            place(first, last + 1, shared, n);
        } else {
            std::u16string content(n, u'\0');
            fill(content.data());
            rebuild(first, last + 1, content);
        }
    }

    // Puts the content in place of the blocks [first, end), in blocks of about m_target; a
    // large content goes into one allocation.
    void rebuild(std::size_t first, std::size_t end, std::u16string_view content) {
        std::size_t n = content.size();
        if (n > 4 * m_target) {
            auto shared = std::make_shared_for_overwrite<char16_t[]>(n);
            std::memcpy(shared.get(), content.data(), n * sizeof(char16_t));
            place(first, end, shared, n);
            return;
        }
        std::size_t k = (n + m_target - 1) / m_target;
        std::vector<TextBlock> fresh;
        fresh.reserve(k);
        for (std::size_t i = 0; i < k; ++i) {
            std::size_t lo = n * i / k, hi = n * (i + 1) / k;
            std::size_t spare = std::max<std::size_t>(m_max / 16, 4);
            fresh.emplace_back(content.substr(lo, hi - lo), std::min(m_max, hi - lo + spare));
        }
        replaceBlocks(first, end, fresh);
    }

    // Puts the characters of the blocks [first, end) in one allocation.
    void repack(std::size_t first, std::size_t end) {
        std::size_t from = m_starts[first];
        std::size_t n = m_starts[end - 1] + m_blocks[end - 1].size() - from;
        auto shared = std::make_shared_for_overwrite<char16_t[]>(n);
        copy(from, n, shared.get());
        place(first, end, shared, n);
    }

    // Puts the n characters of shared in place of the blocks [first, end), as slices of it.
    void place(std::size_t first, std::size_t end, const std::shared_ptr<char16_t[]>& shared,
               std::size_t n) {
        std::size_t k = (n + m_target - 1) / m_target;
        std::vector<TextBlock> fresh;
        fresh.reserve(k);
        for (std::size_t i = 0; i < k; ++i) {
            std::size_t lo = n * i / k, hi = n * (i + 1) / k;
            fresh.emplace_back(shared, shared.get() + lo, hi - lo);
        }
        replaceBlocks(first, end, fresh);
    }

    void replaceBlocks(std::size_t first, std::size_t end, std::vector<TextBlock>& fresh) {
        std::size_t k = fresh.size();
        auto at = m_blocks.begin() + std::ptrdiff_t(first);
        at = m_blocks.erase(at, at + std::ptrdiff_t(end - first));
        m_blocks.insert(at, std::make_move_iterator(fresh.begin()),
                        std::make_move_iterator(fresh.end()));
        auto& starts = m_starts.values();
        starts.erase(starts.begin() + std::ptrdiff_t(first), starts.begin() + std::ptrdiff_t(end));
        starts.insert(starts.begin() + std::ptrdiff_t(first), k, 0);
        for (std::size_t i = first; i < starts.size(); ++i)
            starts[i] = i == 0 ? 0 : starts[i - 1] + m_blocks[i - 1].size();
        m_hint = 0;
    }

    std::size_t m_max, m_min, m_target;
    std::vector<TextBlock> m_blocks;
    ShiftedOffsets m_starts;
    std::size_t m_length = 0;
    mutable std::size_t m_hint = 0;
    // For ranges of a few blocks that are not in one piece.
    std::unique_ptr<char16_t[]> m_scratch;
    std::size_t m_scratchCapacity = 0;
};

struct NoPayload {};

// Ascending text positions with a payload each, in blocks of at most m_max entries and, unless
// there is only one, at least m_max / 4. An entry holds its distance from the first entry of
// its block, and the blocks know their first position and how many entries precede them, so
// an edit changes one block and adds to the offsets of the blocks after it. Offsets are 32
// bits, which the limit on the length of a text allows, so that an entry of a run takes 8
// bytes: a highlighted file holds about one run for every few characters.
template <typename Payload> class BlockedEntries {
public:
    struct Entry {
        std::uint32_t offset;
        [[no_unique_address]] Payload payload;
    };
    static Entry makeEntry(std::size_t offset, Payload payload) {
        return Entry{std::uint32_t(offset), payload};
    }
    struct Item {
        std::size_t position;
        [[no_unique_address]] Payload payload;
    };
    struct Cursor {
        std::size_t block = 0;
        std::size_t index = 0;
    };
    using Block = std::vector<Entry>;

    explicit BlockedEntries(std::size_t maximum)
        : m_max(std::max<std::size_t>(maximum, 4)), m_min(m_max / 4), m_target(m_max * 3 / 4) {}

    std::size_t size() const { return m_size; }
    std::size_t blockCount() const { return m_blocks.size(); }

    // The last entry at or before position; false when there is none.
    bool findLast(std::size_t position, Cursor& cursor) const {
        if (m_blocks.empty())
            return false;
        std::size_t b = blockFor(position);
        std::size_t base = m_bases[b];
        if (position < base)
            return false;
        const Block& block = m_blocks[b];
        std::size_t offset = position - base;
        // Painting and typing ask near the last answer: try it and the next two first.
        if (b == m_hint.block) {
            for (std::size_t i = m_hint.index; i < m_hint.index + 3 && i < block.size(); ++i) {
                if (block[i].offset <= offset &&
                    (i + 1 == block.size() || offset < block[i + 1].offset)) {
                    cursor = m_hint = {b, i};
                    return true;
                }
            }
        }
        auto found = std::upper_bound(block.begin(), block.end(), offset,
                                      [](std::size_t o, const Entry& e) { return o < e.offset; });
        cursor = m_hint = {b, std::size_t(found - block.begin()) - 1};
        return true;
    }
    // ordinal < size().
    Cursor at(std::size_t ordinal) const {
        std::size_t b = m_counts.upperBound(ordinal) - 1;
        return {b, ordinal - m_counts[b]};
    }
    std::size_t ordinal(Cursor c) const { return m_counts[c.block] + c.index; }
    std::size_t position(Cursor c) const {
        return m_bases[c.block] + m_blocks[c.block][c.index].offset;
    }
    const Payload& payload(Cursor c) const { return m_blocks[c.block][c.index].payload; }
    void setPayload(Cursor c, Payload payload) { m_blocks[c.block][c.index].payload = payload; }
    bool next(Cursor& c) const {
        if (c.index + 1 < m_blocks[c.block].size()) {
            ++c.index;
            return true;
        }
        if (c.block + 1 < m_blocks.size()) {
            c = {c.block + 1, 0};
            return true;
        }
        return false;
    }
    bool previous(Cursor& c) const {
        if (c.index > 0) {
            --c.index;
            return true;
        }
        if (c.block > 0) {
            c = {c.block - 1, m_blocks[c.block - 1].size() - 1};
            return true;
        }
        return false;
    }
    // The position of the entry after c, or otherwise when c is the last.
    std::size_t nextPosition(Cursor c, std::size_t otherwise) const {
        return next(c) ? position(c) : otherwise;
    }

    // Removes the entries at positions in [lo, hi), adds delta to the positions from hi on,
    // and inserts items, ascending, whose positions must lie in [lo, hi + delta).
    void splice(std::size_t lo, std::size_t hi, std::size_t delta, const Item* items,
                std::size_t count) {
        if (m_blocks.empty()) {
            rebuild(0, 0, items, count);
            return;
        }
        std::size_t b = blockFor(lo);
        if (hi > 0 && blockFor(hi - 1) > b) {
            spliceAcrossBlocks(b, blockFor(hi - 1), lo, hi, delta, items, count);
            return;
        }
        Block& block = m_blocks[b];
        std::size_t base = m_bases[b];
        std::size_t i = lo <= base ? 0 : lowerIndex(block, lo - base);
        std::size_t j = hi <= base ? 0 : lowerIndex(block, hi - base);
        // What the entries from j on move by, relative to the block's first position.
        std::size_t shift = delta;
        if (j == 0) {
            // The whole block is behind the change.
            m_bases.add(b, delta);
            base += delta;
            shift = 0;
        } else {
            m_bases.add(b + 1, delta);
        }
        // When the change reaches the block's first entry, the block starts at the first new
        // item or else at the first entry that stays. The offsets are rewritten relative to
        // that start, so that none is ever negative.
        std::size_t start = base;
        if (i == 0 && count > 0)
            start = items[0].position;
        else if (i == 0 && j < block.size())
            start = base + block[j].offset + shift;
        shift += base - start;
        if (shift != 0) {
            for (std::size_t k = j; k < block.size(); ++k)
                block[k].offset = std::uint32_t(block[k].offset + shift);
        }
        if (start != base) {
            m_bases.set(b, start);
            base = start;
        }
        std::size_t common = std::min(count, j - i);
        for (std::size_t k = 0; k < common; ++k)
            block[i + k] = makeEntry(items[k].position - base, items[k].payload);
        if (count > common) {
            block.insert(block.begin() + std::ptrdiff_t(i + common), count - common, Entry{});
            for (std::size_t k = common; k < count; ++k)
                block[i + k] = makeEntry(items[k].position - base, items[k].payload);
        } else if (j - i > common) {
            block.erase(block.begin() + std::ptrdiff_t(i + common),
                        block.begin() + std::ptrdiff_t(j));
        }
        if (!block.empty() && block[0].offset != 0)
            rebase(b);
        counted(b, count - (j - i));
    }

    // Inserts entries just after c, ascending, at positions between c's and the next entry's.
    void insertAfter(Cursor c, std::initializer_list<Item> items) {
        Block& block = m_blocks[c.block];
        std::size_t base = m_bases[c.block];
        std::array<Entry, 2> entries;
        std::size_t n = 0;
        for (const Item& item : items)
            entries.at(n++) = makeEntry(item.position - base, item.payload);
        if (block.size() + n > block.capacity())
            block.reserve(m_max + entries.size());
        block.insert(block.begin() + std::ptrdiff_t(c.index + 1), entries.begin(),
                     entries.begin() + std::ptrdiff_t(n));
        m_hint = {c.block, c.index + 1};
        counted(c.block, n);
    }
    // Removes count entries from c on, within c's block, and not its first one.
    void erase(Cursor c, std::size_t count) {
        Block& block = m_blocks[c.block];
        block.erase(block.begin() + std::ptrdiff_t(c.index),
                    block.begin() + std::ptrdiff_t(c.index + count));
        m_hint = {c.block, c.index - 1};
        counted(c.block, 0 - count);
    }
    // Moves the entry at c, not the first of its block, to a position between its neighbours.
    void move(Cursor c, std::size_t position) {
        m_blocks[c.block][c.index].offset = position - m_bases[c.block];
    }

    // Gives each entry at a position in [lo, hi) the payload f(payload).
    template <typename F> void transform(std::size_t lo, std::size_t hi, F& f) {
        if (m_blocks.empty())
            return;
        std::size_t b = blockFor(lo);
        std::size_t base = m_bases[b];
        std::size_t i = lo <= base ? 0 : lowerIndex(m_blocks[b], lo - base);
        for (; b < m_blocks.size(); ++b, i = 0) {
            Block& block = m_blocks[b];
            base = m_bases[b];
            if (hi <= base)
                return;
            std::size_t end = hi - base;
            for (; i < block.size() && block[i].offset < end; ++i)
                block[i].payload = f(block[i].payload);
        }
    }

    // Removes each entry at a position in [lo, hi] whose payload equals that of the entry
    // before it.
    void compact(std::size_t lo, std::size_t hi) {
        if (m_blocks.empty())
            return;
        std::size_t b = blockFor(lo);
        std::size_t base = m_bases[b];
        std::size_t i = lo <= base ? 0 : lowerIndex(m_blocks[b], lo - base);
        bool hasPrevious = i > 0 || b > 0;
        Payload previous{};
        if (i > 0)
            previous = m_blocks[b][i - 1].payload;
        else if (b > 0)
            previous = m_blocks[b - 1].back().payload;
        std::size_t first = m_blocks.size(), last = 0;
        bool emptied = false, small = false;
        for (; b < m_blocks.size(); ++b, i = 0) {
            Block& block = m_blocks[b];
            base = m_bases[b];
            std::size_t size = block.size();
            std::size_t j = hi < base ? 0 : upperIndex(block, hi - base);
            std::size_t w = i;
            for (std::size_t k = i; k < j; ++k) {
                if (hasPrevious && block[k].payload == previous)
                    continue;
                previous = block[k].payload;
                hasPrevious = true;
                block[w++] = block[k];
            }
            if (w < j) {
                block.erase(block.begin() + std::ptrdiff_t(w), block.begin() + std::ptrdiff_t(j));
                m_counts.add(b + 1, 0 - (j - w));
                m_size -= j - w;
                first = std::min(first, b);
                last = b;
                if (block.empty())
                    emptied = true;
                else if (block[0].offset != 0)
                    rebase(b);
                small = small || block.size() < m_min;
            }
            if (j < size)
                break;
        }
        m_hint = {};
        if (first > last)
            return;
        std::size_t end = last + 1;
        if (emptied)
            end = eraseEmptyBlocks(first, end);
        if (small)
            settleRange(first, end);
    }

    void clear() {
        m_blocks.clear();
        m_spare.clear();
        m_bases.values().clear();
        m_counts.values().clear();
        m_size = 0;
        m_hint = {};
    }

    template <typename F> void forEachPayload(F&& f) const {
        for (const Block& block : m_blocks) {
            for (const Entry& entry : block)
                f(entry.payload);
        }
    }

    std::string problem(std::size_t textLength) const {
        std::size_t count = 0;
        std::size_t last = 0;
        for (std::size_t b = 0; b < m_blocks.size(); ++b) {
            const Block& block = m_blocks[b];
            std::string name = "entry block " + std::to_string(b);
            if (block.empty() || block.size() > m_max ||
                (block.size() < m_min && m_blocks.size() > 1))
                return name + " holds " + std::to_string(block.size());
            if (block[0].offset != 0)
                return name + " does not start at its base";
            if (m_counts[b] != count)
                return name + " counts " + std::to_string(m_counts[b]) + " before it";
            for (std::size_t i = 0; i < block.size(); ++i) {
                std::size_t position = m_bases[b] + block[i].offset;
                if ((b > 0 || i > 0) && position <= last)
                    return name + " is out of order at " + std::to_string(i);
                if (position > textLength)
                    return name + " lies beyond the text";
                last = position;
            }
            count += block.size();
        }
        if (count != m_size)
            return "entry blocks hold " + std::to_string(count) + " of " + std::to_string(m_size);
        return "";
    }

private:
    // The last block whose first position is at or before position, or 0.
    std::size_t blockFor(std::size_t position) const {
        std::size_t count = m_blocks.size();
        std::size_t hint = m_hint.block;
        if (hint < count && m_bases[hint] <= position &&
            (hint + 1 == count || position < m_bases[hint + 1]))
            return hint;
        std::size_t b = m_bases.upperBound(position);
        return b > 0 ? b - 1 : 0;
    }
    static std::size_t lowerIndex(const Block& block, std::size_t offset) {
        return std::size_t(
            std::lower_bound(block.begin(), block.end(), offset,
                             [](const Entry& e, std::size_t o) { return e.offset < o; }) -
            block.begin());
    }
    static std::size_t upperIndex(const Block& block, std::size_t offset) {
        return std::size_t(
            std::upper_bound(block.begin(), block.end(), offset,
                             [](std::size_t o, const Entry& e) { return o < e.offset; }) -
            block.begin());
    }

    // Makes the first entry of block b its base again.
    void rebase(std::size_t b) {
        Block& block = m_blocks[b];
        std::size_t shift = block[0].offset;
        for (Entry& entry : block)
            entry.offset -= shift;
        m_bases.set(b, m_bases[b] + shift);
    }

    // After block b gained delta entries (modulo 2^64).
    void counted(std::size_t b, std::size_t delta) {
        m_counts.add(b + 1, delta);
        m_size += delta;
        std::size_t size = m_blocks[b].size();
        if (size > m_max || size < m_min)
            settle(b);
    }

    void gather(std::size_t first, std::size_t end, std::vector<Item>& out) const {
        std::size_t count = 0;
        for (std::size_t b = first; b < end; ++b)
            count += m_blocks[b].size();
        out.reserve(out.size() + count);
        for (std::size_t b = first; b < end; ++b) {
            std::size_t base = m_bases[b];
            for (const Entry& entry : m_blocks[b])
                out.push_back(Item{base + entry.offset, entry.payload});
        }
    }

    // Splits a block that grew too large, and joins one that shrank too far with a neighbour.
    void settle(std::size_t b) {
        if (b >= m_blocks.size())
            return;
        std::size_t size = m_blocks[b].size();
        if (size <= m_max && (size >= m_min || (m_blocks.size() == 1 && size > 0)))
            return;
        if (size > m_max && size <= m_max + 2) {
            split(b);
            return;
        }
        std::size_t first = b, end = b + 1;
        if (size < m_min && m_blocks.size() > 1) {
            if (end < m_blocks.size())
                ++end;
            else
                --first;
        }
        std::vector<Item> items;
        gather(first, end, items);
        rebuild(first, end, items.data(), items.size());
    }

    // Splits a block that grew a little too large where it keeps three quarters: painting
    // appends to the block that holds the end of the last token, so blocks stay three
    // quarters full rather than half.
    void split(std::size_t b) {
        Block& block = m_blocks[b];
        std::size_t cut = m_max - m_min;
        std::size_t shift = block[cut].offset;
        Block tail;
        if (!m_spare.empty()) {
            tail = std::move(m_spare.back());
            m_spare.pop_back();
        }
        tail.reserve(m_max + 2);
        for (std::size_t i = cut; i < block.size(); ++i)
            tail.push_back(makeEntry(block[i].offset - shift, block[i].payload));
        block.erase(block.begin() + std::ptrdiff_t(cut), block.end());
        std::size_t base = m_bases[b] + shift;
        std::size_t count = m_counts[b] + cut;
        m_blocks.insert(m_blocks.begin() + std::ptrdiff_t(b + 1), std::move(tail));
        auto& bases = m_bases.values();
        bases.insert(bases.begin() + std::ptrdiff_t(b + 1), base);
        auto& counts = m_counts.values();
        counts.insert(counts.begin() + std::ptrdiff_t(b + 1), count);
        m_hint = {};
    }

    // Evens out the blocks [first, end) when any of them is too small.
    void settleRange(std::size_t first, std::size_t end) {
        if (end <= first || first >= m_blocks.size())
            return;
        if (end - first == 1) {
            settle(first);
            return;
        }
        bool small = false;
        for (std::size_t b = first; b < end; ++b)
            small = small || m_blocks[b].size() < m_min;
        if (!small)
            return;
        std::vector<Item> items;
        gather(first, end, items);
        std::size_t k = rebuild(first, end, items.data(), items.size());
        if (k == 1)
            settle(first);
    }

    std::size_t eraseEmptyBlocks(std::size_t first, std::size_t end) {
        auto& bases = m_bases.values();
        auto& counts = m_counts.values();
        std::size_t w = first;
        for (std::size_t b = first; b < m_blocks.size(); ++b) {
            if (b < end && m_blocks[b].empty()) {
                if (m_blocks[b].capacity() >= m_max)
                    m_spare.push_back(std::move(m_blocks[b]));
                continue;
            }
            if (w != b) {
                m_blocks[w] = std::move(m_blocks[b]);
                bases[w] = bases[b];
                counts[w] = counts[b];
            }
            ++w;
        }
        std::size_t removed = m_blocks.size() - w;
        m_blocks.resize(w);
        bases.resize(w);
        counts.resize(w);
        m_hint = {};
        return end - removed;
    }

    void spliceAcrossBlocks(std::size_t b0, std::size_t b1, std::size_t lo, std::size_t hi,
                            std::size_t delta, const Item* items, std::size_t count) {
        std::vector<Item> all;
        std::size_t base0 = m_bases[b0];
        const Block& first = m_blocks[b0];
        std::size_t keep = lo <= base0 ? 0 : lowerIndex(first, lo - base0);
        std::size_t base1 = m_bases[b1];
        const Block& last = m_blocks[b1];
        std::size_t from = lowerIndex(last, hi - base1);
        all.reserve(keep + count + last.size() - from);
        for (std::size_t k = 0; k < keep; ++k)
            all.push_back(Item{base0 + first[k].offset, first[k].payload});
        all.insert(all.end(), items, items + count);
        for (std::size_t k = from; k < last.size(); ++k)
            all.push_back(Item{base1 + last[k].offset + delta, last[k].payload});
        m_bases.add(b1 + 1, delta);
        if (rebuild(b0, b1 + 1, all.data(), all.size()) <= 1)
            settle(b0);
    }

    // Puts the items in place of the blocks [first, end), in blocks of about m_target entries;
    // returns how many blocks that made.
    std::size_t rebuild(std::size_t first, std::size_t end, const Item* items, std::size_t n) {
        std::size_t k = (n + m_target - 1) / m_target;
        std::vector<Block> fresh(k);
        std::vector<std::size_t> bases(k);
        for (std::size_t i = 0; i < k; ++i) {
            std::size_t lo = n * i / k, hi = n * (i + 1) / k;
            std::size_t base = items[lo].position;
            Block& block = fresh[i];
            block.reserve(hi - lo + m_max / 8);
            for (std::size_t j = lo; j < hi; ++j)
                block.push_back(makeEntry(items[j].position - base, items[j].payload));
            bases[i] = base;
        }
        auto at = m_blocks.begin() + std::ptrdiff_t(first);
        at = m_blocks.erase(at, at + std::ptrdiff_t(end - first));
        m_blocks.insert(at, std::make_move_iterator(fresh.begin()),
                        std::make_move_iterator(fresh.end()));
        auto& allBases = m_bases.values();
        allBases.erase(allBases.begin() + std::ptrdiff_t(first),
                       allBases.begin() + std::ptrdiff_t(end));
        allBases.insert(allBases.begin() + std::ptrdiff_t(first), bases.begin(), bases.end());
        auto& counts = m_counts.values();
        counts.erase(counts.begin() + std::ptrdiff_t(first), counts.begin() + std::ptrdiff_t(end));
        counts.insert(counts.begin() + std::ptrdiff_t(first), k, 0);
        for (std::size_t i = first; i < counts.size(); ++i)
            counts[i] = i == 0 ? 0 : counts[i - 1] + m_blocks[i - 1].size();
        m_size = counts.empty() ? 0 : counts.back() + m_blocks.back().size();
        m_hint = {};
        return k;
    }

    std::size_t m_max, m_min, m_target;
    std::vector<Block> m_blocks;
    // The position of each block's first entry.
    ShiftedOffsets m_bases;
    // The number of entries before each block.
    ShiftedOffsets m_counts;
    std::size_t m_size = 0;
    mutable Cursor m_hint;
    // The storage of blocks that attribute changes emptied, for the blocks that painting
    // splits off next: a highlighter clears a range and paints it again, and reusing the
    // memory spares allocating and faulting in as much again. At most what the runs held.
    std::vector<Block> m_spare;
};

// One interned attribute set. Runs hold its id; id 0 and null stand for the empty set.
struct InternedSet {
    HVAttributesRef attributes;
    std::uint32_t id = 0;
    bool marked = false;
    // Whether the set holds an attachment.
    bool attachment = false;
};

using SetMap = std::unordered_map<const InternedSet*, const InternedSet*>;

struct PairHash {
    std::size_t operator()(const std::pair<const InternedSet*, const InternedSet*>& p) const {
        return std::hash<const void*>()(p.first) * 31 + std::hash<const void*>()(p.second);
    }
};

} // namespace

struct HVTextBuffer::Storage {
    using Runs = BlockedEntries<std::uint32_t>;
    using RunCursor = Runs::Cursor;
    using LineStarts = BlockedEntries<NoPayload>;

    explicit Storage(BlockSizes sizes)
        : text(sizes.characters), lineStarts(sizes.entries), runs(sizes.entries) {}

    BlockedText text;
    // The starts of lines 1, 2, ...: the positions just after each line break.
    LineStarts lineStarts;
    // The starts of the runs; the first is 0, and neighbours never share a set.
    Runs runs;

    // Equal attribute sets share one object, so runs compare by pointer. Merges and removals
    // are remembered, so painting many tokens with few styles allocates nothing per token.
    std::unordered_map<std::size_t, std::vector<std::unique_ptr<InternedSet>>> internedByHash;
    // The set of each id, and the ids that collecting freed.
    std::vector<const InternedSet*> setsById{nullptr};
    std::vector<std::uint32_t> freeIds;
    std::unordered_map<const HVAttributes*, const InternedSet*> internedByObject;
    std::size_t internedCount = 0;
    std::size_t collectAt = 256;
    // Interned sets that hold an attachment: while there is none, the full text is the text.
    std::size_t attachmentSets = 0;
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
        if (attachmentSets > 0 && runs.size() > 0) {
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
        set->attachment = attributes.attachment() != nullptr;
        attachmentSets += set->attachment ? 1 : 0;
        if (freeIds.empty()) {
            // Collecting keeps the sets to about twice as many as the runs use.
            set->id = std::uint32_t(setsById.size());
            setsById.push_back(set.get());
        } else {
            set->id = freeIds.back();
            freeIds.pop_back();
            setsById[set->id] = set.get();
        }
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
        runs.forEachPayload([&](std::uint32_t id) {
            if (id)
                const_cast<InternedSet*>(setsById[id])->marked = true;
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
                attachmentSets -= set->attachment ? 1 : 0;
                setsById[set->id] = nullptr;
                freeIds.push_back(set->id);
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

    static std::uint32_t idOf(const InternedSet* set) { return set ? set->id : 0; }
    const InternedSet* setOf(RunCursor cursor) const { return setsById[runs.payload(cursor)]; }

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
        auto transformIds = [&](std::uint32_t id) { return idOf(transform(setsById[id])); };
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

    void record(unsigned mask, HVRange oldRange, std::size_t newLength) {
        attachmentIndexValid = false;
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
    const auto& runs = text.runs();
    range = clip(range, length());
    beginEditing();
    replaceCharacters(range, text.string(), runs.empty() ? nullptr : runs[0].attributes);
    std::size_t at = range.location;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        if (i > 0)
            setAttributes(runs[i].attributes, {at, runs[i].length});
        at += runs[i].length;
    }
    endEditing();
}

HVAttributedString HVTextBuffer::attributedSubstring(HVRange range) const {
    const Storage& s = *m_storage;
    range = clip(range, length());
    HVAttributedString result;
    if (range.length == 0)
        return result;
    std::u16string characters = substring(range);
    auto run = s.runAt(range.location);
    std::size_t start = s.runs.position(run);
    while (start < range.end()) {
        std::size_t end = s.runEnd(run);
        std::size_t from = std::max(start, range.location);
        std::size_t to = std::min(end, range.end());
        const InternedSet* set = s.setOf(run);
        result.append(std::u16string_view(characters).substr(from - range.location, to - from),
                      set ? set->attributes : nullptr);
        if (!s.runs.next(run))
            break;
        start = end;
    }
    return result;
}

bool HVTextBuffer::hasAttachments() const {
    return m_storage->attachmentSets > 0 && !m_storage->attachments().empty();
}

std::u16string HVTextBuffer::fullString(HVRange range) const {
    range = clip(range, length());
    if (m_storage->attachmentSets == 0)
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
    if (m_storage->attachmentSets == 0)
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
    if (m_storage->attachmentSets == 0)
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
    if (m_storage->attachmentSets == 0)
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
