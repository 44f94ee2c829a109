// The project window on a big web tree (bench/make-web-tree), timed on the main thread as a
// person would feel it. Each round starts from an empty project registry (a new support
// directory), so the folder opens as a project never seen before, with nothing expanded.
//
// Open: from the open request until the tree's viewport has been painted with the root's rows.
// Expand: from expanding the folder "many" (2,000 pages) until the view has painted its rows.
// Idle: processor time (user + system, every thread) of the process while the event loop runs
// untouched with ten folders expanded and watched; a quiet editor costs nothing here, so the
// bound is zero, and the goal leaves room for the odd timer.
//
// HALVET_BENCH_TREE names the tree; HALVET_BENCH_ROUNDS (default 5) the rounds;
// HALVET_BENCH_IDLE_SECONDS (default 60) shortens the idle time for a quick check.

#include "HVApplicationController.h"
#include "HVDispatcher.h"
#include "HVDocumentController.h"
#include "HVDocumentWindow.h"
#include "HVFileTreeModel.h"
#include "HVProjectRepository.h"
#include "HVProjectTreeView.h"

#include "HVWindowBenchSupport.h"

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace {

using Clock = HVBenchClock;

// Notes when a project tree's viewport has finished a paint, and what the model held then.
class PaintWatchingApplication : public QApplication {
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override {
        const bool paint = event->type() == QEvent::Paint;
        bool result = QApplication::notify(receiver, event);
        if (paint && paintDone && !done) {
            if (auto* tree = qobject_cast<HVProjectTreeView*>(receiver->parent());
                tree && receiver == tree->viewport() && paintDone(*tree)) {
                done = true;
                doneAt = Clock::now();
            }
        }
        return result;
    }

    // Asked after every paint of a tree's viewport until it answers true.
    void watch(std::function<bool(HVProjectTreeView&)> condition) {
        done = false;
        paintDone = std::move(condition);
    }

    std::function<bool(HVProjectTreeView&)> paintDone;
    bool done = false;
    Clock::time_point doneAt;
};

PaintWatchingApplication* application;

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

int environmentNumber(const char* name, int fallback) {
    const char* value = std::getenv(name);
    return value && *value ? std::atoi(value) : fallback;
}

double elapsedMs(Clock::time_point start, Clock::time_point end) {
    return std::chrono::duration<double, std::milli>(end - start).count();
}

// Opened, a project stores itself in the support directory and may leave a project file at the
// tree's top: both go, so the next round meets the folder as new.
void forgetProjects(const std::string& tree, const std::string& supportBase, int round) {
    for (const auto& entry : std::filesystem::directory_iterator(tree))
        if (entry.path().extension() == ".hvproj")
            std::filesystem::remove(entry.path());
    const std::string data = supportBase + "/round-" + std::to_string(round);
    std::filesystem::create_directories(data);
    ::setenv("XDG_DATA_HOME", data.c_str(), 1);
    HVProjectRepository::sharedInstance().reload();
}

// Closes every window, then forgets the documents, as quitting does.
void closeAll(std::unique_ptr<HVApplicationController>& controller) {
    application->watch(nullptr);
    controller.reset();
    QApplication::processEvents();
    HVDocumentController::sharedController().reset();
    HVDispatcher::main().runPending();
}

QModelIndex childNamed(const QAbstractItemModel& model, const QModelIndex& parent,
                       const QString& name) {
    for (int row = 0; row < model.rowCount(parent); ++row) {
        QModelIndex index = model.index(row, HVFileTreeModel::NameColumn, parent);
        if (index.data().toString() == name)
            return index;
    }
    return {};
}

// Ten folders, breadth first, the one already open counted among them.
std::vector<QModelIndex> tenFolders(HVProjectTreeView& tree) {
    auto* model = tree.fileModel();
    std::vector<QModelIndex> folders;
    std::deque<QModelIndex> queue{QModelIndex()};
    while (!queue.empty() && folders.size() < 10) {
        QModelIndex parent = queue.front();
        queue.pop_front();
        if (parent.isValid() && !tree.isExpanded(parent))
            tree.expand(parent);
        for (int row = 0; row < model->rowCount(parent) && folders.size() < 10; ++row) {
            QModelIndex index = model->index(row, HVFileTreeModel::NameColumn, parent);
            if (!model->hasChildren(index))
                continue;
            folders.push_back(index);
            queue.push_back(index);
        }
    }
    for (const QModelIndex& index : folders)
        tree.expand(index);
    return folders;
}

struct Round {
    double openMs = 0;
    double openRequestMs = 0;
    double expandMs = 0;
    double expandCallMs = 0;
    double idleCpuS = 0;
};

Round runRound(std::unique_ptr<HVApplicationController>& controller, const std::string& tree,
               int idleSeconds) {
    Round round;
    application->watch([](HVProjectTreeView& view) { return view.model()->rowCount() > 0; });
    auto start = Clock::now();
    HVDocumentController::sharedController().openDocumentWithContentsOfFile(tree, true);
    round.openRequestMs = HVMillisecondsSince(start);
    HVDocumentWindow* window = controller->frontWindow();
    if (!window || !window->projectTree())
        throw std::runtime_error("no project window for " + tree);
    HVProjectTreeView& view = *window->projectTree();
    if (!HVRunUntil([] { return application->done; }))
        throw std::runtime_error("the tree was never painted");
    round.openMs = elapsedMs(start, application->doneAt);

    QModelIndex many = childNamed(*view.model(), {}, QStringLiteral("many"));
    if (!many.isValid())
        throw std::runtime_error("no folder \"many\" in " + tree);
    QPersistentModelIndex watched(many);
    application->watch([watched](HVProjectTreeView& painted) {
        return painted.model()->rowCount(watched) >= 2000;
    });
    start = Clock::now();
    view.expand(many);
    round.expandCallMs = HVMillisecondsSince(start);
    if (!HVRunUntil([] { return application->done; }))
        throw std::runtime_error("\"many\" was never painted with its rows");
    round.expandMs = elapsedMs(start, application->doneAt);

    std::vector<QModelIndex> folders = tenFolders(view);
    application->watch(nullptr);
    QApplication::processEvents();
    int expanded = 0;
    for (const QModelIndex& index : folders)
        expanded += view.isExpanded(index) ? 1 : 0;
    // Whatever the expansions left to do settles before the quiet time starts.
    HVRunUntil([] { return false; }, 1000);

    int rows = view.model()->rowCount();
    for (const QModelIndex& index : folders)
        rows += view.model()->rowCount(index);
    std::printf("  (%d folders expanded, %d rows shown)\n", expanded, rows);

    // A loop of its own runs the events as the application's does, without the quitting that
    // ending QApplication::exec would set off.
    QEventLoop idle;
    QTimer::singleShot(idleSeconds * 1000, &idle, &QEventLoop::quit);
    const double before = cpuSeconds();
    idle.exec();
    round.idleCpuS = cpuSeconds() - before;
    return round;
}

struct Figures {
    double median;
    double worst;
};

Figures figures(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return {values[values.size() / 2], values.back()};
}

} // namespace

