#include "HVCSSCodeCompletion.h"
#include "HVCSSCodeCompletionUI.h"
#include "HVCompletionTestSupport.h"
#include "HVUnicode.h"

#include <gtest/gtest.h>

namespace {

using Dict = HVPlistValue::Dictionary;
using Array = HVPlistValue::Array;

const Dict kSheetCompletion{
    {"class", "HVCSSCodeCompletion"},
    {"properties", Dict{{"float", Array{"left", "right", "none"}},
                        {"font-family", Array{"family-name\u2026", "serif", "inherit"}},
                        {"font-size", Array{"length\u2026", "larger", "inherit"}},
                        {"color", Array{"color\u2026", "Red", "inherit"}},
                        {"background-image", Array{"uri\u2026", "none"}},
                        {"border", Array{}}}}};

class HVCSSCodeCompletionTest : public ::testing::Test {
protected:
    void SetUp() override {
        // "-" belongs to words, as in property names.
        bundle = HVMakeCompletionBundle(
            folder, "sheet.test",
            Dict{{"format-id", "source.sheet.test"},
                 {"format-type", "keyword"},
                 {"keyword-characters",
                  "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-#"}},
            kSheetCompletion);
        completion = std::dynamic_pointer_cast<HVCSSCodeCompletion>(
            HVCodeCompletion::completionForBundle(bundle));
        ASSERT_TRUE(completion);
    }

    std::string offered(std::u16string_view text) {
        auto partial = completion->partialKeywordForString(text, text.size());
        if (!partial)
            return "(none)";
        return HVUnicode::utf8(*partial) + ": " +
               HVDescribeEntries(
                   completion->completionsForString(*partial, "/site/css/main.sheet", text.size()));
    }

    HVTemporaryDirectory folder;
    std::shared_ptr<HVBundle> bundle;
    std::shared_ptr<HVCSSCodeCompletion> completion;
};

} // namespace

TEST_F(HVCSSCodeCompletionTest, PropertiesThenTheirValuesInsideARuleBlock) {
    EXPECT_TRUE(completion->suggestAutomatically());
    EXPECT_EQ(offered(u"p {\n  f"),
              "f: float|-|float: +, font-family|-|font-family: +, font-size|-|font-size: +");
    EXPECT_EQ(offered(u"p { font-s"), "font-s: font-size|-|font-size: +");
    // What choosing a property leaves behind asks for its values at once, in their order.
    EXPECT_EQ(offered(u"p {\n  float: "), ": left|-|left, right|-|right, none|-|none");
    EXPECT_EQ(offered(u"p {\n  float: r"), "r: right|-|right");
    EXPECT_EQ(offered(u"p {\n  font-family: Georgia, serif in"), "in: inherit|-|inherit");
    EXPECT_EQ(offered(u"p {\n  color: r"), "r: ");
    EXPECT_EQ(offered(u"p {\n  border: "), ": ");
    EXPECT_EQ(offered(u"p {\n  F"), "(none)");
    EXPECT_EQ(offered(u"p {\n  float: left;"), "(none)");
    EXPECT_EQ(offered(u"p {\n  float: left; }\nfl"), "(none)");
    EXPECT_EQ(offered(u"fl"), "(none)");
    EXPECT_EQ(completion->lastPath(), "/site/css/main.sheet");
}

TEST_F(HVCSSCodeCompletionTest, TheWholeWordAroundTheCaretIsReplaced) {
    //                          0123456789012345
    std::u16string_view text = u"p {\n  font-fa;\n}";
    EXPECT_EQ(completion->keywordRangeForString(text, 11), HVMakeRange(6, 7));
    EXPECT_EQ(completion->keywordRangeForString(text, 13), HVMakeRange(6, 7));
    EXPECT_EQ(completion->keywordRangeForString(u"a: 1px so", 9), HVMakeRange(7, 2));
}

TEST_F(HVCSSCodeCompletionTest, TheDefinitionIsWrittenBackWithItsTwoKeys) {
    EXPECT_EQ(HVPlistText(completion->plistRepresentation()),
              HVPlistText(HVPlistValue(kSheetCompletion)));
    auto entries = completion->entries();
    ASSERT_EQ(entries.size(), 6u);
    EXPECT_EQ(HVDescribeEntries({entries[3]}), "float|-|left right none+");
    completion->setEntries({entries[3]});
    EXPECT_EQ(HVPlistText(completion->plistRepresentation()),
              HVPlistText(HVPlistValue(
                  Dict{{"class", "HVCSSCodeCompletion"},
                       {"properties", Dict{{"float", Array{"left", "right", "none"}}}}})));
}

