// The display model against plain recomputation: the unit index after random edits equals a
// fresh scan, hit testing finds the position whose caret it placed, scrolling stays within the
// text, and long lines are cut where they should be.

#include "HVFixedWidthMeasurer.h"
#include "HVTextBuffer.h"
#include "HVTextDisplayLineModel.h"
#include "HVTextDisplayModel.h"
#include "HVTextLineModel.h"
#include "HVTextViewModel.h"

#include <gtest/gtest.h>
#include <random>
#include <sstream>

namespace {

using LongLine = HVTextDisplayModel::LongLine;

std::u16string randomText(std::mt19937& random, std::size_t length) {
    static const std::u16string pieces[] = {u"a",  u"b",  u"c",    u" ",         u"\t",
                                            u"\n", u"\r", u"\r\n", u"\U0001F600"};
    std::u16string text;
    while (text.size() < length)
        text += pieces[random() % std::size(pieces)];
    return text;
}

std::vector<std::u16string> linesOf(const HVTextBuffer& text) {
    std::vector<std::u16string> lines;
    for (std::size_t line = 0; line < text.lineCount(); ++line)
        lines.push_back(text.substring(text.rangeOfLine(line)));
    return lines;
}

// Every unit, as "line.segment[start,end)", to compare the whole index at once.
std::string dumpUnits(const HVTextDisplayModel& model) {
    std::ostringstream out;
    for (std::size_t i = 0; i < model.unitCount(); ++i) {
        HVDisplayUnit unit = model.unitAt(i);
        HVRange range = model.rangeOfUnit(unit);
        out << unit.line << '.' << unit.segment << '[' << range.location << ',' << range.end()
            << ") ";
    }
    return out.str();
}

void checkUnits(const HVTextDisplayModel& model, const HVTextBuffer& text) {
    std::size_t extra = 0;
    for (const LongLine& longLine : model.longLines())
        extra += longLine.extraUnits;
    ASSERT_EQ(model.unitCount(), text.lineCount() + extra);
    std::size_t line = 0;
    std::size_t expectedStart = text.rangeOfLine(0).location;
    for (std::size_t i = 0; i < model.unitCount(); ++i) {
        HVDisplayUnit unit = model.unitAt(i);
        ASSERT_EQ(model.indexOfUnit(unit), i);
        // Units follow the lines in order, and the pieces of a line cover it without a gap.
        if (unit.segment == 0) {
            ASSERT_EQ(unit.line, i == 0 ? 0 : line + 1);
            line = unit.line;
            expectedStart = text.rangeOfLine(line).location;
        }
        HVRange range = model.rangeOfUnit(unit);
        ASSERT_EQ(range.location, expectedStart) << "unit " << i;
        ASSERT_LE(range.length, model.segmentLength() + 1);
        expectedStart = range.end();
        if (model.isLastUnitOfLine(unit)) {
            ASSERT_EQ(range.end(),
                      HVTextLineModel::withoutLineBreak(text, text.rangeOfLine(line)).end());
        }
        for (std::size_t p = range.location; p < range.end(); ++p)
            ASSERT_EQ(model.unitForPosition(p), unit) << "position " << p;
    }
    EXPECT_EQ(line, text.lineCount() - 1);
}

} // namespace

TEST(HVTextDisplayModel, RandomEditsKeepTheUnitIndexEqualToAFreshScan) {
    for (std::uint32_t seed : {11u, 12u, 13u, 14u}) {
        std::mt19937 random(seed);
        HVTextBuffer text(randomText(random, 60), {.characters = 16, .entries = 4});
        HVTextDisplayModel model(text, 4);
        std::vector<std::u16string> before = linesOf(text);
        HVTextDisplayModel::Change last;
        int changes = 0;
        model.addObserver([&](const HVTextDisplayModel::Change& change) {
            last = change;
            ++changes;
        });
        for (int step = 0; step < 400; ++step) {
            SCOPED_TRACE(testing::Message() << "seed " << seed << " step " << step);
            std::size_t length = text.length();
            std::size_t at = length ? random() % (length + 1) : 0;
            std::size_t removed = std::min<std::size_t>(random() % 12, length - at);
            int kind = int(random() % 10);
            int changesBefore = changes;
            if (kind == 0) {
                // Two edits reported as one.
                text.beginEditing();
                text.replaceCharacters({at, removed}, randomText(random, random() % 6));
                text.replaceCharacters({0, std::min<std::size_t>(1, text.length())},
                                       randomText(random, random() % 3));
                text.endEditing();
            } else if (kind == 1 && length > 200) {
                text.replaceCharacters({0, length}, randomText(random, 40));
            } else {
                text.replaceCharacters({at, removed}, randomText(random, random() % 14));
            }
            ASSERT_LE(changes, changesBefore + 1);
            if (changes == changesBefore) {
                // Nothing replaced by nothing is no change.
                ASSERT_EQ(linesOf(text), before);
                continue;
            }
            ASSERT_EQ(model.longLines(),
                      HVTextDisplayModel::scanLongLines(text, 4, 0, text.lineCount()));
            // The change names the only lines that are not the old ones, moved.
            std::vector<std::u16string> after = linesOf(text);
            ASSERT_LE(last.oldEndLine, before.size());
            ASSERT_EQ(after.size() - last.newEndLine, before.size() - last.oldEndLine);
            for (std::size_t line = 0; line < last.firstLine; ++line)
                ASSERT_EQ(after[line], before[line]);
            for (std::size_t i = 0; last.oldEndLine + i < before.size(); ++i)
                ASSERT_EQ(after[last.newEndLine + i], before[last.oldEndLine + i]);
            before = after;
            ASSERT_NO_FATAL_FAILURE(checkUnits(model, text));
            EXPECT_EQ(dumpUnits(model), dumpUnits(HVTextDisplayModel(text, 4)));
        }
    }
}

