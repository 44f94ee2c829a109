#include "HVFoldMarkerTextAttachment.h"

HVFoldMarkerTextAttachment::HVFoldMarkerTextAttachment(std::u16string string)
    : m_string(std::move(string)) {
    // A CR LF pair ends one line; a lone CR or LF each end one.
    for (std::size_t i = 0; i < m_string.size(); ++i) {
        char16_t c = m_string[i];
        if (c == u'\n' || (c == u'\r' && (i + 1 == m_string.size() || m_string[i + 1] != u'\n')))
            ++m_numberOfLines;
    }
    if (!m_string.empty() && m_string.back() != u'\n' && m_string.back() != u'\r')
        ++m_numberOfLines;
}
