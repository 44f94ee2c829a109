#pragma once

#include "HVAttributes.h"
#include "HVRange.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Characters with their attribute runs, apart from any buffer: what an edit removed, so that
// undoing it puts back the runs (an attachment: the same object) as well as the characters.
class HVAttributedString {
public:
    struct Run {
        std::size_t length = 0;
        // Null reads as the empty set.
        HVAttributesRef attributes;
    };

    HVAttributedString() = default;
    explicit HVAttributedString(std::u16string text, HVAttributesRef attributes = nullptr);
    // Characters with runs that cover them in order; neighbouring runs of equal sets are
    // joined. The way to take a long stretch whole, without appending run by run.
    HVAttributedString(std::u16string text, std::vector<Run> runs);

    const std::u16string& string() const { return m_string; }
    std::size_t length() const { return m_string.size(); }
    bool empty() const { return m_string.empty(); }
    // Runs cover the characters in order; neighbours never hold equal sets.
    const std::vector<Run>& runs() const { return m_runs; }

    // Adds characters with their set at the end.
    void append(std::u16string_view text, const HVAttributesRef& attributes);
    void append(const HVAttributedString& other);
    // The characters and runs of the range, clipped.
    HVAttributedString substring(HVRange range) const;

private:
    std::u16string m_string;
    std::vector<Run> m_runs;
};
