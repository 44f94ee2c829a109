// The editing commands as the window offers them: menus, panels, the function menu, printing,
// drops, and preferences that reach every open editor.

#include "HVError.h"
#include "HVFindPanel.h"
#include "HVLineNumberingRulerView.h"
#include "HVNotificationCenter.h"
#include "HVPreferences.h"
#include "HVSearchController.h"
#include "HVStatusBarWidget.h"
#include "HVUndoManager.h"
#include "HVWindowTest.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QPrinter>
#include <QToolButton>
#include <cstdio>

namespace {

std::u16string selectedFullText(HTMLView& view) {
    return view.textStorage().fullString(view.selectedRange());
}

QAction* actionNamed(HVDocumentWindow* window, const QString& name) {
    for (QAction* action : window->menuBar()->findChildren<QAction*>()) {
        if (action->objectName() == name)
            return action;
    }
    return nullptr;
}

class WindowCommands : public HVWindowTest {
protected:
    static void collapseLine(HTMLView& view, std::size_t line) {
        view.rulerView().updateMarkers();
        ASSERT_TRUE(
            view.rulerView().toggleMarker(view.textStorage().rangeOfLine(line - 1).location))
            << "line " << line;
    }
};

TEST_F(WindowCommands, TheFunctionMenuListsTheLandmarksAndShowsTheChosenOneInsideAFold) {
    HVDocumentWindow* window =
        open(dir.write("app.js", "class Cart {\n}\nfunction outer() {\n  function inner() {\n"
                                 "  }\n}\n"));
    HTMLView& view = *window->activeHTMLView();
    collapseLine(view, 3);
    ASSERT_EQ(view.textStorage().string().find(u"inner"), std::u16string::npos);

    QMenu* menu = window->functionMenu();
    emit menu->aboutToShow();
    std::vector<QString> titles;
    for (QAction* action : menu->actions())
        titles.push_back(action->isSeparator() ? QStringLiteral("-") : action->text());
    ASSERT_EQ(titles, (std::vector<QString>{"Cart", "outer()", "inner()"}));
    EXPECT_TRUE(menu->actions().at(0)->font().bold()) << "classes are bold in the bundle";
    EXPECT_FALSE(menu->actions().at(1)->font().bold());

    menu->actions().at(2)->trigger();
    EXPECT_EQ(selectedFullText(view), u"  function inner(") << "the whole match";
    EXPECT_NE(view.textStorage().string().find(u"inner"), std::u16string::npos)
        << "the region around the place opened";
}

TEST_F(WindowCommands, TheGoToLinePanelStartsAtTheCaretsLineAndGoesToTheTypedOne) {
    HVDocumentWindow* window = open(dir.write("lines.txt", "one\ntwo\nthree\nfour\n"));
    HTMLView& view = *window->activeHTMLView();
    view.setSelectedRange({5, 0});
    QDialog* panel = window->showGotoLinePanel();
    ASSERT_NE(panel, nullptr);
    auto* field = panel->findChild<QLineEdit*>("gotoLineField");
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(field->text(), "2");
    field->setText("3");
    panel->accept();
    EXPECT_EQ(selectedFullText(view), u"three\n");
    EXPECT_EQ(window->statusBarWidget()->positionText(), "Line 3, Column 1")
        << "the selected line, not the next one where the selection ends";
}

TEST_F(WindowCommands, EditorPreferencesReachEveryEditorOfEveryWindow) {
    open(dir.write("a.html", "<p>\ta</p>\n"));
    open(dir.write("b.css", "p {\n\tcolor: red;\n}\n"));
    std::vector<HVEditorWidget*> editors;
    for (const auto& window : app->windows())
        editors.push_back(window->activeEditor());
    ASSERT_EQ(editors.size(), 2u);

    auto& store = HVPreferences::sharedInstance();
    store.setObject("HVTabSizeKey", HVPlistValue(std::int64_t(7)));
    Defaults::setDefaultFont({"DejaVu Sans Mono", 17.0});
    HVNotificationCenter::defaultCenter().postNotificationName("HalvetEditorPrefsChange");
    for (HVEditorWidget* editor : editors) {
        EXPECT_EQ(editor->tabWidth(), 7);
        EXPECT_EQ(editor->view()->tabWidth(), 7u) << "the model's indent width too";
        EXPECT_EQ(editor->editorFont().family(), "DejaVu Sans Mono");
        EXPECT_EQ(editor->editorFont().pointSizeF(), 17.0);
    }
}

TEST_F(WindowCommands, PrintingWritesTheHiddenTextOfACollapsedRegionAndLeavesTheFoldAlone) {
    HVDocumentWindow* window =
        open(dir.write("print.js", "function shown() {\n  hiddenBody(42);\n}\nafterwards();\n"));
    HTMLView& view = *window->activeHTMLView();
    collapseLine(view, 1);
    const std::u16string folded(view.textStorage().string());
    ASSERT_EQ(folded.find(u"hiddenBody"), std::u16string::npos);

    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    std::string pdf = dir.pathFor("out.pdf");
    printer.setOutputFileName(QString::fromStdString(pdf));
    window->printActiveDocument(printer);
    EXPECT_EQ(view.textStorage().string(), folded);

    // The words as a PDF reader finds them (poppler's pdftotext, from scripts/install-deps).
    std::string command = "pdftotext '" + pdf + "' -";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string text;
    char buffer[4096];
    while (std::size_t n = fread(buffer, 1, sizeof buffer, pipe))
        text.append(buffer, n);
    EXPECT_EQ(pclose(pipe), 0) << "is pdftotext installed?";
    EXPECT_NE(text.find("function shown() {"), std::string::npos) << text;
    EXPECT_NE(text.find("hiddenBody(42);"), std::string::npos) << text;
    EXPECT_NE(text.find("afterwards();"), std::string::npos) << text;
}

TEST_F(WindowCommands, ADroppedColourGoesInAsUpperCaseHexAtTheDropPointAsOneUndoStep) {
    HVDocumentWindow* window = open(dir.write("style.css", "p { color: ; }\n"));
    HVEditorWidget* editor = window->activeEditor();
    HTMLView& view = *editor->foldingView();
    view.setSelectedRange({11, 0});
    QPoint point = editor->caretRect().center();
    QMimeData data;
    data.setColorData(QColor(0xab, 0x12, 0xef));
    view.setSelectedRange({0, 0});
    QDragEnterEvent enter(point, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(editor->viewport(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(point), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(editor->viewport(), &drop);
    EXPECT_EQ(view.textStorage().string(), u"p { color: #AB12EF; }\n");
    editor->runCommand("undo:");
    EXPECT_EQ(view.textStorage().string(), u"p { color: ; }\n");
}

TEST_F(WindowCommands, TheWindowShowsEscapeModeAndErrorsOfItsEditors) {
    HVDocumentWindow* window = open(dir.write("page.html", "<p></p>\n"));
    HTMLView& view = *window->activeHTMLView();
    EXPECT_EQ(view.interfaceDelegate(), window);
    view.interfaceDelegate()->htmlViewIsEscaped(view, true);
    EXPECT_TRUE(window->statusBarWidget()->currentMessage().contains("Escape"));
    view.interfaceDelegate()->htmlViewIsEscaped(view, false);
    EXPECT_EQ(window->statusBarWidget()->currentMessage(), "");

    view.interfaceDelegate()->htmlViewHadError(
        view, HVError("com.ternwick.halvet.error", 8, "No match"), false);
    EXPECT_TRUE(window->statusBarWidget()->currentMessage().contains("No match"))
        << window->statusBarWidget()->currentMessage().toStdString();
    view.interfaceDelegate()->htmlViewHadError(
        view, HVError("com.ternwick.halvet.error", 9, "The disk is full"), true);
    EXPECT_TRUE(HVWaitFor([] { return HVVisibleAlert() != nullptr; }))
        << "a critical error is an alert";
}

TEST_F(WindowCommands, TheLineBreakMenusCheckTheTypeAndConvertAsOneUndoStep) {
    std::string path = dir.write("mixed.txt", "a\nb\r\nc\n");
    HVDocumentWindow* window = open(path);
    HVEditorWidget* editor = window->activeEditor();
    HVStatusBarWidget* bar = window->statusBarWidget();
    EXPECT_EQ(bar->lineBreakText(), "Mixed");
    QMenu* barMenu = bar->lineBreakButton()->menu();
    ASSERT_NE(barMenu, nullptr);
    barMenu->actions().at(2)->trigger(); // DOS
    EXPECT_EQ(bar->lineBreakText(), "CRLF");

    QMenu* menu = window->menuBar()->findChild<QMenu*>("lineBreaksMenu");
    ASSERT_NE(menu, nullptr);
    emit menu->aboutToShow();
    ASSERT_EQ(menu->actions().size(), 3);
    EXPECT_TRUE(menu->actions().at(2)->isChecked()) << "DOS";
    menu->actions().at(0)->trigger();
    EXPECT_EQ(editor->view()->textStorage().string(), u"a\nb\nc\n");
    emit menu->aboutToShow();
    EXPECT_TRUE(menu->actions().at(0)->isChecked());
    EXPECT_EQ(bar->lineBreakText(), "LF");
    editor->runCommand("undo:");
    EXPECT_EQ(editor->view()->textStorage().string(), u"a\r\nb\r\nc\r\n");
    EXPECT_EQ(bar->lineBreakText(), "CRLF");
    QTest::keyClick(editor, Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(HVReadFile(path), "a\r\nb\r\nc\r\n");
}

// The tests below need the editor's typing, markup and finding commands.

TEST_F(WindowCommands, TheContextMenuIndentsAndOutdentsTheSelectedLines) {
    HVDocumentWindow* window = open(dir.write("block.html", "<p>\none\ntwo\n</p>\n"));
    HVEditorWidget* editor = window->activeEditor();
    HTMLView& view = *editor->foldingView();
    view.setSelectedRange({4, 7});
    std::unique_ptr<QMenu> menu(editor->createContextMenu(nullptr));
    QAction* indent = HVActionTitled(menu.get(), "Indent Block");
    QAction* outdent = HVActionTitled(menu.get(), "Outdent Block");
    indent->trigger();
    EXPECT_EQ(view.textStorage().string(), u"<p>\n\tone\n\ttwo\n</p>\n");
    outdent->trigger();
    EXPECT_EQ(view.textStorage().string(), u"<p>\none\ntwo\n</p>\n");
}

TEST_F(WindowCommands, TypingMarkupCompletesBlockTagsOnTheirOwnLinesAndInlineTagsAtOnce) {
    HVPreferences::sharedInstance().setObject("HVAutoComplete", HVPlistValue(true));
    HVDocumentWindow* window = open(dir.write("typed.html", ""));
    HVEditorWidget* editor = window->activeEditor();
    // "ul" is a block element: its closing tag goes on a line of its own, the caret on an
    // indented line between; "li" and "b" are inline: their closing tags follow at once.
    for (QChar c : QStringLiteral("<ul><li><b>bold"))
        QTest::keyClick(editor, c.toLatin1());
    QApplication::processEvents();
    EXPECT_EQ(editor->view()->textStorage().string(), u"<ul>\n\t<li><b>bold</b></li>\n</ul>");
}

TEST_F(WindowCommands, TheFindPanelFindsReplacesAndRemembersInTheActiveEditor) {
    HVDocumentWindow* window = open(dir.write("find.txt", "cat dog cat dog\n"));
    HTMLView& view = *window->activeHTMLView();
    HVFindPanel& panel = HVFindPanel::shared();
    actionNamed(window, "singleFileFind:")->trigger();
    EXPECT_TRUE(panel.isVisible());
    EXPECT_EQ(HTMLView::findPanelTarget(), &view);
    panel.searchField()->setEditText("dog");
    panel.replaceField()->setEditText("emu");
    panel.findNext();
    EXPECT_EQ(view.selectedRange(), (HVRange{4, 3}));
    auto searches = HVSearchController::sharedFind().history("HVSearchHistory");
    ASSERT_FALSE(searches.empty()) << "a find remembers its search";
    EXPECT_EQ(searches.front(), u"dog");
    panel.replaceAll();
    EXPECT_EQ(view.textStorage().string(), u"cat emu cat emu\n");
    EXPECT_EQ(panel.statusLabel()->text(), "Replaced 2");

    panel.regularExpressionBox()->setChecked(true);
    panel.searchField()->setEditText("ca(t");
    panel.findNext();
    EXPECT_TRUE(panel.statusLabel()->text().contains("Invalid")) << "the reason and where";
    panel.hide();
}

TEST_F(WindowCommands, WhenItsEditorClosesTheFindPanelTurnsToTheFrontEditorOrDisablesItself) {
    HVDocumentWindow* first = open(dir.write("first.txt", "one\n"));
    HVDocumentWindow* second = open(dir.write("second.txt", "two\n"));
    ASSERT_NE(first, second);
    HTMLView* firstView = first->activeHTMLView();
    HVFindPanel& panel = HVFindPanel::shared();
    actionNamed(second, "singleFileFind:")->trigger();
    EXPECT_EQ(HTMLView::findPanelTarget(), second->activeHTMLView());
    EXPECT_TRUE(panel.commandsEnabled());

    second->close();
    EXPECT_TRUE(HVWaitFor([&] { return app->windows().size() == 1; }));
    EXPECT_EQ(HTMLView::findPanelTarget(), firstView);
    EXPECT_TRUE(panel.commandsEnabled());
    first->close();
    EXPECT_TRUE(HVWaitFor([&] { return app->windows().empty(); }));
    EXPECT_EQ(HTMLView::findPanelTarget(), nullptr);
    EXPECT_FALSE(panel.commandsEnabled());
    panel.hide();
}

TEST_F(WindowCommands, SpecialCharactersComeInGroupsAndInsertTheirEntity) {
    HVDocumentWindow* window = open(dir.write("chars.html", "caf\n"));
    HTMLView& view = *window->activeHTMLView();
    view.setSelectedRange({3, 0});
    auto* menu = window->menuBar()->findChild<QMenu*>("specialCharactersMenu");
    ASSERT_NE(menu, nullptr);
    emit menu->aboutToShow();
    QStringList groups;
    QAction* eacute = nullptr;
    for (QAction* group : menu->actions()) {
        groups << group->text();
        for (QAction* item : group->menu()->actions()) {
            if (item->text() == QString::fromUtf8("\u00e9  &&eacute;"))
                eacute = item;
        }
    }
    EXPECT_EQ(groups.size(), 7) << groups.join(", ").toStdString();
    EXPECT_EQ(groups.value(0), "Accents");
    ASSERT_NE(eacute, nullptr) << "the character, then its entity with its & kept";
    eacute->trigger();
    EXPECT_EQ(view.textStorage().string(), u"caf&eacute;\n");
    EXPECT_EQ(view.undoManager().undoActionName(), "Insert Character Entity");
}

TEST_F(WindowCommands, AClosingBracketFlashesItsMatchAndADoubleClickAfterOneSelectsThroughIt) {
    HVDocumentWindow* window = open(dir.write("brackets.js", "f(a, b) c\n"));
    HVEditorWidget* editor = window->activeEditor();
    HTMLView& view = *window->activeHTMLView();
    auto selectionPixels = [&] {
        return HVPixelsNear(editor->viewport()->grab().toImage(), editor->selectionColor(), 12);
    };
    auto centreOf = [&](std::size_t index) {
        editor->view()->setSelectedRange({index, 0});
        QRect caret = editor->caretRect();
        editor->view()->setSelectedRange({index + 1, 0});
        return QPoint((caret.left() + editor->caretRect().left()) / 2, caret.center().y());
    };

    view.setSelectedRange({2, 0});
    QPoint afterBracket = editor->caretRect().center() + QPoint(1, 0);
    QTest::mouseDClick(editor->viewport(), Qt::LeftButton, {}, afterBracket);
    EXPECT_EQ(view.selectedRange(), (HVRange{1, 6})) << "from the bracket through its match";
    QTest::qWait(QApplication::doubleClickInterval() + 50); // not a triple click
    QTest::mouseDClick(editor->viewport(), Qt::LeftButton, {}, centreOf(8));
    EXPECT_EQ(view.selectedRange(), (HVRange{8, 1})) << "elsewhere a word";

    view.setSelectedRange({10, 0});
    QTest::keyClicks(editor, "(");
    int before = selectionPixels();
    QTest::keyClicks(editor, ")");
    EXPECT_EQ(editor->flashedRange(), (HVRange{10, 1}));
    EXPECT_GT(selectionPixels(), before + 20) << "the open bracket drawn as selected";
    EXPECT_TRUE(HVWaitFor([&] { return !HVRangeIsFound(editor->flashedRange()); }));
    EXPECT_EQ(selectionPixels(), before);
}

TEST_F(WindowCommands, QuickSearchFindsAsTheUserTypesAndReturnGoesOn) {
    HVDocumentWindow* window = open(dir.write("quick.txt", "Alpha beta ALPHA gamma alpha\n"));
    HTMLView& view = *window->activeHTMLView();
    view.setSelectedRange({2, 0});
    actionNamed(window, "quickSearch:")->trigger();
    QLineEdit* field = window->quickSearchField();
    EXPECT_TRUE(HVWaitFor([&] { return field->hasFocus(); }));
    QTest::keyClicks(field, "alp");
    EXPECT_EQ(view.selectedRange(), (HVRange{11, 3})) << "from the selection's start, any case";
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(view.selectedRange(), (HVRange{23, 3}));
    QTest::keyClick(field, Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_EQ(view.selectedRange(), (HVRange{11, 3})) << "Shift goes backwards";
    QTest::keyClick(field, Qt::Key_Escape);
    EXPECT_TRUE(HVWaitFor([&] { return window->activeEditor()->hasFocus(); }));
}

TEST_F(WindowCommands, UndoAndRedoTakeTheirTitlesFromTheEditor) {
    HVDocumentWindow* window = open(dir.write("undo.html", "one\n"));
    HVEditorWidget* editor = window->activeEditor();
    editor->view()->setSelectedRange({0, 3});
    actionNamed(window, "formatText:4")->trigger();
    EXPECT_EQ(editor->view()->textStorage().string(), u"<strong>one</strong>\n");
    QMenu* edit = HVMenuTitled(window, "&Edit");
    emit edit->aboutToShow();
    EXPECT_EQ(actionNamed(window, "undo")->text(), "Undo Format Text");
    EXPECT_TRUE(actionNamed(window, "undo")->isEnabled());
    EXPECT_FALSE(actionNamed(window, "redo")->isEnabled());
}

} // namespace
