// Drives the real editor through its main scenes and saves a picture of each, for a person to
// look at: scripts/screenshot runs it under Xvfb.

#include "HTMLView.h"
#include "HVApplicationController.h"
#include "HVCodeIndex.h"
#include "HVCredentialsController.h"
#include "HVDocumentController.h"
#include "HVDocumentWindow.h"
#include "HVEditorWidget.h"
#include "HVFile.h"
#include "HVFileDocument.h"
#include "HVFileTreeModel.h"
#include "HVFindPanel.h"
#include "HVLineNumberingRulerWidget.h"
#include "HVMultiFileDocument.h"
#include "HVMultiFileSearchController.h"
#include "HVMultiFileSearchWindow.h"
#include "HVMultiFileWindowController.h"
#include "HVPreferences.h"
#include "HVProject.h"
#include "HVProjectDocument.h"
#include "HVProjectRepository.h"
#include "HVProjectSettings.h"
#include "HVProjectSettingsController.h"
#include "HVProjectTreeView.h"
#include "HVProjectWindowController.h"
#include "HVRemoteFile.h"
#include "HVRemoteFileRepresentation.h"
#include "HVRemoteLogController.h"
#include "HVRemoteLogWindow.h"
#include "HVRootFile.h"
#include "HVStatusBarWidget.h"
#include "HVTextBuffer.h"
#include "HVTextDisplayModel.h"
#include "HVTextViewModel.h"
#include "HVUploadList.h"
#include "HVUploadListWindow.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <cstdio>
#include <sys/stat.h>

namespace {

void settle(int milliseconds = 150) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < milliseconds)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
}

bool save(QWidget* widget, const QString& directory, const QString& name) {
    settle();
    // The whole screen, so that sheets and dialogs (windows of their own) are in the picture.
    QPixmap picture = QGuiApplication::primaryScreen()->grabWindow(0);
    if (picture.isNull())
        picture = widget->window()->grab();
    QString path = directory + "/" + name + ".png";
    bool ok = picture.save(path);
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
    return ok;
}

void writeFile(const QString& path, const char* text) {
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(text);
}

// Closes every alert as a user closing its window would (which answers "Cancel").
void dismissAlerts() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible())
            box->reject();
    }
    settle();
}

// Triggers a menu item of the window as a click on it would.
bool triggerMenuItem(QWidget* window, const QString& menuTitle, const QString& itemTitle) {
    for (QMenu* menu : window->findChildren<QMenu*>()) {
        if (menu->title() != menuTitle)
            continue;
        emit menu->aboutToShow();
        for (QAction* action : menu->actions()) {
            if (action->text() == itemTitle) {
                action->trigger();
                return true;
            }
        }
    }
    std::fprintf(stderr, "no item %s in menu %s\n", qPrintable(itemTitle), qPrintable(menuTitle));
    return false;
}

// A page with a style sheet and a script inside it: three languages in one text.
const char kEmbeddedPage[] = R"(<!DOCTYPE html>
<html lang="en">
<head>
  <meta charset="utf-8">
  <title>Order summary</title>
  <style>
    /* Cards line up in a grid. */
    .card { display: grid; margin: 0 auto; color: #334455; }
    .card:hover { border: 1px solid rgba(0, 0, 0, 0.2); }
    @media (max-width: 600px) { .card { margin: 4px; } }
  </style>
</head>
<body class="summary">
  <!-- The total is filled in by the script. -->
  <p id="total" data-currency="EUR">Total: &euro; 0.00</p>
  <script>
    // Adds up the prices of the items in the cart.
    function total(items) {
      let sum = 0;
	for (const item of items) { sum += item.price * item.count; }
      return sum.toFixed(2) + " EUR";
    }
    document.getElementById('total').textContent = total([{ price: 9.5, count: 2 }]);
  </script>
</body>
</html>
)";

