#pragma once

#include "HVTextMeasurer.h"

#include <string>

class HVTextBuffer;

// Lays text out in columns of equal width, as a monospaced font draws it: a surrogate pair is
// one column, a tab reaches the next tab stop of its row. With a wrap width, a row breaks after
// the last blank that fits, or anywhere in a word longer than the row; blanks hang at the end of
// a row rather than starting the next, as the editor's wrapping does.
class HVFixedWidthMeasurer : public HVTextMeasurer {
public:
    // Reads the text's characters; the text must outlive the measurer.
    explicit HVFixedWidthMeasurer(const HVTextBuffer& text, double columnWidth = 1,
                                  std::size_t tabWidth = 4);

    // 0 lays every unit out on one row.
    void setWrapColumns(std::size_t columns) { m_wrapColumns = columns; }
    std::size_t wrapColumns() const { return m_wrapColumns; }

    std::vector<std::size_t> rowStarts(HVDisplayUnit unit, HVRange range) override;
    double xForOffset(HVDisplayUnit unit, HVRange range, std::size_t row,
                      std::size_t offset) override;
    std::size_t offsetForX(HVDisplayUnit unit, HVRange range, std::size_t row, double x) override;

private:
    std::size_t widthAt(const std::u16string& characters, std::size_t offset,
                        std::size_t column) const;

    const HVTextBuffer& m_text;
    double m_columnWidth;
    std::size_t m_tabWidth;
    std::size_t m_wrapColumns = 0;
};
