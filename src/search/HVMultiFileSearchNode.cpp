#include "HVMultiFileSearchNode.h"

#include "HVFileSystem.h"
#include "HVUnicode.h"

HVMultiFileSearchNode::HVMultiFileSearchNode(std::string path) : m_path(std::move(path)) {}

std::u16string HVMultiFileSearchNode::displayName() const {
    if (m_path.empty() || m_path.front() != '/')
        return HVUnicode::utf16(m_path);
    std::string folder = HVFileSystem::deletingLastPathComponent(m_path);
    if (folder.empty())
        folder = "/";
    return HVUnicode::utf16(HVFileSystem::lastPathComponent(m_path)) + u" \u2014 " +
           HVUnicode::utf16(folder);
}

const std::u16string& HVMultiFileSearchNode::text() const {
    if (m_textIsUTF8) {
        m_text = HVUnicode::utf16(m_utf8Text);
        m_utf8Text = std::string();
        m_textIsUTF8 = false;
    }
    return m_text;
}

void HVMultiFileSearchNode::setText(std::u16string text) {
    m_text = std::move(text);
    m_utf8Text = std::string();
    m_textIsUTF8 = false;
}

void HVMultiFileSearchNode::setUTF8Text(std::string bytes) {
    m_text = std::u16string();
    m_utf8Text = std::move(bytes);
    m_textIsUTF8 = true;
}

void HVMultiFileSearchNode::setResults(std::vector<HVSearchResult> results) {
    m_results = std::move(results);
    for (HVSearchResult& result : m_results)
        result.setNode(this);
}

std::pair<std::size_t, std::size_t>
HVMultiFileSearchNode::lineAndColumn(std::size_t position) const {
    std::u16string_view text = this->text();
    if (position > text.size())
        position = text.size();
    std::size_t line = 1;
    std::size_t lineStart = 0;
    for (std::size_t i = 0; i < position; ++i) {
        char16_t unit = text[i];
        if (unit == u'\n' || unit == 0x2028 || unit == 0x2029) {
            ++line;
            lineStart = i + 1;
        } else if (unit == u'\r') {
            // CR LF is one break; the LF counts it.
            if (i + 1 < text.size() && text[i + 1] == u'\n')
                continue;
            ++line;
            lineStart = i + 1;
        }
    }
    std::size_t column = 1;
    for (std::size_t i = lineStart; i < position; ++i) {
        // The second half of a pair adds no column.
        if ((text[i] & 0xFC00) != 0xDC00 || i == lineStart || (text[i - 1] & 0xFC00) != 0xD800)
            ++column;
    }
    return {line, column};
}
