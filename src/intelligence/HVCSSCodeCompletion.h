#pragma once

#include "HVKeywordCodeCompletion.h"

#include <map>

class HVRegex;

// Completion in style sheets: inside a rule block, property names and then the values the
// definition's "properties" list for the property. A value ending in an ellipsis ("length…",
// "color…") opens a dialog that asks for it.
class HVCSSCodeCompletion : public HVKeywordCodeCompletion {
public:
    // Property name → its values, filed under the name's first character.
    using PropertyMap = std::map<char16_t, std::map<std::u16string, std::vector<std::u16string>>>;

    static std::shared_ptr<HVCSSCodeCompletion> make(const HVPlistValue& plist,
                                                     const std::shared_ptr<HVBundle>& bundle);
    ~HVCSSCodeCompletion() override;

    bool suggestAutomatically() const override;
    // Finds the declaration being typed; none outside a rule block or after its semicolon.
    std::optional<std::u16string> partialKeywordForString(std::u16string_view text,
                                                          std::size_t cursor) override;
    std::optional<std::u16string> establishContextForString(std::u16string_view text,
                                                            std::size_t cursor);
    // Values of the current property in the definition's order, else property names
    // (which keep the pop-up open so that their values follow).
    std::vector<HVCodeCompletionEntry> completionsForString(std::u16string_view partial,
                                                            const std::string& file,
                                                            std::size_t cursor) override;
    // The whole word around the caret.
    HVRange keywordRangeForString(std::u16string_view text, std::size_t cursor) override;
    std::shared_ptr<HVCodeCompletionUI>
    createCodeCompletionUIForCompletion(std::u16string_view label) override;

    // One entry per property, its values joined by spaces as the prototype.
    std::vector<HVCodeCompletionEntry> entries() const override;
    void setEntries(std::vector<HVCodeCompletionEntry> entries) override;
    // "class" and "properties".
    HVPlistValue plistRepresentation() const override;

    // Whether the caret is inside a rule block: after a "{" with no "}" between.
    static bool locationInOpenSelector(std::size_t location, std::u16string_view text);
    const std::vector<std::u16string>* valuesForProperty(std::u16string_view property) const;
    static HVCodeCompletionEntry entryForProperty(const std::u16string& property);
    static HVCodeCompletionEntry entryForValue(const std::u16string& value);
    const std::optional<std::u16string>& currentProperty() const { return m_currentProperty; }
    const std::optional<std::u16string>& currentValue() const { return m_currentValue; }

private:
    HVCSSCodeCompletion(const HVPlistValue& plist, const std::shared_ptr<HVBundle>& bundle);

    PropertyMap m_properties;
    std::optional<std::u16string> m_currentProperty;
    std::optional<std::u16string> m_currentValue;
    std::unique_ptr<HVRegex> m_propertyPattern;
};
