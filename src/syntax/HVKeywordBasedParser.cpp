#include "HVKeywordBasedParser.h"

#include "HVRegex.h"
#include "HVSyntaxSupport.h"
#include "HVTextBuffer.h"
#include "HVTheme.h"
#include "HVUnicode.h"

#include <algorithm>
#include <map>

namespace {

constexpr std::size_t kNotFound = HVNotFound;
// The word cache has this many places (a power of two), for words up to this length.
constexpr std::size_t kWordCacheSize = 1 << 14;
constexpr std::size_t kCachedWordLength = 64;

// Whether an end that does not match from `from` might match if the text went on past limit.
// A partial search costs PCRE2 the whole subject, whatever it inspects, so it is given windows
// that grow: one that the end gives up in says no at once.
// When it might not, decided is set to a place by which the end has given up.
bool endMightGoOn(HVRegex& end, std::u16string_view text, std::size_t from, std::size_t limit,
                  std::size_t& decided) {
    for (std::size_t window = 4096;; window *= 2) {
        std::size_t stop = limit - from > window ? from + window : limit;
        decided = stop;
        end.copyMatchForString(text.substr(0, stop), {from, stop - from}, HVRegexPartial);
        if (!end.lastSearchWasPartial())
            return false;
        if (stop == limit)
            return true;
    }
}

// Only the multi-line mark, for text that paints nothing but whose reading depends on what
// follows it.
const HVAttributesRef& multiLineMark() {
    static const HVAttributesRef mark =
        std::make_shared<const HVAttributes>(HVAttributes().setting(HVMultiLineAttribute, true));
    return mark;
}

std::string keyName(std::string_view key) {
    std::string quoted;
    quoted.reserve(key.size() + 2);
    quoted.append(1, '"').append(key).append(1, '"');
    return quoted;
}

} // namespace

std::size_t HVKeywordBasedParser::WordHash::operator()(std::u16string_view word) const noexcept {
    // FNV-1a over the code units: words are short, and this is quicker than hashing bytes.
    std::size_t hash = 14695981039346656037ULL;
    for (char16_t c : word) {
        hash ^= c;
        hash *= 1099511628211ULL;
    }
    return hash;
}

HVKeywordBasedParser::HVKeywordBasedParser(HVBundle* bundle, const HVPlistValue& plist)
    : HVParser(bundle, plist) {
    if (!plist.isDictionary()) {
        rebuildTables();
        return;
    }
    if (const HVPlistValue* value = plist.objectForKey("case-sensitive"))
        m_caseSensitive = value->boolValue().value_or(false);
    if (const std::string* characters = plist.stringForKey("keyword-characters"))
        m_characterString = HVUnicode::utf16(*characters);

    if (const HVPlistValue* keywords = plist.objectForKey("keywords")) {
        if (const HVPlistValue::Dictionary* groups = keywords->dictionary()) {
            for (const auto& [styleId, words] : *groups) {
                const HVPlistValue::Array* array = words.array();
                if (!array) {
                    addLoadError("The keywords of " + keyName(styleId) + " are not an array.");
                    continue;
                }
                for (const HVPlistValue& word : *array) {
                    const std::string* text = word.string();
                    if (!text) {
                        addLoadError("A keyword of " + keyName(styleId) + " is not a string.");
                        continue;
                    }
                    if (!text->empty())
                        addKeyword(HVKeyword(styleId, HVUnicode::utf16(*text)));
                }
            }
        } else {
            addLoadError("\"keywords\" is not a dictionary.");
        }
    }

    if (const HVPlistValue* patterns = plist.objectForKey("regex-keywords")) {
        const HVPlistValue::Array* array = patterns->array();
        if (!array)
            addLoadError("\"regex-keywords\" is not an array.");
        for (const HVPlistValue& entry : array ? *array : HVPlistValue::Array()) {
            const std::string* styleId = entry.stringForKey("id");
            const std::string* pattern = entry.stringForKey("keyword");
            if (!pattern || pattern->empty()) {
                addLoadError("A pattern keyword has no \"keyword\".");
                continue;
            }
            HVError error;
            HVKeyword keyword = HVKeyword::pattern(styleId ? *styleId : std::string(),
                                                   HVUnicode::utf16(*pattern), &error);
            if (!keyword.regex())
                addLoadError(error.description());
            m_regexKeywords.push_back(std::move(keyword));
        }
    }

    if (const HVPlistValue* quotes = plist.objectForKey("quotes")) {
        if (!quotes->isDictionary())
            addLoadError("\"quotes\" is not a dictionary.");
        if (const std::string* single = quotes->stringForKey("single"))
            m_singleQuoteId = *single;
        if (const std::string* doubleQuote = quotes->stringForKey("double"))
            m_doubleQuoteId = *doubleQuote;
    }

    if (const HVPlistValue* comments = plist.objectForKey("comments")) {
        const HVPlistValue::Array* array = comments->array();
        if (!array)
            addLoadError("\"comments\" is not an array.");
        for (const HVPlistValue& entry : array ? *array : HVPlistValue::Array()) {
            const std::string* begin = entry.stringForKey("begin");
            if (!begin) {
                addLoadError("A comment has no \"begin\".");
                continue;
            }
            const std::string* end = entry.stringForKey("end");
            const std::string* styleId = entry.stringForKey("id");
            m_comments.emplace_back(HVUnicode::utf16(*begin),
                                    end ? HVUnicode::utf16(*end) : std::u16string(),
                                    styleId ? *styleId : std::string());
        }
    }

    if (const HVPlistValue* regions = plist.objectForKey("regions"))
        m_regions = readRegions(*regions);
    rebuildTables();
}

