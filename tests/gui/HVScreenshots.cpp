// Drives the real editor through its main scenes and saves a picture of each, for a person to
// look at: scripts/screenshot runs it under Xvfb.

#include "HVApplicationController.h"
#include "HVDocumentController.h"
#include "HVDocumentWindow.h"
#include "HVEditorWidget.h"
#include "HVFileDocument.h"
#include "HVMultiFileDocument.h"
#include "HVMultiFileWindowController.h"
#include "HVPreferences.h"
#include "HVStatusBarWidget.h"
#include "HVTextViewModel.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>
#include <QToolButton>
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

// Closes every alert as a user closing its window would (which answers "Cancel").
void dismissAlerts() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible())
            box->reject();
    }
    settle();
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

    HVApplicationController controller;
    auto& documents = HVDocumentController::sharedController();
    HVPreferences::sharedInstance().setObject("HVHowToOpenFiles", 1);

    // One tab.
    documents.openDocumentWithContentsOfFile((site + "/index.html").toStdString(), true);
    HVDocumentWindow* window = controller.frontWindow();
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
    auto writeScratch = [&](const char* text) {
        QFile file(scratch);
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write(text);
    };
    writeScratch("Shopping list\nflour\n");
    documents.openDocumentWithContentsOfFile(scratch.toStdString(), true);
    settle();
    writeScratch("Shopping list\nflour\nsugar (added elsewhere)\n");
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
        QTimer::singleShot(0, [&controller, pipe] { controller.handleRequest({pipe}); });
        settle(300);
        ok = save(window, output, "8-unreadable") && ok;
        dismissAlerts();
        QFile::remove(pipe);
    }
    settle();
    return ok ? 0 : 1;
}
