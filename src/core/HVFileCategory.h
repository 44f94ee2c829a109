#pragma once

#include "HVFileCategoryType.h"
#include "HVPlistValue.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class HVError;
class HVFileCategories;

// A named group of file extensions, text or image ("HTML": html htm xhtml). Every change of
// its types is told to the file categories that hold it, so that their extension map stays
// current, and takes their lock.
class HVFileCategory : public std::enable_shared_from_this<HVFileCategory> {
public:
    // From a definition of the category file: {"types": [extensions], "insertWhenDragged":
    // anything, kept as it is}. A definition that is not a dictionary, or types that are not
    // strings, are reported in error; what can be read is kept.
    static std::shared_ptr<HVFileCategory>
    initWithTitle(std::string title, const HVPlistValue& definition = {}, HVError* error = nullptr);
    ~HVFileCategory();
    HVFileCategory(const HVFileCategory&) = delete;
    HVFileCategory& operator=(const HVFileCategory&) = delete;

    // The definition: "types" in display order, and "insertWhenDragged" when it was read.
    HVPlistValue plistRepresentation() const;

    std::string title() const;
    // False, changing nothing, for an empty title or one that another category of the same
    // file categories already has (ignoring case). The lists stay sorted.
    bool setTitle(std::string title);
    std::optional<HVPlistValue> insertWhenDragged() const;

    std::vector<HVFileCategoryType> types() const;
    std::vector<std::string> typeTitles() const;
    // Whether the category lists exactly this extension.
    bool listsExtension(std::string_view extension) const;

    // Extensions are taken without leading dots and surrounding spaces. An empty extension, or
    // one that the category already lists exactly, is refused (false). Extensions differing
    // only in case are distinct: the extension map is case-sensitive.
    // Inserts before the first type that sorts after it, ignoring case.
    bool addType(std::string_view extension);
    std::size_t countOfTypes() const;
    std::optional<HVFileCategoryType> objectInTypesAtIndex(std::size_t index) const;
    bool insertObject(std::string_view extension, std::size_t index);
    bool insertObject(const HVFileCategoryType& type, std::size_t index);
    bool removeObjectFromTypesAtIndex(std::size_t index);
    // Removes the type listed exactly so, else the first equal to it ignoring case.
    bool removeObjectFromTypes(std::string_view extension);
    bool removeObjectFromTypes(const HVFileCategoryType& type);
    bool replaceObjectInTypesAtIndex(std::size_t index, std::string_view extension);
    bool replaceObjectInTypesAtIndex(std::size_t index, const HVFileCategoryType& type);

    // By title, ignoring case.
    int compare(const HVFileCategory& other) const;

    // ".PHP " -> "PHP": the form in which extensions are stored.
    static std::string normalizedExtension(std::string_view extension);

private:
    friend class HVFileCategories;
    explicit HVFileCategory(std::string title);

    // The holder's lock, taken before the category's own by every operation.
    std::unique_lock<std::recursive_mutex> lockOwner() const;
    bool insertLocked(std::string extension, std::size_t index);
    void noteAdded(const std::string& extension);
    void noteRemoved(const std::string& extension);

    std::atomic<HVFileCategories*> m_owner{nullptr};
    mutable std::recursive_mutex m_mutex;
    std::string m_title;
    std::vector<HVFileCategoryType> m_types;
    std::optional<HVPlistValue> m_insertWhenDragged;
};
