#pragma once

#include "HVShiftedOffsets.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

// The payload of entries that are only positions, such as line starts.
struct HVNoPayload {};

// Ascending text positions with a payload each, in blocks of at most m_max entries and, unless
// there is only one, at least m_max / 4. An entry holds its distance from the first entry of
// its block, and the blocks know their first position and how many entries precede them, so
// an edit changes one block and adds to the offsets of the blocks after it. Offsets are 32
// bits, which the limit on the length of a text allows, so that an entry of a run takes 8
// bytes: a highlighted file holds about one run for every few characters.
template <typename Payload> class HVBlockedEntries {
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

    explicit HVBlockedEntries(std::size_t maximum)
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
    HVShiftedOffsets m_bases;
    // The number of entries before each block.
    HVShiftedOffsets m_counts;
    std::size_t m_size = 0;
    mutable Cursor m_hint;
    // The storage of blocks that attribute changes emptied, for the blocks that painting
    // splits off next: a highlighter clears a range and paints it again, and reusing the
    // memory spares allocating and faulting in as much again. At most what the runs held.
    std::vector<Block> m_spare;
};
