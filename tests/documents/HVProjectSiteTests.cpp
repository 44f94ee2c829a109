// A site opened as a person opens it: the folder becomes a project window, the project logs in
// with the password from the secret store, the tree shows both sides, and a save goes up.

#include "HVDocumentsTestSupport.h"
#include "HVFile.h"
#include "HVFileSystem.h"
#include "HVProject.h"
#include "HVProjectDocument.h"
#include "HVProjectRepository.h"
#include "HVProjectWindowController.h"
#include "HVRemoteFilesQueue.h"
#include "HVRemoteLogController.h"
#include "HVRootFile.h"
#include "HVTestServers.h"
#include "HVUploadList.h"

#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A file on the server belongs to the server's user, as if that user had put it there.
void writeAsServer(const std::string& path, const std::string& bytes) {
    struct stat folder {};
    ASSERT_EQ(::stat(HVFileSystem::deletingLastPathComponent(path).c_str(), &folder), 0);
    std::ofstream(path, std::ios::binary) << bytes;
    ASSERT_EQ(::chown(path.c_str(), folder.st_uid, folder.st_gid), 0);
}

std::string sides(HVFile& root) {
    std::string out;
    for (const auto& child : root.children(false))
        out += child->name() + ":" + child->indicator() + " ";
    return out;
}

} // namespace

class ProjectSite : public HVDocumentsTest {
protected:
    ProjectSite() { HVProjectRepository::sharedInstance().reload(); }
    ~ProjectSite() override {
        controller().reset();
        HVProjectRepository::sharedInstance().reload();
        std::error_code ignored;
        if (!m_serverFolder.empty())
            std::filesystem::remove_all(m_serverFolder, ignored);
    }
    std::string m_serverFolder;
};

TEST_F(ProjectSite, ASiteShowsBothSidesAndASaveReachesTheServer) {
    const HVTestServerInfo* servers = HVTestServers::shared();
    ASSERT_NE(servers, nullptr);
    HVUploadList::sharedInstance().reset();
    m_serverFolder = servers->ftpRoot + "/person-site";
    ASSERT_EQ(::mkdir(m_serverFolder.c_str(), 0755), 0);
    struct stat root {};
    ASSERT_EQ(::stat(servers->ftpRoot.c_str(), &root), 0);
    ASSERT_EQ(::chown(m_serverFolder.c_str(), root.st_uid, root.st_gid), 0);
    writeAsServer(m_serverFolder + "/index.html", "<p>old");
    writeAsServer(m_serverFolder + "/remote.html", "<p>only there");
    std::string site = dir.pathFor("site");
    std::string page = dir.write("site/index.html", "<p>old");
    dir.write("site/local.css", "p {}");

    // What the settings sheet does for a new site: the server, the password to the store.
    auto project = HVProjectRepository::sharedInstance().copyProjectWithPath(site);
    ASSERT_NE(project, nullptr);
    project->setType(HVProject::Combo);
    HVProjectRemoteConfiguration config;
    config.setHost("127.0.0.1");
    config.setPort(HVPlistValue(servers->ftpPort));
    config.setUser(servers->user);
    config.setProtocol(0);
    config.setInitialDirectory(m_serverFolder);
    config.setPassword(servers->password);
    project->setRemoteConfig(config);
    ASSERT_TRUE(project->commit(true));
    project->remoteConfig().setPassword(std::nullopt);

    auto* document =
        dynamic_cast<HVProjectDocument*>(controller().openDocumentWithContentsOfFile(site, true));
    ASSERT_NE(document, nullptr);
    auto tree = document->projectWindowController().rootFile();
    ASSERT_NE(tree, nullptr);
    tree->children(true);
    const bool listed = HVDispatcher::main().runUntil(
        [&] { return tree->childWithName("remote.html", false) != nullptr; }, 60);
    ASSERT_TRUE(listed) << (project->remoteQueue()
                                ? project->remoteQueue()->logController()->transcript()
                                : "no connection");
    EXPECT_EQ(sides(*tree), "index.html: local.css:L remote.html:R ");

    HVFileDocument* tab = document->openFileAtPath(page, nullptr);
    ASSERT_NE(tab, nullptr);
    type(tab, u"!");
    HVError error;
    ASSERT_TRUE(tab->saveToURL(page, tab->fileType(), HVDocument::SaveOperationSave, &error))
        << error.fullDescription();
    EXPECT_TRUE(tab->isDocumentEdited()) << "edited until the server has the file";
    ASSERT_TRUE(HVDispatcher::main().runUntil([&] { return !tab->isDocumentEdited(); }, 60))
        << project->remoteQueue()->logController()->transcript();
    EXPECT_EQ(HVReadFile(m_serverFolder + "/index.html"), "<p>old!");
    auto entries = HVUploadList::sharedInstance().entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].state, HVUploadList::State::Finished);
}
