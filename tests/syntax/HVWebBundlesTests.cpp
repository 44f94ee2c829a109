// The shipped bundles of the web languages on snippets from real files: what a piece of each
// snippet is painted as, read from the style id of its runs.

#include "Defaults.h"
#include "HVKeywordBasedParser.h"
#include "HVPropertyList.h"
#include "HVSyntaxTestSupport.h"
#include "HVTextBuffer.h"
#include "HVTheme.h"

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
            {"s.split(/\"/); let a = \"x\";", {{"/\"/", "string.regexp"}, {"let", "storage"}}},
            {"x = /[/\"]+\\/'/g; let a", {{"/[/\"]+\\/'/g", "string.regexp"}, {"let", "storage"}}},
            {"  return /'/.test(s) || y", "y", "other"},
            {"if (!/\\d/.test(s)) f('a')", "'a'", "string"},
            {"/^#/.test(line)", "/^#/", "string.regexp"},
            // One left open ends with its line.
            {"x = /[a/ \"\nlet b", "let", "storage"},
            // Division is not a pattern.
            {"a = b / 2 / c; let d", "let", "storage"},
            {"f(a) / g(b) / 'c'", "'c'", "string"},
            // Template literals, over lines, with an escaped back-tick.
            {"`a\\`b\n\"c` let", {{"\"c", "string"}, {"let", "storage"}}},
            {"for (const x of xs) {}", "of", "keyword.operator"},
            // Contextual words only where they declare; decorators; import.meta.
            {"class A { get total() {} }", "get", "storage.type"},
            {"map.get(key); set(1)", "get", ""},
            {"@observable x = 1;", "@observable", "meta.preprocessor"},
            {"const u = import.meta.url;", "meta", "variable.language"},
            // JSX: text between tags is no code, tags and values are painted, and the code
            // after an element is code again.
            {"return <p>Don't stop</p>;\nlet a = 'x';", {{"'x'", "string"}, {"Don't", ""}}},
            {"x = <a href=\"/\" title='it'>Don't</a>; let y",
             {{"let", "storage"},
              {"\"/\"", "string.quoted.attribute-value"},
              {"<a href=", "meta.tag"}}},
            {"(<div><div>it's</div>it's</div>); let a", "let", "storage"},
            {"c ? <B onClick={() => f('>')} big /> : <><i>it's</i></>; let a", "let", "storage"},
            {"x = <ul>{xs.map((x) => <li key={x}>{x}'s</li>)}</ul>; let a",
             {{"let", "storage"}, {"<li key=", "meta.tag"}}},
            {"x = <p>{/* it's */}a &amp; b</p>",
             {{"/* it's */", "comment"}, {"&amp;", "constant.character.entity"}}},
            {"return (\n  <p>\n    Don't\n  </p>\n);\nlet a", "let", "storage"},
            // Embedded expressions are code: strings, words, and elements inside them.
            {"x = <p title={'it'}>{ok ? 'yes' : <b>no</b>}</p>; let y",
             {{"'yes'", "string"}, {"<b>", "meta.tag"}, {"'it'", "string.quoted.single"}}},
            // A comparison is no tag; an element left open is no element.
            {"if (a <b && c > d) f('x')", "'x'", "string"},
            {"x = <p>it's\n}\nlet a = 1", "s\n}\nlet a = 1", "string"},
        });
}

