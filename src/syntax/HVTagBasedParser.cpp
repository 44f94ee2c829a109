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
    bool empty() const { return !m_bits[0] && !m_bits[1] && !m_other; }
    friend AsciiSet operator|(const AsciiSet& a, const AsciiSet& b) {
        AsciiSet both;
        both.m_bits[0] = a.m_bits[0] | b.m_bits[0];
        both.m_bits[1] = a.m_bits[1] | b.m_bits[1];
        both.m_other = a.m_other || b.m_other;
        return both;
    }

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
    if (const HVPlistValue* embedded = plist.objectForKey("embedded"))
        readEmbedded(*embedded);
    if (const HVPlistValue* delimiters = plist.objectForKey("delimiters"))
        readDelimiters(*delimiters);
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

void HVTagBasedParser::readEmbedded(const HVPlistValue& embedded) {
    const HVPlistValue::Dictionary* entries = embedded.dictionary();
    if (!entries) {
        addLoadError("\"embedded\" is not a dictionary.");
        return;
    }
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
        EmbeddedLanguage language;
        language.identifier = *identifier;
        if (const std::string* end = entry.stringForKey("end"))
            language.end = HVUnicode::utf16(*end);
        if (const HVPlistValue* anywhere = entry.objectForKey("anywhere")) {
            if (anywhere->boolean())
                language.anywhere = *anywhere->boolean();
            else
                addLoadError("\"anywhere\" of \"" + name + "\" is not a boolean.");
        }
        if (const HVPlistValue* choices = entry.objectForKey("attribute-languages")) {
            if (const HVPlistValue::Dictionary* dictionary = choices->dictionary()) {
                for (const auto& [attribute, choice] : *dictionary) {
                    if (const std::string* id = choice.string())
                        language.attributeLanguages[lowercase(HVUnicode::utf16(attribute))] = {*id,
                                                                                               {}};
                    else
                        addLoadError("The language of \"" + attribute + "\" is not a string.");
                }
            } else {
                addLoadError("\"attribute-languages\" of \"" + name + "\" is not a dictionary.");
            }
        }
        setEmbedded(tagName, std::move(language));
    }
}

