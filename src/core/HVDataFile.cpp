#include "HVDataFile.h"

#include "Defaults.h"
#include "HVFileSystem.h"
#include "HVPropertyList.h"

#include <cerrno>
#include <cstdio>

namespace {

const char* typeName(HVPlistValue::Type type) {
    switch (type) {
    case HVPlistValue::Type::Array:
        return "an array";
    case HVPlistValue::Type::Dictionary:
        return "a dictionary";
    default:
        return "a value of another kind";
    }
}

} // namespace

HVDataFile::HVDataFile(std::string name, std::string what)
    : m_name(std::move(name)), m_what(std::move(what)) {}

std::string HVDataFile::userPath() const {
    return Defaults::appSupportPathForFile(m_name + ".plist", "data");
}

std::optional<std::string> HVDataFile::shippedPath() const {
    std::string resources = Defaults::applicationResourcesDirectory();
    std::string file = m_name + ".plist";
    std::string inData = HVFileSystem::appendingPathComponent(
        HVFileSystem::appendingPathComponent(resources, "data"), file);
    if (HVFileSystem::exists(inData))
        return inData;
    std::string top = HVFileSystem::appendingPathComponent(resources, file);
    if (HVFileSystem::exists(top))
        return top;
    return std::nullopt;
}

std::optional<HVDataFile::Contents>
HVDataFile::read(HVPlistValue::Type topLevel, bool* userCopyUnreadable, HVError* error) const {
    if (userCopyUnreadable)
        *userCopyUnreadable = false;

    auto readOne = [&](const std::string& path,
                       std::string* problem) -> std::optional<HVPlistValue> {
        HVError readError;
        auto value = HVPropertyList::readFromFile(path, &readError);
        if (!value) {
            *problem = readError.description();
            if (!readError.recoverySuggestion().empty())
                *problem += ": " + readError.recoverySuggestion();
            return std::nullopt;
        }
        if (value->type() != topLevel) {
            *problem = "Its top level is " + std::string(typeName(value->type())) + " where " +
                       typeName(topLevel) + " is expected.";
            return std::nullopt;
        }
        return value;
    };

    // The lookup rule of all resources: the user's copy first.
    auto path = Defaults::pathForResource(m_name, "plist", "data");
    if (!path)
        return std::nullopt;
    bool isUserCopy = *path == userPath();
    std::string problem;
    if (auto value = readOne(*path, &problem))
        return Contents{std::move(*value), *path, isUserCopy};

    HVError failure(HVPlatformErrorDomain, HVFileReadCorruptFileError,
                    "The " + m_what + " in \"" + *path + "\" cannot be read.");
    failure.setUserInfoValue(HVFilePathErrorKey, *path);
    if (!isUserCopy) {
        failure.setRecoverySuggestion(problem + " No " + m_what + " are available.");
        HVSetError(error, std::move(failure));
        return std::nullopt;
    }

    if (userCopyUnreadable)
        *userCopyUnreadable = true;
    std::string suggestion = problem;
    std::optional<Contents> result;
    auto shipped = shippedPath();
    std::string shippedProblem;
    if (shipped) {
        if (auto value = readOne(*shipped, &shippedProblem))
            result = Contents{std::move(*value), *shipped, false};
    }
    suggestion += result ? " The " + m_what + " shipped with Halvet are used instead."
                         : " No " + m_what + " are available.";
    if (shipped && !result)
        suggestion += " The shipped copy cannot be read either: " + shippedProblem;
    suggestion += " Your file is kept as \"" + *path + ".unreadable\" when the " + m_what +
                  " are next saved.";
    failure.setRecoverySuggestion(std::move(suggestion));
    HVSetError(error, std::move(failure));
    return result;
}

bool HVDataFile::write(const HVPlistValue& value, bool keepUserCopyAside, HVError* error) const {
    std::string path = userPath();
    if (!HVFileSystem::createDirectory(HVFileSystem::deletingLastPathComponent(path), 0777, error))
        return false;
    if (keepUserCopyAside && HVFileSystem::exists(path)) {
        std::string aside = path + ".unreadable";
        for (int n = 2; HVFileSystem::exists(aside) && n < 1000; ++n)
            aside = path + ".unreadable-" + std::to_string(n);
        if (std::rename(path.c_str(), aside.c_str()) != 0) {
            HVSetError(error, HVError::posix(errno, path, "Cannot keep the unreadable file"));
            return false;
        }
    }
    return Defaults::writePlist(value, path, HVPlistFormat::XML, error);
}

HVError HVDataFile::partlyUnreadableError(const Contents& contents,
                                          const std::string& problems) const {
    std::string suggestion = problems + " The rest are used.";
    if (contents.fromUserCopy)
        suggestion += " Your file is kept as \"" + contents.path + ".unreadable\" when the " +
                      m_what + " are next saved.";
    HVError failure(HVPlatformErrorDomain, HVFileReadCorruptFileError,
                    "Some of the " + m_what + " in \"" + contents.path + "\" cannot be read.",
                    std::move(suggestion));
    failure.setUserInfoValue(HVFilePathErrorKey, contents.path);
    return failure;
}
