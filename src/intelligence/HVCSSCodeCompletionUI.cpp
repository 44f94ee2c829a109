#include "HVCSSCodeCompletionUI.h"

#include "HVCodeCompletionText.h"
#include "HVUnicode.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

std::vector<std::u16string>& fontFamilies() {
    static std::vector<std::u16string> families;
    return families;
}

HVCSSCodeCompletionUI::Type typeForLabel(std::u16string_view label) {
    using T = HVCSSCodeCompletionUI;
    std::u16string lower = HVCodeCompletionText::lowercased(label);
    if (lower == u"length" || lower == u"size")
        return T::Length;
    if (lower == u"angle")
        return T::Angle;
    if (lower == u"percentage")
        return T::Percentage;
    if (lower == u"color")
        return T::Color;
    if (lower == u"integer" || lower == u"number")
        return T::Number;
    if (lower == u"family-name")
        return T::FamilyName;
    if (lower == u"uri")
        return T::URI;
    return T::Unknown;
}

HVPlistValue::Array strings(std::initializer_list<const char*> list) {
    HVPlistValue::Array array;
    for (const char* item : list)
        array.push_back(item);
    return array;
}

// A number as a person types it: "12", "1.5".
std::u16string numberText(const HVPlistValue& value) {
    if (const auto* integer = value.integer())
        return HVUnicode::utf16(std::to_string(*integer));
    if (auto real = value.doubleValue()) {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%.15g", *real);
        return HVUnicode::utf16(buffer);
    }
    if (const auto* string = value.string())
        return HVUnicode::utf16(*string);
    return {};
}

} // namespace

std::shared_ptr<HVCSSCodeCompletionUI> HVCSSCodeCompletionUI::make(std::u16string_view label) {
    auto ui = std::shared_ptr<HVCSSCodeCompletionUI>(new HVCSSCodeCompletionUI());
    ui->m_type = typeForLabel(label);
    ui->m_label = std::u16string(label);
    if (!ui->m_label.empty())
        ui->m_label[0] = char16_t(std::towupper(wint_t(ui->m_label[0])));
    auto& values = *ui->values().dictionary();
    switch (ui->m_type) {
    case Length:
        values["units"] = "px";
        values["unitlist"] = strings({"cm", "em", "ex", "in", "mm", "pc", "pt", "px", "%"});
        break;
    case Angle:
        values["units"] = "deg";
        values["unitlist"] = strings({"deg"});
        break;
    case Percentage:
        values["units"] = "%";
        values["unitlist"] = strings({"%"});
        break;
    case FamilyName: {
        std::vector<std::u16string> families = fontFamilies();
        std::stable_sort(families.begin(), families.end(), [](const auto& a, const auto& b) {
            return HVCodeCompletionText::lowercased(a) < HVCodeCompletionText::lowercased(b);
        });
        HVPlistValue::Array list;
        for (const auto& family : families)
            list.push_back(HVUnicode::utf8(family));
        if (!list.empty())
            values["value"] = list.front();
        values["valuelist"] = std::move(list);
        break;
    }
    default:
        break;
    }
    return ui;
}

void HVCSSCodeCompletionUI::setFontFamilies(std::vector<std::u16string> families) {
    fontFamilies() = std::move(families);
}

std::string HVCSSCodeCompletionUI::nibName() const {
    switch (m_type) {
    case Length:
    case Angle:
    case Percentage:
        return "units";
    case Color:
        return "color";
    case Number:
        return "numeric";
    case FamilyName:
        return "popup";
    case URI:
        return {};
    case Unknown:
        break;
    }
    return "unknown";
}

std::u16string HVCSSCodeCompletionUI::stringValueForUnknownValue(const HVPlistValue& value) {
    std::u16string text;
    if (value.isString() || value.isNumber()) {
        text = value.isString() ? HVUnicode::utf16(*value.string()) : numberText(value);
        if (text.find(u' ') == std::u16string::npos)
            return text;
    }
    return u"\"" + text + u"\"";
}

std::u16string HVCSSCodeCompletionUI::stringValue() const {
    const HVPlistValue& values = this->values();
    switch (m_type) {
    case Length:
    case Angle:
    case Percentage: {
        const HVPlistValue* number = values.objectForKey("number");
        const std::string* units = values.stringForKey("units");
        return (number ? numberText(*number) : u"") + (units ? HVUnicode::utf16(*units) : u"");
    }
    case Color: {
        const auto* color = values.arrayForKey("color");
        int channels[3] = {0, 0, 0};
        if (color && color->size() >= 3) {
            for (int i = 0; i < 3; ++i) {
                double component = (*color)[i].doubleValue().value_or(0);
                channels[i] = std::clamp(int(std::floor(component * 255)), 0, 255);
            }
        }
        char buffer[8];
        std::snprintf(buffer, sizeof buffer, "#%.2x%.2x%.2x", channels[0], channels[1],
                      channels[2]);
        return HVUnicode::utf16(buffer);
    }
    case URI: {
        std::u16string path = HVPathCodeCompletionUI::stringValue();
        return u"url(" + stringValueForUnknownValue(HVUnicode::utf8(path)) + u")";
    }
    default: {
        const HVPlistValue* value = values.objectForKey("value");
        return stringValueForUnknownValue(value ? *value : HVPlistValue());
    }
    }
}
