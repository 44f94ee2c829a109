#pragma once

#include <memory>
#include <string>

class HVFileCategory;

// One extension (without the dot) listed by a file category, with a weak reference to it.
class HVFileCategoryType {
public:
    static HVFileCategoryType typeWithTitle(std::string title,
                                            std::weak_ptr<HVFileCategory> parent = {});

    const std::string& title() const { return m_title; }
    // None once the category is gone.
    std::shared_ptr<HVFileCategory> parent() const { return m_parent.lock(); }

    // By extension, ignoring case.
    int compare(const HVFileCategoryType& other) const;
    friend bool operator==(const HVFileCategoryType& a, const HVFileCategoryType& b) {
        return a.compare(b) == 0;
    }

private:
    HVFileCategoryType(std::string title, std::weak_ptr<HVFileCategory> parent)
        : m_title(std::move(title)), m_parent(std::move(parent)) {}

    std::string m_title;
    std::weak_ptr<HVFileCategory> m_parent;
};
