// The highlighting view on 10 MB files, with the shipped bundles and the Light theme:
//
// The views are the editor's (HTMLView), so a keystroke also keeps the fold markers current.
//
// Keystroke: one character typed in the middle of a 10 MB HTML and a 10 MB JavaScript file,
// timed from the key until the painting has converged (the re-parse of the edited lines and
// whatever it changed beyond them) and the markers have followed, over 1,000 keystrokes; the
// median and the 99th percentile are reported as counters. A keystroke touches a few hundred
// bytes, so the bound is physical: well under a millisecond. Keystroke/.../NoFolding is the
// same with folding off: the difference is what the markers cost.
//
// WholeText includes the fold markers of every line. Markers: every line of the highlighted
// file classified afresh; CollapseAll: the View menu's
// command on the whole file (its undo untimed), with the markers and regions it made.
//
// TypeAtTop: "/*", and a double quote, typed at the start of the first line of code of the
// 10 MB JavaScript file. Reported: the time until the visible lines are right (the keys
// themselves), the time until the whole file is (the idle slices, run as an idle main thread
// runs them), and the longest slice.
//
// WholeText: the whole text highlighted in the view (set, then every pending slice run), beside
// `halvet-cli highlight --format runs` on the same file in the same run (the peer reads and
// decodes the file and writes the runs as well).
//
// Files: HALVET_BENCH_HTML and HALVET_BENCH_JS (scripts/bench makes them); HALVET_CLI names the
// command-line tool.

#include "HTMLView.h"
#include "HVDispatcher.h"
#include "HVFileEncodings.h"
#include "HVLineNumberingRulerView.h"
#include "HVTextBuffer.h"
#include "HVUndoManager.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdlib>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    if (!value)
        throw std::runtime_error(std::string("set ") + name);
    return value;
}

const std::u16string& fileText(const std::string& path) {
    static std::map<std::string, std::u16string> texts;
    auto found = texts.find(path);
    if (found != texts.end())
        return found->second;
    HVStringEncoding encoding = 0;
    auto text = HVFileEncodings::createWithContentsOfFile(path, encoding);
    if (!text)
        throw std::runtime_error("cannot read " + path);
    return texts.emplace(path, std::move(*text)).first->second;
}

// About a screenful of lines from the one holding position.
HVRange screenAt(const HVTextBuffer& text, std::size_t position) {
    std::size_t first = text.lineNumberForIndex(position);
    std::size_t last = std::min(first + 60, text.lineCount() - 1);
    HVRange from = text.rangeOfLine(first), to = text.rangeOfLine(last);
    return {from.location, to.end() - from.location};
}

// A view of the file, highlighted whole, showing the screen at position.
std::unique_ptr<HTMLView> openView(const std::string& path, std::size_t* middle = nullptr) {
    auto view = std::make_unique<HTMLView>();
    view->setPath(path);
    view->setString(fileText(path));
    view->finishPendingHighlighting();
    view->rulerView().finishPendingClassification();
    std::size_t at = 0;
    if (middle) {
        // Inside the middle line, a few characters in, as a person edits.
        const HVTextBuffer& text = view->textStorage();
        HVRange line = text.rangeOfLine(text.lineCount() / 2);
        at = line.location + std::min<std::size_t>(line.length / 2, 8);
        *middle = at;
    }
    view->setVisibleRange(screenAt(view->textStorage(), at));
    view->setSelectedRange({at, 0});
    return view;
}

double percentile(std::vector<double> values, double fraction) {
    std::sort(values.begin(), values.end());
    std::size_t index = std::min(values.size() - 1, std::size_t(fraction * values.size()));
    return values[index];
}

// Where code starts: the first line after the file's leading comment.
std::size_t firstCodeLine(const HVTextBuffer& text) {
    std::u16string head = text.substring({0, std::min<std::size_t>(text.length(), 65536)});
    std::size_t end = head.find(u"*/");
    return end == std::u16string::npos ? 0 : text.lineRangeForIndex(end).end();
}

void keystroke(benchmark::State& state, const char* variable, bool folding) {
    std::size_t middle = 0;
    auto view = openView(environment(variable), &middle);
    view->rulerView().setCodeFoldingEnabled(folding);
    const std::u16string typed = u"let value = items[index] + 1; // done\n";
    std::vector<double> synchronous, total;
    for (auto _ : state) {
        synchronous.clear();
        total.clear();
        view->setSelectedRange({middle, 0});
        for (std::size_t i = 0; i < 1000; ++i) {
            auto start = Clock::now();
            // Type the line, then take it back character by character, so that the file
            // stays the same across repetitions.
            std::size_t column = i % (2 * typed.size());
            if (column < typed.size())
                view->insertText(std::u16string(1, typed[column]));
            else
                view->doCommandBySelector("deleteBackward:");
            synchronous.push_back(secondsSince(start));
            view->finishPendingHighlighting();
            view->rulerView().finishPendingClassification();
            total.push_back(secondsSince(start));
        }
    }
    // Until the key returns (the visible lines are right), and until the painting has
    // converged everywhere (idle slices included).
    state.counters["key_median_us"] = percentile(synchronous, 0.5) * 1e6;
    state.counters["key_p99_us"] = percentile(synchronous, 0.99) * 1e6;
    state.counters["converged_median_us"] = percentile(total, 0.5) * 1e6;
    state.counters["converged_p99_us"] = percentile(total, 0.99) * 1e6;
    state.counters["converged_max_us"] = percentile(total, 1.0) * 1e6;
    state.counters["markers"] = double(view->rulerView().foldMarkers().size());
}

