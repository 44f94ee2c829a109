// The completion, call-hint and index definitions shipped in resources/Bundles, checked as data:
// each reads as a dictionary of its shape, every index pattern compiles for UTF-8 bytes, and the
// lists hold what a web developer reaches for first.

#include "Defaults.h"
#include "HVFileSystem.h"
#include "HVPropertyList.h"
#include "HVRegex.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <set>

namespace {

using Dictionary = HVPlistValue::Dictionary;

struct IntelligenceBundle {
    std::string name; // the directory name without ".hvbundle"
    std::string parserId;
    std::optional<HVPlistValue> completion;
    std::optional<HVPlistValue> hinting;
    std::optional<HVPlistValue> indexer;
};

std::map<std::string, IntelligenceBundle> readShippedBundles() {
    std::map<std::string, IntelligenceBundle> bundles;
    const std::string root = Defaults::applicationResourcesDirectory() + "/Bundles";
    for (const auto& path : HVFileSystem::listRecursively(root)) {
        if (HVFileSystem::pathExtension(path) != "hvbundle")
            continue;
        IntelligenceBundle bundle;
        std::string directory = HVFileSystem::lastPathComponent(path);
        bundle.name = directory.substr(0, directory.size() - std::string_view(".hvbundle").size());
        const std::string contents = path + "/Contents/";
        if (auto syntax = HVPropertyList::readFromFile(contents + "syntax.plist")) {
            if (const std::string* id = syntax->stringForKey("format-id"))
                bundle.parserId = *id;
        }
        bundle.completion = HVPropertyList::readFromFile(contents + "completion.plist");
        bundle.hinting = HVPropertyList::readFromFile(contents + "hinting.plist");
        bundle.indexer = HVPropertyList::readFromFile(contents + "indexer.plist");
        bundles[bundle.name] = std::move(bundle);
    }
    return bundles;
}

// Read once: the markup completion lists are large.
const std::map<std::string, IntelligenceBundle>& shippedBundles() {
    static const auto bundles = readShippedBundles();
    return bundles;
}

const IntelligenceBundle& bundleNamed(const std::string& name) {
    static const IntelligenceBundle none;
    auto found = shippedBundles().find(name);
    return found == shippedBundles().end() ? none : found->second;
}

std::vector<std::string> strings(const HVPlistValue* value) {
    std::vector<std::string> result;
    if (value && value->string())
        result.push_back(*value->string());
    if (value && value->array()) {
        for (const auto& item : *value->array())
            result.push_back(item.string() ? *item.string() : std::string("<not a string>"));
    }
    return result;
}

bool contains(const std::vector<std::string>& list, std::string_view item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

// A pattern the indexer can use: it compiles and can search UTF-8 bytes.
std::unique_ptr<HVRegex> indexPattern(const std::string& pattern) {
    auto regex = HVRegex::initWithPattern(std::string_view(pattern));
    if (regex)
        regex->copyMatchForUTF8Data("<?php function f() {} ?>", {0, 24});
    return regex;
}

std::string capture(const HVRegexMatch& match, std::string_view data, std::size_t group) {
    HVRange range = match.rangeForCapture(group);
    return range.location == HVNotFound ? std::string("<none>")
                                        : std::string(data.substr(range.location, range.length));
}

const Dictionary& elementsOf(const IntelligenceBundle& bundle) {
    static const Dictionary none;
    const Dictionary* elements =
        bundle.completion ? bundle.completion->dictionaryForKey("elements") : nullptr;
    return elements ? *elements : none;
}

} // namespace

TEST(HVShippedIntelligenceData, CompletionDefinitionsHaveTheirShape) {
    const std::set<std::string> dialogs = {"length",     "size",        "angle",
                                           "percentage", "color",       "integer",
                                           "number",     "family-name", "uri"};
    int definitions = 0;
    for (const auto& [name, bundle] : shippedBundles()) {
        if (!bundle.completion)
            continue;
        ++definitions;
        const HVPlistValue& completion = *bundle.completion;
        ASSERT_TRUE(completion.isDictionary()) << name;
        const std::string* cls = completion.stringForKey("class");
        const std::string* format = completion.stringForKey("format-type");
        if (cls) {
            EXPECT_EQ(*cls, "HVCSSCodeCompletion") << name;
            const Dictionary* properties = completion.dictionaryForKey("properties");
            ASSERT_TRUE(properties && properties->size() > 300) << name;
            for (const auto& [property, values] : *properties) {
                EXPECT_TRUE(values.isArray()) << name << " " << property;
                for (const auto& value : strings(&values)) {
                    const std::string_view ellipsis = "…";
                    if (value.ends_with(ellipsis)) {
                        EXPECT_TRUE(dialogs.count(value.substr(0, value.size() - ellipsis.size())))
                            << name << " " << property << ": " << value;
                    }
                }
            }
        } else if (format && *format == "keyword") {
            const Dictionary* keys = completion.dictionaryForKey("keys");
            ASSERT_TRUE(keys && !keys->empty()) << name;
            for (const auto& [key, entries] : *keys) {
                // Each entry is "type prototype"; the prototype starts with the key.
                auto list = strings(&entries);
                EXPECT_FALSE(list.empty()) << name << " " << key;
                for (const auto& entry : list) {
                    std::size_t space = entry.find(' ');
                    EXPECT_TRUE(space != std::string::npos && space > 0 &&
                                entry.compare(space + 1, key.size(), key) == 0)
                        << name << " " << key << ": " << entry;
                }
            }
        } else {
            ASSERT_TRUE(format && *format == "tag") << name;
            ASSERT_GT(elementsOf(bundle).size(), 100u) << name;
            for (const auto& [element, attributes] : elementsOf(bundle)) {
                EXPECT_FALSE(std::any_of(element.begin(), element.end(), ::isupper)) << element;
                ASSERT_TRUE(attributes.isDictionary()) << name << " " << element;
                for (const auto& [attribute, values] : *attributes.dictionary()) {
                    EXPECT_TRUE(values.isString() || values.isArray()) << element << attribute;
                    for (const auto& value : strings(&values))
                        EXPECT_TRUE(!value.ends_with("…") || value == "path…")
                            << element << " " << attribute << ": " << value;
                }
            }
        }
    }
    EXPECT_GE(definitions, 12);
}

TEST(HVShippedIntelligenceData, CallHintsAreFunctionNamesWithTheirPrototypes) {
    const auto& bundles = shippedBundles();
    for (const auto& [name, bundle] : bundles) {
        if (!bundle.hinting)
            continue;
        ASSERT_TRUE(bundle.hinting->isDictionary()) << name;
        for (const auto& [function, prototype] : *bundle.hinting->dictionary()) {
            ASSERT_TRUE(prototype.isString()) << name << " " << function;
            EXPECT_TRUE(prototype.string()->starts_with(function + "("))
                << name << ": " << *prototype.string();
        }
    }
    ASSERT_TRUE(bundleNamed("PHP Code").hinting && bundleNamed("JavaScript").hinting);
    EXPECT_GT(bundleNamed("PHP Code").hinting->dictionary()->size(), 400u);
    EXPECT_EQ(*bundleNamed("PHP Code").hinting->stringForKey("str_replace"),
              "str_replace(mixed search, mixed replace, mixed subject[, int &count])");
    EXPECT_EQ(*bundleNamed("JavaScript").hinting->stringForKey("addEventListener"),
              "addEventListener(type, listener[, options])");
}

TEST(HVShippedIntelligenceData, EveryIndexPatternCompilesAndEveryIncludeNamesAnIndexedLanguage) {
    const auto& bundles = shippedBundles();
    std::set<std::string> indexedParsers;
    for (const auto& [name, bundle] : bundles) {
        if (bundle.indexer)
            indexedParsers.insert(bundle.parserId);
    }
    for (const auto& [name, bundle] : bundles) {
        if (!bundle.indexer)
            continue;
        const HVPlistValue& indexer = *bundle.indexer;
        ASSERT_TRUE(indexer.isDictionary()) << name;
        EXPECT_EQ(*indexer.stringForKey("format-version"), "1.0") << name;
        for (const char* list : {"comments", "remove", "tags", "external-files"}) {
            for (const auto& pattern : strings(indexer.objectForKey(list)))
                EXPECT_TRUE(indexPattern(pattern)) << name << " " << list << ": " << pattern;
        }
        for (const char* list : {"keys", "pre-remove-keys"}) {
            const auto* entries = indexer.arrayForKey(list);
            for (const auto& entry : entries ? *entries : HVPlistValue::Array{}) {
                const std::string pattern =
                    entry.stringForKey("pattern") ? *entry.stringForKey("pattern") : "";
                auto regex = indexPattern(pattern);
                ASSERT_TRUE(regex) << name << " " << list << ": " << pattern;
                auto groups = std::int64_t(regex->groupCount());
                EXPECT_TRUE(entry.integerForKey("key") > 0 && entry.integerForKey("key") <= groups)
                    << pattern;
                EXPECT_TRUE(entry.integerForKey("completion") <= groups) << pattern;
                EXPECT_TRUE(entry.stringForKey("type") && !entry.stringForKey("type")->empty());
            }
        }
        const auto* includes = indexer.arrayForKey("includes");
        for (const auto& include : includes ? *includes : HVPlistValue::Array{}) {
            const std::string* id = include.stringForKey("id");
            ASSERT_TRUE(id) << name;
            EXPECT_TRUE(indexedParsers.count(*id)) << name << " includes " << *id;
            EXPECT_TRUE(indexPattern(*include.stringForKey("begin"))) << name << " " << *id;
            EXPECT_TRUE(indexPattern(*include.stringForKey("end"))) << name << " " << *id;
        }
    }
    for (const char* name :
         {"PHP", "PHP Code", "HTML", "JavaScript", "TypeScript", "CSS", "Python", "Perl", "Ruby"})
        EXPECT_TRUE(bundleNamed(name).indexer) << name;
    EXPECT_EQ(*bundleNamed("Perl").indexer->stringForKey("pathResolution"), "HVPerlPathResolver");
    EXPECT_EQ(*bundleNamed("Ruby").indexer->stringForKey("pathResolution"), "HVRubyPathResolver");
}

TEST(HVShippedIntelligenceData, PHPBlocksReachThePHPIndexerWhichFindsFunctionsWithTheirParameters) {
    // The page's indexer hands the blocks to the code's indexer; a "?>" written out inside a
    // string does not end the block.
    const auto* includes = bundleNamed("PHP").indexer->arrayForKey("includes");
    ASSERT_TRUE(includes && !includes->empty());
    EXPECT_EQ(*includes->front().stringForKey("id"), bundleNamed("PHP Code").parserId);
    auto end = indexPattern(*includes->front().stringForKey("end"));
    ASSERT_TRUE(end);
    const std::string page = "<?php echo '<?xml version=\"1.0\"?>'; $a = 1; ?>\n<p>";
    auto ending = end->copyMatchForUTF8Data(page, {5, page.size() - 5});
    ASSERT_TRUE(ending);
    EXPECT_EQ(ending->rangeForCapture(0).location, page.find("?>\n"));

    std::map<std::string, std::string> found; // name → type ": " completion
    const std::string code = "<?php\nfunction &wp_get( $id, $args = array() ) {\n}\n"
                             "abstract class WP_Thing implements Countable {\n"
                             "\tpublic static function count() {}\n}\n"
                             "interface Shape {}\ntrait Named {}\n";
    for (const auto& entry : *bundleNamed("PHP Code").indexer->arrayForKey("keys")) {
        auto regex = indexPattern(*entry.stringForKey("pattern"));
        HVRange range{0, code.size()};
        while (auto match = regex->copyMatchForUTF8Data(code, range)) {
            std::string name = capture(*match, code, std::size_t(*entry.integerForKey("key")));
            found.try_emplace(
                name, *entry.stringForKey("type") + ": " +
                          capture(*match, code, std::size_t(*entry.integerForKey("completion"))));
            HVRange whole = match->rangeForCapture(0);
            range = {whole.location + std::max<std::size_t>(whole.length, 1), 0};
            range.length = code.size() - range.location;
        }
    }
    EXPECT_EQ(found, (std::map<std::string, std::string>{
                         {"wp_get", "function: wp_get( $id, $args = array() )"},
                         {"WP_Thing", "class: WP_Thing"},
                         {"count", "method: count()"},
                         {"Shape", "interface: Shape"},
                         {"Named", "trait: Named"}}));
}

TEST(HVShippedIntelligenceData, TheListsHoldWhatWebDevelopersReachForFirst) {
    const Dictionary& html = elementsOf(bundleNamed("HTML"));
    std::string missing;
    for (const char* element :
         {"dialog", "template", "picture", "search", "main", "slot", "details", "summary", "video",
          "source", "track", "datalist", "output"})
        if (!html.count(element))
            missing += std::string(missing.empty() ? "" : " ") + element;
    EXPECT_EQ(missing, "");
    const HVPlistValue& input = html.at("input");
    EXPECT_TRUE(contains(strings(input.objectForKey("type")), "datetime-local"));
    EXPECT_TRUE(contains(strings(html.at("*").objectForKey("enterkeyhint")), "send"));
    EXPECT_EQ(strings(html.at("a").objectForKey("href")), std::vector<std::string>{"path…"});
    EXPECT_TRUE(contains(strings(html.at("link").objectForKey("rel")), "stylesheet"));
    // Global attributes and event handlers are listed once, for every element.
    const HVPlistValue& every = html.at("*");
    EXPECT_TRUE(every.objectForKey("class") && every.objectForKey("onclick") &&
                every.objectForKey("popover"));
    EXPECT_FALSE(html.at("a").objectForKey("onclick")) << "not again under each element";
    EXPECT_TRUE(bundleNamed("XHTML").completion == bundleNamed("HTML").completion)
        << "XHTML completes as HTML does";

    const Dictionary& css = *bundleNamed("CSS").completion->dictionaryForKey("properties");
    auto values = [&](const char* property) { return strings(&css.at(property)); };
    EXPECT_TRUE(contains(values("display"), "grid") && contains(values("display"), "flex"));
    EXPECT_TRUE(contains(values("color"), "color…"));
    EXPECT_TRUE(contains(values("font-family"), "family-name…"));
    EXPECT_TRUE(contains(values("background-image"), "uri…"));
    EXPECT_TRUE(contains(values("width"), "length…") && contains(values("width"), "percentage…"));
    EXPECT_TRUE(contains(values("margin-inline-start"), "auto"));
    EXPECT_TRUE(contains(values("scroll-snap-type"), "mandatory"));
    EXPECT_TRUE(contains(values("container-type"), "inline-size"));
    EXPECT_TRUE(contains(values("grid-template-columns"), "repeat()"));
    EXPECT_TRUE(contains(values("opacity"), "inherit"));

    auto keys = [&](const char* bundle) {
        return bundleNamed(bundle).completion->dictionaryForKey("keys");
    };
    EXPECT_GT(keys("PHP Code")->size(), 450u);
    EXPECT_EQ(*keys("PHP Code")->at("str_replace").string(),
              "function str_replace(mixed search, mixed replace, mixed subject[, int &count])");
    EXPECT_EQ(*keys("PHP Code")->at("foreach").string(), "keyword foreach");
    EXPECT_EQ(*keys("JavaScript")->at("querySelector").string(), "method querySelector(selectors)");
    EXPECT_TRUE(keys("SQL")->count("SELECT") && keys("SQL")->count("select"));
    EXPECT_TRUE(keys("Python")->count("enumerate") && keys("Ruby")->count("attr_accessor"));
    EXPECT_TRUE(keys("Perl")->count("chomp") && keys("Shell Script")->count("grep"));
}
