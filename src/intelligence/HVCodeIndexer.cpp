#include "HVCodeIndexer.h"

#include "HVBundle.h"
#include "HVBundleRepository.h"
#include "HVFileEncodings.h"
#include "HVFileSystem.h"
#include "HVPathResolver.h"
#include "HVPropertyList.h"
#include "HVRegex.h"
#include "HVUnicode.h"

#include <map>
#include <mutex>
#include <set>

namespace {

constexpr std::string_view kErrorDomain = "com.ternwick.halvet.indexer";
// Embedded languages may embed others; a definition that embeds itself stops here.
constexpr int kDeepestEmbedding = 4;
// Larger files are generated data (bundled libraries, dumps), not code anyone completes from.
constexpr std::uint64_t kLargestIndexedFile = 16 * 1024 * 1024;

using RegexPointer = std::unique_ptr<HVRegex>;

// Every match in turn, each search starting where the previous match ended; past an empty
// match by one byte, so that a pattern that matches nothing still ends.
template <class Body> void forEachMatch(HVRegex& regex, std::string_view data, Body body) {
    std::size_t position = 0;
    while (position <= data.size()) {
        auto match = regex.copyMatchForUTF8Data(data, {position, data.size() - position});
        if (!match)
            break;
        HVRange whole = match->rangeForCapture(0);
        body(*match);
        position = whole.length ? whole.end() : whole.location + 1;
    }
}

void removeMatches(HVRegex& regex, std::string& data) {
    std::string kept;
    std::size_t copied = 0;
    bool found = false;
    forEachMatch(regex, data, [&](const HVRegexMatch& match) {
        HVRange whole = match.rangeForCapture(0);
        if (!found)
            kept.reserve(data.size());
        found = true;
        kept.append(data, copied, whole.location - copied);
        copied = whole.end();
    });
    if (!found)
        return;
    kept.append(data, copied, std::string::npos);
    data = std::move(kept);
}

std::string capture(std::string_view data, const HVRegexMatch& match, std::size_t index) {
    HVRange range = match.rangeForCapture(index);
    if (range.location == HVNotFound)
        return {};
    return std::string(data.substr(range.location, range.length));
}

std::string sourceOf(const HVRegex& regex) {
    return HVUnicode::utf8(regex.pattern());
}

} // namespace

struct HVCodeIndexer::Definition {
    struct Key {
        RegexPointer pattern;
        std::int64_t key = 0;
        std::int64_t completion = 0;
        std::string type;
    };
    struct Include {
        std::string identifier;
        RegexPointer begin;
        RegexPointer end;
    };
    std::vector<RegexPointer> comments;
    std::vector<Include> includes;
    std::vector<RegexPointer> tags;
    std::vector<RegexPointer> externalFiles;
    std::vector<Key> preRemoveKeys;
    std::vector<RegexPointer> remove;
    std::vector<Key> keys;
    std::optional<std::string> pathResolution;
    const HVPathResolver* resolver = &HVPathResolver::defaultResolver();
};

HVCodeIndexer::HVCodeIndexer() : m_definition(std::make_unique<Definition>()) {}
HVCodeIndexer::~HVCodeIndexer() = default;

std::shared_ptr<HVCodeIndexer>
HVCodeIndexer::initWithBundle(const std::shared_ptr<HVBundle>& bundle, const HVPlistValue& plist,
                              std::vector<HVError>* errors) {
    std::shared_ptr<HVCodeIndexer> indexer(new HVCodeIndexer);
    indexer->m_bundle = bundle;
    if (bundle)
        indexer->m_indexClass = bundle->identifier();
    if (auto enabled = plist.boolForKey("enabled"))
        indexer->m_enabled = *enabled ? 1 : 2;
    Definition& definition = *indexer->m_definition;

    auto compile = [&](const HVPlistValue* value, std::string_view list,
                       std::uint32_t options) -> RegexPointer {
        const std::string* source = value ? value->string() : nullptr;
        RegexPointer regex = source ? HVRegex::initWithPattern(*source, options) : nullptr;
        if (!regex && errors) {
            std::string reason = source ? HVRegex::errorForPattern(HVUnicode::utf16(*source))
                                        : std::string("not a string");
            errors->emplace_back(kErrorDomain, 1,
                                 "A pattern of \"" + std::string(list) + "\" was dropped: " +
                                     (source ? *source : std::string()) + " (" + reason + ")");
        }
        return regex;
    };
    auto patterns = [&](std::string_view list, std::uint32_t options) {
        std::vector<RegexPointer> compiled;
        if (const auto* array = plist.arrayForKey(list)) {
            for (const HVPlistValue& value : *array) {
                if (auto regex = compile(&value, list, options))
                    compiled.push_back(std::move(regex));
            }
        }
        return compiled;
    };
    auto keys = [&](std::string_view list) {
        std::vector<Definition::Key> compiled;
        if (const auto* array = plist.arrayForKey(list)) {
            for (const HVPlistValue& value : *array) {
                Definition::Key key;
                key.pattern = compile(value.objectForKey("pattern"), list, 0);
                if (!key.pattern)
                    continue;
                auto number = [&](std::string_view name) -> std::int64_t {
                    const HVPlistValue* field = value.objectForKey(name);
                    if (!field)
                        return 0;
                    if (const std::string* text = field->string())
                        return std::atoll(text->c_str());
                    return field->integerValue().value_or(0);
                };
                key.key = number("key");
                key.completion = number("completion");
                if (const std::string* type = value.stringForKey("type"))
                    key.type = *type;
                compiled.push_back(std::move(key));
            }
        }
        return compiled;
    };

    definition.comments = patterns("comments", HVRegexCaseless);
    if (const auto* array = plist.arrayForKey("includes")) {
        for (const HVPlistValue& value : *array) {
            Definition::Include include;
            if (const std::string* identifier = value.stringForKey("id"))
                include.identifier = *identifier;
            include.begin = compile(value.objectForKey("begin"), "includes", 0);
            include.end = compile(value.objectForKey("end"), "includes", 0);
            if (include.begin && include.end && !include.identifier.empty())
                definition.includes.push_back(std::move(include));
        }
    }
    definition.tags = patterns("tags", 0);
    definition.externalFiles = patterns("external-files", 0);
    definition.preRemoveKeys = keys("pre-remove-keys");
    definition.remove = patterns("remove", HVRegexCaseless);
    definition.keys = keys("keys");
    if (const std::string* resolution = plist.stringForKey("pathResolution")) {
        definition.pathResolution = *resolution;
        definition.resolver = &HVPathResolver::resolverNamed(*resolution);
    }
    return indexer;
}

