#pragma once

#include "HVAttributedString.h"
#include "HVAttributes.h"
#include "HVRange.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

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
// The characters live in blocks of a few thousand code units, and the line starts and the
// attribute runs in blocks of a few hundred entries stored relative to their block, so an edit
// anywhere costs one block plus the block offsets behind it (additions that are carried out only
// as far as the next edit elsewhere needs them), never a move of the text.
//
// Text set in one piece stays in one allocation until its blocks grow: the first insertion into
// such a block copies that block (a few tens of kilobytes). The characters take about the size
// of the text; when insertions reach most blocks of a large text, up to twice that, until the
// next string() puts the text in one piece again.
//
// Reading is not safe from two threads at once: string() and contiguousRange() may rearrange
// the storage, and lookups remember where they last found something.
class HVTextBuffer {
public:
    using ObserverToken = std::uint64_t;
    using Observer = std::function<void(const HVTextEdit&)>;

    // The largest block of characters and of line starts or runs; blocks split beyond that and
    // join a neighbour below a quarter of it. Only tests choose other sizes, so that a few
    // characters exercise splits and joins.
    struct BlockSizes {
        std::size_t characters = 16384;
        std::size_t entries = 512;
    };

    HVTextBuffer();
    explicit HVTextBuffer(std::u16string_view text);
    HVTextBuffer(std::u16string_view text, BlockSizes blockSizes);
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
    // The whole text in one piece, valid until the next change of characters (changes of
    // attributes and calls of contiguousRange() leave it valid). Right after the text was set,
    // or when nothing changed since the last call, it is free; after a change it costs a copy
    // of the whole text, which then becomes the storage of the blocks (no second copy is
    // kept). Code that looks at a few lines per keystroke reads them with substring() or
    // contiguousRange() instead, and code that wants the length asks length().
    std::u16string_view string() const;
    // The characters of one range (clipped) in one piece; index 0 is range.location. A view
    // into the storage when the range lies within one block or in blocks that are still one
    // piece in memory (as after setting the text); otherwise a copy into a buffer of this
    // object for a range of a few blocks, or, for a larger one, a copy that becomes the storage
    // of its blocks. It costs at most the range plus two blocks. Valid until the next change
    // of characters or the next call of contiguousRange() or string(), whichever comes first;
    // changes of attributes leave it valid, so a parser may paint while it reads.
    std::u16string_view contiguousRange(HVRange range) const;

    // The longest text a buffer holds: 2^32 - 1 code units (8 GB). A change that would make
    // the text longer is not made; files are checked against this before they are read.
    static constexpr std::size_t maximumLength = 0xffffffff;

    // Editing. New characters take the attributes of the first character they replace, or of
    // the character before them when they replace nothing, except an attachment: that stands
    // for its one character and never spreads to typed text.
    virtual void replaceCharacters(HVRange range, std::u16string_view text);
    void replaceCharacters(HVRange range, std::u16string_view text,
                           const HVAttributesRef& attributes);
    // Puts back characters with their runs (what attributedSubstring() took), as one change.
    void replaceCharacters(HVRange range, const HVAttributedString& text);
    // The same with the characters and runs apart, so that many ranges can share storage.
    void replaceCharacters(HVRange range, std::u16string_view text,
                           std::span<const HVAttributedString::Run> runs);
    // The characters of the range (clipped) with their runs.
    HVAttributedString attributedSubstring(HVRange range) const;
    // Appends them to text and runs (runs of the range only, never joined to those before).
    void appendAttributedSubstring(HVRange range, std::u16string& text,
                                   std::vector<HVAttributedString::Run>& runs) const;
    void setString(std::u16string_view text);
    // Replaces the whole text by the string, taking over its storage instead of copying it:
    // the way to load a large file. A string over maximumLength leaves the text as it was.
    void adoptString(std::u16string&& text);
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

    // The full text and the visible text. The buffer holds the visible text, in which a
    // character that carries an attachment stands for the attachment's string(); the full text
    // has that string in its place: what saving, copying and line numbers see. Positions map
    // both ways; a full position inside an attachment's string maps to its character. While no
    // run carries an attachment all of these are the identity and cost nothing (a copy for
    // fullString()); otherwise the first call after a change looks through the runs once.
    bool hasAttachments() const;
    // The first character at or after index (the last at or before it) that carries an
    // attachment, with the attachment; HVNotFound when there is none. Found in the index of
    // attachments, in logarithmic time.
    std::size_t
    nextAttachmentPosition(std::size_t index,
                           std::shared_ptr<const HVTextAttachment>* attachment = nullptr) const;
    std::size_t
    previousAttachmentPosition(std::size_t index,
                               std::shared_ptr<const HVTextAttachment>* attachment = nullptr) const;
    std::u16string fullString(HVRange range) const;
    std::size_t fullLength() const;
    std::size_t fullPosition(std::size_t visible) const;
    std::size_t visiblePosition(std::size_t full) const;
    // The line and column of a visible position in the full text, both counted from 0; the
    // column in UTF-16 code units. The character of an attachment is taken not to be a line
    // break (it is an object replacement character).
    struct LineAndColumn {
        std::size_t line = 0;
        std::size_t column = 0;
        friend bool operator==(const LineAndColumn&, const LineAndColumn&) = default;
    };
    LineAndColumn fullLineAndColumn(std::size_t visible) const;

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
    // How many changes of characters have been reported; it counts up before the observers
    // hear of a change, so an observer can tell whether it has seen the latest one.
    std::uint64_t characterEditCount() const;
    void removeObserver(ObserverToken token);

    // For tests: how many blocks hold the characters, the line starts and the runs, and the
    // first broken rule of the storage ("" when it is sound).
    struct BlockCounts {
        std::size_t characters = 0;
        std::size_t lineStarts = 0;
        std::size_t runs = 0;
    };
    BlockCounts blockCounts() const;
    std::string storageProblem() const;

private:
    struct Storage;
    std::unique_ptr<Storage> m_storage;
};
