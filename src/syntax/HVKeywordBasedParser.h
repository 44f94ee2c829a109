#pragma once

#include "HVCharacterSet.h"
#include "HVComment.h"
#include "HVKeyword.h"
#include "HVParser.h"
#include "HVSyntaxRegion.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// The keywords of one style id, as the preferences show and edit them.
struct HVKeywordGroup {
    // The style id.
    std::string title;
    // Exact words and patterns (their source), sorted.
    std::vector<std::u16string> keywords;
    friend bool operator==(const HVKeywordGroup&, const HVKeywordGroup&) = default;
};

// Highlights languages made of words, quoted strings, comments and regions (heredocs, regex
// literals: stretches between two patterns): scripts, style sheets, programming languages.
// Built from a syntax definition of "format-type" "keyword".
//
// Painting scans the text once: the next quote, the next keyword character and the next
// comment begin are each found by table lookups, words are looked up without copying them,
// and the run attributes are prepared once per theme.
class HVKeywordBasedParser : public HVParser {
public:
    struct WordHash {
        using is_transparent = void;
        std::size_t operator()(std::u16string_view word) const noexcept;
    };
    using KeywordMap = std::unordered_map<std::u16string, HVKeyword, WordHash, std::equal_to<>>;

    // A comment found in a text: where it runs and what it is; comment is none when not found.
    struct CommentMatch {
        HVRange range{HVNotFound, 0};
        const HVComment* comment = nullptr;
        bool found() const { return comment != nullptr; }
    };

    // Reads "case-sensitive", "keyword-characters", "keywords", "regex-keywords", "quotes",
    // "comments" and "regions" besides the common keys. A region ("begin", "end", "escape",
    // "id", "multi-line", "needs-end", "code", "inside": regions of its own, see HVSyntaxRegion)
    // that cannot be used (a pattern that does not compile, a value of the wrong type) is
    // reported and left out.
    HVKeywordBasedParser(HVBundle* bundle, const HVPlistValue& plist);
    HVKeywordBasedParser(HVBundle* bundle, std::string identifier);
    ~HVKeywordBasedParser() override;

    // Each keyword, comment kind and quote kind takes its run attributes from the theme.
    void setTheme(std::shared_ptr<const HVTheme> theme) override;
    // Paints the regions, comments, words and strings of the range; returns no embedded
    // regions. Whatever begins first wins; at one place a region (the one defined first), then
    // a word, then a string, then a comment; with regions defined, a comment before a string.
    // A region that needs its end and finds none is passed over.
    HVParserRegions parseRange(HVRange range, HVTextBuffer& storage) override;
    // True when single-quoted strings are defined.
    bool usesSingleQuotes() const override;
    // The common keys, "format-type" "keyword", and the keys of this kind that are set.
    HVPlistValue plistRepresentation() const override;

    // The first comment that begins in range (the earliest; at the same place the kind defined
    // first), running through its end string, or to the end of its line without the line
    // break, and never beyond the range.
    CommentMatch rangeOfCommentInRange(std::u16string_view text, HVRange range) const;

    // The keywords grouped by style id, sorted by title, for the preferences.
    std::vector<HVKeywordGroup> identifiers() const;
    // Replaces every keyword. A group without title is skipped; a text holding any character
    // that is not a keyword character becomes a pattern keyword, any other an exact word.
    // False (with the first reason) when a pattern does not compile; it is kept nonetheless.
    bool setIdentifiers(const std::vector<HVKeywordGroup>& groups, HVError* error = nullptr);

    // Words are looked up in lower case when false; the definition must then list them in
    // lower case.
    bool caseSensitive() const { return m_caseSensitive; }
    void setCaseSensitive(bool caseSensitive);

    // The characters that words are made of, as written in the definition, and as sets.
    const std::u16string& characterString() const { return m_characterString; }
    void setKeywordCharacters(std::u16string characters);
    const HVCharacterSet& keywordCharacters() const { return m_keywordCharacters; }
    // Every character that ends a word.
    const HVCharacterSet& oppositeSet() const { return m_oppositeCharacters; }

    const KeywordMap& keywords() const { return m_keywords; }
    const std::vector<HVKeyword>& regexKeywords() const { return m_regexKeywords; }
    const std::vector<HVComment>& comments() const { return m_comments; }
    void setComments(std::vector<HVComment> comments);
    const std::vector<HVSyntaxRegion>& regions() const { return m_regions; }
    void setRegions(std::vector<HVSyntaxRegion> regions);