std::vector<HVSyntaxRegion> HVKeywordBasedParser::readRegions(const HVPlistValue& regions) {
    std::vector<HVSyntaxRegion> result;
    const HVPlistValue::Array* array = regions.array();
    if (!array) {
        addLoadError("\"regions\" is not an array.");
        return result;
    }
    for (const HVPlistValue& entry : *array) {
        if (!entry.isDictionary()) {
            addLoadError("A region is not a dictionary.");
            continue;
        }
        const std::string* begin = entry.stringForKey("begin");
        const std::string* end = entry.stringForKey("end");
        if (!begin || !end) {
            addLoadError("A region has no \"begin\" or no \"end\" string.");
            continue;
        }
        const HVPlistValue* styleId = entry.objectForKey("id");
        if (styleId && !styleId->string()) {
            addLoadError("The \"id\" of the region \"" + *begin + "\" is not a string.");
            continue;
        }
        std::optional<char16_t> escape;
        if (const HVPlistValue* value = entry.objectForKey("escape")) {
            std::u16string character = value->string() ? HVUnicode::utf16(*value->string()) : u"";
            if (character.size() != 1) {
                addLoadError("The \"escape\" of the region \"" + *begin +
                             "\" is not one character.");
                continue;
            }
            escape = character.front();
        }
        bool multiLine = false;
        if (const HVPlistValue* value = entry.objectForKey("multi-line")) {
            if (!value->boolValue()) {
                addLoadError("The \"multi-line\" of the region \"" + *begin +
                             "\" is not a boolean.");
                continue;
            }
            multiLine = *value->boolValue();
        }
        const HVPlistValue* needsEnd = entry.objectForKey("needs-end");
        if (needsEnd && !needsEnd->boolValue()) {
            addLoadError("The \"needs-end\" of the region \"" + *begin + "\" is not a boolean.");
            continue;
        }
        const HVPlistValue* code = entry.objectForKey("code");
        if (code && !code->boolValue()) {
            addLoadError("The \"code\" of the region \"" + *begin + "\" is not a boolean.");
            continue;
        }
        const HVPlistValue* inside = entry.objectForKey("inside");
        if (inside && !inside->array()) {
            addLoadError("The \"inside\" of the region \"" + *begin + "\" is not an array.");
            continue;
        }
        HVError error;
        auto region =
            HVSyntaxRegion::make(HVUnicode::utf16(*begin), HVUnicode::utf16(*end), escape,
                                 styleId ? *styleId->string() : std::string(), multiLine, &error);
        if (!region) {
            addLoadError(error.description());
            continue;
        }
        region->setNeedsEnd(needsEnd && *needsEnd->boolValue());
        region->setCode(code && *code->boolValue());
        if (inside)
            region->setInside(readRegions(*inside));
        result.push_back(std::move(*region));
    }
    return result;
}

