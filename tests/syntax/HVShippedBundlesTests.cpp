// The language bundles shipped in resources/Bundles, checked as data: every definition reads,
// every pattern compiles, every style id belongs to the vocabulary of resources/README.md, every
// file category exists, no extension is claimed twice, and the fold patterns classify typical
// lines of each language as a user expects.

#include "Defaults.h"
#include "HVBundle.h"
#include "HVBundleRepository.h"
#include "HVCodeNavParser.h"
#include "HVFileSystem.h"
#include "HVKeywordBasedParser.h"
#include "HVParser.h"
#include "HVPropertyList.h"
#include "HVRegex.h"
#include "HVSyntaxHighlighting.h"
#include "HVSyntaxRegion.h"
#include "HVSyntaxTestSupport.h"
#include "HVTagBasedParser.h"
#include "HVTestSupport.h"
#include "HVTextBuffer.h"
#include "HVUnicode.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <map>
#include <set>

namespace {

struct ShippedBundle {
    // The directory name without ".hvbundle".
    std::string name;
    std::string path;
    HVPlistValue info;
    HVPlistValue syntax;
    std::optional<HVPlistValue> codenav;
};

std::string contentsPath(const std::string& bundle, std::string_view file) {
    return bundle + "/Contents/" + std::string(file);
}

std::vector<ShippedBundle> shippedBundles() {
    std::vector<ShippedBundle> bundles;
    const std::string root = Defaults::applicationResourcesDirectory() + "/Bundles";
    for (const auto& path : HVFileSystem::listRecursively(root)) {
        if (HVFileSystem::pathExtension(path) != "hvbundle")
            continue;
        ShippedBundle bundle;
        std::string directory = HVFileSystem::lastPathComponent(path);
        bundle.name = directory.substr(0, directory.size() - std::string_view(".hvbundle").size());
        bundle.path = path;
        if (auto info = HVPropertyList::readFromFile(contentsPath(path, "Info.plist")))
            bundle.info = std::move(*info);
        if (auto syntax = HVPropertyList::readFromFile(contentsPath(path, "syntax.plist")))
            bundle.syntax = std::move(*syntax);
        bundle.codenav = HVPropertyList::readFromFile(contentsPath(path, "codenav.plist"));
        bundles.push_back(std::move(bundle));
    }
    std::sort(bundles.begin(), bundles.end(),
              [](const auto& a, const auto& b) { return a.name < b.name; });
    return bundles;
}

const ShippedBundle* bundleNamed(const std::vector<ShippedBundle>& bundles, std::string_view name) {
    for (const auto& bundle : bundles) {
        if (bundle.name == name)
            return &bundle;
    }
    return nullptr;
}

std::string stringOr(const HVPlistValue& dictionary, std::string_view key) {
    const std::string* value = dictionary.stringForKey(key);
    return value ? *value : std::string();
}

std::vector<std::string> stringsIn(const HVPlistValue& array) {
    std::vector<std::string> strings;
    if (array.array()) {
        for (const auto& item : *array.array()) {
            if (item.string())
                strings.push_back(*item.string());
        }
    }
    return strings;
}

std::vector<std::string> stringsFor(const HVPlistValue& dictionary, std::string_view key) {
    const HVPlistValue* array = dictionary.objectForKey(key);
    return array ? stringsIn(*array) : std::vector<std::string>();
}

// An id of the vocabulary, or one with a last dotted part of the bundle's own (the language).
bool inVocabulary(const std::string& id, const std::vector<std::string>& ids) {
    auto known = [&](const std::string& candidate) {
        return std::find(ids.begin(), ids.end(), candidate) != ids.end();
    };
    if (known(id))
        return true;
    std::size_t dot = id.rfind('.');
    return dot != std::string::npos && known(id.substr(0, dot));
}

// Every style id a syntax definition names.
std::vector<std::string> styleIds(const HVPlistValue& syntax) {
    std::vector<std::string> ids;
    if (const HVPlistValue* keywords = syntax.objectForKey("keywords"); keywords) {
        if (const auto* groups = keywords->dictionary()) {
            for (const auto& [id, words] : *groups)
                ids.push_back(id);
        }
    }
    for (const char* key : {"regex-keywords", "comments", "regions"}) {
        if (const HVPlistValue* list = syntax.objectForKey(key); list && list->array()) {
            for (const auto& item : *list->array()) {
                // A region without an id only keeps what it covers from being read as tokens.
                if (std::string_view(key) != "regions" || item.stringForKey("id"))
                    ids.push_back(stringOr(item, "id"));
                // The regions inside a region, as the regions of the text.
                if (const HVPlistValue* inside = item.objectForKey("inside")) {
                    auto more =
                        styleIds(HVPlistValue(HVPlistValue::Dictionary{{"regions", *inside}}));
                    ids.insert(ids.end(), more.begin(), more.end());
                }
            }
        }
    }
    for (const char* key : {"quotes", "style"}) {
        if (const HVPlistValue* map = syntax.objectForKey(key); map && map->dictionary()) {
            for (const auto& [kind, id] : *map->dictionary())
                ids.push_back(id.string() ? *id.string() : std::string());
        }
    }
    return ids;
}

// Title → extensions of every category in fileCategories.plist.
std::map<std::string, std::vector<std::string>> fileCategories() {
    std::map<std::string, std::vector<std::string>> categories;
    auto plist = HVPropertyList::readFromFile(Defaults::applicationResourcesDirectory() +
                                              "/data/fileCategories.plist");
    if (!plist)
        return categories;
    for (const char* kind : {"Text", "Image"}) {
        const HVPlistValue* group = plist->objectForKey(kind);
        if (!group || !group->dictionary())
            continue;
        for (const auto& [title, category] : *group->dictionary())
            categories[title] = stringsFor(category, "types");
    }
    return categories;
}

// The extensions a bundle claims: those of its categories, or its own list when the categories
// give none.
std::vector<std::string> claimedExtensions(const ShippedBundle& bundle) {
    static const auto categories = fileCategories();
    std::vector<std::string> extensions;
    for (const auto& title : stringsFor(bundle.info, "file-categories")) {
        if (auto found = categories.find(title); found != categories.end())
            extensions.insert(extensions.end(), found->second.begin(), found->second.end());
    }
    return extensions.empty() ? stringsFor(bundle.info, "file-types") : extensions;
}

} // namespace

