#include "HVCodeCompletionPopup.h"

#include <gtest/gtest.h>

namespace {

TEST(HVCodeCompletionPopup, ShowsBelowTheLineOrAboveItAndKeepsInsideTheSides) {
    using Frame = HVCodeCompletionPopup::Frame;
    Frame visible{0, 0, 400, 300};
    // Below, at the caret.
    EXPECT_EQ(HVCodeCompletionPopup::frameBesideLine({50, 100, 2, 16}, 120, 80, visible),
              (Frame{50, 118, 120, 80}));
    // No room below: above.
    EXPECT_EQ(HVCodeCompletionPopup::frameBesideLine({50, 250, 2, 16}, 120, 80, visible),
              (Frame{50, 168, 120, 80}));
    // Near the right side: pulled in to 10 points from it; near the left, 10 from it.
    EXPECT_EQ(HVCodeCompletionPopup::frameBesideLine({350, 100, 2, 16}, 120, 80, visible).x, 270);
    EXPECT_EQ(HVCodeCompletionPopup::frameBesideLine({2, 100, 2, 16}, 120, 80, visible).x, 10);
    // The call tip goes above, unless the line is at the top.
    EXPECT_EQ(HVCodeCompletionPopup::frameBesideLine({50, 100, 2, 16}, 120, 20, visible, true).y,
              78);
    EXPECT_EQ(HVCodeCompletionPopup::frameBesideLine({50, 5, 2, 16}, 120, 20, visible, true).y, 23);
}

TEST(HVCodeCompletionPopup, KeepsTheSelectedRowWhenTheEntriesChange) {
    auto entry = [](const char16_t* key) {
        return HVCodeCompletionEntry(key, std::nullopt, key, true);
    };
    HVCodeCompletionPopup popup;
    int told = 0;
    auto token = popup.addObserver([&] { ++told; });
    popup.show({entry(u"alpha"), entry(u"beta"), entry(u"gamma")}, u"", true);
    EXPECT_EQ(popup.selectedRow(), 0u);
    popup.moveDown();
    popup.moveDown();
    popup.moveDown();
    EXPECT_EQ(popup.selectedRow(), 2u);
    popup.show({entry(u"alpha"), entry(u"beta"), entry(u"gamma"), entry(u"delta")}, u"", true);
    EXPECT_EQ(popup.selectedRow(), 2u);
    popup.show({entry(u"alpha"), entry(u"beta")}, u"", true);
    EXPECT_EQ(popup.selectedRow(), 0u);
    popup.show({entry(u"alpha"), entry(u"beta")}, u"beta", true);
    EXPECT_EQ(popup.selectedRow(), 1u);
    EXPECT_EQ(popup.currentCompletion(), u"beta");
    popup.hide();
    EXPECT_FALSE(popup.currentEntry());
    EXPECT_EQ(told, 7);
    popup.removeObserver(token);
}

} // namespace
