#pragma once

#include "HVError.h"
#include "HVFileFilter.h"
#include "HVPlistValue.h"

#include <concepts>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Posted, with no object, after edited filters were saved when the filter preferences close.
inline constexpr std::string_view HVSiteViewFiltersChangedNotification = "HVSiteViewFiltersChanged";

// The shared name filters: the user's ordered list from "data/siteViewFiles.plist" (the user's
// copy in the support directory before the shipped one) and two built-in filters that are
// always applied and never stored or shown. A name that matches any enabled filter is hidden
// from project trees and remote listings. The list loads on first use.
class HVFileFilters {
public:
    HVFileFilters();
    ~HVFileFilters();
    HVFileFilters(const HVFileFilters&) = delete;
    HVFileFilters& operator=(const HVFileFilters&) = delete;

    static HVFileFilters& sharedFilters();
    // The patterns of the built-in filters, applied after the user's, in this order.
    static const std::vector<std::string>& builtInPatterns();

    // The user's filters. Each operation below loads the list first when needed.
    std::vector<std::shared_ptr<HVFileFilter>> filters();
    std::size_t countOfFilters();
    // None when the index is out of range.
    std::shared_ptr<HVFileFilter> objectInFiltersAtIndex(std::size_t index);
    // Inserting, removing and replacing mark the list modified; false for a bad index or none.
    bool insertObject(std::shared_ptr<HVFileFilter> filter, std::size_t index);
    bool removeObjectFromFiltersAtIndex(std::size_t index);
    // Puts an edited copy in the place of the filter at the index.
    bool replaceObjectInFiltersAtIndex(std::size_t index, std::shared_ptr<HVFileFilter> filter);

    // The user's filters in order, then the built-in ones: true at the first match.
    bool stringMatchesFilters(std::string_view name);
    // The elements whose value for the key does not match; dictionaries without a string for
    // the key, and elements that are not dictionaries, are kept.
    HVPlistValue::Array filterArray(const HVPlistValue::Array& array, std::string_view key);
    // The same for any list: key(element) gives the name to test.
    template <class T, std::invocable<const T&> Key>
    std::vector<T> filterArray(const std::vector<T>& array, Key key) {
        std::vector<T> kept;
        for (const auto& element : array) {
            if (!stringMatchesFilters(key(element)))
                kept.push_back(element);
        }
        return kept;
    }

    // Replaces the user's list by the filter file's elements and makes the built-in filters
    // anew. A missing file gives an empty list. An unreadable user copy is reported in error
    // (and loadError()) and the shipped filters are used; elements that cannot be read are
    // reported and left out. False when an error was reported.
    bool loadData(HVError* error = nullptr);
    // Writes the user's filters to the support directory's "data/siteViewFiles.plist" as XML,
    // atomically. A user copy that could not be read is first renamed to ".unreadable".
    bool commit(HVError* error = nullptr);
    // What closing the filter preferences does: when the filters are modified, saves them,
    // clears the modified flags once saved and posts HVSiteViewFiltersChanged (also when the
    // save failed, since the filters in use changed). True when nothing needed saving or the
    // save succeeded.
    bool commitIfModified(HVError* error = nullptr);
    HVPlistValue plistRepresentation();

    // The list's own flag or any filter's.
    bool modified();
    // Clearing also clears every filter's flag.
    void setModified(bool modified);

    // What went wrong at the last load, if anything (loading first when needed).
    std::optional<HVError> loadError();

private:
    void loadIfNeeded();
    bool loadLocked(HVError* error);

    std::mutex m_mutex;
    bool m_loaded = false;
    bool m_modified = false;
    bool m_userCopyUnreadable = false;
    std::optional<HVError> m_loadError;
    std::vector<std::shared_ptr<HVFileFilter>> m_filters;
    std::vector<std::shared_ptr<HVFileFilter>> m_builtInFilters;
};
