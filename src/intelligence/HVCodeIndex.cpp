#include "HVCodeIndex.h"

#include "Defaults.h"
#include "HVCodeIndexer.h"
#include "HVDatabase.h"
#include "HVDispatcher.h"
#include "HVFileSystem.h"
#include "HVNotificationCenter.h"
#include "HVPreferences.h"
#include "HVUnicode.h"

#include <openssl/evp.h>
#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <dirent.h>
#include <map>
#include <mutex>
#include <set>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr std::string_view kEnabledKey = "HVCodeIndexingEnabled";
constexpr std::string_view kErrorDomain = "com.ternwick.halvet.index";

// What can be wrong with the database; each is reported once per index.
enum Problem : std::int64_t {
    NoProblem = 0,
    DamagedProblem = 1,
    InUseProblem = 2,
    ReadOnlyProblem = 3,
    DiskFullProblem = 4,
    UnusableProblem = 5,
};

// The index thread waits this long for another connection's lock before it gives up; the
// main thread's queries wait only a moment and answer nothing rather than hold up typing.
constexpr int kWriterBusyMilliseconds = 1000;
constexpr int kReaderBusyMilliseconds = 20;

constexpr const char* kSchema1[] = {
    "CREATE TABLE files (id integer PRIMARY KEY AUTOINCREMENT, path text, last_update numeric)",
    "CREATE TABLE referencedFiles (src_id integer, dst_id integer)",
    "CREATE TABLE keys (id integer PRIMARY KEY AUTOINCREMENT, file_id integer, parent_id integer "
    "DEFAULT 0, key text, completion text, range text, type integer, class integer)",
    "CREATE TABLE types (id integer PRIMARY KEY AUTOINCREMENT, title text NOT NULL)",
    "CREATE TABLE classes (id integer PRIMARY KEY AUTOINCREMENT, title text NOT NULL)",
};
constexpr const char* kSchema2Tables[] = {
    "CREATE TABLE tags (id integer PRIMARY KEY AUTOINCREMENT, file_id integer DEFAULT 0, tag "
    "text NOT NULL)",
    "CREATE INDEX tag_index ON tags (tag)",
    "CREATE TABLE referencedTags (file_id integer, tag_id integer)",
    "CREATE TABLE config (version integer)",
};
constexpr const char* kRecordVersion2 = "INSERT INTO config (version) VALUES (2)";
constexpr const char* kEmptyVersion1[] = {
    "DELETE FROM tags",  "DELETE FROM referencedTags",  "DELETE FROM config",
    "DELETE FROM files", "DELETE FROM referencedFiles", "DELETE FROM keys",
    "DELETE FROM types", "DELETE FROM classes",
};
// Lookups by file that every re-index and every completion query makes; without them each
// is a scan of the whole table. Made on every open, so older files get them too.
constexpr const char* kLookupIndexes[] = {
    "CREATE INDEX IF NOT EXISTS keys_file_index ON keys (file_id)",
    "CREATE INDEX IF NOT EXISTS referenced_files_index ON referencedFiles (src_id)",
    "CREATE INDEX IF NOT EXISTS referenced_tags_index ON referencedTags (file_id)",
    "CREATE INDEX IF NOT EXISTS files_path_index ON files (path)",
};

std::string md5Hex(std::string_view bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_md5(), nullptr) != 1)
        return {};
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        hex += kHex[digest[i] >> 4];
        hex += kHex[digest[i] & 0xf];
    }
    return hex;
}

Problem problemForCode(int code) {
    switch (code & 0xff) {
    case SQLITE_OK:
        return NoProblem;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return InUseProblem;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return DamagedProblem;
    case SQLITE_READONLY:
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return ReadOnlyProblem;
    case SQLITE_FULL:
        return DiskFullProblem;
    default:
        return UnusableProblem;
    }
}

