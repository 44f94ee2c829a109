// The real editor under Qt's offscreen platform: typing, saving, the close review, the single
// running instance, and how little a big file costs to draw.

#include "Defaults.h"
#include "HVApplicationController.h"
#include "HVChildProcess.h"
#include "HVDispatcher.h"
#include "HVDocumentController.h"
#include "HVDocumentWindow.h"
#include "HVEditorWidget.h"
#include "HVFileDocument.h"
#include "HVMultiFileDocument.h"
#include "HVMultiFileWindowController.h"
#include "HVPreferences.h"
#include "HVSingleInstance.h"
#include "HVStatusBarWidget.h"
#include "HVTestSupport.h"
#include "HVTextBuffer.h"
#include "HVTextViewModel.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QMessageBox>
#include <QPushButton>
#include <QTabBar>
#include <QTest>
#include <gtest/gtest.h>
#include <thread>

namespace {

QApplication& application() {
    static int argc = 1;
    static char name[] = "halvet_gui_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        return new QApplication(argc, argv);
    }();
    return *app;
}

// Runs Qt's events until the condition holds or a few seconds pass.
bool waitFor(const std::function<bool()>& condition, int milliseconds = 5000) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > milliseconds)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        QTest::qWait(5);
    }
    return true;
}

class GuiTest : public ::testing::Test {
protected:
    HVIsolatedPreferences preferences;
    HVTemporaryDirectory dir;
    std::unique_ptr<HVApplicationController> app;

    GuiTest() {
        application();
        Defaults::resetDefaults();
        HVDocumentController::sharedController().reset();
        app = std::make_unique<HVApplicationController>();
    }
    ~GuiTest() override {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* dialog = qobject_cast<QDialog*>(widget))
                dialog->reject();
        }
        app.reset();
        QApplication::processEvents();
        HVDocumentController::sharedController().reset();
        HVDispatcher::main().runPending();
    }

    HVDocumentWindow* open(const std::string& path) {
        HVDocumentController::sharedController().openDocumentWithContentsOfFile(path, true);
        HVDocumentWindow* window = app->frontWindow();
        if (window) {
            QApplication::setActiveWindow(window);
            EXPECT_TRUE(QTest::qWaitForWindowExposed(window));
            window->activeEditor()->setFocus();
        }
        return window;
    }
};

} // namespace