std::shared_ptr<HVCodeIndexer>
HVCodeIndexer::indexerForBundle(const std::shared_ptr<HVBundle>& bundle) {
    if (!bundle)
        return nullptr;
    struct Cached {
        std::weak_ptr<HVBundle> bundle;
        HVPlistValue definition;
        std::shared_ptr<HVCodeIndexer> indexer;
    };
    // Compiled indexers by bundle; an entry is made again when its bundle's definition was
    // read anew with other contents.
    static std::map<const HVBundle*, Cached> cache;
    std::lock_guard lock(HVBundleRepository::sharedRepository().mutex());
    const std::optional<HVPlistValue>& definition = bundle->codeIndexer();
    if (!definition || !definition->isDictionary()) {
        cache.erase(bundle.get());
        return nullptr;
    }
    auto found = cache.find(bundle.get());
    if (found != cache.end() && found->second.bundle.lock() == bundle &&
        found->second.definition == *definition)
        return found->second.indexer;
    std::erase_if(cache, [](const auto& entry) { return entry.second.bundle.expired(); });
    auto indexer = initWithBundle(bundle, *definition);
    cache[bundle.get()] = Cached{bundle, *definition, indexer};
    return indexer;
}

std::shared_ptr<HVCodeIndexer> HVCodeIndexer::indexerForPath(const std::string& path) {
    HVBundleRepository& repository = HVBundleRepository::sharedRepository();
    std::lock_guard lock(repository.mutex());
    auto indexer = indexerForBundle(repository.bundleForFileName(path));
    if (!indexer || indexer->m_enabled == 2)
        return nullptr;
    return indexer;
}

std::vector<HVCodeIndexKey> HVCodeIndexer::indexFile(const std::string& path) {
    m_results.clear();
    m_referencedFiles.clear();
    m_referencedTags.clear();
    m_tags.clear();
    auto bytes = HVFileSystem::readFile(path, nullptr, nullptr, kLargestIndexedFile);
    if (!bytes)
        return {};
    HVStringEncoding encoding = HVNoStringEncoding;
    HVError warning;
    auto text = HVFileEncodings::createWithData(*bytes, path, encoding, &warning);
    if (!text)
        return {};
    // UTF-8 files, the common case, are searched as they are, unless they only decoded
    // through the fallback.
    bool fellBack = warning.code() != 0;
    if (!fellBack && (encoding == HVUTF8StringEncoding || encoding == HVASCIIStringEncoding))
        return indexUTF8Data(std::move(*bytes), path);
    return indexUTF8Data(HVUnicode::utf8(*text), path);
}

std::vector<HVCodeIndexKey> HVCodeIndexer::indexUTF8Data(std::string data,
                                                         const std::string& path) {
    indexData(data, path, 0);
    return m_results;
}

