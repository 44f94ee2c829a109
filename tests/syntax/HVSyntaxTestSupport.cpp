#include "HVSyntaxTestSupport.h"

#include "Defaults.h"
#include "HVFileSystem.h"
#include "HVKeywordBasedParser.h"
#include "HVParser.h"
#include "HVPropertyList.h"
#include "HVSyntaxHighlighting.h"
#include "HVTagBasedParser.h"
#include "HVTextBuffer.h"
#include "HVTheme.h"
#include "HVUnicode.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <set>
#include <sstream>
#include <unistd.h>

std::vector<std::string> HVStyleIdVocabulary() {
    std::string readme = HVReadFile(Defaults::applicationResourcesDirectory() + "/README.md");
    std::istringstream lines(readme);
    std::vector<std::string> ids;
    bool inSection = false;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("## ", 0) == 0) {
            inSection = line == "## Style ids";
            continue;
        }
        if (!inSection || line.rfind("- `", 0) != 0)
            continue;
        std::size_t close = line.find('`', 3);
        if (close != std::string::npos)
            ids.push_back(line.substr(3, close - 3));
    }
    return ids;
}

std::string HVFoldStateName(HVFoldState state) {
    switch (state) {
    case HVFoldState::None:
        return "none";
    case HVFoldState::Opener:
        return "opener";
    case HVFoldState::Closer:
        return "closer";
    case HVFoldState::Collapsed:
        return "collapsed";
    case HVFoldState::CloserThenOpener:
        return "closer-then-opener";
    }
    return "?";
}

std::shared_ptr<HVTheme> HVMakeTestTheme(std::initializer_list<std::string_view> styleIds) {
    return HVMakeTestTheme(std::vector<std::string>(styleIds.begin(), styleIds.end()));
}

std::shared_ptr<HVTheme> HVMakeTestTheme(const std::vector<std::string>& styleIds) {
    HVPlistValue::Array styles;
    int n = 1;
    for (const std::string& id : styleIds) {
        char color[16];
        std::snprintf(color, sizeof color, "#0000%02x", n++);
        styles.push_back(HVPlistValue::Dictionary{{"id", id}, {"foreground", color}});
    }
    HVPlistValue::Dictionary plist{
        {"id", "test"},
        {"format-title", "Test"},
        {"global-settings",
         HVPlistValue::Dictionary{{"background", "#ffffff"}, {"foreground", "#000000"}}},
        {"styles", std::move(styles)}};
    return std::make_shared<HVTheme>(HVPlistValue(plist));
}

std::string HVDumpRuns(const HVTextBuffer& buffer, const HVTheme& theme) {
    std::string out;
    buffer.enumerateRuns({0, buffer.length()}, [&](HVRange range, const HVAttributes& attributes) {
        const HVColor* color = attributes.color(HVForegroundColorAttribute);
        bool multiLine = attributes.boolValue(HVMultiLineAttribute);
        if (!color && !multiLine)
            return;
        std::string name = "?";
        for (const auto& [id, style] : theme.styles()) {
            if (color && style.color(HVForegroundColorAttribute) &&
                *style.color(HVForegroundColorAttribute) == *color)
                name = id;
        }
        if (!color)
            name = "-";
        if (!out.empty())
            out += ", ";
        out += std::to_string(range.location) + "+" + std::to_string(range.length) + " " + name;
        if (multiLine)
            out += " ml";
    });
    return out;
}

std::string HVParserIdentifierOfRun(const HVAttributes& attributes) {
    const HVObjectReference* reference = attributes.reference(HVParserAttribute);
    if (!reference)
        return "-";
    if (!reference->owned())
        return static_cast<const HVParser*>(reference->address())->identifier();
    auto parser = reference->lock<const HVParser>();
    return parser ? parser->identifier() : "gone";
}

std::string HVDescribeRun(HVRange range, const HVAttributes& attributes) {
    std::string out = std::to_string(range.location) + "+" + std::to_string(range.length);
    const HVAttributeValue* style = attributes.value(HVStyleAttribute);
    out += " " + (style ? std::get<std::string>(*style) : std::string("-"));
    out += " " + HVParserIdentifierOfRun(attributes);
    if (attributes.boolValue(HVMultiLineAttribute))
        out += " ml";
    if (const HVColor* color = attributes.color(HVForegroundColorAttribute))
        out += " " + HVTheme::stringFromColor(*color);
    if (auto traits = attributes.integerValue(HVFontTraitsAttribute))
        out += " traits=" + std::to_string(*traits);
    return out;
}

std::string HVDumpAllRuns(const HVTextBuffer& buffer) {
    std::string out;
    buffer.enumerateRuns({0, buffer.length()}, [&](HVRange range, const HVAttributes& attributes) {
        out += HVDescribeRun(range, attributes) + "\n";
    });
    return out;
}

HVBundleTestEnvironment::HVBundleTestEnvironment() {
    std::string realResources = Defaults::applicationResourcesDirectory();
    // The shipped file categories stay those of the program, which the bundles name.
    if (::symlink(HVFileSystem::appendingPathComponent(realResources, "data").c_str(),
                  m_shipped.pathFor("data").c_str()) != 0)
        ADD_FAILURE() << "cannot link the shipped data";
    HVFileSystem::createDirectory(shippedBundles());
    m_resources = std::make_unique<HVScopedEnvironment>("HALVET_RESOURCES_DIR", m_shipped.path());
    HVFileSystem::removeRecursively(userBundles());
}

