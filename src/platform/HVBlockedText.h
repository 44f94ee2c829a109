#pragma once

#include "HVShiftedOffsets.h"
#include "HVTextBlock.h"

#include <algorithm>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// The characters, in blocks of at most m_max code units and, unless there is only one, at
// least m_max / 4. There is no block while the text is empty.
class HVBlockedText {
public:
    explicit HVBlockedText(std::size_t maximum)
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
                           [&](const HVTextBlock& block) { return block.holds(p); });
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
            HVTextBlock& block = m_blocks[b];
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
        std::vector<HVTextBlock> fresh;
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
        std::vector<HVTextBlock> fresh;
        fresh.reserve(k);
        for (std::size_t i = 0; i < k; ++i) {
            std::size_t lo = n * i / k, hi = n * (i + 1) / k;
            fresh.emplace_back(shared, shared.get() + lo, hi - lo);
        }
        replaceBlocks(first, end, fresh);
    }

    void replaceBlocks(std::size_t first, std::size_t end, std::vector<HVTextBlock>& fresh) {
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
    std::vector<HVTextBlock> m_blocks;
    HVShiftedOffsets m_starts;
    std::size_t m_length = 0;
    mutable std::size_t m_hint = 0;
    // For ranges of a few blocks that are not in one piece.
    std::unique_ptr<char16_t[]> m_scratch;
    std::size_t m_scratchCapacity = 0;
};
