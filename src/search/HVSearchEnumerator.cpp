#include "HVSearchEnumerator.h"

#include "HVSearch.h"

namespace {

constexpr HVRange notFound{HVNotFound, 0};

// The position after the character that starts at position.
std::size_t nextCharacter(std::u16string_view text, std::size_t position) {
    if ((text[position] & 0xFC00) == 0xD800 && position + 1 < text.size() &&
        (text[position + 1] & 0xFC00) == 0xDC00)
        return position + 2;
    return position + 1;
}

std::size_t nextCharacter(std::string_view data, std::size_t position) {
    ++position;
    while (position < data.size() && (static_cast<unsigned char>(data[position]) & 0xC0) == 0x80)
        ++position;
    return position;
}

} // namespace

HVSearchEnumerator::HVSearchEnumerator(HVSearch& search, std::u16string_view string)
    : m_search(search), m_string(string) {}

HVSearchEnumerator::HVSearchEnumerator(HVSearch& search, std::string_view utf8Data)
    : m_search(search), m_data(utf8Data), m_isData(true) {}

std::optional<HVRange> HVSearchEnumerator::nextRange() {
    if (m_ended)
        return std::nullopt;
    HVRange found = m_isData ? nextInData() : nextInString();
    m_started = true;
    if (found.location == HVNotFound) {
        m_ended = true;
        return std::nullopt;
    }
    m_last = found;
    return found;
}

std::optional<HVSearchResult> HVSearchEnumerator::nextResult() {
    auto range = nextRange();
    if (!range)
        return std::nullopt;
    return HVSearchResult(
        *range, m_isData ? HVSearchResult::createAttributedStringFromUTF8Data(m_data, *range)
                         : HVSearchResult::createAttributedStringFromString(m_string, *range));
}

HVRange HVSearchEnumerator::nextInString() {
    std::size_t size = m_string.size();
    std::size_t start = m_last.end();
    if (start >= size)
        return notFound;
    if (m_started && m_last.length == 0) {
        // Only an expression can match the empty string.
        HVRange found = m_search.nonEmptyMatchAt(m_string, start);
        if (found.location != HVNotFound)
            return found;
        start = nextCharacter(m_string, start);
        if (start >= size)
            return notFound;
    }
    return m_search.firstMatchInString(m_string, HVRange{start, size - start});
}

HVRange HVSearchEnumerator::nextInData() {
    std::size_t size = m_data.size();
    std::size_t start = m_last.end();
    if (start >= size)
        return notFound;
    if (m_started && m_last.length == 0) {
        start = nextCharacter(m_data, start);
        if (start >= size)
            return notFound;
    }
    return m_search.firstMatchInUTF8Data(m_data, HVRange{start, size - start});
}
