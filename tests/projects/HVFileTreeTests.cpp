#include "HVFileEnumerator.h"
#include "HVFileSystem.h"
#include "HVFileTreeTestSupport.h"
#include "HVLocalization.h"
#include "HVRemoteFileRepresentation.h"
#include "HVRemoteFilesQueue.h"
#include "HVRootFile.h"
#include "HVTestSupport.h"
#include "HVUploadList.h"

#include <gtest/gtest.h>

#include <fstream>

// The tree over real folders in /tmp, with the real watcher.

namespace {

class HVFileTreeTest : public ::testing::Test {
protected:
    // A project over the temporary folder, opened as the window opens it.
    std::shared_ptr<HVRootFile> openRoot(bool watch = false) {
        auto root = HVRootFile::initWithPath(m_folder.path(), watch);
        root->setDelegate(m_delegate);
        root->children(true);
        return root;
    }
    std::string write(const std::string& relative, const std::string& bytes = "x") {
        return m_folder.write(relative, bytes);
    }
    bool exists(const std::string& relative) const {
        return HVFileSystem::exists(m_folder.pathFor(relative));
    }

    HVTemporaryDirectory m_folder;
    std::shared_ptr<HVRecordingFileDelegate> m_delegate =
        std::make_shared<HVRecordingFileDelegate>();
};

} // namespace

// --- Order, filters, lookups

TEST_F(HVFileTreeTest, ChildrenSortIgnoringCaseAndAnEqualNameGoesAfterTheOnesThere) {
    auto root = HVRootFile::initWithPath(m_folder.path(), false);
    for (const char* name : {"b", "A", "a", "C"})
        root->addChild(HVFile::initWithPath(m_folder.pathFor(name), root));
    auto another = HVFile::initWithPath(m_folder.pathFor("a"), root);
    root->addChild(another);
    EXPECT_EQ(HVDumpTree(*root), "A a a b C");
    EXPECT_EQ(root->childAtIndex(2), another);
}

TEST_F(HVFileTreeTest, AFolderListedAtOnceSortsIgnoringCaseNotByBytes) {
    for (const char* name : {"b.html", "C", "A.html", "B.js", "a.css"})
        write(name);
    auto root = openRoot();
    EXPECT_EQ(HVDumpTree(*root), "a.css A.html b.html B.js C");
}

TEST_F(HVFileTreeTest, FilteredNamesAreLeftOutOnLoadAndOnReload) {
    write("site.hvproj");
    write(".git/config");
    write("index.html");
    auto root = openRoot();
    EXPECT_EQ(HVDumpTree(*root), "index.html");
    write("other.hvproj");
    write("style.css");
    root->refresh(true);
    EXPECT_EQ(HVDumpTree(*root), "index.html style.css");
}

TEST_F(HVFileTreeTest, TheEnumeratorGoesLevelByLevelAndLookupsGoByPath) {
    write("d/e/f.txt");
    write("g");
    auto root = HVRootFile::initWithPath(m_folder.path(), false);
    HVFileEnumerator enumerator(root);
    std::vector<std::string> names;
    while (auto node = enumerator.nextObject())
        names.push_back(node == root ? "root" : node->name());
    EXPECT_EQ(names, (std::vector<std::string>{"root", "d", "g", "e", "f.txt"}));

    auto file = root->childWithPath({m_folder.path(), "d", "e", "f.txt"}, true);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->pathFromRoot(), "d/e/f.txt");
    EXPECT_EQ(file->pathFromRootForPath("/elsewhere/x"), "/elsewhere/x");
    EXPECT_EQ(root->childWithPath({m_folder.path()}, false), root);
    EXPECT_EQ(root->childWithPath({"/elsewhere", "d"}, true), nullptr);
    EXPECT_TRUE(root->childWithName("d", false)->containsPath(file->path()));
    EXPECT_FALSE(file->containsPath(file->path() + "/x"));
}

TEST_F(HVFileTreeTest, ALoneNodeOutsideProjectsIsItsOwnRoot) {
    auto node = HVFile::initWithPath(write("lone.txt"));
    EXPECT_EQ(node->pathFromRoot(), "");
    EXPECT_TRUE(node->contentAvailable(true));
    HVRecordingDocument document;
    node->setDocument(&document);
    node->contentsDidChange();
    EXPECT_EQ(document.events, (std::vector<std::string>{"change finished"}));
}

