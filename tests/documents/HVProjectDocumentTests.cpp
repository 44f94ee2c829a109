#include "HVDocumentsTestSupport.h"
#include "HVFile.h"
#include "HVFileSystem.h"
#include "HVProject.h"
#include "HVProjectDocument.h"
#include "HVProjectRepository.h"
#include "HVProjectWindowController.h"
#include "HVRemoteFile.h"
#include "HVRemoteFileRepresentation.h"
#include "HVRootFile.h"
#include "HVUploadList.h"

#include <sys/stat.h>

class ProjectDocument : public HVDocumentsTest {
protected:
    ProjectDocument() { HVProjectRepository::sharedInstance().reload(); }
    ~ProjectDocument() override { HVProjectRepository::sharedInstance().reload(); }

    HVProjectDocument* openProject(const std::string& path) {
        HVError error;
        auto* document = dynamic_cast<HVProjectDocument*>(
            controller().openDocumentWithContentsOfFile(path, true, &error));
        EXPECT_NE(document, nullptr) << error.fullDescription();
        return document;
    }
    static std::vector<std::string> tabPaths(HVProjectDocument* project) {
        std::vector<std::string> paths;
        for (HVFileDocument* document : project->openDocuments())
            paths.push_back(document->fileName());
        return paths;
    }
};

TEST_F(ProjectDocument,
       AFolderOrItsProjectFileOpensOneProjectWhoseFilesOpenAsItsTabsWithSettingsInIt) {
    std::string site = dir.pathFor("site");
    dir.write("site/index.html", "<p>home");
    dir.write("site/css/main.css", "p {}");
    std::string outside = dir.write("notes.txt", "elsewhere");

    HVProjectDocument* project = openProject(site);
    ASSERT_NE(project, nullptr);
    EXPECT_TRUE(project->project()->isOpen());
    EXPECT_TRUE(tabPaths(project).empty()) << "a project starts with its tree, not a blank tab";

    // The same folder, and the project file inside it, lead to the same window, and a change
    // not yet saved survives (the new project's file is not read back over it).
    project->project()->setType(HVProject::Combo);
    EXPECT_EQ(controller().openDocumentWithContentsOfFile(site, true), project);
    EXPECT_EQ(project->project()->type(), HVProject::Combo);
    setPreference("HVUseSharedProjectLocation", false);
    ASSERT_TRUE(project->project()->commit(true));
    auto local = project->project()->localProjectFilePath();
    ASSERT_TRUE(local.has_value());
    ASSERT_TRUE(HVFileSystem::exists(*local)) << *local;
    EXPECT_EQ(controller().openDocumentWithContentsOfFile(*local, true), project);
    EXPECT_TRUE(tabPaths(project).empty()) << "a project file is not opened as text";

    // A file below the root opens as a tab, bound to the tree's own node.
    HVDocument* shown = controller().openDocumentWithContentsOfFile(site + "/css/main.css", true);
    EXPECT_EQ(shown, project->activeDocument()) << "the tab of the project window";
    EXPECT_EQ(tabPaths(project), std::vector<std::string>{site + "/css/main.css"});
    auto node = project->projectWindowController().nodeForPath(site + "/css/main.css");
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->pathFromRoot(), "css/main.css");
    EXPECT_EQ(project->openDocuments()[0]->file(), node);
    // Its per-file settings go to the project.
    HVFileDocument* tab = project->openDocuments()[0];
    tab->setConfigurationValue(HVPlistValue(std::string("org.halvet.css")), HVFileBundleKey,
                               tab->configurationPath());
    auto stored = project->project()->configurationValueForKey(HVFileBundleKey, "css/main.css");
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(stored->stringValue().value_or(""), "org.halvet.css");

    // A file outside the root opens in a window of its own.
    HVDocument* other = controller().openDocumentWithContentsOfFile(outside, true);
    ASSERT_NE(other, nullptr);
    EXPECT_NE(other, project);
    EXPECT_EQ(controller().documents().size(), 2u);
}