HVError errorForProblem(Problem problem, const std::string& path, const std::string& detail) {
    std::string description;
    std::string suggestion;
    switch (problem) {
    case DamagedProblem:
        description = "The symbol index was damaged and is being rebuilt.";
        suggestion = "The damaged copy was kept as \"" + HVFileSystem::lastPathComponent(path) +
                     ".damaged\".";
        break;
    case InUseProblem:
        description = "The symbol index is in use by another running copy of Halvet.";
        suggestion = "Completion offers what is indexed already; files are indexed again when "
                     "Halvet starts next.";
        break;
    case ReadOnlyProblem:
        description = "The symbol index cannot be written.";
        suggestion = "Check the permissions of \"" + path +
                     "\" and its folder; files are indexed again when Halvet starts next.";
        break;
    case DiskFullProblem:
        description = "The disk is full: the symbol index cannot take more files.";
        suggestion = "Files saved after some space is free are indexed again.";
        break;
    default:
        description = "The symbol index cannot be used.";
        suggestion = detail;
        break;
    }
    HVError error(kErrorDomain, problem, description, suggestion);
    error.setLowPriority(true);
    error.setUserInfoValue(HVFilePathErrorKey, path);
    if (!detail.empty())
        error.setUserInfoValue("HVDatabaseMessage", detail);
    return error;
}

// The paths of a folder's entries, in name order; none when it cannot be read.
std::vector<std::string> entriesOfFolder(const std::string& path) {
    std::vector<std::string> entries;
    DIR* directory = ::opendir(path.c_str());
    if (!directory)
        return entries;
    while (dirent* entry = ::readdir(directory)) {
        std::string_view name = entry->d_name;
        if (name != "." && name != "..")
            entries.push_back(HVFileSystem::appendingPathComponent(path, name));
    }
    ::closedir(directory);
    std::sort(entries.begin(), entries.end());
    return entries;
}

} // namespace

struct HVCodeIndex::State {
    std::string path;
    // The poster of the notifications.
    const void* owner = nullptr;

    std::mutex queueMutex;
    std::condition_variable wake;
    std::condition_variable idle;
    std::deque<std::string> queue;
    bool started = false;
    bool ready = false;
    bool working = false;
    bool stopping = false;
    std::thread thread;
    std::atomic<bool> enabled{true};

    // The index thread's connection; none when the database cannot be written.
    std::unique_ptr<HVDatabase> writer;

    // The main thread's read-only connection, opened again whenever the writer replaced the
    // database (generation).
    std::mutex readerMutex;
    std::unique_ptr<HVDatabase> reader;
    std::uint64_t readerGeneration = 0;
    std::atomic<std::uint64_t> generation{1};
    std::atomic<bool> readable{false};

    std::mutex cacheMutex;
    std::map<std::string, std::int64_t, std::less<>> typeIDs;
    std::map<std::int64_t, std::string> typeTitles;
    std::map<std::string, std::int64_t, std::less<>> classIDs;

    std::mutex problemMutex;
    ProblemHandler problemHandler;
    std::set<std::int64_t> reported;
    std::vector<HVError> undelivered;

    void run();
    void openDatabase();
    Problem tryOpen(bool existed, std::string& detail);
    void moveAside();
    void loadCaches();
    void processFile(const std::string& path);
    void reindex(const std::string& path, std::optional<std::int64_t> fileID, double modified,
                 HVCodeIndexer& indexer);
    std::optional<std::int64_t> fileRowForDigest(const std::string& digest, bool create);
    std::optional<std::int64_t> titleID(std::string_view table, const std::string& title,
                                        bool create);
    void handleWriteFailure(const std::string& path);
    void stopWriting();
    // Files indexed one after another share a transaction: a commit costs more than indexing
    // a file. The batch is committed when the queue runs dry, or after a short while so that
    // completion sees a large tree fill in.
    bool batchIsDue() const;
    void commitBatch();
    std::vector<std::string> batch;
    std::chrono::steady_clock::time_point batchStarted;
    void report(Problem problem, const std::string& detail = {});
    void applyEnabled(bool on);

    bool ensureReader();
    std::optional<std::int64_t> readerTitleID(std::string_view table, const std::string& title);
    std::optional<std::string> readerTypeTitle(std::int64_t id);
    std::vector<std::int64_t> fileIDsForPath(const std::string& path);
};

