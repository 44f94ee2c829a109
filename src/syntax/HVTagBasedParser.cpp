#include "HVTagBasedParser.h"

#include "HVBundle.h"
#include "HVBundleRepository.h"
#include "HVCodeNavigation.h"
#include "HVKeywordBasedParser.h"
#include "HVSyntaxSupport.h"
#include "HVTextBuffer.h"
#include "HVTheme.h"
#include "HVUnicode.h"

#include <algorithm>
#include <cstdint>

namespace {

constexpr std::u16string_view kCommentName = u"!--";
constexpr std::u16string_view kCommentEnd = u"-->";

// The first position at or after from, below end, that holds c; end when none.
std::size_t find(std::u16string_view text, char16_t c, std::size_t from, std::size_t end) {
    if (from >= end)
        return end;
    const char16_t* start = text.data() + from;
    const char16_t* found = std::char_traits<char16_t>::find(start, end - from, c);
    return found ? std::size_t(found - text.data()) : end;
}

bool isBlank(char16_t c) {
    // White space and line breaks, as far as a tag name goes.
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f' || c == u'\v' ||
           c == 0x85 || c == 0xA0 || c == 0x2028 || c == 0x2029 || c == 0x3000 ||
           (c >= 0x2000 && c <= 0x200A);
}

// A set of code units in which every character outside ASCII counts as a member, so that a
// scan stops on them and looks closer: the stops of the region scan are ASCII but for rare
// end strings and comment marks.
class AsciiSet {
public:
    void insert(char16_t c) {
        if (c < 128)
            m_bits[c >> 6] |= std::uint64_t(1) << (c & 63);
        else
            m_other = true;
    }
    bool contains(char16_t c) const { return c < 128 ? (m_bits[c >> 6] >> (c & 63)) & 1 : m_other; }

private:
    std::uint64_t m_bits[2] = {0, 0};
    bool m_other = false;
};

char16_t foldASCII(char16_t c) {
    return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c;
}

bool matchesIgnoringASCIICase(std::u16string_view text, std::size_t at, std::u16string_view what) {
    if (what.size() > text.size() - at)
        return false;
    for (std::size_t i = 0; i < what.size(); ++i) {
        if (foldASCII(text[at + i]) != foldASCII(what[i]))
            return false;
    }
    return true;
}

bool startsWithIgnoringCase(std::u16string_view name, std::u16string_view lowercasePrefix) {
    return !lowercasePrefix.empty() && matchesIgnoringASCIICase(name, 0, lowercasePrefix);
}

std::u16string lowercase(std::u16string_view text) {
    std::u16string result;
    hvsyntax::appendLowercase(result, text);
    return result;
}

} // namespace

HVTagBasedParser::HVTagBasedParser(HVBundle* bundle, const HVPlistValue& plist)
    : HVParser(bundle, plist) {
    if (!plist.isDictionary())
        return;
    if (const std::string* prefix = plist.stringForKey("tag-prefix"))
        setTagPrefix(*prefix);
    if (const HVPlistValue* embedded = plist.objectForKey("embedded")) {
        if (const HVPlistValue::Dictionary* entries = embedded->dictionary()) {
            for (const auto& [name, entry] : *entries) {
                std::u16string tagName = HVUnicode::utf16(name);
                if (const std::string* identifier = entry.string()) {
                    setEmbedded(tagName, *identifier, {});
                    continue;
                }
                const std::string* identifier = entry.stringForKey("id");
                if (!identifier || identifier->empty()) {
                    addLoadError("The embedded language of \"" + name + "\" has no \"id\".");
                    continue;
                }
                const std::string* end = entry.stringForKey("end");
                setEmbedded(tagName, *identifier, end ? HVUnicode::utf16(*end) : std::u16string());
            }
        } else {
            addLoadError("\"embedded\" is not a dictionary.");
        }
    }
    if (const HVPlistValue* elements = plist.objectForKey("embedded-elements")) {
        if (const HVPlistValue::Array* array = elements->array()) {
            for (const HVPlistValue& element : *array) {
                if (const std::string* identifier = element.string())
                    m_embeddedElementIdentifiers.push_back(*identifier);
                else
                    addLoadError("An entry of \"embedded-elements\" is not a string.");
            }
        } else {
            addLoadError("\"embedded-elements\" is not an array.");
        }
    }
    if (const HVPlistValue* style = plist.objectForKey("style")) {
        if (const HVPlistValue::Dictionary* entries = style->dictionary()) {
            for (const auto& [kind, value] : *entries) {
                if (const std::string* styleId = value.string())
                    m_style[kind] = *styleId;
                else
                    addLoadError("The style of \"" + kind + "\" is not a string.");
            }
        } else {
            addLoadError("\"style\" is not a dictionary.");
        }
    }
}