TEST(HVShippedBundles, EveryBundleHasAnIdentityAndASyntaxDefinition) {
    auto bundles = shippedBundles();
    ASSERT_GE(bundles.size(), 15u);
    std::set<std::string> bundleIdentifiers;
    for (const auto& bundle : bundles) {
        SCOPED_TRACE(bundle.name);
        ASSERT_TRUE(bundle.info.isDictionary());
        ASSERT_TRUE(bundle.syntax.isDictionary());
        std::string identifier = stringOr(bundle.info, "CFBundleIdentifier");
        EXPECT_EQ(identifier.rfind("com.ternwick.halvet.bundles.", 0), 0u) << identifier;
        EXPECT_TRUE(bundleIdentifiers.insert(identifier).second) << identifier << " twice";
        EXPECT_EQ(stringOr(bundle.info, "CFBundleName"), bundle.name);
        EXPECT_EQ(stringOr(bundle.info, "CFBundleVersion"), "1.0");
        EXPECT_FALSE(stringOr(bundle.info, "tooltip").empty());

        std::string formatId = stringOr(bundle.syntax, "format-id");
        // That no two share it, the repository's load below shows.
        EXPECT_EQ(formatId.rfind("text.", 0), 0u) << formatId;
        std::string formatType = stringOr(bundle.syntax, "format-type");
        EXPECT_TRUE(formatType == "keyword" || formatType == "tag") << formatType;
        EXPECT_EQ(stringsFor(bundle.syntax, "openers").size(),
                  stringsFor(bundle.syntax, "closers").size());
    }
}

