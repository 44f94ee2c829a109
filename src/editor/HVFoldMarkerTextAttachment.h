#pragma once

#include "HVAttributes.h"

#include <cstddef>
#include <string>

// The one character that stands in the text for a collapsed region: it holds the region's
// whole text, with any folds nested inside it already expanded.
class HVFoldMarkerTextAttachment : public HVTextAttachment {
public:
    explicit HVFoldMarkerTextAttachment(std::u16string string = {});

    const std::u16string& string() const override { return m_string; }
    // Lines of the string, each with its terminator counting one; a last line without a
    // terminator counts too. 0 for an empty string.
    std::size_t numberOfLines() const { return m_numberOfLines; }

private:
    std::u16string m_string;
    std::size_t m_numberOfLines = 0;
};