void HVCodeIndexer::indexData(std::string& data, const std::string& path, int depth) {
    m_results.clear();
    m_referencedFiles.clear();
    m_referencedTags.clear();
    m_tags.clear();
    Definition& definition = *m_definition;

    for (const auto& comment : definition.comments)
        removeMatches(*comment, data);

    for (const auto& include : definition.includes) {
        std::shared_ptr<HVCodeIndexer> embedded;
        {
            HVBundleRepository& repository = HVBundleRepository::sharedRepository();
            std::lock_guard lock(repository.mutex());
            embedded = indexerForBundle(repository.bundleForIdentifier(include.identifier));
        }
        if (!embedded || embedded->m_enabled == 2 || embedded.get() == this ||
            depth >= kDeepestEmbedding)
            continue;
        std::size_t position = 0;
        while (position < data.size()) {
            auto begin =
                include.begin->copyMatchForUTF8Data(data, {position, data.size() - position});
            if (!begin)
                break;
            HVRange opening = begin->rangeForCapture(0);
            std::size_t regionEnd = data.size();
            if (auto end = include.end->copyMatchForUTF8Data(
                    data, {opening.end(), data.size() - opening.end()}))
                regionEnd = end->rangeForCapture(0).end();
            std::string region = data.substr(opening.location, regionEnd - opening.location);
            embedded->indexData(region, path, depth + 1);
            m_results.insert(m_results.end(), embedded->m_results.begin(),
                             embedded->m_results.end());
            m_referencedFiles.insert(m_referencedFiles.end(), embedded->m_referencedFiles.begin(),
                                     embedded->m_referencedFiles.end());
            // Zeros, so that neither this language's patterns nor the next search see the
            // region; the next search starts after it, where the next region can begin.
            std::fill(data.begin() + std::ptrdiff_t(opening.location),
                      data.begin() + std::ptrdiff_t(regionEnd), '\0');
            position = regionEnd > opening.location ? regionEnd : opening.location + 1;
        }
    }

    for (const auto& pattern : definition.tags) {
        bool grouped = pattern->groupCount() > 0;
        forEachMatch(*pattern, data, [&](const HVRegexMatch& match) {
            std::string tag = capture(data, match, grouped ? 1 : 0);
            if (!tag.empty())
                m_tags.push_back(std::move(tag));
        });
    }

    for (const auto& pattern : definition.externalFiles) {
        bool grouped = pattern->groupCount() > 0;
        forEachMatch(*pattern, data, [&](const HVRegexMatch& match) {
            std::string name = capture(data, match, grouped ? 1 : 0);
            bool isTag = false;
            auto resolved = definition.resolver->pathForString(name, path, isTag);
            if (!resolved)
                return;
            (isTag ? m_referencedTags : m_referencedFiles).push_back(std::move(*resolved));
        });
    }

    auto indexKeys = [&](const std::vector<Definition::Key>& keys) {
        std::set<std::string, std::less<>> found;
        for (const auto& entry : keys) {
            std::u16string type = HVUnicode::utf16(entry.type);
            forEachMatch(*entry.pattern, data, [&](const HVRegexMatch& match) {
                std::string name = capture(data, match, std::size_t(entry.key));
                if (name.empty() || !found.insert(name).second)
                    return;
                m_results.push_back(HVCodeIndexKey{
                    HVUnicode::utf16(name),
                    HVUnicode::utf16(capture(data, match, std::size_t(entry.completion))), type,
                    m_indexClass});
            });
        }
    };
    indexKeys(definition.preRemoveKeys);
    for (const auto& pattern : definition.remove)
        removeMatches(*pattern, data);
    indexKeys(definition.keys);
}

HVPlistValue HVCodeIndexer::plistRepresentation() const {
    const Definition& definition = *m_definition;
    HVPlistValue::Dictionary plist;
    plist["format-version"] = "1.0";
    if (m_enabled != 0)
        plist["enabled"] = m_enabled == 1;
    auto patterns = [&](std::string_view name, const std::vector<RegexPointer>& list) {
        if (list.empty())
            return;
        HVPlistValue::Array array;
        for (const auto& regex : list)
            array.emplace_back(sourceOf(*regex));
        plist[std::string(name)] = std::move(array);
    };
    auto keys = [&](std::string_view name, const std::vector<Definition::Key>& list) {
        if (list.empty())
            return;
        HVPlistValue::Array array;
        for (const auto& key : list) {
            HVPlistValue::Dictionary entry;
            entry["pattern"] = sourceOf(*key.pattern);
            entry["key"] = key.key;
            entry["completion"] = key.completion;
            entry["type"] = key.type;
            array.emplace_back(std::move(entry));
        }
        plist[std::string(name)] = std::move(array);
    };
    patterns("remove", definition.remove);
    patterns("comments", definition.comments);
    keys("keys", definition.keys);
    keys("pre-remove-keys", definition.preRemoveKeys);
    patterns("external-files", definition.externalFiles);
    patterns("tags", definition.tags);
    if (!definition.includes.empty()) {
        HVPlistValue::Array array;
        for (const auto& include : definition.includes) {
            array.emplace_back(HVPlistValue::Dictionary{{"id", include.identifier},
                                                        {"begin", sourceOf(*include.begin)},
                                                        {"end", sourceOf(*include.end)}});
        }
        plist["includes"] = std::move(array);
    }
    if (definition.pathResolution)
        plist["pathResolution"] = *definition.pathResolution;
    return plist;
}

bool HVCodeIndexer::commitToPath(const std::string& contentsDirectory, HVError* error) const {
    return HVPropertyList::writeToFile(
        plistRepresentation(),
        HVFileSystem::appendingPathComponent(contentsDirectory, "indexer.plist"),
        HVPlistFormat::Binary, error);
}