TEST(HVTextDisplayModel, AChangeOfAttributesNamesItsLinesAndKeepsTheUnits) {
    HVTextBuffer text(u"one\ntwo\nthree\nfour");
    HVTextDisplayModel model(text, 4);
    std::string units = dumpUnits(model);
    std::vector<HVTextDisplayModel::Change> changes;
    model.addObserver([&](const HVTextDisplayModel::Change& change) { changes.push_back(change); });
    text.addAttribute("foreground", HVColor{1, 0, 0, 1}, {5, 5}); // "wo\nth"
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].mask, unsigned(HVTextEdit::Attributes));
    EXPECT_EQ(changes[0].firstLine, 1u);
    EXPECT_EQ(changes[0].oldEndLine, 3u);
    EXPECT_EQ(changes[0].newEndLine, 3u);
    EXPECT_EQ(dumpUnits(model), units);
}

TEST(HVTextDisplayModel, AttributesPaintedBeforeTheModelHeardOfNewLinesNameEveryLine) {
    // A painter that hears of edits first and colours the line after the edit.
    HVTextBuffer text(u"a\nb\nc\nd\ne");
    text.addObserver([&](const HVTextEdit& edit) {
        if (edit.mask & HVTextEdit::Characters)
            text.addAttribute("foreground", HVColor{1, 0, 0, 1}, text.rangeOfLine(4));
    });
    HVTextDisplayModel model(text, 4);
    std::vector<HVTextDisplayModel::Change> changes;
    model.addObserver([&](const HVTextDisplayModel::Change& change) { changes.push_back(change); });
    text.replaceCharacters({1, 0}, u"\nx");
    ASSERT_EQ(changes.size(), 2u);
    // Line 4 now is line 3 before: the attributes cannot be told by number, so all lines go.
    EXPECT_EQ(changes[0].mask, unsigned(HVTextEdit::Attributes));
    EXPECT_EQ(changes[0].firstLine, 0u);
    EXPECT_EQ(changes[0].oldEndLine, 5u);
    EXPECT_EQ(changes[1].firstLine, 0u);
    EXPECT_EQ(changes[1].oldEndLine, 1u);
    EXPECT_EQ(changes[1].newEndLine, 2u);
    // Once the model has caught up, attributes name their own lines.
    text.replaceCharacters({0, 1}, u"z");
    ASSERT_EQ(changes.size(), 4u);
    EXPECT_EQ(changes[2].firstLine, 4u);
    EXPECT_EQ(changes[2].oldEndLine, 5u);
}

