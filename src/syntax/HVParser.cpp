#include "HVParser.h"

#include "HVBundleRepository.h"
#include "HVCodeNavigation.h"
#include "HVFileSystem.h"
#include "HVPropertyList.h"
#include "HVRegex.h"
#include "HVSearch.h"
#include "HVSyntaxSupport.h"
#include "HVTextBuffer.h"
#include "HVTheme.h"
#include "HVUnicode.h"

#include <algorithm>

namespace {

std::string quoted(std::string_view key) {
    std::string text;
    text.reserve(key.size() + 2);
    text.append(1, '"').append(key).append(1, '"');
    return text;
}

std::vector<std::u16string> readStrings(const HVPlistValue& plist, std::string_view key,
                                        std::vector<std::string>& problems) {
    std::vector<std::u16string> strings;
    const HVPlistValue* value = plist.objectForKey(key);
    if (!value)
        return strings;
    const HVPlistValue::Array* array = value->array();
    if (!array) {
        problems.push_back(quoted(key) + " is not an array");
        return strings;
    }
    for (const HVPlistValue& entry : *array) {
        if (const std::string* string = entry.string())
            strings.push_back(HVUnicode::utf16(*string));
        else
            problems.push_back("an entry of " + quoted(key) + " is not a string");
    }
    return strings;
}

HVPlistValue::Array plistStrings(const std::vector<std::u16string>& strings) {
    HVPlistValue::Array array;
    for (const auto& string : strings)
        array.push_back(HVUnicode::utf8(string));
    return array;
}

bool compilePattern(std::u16string_view pattern, std::u16string& source,
                    std::unique_ptr<HVRegex>& compiled, HVError* error) {
    source.assign(pattern);
    compiled.reset();
    if (pattern.empty())
        return true;
    compiled = HVRegex::initWithPattern(pattern);
    if (compiled)
        return true;
    HVSetError(error, HVError(HVSyntaxErrorDomain, HVSyntaxDefinitionError,
                              "The fold pattern \"" + HVUnicode::utf8(pattern) +
                                  "\" is not a valid regular expression: " +
                                  HVRegex::errorForPattern(pattern)));
    return false;
}

std::optional<HVRange> firstMatch(HVRegex* regex, std::u16string_view line, HVRange range) {
    if (!regex)
        return std::nullopt;
    auto match = regex->copyMatchForString(line, range);
    if (!match)
        return std::nullopt;
    return match->rangeForCapture(0);
}

std::size_t countMatches(HVRegex* regex, std::u16string_view line) {
    std::size_t count = 0;
    std::size_t position = 0;
    while (position <= line.size()) {
        auto found = firstMatch(regex, line, {position, line.size() - position});
        if (!found)
            break;
        ++count;
        // An empty match must not be found again at the same place.
        position = found->length > 0 ? found->end() : found->location + 1;
    }
    return count;
}

} // namespace

HVParser::HVParser(HVBundle* bundle, const HVPlistValue& plist) : m_bundle(bundle) {
    if (!plist.isDictionary()) {
        addLoadError("The syntax definition is not a dictionary.");
        return;
    }
    if (const std::string* identifier = plist.stringForKey("format-id"))
        m_identifier = *identifier;
    if (const std::string* type = plist.stringForKey("format-type"))
        m_formatType = *type;
    if (const HVPlistValue* folding = plist.objectForKey("folding")) {
        for (auto [key, isOpener] : {std::pair{"open", true}, std::pair{"close", false}}) {
            const std::string* pattern = folding->stringForKey(key);
            if (!pattern)
                continue;
            HVError error;
            bool compiled = isOpener ? setFoldOpener(HVUnicode::utf16(*pattern), &error)
                                     : setFoldCloser(HVUnicode::utf16(*pattern), &error);
            if (!compiled)
                m_loadErrors.push_back(error);
        }
    }
    std::vector<std::string> problems;
    m_openers = readStrings(plist, "openers", problems);
    m_closers = readStrings(plist, "closers", problems);
    for (const auto& problem : problems)
        addLoadError("In the syntax definition, " + problem + ".");
}

