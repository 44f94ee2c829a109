#pragma once

#include "HVError.h"

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

class HVBundle;
class HVFileCategory;

// Posted when the user changed which extensions a bundle claims.
inline constexpr std::string_view HVBundleFileCategoriesChangedNotification =
    "HVBundleFileCategoriesChanged";

// Every language the program knows: the user's bundles (in the support directory's "Bundles"
// folder, searched recursively) before the shipped ones, one bundle per bundle identifier, so a
// user's copy hides the shipped bundle of the same identifier. Bundles the user removed are
// hidden ("HVHiddenBundles"; their files stay). Loaded on the first lookup.
//
// Three tables answer the lookups: bundle identifier, parser identifier ("format-id") and
// extension to bundle. When two bundles claim the same extension, or the same parser
// identifier, the one loaded first keeps it, so a user's bundle wins over a shipped one.
//
// Every operation holds one recursive lock, loading included, so the repository can be read
// from the code indexer's thread and a parser that looks up other languages while it loads
// (finishLoad) re-enters it.
class HVBundleRepository {
public:
    // Negative, 0 or positive, as HVBundle::compareTitle.
    using Comparison = std::function<int(const HVBundle&, const HVBundle&)>;

    // An empty repository that loads on first use; tests make their own.
    HVBundleRepository();
    ~HVBundleRepository();
    HVBundleRepository(const HVBundleRepository&) = delete;
    HVBundleRepository& operator=(const HVBundleRepository&) = delete;

    static HVBundleRepository& sharedRepository();

    // Every bundle, in load order, or sorted by the comparison.
    std::vector<std::shared_ptr<HVBundle>> bundles(const Comparison& comparison = {});
    std::vector<std::shared_ptr<HVBundle>> bundlesSortedByTitle();
    std::shared_ptr<HVBundle> bundleForBundleIdentifier(std::string_view bundleIdentifier);
    // By the parser's identifier; none for an empty identifier.
    std::shared_ptr<HVBundle> bundleForIdentifier(std::string_view identifier);
    // The bundle that claims the extension, compared exactly (a file named INDEX.HTML finds a
    // bundle only if one lists "HTML"). The category is not consulted.
    std::shared_ptr<HVBundle> bundleForFileCategory(const std::shared_ptr<HVFileCategory>& category,
                                                    std::string_view extension);
    // The bundle for a file by its name: the one that claims the name's extension, or, for a
    // dot-file without one (".htaccess", ".bashrc"), the one that claims its whole name after
    // the dot ("htaccess").
    std::shared_ptr<HVBundle> bundleForFileName(std::string_view path);
    // What bundleForFileName() looks up: the extension, or a dot-file's name after the dot.
    static std::string fileTypeOfName(std::string_view path);
    // The bundle titled so (ignoring case) if there is one; else, when no bundle has the
    // parser identifier, a new unsaved bundle entered in the tables; else none.
    std::shared_ptr<HVBundle> addBundleWithTitle(std::string title, std::string parseIdentifier);
    // Hides the bundle now and at later starts, and takes it out of every table. Parsers that
    // embed its language keep working until the repository is reloaded.
    bool removeBundle(const std::shared_ptr<HVBundle>& bundle);
    // Rebuilds the extension table from the bundles' current file types.
    void refreshBundleFileTypes();

    // Reads every bundle anew.
    void loadBundles();
    // Forgets everything, so that the next lookup loads again.
    void reset();

    std::set<std::string> hiddenBundles();
    // Directories that were not bundles and definitions that could not be read, at the last
    // load.
    std::vector<HVError> loadErrors();

    // The lock every operation holds, for a caller that needs several answers to agree.
    std::recursive_mutex& mutex() { return m_mutex; }

private:
    void loadIfNeeded();
    void rebuildFileTypes();
    void readIndexersAgain();

    std::recursive_mutex m_mutex;
    bool m_loaded = false;
    bool m_observing = false;
    std::vector<std::shared_ptr<HVBundle>> m_bundles;
    std::map<std::string, std::shared_ptr<HVBundle>, std::less<>> m_bundlesByID;
    std::map<std::string, std::shared_ptr<HVBundle>, std::less<>> m_bundlesByParser;
    std::map<std::string, std::shared_ptr<HVBundle>, std::less<>> m_bundlesByFileType;
    std::set<std::string> m_hiddenBundles;
    std::vector<HVError> m_loadErrors;
    // Bundles taken out of the tables: their parsers stay alive for the parsers that embed
    // them until the next load.
    std::vector<std::shared_ptr<HVBundle>> m_removedBundles;
    std::uint64_t m_prefsObserver = 0;
};