// Every pattern compiles and every definition reads: the repository's load below reports any
// that does not. What it does not check is checked here.
TEST(HVShippedBundles, FoldPatternsComeInPairsAndDisplaysEscapeParentheses) {
    for (const auto& bundle : shippedBundles()) {
        SCOPED_TRACE(bundle.name);
        if (const HVPlistValue* folding = bundle.syntax.objectForKey("folding")) {
            EXPECT_NE(stringOr(*folding, "open"), "");
            EXPECT_NE(stringOr(*folding, "close"), "");
        }
        if (bundle.codenav && bundle.codenav->array()) {
            EXPECT_FALSE(bundle.codenav->array()->empty());
            for (const auto& item : *bundle.codenav->array()) {
                // "(n)" in a display stands for capture n; the shipped displays write
                // captures as "$n" and escape every parenthesis they show.
                std::string display = stringOr(item, "display");
                EXPECT_NE(display, "") << stringOr(item, "pattern");
                for (std::size_t i = 0; i < display.size(); ++i) {
                    if (display[i] == '\\') {
                        ++i;
                        continue;
                    }
                    EXPECT_TRUE(display[i] != '(' && display[i] != ')') << display;
                }
            }
        }
    }
}

TEST(HVShippedBundles, StyleIdsComeFromTheVocabulary) {
    auto ids = HVStyleIdVocabulary();
    ASSERT_FALSE(ids.empty());
    for (const auto& bundle : shippedBundles()) {
        SCOPED_TRACE(bundle.name);
        for (const auto& id : styleIds(bundle.syntax))
            EXPECT_TRUE(inVocabulary(id, ids)) << "\"" << id << "\" is not in the vocabulary";
    }
}

// A keyword that holds a character outside the keyword characters never matches a word, a
// word listed in two groups gets only one colour, and a language that is not case-sensitive
// looks words up in lower case. A comment that begins with a keyword character is painted as
// a word, one that begins with a quote as a string.
TEST(HVShippedBundles, KeywordsAndCommentsCanMatch) {
    for (const auto& bundle : shippedBundles()) {
        if (stringOr(bundle.syntax, "format-type") != "keyword")
            continue;
        SCOPED_TRACE(bundle.name);
        std::string characters = stringOr(bundle.syntax, "keyword-characters");
        bool caseSensitive = bundle.syntax.boolForKey("case-sensitive").value_or(false);
        std::map<std::string, std::string> groupOfWord;
        if (const HVPlistValue* keywords = bundle.syntax.objectForKey("keywords")) {
            for (const auto& [id, words] : *keywords->dictionary()) {
                for (const auto& word : stringsIn(words)) {
                    EXPECT_EQ(word.find_first_not_of(characters), std::string::npos)
                        << word << " holds a character that ends words";
                    if (!caseSensitive) {
                        EXPECT_TRUE(std::none_of(word.begin(), word.end(), ::isupper))
                            << word << " is not lower case";
                    }
                    auto [entry, added] = groupOfWord.emplace(word, id);
                    EXPECT_TRUE(added) << word << " is in " << entry->second << " and " << id;
                }
            }
        }
        std::string quoteCharacters;
        if (const HVPlistValue* quotes = bundle.syntax.objectForKey("quotes")) {
            if (quotes->stringForKey("single"))
                quoteCharacters += '\'';
            if (quotes->stringForKey("double"))
                quoteCharacters += '"';
        }
        if (const HVPlistValue* comments = bundle.syntax.objectForKey("comments")) {
            for (const auto& comment : *comments->array()) {
                std::string begin = stringOr(comment, "begin");
                ASSERT_FALSE(begin.empty());
                EXPECT_EQ(characters.find(begin[0]), std::string::npos) << begin;
                EXPECT_EQ(quoteCharacters.find(begin[0]), std::string::npos) << begin;
            }
        }
    }
}

