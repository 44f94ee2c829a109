// The editor window with large files, under Qt's offscreen platform, timed on the main thread
// as a person would feel it.
//
// FirstScreen: a 50 MB HTML file, from the open request until the first screen of it has been
// painted with colours, beside cat(1) reading the same file in the same run.
//
// Stalls: a 6 MB single-line minified JavaScript file and the 50 MB HTML file, each opened,
// highlighted (the idle slices run as the event loop allows), typed into at the end, and
// scrolled page by page and by jumps; reported is the longest time the main thread spent on one
// event (the open request included, and apart), as the longest the window could not answer.
//
// Files: HALVET_BENCH_HTML50 and HALVET_BENCH_MINIFIED (scripts/bench makes them).

#include "HVApplicationController.h"
#include "HVDispatcher.h"
#include "HVDocumentController.h"
#include "HVDocumentWindow.h"
#include "HVEditorWidget.h"
#include "HVSyntaxHighlightingTextView.h"
#include "HVTextBuffer.h"

#include "HVWindowBenchSupport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Clock = HVBenchClock;

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    if (!value)
        throw std::runtime_error(std::string("set ") + name);
    return value;
}

// Times every event the main thread handles; nested deliveries count within their outermost.
class TimedApplication : public QApplication {
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override {
        if (m_depth++ > 0) {
            bool result = QApplication::notify(receiver, event);
            --m_depth;
            afterDelivery(receiver, event);
            return result;
        }
        auto start = Clock::now();
        bool result = QApplication::notify(receiver, event);
        --m_depth;
        longest = std::max(longest, HVMillisecondsSince(start));
        afterDelivery(receiver, event);
        return result;
    }

    void afterDelivery(QObject* receiver, QEvent* event) {
        if (event->type() == QEvent::Paint && watchedViewport && receiver == watchedViewport)
            ++paints;
    }

    double longest = 0;
    QObject* watchedViewport = nullptr;
    int paints = 0;

private:
    int m_depth = 0;
};

TimedApplication* application;

double catMilliseconds(const std::string& path) {
    auto start = Clock::now();
    std::string command = "cat '" + path + "' >/dev/null";
    if (std::system(command.c_str()) != 0)
        throw std::runtime_error("cat failed");
    return HVMillisecondsSince(start);
}

struct Opened {
    HVDocumentWindow* window = nullptr;
    HVEditorWidget* editor = nullptr;
    HVSyntaxHighlightingTextView* view = nullptr;
    double requestMs = 0;
    double firstPaintMs = 0;
};

Opened open(HVApplicationController& controller, const std::string& path) {
    Opened opened;
    application->paints = 0;
    application->watchedViewport = nullptr;
    auto start = Clock::now();
    HVDocumentController::sharedController().openDocumentWithContentsOfFile(path, true);
    opened.requestMs = HVMillisecondsSince(start);
    opened.window = controller.frontWindow();
    if (!opened.window || !opened.window->activeEditor())
        throw std::runtime_error("no window for " + path);
    opened.editor = opened.window->activeEditor();
    opened.view = dynamic_cast<HVSyntaxHighlightingTextView*>(opened.editor->view());
    application->watchedViewport = opened.editor->viewport();
    HVRunUntil([&] { return application->paints > 0; });
    opened.firstPaintMs = HVMillisecondsSince(start);
    return opened;
}

// Closes every window, then forgets the documents, as quitting does.
void closeAll(std::unique_ptr<HVApplicationController>& controller) {
    application->watchedViewport = nullptr;
    controller.reset();
    QApplication::processEvents();
    HVDocumentController::sharedController().reset();
    HVDispatcher::main().runPending();
    controller = std::make_unique<HVApplicationController>();
}

void firstScreen(std::unique_ptr<HVApplicationController>& controller, const std::string& path,
                 int rounds) {
    std::vector<double> ours, cats;
    for (int round = 0; round < rounds; ++round) {
        cats.push_back(catMilliseconds(path));
        Opened opened = open(*controller, path);
        ours.push_back(opened.firstPaintMs);
        bool coloured = opened.view && opened.view->textStorage().runCount() > 1;
        std::printf("FirstScreen round %d: halvet %.0f ms (request %.0f ms), cat %.0f ms, "
                    "ratio %.2f%s\n",
                    round + 1, opened.firstPaintMs, opened.requestMs, cats.back(),
                    opened.firstPaintMs / cats.back(), coloured ? "" : " (NOT coloured)");
        closeAll(controller);
    }
    std::sort(ours.begin(), ours.end());
    std::sort(cats.begin(), cats.end());
    std::printf("FirstScreen median: halvet %.0f ms, cat %.0f ms, ratio %.2f (goal <= 3)\n",
                ours[ours.size() / 2], cats[cats.size() / 2],
                ours[ours.size() / 2] / cats[cats.size() / 2]);
}

void stalls(std::unique_ptr<HVApplicationController>& controller, const std::string& path) {
    application->longest = 0;
    Opened opened = open(*controller, path);
    double afterOpen = application->longest;
    application->longest = 0;
    auto start = Clock::now();
    if (opened.view)
        HVRunUntil([&] { return !opened.view->hasPendingHighlighting(); });
    double highlightMs = HVMillisecondsSince(start);
    double highlightStall = application->longest;

    application->longest = 0;
    QWindow* handle = opened.window->windowHandle();
    QTest::keyClick(handle, Qt::Key_End, Qt::ControlModifier);
    for (char c : std::string("var typed = 1;"))
        QTest::keyClick(handle, c);
    QTest::keyClick(handle, Qt::Key_Return);
    QApplication::processEvents();
    double typingStall = application->longest;

    application->longest = 0;
    QTest::keyClick(handle, Qt::Key_Home, Qt::ControlModifier);
    for (int i = 0; i < 30; ++i) {
        QTest::keyClick(handle, Qt::Key_PageDown);
        QApplication::processEvents();
    }
    QScrollBar* bar = opened.editor->verticalScrollBar();
    for (int i = 1; i <= 10; ++i) {
        bar->setValue(bar->maximum() / 10 * i);
        QApplication::processEvents();
    }
    QScrollBar* across = opened.editor->horizontalScrollBar();
    for (int i = 1; i <= 10; ++i) {
        across->setValue(across->maximum() / 10 * i);
        QApplication::processEvents();
    }
    double scrollStall = application->longest;
    if (opened.view)
        HVRunUntil([&] { return !opened.view->hasPendingHighlighting(); });

    std::printf("Stalls %s: open request %.0f ms (first paint %.0f ms, longest event %.0f ms); "
                "highlight %.0f ms in %zu slices, longest event %.1f ms, longest slice %.1f ms; "
                "typing at the end: longest event %.1f ms; scrolling: longest event %.1f ms\n",
                path.c_str(), opened.requestMs, opened.firstPaintMs, afterOpen, highlightMs,
                opened.view ? opened.view->sliceCount() : 0, highlightStall,
                opened.view ? opened.view->longestSliceSeconds() * 1e3 : 0.0, typingStall,
                scrollStall);
    closeAll(controller);
}

} // namespace

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    application = new TimedApplication(argc, argv);
    auto controller = std::make_unique<HVApplicationController>();
    int rounds =
        std::getenv("HALVET_BENCH_ROUNDS") ? std::atoi(std::getenv("HALVET_BENCH_ROUNDS")) : 5;
    std::string html = environment("HALVET_BENCH_HTML50");
    firstScreen(controller, html, rounds);
    stalls(controller, environment("HALVET_BENCH_MINIFIED"));
    stalls(controller, html);
    return 0;
}
