#include "HVMultiFileSearchNode.h"

#include "HVFileSystem.h"
#include "HVUnicode.h"

HVMultiFileSearchNode::HVMultiFileSearchNode(std::string path) : m_path(std::move(path)) {}

std::u16string HVMultiFileSearchNode::displayName() const {
    if (m_path.empty() || m_path.front() != '/')
        return HVUnicode::utf16(m_path);
    std::string folder = HVFileSystem::deletingLastPathComponent(m_path);
    if (folder.empty())
        folder.push_back('/');
    std::u16string name = HVUnicode::utf16(HVFileSystem::lastPathComponent(m_path));
    name.append(u" \u2014 ");
    name.append(HVUnicode::utf16(folder));
    return name;
}

const std::u16string& HVMultiFileSearchNode::text() const {
    if (m_textIsUTF8) {
        m_text = HVUnicode::utf16(std::string_view(m_utf8Text.get(), m_utf8Length));
        m_utf8Text.reset();
        m_textIsUTF8 = false;
    }
    return m_text;
}

void HVMultiFileSearchNode::setText(std::u16string text) {
    m_text = std::move(text);
    m_utf8Text.reset();
    m_textIsUTF8 = false;
}

void HVMultiFileSearchNode::setUTF8Text(std::unique_ptr<char[]> bytes, std::size_t length) {
    m_text = std::u16string();
    m_utf8Text = std::move(bytes);
    m_utf8Length = length;
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
