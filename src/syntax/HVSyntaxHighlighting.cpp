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

namespace {

// Paints region with language as if the code in holes were blanks: the language must not see
// that code, whose quotes would turn its strings inside out. It paints a copy, whose runs are
// then added to the buffer.
void paintAroundHoles(HVTextBuffer& buffer, HVParser& language, HVRange region,
                      const std::vector<HVRange>& holes) {
    std::u16string text = buffer.substring(region);
    for (HVRange hole : holes) {
        std::size_t end = std::min(hole.end(), region.end());
        for (std::size_t i = hole.location; i < end; ++i)
            text[i - region.location] = u' ';
    }
    HVTextBuffer copy(text);
    language.parseRange({0, text.size()}, copy);
    copy.enumerateRuns({0, text.size()}, [&](HVRange run, const HVAttributes& attributes) {
        buffer.addAttributes(attributes, {region.location + run.location, run.length});
    });
}

void paintRegions(HVTextBuffer& buffer, HVParser& parser, const HVParserRegions& regions,
                  const HVTheme& theme, bool follow) {
    std::size_t paintedTo = 0;
    for (std::size_t k = 0; k < regions.size(); ++k) {
        const auto& [region, language] = regions[k];
        // Code inside an earlier region (server-side code in a script) paints over that
        // region's colours, none of which may stay where it leaves text plain.
        if (region.location < paintedTo)
            resetRange(buffer, region, theme);
        paintedTo = std::max(paintedTo, region.end());
        // Such code comes back as a region of the parser itself, with its own regions.
        if (follow && language == &parser) {
            paintRegions(buffer, parser, parser.parseRange(region, buffer), theme, false);
            continue;
        }
        std::vector<HVRange> holes;
        for (std::size_t h = k + 1;
             follow && h < regions.size() && regions[h].first.location < region.end(); ++h) {
            if (regions[h].second == &parser)
                holes.push_back(regions[h].first);
        }
        if (holes.empty())
            language->parseRange(region, buffer);
        else
            paintAroundHoles(buffer, *language, region, holes);
    }
}

} // namespace

void highlightRange(HVTextBuffer& buffer, HVParser& parser, HVRange range, const HVTheme& theme) {
    buffer.beginEditing();
    resetRange(buffer, range, theme);
    paintRegions(buffer, parser, parser.parseRange(range, buffer), theme, true);
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