HVParser::HVParser(HVBundle* bundle, std::string identifier)
    : m_bundle(bundle), m_identifier(std::move(identifier)) {}

HVParser::~HVParser() = default;

void HVParser::finishLoad(HVBundleRepository&) {}

void HVParser::finishLoad() {
    finishLoad(HVBundleRepository::sharedRepository());
}

bool HVParser::commitToPath(const std::string& contentsDirectory, HVError* error) const {
    if (m_codeNavParser && !m_codeNavParser->commitToPath(contentsDirectory, error))
        return false;
    std::string path = HVFileSystem::appendingPathComponent(contentsDirectory, "syntax.plist");
    return HVPropertyList::writeToFile(plistRepresentation(), path, HVPlistFormat::Binary, error);
}

HVPlistValue HVParser::plistRepresentation() const {
    HVPlistValue::Dictionary plist;
    plist["format-version"] = "1.0";
    if (!m_identifier.empty())
        plist["format-id"] = m_identifier;
    // A kind this program does not know is written back as it was read.
    if (!m_formatType.empty())
        plist["format-type"] = m_formatType;
    if (!m_foldOpenerPattern.empty() || !m_foldCloserPattern.empty()) {
        HVPlistValue::Dictionary folding;
        if (!m_foldOpenerPattern.empty())
            folding["open"] = HVUnicode::utf8(m_foldOpenerPattern);
        if (!m_foldCloserPattern.empty())
            folding["close"] = HVUnicode::utf8(m_foldCloserPattern);
        plist["folding"] = std::move(folding);
    }
    if (!m_openers.empty())
        plist["openers"] = plistStrings(m_openers);
    if (!m_closers.empty())
        plist["closers"] = plistStrings(m_closers);
    return plist;
}

HVParserRegions HVParser::parseRange(HVRange range, HVTextBuffer& storage) {
    markRange(range, storage);
    return {};
}

std::vector<HVCodeNavEntry> HVParser::codeNavItemsForString(std::u16string_view string,
                                                            HVRange range) {
    if (!m_codeNavParser)
        return {};
    std::vector<HVCodeNavEntry> entries = m_codeNavParser->matchesForString(string, range);
    std::stable_sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
        return a.range.location < b.range.location;
    });
    return entries;
}

HVRange HVParser::nextSignificantRangeInString(std::u16string_view string, HVRange range) const {
    std::size_t start = std::min(range.end(), string.size());
    std::size_t end = hvsyntax::lineEnd(string, start, string.size());
    std::u16string_view rest = string.substr(start, end - start);

    std::size_t cursor = rest.find(u"[*cur]");
    if (cursor != std::u16string_view::npos)
        return {start + cursor, 6};
    std::size_t quotes = rest.find(u"\"\"");
    if (quotes != std::u16string_view::npos)
        return {start + quotes + 1, 0};
    std::size_t open = rest.find(u"[*");
    if (open != std::u16string_view::npos) {
        std::size_t close = rest.find(u"*]", open + 2);
        if (close != std::u16string_view::npos)
            return {start + open, close + 2 - open};
    }
    return {HVNotFound, 0};
}

HVParserRegions HVParser::rangesInString(std::u16string_view string, HVRange range) {
    std::size_t end = std::min(range.end(), string.size());
    range = {std::min(range.location, end), end - std::min(range.location, end)};
    // Every occurrence of each string in turn, in text order, letter case ignored.
    std::u16string_view searched = string.substr(range.location, range.length);
    auto collect = [&](const std::vector<std::u16string>& strings) {
        std::vector<HVRange> found;
        for (const auto& literal : strings) {
            if (literal.empty())
                continue;
            for (HVRange occurrence :
                 HVSearch::initWithSearchString(literal)->findAllForString(searched))
                found.push_back({range.location + occurrence.location, occurrence.length});
        }
        return found;
    };
    std::vector<HVRange> openers = collect(m_openers);
    std::vector<HVRange> closers = collect(m_closers);
    while (closers.size() < openers.size())
        closers.push_back({range.end(), 0});

    HVParserRegions regions;
    for (std::size_t i = 0; i < openers.size(); ++i) {
        // A closer found before its opener cannot end it; such a pair is dropped.
        if (closers[i].end() < openers[i].location)
            continue;
        regions.emplace_back(HVRange{openers[i].location, closers[i].end() - openers[i].location},
                             this);
    }
    std::stable_sort(regions.begin(), regions.end(), [](const auto& a, const auto& b) {
        return a.first.location < b.first.location;
    });
    return regions;
}