HVCodeIndex::HVCodeIndex(std::string databasePath)
    : m_databasePath(std::move(databasePath)), m_state(std::make_unique<State>()) {
    m_state->path = m_databasePath;
    m_state->owner = this;
    m_state->enabled = HVPreferences::sharedInstance().boolForKey(kEnabledKey).value_or(true);
}

HVCodeIndex::~HVCodeIndex() {
    stop();
}

HVCodeIndex& HVCodeIndex::sharedIndex() {
    // Never destroyed: its thread may still be working when the program exits.
    static HVCodeIndex* index = new HVCodeIndex(Defaults::appSupportPathForFile("index.db"));
    return *index;
}

void HVCodeIndex::start() {
    std::lock_guard lock(m_state->queueMutex);
    if (m_state->started)
        return;
    m_state->started = true;
    m_state->thread = std::thread([state = m_state.get()] { state->run(); });
}

void HVCodeIndex::stop() {
    {
        // The reader goes first, so that the writer is the last connection and its close
        // folds the log back into the database.
        std::lock_guard lock(m_state->readerMutex);
        m_state->reader.reset();
        m_state->readable = false;
    }
    {
        std::lock_guard lock(m_state->queueMutex);
        m_state->stopping = true;
        m_state->queue.clear();
    }
    m_state->wake.notify_all();
    if (m_state->thread.joinable())
        m_state->thread.join();
}

void HVCodeIndex::indexFile(const std::string& path) {
    if (path.empty())
        return;
    {
        std::lock_guard lock(m_state->queueMutex);
        m_state->queue.push_back(path);
    }
    m_state->wake.notify_one();
}

void HVCodeIndex::indexDirectory(const std::string& path) {
    if (path.empty())
        return;
    std::vector<std::string> entries = entriesOfFolder(path);
    {
        std::lock_guard lock(m_state->queueMutex);
        m_state->queue.insert(m_state->queue.end(), entries.begin(), entries.end());
    }
    m_state->wake.notify_one();
}

bool HVCodeIndex::enabled() const {
    return m_state->enabled;
}

void HVCodeIndex::setEnabled(bool enabled) {
    // The store is looked up at each use: the program's store may be replaced (tests do), and
    // the index lives as long as the program.
    HVPreferences::sharedInstance().setObject(kEnabledKey, enabled);
    m_state->applyEnabled(enabled);
}

void HVCodeIndex::State::applyEnabled(bool on) {
    bool was;
    {
        // Under the queue's lock, so that the thread cannot miss the change between testing
        // the flag and going to sleep.
        std::lock_guard lock(queueMutex);
        was = enabled.exchange(on);
    }
    if (on && !was) {
        wake.notify_all();
        HVNotificationCenter::defaultCenter().postNotificationName(
            std::string(HVFileIndexInvalidatedNotification), owner);
    }
    if (!on)
        idle.notify_all();
}

void HVCodeIndex::setProblemHandler(ProblemHandler handler) {
    std::vector<HVError> undelivered;
    {
        std::lock_guard lock(m_state->problemMutex);
        m_state->problemHandler = handler;
        if (handler)
            undelivered.swap(m_state->undelivered);
    }
    for (HVError& error : undelivered)
        HVDispatcher::main().post([handler, error] { handler(error); });
}

bool HVCodeIndex::hasDatabase() const {
    return m_state->readable;
}

bool HVCodeIndex::waitUntilIdle(double timeoutSeconds) {
    std::unique_lock lock(m_state->queueMutex);
    return m_state->idle.wait_for(
        lock, std::chrono::duration<double>(timeoutSeconds), [state = m_state.get()] {
            return state->ready && !state->working && (state->queue.empty() || !state->enabled);
        });
}

// MARK: - The index thread

void HVCodeIndex::State::run() {
    // The lowest share of the processor that still gets one: SCHED_IDLE would starve the index
    // completely while a build keeps every core busy, and a saved file would wait for it.
    ::setpriority(PRIO_PROCESS, ::gettid(), 19);
    openDatabase();
    std::unique_lock lock(queueMutex);
    ready = true;
    idle.notify_all();
    while (true) {
        wake.wait(lock, [this] { return stopping || (!queue.empty() && enabled); });
        if (stopping)
            break;
        std::string path = std::move(queue.front());
        queue.pop_front();
        working = true;
        lock.unlock();
        processFile(path);
        lock.lock();
        if (queue.empty() || !enabled || stopping || batchIsDue()) {
            lock.unlock();
            commitBatch();
            lock.lock();
        }
        working = false;
        if (queue.empty())
            idle.notify_all();
    }
    lock.unlock();
    commitBatch();
    writer.reset();
    idle.notify_all();
}

