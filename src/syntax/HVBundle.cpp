#include "HVBundle.h"

#include "Defaults.h"
#include "HVCodeNavigation.h"
#include "HVFileCategories.h"
#include "HVFileSystem.h"
#include "HVKeywordBasedParser.h"
#include "HVParser.h"
#include "HVPropertyList.h"
#include "HVSyntaxSupport.h"
#include "HVTagBasedParser.h"

#include <cerrno>
#include <cstdio>

namespace {

std::string quoted(std::string_view text) {
    std::string result;
    result.reserve(text.size() + 2);
    result.append(1, '"').append(text).append(1, '"');
    return result;
}

const char* typeName(HVPlistValue::Type type) {
    return type == HVPlistValue::Type::Array ? "an array" : "a dictionary";
}

std::vector<std::string> readStrings(const HVPlistValue& info, std::string_view key) {
    std::vector<std::string> strings;
    if (const HVPlistValue::Array* array = info.arrayForKey(key)) {
        for (const HVPlistValue& value : *array) {
            if (const std::string* string = value.string())
                strings.push_back(*string);
        }
    }
    return strings;
}

bool moveItem(const std::string& from, const std::string& to, HVError* error) {
    if (std::rename(from.c_str(), to.c_str()) == 0)
        return true;
    HVSetError(error, HVError::posix(errno, from, "Cannot move"));
    return false;
}

// A title as a directory name: no slashes, no leading dot, never empty.
std::string directoryNameForTitle(std::string_view title) {
    std::string name(title);
    for (char& c : name) {
        if (c == '/')
            c = '-';
    }
    while (!name.empty() && name.front() == '.')
        name.erase(name.begin());
    if (name.empty())
        name = "Untitled";
    return name + ".hvbundle";
}

} // namespace

HVBundle::~HVBundle() {
    // A view may keep the parser longer than the bundle lives.
    if (m_parser && m_parser->bundle() == this)
        m_parser->setBundle(nullptr);
}

std::shared_ptr<HVBundle> HVBundle::initWithPath(const std::string& path, bool lazily,
                                                 HVError* error) {
    std::string infoPath = HVFileSystem::appendingPathComponent(path, "Contents/Info.plist");
    HVError readError;
    auto info = HVPropertyList::readFromFile(infoPath, &readError);
    if (!info) {
        HVSetError(error, HVError(HVBundleErrorDomain, HVBundleNotABundleError,
                                  "The bundle " + quoted(path) +
                                      " has no readable Info.plist: " + readError.description()));
        return nullptr;
    }
    const std::string* identifier = info->stringForKey("CFBundleIdentifier");
    if (!identifier || identifier->empty()) {
        HVSetError(error, HVError(HVBundleErrorDomain, HVBundleNotABundleError,
                                  "The bundle " + quoted(path) +
                                      " has no \"CFBundleIdentifier\" and is skipped."));
        return nullptr;
    }
    std::shared_ptr<HVBundle> bundle(new HVBundle());
    bundle->m_path = path;
    bundle->m_bundleIdentifier = *identifier;
    if (const std::string* title = info->stringForKey("CFBundleName"))
        bundle->m_title = *title;
    if (const std::string* version = info->stringForKey("CFBundleVersion"))
        bundle->m_version = *version;
    if (const std::string* tooltip = info->stringForKey("tooltip"))
        bundle->m_tooltip = *tooltip;
    bundle->m_hideInList = info->boolForKey("hide-in-list").value_or(false);
    bundle->m_infoFileTypes = readStrings(*info, "file-types");
    HVFileCategories& categories = HVFileCategories::sharedCategories();
    for (const std::string& title : readStrings(*info, "file-categories")) {
        if (auto category = categories.categoryForTitle(title))
            bundle->m_fileCategories.push_back(std::move(category));
    }
    if (!lazily)
        bundle->loadDefinitions();
    return bundle;
}

std::shared_ptr<HVBundle> HVBundle::initWithTitle(std::string title, std::string parseIdentifier) {
    std::shared_ptr<HVBundle> bundle(new HVBundle());
    bundle->m_title = std::move(title);
    bundle->m_bundleIdentifier = hvsyntax::makeUniqueIdentifier();
    bundle->m_parser = std::make_shared<HVParser>(bundle.get(), std::move(parseIdentifier));
    return bundle;
}

std::string HVBundle::contentsPath(std::string_view file) const {
    return HVFileSystem::appendingPathComponent(
        HVFileSystem::appendingPathComponent(m_path, "Contents"), file);
}

void HVBundle::addLoadError(std::int64_t code, std::string description) {
    m_loadErrors.emplace_back(HVBundleErrorDomain, code, std::move(description));
}

