#pragma once

#include "HVPathCodeCompletionUI.h"

#include <string>
#include <vector>

// The style-sheet dialogs, chosen by the lower-cased label of the value ("length…",
// "color…", "family-name…", "uri…").
class HVCSSCodeCompletionUI : public HVPathCodeCompletionUI {
public:
    enum Type : int {
        Length = 0,
        Angle = 1,
        Percentage = 2,
        Color = 3,
        Number = 4,
        FamilyName = 5,
        URI = 6,
        Unknown = 7,
    };

    // The type and default values of a label. fontFamilies is what "family-name" lists
    // (the window passes the installed families; sorted here ignoring case).
    static std::shared_ptr<HVCSSCodeCompletionUI> make(std::u16string_view label);
    static void setFontFamilies(std::vector<std::u16string> families);

    Type type() const { return m_type; }
    // The label with its first letter capitalised.
    const std::u16string& label() const { return m_label; }
    std::string nibName() const override;
    // Types 0-2: number and units; 3: "#rrggbb" of the "color" value (an array of three
    // reals 0-1), "#000000" without one; 4, 5, 7: the value, quoted when it holds a space;
    // 6: "url(path)".
    std::u16string stringValue() const override;
    // A value inserted as it is, or in double quotes when it holds a space.
    static std::u16string stringValueForUnknownValue(const HVPlistValue& value);

protected:
    HVCSSCodeCompletionUI() = default;

private:
    Type m_type = Unknown;
    std::u16string m_label;
};
