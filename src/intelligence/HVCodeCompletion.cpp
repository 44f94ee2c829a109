#include "HVCodeCompletion.h"

#include "HVBundle.h"
#include "HVCSSCodeCompletion.h"
#include "HVCodeCompletionUI.h"
#include "HVFileSystem.h"
#include "HVKeywordCodeCompletion.h"
#include "HVPropertyList.h"
#include "HVTagCodeCompletion.h"

#include <map>

namespace {

constexpr char16_t kEllipsis = u'\u2026';

// By bundle address; the bundle is held weakly so that a new bundle at a freed address is not
// handed the old one's completion.
struct CachedCompletion {
    std::weak_ptr<HVBundle> bundle;
    std::shared_ptr<HVCodeCompletion> completion;
};
std::map<const HVBundle*, CachedCompletion>& completionCache() {
    static std::map<const HVBundle*, CachedCompletion> cache;
    return cache;
}

} // namespace

HVCodeCompletion::HVCodeCompletion(const HVPlistValue& plist,
                                   const std::shared_ptr<HVBundle>& bundle)
    : m_bundle(bundle) {
    if (const std::string* editClass = plist.stringForKey("edit-class"))
        m_editClass = *editClass;
    m_showTypeColumn = !plist.boolForKey("hide-type-column").value_or(false);
}

HVCodeCompletion::~HVCodeCompletion() = default;

std::shared_ptr<HVCodeCompletion>
HVCodeCompletion::completionForBundle(const std::shared_ptr<HVBundle>& bundle) {
    if (!bundle)
        return nullptr;
    auto& cache = completionCache();
    std::erase_if(cache, [](const auto& entry) { return entry.second.bundle.expired(); });
    if (auto found = cache.find(bundle.get()); found != cache.end())
        return found->second.completion;
    std::shared_ptr<HVCodeCompletion> completion;
    if (const auto& plist = bundle->codeCompletion())
        completion = initWithPlist(*plist, bundle);
    // A bundle without completion is remembered too, so that typing does not read it again.
    cache[bundle.get()] = CachedCompletion{bundle, completion};
    return completion;
}

std::shared_ptr<HVCodeCompletion>
HVCodeCompletion::initWithPlist(const HVPlistValue& plist,
                                const std::shared_ptr<HVBundle>& bundle) {
    std::string kind;
    if (const std::string* className = plist.stringForKey("class"))
        kind = *className;
    if (kind != "HVCSSCodeCompletion" && kind != "HVKeywordCodeCompletion" &&
        kind != "HVTagCodeCompletion") {
        const std::string* format = plist.stringForKey("format-type");
        kind = !format                ? ""
               : *format == "keyword" ? "HVKeywordCodeCompletion"
               : *format == "tag"     ? "HVTagCodeCompletion"
                                      : "";
    }
    if (kind == "HVCSSCodeCompletion")
        return HVCSSCodeCompletion::make(plist, bundle);
    if (kind == "HVKeywordCodeCompletion")
        return HVKeywordCodeCompletion::make(plist, bundle);
    if (kind == "HVTagCodeCompletion")
        return HVTagCodeCompletion::make(plist, bundle);
    return nullptr;
}

bool HVCodeCompletion::suggestAutomatically() const {
    return false;
}

std::optional<std::u16string> HVCodeCompletion::partialKeywordForString(std::u16string_view,
                                                                        std::size_t) {
    return std::nullopt;
}

std::vector<HVCodeCompletionEntry>
HVCodeCompletion::completionsForString(std::u16string_view, const std::string&, std::size_t) {
    return {};
}

HVRange HVCodeCompletion::keywordRangeForString(std::u16string_view, std::size_t) {
    return {HVNotFound, 0};
}

void HVCodeCompletion::postprocessCompletion(std::u16string completion, DidEnd didEnd) {
    if (shouldShowUIForCompletion(completion)) {
        completion.pop_back();
        runDialog(completion, std::move(didEnd), [](std::u16string text) { return text; });
        return;
    }
    didEnd(std::move(completion));
}

bool HVCodeCompletion::shouldShowUIForCompletion(std::u16string_view completion) const {
    return !completion.empty() && completion.back() == kEllipsis;
}

std::shared_ptr<HVCodeCompletionUI>
HVCodeCompletion::createCodeCompletionUIForCompletion(std::u16string_view) {
    return nullptr;
}

std::string HVCodeCompletion::pathForUI() const {
    return m_lastPath.empty() ? HVFileSystem::homeDirectory() : m_lastPath;
}

std::vector<HVCodeCompletionEntry> HVCodeCompletion::entries() const {
    return {};
}

void HVCodeCompletion::setEntries(std::vector<HVCodeCompletionEntry>) {}

HVPlistValue HVCodeCompletion::plistRepresentation() const {
    return HVPlistValue::Dictionary{};
}

void HVCodeCompletion::addCommonKeys(HVPlistValue::Dictionary& plist) const {
    if (!m_editClass.empty())
        plist["edit-class"] = m_editClass;
    if (!m_showTypeColumn)
        plist["hide-type-column"] = true;
}

bool HVCodeCompletion::commitToPath(const std::string& contentsDirectory, HVError* error) const {
    return HVPropertyList::writeToFile(
        plistRepresentation(),
        HVFileSystem::appendingPathComponent(contentsDirectory, "completion.plist"),
        HVPlistFormat::Binary, error);
}

void HVCodeCompletion::runDialog(std::u16string_view label, DidEnd didEnd,
                                 std::function<std::u16string(std::u16string)> wrap) {
    auto ui = createCodeCompletionUIForCompletion(label);
    if (!ui) {
        didEnd(std::nullopt);
        return;
    }
    ui->displayWithDelegate(
        shared_from_this(),
        [didEnd = std::move(didEnd), wrap = std::move(wrap)](std::optional<std::u16string> text) {
            didEnd(text ? std::optional(wrap(std::move(*text))) : std::nullopt);
        });
}
