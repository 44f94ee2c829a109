#pragma once

#include "HVError.h"

#include <memory>
#include <string>
#include <vector>

class HVFile;
class HVFileCategories;
class HVFileCategory;

// What the unknown-file-type sheet offers and what picking an entry does, without the sheet:
// whether a node about to be opened must ask first, the entries of the choice list, and the
// answer written to the file categories.
class HVUnknownFileTypeChoices {
public:
    struct Item {
        enum Kind {
            // Never show files with this extension in the editor.
            Ignore,
            // Shows the categories in the preferences, then the list goes back to Ignore.
            EditCategories,
            // Leaves the categories alone: the file stays closed and the question comes again.
            AskAgain,
            Category,
            Separator,
        };
        Kind kind;
        std::string title;
        std::shared_ptr<HVFileCategory> category;
    };

    // A directory never asks; an ignorable file does not ask and is ignored; any other file
    // asks when its kind is unknown.
    static bool shouldDisplayForFile(const HVFile& file, bool* ignore,
                                     HVFileCategories& categories);

    // The three fixed entries, one per text category, a separator, one per image category.
    static std::vector<Item> items(HVFileCategories& categories);
    // The index of the entry of this category in the list, else the first.
    static std::size_t indexOfCategory(const std::vector<Item>& items,
                                       const std::shared_ptr<HVFileCategory>& category);

    // Records the answer for the path's extension and saves the categories. The category the
    // file now belongs to, none when it is ignored or nothing was decided.
    static std::shared_ptr<HVFileCategory> confirm(const Item& item, const std::string& path,
                                                   HVFileCategories& categories,
                                                   HVError* error = nullptr);
};