// That no extension is claimed twice, and that every embedded language is shipped, the
// repository's load below shows: each extension leads to its bundle, each embedding finds its
// language.
TEST(HVShippedBundles, CategoriesExistAndOnlyHiddenLanguagesClaimNoExtension) {
    auto categories = fileCategories();
    ASSERT_FALSE(categories.empty());
    for (const auto& bundle : shippedBundles()) {
        SCOPED_TRACE(bundle.name);
        auto titles = stringsFor(bundle.info, "file-categories");
        for (const auto& title : titles)
            EXPECT_TRUE(categories.count(title)) << "no category titled " << title;
        // The list is read only when the categories give no extension: never ship both.
        EXPECT_TRUE(titles.empty() || !bundle.info.objectForKey("file-types"));
        bool hidden = bundle.info.boolForKey("hide-in-list").value_or(false);
        EXPECT_EQ(claimedExtensions(bundle).empty(), hidden) << "a listed language claims some";
    }
}

TEST(HVShippedBundles, EmbeddedTagsAreLowerCaseWithAnEnd) {
    for (const auto& bundle : shippedBundles()) {
        const HVPlistValue* embedded = bundle.syntax.objectForKey("embedded");
        if (!embedded)
            continue;
        SCOPED_TRACE(bundle.name);
        for (const auto& [tag, entry] : *embedded->dictionary()) {
            // Tag names are looked up in lower case.
            EXPECT_TRUE(std::none_of(tag.begin(), tag.end(), ::isupper)) << tag;
            if (entry.isDictionary()) {
                EXPECT_NE(stringOr(entry, "end"), "") << tag;
            }
        }
    }
}

// Every sample has a language: the reference tests of the command line highlight each one.
TEST(HVShippedBundles, EveryListedLanguageHasASample) {
    std::set<std::string> sampled;
    for (const auto& path : HVFileSystem::listRecursively(HVTestDataPath("highlight")))
        sampled.insert(HVFileSystem::pathExtension(path));
    for (const auto& bundle : shippedBundles()) {
        if (bundle.info.boolForKey("hide-in-list").value_or(false))
            continue;
        auto extensions = claimedExtensions(bundle);
        EXPECT_TRUE(std::any_of(extensions.begin(), extensions.end(),
                                [&](const auto& extension) { return sampled.count(extension); }))
            << bundle.name << " has no sample";
    }
}

