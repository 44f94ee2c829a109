#include "HVAttributedString.h"

#include <algorithm>

namespace {

bool sameSet(const HVAttributesRef& a, const HVAttributesRef& b) {
    if (a == b)
        return true;
    bool aEmpty = !a || a->empty(), bEmpty = !b || b->empty();
    if (aEmpty || bEmpty)
        return aEmpty && bEmpty;
    return *a == *b;
}

} // namespace

HVAttributedString::HVAttributedString(std::u16string text, HVAttributesRef attributes) {
    if (!text.empty())
        m_runs.push_back({text.size(), std::move(attributes)});
    m_string = std::move(text);
}

HVAttributedString::HVAttributedString(std::u16string text, std::vector<Run> runs)
    : m_string(std::move(text)) {
    m_runs.reserve(runs.size());
    for (Run& run : runs) {
        if (run.length == 0)
            continue;
        if (!m_runs.empty() && sameSet(m_runs.back().attributes, run.attributes))
            m_runs.back().length += run.length;
        else
            m_runs.push_back(std::move(run));
    }
}

void HVAttributedString::append(std::u16string_view text, const HVAttributesRef& attributes) {
    if (text.empty())
        return;
    m_string += text;
    if (!m_runs.empty() && sameSet(m_runs.back().attributes, attributes))
        m_runs.back().length += text.size();
    else
        m_runs.push_back({text.size(), attributes});
}

void HVAttributedString::append(const HVAttributedString& other) {
    std::size_t at = 0;
    for (const Run& run : other.m_runs) {
        append(std::u16string_view(other.m_string).substr(at, run.length), run.attributes);
        at += run.length;
    }
}

HVAttributedString HVAttributedString::substring(HVRange range) const {
    std::size_t from = std::min(range.location, length());
    std::size_t to = from + std::min(range.length, length() - from);
    HVAttributedString result;
    std::size_t start = 0;
    for (const Run& run : m_runs) {
        std::size_t end = start + run.length;
        std::size_t lo = std::max(start, from), hi = std::min(end, to);
        if (lo < hi)
            result.append(std::u16string_view(m_string).substr(lo, hi - lo), run.attributes);
        if (end >= to)
            break;
        start = end;
    }
    return result;
}
