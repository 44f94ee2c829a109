// The symbol index on a real PHP tree (Debian's WordPress), beside universal-ctags.
//
// 1. From scratch: every PHP file into a fresh index.db, against `ctags -R --languages=PHP` on
//    the same tree; wall-clock and processor time of each, several rounds taking turns. ctags
//    runs at the index thread's priority (nice 19).
// 2. Symbols: the names ctags lists as classes, interfaces, traits and functions (methods are
//    functions in its PHP kinds) against the keys of the index; the share of ctags' names the
//    index has, and examples of what each side has that the other lacks.
// 3. A save: a file rewritten with a new function, from the write to HVFileIndexInvalidated.
// 4. Completion: keysForType for a file that includes 50 others.
//
// The language definitions are the shipped ones (HALVET_RESOURCES_DIR).
// "--keys FILE…" prints what the indexer finds in each file instead, for tuning a definition.
// HALVET_BENCH_CODE_TREE names the tree (a copy: the benchmark writes into it);
// HALVET_BENCH_WORK a folder for the database and ctags' output; HALVET_BENCH_ROUNDS (default
// 3) the rounds of step 1; HALVET_BENCH_TOUCHED the file of step 3, relative to the tree.

#include "Defaults.h"
#include "HVCodeIndex.h"
#include "HVCodeIndexer.h"
#include "HVDatabase.h"
#include "HVDispatcher.h"
#include "HVFileSystem.h"
#include "HVNotificationCenter.h"
#include "HVUnicode.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double milliseconds(Clock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

double processorMilliseconds(const rusage& usage) {
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
}

std::string environment(const char* name, const char* fallback) {
    const char* value = std::getenv(name);
    return value && *value ? value : fallback;
}

double percentile(std::vector<double> values, double share) {
    std::sort(values.begin(), values.end());
    std::size_t index = std::size_t(share * double(values.size() - 1) + 0.5);
    return values[std::min(index, values.size() - 1)];
}

struct Run {
    double wall = 0;
    double processor = 0;
};

// Every PHP file of the tree, sorted.
std::vector<std::string> phpFiles(const std::string& tree) {
    std::vector<std::string> files;
    for (const std::string& path : HVFileSystem::listRecursively(tree)) {
        if (path.ends_with(".php") && HVFileSystem::isRegularFile(path))
            files.push_back(path);
    }
    std::sort(files.begin(), files.end());
    return files;
}

void removeDatabase(const std::string& path) {
    for (const char* suffix : {"", "-wal", "-shm", "-journal", ".damaged"})
        ::unlink((path + suffix).c_str());
}

Run indexFromScratch(const std::string& databasePath, const std::vector<std::string>& files) {
    removeDatabase(databasePath);
    HVCodeIndex index(databasePath);
    index.start();
    index.waitUntilIdle(60);
    rusage before{};
    ::getrusage(RUSAGE_SELF, &before);
    Clock::time_point start = Clock::now();
    for (const std::string& file : files)
        index.indexFile(file);
    index.waitUntilIdle(3600);
    Clock::time_point end = Clock::now();
    rusage after{};
    ::getrusage(RUSAGE_SELF, &after);
    return {milliseconds(end - start),
            processorMilliseconds(after) - processorMilliseconds(before)};
}

