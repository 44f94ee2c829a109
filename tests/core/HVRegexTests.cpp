#include "HVRegex.h"

#include <gtest/gtest.h>

namespace {

HVRange whole(HVRegex& regex, std::u16string_view subject, HVRange range,
              std::uint32_t options = 0) {
    auto match = regex.copyMatchForString(subject, range, options);
    return match ? match->rangeForCapture(0) : HVRange{HVNotFound, 0};
}

} // namespace

TEST(HVRegex, InvalidPatternsYieldNoRegex) {
    EXPECT_FALSE(HVRegex::validPattern(u"(unclosed"));
    EXPECT_FALSE(HVRegex::validPattern(u"a{2,1}"));
    EXPECT_EQ(HVRegex::initWithPattern(u"[z-a]"), nullptr);
    EXPECT_FALSE(HVRegex::errorForPattern(u"(unclosed").empty());
    EXPECT_TRUE(HVRegex::validPattern(u""));
    EXPECT_TRUE(HVRegex::validPattern("<!DOCTYPE[^>]+>"));
}

TEST(HVRegex, OptionBitsCaseAndLines) {
    std::u16string text = u"first line\nSecond Line\nthird";
    auto sensitive = HVRegex::initWithPattern(u"^second", 2);
    auto caseless = HVRegex::initWithPattern(u"^second", 3);
    auto singleLine = HVRegex::initWithPattern(u"^second", 1);
    ASSERT_TRUE(sensitive && caseless && singleLine);
    EXPECT_FALSE(sensitive->copyMatchForString(text));
    EXPECT_EQ(caseless->copyMatchForString(text)->rangeForCapture(0), HVMakeRange(11, 6));
    EXPECT_FALSE(singleLine->copyMatchForString(text)) << "without 0x2, ^ is only the start";
    auto dollar = HVRegex::initWithPattern(u"line$", 3);
    EXPECT_EQ(dollar->copyMatchForString(text)->rangeForCapture(0), HVMakeRange(6, 4));
}

TEST(HVRegex, CaselessMatchingCoversNonLatinScripts) {
    auto regex = HVRegex::initWithPattern(u"ПРИВЕТ", 1);
    EXPECT_EQ(regex->copyMatchForString(u"Ну, привет!")->rangeForCapture(0), HVMakeRange(4, 6));
}

TEST(HVRegex, UnicodeBitMakesWordClassesUnicode) {
    std::u16string text = u"Größe";
    auto ascii = HVRegex::initWithPattern(u"^\\w+$", 0);
    auto unicode = HVRegex::initWithPattern(u"^\\w+$", 0x800);
    EXPECT_FALSE(ascii->copyMatchForString(text));
    EXPECT_TRUE(unicode->copyMatchForString(text));
    auto markup = HVRegex::initWithPattern(u"<!DOCTYPE[^>]+>", 2049);
    EXPECT_EQ(markup->copyMatchForString(u"  <!doctype html>")->rangeForCapture(0),
              HVMakeRange(2, 15));
}

TEST(HVRegex, SearchStaysInsideTheRange) {
    std::u16string text = u"aaa bbb aaa bbb";
    auto regex = HVRegex::initWithPattern(u"b+", 0);
    // Starts at or after the location.
    EXPECT_EQ(whole(*regex, text, {5, 10}), HVMakeRange(5, 2));
    EXPECT_EQ(whole(*regex, text, {7, 8}), HVMakeRange(12, 3));
    // Lies within the range: a greedy match is cut at the range's end.
    EXPECT_EQ(whole(*regex, text, {4, 2}), HVMakeRange(4, 2));
    EXPECT_EQ(whole(*regex, text, {8, 3}).location, HVNotFound);
    // Ranges beyond the subject are clamped, not read past.
    EXPECT_EQ(whole(*regex, text, {12, 100}), HVMakeRange(12, 3));
    EXPECT_EQ(whole(*regex, text, {100, 5}).location, HVNotFound);
}

TEST(HVRegex, NotBOLAtSearchTime) {
    std::u16string text = u"abc\nabc";
    auto regex = HVRegex::initWithPattern(u"^abc", 2);
    EXPECT_EQ(whole(*regex, text, {0, 7}), HVMakeRange(0, 3));
    EXPECT_EQ(whole(*regex, text, {0, 7}, 0x80), HVMakeRange(4, 3))
        << "0x80: the subject's start is not a line start, the line after a break still is";
    auto single = HVRegex::initWithPattern(u"^abc", 0);
    EXPECT_EQ(whole(*single, text, {0, 7}, 0x80).location, HVNotFound);
}