void HVCodeIndex::State::openDatabase() {
    HVFileSystem::createDirectory(HVFileSystem::deletingLastPathComponent(path));
    bool existed = HVFileSystem::exists(path);
    // The shared-memory index of a log whose log is gone: the log's transactions are lost and
    // the database may hold half of a checkpoint. Nothing in it can be trusted.
    if (existed && HVFileSystem::exists(path + "-shm") && !HVFileSystem::exists(path + "-wal")) {
        report(DamagedProblem, "the database's log is missing");
        moveAside();
        existed = false;
    }
    std::string detail;
    Problem problem = tryOpen(existed, detail);
    if (problem == DamagedProblem) {
        report(DamagedProblem, detail);
        moveAside();
        problem = tryOpen(false, detail);
    }
    if (problem == NoProblem) {
        readable = true;
        return;
    }
    writer.reset();
    report(problem, detail);
    // A database that only cannot be written still answers queries.
    readable = problem == ReadOnlyProblem && HVFileSystem::exists(path);
}

Problem HVCodeIndex::State::tryOpen(bool existed, std::string& detail) {
    writer = std::make_unique<HVDatabase>(path);
    HVDatabase& db = *writer;
    auto failure = [&] {
        detail = db.lastErrorMessage();
        Problem problem = problemForCode(db.lastErrorCode());
        return problem == NoProblem ? UnusableProblem : problem;
    };
    if (!db.open(HVDatabase::Mode::ReadWriteCreate))
        return failure();
    db.setBusyTimeout(kWriterBusyMilliseconds);
    if (db.isReadOnly())
        return ReadOnlyProblem;
    // A log beside the database lets the main thread read while this thread writes.
    auto mode = db.valueForQuery("PRAGMA journal_mode=WAL");
    if (!mode)
        return failure();
    const auto* modeName = std::get_if<std::string>(&*mode);
    if (!modeName || *modeName != "wal") {
        detail = "the database's log cannot be made";
        return ReadOnlyProblem;
    }
    // No waiting for the disk: the index can always be made again from the files, a crash of
    // the program loses nothing the system has been handed, and what a crash of the system
    // damages is found by the check below at the next start and rebuilt.
    db.executeUpdate("PRAGMA synchronous=OFF");
    if (existed) {
        auto check = db.valueForQuery("PRAGMA quick_check");
        if (!check)
            return failure();
        const auto* result = std::get_if<std::string>(&*check);
        if (!result || *result != "ok") {
            detail = result ? *result : std::string("the check failed");
            return DamagedProblem;
        }
    }
    auto tables = db.valueForQuery("SELECT count(*) FROM sqlite_master");
    if (!tables)
        return failure();
    bool fresh = std::get<std::int64_t>(*tables) == 0;
    auto run = [&](const auto& statements) {
        for (const char* statement : statements) {
            if (!db.executeUpdate(statement))
                return false;
        }
        return true;
    };
    if (fresh) {
        if (!db.beginImmediateTransaction())
            return failure();
        if (!run(kSchema1) || !run(kSchema2Tables) || !db.executeUpdate(kRecordVersion2) ||
            !db.commit()) {
            Problem problem = failure();
            db.rollback();
            return problem;
        }
    } else {
        std::int64_t version = 1;
        if (auto row = db.valueForQuery("SELECT version FROM config ORDER BY version DESC")) {
            if (const auto* number = std::get_if<std::int64_t>(&*row))
                version = *number;
        } else if (db.lastPrimaryErrorCode() != SQLITE_ERROR) {
            return failure(); // not a missing table but a lock or damage
        }
        if (version == 1) {
            // Version 1 knew no tags; its symbols are dropped and made again as files are
            // indexed.
            if (!db.beginImmediateTransaction())
                return failure();
            if (!run(kSchema2Tables) || !run(kEmptyVersion1) ||
                !db.executeUpdate(kRecordVersion2) || !db.commit()) {
                Problem problem = failure();
                db.rollback();
                return problem;
            }
        }
    }
    if (!run(kLookupIndexes))
        return failure();
    loadCaches();
    return NoProblem;
}