HVKeywordBasedParser::HVKeywordBasedParser(HVBundle* bundle, std::string identifier)
    : HVParser(bundle, std::move(identifier)) {
    rebuildTables();
}

HVKeywordBasedParser::~HVKeywordBasedParser() = default;

void HVKeywordBasedParser::addKeyword(HVKeyword keyword) {
    // A word listed under two style ids keeps the first.
    std::u16string text = keyword.keyword();
    m_keywords.try_emplace(std::move(text), std::move(keyword));
}

void HVKeywordBasedParser::rebuildTables() {
    m_keywordCharacters = HVCharacterSet(m_characterString);
    m_oppositeCharacters = m_keywordCharacters.inverted();
    m_quoteSet = HVCharacterSet();
    if (m_singleQuoteId)
        m_quoteSet.insert(u'\'');
    if (m_doubleQuoteId)
        m_quoteSet.insert(u'"');
    m_commentStarts = HVCharacterSet();
    for (const auto& comment : m_comments) {
        if (!comment.begin().empty())
            m_commentStarts.insert(comment.begin().front());
    }
    m_longestKeyword = 0;
    for (const auto& [text, keyword] : m_keywords)
        m_longestKeyword = std::max(m_longestKeyword, text.size());
    clearWordCache();
}

void HVKeywordBasedParser::clearWordCache() {
    for (CachedWord& cached : m_wordCache)
        cached.used = false;
}

void HVKeywordBasedParser::setCaseSensitive(bool caseSensitive) {
    m_caseSensitive = caseSensitive;
    clearWordCache();
}

void HVKeywordBasedParser::setTheme(std::shared_ptr<const HVTheme> theme) {
    HVParser::setTheme(std::move(theme));
    applyTheme();
}

void HVKeywordBasedParser::applyTheme() {
    const HVTheme* theme = this->theme().get();
    // Every keyword of one style id shares one attribute set, made once per theme. A set
    // carries the style id even when the theme gives the id nothing, so the run keeps its
    // colours but still tells what it is. Without a theme nothing is painted; without an id only
    // the multi-line mark.
    std::map<std::pair<std::string, bool>, HVAttributesRef, std::less<>> cache;
    auto attributesFor = [&](const std::string& styleId, bool multiLine) -> HVAttributesRef {
        if (!theme || (styleId.empty() && !multiLine))
            return nullptr;
        auto key = std::make_pair(styleId, multiLine);
        auto it = cache.find(key);
        if (it == cache.end())
            it = cache
                     .emplace(key, styleId.empty()
                                       ? std::make_shared<const HVAttributes>(HVAttributes{
                                             {std::string(HVMultiLineAttribute), true}})
                                       : styleAttributes(theme, styleId, multiLine))
                     .first;
        return it->second;
    };
    for (auto& [text, keyword] : m_keywords)
        keyword.setAttributes(attributesFor(keyword.identifier(), false));
    for (auto& keyword : m_regexKeywords)
        keyword.setAttributes(attributesFor(keyword.identifier(), false));
    for (auto& comment : m_comments)
        comment.setAttributes(attributesFor(comment.themeID(), comment.end().has_value()));
    applyTheme(m_regions, attributesFor);
    // Strings are multi-line whether or not the theme colours them, so that a re-parse after
    // an edit starts where the string starts under every theme.
    auto stringAttributes = [&](const std::optional<std::string>& styleId) -> HVAttributesRef {
        return styleId ? attributesFor(*styleId, true) : nullptr;
    };
    m_singleQuoteAttr = stringAttributes(m_singleQuoteId);
    m_doubleQuoteAttr = stringAttributes(m_doubleQuoteId);
}

void HVKeywordBasedParser::applyTheme(
    std::vector<HVSyntaxRegion>& regions,
    const std::function<HVAttributesRef(const std::string&, bool)>& attributesFor) {
    for (auto& region : regions) {
        region.setAttributes(attributesFor(region.themeID(), region.multiLine()));
        applyTheme(region.inside(), attributesFor);
    }
}

