#include "HVTagCodeCompletion.h"

#include "HVBundle.h"
#include "HVBundleRepository.h"
#include "HVCodeCompletionText.h"
#include "HVPathCodeCompletionUI.h"
#include "HVPreferences.h"
#include "HVRegex.h"
#include "HVTagBasedParser.h"
#include "HVUnicode.h"

#include <algorithm>
#include <set>

using namespace HVCodeCompletionText;

namespace {

// The element name under which a definition lists the attributes of every element.
constexpr std::string_view kEveryElement = "*";

// Attributes written so far, then the one being typed: its name (1) and its value (4).
constexpr std::u16string_view kContextPattern =
    u"(?:[^= ]+ *= *\"[^\"]*\" *)*([^= \"]+)( *= *(\"([^\"]*)\"?)?)?$";

void sortByKey(std::vector<HVCodeCompletionEntry>& entries) {
    std::stable_sort(entries.begin(), entries.end(),
                     [](const auto& a, const auto& b) { return a.key() < b.key(); });
}

std::u16string text(std::u16string_view subject, HVRange range) {
    return std::u16string(subject.substr(range.location, range.length));
}

} // namespace

HVTagCodeCompletion::HVTagCodeCompletion(const HVPlistValue& plist,
                                         const std::shared_ptr<HVBundle>& bundle)
    : HVCodeCompletion(plist, bundle), m_context(HVRegex::initWithPattern(kContextPattern)),
      m_symbols(HVSharedIndexSymbolSource()) {
    if (const auto* elements = plist.dictionaryForKey("elements"))
        m_elements = *elements;
}

std::shared_ptr<HVTagCodeCompletion>
HVTagCodeCompletion::make(const HVPlistValue& plist, const std::shared_ptr<HVBundle>& bundle) {
    return std::shared_ptr<HVTagCodeCompletion>(new HVTagCodeCompletion(plist, bundle));
}

HVTagCodeCompletion::~HVTagCodeCompletion() = default;

bool HVTagCodeCompletion::suggestAutomatically() const {
    return HVPreferences::sharedInstance()
        .boolForKey("HVSuggestElementsAutomatically")
        .value_or(true);
}

std::optional<HVRange> HVTagCodeCompletion::elementNameRange(std::u16string_view text,
                                                             std::size_t cursor) const {
    std::size_t start = lineStart(text, cursor);
    // Walk back over whole tags to the "<" that is still open.
    std::size_t closed = 0;
    for (std::size_t i = cursor; i > start; --i) {
        char16_t c = text[i - 1];
        if (c == u'>') {
            ++closed;
        } else if (c == u'<') {
            if (closed == 0) {
                std::size_t nameStart = i;
                std::size_t space = text.find(u' ', nameStart);
                std::size_t nameEnd =
                    std::min(space == std::u16string_view::npos ? cursor : space, cursor);
                return HVRange{nameStart, nameEnd - nameStart};
            }
            --closed;
        }
    }
    return std::nullopt;
}

std::optional<std::u16string> HVTagCodeCompletion::partialKeywordForString(std::u16string_view text,
                                                                           std::size_t cursor) {
    cursor = std::min(cursor, text.size());
    m_currentElement.reset();
    m_currentAttribute.reset();
    m_currentValue.reset();

    auto name = elementNameRange(text, cursor);
    if (!name)
        return std::nullopt;
    m_currentElement = lowercased(::text(text, *name));
    std::size_t restStart = name->end();
    std::u16string_view rest = text.substr(restStart, cursor - restStart);
    if (auto match = m_context ? m_context->copyMatchForString(rest) : std::nullopt) {
        if (HVRange attribute = match->rangeForCapture(1); within(attribute, 0, rest.size()))
            m_currentAttribute = lowercased(::text(rest, attribute));
        if (HVRange value = match->rangeForCapture(4); within(value, 0, rest.size()))
            m_currentValue = lowercased(::text(rest, value));
    } else if (!rest.empty()) {
        // After the name and a space: any attribute.
        m_currentAttribute = u"";
    }
    if (m_currentValue)
        return m_currentValue;
    if (m_currentAttribute)
        return m_currentAttribute;
    return m_currentElement;
}

