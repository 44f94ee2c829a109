#include "HVFileFilters.h"

#include "HVDataFile.h"
#include "HVNotificationCenter.h"

namespace {

HVDataFile filterFile() {
    return HVDataFile("siteViewFiles", "file filters");
}

} // namespace

HVFileFilters::HVFileFilters() = default;
HVFileFilters::~HVFileFilters() = default;

HVFileFilters& HVFileFilters::sharedFilters() {
    static HVFileFilters shared;
    return shared;
}

const std::vector<std::string>& HVFileFilters::builtInPatterns() {
    // Folder metadata, the program's own marker, project and temporary upload files, then the
    // working-copy metadata of Subversion, Git and CVS.
    static const std::vector<std::string> patterns = {
        "(\\.DS_Store$)|(\\.Halvet$)|(\\.hvproj$)|(\\.tmp_Halvet)",
        "(\\.svn$)|(\\.git$)|(CVS$)|(\\.gitignore)|(\\.cvsignore)",
    };
    return patterns;
}

void HVFileFilters::loadIfNeeded() {
    if (!m_loaded)
        loadLocked(nullptr);
}

bool HVFileFilters::loadLocked(HVError* error) {
    m_loaded = true;
    m_filters.clear();
    m_builtInFilters.clear();
    for (const auto& pattern : builtInPatterns())
        m_builtInFilters.push_back(HVFileFilter::filterWithPattern(pattern));
    m_loadError.reset();
    m_userCopyUnreadable = false;

    HVDataFile file = filterFile();
    HVError readError;
    bool unreadable = false;
    auto contents = file.read(HVPlistValue::Type::Array, &unreadable, &readError);
    bool failed = !readError.domain().empty();
    m_userCopyUnreadable = unreadable;
    if (contents) {
        std::string problems;
        std::size_t index = 0;
        for (const auto& element : *contents->value.array()) {
            ++index;
            HVError elementError;
            auto filter = HVFileFilter::initWithPlist(element, &elementError);
            if (!elementError.domain().empty()) {
                problems += (problems.empty() ? "" : " ");
                problems += "Filter " + std::to_string(index) + ": " + elementError.description();
                if (!elementError.recoverySuggestion().empty())
                    problems += " " + elementError.recoverySuggestion();
            }
            if (filter)
                m_filters.push_back(std::move(filter));
        }
        if (!problems.empty() && !failed) {
            readError = file.partlyUnreadableError(*contents, problems);
            failed = true;
            if (contents->fromUserCopy)
                m_userCopyUnreadable = true;
        }
    }
    m_modified = false;
    if (failed) {
        m_loadError = readError;
        HVSetError(error, std::move(readError));
    }
    return !failed;
}

bool HVFileFilters::loadData(HVError* error) {
    std::lock_guard lock(m_mutex);
    return loadLocked(error);
}

std::vector<std::shared_ptr<HVFileFilter>> HVFileFilters::filters() {
    std::lock_guard lock(m_mutex);
    loadIfNeeded();
    return m_filters;
}

std::size_t HVFileFilters::countOfFilters() {
    std::lock_guard lock(m_mutex);
    loadIfNeeded();
    return m_filters.size();
}

std::shared_ptr<HVFileFilter> HVFileFilters::objectInFiltersAtIndex(std::size_t index) {
    std::lock_guard lock(m_mutex);
    loadIfNeeded();
    return index < m_filters.size() ? m_filters[index] : nullptr;
}

bool HVFileFilters::insertObject(std::shared_ptr<HVFileFilter> filter, std::size_t index) {
    std::lock_guard lock(m_mutex);
    loadIfNeeded();
    if (!filter || index > m_filters.size())
        return false;
    m_filters.insert(m_filters.begin() + std::ptrdiff_t(index), std::move(filter));
    m_modified = true;
    return true;
}

bool HVFileFilters::removeObjectFromFiltersAtIndex(std::size_t index) {
    std::lock_guard lock(m_mutex);
    loadIfNeeded();
    if (index >= m_filters.size())
        return false;
    m_filters.erase(m_filters.begin() + std::ptrdiff_t(index));
    m_modified = true;
    return true;
}

bool HVFileFilters::replaceObjectInFiltersAtIndex(std::size_t index,
                                                  std::shared_ptr<HVFileFilter> filter) {
    std::lock_guard lock(m_mutex);
    loadIfNeeded();
    if (!filter || index >= m_filters.size())
        return false;
    m_filters[index] = std::move(filter);
    m_modified = true;
    return true;
}

bool HVFileFilters::stringMatchesFilters(std::string_view name) {
    std::vector<std::shared_ptr<HVFileFilter>> user, builtIn;
    {
        // Match on a snapshot, so that the preferences can edit the list meanwhile.
        std::lock_guard lock(m_mutex);
        loadIfNeeded();
        user = m_filters;
        builtIn = m_builtInFilters;
    }
    for (const auto& filter : user) {
        if (filter->matchesString(name))
            return true;
    }
    for (const auto& filter : builtIn) {
        if (filter->matchesString(name))
            return true;
    }
    return false;
}

HVPlistValue::Array HVFileFilters::filterArray(const HVPlistValue::Array& array,
                                               std::string_view key) {
    HVPlistValue::Array kept;
    for (const auto& element : array) {
        const std::string* name = element.stringForKey(key);
        if (!name || !stringMatchesFilters(*name))
            kept.push_back(element);
    }
    return kept;
}

HVPlistValue HVFileFilters::plistRepresentation() {
    std::lock_guard lock(m_mutex);
    loadIfNeeded();
    HVPlistValue::Array array;
    for (const auto& filter : m_filters)
        array.push_back(filter->plistRepresentation());
    return HVPlistValue(std::move(array));
}

bool HVFileFilters::commit(HVError* error) {
    HVPlistValue plist = plistRepresentation();
    std::lock_guard lock(m_mutex);
    if (!filterFile().write(plist, m_userCopyUnreadable, error))
        return false;
    m_userCopyUnreadable = false;
    return true;
}

bool HVFileFilters::commitIfModified(HVError* error) {
    if (!modified())
        return true;
    bool saved = commit(error);
    if (saved)
        setModified(false);
    HVNotificationCenter::defaultCenter().postNotificationName(
        std::string(HVSiteViewFiltersChangedNotification));
    return saved;
}

bool HVFileFilters::modified() {
    std::lock_guard lock(m_mutex);
    if (m_modified)
        return true;
    for (const auto& filter : m_filters) {
        if (filter->modified())
            return true;
    }
    return false;
}

void HVFileFilters::setModified(bool modified) {
    std::lock_guard lock(m_mutex);
    m_modified = modified;
    if (!modified) {
        for (const auto& filter : m_filters)
            filter->setModified(false);
    }
}

std::optional<HVError> HVFileFilters::loadError() {
    std::lock_guard lock(m_mutex);
    loadIfNeeded();
    return m_loadError;
}