TEST(HVWebBundles, TypeScript) {
    HVCheckShippedBundle(
        "TypeScript",
        {
            {"type Id = string | number;", "type", "storage.type"},
            {"import type { A } from 'a';", "type", "storage.type"},
            {"if (event.type === 'x') {}", "type", ""},
            {"interface A extends B { readonly c?: unknown }",
             {{"interface", "storage.type"},
              {"readonly", "storage.modifier"},
              {"unknown", "support.type"}}},
            {"declare module 'x' { export = y }", "module", "storage.type"},
            {"namespace N { export enum E { A } }", "enum", "storage.type"},
            {"type U = T extends (infer E)[] ? E : never", "infer", "keyword.operator"},
            {"function f(x: any): x is string {}", "is", "keyword.operator"},
            {"const c = { a: 1 } as const satisfies R;", "satisfies", "keyword.operator"},
            {"class A { private override accessor b = 1 }", "accessor", "storage.modifier"},
            {"let v: void | bigint | symbol | object | never", "never", "support.type"},
            {"@Component({ selector: 'app' }) class A {}", "@Component", "meta.preprocessor"},
            {"const n = a!.b?.c ?? d; const r = /'/g; let x", "let", "storage"},
            {"const s = `a ${b} 'c`; let x", "let", "storage"},
            // A non-null assertion before a slash divides; "!" before a pattern negates.
            {"const r = total! / count; let x = 'a'", "let", "storage"},
            {"if (!/'/.test(s)) f()", "/'/", "string.regexp"},
            {"/**/ type A = B;", "type", "storage.type"},
            // Type parameters and comparisons are not markup.
            {"const f = <T>(x: T) => x; let y = 'it'", "'it'", "string"},
            {"const f = <T,>(x: T) => x; let y = 'it'", "'it'", "string"},
            {"const f = <T extends object>(x: T): T => x; let y = 'it'", "'it'", "string"},
            {"foo<Bar>(); let y = 'it'", "'it'", "string"},
            {"const t = a < b && c > d; let y = 'it'", "'it'", "string"},
            {"const a: Array<string> = []; let y = 'it'", "'it'", "string"},
            {"function g() {\n  const o = <Order>JSON.parse(s);\n  f('it');\n}", "'it'", "string"},
            {"interface F { <T>(x: T): T; }\nlet y = 'it'", "'it'", "string"},
            // TSX: a generic component, and text with apostrophes.
            {"return <List<Item> items={xs}>Don't</List>; let y = 'it'",
             {{"'it'", "string"}, {"Don't", ""}}},
        });
}