HVTagBasedParser::HVTagBasedParser(HVBundle* bundle, std::string identifier)
    : HVParser(bundle, std::move(identifier)) {}

HVTagBasedParser::~HVTagBasedParser() = default;

void HVTagBasedParser::setTagPrefix(std::string prefix) {
    m_tagPrefix = std::move(prefix);
    m_lowercaseTagPrefix = lowercase(HVUnicode::utf16(m_tagPrefix));
}

void HVTagBasedParser::setEmbedded(std::u16string_view tagName, std::string identifier,
                                   std::u16string end) {
    std::u16string name = lowercase(tagName);
    if (name.empty())
        return;
    if (end.empty())
        end = name + u">";
    m_embedded[name] = EmbeddedLanguage{std::move(identifier), std::move(end), {}};
    m_longestTagName = std::max(m_longestTagName, name.size());
}

void HVTagBasedParser::removeEmbedded(std::u16string_view tagName) {
    auto it = m_embedded.find(lowercase(tagName));
    if (it != m_embedded.end())
        m_embedded.erase(it);
}

void HVTagBasedParser::setStyle(std::map<std::string, std::string, std::less<>> style) {
    m_style = std::move(style);
    applyTheme();
}

void HVTagBasedParser::finishLoad(HVBundleRepository& repository) {
    finishLoad([&](const std::string& identifier) -> std::shared_ptr<HVParser> {
        auto bundle = repository.bundleForIdentifier(identifier);
        return bundle ? bundle->parser() : nullptr;
    });
}

void HVTagBasedParser::finishLoad(const ParserLookup& parserFor) {
    m_subparsers.clear();
    for (auto& [name, language] : m_embedded) {
        std::shared_ptr<HVParser> parser = parserFor(language.identifier);
        language.parser = parser;
        if (!parser)
            continue;
        bool known = std::any_of(m_subparsers.begin(), m_subparsers.end(),
                                 [&](const auto& weak) { return weak.lock() == parser; });
        if (!known)
            m_subparsers.push_back(parser);
    }
    m_embeddedElements.clear();
    for (const std::string& identifier : m_embeddedElementIdentifiers) {
        std::shared_ptr<HVParser> parser = parserFor(identifier);
        if (dynamic_cast<HVTagBasedParser*>(parser.get()))
            m_embeddedElements.push_back(parser);
    }
}

std::vector<HVParser*> HVTagBasedParser::subparsers() const {
    std::vector<HVParser*> parsers;
    for (const auto& weak : m_subparsers) {
        if (auto parser = weak.lock())
            parsers.push_back(parser.get());
    }
    return parsers;
}

std::vector<HVTagBasedParser*> HVTagBasedParser::embeddedTagParsers() const {
    std::vector<HVTagBasedParser*> parsers;
    for (const auto& weak : m_embeddedElements) {
        if (auto parser = weak.lock())
            parsers.push_back(static_cast<HVTagBasedParser*>(parser.get()));
    }
    return parsers;
}

void HVTagBasedParser::setTheme(std::shared_ptr<const HVTheme> theme) {
    HVParser::setTheme(theme);
    applyTheme();
    // Set on this parser first, so that dialects that list each other stop here.
    auto pass = [&](const std::vector<std::weak_ptr<HVParser>>& parsers) {
        for (const auto& weak : parsers) {
            auto parser = weak.lock();
            if (parser && parser->theme() != theme)
                parser->setTheme(theme);
        }
    };
    pass(m_subparsers);
    pass(m_embeddedElements);
}

