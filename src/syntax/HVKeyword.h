#pragma once

#include "HVAttributes.h"
#include "HVError.h"

#include <memory>
#include <string>
#include <string_view>

class HVRegex;

// One keyword of a keyword-based language: an exact word, or a pattern that a whole word must
// match, with the style id that colours it.
class HVKeyword {
public:
    // An exact word.
    HVKeyword(std::string identifier, std::u16string keyword);
    // A pattern, compiled with the default options. A pattern that does not compile is kept
    // (so that it is written back) but matches nothing; error says why.
    static HVKeyword pattern(std::string identifier, std::u16string pattern,
                             HVError* error = nullptr);
    ~HVKeyword();
    HVKeyword(HVKeyword&&) noexcept;
    HVKeyword& operator=(HVKeyword&&) noexcept;

    // The style id.
    const std::string& identifier() const { return m_identifier; }
    // The exact word; empty for a pattern keyword.
    const std::u16string& keyword() const { return m_keyword; }
    bool isPattern() const { return m_isPattern; }
    // The compiled pattern, or none.
    HVRegex* regex() const { return m_regex.get(); }
    // The word, or the pattern's source.
    const std::u16string& stringValue() const { return m_isPattern ? m_pattern : m_keyword; }

    // Whether the pattern's leftmost match in word covers all of it.
    bool matchesWholeWord(std::u16string_view word) const;

    // The run attributes from the theme; shared by every keyword of the same style id.
    const HVAttributes& attributes() const;
    const HVAttributesRef& attributesRef() const { return m_attributes; }
    void setAttributes(HVAttributesRef attributes) { m_attributes = std::move(attributes); }

private:
    HVKeyword() = default;

    std::string m_identifier;
    std::u16string m_keyword;
    std::u16string m_pattern;
    bool m_isPattern = false;
    std::unique_ptr<HVRegex> m_regex;
    HVAttributesRef m_attributes;
};
