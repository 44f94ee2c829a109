#include "HVFileDocument.h"
#include "HVMultiFileSearchController.h"
#include "HVMultiFileSearchWindow.h"
#include "HVSearchController.h"
#include "HVTextViewModel.h"
#include "HVWindowTest.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

class MultiFileSearchWindow : public HVWindowTest {
protected:
    std::string site = dir.pathFor("site");

    MultiFileSearchWindow() {
        auto& fields = HVSearchController::sharedFind();
        fields.setRegularExpression(false);
        fields.setMatchCase(false);
        fields.setSearchString(u"");
        fields.setReplaceString(u"");
    }

    // Opens a document window and the search window from its Find menu, searching the site.
    HVMultiFileSearchWindow* openSearchWindow() {
        HVDocumentWindow* window = open(dir.write("notes.txt", "nothing here\n"));
        HVActionTitled(HVMenuTitled(window, "F&ind"), "&Multi-File Find…")->trigger();
        HVMultiFileSearchWindow* search = app->multiFileSearchWindow();
        if (!search || !QTest::qWaitForWindowExposed(search))
            throw std::runtime_error("no search window");
        search->model().setSpecificPaths({site});
        search->model().setMode(HVMultiFileSearchController::Mode::SpecificFiles);
        return search;
    }
    static void find(HVMultiFileSearchWindow* search, const char* text, const char* with) {
        QTest::keyClicks(search->searchField()->lineEdit(), text);
        QTest::keyClicks(search->replaceField()->lineEdit(), with);
        QTest::mouseClick(search->findButton(), Qt::LeftButton);
        EXPECT_TRUE(HVWaitFor([&] { return !search->model().searching(); }, 20000));
        EXPECT_EQ(search->findButton()->text(), "Find");
    }
    static std::string rows(QTreeWidget* tree) {
        QStringList lines;
        for (int i = 0; i < tree->topLevelItemCount(); ++i) {
            QTreeWidgetItem* file = tree->topLevelItem(i);
            lines << file->text(0).section(QChar(0x2014), 0, 0).trimmed() + " " +
                         file->text(0).section('(', -1);
            for (int j = 0; j < file->childCount(); ++j)
                lines << "  " + file->child(j)->text(0) + ": " +
                             file->child(j)->data(0, Qt::UserRole + 1).toString().trimmed();
        }
        return lines.join("\n").toStdString();
    }
};

TEST_F(MultiFileSearchWindow, FindListsTheMatchesAndReplaceChangesOnlyTheCheckedOnesOnDisk) {
    std::string a = dir.write("site/a.txt", "foo one\nfoo two\n");
    dir.write("site/b.txt", "none\n");
    std::string c = dir.write("site/c.txt", "\nfoo\n");
    HVMultiFileSearchWindow* search = openSearchWindow();
    find(search, "foo", "bar");

    QTreeWidget* tree = search->results();
    EXPECT_EQ(rows(tree), "a.txt 2)\n  1: foo one\n  2: foo two\nc.txt 1)\n  2: foo");
    EXPECT_EQ(search->progressLabel()->text(), "3 files searched, 0 skipped, 3 matches");
    EXPECT_EQ(tree->topLevelItem(0)->checkState(0), Qt::Checked);

    tree->topLevelItem(0)->child(1)->setCheckState(0, Qt::Unchecked);
    EXPECT_EQ(tree->topLevelItem(0)->checkState(0), Qt::PartiallyChecked);
    EXPECT_EQ(search->model().checkedCount(), 2u);

    QTest::mouseClick(search->replaceButton(), Qt::LeftButton);
    QMessageBox* question = nullptr;
    ASSERT_TRUE(HVWaitFor([&] { return (question = HVVisibleAlert()) != nullptr; }));
    EXPECT_EQ(question->text(),
              "Do you really want to replace 2 occurrences (out of 3) of \"foo\" with \"bar\"?");
    HVButtonTitled(question, "Replace")->click();
    ASSERT_TRUE(HVWaitFor([&] { return !search->model().replacing(); }, 20000));
    EXPECT_EQ(HVReadFile(a), "bar one\nfoo two\n");
    EXPECT_EQ(HVReadFile(c), "\nbar\n");
    EXPECT_EQ(tree->topLevelItemCount(), 0);
}

TEST_F(MultiFileSearchWindow, UncheckingAFileLeavesItAloneAndDoubleClickOpensAMatch) {
    std::string a = dir.write("site/a.txt", "foo\n");
    std::string b = dir.write("site/b.txt", "one\ntwo foo\n");
    HVMultiFileSearchWindow* search = openSearchWindow();
    find(search, "foo", "");
    QTreeWidget* tree = search->results();
    ASSERT_EQ(tree->topLevelItemCount(), 2);

    tree->topLevelItem(0)->setCheckState(0, Qt::Unchecked);
    EXPECT_EQ(tree->topLevelItem(0)->child(0)->checkState(0), Qt::Unchecked);
    EXPECT_EQ(search->model().checkedCount(), 1u);

    QTreeWidgetItem* match = tree->topLevelItem(1)->child(0);
    emit tree->itemDoubleClicked(match, 0);
    HVDocumentWindow* window = app->frontWindow();
    ASSERT_NE(window, nullptr);
    HVFileDocument* document = window->activeFileDocument();
    ASSERT_NE(document, nullptr);
    EXPECT_EQ(document->fileName(), b);
    EXPECT_EQ(document->textView()->selectedString(), u"foo");
    EXPECT_EQ(HVReadFile(a), "foo\n");
}