// A script with blocks inside blocks, for the gutter's fold markers.
const char kNestedScript[] = R"(// Cart totals for the order page.
const cart = {
  items: [],
  add(item) {
    if (item.count > 0) {
      this.items.push(item);
    } else {
      console.warn("An item without a count is left out of the cart, so the total shown on the page does not change:", item);
    }
  },
  total() {
    let sum = 0;
    for (const item of this.items) {
      sum += item.price * item.count;
    }
    return sum.toFixed(2);
  },
};

function render(target) {
  target.textContent = cart.total() + " EUR";
}
)";

// The transcript named by HALVET_SCREENSHOT_TRANSCRIPT, or one recorded with
// `halvet-cli remote --log` from a real sftp session against the test servers in which one
// download was refused.
std::string screenshotTranscript() {
    QString path = qEnvironmentVariable("HALVET_SCREENSHOT_TRANSCRIPT");
    if (path.isEmpty())
        path = HALVET_SOURCE_TEST_DATA "/remote/sftp-session-with-a-failed-download.log";
    QFile file(path);
    if (file.open(QIODevice::ReadOnly))
        return file.readAll().toStdString();
    std::fprintf(stderr, "cannot read the transcript %s\n", qPrintable(path));
    return {};
}

// The middle of the gutter's row for the line that holds the first match of the text: in the
// marker column or over the numbers.
QPoint gutterPoint(HVEditorWidget* editor, std::u16string_view match, bool markerColumn) {
    const auto& text = editor->view()->textStorage();
    std::size_t line = text.lineNumberForIndex(editor->view()->string().find(match));
    HVLineNumberingRulerWidget* gutter = editor->gutter();
    for (const auto& visible : editor->display().visibleUnits()) {
        if (visible.unit.line == line)
            return QPoint(markerColumn ? gutter->width() - 10 : 12,
                          int(visible.y + editor->display().lineHeight() / 2));
    }
    return QPoint(-1, -1);
}

// The pointer at a point of a widget, or a click there, as the window system delivers them.
void sendMouse(QWidget* widget, QEvent::Type type, QPoint at) {
    Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    Qt::MouseButtons held = type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton;
    QMouseEvent event(type, at, widget->mapToGlobal(at), button, held, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

void clickGutter(HVEditorWidget* editor, std::u16string_view match) {
    QPoint at = gutterPoint(editor, match, true);
    sendMouse(editor->gutter(), QEvent::MouseButtonPress, at);
    sendMouse(editor->gutter(), QEvent::MouseButtonRelease, at);
}

// Keys as the window system delivers them to the focused editor: each character, or a key.
void typeKeys(QWidget* editor, const QString& text) {
    for (QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(editor, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(editor, &release);
    }
    settle(50);
}

void pressKey(QWidget* editor, Qt::Key key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(editor, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(editor, &release);
    settle(50);
}

// A page with a form, a style sheet, and PHP that includes a library of its own.
const char kContactPage[] = R"(<!DOCTYPE html>
<html lang="en">
<head>
  <meta charset="utf-8">
  <title>Contact</title>
  <link rel="stylesheet" href="css/contact.css">
</head>
<body>
  <form action="send.php" method="post">
    <label for="email">E-mail</label>
    
  </form>
</body>
</html>
)";

const char kContactStyle[] = R"(/* The contact form. */
form {
  max-width: 32em;
  margin: 2em auto;
}

label {
  
}
)";

const char kPriceLibrary[] = R"(<?php
// Prices as the shop shows them.
function format_price($amount, $currency)
{
    return number_format($amount, 2) . ' ' . $currency;
}

function format_discount($percent)
{
    return '-' . $percent . '%';
}
)";

const char kOrderPage[] = R"(<?php
include 'lib/prices.php';

$total = 19.5;
echo "<p>Total: " . 
)";

