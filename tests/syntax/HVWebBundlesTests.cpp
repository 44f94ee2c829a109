// The shipped bundles of the web languages on snippets from real files: what a piece of each
// snippet is painted as, read from the style id of its runs.

#include "HVSyntaxTestSupport.h"

#include <gtest/gtest.h>

TEST(HVWebBundles, JavaScript) {
    HVCheckShippedBundle(
        "JavaScript",
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
    HVCheckShippedBundle(
        "CSS", {
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
    HVCheckShippedBundle(
        "Python",
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
    HVCheckShippedBundle(
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
            // Code inside a link's text is code; the text ends at its own bracket.
            {"See [`a[0]`][] now", "`a[0]`", "markup.raw"},
            {"See [the `x`][ref] now", "`x`", "markup.raw"},
            {"A [link](http://a.b/) now", "[link]", "markup.link"},
        });
}

TEST(HVWebBundles, Configuration) {
    HVCheckShippedBundle("Configuration",
                         {
                             // ";" starts a comment only at the start of a line (INI); in YAML,
                             // TOML and nginx it is text.
                             {"key: a;b\nnext: 1", "b", "other"},
                             {"listen 80; root /srv;", "root", "other"},
                             {"[core]\n; a comment\nname = x", "; a comment", "comment"},
                             {"  ; indented\nx = 1", "; indented", "comment"},
                             // Single-quoted strings, with a doubled quote inside; an apostrophe in
                             // a word is not a quote.
                             {"name: 'it''s # not a comment'", "'it''s # not a comment'", "string"},
                             {"title = 'Tom'\nx = 1", "'Tom'", "string"},
                             {"title: Don't stop\nnext: 1", "next:", "other"},
                         });
}