// Typical lines of each language and how the fold gutter should mark them, with the nesting
// step the line counts for.
TEST(HVShippedBundles, FoldPatternsMarkTypicalLines) {
    struct Case {
        const char* bundle;
        const char* line;
        HVFoldState state;
        std::size_t step;
    };
    using enum HVFoldState;
    const Case cases[] = {
        {"JavaScript", "if (ready) {", Opener, 1},
        {"JavaScript", "} else {", CloserThenOpener, 1},
        {"JavaScript", "});", Closer, 1},
        {"JavaScript", "}]", Closer, 2},
        {"JavaScript", "const point = { x: 1, y: 2 };", None, 0},
        {"JavaScript", "foo({ a: 1 }, function () {", Opener, 1},
        {"JavaScript", "$(function () { items.forEach((item) => {", Opener, 2},
        {"JavaScript", "const routes = [", Opener, 1},
        {"JavaScript", "if (text === '{') {", Opener, 1},
        {"JavaScript", "const close = \"}\", open = /\\{/;", None, 0},
        {"JavaScript", "  },", Closer, 1},
        {"JavaScript", " * @param {string} name", None, 0},
        {"JavaScript", "/**", Opener, 1},
        {"JavaScript", " */", Closer, 1},
        {"JavaScript", "/* one line */", None, 0},
        {"JavaScript", "\"lint\": \"eslint src/**/*.js\",", None, 0},
        {"JavaScript", "  </script>", Closer, 1},
        {"JavaScript", "    <ul className=\"list\">", Opener, 1},
        {"JavaScript", "    </ul>", Closer, 1},
        {"JavaScript", "      <li key={item.id}>{item.name}</li>", None, 0},
        {"JavaScript", "      <Avatar user={author} />", None, 0},
        {"JavaScript", "if (a < b && c > d) {", Opener, 1},
        {"JavaScript", "{items.map((item) => (", Opener, 1},
        {"TypeScript", "export interface Order {", Opener, 1},
        {"TypeScript", "function first<T>(items: T[]): T | undefined {", Opener, 1},
        {"TypeScript", "type Point = { x: number; y: number };", None, 0},
        {"TypeScript", "  }", Closer, 1},
        {"TypeScript", "        </section>", Closer, 1},
        {"CSS", ".card {", Opener, 1},
        {"CSS", "}", Closer, 1},
        {"CSS", "a { color: red; }", None, 0},
        {"CSS", "@media (max-width: 600px) {", Opener, 1},
        {"CSS", "    </style>", Closer, 1},
        {"SCSS", "@mixin respond($size) {", Opener, 1},
        {"SCSS", "  font: 600 #{rem(20px)}/1.2 serif;", None, 0},
        {"SCSS", "$map: (", Opener, 1},
        {"SCSS", ");", Closer, 1},
        {"Sass", "$sizes: (", Opener, 1},
        {"LESS", ".m() when (@a > 0) {", Opener, 1},
        {"LESS", "  width: ~\"calc(100% - @{gap})\";", None, 0},
        {"HTML", "<div class=\"card\">", Opener, 1},
        {"HTML", "</div>", Closer, 1},
        {"HTML", "<li><a href=\"/\">Home</a></li>", None, 0},
        {"HTML", "</div><div>", CloserThenOpener, 1},
        {"HTML", "<ul><li>First</li>", Opener, 1},
        {"HTML", "<section id=\"a\"><div>", Opener, 2},
        {"HTML", "</div></section>", Closer, 2},
        {"HTML", "<li>Last</li></ul>", Closer, 1},
        {"HTML", "<p>Some text that", Opener, 1},
        {"HTML", "goes on <em>here</em>.</p>", Closer, 1},
        {"HTML", "<DIV CLASS=\"old\">", Opener, 1},
        {"HTML", "<div", Opener, 1},
        {"HTML", "<img src=\"a.png\" alt=\"\">", None, 0},
        {"HTML", "<header><h1>Title</h1></header>", None, 0},
        {"HTML", "<!-- navigation", Opener, 1},
        {"HTML", "-->", Closer, 1},
        {"HTML", "<!-- one line -->", None, 0},
        {"XHTML", "<table class=\"items\">", Opener, 1},
        {"XHTML", "<br />", None, 0},
        {"XML", "<channel>", Opener, 1},
        {"XML", "</channel>", Closer, 1},
        {"XML", "<title>News</title>", None, 0},
        {"XML", "<atom:link href=\"feed.xml\" rel=\"self\"/>", None, 0},
        {"XML", "<item><title>A</title>", Opener, 1},
        {"XML", "<rss version=\"2.0\"", Opener, 1},
        {"XML", "<?xml version=\"1.0\"?>", None, 0},
        {"XML", "text.</p></item>", Closer, 2},
        {"XML", "<description><![CDATA[", Opener, 2},
        {"XML", "]]></description>", Closer, 2},
        {"SVG", "<g id=\"hours\" transform=\"translate(16 52)\">", Opener, 1},
        {"SVG", "<stop offset=\"0%\" stop-color=\"#c98a4b\"/>", None, 0},
        {"SVG", "  ]]></style>", Closer, 2},
        {"Vue", "<template>", Opener, 1},
        {"Vue", "<li v-for=\"item in items\" :key=\"item.id\">", Opener, 1},
        {"Vue", "</template>", Closer, 1},
        {"Svelte", "  {#each breads as bread, i (bread.id)}", Opener, 1},
        {"Svelte", "  {:else if status === \"failed\"}", CloserThenOpener, 1},
        {"Svelte", "  {/each}", Closer, 1},
        {"Svelte", "{#if open}<b>x</b>{/if}", None, 0},
        {"Svelte", "<form on:submit={submit}>", Opener, 1},
        {"PHP", "<?php", Opener, 1},
        {"PHP", "?>", Closer, 1},
        {"PHP", "<?php echo $title; ?>", None, 0},
        {"PHP", "<?php if ($user): ?>", Opener, 1},
        {"PHP", "<?php else: ?>", CloserThenOpener, 1},
        {"PHP", "<?php endif; ?>", Closer, 1},
        {"PHP", "<?php foreach ($items as $item): ?>", Opener, 1},
        {"PHP", "<?php endforeach; ?>", Closer, 1},
        {"PHP", "<main id=\"products\">", Opener, 1},
        {"PHP Code", "{", Opener, 1},
        {"PHP Code", "$options = [", Opener, 1},
        {"PHP Code", "];", Closer, 1},
        {"PHP Code", "  ?>", Closer, 1},
        {"Python", "items = [", Opener, 1},
        {"Python", "print(format(x), [", Opener, 2},
        {"Python", "])", Closer, 2},
        {"Python", "def main(argv=None):", None, 0},
        {"Ruby", "def save", Opener, 1},
        {"Ruby", "  end", Closer, 1},
        {"Ruby", "  else", CloserThenOpener, 1},
        {"Ruby", "rescue IOError => e", CloserThenOpener, 1},
        {"Ruby", "def empty?; items.empty? end", None, 0},
        {"Ruby", "items.each do |item|", Opener, 1},
        {"Ruby", "class Error < StandardError; end", None, 0},
        {"Ruby", "  return if done", None, 0},
        {"Shell Script", "if [ -f \"$file\" ]; then", Opener, 1},
        {"Shell Script", "else", CloserThenOpener, 1},
        {"Shell Script", "elif [ -d \"$file\" ]; then", CloserThenOpener, 1},
        {"Shell Script", "fi", Closer, 1},
        {"Shell Script", "for f in *.html; do", Opener, 1},
        {"Shell Script", "done", Closer, 1},
        {"Shell Script", "case \"$1\" in", Opener, 1},
        {"Shell Script", "esac", Closer, 1},
        {"Shell Script", "log() {", Opener, 1},
        {"Shell Script", "if true; then echo yes; fi", None, 0},
        {"SQL", "CREATE TABLE orders (", Opener, 1},
        {"SQL", ");", Closer, 1},
        {"SQL", "    price NUMERIC(10, 2) NOT NULL CHECK (price >= 0),", None, 0},
        {"SQL", "BEGIN", Opener, 1},
        {"SQL", "BEGIN;", None, 0},
        {"SQL", "END;", Closer, 1},
        {"SQL", "    END IF;", None, 0},
        {"SQL", "  CASE", Opener, 1},
        {"SQL", "  END AS tier", Closer, 1},
        {"Perl", "sub new {", Opener, 1},
        {"Perl", "}", Closer, 1},
        {"Markdown", "```js", Opener, 1},
        {"Markdown", "```", Closer, 1},
        {"Markdown", "<!--", Opener, 1},
        {"YAML", "with: { node: 20, cache: npm }", None, 0},
        {"YAML", "tags: [", Opener, 1},
        {"TOML", "[server.headers]", None, 0},
        {"TOML", "hosts = [", Opener, 1},
        {"TOML", "]", Closer, 1},
        {"JSON", "  \"menu\": [", Opener, 1},
        {"JSON", "  },", Closer, 1},
        {"JSON", "/* one line */", None, 0},
        {"Configuration", "<IfModule mod_rewrite.c>", Opener, 1},
        {"Configuration", "</IfModule>", Closer, 1},
        {"Configuration", "server {", Opener, 1},
        {"Plain Text", "{", None, 0},
        {"Twig", "{% block content %}", Opener, 1},
        {"Twig", "{% endblock %}", Closer, 1},
        {"Twig", "{% block title %}Shop{% endblock %}", None, 0},
        {"Twig", "{%- if user -%}", Opener, 1},
        {"Twig", "{% elseif product.isNew %}", CloserThenOpener, 1},
        {"Twig", "<li>{% if a %}x{% endif %}</li>", None, 0},
        {"Twig", "<ul>{% for p in products %}", Opener, 2},
        {"Twig", "{% endfor %}</ul>", Closer, 2},
        {"Twig", "{#", Opener, 1},
        {"Twig", "#}", Closer, 1},
        {"Twig", "</li>{% endfor %}", Closer, 2},
        {"Twig", "{% if a %}x{% endif %}{# note #}</div>", Closer, 1},
        {"ERB", "<%= t('.total') %></div>", Closer, 1},
        {"Liquid", "{% case product.type %}", Opener, 1},
        {"Liquid", "  {% when 'Gift Card' %}", CloserThenOpener, 1},
        {"Liquid", "{% unless a %}<span>Sold out</span>{% endunless %}", None, 0},
        {"Handlebars", "{{#each order.items as |item|}}", Opener, 1},
        {"Handlebars", "{{/each}}", Closer, 1},
        {"Handlebars", "{{else}}", CloserThenOpener, 1},
        {"Handlebars", "{{^}}", CloserThenOpener, 1},
        {"Handlebars", "<tr class=\"{{#if @first}}first{{/if}}\">", Opener, 1},
        {"Handlebars", "{{../title}}", None, 0},
        {"Handlebars", "{{!--", Opener, 1},
        {"ERB", "<% if current_user %>", Opener, 1},
        {"ERB", "<% @posts.each do |post| %>", Opener, 1},
        {"ERB", "<%- else -%>", CloserThenOpener, 1},
        {"ERB", "<% end %>", Closer, 1},
        {"ERB", "<% if a %>x<% end %>", None, 0},
        {"ERB", "<%= link_to 'x', y if z %>", None, 0},
        {"EJS", "<% if (flash.error) { %>", Opener, 1},
        {"EJS", "<% } else if (flash.info) { %>", CloserThenOpener, 1},
        {"EJS", "<%_ }); _%>", Closer, 1},
        {"EJS", "<%= a ? '{' : '}' %>", None, 0},
        {"JSP", "<c:forEach var=\"p\" items=\"${products}\">", Opener, 1},
        {"JSP", "</c:forEach>", Closer, 1},
        {"JSP", "<c:if test=\"${a}\"><p>x</p></c:if>", None, 0},
        {"JSP", "<%--", Opener, 1},
        {"ASP", "<% If Session(\"user\") = \"\" Then %>", Opener, 1},
        {"ASP", "<% Else %>", CloserThenOpener, 1},
        {"ASP", "<% End If %>", Closer, 1},
        {"ASP", "<% foreach (var o in Orders) { %>", Opener, 1},
        {"ASP", "<% Next %>", Closer, 1},
    };
    auto bundles = shippedBundles();
    std::map<std::string, std::unique_ptr<HVParser>> parsers;
    for (const auto& test : cases) {
        SCOPED_TRACE(std::string(test.bundle) + ": " + test.line);
        const ShippedBundle* bundle = bundleNamed(bundles, test.bundle);
        ASSERT_TRUE(bundle);
        auto& parser = parsers[test.bundle];
        if (!parser)
            parser = std::make_unique<HVParser>(nullptr, bundle->syntax);
        std::u16string line = HVUnicode::utf16(test.line);
        HVFoldState state = parser->foldStateForLine(line);
        EXPECT_EQ(HVFoldStateName(state), HVFoldStateName(test.state));
        EXPECT_EQ(parser->foldStepForLine(line, state), test.step);
    }
}

