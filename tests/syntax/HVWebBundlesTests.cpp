// The shipped bundles of the web languages on snippets from real files: what a piece of each
// snippet is painted as, read from the style id of its runs.

#include "Defaults.h"
#include "HVKeywordBasedParser.h"
#include "HVPropertyList.h"
#include "HVSyntaxTestSupport.h"
#include "HVTextBuffer.h"
#include "HVTheme.h"
#include "HVUnicode.h"

#include <gtest/gtest.h>
#include <set>

namespace {

struct Case {
    const char* text;
    // The piece looked at: its first occurrence in the text.
    const char* piece;
    // "comment", "string", "other" (neither of the two, painted or not), "" (not painted), or
    // the start of the style id that paints the whole piece.
    const char* expected;
};

// The vocabulary id (a theme colours no language's own last part) painting every character of
// the piece; "mixed" when they differ, "" when none is painted.
std::string paintedAs(const HVPlistValue& syntax, const Case& test) {
    static const auto theme = HVMakeTestTheme(HVStyleIdVocabulary());
    std::u16string text = HVUnicode::utf16(test.text);
    std::size_t start = text.find(HVUnicode::utf16(test.piece));
    EXPECT_NE(start, std::u16string::npos) << test.piece;
    HVRange piece{start, HVUnicode::utf16(test.piece).size()};
    HVKeywordBasedParser parser(nullptr, syntax);
    EXPECT_TRUE(parser.loadErrors().empty());
    parser.setTheme(theme);
    HVTextBuffer buffer(text);
    parser.parseRange({0, text.size()}, buffer);
    std::set<std::string> ids;
    buffer.enumerateRuns(piece, [&](HVRange, const HVAttributes& attributes) {
        std::string id;
        if (const HVColor* color = attributes.color(HVForegroundColorAttribute)) {
            for (const auto& [name, style] : theme->styles()) {
                if (style.color(HVForegroundColorAttribute) &&
                    *style.color(HVForegroundColorAttribute) == *color)
                    id = name;
            }
        }
        ids.insert(id);
    });
    return ids.size() == 1 ? *ids.begin() : "mixed";
}

bool matches(const std::string& painted, std::string_view expected) {
    if (expected == "other")
        return painted.rfind("comment", 0) != 0 && painted.rfind("string", 0) != 0 &&
               painted != "mixed";
    return painted.rfind(expected, 0) == 0 && (!expected.empty() || painted.empty());
}

void check(const char* bundle, std::initializer_list<Case> cases) {
    auto syntax =
        HVPropertyList::readFromFile(Defaults::applicationResourcesDirectory() + "/Bundles/" +
                                     bundle + ".hvbundle/Contents/syntax.plist");
    ASSERT_TRUE(syntax);
    for (const Case& test : cases) {
        SCOPED_TRACE(std::string(test.text) + " | " + test.piece);
        std::string painted = paintedAs(*syntax, test);
        EXPECT_TRUE(matches(painted, test.expected)) << "painted as \"" << painted << "\"";
    }
}

} // namespace

TEST(HVWebBundles, JavaScript) {
    check("JavaScript",
          {
              // An empty block comment closes; a documentation comment still does.
              {"/**/ let a = 1;", "let", "storage"},
              {"/***/ let a", "let", "storage"},
              {"/** doc */ let a", "doc", "comment.block.documentation"},
              // Regex literals where an operand may stand: a quote or a comment start inside
              // is part of the pattern; an escaped slash and one in a class do not end it.
              {"s.split(/\"/); let a = \"x\";", "/\"/", "string.regexp"},
              {"s.split(/\"/); let a = \"x\";", "let", "storage"},
              {"x = /[/\"]+\\/'/g; let a", "/[/\"]+\\/'/g", "string.regexp"},
              {"x = /[/\"]+\\/'/g; let a", "let", "storage"},
              {"  return /'/.test(s) || y", "y", "other"},
              {"if (!/\\d/.test(s)) f('a')", "'a'", "string"},
              {"/^#/.test(line)", "/^#/", "string.regexp"},
              // One left open ends with its line.
              {"x = /[a/ \"\nlet b", "let", "storage"},
              // Division is not a pattern.
              {"a = b / 2 / c; let d", "let", "storage"},
              {"f(a) / g(b) / 'c'", "'c'", "string"},
              // Template literals, over lines, with an escaped back-tick.
              {"`a\\`b\n\"c` let", "\"c", "string"},
              {"`a\\`b\n\"c` let", "let", "storage"},
              {"for (const x of xs) {}", "of", "keyword.operator"},
          });
}

