#include "HVFileCategory.h"

#include "HVCaseInsensitive.h"
#include "HVError.h"
#include "HVFileCategories.h"

#include <algorithm>

HVFileCategory::HVFileCategory(std::string title) : m_title(std::move(title)) {}

HVFileCategory::~HVFileCategory() = default;

std::shared_ptr<HVFileCategory>
HVFileCategory::initWithTitle(std::string title, const HVPlistValue& definition, HVError* error) {
    std::shared_ptr<HVFileCategory> category(new HVFileCategory(std::move(title)));
    if (definition.isNone())
        return category;
    std::string problems;
    auto problem = [&](std::string text) {
        problems += (problems.empty() ? "" : " ");
        problems += std::move(text);
    };
    if (!definition.isDictionary()) {
        problem("Its definition is not a dictionary.");
    } else {
        if (auto insert = definition.objectForKey("insertWhenDragged"))
            category->m_insertWhenDragged = *insert;
        if (auto types = definition.objectForKey("types")) {
            if (!types->isArray()) {
                problem("Its \"types\" is not an array.");
            } else {
                std::size_t index = 0;
                for (const auto& type : *types->array()) {
                    ++index;
                    std::string extension =
                        type.isString() ? normalizedExtension(*type.string()) : std::string();
                    if (extension.empty()) {
                        problem("Type " + std::to_string(index) + " is not an extension.");
                        continue;
                    }
                    // Kept as listed: the order is the display order.
                    if (!category->listsExtension(extension))
                        category->m_types.push_back(
                            HVFileCategoryType::typeWithTitle(extension, category));
                }
            }
        }
    }
    if (!problems.empty())
        HVSetError(error,
                   HVError(HVPlatformErrorDomain, HVFileReadCorruptFileError,
                           "The category \"" + category->m_title + "\" is not entirely readable.",
                           problems));
    return category;
}

std::string HVFileCategory::normalizedExtension(std::string_view extension) {
    auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    while (!extension.empty() && isSpace(extension.front()))
        extension.remove_prefix(1);
    while (!extension.empty() && isSpace(extension.back()))
        extension.remove_suffix(1);
    while (!extension.empty() && extension.front() == '.')
        extension.remove_prefix(1);
    return std::string(extension);
}

std::unique_lock<std::recursive_mutex> HVFileCategory::lockOwner() const {
    if (HVFileCategories* owner = m_owner.load())
        return std::unique_lock(owner->m_lock);
    return {};
}

HVPlistValue HVFileCategory::plistRepresentation() const {
    auto ownerLock = lockOwner();
    std::lock_guard lock(m_mutex);
    HVPlistValue::Dictionary definition;
    HVPlistValue::Array types;
    for (const auto& type : m_types)
        types.push_back(type.title());
    definition["types"] = std::move(types);
    if (m_insertWhenDragged)
        definition["insertWhenDragged"] = *m_insertWhenDragged;
    return HVPlistValue(std::move(definition));
}

std::string HVFileCategory::title() const {
    std::lock_guard lock(m_mutex);
    return m_title;
}

bool HVFileCategory::setTitle(std::string title) {
    auto ownerLock = lockOwner();
    HVFileCategories* owner = m_owner.load();
    if (title.empty() || (owner && owner->titleIsTaken(title, this)))
        return false;
    {
        std::lock_guard lock(m_mutex);
        m_title = std::move(title);
    }
    if (owner)
        owner->sortCategories();
    return true;
}

std::optional<HVPlistValue> HVFileCategory::insertWhenDragged() const {
    std::lock_guard lock(m_mutex);
    return m_insertWhenDragged;
}

std::vector<HVFileCategoryType> HVFileCategory::types() const {
    auto ownerLock = lockOwner();
    std::lock_guard lock(m_mutex);
    return m_types;
}

std::vector<std::string> HVFileCategory::typeTitles() const {
    auto ownerLock = lockOwner();
    std::lock_guard lock(m_mutex);
    std::vector<std::string> titles;
    for (const auto& type : m_types)
        titles.push_back(type.title());
    return titles;
}

bool HVFileCategory::listsExtension(std::string_view extension) const {
    std::lock_guard lock(m_mutex);
    return std::any_of(m_types.begin(), m_types.end(),
                       [&](const HVFileCategoryType& type) { return type.title() == extension; });
}

