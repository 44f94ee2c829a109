#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

// Ascending offsets (the starts of blocks, or the number of entries before them) to which an
// edit adds its change from some index on. The addition is kept pending and carried out only
// as far as the next addition elsewhere needs it: edits at one place cost nothing here, and
// edits far apart cost the number of offsets between them. Arithmetic is modulo 2^64, so a
// negative change is added as its two's complement.
class HVShiftedOffsets {
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