TEST(HVWebBundles, CSS) {
    check("CSS", {
                     // A hex value is a colour in a declaration, an id in a selector.
                     {"#add { color: #cafe; }", "#add", "entity.other.attribute-name"},
                     {"#add { color: #cafe; }", "#cafe", "constant.other"},
                     {"ul #cafe:hover, a {", "#cafe", "entity.other.attribute-name"},
                     {"a{border:1px solid #fff}", "#fff", "constant.other"},
                     {"b { background: linear-gradient(#fff, #abc); }", "#abc", "constant.other"},
                     // Properties of today's style sheets.
                     {"a { container-type: inline-size; }", "container-type", "support.type"},
                     {"a { container: card / inline-size; }", "container", "support.type"},
                     {"a { container-name: card; }", "container-name", "support.type"},
                     {"a { accent-color: red; }", "accent-color", "support.type"},
                     {"a { aspect-ratio: 16 / 9; }", "aspect-ratio", "support.type"},
                     {"a { inset: 0; }", "inset", "support.type"},
                     {"a { gap: 1rem; }", "gap", "support.type"},
                     {"a { place-items: center; }", "place-items", "support.type"},
                     {"a { place-content: center; }", "place-content", "support.type"},
                     {"a { scroll-behavior: smooth; }", "scroll-behavior", "support.type"},
                     {"a { overscroll-behavior: contain; }", "overscroll-behavior", "support.type"},
                     {"a { backdrop-filter: blur(4px); }", "backdrop-filter", "support.type"},
                     {"a { color-scheme: light dark; }", "color-scheme", "support.type"},
                     {"a { text-wrap: balance; }", "text-wrap", "support.type"},
                     {"a { scrollbar-gutter: stable; }", "scrollbar-gutter", "support.type"},
                     {"a { inset-inline-start: 0; }", "inset-inline-start", "support.type"},
                 });
}

TEST(HVWebBundles, Python) {
    check("Python",
          {
              // A quote inside a docstring does not shift the strings after it.
              {"def f():\n    \"\"\"It's \"x\n    y\"\"\"\n    z = 'a'", "z", "other"},
              {"def f():\n    \"\"\"It's \"x\n    y\"\"\"\n    z = 'a'", "y\"\"\"", "string"},
              {"'''a ' b\n'''\nc = \"d\"", "c", "other"},
              {"s = \"\"\"a\\\"\"\"\" if", "if", "keyword.control"},
              // Prefixed strings, prefix included.
              {"r\"\\d\" if", "r\"\\d\"", "string"},
              {"f'{x}' if", "f'{x}'", "string"},
              {"b'\\x00' if", "b'\\x00'", "string"},
              {"rb\"a\" if", "rb\"a\"", "string"},
              {"f\"\"\"a\n'b\"\"\" if", "if", "keyword.control"},
              {"f\"\"\"a\n'b\"\"\" if", "'b", "string"},
              // An ordinary word ending in a prefix letter is no prefix.
              {"for \"a\" in", "for", "keyword.control"},
              {"match x:\n    case 1:", "match", "keyword.control"},
              {"match x:\n    case 1:", "case", "keyword.control"},
          });
}

TEST(HVWebBundles, Markdown) {
    check(
        "Markdown",
        {
            // A heading only at the start of a line.
            {"Write C# code here.", "# code", ""},
            {"# Title\ntext", "# Title", "markup.heading"},
            {"text\n## Part two", "## Part two", "markup.heading"},
            {"text\n#hashtag", "#hashtag", ""},
            // Underscores inside a word do not emphasise; around one they do.
            {"call obj__dunder__x now", "dunder", ""},
            {"a __strong__ b", "__strong__", "markup.bold"},
            // Code spans and fenced blocks are code: no emphasis inside.
            {"Use `a_b_c *x* __d__` now", "__d__", "markup.raw"},
            {"Use ``a ` *x*`` now *y*", "*x*", "markup.raw"},
            {"Use ``a ` *x*`` now *y*", "*y*", "markup.italic"},
            {"````\n```\n*x*\n````\n*y*", "*x*", "markup.raw"},
            {"````\n```\n*x*\n````\n*y*", "*y*", "markup.italic"},
            {"```py\n__init__ *x*\n# not a heading\n```\n# Head", "# not a heading", "markup.raw"},
            {"```py\n__init__ *x*\n# not a heading\n```\n# Head", "# Head", "markup.heading"},
            {"~~~\n*a*\n~~~~\n*b*", "*a*", "markup.raw"},
        });
}

TEST(HVWebBundles, Configuration) {
    check("Configuration",
          {
              // ";" starts a comment only at the start of a line (INI); in YAML, TOML and nginx
              // it is text.
              {"key: a;b\nnext: 1", "b", "other"},
              {"listen 80; root /srv;", "root", "other"},
              {"[core]\n; a comment\nname = x", "; a comment", "comment"},
              {"  ; indented\nx = 1", "; indented", "comment"},
              // Single-quoted strings, with a doubled quote inside; an apostrophe in a word is
              // not a quote.
              {"name: 'it''s # not a comment'", "'it''s # not a comment'", "string"},
              {"title = 'Tom'\nx = 1", "'Tom'", "string"},
              {"title: Don't stop\nnext: 1", "next:", "other"},
          });
}
