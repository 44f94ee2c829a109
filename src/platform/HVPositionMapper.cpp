#include "HVPositionMapper.h"

#include <algorithm>

HVPositionMapper::HVPositionMapper(HVRange oldRange, std::size_t newLength) {
    add(oldRange, newLength);
}

void HVPositionMapper::add(HVRange oldRange, std::size_t newLength) {
    m_replacements.push_back({oldRange, newLength});
}

std::size_t HVPositionMapper::map(std::size_t p) const {
    // Modulo 2^64: the shift of the replacements before p, added as two's complement.
    std::size_t shift = 0;
    for (const Replacement& r : m_replacements) {
        if (p <= r.oldRange.location)
            break;
        if (p < r.oldRange.end())
            return r.oldRange.location + shift + r.newLength;
        shift += r.newLength - r.oldRange.length;
    }
    return p + shift;
}

HVRange HVPositionMapper::map(HVRange oldRange) const {
    std::size_t start = map(oldRange.location);
    std::size_t end = map(oldRange.end());
    return {start, std::max(start, end) - start};
}
