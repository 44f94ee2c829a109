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
            {" tags | join(', ') ", {{"join", "support.function"}, {"', '", "string"}}},
            {" 'a|upper' ~ name ", {{"upper", "string"}, {"name", "other"}}},
            {" for product in products if product.visible ",
             {{"for", "keyword.control"}, {"in", "keyword.operator"}}},
            {"- if app.user -", "if", "keyword.control"},
            {" loop.first ? 'first' ", "loop", "variable.language"},
            {" x is not empty ", "empty", "constant.language"},
            {" range(1, 10) ", "10", "constant.numeric"},
            // Escaped quotes and a closing mark inside strings.
            {" 'don\\'t' ~ name ", "name", "other"},
            {" \"}}\" ~ x ", "x", "other"},
            // Liquid's inline comments run to the end of their line.
            {" liquid\n  # sold out last\n  assign x = 1",
             {{"# sold out last", "comment"}, {"assign", "keyword.control"}}},
            // Words are case-sensitive, as the engines read them.
            {" True ", "True", "constant.language"},
            {" Loop ", "Loop", ""},
        });
}

TEST(HVTemplateBundles, HandlebarsCode) {
    HVCheckShippedBundle("Handlebars Code",
                         {
                             // Sections and their ends only at the start of the expression.
                             {"#each order.items as |item|",
                              {{"#each", "keyword.control"}, {"as", "keyword.control"}}},
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
            {" String s = \"it's\"; int n; ", {{"\"it's\"", "string"}, {"int", "storage.type"}}},
            {" char c = 'x'; int n; ", {{"'x'", "constant.character"}, {"int", "storage.type"}}},
            {" c = '\\''; int n; ", "int", "storage.type"},
            {" private static String shorten(String text) {", "private", "storage.modifier"},
            {" /** it's doc */ int n; ", "it's doc", "comment"},
            {" decimal total = 0m; ", "0m", "constant.numeric"},
            // Directives and expressions.
            {" page import=\"java.util.List\" ", "import", "keyword.other"},
            {" Page Language=\"C#\" ", "Page", "keyword.other"},
            {" Page.Title ", "Page", ""},
            {" empty products ", "empty", "keyword.operator"},
            {" status.first ? 'first' : '' ", {{"'first'", "string"}, {"''", "string"}}},
            {" product.stock gt 0 and not x ", "gt", "keyword.operator"},
            // VBScript: an apostrophe starts a comment, words in any case.
            {" ' it's a note\nDim x", {{"' it's a note", "comment"}, {"Dim", "keyword.other"}}},
            {" If x Then Response.Write \"a\"",
             {{"Then", "keyword.control"}, {"Response", "support.class"}}},
        });
}

// The pages: code between the delimiters wherever they stand (text, attribute values, scripts),
// comments that hide everything to their end, and text that the code leaves alone. A closing
// mark inside a string of the code does not close it, as the engines read it.
TEST(HVTemplateBundles, DelimitersInPages) {
    HVCheckShippedBundle(
        "Twig",
        {
            {"<p>{{ user.name|title }}</p>", {{"title", "support.function"}, {"{{", "meta.tag"}}},
            {"<a href=\"{{ path('home') }}\">Home</a>",
             {{"'home'", "string.quoted.single"}, {"Home", ""}}},
            {"{# it's {{ not }} code #}<p>x</p>", {{"{{ not }}", "comment"}, {"<p>", "meta.tag"}}},
            {"<p>Don't {{ a }} stop</p><b>", "stop", ""},
            {"<p>{{ \"}}\" ~ x }}</p>", {{"\"}}\"", "string"}, {"}}<", "meta.tag"}}},
            {"{%- if user -%}<b>", {{"if", "keyword.control"}, {"<b>", "meta.tag"}}},
            {"<script>var a = {{ data|json_encode }};</script>", "json_encode", "support.function"},
            {"{% verbatim %}<b>{{ x }}</b>{% endverbatim %}",
             {{"{{ x }}", ""}, {"<b>", "meta.tag"}}},
        });
    HVCheckShippedBundle("Liquid",
                         {
                             {"{% comment %}it's {{ x }}{% endcomment %}<b>",
                              {{"it's {{ x }}", "comment"}, {"<b>", "meta.tag"}}},
                             {"{{ product.title | escape }}", "escape", "support.function"},
                             {"{% raw %}{{ x }}{% endraw %}", "{{ x }}", ""},
                         });
    HVCheckShippedBundle(
        "Handlebars", {
                          {"{{!-- it's }} --}}<b>", {{"it's }}", "comment"}, {"<b>", "meta.tag"}}},
                          {"{{! note }}<b>", "note", "comment"},
                          {"{{#each items}}<li>{{this}}</li>{{/each}}",
                           {{"/each", "keyword.control"}, {"this", "variable.language"}}},
                          {"<p>{{{body}}}</p>", "{{{", "meta.tag"},
                          {"<a href=\"{{../url}}\">", "/url", ""},
                      });
    HVCheckShippedBundle(
        "ERB", {
                   {"<%# it's a note %><b>", {{"it's a note", "comment"}, {"<b>", "meta.tag"}}},
                   {"<li class=\"<%= cls if x %>\">", "if", "keyword.control"},
                   {"<%= \"100%>\" %> done", "done", ""},
                   {"<%- if a -%><b>", "<b>", "meta.tag"},
               });
    HVCheckShippedBundle("EJS", {
                                    {"<% if (a) { %><b>", "if", "keyword.control"},
                                    {"<%_ x _%> don't", "don't", ""},
                                    {"<%# it's %><b>", "it's", "comment"},
                                });
    HVCheckShippedBundle("JSP", {
                                    {"<%-- it's --%><b>", "it's", "comment"},
                                    {"<p>${empty list}</p>", "empty", "keyword.operator"},
                                    {"<a href=\"${ctx}/x\">", "${", "meta.tag"},
                                    {"<% char c = '\"'; %><b>", "<b>", "meta.tag"},
                                });
    HVCheckShippedBundle("ASP", {
                                    {"<% ' it's a note %><b>", "<b>", "meta.tag"},
                                    {"<%# Eval(\"Name\") %>", "\"Name\"", "string"},
                                    {"<%: Model.Name %> it's", "it's", ""},
                                });
}