TEST_F(HVFileTreeTest, ADocumentThatGoesClearsItselfFromItsNode) {
    write("f.txt");
    auto root = openRoot(true);
    auto node = root->childWithName("f.txt", false);
    {
        HVRecordingDocument document;
        node->setDocument(&document);
        EXPECT_TRUE(root->fileWatcher()->isWatching(*node));
    }
    EXPECT_EQ(node->document(), nullptr);
    EXPECT_FALSE(root->fileWatcher()->isWatching(*node));
}

// --- Operations on the local side

TEST_F(HVFileTreeTest, RenameChangesTheDiskTheOrderAndThePathsBelowAndTellsTheDocuments) {
    write("b.txt", "bytes");
    write("c.txt");
    write("d/f.txt");
    auto root = openRoot();
    auto node = root->childWithName("b.txt", false);
    HVRecordingDocument document;
    node->setDocument(&document);
    node->rename("z.txt");
    EXPECT_EQ(HVDumpTree(*root), "c.txt d z.txt");
    EXPECT_EQ(HVReadFile(m_folder.pathFor("z.txt")), "bytes");
    EXPECT_FALSE(exists("b.txt"));
    EXPECT_EQ(document.events, (std::vector<std::string>{"path changed"}));
    EXPECT_FALSE(node->hasPendingOperation());

    auto directory = root->childWithName("d", false);
    auto file = directory->childWithName("f.txt", true);
    HVRecordingDocument inner;
    file->setDocument(&inner);
    directory->rename("e");
    EXPECT_EQ(file->path(), m_folder.pathFor("e/f.txt"));
    EXPECT_EQ(inner.count("path changed"), 1);
}

TEST_F(HVFileTreeTest, DeleteTrashAndDuplicateChangeDiskAndTree) {
    HVTemporaryDirectory data;
    HVScopedEnvironment xdg("XDG_DATA_HOME", data.path());
    write("d/inner.txt");
    write("old.txt", "trashed");
    write("page.html", "<p>");
    auto root = openRoot();
    root->childWithName("d", false)->remove();
    root->childWithName("old.txt", false)->moveToTrash();
    root->childWithName("page.html", false)->duplicate();
    EXPECT_FALSE(exists("d"));
    EXPECT_FALSE(exists("old.txt"));
    EXPECT_EQ(HVReadFile(data.pathFor("Trash/files/old.txt")), "trashed");
    EXPECT_EQ(HVReadFile(m_folder.pathFor("page copy.html")), "<p>");
    EXPECT_EQ(HVDumpTree(*root), "page copy.html page.html");
    EXPECT_EQ(m_delegate->events,
              (std::vector<std::string>{"removed d from " + root->name(),
                                        "removed old.txt from " + root->name(),
                                        "duplicated page.html to page copy.html"}));
}

TEST_F(HVFileTreeTest, AddFileAtPathFindsOrMakesTheNodeAtItsPlace) {
    write("d/old.txt");
    auto root = openRoot();
    write("d/new.txt");
    write("d/e/deep.txt");
    auto made = root->addFileAtPath(m_folder.pathFor("d/new.txt"));
    root->addFileAtPath(m_folder.pathFor("d/e/deep.txt"));
    EXPECT_EQ(HVDumpTree(*root), "d(e(deep.txt) new.txt old.txt)");
    EXPECT_EQ(root->addFileAtPath(m_folder.pathFor("d/new.txt")), made);
}

// Moved or renamed onto a name that only the server has, the local file joins that node.
TEST_F(HVFileTreeTest, MovingOrRenamingALocalFileOntoAServerOnlyNamesakeJoinsTheTwo) {
    write("x.txt", "local");
    write("draft.txt", "draft");
    write("d/other.txt");
    auto root = openRoot();
    auto target = root->childWithName("d", false);
    target->children(true);
    // The namesakes as a listing of the server would give them; the queue never connects.
    auto queue = std::make_shared<HVRemoteFilesQueue>(HVRemoteProtocol::FTP,
                                                      std::weak_ptr<HVRemoteFilesQueueDelegate>());
    target->addChildRepresentation(
        HVRemoteFileRepresentation::initWithName("x.txt", HVFile::RegularFile, queue));
    root->addChildRepresentation(
        HVRemoteFileRepresentation::initWithName("final.txt", HVFile::RegularFile, queue));
    ASSERT_EQ(HVDumpTree(*root, true), "d:L(other.txt:L x.txt:R) draft.txt:L final.txt:R x.txt:L");

    auto moved = root->childWithName("x.txt", false);
    EXPECT_TRUE(moved->moveToFile(target));
    auto renamed = root->childWithName("draft.txt", false);
    renamed->rename("final.txt");
    EXPECT_EQ(HVDumpTree(*root, true), "d:L(other.txt:L x.txt) final.txt");
    EXPECT_EQ(target->childWithName("x.txt", false), moved);
    EXPECT_EQ(root->childWithName("final.txt", false), renamed);
    EXPECT_EQ(HVReadFile(m_folder.pathFor("d/x.txt")), "local");
    EXPECT_EQ(HVReadFile(m_folder.pathFor("final.txt")), "draft");
}