void HVCodeIndex::State::moveAside() {
    writer.reset();
    std::string damaged = path + ".damaged";
    ::unlink(damaged.c_str());
    ::rename(path.c_str(), damaged.c_str());
    for (const char* suffix : {"-wal", "-shm", "-journal"})
        ::unlink((path + suffix).c_str());
    ++generation;
    std::lock_guard lock(cacheMutex);
    typeIDs.clear();
    typeTitles.clear();
    classIDs.clear();
}

void HVCodeIndex::State::loadCaches() {
    std::lock_guard lock(cacheMutex);
    typeIDs.clear();
    typeTitles.clear();
    classIDs.clear();
    if (!writer)
        return;
    if (auto rows = writer->executeQuery("SELECT id, title FROM classes")) {
        while (rows->next())
            classIDs[rows->stringForColumn(1)] = rows->intForColumn(0);
    }
    if (auto rows = writer->executeQuery("SELECT id, title FROM types")) {
        while (rows->next()) {
            typeIDs[rows->stringForColumn(1)] = rows->intForColumn(0);
            typeTitles[rows->intForColumn(0)] = rows->stringForColumn(1);
        }
    }
}

void HVCodeIndex::State::report(Problem problem, const std::string& detail) {
    HVError error = errorForProblem(problem, path, detail);
    ProblemHandler handler;
    {
        std::lock_guard lock(problemMutex);
        if (!reported.insert(problem).second)
            return;
        if (!problemHandler) {
            undelivered.push_back(error);
            return;
        }
        handler = problemHandler;
    }
    HVDispatcher::main().post([handler, error] { handler(error); });
}

void HVCodeIndex::State::processFile(const std::string& path) {
    if (path.ends_with(".svn") || path.ends_with("CVS") ||
        HVFileSystem::lastPathComponent(path).starts_with(".tmp_Halvet"))
        return;
    struct stat info;
    if (::stat(path.c_str(), &info) != 0)
        return;
    if (S_ISDIR(info.st_mode)) {
        // A linked folder is not walked: a link to an ancestor would walk for ever.
        struct stat link;
        if (::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode))
            return;
        std::vector<std::string> entries = entriesOfFolder(path);
        std::lock_guard lock(queueMutex);
        queue.insert(queue.end(), entries.begin(), entries.end());
        return;
    }
    if (!writer)
        return;
    auto indexer = HVCodeIndexer::indexerForPath(path);
    if (!indexer)
        return;
    std::string digest = md5Hex(path);
    std::optional<std::int64_t> fileID;
    double lastUpdate = -1;
    if (auto rows =
            writer->executeQuery("SELECT id, last_update FROM files WHERE path=?", {digest})) {
        if (rows->next()) {
            fileID = rows->intForColumn(0);
            if (!rows->columnIsNull(1))
                lastUpdate = rows->doubleForColumn(1);
        }
    }
    if (writer->hadError()) {
        handleWriteFailure(path);
        return;
    }
    // To the nanosecond, not the whole second: two saves within one second are two versions.
    double modified = double(info.st_mtim.tv_sec) + double(info.st_mtim.tv_nsec) / 1e9;
    if (lastUpdate >= modified)
        return;
    reindex(path, fileID, modified, *indexer);
}

