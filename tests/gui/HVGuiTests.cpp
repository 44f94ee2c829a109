// The real editor under Qt's offscreen platform: typing, saving, the close review, the single
// running instance, and how little a big file costs to draw.

#include "HVAttributes.h"
#include "HVChildProcess.h"
#include "HVCodeIndex.h"
#include "HVFileDocument.h"
#include "HVFileSystem.h"
#include "HVImageViewWidget.h"
#include "HVLineNumberingRulerWidget.h"
#include "HVNotificationCenter.h"
#include "HVPreferences.h"
#include "HVQtUserInterface.h"
#include "HVSingleInstance.h"
#include "HVStatusBarWidget.h"
#include "HVSyntaxHighlightingTextView.h"
#include "HVTextBuffer.h"
#include "HVTextDisplayModel.h"
#include "HVTextViewModel.h"
#include "HVTheme.h"
#include "HVThemeRepository.h"
#include "HVUndoManager.h"
#include "HVWindowTest.h"

#include <QClipboard>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QScrollBar>
#include <QTabBar>
#include <QToolButton>
#include <sys/stat.h>
#include <thread>

namespace {

class GuiTest : public HVWindowTest {
protected:
    // Opens a path the way a request from outside does, and waits until its window is the
    // active one; the keyboard focus is left to the program.
    HVDocumentWindow* openAsUser(const std::string& path) {
        app->handleRequest({QString::fromStdString(path)});
        HVDocumentWindow* window = required(app->frontWindow(), path);
        EXPECT_TRUE(QTest::qWaitForWindowActive(window));
        return window;
    }

    // Types into the window as a keyboard does: the key goes wherever the focus is.
    static void typeInto(HVDocumentWindow* window, const QString& text) {
        for (QChar c : text)
            QTest::keyClick(window->windowHandle(), c.toLatin1());
        QApplication::processEvents();
    }
    static void pressInto(HVDocumentWindow* window, Qt::Key key,
                          Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(window->windowHandle(), key, modifiers);
        QApplication::processEvents();
    }
};

} // namespace