TEST_F(ProjectDocument, NewFilesAndFoldersJoinTheTreeAndAFailureSaysWhy) {
    std::string site = dir.pathFor("site");
    dir.write("site/a.txt", "a");
    HVProjectDocument* project = openProject(site);
    ASSERT_NE(project, nullptr);
    auto& window = project->projectWindowController();
    auto root = window.rootFile();
    ASSERT_NE(root, nullptr);

    HVError error;
    auto folder = window.newFolder(root, "docs", &error);
    ASSERT_NE(folder, nullptr) << error.fullDescription();
    auto file = window.newFile(folder, "readme.md", &error);
    ASSERT_NE(file, nullptr) << error.fullDescription();
    EXPECT_EQ(file->pathFromRoot(), "docs/readme.md");
    EXPECT_EQ(HVReadFile(site + "/docs/readme.md"), "");
    EXPECT_EQ(tabPaths(project), std::vector<std::string>{site + "/docs/readme.md"});
    ASSERT_NE(root->childWithName("docs", false), nullptr);

    // An existing name is never overwritten.
    EXPECT_EQ(window.newFile(root, "a.txt", &error), nullptr);
    EXPECT_EQ(error.code(), EEXIST);
    EXPECT_EQ(HVReadFile(site + "/a.txt"), "a");

    // A folder that cannot be made says so in the user's words.
    ::chmod(site.c_str(), 0555);
    bool refused = HVRunUnprivileged([&] {
        HVError failure;
        return window.newFolder(root, "locked", &failure) == nullptr &&
               failure.description() == "Could not create directory";
    });
    ::chmod(site.c_str(), 0755);
    EXPECT_TRUE(refused);
}

TEST_F(ProjectDocument, ImportedFilesAreCopiedOrMovedButNeverReplaceAFile) {
    std::string site = dir.pathFor("site");
    dir.write("site/keep.txt", "mine");
    std::string copied = dir.write("incoming/copy.txt", "c");
    std::string moved = dir.write("incoming/move.txt", "m");
    std::string clash = dir.write("incoming/keep.txt", "theirs");
    HVProjectDocument* project = openProject(site);
    ASSERT_NE(project, nullptr);
    auto& window = project->projectWindowController();
    auto root = window.rootFile();
    root->children(true);

    HVError error;
    using Mode = HVProjectWindowController::ImportMode;
    EXPECT_EQ(window.importFiles({copied}, root, Mode::Copy, &error).size(), 1u);
    EXPECT_EQ(window.importFiles({moved, clash}, root, Mode::Move, &error).size(), 1u);
    EXPECT_EQ(error.code(), EEXIST);
    EXPECT_EQ(HVReadFile(site + "/copy.txt"), "c");
    EXPECT_TRUE(HVFileSystem::exists(copied));
    EXPECT_EQ(HVReadFile(site + "/move.txt"), "m");
    EXPECT_FALSE(HVFileSystem::exists(moved));
    EXPECT_EQ(HVReadFile(site + "/keep.txt"), "mine");
    EXPECT_TRUE(HVFileSystem::exists(clash));
    EXPECT_NE(root->childWithName("move.txt", false), nullptr);
}

TEST_F(ProjectDocument, ASaveThatCannotBeUploadedYetIsListedNotDropped) {
    HVUploadList::sharedInstance().reset();
    std::string site = dir.pathFor("site");
    std::string page = dir.write("site/index.html", "<p>");
    HVProjectDocument* project = openProject(site);
    ASSERT_NE(project, nullptr);
    project->project()->setType(HVProject::Combo);
    project->project()->remoteConfig().setHost("127.0.0.1");
    HVFileDocument* document = project->openFileAtPath(page, nullptr);
    ASSERT_NE(document, nullptr);
    type(document, u"!");
    HVError error;
    ASSERT_TRUE(
        document->saveToURL(page, document->fileType(), HVDocument::SaveOperationSave, &error))
        << error.fullDescription();

    EXPECT_EQ(HVReadFile(page), "<p>!");
    auto entries = HVUploadList::sharedInstance().entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].path, "index.html");
    EXPECT_EQ(entries[0].state, HVUploadList::State::Failed);
    ASSERT_TRUE(entries[0].error.has_value());
    EXPECT_EQ(entries[0].error->description(), "The file was saved but not uploaded");

    // Retrying while still unconnected says so again rather than waiting for ever.
    HVUploadList::sharedInstance().retry(entries[0].identifier);
    EXPECT_EQ(HVUploadList::sharedInstance().entries()[0].state, HVUploadList::State::Failed);
    HVUploadList::sharedInstance().reset();
}

