#pragma once

#include "HVClipboard.h"

// The desktop's clipboard, as plain text.
class HVQtClipboard : public HVClipboard {
public:
    std::optional<std::u16string> string() const override;
    void setString(std::u16string_view text) override;
};
