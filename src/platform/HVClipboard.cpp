#include "HVClipboard.h"

namespace {

HVClipboard* installedGeneral = nullptr;

} // namespace

HVClipboard::~HVClipboard() = default;

HVClipboard& HVClipboard::general() {
    static HVMemoryClipboard memory;
    return installedGeneral ? *installedGeneral : memory;
}

void HVClipboard::setGeneral(HVClipboard* clipboard) {
    installedGeneral = clipboard;
}

std::optional<std::u16string> HVMemoryClipboard::string() const {
    return m_text;
}

void HVMemoryClipboard::setString(std::u16string_view text) {
    m_text = std::u16string(text);
}

void HVMemoryClipboard::clear() {
    m_text.reset();
}