std::vector<HVCodeCompletionEntry>
HVTagCodeCompletion::completionsForString(std::u16string_view partial, const std::string& file,
                                          std::size_t) {
    m_lastPath = file;
    if (!m_currentElement)
        return {};
    std::vector<HVCodeCompletionEntry> candidates;
    if (m_currentValue && m_currentAttribute) {
        candidates = valueEntries(*m_currentElement, *m_currentAttribute, file);
    } else if (m_currentAttribute) {
        candidates = attributeEntries(*m_currentElement);
    } else {
        for (const auto& name : allElementsForPartialElement(partial))
            candidates.push_back(entryForElement(name));
    }
    std::vector<HVCodeCompletionEntry> result;
    for (auto& entry : candidates) {
        if (partial.empty() || hasPrefixIgnoringCase(entry.key(), partial))
            result.push_back(std::move(entry));
    }
    sortByKey(result);
    return result;
}

const HVCodeCompletionEntry& HVTagCodeCompletion::entryForElement(const std::u16string& name) {
    auto found = m_entriesForElement.find(name);
    if (found == m_entriesForElement.end())
        found = m_entriesForElement
                    .emplace(name, HVCodeCompletionEntry::initWithStringRepresentation(
                                       name, u"element " + name + u" ", true))
                    .first;
    return found->second;
}

const std::vector<std::shared_ptr<HVTagCodeCompletion>>&
HVTagCodeCompletion::embeddedCodeCompletions() {
    if (m_embedded)
        return *m_embedded;
    m_embedded.emplace();
    auto bundle = m_bundle.lock();
    auto parser = bundle ? std::dynamic_pointer_cast<HVTagBasedParser>(bundle->parser()) : nullptr;
    if (!parser)
        return *m_embedded;
    for (HVTagBasedParser* embedded : parser->embeddedTagParsers()) {
        auto embeddedBundle =
            HVBundleRepository::sharedRepository().bundleForIdentifier(embedded->identifier());
        if (!embeddedBundle || embeddedBundle == bundle)
            continue;
        if (auto completion =
                std::dynamic_pointer_cast<HVTagCodeCompletion>(completionForBundle(embeddedBundle)))
            m_embedded->push_back(std::move(completion));
    }
    return *m_embedded;
}

std::vector<std::u16string>
HVTagCodeCompletion::allElementsForPartialElement(std::u16string_view partial) {
    std::set<std::u16string> names;
    for (const auto& [name, attributes] : m_elements) {
        if (name != kEveryElement)
            names.insert(HVUnicode::utf16(name));
    }
    for (const auto& embedded : embeddedCodeCompletions()) {
        auto embeddedBundle = embedded->bundle();
        auto parser = embeddedBundle
                          ? std::dynamic_pointer_cast<HVTagBasedParser>(embeddedBundle->parser())
                          : nullptr;
        if (!parser || parser->tagPrefix().empty() ||
            !hasPrefixIgnoringCase(partial, HVUnicode::utf16(parser->tagPrefix())))
            continue;
        for (const auto& [name, attributes] : embedded->m_elements) {
            if (name != kEveryElement)
                names.insert(HVUnicode::utf16(name));
        }
    }
    return {names.begin(), names.end()};
}