void HVFileCategory::noteAdded(const std::string& extension) {
    if (HVFileCategories* owner = m_owner.load())
        owner->noteExtensionAddedToCategory(extension, shared_from_this());
}

void HVFileCategory::noteRemoved(const std::string& extension) {
    if (HVFileCategories* owner = m_owner.load())
        owner->noteExtensionRemovedFromCategory(extension, shared_from_this());
}

bool HVFileCategory::insertLocked(std::string extension, std::size_t index) {
    {
        std::lock_guard lock(m_mutex);
        if (extension.empty() || index > m_types.size() || listsExtension(extension))
            return false;
        m_types.insert(m_types.begin() + std::ptrdiff_t(index),
                       HVFileCategoryType::typeWithTitle(extension, weak_from_this()));
    }
    noteAdded(extension);
    return true;
}

bool HVFileCategory::addType(std::string_view extension) {
    auto ownerLock = lockOwner();
    std::string normalized = normalizedExtension(extension);
    std::size_t index;
    {
        std::lock_guard lock(m_mutex);
        auto after = std::find_if(m_types.begin(), m_types.end(), [&](const auto& type) {
            return HVCaseInsensitive::less(normalized, type.title());
        });
        index = std::size_t(after - m_types.begin());
    }
    return insertLocked(std::move(normalized), index);
}

std::size_t HVFileCategory::countOfTypes() const {
    auto ownerLock = lockOwner();
    std::lock_guard lock(m_mutex);
    return m_types.size();
}

std::optional<HVFileCategoryType> HVFileCategory::objectInTypesAtIndex(std::size_t index) const {
    auto ownerLock = lockOwner();
    std::lock_guard lock(m_mutex);
    if (index >= m_types.size())
        return std::nullopt;
    return m_types[index];
}

bool HVFileCategory::insertObject(std::string_view extension, std::size_t index) {
    auto ownerLock = lockOwner();
    return insertLocked(normalizedExtension(extension), index);
}

bool HVFileCategory::insertObject(const HVFileCategoryType& type, std::size_t index) {
    return insertObject(std::string_view(type.title()), index);
}

bool HVFileCategory::removeObjectFromTypesAtIndex(std::size_t index) {
    auto ownerLock = lockOwner();
    std::string removed;
    {
        std::lock_guard lock(m_mutex);
        if (index >= m_types.size())
            return false;
        removed = m_types[index].title();
        m_types.erase(m_types.begin() + std::ptrdiff_t(index));
    }
    noteRemoved(removed);
    return true;
}

bool HVFileCategory::removeObjectFromTypes(std::string_view extension) {
    auto ownerLock = lockOwner();
    std::string normalized = normalizedExtension(extension);
    std::size_t index;
    {
        std::lock_guard lock(m_mutex);
        auto it = std::find_if(m_types.begin(), m_types.end(),
                               [&](const auto& type) { return type.title() == normalized; });
        if (it == m_types.end())
            it = std::find_if(m_types.begin(), m_types.end(), [&](const auto& type) {
                return HVCaseInsensitive::equal(type.title(), normalized);
            });
        if (it == m_types.end())
            return false;
        index = std::size_t(it - m_types.begin());
    }
    return removeObjectFromTypesAtIndex(index);
}

bool HVFileCategory::removeObjectFromTypes(const HVFileCategoryType& type) {
    return removeObjectFromTypes(std::string_view(type.title()));
}

bool HVFileCategory::replaceObjectInTypesAtIndex(std::size_t index, std::string_view extension) {
    auto ownerLock = lockOwner();
    std::string normalized = normalizedExtension(extension);
    std::string old;
    {
        std::lock_guard lock(m_mutex);
        if (index >= m_types.size() || normalized.empty())
            return false;
        old = m_types[index].title();
        if (old == normalized)
            return true;
        if (listsExtension(normalized))
            return false;
        m_types[index] = HVFileCategoryType::typeWithTitle(normalized, weak_from_this());
    }
    noteRemoved(old);
    noteAdded(normalized);
    return true;
}

bool HVFileCategory::replaceObjectInTypesAtIndex(std::size_t index,
                                                 const HVFileCategoryType& type) {
    return replaceObjectInTypesAtIndex(index, std::string_view(type.title()));
}

int HVFileCategory::compare(const HVFileCategory& other) const {
    return HVCaseInsensitive::compare(title(), other.title());
}