bool HVKeywordBasedParser::usesSingleQuotes() const {
    return m_singleQuoteId.has_value();
}

// Painting.

std::size_t HVKeywordBasedParser::findQuote(std::u16string_view text, std::size_t from,
                                            std::size_t end) const {
    std::size_t found = m_quoteSet.find(text, from, end);
    return found < end ? found : kNotFound;
}

std::size_t HVKeywordBasedParser::findKeywordCharacter(std::u16string_view text, std::size_t from,
                                                       std::size_t end) const {
    std::size_t found = m_keywordCharacters.find(text, from, end);
    return found < end ? found : kNotFound;
}

HVKeywordBasedParser::CommentMatch HVKeywordBasedParser::commentAt(std::u16string_view text,
                                                                   std::size_t position,
                                                                   std::size_t end,
                                                                   EndSearches& searches) const {
    // Where the search from `from` found its target (end when none), reused when a later search
    // starts between the two.
    auto search = [&](std::pair<std::size_t, std::size_t>& last, std::size_t from, auto find) {
        if (last.first == HVNotFound || from < last.first || from > last.second)
            last = {from, find(from)};
        return last.second;
    };
    for (std::size_t kind = 0; kind < m_comments.size(); ++kind) {
        const HVComment& comment = m_comments[kind];
        const std::u16string& begin = comment.begin();
        if (begin.empty() || begin.size() > end - position ||
            text.compare(position, begin.size(), begin) != 0)
            continue;
        std::size_t after = position + begin.size();
        std::size_t stop;
        if (const auto& endString = comment.end()) {
            if (searches.ends.size() < m_comments.size())
                searches.ends.assign(m_comments.size(), {HVNotFound, HVNotFound});
            std::size_t found = search(searches.ends[kind], after, [&](std::size_t from) {
                std::size_t at = text.substr(0, end).find(*endString, from);
                return at == std::u16string_view::npos ? end : at;
            });
            stop = found == end ? end : found + endString->size();
        } else {
            stop = search(searches.lineEnd, after,
                          [&](std::size_t from) { return hvsyntax::lineEnd(text, from, end); });
        }
        return {{position, stop - position}, &comment};
    }
    return {};
}

HVKeywordBasedParser::CommentMatch HVKeywordBasedParser::findComment(std::u16string_view text,
                                                                     std::size_t from,
                                                                     std::size_t end,
                                                                     EndSearches& searches) const {
    // One pass over the text finds the earliest begin of any kind: only characters that start
    // some begin string are examined further, and at one place the kind defined first wins.
    for (std::size_t i = from; i < end; ++i) {
        i = m_commentStarts.find(text, i, end);
        if (i == end)
            break;
        CommentMatch match = commentAt(text, i, end, searches);
        if (match.found())
            return match;
    }
    return {};
}

HVKeywordBasedParser::CommentMatch
HVKeywordBasedParser::rangeOfCommentInRange(std::u16string_view text, HVRange range) const {
    std::size_t end = std::min(range.end(), text.size());
    EndSearches searches;
    return findComment(text, std::min(range.location, end), end, searches);
}

const HVKeyword* HVKeywordBasedParser::keywordForWord(std::u16string_view word) {
    // The cache is keyed by the word as written, so a word met before costs no lower-casing.
    CachedWord* cached = nullptr;
    if (word.size() <= kCachedWordLength) {
        if (m_wordCache.empty())
            m_wordCache.resize(kWordCacheSize);
        std::size_t hash = WordHash()(word);
        cached = &m_wordCache[(hash ^ (hash >> 17)) & (kWordCacheSize - 1)];
        if (cached->used && cached->word == word)
            return cached->keyword;
    }
    std::u16string_view key = word;
    if (!m_caseSensitive) {
        m_lowercaseWord.clear();
        hvsyntax::appendLowercase(m_lowercaseWord, word);
        key = m_lowercaseWord;
    }
    const HVKeyword* keyword = nullptr;
    if (key.size() <= m_longestKeyword) {
        auto it = m_keywords.find(key);
        if (it != m_keywords.end())
            keyword = &it->second;
    }
    if (!keyword) {
        for (const auto& candidate : m_regexKeywords) {
            if (candidate.matchesWholeWord(key)) {
                keyword = &candidate;
                break;
            }
        }
    }
    if (cached) {
        cached->word.assign(word);
        cached->keyword = keyword;
        cached->used = true;
    }
    return keyword;
}