std::optional<HVPlistValue::Dictionary>
HVTagCodeCompletion::attributesOfElement(const std::u16string& element) {
    std::string key = HVUnicode::utf8(element);
    // The definition that knows the element also gives the attributes every element has
    // ("*"), which a markup language lists once rather than under each of its elements.
    auto inDefinition =
        [&](const HVPlistValue::Dictionary& elements) -> std::optional<HVPlistValue::Dictionary> {
        auto found = elements.find(key);
        if (found == elements.end() || key == kEveryElement)
            return std::nullopt;
        HVPlistValue::Dictionary attributes;
        if (const auto* own = found->second.dictionary())
            attributes = *own;
        if (auto every = elements.find(kEveryElement); every != elements.end()) {
            if (const auto* common = every->second.dictionary())
                attributes.insert(common->begin(), common->end());
        }
        return attributes;
    };
    if (auto attributes = inDefinition(m_elements))
        return attributes;
    for (const auto& embedded : embeddedCodeCompletions()) {
        if (auto attributes = inDefinition(embedded->m_elements))
            return attributes;
    }
    return std::nullopt;
}

std::vector<HVCodeCompletionEntry>
HVTagCodeCompletion::attributeEntries(const std::u16string& element) {
    if (m_cachedAttributesElement == element)
        return m_cachedAttributes;
    m_cachedAttributes.clear();
    if (auto attributes = attributesOfElement(element)) {
        for (const auto& [name, values] : *attributes) {
            std::u16string attribute = HVUnicode::utf16(name);
            m_cachedAttributes.emplace_back(attribute, u"attribute", attribute + u"=\"\"", true);
        }
    }
    m_cachedAttributesElement = element;
    return m_cachedAttributes;
}

std::vector<HVCodeCompletionEntry>
HVTagCodeCompletion::valueEntries(const std::u16string& element, const std::u16string& attribute,
                                  const std::string& file) {
    auto key = std::make_tuple(element, attribute, file);
    if (m_cachedValuesFor == key)
        return m_cachedValues;
    m_cachedValues.clear();
    std::optional<HVPlistValue> found;
    if (auto attributes = attributesOfElement(element)) {
        if (auto it = attributes->find(HVUnicode::utf8(attribute)); it != attributes->end())
            found = std::move(it->second);
    }
    const HVPlistValue* definition = found ? &*found : nullptr;
    auto addValue = [&](const std::string& value) {
        std::u16string text = HVUnicode::utf16(value);
        m_cachedValues.emplace_back(text, u"value", u"\"" + text + u"\"", true);
    };
    static const HVPlistValue none;
    if (!definition)
        definition = &none;
    if (const auto* list = definition->array()) {
        for (const auto& value : *list) {
            if (const std::string* string = value.string())
                addValue(*string);
        }
    } else if (const std::string* value = definition->string(); value && !value->empty()) {
        std::size_t dot = value->rfind('.');
        if ((*value)[0] != '#') {
            addValue(*value);
        } else if (dot != std::string::npos && dot > 0 && m_symbols) {
            // "#class.type": the document's symbols of that language and kind.
            std::string classString = value->substr(1, dot - 1);
            std::u16string type = HVUnicode::utf16(value->substr(dot + 1));
            for (const auto& symbol : m_symbols(type, classString, file))
                m_cachedValues.emplace_back(symbol.key, symbol.type,
                                            u"\"" + symbol.completion + u"\"", true);
        }
    }
    m_cachedValuesFor = std::move(key);
    return m_cachedValues;
}

HVRange HVTagCodeCompletion::keywordRangeForString(std::u16string_view text, std::size_t cursor) {
    cursor = std::min(cursor, text.size());
    std::size_t start = lineStart(text, cursor);
    std::u16string_view before = text.substr(start, cursor - start);
    if (m_currentValue) {
        std::size_t open = before.rfind(u'"');
        if (open == std::u16string_view::npos)
            return {cursor, 0};
        std::size_t end = lineEnd(text, cursor);
        std::size_t close = text.substr(0, end).find(u'"', cursor);
        // The value runs through its closing quote; without one, to the line's end (its
        // terminator stays).
        std::size_t stop = close == std::u16string_view::npos ? end : close + 1;
        return {start + open, stop - (start + open)};
    }
    if (m_currentAttribute) {
        std::size_t space = before.rfind(u' ');
        if (space == std::u16string_view::npos)
            return {cursor, 0};
        return {start + space + 1, cursor - (start + space + 1)};
    }
    if (auto name = elementNameRange(text, cursor))
        return *name;
    return {HVNotFound, 0};
}

