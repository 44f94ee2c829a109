#pragma once

#include "HVAttributes.h"
#include "HVError.h"
#include "HVPlistValue.h"
#include "HVRange.h"

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class HVBundle;
class HVBundleRepository;
class HVCodeNavigation;
struct HVCodeNavEntry;
class HVRegex;
class HVTextBuffer;
class HVTheme;
class HVParser;

// Problems in syntax definitions (a pattern that does not compile, a value of the wrong type).
inline constexpr std::string_view HVSyntaxErrorDomain = "com.ternwick.halvet.syntax";
enum HVSyntaxErrorCode : std::int64_t { HVSyntaxDefinitionError = 1 };

// Stretches of text that belong to another language, each with that language's parser, in
// text order.
using HVParserRegions = std::vector<std::pair<HVRange, HVParser*>>;

// How the fold patterns classify one line; the numbers are the fold markers' states.
enum class HVFoldState : int {
    None = -1,            // no marker
    Opener = 0,           // starts a region
    Closer = 1,           // ends a region
    Collapsed = 2,        // holds a collapsed region
    CloserThenOpener = 3, // ends one region and starts the next, as in "} else {"
};

// The base of the syntax parsers: what every language's syntax definition ("syntax.plist") has
// in common, and the contract by which the highlighting driver asks a parser to paint a range.
// A definition of no known kind gets a plain HVParser, which paints nothing but marks its
// ranges and folds.
//
// Parsers run on the main thread. They are owned by shared pointers (their bundle's), so that
// the runs they paint can refer to them without dangling.
class HVParser : public std::enable_shared_from_this<HVParser> {
public:
    // Reads the common keys of a syntax definition. Problems (a pattern that does not
    // compile, an entry of the wrong type) are collected in loadErrors(); what can be kept is
    // kept, so that writing the definition back loses nothing.
    HVParser(HVBundle* bundle, const HVPlistValue& plist);
    // An empty parser for a new language.
    HVParser(HVBundle* bundle, std::string identifier);
    virtual ~HVParser();
    HVParser(const HVParser&) = delete;
    HVParser& operator=(const HVParser&) = delete;

    // Called once when every bundle of the repository is loaded, so that a parser can find the
    // languages it refers to; nothing in the base.
    virtual void finishLoad(HVBundleRepository& repository);
    // The same through the shared repository.
    void finishLoad();
    // Writes the code navigation ("codenav.plist"), then "syntax.plist", into a bundle's
    // "Contents" directory, as binary property lists; false at the first failure.
    bool commitToPath(const std::string& contentsDirectory, HVError* error = nullptr) const;
    // The syntax definition: "format-version", "format-id", "folding", "openers", "closers"
    // (each only when set); subclasses add their own keys.
    virtual HVPlistValue plistRepresentation() const;

    // Paints range of the text with the theme's run attributes and marks it with
    // HVParserAttribute = a reference to this parser. Returns the regions of embedded languages
    // that the caller should hand to their own parsers; the base paints nothing and returns none.
    virtual HVParserRegions parseRange(HVRange range, HVTextBuffer& storage);

    // The next placeholder on the line after range: the first "[*cur]", else the empty range
    // between the first "\"\"", else "[*" through the next "*]"; location HVNotFound when none.
    HVRange nextSignificantRangeInString(std::u16string_view string, HVRange range) const;

    // The code navigation entries of range, sorted by their start; none without a code
    // navigation. The tag-based parser adds the entries of the languages embedded in it.
    virtual std::vector<HVCodeNavEntry> codeNavItemsForString(std::u16string_view string,
                                                              HVRange range);

    // The regions that the openers and closers mark out in range: each found opener paired
    // with the found closer of the same rank, closers missing at the end standing as empty
    // ones at the end of the range. Letter case is ignored.
    HVParserRegions rangesInString(std::u16string_view string, HVRange range);

    // The fold rule for one line (without its terminator): whether it carries a fold marker,
    // and which. A line that holds a collapsed region is Collapsed whatever its text.
    HVFoldState foldStateForLine(std::u16string_view line, bool holdsCollapsedRegion = false) const;
    // How far a line steps the nesting: the number of opener matches (Opener) or closer
    // matches (Closer, CloserThenOpener) on the whole line; 1 for Collapsed, 0 for None.
    std::size_t foldStepForLine(std::u16string_view line, HVFoldState state) const;

