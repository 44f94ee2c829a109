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
#include "HVTextViewModel.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>
#include <cstdio>

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
        if (auto* box = window->findChild<QMessageBox*>("HVAlert"))
            box->button(QMessageBox::NoButton), box->reject();
    }
    settle();
    return ok ? 0 : 1;
}