void HVTagBasedParser::applyTheme() {
    const HVTheme* theme = this->theme().get();
    // Tags and their values may span lines, like comments: a re-parse after an edit on a later
    // line of the tag then starts where the tag starts.
    auto attributesFor = [&](std::string_view kind, bool multiLine) -> HVAttributesRef {
        auto it = m_style.find(kind);
        if (!theme || it == m_style.end() || it->second.empty())
            return nullptr;
        return styleAttributes(theme, it->second, multiLine);
    };
    m_tagAttributes = attributesFor("tags", true);
    m_attributeAttributes = attributesFor("attributes", false);
    m_quoteAttributes = attributesFor("quotes", true);
    m_commentsAttributes = attributesFor("comments", true);
}

// Painting.

std::size_t HVTagBasedParser::regionEnd(std::u16string_view text, std::size_t start,
                                        std::u16string_view endString, const HVParser& language) {
    // The embedded language's strings hide the end string; its comments hide quotes (an
    // apostrophe in a comment opens nothing) but not the end string, which ends the region
    // inside a comment as browsers and server-side languages do.
    const bool singleQuotes = language.usesSingleQuotes();
    const auto* keywordLanguage = dynamic_cast<const HVKeywordBasedParser*>(&language);
    const std::vector<HVComment>* comments = keywordLanguage && !keywordLanguage->comments().empty()
                                                 ? &keywordLanguage->comments()
                                                 : nullptr;
    // The characters at which something may happen, in code and in comments; every other
    // character is passed over in a tight loop.
    AsciiSet codeStops;
    AsciiSet commentStops;
    const char16_t first = endString.front();
    for (AsciiSet* stops : {&codeStops, &commentStops}) {
        stops->insert(first);
        stops->insert(foldASCII(first));
        stops->insert(first >= u'a' && first <= u'z' ? char16_t(first - 32) : first);
    }
    codeStops.insert(u'"');
    codeStops.insert(u'\\');
    if (singleQuotes)
        codeStops.insert(u'\'');
    commentStops.insert(u'\n');
    commentStops.insert(u'\r');
    if (comments) {
        for (const HVComment& comment : *comments) {
            if (!comment.begin().empty())
                codeStops.insert(comment.begin().front());
            if (comment.end())
                commentStops.insert(comment.end()->front());
        }
    }

    enum class State { Code, Double, Single, Comment } state = State::Code;
    const std::u16string* commentEnd = nullptr;
    const std::size_t n = text.size();
    for (std::size_t k = start; k < n; ++k) {
        char16_t c = text[k];
        if (state == State::Double || state == State::Single) {
            const char16_t quote = state == State::Double ? u'"' : u'\'';
            while (c != quote && c != u'\\' && ++k < n)
                c = text[k];
            if (k >= n)
                break;
            if (c == u'\\')
                ++k;
            else
                state = State::Code;
            continue;
        }
        const AsciiSet& stops = state == State::Code ? codeStops : commentStops;
        while (!stops.contains(c) && ++k < n)
            c = text[k];
        if (k >= n)
            break;
        if (foldASCII(c) == foldASCII(first) && matchesIgnoringASCIICase(text, k, endString))
            return k;
        if (state == State::Comment) {
            if (commentEnd ? text.compare(k, commentEnd->size(), *commentEnd) == 0
                           : (c == u'\n' || c == u'\r')) {
                if (commentEnd)
                    k += commentEnd->size() - 1;
                state = State::Code;
            }
            continue;
        }
        if (c == u'\\') {
            ++k;
        } else if (c == u'"') {
            state = State::Double;
        } else if (c == u'\'' && singleQuotes) {
            state = State::Single;
        } else if (comments) {
            for (const HVComment& comment : *comments) {
                const std::u16string& begin = comment.begin();
                if (begin.empty() || text.compare(k, begin.size(), begin) != 0)
                    continue;
                state = State::Comment;
                commentEnd = comment.end() ? &*comment.end() : nullptr;
                k += begin.size() - 1;
                break;
            }
        }
    }
    return n;
}

