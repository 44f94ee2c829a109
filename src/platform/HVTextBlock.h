#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <functional>
#include <memory>
#include <string_view>

// One block of characters: a small gap buffer, so that typing at one place moves nothing. The
// storage is left uninitialised: only what holds text is ever written.
//
// Text that arrives in one piece (a file, a large paste) is kept in one shared allocation, of
// which each block holds a slice without room to spare: ranges over blocks untouched since are
// then still one piece in memory. A block moves to storage of its own when it first grows; the
// allocation is freed when no block holds a slice of it any more, as when string() repacks
// the whole text. (Giving back the pages of each slice as its block leaves would cost a system
// call per block, which on some machines takes longer than the copy.)
class HVTextBlock {
public:
    HVTextBlock(std::u16string_view text, std::size_t capacity)
        : m_own(std::make_unique_for_overwrite<char16_t[]>(capacity)), m_data(m_own.get()),
          m_capacity(capacity), m_gapStart(text.size()), m_gapEnd(capacity) {
        if (!text.empty())
            std::memcpy(m_data, text.data(), text.size() * sizeof(char16_t));
    }
    HVTextBlock(std::shared_ptr<char16_t[]> shared, char16_t* slice, std::size_t size)
        : m_shared(std::move(shared)), m_data(slice), m_capacity(size), m_gapStart(size),
          m_gapEnd(size) {}

    std::size_t size() const { return m_capacity - gapLength(); }
    bool full() const { return m_gapStart == m_gapEnd; }
    // Whether the characters fill the storage, and end where next's begin in memory.
    bool runsInto(const HVTextBlock& next) const {
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
