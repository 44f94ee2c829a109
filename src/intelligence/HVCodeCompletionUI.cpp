#include "HVCodeCompletionUI.h"

#include "HVCodeCompletion.h"
#include "HVDispatcher.h"
#include "HVFileSystem.h"
#include "HVUnicode.h"

namespace {

HVCodeCompletionUI::Presenter& presenter() {
    static HVCodeCompletionUI::Presenter installed;
    return installed;
}

} // namespace

HVCodeCompletionUI::~HVCodeCompletionUI() = default;

void HVCodeCompletionUI::setPresenter(Presenter presenter) {
    ::presenter() = std::move(presenter);
}

bool HVCodeCompletionUI::hasPresenter() {
    return bool(presenter());
}

void HVCodeCompletionUI::displayWithDelegate(
    const std::shared_ptr<HVCodeCompletion>& delegate,
    std::function<void(std::optional<std::u16string>)> didEnd) {
    m_delegate = delegate;
    // The pop-up that chose the completion closes first; the dialog comes after.
    HVDispatcher::main().post([self = shared_from_this(), didEnd = std::move(didEnd)]() mutable {
        if (!hasPresenter()) {
            didEnd(std::nullopt);
            return;
        }
        auto once = std::make_shared<bool>(false);
        presenter()(self, [self, once, didEnd = std::move(didEnd)](int result) {
            if (*once)
                return;
            *once = true;
            didEnd(result == 1 ? std::optional(self->stringValue()) : std::nullopt);
        });
    });
}

std::string HVCodeCompletionUI::nibName() const {
    return "unknown";
}

std::u16string HVCodeCompletionUI::stringValue() const {
    const std::string* value = values().stringForKey("value");
    return value ? HVUnicode::utf16(*value) : std::u16string();
}

HVPlistValue& HVCodeCompletionUI::values() {
    if (!m_values)
        m_values = HVPlistValue::Dictionary{};
    return *m_values;
}

const HVPlistValue& HVCodeCompletionUI::values() const {
    if (!m_values)
        m_values = HVPlistValue::Dictionary{};
    return *m_values;
}

std::string HVCodeCompletionUI::pathForUI() const {
    if (auto delegate = m_delegate.lock())
        return delegate->pathForUI();
    return HVFileSystem::homeDirectory();
}
