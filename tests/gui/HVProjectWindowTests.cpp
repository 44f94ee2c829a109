// The project window's file tree, used as a person uses it: with the mouse, the tree's own
// editor, its context menu and drags, over real folders on disk.

#include "HVFile.h"
#include "HVFileCategories.h"
#include "HVFileCategory.h"
#include "HVFileDocument.h"
#include "HVFileSystem.h"
#include "HVFileTreeModel.h"
#include "HVPreferences.h"
#include "HVProjectTreeView.h"
#include "HVRootFile.h"
#include "HVUnknownFileTypeController.h"
#include "HVWindowTest.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTabBar>

namespace {

class ProjectWindowTest : public HVWindowTest {
protected:
    HVTemporaryDirectory site{"/tmp"};

    // Opens the folder as File ▸ Open does and answers its window and tree.
    HVProjectTreeView* openFolder(const std::string& folder) {
        HVDocumentController::sharedController().openDocumentWithContentsOfFile(folder, true);
        window = required(app->frontWindow(), folder);
        QApplication::setActiveWindow(window);
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window));
        HVProjectTreeView* tree = window->projectTree();
        if (!tree)
            throw std::runtime_error("the window of " + folder + " has no tree");
        return tree;
    }

    // The names of the rows below the index, as one line.
    static std::string rows(QAbstractItemModel* model, const QModelIndex& parent = {}) {
        std::string names;
        for (int row = 0; row < model->rowCount(parent); ++row) {
            if (!names.empty())
                names += " ";
            names += model->index(row, 0, parent).data().toString().toStdString();
        }
        return names;
    }

    static QModelIndex rowNamed(QAbstractItemModel* model, const std::string& name,
                                const QModelIndex& parent = {}) {
        for (int row = 0; row < model->rowCount(parent); ++row) {
            QModelIndex index = model->index(row, 0, parent);
            if (index.data().toString().toStdString() == name)
                return index;
        }
        throw std::runtime_error("no row " + name);
    }

    static void click(HVProjectTreeView* tree, const QModelIndex& index) {
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualRect(index).center());
    }

    static void doubleClick(HVProjectTreeView* tree, const QModelIndex& index) {
        QPoint point = tree->visualRect(index).center();
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, point);
        QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, point);
    }

    std::string activeFilePath() const {
        HVFileDocument* document = window->activeFileDocument();
        return document && document->file() ? document->file()->path() : "";
    }

    HVUnknownFileTypeController* visibleFileTypeSheet() const {
        auto* sheet = window->findChild<HVUnknownFileTypeController*>("UnknownFileTypePanel");
        return sheet && sheet->isVisible() ? sheet : nullptr;
    }

    // Clicks the file's row and answers the sheet that asks about its kind.
    HVUnknownFileTypeController* askAbout(HVProjectTreeView* tree, const std::string& name) {
        click(tree, rowNamed(tree->model(), name));
        HVUnknownFileTypeController* sheet = nullptr;
        if (!HVWaitFor([&] { return (sheet = visibleFileTypeSheet()) != nullptr; }))
            throw std::runtime_error("no sheet asks about " + name);
        return sheet;
    }

    HVDocumentWindow* window = nullptr;
};

TEST_F(ProjectWindowTest, AFolderShowsItsFilesInNameOrderReadsSubfoldersWhenOpenedAndWatchesThem) {
    site.write("b.html", "<p>b</p>");
    site.write("Assets/logo.txt", "logo");
    site.write("assets2/x.css", "x");
    site.write("C.js", "c");
    HVProjectTreeView* tree = openFolder(site.path());
    QAbstractItemModel* model = tree->model();
    EXPECT_EQ(rows(model), "Assets assets2 b.html C.js");

    QModelIndex assets = rowNamed(model, "Assets");
    auto folder = tree->fileModel()->fileForIndex(assets);
    ASSERT_NE(folder, nullptr);
    EXPECT_FALSE(folder->childrenMade()) << "the folder is listed only when opened";
    tree->expand(assets);
    EXPECT_EQ(rows(model, assets), "logo.txt");
    EXPECT_TRUE(folder->childrenMade());
    EXPECT_FALSE(tree->fileModel()->fileForIndex(rowNamed(model, "assets2"))->childrenMade());

    // A file made by another program in the open folder appears; the watcher reports on its
    // own time, and a generous limit only guards against a hang.
    site.write("Assets/Map.txt", "m");
    EXPECT_TRUE(HVWaitFor(
        [&] { return rows(model, rowNamed(model, "Assets")) == "logo.txt Map.txt"; }, 20000))
        << rows(model, rowNamed(model, "Assets"));
}