void HVCodeIndex::State::reindex(const std::string& path, std::optional<std::int64_t> fileID,
                                 double modified, HVCodeIndexer& indexer) {
    std::vector<HVCodeIndexKey> keys = indexer.indexFile(path);
    HVDatabase& db = *writer;
    // A statement that fails for its own reasons leaves the rest of the file standing; these
    // mean the database itself cannot go on.
    auto failed = [&] {
        if (!db.hadError())
            return false;
        switch (db.lastPrimaryErrorCode()) {
        case SQLITE_CONSTRAINT:
        case SQLITE_MISMATCH:
        case SQLITE_TOOBIG:
        case SQLITE_RANGE:
            return false;
        default:
            return true;
        }
    };
    if (!db.inTransaction()) {
        if (!db.beginImmediateTransaction()) {
            handleWriteFailure(path);
            return;
        }
        batchStarted = std::chrono::steady_clock::now();
    }
    auto write = [&]() -> bool {
        if (fileID) {
            for (const char* statement :
                 {"DELETE FROM keys WHERE file_id=?", "DELETE FROM referencedFiles WHERE src_id=?",
                  "DELETE FROM referencedTags WHERE file_id=?",
                  "DELETE FROM tags WHERE file_id=?"}) {
                db.executeUpdate(statement, {*fileID});
                if (failed())
                    return false;
            }
        } else {
            fileID = fileRowForDigest(md5Hex(path), true);
            if (!fileID)
                return false;
        }
        for (const HVCodeIndexKey& key : keys) {
            auto type = titleID("types", HVUnicode::utf8(key.type), true);
            auto kind = titleID("classes", key.classString, true);
            if (failed())
                return false;
            db.executeUpdate(
                "INSERT INTO keys (file_id, key, completion, type, class) VALUES (?, ?, ?, ?, ?)",
                {*fileID, HVUnicode::utf8(key.key), HVUnicode::utf8(key.completion),
                 type ? HVDatabaseValue(*type) : HVDatabaseValue(),
                 kind ? HVDatabaseValue(*kind) : HVDatabaseValue()});
            if (failed())
                return false;
        }
        for (const std::string& tag : indexer.tags()) {
            std::optional<std::int64_t> placeholder;
            if (auto rows = db.executeQuery("SELECT id FROM tags WHERE file_id=0 AND tag=?", {tag}))
                if (rows->next())
                    placeholder = rows->intForColumn(0);
            if (placeholder)
                db.executeUpdate("UPDATE tags SET file_id=? WHERE id=?", {*fileID, *placeholder});
            else
                db.executeUpdate("INSERT INTO tags (tag, file_id) VALUES (?, ?)", {tag, *fileID});
            if (failed())
                return false;
        }
        for (const std::string& referenced : indexer.referencedFiles()) {
            auto target = fileRowForDigest(md5Hex(referenced), true);
            if (failed())
                return false;
            if (target)
                db.executeUpdate("INSERT INTO referencedFiles (src_id, dst_id) VALUES (?, ?)",
                                 {*fileID, *target});
            if (failed())
                return false;
        }
        for (const std::string& tag : indexer.referencedTags()) {
            std::optional<std::int64_t> tagID;
            if (auto rows = db.executeQuery("SELECT id, tag, file_id FROM tags WHERE tag=?", {tag}))
                if (rows->next())
                    tagID = rows->intForColumn(0);
            if (!tagID && db.executeUpdate("INSERT INTO tags (tag) VALUES (?)", {tag}))
                tagID = db.lastInsertRowId();
            if (tagID)
                db.executeUpdate("INSERT INTO referencedTags (file_id, tag_id) VALUES (?, ?)",
                                 {*fileID, *tagID});
            if (failed())
                return false;
        }
        db.executeUpdate("UPDATE files SET last_update=? WHERE id=?", {modified, *fileID});
        return !failed();
    };
    if (!write()) {
        handleWriteFailure(path);
        return;
    }
    batch.push_back(path);
}

bool HVCodeIndex::State::batchIsDue() const {
    using namespace std::chrono_literals;
    return !batch.empty() &&
           (batch.size() >= 500 || std::chrono::steady_clock::now() - batchStarted >= 50ms);
}

void HVCodeIndex::State::commitBatch() {
    if (!writer || !writer->inTransaction())
        return;
    if (!writer->commit()) {
        // The last file takes the blame; the others are indexed again.
        handleWriteFailure(batch.empty() ? std::string() : batch.back());
        return;
    }
    std::vector<std::string> committed = std::move(batch);
    batch.clear();
    for (const std::string& path : committed)
        HVNotificationCenter::defaultCenter().postNotificationName(
            std::string(HVFileIndexInvalidatedNotification), owner, {{"path", path}});
}

