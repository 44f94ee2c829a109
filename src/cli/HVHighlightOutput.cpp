#include "HVHighlightOutput.h"

#include "HVAttributes.h"
#include "HVParser.h"
#include "HVTextBuffer.h"
#include "HVTheme.h"
#include "HVUnicode.h"

#include <algorithm>

#include <cmath>
#include <cstdio>
#include <map>
#include <ostream>
#include <unordered_map>
#include <vector>

namespace {

// Output is gathered in a string and written in large pieces.
constexpr std::size_t kFlushSize = 1 << 20;

int component(double value) {
    return int(std::lround(std::clamp(value, 0.0, 1.0) * 255));
}

std::string cssColor(const HVColor& color) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "#%02x%02x%02x", component(color.red),
                  component(color.green), component(color.blue));
    return buffer;
}

// Appends UTF-16 text as UTF-8, escaping <, > and & for HTML when asked; unpaired surrogates
// become U+FFFD.
void appendUTF8(std::string& out, std::u16string_view text, bool escapeHTML) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c < 0x80) {
            if (escapeHTML && (c == '<' || c == '>' || c == '&')) {
                out += c == '<' ? "&lt;" : c == '>' ? "&gt;" : "&amp;";
                continue;
            }
            out.push_back(char(c));
            continue;
        }
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x800) {
            out.push_back(char(0xC0 | (c >> 6)));
            out.push_back(char(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(char(0xE0 | (c >> 12)));
            out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(char(0x80 | (c & 0x3F)));
        } else {
            out.push_back(char(0xF0 | (c >> 18)));
            out.push_back(char(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(char(0x80 | (c & 0x3F)));
        }
    }
}

void flushIfLarge(std::ostream& out, std::string& pending) {
    if (pending.size() >= kFlushSize) {
        out.write(pending.data(), std::streamsize(pending.size()));
        pending.clear();
    }
}

// How a run looks, as far as the outputs show it.
struct Look {
    std::optional<HVColor> foreground;
    std::optional<HVColor> background;
    std::int64_t traits = 0;
    bool plain() const { return !foreground && !background && !traits; }
};

// The look of a set of attributes, leaving out what plain text has anyway.
Look lookOf(const HVAttributes& attributes, const HVTheme& theme) {
    Look look;
    const HVColor* foreground = attributes.color(HVForegroundColorAttribute);
    if (foreground && !(theme.textColor() && *theme.textColor() == *foreground))
        look.foreground = *foreground;
    const HVColor* background = attributes.color(HVBackgroundColorAttribute);
    if (background && !(theme.backgroundColor() && *theme.backgroundColor() == *background))
        look.background = *background;
    look.traits = attributes.integerValue(HVFontTraitsAttribute).value_or(0);
    return look;
}

} // namespace

namespace HVHighlightOutput {

void writeHTML(std::ostream& out, const HVTextBuffer& buffer, const HVTheme& theme,
               std::string_view title) {
    const std::u16string_view text = buffer.string();
    // One class per distinct look; runs share attribute sets, so each set is examined once.
    std::unordered_map<const HVAttributes*, int> classOfSet;
    std::map<std::string, int> classOfStyle;
    std::vector<std::string> styles;
    auto classFor = [&](const HVAttributes& attributes) {
        auto known = classOfSet.find(&attributes);
        if (known != classOfSet.end())
            return known->second;
        Look look = lookOf(attributes, theme);
        int index = -1;
        if (!look.plain()) {
            std::string css;
            if (look.foreground)
                css += "color:" + cssColor(*look.foreground) + ";";
            if (look.background)
                css += "background-color:" + cssColor(*look.background) + ";";
            if (look.traits & HVBoldFontTrait)
                css += "font-weight:bold;";
            if (look.traits & HVItalicFontTrait)
                css += "font-style:italic;";
            if (look.traits & HVUnderlineFontTrait)
                css += "text-decoration:underline;";
            auto [it, added] = classOfStyle.emplace(css, int(styles.size()));
            if (added)
                styles.push_back(css);
            index = it->second;
        }
        classOfSet.emplace(&attributes, index);
        return index;
    };

    std::string body;
    body.reserve(text.size() + text.size() / 2);
    int openClass = -1;
    buffer.enumerateRuns({0, text.size()}, [&](HVRange range, const HVAttributes& attributes) {
        int runClass = classFor(attributes);
        if (runClass != openClass) {
            if (openClass >= 0)
                body += "</span>";
            if (runClass >= 0)
                body += "<span class=\"s" + std::to_string(runClass) + "\">";
            openClass = runClass;
        }
        appendUTF8(body, text.substr(range.location, range.length), true);
    });
    if (openClass >= 0)
        body += "</span>";

    std::string head = "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n<title>";
    appendUTF8(head, HVUnicode::utf16(title), true);
    head += "</title>\n<style>\nbody { margin: 0; background-color: ";
    head += cssColor(theme.backgroundColor().value_or(HVColor::white()));
    head += "; color: ";
    head += cssColor(theme.textColor().value_or(HVColor::black()));
    head += "; }\npre { margin: 0; padding: 8px; font-family: monospace; }\n";
    for (std::size_t i = 0; i < styles.size(); ++i)
        head += ".s" + std::to_string(i) + " { " + styles[i] + " }\n";
    head += "</style>\n</head>\n<body>\n<pre>";
    out.write(head.data(), std::streamsize(head.size()));
    out.write(body.data(), std::streamsize(body.size()));
    static constexpr std::string_view tail = "</pre>\n</body>\n</html>\n";
    out.write(tail.data(), std::streamsize(tail.size()));
}

void writeANSI(std::ostream& out, const HVTextBuffer& buffer, const HVTheme& theme) {
    const std::u16string_view text = buffer.string();
    auto sgrColor = [](std::string& sgr, int base, const HVColor& color) {
        sgr += ";" + std::to_string(base) + ";2;" + std::to_string(component(color.red)) + ";" +
               std::to_string(component(color.green)) + ";" + std::to_string(component(color.blue));
    };
    std::unordered_map<const HVAttributes*, std::string> escapes;
    auto escapeFor = [&](const HVAttributes& attributes) -> const std::string& {
        auto known = escapes.find(&attributes);
        if (known != escapes.end())
            return known->second;
        std::string sgr = "\x1b[0";
        const HVColor* foreground = attributes.color(HVForegroundColorAttribute);
        const HVColor* background = attributes.color(HVBackgroundColorAttribute);
        if (foreground || theme.textColor())
            sgrColor(sgr, 38, foreground ? *foreground : *theme.textColor());
        if (background || theme.backgroundColor())
            sgrColor(sgr, 48, background ? *background : *theme.backgroundColor());
        std::int64_t traits = attributes.integerValue(HVFontTraitsAttribute).value_or(0);
        if (traits & HVBoldFontTrait)
            sgr += ";1";
        if (traits & HVItalicFontTrait)
            sgr += ";3";
        if (traits & HVUnderlineFontTrait)
            sgr += ";4";
        sgr += "m";
        return escapes.emplace(&attributes, std::move(sgr)).first->second;
    };

    std::string pending;
    buffer.enumerateRuns({0, text.size()}, [&](HVRange range, const HVAttributes& attributes) {
        const std::string& escape = escapeFor(attributes);
        std::size_t position = range.location;
        const std::size_t end = range.end();
        while (position < end) {
            // Colours are reset before each line break so that no background runs on to the
            // edge of the terminal.
            std::size_t lineEnd = position;
            while (lineEnd < end && text[lineEnd] != u'\n' && text[lineEnd] != u'\r')
                ++lineEnd;
            if (lineEnd > position) {
                pending += escape;
                appendUTF8(pending, text.substr(position, lineEnd - position), false);
                pending += "\x1b[0m";
            }
            if (lineEnd < end) {
                pending.push_back(char(text[lineEnd]));
                ++lineEnd;
            }
            position = lineEnd;
        }
        flushIfLarge(out, pending);
    });
    out.write(pending.data(), std::streamsize(pending.size()));
}

void writeRuns(std::ostream& out, const HVTextBuffer& buffer) {
    std::string pending;
    buffer.enumerateRuns({0, buffer.length()}, [&](HVRange range, const HVAttributes& attributes) {
        const HVAttributeValue* style = attributes.value(HVStyleAttribute);
        const std::string* styleId = style ? std::get_if<std::string>(style) : nullptr;
        if (!styleId)
            return;
        const auto* parser = static_cast<const HVParser*>(attributes.object(HVParserAttribute));
        pending += std::to_string(range.location);
        pending += '\t';
        pending += std::to_string(range.length);
        pending += '\t';
        pending += *styleId;
        pending += '\t';
        pending += parser ? parser->identifier() : std::string("-");
        pending += '\n';
        flushIfLarge(out, pending);
    });
    out.write(pending.data(), std::streamsize(pending.size()));
}

} // namespace HVHighlightOutput