TEST(HVTextDisplayModel, ALongLineIsCutIntoPiecesThatNeverSplitASurrogatePair) {
    // Line 1 holds 13 characters, a surrogate pair at 6-7 where the first cut would be.
    HVTextBuffer text(u"ab\nxyz\U0001F600abcdefgh\r\nend");
    HVTextDisplayModel model(text, 4);
    EXPECT_EQ(dumpUnits(model), "0.0[0,2) 1.0[3,8) 1.1[8,11) 1.2[11,15) 1.3[15,16) 2.0[18,21) ");
    EXPECT_EQ(model.longLines(), (std::vector<LongLine>{{1, 3}}));
    EXPECT_EQ(model.unitsOfLine(1), 4u);
    // The end of a line, and its line break, belong to its last piece.
    EXPECT_EQ(model.unitForPosition(16), (HVDisplayUnit{1, 3}));
    EXPECT_EQ(model.unitForPosition(17), (HVDisplayUnit{1, 3}));
    EXPECT_EQ(model.unitForPosition(7), (HVDisplayUnit{1, 0}));
    EXPECT_EQ(model.unitForPosition(8), (HVDisplayUnit{1, 1}));
    // Beyond the end is the last unit.
    EXPECT_EQ(model.unitAt(99), (HVDisplayUnit{2, 0}));
    EXPECT_EQ(model.unitForPosition(99), (HVDisplayUnit{2, 0}));

    // Shortening the line to one piece drops it from the index; lengthening another adds it.
    text.replaceCharacters({5, 9}, u"");
    EXPECT_EQ(dumpUnits(model), "0.0[0,2) 1.0[3,7) 2.0[9,12) ");
    EXPECT_TRUE(model.longLines().empty());
    text.replaceCharacters({10, 0}, u"123456");
    EXPECT_EQ(model.longLines(), (std::vector<LongLine>{{2, 2}}));
}

TEST(HVTextDisplayModel, HitTestingFindsThePositionWhoseCaretItPlaced) {
    std::mt19937 random(7);
    for (std::size_t wrap : {0u, 6u}) {
        HVTextBuffer text(randomText(random, 400));
        HVTextDisplayModel model(text, 16);
        auto measurer = std::make_shared<HVFixedWidthMeasurer>(text, 7.0, 4);
        measurer->setWrapColumns(wrap);
        model.setMeasurer(measurer);
        model.setLineHeight(10);
        model.setViewportHeight(95);
        int checked = 0;
        for (std::size_t p = 0; p <= text.length(); ++p) {
            SCOPED_TRACE(testing::Message() << "wrap " << wrap << " position " << p);
            HVDisplayUnit unit = model.unitForPosition(p);
            HVRange range = model.rangeOfUnit(unit);
            // Inside a line break or a surrogate pair is no caret position.
            if (p > range.end() ||
                (p < text.length() && p > 0 && (text.characterAtIndex(p) & 0xFC00) == 0xDC00))
                continue;
            model.ensurePositionVisible(p);
            auto caret = model.caretRect(p);
            ASSERT_TRUE(caret.has_value());
            EXPECT_GE(caret->y, 0);
            EXPECT_LE(caret->y + caret->height, 95);
            EXPECT_EQ(model.positionAt(caret->x + 1, caret->y + 5), p);
            ++checked;
        }
        EXPECT_GT(checked, 300);
        // Above the view is the start of the top unit; below the text, its end.
        model.scrollToUnit(3);
        EXPECT_EQ(model.positionAt(50, -4), model.rangeOfUnit(model.unitAt(3)).location);
        model.scrollToUnit(model.unitCount() - 1);
        EXPECT_EQ(model.positionAt(1000, 90), text.length());
    }
}

TEST(HVTextDisplayModel, ScrollingStopsAtTheStartAndWithTheLastUnitOnTop) {
    HVTextBuffer text(u"0123456789 0123456789 01234\none\ntwo\nthree\nfour 0123456789 0123456789");
    HVTextDisplayModel model(text);
    auto measurer = std::make_shared<HVFixedWidthMeasurer>(text, 8.0);
    measurer->setWrapColumns(10);
    model.setMeasurer(measurer);
    model.setLineHeight(10);
    model.setViewportHeight(30);
    EXPECT_EQ(model.unitHeight({0, 0}), 30);
    EXPECT_EQ(model.unitHeight({4, 0}), 30);

    // The top unit and how far it is scrolled off.
    auto top = [&] { return std::pair(model.topUnit(), model.topOffset()); };
    using Top = std::pair<std::size_t, double>;
    model.scrollByPixels(-50);
    EXPECT_EQ(top(), Top(0, 0));
    // Within the wrapped first line, then across units, and back the same way.
    model.scrollByPixels(15);
    EXPECT_EQ(top(), Top(0, 15));
    model.scrollByPixels(30);
    EXPECT_EQ(top(), Top(2, 5));
    model.scrollByPixels(-45);
    EXPECT_EQ(top(), Top(0, 0));
    model.scrollByPixels(1e9);
    EXPECT_EQ(top(), Top(4, 0));
    model.scrollToUnit(99, 3);
    EXPECT_EQ(model.topUnit(), 4u);

    // What is drawn: the units that reach into the view, each where the one before ends.
    model.scrollToUnit(0, 25);
    std::vector<std::size_t> indexes;
    std::vector<double> tops;
    for (const auto& visible : model.visibleUnits()) {
        indexes.push_back(visible.index);
        tops.push_back(visible.y);
    }
    EXPECT_EQ(indexes, (std::vector<std::size_t>{0, 1, 2, 3}));
    EXPECT_EQ(tops, (std::vector<double>{-25, 5, 15, 25}));

    // A caret far below jumps to the middle; one just below scrolls by its row.
    model.scrollToUnit(0);
    model.ensurePositionVisible(text.length());
    EXPECT_EQ(top(), Top(4, 5));
    model.scrollToUnit(0);
    model.ensurePositionVisible(28); // "one", below the three rows of line 0
    EXPECT_EQ(top(), Top(0, 10));
    // An edit that removes the top unit moves the top to the last unit.
    model.scrollToUnit(4);
    text.replaceCharacters({10, text.length() - 10}, u"");
    EXPECT_EQ(model.topUnit(), 0u);
}

