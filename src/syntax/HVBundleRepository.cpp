#include "HVBundleRepository.h"

#include "Defaults.h"
#include "HVBundle.h"
#include "HVFileSystem.h"
#include "HVNotificationCenter.h"
#include "HVParser.h"
#include "HVPreferences.h"
#include "HVSyntaxSupport.h"

#include <algorithm>

namespace {

constexpr std::string_view kHiddenBundlesKey = "HVHiddenBundles";
constexpr std::string_view kPrefsClosedNotification = "HalvetPrefsClosed";

} // namespace

HVBundleRepository::HVBundleRepository() {
    // Made first so that it outlives the shared repository, which observes it.
    HVNotificationCenter::defaultCenter();
}

HVBundleRepository::~HVBundleRepository() {
    if (m_observing)
        HVNotificationCenter::defaultCenter().removeObserver(m_prefsObserver);
}

HVBundleRepository& HVBundleRepository::sharedRepository() {
    // Static initialisation is serialised, so two threads never make two repositories.
    static HVBundleRepository repository;
    return repository;
}

void HVBundleRepository::reset() {
    std::lock_guard lock(m_mutex);
    m_loaded = false;
    m_bundles.clear();
    m_bundlesByID.clear();
    m_bundlesByParser.clear();
    m_bundlesByFileType.clear();
    m_hiddenBundles.clear();
    m_loadErrors.clear();
    m_removedBundles.clear();
}

void HVBundleRepository::loadIfNeeded() {
    if (!m_loaded)
        loadBundles();
}

void HVBundleRepository::loadBundles() {
    std::lock_guard lock(m_mutex);
    reset();
    // Set first: lookups made while the parsers finish loading must not load again.
    m_loaded = true;
    if (auto hidden = HVPreferences::sharedInstance().arrayForKey(kHiddenBundlesKey)) {
        for (const auto& value : *hidden) {
            if (const std::string* identifier = value.string())
                m_hiddenBundles.insert(*identifier);
        }
    }

    for (const std::string& path : Defaults::pathsForResourcesOfType("hvbundle", "Bundles")) {
        HVError error;
        auto bundle = HVBundle::initWithPath(path, true, &error);
        if (!bundle) {
            m_loadErrors.push_back(error);
            continue;
        }
        const std::string& identifier = bundle->bundleIdentifier();
        if (m_bundlesByID.count(identifier) || m_hiddenBundles.count(identifier))
            continue;
        bundle->loadDefinitions();
        for (const HVError& problem : bundle->loadErrors())
            m_loadErrors.push_back(problem);
        m_bundlesByID.emplace(identifier, bundle);
        std::string parserIdentifier = bundle->identifier();
        if (!parserIdentifier.empty())
            m_bundlesByParser.emplace(parserIdentifier, bundle);
        m_bundles.push_back(std::move(bundle));
    }
    rebuildFileTypes();
    for (const auto& bundle : m_bundles) {
        if (bundle->parser())
            bundle->parser()->finishLoad(*this);
    }

    if (!m_observing) {
        m_observing = true;
        m_prefsObserver = HVNotificationCenter::defaultCenter().addObserver(
            std::string(kPrefsClosedNotification), nullptr,
            [this](const HVNotification&) { readIndexersAgain(); });
    }
}

void HVBundleRepository::readIndexersAgain() {
    std::lock_guard lock(m_mutex);
    for (const auto& bundle : m_bundles)
        bundle->loadCodeIndexer();
}

void HVBundleRepository::rebuildFileTypes() {
    m_bundlesByFileType.clear();
    for (const auto& bundle : m_bundles) {
        for (const std::string& type : bundle->fileTypes())
            m_bundlesByFileType.emplace(type, bundle);
    }
}

void HVBundleRepository::refreshBundleFileTypes() {
    std::lock_guard lock(m_mutex);
    loadIfNeeded();
    rebuildFileTypes();
}

std::vector<std::shared_ptr<HVBundle>> HVBundleRepository::bundles(const Comparison& comparison) {
    std::lock_guard lock(m_mutex);
    loadIfNeeded();
    std::vector<std::shared_ptr<HVBundle>> result = m_bundles;
    if (comparison)
        std::stable_sort(result.begin(), result.end(),
                         [&](const auto& a, const auto& b) { return comparison(*a, *b) < 0; });
    return result;
}

