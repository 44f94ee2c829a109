#pragma once

#include "HVRange.h"
#include "HVTextMeasurer.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

class HVTextBuffer;
struct HVTextEdit;

// What a drawing of a text needs that can be computed without pixels. The text is shown in
// "units", one per text line, except that a line longer than the segment length is cut into
// pieces of that length, each its own unit, so that a multi-megabyte line (minified scripts,
// JSON) never has to be laid out whole. The model keeps the index of those long lines current
// through the buffer's edit notifications, maps positions to units, holds the vertical scroll
// position (a top unit and the pixels of it scrolled out of view), and hit-tests and places the
// caret with line heights and the rows and x positions a measurer gives for one unit at a time.
//
// Vertical positions are in pixels from the top of the viewport; x positions are those of the
// measurer, from the left of the text.
class HVTextDisplayModel {
public:
    static constexpr std::size_t kSegmentLength = 2048;

    // A line longer than the segment length: its number and how many units it has beyond one.
    struct LongLine {
        std::size_t line = 0;
        std::size_t extraUnits = 0;
        friend bool operator==(const LongLine&, const LongLine&) = default;
    };
    // Text lines [firstLine, oldEndLine) became [firstLine, newEndLine); for a change of
    // attributes only, the two ends are the same. mask holds HVTextEdit's bits.
    struct Change {
        unsigned mask = 0;
        std::size_t firstLine = 0;
        std::size_t oldEndLine = 0;
        std::size_t newEndLine = 0;
    };
    struct VisibleUnit {
        std::size_t index = 0;
        HVDisplayUnit unit;
        HVRange range;
        double y = 0;
    };
    struct Rect {
        double x = 0;
        double y = 0;
        double width = 0;
        double height = 0;
    };
    using ObserverToken = std::uint64_t;

    // Follows the text's edits; the text must outlive the model.
    explicit HVTextDisplayModel(HVTextBuffer& text, std::size_t segmentLength = kSegmentLength);
    ~HVTextDisplayModel();
    HVTextDisplayModel(const HVTextDisplayModel&) = delete;
    HVTextDisplayModel& operator=(const HVTextDisplayModel&) = delete;

    const HVTextBuffer& text() const { return m_text; }
    std::size_t segmentLength() const { return m_segmentLength; }

    // Units.
    std::size_t unitCount() const;
    // The last unit beyond the end.
    HVDisplayUnit unitAt(std::size_t index) const;
    std::size_t indexOfUnit(HVDisplayUnit unit) const;
    // The unit's characters, never a line break; a piece never ends inside a surrogate pair.
    HVRange rangeOfUnit(HVDisplayUnit unit) const;
    std::size_t unitsOfLine(std::size_t line) const;
    bool isLastUnitOfLine(HVDisplayUnit unit) const;
    // The unit that holds the position; the end of a line belongs to its last piece.
    HVDisplayUnit unitForPosition(std::size_t position) const;
    const std::vector<LongLine>& longLines() const { return m_longLines; }
    // The long lines among [fromLine, toLine), found by reading the text.
    static std::vector<LongLine> scanLongLines(const HVTextBuffer& text, std::size_t segmentLength,
                                               std::size_t fromLine, std::size_t toLine);

    // Hear of each change after the units follow it: a drawing drops what it kept of the lines.
    ObserverToken addObserver(std::function<void(const Change&)> observer);
    void removeObserver(ObserverToken token);

    // Geometry. Without a measurer every unit is one row and x is 0.
    void setMeasurer(std::shared_ptr<HVTextMeasurer> measurer);
    void setLineHeight(double height);
    double lineHeight() const { return m_lineHeight; }
    void setViewportHeight(double height);
    double viewportHeight() const { return m_viewportHeight; }
    std::vector<std::size_t> rowStarts(HVDisplayUnit unit) const;
    double unitHeight(HVDisplayUnit unit) const;
    // After the layout changed (font, wrap width): the top stays on its unit's first row.
    void layoutChanged();

    // Scrolling. The top unit is at most the last one, which may be scrolled up to the top.
    std::size_t topUnit() const { return m_topUnit; }
    double topOffset() const { return m_topOffset; }
    void scrollToUnit(std::size_t index, double offset = 0);
    void scrollByPixels(double pixels);
    // Scrolls the least that shows the row of the position, or, for a row further than a
    // screen away, puts it in the middle.
    void ensurePositionVisible(std::size_t position);
    // The units that reach into the viewport, from the top.
    std::vector<VisibleUnit> visibleUnits() const;

    // Hit testing. Above the viewport is the start of the top unit, below the text its end.
    std::size_t positionAt(double x, double y) const;
    // The caret's box when its row reaches into the viewport.
    std::optional<Rect> caretRect(std::size_t position, double width = 2) const;
    double xForPosition(std::size_t position) const;
    // The row that holds the position, without the blank that a wrapped row ends with.
    HVRange rowRangeForPosition(std::size_t position) const;
    // The position nearest to x, rows below (negative: above) the row of the position; the
    // start or end of the text when there is no such row.
    std::size_t positionForRowMove(std::size_t position, std::ptrdiff_t rows, double x) const;

private:
    void textEdited(const HVTextEdit& edit);
    void indexChanged();
    std::size_t rowOfOffset(const std::vector<std::size_t>& starts, std::size_t offset) const;
    std::size_t offsetForX(HVDisplayUnit unit, HVRange range,
                           const std::vector<std::size_t>& starts, std::size_t row, double x) const;

    HVTextBuffer& m_text;
    std::size_t m_segmentLength;
    std::uint64_t m_textObserver = 0;
    std::size_t m_lineCount = 1;
    std::vector<LongLine> m_longLines;
    // For each long line, the extra units of the long lines before it.
    std::vector<std::size_t> m_extraBefore;
    std::size_t m_extraUnits = 0;
    std::map<ObserverToken, std::shared_ptr<std::function<void(const Change&)>>> m_observers;
    ObserverToken m_nextObserver = 1;

    std::shared_ptr<HVTextMeasurer> m_measurer;
    double m_lineHeight = 16;
    double m_viewportHeight = 0;
    std::size_t m_topUnit = 0;
    double m_topOffset = 0;
};