HVParserRegions HVTagBasedParser::parseRange(HVRange range, HVTextBuffer& storage) {
    // Only the range is read, in one piece, as the keyword parser does.
    range.location = std::min(range.location, storage.length());
    range.length = std::min(range.length, storage.length() - range.location);
    const std::u16string_view text = storage.contiguousRange(range);
    const std::size_t base = range.location;
    const std::size_t n = text.size();
    HVParserRegions regions;
    // Marked first, so that the mark rides along in every painted run (see the keyword parser).
    markRange(range, storage);

    auto paint = [&](const HVAttributesRef& attributes, std::size_t from, std::size_t to) {
        if (attributes && to > from)
            storage.addAttributes(attributes, {base + from, to - from});
    };

    // The dialects, held for the length of the painting.
    struct Dialect {
        std::shared_ptr<HVParser> owner;
        const HVTagBasedParser* parser;
    };
    std::vector<Dialect> dialects;
    for (const auto& weak : m_embeddedElements) {
        if (auto parser = weak.lock()) {
            auto* tagParser = static_cast<const HVTagBasedParser*>(parser.get());
            if (!tagParser->m_lowercaseTagPrefix.empty())
                dialects.push_back({std::move(parser), tagParser});
        }
    }

    // The next ">" and the next double quote are each searched again only once the position
    // has passed them, so that text with many "<" and few ">" or quotes stays linear.
    std::size_t nextGreater = 0;
    bool greaterKnown = false;
    std::size_t nextQuote = 0;
    bool quoteKnown = false;
    std::size_t lt = find(text, u'<', 0, n);
    while (lt < n) {
        const std::size_t i = lt;
        const std::size_t j = i + 1;
        if (j == n) {
            paint(m_tagAttributes, i, n);
            break;
        }
        if (!greaterKnown || nextGreater < j) {
            nextGreater = find(text, u'>', j, n);
            greaterKnown = true;
        }
        if (!quoteKnown || nextQuote < j) {
            nextQuote = find(text, u'"', j, n);
            quoteKnown = true;
        }
        const std::size_t gt = nextGreater; // n when there is none
        std::size_t nameEnd = j;
        while (nameEnd < gt && !isBlank(text[nameEnd]))
            ++nameEnd;
        const std::size_t nameStart = text[j] == u'/' ? j + 1 : j;
        const std::u16string_view name = text.substr(nameStart, nameEnd - nameStart);

        // An embedded language: its region runs from just after the name to its end string.
        // A closing tag never opens one, even when it stands alone.
        if (!m_embedded.empty() && nameStart == j && !name.empty() &&
            name.size() <= m_longestTagName) {
            m_lowercaseName.clear();
            hvsyntax::appendLowercase(m_lowercaseName, name);
            auto it = m_embedded.find(m_lowercaseName);
            std::shared_ptr<HVParser> language;
            if (it != m_embedded.end())
                language = it->second.parser.lock();
            if (language && !it->second.end.empty()) {
                const std::u16string& endString = it->second.end;
                std::size_t stop = regionEnd(text, nameEnd, endString, *language);
                regions.emplace_back(HVRange{base + nameEnd, stop - nameEnd}, language.get());
                // Both ends look like tags: the "<" with the name, and the end string.
                paint(m_tagAttributes, i, nameEnd);
                std::size_t after = std::min(n, stop + endString.size());
                paint(m_tagAttributes, stop, after);
                lt = find(text, u'<', after, n);
                continue;
            }
        }

        // A markup comment runs through the next "-->".
        if (name.substr(0, kCommentName.size()) == kCommentName) {
            std::size_t close = text.find(kCommentEnd, j + 1);
            std::size_t end = close == std::u16string_view::npos ? n : close + kCommentEnd.size();
            paint(m_commentsAttributes, i, end);
            if (end >= n)
                break;
            lt = find(text, u'<', end, n);
            continue;
        }

        // A tag, in the colours of the dialect whose prefix begins its name (the last listed).
        const HVAttributesRef* tag = &m_tagAttributes;
        const HVAttributesRef* quote = &m_quoteAttributes;
        for (const Dialect& dialect : dialects) {
            if (startsWithIgnoringCase(name, dialect.parser->m_lowercaseTagPrefix)) {
                tag = &dialect.parser->m_tagAttributes;
                quote = &dialect.parser->m_quoteAttributes;
            }
        }
        std::size_t close = gt;
        if (nextQuote < gt) {
            // Attribute values in double quotes, each painted with the quote attributes and
            // the text around them with the tag attributes.
            std::size_t from = i;
            std::size_t open = nextQuote;
            std::size_t greater = gt;
            while (true) {
                paint(*tag, from, open);
                std::size_t valueEnd = find(text, u'"', open + 1, n);
                if (valueEnd == n)
                    valueEnd = greater < n ? greater : n - 1;
                paint(*quote, open, valueEnd + 1);
                from = valueEnd + 1;
                greater = find(text, u'>', from, n);
                open = find(text, u'"', from, n);
                if (open >= greater)
                    break;
            }
            paint(*tag, from, greater < n ? greater + 1 : n);
            nextGreater = greater;
            nextQuote = open;
            close = greater;
        } else {
            paint(*tag, i, gt < n ? gt + 1 : n);
        }
        if (close >= n)
            break;
        lt = find(text, u'<', close, n);
    }
    return regions;
}