std::optional<HVPlistValue> HVBundle::readDefinition(std::string_view file,
                                                     HVPlistValue::Type type) {
    if (m_path.empty())
        return std::nullopt;
    std::string path = contentsPath(file);
    if (!HVFileSystem::exists(path))
        return std::nullopt;
    HVError error;
    auto plist = HVPropertyList::readFromFile(path, &error);
    if (!plist) {
        addLoadError(HVBundleDefinitionError,
                     "The definition " + quoted(path) +
                         " cannot be read and is left out: " + error.description());
        return std::nullopt;
    }
    if (plist->type() != type) {
        addLoadError(HVBundleDefinitionError, "The definition " + quoted(path) + " is not " +
                                                  typeName(type) + " and is left out.");
        return std::nullopt;
    }
    return plist;
}

void HVBundle::loadDefinitions() {
    loadParser();
    loadCodeHinting();
    loadCodeCompletion();
    loadCodeIndexer();
}

void HVBundle::loadParser() {
    auto syntax = readDefinition("syntax.plist", HVPlistValue::Type::Dictionary);
    if (!syntax)
        return;
    const std::string* type = syntax->stringForKey("format-type");
    std::shared_ptr<HVParser> parser;
    if (type && *type == "tag") {
        parser = std::make_shared<HVTagBasedParser>(this, *syntax);
    } else if (type && *type == "keyword") {
        parser = std::make_shared<HVKeywordBasedParser>(this, *syntax);
    } else {
        // Any other kind of definition folds but paints nothing.
        parser = std::make_shared<HVParser>(this, *syntax);
    }
    for (const HVError& problem : parser->loadErrors())
        addLoadError(HVBundleDefinitionError, "In the syntax definition of " + quoted(m_path) +
                                                  ": " + problem.description());

    m_codeNavData = readDefinition("codenav.plist", HVPlistValue::Type::Array);
    if (m_codeNavData) {
        std::vector<HVError> problems;
        if (auto codeNavigation = HVCodeNavigation::make(*m_codeNavData, *parser, problems)) {
            parser->setCodeNavParser(std::move(codeNavigation));
            m_codeNavData.reset();
        }
        for (const HVError& problem : problems)
            addLoadError(HVBundleDefinitionError, "In the code navigation of " + quoted(m_path) +
                                                      ": " + problem.description());
    }
    m_parser = std::move(parser);
}

void HVBundle::loadCodeHinting() {
    m_codeHinting = readDefinition("hinting.plist", HVPlistValue::Type::Dictionary);
}

void HVBundle::loadCodeCompletion() {
    m_codeCompletion.reset();
    auto completion = readDefinition("completion.plist", HVPlistValue::Type::Dictionary);
    if (!completion)
        return;
    const std::string* className = completion->stringForKey("class");
    const std::string* type = completion->stringForKey("format-type");
    if ((className && !className->empty()) || (type && (*type == "tag" || *type == "keyword"))) {
        m_codeCompletion = std::move(completion);
        return;
    }
    addLoadError(HVBundleDefinitionError,
                 "The completion of " + quoted(m_path) +
                     " names neither a \"class\" nor a \"format-type\" of \"tag\" or "
                     "\"keyword\"; the bundle has no completion.");
}

void HVBundle::loadCodeIndexer() {
    m_codeIndexer = readDefinition("indexer.plist", HVPlistValue::Type::Dictionary);
}

void HVBundle::setFileCategories(std::vector<std::shared_ptr<HVFileCategory>> categories) {
    m_fileCategories = std::move(categories);
}

std::vector<std::string> HVBundle::fileTypes() const {
    std::vector<std::string> types;
    for (const auto& category : m_fileCategories) {
        for (std::string& type : category->typeTitles())
            types.push_back(std::move(type));
    }
    return types.empty() ? m_infoFileTypes : types;
}

void HVBundle::setParser(std::shared_ptr<HVParser> parser) {
    if (m_parser && m_parser->bundle() == this && m_parser != parser)
        m_parser->setBundle(nullptr);
    m_parser = std::move(parser);
    if (m_parser)
        m_parser->setBundle(this);
    // The new parser brings its own code navigation, or none.
    m_codeNavData.reset();
}

std::string HVBundle::identifier() const {
    return m_parser ? m_parser->identifier() : std::string();
}

HVCodeNavigation* HVBundle::codeNavParser() const {
    return m_parser ? m_parser->codeNavParser() : nullptr;
}

void HVBundle::setCodeNavParser(std::shared_ptr<HVCodeNavigation> codeNavigation) {
    m_codeNavData.reset();
    if (m_parser)
        m_parser->setCodeNavParser(std::move(codeNavigation));
}

