#pragma once

#include "HVCodeIndexKey.h"
#include "HVError.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Posted with the file's path (a string under "path" in the user info)
// after a file was indexed again, from the index's thread; with no path when indexing was
// switched on.
inline constexpr std::string_view HVFileIndexInvalidatedNotification = "HVFileIndexInvalidated";

// The symbol index of the user's files: one SQLite database ("index.db" in the support folder)
// that a thread of its own fills from a queue of paths, and that completion asks for the
// symbols of a file and of every file it includes or whose tags it uses.
//
// The index never holds up editing: the main thread's queries wait at most a short busy
// time-out and answer nothing rather than wait for an indexing transaction; a database that is
// damaged, locked by another running copy, read-only or on a full disk is detected, rebuilt
// when it can be and otherwise skipped, and each such problem is reported once through the
// problem handler (the window shows it as a status-bar warning).
class HVCodeIndex {
public:
    using ProblemHandler = std::function<void(const HVError& problem)>;

    // An index over the database at path, not started.
    explicit HVCodeIndex(std::string databasePath);
    ~HVCodeIndex();
    HVCodeIndex(const HVCodeIndex&) = delete;
    HVCodeIndex& operator=(const HVCodeIndex&) = delete;

    // The program's index, over "index.db" in the support folder.
    static HVCodeIndex& sharedIndex();

    // Opens the database on the index's own thread and starts working the queue. Once.
    void start();
    // Stops the thread (the queue is dropped); the destructor does this too.
    void stop();

    // Queue a file or a folder (a folder's entries are queued in turn, breadth-first); any
    // thread. Nothing for an empty path.
    void indexFile(const std::string& path);
    void indexDirectory(const std::string& path);

    // The symbols of the given kind, language and file (each optional); the file brings in
    // everything it refers to, transitively. Nothing while indexing is off, without a
    // database, or when the database stays busy past the time-out. Main thread.
    std::vector<HVCodeIndexKey> keysForType(const std::optional<std::u16string>& type,
                                            const std::optional<std::string>& classString,
                                            const std::optional<std::string>& file);

    // "HVCodeIndexingEnabled": read when the index is made, written by setEnabled (which the
    // preferences call); switching on posts HVFileIndexInvalidated without a path and lets the
    // queue run again. While off, queued paths wait.
    bool enabled() const;
    void setEnabled(bool enabled);

    // Called on the main thread (through HVDispatcher::main()), once per kind of problem:
    // damaged (rebuilt; the old file kept as "index.db.damaged"), in use by another copy,
    // read-only, disk full, unusable. Problems found before a handler was set wait for it.
    void setProblemHandler(ProblemHandler handler);
    // Whether queries can read the database.
    bool hasDatabase() const;
    // Blocks until the queue is empty and the thread is idle, or the timeout passes; answers
    // whether it became idle. For tests and benchmarks.
    bool waitUntilIdle(double timeoutSeconds);

    const std::string& databasePath() const { return m_databasePath; }

private:
    struct State;
    std::string m_databasePath;
    std::unique_ptr<State> m_state;
};
