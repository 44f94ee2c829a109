#include "HVLineBreaks.h"
#include "HVPreferences.h"
#include "HVTestSupport.h"

#include <gtest/gtest.h>

TEST(HVLineBreaks, EveryKindOfBreakBecomesTheTargetType) {
    std::u16string mixed = u"a\nb\r\nc\rd\r\r\ne\n";
    EXPECT_EQ(HVLineBreaks::switchLineBreaks(mixed, u"\r\n"), u"a\r\nb\r\nc\r\nd\r\n\r\ne\r\n");
    EXPECT_EQ(HVLineBreaks::switchLineBreaks(mixed, {}, "Mac"), u"a\rb\rc\rd\r\re\r");
    EXPECT_EQ(HVLineBreaks::switchLineBreaks(mixed, {}, "Unix"), u"a\nb\nc\nd\n\ne\n");
    EXPECT_EQ(HVLineBreaks::switchLineBreaks(u"", u"\r\n"), u"");
    EXPECT_EQ(HVLineBreaks::switchLineBreaks(u"\r", u"\n"), u"\n");
    EXPECT_EQ(HVLineBreaks::switchLineBreaks(u"no breaks", u"\r\n"), u"no breaks");
}

TEST(HVLineBreaks, ThePreferenceNamesTheTypeOfNewText) {
    HVIsolatedPreferences preferences;
    auto& store = HVPreferences::sharedInstance();
    EXPECT_EQ(HVLineBreaks::lineBreak(), u"\n");
    store.setObject("HVLineBreak", 2);
    EXPECT_EQ(HVLineBreaks::lineBreak(), u"\r\n");
    EXPECT_EQ(HVLineBreaks::switchLineBreaks(u"a\nb"), u"a\r\nb");
    store.setObject("HVLineBreak", true);
    EXPECT_EQ(HVLineBreaks::lineBreak(), u"\r");
    store.setObject("HVLineBreak", 7);
    EXPECT_EQ(HVLineBreaks::lineBreak(), u"\n");
    store.setObject("HVLineBreak", "DOS");
    EXPECT_EQ(HVLineBreaks::lineBreak(), u"\n") << "a string is not a number";
}

TEST(HVLineBreaks, KindsAreCountedAndTheCommonestNamesTheType) {
    auto kinds = HVLineBreaks::kindsInText(u"a\r\nb\nc\r\n");
    EXPECT_EQ(kinds.crlf, 2u);
    EXPECT_EQ(kinds.lf, 1u);
    EXPECT_EQ(kinds.cr, 0u);
    EXPECT_TRUE(kinds.mixed());
    EXPECT_EQ(HVLineBreaks::dominantType(kinds), HVLineBreaks::DOS);

    kinds = HVLineBreaks::kindsInText(u"a\r\rb");
    EXPECT_EQ(kinds.cr, 2u);
    EXPECT_EQ(kinds.crlf, 0u);
    EXPECT_FALSE(kinds.mixed());
    EXPECT_EQ(HVLineBreaks::dominantType(kinds), HVLineBreaks::Mac);

    // A CR at the very end is a break of its own, not half of a pair.
    kinds = HVLineBreaks::kindsInText(u"x\r");
    EXPECT_EQ(kinds.cr, 1u);
    EXPECT_EQ(HVLineBreaks::dominantType(HVLineBreaks::kindsInText(u"\n\r\n")), HVLineBreaks::Unix)
        << "a tie goes to Unix";
    EXPECT_EQ(HVLineBreaks::dominantType(HVLineBreaks::kindsInText(u"\r\r\n")), HVLineBreaks::DOS)
        << "then to DOS";
    EXPECT_EQ(HVLineBreaks::dominantType(HVLineBreaks::kindsInText(u"no breaks")), std::nullopt);

    // Long enough for the eight-at-a-time scan, with pairs split across its steps.
    std::u16string text = u"0123456\r\n89abcdef\r\n" + std::u16string(1, u'\0') + u"xy\rz\n\n";
    kinds = HVLineBreaks::kindsInText(text);
    EXPECT_EQ(kinds.crlf, 2u);
    EXPECT_EQ(kinds.cr, 1u);
    EXPECT_EQ(kinds.lf, 2u);
    EXPECT_EQ(kinds.nul, 1u);
}

TEST(HVLineBreaks, InPlaceSwitchingFollowsTheSameRule) {
    std::u16string mixed = u"a\nb\r\nc\rd\r\r\ne\n";
    for (auto type : {HVLineBreaks::Unix, HVLineBreaks::Mac, HVLineBreaks::DOS}) {
        std::u16string text = mixed;
        HVLineBreaks::switchLineBreaksInPlace(text, type);
        EXPECT_EQ(text, HVLineBreaks::switchLineBreaks(mixed, HVLineBreaks::stringForType(type)))
            << HVLineBreaks::nameForType(type);
    }
    std::u16string uniform = u"x\r\ny\r\n";
    const char16_t* storage = uniform.data();
    HVLineBreaks::switchLineBreaksInPlace(uniform, HVLineBreaks::DOS);
    EXPECT_EQ(uniform, u"x\r\ny\r\n");
    EXPECT_EQ(uniform.data(), storage) << "a text that needs nothing is not copied";
}
