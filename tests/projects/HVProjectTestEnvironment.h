#pragma once

#include "HVFileSystem.h"
#include "HVPreferences.h"
#include "HVProjectRepository.h"
#include "HVTestSupport.h"

#include <string>

// A home, a support directory and preferences of the test's own, and a registry that starts
// empty in them.
class HVProjectTestEnvironment {
public:
    HVProjectTestEnvironment()
        : m_home(m_directory.pathFor("home")), m_data(m_directory.pathFor("data")),
          m_homeVariable("HOME", m_home), m_dataVariable("XDG_DATA_HOME", m_data) {
        HVProjectRepository::sharedInstance().reload();
    }
    // The registry lets go of this test's projects while their folders still exist.
    ~HVProjectTestEnvironment() { HVProjectRepository::sharedInstance().reload(); }

    const std::string& home() const { return m_home; }
    std::string supportPath(const std::string& relative) const {
        return m_data + "/Halvet/" + relative;
    }
    // A directory below the test's own folder, created.
    std::string directory(const std::string& relative) const {
        const std::string path = m_directory.pathFor(relative);
        HVFileSystem::createDirectory(path);
        return path;
    }
    void setUseSharedLocation(bool shared) {
        HVPreferences::sharedInstance().setObject("HVUseSharedProjectLocation", shared);
    }
    // A site's root directory, with project files kept in the root rather than shared.
    std::string localSite() {
        setUseSharedLocation(false);
        return directory("site");
    }

private:
    HVTemporaryDirectory m_directory;
    std::string m_home;
    std::string m_data;
    HVScopedEnvironment m_homeVariable;
    HVScopedEnvironment m_dataVariable;
    HVIsolatedPreferences m_preferences;
};
