#include "HVCallHint.h"

#include "HVUnicode.h"

#include <gtest/gtest.h>

namespace {

TEST(HVCallHint, TheArgumentIsFoundInThePrototype) {
    struct Case {
        std::u16string_view prototype;
        std::size_t argument;
        std::string expected;
    };
    const Case cases[] = {
        {u"substr(string, start[, length])", 0, "string"},
        {u"substr(string, start[, length])", 1, "start"},
        {u"substr(string, start[, length])", 2, "length"},
        {u"substr(string, start[, length])", 3, ""},
        {u"printf(format, ...)", 4, "..."},
        {u"map(callback(value), array)", 1, "array"},
        {u"now()", 0, ""},
        {u"no parenthesis", 0, ""},
    };
    for (const Case& c : cases) {
        HVRange range = HVCallHint::argumentRangeInPrototype(c.prototype, c.argument);
        std::string found = HVRangeIsFound(range)
                                ? HVUnicode::utf8(c.prototype.substr(range.location, range.length))
                                : "";
        EXPECT_EQ(found, c.expected) << HVUnicode::utf8(c.prototype) << " " << c.argument;
    }
}

} // namespace
