#include "HVFileCategories.h"
#include "HVFileFilters.h"
#include "HVTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <ranges>

namespace {

// Of the space-separated names, those for which the question is not answered yes.
std::string failing(std::string_view names,
                    const std::function<bool(const std::string&)>& question) {
    std::string text;
    for (auto word : std::views::split(names, ' ')) {
        std::string name(word.begin(), word.end());
        if (!question(name))
            text += (text.empty() ? "" : " ") + name;
    }
    return text;
}

} // namespace

TEST(HVShippedData, TheFilterTableLoadsAndEveryPatternCompiles) {
    HVTemporaryDirectory data; // no user copy
    HVScopedEnvironment dataHome("XDG_DATA_HOME", data.path());

    HVFileFilters& filters = HVFileFilters::sharedFilters();
    HVError error;
    ASSERT_TRUE(filters.loadData(&error)) << error.fullDescription();
    EXPECT_GT(filters.countOfFilters(), 0u);
    for (const auto& filter : filters.filters())
        EXPECT_TRUE(filter->valid() && filter->pattern()) << filter->title();
    // What a web developer expects to see and not to see.
    auto hides = [&](const std::string& name) { return filters.stringMatchesFilters(name); };
    EXPECT_EQ(failing(".git .svn CVS .hg .hgignore .bzr .gitattributes index.html~ .index.html.swp "
                      ".style.css.swo #notes.txt# .#index.html page.php.bak page.php.orig "
                      ".DS_Store ._logo.png Thumbs.db desktop.ini Desktop.ini .Spotlight-V100 "
                      ".Trashes .sass-cache __pycache__ tool.pyc Icon\r",
                      hides),
              "");
    EXPECT_EQ(failing("index.html style.css .htaccess .env node_modules vendor .vscode error.log "
                      "README.md app.js.map favicon.ico Gemfile.lock backup notes~.txt Icon images "
                      ".well-known robots.txt .editorconfig composer.json thumbs.html",
                      std::not_fn(hides)),
              "");
}

TEST(HVShippedData, TheCategoryTableLoadsWithTheExtensionsWebDevelopersMeet) {
    HVTemporaryDirectory data;
    HVScopedEnvironment dataHome("XDG_DATA_HOME", data.path());

    HVFileCategories& categories = HVFileCategories::sharedCategories();
    HVError error;
    ASSERT_TRUE(categories.loadCategories(&error)) << error.fullDescription();

    // Each extension is listed once, in lower case, and never also as ignorable.
    std::map<std::string, std::string> listedBy;
    std::string problems;
    for (const auto& list : {categories.textCategories(), categories.imageCategories()}) {
        for (const auto& category : list) {
            if (category->countOfTypes() == 0)
                problems += category->title() + " is empty. ";
            for (const auto& type : category->typeTitles()) {
                if (!listedBy.emplace(type, category->title()).second)
                    problems +=
                        type + " is in " + listedBy[type] + " and " + category->title() + ". ";
                bool lower = std::none_of(type.begin(), type.end(),
                                          [](char c) { return c >= 'A' && c <= 'Z'; });
                if (!lower || type.empty() || type.find('.') != std::string::npos)
                    problems += "\"" + type + "\" is not a lower-case extension. ";
                if (categories.categoryForExtension(type) != category)
                    problems += type + " does not lead to " + category->title() + ". ";
            }
        }
    }
    for (const auto& type : categories.ignoreTypes()) {
        if (listedBy.count(type))
            problems += type + " is ignorable and in " + listedBy[type] + ". ";
    }
    EXPECT_EQ(problems, "");

    auto kindOf = [&](std::string_view extensions, HVFileKind kind) {
        return failing(extensions, [&](const std::string& extension) {
            return categories.extensionIsType(extension, kind);
        });
    };
    EXPECT_EQ(
        kindOf("html htm xhtml php css scss less js mjs json xml svg md txt py pl pm rb sql sh "
               "ts jsx yaml yml twig vue htaccess csv ini lock",
               HVFileKindText),
        "");
    EXPECT_EQ(kindOf("png jpg jpeg gif webp ico bmp tiff tif avif", HVFileKindImage), "");
    EXPECT_EQ(kindOf("zip gz tar dmg exe o so pdf woff2 mp4 psd", HVFileKindIgnorable), "");
}
