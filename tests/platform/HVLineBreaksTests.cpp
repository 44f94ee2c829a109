#include "HVLineBreaks.h"
#include "HVPreferences.h"
#include "HVTestSupport.h"

#include <gtest/gtest.h>

TEST(HVLineBreaks, EveryKindOfBreakBecomesTheTargetType) {
    const std::u16string mixed = u"a\nb\r\nc\rd\r\r\ne\n";
    const std::pair<HVLineBreaks::Type, std::u16string> cases[] = {
        {HVLineBreaks::DOS, u"a\r\nb\r\nc\r\nd\r\n\r\ne\r\n"},
        {HVLineBreaks::Mac, u"a\rb\rc\rd\r\re\r"},
        {HVLineBreaks::Unix, u"a\nb\nc\nd\n\ne\n"},
    };
    for (const auto& [type, expected] : cases) {
        const char* name = HVLineBreaks::nameForType(type);
        EXPECT_EQ(HVLineBreaks::switchLineBreaks(mixed, HVLineBreaks::stringForType(type)),
                  expected)
            << name;
        EXPECT_EQ(HVLineBreaks::switchLineBreaks(mixed, {}, name), expected) << name;
        std::u16string text = mixed;
        HVLineBreaks::switchLineBreaksInPlace(text, type);
        EXPECT_EQ(text, expected) << name << " in place";
    }
    EXPECT_EQ(HVLineBreaks::switchLineBreaks(u"", u"\r\n"), u"");
    EXPECT_EQ(HVLineBreaks::switchLineBreaks(u"\r", u"\n"), u"\n");
    EXPECT_EQ(HVLineBreaks::switchLineBreaks(u"no breaks", u"\r\n"), u"no breaks");
    std::u16string uniform = u"x\r\ny\r\n";
    const char16_t* storage = uniform.data();
    HVLineBreaks::switchLineBreaksInPlace(uniform, HVLineBreaks::DOS);
    EXPECT_EQ(uniform, u"x\r\ny\r\n");
    EXPECT_EQ(uniform.data(), storage) << "a text that needs nothing is not copied";
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
    auto describe = [](std::u16string_view text) {
        auto kinds = HVLineBreaks::kindsInText(text);
        auto type = HVLineBreaks::dominantType(kinds);
        return "lf " + std::to_string(kinds.lf) + " cr " + std::to_string(kinds.cr) + " crlf " +
               std::to_string(kinds.crlf) + " nul " + std::to_string(kinds.nul) +
               (kinds.mixed() ? " mixed " : " ") +
               (type ? HVLineBreaks::nameForType(*type) : "none");
    };
    const std::pair<std::u16string, std::string> cases[] = {
        {u"a\r\nb\nc\r\n", "lf 1 cr 0 crlf 2 nul 0 mixed DOS"},
        {u"a\r\rb", "lf 0 cr 2 crlf 0 nul 0 Mac"},
        // A CR at the very end is a break of its own, not half of a pair.
        {u"x\r", "lf 0 cr 1 crlf 0 nul 0 Mac"},
        // A tie goes to Unix, then to DOS.
        {u"\n\r\n", "lf 1 cr 0 crlf 1 nul 0 mixed Unix"},
        {u"\r\r\n", "lf 0 cr 1 crlf 1 nul 0 mixed DOS"},
        {u"no breaks", "lf 0 cr 0 crlf 0 nul 0 none"},
        // Long enough for the eight-at-a-time scan, with pairs split across its steps.
        {u"0123456\r\n89abcdef\r\n" + std::u16string(1, u'\0') + u"xy\rz\n\n",
         "lf 2 cr 1 crlf 2 nul 1 mixed Unix"},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(describe(text), expected) << expected;
}
