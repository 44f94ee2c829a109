#pragma once

#include "HVCodeCompletion.h"
#include "HVCodeCompletionSymbols.h"

#include <map>
#include <tuple>

class HVRegex;

// Completion of markup: element names, the attributes of the element being typed and the
// values of the attribute being typed, from the definition's "elements" (element → attribute →
// values), plus the elements of the dialects the markup embeds ("cfoutput" and the like come
// from their own bundles). An attribute's values are an array, one value, nothing
// (""), or "#class.type": the index's symbols of that language and kind for the document.
// The element "*" lists attributes that every element has.
class HVTagCodeCompletion : public HVCodeCompletion {
public:
    static std::shared_ptr<HVTagCodeCompletion> make(const HVPlistValue& plist,
                                                     const std::shared_ptr<HVBundle>& bundle);
    ~HVTagCodeCompletion() override;

    // "HVSuggestElementsAutomatically".
    bool suggestAutomatically() const override;
    // Finds the open tag before the caret on its line and what is being typed in it; none
    // outside a tag.
    std::optional<std::u16string> partialKeywordForString(std::u16string_view text,
                                                          std::size_t cursor) override;
    // For the context of the last partialKeywordForString().
    std::vector<HVCodeCompletionEntry> completionsForString(std::u16string_view partial,
                                                            const std::string& file,
                                                            std::size_t cursor) override;
    HVRange keywordRangeForString(std::u16string_view text, std::size_t cursor) override;
    // A text that, without its quotes, ends in an ellipsis opens a dialog whose text comes back
    // in double quotes; any other text is inserted as it is.
    void postprocessCompletion(std::u16string completion, DidEnd didEnd) override;
    // A file chooser for "path" and "uri"; nothing for other labels.
    std::shared_ptr<HVCodeCompletionUI>
    createCodeCompletionUIForCompletion(std::u16string_view label) override;

    HVPlistValue plistRepresentation() const override;
    // The definition as the editing pane shows it: elements sorted by name, each
    // {"title", "attributes": [{"title", "values": [{"title"}]}]}.
    HVPlistValue::Array elementsForEditing() const;
    // Back from the pane: an attribute without values is stored as "", one value as that
    // string, several as an array.
    void setElementsFromEditing(const HVPlistValue::Array& elements);

    // The element names offered for a partial element: this markup's and those of every
    // embedded dialect whose tag prefix begins the partial (ignoring case).
    std::vector<std::u16string> allElementsForPartialElement(std::u16string_view partial);

    // The context of the last request, lower-cased.
    const std::optional<std::u16string>& currentElement() const { return m_currentElement; }
    const std::optional<std::u16string>& currentAttribute() const { return m_currentAttribute; }
    const std::optional<std::u16string>& currentValue() const { return m_currentValue; }

    void setSymbolSource(HVCodeCompletionSymbolSource source) { m_symbols = std::move(source); }

private:
    HVTagCodeCompletion(const HVPlistValue& plist, const std::shared_ptr<HVBundle>& bundle);
    // The candidates (strings, or symbols for "#" values) for the context.
    std::vector<HVCodeCompletionEntry> attributeEntries(const std::u16string& element);
    std::vector<HVCodeCompletionEntry> valueEntries(const std::u16string& element,
                                                    const std::u16string& attribute,
                                                    const std::string& file);
    const HVCodeCompletionEntry& entryForElement(const std::u16string& name);
    // The attributes of an element, here or in the first embedded dialect that knows it,
    // with those the same definition gives every element ("*"); none for an unknown element.
    std::optional<HVPlistValue::Dictionary> attributesOfElement(const std::u16string& element);
    const std::vector<std::shared_ptr<HVTagCodeCompletion>>& embeddedCodeCompletions();
    // Where the open tag's name is on the caret's line; none outside a tag.
    std::optional<HVRange> elementNameRange(std::u16string_view text, std::size_t cursor) const;

    HVPlistValue::Dictionary m_elements;
    std::map<std::u16string, HVCodeCompletionEntry> m_entriesForElement;
    std::optional<std::vector<std::shared_ptr<HVTagCodeCompletion>>> m_embedded;
    std::optional<std::u16string> m_currentElement;
    std::optional<std::u16string> m_currentAttribute;
    std::optional<std::u16string> m_currentValue;
    // What the cached lists were made for: typing on in the same attribute reuses them.
    std::optional<std::u16string> m_cachedAttributesElement;
    std::vector<HVCodeCompletionEntry> m_cachedAttributes;
    std::optional<std::tuple<std::u16string, std::u16string, std::string>> m_cachedValuesFor;
    std::vector<HVCodeCompletionEntry> m_cachedValues;
    std::unique_ptr<HVRegex> m_context;
    HVCodeCompletionSymbolSource m_symbols;
};