TEST_F(ProjectWindowTest, AClickOpensAFileAsATabUnlessOnlyADoubleClickShouldOpen) {
    std::string page = site.write("page.html", "<p>hi</p>\n");
    std::string style = site.write("style.css", "p {}\n");
    HVProjectTreeView* tree = openFolder(site.path());
    const int tabs = window->tabBar()->count();

    click(tree, rowNamed(tree->model(), "page.html"));
    ASSERT_TRUE(HVWaitFor([&] { return window->tabBar()->count() == tabs + 1; }));
    EXPECT_EQ(activeFilePath(), HVFileSystem::standardizingPath(page));

    HVPreferences::sharedInstance().setObject("HVDoubleClickToOpenFiles", true);
    QModelIndex styleRow = rowNamed(tree->model(), "style.css");
    click(tree, styleRow);
    QApplication::processEvents();
    EXPECT_EQ(window->tabBar()->count(), tabs + 1) << "one click only selects";
    doubleClick(tree, styleRow);
    ASSERT_TRUE(HVWaitFor([&] { return window->tabBar()->count() == tabs + 2; }));
    EXPECT_EQ(activeFilePath(), HVFileSystem::standardizingPath(style));
}

TEST_F(ProjectWindowTest, RenamingInTheTreesEditorAndDraggingOntoAFolderChangeTheDisk) {
    site.write("old.html", "<p>old</p>");
    site.write("img/a.png", "");
    HVProjectTreeView* tree = openFolder(site.path());
    HVFileTreeModel* model = tree->fileModel();
    tree->setCurrentIndex(rowNamed(model, "old.html"));
    tree->renameSelection();
    auto* editor = tree->viewport()->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr) << "the row's editor is open";
    editor->selectAll();
    QTest::keyClicks(editor, "new.html");
    QTest::keyClick(editor, Qt::Key_Return);
    ASSERT_TRUE(HVWaitFor([&] { return rows(model) == "img new.html"; })) << rows(model);
    EXPECT_FALSE(HVFileSystem::exists(site.pathFor("old.html")));
    EXPECT_EQ(HVReadFile(site.pathFor("new.html")), "<p>old</p>");

    // What a drag from the tree carries, dropped on the folder's row.
    QModelIndex folder = rowNamed(model, "img");
    tree->expand(folder);
    std::unique_ptr<QMimeData> dragged(model->mimeData({rowNamed(model, "new.html")}));
    ASSERT_TRUE(model->dropMimeData(dragged.get(), Qt::MoveAction, -1, -1, folder));
    ASSERT_TRUE(HVWaitFor([&] { return rows(model) == "img"; })) << rows(model);
    EXPECT_EQ(rows(model, rowNamed(model, "img")), "a.png new.html");
    EXPECT_EQ(HVReadFile(site.pathFor("img/new.html")), "<p>old</p>");
    EXPECT_FALSE(HVFileSystem::exists(site.pathFor("new.html")));
}

TEST_F(ProjectWindowTest, TheContextMenuNamesTheKindOfNodeAndDeleteAsksFirst) {
    site.write("docs/readme.txt", "r");
    std::string doomed = site.write("doomed.txt", "d");
    HVProjectTreeView* tree = openFolder(site.path());
    QAbstractItemModel* model = tree->model();

    auto titles = [&](const std::string& row) {
        tree->setCurrentIndex(rowNamed(model, row));
        QMenu* menu = tree->makeContextMenu();
        QStringList list;
        for (QAction* action : menu->actions()) {
            if (!action->isSeparator())
                list << action->text();
        }
        delete menu;
        return list.join(", ").toStdString();
    };
    EXPECT_EQ(titles("docs"), "New File…, New Folder…, Rename Directory, Duplicate Directory, "
                              "Delete Directory, Refresh Directory, Import Files…, "
                              "Upload Directory, Download Directory");
    EXPECT_EQ(titles("doomed.txt"), "New File…, New Folder…, Rename File, Duplicate File, "
                                    "Delete File, Refresh Directory, Import Files…, "
                                    "Upload File, Download File");

    tree->setCurrentIndex(rowNamed(model, "doomed.txt"));
    QMenu* menu = tree->makeContextMenu();
    HVActionTitled(menu, "Delete File")->trigger();
    delete menu;
    QMessageBox* alert = nullptr;
    ASSERT_TRUE(HVWaitFor([&] {
        alert = window->findChild<QMessageBox*>("HVAlert");
        return alert && alert->isVisible();
    }));
    QStringList buttons;
    for (QAbstractButton* button : alert->buttons())
        buttons << button->text();
    buttons.sort();
    EXPECT_EQ(buttons.join(", ").toStdString(), "Cancel, Delete, Move to Trash");
    EXPECT_TRUE(HVFileSystem::exists(doomed)) << "nothing happens before the answer";
    HVButtonTitled(alert, "Delete")->click();
    ASSERT_TRUE(HVWaitFor([&] { return rows(model) == "docs"; })) << rows(model);
    EXPECT_FALSE(HVFileSystem::exists(doomed));
}

