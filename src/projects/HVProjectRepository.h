#pragma once

#include "HVError.h"
#include "HVPlistValue.h"

#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class HVProject;

inline constexpr std::string_view HVProjectCreatedNotification = "HVProjectCreatedNotification";
inline constexpr std::string_view HVProjectEditedNotification = "HVProjectEditedNotification";

// The user's projects: an ordered list (the order the project manager shows) and a map from
// root directory to project, so that one directory, or the project file in it, always gives
// the same object. Kept in "data/projects.plist" of the support directory as a binary property
// list; older registry files are read and replaced at the next save. Main thread only.
class HVProjectRepository {
public:
    static HVProjectRepository& sharedInstance();

    // The project of a directory, or of the directory that holds a ".hvproj" file. A new one
    // (create) enters the map but not the list; when no project file could be loaded it is
    // saved at once and "HVProjectCreatedNotification" is posted with it as object.
    std::shared_ptr<HVProject> copyProjectWithPath(const std::string& path, bool create = true);

    // Inserts at the top and saves; answers the index (of the project already in the list for
    // that root directory, if any).
    std::size_t addProject(std::shared_ptr<HVProject> project);
    // Inserts before the first project that does not sort before it (after, descending).
    std::size_t insertProjectSorted(std::shared_ptr<HVProject> project, bool ascending);
    // The project lands at to, less one when it came from above.
    void moveProject(std::size_t from, std::size_t to);
    void removeProjectAtIndex(std::size_t index);
    void sortProjects(bool ascending);
    std::size_t countOfProjects();
    std::shared_ptr<HVProject> projectAtIndex(std::size_t index);
    std::optional<std::size_t> indexOfProject(const HVProject& project);
    std::vector<std::shared_ptr<HVProject>> remoteProjects();
    // A project of the list made its uuid: the registry stores uuids, so it saves.
    void projectDetailsChanged(const HVProject& project);
    // Saves unless loading; answers whether the file was written.
    bool commit(HVError* error = nullptr);

    // Forgets every project and reads the registry of the current support directory again
    // (after the support directory moved; tests start from an empty one this way).
    void reload();
    const std::vector<HVError>& loadingProblems();
    std::string registryPath() const;

private:
    HVProjectRepository() = default;
    void loadIfNeeded();
    void loadProjects();
    void loadCurrentFormat(const HVPlistValue::Array& entries);
    void enter(std::shared_ptr<HVProject> project);
    std::optional<std::size_t> listIndexOfRoot(const std::string& root) const;
    static std::string keyForPath(const std::string& path);

    std::vector<std::shared_ptr<HVProject>> m_projects;
    std::map<std::string, std::shared_ptr<HVProject>> m_projectsByPath;
    std::vector<HVError> m_loadingProblems;
    bool m_loaded = false;
    bool m_loading = false;
    bool m_saving = false;
};
