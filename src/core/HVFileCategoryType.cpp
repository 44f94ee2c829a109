#include "HVFileCategoryType.h"

#include "HVCaseInsensitive.h"

HVFileCategoryType HVFileCategoryType::typeWithTitle(std::string title,
                                                     std::weak_ptr<HVFileCategory> parent) {
    return HVFileCategoryType(std::move(title), std::move(parent));
}

int HVFileCategoryType::compare(const HVFileCategoryType& other) const {
    return HVCaseInsensitive::compare(m_title, other.m_title);
}