TEST(HVRegex, GroupsThatTookNoPartAreOutsideTheSubject) {
    std::u16string text = u"key=value";
    auto regex = HVRegex::initWithPattern(u"(\\w+)(:(\\d+))?=(\\w*)", 0);
    auto match = regex->copyMatchForString(text);
    ASSERT_TRUE(match);
    EXPECT_EQ(regex->groupCount(), 4u);
    EXPECT_EQ(match->rangeForCapture(1), HVMakeRange(0, 3));
    HVRange missing = match->rangeForCapture(2);
    EXPECT_EQ(missing.length, 0u);
    EXPECT_GT(missing.location + missing.length, text.size());
    EXPECT_EQ(match->rangeForCapture(3).location, HVNotFound);
    EXPECT_EQ(match->rangeForCapture(4), HVMakeRange(4, 5));
    EXPECT_EQ(match->rangeForCapture(9).location, HVNotFound) << "no such group";
}

TEST(HVRegex, PositionsCountUTF16CodeUnits) {
    std::u16string text = u"😀 x 😀 y";
    auto regex = HVRegex::initWithPattern(u"y", 0);
    EXPECT_EQ(regex->copyMatchForString(text)->rangeForCapture(0), HVMakeRange(8, 1));
    auto emoji = HVRegex::initWithPattern(u".", 0);
    EXPECT_EQ(emoji->copyMatchForString(text)->rangeForCapture(0), HVMakeRange(0, 2));
    // A range that starts inside a surrogate pair moves to the next character.
    EXPECT_EQ(whole(*emoji, text, {1, 8}), HVMakeRange(2, 1));
}

TEST(HVRegex, UnpairedSurrogatesNeverBreakASearch) {
    std::u16string text = u"ab";
    text += char16_t(0xD800);
    text += u"cd";
    text += char16_t(0xDC00);
    auto regex = HVRegex::initWithPattern(u"cd", 0);
    EXPECT_EQ(regex->copyMatchForString(text)->rangeForCapture(0), HVMakeRange(3, 2));
    auto any = HVRegex::initWithPattern(u"b.", 0);
    EXPECT_FALSE(any->copyMatchForString(text)) << "b is followed by an ill-formed unit";
}

TEST(HVRegex, UTF8DataCountsBytes) {
    std::string data = "Gr\xC3\xB6\xC3\x9F"
                       "e <b>bold</b>";
    auto regex = HVRegex::initWithPattern(u"<(\\w+)>", 0);
    auto match = regex->copyMatchForUTF8Data(data, {0, data.size()});
    ASSERT_TRUE(match);
    EXPECT_EQ(match->rangeForCapture(0), HVMakeRange(8, 3));
    EXPECT_EQ(match->rangeForCapture(1), HVMakeRange(9, 1));
    auto next = regex->copyMatchForUTF8Data(data, {11, data.size() - 11});
    EXPECT_FALSE(next) << "</b> does not match <(\\w+)>";
    auto umlaut = HVRegex::initWithPattern(u"ö", 0);
    EXPECT_EQ(umlaut->copyMatchForUTF8Data(data, {0, data.size()})->rangeForCapture(0),
              HVMakeRange(2, 2));
    // Bytes that are not UTF-8 are skipped, not a failure.
    std::string bad = "\xFF\xFEok";
    auto ok = HVRegex::initWithPattern(u"ok", 0);
    EXPECT_EQ(ok->copyMatchForUTF8Data(bad, {0, bad.size()})->rangeForCapture(0),
              HVMakeRange(2, 2));
}

TEST(HVRegex, NegatedClassesMatchBeyondASCIIInUTF8Data) {
    // A PCRE2 release with a fault in its compiled matcher missed these characters.
    std::string data = "a\xC3\xA9\xE2\x82\xAC" "x 1";
    for (auto [pattern, length] : {std::pair{u"\\S+", 7}, {u"[^ ]+", 7}, {u"\\D+", 8}}) {
        auto regex = HVRegex::initWithPattern(std::u16string_view(pattern), 0);
        auto match = regex->copyMatchForUTF8Data(data, {0, data.size()});
        ASSERT_TRUE(match);
        EXPECT_EQ(match->rangeForCapture(0), HVMakeRange(0, std::size_t(length)));
    }
    auto nonWord = HVRegex::initWithPattern(u"\\W", 0);
    EXPECT_EQ(nonWord->copyMatchForUTF8Data(data, {0, data.size()})->rangeForCapture(0),
              HVMakeRange(1, 2));
}

TEST(HVRegex, CatastrophicPatternsEndWithoutAMatch) {
    std::u16string text(5000, u'a');
    text += u"!";
    auto regex = HVRegex::initWithPattern(u"(a+)+$b", 0);
    EXPECT_FALSE(regex->copyMatchForString(text));
}