TEST(HVWebBundles, CSS) {
    HVCheckShippedBundle(
        "CSS",
        {
            // A hex value is a colour in a declaration, an id in a selector.
            {"#add { color: #cafe; }",
             {{"#add", "entity.other.attribute-name"}, {"#cafe", "constant.other"}}},
            {"ul #cafe:hover, a {", "#cafe", "entity.other.attribute-name"},
            {"a{border:1px solid #fff}", "#fff", "constant.other"},
            {"b { background: linear-gradient(#fff, #abc); }", "#abc", "constant.other"},
            // ... also when the brace comes on a later line.
            {"#cafe,\n.x {", "#cafe", "entity.other.attribute-name"},
            {"#bad\n{\n  color: #fade;\n}",
             {{"#bad", "entity.other.attribute-name"}, {"#fade", "constant.other"}}},
            {"a {\n  box-shadow: 0 0 1px #fff,\n    0 0 2px #abc;\n}", "#fff", "constant.other"},
            {"b { background: linear-gradient(\n    #cafe,\n    #000\n  );\n}", "#cafe",
             "constant.other"},
            {"#a1 { x: 1 }\n\n#add\n\n{", "#add", "constant.other"},
            {"p { background: url(http://x.test/#add); }", "http://x.test/#add", "string"},
            {"a { translate: 10px; rotate: 1deg; }", "translate", "support.type"},
            {"a { transform: translate(1px); }", "translate", "support.function"},
            {"@layer base;\n@scope (.card) {", "@scope", "keyword.other"},
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

TEST(HVWebBundles, StyleSheetDialects) {
    HVCheckShippedBundle(
        "SCSS",
        {
            // Line comments, but not in an unquoted URL nor in a string.
            {"// note\na { color: red; }",
             {{"// note", "comment.line"}, {"color", "support.type"}}},
            {"a { background: url(http://x.test/a.png); }", "http://x.test/a.png", "string"},
            {"a { content: \"http://x\"; }", "\"http://x\"", "string"},
            {"$gap: 4px !default;", {{"$gap", "variable.other"}, {"!default", "storage.modifier"}}},
            {"@mixin card($a) {", {{"@mixin", "storage.type"}, {"card", "entity.name.function"}}},
            {"@if $a == 1 { } @else { @include card(1); }",
             {{"@else", "keyword.control"}, {"@include", "keyword.other"}}},
            {".a { &__b { top: 0; } }", "&__b", "entity.other.attribute-name"},
            {"%ph { top: 0; }\n.b { @extend %ph; }", "%ph", "entity.other.attribute-name"},
            // Interpolation, also glued to a class name.
            {".col-#{$i} { top: 0; }",
             {{"#{$i}", "variable.other"}, {".col-", "entity.other.attribute-name"}}},
            {"#cafe,\n.x { top: 0; }", "#cafe", "entity.other.attribute-name"},
            {"$m: (key: #cafe, k2: #bad);", "#cafe", "constant.other"},
        });
    // Without braces, a hex-like name is an id unless it follows a property's colon.
    HVCheckShippedBundle(
        "Sass", {
                    {"#add\n  color: #cafe",
                     {{"#add", "entity.other.attribute-name"}, {"#cafe", "constant.other"}}},
                    {"=m($a)\n  top: 0\n.b\n  +m(1)", "m", "entity.name.function"},
                    {"// note\n.a\n  top: 0", "// note", "comment.line"},
                });
    HVCheckShippedBundle(
        "LESS",
        {
            {"// note\n.a { top: 0; }", "// note", "comment.line"},
            {"a { background: url(http://x.test/a.png); }", "http://x.test/a.png", "string"},
            {"@gap: 4px;\n.a { margin: @gap; }", "@gap", "variable.other"},
            {".a { .m(); }", ".m", "entity.name.function"},
            {".m() when (@a > 0) { top: 0; }", "when", "keyword.control"},
            {".col-@{i} { top: 0; }", "@{i}", "variable.other"},
            {"@media @phone { top: 0; }", "@media", "keyword.other"},
            {"#add,\n.x { top: 0; }", "#add", "entity.other.attribute-name"},
            {".a { color: #add; }", "#add", "constant.other"},
        });
}

TEST(HVWebBundles, Python) {
    HVCheckShippedBundle(
        "Python",
        {
            // A quote inside a docstring does not shift the strings after it.
            {"def f():\n    \"\"\"It's \"x\n    y\"\"\"\n    z = 'a'",
             {{"z", "other"}, {"y\"\"\"", "string"}}},
            {"'''a ' b\n'''\nc = \"d\"", "c", "other"},
            {"s = \"\"\"a\\\"\"\"\" if", "if", "keyword.control"},
            // Prefixed strings, prefix included.
            {"r\"\\d\" if", "r\"\\d\"", "string"},
            {"f'{x}' if", "f'{x}'", "string"},
            {"b'\\x00' if", "b'\\x00'", "string"},
            {"rb\"a\" if", "rb\"a\"", "string"},
            {"f\"\"\"a\n'b\"\"\" if", {{"if", "keyword.control"}, {"'b", "string"}}},
            // An ordinary word ending in a prefix letter is no prefix.
            {"for \"a\" in", "for", "keyword.control"},
            {"match x:\n    case 1:", {{"match", "keyword.control"}, {"case", "keyword.control"}}},
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
            {"Use ``a ` *x*`` now *y*", {{"*x*", "markup.raw"}, {"*y*", "markup.italic"}}},
            {"````\n```\n*x*\n````\n*y*", {{"*x*", "markup.raw"}, {"*y*", "markup.italic"}}},
            {"```py\n__init__ *x*\n# not a heading\n```\n# Head",
             {{"# not a heading", "markup.raw"}, {"# Head", "markup.heading"}}},
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

TEST(HVWebBundles, DataFormats) {
    HVCheckShippedBundle(
        "YAML",
        {
            // "#" starts a comment only after a blank; ";" never does.
            {"key: a;b # c", {{";b", ""}, {"# c", "comment.line"}}},
            {"tag: a#b\nurl: http://x.test/#top", {{"#b", ""}, {"#top", ""}}},
            // Quoted scalars only where a value starts; a quote in a plain one opens nothing.
            {"name: 'it''s # no'", "'it''s # no'", "string.quoted.single"},
            {"msg: \"a \\\" # b\"", "\"a \\\" # b\"", "string.quoted.double"},
            {"title: it's here\nnext: 'x'",
             {{"it's here", ""}, {"next", "entity.name.tag"}, {"'x'", "string"}}},
            // Block scalars run through their deeper lines, past "- " too.
            {"run: |\n  echo 'a'\n  # no\nnext: 1",
             {{"# no", "string.quoted.other"}, {"next", "entity.name.tag"}}},
            {"- run: >\n    x # y\n  name: z",
             {{"x # y", "string.quoted.other"}, {"name", "entity.name.tag"}}},
            {"base: &b\n  a: 1\nuse: *b", {{"&b", "entity.name"}, {"*b", "variable.other"}}},
            {"s: !!str 12", "!!str", "storage.type"},
            {"---\na: 1\n...", "---", "keyword.other"},
        });
    HVCheckShippedBundle("TOML",
                         {
                             {"a = \"x\" ; not a comment", "; not a comment", ""},
                             {"path = 'C:\\dir\\' # c",
                              {{"'C:\\dir\\'", "string.quoted.single"}, {"# c", "comment.line"}}},
                             {"s = \"\"\"\na # \"b\"\n\"\"\"\nk = 1",
                              {{"a # \"b\"", "string"}, {"k", "entity.name.tag"}}},
                             {"[a.b]\nx = 1", "[a.b]", "entity.name.toml"},
                             {"[[arr]]\nx = 1", "[[arr]]", "entity.name.toml"},
                             {"hosts = [\n  [1, 2],\n]", "[1, 2]", "other"},
                             {"d = 1979-05-27T07:32:00Z", "1979-05-27T07:32:00Z", "constant.other"},
                         });
    HVCheckShippedBundle(
        "JSON",
        {
            {"{\"a\": \"b\"}", {{"\"a\"", "entity.name.tag"}, {"\"b\"", "string.quoted.double"}}},
            {"{\"u\": \"http://x\" // c\n}",
             {{"\"http://x\"", "string"}, {"// c", "comment.line"}}},
            {"{/* c */ \"n\": -1.5e3, \"t\": true}",
             {{"-1.5e3", "constant.numeric"}, {"true", "constant.language"}}},
        });
}

// The editor paints a long text in pieces that end at line ends. An element that a piece cuts
// short, even inside its opening tag, runs to the piece's end, marked multi-line, so that the
// next piece starts before the element rather than inside it.
TEST(HVWebBundles, AJSXElementCutShortRunsToTheEndOfThePiece) {
    auto syntax =
        HVPropertyList::readFromFile(Defaults::applicationResourcesDirectory() +
                                     "/Bundles/JavaScript.hvbundle/Contents/syntax.plist");
    ASSERT_TRUE(syntax);
    HVKeywordBasedParser parser(nullptr, *syntax);
    auto theme = HVMakeTestTheme({"storage", "meta.tag"});
    parser.setTheme(theme);
    HVTextBuffer buffer(u"x = <List\n  items={a}\n/>;\nlet y");
    parser.parseRange({0, 10}, buffer);
    EXPECT_EQ(HVDumpRuns(buffer, *theme), "4+6 - ml");
    // At the end of the text it is no element, only marked for the edits below it.
    HVTextBuffer cut(u"x = <List\n  items={a}\n");
    parser.parseRange({0, cut.length()}, cut);
    EXPECT_EQ(HVDumpRuns(cut, *theme), "4+18 - ml");
}