// Of the XML languages only SVG hands its style and script elements to CSS and JavaScript.
TEST(HVShippedBundles, OnlySVGEmbedsStyleSheetsAndScripts) {
    auto bundles = shippedBundles();
    for (auto [name, expected] : {std::pair{"XML", 0u}, std::pair{"SVG", 2u}}) {
        const HVPlistValue::Dictionary* embedded =
            bundleNamed(bundles, name)->syntax.dictionaryForKey("embedded");
        ASSERT_TRUE(embedded);
        EXPECT_EQ(embedded->count("style") + embedded->count("script"), expected) << name;
    }
}

// The program reads them as the checks above do: every bundle loads without a complaint,
// claims what its Info.plist says, finds the languages it embeds and keeps every navigation
// item.
TEST(HVShippedBundles, TheRepositoryLoadsEveryBundleWhole) {
    HVIsolatedPreferences preferences;
    HVTemporaryDirectory userData;
    HVScopedEnvironment dataHome("XDG_DATA_HOME", userData.path());
    HVCodeNavParser::registerWithBundles();
    HVBundleRepository repository;
    auto shipped = shippedBundles();
    auto bundles = repository.bundles();
    EXPECT_EQ(bundles.size(), shipped.size());
    for (const auto& error : repository.loadErrors())
        ADD_FAILURE() << error.fullDescription();
    for (const auto& bundle : bundles) {
        SCOPED_TRACE(bundle->title());
        const ShippedBundle* files = bundleNamed(shipped, bundle->title());
        ASSERT_TRUE(files);
        for (const auto& error : bundle->loadErrors())
            ADD_FAILURE() << error.fullDescription();
        ASSERT_TRUE(bundle->parser());
        EXPECT_EQ(bundle->identifier(), stringOr(files->syntax, "format-id"));
        EXPECT_EQ(repository.bundleForIdentifier(bundle->identifier()), bundle);
        EXPECT_EQ(bundle->fileTypes(), claimedExtensions(*files));
        for (const auto& extension : bundle->fileTypes())
            EXPECT_EQ(repository.bundleForFileCategory(nullptr, extension), bundle) << extension;

        auto* navigation = dynamic_cast<HVCodeNavParser*>(bundle->codeNavParser());
        ASSERT_TRUE(navigation);
        EXPECT_EQ(navigation->searches().size(), files->codenav->array()->size());

        if (auto* markup = dynamic_cast<HVTagBasedParser*>(bundle->parser().get())) {
            for (const auto& [tag, language] : markup->embedded())
                EXPECT_TRUE(language.parser.lock()) << language.identifier;
            EXPECT_FALSE(markup->subparsers().empty());
        }
    }
}

