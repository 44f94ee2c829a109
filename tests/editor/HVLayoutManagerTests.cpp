#include "HVLayoutManager.h"

#include "HVEditorTestSupport.h"
#include "HVNotificationCenter.h"
#include "HVPreferences.h"
#include "HVSyntaxHighlightingTextView.h"
#include "HVTextBuffer.h"
#include "HVTheme.h"
#include "HVThemeRepository.h"

#include <gtest/gtest.h>

namespace {

std::string describe(const std::vector<HVInvisibleMark>& marks) {
    std::string out;
    for (const auto& mark : marks) {
        out += std::to_string(mark.position) + ":";
        out += mark.symbol == HVLayoutManager::spaceCharacter     ? "space"
               : mark.symbol == HVLayoutManager::tabCharacter     ? "tab"
               : mark.symbol == HVLayoutManager::newLineCharacter ? "break"
                                                                  : "?";
        out += " ";
    }
    return out;
}

} // namespace

TEST(HVLayoutManager, ShowingInvisiblesFollowsThePreferenceWhenTheEditorPrefsChange) {
    HVIsolatedPreferences preferences;
    HVPreferences::sharedInstance().setObject(HVShowInvisiblesKey, true);
    HVLayoutManager layout;
    EXPECT_TRUE(layout.showInvisibleCharacters());
    int changes = 0;
    auto token = layout.addChangeObserver([&] { ++changes; });

    HVPreferences::sharedInstance().setObject(HVShowInvisiblesKey, false);
    EXPECT_TRUE(layout.showInvisibleCharacters()) << "read again only on the notification";
    HVNotificationCenter::defaultCenter().postNotificationName(
        std::string(HVEditorPrefsChangeNotification));
    EXPECT_FALSE(layout.showInvisibleCharacters());
    EXPECT_EQ(changes, 1);
    HVTextBuffer text(u"a b\n");
    EXPECT_EQ(describe(layout.invisibleMarksInRange(text, {0, 4})), "");
    layout.removeChangeObserver(token);
}

TEST(HVLayoutManager, EachSpaceTabAndLineBreakShowsOneSymbol) {
    HVIsolatedPreferences preferences;
    HVLayoutManager layout;
    layout.setShowInvisibleCharacters(true);
    //                   0 1  2 3 4  5  6  7 8      9      10
    HVTextBuffer text(u"a \tb\r\n\n\rc\u2028d\u2029");
    EXPECT_EQ(describe(layout.invisibleMarksInRange(text, {0, text.length()})),
              "1:space 2:tab 4:break 6:break 7:break 9:break 11:break ");
    // A range that starts inside a CR LF pair leaves the pair to its CR; one beyond the end is
    // cut there.
    EXPECT_EQ(describe(layout.invisibleMarksInRange(text, {5, 100})),
              "6:break 7:break 9:break 11:break ");
    EXPECT_EQ(describe(layout.invisibleMarksInRange(text, {4, 1})), "4:break ");
}

TEST(HVLayoutManager, TheInvisiblesColourComesFromTheThemeAndIsGreyWithoutOne) {
    HVEditorTestEnvironment environment;
    HVSyntaxHighlightingTextView view;
    auto theme = HVThemeRepository::sharedRepository().currentTheme();
    ASSERT_NE(theme, nullptr);
    ASSERT_TRUE(theme->invisiblesColor().has_value());
    EXPECT_EQ(view.layoutManager().invisiblesColor(), *theme->invisiblesColor());
    theme->setInvisiblesColor(std::nullopt);
    view.loadColors();
    EXPECT_EQ(view.layoutManager().invisiblesColor(), (HVColor{0.5, 0.5, 0.5, 1}));
}