void HVTagBasedParser::readDelimiters(const HVPlistValue& delimiters) {
    const HVPlistValue::Dictionary* entries = delimiters.dictionary();
    if (!entries) {
        addLoadError("\"delimiters\" is not a dictionary.");
        return;
    }
    for (const auto& [opening, entry] : *entries) {
        const std::string* end = entry.stringForKey("end");
        const std::string* identifier = entry.stringForKey("id");
        bool comment = entry.boolForKey("comment").value_or(false);
        if (opening.empty() || !end || end->empty() ||
            (comment == (identifier && !identifier->empty()))) {
            addLoadError("The delimiter \"" + opening +
                         "\" needs an \"end\" and either an \"id\" or \"comment\".");
            continue;
        }
        Delimiter delimiter;
        delimiter.end = HVUnicode::utf16(*end);
        delimiter.identifier = identifier ? *identifier : std::string();
        delimiter.comment = comment;
        delimiter.markupOnly = entry.boolForKey("markup-only").value_or(false);
        setDelimiter(HVUnicode::utf16(opening), std::move(delimiter));
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
    EmbeddedLanguage language;
    language.identifier = std::move(identifier);
    language.end = std::move(end);
    setEmbedded(tagName, std::move(language));
}

void HVTagBasedParser::setEmbedded(std::u16string_view tagName, EmbeddedLanguage language) {
    std::u16string name = lowercase(tagName);
    if (name.empty())
        return;
    if (language.end.empty())
        language.end = name + u">";
    m_longestTagName = std::max(m_longestTagName, name.size());
    m_embedded[std::move(name)] = std::move(language);
}

void HVTagBasedParser::setDelimiter(std::u16string opening, Delimiter delimiter) {
    if (!opening.empty() && !delimiter.end.empty())
        m_delimiters[std::move(opening)] = std::move(delimiter);
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

void HVTagBasedParser::addSubparser(const std::shared_ptr<HVParser>& parser) {
    if (!parser)
        return;
    bool known = std::any_of(m_subparsers.begin(), m_subparsers.end(),
                             [&](const auto& weak) { return weak.lock() == parser; });
    if (!known)
        m_subparsers.push_back(parser);
}

void HVTagBasedParser::finishLoad(const ParserLookup& parserFor) {
    m_subparsers.clear();
    for (auto& [name, language] : m_embedded) {
        std::shared_ptr<HVParser> parser = parserFor(language.identifier);
        language.parser = parser;
        addSubparser(parser);
        for (auto& [attribute, choice] : language.attributeLanguages) {
            std::shared_ptr<HVParser> chosen =
                choice.identifier.empty() ? nullptr : parserFor(choice.identifier);
            choice.parser = chosen;
            addSubparser(chosen);
        }
    }
    for (auto& [opening, delimiter] : m_delimiters) {
        std::shared_ptr<HVParser> parser =
            delimiter.comment ? nullptr : parserFor(delimiter.identifier);
        delimiter.parser = parser;
        addSubparser(parser);
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

bool HVTagBasedParser::paintsCodeAnywhere(const HVParser* parser) const {
    if (!parser)
        return false;
    for (const auto& [opening, delimiter] : m_delimiters) {
        if (delimiter.parser.lock().get() == parser)
            return true;
    }
    return std::any_of(m_embedded.begin(), m_embedded.end(), [&](const auto& entry) {
        return entry.second.anywhere && entry.second.parser.lock().get() == parser;
    });
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

// One painting of a range: the text, the live languages of the code that may stand anywhere
// and of the delimiters, and the pieces of such code found so far ("holes", which the markup's
// own painting leaves alone). Every search goes forwards only, so a painting stays linear.
class HVTagBasedParser::Scan {
public:
    // An opening string of code that may stand anywhere, or of a delimiter.
    struct Opener {
        std::u16string text;
        std::u16string_view end;
        // None for a comment.
        HVParser* language;
        bool markupOnly;
    };
    struct Hole {
        std::size_t start, innerStart, innerEnd, end;
        const Opener* opener;
        // Inside another language's region: handed back whole, to be painted after it.
        bool nested;
    };
    // A prefix name ("?php"), longest first.
    struct Instruction {
        std::u16string_view name;
        const EmbeddedLanguage* language;
    };

    Scan(const HVTagBasedParser& markup, std::u16string_view text) : text(text), n(text.size()) {
        for (const auto& [name, language] : markup.m_embedded) {
            if (isLetter(name.front()))
                continue;
            if (!language.anywhere) {
                instructions.push_back({name, &language});
                continue;
            }
            if (auto parser = language.parser.lock()) {
                openers.push_back({u"<" + name, language.end, parser.get(), false});
                held.push_back(std::move(parser));
            }
        }
        for (const auto& [opening, delimiter] : markup.m_delimiters) {
            auto parser = delimiter.parser.lock();
            if (!parser && !delimiter.comment)
                continue;
            openers.push_back({opening, delimiter.end, parser.get(), delimiter.markupOnly});
            held.push_back(std::move(parser));
        }
        // The longest opening string wins where several begin.
        std::stable_sort(openers.begin(), openers.end(), [](const Opener& a, const Opener& b) {
            return a.text.size() > b.text.size();
        });
        std::stable_sort(instructions.begin(), instructions.end(),
                         [](const Instruction& a, const Instruction& b) {
                             return a.name.size() > b.name.size();
                         });
        for (const Opener& opener : openers) {
            insertFolded(markupFirst, opener.text.front());
            if (!opener.markupOnly)
                insertFolded(codeFirst, opener.text.front());
        }
    }

    static bool isLetter(char16_t c) {
        return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c >= 0x80;
    }
    static void insertFolded(AsciiSet& set, char16_t c) {
        set.insert(c);
        set.insert(foldASCII(c));
        set.insert(c >= u'a' && c <= u'z' ? char16_t(c - 32) : c);
    }

    bool hasOpeners() const { return !openers.empty(); }

    // The opener that begins at k, among all of them in markup, else among those found in code.
    const Opener* openerAt(std::size_t k, bool markup) const {
        for (const Opener& opener : openers) {
            if ((markup || !opener.markupOnly) && matchesIgnoringASCIICase(text, k, opener.text))
                return &opener;
        }
        return nullptr;
    }

    // Records the code that opener begins at k; returns where it ends.
    std::size_t addHole(std::size_t k, const Opener& opener, bool nested) {
        const std::size_t innerStart = std::min(n, k + opener.text.size());
        std::size_t innerEnd;
        if (opener.language) {
            innerEnd = regionEnd(innerStart, opener.end, *opener.language, false);
        } else {
            innerEnd = text.find(opener.end, innerStart);
            innerEnd = innerEnd == std::u16string_view::npos ? n : innerEnd;
        }
        const std::size_t end = std::min(n, innerEnd + opener.end.size());
        holes.push_back({k, innerStart, innerEnd, end, &opener, nested});
        return end;
    }

    // The first position at or after k that holds one of stops outside code; the code met on
    // the way is recorded. In markup every opener counts, elsewhere those found in code.
    std::size_t next(std::size_t k, const AsciiSet& stops, bool markup) {
        if (openers.empty())
            return findAny(k, stops);
        const AsciiSet& first = markup ? markupFirst : codeFirst;
        const AsciiSet either = stops | first;
        while (k < n) {
            char16_t c = text[k];
            while (!either.contains(c) && ++k < n)
                c = text[k];
            if (k >= n)
                break;
            if (first.contains(c)) {
                if (const Opener* opener = openerAt(k, markup)) {
                    k = addHole(k, *opener, false);
                    continue;
                }
            }
            if (stops.contains(c))
                return k;
            ++k;
        }
        return n;
    }

    std::size_t findAny(std::size_t k, const AsciiSet& stops) const {
        while (k < n && !stops.contains(text[k]))
            ++k;
        return k;
    }

    // Where an embedded region that starts at start ends: the first occurrence of the end
    // string (ignoring ASCII case) that is not inside a string of the language; end of text
    // when none. An end that is one closing bracket ends only at its own nesting level. With
    // findCode, code found inside is recorded as nested holes and stepped over, whatever the
    // language's state, which it leaves as it was.
    std::size_t regionEnd(std::size_t start, std::u16string_view endString,
                          const HVParser& language, bool findCode);

    std::u16string_view text;
    std::size_t n;
    std::vector<Opener> openers;
    std::vector<Instruction> instructions;
    std::vector<std::shared_ptr<HVParser>> held;
    AsciiSet markupFirst;
    AsciiSet codeFirst;
    std::vector<Hole> holes;
};

std::size_t HVTagBasedParser::Scan::regionEnd(std::size_t start, std::u16string_view endString,
                                              const HVParser& language, bool findCode) {
    // The embedded language's strings hide the end string; its comments hide quotes (an
    // apostrophe in a comment opens nothing) but not the end string, which ends the region
    // inside a comment as browsers and server-side languages do.
    const bool singleQuotes = language.usesSingleQuotes();
    const auto* keywordLanguage = dynamic_cast<const HVKeywordBasedParser*>(&language);
    const std::vector<HVComment>* comments = keywordLanguage && !keywordLanguage->comments().empty()
                                                 ? &keywordLanguage->comments()
                                                 : nullptr;
    findCode = findCode && !codeFirst.empty();
    // The characters at which something may happen, in each state; every other character is
    // passed over in a tight loop.
    AsciiSet codeStops;
    AsciiSet commentStops;
    AsciiSet doubleStops;
    AsciiSet singleStops;
    const char16_t first = endString.front();
    insertFolded(codeStops, first);
    insertFolded(commentStops, first);
    codeStops.insert(u'"');
    codeStops.insert(u'\\');
    if (singleQuotes)
        codeStops.insert(u'\'');
    commentStops.insert(u'\n');
    commentStops.insert(u'\r');
    doubleStops.insert(u'"');
    doubleStops.insert(u'\\');
    singleStops.insert(u'\'');
    singleStops.insert(u'\\');
    if (comments) {
        for (const HVComment& comment : *comments) {
            if (!comment.begin().empty())
                codeStops.insert(comment.begin().front());
            if (comment.end())
                commentStops.insert(comment.end()->front());
        }
    }
    char16_t nestOpen = 0;
    if (endString.size() == 1)
        nestOpen = first == u'}' ? u'{' : first == u')' ? u'(' : first == u']' ? u'[' : 0;
    if (nestOpen)
        codeStops.insert(nestOpen);
    if (findCode) {
        for (AsciiSet* stops : {&codeStops, &commentStops, &doubleStops, &singleStops})
            *stops = *stops | codeFirst;
    }
    auto codeAt = [&](std::size_t k) -> const Opener* {
        return findCode && k < n && codeFirst.contains(text[k]) ? openerAt(k, false) : nullptr;
    };

    enum class State { Code, Double, Single, Comment } state = State::Code;
    const std::u16string* commentEnd = nullptr;
    std::size_t depth = 0;
    for (std::size_t k = start; k < n; ++k) {
        const AsciiSet& stops = state == State::Code      ? codeStops
                                : state == State::Comment ? commentStops
                                : state == State::Double  ? doubleStops
                                                          : singleStops;
        char16_t c = text[k];
        while (!stops.contains(c) && ++k < n)
            c = text[k];
        if (k >= n)
            break;
        if (state == State::Double || state == State::Single) {
            if (const Opener* opener = codeAt(k)) {
                k = addHole(k, *opener, true) - 1;
            } else if (c == u'\\') {
                // The escaped character, unless it opens code, which the server sees first.
                if (!codeAt(k + 1))
                    ++k;
            } else if (c == (state == State::Double ? u'"' : u'\'')) {
                state = State::Code;
            }
            continue;
        }
        if (foldASCII(c) == foldASCII(first) && matchesIgnoringASCIICase(text, k, endString)) {
            if (depth == 0 || state != State::Code)
                return k;
            --depth;
            continue;
        }
        if (const Opener* opener = codeAt(k)) {
            k = addHole(k, *opener, true) - 1;
            continue;
        }
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
            if (!codeAt(k + 1))
                ++k;
        } else if (c == u'"') {
            state = State::Double;
        } else if (c == u'\'' && singleQuotes) {
            state = State::Single;
        } else if (nestOpen && c == nestOpen) {
            ++depth;
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

namespace {

// The language an element holds by its attributes: the first "name=value" between from and
// the tag's ">" that choices lists; none when no attribute is listed.
template <typename Choices>
const typename Choices::mapped_type* chosenByAttributes(std::u16string_view text, std::size_t k,
                                                        const Choices& choices) {
    const std::size_t n = text.size();
    std::u16string pair;
    while (k < n && text[k] != u'>') {
        if (isBlank(text[k]) || text[k] == u'/') {
            ++k;
            continue;
        }
        pair.clear();
        while (k < n && !isBlank(text[k]) && text[k] != u'=' && text[k] != u'>')
            pair += foldASCII(text[k++]);
        while (k < n && isBlank(text[k]))
            ++k;
        if (k >= n || text[k] != u'=')
            continue;
        ++k;
        while (k < n && isBlank(text[k]))
            ++k;
        pair += u'=';
        if (k < n && (text[k] == u'"' || text[k] == u'\'')) {
            const char16_t quote = text[k++];
            while (k < n && text[k] != quote)
                pair += foldASCII(text[k++]);
            ++k;
        } else {
            while (k < n && !isBlank(text[k]) && text[k] != u'>')
                pair += foldASCII(text[k++]);
        }
        auto it = choices.find(pair);
        if (it != choices.end())
            return &it->second;
    }
    return nullptr;
}

} // namespace

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
    Scan scan(*this, text);

    auto paint = [&](const HVAttributesRef& attributes, std::size_t from, std::size_t to) {
        if (attributes && to > from)
            storage.addAttributes(attributes, {base + from, to - from});
    };
    // Markup painting goes around the code found in it, which is painted last.
    auto paintAround = [&](const HVAttributesRef& attributes, std::size_t from, std::size_t to) {
        auto hole = std::partition_point(scan.holes.begin(), scan.holes.end(),
                                         [&](const Scan::Hole& h) { return h.end <= from; });
        for (; hole != scan.holes.end() && hole->start < to; ++hole) {
            paint(attributes, from, hole->start);
            from = hole->end;
        }
        paint(attributes, from, to);
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

    AsciiSet lessThan;
    lessThan.insert(u'<');
    AsciiSet dash;
    dash.insert(u'-');
    AsciiSet greater;
    greater.insert(u'>');
    AsciiSet quoteOrGreater = greater;
    quoteOrGreater.insert(u'"');
    // The next ">" and the next double quote are each searched again only once the position
    // has passed them, so that text with many "<" and few ">" or quotes stays linear.
    std::size_t nextGreater = 0;
    bool greaterKnown = false;
    std::size_t nextQuote = 0;
    bool quoteKnown = false;
    std::size_t lt = scan.next(0, lessThan, true);
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
        const std::size_t gt = nextGreater; // n when there is none
        std::size_t nameEnd = j;
        while (nameEnd < gt && !isBlank(text[nameEnd]) &&
               !(scan.markupFirst.contains(text[nameEnd]) && scan.openerAt(nameEnd, true)))
            ++nameEnd;
        const std::size_t nameStart = text[j] == u'/' ? j + 1 : j;
        const std::u16string_view name = text.substr(nameStart, nameEnd - nameStart);

        // An embedded language: its region runs from just after the name to its end string.
        // Both ends look like tags: the "<" with the name, and the end string.
        auto embed = [&](const std::shared_ptr<HVParser>& language, std::size_t regionStart,
                         const std::u16string& endString) {
            std::size_t stop = scan.regionEnd(regionStart, endString, *language, true);
            regions.emplace_back(HVRange{base + regionStart, stop - regionStart}, language.get());
            paint(m_tagAttributes, i, regionStart);
            std::size_t after = std::min(n, stop + endString.size());
            paint(m_tagAttributes, stop, after);
            lt = scan.next(after, lessThan, true);
        };
        // A name that does not begin with a letter ("?php") is a prefix, whatever follows it.
        // A closing tag never opens a language, even when it stands alone.
        bool embedded = false;
        for (const Scan::Instruction& instruction : scan.instructions) {
            if (!matchesIgnoringASCIICase(text, j, instruction.name))
                continue;
            if (auto language = instruction.language->parser.lock()) {
                embed(language, j + instruction.name.size(), instruction.language->end);
                embedded = true;
                break;
            }
        }
        if (embedded)
            continue;
        if (!m_embedded.empty() && nameStart == j && !name.empty() &&
            name.size() <= m_longestTagName) {
            m_lowercaseName.clear();
            hvsyntax::appendLowercase(m_lowercaseName, name);
            auto it = m_embedded.find(m_lowercaseName);
            std::shared_ptr<HVParser> language;
            if (it != m_embedded.end()) {
                language = it->second.parser.lock();
                const auto& choices = it->second.attributeLanguages;
                if (const auto* choice =
                        choices.empty() ? nullptr : chosenByAttributes(text, nameEnd, choices)) {
                    if (choice->identifier.empty())
                        language = nullptr;
                    else if (auto chosen = choice->parser.lock())
                        language = std::move(chosen);
                }
            }
            if (language && !it->second.end.empty()) {
                embed(language, nameEnd, it->second.end);
                continue;
            }
        }

        // A markup comment runs through the next "-->".
        if (name.substr(0, kCommentName.size()) == kCommentName) {
            std::size_t end = n;
            for (std::size_t k = scan.next(j + 1, dash, false); k < n;
                 k = scan.next(k + 1, dash, false)) {
                if (text.compare(k, kCommentEnd.size(), kCommentEnd) == 0) {
                    end = k + kCommentEnd.size();
                    break;
                }
            }
            paintAround(m_commentsAttributes, i, end);
            if (end >= n)
                break;
            lt = scan.next(end, lessThan, true);
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
        // Attribute values in double quotes, each painted with the quote attributes and the
        // text around them with the tag attributes. A value without its closing quote in the
        // range ends at the first ">" after it.
        std::size_t from = i;
        std::size_t close = n;
        for (std::size_t k = j;;) {
            std::size_t open = scan.next(k, quoteOrGreater, true);
            if (open >= n || text[open] == u'>') {
                close = open;
                paintAround(*tag, from, open < n ? open + 1 : n);
                break;
            }
            paintAround(*tag, from, open);
            if (!quoteKnown || nextQuote <= open) {
                nextQuote = find(text, u'"', open + 1, n);
                quoteKnown = true;
            }
            std::size_t valueEnd;
            if (nextQuote < n) {
                const std::size_t holesBefore = scan.holes.size();
                std::size_t firstGreater = n;
                valueEnd = scan.next(open + 1, quoteOrGreater, true);
                while (valueEnd < n && text[valueEnd] == u'>') {
                    firstGreater = std::min(firstGreater, valueEnd);
                    valueEnd = scan.next(valueEnd + 1, quoteOrGreater, true);
                }
                if (valueEnd >= n) {
                    valueEnd = firstGreater < n ? firstGreater : n - 1;
                    // Code beyond where the value ends is the markup's again.
                    while (scan.holes.size() > holesBefore && scan.holes.back().start > valueEnd)
                        scan.holes.pop_back();
                }
            } else {
                valueEnd = scan.next(open + 1, greater, true);
                valueEnd = valueEnd < n ? valueEnd : n - 1;
            }
            paintAround(*quote, open, valueEnd + 1);
            from = k = valueEnd + 1;
        }
        if (close >= n)
            break;
        lt = scan.next(close, lessThan, true);
    }

    // The code found in the markup: its delimiters look like tags, or the whole is a comment;
    // code inside another language's region comes back whole, to be painted after it.
    for (const Scan::Hole& hole : scan.holes) {
        if (hole.nested) {
            regions.emplace_back(HVRange{base + hole.start, hole.end - hole.start}, this);
        } else if (!hole.opener->language) {
            paint(m_commentsAttributes, hole.start, hole.end);
        } else {
            paint(m_tagAttributes, hole.start, hole.innerStart);
            paint(m_tagAttributes, hole.innerEnd, hole.end);
            regions.emplace_back(HVRange{base + hole.innerStart, hole.innerEnd - hole.innerStart},
                                 hole.opener->language);
        }
    }
    std::stable_sort(regions.begin(), regions.end(), [](const auto& a, const auto& b) {
        return a.first.location < b.first.location;
    });
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
            HVPlistValue::Dictionary entry{
                {"id", parser ? parser->identifier() : language.identifier},
                {"end", HVUnicode::utf8(language.end)}};
            if (language.anywhere)
                entry["anywhere"] = true;
            if (!language.attributeLanguages.empty()) {
                HVPlistValue::Dictionary choices;
                for (const auto& [attribute, choice] : language.attributeLanguages)
                    choices[HVUnicode::utf8(attribute)] = choice.identifier;
                entry["attribute-languages"] = std::move(choices);
            }
            embedded[HVUnicode::utf8(name)] = std::move(entry);
        }
        dictionary["embedded"] = std::move(embedded);
    }
    if (!m_delimiters.empty()) {
        HVPlistValue::Dictionary delimiters;
        for (const auto& [opening, delimiter] : m_delimiters) {
            HVPlistValue::Dictionary entry{{"end", HVUnicode::utf8(delimiter.end)}};
            if (delimiter.comment)
                entry["comment"] = true;
            else
                entry["id"] = delimiter.identifier;
            if (delimiter.markupOnly)
                entry["markup-only"] = true;
            delimiters[HVUnicode::utf8(opening)] = std::move(entry);
        }
        dictionary["delimiters"] = std::move(delimiters);
    }
    // "embedded-elements" is not written: the dialects a markup lends its tags to are part of
    // the shipped definition.
    return plist;
}
