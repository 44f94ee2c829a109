#include "HVCodeHinting.h"

#include "HVBundle.h"
#include "HVCodeCompletionText.h"
#include "HVRegex.h"
#include "HVUnicode.h"

#include <vector>

namespace {

// The name just before the call's parenthesis ("$object->method(" gives "object->method").
constexpr std::u16string_view kFunctionNamePattern = u"([a-zA-Z][\\w\\d\\-_>]*)\\s*\\($";

struct CachedHinting {
    std::weak_ptr<HVBundle> bundle;
    std::shared_ptr<HVCodeHinting> hinting;
};
std::map<const HVBundle*, CachedHinting>& hintingCache() {
    static std::map<const HVBundle*, CachedHinting> cache;
    return cache;
}

} // namespace

HVCodeHinting::~HVCodeHinting() = default;

std::shared_ptr<HVCodeHinting>
HVCodeHinting::hintingForBundle(const std::shared_ptr<HVBundle>& bundle) {
    if (!bundle)
        return nullptr;
    auto& cache = hintingCache();
    std::erase_if(cache, [](const auto& entry) { return entry.second.bundle.expired(); });
    if (auto found = cache.find(bundle.get()); found != cache.end())
        return found->second.hinting;
    std::shared_ptr<HVCodeHinting> hinting;
    if (const auto& plist = bundle->codeHinting())
        hinting = initWithBundle(bundle, *plist);
    cache[bundle.get()] = CachedHinting{bundle, hinting};
    return hinting;
}

std::shared_ptr<HVCodeHinting>
HVCodeHinting::initWithBundle(const std::shared_ptr<HVBundle>& bundle, const HVPlistValue& plist) {
    const auto* prototypes = plist.dictionary();
    if (!prototypes)
        return nullptr;
    std::shared_ptr<HVCodeHinting> hinting(new HVCodeHinting());
    hinting->m_bundle = bundle;
    for (const auto& [name, prototype] : *prototypes) {
        if (const std::string* text = prototype.string())
            hinting->m_prototypes.emplace(HVUnicode::utf16(name), HVUnicode::utf16(*text));
    }
    hinting->m_functionName = HVRegex::initWithPattern(kFunctionNamePattern);
    return hinting;
}

std::optional<std::u16string> HVCodeHinting::prototypeInString(std::u16string_view text,
                                                               std::size_t location,
                                                               std::size_t* argumentNumber) {
    auto name = functionNameInString(text, location, argumentNumber);
    if (!name)
        return std::nullopt;
    auto found = m_prototypes.find(*name);
    if (found == m_prototypes.end())
        return std::nullopt;
    return found->second;
}

std::optional<std::u16string> HVCodeHinting::functionNameInString(std::u16string_view text,
                                                                  std::size_t location,
                                                                  std::size_t* argumentNumber) {
    location = std::min(location, text.size());
    std::size_t start = HVCodeCompletionText::lineStart(text, location);
    // Back over calls that are already closed to the parenthesis still open.
    std::size_t depth = 0;
    for (std::size_t i = location; i > start; --i) {
        char16_t c = text[i - 1];
        if (c == u')') {
            ++depth;
        } else if (c == u'(') {
            if (depth == 0) {
                auto name = functionNameBefore(i - 1, text);
                if (name && argumentNumber)
                    *argumentNumber = argumentIndexInString(text, i - 1, location);
                return name;
            }
            --depth;
        }
    }
    return std::nullopt;
}

std::optional<std::u16string> HVCodeHinting::functionNameBefore(std::size_t parenthesis,
                                                                std::u16string_view text) {
    if (parenthesis >= text.size() || !m_functionName)
        return std::nullopt;
    std::size_t start = HVCodeCompletionText::lineStart(text, parenthesis);
    std::u16string_view line = text.substr(start, parenthesis + 1 - start);
    auto match = m_functionName->copyMatchForString(line);
    if (!match)
        return std::nullopt;
    HVRange name = match->rangeForCapture(1);
    return std::u16string(line.substr(name.location, name.length));
}

std::size_t HVCodeHinting::argumentIndexInString(std::u16string_view text, std::size_t parenthesis,
                                                 std::size_t position) {
    // What the commas are inside: a string's quote, an inner "(", or a pending backslash.
    std::vector<char16_t> stack;
    std::size_t commas = 0;
    std::size_t last = std::min(position + 1, text.size());
    for (std::size_t i = parenthesis + 1; i < last; ++i) {
        char16_t c = text[i];
        char16_t top = stack.empty() ? 0 : stack.back();
        if (top == u'\\') {
            stack.pop_back();
        } else if (c == u'"' || c == u'\'') {
            if (stack.empty())
                stack.push_back(c);
            else if (top == c)
                stack.pop_back();
        } else if (c == u'\\') {
            if (top != u'"' && top != u'\'')
                stack.push_back(c);
        } else if (c == u'(') {
            if (stack.empty())
                stack.push_back(c);
        } else if (c == u')') {
            if (top == u'(')
                stack.pop_back();
        } else if (c == u',' && stack.empty()) {
            ++commas;
        }
    }
    return commas;
}
