#pragma once

#include "HVError.h"
#include "HVPlistValue.h"

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class HVCodeNavigation;
class HVFileCategory;
class HVParser;

// Problems with language bundles: a directory that is not a bundle, a definition that cannot be
// read, a bundle that cannot be saved.
inline constexpr std::string_view HVBundleErrorDomain = "com.ternwick.halvet.bundles";
enum HVBundleErrorCode : std::int64_t {
    HVBundleNotABundleError = 1,
    HVBundleDefinitionError = 2,
    HVBundleCommitError = 3,
};

// One language: a directory with the extension "hvbundle" whose "Contents" folder holds its
// identity ("Info.plist") and its definitions: "syntax.plist" (the parser), "codenav.plist"
// (code navigation), "hinting.plist", "completion.plist" and "indexer.plist", and a "Resources"
// folder of images and interface files.
//
// Call hints, completion and the indexer stand above this layer: a bundle keeps their
// dictionaries as data (codeHinting(), codeCompletion(), codeIndexer()), writes them back
// unchanged, and the code intelligence layer builds its objects from them once per bundle.
//
// A bundle is used on the main thread; the repository's lock guards the bundles it hands out
// when other threads read them.
class HVBundle {
public:
    // Reads "Contents/Info.plist" (identity, title, "hide-in-list", "tooltip", version, file
    // categories and types) and, unless lazily, the definitions. None, with the reason in
    // error, when the directory has no bundle identifier or its Info.plist cannot be read.
    static std::shared_ptr<HVBundle> initWithPath(const std::string& path, bool lazily,
                                                  HVError* error = nullptr);
    // A new bundle that is not saved yet: the title, a base parser with the identifier, a
    // fresh unique bundle identifier, no categories.
    static std::shared_ptr<HVBundle> initWithTitle(std::string title, std::string parseIdentifier);
    ~HVBundle();
    HVBundle(const HVBundle&) = delete;
    HVBundle& operator=(const HVBundle&) = delete;

    // loadParser, loadCodeHinting, loadCodeCompletion, loadCodeIndexer, in this order.
    void loadDefinitions();
    // "syntax.plist": its "format-type" chooses the kind ("tag", "keyword", anything else the
    // base parser, which paints nothing but folds); then "codenav.plist", when it holds an
    // array, becomes the parser's code navigation. Without a syntax definition the bundle has
    // no parser and no code navigation.
    void loadParser();
    void loadCodeHinting();
    // Kept when "completion.plist" names a "class" or a "format-type" of "tag" or "keyword".
    void loadCodeCompletion();
    // Read again whenever the preferences close.
    void loadCodeIndexer();

    // The bundle directory; empty for a bundle made in the program and not saved yet.
    const std::string& path() const { return m_path; }
    const std::string& bundleIdentifier() const { return m_bundleIdentifier; }
    const std::string& title() const { return m_title; }
    bool hideInList() const { return m_hideInList; }
    const std::string& tooltip() const { return m_tooltip; }
    const std::string& version() const { return m_version; }

    // The categories named by "file-categories" that exist, in that order.
    const std::vector<std::shared_ptr<HVFileCategory>>& fileCategories() const {
        return m_fileCategories;
    }
    void setFileCategories(std::vector<std::shared_ptr<HVFileCategory>> categories);
    // The extensions this language claims: every type of every category, in category order
    // (read now, so a category's new extension counts at once), or, when that gives none, the
    // Info.plist "file-types".
    std::vector<std::string> fileTypes() const;

    // The syntax parser, or none.
    const std::shared_ptr<HVParser>& parser() const { return m_parser; }
    void setParser(std::shared_ptr<HVParser> parser);
    // The parser's identifier ("format-id"); empty without a parser.
    std::string identifier() const;
    // The parser's code navigation, or none.
    HVCodeNavigation* codeNavParser() const;
    void setCodeNavParser(std::shared_ptr<HVCodeNavigation> codeNavigation);

    // The definitions kept as data.
    const std::optional<HVPlistValue>& codeHinting() const { return m_codeHinting; }
    const std::optional<HVPlistValue>& codeCompletion() const { return m_codeCompletion; }
    void setCodeCompletion(std::optional<HVPlistValue> completion) {
        m_codeCompletion = std::move(completion);
    }
    const std::optional<HVPlistValue>& codeIndexer() const { return m_codeIndexer; }

    // Writes the bundle to the user's "Bundles" folder, under the directory's own name or, for
    // a new bundle, its title with the extension "hvbundle". An existing copy is moved aside to
    // "<name>.backup" first and put back when anything fails; on success the backup is removed
    // and a new bundle takes the written directory as its own.
    bool commit(HVError* error = nullptr);
    // Where commit writes.
    std::string commitPath() const;

    // Orders by title ignoring case: negative, 0 or positive.
    int compareTitle(const HVBundle& other) const;

    // The path of an image in "Contents/Resources" by file name (with its extension); the GUI
    // loads the image. Answers are cached.
    std::optional<std::string> imageNamed(std::string_view name);
    // The path of any file in "Contents/Resources" (an interface file for the bundle's own
    // panels), or none.
    std::optional<std::string> pathForResource(std::string_view name) const;

    // What could not be read, one record per problem; the bundle keeps the rest.
    const std::vector<HVError>& loadErrors() const { return m_loadErrors; }

private:
    HVBundle() = default;
    std::string contentsPath(std::string_view file) const;
    // The dictionary or array in a definition file: none when the file is missing; an error
    // record when it cannot be read or holds something else.
    std::optional<HVPlistValue> readDefinition(std::string_view file, HVPlistValue::Type type);
    void addLoadError(std::int64_t code, std::string description);
    bool writeContents(const std::string& target, const std::string& resourcesSource,
                       HVError* error) const;

    std::string m_path;
    std::string m_bundleIdentifier;
    std::string m_title;
    bool m_hideInList = false;
    std::string m_tooltip;
    std::string m_version = "1.0";
    std::vector<std::shared_ptr<HVFileCategory>> m_fileCategories;
    std::vector<std::string> m_infoFileTypes;
    std::shared_ptr<HVParser> m_parser;
    // "codenav.plist" as read, while no code navigation could be built from it.
    std::optional<HVPlistValue> m_codeNavData;
    std::optional<HVPlistValue> m_codeHinting;
    std::optional<HVPlistValue> m_codeCompletion;
    std::optional<HVPlistValue> m_codeIndexer;
    std::mutex m_imagesMutex;
    std::map<std::string, std::optional<std::string>, std::less<>> m_images;
    std::vector<HVError> m_loadErrors;
};