    // The theme the parser paints with; subclasses recompute their run attributes.
    virtual void setTheme(std::shared_ptr<const HVTheme> theme);
    const std::shared_ptr<const HVTheme>& theme() const { return m_theme; }

    // The parsers of embedded languages; none in the base.
    virtual std::vector<HVParser*> subparsers() const;
    // Whether single quotes delimit strings in this language; false in the base.
    virtual bool usesSingleQuotes() const;

    HVBundle* bundle() const { return m_bundle; }
    void setBundle(HVBundle* bundle) { m_bundle = bundle; }
    // The definition's "format-id", such as "text.css".
    const std::string& identifier() const { return m_identifier; }
    void setIdentifier(std::string identifier) { m_identifier = std::move(identifier); }
    // The definition's "format-type" as read ("keyword", "tag", or what an unknown kind said).
    const std::string& formatType() const { return m_formatType; }

    // The fold patterns, compiled with the default options; none when unset or when the
    // pattern does not compile. The pattern texts are kept either way.
    HVRegex* foldOpener() const { return m_foldOpener.get(); }
    HVRegex* foldCloser() const { return m_foldCloser.get(); }
    const std::u16string& foldOpenerPattern() const { return m_foldOpenerPattern; }
    const std::u16string& foldCloserPattern() const { return m_foldCloserPattern; }
    // An empty pattern removes it. False (with the reason) when the pattern does not compile.
    bool setFoldOpener(std::u16string_view pattern, HVError* error = nullptr);
    bool setFoldCloser(std::u16string_view pattern, HVError* error = nullptr);

    // Literal strings that begin and end a region of this language inside another; entry i of
    // one belongs to entry i of the other.
    const std::vector<std::u16string>& openers() const { return m_openers; }
    const std::vector<std::u16string>& closers() const { return m_closers; }
    void setOpeners(std::vector<std::u16string> openers) { m_openers = std::move(openers); }
    void setClosers(std::vector<std::u16string> closers) { m_closers = std::move(closers); }

    // The language's code navigation (built by the code intelligence layer), or none.
    HVCodeNavigation* codeNavParser() const { return m_codeNavParser.get(); }
    const std::shared_ptr<HVCodeNavigation>& sharedCodeNavParser() const { return m_codeNavParser; }
    void setCodeNavParser(std::shared_ptr<HVCodeNavigation> parser) {
        m_codeNavParser = std::move(parser);
    }

    const std::vector<HVError>& loadErrors() const { return m_loadErrors; }

    // The parser that painted the character at index (its HVParserAttribute), or none: also
    // when that parser is gone (its bundles were reloaded) or no shared pointer owns it.
    static std::shared_ptr<HVParser> parserAtIndex(const HVTextBuffer& storage, std::size_t index);

protected:
    // Sets HVParserAttribute to a reference to this parser over range.
    void markRange(HVRange range, HVTextBuffer& storage) const;
    // The run attributes of a style id: the theme's (none without a theme), HVStyleAttribute =
    // the id, and HVMultiLineAttribute when asked. Shared, so runs compare cheaply.
    static HVAttributesRef styleAttributes(const HVTheme* theme, std::string_view styleId,
                                           bool multiLine = false);
    void addLoadError(std::string description);

private:
    HVBundle* m_bundle = nullptr;
    std::string m_identifier;
    std::string m_formatType;
    std::u16string m_foldOpenerPattern;
    std::u16string m_foldCloserPattern;
    std::unique_ptr<HVRegex> m_foldOpener;
    std::unique_ptr<HVRegex> m_foldCloser;
    std::vector<std::u16string> m_openers;
    std::vector<std::u16string> m_closers;
    std::shared_ptr<HVCodeNavigation> m_codeNavParser;
    std::shared_ptr<const HVTheme> m_theme;
    std::vector<HVError> m_loadErrors;
    // HVParserAttribute = a reference to this parser, made on first use.
    mutable HVAttributesRef m_mark;
};
