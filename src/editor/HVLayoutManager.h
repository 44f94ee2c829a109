#pragma once

#include "Defaults.h"
#include "HVColor.h"
#include "HVNotificationCenter.h"
#include "HVRange.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string_view>
#include <vector>

class HVTextBuffer;

// Posted when an editor preference changed (among them "HVShowInvisibles").
inline constexpr std::string_view HVEditorPrefsChangeNotification = "HalvetEditorPrefsChange";
inline constexpr std::string_view HVShowInvisiblesKey = "HVShowInvisibles";

// One symbol that marks an invisible character: drawn at the character's place, in the
// layout manager's font and invisibles colour, under the text.
struct HVInvisibleMark {
    std::size_t position = 0;
    char16_t symbol = 0;
    friend bool operator==(const HVInvisibleMark&, const HVInvisibleMark&) = default;
};

// What the editor's drawing needs beyond the text itself, without pixels: whether spaces,
// tabs and line breaks are marked ("HVShowInvisibles", read again whenever the editor
// preferences change), the colour and font of their symbols, and which symbols a stretch of
// text shows. The widget draws the marks of the characters it lays out, then the text.
class HVLayoutManager {
public:
    static constexpr char16_t spaceCharacter = u'\u00B7';   // middle dot
    static constexpr char16_t tabCharacter = u'\u22EF';     // midline horizontal ellipsis
    static constexpr char16_t newLineCharacter = u'\u00B6'; // pilcrow

    HVLayoutManager();
    ~HVLayoutManager();
    HVLayoutManager(const HVLayoutManager&) = delete;
    HVLayoutManager& operator=(const HVLayoutManager&) = delete;

    bool showInvisibleCharacters() const { return m_showInvisibleCharacters; }
    void setShowInvisibleCharacters(bool show);
    // Reads "HVShowInvisibles" again (the observer of "HalvetEditorPrefsChange").
    void updateSIC();

    // The theme's invisibles colour; grey when it has none.
    const HVColor& invisiblesColor() const { return m_invisiblesColor; }
    void setInvisiblesColor(std::optional<HVColor> color);
    // The editor font (a fixed-pitch font at 11 points when none is set).
    const HVFontDescription& font() const { return m_font; }

    // The marks of the range's characters, in text order; none while invisibles are hidden.
    // A space, a tab, and a line break (LF, CR, U+2028, U+2029; a CR LF pair counts once, at
    // its CR) each show one symbol.
    std::vector<HVInvisibleMark> invisibleMarksInRange(const HVTextBuffer& text,
                                                       HVRange range) const;

    // Told whenever what is drawn changed (shown or not, colour, font).
    using ObserverToken = std::uint64_t;
    ObserverToken addChangeObserver(std::function<void()> observer);
    void removeChangeObserver(ObserverToken token);

private:
    void reloadAttributes();

    bool m_showInvisibleCharacters = false;
    HVColor m_invisiblesColor;
    HVFontDescription m_font;
    std::map<ObserverToken, std::function<void()>> m_observers;
    ObserverToken m_nextObserver = 1;
    HVScopedObserver m_prefsObserver;
};