Run runCtags(const std::string& tree, const std::string& output) {
    ::unlink(output.c_str());
    Clock::time_point start = Clock::now();
    pid_t child = ::fork();
    if (child == 0) {
        // At the index thread's own priority, so that a busy machine slows both alike.
        ::setpriority(PRIO_PROCESS, 0, 19);
        // Its complaints about the tree's dangling links are not the benchmark's output.
        int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 2);
        ::execlp("ctags", "ctags", "-R", "--languages=PHP", "-f", output.c_str(), tree.c_str(),
                 static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    ::wait4(child, &status, 0, &usage);
    Clock::time_point end = Clock::now();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        std::printf("ctags failed (status %d)\n", status);
    return {milliseconds(end - start), processorMilliseconds(usage)};
}

// Names by kind from ctags' tags file: class, interface, trait, function (methods included).
std::map<std::string, std::set<std::string>> ctagsNames(const std::string& tagsFile) {
    static const std::map<std::string, std::string> kinds{
        {"c", "class"}, {"i", "interface"}, {"t", "trait"}, {"f", "function"}};
    std::map<std::string, std::set<std::string>> names;
    std::ifstream in(tagsFile);
    std::string line;
    while (std::getline(in, line)) {
        if (line.starts_with("!_"))
            continue;
        std::vector<std::string> fields;
        std::stringstream stream(line);
        std::string field;
        while (std::getline(stream, field, '\t'))
            fields.push_back(field);
        for (std::size_t i = 2; i + 1 < fields.size(); ++i) {
            if (!fields[i].ends_with(";\""))
                continue;
            if (auto kind = kinds.find(fields[i + 1]); kind != kinds.end())
                names[kind->second].insert(fields[0]);
            break;
        }
    }
    return names;
}

std::map<std::string, std::set<std::string>> indexNames(const std::string& databasePath) {
    std::map<std::string, std::set<std::string>> names;
    HVDatabase db(databasePath);
    if (!db.open(HVDatabase::Mode::ReadOnly))
        return names;
    auto rows = db.executeQuery(
        "SELECT DISTINCT keys.key, types.title FROM keys JOIN types ON keys.type=types.id");
    while (rows && rows->next())
        names[rows->stringForColumn(1)].insert(rows->stringForColumn(0));
    return names;
}

std::string examples(const std::set<std::string>& from, const std::set<std::string>& without,
                     std::size_t count, std::size_t* missing = nullptr) {
    std::string out;
    std::size_t found = 0;
    for (const std::string& name : from) {
        if (without.count(name))
            continue;
        if (found++ < count)
            out += (out.empty() ? "" : ", ") + name;
    }
    if (missing)
        *missing = found;
    return out.empty() ? "none" : out;
}

// Waits for the index to announce a path.
class InvalidationWatch {
public:
    explicit InvalidationWatch(HVCodeIndex& index)
        : m_observer(HVNotificationCenter::defaultCenter(),
                     HVNotificationCenter::defaultCenter().addObserver(
                         std::string(HVFileIndexInvalidatedNotification), &index,
                         [this](const HVNotification& note) {
                             auto path = note.userInfo.find("path");
                             if (path == note.userInfo.end() || !path->second.string())
                                 return;
                             std::lock_guard lock(m_mutex);
                             m_seen[*path->second.string()] = Clock::now();
                             m_condition.notify_all();
                         })) {}

    std::optional<Clock::time_point> waitFor(const std::string& path, double seconds) {
        std::unique_lock lock(m_mutex);
        bool seen = m_condition.wait_for(lock, std::chrono::duration<double>(seconds),
                                         [&] { return m_seen.count(path) > 0; });
        if (!seen)
            return std::nullopt;
        auto at = m_seen[path];
        m_seen.erase(path);
        return at;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_condition;
    std::map<std::string, Clock::time_point> m_seen;
    HVScopedObserver m_observer;
};

} // namespace

int main(int argc, char** argv) {
    HVDispatcher::main().adoptCurrentThread();
    // "--keys FILE…": what the indexer finds in each file, for tuning a definition.
    if (argc > 2 && std::string_view(argv[1]) == "--keys") {
        Defaults::createSupportDirectories();
        for (int i = 2; i < argc; ++i) {
            auto indexer = HVCodeIndexer::indexerForPath(argv[i]);
            if (!indexer)
                continue;
            for (const HVCodeIndexKey& key : indexer->indexFile(argv[i]))
                std::printf("%s\t%s\t%s\n", HVUnicode::utf8(key.key).c_str(),
                            HVUnicode::utf8(key.type).c_str(), key.classString.c_str());
        }
        return 0;
    }
    std::string tree = environment("HALVET_BENCH_CODE_TREE", "");
    std::string work = environment("HALVET_BENCH_WORK", "/tmp/halvet-bench/code-index");
    int rounds = std::max(1, std::atoi(environment("HALVET_BENCH_ROUNDS", "3").c_str()));
    std::string touchedName = environment("HALVET_BENCH_TOUCHED", "wp-includes/post.php");
    if (tree.empty() || !HVFileSystem::isDirectory(tree)) {
        std::printf("HALVET_BENCH_CODE_TREE must name a PHP tree\n");
        return 2;
    }
    HVFileSystem::createDirectory(work);
    Defaults::createSupportDirectories();
    std::vector<std::string> files = phpFiles(tree);
    std::uint64_t bytes = 0;
    for (const std::string& file : files)
        bytes += HVFileSystem::identityOfFile(file).value_or(HVFileIdentity{}).size;
    std::printf("tree: %s, %zu PHP files, %.1f MiB\n\n", tree.c_str(), files.size(),
                double(bytes) / (1024 * 1024));

    // 1. From scratch, taking turns.
    std::string databasePath = work + "/index.db";
    std::string tagsFile = work + "/tags";
    std::vector<double> ratios;
    std::vector<double> processorRatios;
    std::printf("== 1. index from scratch: wall-clock ms (processor ms); both at nice 19\n");
    for (int round = 1; round <= rounds; ++round) {
        Run ours, theirs;
        if (round % 2) {
            ours = indexFromScratch(databasePath, files);
            theirs = runCtags(tree, tagsFile);
        } else {
            theirs = runCtags(tree, tagsFile);
            ours = indexFromScratch(databasePath, files);
        }
        ratios.push_back(ours.wall / theirs.wall);
        processorRatios.push_back(ours.processor / theirs.processor);
        std::printf("  round %d: index %.0f (%.0f), ctags %.0f (%.0f), index/ctags x%.2f "
                    "(processor x%.2f)\n",
                    round, ours.wall, ours.processor, theirs.wall, theirs.processor, ratios.back(),
                    processorRatios.back());
    }
    std::printf("  median index/ctags: wall x%.2f, processor x%.2f (goal: at most x1.00)\n\n",
                percentile(ratios, 0.5), percentile(processorRatios, 0.5));

    // 2. Symbols.
    auto theirNames = ctagsNames(tagsFile);
    auto ourNames = indexNames(databasePath);
    std::set<std::string> allOurs;
    for (const auto& [type, names] : ourNames)
        allOurs.insert(names.begin(), names.end());
    std::printf("== 2. symbols: ctags' names that the index has (goal: at least 95%%)\n");
    std::size_t total = 0, found = 0;
    for (const auto& [kind, names] : theirNames) {
        std::size_t missing = 0;
        std::string missed = examples(names, allOurs, 6, &missing);
        total += names.size();
        found += names.size() - missing;
        std::printf("  %-9s ctags %6zu, found %6zu (%.1f%%); missed e.g. %s\n", kind.c_str(),
                    names.size(), names.size() - missing,
                    100.0 * double(names.size() - missing) /
                        double(std::max<std::size_t>(names.size(), 1)),
                    missed.c_str());
    }
    std::printf("  all       ctags %6zu, found %6zu (%.1f%%)\n", total, found,
                100.0 * double(found) / double(std::max<std::size_t>(total, 1)));
    std::set<std::string> allTheirs;
    for (const auto& [kind, names] : theirNames)
        allTheirs.insert(names.begin(), names.end());
    for (const auto& [type, names] : ourNames) {
        std::size_t extra = 0;
        std::string more = examples(names, allTheirs, 6, &extra);
        std::printf("  index %-9s %6zu names, %zu not in ctags' list, e.g. %s\n", type.c_str(),
                    names.size(), extra, more.c_str());
    }
    std::printf("\n");

    // 3 and 4 on the index that step 1 left.
    HVCodeIndex index(databasePath);
    index.start();
    for (const std::string& file : files)
        index.indexFile(file);
    index.waitUntilIdle(3600);
    InvalidationWatch watch(index);

    std::string touched = tree + "/" + touchedName;
    auto original = HVFileSystem::readFile(touched);
    if (!original) {
        std::printf("cannot read %s\n", touched.c_str());
        return 1;
    }
    std::vector<double> latencies;
    for (int i = 0; i < 20; ++i) {
        std::string bytes = *original + "\nfunction halvet_bench_touch_" + std::to_string(i) +
                            "() { return " + std::to_string(i) + "; }\n";
        Clock::time_point start = Clock::now();
        HVFileSystem::writeFileAtomically(touched, bytes);
        index.indexFile(touched);
        auto at = watch.waitFor(touched, 30);
        if (!at) {
            std::printf("  save %d: no invalidation within 30 s\n", i);
            continue;
        }
        latencies.push_back(milliseconds(*at - start));
    }
    HVFileSystem::writeFileAtomically(touched, *original);
    index.indexFile(touched);
    index.waitUntilIdle(60);
    if (!latencies.empty())
        std::printf("== 3. save to HVFileIndexInvalidated, %s (%zu KiB), %zu saves: median %.1f "
                    "ms, max %.1f ms (goal: under 100 ms)\n\n",
                    touchedName.c_str(), original->size() / 1024, latencies.size(),
                    percentile(latencies, 0.5),
                    *std::max_element(latencies.begin(), latencies.end()));

    // 4. A file that includes 50 others, in the tree's top folder.
    std::string includer = tree + "/halvet-bench-includes-50.php";
    std::string text = "<?php\n";
    int included = 0;
    for (const std::string& file : files) {
        if (file.find("/wp-includes/") == std::string::npos || file == touched)
            continue;
        text += "require_once '" + file + "';\n";
        if (++included == 50)
            break;
    }
    text += "function halvet_bench_includer() {}\n";
    HVFileSystem::writeFileAtomically(includer, text);
    index.indexFile(includer);
    index.waitUntilIdle(60);
    std::string classTitle = "text.php";
    {
        HVDatabase db(databasePath);
        db.open(HVDatabase::Mode::ReadOnly);
        if (auto value = db.valueForQuery("SELECT classes.title FROM keys JOIN classes ON "
                                          "keys.class=classes.id GROUP BY classes.title ORDER BY "
                                          "count(*) DESC"))
            if (auto* title = std::get_if<std::string>(&*value))
                classTitle = *title;
    }
    std::vector<double> queries;
    std::size_t answered = 0;
    for (int i = 0; i < 1000; ++i) {
        Clock::time_point start = Clock::now();
        auto keys = index.keysForType(std::nullopt, classTitle, includer);
        queries.push_back(milliseconds(Clock::now() - start));
        answered = keys.size();
    }
    std::printf("== 4. keysForType(none, \"%s\", a file including %d others): %zu keys; 1,000 "
                "queries: p50 %.2f ms, p99 %.2f ms, max %.2f ms (goal: p99 under 5 ms)\n",
                classTitle.c_str(), included, answered, percentile(queries, 0.5),
                percentile(queries, 0.99), *std::max_element(queries.begin(), queries.end()));
    ::unlink(includer.c_str());
    index.stop();
    return 0;
}
