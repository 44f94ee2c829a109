#include "HVProjectRepository.h"

#include "Defaults.h"
#include "HVFileSystem.h"
#include "HVNotificationCenter.h"
#include "HVProject.h"
#include "HVPropertyList.h"

#include <algorithm>

namespace {

HVError registryProblem(std::string description) {
    return HVError(HVErrorDomain, HVProjectFileProblemError, std::move(description),
                   "The entry is left out; the registry is rewritten at its next save.");
}

} // namespace

HVProjectRepository& HVProjectRepository::sharedInstance() {
    // Never destroyed: projects that go away at exit would save through preferences and
    // directories that may be gone by then.
    static HVProjectRepository* const instance = new HVProjectRepository();
    return *instance;
}

std::string HVProjectRepository::keyForPath(const std::string& path) {
    return HVFileSystem::standardizingPath(path);
}

std::string HVProjectRepository::registryPath() const {
    return Defaults::appSupportPathForFile("projects.plist", "data");
}

void HVProjectRepository::loadIfNeeded() {
    if (!m_loaded)
        loadProjects();
}

void HVProjectRepository::reload() {
    m_loaded = false;
    loadProjects();
}

const std::vector<HVError>& HVProjectRepository::loadingProblems() {
    loadIfNeeded();
    return m_loadingProblems;
}

void HVProjectRepository::enter(std::shared_ptr<HVProject> project) {
    if (!project->rootDirectory().empty())
        m_projectsByPath.emplace(keyForPath(project->rootDirectory()), project);
}

void HVProjectRepository::loadProjects() {
    m_loaded = true;
    m_loading = true;
    m_projects.clear();
    m_projectsByPath.clear();
    m_loadingProblems.clear();
    auto append = [&](std::shared_ptr<HVProject> project) {
        enter(project);
        m_projects.push_back(std::move(project));
    };

    if (auto path = Defaults::pathForResource("projects", "plist", "data")) {
        HVError error;
        auto registry = HVPropertyList::readFromFile(*path, &error);
        const HVPlistValue::Array* entries = registry ? registry->arrayForKey("Projects") : nullptr;
        if (!registry) {
            m_loadingProblems.push_back(std::move(error));
        } else if (!entries) {
            m_loadingProblems.push_back(
                registryProblem("The project registry \"" + *path + "\" lists no projects."));
        } else {
            const std::string* version = registry->stringForKey("FormatVersion");
            if (version && *version == "1.0") {
                for (const HVPlistValue& entry : *entries) {
                    if (const auto* dictionary = entry.dictionary())
                        append(HVProject::initWithRepositoryRepresentation(*dictionary));
                }
            } else if (version && *version == "2.0") {
                // Each element was the platform's reference to a project file; here the only
                // reference that can be followed is a plain path.
                for (const HVPlistValue& entry : *entries) {
                    const auto* data = entry.data();
                    std::string file = data ? std::string(data->begin(), data->end()) : "";
                    if (!file.empty() && file.front() == '/' && HVFileSystem::isRegularFile(file))
                        append(HVProject::initWithProjectFile(file));
                    else
                        m_loadingProblems.push_back(
                            registryProblem("A project of the registry cannot be found."));
                }
            } else {
                loadCurrentFormat(*entries);
            }
        }
    } else if (auto list = Defaults::pathForResource("site_list", "plist", "data")) {
        auto sites = HVPropertyList::readFromFile(*list);
        if (const auto* entries = sites ? sites->array() : nullptr) {
            for (const HVPlistValue& entry : *entries) {
                const std::string* root = entry.stringForKey("Path");
                const std::string* name = entry.stringForKey("DisplayName");
                if (root)
                    append(HVProject::initWithRootDirectory(*root, name ? *name : ""));
            }
        }
    }
    m_loading = false;
}

void HVProjectRepository::loadCurrentFormat(const HVPlistValue::Array& entries) {
    const bool shared = Defaults::useSharedProjectLocation();
    for (const HVPlistValue& entry : entries) {
        const std::string* uuid = entry.stringForKey("uuid");
        const std::string* path = entry.stringForKey("path");
        std::shared_ptr<HVProject> project;
        if (uuid && !uuid->empty() && shared) {
            const std::string file = Defaults::appSupportPathForFile(*uuid + ".hvproj", "Projects");
            if (HVFileSystem::isRegularFile(file))
                project = HVProject::initWithProjectFile(file);
        }
        if (!project && path && HVFileSystem::isDirectory(*path)) {
            project = HVProject::initWithRootDirectory(*path);
            if (uuid && !uuid->empty())
                project->m_uuid = *uuid;
        }
        if (!project) {
            m_loadingProblems.push_back(registryProblem(
                "The project " + (path ? "at \"" + *path + "\"" : std::string("without a path")) +
                " cannot be found."));
            continue;
        }
        enter(project);
        m_projects.push_back(std::move(project));
    }
}

std::shared_ptr<HVProject> HVProjectRepository::copyProjectWithPath(const std::string& path,
                                                                    bool create) {
    loadIfNeeded();
    const bool projectFile = HVFileSystem::pathExtension(path) == "hvproj";
    const std::string key =
        keyForPath(projectFile ? HVFileSystem::deletingLastPathComponent(path) : path);
    if (auto found = m_projectsByPath.find(key); found != m_projectsByPath.end()) {
        found->second->loadIfNecessary();
        return found->second;
    }
    if (!create)
        return nullptr;
    auto project =
        projectFile ? HVProject::initWithProjectFile(path) : HVProject::initWithRootDirectory(key);
    // A project file that names no root directory belongs to the directory that holds it.
    if (project->rootDirectory().empty())
        project->setRootDirectory(key);
    // Entered now, so that opening the same directory again before the project manager adds
    // it to the list still gives this object.
    m_projectsByPath.emplace(key, project);
    if (!project->loadIfNecessary()) {
        project->commit(true);
        HVNotificationCenter::defaultCenter().postNotificationName(
            std::string(HVProjectCreatedNotification), project.get());
    }
    return project;
}