// Every region pattern finishes its searches within the match limit on a line of a megabyte (in
// UTF-16) built from each sample, its line breaks made blanks: a pattern that backtracks without
// bound on long lines shows as a count of searches that gave up, whatever the machine's speed.
TEST(HVShippedBundles, RegionPatternsStayWithinTheMatchLimitOnAMegabyteLine) {
    HVIsolatedPreferences preferences;
    HVTemporaryDirectory userData;
    HVScopedEnvironment dataHome("XDG_DATA_HOME", userData.path());
    HVBundleRepository repository;
    auto theme = HVMakeTestTheme(HVStyleIdVocabulary());
    auto hits = [](HVParser& parser) {
        std::size_t count = 0;
        for (HVParser* language : parser.subparsers())
            if (auto* keywords = dynamic_cast<HVKeywordBasedParser*>(language))
                for (const auto& region : keywords->regions())
                    count += region.matchLimitHits();
        if (auto* keywords = dynamic_cast<HVKeywordBasedParser*>(&parser))
            for (const auto& region : keywords->regions())
                count += region.matchLimitHits();
        return count;
    };
    for (const auto& path : HVFileSystem::listRecursively(HVTestDataPath("highlight"))) {
        auto bundle = repository.bundleForFileName(path);
        if (!bundle || !bundle->parser() || path.find("/test-") != std::string::npos)
            continue;
        SCOPED_TRACE(path);
        std::u16string sample = HVUnicode::utf16(*HVFileSystem::readFile(path));
        std::replace_if(
            sample.begin(), sample.end(), [](char16_t c) { return c == u'\n' || c == u'\r'; },
            u' ');
        std::u16string line;
        while (line.size() < 512 * 1024)
            line += sample;
        HVParser& parser = *bundle->parser();
        parser.setTheme(theme);
        std::size_t before = hits(parser);
        HVTextBuffer buffer(line);
        HVSyntaxHighlighting::highlightText(buffer, parser, *theme);
        EXPECT_EQ(hits(parser) - before, 0u);
    }
}
