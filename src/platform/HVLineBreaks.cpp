#include "HVLineBreaks.h"

#include "HVCharacterScan.h"
#include "HVPreferences.h"

HVLineBreaks::Type HVLineBreaks::preferredType() {
    auto value = HVPreferences::sharedInstance().integerForKey("HVLineBreak").value_or(0);
    if (value == Mac || value == DOS)
        return Type(value);
    return Unix;
}

std::u16string HVLineBreaks::lineBreak() {
    return stringForType(preferredType());
}

std::u16string HVLineBreaks::stringForType(Type type) {
    switch (type) {
    case Mac:
        return u"\r";
    case DOS:
        return u"\r\n";
    default:
        return u"\n";
    }
}

const char* HVLineBreaks::nameForType(Type type) {
    switch (type) {
    case Mac:
        return "Mac";
    case DOS:
        return "DOS";
    default:
        return "Unix";
    }
}

std::optional<HVLineBreaks::Type> HVLineBreaks::typeForName(std::string_view name) {
    if (name == "Unix")
        return Unix;
    if (name == "Mac")
        return Mac;
    if (name == "DOS")
        return DOS;
    return std::nullopt;
}

std::u16string HVLineBreaks::switchLineBreaks(std::u16string_view text,
                                              std::u16string_view lineBreak,
                                              std::string_view name) {
    std::u16string target(lineBreak);
    if (target.empty()) {
        auto type = typeForName(name);
        target = type ? stringForType(*type) : HVLineBreaks::lineBreak();
    }
    std::u16string result;
    result.reserve(text.size() + text.size() / 32);
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char16_t c = text[i];
        if (c != u'\n' && c != u'\r')
            continue;
        result.append(text.substr(start, i - start));
        result += target;
        if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    result.append(text.substr(start));
    return result;
}

void HVLineBreaks::switchLineBreaksInPlace(std::u16string& text, Type type) {
    Kinds kinds = kindsInText(text);
    bool uniform = type == Mac   ? !kinds.lf && !kinds.crlf
                   : type == DOS ? !kinds.lf && !kinds.cr
                                 : !kinds.cr && !kinds.crlf;
    if (uniform)
        return;
    if (type == DOS) {
        text = switchLineBreaks(text, stringForType(type));
        return;
    }
    const char16_t lineBreak = type == Mac ? u'\r' : u'\n';
    std::size_t out = 0;
    const std::size_t size = text.size();
    for (std::size_t i = 0; i < size; ++i) {
        char16_t c = text[i];
        if (c == u'\r') {
            if (i + 1 < size && text[i + 1] == u'\n')
                ++i;
            c = lineBreak;
        } else if (c == u'\n') {
            c = lineBreak;
        }
        text[out++] = c;
    }
    text.resize(out);
}

HVLineBreaks::Kinds HVLineBreaks::kindsInText(std::u16string_view text) {
    Kinds kinds;
    const std::size_t size = text.size();
    HVForEachCharacterOf<u'\n', u'\r', u'\0'>(text.data(), size, [&](std::size_t i) {
        switch (text[i]) {
        case u'\r':
            if (i + 1 < size && text[i + 1] == u'\n')
                ++kinds.crlf;
            else
                ++kinds.cr;
            break;
        case u'\n':
            // The second half of a CR LF pair was counted with its CR.
            if (i == 0 || text[i - 1] != u'\r')
                ++kinds.lf;
            break;
        default:
            ++kinds.nul;
            break;
        }
    });
    return kinds;
}

std::optional<HVLineBreaks::Type> HVLineBreaks::dominantType(const Kinds& kinds) {
    if (kinds.lf == 0 && kinds.cr == 0 && kinds.crlf == 0)
        return std::nullopt;
    if (kinds.lf >= kinds.crlf && kinds.lf >= kinds.cr)
        return Unix;
    return kinds.crlf >= kinds.cr ? DOS : Mac;
}
