#include "HVUnknownFileTypeChoices.h"

#include "HVFile.h"
#include "HVFileCategories.h"
#include "HVFileCategory.h"
#include "HVFileSystem.h"
#include "HVLocalization.h"

bool HVUnknownFileTypeChoices::shouldDisplayForFile(const HVFile& file, bool* ignore,
                                                    HVFileCategories& categories) {
    if (ignore)
        *ignore = false;
    if (file.fileType() == HVFile::Directory)
        return false;
    const std::string path = file.path();
    if (categories.pathIsType(path, HVFileKindIgnorable)) {
        if (ignore)
            *ignore = true;
        return false;
    }
    return categories.pathIsType(path, HVFileKindOther);
}

std::vector<HVUnknownFileTypeChoices::Item>
HVUnknownFileTypeChoices::items(HVFileCategories& categories) {
    std::vector<Item> items{
        {Item::Ignore, HVLocalization::localizedString("Ignore files of this type"), nullptr},
        {Item::EditCategories, HVLocalization::localizedString("Edit Categories…"), nullptr},
        {Item::AskAgain, HVLocalization::localizedString("Ask Again Next Time"), nullptr},
    };
    for (const auto& category : categories.textCategories())
        items.push_back({Item::Category, category->title(), category});
    items.push_back({Item::Separator, {}, nullptr});
    for (const auto& category : categories.imageCategories())
        items.push_back({Item::Category, category->title(), category});
    return items;
}

std::size_t
HVUnknownFileTypeChoices::indexOfCategory(const std::vector<Item>& items,
                                          const std::shared_ptr<HVFileCategory>& category) {
    for (std::size_t index = 0; category && index < items.size(); ++index) {
        if (items[index].category == category)
            return index;
    }
    return 0;
}

std::shared_ptr<HVFileCategory> HVUnknownFileTypeChoices::confirm(const Item& item,
                                                                  const std::string& path,
                                                                  HVFileCategories& categories,
                                                                  HVError* error) {
    const std::string extension = HVFileSystem::pathExtension(path);
    if (extension.empty())
        return nullptr;
    switch (item.kind) {
    case Item::Ignore:
        categories.addIgnorableType(extension);
        categories.commit(error);
        return nullptr;
    case Item::Category:
        if (!item.category)
            return nullptr;
        item.category->addType(extension);
        categories.commit(error);
        return item.category;
    default:
        return nullptr;
    }
}
