#pragma once

#include "HVParser.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Highlights markup: tags, their double-quoted attribute values and markup comments. It finds
// the regions of other languages embedded in the markup (scripts, style sheets, server-side
// code) and hands them back to the caller, which gives each region to that language's parser;
// and it lends the tag colours of other markup dialects to tags that carry their prefix.
// Built from a syntax definition of "format-type" "tag".
//
// Server-side code ("anywhere" entries, delimiters) is found wherever it stands, as its server
// would find it: in text, tags, values, comments and inside scripts and style sheets. Code
// inside another language's region comes back as a region of this parser itself, after that
// region: the driver paints the outer language first, then hands the inner piece back here.
//
// Embedded languages and dialects are other bundles' parsers, found by their identifier when
// every bundle is loaded (finishLoad); they are held weakly, so a language that goes away is
// simply no longer embedded.
class HVTagBasedParser : public HVParser {
public:
    // One embedded language: the tag name (lower case) that opens it maps to this.
    struct EmbeddedLanguage {
        // The embedded parser's identifier ("format-id").
        std::string identifier;
        // The string that ends the region; the tag name followed by ">" when the definition
        // gives only the identifier.
        std::u16string end;
        // After finishLoad: the embedded language's parser, when it exists.
        std::weak_ptr<HVParser> parser;
        // Found inside attribute values and other languages' regions too (server-side code);
        // only for names that do not begin with a letter, which match as a prefix.
        bool anywhere = false;
        // From "attribute=value" (lower case) to the identifier of the language that the
        // element holds instead, "" for markup; a language not loaded falls back to this one.
        struct Choice {
            std::string identifier;
            std::weak_ptr<HVParser> parser;
        };
        std::map<std::u16string, Choice, std::less<>> attributeLanguages;
    };
    using EmbeddedMap = std::map<std::u16string, EmbeddedLanguage, std::less<>>;

    // Code between an opening and an ending string, such as a template's "{{" and "}}".
    struct Delimiter {
        std::u16string end;
        // The language of the text between, empty for a comment.
        std::string identifier;
        bool comment = false;
        // Found only in the markup's text, tags and values, not in comments nor in other
        // languages' regions (a client-side template's expressions).
        bool markupOnly = false;
        // After finishLoad.
        std::weak_ptr<HVParser> parser;
    };
    using DelimiterMap = std::map<std::u16string, Delimiter, std::less<>>;

    // Reads "tag-prefix", "embedded", "delimiters", "embedded-elements" and "style" besides
    // the common keys.
    HVTagBasedParser(HVBundle* bundle, const HVPlistValue& plist);
    HVTagBasedParser(HVBundle* bundle, std::string identifier);
    ~HVTagBasedParser() override;

    // How a parser identifier finds its parser.
    using ParserLookup = std::function<std::shared_ptr<HVParser>(const std::string& identifier)>;

    using HVParser::finishLoad;
    // Finds the embedded languages and the dialects by their identifiers, through the bundles
    // of the repository; missing ones are left out (an embedded entry without its language is
    // ignored).
    void finishLoad(HVBundleRepository& repository) override;
    // The same through any lookup (the preferences, tests).
    void finishLoad(const ParserLookup& parserForIdentifier);
    // Prepares the tag, attribute, quote and comment attributes, and gives the theme to every
    // embedded language and dialect.
    void setTheme(std::shared_ptr<const HVTheme> theme) override;
    // Paints the tags, values and comments of the range and returns the embedded regions, in
    // text order.
    HVParserRegions parseRange(HVRange range, HVTextBuffer& storage) override;
    // The markup's own entries, and in every region of an embedded language (as its openers
    // and closers mark them out) that language's entries, sorted by their start.
    std::vector<HVCodeNavEntry> codeNavItemsForString(std::u16string_view string,
                                                      HVRange range) override;
    // The distinct parsers of the embedded languages, in the order first met.
    std::vector<HVParser*> subparsers() const override;
    // The common keys, "format-type" "tag", and the keys of this kind that are set.
    HVPlistValue plistRepresentation() const override;

    // Tags whose name begins with this (ignoring case) are this dialect's when another markup
    // lists it among its embedded elements; empty for none.
    const std::string& tagPrefix() const { return m_tagPrefix; }
    void setTagPrefix(std::string prefix);
    const EmbeddedMap& embedded() const { return m_embedded; }
    // Adds or replaces the language that a tag name opens (the name is taken in lower case);
    // call finishLoad to resolve it.
    void setEmbedded(std::u16string_view tagName, std::string identifier, std::u16string end);
    void setEmbedded(std::u16string_view tagName, EmbeddedLanguage language);
    void removeEmbedded(std::u16string_view tagName);
    // By opening string.
    const DelimiterMap& delimiters() const { return m_delimiters; }
    void setDelimiter(std::u16string opening, Delimiter delimiter);
    const std::vector<std::string>& embeddedElementIdentifiers() const {
        return m_embeddedElementIdentifiers;
    }
    // Whether parser is the language of code that stands anywhere or between delimiters.
    bool paintsCodeAnywhere(const HVParser* parser) const;
    // The dialects found at finishLoad.
    std::vector<HVTagBasedParser*> embeddedTagParsers() const;

    // Style ids by kind: "tags", "attributes", "quotes", "comments".
    const std::map<std::string, std::string, std::less<>>& style() const { return m_style; }
    void setStyle(std::map<std::string, std::string, std::less<>> style);

    // The run attributes of the current theme (each with its style id, and multi-line; the
    // attribute names' set is kept for the preferences but paints nothing). None without a
    // theme or without that style id.
    const HVAttributesRef& tagAttributes() const { return m_tagAttributes; }
    const HVAttributesRef& attributeAttributes() const { return m_attributeAttributes; }
    const HVAttributesRef& quoteAttributes() const { return m_quoteAttributes; }
    const HVAttributesRef& commentsAttributes() const { return m_commentsAttributes; }

private:
    // One painting's state (defined with parseRange).
    class Scan;

    void applyTheme();
    void readEmbedded(const HVPlistValue& entries);
    void readDelimiters(const HVPlistValue& entries);
    void addSubparser(const std::shared_ptr<HVParser>& parser);

    std::string m_tagPrefix;
    std::u16string m_lowercaseTagPrefix;
    EmbeddedMap m_embedded;
    DelimiterMap m_delimiters;
    std::size_t m_longestTagName = 0;
    std::vector<std::string> m_embeddedElementIdentifiers;
    std::vector<std::weak_ptr<HVParser>> m_embeddedElements;
    std::vector<std::weak_ptr<HVParser>> m_subparsers;
    std::map<std::string, std::string, std::less<>> m_style;
    HVAttributesRef m_tagAttributes;
    HVAttributesRef m_attributeAttributes;
    HVAttributesRef m_quoteAttributes;
    HVAttributesRef m_commentsAttributes;
    // The lower-case copy of the current tag name, reused so that lookups do not allocate.
    std::u16string m_lowercaseName;
};