TEST_F(GuiTest, TypeUndoAndSaveWritesTheBytes) {
    std::string path = dir.write("page.html", "<p>hello</p>\n");
    HVDocumentWindow* window = open(path);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->statusBarWidget()->languageText(), "HTML");
    HVEditorWidget* editor = window->activeEditor();
    QTest::keyClick(editor, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClicks(editor, "bye");
    QTest::keyClick(editor, Qt::Key_Return);
    QTest::keyClicks(editor, "world");
    EXPECT_EQ(editor->view()->string(), u"<p>hello</p>\nbye\nworld");
    EXPECT_TRUE(window->tabBar()->tabText(0).startsWith(QString::fromUtf8("\u2022")));
    QTest::keyClick(editor, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(editor->view()->string(), u"<p>hello</p>\n") << "one typing step undoes at once";
    // A key that types a character beyond ASCII, as a keyboard layout delivers it.
    QTest::sendKeyEvent(QTest::Click, editor, Qt::Key_unknown, QString::fromUtf8("\u00e9"),
                        Qt::NoModifier);
    QTest::keyClicks(editor, "!");
    QTest::keyClick(editor, Qt::Key_Left);
    QTest::keyClick(editor, Qt::Key_Backspace);
    QTest::keyClick(editor, Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(HVReadFile(path), "<p>hello</p>\n!");
    EXPECT_FALSE(window->tabBar()->tabText(0).startsWith(QString::fromUtf8("\u2022")));
    EXPECT_EQ(window->statusBarWidget()->positionText(), "Line 2, Column 1");
}

TEST_F(GuiTest, ClosingAWindowWithTwoEditedDocumentsRunsTheReview) {
    HVPreferences::sharedInstance().setObject("HVHowToOpenFiles", 1);
    std::string a = dir.write("a.txt", "a"), b = dir.write("b.txt", "b");
    HVDocumentWindow* window = open(a);
    open(b);
    ASSERT_EQ(window->tabBar()->count(), 2);
    QPointer<HVDocumentWindow> guard(window);
    for (int i = 0; i < 2; ++i) {
        window->tabBar()->setCurrentIndex(i);
        QTest::keyClicks(window->activeEditor(), "+");
    }
    window->close();
    QDialog* review = nullptr;
    ASSERT_TRUE(waitFor([&] {
        review = window->findChild<QDialog*>("HVCloseReview");
        return review && review->isVisible();
    }));
    EXPECT_TRUE(guard) << "the window waits for the answer";
    for (QPushButton* button : review->findChildren<QPushButton*>()) {
        if (button->text() == "Save All")
            button->click();
    }
    ASSERT_TRUE(waitFor([&] { return guard.isNull(); }));
    EXPECT_EQ(HVReadFile(a), "+a");
    EXPECT_EQ(HVReadFile(b), "+b");
}

TEST_F(GuiTest, AnHvdtURLReachesTheRunningInstance) {
    std::string path = dir.write("target.txt", "0123456789abcdef");
    QString name = QStringLiteral("halvet-test-%1").arg(::getpid());
    HVSingleInstance instance(name);
    ASSERT_TRUE(instance.listen([&](const QStringList& request) { app->handleRequest(request); }));

    // The real program, started as a second instance, hands the URL over and ends.
    HVChildProcess::Options options;
    options.arguments = {HALVET_GUI_PATH, "hvdt://open?file=" + path + "&range=3,4"};
    options.environment = std::vector<std::string>{"QT_QPA_PLATFORM=offscreen",
                                                   "HALVET_INSTANCE_NAME=" + name.toStdString(),
                                                   "HOME=" + dir.path(), "PATH=/usr/bin:/bin"};
    options.timeLimit = 30;
    std::optional<HVChildProcess::Result> result;
    std::thread client([&] { result = HVChildProcess::run(options); });
    bool opened = waitFor(
        [&] {
            HVDocumentWindow* window = app->frontWindow();
            return window && window->activeFileDocument() &&
                   window->activeFileDocument()->fileName() == path;
        },
        20000);
    client.join();
    ASSERT_TRUE(result);
    EXPECT_EQ(result->exitStatus, 0) << result->standardError;
    ASSERT_TRUE(opened);
    HVEditorWidget* editor = app->frontWindow()->activeEditor();
    EXPECT_EQ(editor->view()->selectedRange(), HVMakeRange(3, 4));
}

TEST_F(GuiTest, ABigFileDrawsOnlyWhatIsVisible) {
    // About 50 MB of lines.
    std::string line = "The quick brown fox jumps over the lazy dog, 0123456789 <span>x</span>\n";
    std::string bytes;
    bytes.reserve(50 * 1024 * 1024);
    while (bytes.size() < 50 * 1024 * 1024)
        bytes += line;
    std::string path = dir.write("big.txt", bytes);
    HVDocumentWindow* window = open(path);
    ASSERT_NE(window, nullptr);
    window->resize(800, 600);
    window->show();
    HVEditorWidget* editor = window->activeEditor();
    HVTextViewModel* view = editor->view();
    std::size_t lines = view->textStorage().lineCount();
    view->setSelectedRange({view->string().size() / 2, 0});
    view->scrollRangeToVisible(view->selectedRange());
    QTest::keyClicks(editor, "Z");
    editor->viewport()->repaint();
    EXPECT_GT(editor->lastPaintLayoutCount(), 10);
    EXPECT_LT(editor->lastPaintLayoutCount(), 100) << "of " << lines << " lines";
    EXPECT_GT(editor->topUnit(), lines / 3);
    QTest::keyClick(editor, Qt::Key_End, Qt::ControlModifier);
    editor->viewport()->repaint();
    EXPECT_LT(editor->lastPaintLayoutCount(), 100);
}

TEST_F(GuiTest, AOneLineMegabyteFileScrollsInPieces) {
    // Minified script: one 6 MB line.
    std::string bytes = "var a=[";
    while (bytes.size() < 6 * 1024 * 1024)
        bytes += "{\"k\":12345,\"v\":\"abcdefgh\"},";
    bytes += "0];";
    std::string path = dir.write("min.js", bytes);
    HVDocumentWindow* window = open(path);
    ASSERT_NE(window, nullptr);
    window->resize(800, 600);
    HVEditorWidget* editor = window->activeEditor();
    EXPECT_EQ(editor->view()->textStorage().lineCount(), 1u);
    EXPECT_GT(editor->unitCount(), 3000u) << "the line is drawn in pieces";
    editor->viewport()->repaint();
    EXPECT_LT(editor->lastPaintLayoutCount(), 100);
    // Typing in its middle and jumping to the end stay cheap to draw.
    editor->view()->setSelectedRange({bytes.size() / 2, 0});
    QTest::keyClicks(editor, "x");
    editor->viewport()->repaint();
    EXPECT_LT(editor->lastPaintLayoutCount(), 100);
    QTest::keyClick(editor, Qt::Key_End, Qt::ControlModifier);
    editor->viewport()->repaint();
    EXPECT_GT(editor->topUnit(), 3000u);
    // A click near the top left of the view lands in the piece drawn there.
    std::size_t position = editor->positionAt(QPoint(10, 5));
    EXPECT_GT(position, bytes.size() - 2048 * 100);
}
