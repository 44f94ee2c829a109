#pragma once

#include "HVAttributes.h"
#include "HVColor.h"
#include "HVError.h"
#include "HVPlistValue.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One colour theme: five global colours and the run attributes of each style id. Read from and
// written to one property list named after the theme's identifier in a "Themes" folder.
//
// Style ids are dotted names, most general part first ("comment.block.php"); a lookup falls
// back to ever shorter prefixes, so a theme needs to colour only the general ids.
class HVTheme {
public:
    using Styles = std::map<std::string, HVAttributes, std::less<>>;

    // A new theme: "New Theme", black on white, modified (so that it is written on commit).
    HVTheme();
    // A theme read from a property list; anything that is not a dictionary gives an untitled
    // theme with a fresh identifier. Not modified.
    explicit HVTheme(const HVPlistValue& plist);
    // Reads a theme file. An unreadable file still gives a theme (untitled, fresh identifier),
    // with the reason in error.
    static std::shared_ptr<HVTheme> initWithContentsOfFile(const std::string& path,
                                                           HVError* error = nullptr);

    // A theme made from this one's property list, with a fresh identifier.
    std::shared_ptr<HVTheme> copy() const;

    // Colour strings: "#rrggbb" or "#rrggbbaa". A pair that is not hexadecimal counts as ff;
    // any length but nine means opaque; no "#", or fewer than seven characters, is no colour.
    static std::optional<HVColor> colorFromString(std::string_view string);
    // "#rrggbbaa" in lower case, each component the floor of its value times 255.
    static std::string stringFromColor(const HVColor& color);

    const std::string& title() const { return m_title; }
    // Made on first use when the theme has none.
    const std::string& identifier() const;
    const std::optional<HVColor>& backgroundColor() const { return m_backgroundColor; }
    const std::optional<HVColor>& textColor() const { return m_textColor; }
    const std::optional<HVColor>& insertionPointColor() const { return m_insertionPointColor; }
    const std::optional<HVColor>& invisiblesColor() const { return m_invisiblesColor; }
    const std::optional<HVColor>& selectionColor() const { return m_selectionColor; }

    // Setters mark the theme modified.
    void setTitle(std::string title);
    void setIdentifier(std::string identifier);
    void setBackgroundColor(std::optional<HVColor> color);
    void setTextColor(std::optional<HVColor> color);
    void setInsertionPointColor(std::optional<HVColor> color);
    void setInvisiblesColor(std::optional<HVColor> color);
    void setSelectionColor(std::optional<HVColor> color);
    // Sets a property by name, the way the preferences edit themes: "title", "identifier", or
    // one of the colours ("backgroundColor", "textColor", "insertionPointColor",
    // "invisiblesColor", "selectionColor") as a colour string (none or "" removes it).
    // False for an unknown name or a value of the wrong type.
    bool setValue(std::string_view key, const HVPlistValue& value);

    bool modified() const { return m_modified; }
    void setModified(bool modified) { m_modified = modified; }
    // When modified: clears the flag and writes the theme to the support directory's
    // "Themes/<identifier>.plist", atomically. True when written or when nothing was modified.
    bool commit(HVError* error = nullptr);
    // Where commit writes.
    std::string filePath() const;

    // The attributes of a style id, falling back through its dotted prefixes; the empty set
    // when none is defined.
    HVAttributes attributesForIdentifier(std::string_view styleIdentifier) const;
    // Whether the style id itself is defined (no fallback).
    bool containsIdentifier(std::string_view styleIdentifier) const;
    std::vector<std::string> styleIdentifiers() const;
    const Styles& styles() const { return m_styles; }
    // Adds a style when the id is not defined yet. Marks the theme modified in any case.
    void addStyle(std::string_view styleIdentifier, const HVAttributes& attributes);
    // Moves a style to another id; an empty new id removes it. Marks modified.
    void changeIdentifier(std::string_view styleIdentifier, std::string_view newIdentifier);
    void changeStyle(std::string_view styleIdentifier, const HVAttributes& attributes);
    void removeStyle(std::string_view styleIdentifier);

    HVPlistValue plistRepresentation() const;
    // Orders by title ignoring case: negative, 0 or positive.
    int compareTitle(const HVTheme& other) const;

private:
    std::string m_title;
    mutable std::string m_identifier;
    std::optional<HVColor> m_backgroundColor;
    std::optional<HVColor> m_textColor;
    std::optional<HVColor> m_insertionPointColor;
    std::optional<HVColor> m_invisiblesColor;
    std::optional<HVColor> m_selectionColor;
    Styles m_styles;
    bool m_modified = false;
};
