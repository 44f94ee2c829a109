#include "HVSyntaxHighlighting.h"

#include "HVParser.h"
#include "HVTextBuffer.h"
#include "HVTheme.h"

namespace HVSyntaxHighlighting {

HVAttributes standardAttributes(const HVTheme& theme) {
    HVAttributes attributes;
    if (theme.textColor())
        attributes = attributes.setting(HVForegroundColorAttribute, *theme.textColor());
    if (theme.backgroundColor())
        attributes = attributes.setting(HVBackgroundColorAttribute, *theme.backgroundColor());
    return attributes;
}

void resetRange(HVTextBuffer& buffer, HVRange range, const HVTheme& theme) {
    buffer.beginEditing();
    buffer.addAttributes(standardAttributes(theme), range);
    buffer.removeAttribute(HVMultiLineAttribute, range);
    // A word that is no longer a keyword must lose its id and its bold face too.
    buffer.removeAttribute(HVStyleAttribute, range);
    buffer.removeAttribute(HVFontTraitsAttribute, range);
    buffer.endEditing();
}

void highlightRange(HVTextBuffer& buffer, HVParser& parser, HVRange range, const HVTheme& theme) {
    buffer.beginEditing();
    resetRange(buffer, range, theme);
    for (const auto& [region, language] : parser.parseRange(range, buffer))
        language->parseRange(region, buffer);
    buffer.endEditing();
}

void highlightText(HVTextBuffer& buffer, HVParser& mainParser, const HVTheme& theme) {
    highlightRange(buffer, mainParser, {0, buffer.length()}, theme);
}

} // namespace HVSyntaxHighlighting
