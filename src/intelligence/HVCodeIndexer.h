#pragma once

#include "HVCodeIndexKey.h"
#include "HVError.h"
#include "HVPlistValue.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

class HVBundle;

// Turns one file into index entries, driven by its language's "indexer.plist": patterns that
// strip comments and noise, find symbols, tags and the files it includes, and hand embedded
// regions (PHP inside HTML) to that language's indexer. Runs on the index's thread, one file
// at a time.
class HVCodeIndexer {
public:
    ~HVCodeIndexer();
    // Compiles a definition; patterns that do not compile are dropped (and listed in errors).
    static std::shared_ptr<HVCodeIndexer> initWithBundle(const std::shared_ptr<HVBundle>& bundle,
                                                         const HVPlistValue& plist,
                                                         std::vector<HVError>* errors = nullptr);
    // The indexer of the bundle that claims the path's extension, unless it is switched off.
    // Any thread (it holds the bundle repository's lock while it looks).
    static std::shared_ptr<HVCodeIndexer> indexerForPath(const std::string& path);
    // The bundle's compiled indexer, made again when the bundle's definition changed (it is
    // read again when the preferences close); none without a definition. Switched-off
    // indexers are answered too. Holds the repository's lock.
    static std::shared_ptr<HVCodeIndexer> indexerForBundle(const std::shared_ptr<HVBundle>& bundle);

    // Reads the file (decoded as on opening, then UTF-8) and indexes it; a file that cannot
    // be read gives nothing.
    std::vector<HVCodeIndexKey> indexFile(const std::string& path);
    std::vector<HVCodeIndexKey> indexUTF8Data(std::string data, const std::string& path);

    // The last run's findings.
    const std::vector<HVCodeIndexKey>& results() const { return m_results; }
    const std::vector<std::string>& referencedFiles() const { return m_referencedFiles; }
    const std::vector<std::string>& referencedTags() const { return m_referencedTags; }
    const std::vector<std::string>& tags() const { return m_tags; }

    // The bundle's parser identifier, recorded as each symbol's language.
    const std::string& indexClass() const { return m_indexClass; }
    // 0 not set, 1 on, 2 off.
    int enabled() const { return m_enabled; }
    void setEnabled(int enabled) { m_enabled = enabled; }
    // The definition as "indexer.plist" holds it: every pattern that compiled, as its source
    // text, with "tags" and "pathResolution" as read.
    HVPlistValue plistRepresentation() const;
    // Writes plistRepresentation() as "indexer.plist" (binary) into a bundle's "Contents".
    bool commitToPath(const std::string& contentsDirectory, HVError* error = nullptr) const;

private:
    struct Definition;
    HVCodeIndexer();
    void indexData(std::string& data, const std::string& path, int depth);
    std::weak_ptr<HVBundle> m_bundle;
    std::string m_indexClass;
    int m_enabled = 0;
    std::unique_ptr<Definition> m_definition;
    std::vector<HVCodeIndexKey> m_results;
    std::vector<std::string> m_referencedFiles;
    std::vector<std::string> m_referencedTags;
    std::vector<std::string> m_tags;
};
