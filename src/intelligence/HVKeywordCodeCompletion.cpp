#include "HVKeywordCodeCompletion.h"

#include "HVBundle.h"
#include "HVCodeCompletionText.h"
#include "HVCodeIndex.h"
#include "HVDispatcher.h"
#include "HVKeywordBasedParser.h"
#include "HVPreferences.h"
#include "HVUnicode.h"

#include <algorithm>
#include <cwctype>

namespace {

void sortByKey(std::vector<HVCodeCompletionEntry>& entries) {
    std::stable_sort(entries.begin(), entries.end(),
                     [](const auto& a, const auto& b) { return a.key() < b.key(); });
}

void file(HVKeywordCodeCompletion::EntryMap& map, HVCodeCompletionEntry entry) {
    if (entry.key().empty())
        return;
    map[entry.key().front()].push_back(std::move(entry));
}

} // namespace

HVKeywordCodeCompletion::HVKeywordCodeCompletion(const HVPlistValue& plist,
                                                 const std::shared_ptr<HVBundle>& bundle)
    : HVCodeCompletion(plist, bundle), m_symbols(HVSharedIndexSymbolSource()) {
    const HVPlistValue::Dictionary* keys = plist.dictionaryForKey("keys");
    if (!keys)
        return;
    for (const auto& [keyword, value] : *keys) {
        std::u16string key = HVUnicode::utf16(keyword);
        auto add = [&](const HVPlistValue& representation) {
            if (const std::string* text = representation.string())
                file(m_default, HVCodeCompletionEntry::initWithStringRepresentation(
                                    key, HVUnicode::utf16(*text), true));
        };
        if (const auto* list = value.array()) {
            for (const auto& item : *list)
                add(item);
        } else {
            add(value);
        }
    }
}

std::shared_ptr<HVKeywordCodeCompletion>
HVKeywordCodeCompletion::make(const HVPlistValue& plist, const std::shared_ptr<HVBundle>& bundle) {
    return std::shared_ptr<HVKeywordCodeCompletion>(new HVKeywordCodeCompletion(plist, bundle));
}

HVKeywordCodeCompletion::~HVKeywordCodeCompletion() = default;

bool HVKeywordCodeCompletion::suggestAutomatically() const {
    return HVPreferences::sharedInstance()
        .boolForKey("HVSuggestKeywordsAutomatically")
        .value_or(false);
}

void HVKeywordCodeCompletion::prepareDelimiters() {
    m_delimiters = nullptr;
    m_delimiterOwner.reset();
    auto bundle = m_bundle.lock();
    if (!bundle)
        return;
    auto parser = std::dynamic_pointer_cast<HVKeywordBasedParser>(bundle->parser());
    if (parser && !parser->oppositeSet().empty()) {
        m_delimiters = &parser->oppositeSet();
        m_delimiterOwner = parser;
    }
}

bool HVKeywordCodeCompletion::isWordDelimiter(char16_t c) const {
    if (m_delimiters)
        return m_delimiters->contains(c);
    return !std::iswalpha(wint_t(c));
}

HVRange HVKeywordCodeCompletion::keywordRangeForString(std::u16string_view text,
                                                       std::size_t cursor) {
    cursor = std::min(cursor, text.size());
    prepareDelimiters();
    std::size_t start = HVCodeCompletionText::lineStart(text, cursor);
    for (std::size_t i = cursor; i > start; --i) {
        if (isWordDelimiter(text[i - 1])) {
            start = i;
            break;
        }
    }
    return {start, cursor - start};
}

std::optional<std::u16string>
HVKeywordCodeCompletion::partialKeywordForString(std::u16string_view text, std::size_t cursor) {
    HVRange range = keywordRangeForString(text, cursor);
    return std::u16string(text.substr(range.location, range.length));
}

void HVKeywordCodeCompletion::observeIndex() {
    m_observingIndex = true;
    std::weak_ptr<HVCodeCompletion> weak = weak_from_this();
    // The index posts from its own thread; lastPath belongs to the main thread.
    m_indexObserver = HVScopedObserver(
        HVNotificationCenter::defaultCenter(),
        HVNotificationCenter::defaultCenter().addObserver(
            std::string(HVFileIndexInvalidatedNotification), nullptr,
            [weak](const HVNotification&) {
                HVDispatcher::main().post([weak] {
                    if (auto self =
                            std::static_pointer_cast<HVKeywordCodeCompletion>(weak.lock())) {
                        // Both: an untitled document asks with the same empty path.
                        self->m_lastPath.clear();
                        self->m_dynamic.clear();
                    }
                });
            }));
}

std::vector<HVCodeCompletionEntry>
HVKeywordCodeCompletion::completionsForString(std::u16string_view partial, const std::string& file,
                                              std::size_t) {
    if (partial.empty())
        return {};
    if (file != m_lastPath) {
        m_lastPath = file;
        m_dynamic.clear();
        auto bundle = m_bundle.lock();
        if (!file.empty() && bundle && m_symbols) {
            for (auto& key : m_symbols(std::nullopt, bundle->identifier(), file)) {
                HVCodeCompletionEntry entry(key.key, key.type, key.completion, false);
                ::file(m_dynamic, std::move(entry));
            }
        }
        if (!m_observingIndex)
            observeIndex();
    }
    std::vector<HVCodeCompletionEntry> result;
    for (const EntryMap* map : {&m_default, &m_dynamic}) {
        auto bucket = map->find(partial.front());
        if (bucket == map->end())
            continue;
        for (const auto& entry : bucket->second) {
            if (entry.key().starts_with(partial))
                result.push_back(entry);
        }
    }
    sortByKey(result);
    return result;
}

std::vector<HVCodeCompletionEntry> HVKeywordCodeCompletion::entries() const {
    std::vector<HVCodeCompletionEntry> result;
    for (const auto& [first, bucket] : m_default)
        result.insert(result.end(), bucket.begin(), bucket.end());
    sortByKey(result);
    return result;
}

void HVKeywordCodeCompletion::setEntries(std::vector<HVCodeCompletionEntry> entries) {
    m_default.clear();
    for (auto& entry : entries) {
        entry.setHideOnComplete(true);
        file(m_default, std::move(entry));
    }
}

HVPlistValue HVKeywordCodeCompletion::plistRepresentation() const {
    HVPlistValue::Dictionary plist{{"format-type", "keyword"}};
    addCommonKeys(plist);
    std::map<std::string, HVPlistValue::Array> representations;
    for (const auto& entry : entries())
        representations[HVUnicode::utf8(entry.key())].push_back(
            HVUnicode::utf8(entry.stringRepresentation()));
    if (!representations.empty()) {
        HVPlistValue::Dictionary keys;
        for (auto& [key, list] : representations)
            keys[key] = list.size() == 1 ? std::move(list.front()) : HVPlistValue(std::move(list));
        plist["keys"] = std::move(keys);
    }
    return plist;
}
