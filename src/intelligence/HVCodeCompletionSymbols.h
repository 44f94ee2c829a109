#pragma once

#include "HVCodeIndexKey.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

// Where completion takes a file's symbols from: the shared index (keysForType), or, in tests
// and tools, any function that answers the same question.
using HVCodeCompletionSymbolSource = std::function<std::vector<HVCodeIndexKey>(
    const std::optional<std::u16string>& type, const std::optional<std::string>& classString,
    const std::optional<std::string>& file)>;

// The program's index.
HVCodeCompletionSymbolSource HVSharedIndexSymbolSource();