void HVKeywordBasedParser::Painter::paint(const HVAttributesRef& attributes, HVRange range) const {
    storage.addAttributes(attributes, {base + range.location, range.length});
}

std::size_t HVKeywordBasedParser::paintWord(std::u16string_view text, std::size_t start,
                                            std::size_t end, const Painter& painter) {
    std::size_t wordEnd = m_oppositeCharacters.find(text, start, end);
    const HVKeyword* keyword = keywordForWord(text.substr(start, wordEnd - start));
    if (keyword && keyword->attributesRef())
        painter.paint(keyword->attributesRef(), {start, wordEnd - start});
    return wordEnd;
}

std::size_t HVKeywordBasedParser::paintString(std::u16string_view text, std::size_t start,
                                              std::size_t end, const Painter& painter) const {
    char16_t quote = text[start];
    std::size_t close = kNotFound;
    for (std::size_t i = start + 1; i < end; ++i) {
        if (text[i] != quote)
            continue;
        if (i == end - 1) {
            close = i;
            break;
        }
        std::size_t backslashes = 0;
        for (std::size_t j = i; j > start + 1 && text[j - 1] == u'\\'; --j)
            ++backslashes;
        if (backslashes % 2 == 0) {
            close = i;
            break;
        }
    }
    std::size_t stringEnd = close == kNotFound ? end : close + 1;
    const HVAttributesRef& attributes = quote == u'\'' ? m_singleQuoteAttr : m_doubleQuoteAttr;
    if (attributes)
        painter.paint(attributes, {start, stringEnd - start});
    return stringEnd;
}

struct HVKeywordBasedParser::RegionBegin {
    std::size_t kind = 0;
    std::size_t location = kNotFound;
    std::optional<HVRegexMatch> match;
};

void HVKeywordBasedParser::findRegionBegin(const std::vector<HVSyntaxRegion>& regions,
                                           std::size_t kind, std::u16string_view text,
                                           std::size_t from, std::size_t end, RegionBegin& next) {
    next.kind = kind;
    next.location = kNotFound;
    next.match.reset();
    if (from >= end)
        return;
    // Never an empty begin: a region always moves painting on.
    next.match =
        regions[kind].beginRegex().copyMatchForString(text, {from, end - from}, HVRegexNotEmpty);
    if (next.match)
        next.location = next.match->rangeForCapture(0).location;
}

std::size_t HVKeywordBasedParser::paintRegion(std::u16string_view text,
                                              std::vector<HVSyntaxRegion>& regions,
                                              const RegionBegin& begin, std::size_t end,
                                              bool textGoesOn, const Painter& painter) {
    HVSyntaxRegion& region = regions[begin.kind];
    const std::size_t body = begin.match->rangeForCapture(0).end();
    const std::size_t limit = region.multiLine() ? end : hvsyntax::lineEnd(text, body, end);
    std::size_t regionEnd = region.needsEnd() ? kNotFound : std::max(limit, body);
    std::size_t bodyEnd = std::max(limit, body);
    if (region.endsWithItsBegin()) {
        // Many a region is a begin alone (a selector, a key): it needs no end search.
        regionEnd = body;
        bodyEnd = body;
    } else if (HVRegex* endRegex = region.endRegex(text, *begin.match)) {
        for (std::size_t from = body; from <= limit;) {
            auto found = endRegex->copyMatchForString(text, {from, limit - from});
            if (!found) {
                if (region.needsEnd() && region.multiLine()) {
                    std::size_t decided = limit;
                    if (endMightGoOn(*endRegex, text, from, limit, decided) && textGoesOn)
                        regionEnd = limit;
                    // A begin passed over was so for the text up to where its end gave up: an
                    // edit there may make it a region, so the painting after it must reach
                    // back to the begin.
                    else
                        painter.paint(multiLineMark(), {begin.location, decided - begin.location});
                }
                break;
            }
            HVRange match = found->rangeForCapture(0);
            // An end preceded by an odd number of escape characters is part of the region.
            std::size_t escapes = 0;
            if (const auto& escape = region.escape()) {
                for (std::size_t j = match.location; j > body && text[j - 1] == *escape; --j)
                    ++escapes;
            }
            if (escapes % 2 == 0) {
                regionEnd = match.end();
                bodyEnd = match.location;
                break;
            }
            from = match.location + 1;
        }
    }
    if (regionEnd == kNotFound)
        return kNotFound;
    HVRange stretch{begin.location, regionEnd - begin.location};
    if (const HVAttributesRef& attributes = region.attributesRef())
        painter.paint(attributes, stretch);
    if (!region.inside().empty())
        paintInside(text, region.inside(), stretch, textGoesOn && regionEnd == end, painter);
    if (region.code() && bodyEnd > body)
        paintCode(text, body, bodyEnd, textGoesOn && bodyEnd == end, painter);
    return regionEnd;
}

