#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// The three line-break types, the conversion between them, and how to tell which one a text
// uses.
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

    // How many line breaks of each kind a text holds, and how many NUL characters, which
    // mark a text that may not be text at all. One fast pass finds both.
    struct Kinds {
        std::size_t lf = 0;
        std::size_t cr = 0;
        std::size_t crlf = 0;
        std::size_t nul = 0;
        // More than one kind occurs.
        bool mixed() const { return (lf != 0) + (cr != 0) + (crlf != 0) > 1; }
    };
    static Kinds kindsInText(std::u16string_view text);
    // The type a text keeps: the kind that occurs most (a tie goes to Unix, then DOS); none
    // for a text without line breaks.
    static std::optional<Type> dominantType(const Kinds& kinds);
};