    // The style ids of single- and double-quoted strings; none when that kind is not a string.
    const std::optional<std::string>& singleQuoteIdentifier() const { return m_singleQuoteId; }
    const std::optional<std::string>& doubleQuoteIdentifier() const { return m_doubleQuoteId; }
    void setQuotes(std::optional<std::string> single, std::optional<std::string> doubleQuote);
    // The run attributes of the two string kinds (with HVStyleAttribute and
    // HVMultiLineAttribute); none without a theme or when that kind is not a string.
    const HVAttributesRef& singleQuoteAttributes() const { return m_singleQuoteAttr; }
    const HVAttributesRef& doubleQuoteAttributes() const { return m_doubleQuoteAttr; }

    // The parts of the definition, as written.
    HVPlistValue::Array plistForComments() const;
    HVPlistValue::Dictionary plistForKeywords() const;
    HVPlistValue::Array plistForRegexKeywords() const;
    HVPlistValue::Dictionary plistForQuotes() const;
    HVPlistValue::Array plistForRegions() const;

private:
    void addKeyword(HVKeyword keyword);
    const HVKeyword* keywordForWord(std::u16string_view word);
    void rebuildTables();
    void applyTheme();
    std::vector<HVSyntaxRegion> readRegions(const HVPlistValue& regions);
    void applyTheme(std::vector<HVSyntaxRegion>& regions,
                    const std::function<HVAttributesRef(const std::string&, bool)>& attributesFor);
    // The next begin of one region kind (of the text's regions or of one region's inside) at or
    // after a place, found again only once painting has passed it.
    struct RegionBegin;
    static void findRegionBegin(const std::vector<HVSyntaxRegion>& regions, std::size_t kind,
                                std::u16string_view text, std::size_t from, std::size_t end,
                                RegionBegin& next);
    // How far the searches for comment ends have got in one text, so that comment begins that
    // recur (inside strings, say) do not search the same stretch again: for each kind, and for
    // line ends, where the last search started and where it found the end (the end of the
    // range when it found none). Searches only move forwards within one painting.
    struct EndSearches {
        std::vector<std::pair<std::size_t, std::size_t>> ends;
        std::pair<std::size_t, std::size_t> lineEnd{HVNotFound, HVNotFound};
    };
    CommentMatch findComment(std::u16string_view text, std::size_t from, std::size_t end,
                             EndSearches& searches) const;
    CommentMatch commentAt(std::u16string_view text, std::size_t position, std::size_t end,
                           EndSearches& searches) const;
    std::size_t findQuote(std::u16string_view text, std::size_t from, std::size_t end) const;
    std::size_t findKeywordCharacter(std::u16string_view text, std::size_t from,
                                     std::size_t end) const;
    // Paints runs found at positions of a piece of the text that begins at base.
    struct Painter {
        HVTextBuffer& storage;
        std::size_t base;
        void paint(const HVAttributesRef& attributes, HVRange range) const;
    };
    std::size_t paintWord(std::u16string_view text, std::size_t start, std::size_t end,
                          const Painter& painter);
    std::size_t paintString(std::u16string_view text, std::size_t start, std::size_t end,
                            const Painter& painter) const;
    // Where the region ends, or none when it needs its end and has none. textGoesOn tells
    // whether the text goes on after end.
    std::size_t paintRegion(std::u16string_view text, std::vector<HVSyntaxRegion>& regions,
                            const RegionBegin& begin, std::size_t end, bool textGoesOn,
                            const Painter& painter);
    void paintInside(std::u16string_view text, std::vector<HVSyntaxRegion>& regions, HVRange range,
                     bool textGoesOn, const Painter& painter);
    // Paints the regions, comments, words and strings from start to end.
    void paintCode(std::u16string_view text, std::size_t start, std::size_t end, bool textGoesOn,
                   const Painter& painter);

    bool m_caseSensitive = false;
    std::u16string m_characterString;
    HVCharacterSet m_keywordCharacters;
    HVCharacterSet m_oppositeCharacters;
    KeywordMap m_keywords;
    std::vector<HVKeyword> m_regexKeywords;
    std::vector<HVComment> m_comments;
    std::vector<HVSyntaxRegion> m_regions;
    std::optional<std::string> m_singleQuoteId;
    std::optional<std::string> m_doubleQuoteId;
    HVAttributesRef m_singleQuoteAttr;
    HVAttributesRef m_doubleQuoteAttr;

    // Lookup tables derived from the above.
    HVCharacterSet m_quoteSet;
    HVCharacterSet m_commentStarts;
    std::size_t m_longestKeyword = 0;
    // The lower-case copy of the current word, reused so that lookups do not allocate.
    std::u16string m_lowercaseWord;
    // What words seen lately resolved to (a keyword or none), so that a word that recurs costs
    // one probe instead of a lookup and a match of every pattern: a table indexed by the
    // word's hash, where a word takes the place of the one before it. Emptied whenever the
    // keywords change.
    struct CachedWord {
        std::u16string word;
        const HVKeyword* keyword = nullptr;
        bool used = false;
    };
    std::vector<CachedWord> m_wordCache;
    void clearWordCache();
};
