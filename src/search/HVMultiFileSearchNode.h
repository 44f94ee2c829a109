#pragma once

#include "HVError.h"
#include "HVSearchResult.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One searched file of a multi-file search: its results (ranges in the file's text as decoded,
// UTF-16 code units, with context lines), or why it was skipped. A node whose file is open in a
// document was searched in that document's text, unsaved edits included.
class HVMultiFileSearchNode {
public:
    explicit HVMultiFileSearchNode(std::string path);

    const std::string& path() const { return m_path; }
    // "name — folder" for a path that begins with "/", else the path as given (an untitled
    // document's name).
    std::u16string displayName() const;

    const std::vector<HVSearchResult>& results() const { return m_results; }
    // Takes the results and makes each one point at this node.
    void setResults(std::vector<HVSearchResult> results);
    // The text the ranges are in (kept only while a window shows the node: lines and columns,
    // and the double-check of a replace, read it).
    const std::u16string& text() const;
    void setText(std::u16string text);
    // The text as well-formed UTF-8 without a byte-order mark, decoded when it is first asked
    // for: a search hands over many files whose text nobody may read.
    void setUTF8Text(std::unique_ptr<char[]> bytes, std::size_t length);
    // Those bytes while the text has not been decoded; none after (or for other texts).
    std::optional<std::string_view> utf8Text() const {
        if (!m_textIsUTF8)
            return std::nullopt;
        return std::string_view(m_utf8Text.get(), m_utf8Length);
    }

    // The encoding the file was read in (0 for an open document's text).
    std::uint32_t encoding() const { return m_encoding; }
    void setEncoding(std::uint32_t encoding) { m_encoding = encoding; }
    // Whether the text came from an open document rather than the disk.
    bool fromDocument() const { return m_fromDocument; }
    void setFromDocument(bool fromDocument) { m_fromDocument = fromDocument; }

    // Why the file was not searched: unreadable, vanished, too large. Files skipped because
    // they are not text or are filtered by name are only counted, never listed.
    const std::optional<HVError>& skipped() const { return m_skipped; }
    void setSkipped(HVError reason) { m_skipped = std::move(reason); }

    bool active() const { return m_active; }
    void setActive(bool active) { m_active = active; }

    // 1-based line and 1-based column in code points of a position of text().
    std::pair<std::size_t, std::size_t> lineAndColumn(std::size_t position) const;

private:
    std::string m_path;
    std::vector<HVSearchResult> m_results;
    mutable std::u16string m_text;
    mutable std::unique_ptr<char[]> m_utf8Text;
    std::size_t m_utf8Length = 0;
    mutable bool m_textIsUTF8 = false;
    std::uint32_t m_encoding = 0;
    bool m_fromDocument = false;
    std::optional<HVError> m_skipped;
    bool m_active = false;
};
