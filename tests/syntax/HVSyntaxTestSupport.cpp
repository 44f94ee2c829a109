#include "HVSyntaxTestSupport.h"

#include "HVTextBuffer.h"
#include "HVTheme.h"

#include <cstdio>

std::shared_ptr<HVTheme> HVMakeTestTheme(std::initializer_list<std::string_view> styleIds) {
    HVPlistValue::Array styles;
    int n = 1;
    for (std::string_view id : styleIds) {
        char color[16];
        std::snprintf(color, sizeof color, "#0000%02x", n++);
        styles.push_back(HVPlistValue::Dictionary{{"id", std::string(id)}, {"foreground", color}});
    }
    HVPlistValue::Dictionary plist{
        {"id", "test"},
        {"format-title", "Test"},
        {"global-settings",
         HVPlistValue::Dictionary{{"background", "#ffffff"}, {"foreground", "#000000"}}},
        {"styles", std::move(styles)}};
    return std::make_shared<HVTheme>(HVPlistValue(plist));
}

std::string HVDumpRuns(const HVTextBuffer& buffer, const HVTheme& theme) {
    std::string out;
    buffer.enumerateRuns({0, buffer.length()}, [&](HVRange range, const HVAttributes& attributes) {
        const HVColor* color = attributes.color(HVForegroundColorAttribute);
        bool multiLine = attributes.boolValue(HVMultiLineAttribute);
        if (!color && !multiLine)
            return;
        std::string name = "?";
        for (const auto& [id, style] : theme.styles()) {
            if (color && style.color(HVForegroundColorAttribute) &&
                *style.color(HVForegroundColorAttribute) == *color)
                name = id;
        }
        if (!color)
            name = "-";
        if (!out.empty())
            out += ", ";
        out += std::to_string(range.location) + "+" + std::to_string(range.length) + " " + name;
        if (multiLine)
            out += " ml";
    });
    return out;
}
