// Whether the main thread stays responsive while a multi-file search runs over the web tree
// (bench/make-web-tree). The main thread runs a 5 ms repeating task, as an editor's idle work
// and repaints would, and records the gaps between its firings while HVSearchRunner searches
// in the background and hands its nodes to the main thread; a gap over 16 ms is a frame the
// editor would miss. The searches are those of scripts/bench-search.
//
// "--classify FILE…" prints, per file, how the search sees it instead: "filtered" (a shared
// name filter hides it or a folder above it), "not-text" (its category, or a NUL byte in a file
// of no known kind),
// or the encoding it is read in ("utf-8", "utf-8 fallback", "windows-1252", ...), one per line
// as "path\tclass". scripts/bench-search uses it to explain count differences with ripgrep.
//
// "delivery" is the longest hand-over of nodes on the main thread: the part of a gap that is the
// search's own; the rest is waiting for a processor.
//
// HALVET_BENCH_TREE names the tree; HALVET_BENCH_ROUNDS (default 3) the rounds per search.

#include "HVDispatcher.h"
#include "HVFileCategories.h"
#include "HVFileEncodings.h"
#include "HVFileFilters.h"
#include "HVFileSystem.h"
#include "HVMultiFileSearchNode.h"
#include "HVSearch.h"
#include "HVSearchRunner.h"
#include "HVUnicode.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double milliseconds(Clock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

double percentile(std::vector<double> values, double share) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    std::size_t index = std::size_t(share * double(values.size() - 1) + 0.5);
    return values[std::min(index, values.size() - 1)];
}

// What a search window does with the runner's news, short of drawing: keeps the nodes and
// counts their results.
class CountingDelegate : public HVSearchRunnerDelegate {
public:
    void
    searchRunnerFoundNodes(std::vector<std::shared_ptr<HVMultiFileSearchNode>> nodes) override {
        Clock::time_point start = Clock::now();
        for (auto& node : nodes) {
            results += node->results().size();
            if (!node->results().empty())
                ++files;
            // A list row shows the display name; it is made as the row is added.
            names += node->displayName().size() > 0;
            kept.push_back(std::move(node));
        }
        longestDelivery = std::max(longestDelivery, milliseconds(Clock::now() - start));
    }
    void searchRunnerDidFinishAllSearches(bool wasCancelled) override {
        finished = true;
        cancelled = wasCancelled;
    }

    std::vector<std::shared_ptr<HVMultiFileSearchNode>> kept;
    std::size_t results = 0;
    std::size_t files = 0;
    std::size_t names = 0;
    // The main thread's own share of a gap: the longest hand-over of nodes.
    double longestDelivery = 0;
    bool finished = false;
    bool cancelled = false;
};

struct Round {
    double searchMilliseconds = 0;
    std::vector<double> gaps;
    std::size_t results = 0;
    std::size_t files = 0;
    double longestDelivery = 0;
};

Round runRound(const HVSearch& search, const std::string& tree) {
    HVDispatcher& dispatcher = HVDispatcher::main();
    auto delegate = std::make_shared<CountingDelegate>();
    HVSearchRunner runner(delegate);

    Round round;
    bool ticking = true;
    Clock::time_point last = Clock::now();
    std::function<void()> tick = [&] {
        Clock::time_point now = Clock::now();
        round.gaps.push_back(milliseconds(now - last));
        last = now;
        if (ticking)
            dispatcher.postAfterDelay(0.005, tick);
    };
    dispatcher.postAfterDelay(0.005, tick);

    HVSearchScope scope;
    scope.paths = {tree};
    Clock::time_point start = Clock::now();
    runner.runSearch(search, scope);
    dispatcher.runUntil([&] { return delegate->finished; }, 600);
    round.searchMilliseconds = milliseconds(Clock::now() - start);
    ticking = false;
    // The last tick posted runs here, so that none is left for the next round.
    dispatcher.runFor(0.01);
    round.results = delegate->results;
    round.files = delegate->files;
    round.longestDelivery = delegate->longestDelivery;
    if (!delegate->finished)
        std::fprintf(stderr, "the search did not finish within 600 s\n");
    return round;
}

// As the search decides: by the extension's category, and for a name of no known kind by a NUL
// byte in the first 8 KB.
bool isText(HVFileCategories& categories, const std::string& path) {
    std::string extension = HVFileSystem::pathExtension(path);
    if (!extension.empty()) {
        if (categories.extensionIsType(extension, HVFileKindText))
            return true;
        if (categories.extensionIsType(extension, HVFileKindImage) ||
            categories.extensionIsType(extension, HVFileKindIgnorable))
            return false;
    }
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return false;
    char head[8192];
    std::size_t length = std::fread(head, 1, sizeof head, file);
    std::fclose(file);
    return std::memchr(head, 0, length) == nullptr;
}