std::vector<std::shared_ptr<HVBundle>> HVBundleRepository::bundlesSortedByTitle() {
    return bundles([](const HVBundle& a, const HVBundle& b) { return a.compareTitle(b); });
}

std::shared_ptr<HVBundle>
HVBundleRepository::bundleForBundleIdentifier(std::string_view bundleIdentifier) {
    std::lock_guard lock(m_mutex);
    loadIfNeeded();
    auto it = m_bundlesByID.find(bundleIdentifier);
    return it == m_bundlesByID.end() ? nullptr : it->second;
}

std::shared_ptr<HVBundle> HVBundleRepository::bundleForIdentifier(std::string_view identifier) {
    if (identifier.empty())
        return nullptr;
    std::lock_guard lock(m_mutex);
    loadIfNeeded();
    auto it = m_bundlesByParser.find(identifier);
    return it == m_bundlesByParser.end() ? nullptr : it->second;
}

std::shared_ptr<HVBundle>
HVBundleRepository::bundleForFileCategory(const std::shared_ptr<HVFileCategory>&,
                                          std::string_view extension) {
    std::lock_guard lock(m_mutex);
    loadIfNeeded();
    auto it = m_bundlesByFileType.find(extension);
    return it == m_bundlesByFileType.end() ? nullptr : it->second;
}

std::string HVBundleRepository::fileTypeOfName(std::string_view path) {
    std::string extension = HVFileSystem::pathExtension(path);
    if (!extension.empty())
        return extension;
    std::string name = HVFileSystem::lastPathComponent(path);
    if (name.size() > 1 && name.front() == '.')
        return name.substr(1);
    return {};
}

std::shared_ptr<HVBundle> HVBundleRepository::bundleForFileName(std::string_view path) {
    std::string type = fileTypeOfName(path);
    return type.empty() ? nullptr : bundleForFileCategory(nullptr, type);
}

std::shared_ptr<HVBundle> HVBundleRepository::addBundleWithTitle(std::string title,
                                                                 std::string parseIdentifier) {
    std::lock_guard lock(m_mutex);
    loadIfNeeded();
    for (const auto& bundle : m_bundles) {
        if (hvsyntax::compareIgnoringCase(bundle->title(), title) == 0)
            return bundle;
    }
    if (m_bundlesByParser.count(parseIdentifier))
        return nullptr;
    auto bundle = HVBundle::initWithTitle(std::move(title), std::move(parseIdentifier));
    m_bundlesByID.emplace(bundle->bundleIdentifier(), bundle);
    if (!bundle->identifier().empty())
        m_bundlesByParser.emplace(bundle->identifier(), bundle);
    m_bundles.push_back(bundle);
    return bundle;
}

bool HVBundleRepository::removeBundle(const std::shared_ptr<HVBundle>& bundle) {
    if (!bundle)
        return false;
    std::lock_guard lock(m_mutex);
    loadIfNeeded();
    m_hiddenBundles.insert(bundle->bundleIdentifier());
    HVPlistValue::Array hidden;
    for (const std::string& identifier : m_hiddenBundles)
        hidden.emplace_back(identifier);
    HVPreferences::sharedInstance().setObject(kHiddenBundlesKey, std::move(hidden));

    std::erase_if(m_bundlesByID, [&](const auto& entry) { return entry.second == bundle; });
    auto it = std::find(m_bundles.begin(), m_bundles.end(), bundle);
    if (it != m_bundles.end()) {
        m_removedBundles.push_back(*it);
        m_bundles.erase(it);
    }
    // Another bundle that claims the same parser identifier or extensions takes them over.
    m_bundlesByParser.clear();
    for (const auto& kept : m_bundles) {
        if (std::string identifier = kept->identifier(); !identifier.empty())
            m_bundlesByParser.emplace(std::move(identifier), kept);
    }
    rebuildFileTypes();
    return true;
}

std::set<std::string> HVBundleRepository::hiddenBundles() {
    std::lock_guard lock(m_mutex);
    loadIfNeeded();
    return m_hiddenBundles;
}

std::vector<HVError> HVBundleRepository::loadErrors() {
    std::lock_guard lock(m_mutex);
    loadIfNeeded();
    return m_loadErrors;
}