// Code navigation.

std::vector<HVCodeNavEntry> HVTagBasedParser::codeNavItemsForString(std::u16string_view string,
                                                                    HVRange range) {
    std::size_t end = std::min(range.end(), string.size());
    range = {std::min(range.location, end), end - std::min(range.location, end)};
    HVParserRegions regions;
    for (HVParser* parser : subparsers()) {
        HVParserRegions found = parser->rangesInString(string, range);
        regions.insert(regions.end(), found.begin(), found.end());
    }
    std::stable_sort(regions.begin(), regions.end(), [](const auto& a, const auto& b) {
        return a.first.location < b.first.location;
    });

    std::vector<HVCodeNavEntry> entries;
    auto add = [&](std::vector<HVCodeNavEntry> more) {
        entries.insert(entries.end(), std::make_move_iterator(more.begin()),
                       std::make_move_iterator(more.end()));
    };
    std::size_t position = range.location;
    for (const auto& [region, parser] : regions) {
        // A region that starts inside the previous one belongs to it.
        if (region.location < position)
            continue;
        if (region.location > position)
            add(HVParser::codeNavItemsForString(string, {position, region.location - position}));
        add(parser->codeNavItemsForString(string, region));
        position = region.end();
    }
    if (position < range.end())
        add(HVParser::codeNavItemsForString(string, {position, range.end() - position}));
    std::stable_sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
        return a.range.location < b.range.location;
    });
    return entries;
}

// Writing.

HVPlistValue HVTagBasedParser::plistRepresentation() const {
    HVPlistValue plist = HVParser::plistRepresentation();
    HVPlistValue::Dictionary& dictionary = *plist.dictionary();
    dictionary["format-type"] = "tag";
    if (!m_tagPrefix.empty())
        dictionary["tag-prefix"] = m_tagPrefix;
    if (!m_style.empty()) {
        HVPlistValue::Dictionary style;
        for (const auto& [kind, styleId] : m_style)
            style[kind] = styleId;
        dictionary["style"] = std::move(style);
    }
    if (!m_embedded.empty()) {
        HVPlistValue::Dictionary embedded;
        for (const auto& [name, language] : m_embedded) {
            auto parser = language.parser.lock();
            embedded[HVUnicode::utf8(name)] = HVPlistValue::Dictionary{
                {"id", parser ? parser->identifier() : language.identifier},
                {"end", HVUnicode::utf8(language.end)}};
        }
        dictionary["embedded"] = std::move(embedded);
    }
    // "embedded-elements" is not written: the dialects a markup lends its tags to are part of
    // the shipped definition.
    return plist;
}
