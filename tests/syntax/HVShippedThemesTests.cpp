// The themes shipped in resources/Themes, checked against the style-id vocabulary of
// resources/README.md and for readable contrast.

#include "Defaults.h"
#include "HVFileSystem.h"
#include "HVPreferences.h"
#include "HVSyntaxTestSupport.h"
#include "HVTestSupport.h"
#include "HVTheme.h"
#include "HVThemeRepository.h"

#include <cmath>
#include <gtest/gtest.h>
#include <sstream>

namespace {

double luminance(const HVColor& color) {
    auto channel = [](double c) {
        return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(color.red) + 0.7152 * channel(color.green) +
           0.0722 * channel(color.blue);
}

double contrastRatio(const HVColor& a, const HVColor& b) {
    double la = luminance(a);
    double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

std::vector<std::string> shippedThemeFiles() {
    std::vector<std::string> files;
    for (const auto& path :
         HVFileSystem::listRecursively(Defaults::applicationResourcesDirectory() + "/Themes")) {
        if (HVFileSystem::pathExtension(path) == "plist")
            files.push_back(path);
    }
    std::sort(files.begin(), files.end());
    return files;
}

} // namespace

TEST(HVShippedThemes, TheVocabularyIsListed) {
    auto ids = HVStyleIdVocabulary();
    std::istringstream required(
        "comment comment.line comment.block string string.quoted.double string.quoted.single "
        "string.regexp constant constant.numeric constant.language constant.character.entity "
        "keyword keyword.control keyword.operator keyword.other storage storage.type "
        "storage.modifier support support.function support.class support.type support.constant "
        "variable variable.language variable.other entity.name.function entity.name.class "
        "entity.name.tag entity.other.attribute-name string.quoted.attribute-value "
        "meta.preprocessor meta.tag markup.heading markup.bold markup.italic markup.link invalid");
    std::vector<std::string> missing;
    for (std::string id; required >> id;) {
        if (std::find(ids.begin(), ids.end(), id) == ids.end())
            missing.push_back(id);
    }
    EXPECT_EQ(missing, std::vector<std::string>{});
}

TEST(HVShippedThemes, EveryThemeParsesColoursEveryIdAndIsReadable) {
    auto ids = HVStyleIdVocabulary();
    ASSERT_FALSE(ids.empty());
    auto files = shippedThemeFiles();
    ASSERT_GE(files.size(), 2u);
    bool dark = false;
    for (const auto& path : files) {
        SCOPED_TRACE(path);
        HVError error;
        auto theme = HVTheme::initWithContentsOfFile(path, &error);
        ASSERT_TRUE(error.description().empty()) << error.fullDescription();
        EXPECT_EQ(HVFileSystem::lastPathComponent(path), theme->identifier() + ".plist");
        EXPECT_FALSE(theme->title().empty());
        ASSERT_TRUE(theme->backgroundColor());
        ASSERT_TRUE(theme->textColor());
        EXPECT_TRUE(theme->insertionPointColor());
        EXPECT_TRUE(theme->invisiblesColor());
        EXPECT_TRUE(theme->selectionColor());
        const HVColor background = *theme->backgroundColor();
        dark |= luminance(background) < 0.05;

        EXPECT_GE(contrastRatio(*theme->textColor(), background), 4.5);
        for (const auto& id : ids) {
            HVAttributes attributes = theme->attributesForIdentifier(id);
            EXPECT_TRUE(attributes.color(HVForegroundColorAttribute)) << id << " has no colour";
        }
        for (const auto& [id, attributes] : theme->styles()) {
            EXPECT_NE(std::find(ids.begin(), ids.end(), id), ids.end())
                << id << " is not in the vocabulary";
            const HVColor* foreground = attributes.color(HVForegroundColorAttribute);
            ASSERT_TRUE(foreground) << id;
            const HVColor* styleBackground = attributes.color(HVBackgroundColorAttribute);
            double ratio =
                contrastRatio(*foreground, styleBackground ? *styleBackground : background);
            EXPECT_GE(ratio, 4.5) << id << " " << HVTheme::stringFromColor(*foreground);
        }
    }
    EXPECT_TRUE(dark) << "a dark theme ships";
}

TEST(HVShippedThemes, TheRepositoryListsThemAndStartsWithLight) {
    HVIsolatedPreferences preferences;
    HVTemporaryDirectory data;
    HVScopedEnvironment dataHome("XDG_DATA_HOME", data.path());
    HVThemeRepository repository;
    EXPECT_GE(repository.countOfThemes(), 2u);
    ASSERT_TRUE(repository.currentTheme());
    EXPECT_EQ(repository.currentTheme()->identifier(), "com.ternwick.halvet.themes.light");
    EXPECT_EQ(repository.currentTheme()->title(), "Light");
}
