#include "HVHighlightOutput.h"

#include "HVAttributes.h"
#include "HVParser.h"
#include "HVTextBuffer.h"
#include "HVTheme.h"
#include "HVUnicode.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <ostream>
#include <unordered_map>

namespace {

int component(double value) {
    return int(std::lround(std::clamp(value, 0.0, 1.0) * 255));
}

std::string cssColor(const HVColor& color) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "#%02x%02x%02x", component(color.red),
                  component(color.green), component(color.blue));
    return buffer;
}

// Output gathered in one buffer and written in large pieces; UTF-16 text goes in as UTF-8.
class Output {
public:
    explicit Output(std::ostream& out) : m_out(out), m_data(new char[kCapacity]) {}
    ~Output() { flush(); }
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    void flush() {
        m_out.write(m_data.get(), std::streamsize(m_size));
        m_size = 0;
    }
    void append(std::string_view bytes) {
        if (bytes.size() > kCapacity - m_size) {
            flush();
            if (bytes.size() > kCapacity) {
                m_out.write(bytes.data(), std::streamsize(bytes.size()));
                return;
            }
        }
        std::memcpy(m_data.get() + m_size, bytes.data(), bytes.size());
        m_size += bytes.size();
    }
    void append(char c) { append(std::string_view(&c, 1)); }

    // Escapes <, > and & for HTML when asked; unpaired surrogates become U+FFFD.
    void appendUTF8(std::u16string_view text, bool escapeHTML) {
        // At most five bytes per code unit ("&amp;"), in pieces that fit the buffer.
        constexpr std::size_t piece = kCapacity / 8;
        while (!text.empty()) {
            std::size_t count = std::min(text.size(), piece);
            // Never split a surrogate pair.
            if (count < text.size() && (text[count - 1] & 0xFC00) == 0xD800)
                --count;
            if (count * 5 > kCapacity - m_size)
                flush();
            m_size = std::size_t(encode(text.substr(0, count), m_data.get() + m_size, escapeHTML) -
                                 m_data.get());
            text.remove_prefix(count);
        }
    }

private:
    static constexpr std::size_t kCapacity = std::size_t(1) << 20;

    static char* encode(std::u16string_view text, char* out, bool escapeHTML) {
        for (std::size_t i = 0; i < text.size(); ++i) {
            char32_t c = text[i];
            if (c < 0x80) {
                if (escapeHTML && (c == '<' || c == '>' || c == '&')) {
                    const char* entity = c == '<' ? "&lt;" : c == '>' ? "&gt;" : "&amp;";
                    std::size_t length = c == '&' ? 5 : 4;
                    std::memcpy(out, entity, length);
                    out += length;
                } else {
                    *out++ = char(c);
                }
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
                *out++ = char(0xC0 | (c >> 6));
                *out++ = char(0x80 | (c & 0x3F));
            } else if (c < 0x10000) {
                *out++ = char(0xE0 | (c >> 12));
                *out++ = char(0x80 | ((c >> 6) & 0x3F));
                *out++ = char(0x80 | (c & 0x3F));
            } else {
                *out++ = char(0xF0 | (c >> 18));
                *out++ = char(0x80 | ((c >> 12) & 0x3F));
                *out++ = char(0x80 | ((c >> 6) & 0x3F));
                *out++ = char(0x80 | (c & 0x3F));
            }
        }
        return out;
    }

    std::ostream& m_out;
    std::unique_ptr<char[]> m_data;
    std::size_t m_size = 0;
};

// What each attribute set of the buffer turns into, worked out once per set. Runs share their
// sets, and a few sets (plain text and the styles between which it alternates) make most runs,
// so the last few answers are kept at hand before the table.
template <typename Value> class PerSet {
public:
    template <typename Make> const Value& get(const HVAttributes& attributes, Make&& make) {
        for (const auto& [set, value] : m_recent) {
            if (set == &attributes)
                return *value;
        }
        auto it = m_values.find(&attributes);
        if (it == m_values.end())
            it = m_values.emplace(&attributes, make(attributes)).first;
        m_recent[m_next++ % m_recent.size()] = {&attributes, &it->second};
        return it->second;
    }

private:
    std::unordered_map<const HVAttributes*, Value> m_values;
    std::array<std::pair<const HVAttributes*, const Value*>, 4> m_recent{};
    std::size_t m_next = 0;
};

// The CSS of a set of attributes, leaving out what plain text has anyway; empty for plain text.
std::string cssOf(const HVAttributes& attributes, const HVTheme& theme) {
    std::string css;
    const HVColor* foreground = attributes.color(HVForegroundColorAttribute);
    if (foreground && !(theme.textColor() && *theme.textColor() == *foreground))
        css += "color:" + cssColor(*foreground) + ";";
    const HVColor* background = attributes.color(HVBackgroundColorAttribute);
    if (background && !(theme.backgroundColor() && *theme.backgroundColor() == *background))
        css += "background-color:" + cssColor(*background) + ";";
    std::int64_t traits = attributes.integerValue(HVFontTraitsAttribute).value_or(0);
    if (traits & HVBoldFontTrait)
        css += "font-weight:bold;";
    if (traits & HVItalicFontTrait)
        css += "font-style:italic;";
    if (traits & HVUnderlineFontTrait)
        css += "text-decoration:underline;";
    return css;
}

} // namespace