TEST(HVTextDisplayModel, VerticalMovesFollowWrappedRowsAndKeepTheGoal) {
    auto text = std::make_unique<HVTextBuffer>(u"aaaa bbbb cccc\nxy\nzzzzzzzz");
    HVTextBuffer& buffer = *text;
    HVTextViewModel view(std::move(text));
    auto model = std::make_shared<HVTextDisplayModel>(buffer, 100);
    auto measurer = std::make_shared<HVFixedWidthMeasurer>(buffer, 10.0);
    measurer->setWrapColumns(6);
    model->setMeasurer(measurer);
    EXPECT_EQ(model->rowStarts({0, 0}), (std::vector<std::size_t>{0, 5, 10}));
    // Rows keep their trailing blank out of their range.
    EXPECT_EQ(model->rowRangeForPosition(2), (HVRange{0, 4}));
    EXPECT_EQ(model->rowRangeForPosition(5), (HVRange{5, 4}));
    EXPECT_EQ(model->rowRangeForPosition(14), (HVRange{10, 4}));

    view.setLineModel(std::make_unique<HVTextDisplayLineModel>(model));
    view.setSelectedRange({3, 0});
    std::vector<std::size_t> heads;
    for (int i = 0; i < 5; ++i) {
        view.moveDown();
        heads.push_back(view.selectionHead());
    }
    // Down the rows of line 0, to the short line's end, on with the goal kept, then the end.
    EXPECT_EQ(heads, (std::vector<std::size_t>{8, 13, 17, 21, 26}));
    view.moveUp();
    EXPECT_EQ(view.selectionHead(), 21u);
    view.moveUp();
    EXPECT_EQ(view.selectionHead(), 17u);
    view.setSelectedRange({2, 0});
    view.moveUp();
    EXPECT_EQ(view.selectionHead(), 0u);
    view.moveToEndOfLine();
    EXPECT_EQ(view.selectionHead(), 4u);

    // Without the display the view moves by text lines again.
    model.reset();
    view.setSelectedRange({1, 0});
    view.moveDown();
    EXPECT_EQ(view.selectionHead(), 16u);
    view.setLineModel(nullptr);
}

TEST(HVFixedWidthMeasurer, WrapsAfterBlanksOrInsideLongWordsAndExpandsTabs) {
    HVTextBuffer text(u"aaa bbb  ccc\nabcdefghij\n\tx\tyz");
    HVFixedWidthMeasurer measurer(text, 2.0, 4);
    measurer.setWrapColumns(5);
    auto starts = [&](std::size_t line) {
        HVRange range = HVTextLineModel::withoutLineBreak(text, text.rangeOfLine(line));
        return measurer.rowStarts({line, 0}, range);
    };
    EXPECT_EQ(starts(0), (std::vector<std::size_t>{0, 4, 9}));
    EXPECT_EQ(starts(1), (std::vector<std::size_t>{0, 5}));
    EXPECT_EQ(starts(2), (std::vector<std::size_t>{0, 3}));
    HVRange tabs = text.rangeOfLine(2);
    EXPECT_EQ(measurer.xForOffset({2, 0}, tabs, 0, 1), 8.0);
    EXPECT_EQ(measurer.xForOffset({2, 0}, tabs, 0, 2), 10.0);
    EXPECT_EQ(measurer.xForOffset({2, 0}, tabs, 1, 4), 2.0);
    // Nearest caret: the left half of a character is before it.
    EXPECT_EQ(measurer.offsetForX({2, 0}, tabs, 0, 3.9), 0u);
    EXPECT_EQ(measurer.offsetForX({2, 0}, tabs, 0, 4.1), 1u);
    EXPECT_EQ(measurer.offsetForX({2, 0}, tabs, 1, 99), 5u);
    measurer.setWrapColumns(0);
    EXPECT_EQ(starts(0), (std::vector<std::size_t>{0}));
}
