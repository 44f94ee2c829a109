#include "HVCodeHinting.h"
#include "HVCompletionTestSupport.h"
#include "HVUnicode.h"

#include <gtest/gtest.h>

namespace {

using Dict = HVPlistValue::Dictionary;

} // namespace

TEST(HVCodeHinting, TheOpenCallsPrototypeAndTheArgumentBeingTyped) {
    HVTemporaryDirectory folder;
    auto bundle = HVMakeCompletionBundle(
        folder, "script.test", Dict{{"format-id", "source.script.test"}}, HVPlistValue(),
        Dict{{"substr", "string substr(string s, int start[, int length])"},
             {"obj->run", "run(x)"}});
    auto hinting = HVCodeHinting::hintingForBundle(bundle);
    ASSERT_TRUE(hinting);
    EXPECT_EQ(HVCodeHinting::hintingForBundle(bundle), hinting);

    auto hint = [&](std::u16string_view text) {
        std::size_t argument = 99;
        auto prototype = hinting->prototypeInString(text, text.size(), &argument);
        return prototype ? HVUnicode::utf8(*prototype) + " #" + std::to_string(argument) : "(none)";
    };
    EXPECT_EQ(hint(u"$x = substr("), "string substr(string s, int start[, int length]) #0");
    EXPECT_EQ(hint(u"$x = substr ($a, strlen($b, 1), "),
              "string substr(string s, int start[, int length]) #2");
    // Commas in strings and after a backslash do not count.
    EXPECT_EQ(hint(u"substr(\"a,b\", 'c,\"d', \\, x"),
              "string substr(string s, int start[, int length]) #2");
    EXPECT_EQ(hint(u"$obj->run(1"), "run(x) #0");
    EXPECT_EQ(hint(u"substr($a, 1) . x"), "(none)");
    EXPECT_EQ(hint(u"substr($a,\n 1"), "(none)");
    EXPECT_EQ(hint(u"other(1, 2"), "(none)");
    std::size_t argument = 0;
    EXPECT_EQ(hinting->functionNameInString(u"other(1, 2", 10, &argument), u"other");
    EXPECT_EQ(argument, 1u);

    // The character at the position counts, the call's own parenthesis does not.
    std::u16string_view call = u"f(a, (b, c), \"d,e\", g)";
    EXPECT_EQ(HVCodeHinting::argumentIndexInString(call, 1, 3), 1u);
    EXPECT_EQ(HVCodeHinting::argumentIndexInString(call, 1, 2), 0u);
    EXPECT_EQ(HVCodeHinting::argumentIndexInString(call, 1, call.size() - 1), 3u);

    auto without = HVMakeCompletionBundle(folder, "plain.test", Dict{{"format-id", "text.plain"}},
                                          HVPlistValue());
    EXPECT_EQ(HVCodeHinting::hintingForBundle(without), nullptr);
}
