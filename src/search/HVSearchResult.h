#pragma once

#include "HVRange.h"

#include <string>
#include <string_view>

// The line around a match as a result list shows it: the list draws the text in grey with the
// match in bold black.
struct HVSearchContextLine {
    std::u16string text;
    // Where the match lies in text.
    HVRange match;

    friend bool operator==(const HVSearchContextLine&, const HVSearchContextLine&) = default;
};

// One match of a search: its range in the searched text and the context line around it.
class HVSearchResult {
public:
    // How many code units of context a line shows on either side of the match.
    static constexpr std::size_t contextLength = 40;

    HVSearchResult(HVRange range, HVSearchContextLine contextLine, const void* node = nullptr)
        : m_range(range), m_contextLine(std::move(contextLine)), m_node(node) {}
    // A result for a match in text, with its context line.
    HVSearchResult(HVRange range, std::u16string_view text)
        : HVSearchResult(range, createAttributedStringFromString(text, range)) {}

    // The context of a match in text: from 40 code units before it, or from just after the last
    // line break in those 40, or from the start; to 40 code units after it or the end of the
    // text (line breaks after the match do not shorten it). A surrogate pair is never cut.
    static HVSearchContextLine createAttributedStringFromString(std::u16string_view text,
                                                                HVRange range);
    // The same for a match in UTF-8 bytes (range in bytes), counting 40 characters either side;
    // the context line is text, its match range in code units. Ill-formed bytes read as U+FFFD.
    static HVSearchContextLine createAttributedStringFromUTF8Data(std::string_view data,
                                                                  HVRange range);

    // In code units of the searched text (bytes for a search of UTF-8 data).
    HVRange range() const { return m_range; }
    const HVSearchContextLine& contextLine() const { return m_contextLine; }
    // The file node of a multi-file search that holds this result, or none. Not owned and never
    // dereferenced here: the node owns its results, so it outlives them.
    const void* node() const { return m_node; }
    void setNode(const void* node) { m_node = node; }

private:
    HVRange m_range;
    HVSearchContextLine m_contextLine;
    const void* m_node = nullptr;
};