// --- Changes made by other programs, through the real watcher

TEST_F(HVFileTreeTest, AFileCreatedInAnOpenFolderAppears) {
    write("d/a.txt");
    auto root = openRoot(true);
    ASSERT_TRUE(root->fileWatcher());
    auto folder = root->childWithName("d", false);
    folder->children(true);
    folder->expand();
    write("d/b.txt");
    EXPECT_TRUE(HVPumpUntil([&] { return HVDumpTree(*folder) == "a.txt b.txt"; }))
        << HVDumpTree(*folder);

    // Closed, it is no longer watched.
    folder->collapse();
    EXPECT_FALSE(root->fileWatcher()->isWatching(*folder));
}

TEST_F(HVFileTreeTest, AnOpenFileRewrittenOutsideReachesItsDocumentAlsoAfterASave) {
    const std::string path = write("page.html", "one");
    auto root = openRoot(true);
    auto node = root->childWithName("page.html", false);
    HVRecordingDocument document;
    node->setDocument(&document);

    std::ofstream(path, std::ios::trunc) << "two";
    ASSERT_TRUE(HVPumpUntil([&] { return document.count("changed externally") > 0; }));

    // A save replaces the file; the watch must follow it.
    ASSERT_TRUE(HVFileSystem::writeFileAtomically(path, "three"));
    node->contentsDidChange();
    HVDispatcher::main().runFor(0.2);
    const int before = document.count("changed externally");
    std::ofstream(path, std::ios::trunc) << "four";
    EXPECT_TRUE(HVPumpUntil([&] { return document.count("changed externally") > before; }));
}

TEST_F(HVFileTreeTest, AFileDeletedOutsideLeavesTheTreeAndTellsItsDocument) {
    write("gone.txt");
    write("kept.txt");
    auto root = openRoot(true);
    root->expand();
    HVRecordingDocument document;
    root->childWithName("gone.txt", false)->setDocument(&document);
    ::unlink(m_folder.pathFor("gone.txt").c_str());
    EXPECT_TRUE(HVPumpUntil([&] { return HVDumpTree(*root) == "kept.txt"; }));
    EXPECT_EQ(document.count("disappeared"), 1);
}

// --- Saving while the server cannot be reached

TEST_F(HVFileTreeTest, ASaveWhileOfflineLetsTheDocumentGoAndKeepsTheUploadListed) {
    HVUploadList::sharedInstance().reset();
    write("page.html");
    m_delegate->uploads = true;
    auto root = openRoot();
    // Never connected: its host cannot be reached.
    auto queue = std::make_shared<HVRemoteFilesQueue>(HVRemoteProtocol::FTP,
                                                      std::weak_ptr<HVRemoteFilesQueueDelegate>());
    root->setRemoteQueue(queue);
    auto node = root->childWithName("page.html", false);
    HVRecordingDocument document;
    node->setDocument(&document);

    node->contentsDidChange();
    EXPECT_EQ(document.events, (std::vector<std::string>{"change finished"}));
    ASSERT_EQ(m_delegate->errors.size(), 1u);
    const HVError& error = m_delegate->errors[0];
    EXPECT_EQ(error.code(), 18);
    // Translated, not the keys.
    EXPECT_EQ(error.description(), HVLocalization::localizedString("UPLOAD_WHILE_OFFLINE_TITLE"));
    EXPECT_NE(error.description(), "UPLOAD_WHILE_OFFLINE_TITLE");
    EXPECT_NE(error.recoverySuggestion(), "UPLOAD_WHILE_OFFLINE_BODY");
    const auto entries = HVUploadList::sharedInstance().entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].path + (entries[0].state == HVUploadList::State::Queued ? " queued" : ""),
              "page.html queued");
}