int classify(int argc, char** argv) {
    HVFileFilters& filters = HVFileFilters::sharedFilters();
    HVFileCategories& categories = HVFileCategories::sharedCategories();
    std::string tree = std::getenv("HALVET_BENCH_TREE") ? std::getenv("HALVET_BENCH_TREE") : "";
    for (int i = 2; i < argc; ++i) {
        std::string path = argv[i];
        // Every name from below the tree to the file, as the walk meets them.
        std::string relative = !tree.empty() && path.starts_with(tree + "/")
                                   ? path.substr(tree.size() + 1)
                                   : HVFileSystem::lastPathComponent(path);
        bool filtered = false;
        std::size_t begin = 0;
        while (begin <= relative.size()) {
            std::size_t end = relative.find('/', begin);
            if (end == std::string::npos)
                end = relative.size();
            if (filters.stringMatchesFilters(relative.substr(begin, end - begin)))
                filtered = true;
            begin = end + 1;
        }
        std::string verdict;
        if (filtered) {
            verdict = "filtered";
        } else if (!isText(categories, path)) {
            verdict = "not-text";
        } else {
            HVStringEncoding encoding = HVNoStringEncoding;
            HVError error;
            auto text = HVFileEncodings::createWithContentsOfFile(path, encoding, &error);
            if (!text)
                verdict = "unreadable";
            else {
                verdict = HVFileEncodings::stringFromEncoding(encoding).value_or("unknown");
                if (error.is(HVErrorDomain, HVEncodingWarningCode))
                    verdict += " fallback";
            }
        }
        std::printf("%s\t%s\n", path.c_str(), verdict.c_str());
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    HVDispatcher::main().adoptCurrentThread();
    if (argc > 1 && std::string(argv[1]) == "--classify")
        return classify(argc, argv);

    const char* tree = std::getenv("HALVET_BENCH_TREE");
    if (!tree || !*tree) {
        std::fprintf(stderr, "HALVET_BENCH_TREE names the tree to search\n");
        return 2;
    }
    const char* roundsText = std::getenv("HALVET_BENCH_ROUNDS");
    int rounds = roundsText && *roundsText ? std::max(1, std::atoi(roundsText)) : 3;

    struct Case {
        const char* title;
        std::unique_ptr<HVSearch> search;
    };
    std::vector<Case> cases;
    auto literal = HVSearch::initWithSearchString(u"getElementById");
    literal->setCaseSensitive(true);
    cases.push_back({"literal getElementById", std::move(literal)});
    cases.push_back(
        {"ignoring case getelementbyid", HVSearch::initWithSearchString(u"getelementbyid")});
    cases.push_back({"expression function\\s+\\w+\\s*\\(",
                     HVSearch::initWithExpressionString(u"function\\s+\\w+\\s*\\(", true)});
    for (auto& c : cases)
        c.search->setOptions(0);

    std::printf("%-40s %7s %8s %9s %6s %8s %8s %9s\n", "search (every round)", "files", "matches",
                "search ms", "ticks", "p99 gap", "max gap", "delivery");
    bool overBudget = false;
    for (auto& c : cases) {
        std::vector<double> allGaps;
        for (int round = 0; round < rounds; ++round) {
            Round r = runRound(*c.search, tree);
            double worst = r.gaps.empty() ? 0 : *std::max_element(r.gaps.begin(), r.gaps.end());
            std::printf("%-40s %7zu %8zu %9.0f %6zu %8.1f %8.1f %9.1f\n", c.title, r.files,
                        r.results, r.searchMilliseconds, r.gaps.size(), percentile(r.gaps, 0.99),
                        worst, r.longestDelivery);
            allGaps.insert(allGaps.end(), r.gaps.begin(), r.gaps.end());
        }
        double worst = allGaps.empty() ? 0 : *std::max_element(allGaps.begin(), allGaps.end());
        overBudget = overBudget || worst > 16;
        std::printf("  %s: timer gaps over %zu firings: p99 %.1f ms, largest %.1f ms (goal: none "
                    "over 16 ms)\n",
                    c.title, allGaps.size(), percentile(allGaps, 0.99), worst);
    }
    std::printf("%s\n",
                overBudget ? "GOAL MISSED: a gap over 16 ms" : "goal met: no gap over 16 ms");
    return 0;
}
