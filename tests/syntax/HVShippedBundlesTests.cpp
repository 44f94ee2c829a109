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

// Every pattern compiles and every definition reads: the repository's load below reports any
// that does not. What it does not check is checked here.
TEST(HVShippedBundles, EveryBundleHasAnIdentityPairedPatternsAndStyleIdsOfTheVocabulary) {
    auto bundles = shippedBundles();
    ASSERT_GE(bundles.size(), 15u);
    auto ids = HVStyleIdVocabulary();
    ASSERT_FALSE(ids.empty());
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
        for (const auto& id : styleIds(bundle.syntax))
            EXPECT_TRUE(inVocabulary(id, ids)) << "\"" << id << "\" is not in the vocabulary";

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
// language. Every listed language has a sample: the reference tests of the command line
// highlight each one.
TEST(HVShippedBundles, CategoriesExistOnlyHiddenLanguagesClaimNoExtensionAndTheRestHaveSamples) {
    auto categories = fileCategories();
    ASSERT_FALSE(categories.empty());
    std::set<std::string> sampled;
    for (const auto& path : HVFileSystem::listRecursively(HVTestDataPath("highlight")))
        sampled.insert(HVFileSystem::pathExtension(path));
    for (const auto& bundle : shippedBundles()) {
        SCOPED_TRACE(bundle.name);
        auto titles = stringsFor(bundle.info, "file-categories");
        for (const auto& title : titles)
            EXPECT_TRUE(categories.count(title)) << "no category titled " << title;
        // The list is read only when the categories give no extension: never ship both.
        EXPECT_TRUE(titles.empty() || !bundle.info.objectForKey("file-types"));
        bool hidden = bundle.info.boolForKey("hide-in-list").value_or(false);
        auto extensions = claimedExtensions(bundle);
        EXPECT_EQ(extensions.empty(), hidden) << "a listed language claims some";
        EXPECT_TRUE(hidden || std::any_of(extensions.begin(), extensions.end(),
                                          [&](const auto& e) { return sampled.count(e); }))
            << "no sample";
    }
}

// Of the XML languages only SVG hands its style and script elements to CSS and JavaScript.
TEST(HVShippedBundles, EmbeddedTagsAreLowerCaseWithAnEndAndOnlySVGEmbedsStyleSheetsAndScripts) {
    auto bundles = shippedBundles();
    for (const auto& bundle : bundles) {
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
    for (auto [name, expected] : {std::pair{"XML", 0u}, std::pair{"SVG", 2u}}) {
        const HVPlistValue::Dictionary* embedded =
            bundleNamed(bundles, name)->syntax.dictionaryForKey("embedded");
        ASSERT_TRUE(embedded);
        EXPECT_EQ(embedded->count("style") + embedded->count("script"), expected) << name;
    }
}

// Typical lines of each language and how the fold gutter should mark them, with the nesting
// step the line counts for.
TEST(HVShippedBundles, FoldPatternsMarkTypicalLines) {
    // "Language: state step" and the lines the gutter marks so.
    const std::pair<std::string_view, std::vector<const char*>> cases[] = {
        {"JavaScript: opener 1",
         {"if (ready) {", "foo({ a: 1 }, function () {", "const routes = [", "if (text === '{') {",
          "/**", "    <ul className=\"list\">", "if (a < b && c > d) {", "{items.map((item) => ("}},
        {"JavaScript: closer-then-opener 1", {"} else {"}},
        {"JavaScript: closer 1", {"});", "  },", " */", "  </script>", "    </ul>"}},
        {"JavaScript: closer 2", {"}]"}},
        {"JavaScript: none 0",
         {"const point = { x: 1, y: 2 };", "const close = \"}\", open = /\\{/;",
          " * @param {string} name", "/* one line */", "\"lint\": \"eslint src/**/*.js\",",
          "      <li key={item.id}>{item.name}</li>", "      <Avatar user={author} />"}},
        {"JavaScript: opener 2", {"$(function () { items.forEach((item) => {"}},
        {"TypeScript: opener 1",
         {"export interface Order {", "function first<T>(items: T[]): T | undefined {"}},
        {"TypeScript: none 0", {"type Point = { x: number; y: number };"}},
        {"TypeScript: closer 1", {"  }", "        </section>"}},
        {"CSS: opener 1", {".card {", "@media (max-width: 600px) {"}},
        {"CSS: closer 1", {"}", "    </style>"}},
        {"CSS: none 0", {"a { color: red; }"}},
        {"SCSS: opener 1", {"@mixin respond($size) {", "$map: ("}},
        {"SCSS: none 0", {"  font: 600 #{rem(20px)}/1.2 serif;"}},
        {"SCSS: closer 1", {");"}},
        {"Sass: opener 1", {"$sizes: ("}},
        {"LESS: opener 1", {".m() when (@a > 0) {"}},
        {"LESS: none 0", {"  width: ~\"calc(100% - @{gap})\";"}},
        {"HTML: opener 1",
         {"<div class=\"card\">", "<ul><li>First</li>", "<p>Some text that", "<DIV CLASS=\"old\">",
          "<div", "<!-- navigation"}},
        {"HTML: closer 1", {"</div>", "<li>Last</li></ul>", "goes on <em>here</em>.</p>", "-->"}},
        {"HTML: none 0",
         {"<li><a href=\"/\">Home</a></li>", "<img src=\"a.png\" alt=\"\">",
          "<header><h1>Title</h1></header>", "<!-- one line -->"}},
        {"HTML: closer-then-opener 1", {"</div><div>"}},
        {"HTML: opener 2", {"<section id=\"a\"><div>"}},
        {"HTML: closer 2", {"</div></section>"}},
        {"XHTML: opener 1", {"<table class=\"items\">"}},
        {"XHTML: none 0", {"<br />"}},
        {"XML: opener 1", {"<channel>", "<item><title>A</title>", "<rss version=\"2.0\""}},
        {"XML: closer 1", {"</channel>"}},
        {"XML: none 0",
         {"<title>News</title>", "<atom:link href=\"feed.xml\" rel=\"self\"/>",
          "<?xml version=\"1.0\"?>"}},
        {"XML: closer 2", {"text.</p></item>", "]]></description>"}},
        {"XML: opener 2", {"<description><![CDATA["}},
        {"SVG: opener 1", {"<g id=\"hours\" transform=\"translate(16 52)\">"}},
        {"SVG: none 0", {"<stop offset=\"0%\" stop-color=\"#c98a4b\"/>"}},
        {"SVG: closer 2", {"  ]]></style>"}},
        {"Vue: opener 1", {"<template>", "<li v-for=\"item in items\" :key=\"item.id\">"}},
        {"Vue: closer 1", {"</template>"}},
        {"Svelte: opener 1",
         {"  {#each breads as bread, i (bread.id)}", "<form on:submit={submit}>"}},
        {"Svelte: closer-then-opener 1", {"  {:else if status === \"failed\"}"}},
        {"Svelte: closer 1", {"  {/each}"}},
        {"Svelte: none 0", {"{#if open}<b>x</b>{/if}"}},
        {"PHP: opener 1",
         {"<?php", "<?php if ($user): ?>", "<?php foreach ($items as $item): ?>",
          "<main id=\"products\">"}},
        {"PHP: closer 1", {"?>", "<?php endif; ?>", "<?php endforeach; ?>"}},
        {"PHP: none 0", {"<?php echo $title; ?>"}},
        {"PHP: closer-then-opener 1", {"<?php else: ?>"}},
        {"PHP Code: opener 1", {"{", "$options = ["}},
        {"PHP Code: closer 1", {"];", "  ?>"}},
        {"Python: opener 1", {"items = ["}},
        {"Python: opener 2", {"print(format(x), ["}},
        {"Python: closer 2", {"])"}},
        {"Python: none 0", {"def main(argv=None):"}},
        {"Ruby: opener 1", {"def save", "items.each do |item|"}},
        {"Ruby: closer 1", {"  end"}},
        {"Ruby: closer-then-opener 1", {"  else", "rescue IOError => e"}},
        {"Ruby: none 0",
         {"def empty?; items.empty? end", "class Error < StandardError; end", "  return if done"}},
        {"Shell Script: opener 1",
         {"if [ -f \"$file\" ]; then", "for f in *.html; do", "case \"$1\" in", "log() {"}},
        {"Shell Script: closer-then-opener 1", {"else", "elif [ -d \"$file\" ]; then"}},
        {"Shell Script: closer 1", {"fi", "done", "esac"}},
        {"Shell Script: none 0", {"if true; then echo yes; fi"}},
        {"SQL: opener 1", {"CREATE TABLE orders (", "BEGIN", "  CASE"}},
        {"SQL: closer 1", {");", "END;", "  END AS tier"}},
        {"SQL: none 0",
         {"    price NUMERIC(10, 2) NOT NULL CHECK (price >= 0),", "BEGIN;", "    END IF;"}},
        {"Perl: opener 1", {"sub new {"}},
        {"Perl: closer 1", {"}"}},
        {"Markdown: opener 1", {"```js", "<!--"}},
        {"Markdown: closer 1", {"```"}},
        {"YAML: none 0", {"with: { node: 20, cache: npm }"}},
        {"YAML: opener 1", {"tags: ["}},
        {"TOML: none 0", {"[server.headers]"}},
        {"TOML: opener 1", {"hosts = ["}},
        {"TOML: closer 1", {"]"}},
        {"JSON: opener 1", {"  \"menu\": ["}},
        {"JSON: closer 1", {"  },"}},
        {"JSON: none 0", {"/* one line */"}},
        {"Configuration: opener 1", {"<IfModule mod_rewrite.c>", "server {"}},
        {"Configuration: closer 1", {"</IfModule>"}},
        {"Plain Text: none 0", {"{"}},
        {"Twig: opener 1", {"{% block content %}", "{%- if user -%}", "{#"}},
        {"Twig: closer 1", {"{% endblock %}", "#}", "{% if a %}x{% endif %}{# note #}</div>"}},
        {"Twig: none 0",
         {"{% block title %}Shop{% endblock %}", "<li>{% if a %}x{% endif %}</li>"}},
        {"Twig: closer-then-opener 1", {"{% elseif product.isNew %}"}},
        {"Twig: opener 2", {"<ul>{% for p in products %}"}},
        {"Twig: closer 2", {"{% endfor %}</ul>", "</li>{% endfor %}"}},
        {"ERB: closer 1", {"<%= t('.total') %></div>", "<% end %>"}},
        {"Liquid: opener 1", {"{% case product.type %}"}},
        {"Liquid: closer-then-opener 1", {"  {% when 'Gift Card' %}"}},
        {"Liquid: none 0", {"{% unless a %}<span>Sold out</span>{% endunless %}"}},
        {"Handlebars: opener 1",
         {"{{#each order.items as |item|}}", "<tr class=\"{{#if @first}}first{{/if}}\">", "{{!--"}},
        {"Handlebars: closer 1", {"{{/each}}"}},
        {"Handlebars: closer-then-opener 1", {"{{else}}", "{{^}}"}},
        {"Handlebars: none 0", {"{{../title}}"}},
        {"ERB: opener 1", {"<% if current_user %>", "<% @posts.each do |post| %>"}},
        {"ERB: closer-then-opener 1", {"<%- else -%>"}},
        {"ERB: none 0", {"<% if a %>x<% end %>", "<%= link_to 'x', y if z %>"}},
        {"EJS: opener 1", {"<% if (flash.error) { %>"}},
        {"EJS: closer-then-opener 1", {"<% } else if (flash.info) { %>"}},
        {"EJS: closer 1", {"<%_ }); _%>"}},
        {"EJS: none 0", {"<%= a ? '{' : '}' %>"}},
        {"JSP: opener 1", {"<c:forEach var=\"p\" items=\"${products}\">", "<%--"}},
        {"JSP: closer 1", {"</c:forEach>"}},
        {"JSP: none 0", {"<c:if test=\"${a}\"><p>x</p></c:if>"}},
        {"ASP: opener 1",
         {"<% If Session(\"user\") = \"\" Then %>", "<% foreach (var o in Orders) { %>"}},
        {"ASP: closer-then-opener 1", {"<% Else %>"}},
        {"ASP: closer 1", {"<% End If %>", "<% Next %>"}},
    };
    auto bundles = shippedBundles();
    std::map<std::string, std::unique_ptr<HVParser>> parsers;
    for (const auto& [expected, lines] : cases) {
        std::string name(expected.substr(0, expected.find(':')));
        const ShippedBundle* bundle = bundleNamed(bundles, name);
        ASSERT_TRUE(bundle) << name;
        auto& parser = parsers[name];
        if (!parser)
            parser = std::make_unique<HVParser>(nullptr, bundle->syntax);
        for (const char* text : lines) {
            std::u16string line = HVUnicode::utf16(text);
            HVFoldState state = parser->foldStateForLine(line);
            EXPECT_EQ(name + ": " + HVFoldStateName(state) + " " +
                          std::to_string(parser->foldStepForLine(line, state)),
                      expected)
                << text;
        }
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