void HVKeywordBasedParser::paintInside(std::u16string_view text,
                                       std::vector<HVSyntaxRegion>& regions, HVRange range,
                                       bool textGoesOn, const Painter& painter) {
    // As the text's own regions are found and painted, within the range only.
    const std::size_t end = range.end();
    std::vector<RegionBegin> begins(regions.size());
    for (std::size_t kind = 0; kind < regions.size(); ++kind)
        findRegionBegin(regions, kind, text, range.location, end, begins[kind]);
    for (;;) {
        RegionBegin* earliest = nullptr;
        for (RegionBegin& begin : begins) {
            if (begin.location != kNotFound && (!earliest || begin.location < earliest->location))
                earliest = &begin;
        }
        if (!earliest)
            return;
        std::size_t next = paintRegion(text, regions, *earliest, end, textGoesOn, painter);
        if (next == kNotFound) {
            findRegionBegin(regions, earliest->kind, text, earliest->location + 1, end, *earliest);
            continue;
        }
        for (RegionBegin& begin : begins) {
            if (begin.location != kNotFound && begin.location < next)
                findRegionBegin(regions, begin.kind, text, next, end, begin);
        }
    }
}

HVParserRegions HVKeywordBasedParser::parseRange(HVRange range, HVTextBuffer& storage) {
    // Only the range is read, in one piece: after an edit in the middle of a large file this
    // costs the range, not a move of the whole text.
    range.location = std::min(range.location, storage.length());
    range.length = std::min(range.length, storage.length() - range.location);
    std::u16string_view text = storage.contiguousRange(range);
    const Painter painter{storage, range.location};
    // Marked first, while the range is still one run or few: the mark then rides along in
    // every token's attribute set instead of costing a pass over all the runs at the end.
    markRange(range, storage);
    paintCode(text, 0, text.size(), range.end() < storage.length(), painter);
    return {};
}

