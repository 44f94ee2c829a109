#include "HVFileCategories.h"

#include "HVCaseInsensitive.h"
#include "HVChildProcess.h"
#include "HVDataFile.h"
#include "HVFileSystem.h"
#include "HVNotificationCenter.h"

#include <algorithm>
#include <cctype>
#include <fstream>

namespace {

// Enough of a file to tell text from binary; "file" itself looks at a similar amount.
constexpr std::size_t kSniffLength = 64 * 1024;

bool containsIgnoringCase(std::string_view text, std::string_view word) {
    auto it = std::search(text.begin(), text.end(), word.begin(), word.end(), [](char a, char b) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
        return lower(a) == lower(b);
    });
    return it != text.end();
}

bool startsWith(std::string_view bytes, std::string_view prefix) {
    return bytes.substr(0, prefix.size()) == prefix;
}

// Whether the bytes are UTF-8; a sequence cut off by the end of the sample counts as valid.
bool isUTF8(std::string_view bytes, bool* ascii) {
    *ascii = true;
    std::size_t i = 0;
    while (i < bytes.size()) {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        *ascii = false;
        std::size_t length;
        std::uint32_t minimum;
        std::uint32_t code;
        if ((c & 0xE0) == 0xC0) {
            length = 2, minimum = 0x80, code = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            length = 3, minimum = 0x800, code = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            length = 4, minimum = 0x10000, code = c & 0x07;
        } else {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            if (i + k >= bytes.size())
                return true;
            unsigned char next = static_cast<unsigned char>(bytes[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (next & 0x3F);
        }
        if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

std::optional<std::string> readPrefix(const std::string& path, std::size_t length) {
    std::ifstream stream(path, std::ios::binary);
    if (!stream)
        return std::nullopt;
    std::string bytes(length, '\0');
    stream.read(bytes.data(), std::streamsize(length));
    if (stream.bad())
        return std::nullopt;
    bytes.resize(std::size_t(stream.gcount()));
    return bytes;
}

std::string trimmed(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    return std::string(text);
}

} // namespace

HVFileCategories::HVFileCategories() = default;

HVFileCategories::~HVFileCategories() {
    std::lock_guard lock(m_lock);
    releaseCategories();
}

HVFileCategories& HVFileCategories::sharedCategories() {
    // Made once; the language guarantees the construction runs under a lock.
    static HVFileCategories shared;
    return shared;
}

void HVFileCategories::releaseCategories() {
    for (auto* list : {&m_textCategories, &m_imageCategories}) {
        for (const auto& category : *list)
            category->m_owner = nullptr;
    }
}

void HVFileCategories::loadIfNeeded() {
    if (!m_loaded)
        loadLocked(nullptr);
}

bool HVFileCategories::loadCategories(HVError* error) {
    std::lock_guard lock(m_lock);
    return loadLocked(error);
}

bool HVFileCategories::loadLocked(HVError* error) {
    m_loaded = true;
    releaseCategories();
    m_textCategories.clear();
    m_imageCategories.clear();
    m_extensionMap.clear();
    m_ignorable.clear();
    m_sortedIgnorable.reset();
    m_loadError.reset();
    m_userCopyUnreadable = false;

    HVDataFile file("fileCategories", "file categories");
    HVError readError;
    bool unreadable = false;
    auto contents = file.read(HVPlistValue::Type::Dictionary, &unreadable, &readError);
    bool failed = !readError.domain().empty();
    m_userCopyUnreadable = unreadable;
    if (contents) {
        std::string problems;
        auto problem = [&](std::string text) {
            problems += (problems.empty() ? "" : " ");
            problems += std::move(text);
        };
        auto readKind = [&](std::string_view key, CategoryList& list) {
            const HVPlistValue* value = contents->value.objectForKey(key);
            if (!value)
                return;
            if (!value->isDictionary()) {
                problem("\"" + std::string(key) + "\" is not a dictionary.");
                return;
            }
            for (const auto& [title, definition] : *value->dictionary()) {
                if (title.empty()) {
                    problem("A category in \"" + std::string(key) + "\" has no title.");
                    continue;
                }
                HVError categoryError;
                auto category = HVFileCategory::initWithTitle(title, definition, &categoryError);
                if (!categoryError.domain().empty())
                    problem(categoryError.description() + " " + categoryError.recoverySuggestion());
                category->m_owner = this;
                for (const auto& type : category->m_types)
                    m_extensionMap[type.title()] = category;
                list.push_back(std::move(category));
            }
        };
        readKind("Text", m_textCategories);
        readKind("Image", m_imageCategories);
        if (const HVPlistValue* ignorable = contents->value.objectForKey("Ignorable")) {
            if (!ignorable->isArray()) {
                problem("\"Ignorable\" is not an array.");
            } else {
                for (const auto& item : *ignorable->array()) {
                    std::string extension =
                        item.isString() ? HVFileCategory::normalizedExtension(*item.string())
                                        : std::string();
                    if (extension.empty())
                        problem("An ignorable extension is not an extension.");
                    else
                        m_ignorable.insert(std::move(extension));
                }
            }
        }
        sortCategories();
        if (!problems.empty() && !failed) {
            readError = file.partlyUnreadableError(*contents, problems);
            failed = true;
            if (contents->fromUserCopy)
                m_userCopyUnreadable = true;
        }
    }
    if (failed) {
        m_loadError = readError;
        HVSetError(error, std::move(readError));
    }
    return !failed;
}

std::optional<HVError> HVFileCategories::loadError() {
    std::lock_guard lock(m_lock);
    loadIfNeeded();
    return m_loadError;
}

void HVFileCategories::sortCategories() {
    std::lock_guard lock(m_lock);
    auto byTitle = [](const std::shared_ptr<HVFileCategory>& a,
                      const std::shared_ptr<HVFileCategory>& b) { return a->compare(*b) < 0; };
    std::stable_sort(m_textCategories.begin(), m_textCategories.end(), byTitle);
    std::stable_sort(m_imageCategories.begin(), m_imageCategories.end(), byTitle);
}

HVPlistValue HVFileCategories::plistRepresentation() {
    std::lock_guard lock(m_lock);
    loadIfNeeded();
    HVPlistValue::Dictionary plist;
    auto kind = [](const CategoryList& list) {
        HVPlistValue::Dictionary definitions;
        for (const auto& category : list)
            definitions[category->title()] = category->plistRepresentation();
        return definitions;
    };
    plist["Text"] = kind(m_textCategories);
    plist["Image"] = kind(m_imageCategories);
    HVPlistValue::Array ignorable;
    for (const auto& extension : ignoreTypes())
        ignorable.push_back(extension);
    plist["Ignorable"] = std::move(ignorable);
    return HVPlistValue(std::move(plist));
}

bool HVFileCategories::commit(HVError* error) {
    {
        std::lock_guard lock(m_lock);
        HVPlistValue plist = plistRepresentation();
        HVDataFile file("fileCategories", "file categories");
        if (!file.write(plist, m_userCopyUnreadable, error))
            return false;
        m_userCopyUnreadable = false;
    }
    // Outside the lock: observers may query the categories from their own threads.
    HVNotificationCenter::defaultCenter().postNotificationName(
        std::string(HVFileCategoriesChangedNotification), this);
    return true;
}

std::shared_ptr<HVFileCategory> HVFileCategories::categoryForExtension(std::string_view extension) {
    std::lock_guard lock(m_lock);
    loadIfNeeded();
    if (m_ignorable.find(extension) != m_ignorable.end())
        return nullptr;
    auto it = m_extensionMap.find(extension);
    return it == m_extensionMap.end() ? nullptr : it->second;
}

std::shared_ptr<HVFileCategory> HVFileCategories::categoryForTitle(std::string_view title) {
    std::lock_guard lock(m_lock);
    loadIfNeeded();
    for (const auto* list : {&m_textCategories, &m_imageCategories}) {
        for (const auto& category : *list) {
            if (HVCaseInsensitive::equal(category->title(), title))
                return category;
        }
    }
    return nullptr;
}

std::vector<HVFileCategoryType>
HVFileCategories::typesForCategory(const std::shared_ptr<HVFileCategory>& category) {
    std::lock_guard lock(m_lock);
    loadIfNeeded();
    return category ? category->types() : std::vector<HVFileCategoryType>();
}

bool HVFileCategories::extensionIsCategory(std::string_view extension,
                                           const std::shared_ptr<HVFileCategory>& category) {
    return category && categoryForExtension(extension) == category;
}

bool HVFileCategories::isListed(const CategoryList& list,
                                const std::shared_ptr<HVFileCategory>& category) const {
    return category && std::find(list.begin(), list.end(), category) != list.end();
}

bool HVFileCategories::extensionIsType(std::string_view extension, HVFileKind kind) {
    if (extension.empty())
        return false;
    std::lock_guard lock(m_lock);
    loadIfNeeded();
    switch (kind) {
    case HVFileKindText:
        return isListed(m_textCategories, categoryForExtension(extension));
    case HVFileKindImage:
        return isListed(m_imageCategories, categoryForExtension(extension));
    case HVFileKindIgnorable:
        return m_ignorable.find(extension) != m_ignorable.end();
    case HVFileKindOther:
        return !extensionIsType(extension, HVFileKindText) &&
               !extensionIsType(extension, HVFileKindImage) &&
               !extensionIsType(extension, HVFileKindIgnorable);
    }
    return false;
}

bool HVFileCategories::pathIsType(std::string_view path, HVFileKind kind) {
    std::lock_guard lock(m_lock);
    if (extensionIsType(HVFileSystem::pathExtension(path), kind))
        return true;
    switch (kind) {
    case HVFileKindText:
        return pathIsText(path);
    case HVFileKindImage:
        return pathIsImage(path);
    case HVFileKindIgnorable:
        return false;
    case HVFileKindOther:
        // Only a path without an extension, or with one that is text, image or ignorable by
        // itself, gets here; "other" is false for each, so "file" need not be asked.
        return false;
    }
    return false;
}

bool HVFileCategories::pathIsText(std::string_view path) {
    return pathAnswers(path, HVFileKindText);
}

bool HVFileCategories::pathIsImage(std::string_view path) {
    return pathAnswers(path, HVFileKindImage);
}

bool HVFileCategories::pathAnswers(std::string_view path, HVFileKind kind) {
    std::lock_guard lock(m_lock);
    std::string extension = HVFileSystem::pathExtension(path);
    AnswerCache& cache = kind == HVFileKindText ? m_textAnswers : m_imageAnswers;
    if (!extension.empty()) {
        if (cache.yes.find(extension) != cache.yes.end())
            return true;
        if (cache.no.find(extension) != cache.no.end())
            return false;
    }
    // A folder is neither, and says nothing about files with its extension.
    if (HVFileSystem::isDirectory(std::string(path)))
        return false;
    auto description = descriptionForPath(path);
    // Nothing was learnt about a file that is missing or unreadable: remember nothing.
    if (!description)
        return false;
    bool text = descriptionIsText(*description);
    bool image = descriptionIsImage(*description);
    if (!extension.empty()) {
        // One run answers both questions.
        (text ? m_textAnswers.yes : m_textAnswers.no).insert(extension);
        (image ? m_imageAnswers.yes : m_imageAnswers.no).insert(extension);
    }
    return kind == HVFileKindText ? text : image;
}

bool HVFileCategories::descriptionIsText(std::string_view description) {
    return containsIgnoringCase(description, "text") ||
           containsIgnoringCase(description, "unicode") ||
           containsIgnoringCase(description, "empty");
}

bool HVFileCategories::descriptionIsImage(std::string_view description) {
    return containsIgnoringCase(description, "image");
}

std::optional<std::string> HVFileCategories::descriptionForPath(std::string_view path) {
    if (path.empty())
        return std::nullopt;
    std::string file(path);
    if (!HVFileSystem::exists(file))
        return std::nullopt;
    std::lock_guard lock(m_lock);

    // -b leaves out the file name, whose own colons and words would confuse the reading;
    // -L looks at what a link points to; -E makes a file it cannot read a failure instead of
    // a description.
    HVChildProcess::Options options;
    options.arguments = {m_fileProgram, "-b", "-L", "-E", "--", file};
    options.timeLimit = fileProgramTimeLimit;
    HVError runError;
    auto result = HVChildProcess::run(options, &runError);
    if (result && result->succeeded()) {
        std::string description = trimmed(result->standardOutput);
        if (!description.empty())
            return description;
    }

    std::string reason;
    if (!result) {
        reason = runError.description();
    } else if (result->timedOut) {
        reason =
            "It did not finish within " + std::to_string(int(fileProgramTimeLimit)) + " seconds.";
    } else {
        std::string message = trimmed(result->standardError);
        reason = result->exitStatus >= 0
                     ? "It ended with status " + std::to_string(result->exitStatus) + "."
                     : "It was ended by signal " + std::to_string(result->terminationSignal) + ".";
        if (!message.empty())
            reason += " " + message;
    }
    HVError failure(HVPlatformErrorDomain, HVFileReadUnknownError,
                    "The kind of the file \"" + file + "\" could not be learnt from \"" +
                        m_fileProgram + "\".",
                    reason + " Halvet judged the file by its first bytes instead.");
    failure.setUserInfoValue(HVFilePathErrorKey, file);
    m_fileProgramError = std::move(failure);

    if (HVFileSystem::isDirectory(file))
        return std::string("directory");
    auto bytes = readPrefix(file, kSniffLength);
    if (!bytes)
        return std::nullopt;
    return descriptionForContents(*bytes);
}

std::string HVFileCategories::descriptionForContents(std::string_view bytes) {
    using namespace std::string_view_literals;
    if (bytes.empty())
        return "empty";
    // Images first: their headers are binary, yet some are short enough to pass as text.
    if (startsWith(bytes, "\x89PNG\r\n\x1a\n"sv))
        return "PNG image data";
    if (startsWith(bytes, "GIF87a"sv) || startsWith(bytes, "GIF89a"sv))
        return "GIF image data";
    if (startsWith(bytes, "\xff\xd8\xff"sv))
        return "JPEG image data";
    if (startsWith(bytes, "RIFF"sv) && bytes.substr(8, 4) == "WEBP"sv)
        return "RIFF (little-endian) data, Web/P image";
    if (startsWith(bytes, "II*\0"sv) || startsWith(bytes, "MM\0*"sv))
        return "TIFF image data";
    if (startsWith(bytes, "BM"sv) && bytes.size() >= 14 && bytes.substr(6, 4) == "\0\0\0\0"sv)
        return "PC bitmap image data";
    if (bytes.substr(4, 4) == "ftyp"sv) {
        std::string_view brand = bytes.substr(8, 4);
        if (brand == "avif"sv || brand == "avis"sv)
            return "ISO Media, AVIF Image";
        if (brand == "heic"sv || brand == "heix"sv || brand == "mif1"sv)
            return "ISO Media, HEIF Image";
        return "ISO Media";
    }
    if (startsWith(bytes, "\0\0\1\0"sv))
        return "MS Windows icon resource";
    if (startsWith(bytes, "%PDF-"sv))
        return "PDF document";
    if (startsWith(bytes, "\xff\xfe"sv))
        return "Unicode text, UTF-16, little-endian text";
    if (startsWith(bytes, "\xfe\xff"sv))
        return "Unicode text, UTF-16, big-endian text";
    if (startsWith(bytes, "\xef\xbb\xbf"sv))
        return "Unicode text, UTF-8 (with BOM) text";

    bool highBytesC1 = false;
    for (unsigned char c : bytes) {
        bool control = c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f' && c != '\v' &&
                       c != '\b' && c != 0x1b;
        if (control || c == 0x7f)
            return "data";
        if (c >= 0x80 && c < 0xa0)
            highBytesC1 = true;
    }
    bool ascii = false;
    if (isUTF8(bytes, &ascii))
        return ascii ? "ASCII text" : "Unicode text, UTF-8 text";
    return highBytesC1 ? "Non-ISO extended-ASCII text" : "ISO-8859 text";
}

std::string HVFileCategories::fileProgram() {
    std::lock_guard lock(m_lock);
    return m_fileProgram;
}

void HVFileCategories::setFileProgram(std::string path) {
    std::lock_guard lock(m_lock);
    m_fileProgram = std::move(path);
}

std::optional<HVError> HVFileCategories::fileProgramError() {
    std::lock_guard lock(m_lock);
    return m_fileProgramError;
}

std::vector<std::shared_ptr<HVFileCategory>> HVFileCategories::textCategories() {
    std::lock_guard lock(m_lock);
    loadIfNeeded();
    return m_textCategories;
}

std::vector<std::shared_ptr<HVFileCategory>> HVFileCategories::imageCategories() {
    std::lock_guard lock(m_lock);
    loadIfNeeded();
    return m_imageCategories;
}

std::vector<std::string> HVFileCategories::ignoreTypes() {
    std::lock_guard lock(m_lock);
    loadIfNeeded();
    if (!m_sortedIgnorable) {
        std::vector<std::string> sorted(m_ignorable.begin(), m_ignorable.end());
        // The set's byte order breaks ties between spellings that differ only in case.
        std::stable_sort(sorted.begin(), sorted.end(), HVCaseInsensitive::less);
        m_sortedIgnorable = std::move(sorted);
    }
    return *m_sortedIgnorable;
}

HVFileCategories::CategoryList* HVFileCategories::listForKind(HVFileKind kind) {
    if (kind == HVFileKindText)
        return &m_textCategories;
    if (kind == HVFileKindImage)
        return &m_imageCategories;
    return nullptr;
}

bool HVFileCategories::titleIsTaken(std::string_view title, const HVFileCategory* except) {
    std::lock_guard lock(m_lock);
    loadIfNeeded();
    for (const auto* list : {&m_textCategories, &m_imageCategories}) {
        for (const auto& category : *list) {
            if (category.get() != except && HVCaseInsensitive::equal(category->title(), title))
                return true;
        }
    }
    return false;
}

std::shared_ptr<HVFileCategory> HVFileCategories::addCategoryWithTitle(std::string title,
                                                                       HVFileKind kind) {
    std::lock_guard lock(m_lock);
    loadIfNeeded();
    CategoryList* list = listForKind(kind);
    if (!list || title.empty() || titleIsTaken(title, nullptr))
        return nullptr;
    auto category = HVFileCategory::initWithTitle(std::move(title));
    category->m_owner = this;
    auto after = std::find_if(list->begin(), list->end(),
                              [&](const auto& other) { return category->compare(*other) < 0; });
    list->insert(after, category);
    return category;
}

void HVFileCategories::removeCategory(const std::shared_ptr<HVFileCategory>& category,
                                      HVFileKind kind) {
    std::lock_guard lock(m_lock);
    loadIfNeeded();
    CategoryList* list = listForKind(kind);
    if (!list || !category)
        return;
    auto it = std::find(list->begin(), list->end(), category);
    if (it == list->end())
        return;
    list->erase(it);
    category->m_owner = nullptr;
    std::vector<std::string> mapped;
    for (const auto& [extension, owner] : m_extensionMap) {
        if (owner == category)
            mapped.push_back(extension);
    }
    for (const auto& extension : mapped)
        noteExtensionRemovedFromCategory(extension, category);
}

bool HVFileCategories::addIgnorableType(std::string_view extension) {
    std::string normalized = HVFileCategory::normalizedExtension(extension);
    if (normalized.empty())
        return false;
    std::lock_guard lock(m_lock);
    loadIfNeeded();
    bool inserted = m_ignorable.insert(std::move(normalized)).second;
    if (inserted)
        m_sortedIgnorable.reset();
    return inserted;
}

bool HVFileCategories::removeIgnorableType(std::string_view extension) {
    std::string normalized = HVFileCategory::normalizedExtension(extension);
    std::lock_guard lock(m_lock);
    loadIfNeeded();
    auto it = m_ignorable.find(normalized);
    if (it == m_ignorable.end())
        return false;
    m_ignorable.erase(it);
    m_sortedIgnorable.reset();
    return true;
}

void HVFileCategories::noteExtensionAddedToCategory(
    std::string_view extension, const std::shared_ptr<HVFileCategory>& category) {
    if (extension.empty() || !category)
        return;
    std::lock_guard lock(m_lock);
    loadIfNeeded();
    m_extensionMap.insert_or_assign(std::string(extension), category);
}

void HVFileCategories::noteExtensionRemovedFromCategory(
    std::string_view extension, const std::shared_ptr<HVFileCategory>& category) {
    std::lock_guard lock(m_lock);
    loadIfNeeded();
    auto it = m_extensionMap.find(extension);
    if (it == m_extensionMap.end() || it->second != category)
        return;
    if (category->m_owner.load() == this && category->listsExtension(extension))
        return;
    // Another category that lists it takes over, the last in reading order as when loading.
    std::shared_ptr<HVFileCategory> next;
    for (const auto* list : {&m_textCategories, &m_imageCategories}) {
        for (const auto& other : *list) {
            if (other != category && other->listsExtension(extension))
                next = other;
        }
    }
    if (next)
        it->second = next;
    else
        m_extensionMap.erase(it);
}