// The caret at the end of the first line that holds the text, the editor focused.
HVEditorWidget* editorAtLineOf(HVApplicationController& controller, const QString& path,
                               std::u16string_view text) {
    HVDocumentController::sharedController().openDocumentWithContentsOfFile(path.toStdString(),
                                                                            true);
    settle();
    HVDocumentWindow* window = controller.frontWindow();
    HVEditorWidget* editor = window ? window->activeEditor() : nullptr;
    if (!editor)
        return nullptr;
    window->activateWindow();
    editor->setFocus();
    std::size_t at = editor->view()->string().find(text);
    editor->view()->setSelectedRange({at == std::u16string_view::npos ? 0 : at, 0});
    editor->runCommand("moveToEndOfLine:");
    return editor;
}

// Completion: an HTML attribute's values, a CSS property's values, a PHP function from an
// included file that the index knows, and a call tip.
bool completionScenes(HVApplicationController& controller, const QString& site,
                      const QString& output) {
    bool ok = true;
    QString page = site + "/contact.html";
    writeFile(page, kContactPage);
    if (HVEditorWidget* editor = editorAtLineOf(controller, page, u"</label>\n    ")) {
        pressKey(editor, Qt::Key_Down);
        typeKeys(editor, "<input type=\"");
        ok = save(editor, output, "25-completion-html-value") && ok;
        pressKey(editor, Qt::Key_Escape);
        pressKey(editor, Qt::Key_Escape);
    } else {
        ok = false;
    }

    QString style = site + "/css/contact.css";
    writeFile(style, kContactStyle);
    if (HVEditorWidget* editor = editorAtLineOf(controller, style, u"label {")) {
        pressKey(editor, Qt::Key_Down);
        pressKey(editor, Qt::Key_End);
        typeKeys(editor, "disp");
        pressKey(editor, Qt::Key_Return);
        typeKeys(editor, "in");
        ok = save(editor, output, "26-completion-css-value") && ok;
        pressKey(editor, Qt::Key_Escape);
        pressKey(editor, Qt::Key_Escape);
    } else {
        ok = false;
    }

    // The library and the page that includes it, indexed as the program indexes a site.
    QDir(site).mkpath("lib");
    writeFile(site + "/lib/prices.php", kPriceLibrary);
    QString order = site + "/order.php";
    writeFile(order, kOrderPage);
    HVCodeIndex& index = HVCodeIndex::sharedIndex();
    index.start();
    index.indexFile((site + "/lib/prices.php").toStdString());
    index.indexFile(order.toStdString());
    if (!index.waitUntilIdle(30))
        std::fprintf(stderr, "the index did not finish\n");
    if (HVEditorWidget* editor = editorAtLineOf(controller, order, u"echo")) {
        typeKeys(editor, "form");
        pressKey(editor, Qt::Key_F5);
        ok = save(editor, output, "27-completion-php-included") && ok;
        pressKey(editor, Qt::Key_Down);
        pressKey(editor, Qt::Key_Return);
        // The first argument's placeholder is selected: typing replaces it, Tab goes on to the
        // next.
        typeKeys(editor, "$total");
        pressKey(editor, Qt::Key_Tab);
        typeKeys(editor, "'EUR'");
        pressKey(editor, Qt::Key_End);
        typeKeys(editor, ";");
        pressKey(editor, Qt::Key_Return);
        // The call tip of a standard function, at its second argument.
        typeKeys(editor, "$rounded = number_format($total, ");
        ok = save(editor, output, "28-call-tip") && ok;
    } else {
        ok = false;
    }
    return ok;
}

// Clicks the alert's button with this title; false when no alert offers it.
bool answerAlert(const QString& title) {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        if (!box || !box->isVisible())
            continue;
        for (QAbstractButton* button : box->buttons()) {
            if (button->text() == title) {
                button->click();
                settle();
                return true;
            }
        }
    }
    return false;
}

