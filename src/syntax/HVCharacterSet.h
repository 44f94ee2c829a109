#pragma once

#include <array>
#include <cstdint>
#include <string_view>

// A set of UTF-16 code units as a bitmap: one load and a shift per test, which is what the
// parsers' scanning loops need.
class HVCharacterSet {
public:
    HVCharacterSet() = default;
    explicit HVCharacterSet(std::u16string_view characters) {
        for (char16_t c : characters)
            insert(c);
    }

    void insert(char16_t c) { m_bits[c >> 6] |= std::uint64_t(1) << (c & 63); }
    bool contains(char16_t c) const { return (m_bits[c >> 6] >> (c & 63)) & 1; }
    // Every code unit that this set does not hold.
    HVCharacterSet inverted() const {
        HVCharacterSet result;
        for (std::size_t i = 0; i < m_bits.size(); ++i)
            result.m_bits[i] = ~m_bits[i];
        return result;
    }
    bool empty() const {
        for (auto word : m_bits) {
            if (word)
                return false;
        }
        return true;
    }

    // The first position at or after from, below end, whose character is in the set; end when
    // there is none.
    std::size_t find(std::u16string_view text, std::size_t from, std::size_t end) const {
        for (std::size_t i = from; i < end; ++i) {
            if (contains(text[i]))
                return i;
        }
        return end;
    }

    friend bool operator==(const HVCharacterSet&, const HVCharacterSet&) = default;

private:
    std::array<std::uint64_t, 1024> m_bits{};
};
