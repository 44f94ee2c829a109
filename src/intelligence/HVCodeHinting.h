#pragma once

#include "HVPlistValue.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

class HVBundle;
class HVRegex;

// Call hints of a language, from its bundle's "hinting.plist" (function name → prototype):
// which call the caret is in, which argument is being typed, and the function's prototype.
class HVCodeHinting {
public:
    ~HVCodeHinting();
    // Built once per bundle and kept while it lives; none without "hinting.plist". Main thread.
    static std::shared_ptr<HVCodeHinting> hintingForBundle(const std::shared_ptr<HVBundle>& bundle);
    static std::shared_ptr<HVCodeHinting> initWithBundle(const std::shared_ptr<HVBundle>& bundle,
                                                         const HVPlistValue& plist);

    // The prototype of the call open at location (on its line), and the 0-based argument
    // being typed; none outside a known call.
    std::optional<std::u16string> prototypeInString(std::u16string_view text, std::size_t location,
                                                    std::size_t* argumentNumber = nullptr);
    std::optional<std::u16string> functionNameInString(std::u16string_view text,
                                                       std::size_t location,
                                                       std::size_t* argumentNumber = nullptr);
    // The name before an open parenthesis at index, on its line.
    std::optional<std::u16string> functionNameBefore(std::size_t parenthesis,
                                                     std::u16string_view text);
    // Commas from just after the parenthesis up to and including position, outside quotes
    // and inner parentheses.
    static std::size_t argumentIndexInString(std::u16string_view text, std::size_t parenthesis,
                                             std::size_t position);

private:
    HVCodeHinting() = default;
    std::weak_ptr<HVBundle> m_bundle;
    std::map<std::u16string, std::u16string, std::less<>> m_prototypes;
    std::unique_ptr<HVRegex> m_functionName;
};