HVFoldState HVParser::foldStateForLine(std::u16string_view line, bool holdsCollapsedRegion) const {
    if (holdsCollapsedRegion)
        return HVFoldState::Collapsed;
    HVRange whole{0, line.size()};
    if (auto opener = firstMatch(m_foldOpener.get(), line, whole)) {
        if (firstMatch(m_foldCloser.get(), line, {opener->end(), line.size() - opener->end()}))
            return HVFoldState::None;
        if (firstMatch(m_foldCloser.get(), line, {0, opener->location}))
            return HVFoldState::CloserThenOpener;
        return HVFoldState::Opener;
    }
    if (firstMatch(m_foldCloser.get(), line, whole))
        return HVFoldState::Closer;
    return HVFoldState::None;
}

std::size_t HVParser::foldStepForLine(std::u16string_view line, HVFoldState state) const {
    switch (state) {
    case HVFoldState::Collapsed:
        return 1;
    case HVFoldState::Opener:
        return countMatches(m_foldOpener.get(), line);
    case HVFoldState::Closer:
    case HVFoldState::CloserThenOpener:
        return countMatches(m_foldCloser.get(), line);
    case HVFoldState::None:
        break;
    }
    return 0;
}

void HVParser::setTheme(std::shared_ptr<const HVTheme> theme) {
    m_theme = std::move(theme);
}

std::vector<HVParser*> HVParser::subparsers() const {
    return {};
}

bool HVParser::usesSingleQuotes() const {
    return false;
}

bool HVParser::setFoldOpener(std::u16string_view pattern, HVError* error) {
    return compilePattern(pattern, m_foldOpenerPattern, m_foldOpener, error);
}

bool HVParser::setFoldCloser(std::u16string_view pattern, HVError* error) {
    return compilePattern(pattern, m_foldCloserPattern, m_foldCloser, error);
}

std::shared_ptr<HVParser> HVParser::parserAtIndex(const HVTextBuffer& storage, std::size_t index) {
    auto attributes = storage.attributesAtIndex(index);
    const HVObjectReference* reference = attributes->reference(HVParserAttribute);
    // Parsers refer to themselves as HVParser, so the cast back is exact.
    return reference ? reference->lock<HVParser>() : nullptr;
}

void HVParser::markRange(HVRange range, HVTextBuffer& storage) const {
    // A parser that came under a shared owner after its first painting refers to itself anew.
    if (!m_mark || (!m_mark->reference(HVParserAttribute)->owned() && !weak_from_this().expired()))
        m_mark = std::make_shared<const HVAttributes>(HVAttributes().setting(
            HVParserAttribute, weak_from_this().expired()
                                   ? HVObjectReference(static_cast<const void*>(this))
                                   : HVObjectReference(shared_from_this())));
    storage.addAttributes(m_mark, range);
}

HVAttributesRef HVParser::styleAttributes(const HVTheme* theme, std::string_view styleId,
                                          bool multiLine) {
    HVAttributes attributes = theme ? theme->attributesForIdentifier(styleId) : HVAttributes();
    attributes = attributes.setting(HVStyleAttribute, std::string(styleId));
    if (multiLine)
        attributes = attributes.setting(HVMultiLineAttribute, true);
    return std::make_shared<const HVAttributes>(std::move(attributes));
}

void HVParser::addLoadError(std::string description) {
    m_loadErrors.push_back(
        HVError(HVSyntaxErrorDomain, HVSyntaxDefinitionError, std::move(description)));
}