TEST_F(ProjectDocument, SavingAsInsideTheProjectJoinsTheTreeOnce) {
    std::string site = dir.pathFor("site");
    dir.write("site/css/a.css", "a {}");
    HVProjectDocument* project = openProject(site);
    ASSERT_NE(project, nullptr);
    auto root = project->projectWindowController().rootFile();
    root->children(true);
    HVFileDocument* document = project->untitledDocument();
    type(document, u"b {}");
    HVError error;
    ASSERT_TRUE(document->saveToURL(site + "/css/b.css", document->fileType(),
                                    HVDocument::SaveAsOperation, &error))
        << error.fullDescription();
    auto css = root->childWithName("css", false);
    ASSERT_NE(css, nullptr);
    std::vector<std::string> names;
    for (const auto& child : css->children(false))
        names.push_back(child->name());
    EXPECT_EQ(names, (std::vector<std::string>{"a.css", "b.css"}));
    EXPECT_EQ(document->file(), css->childWithName("b.css", false));
    EXPECT_EQ(document->configurationPath(), "css/b.css");
}

TEST_F(ProjectDocument, DeletingAServersCopyAsksFirstAndCancelKeepsIt) {
    std::string site = dir.pathFor("site");
    std::string page = dir.write("site/page.html", "<p>");
    HVProjectDocument* project = openProject(site);
    ASSERT_NE(project, nullptr);
    auto& window = project->projectWindowController();
    auto node = window.nodeForPath(page);
    ASSERT_NE(node, nullptr);

    // With a copy on the server, nothing can come back from a trash: it asks all the same
    // (the window's tests cover the local-only question).
    HVRemoteFile listed;
    listed.name = "page.html";
    node->mergeWithRepresentation(HVRemoteFileRepresentation::initWithRemoteFile(listed, nullptr));
    ui->alertAnswers.push_back(1);
    window.deleteFile(node);
    ASSERT_EQ(ui->presentedErrors.size(), 1u);
    EXPECT_EQ(ui->presentedErrors[0].recoveryOptions(),
              (std::vector<std::string>{"Delete", "Cancel"}));
    EXPECT_NE(ui->presentedErrors[0].recoverySuggestion().find("from the server and from this"),
              std::string::npos);
    EXPECT_EQ(HVReadFile(page), "<p>");
    EXPECT_NE(node->parent(), nullptr);
}

TEST_F(ProjectDocument, AFileTheTreeHasNotListedYetJoinsItWhenOpenedWithoutAnUpload) {
    HVUploadList::sharedInstance().reset();
    std::string site = dir.pathFor("site");
    dir.write("site/index.html", "<p>");
    HVProjectDocument* project = openProject(site);
    ASSERT_NE(project, nullptr);
    project->project()->setType(HVProject::Combo);
    project->project()->remoteConfig().setHost("127.0.0.1");
    auto root = project->projectWindowController().rootFile();
    root->children(true);
    std::string late = dir.write("site/late.html", "<p>late");

    HVDocument* shown = controller().openDocumentWithContentsOfFile(late, true);
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(project->activeDocument()->file(), root->childWithName("late.html", false));
    EXPECT_TRUE(HVUploadList::sharedInstance().entries().empty()) << "opening is no change";
}