void HVTagCodeCompletion::postprocessCompletion(std::u16string completion, DidEnd didEnd) {
    // A value comes in quotes; the dialog's label is what they enclose.
    auto isQuote = [](char16_t c) { return c == u'"' || c == u'\''; };
    std::size_t first = 0, last = completion.size();
    while (first < last && isQuote(completion[first]))
        ++first;
    while (last > first && isQuote(completion[last - 1]))
        --last;
    std::u16string_view bare = std::u16string_view(completion).substr(first, last - first);
    if (shouldShowUIForCompletion(bare)) {
        bare.remove_suffix(1);
        runDialog(bare, std::move(didEnd),
                  [](std::u16string text) { return u"\"" + text + u"\""; });
        return;
    }
    // The replaced range holds the value's quotes, so the text keeps its own.
    didEnd(std::move(completion));
}

std::shared_ptr<HVCodeCompletionUI>
HVTagCodeCompletion::createCodeCompletionUIForCompletion(std::u16string_view label) {
    if (label == u"path" || label == u"uri")
        return HVPathCodeCompletionUI::make();
    return nullptr;
}

HVPlistValue HVTagCodeCompletion::plistRepresentation() const {
    HVPlistValue::Dictionary plist{{"format-type", "tag"}};
    addCommonKeys(plist);
    if (!m_elements.empty())
        plist["elements"] = m_elements;
    return plist;
}

namespace {

HVPlistValue titled(const std::string& title) {
    HVPlistValue::Dictionary item;
    item["title"] = title;
    return item;
}

// The values an attribute allows, as the editing pane lists them.
HVPlistValue::Array valuesForEditing(const HVPlistValue& definition) {
    HVPlistValue::Array values;
    if (const auto* list = definition.array()) {
        for (const auto& value : *list) {
            if (const std::string* string = value.string())
                values.push_back(titled(*string));
        }
    } else if (const std::string* value = definition.string(); value && !value->empty()) {
        values.push_back(titled(*value));
    }
    return values;
}

} // namespace

HVPlistValue::Array HVTagCodeCompletion::elementsForEditing() const {
    HVPlistValue::Array elements;
    for (const auto& [name, attributes] : m_elements) {
        HVPlistValue::Array attributeList;
        if (const auto* dictionary = attributes.dictionary()) {
            for (const auto& [attribute, definition] : *dictionary) {
                HVPlistValue item = titled(attribute);
                (*item.dictionary())["values"] = valuesForEditing(definition);
                attributeList.push_back(std::move(item));
            }
        }
        HVPlistValue element = titled(name);
        (*element.dictionary())["attributes"] = std::move(attributeList);
        elements.push_back(std::move(element));
    }
    return elements;
}

void HVTagCodeCompletion::setElementsFromEditing(const HVPlistValue::Array& elements) {
    m_elements.clear();
    for (const auto& element : elements) {
        const std::string* name = element.stringForKey("title");
        if (!name)
            continue;
        HVPlistValue::Dictionary attributes;
        if (const auto* list = element.arrayForKey("attributes")) {
            for (const auto& attribute : *list) {
                const std::string* title = attribute.stringForKey("title");
                if (!title)
                    continue;
                HVPlistValue::Array values;
                if (const auto* valueList = attribute.arrayForKey("values")) {
                    for (const auto& value : *valueList) {
                        if (const std::string* valueTitle = value.stringForKey("title"))
                            values.push_back(*valueTitle);
                    }
                }
                attributes[*title] = values.empty()       ? HVPlistValue("")
                                     : values.size() == 1 ? values.front()
                                                          : HVPlistValue(std::move(values));
            }
        }
        m_elements[*name] = std::move(attributes);
    }
    m_entriesForElement.clear();
    m_cachedAttributesElement.reset();
    m_cachedValuesFor.reset();
}