void markers(benchmark::State& state, const char* variable) {
    auto view = openView(environment(variable));
    for (auto _ : state)
        view->rulerView().updateMarkers();
    state.counters["markers"] = double(view->rulerView().foldMarkers().size());
}

void collapseAll(benchmark::State& state, const char* variable) {
    auto view = openView(environment(variable));
    std::size_t regions = 0;
    for (auto _ : state) {
        view->collapseAllBlocks();
        state.PauseTiming();
        regions = view->rulerView().markersWithState(HVFoldState::Collapsed, 0).size();
        view->undoManager().undo();
        view->finishPendingHighlighting();
        state.ResumeTiming();
    }
    state.counters["regions"] = double(regions);
}

// Types what at the start of the first line of code, lets the idle slices run as an idle main
// thread would, and takes it back.
void typeAtTop(benchmark::State& state, std::u16string what) {
    auto view = openView(environment("HALVET_BENCH_JS"));
    std::size_t top = firstCodeLine(view->textStorage());
    view->setVisibleRange(screenAt(view->textStorage(), top));
    double visible = 0, whole = 0, slices = 0, longest = 0;
    for (auto _ : state) {
        view->setSelectedRange({top, 0});
        auto start = Clock::now();
        for (char16_t c : what)
            view->insertText(std::u16string(1, c));
        visible = secondsSince(start);
        auto before = view->sliceCount();
        start = Clock::now();
        while (view->hasPendingHighlighting())
            HVDispatcher::main().runUntil([&] { return !view->hasPendingHighlighting(); }, 60);
        whole = visible + secondsSince(start);
        slices = double(view->sliceCount() - before);
        longest = view->longestSliceSeconds();
        state.PauseTiming();
        for (std::size_t i = 0; i < what.size(); ++i)
            view->doCommandBySelector("deleteBackward:");
        view->finishPendingHighlighting();
        state.ResumeTiming();
    }
    state.counters["visible_ms"] = visible * 1e3;
    state.counters["whole_ms"] = whole * 1e3;
    state.counters["slices"] = slices;
    state.counters["longest_slice_ms"] = longest * 1e3;
}

void wholeText(benchmark::State& state, const char* variable) {
    std::string path = environment(variable);
    const std::u16string& text = fileText(path);
    for (auto _ : state) {
        HTMLView view;
        view.setPath(path);
        view.setString(text);
        view.finishPendingHighlighting();
        view.rulerView().finishPendingClassification();
        benchmark::DoNotOptimize(view.textStorage().runCount());
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(text.size() * 2));
}

// The peer: the command-line tool reads, decodes and paints the same file, and prints its runs.
void commandLine(benchmark::State& state, const char* variable) {
    std::string command = "'" + environment("HALVET_CLI") + "' highlight --format runs '" +
                          environment(variable) + "' >/dev/null";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0)
            state.SkipWithError("halvet-cli failed");
    }
}

const bool registered = [] {
    for (auto [name, variable] :
         {std::pair{"HTML", "HALVET_BENCH_HTML"}, std::pair{"JavaScript", "HALVET_BENCH_JS"}}) {
        benchmark::RegisterBenchmark((std::string("Keystroke/") + name).c_str(), keystroke,
                                     variable, true)
            ->Unit(benchmark::kMillisecond)
            ->Iterations(1);
        benchmark::RegisterBenchmark((std::string("Keystroke/") + name + "/NoFolding").c_str(),
                                     keystroke, variable, false)
            ->Unit(benchmark::kMillisecond)
            ->Iterations(1);
        benchmark::RegisterBenchmark((std::string("Markers/") + name).c_str(), markers, variable)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((std::string("CollapseAll/") + name).c_str(), collapseAll,
                                     variable)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((std::string("WholeText/") + name).c_str(), wholeText,
                                     variable)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((std::string("CommandLineRuns/") + name).c_str(), commandLine,
                                     variable)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::RegisterBenchmark("TypeAtTop/OpenComment", typeAtTop, u"/*")
        ->Unit(benchmark::kMillisecond);
    // A double quote opens a string that, in the shipped JavaScript bundle, may span lines: it
    // re-colours the rest of the file.
    benchmark::RegisterBenchmark("TypeAtTop/OpenQuote", typeAtTop, u"\"")
        ->Unit(benchmark::kMillisecond);
    return true;
}();

} // namespace

BENCHMARK_MAIN();
