#pragma once

#include "HVCodeCompletion.h"
#include "HVCodeCompletionSymbols.h"
#include "HVNotificationCenter.h"

#include <map>

class HVCharacterSet;

// Completion of words: the "keys" of the definition (keyword → "type prototype", or an array
// of such for a keyword of several kinds) merged with the index's symbols for the document.
// Both are filed by first character, and the partial word must begin them exactly
// (case-sensitive).
class HVKeywordCodeCompletion : public HVCodeCompletion {
public:
    using EntryMap = std::map<char16_t, std::vector<HVCodeCompletionEntry>>;

    static std::shared_ptr<HVKeywordCodeCompletion> make(const HVPlistValue& plist,
                                                         const std::shared_ptr<HVBundle>& bundle);
    ~HVKeywordCodeCompletion() override;

    // "HVSuggestKeywordsAutomatically".
    bool suggestAutomatically() const override;
    // The text of keywordRangeForString().
    std::optional<std::u16string> partialKeywordForString(std::u16string_view text,
                                                          std::size_t cursor) override;
    std::vector<HVCodeCompletionEntry> completionsForString(std::u16string_view partial,
                                                            const std::string& file,
                                                            std::size_t cursor) override;
    // From just after the last word delimiter before the caret on its line (or the line's
    // start) to the caret.
    HVRange keywordRangeForString(std::u16string_view text, std::size_t cursor) override;

    // The fixed entries, sorted by key.
    std::vector<HVCodeCompletionEntry> entries() const override;
    void setEntries(std::vector<HVCodeCompletionEntry> entries) override;
    HVPlistValue plistRepresentation() const override;

    // Replaces the shared index as the source of the document's symbols.
    void setSymbolSource(HVCodeCompletionSymbolSource source) { m_symbols = std::move(source); }

protected:
    HVKeywordCodeCompletion(const HVPlistValue& plist, const std::shared_ptr<HVBundle>& bundle);
    // Whether c ends a word: the keyword parser's delimiters, or any non-letter without one.
    bool isWordDelimiter(char16_t c) const;
    // Caches the bundle's keyword parser's delimiters for one request.
    void prepareDelimiters();
    // Forgets lastPath on the main thread whenever the index re-reads a file.
    void observeIndex();

    EntryMap m_default;
    EntryMap m_dynamic;
    HVCodeCompletionSymbolSource m_symbols;

private:
    std::shared_ptr<const void> m_delimiterOwner;
    const HVCharacterSet* m_delimiters = nullptr;
    HVScopedObserver m_indexObserver;
    bool m_observingIndex = false;
};