void HVKeywordBasedParser::paintCode(std::u16string_view text, std::size_t start, std::size_t end,
                                     bool textGoesOn, const Painter& painter) {
    // q, k and c: the next quote, keyword character and comment, each found again only once
    // the position has passed it, so that the whole range is scanned about once.
    std::size_t q = findQuote(text, start, end);
    std::size_t k = findKeywordCharacter(text, start, end);
    EndSearches searches;
    CommentMatch c = findComment(text, start, end, searches);
    // r: the earliest region begin of any kind; a language without regions never searches.
    std::vector<RegionBegin> regionBegins(m_regions.size());
    for (std::size_t kind = 0; kind < m_regions.size(); ++kind)
        findRegionBegin(m_regions, kind, text, start, end, regionBegins[kind]);
    auto earliestRegion = [&]() -> const RegionBegin* {
        const RegionBegin* earliest = nullptr;
        for (const RegionBegin& begin : regionBegins) {
            if (begin.location != kNotFound && (!earliest || begin.location < earliest->location))
                earliest = &begin;
        }
        return earliest;
    };
    const RegionBegin* r = earliestRegion();
    // A language that defines regions is read the newer way, where a comment that begins with a
    // quote character is a comment; one without keeps the older reading as a string.
    const bool commentBeforeQuote = !m_regions.empty();
    while (q != kNotFound || k != kNotFound || c.found() || r) {
        std::size_t next;
        if (r && r->location <= q && r->location <= k &&
            (!c.found() || r->location <= c.range.location)) {
            // A region wins a tie with everything else.
            next = paintRegion(text, m_regions, *r, end, textGoesOn, painter);
            if (next == kNotFound) {
                // No region after all: the other tokens are unaffected.
                findRegionBegin(m_regions, r->kind, text, r->location + 1, end,
                                regionBegins[r->kind]);
                r = earliestRegion();
                continue;
            }
        } else if (c.found() && c.range.location < k &&
                   (c.range.location < q || (commentBeforeQuote && c.range.location == q))) {
            if (const HVAttributesRef& attributes = c.comment->attributesRef())
                painter.paint(attributes, c.range);
            next = c.range.end();
        } else if (k <= q) {
            // A keyword character wins a tie with a quote, and with a comment begin.
            next = paintWord(text, k, end, painter);
        } else {
            next = paintString(text, q, end, painter);
        }
        std::size_t p = std::min(next, end);
        if (q != kNotFound && q < p)
            q = findQuote(text, p, end);
        if (c.found() && c.range.location < p)
            c = p < end ? findComment(text, p, end, searches) : CommentMatch();
        // A keyword character still ahead stays the next one, and none ahead stays none: a
        // text with few of them is not searched to its end after every token.
        if (k != kNotFound && k < p)
            k = p < end ? findKeywordCharacter(text, p, end) : kNotFound;
        if (r) {
            for (RegionBegin& begin : regionBegins) {
                if (begin.location != kNotFound && begin.location < p)
                    findRegionBegin(m_regions, begin.kind, text, p, end, begin);
            }
            r = earliestRegion();
        }
    }
}

// Editing and writing.

std::vector<HVKeywordGroup> HVKeywordBasedParser::identifiers() const {
    std::map<std::string, std::vector<std::u16string>> groups;
    for (const auto& [text, keyword] : m_keywords)
        groups[keyword.identifier()].push_back(keyword.stringValue());
    for (const auto& keyword : m_regexKeywords)
        groups[keyword.identifier()].push_back(keyword.stringValue());
    std::vector<HVKeywordGroup> result;
    for (auto& [title, words] : groups) {
        std::sort(words.begin(), words.end());
        result.push_back({title, std::move(words)});
    }
    return result;
}

bool HVKeywordBasedParser::setIdentifiers(const std::vector<HVKeywordGroup>& groups,
                                          HVError* error) {
    bool compiled = true;
    m_keywords.clear();
    m_regexKeywords.clear();
    for (const auto& group : groups) {
        if (group.title.empty())
            continue;
        for (const auto& text : group.keywords) {
            if (text.empty())
                continue;
            bool isWord = std::all_of(text.begin(), text.end(),
                                      [&](char16_t c) { return m_keywordCharacters.contains(c); });
            if (isWord) {
                addKeyword(HVKeyword(group.title, text));
                continue;
            }
            HVError patternError;
            HVKeyword keyword = HVKeyword::pattern(group.title, text, &patternError);
            if (!keyword.regex() && compiled) {
                compiled = false;
                HVSetError(error, patternError);
            }
            m_regexKeywords.push_back(std::move(keyword));
        }
    }
    rebuildTables();
    applyTheme();
    return compiled;
}

void HVKeywordBasedParser::setKeywordCharacters(std::u16string characters) {
    m_characterString = std::move(characters);
    rebuildTables();
}

void HVKeywordBasedParser::setComments(std::vector<HVComment> comments) {
    m_comments = std::move(comments);
    rebuildTables();
    applyTheme();
}

void HVKeywordBasedParser::setRegions(std::vector<HVSyntaxRegion> regions) {
    m_regions = std::move(regions);
    applyTheme();
}