std::optional<std::int64_t> HVCodeIndex::State::fileRowForDigest(const std::string& digest,
                                                                 bool create) {
    if (auto rows = writer->executeQuery("SELECT id FROM files WHERE path=?", {digest}))
        if (rows->next())
            return rows->intForColumn(0);
    if (!create || !writer->executeUpdate("INSERT INTO files (path) VALUES (?)", {digest}))
        return std::nullopt;
    return writer->lastInsertRowId();
}

std::optional<std::int64_t> HVCodeIndex::State::titleID(std::string_view table,
                                                        const std::string& title, bool create) {
    bool types = table == "types";
    {
        std::lock_guard lock(cacheMutex);
        auto& cache = types ? typeIDs : classIDs;
        if (auto found = cache.find(title); found != cache.end())
            return found->second;
    }
    if (!create)
        return std::nullopt;
    if (!writer->executeUpdate(types ? "INSERT INTO types (title) VALUES (?)"
                                     : "INSERT INTO classes (title) VALUES (?)",
                               {title}))
        return std::nullopt;
    std::int64_t id = writer->lastInsertRowId();
    std::lock_guard lock(cacheMutex);
    if (types) {
        typeIDs[title] = id;
        typeTitles[id] = title;
    } else {
        classIDs[title] = id;
    }
    return id;
}

void HVCodeIndex::State::handleWriteFailure(const std::string& path) {
    int code = writer->lastErrorCode();
    std::string detail = writer->lastErrorMessage();
    if (writer->inTransaction())
        writer->rollback();
    // The files of the batch that was undone with it go round again; the failing one waits.
    {
        std::vector<std::string> undone;
        for (std::string& other : batch) {
            if (other != path)
                undone.push_back(std::move(other));
        }
        batch.clear();
        std::lock_guard lock(queueMutex);
        queue.insert(queue.begin(), undone.begin(), undone.end());
    }
    // Titles made in the transaction that was undone are gone again.
    loadCaches();
    Problem problem = problemForCode(code);
    switch (problem) {
    case DamagedProblem: {
        report(DamagedProblem, detail);
        moveAside();
        std::string reason;
        Problem again = tryOpen(false, reason);
        if (again != NoProblem) {
            report(again, reason);
            stopWriting();
            return;
        }
        readable = true;
        std::lock_guard lock(queueMutex);
        queue.push_back(path);
        return;
    }
    case InUseProblem:
    case ReadOnlyProblem:
        // Another copy of the program writes it, or nobody may: leave it to that copy, or to
        // the next start, and keep answering queries.
        report(problem, detail);
        stopWriting();
        return;
    default:
        // A full disk or a failing write: this file waits for its next save, the others try.
        report(problem, detail);
        return;
    }
}

void HVCodeIndex::State::stopWriting() {
    writer.reset();
    std::lock_guard lock(queueMutex);
    queue.clear();
}

// MARK: - Queries (main thread)

bool HVCodeIndex::State::ensureReader() {
    if (!readable)
        return false;
    if (reader && readerGeneration == generation)
        return true;
    reader = std::make_unique<HVDatabase>(path);
    if (!reader->open(HVDatabase::Mode::ReadOnly)) {
        reader.reset();
        return false;
    }
    reader->setBusyTimeout(kReaderBusyMilliseconds);
    readerGeneration = generation;
    return true;
}

std::optional<std::int64_t> HVCodeIndex::State::readerTitleID(std::string_view table,
                                                              const std::string& title) {
    bool types = table == "types";
    {
        std::lock_guard lock(cacheMutex);
        auto& cache = types ? typeIDs : classIDs;
        if (auto found = cache.find(title); found != cache.end())
            return found->second;
    }
    // Made by the index thread after the caches were loaded, or by another copy.
    auto rows = reader->executeQuery(types ? "SELECT id FROM types WHERE title=?"
                                           : "SELECT id FROM classes WHERE title=?",
                                     {title});
    if (!rows || !rows->next())
        return std::nullopt;
    return rows->intForColumn(0);
}

