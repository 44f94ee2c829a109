#pragma once

#include "HVColor.h"

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

// Base of objects that a run of text may carry, such as the collapsed text of a fold. The one
// character that carries an attachment stands for the attachment's text.
class HVTextAttachment {
public:
    virtual ~HVTextAttachment() = default;
    // The text the character stands for: what saving, copying and searching see in its place.
    virtual const std::u16string& string() const = 0;
};

// An attribute value: a flag, a number, a colour, a text, a reference to an object that the
// text does not own (a parser), or an attachment that it does.
using HVAttributeValue = std::variant<bool, std::int64_t, double, HVColor, std::string, const void*,
                                      std::shared_ptr<const HVTextAttachment>>;

// The attribute names that the editor itself reads.
inline constexpr std::string_view HVForegroundColorAttribute = "foreground";
inline constexpr std::string_view HVBackgroundColorAttribute = "background";
// An integer of HVFontTrait bits.
inline constexpr std::string_view HVFontTraitsAttribute = "font-traits";
// True on runs that may span lines: block comments, strings, markup comments.
inline constexpr std::string_view HVMultiLineAttribute = "multi-line";
// The parser that painted the run (not owned).
inline constexpr std::string_view HVParserAttribute = "parser";
// The style id that chose the run's look (a string such as "comment.block"), so that tools can
// report what a parser saw without knowing the theme.
inline constexpr std::string_view HVStyleAttribute = "style";
inline constexpr std::string_view HVAttachmentAttribute = "attachment";

enum HVFontTrait : std::int64_t {
    HVBoldFontTrait = 1,
    HVItalicFontTrait = 2,
    HVUnderlineFontTrait = 4,
};

// An immutable set of named attribute values, kept sorted by name.
class HVAttributes {
public:
    using Entry = std::pair<std::string, HVAttributeValue>;

    HVAttributes() = default;
    HVAttributes(std::initializer_list<Entry> entries);

    bool empty() const { return m_entries.empty(); }
    std::size_t size() const { return m_entries.size(); }
    auto begin() const { return m_entries.begin(); }
    auto end() const { return m_entries.end(); }

    const HVAttributeValue* value(std::string_view name) const;
    bool contains(std::string_view name) const { return value(name) != nullptr; }
    // Typed readings: absent when missing or of another type.
    bool boolValue(std::string_view name) const;
    std::optional<std::int64_t> integerValue(std::string_view name) const;
    const HVColor* color(std::string_view name) const;
    const void* object(std::string_view name) const;
    std::shared_ptr<const HVTextAttachment> attachment() const;

    // Copies with one value set or removed, or with all of other's values added over these.
    HVAttributes setting(std::string_view name, HVAttributeValue value) const;
    HVAttributes removing(std::string_view name) const;
    HVAttributes adding(const HVAttributes& other) const;

    std::size_t hash() const;
    friend bool operator==(const HVAttributes& a, const HVAttributes& b) {
        return a.m_entries == b.m_entries;
    }

private:
    std::vector<Entry> m_entries;
};

// Attribute sets are shared between runs; a null reference reads as the empty set.
using HVAttributesRef = std::shared_ptr<const HVAttributes>;