int main(int argc, char** argv) {
    if (!std::getenv("DISPLAY"))
        ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    application = new PaintWatchingApplication(argc, argv);
    // Closing the windows between rounds must not end the application.
    QApplication::setQuitOnLastWindowClosed(false);
    const char* treeValue = std::getenv("HALVET_BENCH_TREE");
    const char* supportValue = std::getenv("HALVET_BENCH_SUPPORT");
    if (!treeValue || !supportValue) {
        std::fprintf(stderr, "set HALVET_BENCH_TREE and HALVET_BENCH_SUPPORT\n");
        return 2;
    }
    const std::string tree = std::filesystem::canonical(treeValue).string();
    const int rounds = std::max(1, environmentNumber("HALVET_BENCH_ROUNDS", 5));
    const int idleSeconds = std::max(1, environmentNumber("HALVET_BENCH_IDLE_SECONDS", 60));
    std::printf("platform %s, tree %s, %d rounds, idle %d s\n",
                qPrintable(QApplication::platformName()), tree.c_str(), rounds, idleSeconds);

    std::vector<double> opens, expands, idles;
    for (int i = 0; i < rounds; ++i) {
        forgetProjects(tree, supportValue, i + 1);
        auto controller = std::make_unique<HVApplicationController>();
        Round round = runRound(controller, tree, idleSeconds);
        closeAll(controller);
        std::printf("round %d: open %.1f ms (request %.1f ms), expand \"many\" %.1f ms "
                    "(expand call %.1f ms), idle %d s: %.3f s processor\n",
                    i + 1, round.openMs, round.openRequestMs, round.expandMs, round.expandCallMs,
                    idleSeconds, round.idleCpuS);
        std::fflush(stdout);
        opens.push_back(round.openMs);
        expands.push_back(round.expandMs);
        idles.push_back(round.idleCpuS);
    }
    forgetProjects(tree, supportValue, rounds + 1);
    Figures open = figures(opens), expand = figures(expands), idle = figures(idles);
    std::printf("Open to first painted tree: median %.1f ms, worst %.1f ms (goal < 100 ms)\n",
                open.median, open.worst);
    std::printf("Expand \"many\" (2,000 files) to painted rows: median %.1f ms, worst %.1f ms "
                "(goal < 50 ms)\n",
                expand.median, expand.worst);
    std::printf("Idle %d s with ten folders expanded: median %.3f s, worst %.3f s processor "
                "(goal < 0.1 s over 60 s)\n",
                idleSeconds, idle.median, idle.worst);
    return 0;
}
