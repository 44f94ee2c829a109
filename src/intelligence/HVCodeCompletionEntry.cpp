#include "HVCodeCompletionEntry.h"

#include "HVSearch.h"

HVCodeCompletionEntry::HVCodeCompletionEntry(std::u16string key, std::optional<std::u16string> type,
                                             std::u16string prototype, bool hideOnComplete)
    : m_key(std::move(key)), m_type(std::move(type)), m_prototype(std::move(prototype)),
      m_hideOnComplete(hideOnComplete) {}

HVCodeCompletionEntry HVCodeCompletionEntry::initWithStringRepresentation(
    std::u16string key, std::u16string_view representation, bool hideOnComplete) {
    std::optional<std::u16string> type;
    std::u16string_view prototype = representation;
    if (std::size_t space = representation.find(u' '); space != std::u16string_view::npos) {
        // " prototype" is how an entry without a type writes itself.
        if (space > 0)
            type = std::u16string(representation.substr(0, space));
        prototype = representation.substr(space + 1);
    }
    return HVCodeCompletionEntry(std::move(key), std::move(type), std::u16string(prototype),
                                 hideOnComplete);
}

bool HVCodeCompletionEntry::validateKey(std::u16string_view key, HVError* error) {
    if (!key.empty())
        return true;
    if (error)
        *error = HVError(HVGeneralErrorDomain, 0, "Key cannot be blank",
                         "Please provide a non-blank key or delete the entry.");
    return false;
}

void HVCodeCompletionEntry::setKey(std::u16string key) {
    if (m_prototype.empty())
        m_prototype = key;
    m_key = std::move(key);
}

std::u16string HVCodeCompletionEntry::stringRepresentation() const {
    return m_type.value_or(u"") + u" " + m_prototype;
}

namespace {

// Made once; a search serves one thread at a time, so each thread that completes has its own.
HVSearch& optionalPartsSearch() {
    thread_local std::unique_ptr<HVSearch> search = [] {
        auto made =
            HVSearch::initWithExpressionString(u"\\[(([^\\]]*)|(\\[[^\\]]*\\]))*\\]+", false);
        made->setReplaceString(u"");
        return made;
    }();
    return *search;
}

HVSearch& parameterSearch() {
    thread_local std::unique_ptr<HVSearch> search = [] {
        auto made = HVSearch::initWithExpressionString(
            u"(?:[a-zA-Z]+ )?([a-zA-Z0-9_$&]+(?:\\s*=\\s*[a-zA-Z0-9_]+)?)(,|\\))", false);
        made->setReplaceString(u"[*$1*]$2");
        return made;
    }();
    return *search;
}

} // namespace

std::u16string HVCodeCompletionEntry::completion() const {
    std::u16string text = m_prototype;
    optionalPartsSearch().replaceAllInString(text);
    parameterSearch().replaceAllInString(text);
    return text;
}
