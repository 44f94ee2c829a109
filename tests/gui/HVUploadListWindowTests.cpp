// The list of uploads as its window shows it, and quitting while some have not finished.

#include "HVUploadList.h"
#include "HVUploadListWindow.h"
#include "HVWindowTest.h"

#include <QPushButton>
#include <QTreeWidget>
#include <vector>

namespace {

class UploadListWindowTest : public HVWindowTest {
protected:
    UploadListWindowTest() { HVUploadList::sharedInstance().reset(); }
    ~UploadListWindowTest() override {
        if (QMessageBox* alert = HVVisibleAlert())
            alert->reject();
        QApplication::processEvents();
        HVUploadList::sharedInstance().reset();
    }
};

// Each row as "file | site | state | problem".
std::vector<std::string> rows(QTreeWidget* table) {
    std::vector<std::string> result;
    for (int i = 0; i < table->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = table->topLevelItem(i);
        QStringList cells;
        for (int column = 0; column < table->columnCount(); ++column)
            cells << item->text(column);
        result.push_back(cells.join(" | ").toStdString());
    }
    return result;
}

HVError refusedUpload() {
    HVError error(HVErrorDomain, 1, "Could not upload file");
    error.setUserInfoValue(HVRemoteReasonErrorKey, HVPlistValue("553 Could not create file.\r\n"));
    return error;
}

} // namespace

TEST_F(UploadListWindowTest, AFailedUploadShowsWhyAndItsButtonsActOnTheSelectedRow) {
    HVUploadList& list = HVUploadList::sharedInstance();
    std::vector<std::string> calls;
    list.add("/srv/site", "css/site.css", {{}, [&] { calls.push_back("cancel site.css"); }});
    std::uint64_t failed =
        list.add("/srv/site", "index.html", {[&] { calls.push_back("retry index.html"); }, {}});
    list.failed(failed, refusedUpload());

    HVDocumentWindow* window = open(dir.write("a.html", "<p>"));
    HVActionTitled(HVMenuTitled(window, "&Window"), "Uploads")->trigger();
    HVUploadListWindow* uploads = app->uploadListWindow();
    ASSERT_NE(uploads, nullptr);
    EXPECT_TRUE(uploads->isVisible());
    EXPECT_EQ(rows(uploads->table()),
              (std::vector<std::string>{
                  "css/site.css | site | Waiting | ",
                  "index.html | site | Failed | Could not upload file \u2014 553 Could not "
                  "create file.",
              }));
    EXPECT_FALSE(uploads->retryButton()->isEnabled());
    EXPECT_FALSE(uploads->cancelButton()->isEnabled());

    uploads->selectEntry(failed);
    EXPECT_TRUE(uploads->retryButton()->isEnabled());
    QTest::mouseClick(uploads->retryButton(), Qt::LeftButton);
    EXPECT_EQ(calls, (std::vector<std::string>{"retry index.html"}));
    // Redrawn from the list, the row keeps its selection and has nothing left to retry.
    EXPECT_EQ(rows(uploads->table())[1], "index.html | site | Waiting | ");
    EXPECT_FALSE(uploads->retryButton()->isEnabled());
    EXPECT_TRUE(uploads->cancelButton()->isEnabled());

    uploads->table()->setCurrentItem(uploads->table()->topLevelItem(0));
    QTest::mouseClick(uploads->cancelButton(), Qt::LeftButton);
    EXPECT_EQ(calls, (std::vector<std::string>{"retry index.html", "cancel site.css"}));
    EXPECT_EQ(uploads->table()->topLevelItemCount(), 1);

    list.finished(failed);
    EXPECT_EQ(rows(uploads->table()),
              (std::vector<std::string>{"index.html | site | Uploaded | "}));
}

TEST_F(UploadListWindowTest, QuittingWithAnUnfinishedUploadAsksFirst) {
    HVUploadList& list = HVUploadList::sharedInstance();
    list.failed(list.add("/srv/site", "index.html", {}), refusedUpload());
    HVDocumentWindow* window = open(dir.write("a.html", "<p>"));
    QAction* quit = HVActionTitled(HVMenuTitled(window, "&File"), "&Quit");

    quit->trigger();
    QMessageBox* alert = nullptr;
    ASSERT_TRUE(HVWaitFor([&] { return (alert = HVVisibleAlert()) != nullptr; }));
    EXPECT_EQ(alert->text(), QString("Some uploads have not finished."));
    EXPECT_EQ(alert->informativeText(),
              QString("If you quit now, the server will not have your latest changes to 1 file."));
    HVButtonTitled(alert, "Cancel")->click();
    ASSERT_TRUE(HVWaitFor([&] { return HVVisibleAlert() == nullptr; }));
    EXPECT_EQ(app->windows().size(), 1u);
    EXPECT_TRUE(window->isVisible());

    quit->trigger();
    ASSERT_TRUE(HVWaitFor([&] { return (alert = HVVisibleAlert()) != nullptr; }));
    HVButtonTitled(alert, "Show Uploads")->click();
    ASSERT_TRUE(
        HVWaitFor([&] { return app->uploadListWindow() && app->uploadListWindow()->isVisible(); }));
    EXPECT_TRUE(window->isVisible());

    quit->trigger();
    ASSERT_TRUE(HVWaitFor([&] { return (alert = HVVisibleAlert()) != nullptr; }));
    HVButtonTitled(alert, "Quit Anyway")->click();
    ASSERT_TRUE(HVWaitFor([&] { return app->windows().empty(); }));
}

TEST_F(UploadListWindowTest, QuittingAsksNothingOnceEveryUploadHasFinished) {
    HVUploadList& list = HVUploadList::sharedInstance();
    list.finished(list.add("/srv/site", "index.html", {}));
    HVDocumentWindow* window = open(dir.write("a.html", "<p>"));
    HVActionTitled(HVMenuTitled(window, "&File"), "&Quit")->trigger();
    ASSERT_TRUE(HVWaitFor([&] { return app->windows().empty(); }));
    EXPECT_EQ(HVVisibleAlert(), nullptr);
}

TEST_F(UploadListWindowTest, ClosingTheLastWindowWithAWaitingUploadLeavesTheUploadsOnScreen) {
    HVUploadList::sharedInstance().add("/srv/site", "index.html", {});
    HVDocumentWindow* window = open(dir.write("a.html", "<p>"));
    window->close();
    ASSERT_TRUE(HVWaitFor([&] { return app->windows().empty(); }));
    ASSERT_NE(app->uploadListWindow(), nullptr);
    EXPECT_TRUE(app->uploadListWindow()->isVisible());
}
