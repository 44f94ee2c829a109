#pragma once

#include "HVError.h"
#include "HVNotificationCenter.h"
#include "HVRange.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class HVFileDocument;
class HVMultiFileSearchNode;
class HVSearch;
class HVSearchRunner;
struct HVSearchScope;

// A question rather than a failure; its code only tells it apart from the others.
inline constexpr std::int64_t HVReplaceQuestionCode = 21;
inline constexpr std::int64_t HVSearchLocalCopyQuestionCode = 22;

// The model of the multi-file search window: what to search (the shared find panel's fields
// over a scope), the files found as they arrive, the counts, which matches Replace takes, the
// question before replacing, and the replacing itself (open documents in their editors as one
// undoable change each, other files on disk by the runner). The window only shows it.
class HVMultiFileSearchController {
public:
    enum class Mode { CurrentFile = 0, CurrentProject = 1, OpenFiles = 2, SpecificFiles = 3 };
    enum class CheckState { Unchecked, PartiallyChecked, Checked };

    HVMultiFileSearchController();
    ~HVMultiFileSearchController();
    HVMultiFileSearchController(const HVMultiFileSearchController&) = delete;
    HVMultiFileSearchController& operator=(const HVMultiFileSearchController&) = delete;

    Mode mode() const { return m_mode; }
    void setMode(Mode mode) { m_mode = mode; }
    // The files and folders of SpecificFiles, in the order chosen.
    const std::vector<std::string>& specificPaths() const { return m_specificPaths; }
    void setSpecificPaths(std::vector<std::string> paths) { m_specificPaths = std::move(paths); }
    // Asks for files, or for a folder (an open panel chooses one kind); what was chosen
    // becomes the specific paths and the mode SpecificFiles. The completion hears whether
    // anything was chosen.
    void chooseSpecificPaths(bool folder, std::function<void(bool chosen)> completion = nullptr);

    // Saves and activations search again only while the window is shown.
    void setVisible(bool visible) { m_visible = visible; }
    bool visible() const { return m_visible; }

    // "Find": clears the results and starts a search of the scope with the find panel's
    // fields (remembered in the history). False when nothing started: the fields are not
    // valid, there is no scope, or a project with a server side waits for its question or
    // may not be searched locally.
    bool find();
    // "Stop".
    void stop();
    bool searching() const;
    bool replacing() const { return m_replacing; }

    // The scope of a mode as it stands now (also for tests and the command line).
    std::optional<HVSearchScope> scope() const;

    const std::vector<std::shared_ptr<HVMultiFileSearchNode>>& nodes() const { return m_nodes; }
    std::size_t filesSearched() const { return m_searched; }
    std::size_t filesSkipped() const { return m_skipped; }
    std::size_t totalMatches() const;
    // "N files searched, M skipped, K matches".
    std::string progressText() const;

    // Replace takes the checked matches; every match starts checked.
    bool isResultChecked(std::size_t node, std::size_t result) const;
    void setResultChecked(std::size_t node, std::size_t result, bool checked);
    CheckState nodeCheckState(std::size_t node) const;
    void setNodeChecked(std::size_t node, bool checked);
    std::size_t checkedCount() const;

    // The question before replacing the checked matches, its answers "Replace" and "Cancel".
    HVError replaceQuestion() const;
    // Asks, then replaces the checked matches and clears the list. A search still running
    // when the question is answered is stopped and nothing is replaced. False when there is
    // nothing to replace.
    bool replace();

    // Opens the result's file (or brings its document forward) and selects the match.
    HVFileDocument* openResult(std::size_t node, std::size_t result);

    // The window listens here.
    std::function<void()> onReset;
    std::function<void(std::size_t first, std::size_t count)> onNodesInserted;
    std::function<void(std::size_t index)> onNodeChanged;
    std::function<void(std::size_t index)> onNodeRemoved;
    // Searching, replacing or the counts changed.
    std::function<void()> onStatusChanged;

private:
    class Listener;
    friend class Listener;

    struct Run {
        // Only this path is searched again; the rest of the list stays.
        std::optional<std::string> onlyPath;
    };

    void startSearch(const HVSearch& search, HVSearchScope scope, std::optional<std::string> only);
    bool startSearchOfScope();
    void clear();
    void nodesFound(std::vector<std::shared_ptr<HVMultiFileSearchNode>> nodes);
    void progress(std::size_t searched, std::size_t skipped);
    void searchFinished();
    void replacesFinished(std::vector<HVError> failures);
    void reallyReplace();
    std::optional<std::size_t> indexOfPath(const std::string& path) const;
    // The open document of a node's path (an untitled document by its name).
    HVFileDocument* documentForPath(const std::string& path) const;
    void documentSaved(HVFileDocument* document);
    void documentBecameActive(HVFileDocument* document);
    bool inScope(const std::string& path) const;
    void statusChanged();

    Mode m_mode = Mode::CurrentFile;
    std::vector<std::string> m_specificPaths;
    bool m_visible = false;
    // The file of CurrentFile when an activation named it.
    std::string m_currentFilePath;
    std::vector<std::shared_ptr<HVMultiFileSearchNode>> m_nodes;
    std::vector<std::vector<bool>> m_checked;
    std::size_t m_searched = 0;
    std::size_t m_skipped = 0;
    Run m_run;
    // Whether a run of one path sent that path back; when not, it holds no match any more.
    bool m_onlyPathAnswered = false;
    std::unique_ptr<HVSearch> m_search;
    std::shared_ptr<Listener> m_listener;
    std::unique_ptr<HVSearchRunner> m_runner;
    std::shared_ptr<Listener> m_replaceListener;
    std::unique_ptr<HVSearchRunner> m_replaceRunner;
    bool m_replacing = false;
    bool m_asking = false;
    HVScopedObserver m_saveObserver;
    HVScopedObserver m_activeObserver;
    // Expires with the controller: answers that come later check it first.
    std::shared_ptr<void> m_lifetime = std::make_shared<char>(0);
};
