// Replace All in a 10 MB HTML file in the editor (HTMLView, highlighted with the shipped
// bundles), about 126,000 replacements, beside sed(1) on the same file in the same run.
//
// Literal: "code>" by "samp>"; expression: "<(/?)code>" by "<$1kbd>" (a back-reference).
// Timed from the command until it returns, which is when the undo step is recorded and the
// visible lines are painted again, and then until an offscreen editor widget that shows the
// top of the file has painted again; then one undo, timed the same way. Peak memory: the
// growth of the process's peak resident set across the replace (VmHWM, reset before it),
// against the size of the text in memory (UTF-16).
//
// File: HALVET_BENCH_HTML (scripts/bench makes it); without it, 10 MB of repeated real HTML
// made here from the shipped samples.

#include "HTMLView.h"
#include "HVDispatcher.h"
#include "HVEditorWidget.h"
#include "HVFileEncodings.h"
#include "HVQtDispatcher.h"
#include "HVSearchController.h"
#include "HVTextBuffer.h"
#include "HVUndoManager.h"

#include "HVWindowBenchSupport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <malloc.h>
#include <sstream>
#include <stdexcept>
#include <string>
#include <sys/resource.h>

namespace {

using Clock = HVBenchClock;

// CPU time of this thread: on a machine shared with other work, the part that is the program's
// own.
double threadCpuMilliseconds() {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

// The peak resident set in kB; resetting it makes it the current resident set.
long peakResidentKB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return 0;
}

void resetPeakResident() {
    // Memory that earlier rounds freed would otherwise hide this round's growth.
    malloc_trim(0);
    std::ofstream("/proc/self/clear_refs") << "5";
}

std::string benchFile() {
    if (const char* path = std::getenv("HALVET_BENCH_HTML"))
        return path;
    std::string path = "/tmp/halvet-replace-all-bench.html";
    std::ifstream sample(HALVET_SOURCE_TEST_DATA "/highlight/html/sample.html");
    std::stringstream chunk;
    chunk << sample.rdbuf();
    // About 30 matches in every 4 kB, as in a page of documentation.
    std::string piece = chunk.str();
    for (int i = 0; i < 15; ++i)
        piece += "<p>Call <code>replaceAll()</code> on the <a href=\"#text\">text</a>.</p>\n";
    std::ofstream out(path);
    for (std::size_t written = 0; written < 10 * 1024 * 1024; written += piece.size())
        out << piece;
    return path;
}

double sedMilliseconds(const std::string& script, bool extended, const std::string& path) {
    std::string command = std::string("sed ") + (extended ? "-E " : "") + "-e '" + script + "' '" +
                          path + "' >/dev/null";
    auto start = Clock::now();
    if (std::system(command.c_str()) != 0)
        throw std::runtime_error("sed failed");
    return HVMillisecondsSince(start);
}

// Counts the paints of one widget.
class PaintCounter : public QObject {
public:
    bool eventFilter(QObject* object, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            ++paints;
        return QObject::eventFilter(object, event);
    }
    int paints = 0;
};

void run(const std::string& path, const std::u16string& text, const char* name,
         std::u16string_view pattern, std::u16string_view replace, bool expression,
         const std::string& sedScript) {
    auto view = std::make_unique<HTMLView>();
    view->setPath(path);
    view->setString(text);
    view->setVisibleRange({0, std::min<std::size_t>(text.size(), 8000)});
    view->finishPendingHighlighting();
    HVEditorWidget widget(view.get());
    widget.resize(1000, 800);
    widget.show();
    PaintCounter counter;
    widget.viewport()->installEventFilter(&counter);
    HVRunUntil([&] { return counter.paints > 0; });

    auto& find = HVSearchController::sharedFind();
    find.setRegularExpression(expression);
    find.setMatchCase(true);
    find.setSearchString(std::u16string(pattern));
    find.setReplaceString(std::u16string(replace));

    QApplication::processEvents();
    long before = peakResidentKB();
    resetPeakResident();
    long base = peakResidentKB();
    int paints = counter.paints;
    double cpu = threadCpuMilliseconds();
    auto start = Clock::now();
    std::size_t count = view->replaceAll(false);
    double replaceMs = HVMillisecondsSince(start);
    double replaceCpuMs = threadCpuMilliseconds() - cpu;
    long peak = peakResidentKB();
    HVRunUntil([&] { return counter.paints > paints; });
    double paintedMs = HVMillisecondsSince(start);
    if (view->undoManager().undoActionName() != "Replace All")
        throw std::runtime_error("no undo step");

    paints = counter.paints;
    cpu = threadCpuMilliseconds();
    start = Clock::now();
    view->undo();
    double undoMs = HVMillisecondsSince(start);
    double undoCpuMs = threadCpuMilliseconds() - cpu;
    HVRunUntil([&] { return counter.paints > paints; });
    double undoPaintedMs = HVMillisecondsSince(start);
    if (view->string() != text)
        throw std::runtime_error("undo did not restore the text");

    double sedMs = sedMilliseconds(sedScript, expression, path);
    double textMB = double(text.size() * sizeof(char16_t)) / (1024 * 1024);
    double growthMB = double(peak - base) / 1024;
    double fileMB = double(QFileInfo(QString::fromStdString(path)).size()) / (1024 * 1024);
    std::printf("Replace All %s: %zu replacements in %.1f MB (%.1f MB as text): %.0f ms, CPU %.0f "
                "ms (painted %.0f ms), sed %.0f ms, ratio %.2f; undo %.0f ms, CPU %.0f ms "
                "(painted %.0f ms); peak memory growth %.1f MB = %.2f x the file, %.2f x the text "
                "(peak before %.0f MB)\n",
                name, count, fileMB, textMB, replaceMs, replaceCpuMs, paintedMs, sedMs,
                paintedMs / sedMs, undoMs, undoCpuMs, undoPaintedMs, growthMB, growthMB / fileMB,
                growthMB / textMB, double(before) / 1024);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    HVQtDispatcher dispatcher;
    std::string path = benchFile();
    HVStringEncoding encoding = 0;
    auto text = HVFileEncodings::createWithContentsOfFile(path, encoding);
    if (!text)
        throw std::runtime_error("cannot read " + path);
    int rounds =
        std::getenv("HALVET_BENCH_ROUNDS") ? std::atoi(std::getenv("HALVET_BENCH_ROUNDS")) : 3;
    for (int round = 0; round < rounds; ++round) {
        run(path, *text, "literal", u"code>", u"samp>", false, "s/code>/samp>/g");
        run(path, *text, "expression", u"<(/?)code>", u"<$1kbd>", true,
            "s/<(\\/?)code>/<\\1kbd>/g");
    }
    return 0;
}
