#pragma once

#include "HVRange.h"

#include <string>
#include <vector>

// "location+length" for each range, separated by spaces: one comparison shows every match.
inline std::string describeRanges(const std::vector<HVRange>& ranges) {
    std::string text;
    for (const HVRange& range : ranges) {
        if (!text.empty())
            text += ' ';
        if (range.location == HVNotFound)
            text += "notFound";
        else
            text += std::to_string(range.location) + "+" + std::to_string(range.length);
    }
    return text;
}

inline std::string describeRange(HVRange range) {
    return describeRanges({range});
}
