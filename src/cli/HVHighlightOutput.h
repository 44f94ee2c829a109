#pragma once

#include <iosfwd>
#include <string>
#include <string_view>

class HVTextBuffer;
class HVTheme;

// The ways the command line writes a highlighted text.
namespace HVHighlightOutput {

// A standalone HTML page in the theme's colours: one span per stretch of equal looks (its
// foreground, background, bold, italic and underline where they differ from plain text), the
// text escaped.
void writeHTML(std::ostream& out, const HVTextBuffer& buffer, const HVTheme& theme,
               std::string_view title);
// The text with 24-bit colour escapes, plain text in the theme's colours, every line reset at
// its end.
void writeANSI(std::ostream& out, const HVTextBuffer& buffer, const HVTheme& theme);
// One line per run that carries a style id: start, length (UTF-16 code units), style id and
// the painting parser's identifier, separated by tabs.
void writeRuns(std::ostream& out, const HVTextBuffer& buffer);

} // namespace HVHighlightOutput