void HVKeywordBasedParser::setQuotes(std::optional<std::string> single,
                                     std::optional<std::string> doubleQuote) {
    m_singleQuoteId = std::move(single);
    m_doubleQuoteId = std::move(doubleQuote);
    rebuildTables();
    applyTheme();
}

HVPlistValue::Array HVKeywordBasedParser::plistForComments() const {
    HVPlistValue::Array array;
    for (const auto& comment : m_comments) {
        HVPlistValue::Dictionary entry;
        entry["begin"] = HVUnicode::utf8(comment.begin());
        if (comment.end())
            entry["end"] = HVUnicode::utf8(*comment.end());
        if (!comment.themeID().empty())
            entry["id"] = comment.themeID();
        array.emplace_back(std::move(entry));
    }
    return array;
}

HVPlistValue::Dictionary HVKeywordBasedParser::plistForKeywords() const {
    std::map<std::string, std::vector<std::string>> groups;
    for (const auto& [text, keyword] : m_keywords) {
        if (!keyword.identifier().empty())
            groups[keyword.identifier()].push_back(HVUnicode::utf8(text));
    }
    HVPlistValue::Dictionary dictionary;
    for (auto& [styleId, words] : groups) {
        std::sort(words.begin(), words.end());
        HVPlistValue::Array array(words.begin(), words.end());
        dictionary[styleId] = std::move(array);
    }
    return dictionary;
}

HVPlistValue::Array HVKeywordBasedParser::plistForRegexKeywords() const {
    HVPlistValue::Array array;
    for (const auto& keyword : m_regexKeywords) {
        HVPlistValue::Dictionary entry;
        entry["id"] = keyword.identifier();
        entry["keyword"] = HVUnicode::utf8(keyword.stringValue());
        array.emplace_back(std::move(entry));
    }
    return array;
}

HVPlistValue::Dictionary HVKeywordBasedParser::plistForQuotes() const {
    HVPlistValue::Dictionary quotes;
    if (m_singleQuoteId)
        quotes["single"] = *m_singleQuoteId;
    if (m_doubleQuoteId)
        quotes["double"] = *m_doubleQuoteId;
    return quotes;
}

namespace {

HVPlistValue::Array plistForRegionList(const std::vector<HVSyntaxRegion>& regions) {
    HVPlistValue::Array array;
    for (const auto& region : regions) {
        HVPlistValue::Dictionary entry;
        entry["begin"] = HVUnicode::utf8(region.beginPattern());
        entry["end"] = HVUnicode::utf8(region.endPattern());
        if (const auto& escape = region.escape())
            entry["escape"] = HVUnicode::utf8(std::u16string(1, *escape));
        if (!region.themeID().empty())
            entry["id"] = region.themeID();
        if (region.multiLine())
            entry["multi-line"] = true;
        if (region.needsEnd())
            entry["needs-end"] = true;
        if (region.code())
            entry["code"] = true;
        if (!region.inside().empty())
            entry["inside"] = plistForRegionList(region.inside());
        array.emplace_back(std::move(entry));
    }
    return array;
}

} // namespace

HVPlistValue::Array HVKeywordBasedParser::plistForRegions() const {
    return plistForRegionList(m_regions);
}

HVPlistValue HVKeywordBasedParser::plistRepresentation() const {
    HVPlistValue plist = HVParser::plistRepresentation();
    HVPlistValue::Dictionary& dictionary = *plist.dictionary();
    dictionary["format-type"] = "keyword";
    // "case-sensitive" is not written: a definition saved from the program reads back as
    // ignoring case, as definitions always have.
    if (!m_characterString.empty())
        dictionary["keyword-characters"] = HVUnicode::utf8(m_characterString);
    if (auto quotes = plistForQuotes(); !quotes.empty())
        dictionary["quotes"] = std::move(quotes);
    if (!m_comments.empty())
        dictionary["comments"] = plistForComments();
    if (auto keywords = plistForKeywords(); !keywords.empty())
        dictionary["keywords"] = std::move(keywords);
    if (!m_regexKeywords.empty())
        dictionary["regex-keywords"] = plistForRegexKeywords();
    if (!m_regions.empty())
        dictionary["regions"] = plistForRegions();
    return plist;
}
