// The shipped template languages: the code between the delimiters of Twig, Liquid, Handlebars,
// JSP and ASP pages, on snippets as the markup hands them over (without the delimiters).

#include "HVSyntaxTestSupport.h"

#include <gtest/gtest.h>

TEST(HVTemplateBundles, TemplateCode) {
    HVCheckShippedBundle(
        "Template Code",
        {
            // A filter's name after the bar, with or without blanks; a bar in a string is text.
            {" product.name|title ", "title", "support.function"},
            {" tags | join(', ') ", "join", "support.function"},
            {" tags | join(', ') ", "', '", "string"},
            {" 'a|upper' ~ name ", "upper", "string"},
            {" 'a|upper' ~ name ", "name", "other"},
            {" for product in products if product.visible ", "for", "keyword.control"},
            {" for product in products if product.visible ", "in", "keyword.operator"},
            {"- if app.user -", "if", "keyword.control"},
            {" loop.first ? 'first' ", "loop", "variable.language"},
            {" x is not empty ", "empty", "constant.language"},
            {" range(1, 10) ", "10", "constant.numeric"},
            // Escaped quotes and a closing mark inside strings.
            {" 'don\\'t' ~ name ", "name", "other"},
            {" \"}}\" ~ x ", "x", "other"},
            // Liquid's inline comments run to the end of their line.
            {" liquid\n  # sold out last\n  assign x = 1", "# sold out last", "comment"},
            {" liquid\n  # sold out last\n  assign x = 1", "assign", "keyword.control"},
            // Words are case-sensitive, as the engines read them.
            {" True ", "True", "constant.language"},
            {" Loop ", "Loop", ""},
        });
}

TEST(HVTemplateBundles, HandlebarsCode) {
    HVCheckShippedBundle("Handlebars Code",
                         {
                             // Sections and their ends only at the start of the expression.
                             {"#each order.items as |item|", "#each", "keyword.control"},
                             {"#each order.items as |item|", "as", "keyword.control"},
                             {"~#if @first~", "#if", "keyword.control"},
                             {"/each", "/each", "keyword.control"},
                             {"^items", "^items", "keyword.control"},
                             {"^", "^", "keyword.control"},
                             {"#*inline \"links\"", "#*inline", "keyword.control"},
                             {"../title", "/title", ""},
                             {"formatPrice x currency=../order.currency", "/order", ""},
                             {"else if order.note", "if", "keyword.control"},
                             // Partials.
                             {"> email/header title=x", "> email/header", "keyword.other"},
                             {"a > b", "> b", ""},
                             {"@index", "@index", "variable.language"},
                             {"t \"order.thanks\" n=1", "\"order.thanks\"", "string"},
                             {"concat \"}}\" 'don\\'t' x", "x", "other"},
                         });
}

TEST(HVTemplateBundles, ServerCode) {
    HVCheckShippedBundle(
        "Server Code",
        {
            // Java and C#.
            {" String s = \"it's\"; int n; ", "\"it's\"", "string"},
            {" String s = \"it's\"; int n; ", "int", "storage.type"},
            {" char c = 'x'; int n; ", "'x'", "constant.character"},
            {" char c = 'x'; int n; ", "int", "storage.type"},
            {" c = '\\''; int n; ", "int", "storage.type"},
            {" private static String shorten(String text) {", "private", "storage.modifier"},
            {" /** it's doc */ int n; ", "it's doc", "comment"},
            {" decimal total = 0m; ", "0m", "constant.numeric"},
            // Directives and expressions.
            {" page import=\"java.util.List\" ", "import", "keyword.other"},
            {" empty products ", "empty", "keyword.operator"},
            {" product.stock gt 0 and not x ", "gt", "keyword.operator"},
            // VBScript: an apostrophe starts a comment, words in any case.
            {" ' it's a note\nDim x", "' it's a note", "comment"},
            {" ' it's a note\nDim x", "Dim", "keyword.other"},
            {" If x Then Response.Write \"a\"", "Then", "keyword.control"},
            {" If x Then Response.Write \"a\"", "Response", "support.class"},
        });
}