bool multiFileSearchScenes(HVApplicationController& controller, const QString& site,
                           const QString& output) {
    HVDocumentWindow* front = controller.frontWindow();
    if (!front || !triggerMenuItem(front, "F&ind", "&Multi-File Find…"))
        return false;
    HVMultiFileSearchWindow* search = controller.multiFileSearchWindow();
    if (!search)
        return false;
    search->resize(780, 560);
    search->move(160, 80);
    auto& model = search->model();

    // Enough pages that the search is still under way when the picture is taken.
    QString archive = site + "/archive";
    QDir().mkpath(archive);
    QByteArray filler;
    for (int line = 0; line < 300; ++line)
        filler += "<p>Archived order notes, kept for the accounts and nothing else.</p>\n";
    for (int i = 0; i < 2500; ++i) {
        QFile page(archive + QStringLiteral("/order-%1.html").arg(i, 4, 10, QLatin1Char('0')));
        if (!page.open(QIODevice::WriteOnly))
            return false;
        page.write("<h1>Order " + QByteArray::number(i) +
                   "</h1>\n<p class=\"total\">Total: 12.00 EUR</p>\n");
        page.write(filler);
        page.write("<p class=\"total\">Total due on delivery</p>\n");
    }
    model.setSpecificPaths({archive.toStdString()});
    model.setMode(HVMultiFileSearchController::Mode::SpecificFiles);
    search->scopePopup()->setCurrentIndex(int(model.mode()));
    search->searchField()->setEditText("total");
    search->replaceField()->setEditText("");
    settle();
    search->findButton()->click();
    QElapsedTimer timer;
    timer.start();
    while (model.searching() && model.nodes().size() < 12 && timer.elapsed() < 30000)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    // Long enough for the tree to lay out the rows that came, short of the search's end.
    QElapsedTimer layout;
    layout.start();
    while (model.searching() && layout.elapsed() < 60)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    // Taken without settling further: the search goes on meanwhile.
    bool during = model.searching() && !model.nodes().empty();
    QPixmap picture = QGuiApplication::primaryScreen()->grabWindow(0);
    bool ok = during && picture.save(output + "/29-multi-file-searching.png");
    std::printf("%s %s\n", ok ? "wrote" : "FAILED (the search was not under way)",
                qPrintable(output + "/29-multi-file-searching.png"));
    if (model.searching())
        search->findButton()->click();
    timer.restart();
    while (model.searching() && timer.elapsed() < 30000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);

    // A replace over the site's pages, one of them open in the editor, the link to another
    // page left out; then the new name found again.
    model.setSpecificPaths({(site + "/index.html").toStdString(),
                            (site + "/css/style.css").toStdString(),
                            (site + "/js/app.js").toStdString()});
    search->searchField()->setEditText("menu");
    search->replaceField()->setEditText("nav-menu");
    search->findButton()->click();
    timer.restart();
    while (model.searching() && timer.elapsed() < 30000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    QTreeWidget* tree = search->results();
    if (tree->topLevelItemCount() == 0 || tree->topLevelItem(0)->childCount() < 2)
        return false;
    tree->topLevelItem(0)->child(0)->setCheckState(0, Qt::Unchecked);
    search->replaceButton()->click();
    settle();
    ok = answerAlert("Replace") && ok;
    timer.restart();
    while (model.replacing() && timer.elapsed() < 30000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    search->searchField()->setEditText("nav-menu");
    search->findButton()->click();
    timer.restart();
    while (model.searching() && timer.elapsed() < 30000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    tree->setCurrentItem(tree->topLevelItem(0));
    ok = save(search, output, "30-multi-file-after-replace") && ok;
    search->close();
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationDisplayName("Halvet");
    QStringList arguments = QApplication::arguments();
    if (arguments.size() < 3) {
        std::fprintf(stderr, "usage: halvet-screenshots SAMPLE-SITE OUTPUT-DIR\n");
        return 2;
    }
    QString site = QDir(arguments[1]).absolutePath();
    QString output = QDir(arguments[2]).absolutePath();
    QDir().mkpath(output);

    auto controller = std::make_unique<HVApplicationController>();
    auto& documents = HVDocumentController::sharedController();
    HVPreferences::sharedInstance().setObject("HVHowToOpenFiles", 1);

    // One tab.
    documents.openDocumentWithContentsOfFile((site + "/index.html").toStdString(), true);
    HVDocumentWindow* window = controller->frontWindow();
    if (!window)
        return 1;
    window->resize(960, 620);
    window->move(40, 30);
    window->activateWindow();
    if (HVEditorWidget* editor = window->activeEditor()) {
        editor->setFocus();
        editor->view()->setSelectedRange({260, 0});
        editor->runCommand("moveToEndOfLine:");
    }
    bool ok = save(window, output, "1-one-tab");

    // Several tabs, one edited, with a selection.
    for (const char* name :
         {"css/style.css", "js/app.js", "legacy/menu-ru.html", "legacy/broken.txt"})
        documents.openDocumentWithContentsOfFile((site + "/" + name).toStdString(), true);
    auto* multi = dynamic_cast<HVMultiFileDocument*>(window->document());
    if (multi) {
        multi->windowController().selectTabAtIndex(2);
        if (HVEditorWidget* editor = window->activeEditor()) {
            editor->setFocus();
            editor->view()->setSelectedRange({editor->view()->string().size(), 0});
            editor->view()->insertText(u"\n// edited in Halvet\n");
            editor->view()->setSelectedRange({42, 120});
        }
    }
    ok = save(window, output, "2-several-tabs") && ok;

    // The fallback warning in the status bar.
    if (multi)
        multi->windowController().selectTabAtIndex(4);
    ok = save(window, output, "3-fallback-warning") && ok;

    // An alert with recovery options: reopening an edited file in another encoding.
    if (multi) {
        multi->windowController().selectTabAtIndex(3);
        HVFileDocument* russian = window->activeFileDocument();
        window->activeEditor()->view()->insertText(u"!");
        QTimer::singleShot(0, [russian] { russian->reopenUsingEncoding("koi8-r"); });
        settle(300);
        ok = save(window, output, "4-alert") && ok;
        dismissAlerts();
    }
    settle();

    // An image opens as a picture, with its size in the status bar.
    documents.openDocumentWithContentsOfFile((site + "/images/logo.png").toStdString(), true);
    ok = save(window, output, "5-image") && ok;

    // A file with mixed line breaks is left as it is; the status bar offers the three types.
    documents.openDocumentWithContentsOfFile((site + "/legacy/call-list.txt").toStdString(), true);
    settle();
    if (QToolButton* button = window->statusBarWidget()->lineBreakButton())
        button->menu()->popup(button->mapToGlobal(QPoint(0, -button->menu()->sizeHint().height())));
    ok = save(window, output, "6-mixed-line-breaks") && ok;
    if (QToolButton* button = window->statusBarWidget()->lineBreakButton())
        button->menu()->hide();

    // Saving over a file that another program changed asks first.
    QString scratch = QDir::tempPath() + "/halvet-screenshot-notes.txt";
    writeFile(scratch, "Shopping list\nflour\n");
    documents.openDocumentWithContentsOfFile(scratch.toStdString(), true);
    settle();
    writeFile(scratch, "Shopping list\nflour\nsugar (added elsewhere)\n");
    if (HVEditorWidget* editor = window->activeEditor())
        editor->view()->insertText(u"eggs\n");
    HVFileDocument* notes = window->activeFileDocument();
    QTimer::singleShot(0, [notes] { notes->saveDocument(); });
    settle(300);
    ok = save(window, output, "7-changed-on-disk") && ok;
    dismissAlerts();
    settle();
    QFile::remove(scratch);

    // A file that cannot be read opens nothing and says why.
    QString pipe = QDir::tempPath() + "/halvet-screenshot-pipe";
    QFile::remove(pipe);
    if (::mkfifo(pipe.toLocal8Bit().constData(), 0600) == 0) {
        QTimer::singleShot(0, [&controller, pipe] { controller->handleRequest({pipe}); });
        settle(300);
        ok = save(window, output, "8-unreadable") && ok;
        dismissAlerts();
        QFile::remove(pipe);
    }
    settle();

    // Embedded style sheet and script, in the light theme, with a selection in the script.
    QString page = site + "/order.html";
    writeFile(page, kEmbeddedPage);
    documents.openDocumentWithContentsOfFile(page.toStdString(), true);
    settle();
    HVEditorWidget* pageEditor = window->activeEditor();
    auto placeInScript = [&](bool select) {
        if (!pageEditor)
            return;
        pageEditor->setFocus();
        std::u16string_view text = pageEditor->view()->string();
        std::size_t at = text.find(u"let sum");
        pageEditor->view()->setSelectedRange({at, select ? std::size_t(11) : 0});
    };
    ok = triggerMenuItem(window, "Theme", "Light") && ok;
    placeInScript(true);
    ok = save(window, output, "9-embedded-light") && ok;

    // The same in the dark theme, with the caret in the script.
    ok = triggerMenuItem(window, "Theme", "Dark") && ok;
    placeInScript(false);
    ok = save(window, output, "10-embedded-dark") && ok;

    // And with spaces, tabs and line breaks shown.
    ok = triggerMenuItem(window, "Theme", "Light") && ok;
    ok = triggerMenuItem(window, "&View", "Show Invisibles") && ok;
    placeInScript(false);
    ok = save(window, output, "11-embedded-invisibles") && ok;
    ok = triggerMenuItem(window, "&View", "Show Invisibles") && ok;

    // The gutter: nested fold markers with the pointer over a line, then two collapsed
    // regions (one inside another block), in both themes. In the dark theme long lines wrap,
    // so that a continued row shows its dash.
    QString script = site + "/js/cart.js";
    writeFile(script, kNestedScript);
    for (const char* theme : {"Light", "Dark"}) {
        bool dark = QLatin1String(theme) == QLatin1String("Dark");
        ok = triggerMenuItem(window, "Theme", theme) && ok;
        if (dark)
            ok = triggerMenuItem(window, "&View", "Wrap Text") && ok;
        documents.openDocumentWithContentsOfFile(script.toStdString(), true);
        settle();
        HVEditorWidget* editor = window->activeEditor();
        if (!editor || !editor->gutter()) {
            std::fprintf(stderr, "the script has no gutter\n");
            ok = false;
            break;
        }
        editor->setFocus();
        std::size_t caret = editor->view()->string().find(u"let sum");
        editor->view()->setSelectedRange({caret, 0});
        settle();
        sendMouse(editor->gutter(), QEvent::MouseMove,
                  gutterPoint(editor, u"this.items.push", false));
        ok = save(window, output,
                  QStringLiteral("%1-fold-markers-%2").arg(dark ? 14 : 12).arg(theme).toLower()) &&
             ok;
        clickGutter(editor, u"add(item)");
        clickGutter(editor, u"for (const");
        settle();
        sendMouse(editor->gutter(), QEvent::MouseMove, gutterPoint(editor, u"add(item)", true));
        ok =
            save(window, output,
                 QStringLiteral("%1-fold-collapsed-%2").arg(dark ? 15 : 13).arg(theme).toLower()) &&
            ok;
        // Back to the whole text for the next theme.
        editor->runCommand("undo:");
        editor->runCommand("undo:");
        if (dark)
            ok = triggerMenuItem(window, "&View", "Wrap Text") && ok;
    }
    // The find panel over a match in the sample page, in the light theme.
    ok = triggerMenuItem(window, "Theme", "Light") && ok;
    documents.openDocumentWithContentsOfFile((site + "/index.html").toStdString(), true);
    settle();
    if (HVEditorWidget* editor = window->activeEditor(); editor && editor->foldingView()) {
        HTMLView* page = editor->foldingView();
        page->setSelectedRange({0, 0});
        page->makeFindPanelTarget();
        HVFindPanel& panel = HVFindPanel::shared();
        panel.searchField()->setEditText("Cakes");
        panel.showPanel();
        // The panel's own Next button finds, selects and shows the match.
        for (QPushButton* button : panel.findChildren<QPushButton*>()) {
            if (button->text() == "Next")
                button->click();
        }
        settle();
        // Without Match case the first one is the anchor "#cakes".
        std::u16string found = page->selectedString();
        if (QString::fromStdU16String(found).compare("Cakes", Qt::CaseInsensitive) != 0) {
            std::fprintf(stderr, "the find panel did not select the match\n");
            ok = false;
        }
        panel.move(window->geometry().right() - panel.width() - 20, window->geometry().top() + 80);
        ok = save(window, output, "16-find-panel") && ok;
        panel.hide();

        // The go-to-line panel with the caret's line.
        QDialog* gotoLine = window->showGotoLinePanel();
        ok = gotoLine && save(window, output, "17-go-to-line") && ok;
        if (gotoLine)
            gotoLine->reject();
    } else {
        ok = false;
    }

    // The function menu of the script: an object's methods and a function.
    documents.openDocumentWithContentsOfFile(script.toStdString(), true);
    settle();
    QToolButton* functions = window->functionMenuButton();
    emit window->functionMenu()->aboutToShow(); // filled first, so that its height is known
    window->functionMenu()->popup(functions->mapToGlobal(QPoint(0, 0)) -
                                  QPoint(0, window->functionMenu()->sizeHint().height()));
    ok = save(window, output, "18-function-menu") && ok;
    window->functionMenu()->hide();

    // The login sheet on the window, the user name filled in.
    auto* login = new HVCredentialsController;
    login->setTitle("Remote Login: 127.0.0.1");
    login->displayOnWindow(window, "deploy", [](int, HVCredentialsController::Answer) {});
    settle();
    ok = login->isVisible() && save(window, output, "19-credentials") && ok;
    login->reject();
    settle();

    // The settings of a folder mirrored to a server over SFTP.
    auto settings = std::make_unique<HVProjectSettings>();
    settings->setKind(HVProject::Combo);
    settings->setDisplayName("Example Site");
    settings->setLocalDirectory(site.toStdString());
    settings->setProtocol(HVRemoteProtocol::SFTP);
    settings->setHost("www.example.org");
    settings->setUser("anna");
    settings->setPassword("not-shown");
    settings->setInitialDirectory("/var/www/site");
    settings->setRemotePreviewURL("https://www.example.org/");
    settings->setUploadAutomatically(true);
    auto* projectSheet = new HVProjectSettingsController(std::move(settings), window);
    projectSheet->open();
    settle();
    ok = projectSheet->isVisible() && save(window, output, "24-project-settings") && ok;
    projectSheet->reject();
    settle();

    // The transcript of a connection.
    auto log = std::make_shared<HVRemoteLogController>();
    log->appendStringToLog(screenshotTranscript());
    {
        HVRemoteLogWindow logWindow(log, "127.0.0.1");
        logWindow.resize(720, 420);
        logWindow.move(120, 120);
        logWindow.show();
        logWindow.activateWindow();
        ok = save(&logWindow, output, "20-remote-log") && ok;
        logWindow.close();
    }

    // The uploads after two saves: one refused by the server, one still waiting.
    {
        HVUploadList& uploads = HVUploadList::sharedInstance();
        std::uint64_t refused = uploads.add(site.toStdString(), "css/site.css", {});
        HVError error(HVErrorDomain, 1, "Could not upload file");
        error.setUserInfoValue(HVRemoteReasonErrorKey, HVPlistValue("553 Could not create file."));
        uploads.failed(refused, error);
        uploads.add(site.toStdString(), "index.html", {});
        controller->showUploads();
        HVUploadListWindow* list = controller->uploadListWindow();
        list->move(120, 120);
        list->selectEntry(refused);
        ok = save(list, output, "21-uploads") && ok;
        list->close();
        uploads.reset();
    }

    // A folder mirrored to a server: files on this computer only (L), on the server only (R)
    // and on both sides, one of them open. No server is needed: the server's side comes from
    // listing entries, as a listing would give them.
    {
        auto project =
            HVProjectRepository::sharedInstance().copyProjectWithPath(site.toStdString());
        // Saved at once: the window reads the project anew from its file.
        if (project) {
            project->setType(HVProject::Combo);
            project->setConfigurationValue(HVPlistValue(false), "HVConnectAutomaticallyKey");
            project->commit(true);
        }
        documents.openDocumentWithContentsOfFile(site.toStdString(), true);
        HVDocumentWindow* projectWindow = controller->frontWindow();
        HVProjectTreeView* tree = projectWindow ? projectWindow->projectTree() : nullptr;
        if (tree && project && project->rootFile()) {
            projectWindow->resize(1000, 640);
            projectWindow->move(40, 30);
            projectWindow->activateWindow();
            auto root = project->rootFile();
            auto remote = [](const std::string& directory, const std::string& name,
                             bool isDirectory) {
                HVRemoteFile entry;
                entry.path = directory + "/" + name;
                entry.name = name;
                entry.isDirectory = isDirectory;
                entry.setModeString(isDirectory ? "drwxr-xr-x" : "-rw-r--r--");
                return HVRemoteFileRepresentation::initWithRemoteFile(entry, nullptr);
            };
            // The local listing of the folder first: a folder with a server side would also
            // ask the (absent) server for its listing when opened.
            HVFileTreeModel* model = tree->fileModel();
            if (auto css = root->childWithName("css", false))
                tree->expand(model->indexForFile(css.get()));
            const std::string base = "/var/www/site";
            for (const char* name : {"index.html", "robots.txt", "js", "css"})
                root->addChildRepresentation(
                    remote(base, name, std::string(name) == "js" || std::string(name) == "css"));
            root->addChildRepresentation(remote(base, "downloads", true));
            if (auto css = root->childWithName("css", false)) {
                css->addChildRepresentation(remote(base + "/css", "style.css", false));
                css->addChildRepresentation(remote(base + "/css", "print.css", false));
                model->refresh(*css);
            }
            model->refresh(*root);
            if (auto page = root->childWithName("index.html", false)) {
                projectWindow->projectDocument()->projectWindowController().openNode(page);
                tree->selectFile(*page);
            }
            if (auto* splitter = projectWindow->findChild<QSplitter*>("projectSplitter"))
                splitter->setSizes({250, 750});
            ok = save(projectWindow, output, "22-combined-project") && ok;

            // A file whose kind nothing names: the window asks before opening it.
            QFile odd(site + "/backup.hvdump");
            if (odd.open(QIODevice::WriteOnly))
                odd.write(QByteArray("\x01\x02\x00\xff\xfe", 5));
            odd.close();
            auto& windowController = projectWindow->projectDocument()->projectWindowController();
            if (auto node = windowController.fileForPath((site + "/backup.hvdump").toStdString()))
                windowController.openNode(node);
            settle();
            auto* sheet = projectWindow->findChild<QDialog*>("UnknownFileTypePanel");
            ok = sheet && sheet->isVisible() &&
                 save(projectWindow, output, "23-unknown-file-type") && ok;
            if (sheet)
                sheet->reject();
            settle();
        } else {
            std::fprintf(stderr, "the combined project did not open\n");
            ok = false;
        }
    }

    ok = completionScenes(*controller, site, output) && ok;
    ok = multiFileSearchScenes(*controller, site, output) && ok;

    // Windows go before the documents whose views they draw, and the documents while the
    // notification center they observe is still there.
    controller.reset();
    documents.reset();
    return ok ? 0 : 1;
}