namespace HVHighlightOutput {

void writeHTML(std::ostream& stream, const HVTextBuffer& buffer, const HVTheme& theme,
               std::string_view title) {
    const std::u16string_view text = buffer.string();
    Output out(stream);
    out.append("<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n<title>");
    out.appendUTF8(HVUnicode::utf16(title), true);
    out.append("</title>\n<style>\nbody { margin: 0; background-color: " +
               cssColor(theme.backgroundColor().value_or(HVColor::white())) +
               "; color: " + cssColor(theme.textColor().value_or(HVColor::black())) +
               "; }\npre { margin: 0; padding: 8px; font-family: monospace; }\n"
               "</style>\n</head>\n<body>\n<pre>");

    // Each run that does not look like plain text is a span styled in place, so the page is
    // written as the runs come; neighbours of the same look share one span.
    PerSet<std::string> css;
    const std::string* open = nullptr;
    buffer.enumerateRuns({0, text.size()}, [&](HVRange range, const HVAttributes& attributes) {
        const std::string& style = css.get(attributes, [&](const HVAttributes& set) {
            std::string rule = cssOf(set, theme);
            return rule.empty() ? rule : "<span style=\"" + rule + "\">";
        });
        const std::string* wanted = style.empty() ? nullptr : &style;
        if (wanted != open && !(wanted && open && *wanted == *open)) {
            if (open)
                out.append("</span>");
            if (wanted)
                out.append(*wanted);
            open = wanted;
        }
        out.appendUTF8(text.substr(range.location, range.length), true);
    });
    if (open)
        out.append("</span>");
    out.append("</pre>\n</body>\n</html>\n");
}

void writeANSI(std::ostream& stream, const HVTextBuffer& buffer, const HVTheme& theme) {
    const std::u16string_view text = buffer.string();
    Output out(stream);
    PerSet<std::string> escapes;
    auto escapeOf = [&](const HVAttributes& attributes) {
        std::string sgr = "\x1b[0";
        auto color = [&](int base, const HVColor& value) {
            char parameters[32];
            std::snprintf(parameters, sizeof parameters, ";%d;2;%d;%d;%d", base,
                          component(value.red), component(value.green), component(value.blue));
            sgr += parameters;
        };
        const HVColor* foreground = attributes.color(HVForegroundColorAttribute);
        const HVColor* background = attributes.color(HVBackgroundColorAttribute);
        if (foreground || theme.textColor())
            color(38, foreground ? *foreground : *theme.textColor());
        if (background || theme.backgroundColor())
            color(48, background ? *background : *theme.backgroundColor());
        std::int64_t traits = attributes.integerValue(HVFontTraitsAttribute).value_or(0);
        if (traits & HVBoldFontTrait)
            sgr += ";1";
        if (traits & HVItalicFontTrait)
            sgr += ";3";
        if (traits & HVUnderlineFontTrait)
            sgr += ";4";
        return sgr + "m";
    };
    buffer.enumerateRuns({0, text.size()}, [&](HVRange range, const HVAttributes& attributes) {
        const std::string& escape = escapes.get(attributes, escapeOf);
        std::size_t position = range.location;
        const std::size_t end = range.end();
        while (position < end) {
            // Colours are reset before each line break so that no background runs on to the
            // edge of the terminal.
            std::size_t lineEnd = position;
            while (lineEnd < end && text[lineEnd] != u'\n' && text[lineEnd] != u'\r')
                ++lineEnd;
            if (lineEnd > position) {
                out.append(escape);
                out.appendUTF8(text.substr(position, lineEnd - position), false);
                out.append("\x1b[0m");
            }
            if (lineEnd < end) {
                out.append(char(text[lineEnd]));
                ++lineEnd;
            }
            position = lineEnd;
        }
    });
}

void writeRuns(std::ostream& stream, const HVTextBuffer& buffer) {
    Output out(stream);
    buffer.enumerateRuns({0, buffer.length()}, [&](HVRange range, const HVAttributes& attributes) {
        const HVAttributeValue* style = attributes.value(HVStyleAttribute);
        const std::string* styleId = style ? std::get_if<std::string>(style) : nullptr;
        if (!styleId)
            return;
        const HVObjectReference* reference = attributes.reference(HVParserAttribute);
        auto parser = reference ? reference->lock<const HVParser>() : nullptr;
        char numbers[48];
        int length =
            std::snprintf(numbers, sizeof numbers, "%zu\t%zu\t", range.location, range.length);
        out.append(std::string_view(numbers, std::size_t(length)));
        out.append(*styleId);
        out.append('\t');
        out.append(parser ? std::string_view(parser->identifier()) : std::string_view("-"));
        out.append('\n');
    });
}

} // namespace HVHighlightOutput
