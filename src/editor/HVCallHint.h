#pragma once

#include "HVRange.h"

#include <cstddef>
#include <string>
#include <string_view>

// The call the caret is in, for the call tip: the function's prototype, the 0-based argument
// being typed, and where that argument is written in the prototype.
struct HVCallHint {
    std::u16string prototype;
    std::size_t argument = 0;
    // {HVNotFound, 0} when the prototype lists fewer arguments (and none trails off in "...").
    HVRange argumentRange{HVNotFound, 0};

    // The text of an argument between the prototype's first parenthesis and its match, without
    // the spaces and the square brackets of optional parts around it: "start" is argument 1
    // of "substr(string, start[, length])".
    static HVRange argumentRangeInPrototype(std::u16string_view prototype, std::size_t argument);

    friend bool operator==(const HVCallHint&, const HVCallHint&) = default;
};