TEST_F(GuiTest, TypeUndoAndSaveWritesTheBytes) {
    // Plain text, where a typed "é" stays itself.
    std::string path = dir.write("page.txt", "<p>hello</p>\n");
    HVDocumentWindow* window = open(path);
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
    ASSERT_TRUE(HVWaitFor([&] {
        review = window->findChild<QDialog*>("HVCloseReview");
        return review && review->isVisible();
    }));
    EXPECT_TRUE(guard) << "the window waits for the answer";
    for (QPushButton* button : review->findChildren<QPushButton*>()) {
        if (button->text() == "Save All")
            button->click();
    }
    ASSERT_TRUE(HVWaitFor([&] { return guard.isNull(); }));
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
    bool opened = HVWaitFor(
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
}

TEST_F(GuiTest, AOneLineMegabyteFileScrollsInPieces) {
    // Minified script: one 6 MB line.
    std::string bytes = "var a=[";
    while (bytes.size() < 6 * 1024 * 1024)
        bytes += "{\"k\":12345,\"v\":\"abcdefgh\"},";
    bytes += "0];";
    std::string path = dir.write("min.js", bytes);
    HVDocumentWindow* window = open(path);
    window->resize(800, 600);
    HVEditorWidget* editor = window->activeEditor();
    EXPECT_EQ(editor->view()->textStorage().lineCount(), 1u);
    EXPECT_GT(editor->unitCount(), 3000u) << "the line is drawn in pieces";
    editor->viewport()->repaint();
    EXPECT_LT(editor->lastPaintLayoutCount(), 100);
    // Jumping to the end stays cheap to draw.
    QTest::keyClick(editor, Qt::Key_End, Qt::ControlModifier);
    editor->viewport()->repaint();
    EXPECT_GT(editor->topUnit(), 3000u);
    // A click near the top left of the view lands in the piece drawn there.
    std::size_t position = editor->positionAt(QPoint(10, 5));
    EXPECT_GT(position, bytes.size() - 2048 * 100);
}

// A file that only the fallback encoding reads: the window that it opens shows the warning, and
// keys typed at once go into the text, which is saved in that encoding.
TEST_F(GuiTest, TypingRightAfterOpeningGoesIntoTheFile) {
    for (bool tabs : {true, false}) {
        HVPreferences::sharedInstance().setObject("HVUseTabs", tabs);
        std::string path = dir.write(tabs ? "tab.txt" : "single.txt", "caf\xE9");
        HVDocumentWindow* window = openAsUser(path);
        EXPECT_EQ(window->statusBarWidget()->currentMessage(),
                  QString::fromUtf8("\u26A0 Opened using iso-8859-1"));
        EXPECT_EQ(QApplication::focusWidget(), window->activeEditor());
        pressInto(window, Qt::Key_End, Qt::ControlModifier);
        typeInto(window, "!");
        pressInto(window, Qt::Key_S, Qt::ControlModifier);
        EXPECT_EQ(HVReadFile(path), "caf\xE9!") << (tabs ? "tabbed window" : "single-file window");
    }
    // Choosing another tab gives the focus to its text as well.
    HVPreferences::sharedInstance().setObject("HVUseTabs", true);
    HVPreferences::sharedInstance().setObject("HVHowToOpenFiles", 1);
    std::string a = dir.write("a.txt", "a"), b = dir.write("b.txt", "b");
    HVDocumentWindow* window = openAsUser(a);
    openAsUser(b);
    window->tabBar()->setCurrentIndex(window->tabBar()->count() - 2);
    EXPECT_EQ(QApplication::focusWidget(), window->activeEditor());
}

TEST_F(GuiTest, ReturnPasteAndDropInACRLFFileWriteCRLF) {
    std::string path = dir.write("dos.txt", "one\r\ntwo\r\n");
    HVDocumentWindow* window = openAsUser(path);
    EXPECT_EQ(window->statusBarWidget()->lineBreakText(), "CRLF");
    pressInto(window, Qt::Key_End, Qt::ControlModifier);
    typeInto(window, "three");
    pressInto(window, Qt::Key_Return);
    QGuiApplication::clipboard()->setText("pasted\nlines\n");
    pressInto(window, Qt::Key_V, Qt::ControlModifier);

    // Text dragged in from another program.
    HVEditorWidget* editor = window->activeEditor();
    QMimeData data;
    data.setText("dropped\nhere");
    QDragEnterEvent enter(QPoint(2, 2), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(editor->viewport(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(2, 2), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(editor->viewport(), &drop);
    EXPECT_EQ(editor->view()->undoManager().undoActionName(), "Drop");

    pressInto(window, Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(HVReadFile(path), "dropped\r\nhereone\r\ntwo\r\nthree\r\npasted\r\nlines\r\n");
}

TEST_F(GuiTest, AnImageOpensAsAPictureWithItsSizeInTheStatusBar) {
    std::string path = dir.write("pixels.png", HVReadFile(HVTestDataPath("images/pixels.png")));
    HVDocumentWindow* window = openAsUser(path);
    EXPECT_EQ(window->activeEditor(), nullptr);
    HVImageViewWidget* image = window->imageViewFor(window->activeFileDocument());
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->pixelSize(), QSize(3, 2)) << image->errorString().toStdString();
    EXPECT_EQ(window->statusBarWidget()->positionText(), QString::fromUtf8("3 \u00D7 2 pixels"));
    EXPECT_FALSE(window->statusBarWidget()->lineBreakButton()->isVisible());
}

TEST_F(GuiTest, AFileThatCannotBeReadShowsTheReasonAndOpensNoWindow) {
    std::string fifo = dir.pathFor("pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    app->handleRequest({QString::fromStdString(fifo)});
    QMessageBox* alert = nullptr;
    ASSERT_TRUE(HVWaitFor([&] { return (alert = HVVisibleAlert()) != nullptr; }));
    EXPECT_TRUE(alert->text().contains("is a named pipe, not a regular file"))
        << alert->text().toStdString();
    EXPECT_TRUE(app->windows().empty());
    alert->reject();

    // With a window open, the alert comes with that window (and no tab is added to it).
    HVPreferences::sharedInstance().setObject("HVHowToOpenFiles", 1);
    HVDocumentWindow* window = openAsUser(dir.write("a.txt", "a"));
    app->handleRequest({QString::fromStdString(fifo)});
    QMessageBox* sheet = nullptr;
    ASSERT_TRUE(HVWaitFor([&] {
        sheet = window->findChild<QMessageBox*>("HVAlert");
        return sheet && sheet->isVisible();
    }));
    EXPECT_TRUE(sheet->text().contains("named pipe"));
    EXPECT_EQ(window->tabBar()->count(), 1);
}

TEST_F(GuiTest, ABinaryFileIsReadOnlyUntilEditingIsAllowed) {
    std::string bytes("\x7f"
                      "ELF\0\0\x01",
                      7);
    std::string path = dir.write("program", bytes);
    HVDocumentWindow* window = openAsUser(path);
    typeInto(window, "x");
    EXPECT_EQ(window->activeEditor()->view()->string().size(), 7u) << "nothing was typed";
    QAction* allow = window->menuBar()->findChild<QAction*>("allowEditing");
    ASSERT_NE(allow, nullptr);
    allow->trigger();
    typeInto(window, "x");
    pressInto(window, Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(HVReadFile(path), "x" + bytes);
}

TEST_F(GuiTest, AnAlertClosedWithoutAButtonTakesTheSafeWayOut) {
    std::optional<std::size_t> chosen;
    HVError question(HVErrorDomain, 5,
                     "The file has been changed by another application since "
                     "it was opened.",
                     "", {"Save Anyway", "Revert", "Cancel"});
    app->userInterface().presentError(question, nullptr,
                                      [&](std::size_t option) { chosen = option; });
    QMessageBox* alert = nullptr;
    ASSERT_TRUE(HVWaitFor([&] { return (alert = HVVisibleAlert()) != nullptr; }));
    // As when its window is closed.
    alert->reject();
    ASSERT_TRUE(HVWaitFor([&] { return chosen.has_value(); }));
    EXPECT_EQ(*chosen, 2u) << "Cancel, not Save Anyway";
}

TEST_F(GuiTest, APathFromAnotherStartFindsTheOpenFileThroughLinks) {
    HVPreferences::sharedInstance().setObject("HVHowToOpenFiles", 1);
    std::string page = dir.write("site/page.html", "<p>");
    dir.write("site/sub/x.txt", "x");
    ASSERT_EQ(::symlink("site/sub", dir.pathFor("sub").c_str()), 0);
    HVDocumentWindow* window = openAsUser(page);
    // "sub/../page.html" from the folder: ".." leaves the link's target, as the shell's
    // programs see it.
    QStringList request = HVSingleInstance::absoluteArguments({"sub/../page.html"},
                                                              QString::fromStdString(dir.path()));
    app->handleRequest(request);
    EXPECT_EQ(app->windows().size(), 1u);
    EXPECT_EQ(window->tabBar()->count(), 1);
    EXPECT_EQ(HVVisibleAlert(), nullptr);
}

namespace {

// The titles of a menu's actions as it is about to show, and of those checked.
std::pair<QStringList, QStringList> titlesAndChecked(QMenu* menu) {
    emit menu->aboutToShow();
    QStringList titles, checked;
    for (QAction* action : menu->actions()) {
        titles << action->text();
        if (action->isChecked())
            checked << action->text();
    }
    return {titles, checked};
}

std::vector<HVEditorWidget*> openEditors(HVApplicationController& app) {
    std::vector<HVEditorWidget*> editors;
    for (const auto& window : app.windows()) {
        for (HVEditorWidget* editor : window->findChildren<HVEditorWidget*>())
            editors.push_back(editor);
    }
    return editors;
}

int countNotifications(const std::string& name, const std::function<void()>& body) {
    int count = 0;
    auto& center = HVNotificationCenter::defaultCenter();
    HVScopedObserver observer(
        center, center.addObserver(name, nullptr, [&](const HVNotification&) { ++count; }));
    body();
    return count;
}

QColor qColor(const std::optional<HVColor>& color) {
    return QColor::fromRgbF(float(color->red), float(color->green), float(color->blue),
                            float(color->alpha));
}

} // namespace

TEST_F(GuiTest, TheViewMenuTogglesInvisiblesAndWrappingInEveryOpenEditor) {
    HVDocumentWindow* window = open(dir.write("a.txt", "one two\tthree\n"));
    open(dir.write("b.txt", "x\n"));
    std::vector<HVEditorWidget*> editors = openEditors(*app);
    ASSERT_EQ(editors.size(), 2u);
    QMenu* viewMenu = HVMenuTitled(window, "&View");
    QAction* invisibles = HVActionTitled(viewMenu, "Show Invisibles");
    QAction* wrap = HVActionTitled(viewMenu, "Wrap Text");
    auto& preferences = HVPreferences::sharedInstance();

    for (HVEditorWidget* editor : editors)
        EXPECT_EQ(&editor->layoutManager(), &editor->foldingView()->layoutManager());
    for (bool shown : {true, false}) {
        EXPECT_EQ(countNotifications("HalvetEditorPrefsChange", [&] { invisibles->trigger(); }), 1);
        EXPECT_EQ(preferences.boolForKey("HVShowInvisibles"), shown);
        for (HVEditorWidget* editor : editors)
            EXPECT_EQ(editor->showsInvisibles(), shown);
        emit viewMenu->aboutToShow();
        EXPECT_EQ(invisibles->isChecked(), shown);
    }
    EXPECT_EQ(countNotifications("HalvetEditorPrefsChange", [&] { wrap->trigger(); }), 1);
    EXPECT_EQ(preferences.boolForKey("HVWrapText"), true);
    for (HVEditorWidget* editor : editors)
        EXPECT_TRUE(editor->wrapsText());
    // An editor opened later starts with the preference.
    HVDocumentWindow* third = open(dir.write("c.txt", "y\n"));
    EXPECT_TRUE(third->activeEditor()->wrapsText());
    wrap->trigger();
    for (HVEditorWidget* editor : openEditors(*app))
        EXPECT_FALSE(editor->wrapsText());
}

// The gutter beside a real script: a click on an opener's marker collapses its region and the
// numbers skip the hidden lines, a double click on the region's box in the text (one undo step)
// and a click on the collapsed marker expand it without scrolling; the View menu's
// preferences take the gutter away and bring it back.
TEST_F(GuiTest, TheGutterFoldsByClicksAndNumbersWhatIsShown) {
    std::string text;
    for (int i = 1; i <= 30; ++i)
        text += "let v" + std::to_string(i) + " = " + std::to_string(i) + ";\n";
    text += "function total(items) {\n  let sum = 0;\n  for (const item of items) {\n"
            "    sum += item;\n  }\n  return sum;\n}\n";
    for (int i = 1; i <= 30; ++i)
        text += "console.log(total([" + std::to_string(i) + "]));\n";
    HVDocumentWindow* window = open(dir.write("app.js", text));
    window->resize(600, 400);
    HVEditorWidget* editor = window->activeEditor();
    HVLineNumberingRulerWidget* gutter = editor->gutter();
    ASSERT_NE(gutter, nullptr);
    EXPECT_EQ(gutter->width(), 40);
    EXPECT_EQ(editor->viewport()->x() - gutter->x(), 40) << "the text starts right of it";
    HTMLView& view = *editor->foldingView();
    const std::u16string original(view.string());
    // Line 29 on top, the caret far below; line 31 opens the function.
    editor->view()->setSelectedRange({original.size(), 0});
    editor->verticalScrollBar()->setValue(28);
    const std::size_t top = editor->topUnit();
    ASSERT_EQ(top, 28u);
    auto rows = [&] {
        gutter->repaint();
        return gutter->lastPaintRows().mid(0, 5).join("|").toStdString();
    };
    ASSERT_TRUE(HVWaitFor([&] { return rows() == "29|30|31 marker-open|32|33 marker-open"; }))
        << rows();
    const double lineHeight = editor->display().lineHeight();
    auto rowCentre = [&](int row) { return int((row + 0.5) * lineHeight); };

    // A click in the marker column folds.
    QTest::mouseClick(gutter, Qt::LeftButton, {}, QPoint(gutter->width() - 10, rowCentre(2)));
    const std::u16string collapsed(view.string());
    EXPECT_NE(collapsed, original);
    EXPECT_EQ(view.textStorage().fullString({0, view.textStorage().length()}), original);
    EXPECT_EQ(rows(), "29|30|31 marker-closed|38|39");
    EXPECT_EQ(editor->topUnit(), top);

    // The region's box in the text expands on a double click.
    std::size_t box = collapsed.find(u'\uFFFC');
    ASSERT_NE(box, std::u16string::npos);
    view.setSelectedRange({box, 0});
    QPoint inBox = editor->caretRect().center() + QPoint(int(lineHeight / 2), 0);
    QTest::mouseDClick(editor->viewport(), Qt::LeftButton, {}, inBox);
    EXPECT_EQ(view.string(), original);
    EXPECT_EQ(editor->topUnit(), top);
    editor->runCommand("undo:");
    EXPECT_EQ(view.string(), collapsed) << "the double click was one undo step";

    // And so does a click on the collapsed marker.
    QTest::mouseClick(gutter, Qt::LeftButton, {}, QPoint(gutter->width() - 10, rowCentre(2)));
    EXPECT_EQ(view.string(), original);
    EXPECT_EQ(editor->topUnit(), top);
    EXPECT_EQ(rows(), "29|30|31 marker-open|32|33 marker-open");
    // A click on the numbers selects the line.
    editor->verticalScrollBar()->setValue(28);
    QTest::mouseClick(gutter, Qt::LeftButton, {}, QPoint(5, rowCentre(1)));
    EXPECT_EQ(view.selectedRange(),
              view.textStorage().lineRangeForIndex(view.textStorage().rangeOfLine(29).location));

    // The menu's commands fold the front editor.
    QMenu* viewMenu = HVMenuTitled(window, "&View");
    emit viewMenu->aboutToShow();
    HVActionTitled(viewMenu, "Collapse All")->trigger();
    EXPECT_EQ(rows(), "29|30|31 marker-closed|38|39");
    HVActionTitled(viewMenu, "Expand All")->trigger();
    EXPECT_EQ(view.string(), original);
    editor->verticalScrollBar()->setValue(28);

    // Without numbers the markers stay; without either the gutter takes no room.
    QAction* numbers = HVActionTitled(viewMenu, "Line Numbers");
    QAction* folding = HVActionTitled(viewMenu, "Code Folding");
    numbers->trigger();
    EXPECT_EQ(gutter->width(), 40);
    EXPECT_EQ(rows(), "|| marker-open|| marker-open");
    folding->trigger();
    QApplication::processEvents();
    EXPECT_EQ(editor->viewport()->x(), editor->frameWidth());
    EXPECT_FALSE(gutter->isVisible());
    numbers->trigger();
    EXPECT_EQ(gutter->width(), 40);
    EXPECT_EQ(rows(), "29|30|31|32|33");
    folding->trigger();
}

TEST_F(GuiTest, ChoosingAThemeInTheViewMenuRecoloursOpenEditors) {
    auto& repository = HVThemeRepository::sharedRepository();
    repository.reset();
    // A theme of the user's, beside the shipped ones.
    std::shared_ptr<HVTheme> dark;
    for (const auto& theme : repository.themes()) {
        if (theme->title() == "Dark")
            dark = theme;
    }
    ASSERT_NE(dark, nullptr);
    std::shared_ptr<HVTheme> mine = repository.duplicateTheme(*dark);
    mine->setBackgroundColor(HVColor{0.5, 0.25, 0, 1});

    HVDocumentWindow* window = open(dir.write("a.txt", "one\n"));
    HVEditorWidget* editor = window->activeEditor();
    QMenu* themeMenu = HVMenuTitled(window, "Theme");
    QStringList titles = titlesAndChecked(themeMenu).first;
    EXPECT_TRUE(titles.contains(QString::fromStdString(mine->title())))
        << titles.join(", ").toStdString();
    EXPECT_EQ(titles.size(), int(repository.countOfThemes()));

    for (const std::shared_ptr<HVTheme>& theme : {dark, mine}) {
        QString title = QString::fromStdString(theme->title());
        EXPECT_EQ(countNotifications("HalvetHighlightingPrefsChange",
                                     [&] { HVActionTitled(themeMenu, title)->trigger(); }),
                  1);
        EXPECT_EQ(repository.currentTheme(), theme);
        EXPECT_EQ(editor->backgroundColor(), qColor(theme->backgroundColor()));
        EXPECT_EQ(editor->textColor(), qColor(theme->textColor()));
        EXPECT_EQ(editor->selectionColor(), qColor(theme->selectionColor()));
        EXPECT_EQ(editor->caretColor(), qColor(theme->insertionPointColor()));
        EXPECT_EQ(editor->invisiblesColor(), qColor(theme->invisiblesColor()));
        EXPECT_EQ(titlesAndChecked(themeMenu).second, QStringList{title});
    }
    // The picture follows.
    QImage image = editor->viewport()->grab().toImage();
    EXPECT_EQ(image.pixelColor(image.width() - 2, image.height() - 2), QColor(128, 64, 0));
    repository.reset();
}

// Highlighting as the window shows it.

namespace {

// The style id of the run at index ("" for plain text).
std::string styleAt(const HVTextBuffer& text, std::size_t index) {
    const HVAttributeValue* value = text.attributesAtIndex(index)->value(HVStyleAttribute);
    const std::string* style = value ? std::get_if<std::string>(value) : nullptr;
    return style ? *style : std::string();
}

QColor foregroundAt(const HVTextBuffer& text, std::size_t index) {
    const HVColor* color = text.attributesAtIndex(index)->color(HVForegroundColorAttribute);
    return color ? qColor(*color) : QColor();
}

// The lines whose first unit is on the screen.
std::vector<std::size_t> visibleLines(const HVEditorWidget& editor) {
    std::vector<std::size_t> lines;
    for (const auto& visible : editor.display().visibleUnits()) {
        if (visible.unit.segment == 0 && visible.y >= 0)
            lines.push_back(visible.unit.line);
    }
    return lines;
}

int pixelsNear(const QImage& image, const QColor& color) {
    return HVPixelsNear(image, color, 24);
}

// A picture of a line's row as the viewport draws it (empty when it is not shown).
QImage pictureOfLine(HVEditorWidget& editor, std::size_t line) {
    QImage image = editor.viewport()->grab().toImage();
    for (const auto& visible : editor.display().visibleUnits()) {
        if (visible.unit.line == line)
            return image.copy(0, int(visible.y), image.width(), int(editor.display().lineHeight()));
    }
    return {};
}

} // namespace

TEST_F(GuiTest, TypingACommentOpenerColoursTheLinesBelowUntilItsCloserIsTyped) {
    std::string code;
    for (int i = 0; i < 40; ++i)
        code +=
            "const value" + std::to_string(i) + " = compute('text', " + std::to_string(i) + ");\n";
    HVDocumentWindow* window = open(dir.write("code.js", code));
    HVEditorWidget* editor = window->activeEditor();
    const HVTextBuffer& text = editor->view()->textStorage();
    auto lineStart = [&](std::size_t line) { return text.rangeOfLine(line).location; };
    const std::size_t probe = 12;
    ASSERT_EQ(styleAt(text, lineStart(probe)), "storage.type.js");
    QColor codeColor = foregroundAt(text, lineStart(probe));
    QImage asCode = pictureOfLine(*editor, probe);
    int codePixels = pixelsNear(asCode, codeColor);
    EXPECT_GT(codePixels, 20);

    pressInto(window, Qt::Key_Home, Qt::ControlModifier);
    pressInto(window, Qt::Key_Down);
    typeInto(window, "/*");
    ASSERT_EQ(text.substring({lineStart(1), 7}), u"/*const");
    ASSERT_GT(visibleLines(*editor).size(), probe + 2);
    EXPECT_EQ(styleAt(text, lineStart(probe)).rfind("comment", 0), 0u);
    QColor commentColor = foregroundAt(text, lineStart(probe));
    ASSERT_NE(commentColor, codeColor);
    // The picture shows the comment where the code was.
    QImage asComment = pictureOfLine(*editor, probe);
    int commentPixels = pixelsNear(asComment, commentColor);
    EXPECT_GT(commentPixels, pixelsNear(asCode, commentColor) + 20);

    // The closer at the start of line 6: what follows is code again.
    for (int i = 0; i < 4; ++i)
        pressInto(window, Qt::Key_Down);
    pressInto(window, Qt::Key_Home);
    typeInto(window, "*/");
    ASSERT_EQ(text.substring({lineStart(5), 7}), u"*/const");
    EXPECT_EQ(styleAt(text, lineStart(4)).rfind("comment", 0), 0u);
    EXPECT_EQ(styleAt(text, lineStart(probe)), "storage.type.js");
    QImage again = pictureOfLine(*editor, probe);
    EXPECT_EQ(pixelsNear(again, codeColor), codePixels);
    EXPECT_EQ(pixelsNear(again, commentColor), pixelsNear(asCode, commentColor));
}

TEST_F(GuiTest, JumpingFarIntoABigFileShowsColoursBeforeIdleTimeGetsThere) {
    std::string code;
    for (int i = 0; i < 60000; ++i)
        code += "const item" + std::to_string(i) + " = compute(" + std::to_string(i) + ");\n";
    HVDocumentWindow* window = open(dir.write("big.js", code), false);
    HVEditorWidget* editor = window->activeEditor();
    auto* view = dynamic_cast<HVSyntaxHighlightingTextView*>(editor->view());
    ASSERT_NE(view, nullptr);
    const HVTextBuffer& text = view->textStorage();
    auto lineStart = [&](std::size_t line) { return text.rangeOfLine(line).location; };
    QColor codeColor = foregroundAt(text, lineStart(0));
    ASSERT_TRUE(codeColor.isValid());
    ASSERT_NE(codeColor, editor->textColor());
    const std::size_t far = 40000;
    // Idle slices have not got there: the lines are plain text until shown.
    ASSERT_TRUE(view->hasPendingHighlighting());
    ASSERT_EQ(styleAt(text, lineStart(far)), "");

    // As dragging the scroll bar's thumb does, with no idle time after it.
    editor->verticalScrollBar()->setValue(int(far));
    ASSERT_EQ(editor->topUnit(), far);
    std::vector<std::size_t> lines = visibleLines(*editor);
    ASSERT_GT(lines.size(), 10u);
    for (std::size_t line : lines)
        EXPECT_EQ(styleAt(text, lineStart(line)), "storage.type.js") << "line " << line;
    EXPECT_GT(pixelsNear(pictureOfLine(*editor, far + 3), codeColor), 20);
}

TEST_F(GuiTest, TheLanguageMenuRecoloursTheText) {
    std::string path = dir.write("page.html", "<p>hello</p>\nvar total = 1;\n");
    HVDocumentWindow* window = open(path);
    HVStatusBarWidget* bar = window->statusBarWidget();
    EXPECT_EQ(bar->languageText(), "HTML");
    QMenu* menu = bar->languageButton()->menu();
    ASSERT_NE(menu, nullptr);
    auto [titles, checked] = titlesAndChecked(menu);
    EXPECT_TRUE(titles.contains("JavaScript")) << titles.join(", ").toStdString();
    EXPECT_TRUE(titles.contains("CSS"));
    EXPECT_EQ(checked, QStringList{"HTML"});
    QStringList sorted = titles;
    std::sort(sorted.begin(), sorted.end(), [](const QString& a, const QString& b) {
        return a.compare(b, Qt::CaseInsensitive) < 0;
    });
    EXPECT_EQ(titles, sorted);

    const HVTextBuffer& text = window->activeEditor()->view()->textStorage();
    std::size_t var = text.rangeOfLine(1).location;
    EXPECT_EQ(styleAt(text, var), "");
    HVActionTitled(menu, "JavaScript")->trigger();
    EXPECT_EQ(bar->languageText(), "JavaScript");
    EXPECT_EQ(styleAt(text, var), "storage.type.js");
    EXPECT_EQ(titlesAndChecked(menu).second, QStringList{"JavaScript"});
}

// A damaged symbol index costs the user a warning in the status bar, not an alert, and
// completion goes on without it while it is rebuilt.
TEST_F(GuiTest, ADamagedIndexIsAWarningInTheStatusBar) {
    HVDocumentWindow* window = open(dir.write("page.php", "<?php\n"));
    std::string database = dir.write("index.db", std::string(8192, 'x'));
    HVCodeIndex index(database);
    app->reportProblems(index);
    index.start();
    EXPECT_TRUE(index.waitUntilIdle(20));
    EXPECT_TRUE(HVWaitFor([&] { return !window->statusBarWidget()->currentMessage().isEmpty(); }));
    EXPECT_EQ(window->statusBarWidget()->currentMessage(),
              QString::fromUtf8("\u26A0 The symbol index was damaged and is being rebuilt."));
    EXPECT_TRUE(HVFileSystem::exists(database + ".damaged"));
    EXPECT_TRUE(index.hasDatabase());
    index.stop();
}
