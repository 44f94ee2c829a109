#pragma once

#include <string>
#include <string_view>

// Small text helpers shared by the themes and the parsers.
namespace hvsyntax {

// A fresh identifier for a theme or bundle that has none: a random UUID in lower case.
std::string makeUniqueIdentifier();

// Appends text in lower case (simple, one-to-one Unicode mapping) to out.
void appendLowercase(std::u16string& out, std::u16string_view text);

// Compares two UTF-8 texts ignoring case: negative, 0 or positive.
int compareIgnoringCase(std::string_view a, std::string_view b);

// The end of the line that holds position: the first CR or LF at or after it, before end;
// end when there is none.
std::size_t lineEnd(std::u16string_view text, std::size_t position, std::size_t end);

} // namespace hvsyntax
