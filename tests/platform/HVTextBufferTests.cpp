#include "HVTextBuffer.h"

#include <gtest/gtest.h>

namespace {

// "start+length:name=value,..." for every run, so one comparison shows the whole layout.
std::string dumpRuns(const HVTextBuffer& buffer, std::string_view name) {
    std::string out;
    buffer.enumerateRuns({0, buffer.length()}, [&](HVRange range, const HVAttributes& attributes) {
        out += std::to_string(range.location) + "+" + std::to_string(range.length);
        if (auto value = attributes.integerValue(name))
            out += ":" + std::to_string(*value);
        out += " ";
    });
    return out;
}

} // namespace

TEST(HVTextBuffer, LinesEndAtLFCRAndCRLF) {
    HVTextBuffer buffer(u"one\ntwo\r\nthree\rfour");
    EXPECT_EQ(buffer.lineCount(), 4u);
    EXPECT_EQ(buffer.rangeOfLine(0), HVMakeRange(0, 4));
    EXPECT_EQ(buffer.rangeOfLine(1), HVMakeRange(4, 5));
    EXPECT_EQ(buffer.rangeOfLine(2), HVMakeRange(9, 6));
    EXPECT_EQ(buffer.rangeOfLine(3), HVMakeRange(15, 4));
    EXPECT_EQ(buffer.lineNumberForIndex(8), 1u) << "the LF of a CR LF belongs to its line";
    EXPECT_EQ(buffer.lineRangeForIndex(19), HVMakeRange(15, 4));
    EXPECT_EQ(buffer.lineRangeForRange({2, 5}), HVMakeRange(0, 9));
    EXPECT_EQ(buffer.lineRangeForRange({4, 5}), HVMakeRange(4, 5))
        << "a range ending with a line break stays on that line";

    HVTextBuffer trailing(u"a\n");
    EXPECT_EQ(trailing.lineCount(), 2u);
    EXPECT_EQ(trailing.lineRangeForIndex(2), HVMakeRange(2, 0));
    HVTextBuffer empty;
    EXPECT_EQ(empty.lineCount(), 1u);
    EXPECT_EQ(empty.lineRangeForIndex(0), HVMakeRange(0, 0));
}

TEST(HVTextBuffer, EditsKeepTheLineIndexCurrent) {
    HVTextBuffer buffer(u"ab\r\ncd");
    // Splitting a CR LF pair makes two line breaks of it.
    buffer.replaceCharacters({3, 0}, u"x");
    EXPECT_EQ(buffer.string(), u"ab\rx\ncd");
    EXPECT_EQ(buffer.lineCount(), 3u);
    buffer.replaceCharacters({3, 1}, u"");
    EXPECT_EQ(buffer.lineCount(), 2u);
    EXPECT_EQ(buffer.rangeOfLine(1), HVMakeRange(4, 2));
}

TEST(HVTextBuffer, AttributesSplitMergeAndFollowEdits) {
    HVTextBuffer buffer(u"0123456789");
    buffer.addAttribute("n", std::int64_t(1), {2, 3});
    buffer.addAttribute("n", std::int64_t(2), {4, 4});
    EXPECT_EQ(dumpRuns(buffer, "n"), "0+2 2+2:1 4+4:2 8+2 ");
    buffer.addAttribute("n", std::int64_t(1), {4, 4});
    EXPECT_EQ(dumpRuns(buffer, "n"), "0+2 2+6:1 8+2 ") << "equal neighbours merge";
    // Inserted text takes the attributes of the character before it.
    buffer.replaceCharacters({8, 0}, u"xx");
    EXPECT_EQ(dumpRuns(buffer, "n"), "0+2 2+8:1 10+2 ");
    buffer.removeAttribute("n", {0, 12});
    EXPECT_EQ(buffer.runCount(), 1u);

    HVRange effective;
    EXPECT_TRUE(buffer.attributesAtIndex(100, &effective)->empty());
    EXPECT_EQ(effective, HVMakeRange(0, 0)) << "beyond the end is safe and empty";
}

TEST(HVTextBuffer, LongestEffectiveRangeOfOneAttribute) {
    HVTextBuffer buffer(u"aaaa bbbb cccc");
    buffer.addAttribute(HVMultiLineAttribute, true, {0, 9});
    buffer.addAttribute("other", std::int64_t(7), {5, 4});
    HVRange range;
    auto value = buffer.attribute(HVMultiLineAttribute, 2, &range, {0, 14});
    ASSERT_TRUE(value);
    EXPECT_EQ(range, HVMakeRange(0, 9)) << "runs that differ in other attributes are joined";
    buffer.attribute(HVMultiLineAttribute, 2, &range, {1, 5});
    EXPECT_EQ(range, HVMakeRange(1, 5));
    EXPECT_FALSE(buffer.attribute(HVMultiLineAttribute, 10, &range, {0, 14}));
    EXPECT_EQ(range, HVMakeRange(9, 5));
}

TEST(HVTextBuffer, ObserversHearOnceABatch) {
    HVTextBuffer buffer(u"hello world");
    std::vector<HVTextEdit> edits;
    buffer.addObserver([&](const HVTextEdit& edit) { edits.push_back(edit); });
    buffer.replaceCharacters({0, 5}, u"hi");
    ASSERT_EQ(edits.size(), 1u);
    EXPECT_EQ(edits[0].mask, unsigned(HVTextEdit::Characters));
    EXPECT_EQ(edits[0].editedRange, HVMakeRange(0, 2));
    EXPECT_EQ(edits[0].changeInLength, -3);

    buffer.beginEditing();
    buffer.addAttribute("x", true, {3, 2});
    buffer.replaceCharacters({8, 0}, u"!!");
    buffer.endEditing();
    ASSERT_EQ(edits.size(), 2u);
    EXPECT_EQ(edits[1].mask, unsigned(HVTextEdit::Characters | HVTextEdit::Attributes));
    EXPECT_EQ(edits[1].editedRange, HVMakeRange(3, 7));
    EXPECT_EQ(edits[1].changeInLength, 2);
}
