#include "HVCodeCompletionSymbols.h"

#include "HVCodeIndex.h"

HVCodeCompletionSymbolSource HVSharedIndexSymbolSource() {
    return
        [](const std::optional<std::u16string>& type, const std::optional<std::string>& classString,
           const std::optional<std::string>& file) {
            return HVCodeIndex::sharedIndex().keysForType(type, classString, file);
        };
}