TEST_F(ProjectWindowTest, AFileOfUnknownKindAsksAndOpensOnceGivenATextCategory) {
    // Bytes that the classifier calls data, under an extension that no category lists.
    std::string odd = site.write("notes.hvzq", std::string("\x01\x02\x00\xff\xfe\x03", 6));
    HVProjectTreeView* tree = openFolder(site.path());
    const int tabs = window->tabBar()->count();
    auto& categories = HVFileCategories::sharedCategories();
    ASSERT_FALSE(categories.textCategories().empty());

    HVUnknownFileTypeController* sheet = askAbout(tree, "notes.hvzq");
    EXPECT_EQ(window->tabBar()->count(), tabs) << "nothing opens while the sheet asks";
    QComboBox* choices = sheet->choiceList();
    EXPECT_EQ(choices->itemText(0).toStdString(), "Ignore files of this type");
    EXPECT_EQ(choices->itemText(1).toStdString(), "Edit Categories…");
    auto text = categories.textCategories().front();
    EXPECT_EQ(choices->itemText(3).toStdString(), text->title()) << "the first text category";
    EXPECT_EQ(choices->count(), int(3 + categories.textCategories().size() + 1 +
                                    categories.imageCategories().size()));

    // The preferences entry does not stay chosen.
    choices->setCurrentIndex(1);
    emit choices->activated(1);
    EXPECT_EQ(choices->currentIndex(), 0);

    choices->setCurrentIndex(3);
    sheet->confirmButton()->click();
    ASSERT_TRUE(HVWaitFor([&] { return window->tabBar()->count() == tabs + 1; }));
    EXPECT_EQ(activeFilePath(), HVFileSystem::standardizingPath(odd));
    EXPECT_EQ(categories.categoryForExtension("hvzq"), text);
    EXPECT_EQ(visibleFileTypeSheet(), nullptr);
    EXPECT_TRUE(
        HVFileSystem::exists(Defaults::appSupportPathForFile("fileCategories.plist", "data")))
        << "the answer is kept for the next start";
    text->removeObjectFromTypes("hvzq");
}

TEST_F(ProjectWindowTest, TheSheetKeepsItsChoiceCancelRecordsNothingAndIgnoringKeepsItClosed) {
    site.write("feed.hvzs", std::string("\x01\x02\x00\xff", 4));
    HVProjectTreeView* tree = openFolder(site.path());
    const int tabs = window->tabBar()->count();
    HVUnknownFileTypeController* sheet = askAbout(tree, "feed.hvzs");
    QComboBox* choices = sheet->choiceList();
    const QString chosen = choices->itemText(4);
    choices->setCurrentIndex(4);

    // A category that sorts before every other one moves the chosen entry down a row.
    auto& categories = HVFileCategories::sharedCategories();
    auto first = categories.addCategoryWithTitle("AAA Feeds", HVFileKindText);
    ASSERT_NE(first, nullptr);
    categories.commit();
    EXPECT_EQ(choices->itemText(3).toStdString(), "AAA Feeds");
    EXPECT_EQ(choices->currentText().toStdString(), chosen.toStdString());

    sheet->cancelButton()->click();
    QApplication::processEvents();
    EXPECT_EQ(visibleFileTypeSheet(), nullptr);
    EXPECT_EQ(window->tabBar()->count(), tabs);
    EXPECT_EQ(categories.categoryForExtension("hvzs"), nullptr) << "cancelling records nothing";
    EXPECT_FALSE(categories.extensionIsType("hvzs", HVFileKindIgnorable));
    categories.removeCategory(first, HVFileKindText);
    categories.commit();

    sheet = askAbout(tree, "feed.hvzs");
    EXPECT_EQ(sheet->choiceList()->currentIndex(), 0) << "ignoring is the first offer";
    sheet->confirmButton()->click();
    EXPECT_TRUE(categories.extensionIsType("hvzs", HVFileKindIgnorable));
    click(tree, rowNamed(tree->model(), "feed.hvzs"));
    QApplication::processEvents();
    EXPECT_EQ(visibleFileTypeSheet(), nullptr) << "an ignored kind no longer asks";
    EXPECT_EQ(window->tabBar()->count(), tabs);
    categories.removeIgnorableType("hvzs");
}

} // namespace