int HVBundle::compareTitle(const HVBundle& other) const {
    return hvsyntax::compareIgnoringCase(m_title, other.m_title);
}

std::optional<std::string> HVBundle::pathForResource(std::string_view name) const {
    if (m_path.empty() || name.empty() || name.find('/') != std::string_view::npos)
        return std::nullopt;
    std::string path = contentsPath("Resources/" + std::string(name));
    if (!HVFileSystem::isRegularFile(path))
        return std::nullopt;
    return path;
}

std::optional<std::string> HVBundle::imageNamed(std::string_view name) {
    std::lock_guard lock(m_imagesMutex);
    auto cached = m_images.find(name);
    if (cached != m_images.end())
        return cached->second;
    auto path = pathForResource(name);
    m_images.emplace(std::string(name), path);
    return path;
}

// Saving.

std::string HVBundle::commitPath() const {
    std::string name =
        m_path.empty() ? directoryNameForTitle(m_title) : HVFileSystem::lastPathComponent(m_path);
    return Defaults::appSupportPathForFile(name, "Bundles");
}

bool HVBundle::writeContents(const std::string& target, const std::string& resourcesSource,
                             HVError* error) const {
    std::string contents = HVFileSystem::appendingPathComponent(target, "Contents");
    if (!HVFileSystem::createDirectory(contents, 0755, error))
        return false;
    if (!resourcesSource.empty() && HVFileSystem::isDirectory(resourcesSource) &&
        !HVFileSystem::copyDirectory(
            resourcesSource, HVFileSystem::appendingPathComponent(contents, "Resources"), error))
        return false;

    HVPlistValue::Dictionary info;
    info["CFBundleIdentifier"] = m_bundleIdentifier;
    info["CFBundleVersion"] = m_version;
    info["CFBundleName"] = m_title;
    HVPlistValue::Array types;
    for (const std::string& type : fileTypes())
        types.emplace_back(type);
    info["file-types"] = std::move(types);
    HVPlistValue::Array categories;
    for (const auto& category : m_fileCategories)
        categories.emplace_back(category->title());
    info["file-categories"] = std::move(categories);
    // "hide-in-list" and "tooltip" belong to the shipped bundle and are not written.
    auto write = [&](const HVPlistValue& plist, std::string_view file) {
        return HVPropertyList::writeToFile(plist,
                                           HVFileSystem::appendingPathComponent(contents, file),
                                           HVPlistFormat::Binary, error);
    };
    if (!write(info, "Info.plist"))
        return false;

    if (m_parser && !m_parser->commitToPath(contents, error))
        return false;
    if (m_parser && !m_parser->codeNavParser() && m_codeNavData &&
        !write(*m_codeNavData, "codenav.plist"))
        return false;
    if (m_codeIndexer && !write(*m_codeIndexer, "indexer.plist"))
        return false;
    if (m_codeCompletion && !write(*m_codeCompletion, "completion.plist"))
        return false;
    // Call hints have no editor yet; written back so that saving does not drop them.
    if (m_codeHinting && !write(*m_codeHinting, "hinting.plist"))
        return false;
    return true;
}

bool HVBundle::commit(HVError* error) {
    std::string target = commitPath();
    std::string backup = target + ".backup";
    if (!HVFileSystem::createDirectory(HVFileSystem::deletingLastPathComponent(target), 0755,
                                       error))
        return false;

    bool movedAside = false;
    if (HVFileSystem::exists(target)) {
        if (HVFileSystem::exists(backup) && !HVFileSystem::removeRecursively(backup)) {
            HVSetError(error, HVError(HVBundleErrorDomain, HVBundleCommitError,
                                      "The old backup " + quoted(backup) + " cannot be removed."));
            return false;
        }
        if (!moveItem(target, backup, error))
            return false;
        movedAside = true;
    }

    std::string resources = movedAside
                                ? HVFileSystem::appendingPathComponent(backup, "Contents/Resources")
                            : m_path.empty() ? std::string()
                                             : contentsPath("Resources");
    HVError writeError;
    if (!writeContents(target, resources, &writeError)) {
        HVFileSystem::removeRecursively(target);
        if (movedAside)
            moveItem(backup, target, nullptr);
        HVSetError(error, HVError(HVBundleErrorDomain, HVBundleCommitError,
                                  "The bundle " + quoted(m_title) + " cannot be saved to " +
                                      quoted(target) + ": " + writeError.description()));
        return false;
    }
    if (m_path.empty())
        m_path = target;
    if (movedAside)
        HVFileSystem::removeRecursively(backup);
    return true;
}