std::optional<std::string> HVCodeIndex::State::readerTypeTitle(std::int64_t id) {
    {
        std::lock_guard lock(cacheMutex);
        if (auto found = typeTitles.find(id); found != typeTitles.end())
            return found->second;
    }
    auto rows = reader->executeQuery("SELECT title FROM types WHERE id=?", {id});
    if (!rows || !rows->next())
        return std::nullopt;
    std::string title = rows->stringForColumn(0);
    std::lock_guard lock(cacheMutex);
    typeTitles[id] = title;
    return title;
}

std::vector<std::int64_t> HVCodeIndex::State::fileIDsForPath(const std::string& path) {
    auto rows = reader->executeQuery("SELECT id FROM files WHERE path=?", {md5Hex(path)});
    if (!rows || !rows->next())
        return {};
    std::int64_t start = rows->intForColumn(0);
    rows.reset();
    std::set<std::int64_t> found{start};
    std::vector<std::int64_t> work{start};
    auto add = [&](std::int64_t id) {
        if (found.insert(id).second)
            work.push_back(id);
    };
    while (!work.empty()) {
        std::int64_t id = work.back();
        work.pop_back();
        if (auto refs =
                reader->executeQuery("SELECT dst_id FROM referencedFiles WHERE src_id=?", {id}))
            while (refs->next())
                add(refs->intForColumn(0));
        if (auto tags =
                reader->executeQuery("SELECT tags.file_id FROM tags INNER JOIN referencedTags ON "
                                     "tags.id=referencedTags.tag_id WHERE referencedTags.file_id=?",
                                     {id}))
            while (tags->next())
                add(tags->intForColumn(0));
    }
    return {found.begin(), found.end()};
}

std::vector<HVCodeIndexKey> HVCodeIndex::keysForType(const std::optional<std::u16string>& type,
                                                     const std::optional<std::string>& classString,
                                                     const std::optional<std::string>& file) {
    if (!m_state->enabled)
        return {};
    State& state = *m_state;
    std::lock_guard lock(state.readerMutex);
    if (!state.ensureReader())
        return {};
    HVDatabase& db = *state.reader;
    // One snapshot for the closure and the symbols; never held between queries, so the
    // writer's log can be folded back.
    if (!db.beginTransaction())
        return {};
    struct EndRead {
        HVDatabase& db;
        ~EndRead() { db.commit(); }
    } endRead{db};

    std::vector<std::string> conditions;
    std::string typeTitle = type ? HVUnicode::utf8(*type) : std::string();
    if (type) {
        auto id = state.readerTitleID("types", typeTitle);
        if (!id)
            return {};
        conditions.push_back("type=" + std::to_string(*id));
    }
    if (classString) {
        auto id = state.readerTitleID("classes", *classString);
        if (!id)
            return {};
        conditions.push_back("class=" + std::to_string(*id));
    }
    if (file) {
        std::string ids;
        for (std::int64_t id : state.fileIDsForPath(*file))
            ids += (ids.empty() ? "" : ",") + std::to_string(id);
        if (db.hadError())
            return {};
        conditions.push_back("file_id IN (" + ids + ")");
    }
    std::string sql = "SELECT DISTINCT key, completion";
    if (!type)
        sql += ", type";
    sql += " FROM keys";
    for (std::size_t i = 0; i < conditions.size(); ++i)
        sql += (i == 0 ? " WHERE " : " AND ") + conditions[i];

    std::vector<HVCodeIndexKey> keys;
    auto rows = db.executeQuery(sql);
    if (!rows)
        return {};
    while (rows->next()) {
        HVCodeIndexKey key;
        key.key = HVUnicode::utf16(rows->stringForColumn(0));
        key.completion = HVUnicode::utf16(rows->stringForColumn(1));
        if (type)
            key.type = *type;
        else if (auto title = state.readerTypeTitle(rows->intForColumn(2)))
            key.type = HVUnicode::utf16(*title);
        if (classString)
            key.classString = *classString;
        keys.push_back(std::move(key));
    }
    // Busy past the time-out, or damaged: nothing rather than half an answer.
    if (db.hadError())
        return {};
    return keys;
}
