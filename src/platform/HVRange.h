#pragma once

#include <cstddef>
#include <cstdint>

// A stretch of a subject: UTF-16 code units for text, bytes for UTF-8 data.
struct HVRange {
    std::size_t location = 0;
    std::size_t length = 0;

    constexpr std::size_t end() const { return location + length; }
    constexpr bool contains(std::size_t index) const {
        return index >= location && index < location + length;
    }
    friend constexpr bool operator==(const HVRange&, const HVRange&) = default;
};

// The location that means "not found", also for a capture group that took no part in a match.
inline constexpr std::size_t HVNotFound = 0x7fffffffffffffffULL;

inline constexpr HVRange HVMakeRange(std::size_t location, std::size_t length) {
    return HVRange{location, length};
}

inline constexpr bool HVRangeIsFound(const HVRange& range) {
    return range.location != HVNotFound;
}
