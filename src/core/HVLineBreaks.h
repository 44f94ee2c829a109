#pragma once

#include <optional>
#include <string>
#include <string_view>

// The three line-break types and the rule that loaded text takes the view's type.
class HVLineBreaks {
public:
    enum Type { Unix = 0, Mac = 1, DOS = 2 };

    // The type named by the preference "HVLineBreak": 0 Unix, 1 Mac, 2 DOS, anything else Unix.
    static Type preferredType();
    // The line-break string of the preference.
    static std::u16string lineBreak();
    static std::u16string stringForType(Type type);
    // "Unix", "Mac" or "DOS".
    static const char* nameForType(Type type);
    static std::optional<Type> typeForName(std::string_view name);

    // A copy of the text with every CR LF pair, lone CR and lone LF changed to the line break
    // (or, when it is empty, the string of the named type; when both are empty, the preference).
    static std::u16string switchLineBreaks(std::u16string_view text,
                                           std::u16string_view lineBreak = {},
                                           std::string_view name = {});

    // The same rule applied to a text in place: a text that holds only line breaks of the type
    // is left untouched, and one-character types never grow the text, so a large file is not
    // copied.
    static void switchLineBreaksInPlace(std::u16string& text, Type type);

    // Which kinds of line break occur in a text.
    struct Kinds {
        bool lf = false;
        bool cr = false;
        bool crlf = false;
    };
    static Kinds kindsInText(std::u16string_view text);
};
