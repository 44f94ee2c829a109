#pragma once

#include "HVAttributes.h"
#include "HVRange.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

// What one change, or one batch of changes, did to a text buffer.
struct HVTextEdit {
    enum Mask : unsigned { Characters = 1, Attributes = 2 };
    unsigned mask = 0;
    // The changed stretch in the text as it is now.
    HVRange editedRange;
    // New length minus old length.
    std::ptrdiff_t changeInLength = 0;
};

// The attributed text that the editor stands on: UTF-16 code units (every line break kept as it
// is, "\r\n" being two units), attribute runs, and an index of lines. Lines end at LF, at CR,
// or at a CR LF pair; a text has one line more than it has line breaks.
//
// Queries outside the text are safe: ranges are clipped to the text, and attributes at or beyond
// the end are the empty set with effective range (0, 0).
//
// The text lives in a gap buffer, and the line starts and attribute runs in gap vectors whose
// gap follows the last edit, so an edit costs the distance from the previous one plus its own
// size, not the size of the text. Reading is not safe from two threads at once: string() moves
// the gap.
class HVTextBuffer {
public:
    using ObserverToken = std::uint64_t;
    using Observer = std::function<void(const HVTextEdit&)>;

    HVTextBuffer();
    explicit HVTextBuffer(std::u16string_view text);
    virtual ~HVTextBuffer();
    HVTextBuffer(const HVTextBuffer&) = delete;
    HVTextBuffer& operator=(const HVTextBuffer&) = delete;

    // Characters.
    std::size_t length() const;
    // 0 at or beyond the end.
    char16_t characterAtIndex(std::size_t index) const;
    std::u16string substring(HVRange range) const;
    // Copies the characters of the range (clipped) to out, which must have room for them;
    // returns how many were copied.
    std::size_t getCharacters(char16_t* out, HVRange range) const;
    // The whole text in one piece, valid until the next change of characters. It moves the gap
    // to the end: after an edit far from the end that costs a move of the text behind the edit,
    // so code that looks at a few lines per keystroke reads them with substring() instead.
    std::u16string_view string() const;
    // The characters of one range in one piece (index 0 is range.location), valid until the next
    // change of characters. Cheap for a range near the last edit, unlike string().
    std::u16string_view contiguousRange(HVRange range) const;

    // Editing. New characters take the attributes of the first character they replace, or of
    // the character before them when they replace nothing.
    virtual void replaceCharacters(HVRange range, std::u16string_view text);
    void replaceCharacters(HVRange range, std::u16string_view text,
                           const HVAttributesRef& attributes);
    void setString(std::u16string_view text);
    // Changes between these two calls are reported once, at the outermost endEditing().
    void beginEditing();
    void endEditing();
    bool isEditing() const;

    // Attributes. The effective range is the run that holds the index; the longest effective
    // range joins neighbouring runs with equal values, within the limit.
    HVAttributesRef attributesAtIndex(std::size_t index, HVRange* effectiveRange = nullptr) const;
    HVAttributesRef attributesAtIndex(std::size_t index, HVRange* longestEffectiveRange,
                                      HVRange rangeLimit) const;
    std::optional<HVAttributeValue> attribute(std::string_view name, std::size_t index,
                                              HVRange* effectiveRange = nullptr) const;
    std::optional<HVAttributeValue> attribute(std::string_view name, std::size_t index,
                                              HVRange* longestEffectiveRange,
                                              HVRange rangeLimit) const;
    virtual void setAttributes(const HVAttributesRef& attributes, HVRange range);
    void setAttributes(const HVAttributes& attributes, HVRange range);
    // Adds the values over whatever each run has, replacing values of the same names. The
    // shared form saves hashing the set when the same object is passed again.
    void addAttributes(const HVAttributes& attributes, HVRange range);
    void addAttributes(const HVAttributesRef& attributes, HVRange range);
    void addAttribute(std::string_view name, HVAttributeValue value, HVRange range);
    void removeAttribute(std::string_view name, HVRange range);
    // Calls back once per run (clipped to the range), in order.
    void enumerateRuns(HVRange range,
                       const std::function<void(HVRange, const HVAttributes&)>& body) const;
    std::size_t runCount() const;

    // Lines, counted from 0.
    std::size_t lineCount() const;
    std::size_t lineNumberForIndex(std::size_t index) const;
    // The line that holds the index, with its line break.
    HVRange lineRangeForIndex(std::size_t index) const;
    // From the start of the line holding range's start to the end of the line holding its end.
    HVRange lineRangeForRange(HVRange range) const;
    HVRange rangeOfLine(std::size_t lineNumber) const;

    // Observers hear of each change, or of each outermost batch, after it happened.
    ObserverToken addObserver(Observer observer);
    void removeObserver(ObserverToken token);

private:
    struct Storage;
    std::unique_ptr<Storage> m_storage;
};
