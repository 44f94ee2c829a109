#pragma once

#include "HVError.h"
#include "HVFileCategory.h"
#include "HVPlistValue.h"

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

// Posted with the categories as object after they were saved.
inline constexpr std::string_view HVFileCategoriesChangedNotification =
    "HVFileCategoriesChangedNotification";

// The kinds of file, numbered as callers pass them.
enum HVFileKind : int {
    HVFileKindText = 0,
    HVFileKindImage = 1,
    // None of text, image and ignorable.
    HVFileKindOther = 2,
    HVFileKindIgnorable = 3,
};

// The shared file categories: named text and image categories of extensions and a set of
// ignorable extensions, from "data/fileCategories.plist" (the user's copy in the support
// directory before the shipped one), loaded on first use. They tell whether a path is text,
// image, ignorable or of no known kind, asking the "file" program about extensions that no
// category lists and remembering its verdicts per extension for the life of the program.
//
// Extensions are compared exactly (case-sensitively) in every lookup: "PNG" is not "png".
// Every query and change takes one recursive lock, also while "file" runs, so the categories
// can be used from any thread.
class HVFileCategories {
public:
    HVFileCategories();
    ~HVFileCategories();
    HVFileCategories(const HVFileCategories&) = delete;
    HVFileCategories& operator=(const HVFileCategories&) = delete;

    static HVFileCategories& sharedCategories();

    // Reads the category file anew; the answer caches are kept. An unreadable user copy is
    // reported in error (and loadError()) and the shipped categories are used; parts that
    // cannot be read are reported and left out. False when an error was reported.
    bool loadCategories(HVError* error = nullptr);
    // Writes "Text", "Image" and "Ignorable" to the support directory's
    // "data/fileCategories.plist" as XML, atomically (an unreadable user copy is first renamed
    // to ".unreadable"), then posts HVFileCategoriesChangedNotification.
    bool commit(HVError* error = nullptr);
    std::optional<HVError> loadError();

    // None for an ignorable extension; else the category that lists it exactly, the last one
    // read when several do.
    std::shared_ptr<HVFileCategory> categoryForExtension(std::string_view extension);
    // The first text category, then the first image category, with the title ignoring case.
    std::shared_ptr<HVFileCategory> categoryForTitle(std::string_view title);
    std::vector<HVFileCategoryType>
    typesForCategory(const std::shared_ptr<HVFileCategory>& category);
    // Whether categoryForExtension answers this category.
    bool extensionIsCategory(std::string_view extension,
                             const std::shared_ptr<HVFileCategory>& category);
    // By the extension alone; false for an empty extension.
    bool extensionIsType(std::string_view extension, HVFileKind kind);
    // By the extension, then, for text and image, by the file's content ("file").
    bool pathIsType(std::string_view path, HVFileKind kind);
    bool pathIsText(std::string_view path);
    bool pathIsImage(std::string_view path);

    // Sorted by title, ignoring case.
    std::vector<std::shared_ptr<HVFileCategory>> textCategories();
    std::vector<std::shared_ptr<HVFileCategory>> imageCategories();
    // The ignorable extensions sorted ignoring case, for display.
    std::vector<std::string> ignoreTypes();

    // A new empty category in the sorted text (kind 0) or image (kind 1) list. None for other
    // kinds, an empty title, or a title that a category already has (ignoring case). Neither
    // this nor the operations below save: call commit().
    std::shared_ptr<HVFileCategory> addCategoryWithTitle(std::string title, HVFileKind kind);
    // Removes it from the list of the kind, with its extensions from the extension map.
    void removeCategory(const std::shared_ptr<HVFileCategory>& category, HVFileKind kind);
    bool addIgnorableType(std::string_view extension);
    bool removeIgnorableType(std::string_view extension);
    // Called by a category whose types changed.
    void noteExtensionAddedToCategory(std::string_view extension,
                                      const std::shared_ptr<HVFileCategory>& category);
    void noteExtensionRemovedFromCategory(std::string_view extension,
                                          const std::shared_ptr<HVFileCategory>& category);

    HVPlistValue plistRepresentation();

    // What the file's content is, in the words of the "file" program ("HTML document, ASCII
    // text", "PNG image data, ...", "empty"). When the program is missing, fails or exceeds
    // its time limit, the error is kept in fileProgramError() and the first bytes of the file
    // are classified here instead. None for an empty path or a file that does not exist or
    // cannot be read.
    std::optional<std::string> descriptionForPath(std::string_view path);
    // The stand-in classification of a file's first bytes, in the same words.
    static std::string descriptionForContents(std::string_view bytes);
    static bool descriptionIsText(std::string_view description);
    static bool descriptionIsImage(std::string_view description);

    // "/usr/bin/file" unless set otherwise.
    std::string fileProgram();
    void setFileProgram(std::string path);
    // Seconds after which a run of the program is given up.
    static constexpr double fileProgramTimeLimit = 10.0;
    // The last failure of the program, if any.
    std::optional<HVError> fileProgramError();

private:
    friend class HVFileCategory;
    using CategoryList = std::vector<std::shared_ptr<HVFileCategory>>;
    struct AnswerCache {
        std::set<std::string, std::less<>> yes;
        std::set<std::string, std::less<>> no;
    };

    void loadIfNeeded();
    bool loadLocked(HVError* error);
    void releaseCategories();
    CategoryList* listForKind(HVFileKind kind);
    bool isListed(const CategoryList& list, const std::shared_ptr<HVFileCategory>& category) const;
    bool titleIsTaken(std::string_view title, const HVFileCategory* except);
    void sortCategories();
    bool pathAnswers(std::string_view path, HVFileKind kind);

    std::recursive_mutex m_lock;
    bool m_loaded = false;
    bool m_userCopyUnreadable = false;
    std::optional<HVError> m_loadError;
    std::map<std::string, std::shared_ptr<HVFileCategory>, std::less<>> m_extensionMap;
    CategoryList m_textCategories;
    CategoryList m_imageCategories;
    std::set<std::string, std::less<>> m_ignorable;
    std::optional<std::vector<std::string>> m_sortedIgnorable;
    AnswerCache m_textAnswers;
    AnswerCache m_imageAnswers;
    std::string m_fileProgram = "/usr/bin/file";
    std::optional<HVError> m_fileProgramError;
};
