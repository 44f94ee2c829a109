#include "HVCSSCodeCompletion.h"

#include "HVCSSCodeCompletionUI.h"
#include "HVCodeCompletionText.h"
#include "HVRegex.h"
#include "HVUnicode.h"

#include <algorithm>

using namespace HVCodeCompletionText;

namespace {

// A property name, then optionally a colon and the value so far, then optionally the block's
// closing brace, at the end of the line.
constexpr std::u16string_view kPropertyPattern =
    u"([a-z-]+)(\\s*:\\s*([^\r\n;\\}]+))?([ \t]*\\})?$";

bool isWhiteSpace(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f' || c == u'\v';
}

std::u16string_view trimmed(std::u16string_view text) {
    while (!text.empty() && isWhiteSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isWhiteSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

} // namespace

HVCSSCodeCompletion::HVCSSCodeCompletion(const HVPlistValue& plist,
                                         const std::shared_ptr<HVBundle>& bundle)
    : HVKeywordCodeCompletion(plist, bundle),
      m_propertyPattern(HVRegex::initWithPattern(kPropertyPattern)) {
    const auto* properties = plist.dictionaryForKey("properties");
    if (!properties)
        return;
    for (const auto& [name, list] : *properties) {
        if (name.empty())
            continue;
        std::u16string property = HVUnicode::utf16(name);
        std::vector<std::u16string> values;
        if (const auto* array = list.array()) {
            for (const auto& value : *array) {
                if (const std::string* string = value.string())
                    values.push_back(HVUnicode::utf16(*string));
            }
        }
        m_properties[property.front()][property] = std::move(values);
    }
}

std::shared_ptr<HVCSSCodeCompletion>
HVCSSCodeCompletion::make(const HVPlistValue& plist, const std::shared_ptr<HVBundle>& bundle) {
    return std::shared_ptr<HVCSSCodeCompletion>(new HVCSSCodeCompletion(plist, bundle));
}

HVCSSCodeCompletion::~HVCSSCodeCompletion() = default;

bool HVCSSCodeCompletion::suggestAutomatically() const {
    return true;
}

bool HVCSSCodeCompletion::locationInOpenSelector(std::size_t location, std::u16string_view text) {
    location = std::min(location, text.size());
    std::u16string_view before = text.substr(0, location);
    std::size_t open = before.rfind(u'{');
    return open != std::u16string_view::npos &&
           before.find(u'}', open) == std::u16string_view::npos;
}

std::optional<std::u16string>
HVCSSCodeCompletion::establishContextForString(std::u16string_view text, std::size_t cursor) {
    m_currentProperty.reset();
    m_currentValue.reset();
    cursor = std::min(cursor, text.size());
    if (!locationInOpenSelector(cursor, text) || !m_propertyPattern)
        return std::nullopt;
    std::size_t start = lineStart(text, cursor);
    std::u16string_view line = text.substr(start, lineEnd(text, cursor) - start);
    auto match = m_propertyPattern->copyMatchForString(line);
    if (!match)
        return std::nullopt;
    HVRange property = match->rangeForCapture(1);
    m_currentProperty = std::u16string(line.substr(property.location, property.length));
    if (HVRange value = match->rangeForCapture(3); HVRangeIsFound(value) && value.length > 0) {
        std::u16string_view typed = trimmed(line.substr(value.location, value.length));
        // "1px solid re": only the last word is being typed.
        if (std::size_t space = typed.rfind(u' '); space != std::u16string_view::npos)
            typed = typed.substr(space + 1);
        m_currentValue = std::u16string(typed);
    }
    return m_currentValue ? m_currentValue : m_currentProperty;
}

std::optional<std::u16string> HVCSSCodeCompletion::partialKeywordForString(std::u16string_view text,
                                                                           std::size_t cursor) {
    return establishContextForString(text, cursor);
}

const std::vector<std::u16string>*
HVCSSCodeCompletion::valuesForProperty(std::u16string_view property) const {
    if (property.empty())
        return nullptr;
    auto bucket = m_properties.find(property.front());
    if (bucket == m_properties.end())
        return nullptr;
    auto found = bucket->second.find(std::u16string(property));
    return found == bucket->second.end() ? nullptr : &found->second;
}

HVCodeCompletionEntry HVCSSCodeCompletion::entryForProperty(const std::u16string& property) {
    return HVCodeCompletionEntry(property, std::nullopt, property + u": ", false);
}

HVCodeCompletionEntry HVCSSCodeCompletion::entryForValue(const std::u16string& value) {
    return HVCodeCompletionEntry(value, std::nullopt, value, true);
}

std::vector<HVCodeCompletionEntry>
HVCSSCodeCompletion::completionsForString(std::u16string_view, const std::string& file,
                                          std::size_t) {
    m_lastPath = file;
    std::vector<HVCodeCompletionEntry> result;
    if (m_currentValue) {
        if (const auto* values = valuesForProperty(m_currentProperty.value_or(u""))) {
            for (const auto& value : *values) {
                if (value.starts_with(*m_currentValue))
                    result.push_back(entryForValue(value));
            }
        }
        return result;
    }
    if (!m_currentProperty || m_currentProperty->empty())
        return result;
    if (auto bucket = m_properties.find(m_currentProperty->front()); bucket != m_properties.end()) {
        for (const auto& [name, values] : bucket->second) {
            if (name.starts_with(*m_currentProperty))
                result.push_back(entryForProperty(name));
        }
    }
    return result;
}

HVRange HVCSSCodeCompletion::keywordRangeForString(std::u16string_view text, std::size_t cursor) {
    cursor = std::min(cursor, text.size());
    prepareDelimiters();
    std::size_t start = lineStart(text, cursor), end = lineEnd(text, cursor);
    for (std::size_t i = cursor; i > start; --i) {
        if (isWordDelimiter(text[i - 1])) {
            start = i;
            break;
        }
    }
    for (std::size_t i = cursor; i < end; ++i) {
        if (isWordDelimiter(text[i])) {
            end = i;
            break;
        }
    }
    return {start, end - start};
}

std::shared_ptr<HVCodeCompletionUI>
HVCSSCodeCompletion::createCodeCompletionUIForCompletion(std::u16string_view label) {
    return HVCSSCodeCompletionUI::make(label);
}

std::vector<HVCodeCompletionEntry> HVCSSCodeCompletion::entries() const {
    std::vector<HVCodeCompletionEntry> result;
    for (const auto& [first, properties] : m_properties) {
        for (const auto& [name, values] : properties) {
            std::u16string joined;
            for (const auto& value : values)
                joined += (joined.empty() ? u"" : u" ") + value;
            result.emplace_back(name, std::nullopt, joined, false);
        }
    }
    return result;
}

void HVCSSCodeCompletion::setEntries(std::vector<HVCodeCompletionEntry> entries) {
    m_properties.clear();
    for (const auto& entry : entries) {
        if (entry.key().empty())
            continue;
        std::vector<std::u16string> values;
        std::u16string_view rest = entry.prototype();
        while (!rest.empty()) {
            std::size_t space = rest.find(u' ');
            if (space != 0)
                values.emplace_back(rest.substr(0, space));
            rest =
                space == std::u16string_view::npos ? std::u16string_view() : rest.substr(space + 1);
        }
        m_properties[entry.key().front()][entry.key()] = std::move(values);
    }
}

HVPlistValue HVCSSCodeCompletion::plistRepresentation() const {
    HVPlistValue::Dictionary properties;
    for (const auto& [first, bucket] : m_properties) {
        for (const auto& [name, values] : bucket) {
            HVPlistValue::Array list;
            for (const auto& value : values)
                list.push_back(HVUnicode::utf8(value));
            properties[HVUnicode::utf8(name)] = std::move(list);
        }
    }
    return HVPlistValue::Dictionary{{"class", "HVCSSCodeCompletion"},
                                    {"properties", std::move(properties)}};
}
