#pragma once

#include "HVAttributes.h"
#include "HVRange.h"

class HVParser;
class HVTextBuffer;
class HVTheme;

// The one way a range of text is re-styled, shared by the editor's highlighting driver and the
// command line, so that both paint the same runs.
namespace HVSyntaxHighlighting {

// The theme's plain text: its text colour as foreground, its background colour as background.
HVAttributes standardAttributes(const HVTheme& theme);

// Puts the range back to plain text: the standard attributes over it, and the marks of an
// earlier painting (multi-line, style id, font traits) removed. Fold attachments and other
// attributes stay.
void resetRange(HVTextBuffer& buffer, HVRange range, const HVTheme& theme);

// Re-styles one range in one edit batch: resetRange, then the parser's parseRange, then each
// embedded region's parser on its region (the regions those return are not followed, but for
// a region of the parser itself: code inside another region, reset and painted after it). The
// parser is the one in force where the range starts (the main parser for a whole text); it
// must already have the theme (HVParser::setTheme), which colours the runs.
void highlightRange(HVTextBuffer& buffer, HVParser& parser, HVRange range, const HVTheme& theme);

// The whole text through the main parser.
void highlightText(HVTextBuffer& buffer, HVParser& mainParser, const HVTheme& theme);

// What to re-parse after an edit (the edited range is where the new text lies): the edited
// lines, reaching back to the start of every multi-line run (a comment, a string, a tag) that
// touches the character before them or starts before the edit on its first line, and then over
// whole lines. It never reaches forwards beyond the edited lines.
HVRange rangeToHighlightForRange(const HVTextBuffer& buffer, HVRange edited);

} // namespace HVSyntaxHighlighting
