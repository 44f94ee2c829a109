#pragma once

#include "HVColor.h"

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
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

// A reference to an object that the text does not own (the parser that painted a run). It holds
// the object weakly, so it never dangles: once the object is gone, lock() gives none. Two
// references are equal when they name the same object, which a later object at the same
// address is not.
class HVObjectReference {
public:
    HVObjectReference() = default;
    template <class T>
    explicit HVObjectReference(const std::shared_ptr<T>& object)
        : m_object(std::const_pointer_cast<std::remove_const_t<T>>(object)),
          m_address(object.get()) {}
    // For an object that no shared pointer owns: equal by address, and lock() gives none.
    explicit HVObjectReference(const void* address) : m_address(address) {}

    // The object, while it lives; none afterwards or for an unowned one.
    template <class T> std::shared_ptr<T> lock() const {
        return std::static_pointer_cast<T>(m_object.lock());
    }
    // For identity only: the address may no longer hold the object.
    const void* address() const { return m_address; }
    bool expired() const { return m_object.expired(); }
    // Whether a shared pointer owned the object when the reference was made.
    bool owned() const {
        return m_object.owner_before(std::weak_ptr<void>()) ||
               std::weak_ptr<void>().owner_before(m_object);
    }

    friend bool operator==(const HVObjectReference& a, const HVObjectReference& b) {
        return a.m_address == b.m_address && !a.m_object.owner_before(b.m_object) &&
               !b.m_object.owner_before(a.m_object);
    }

private:
    std::weak_ptr<void> m_object;
    const void* m_address = nullptr;
};

// An attribute value: a flag, a number, a colour, a text, a reference to an object that the
// text does not own (a parser), or an attachment that it does.
using HVAttributeValue = std::variant<bool, std::int64_t, double, HVColor, std::string,
                                      HVObjectReference, std::shared_ptr<const HVTextAttachment>>;

// The attribute names that the editor itself reads.
inline constexpr std::string_view HVForegroundColorAttribute = "foreground";
inline constexpr std::string_view HVBackgroundColorAttribute = "background";
// An integer of HVFontTrait bits.
inline constexpr std::string_view HVFontTraitsAttribute = "font-traits";
// True on runs that may span lines: block comments, strings, markup comments.
inline constexpr std::string_view HVMultiLineAttribute = "multi-line";
// The parser that painted the run: an HVObjectReference.
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
    const HVObjectReference* reference(std::string_view name) const;
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