HVBundleTestEnvironment::~HVBundleTestEnvironment() {
    HVFileSystem::removeRecursively(userBundles());
}

std::string HVBundleTestEnvironment::shippedBundles() const {
    return m_shipped.pathFor("Bundles");
}

std::string HVBundleTestEnvironment::userBundles() const {
    return Defaults::appSupportPathForFile("Bundles");
}

std::string HVBundleTestEnvironment::writeBundle(const std::string& folder, const std::string& name,
                                                 const HVPlistValue& info,
                                                 const std::map<std::string, HVPlistValue>& files) {
    std::string path = HVFileSystem::appendingPathComponent(folder, name);
    std::string contents = HVFileSystem::appendingPathComponent(path, "Contents");
    HVFileSystem::createDirectory(contents);
    auto write = [&](const HVPlistValue& plist, const std::string& file) {
        HVError error;
        if (!HVPropertyList::writeToFile(plist,
                                         HVFileSystem::appendingPathComponent(contents, file),
                                         HVPlistFormat::XML, &error))
            ADD_FAILURE() << error.fullDescription();
    };
    write(info, "Info.plist");
    for (const auto& [file, plist] : files)
        write(plist, file);
    return path;
}

void HVBundleTestEnvironment::installTestBundles() const {
    HVError error;
    if (!HVFileSystem::copyDirectory(HVTestDataPath("bundles"), shippedBundles(), &error))
        ADD_FAILURE() << error.fullDescription();
}

namespace {

// The style ids painting the characters of the piece ("" for unpainted ones) in a buffer
// painted as the editor paints a whole text: the embedded languages' regions by their own
// parsers.
std::set<std::string> paintedAs(const HVTextBuffer& buffer, const char* piece) {
    std::u16string wanted = HVUnicode::utf16(piece);
    std::size_t start = buffer.string().find(wanted);
    EXPECT_NE(start, std::u16string::npos) << piece;
    std::set<std::string> ids;
    if (start == std::u16string::npos)
        return ids;
    buffer.enumerateRuns({start, wanted.size()}, [&](HVRange, const HVAttributes& attributes) {
        const HVAttributeValue* value = attributes.value(HVStyleAttribute);
        const std::string* style = value ? std::get_if<std::string>(value) : nullptr;
        ids.insert(style ? *style : std::string());
    });
    return ids;
}

bool paintedAsExpected(const std::set<std::string>& ids, std::string_view expected) {
    return !ids.empty() && std::all_of(ids.begin(), ids.end(), [&](const std::string& id) {
        if (expected == "other")
            return id.rfind("comment", 0) != 0 && id.rfind("string", 0) != 0;
        return expected.empty() ? id.empty() : id.rfind(expected, 0) == 0;
    });
}

// The shipped languages, made from their definitions as a markup asks for them by identifier;
// each is made once and kept alive here, as the repository keeps its bundles' parsers.
class ShippedParsers {
public:
    std::shared_ptr<HVParser> parserFor(const HVPlistValue& syntax) {
        const std::string* type = syntax.stringForKey("format-type");
        if (!type || *type != "tag")
            return std::make_shared<HVKeywordBasedParser>(nullptr, syntax);
        auto markup = std::make_shared<HVTagBasedParser>(nullptr, syntax);
        markup->finishLoad(
            [this](const std::string& identifier) { return byIdentifier(identifier); });
        return markup;
    }

private:
    std::shared_ptr<HVParser> byIdentifier(const std::string& identifier) {
        if (auto made = m_made.find(identifier); made != m_made.end())
            return made->second;
        m_made[identifier] = nullptr;
        for (const auto& path : HVFileSystem::listRecursively(
                 Defaults::applicationResourcesDirectory() + "/Bundles")) {
            if (HVFileSystem::lastPathComponent(path) != "syntax.plist")
                continue;
            auto syntax = HVPropertyList::readFromFile(path);
            const std::string* id = syntax ? syntax->stringForKey("format-id") : nullptr;
            if (id && *id == identifier)
                return m_made[identifier] = parserFor(*syntax);
        }
        return nullptr;
    }

    std::map<std::string, std::shared_ptr<HVParser>> m_made;
};

} // namespace

void HVCheckShippedBundle(const char* bundle, std::initializer_list<HVPaintCase> cases) {
    auto syntax =
        HVPropertyList::readFromFile(Defaults::applicationResourcesDirectory() + "/Bundles/" +
                                     bundle + ".hvbundle/Contents/syntax.plist");
    ASSERT_TRUE(syntax) << bundle;
    ShippedParsers shipped;
    std::shared_ptr<HVParser> parser = shipped.parserFor(*syntax);
    EXPECT_TRUE(parser->loadErrors().empty()) << bundle;
    auto theme = HVMakeTestTheme(HVStyleIdVocabulary());
    parser->setTheme(theme);
    for (const HVPaintCase& test : cases) {
        HVTextBuffer buffer(HVUnicode::utf16(test.text));
        HVSyntaxHighlighting::highlightText(buffer, *parser, *theme);
        for (const auto& [piece, expected] : test.pieces) {
            SCOPED_TRACE(std::string(test.text) + " | " + piece);
            std::set<std::string> ids = paintedAs(buffer, piece);
            std::string painted;
            for (const std::string& id : ids)
                painted += (painted.empty() ? "\"" : ", \"") + id + "\"";
            EXPECT_TRUE(paintedAsExpected(ids, expected))
                << "painted as " << painted << ", expected \"" << expected << "\"";
        }
    }
}