std::optional<std::size_t> HVProjectRepository::listIndexOfRoot(const std::string& root) const {
    if (root.empty())
        return std::nullopt;
    const std::string key = keyForPath(root);
    for (std::size_t i = 0; i < m_projects.size(); ++i) {
        if (!m_projects[i]->rootDirectory().empty() &&
            keyForPath(m_projects[i]->rootDirectory()) == key)
            return i;
    }
    return std::nullopt;
}

std::size_t HVProjectRepository::addProject(std::shared_ptr<HVProject> project) {
    loadIfNeeded();
    if (auto index = indexOfProject(*project))
        return *index;
    if (auto index = listIndexOfRoot(project->rootDirectory()))
        return *index;
    enter(project);
    m_projects.insert(m_projects.begin(), std::move(project));
    commit();
    return 0;
}

std::size_t HVProjectRepository::insertProjectSorted(std::shared_ptr<HVProject> project,
                                                     bool ascending) {
    loadIfNeeded();
    if (auto index = indexOfProject(*project))
        return *index;
    if (auto index = listIndexOfRoot(project->rootDirectory()))
        return *index;
    auto place = std::find_if(m_projects.begin(), m_projects.end(), [&](const auto& other) {
        const int order = other->compare(*project);
        return ascending ? order >= 0 : order <= 0;
    });
    const std::size_t index = std::size_t(place - m_projects.begin());
    enter(project);
    m_projects.insert(place, std::move(project));
    commit();
    return index;
}

void HVProjectRepository::moveProject(std::size_t from, std::size_t to) {
    loadIfNeeded();
    if (from >= m_projects.size())
        return;
    auto project = m_projects[from];
    m_projects.erase(m_projects.begin() + std::ptrdiff_t(from));
    // The destination was counted with the project still in place.
    if (from < to)
        --to;
    to = std::min(to, m_projects.size());
    m_projects.insert(m_projects.begin() + std::ptrdiff_t(to), std::move(project));
    commit();
}

void HVProjectRepository::removeProjectAtIndex(std::size_t index) {
    loadIfNeeded();
    if (index >= m_projects.size())
        return;
    const auto& project = m_projects[index];
    if (!project->rootDirectory().empty()) {
        auto found = m_projectsByPath.find(keyForPath(project->rootDirectory()));
        if (found != m_projectsByPath.end() && found->second == project)
            m_projectsByPath.erase(found);
    }
    m_projects.erase(m_projects.begin() + std::ptrdiff_t(index));
    commit();
}

void HVProjectRepository::sortProjects(bool ascending) {
    loadIfNeeded();
    std::stable_sort(m_projects.begin(), m_projects.end(), [&](const auto& a, const auto& b) {
        return ascending ? a->compare(*b) < 0 : a->compare(*b) > 0;
    });
    commit();
}

std::size_t HVProjectRepository::countOfProjects() {
    loadIfNeeded();
    return m_projects.size();
}

std::shared_ptr<HVProject> HVProjectRepository::projectAtIndex(std::size_t index) {
    loadIfNeeded();
    return index < m_projects.size() ? m_projects[index] : nullptr;
}

std::optional<std::size_t> HVProjectRepository::indexOfProject(const HVProject& project) {
    loadIfNeeded();
    for (std::size_t i = 0; i < m_projects.size(); ++i) {
        if (m_projects[i].get() == &project)
            return i;
    }
    return std::nullopt;
}

std::vector<std::shared_ptr<HVProject>> HVProjectRepository::remoteProjects() {
    loadIfNeeded();
    std::vector<std::shared_ptr<HVProject>> remote;
    for (const auto& project : m_projects) {
        if (project->hasRemoteEquivalent())
            remote.push_back(project);
    }
    return remote;
}

void HVProjectRepository::projectDetailsChanged(const HVProject& project) {
    // Not loaded: the project cannot be in the list. Loading or saving: the uuid is being
    // written anyway.
    if (!m_loaded || m_loading || m_saving)
        return;
    for (const auto& known : m_projects) {
        if (known.get() == &project) {
            commit();
            return;
        }
    }
}

bool HVProjectRepository::commit(HVError* error) {
    if (m_loading || m_saving)
        return false;
    m_saving = true;
    HVPlistValue::Array entries;
    for (const auto& project : m_projects) {
        HVPlistValue::Dictionary entry;
        entry["uuid"] = project->uuid();
        if (!project->rootDirectory().empty())
            entry["path"] = project->rootDirectory();
        entries.push_back(std::move(entry));
    }
    HVPlistValue::Dictionary registry;
    registry["FormatVersion"] = "3.0";
    registry["Projects"] = std::move(entries);
    const std::string path = registryPath();
    const bool written =
        HVFileSystem::createDirectory(HVFileSystem::deletingLastPathComponent(path), 0777, error) &&
        HVPropertyList::writeToFile(registry, path, HVPlistFormat::Binary, error);
    m_saving = false;
    return written;
}
