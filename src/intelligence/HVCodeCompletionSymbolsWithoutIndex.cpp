#include "HVCodeCompletionSymbols.h"

// Linked while the index is not part of the build: completion then offers fixed entries only.
HVCodeCompletionSymbolSource HVSharedIndexSymbolSource() {
    return [](const std::optional<std::u16string>&, const std::optional<std::string>&,
              const std::optional<std::string>&) { return std::vector<HVCodeIndexKey>(); };
}
