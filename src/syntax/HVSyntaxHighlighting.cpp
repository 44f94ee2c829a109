#include "HVSyntaxHighlighting.h"

#include "HVParser.h"
#include "HVTextBuffer.h"
#include "HVTheme.h"

#include <algorithm>
#include <variant>

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

HVRange rangeToHighlightForRange(const HVTextBuffer& buffer, HVRange edited) {
    HVRange lines = buffer.lineRangeForRange(edited);
    std::size_t start = edited.location;
    std::size_t end = edited.end();
    std::size_t i = lines.location > 0 ? lines.location - 1 : 0;
    while (i < edited.location) {
        HVRange run;
        auto value = buffer.attribute(HVMultiLineAttribute, i, &run, {0, edited.location});
        if (value && std::holds_alternative<bool>(*value) && std::get<bool>(*value)) {
            start = std::min(start, run.location);
            end = std::max(end, run.end());
        }
        i = std::max(i + 1, run.end());
    }
    if (start == edited.location && end == edited.end())
        return lines;
    return buffer.lineRangeForRange({start, end - start});
}

} // namespace HVSyntaxHighlighting