TEST_F(HVCSSCodeCompletionTest, DialogsAskForTheValueAndInsertItsText) {
    offered(u"p {\n  color: ");
    EXPECT_EQ(HVPostprocess(*completion, u"inherit"), "inherit");
    HVTestCompletionPresenter presenter(1, [](HVCodeCompletionUI& ui) {
        auto& values = *ui.values().dictionary();
        std::string nib = ui.nibName();
        if (nib == "color")
            values["color"] = Array{1.0, 0.0, 0.0};
        else if (nib == "units")
            values["number"] = 1.5;
        else if (nib == "popup")
            values["value"] = "Times New Roman";
        else if (nib.empty())
            values["path"] = "/site/img/a b.png";
    });
    EXPECT_EQ(HVPostprocess(*completion, u"color\u2026"), "#ff0000");
    EXPECT_EQ(HVPostprocess(*completion, u"length\u2026"), "1.5px");
    EXPECT_EQ(HVPostprocess(*completion, u"family-name\u2026"), "\"Times New Roman\"");
    EXPECT_EQ(HVPostprocess(*completion, u"uri\u2026"), "url(\"../img/a b.png\")");
    EXPECT_EQ(presenter.shown(), (std::vector<std::string>{"color", "units", "popup", ""}));
}

TEST(HVCSSCodeCompletionUI, EachLabelHasItsDialogAndDefaults) {
    auto length = HVCSSCodeCompletionUI::make(u"size");
    EXPECT_EQ(length->type(), HVCSSCodeCompletionUI::Length);
    EXPECT_EQ(length->label(), u"Size");
    EXPECT_EQ(*length->values().stringForKey("units"), "px");
    EXPECT_EQ(length->values().arrayForKey("unitlist")->size(), 9u);
    (*length->values().dictionary())["number"] = 12;
    EXPECT_EQ(length->stringValue(), u"12px");

    auto angle = HVCSSCodeCompletionUI::make(u"Angle");
    EXPECT_EQ(angle->nibName(), "units");
    (*angle->values().dictionary())["number"] = 90;
    EXPECT_EQ(angle->stringValue(), u"90deg");
    EXPECT_EQ(HVCSSCodeCompletionUI::make(u"percentage")->stringValue(), u"%");

    auto color = HVCSSCodeCompletionUI::make(u"COLOR");
    EXPECT_EQ(color->type(), HVCSSCodeCompletionUI::Color);
    EXPECT_EQ(color->stringValue(), u"#000000");
    (*color->values().dictionary())["color"] = Array{0.5, 1.0, 0.999};
    EXPECT_EQ(color->stringValue(), u"#7ffffe");

    EXPECT_EQ(HVCSSCodeCompletionUI::make(u"integer")->nibName(), "numeric");
    EXPECT_EQ(HVCSSCodeCompletionUI::make(u"uri")->nibName(), "");
    auto unknown = HVCSSCodeCompletionUI::make(u"shape");
    EXPECT_EQ(unknown->type(), HVCSSCodeCompletionUI::Unknown);
    EXPECT_EQ(unknown->nibName(), "unknown");
    (*unknown->values().dictionary())["value"] = "rect(0 0 1 1)";
    EXPECT_EQ(unknown->stringValue(), u"\"rect(0 0 1 1)\"");

    HVCSSCodeCompletionUI::setFontFamilies({u"Times New Roman", u"courier", u"Arial"});
    auto family = HVCSSCodeCompletionUI::make(u"family-name");
    EXPECT_EQ(family->nibName(), "popup");
    EXPECT_EQ(HVPlistText(*family->values().objectForKey("valuelist")),
              HVPlistText(HVPlistValue(Array{"Arial", "courier", "Times New Roman"})));
    EXPECT_EQ(family->stringValue(), u"Arial");
    HVCSSCodeCompletionUI::setFontFamilies({});

    EXPECT_EQ(HVCSSCodeCompletionUI::stringValueForUnknownValue(HVPlistValue(3)), u"3");
    EXPECT_EQ(HVCSSCodeCompletionUI::stringValueForUnknownValue(HVPlistValue("a b")), u"\"a b\"");
    EXPECT_EQ(HVCSSCodeCompletionUI::stringValueForUnknownValue(HVPlistValue()), u"\"\"");
}
