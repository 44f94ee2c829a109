#pragma once

#include "HVAttributes.h"

#include <optional>
#include <string>
#include <string_view>

// One kind of comment of a keyword-based language: from its begin string through its end
// string, or to the end of the line when it has none.
class HVComment {
public:
    // An empty end makes a comment that runs to the end of the line.
    HVComment(std::u16string_view begin, std::u16string_view end, std::string themeID)
        : m_begin(begin), m_themeID(std::move(themeID)) {
        if (!end.empty())
            m_end.emplace(end);
    }

    const std::u16string& begin() const { return m_begin; }
    const std::optional<std::u16string>& end() const { return m_end; }
    // The style id.
    const std::string& themeID() const { return m_themeID; }

    // The theme's attributes for the style id, plus HVMultiLineAttribute when there is an end
    // string.
    const HVAttributes& attributes() const {
        static const HVAttributes empty;
        return m_attributes ? *m_attributes : empty;
    }
    const HVAttributesRef& attributesRef() const { return m_attributes; }
    void setAttributes(HVAttributesRef attributes) { m_attributes = std::move(attributes); }

private:
    std::u16string m_begin;
    std::optional<std::u16string> m_end;
    std::string m_themeID;
    HVAttributesRef m_attributes;
};
