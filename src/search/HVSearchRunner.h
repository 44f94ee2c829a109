#pragma once

#include "HVError.h"
#include "HVMultiFileSearchNode.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class HVSearch;

// What a multi-file search covers: files and folders (folders walked in name order, skipping
// the names the shared file filters hide and files that are not text), and the texts of open
// documents, searched instead of their files so that unsaved edits are found.
struct HVSearchScope {
    std::vector<std::string> paths;
    // Full texts of open documents by path (an untitled document by its display name).
    std::map<std::string, std::u16string> openTexts;
    // Per-file encodings chosen by the user (a project's settings); others are detected as on
    // opening.
    std::map<std::string, std::uint32_t> encodings;
};

// One file's replacements: the ranges (ascending, from that file's node) and the search that
// found them, whose replace template makes the new text.
struct HVReplaceJob {
    std::shared_ptr<HVMultiFileSearchNode> node;
    std::vector<HVRange> ranges;
};

// The receiver of a runner's work, on the main thread (through HVDispatcher::main()).
class HVSearchRunnerDelegate {
public:
    virtual ~HVSearchRunnerDelegate();
    // Nodes in the scope's order (files of a folder in name order), several at a time as they
    // are ready; files without results are not sent unless they were skipped with a reason.
    virtual void searchRunnerFoundNodes(std::vector<std::shared_ptr<HVMultiFileSearchNode>> nodes);
    // Counts so far: files searched, files skipped (not text, filtered, unreadable).
    virtual void searchRunnerProgress(std::size_t searched, std::size_t skipped);
    virtual void searchRunnerDidFinishAllSearches(bool cancelled);
    // Files on disk that could not be written keep their bytes; each failure is listed.
    virtual void searchRunnerDidFinishAllReplaces(std::vector<HVError> failures);
};

// Multi-file search and replace on threads of its own: files are read, decoded in their own
// encoding and matched in parallel, and reported in a fixed order. The editor stays
// responsive: the main thread only receives finished nodes.
class HVSearchRunner {
public:
    // Called on the calling thread, in order, for the synchronous run.
    using NodeHandler = std::function<void(std::shared_ptr<HVMultiFileSearchNode> node)>;

    explicit HVSearchRunner(std::weak_ptr<HVSearchRunnerDelegate> delegate);
    ~HVSearchRunner();
    HVSearchRunner(const HVSearchRunner&) = delete;
    HVSearchRunner& operator=(const HVSearchRunner&) = delete;

    // Starts searching in the background (a copy of the search is taken); a search already
    // running is cancelled first.
    void runSearch(const HVSearch& search, HVSearchScope scope);
    // Replaces in files on disk, in the background: each file read again in its encoding, the
    // ranges that still match replaced, written atomically in the same encoding with its line
    // breaks and permissions. Open documents are the caller's (one undoable change each).
    void runReplaces(const HVSearch& search, std::vector<HVReplaceJob> jobs);
    // Stops at the next file; nothing is half-written.
    void cancel();
    bool runningSearch() const;
    bool runningReplace() const;

    // The same search on the calling thread, for the command line: handler gets every file
    // with results or a reason, in order; answers whether it ran to the end. threads 0 means
    // one per core.
    static bool searchNow(const HVSearch& search, const HVSearchScope& scope,
                          const NodeHandler& handler, unsigned threads = 0,
                          const std::atomic<bool>* cancelled = nullptr);
    // The new text of one file's ranges, replaced in text with the double-check (ranges whose
    // text no longer matches are left). Answers the number replaced.
    static std::size_t replaceInText(HVSearch& search, std::u16string& text,
                                     const std::vector<HVRange>& ranges);

private:
    struct State;
    std::shared_ptr<State> m_state;
};
