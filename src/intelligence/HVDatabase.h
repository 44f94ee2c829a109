#pragma once

#include "HVError.h"

#include <cstdint>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

inline constexpr std::string_view HVDatabaseErrorDomain = "org.sqlite";

// A value bound to a statement's "?" or read from a row.
using HVDatabaseValue = std::variant<std::monostate, std::int64_t, double, std::string>;

class HVDatabase;

// The rows of one query, read one at a time; the statement goes back to its database's cache
// when the result set goes.
class HVResultSet {
public:
    ~HVResultSet();
    HVResultSet(const HVResultSet&) = delete;
    HVResultSet& operator=(const HVResultSet&) = delete;

    // Steps to the next row; false at the end or on an error (the database then hadError()).
    bool next();

    std::int64_t intForColumn(int index) const;
    std::int64_t intForColumn(std::string_view name) const;
    double doubleForColumn(int index) const;
    double doubleForColumn(std::string_view name) const;
    std::string stringForColumn(int index) const;
    std::string stringForColumn(std::string_view name) const;
    bool columnIsNull(int index) const;
    bool columnIsNull(std::string_view name) const;
    int columnIndexForName(std::string_view name) const;

private:
    friend class HVDatabase;
    HVResultSet(HVDatabase& database, sqlite3_stmt* statement, bool cached);
    HVDatabase& m_database;
    sqlite3_stmt* m_statement;
    bool m_cached;
};

// A thin wrapper of one SQLite connection: statements with bound parameters, prepared once
// and kept, transactions, the last error. A connection is used by one thread at a time.
class HVDatabase {
public:
    enum class Mode { ReadWriteCreate, ReadWrite, ReadOnly };

    explicit HVDatabase(std::string path);
    ~HVDatabase();
    HVDatabase(const HVDatabase&) = delete;
    HVDatabase& operator=(const HVDatabase&) = delete;

    bool open(Mode mode = Mode::ReadWriteCreate);
    void close();
    bool isOpen() const { return m_db != nullptr; }
    const std::string& path() const { return m_path; }
    // Whether the connection cannot write (the file or its folder is read-only).
    bool isReadOnly() const;

    // How long a statement waits for another connection's lock before it fails with
    // SQLITE_BUSY.
    void setBusyTimeout(int milliseconds);

    bool executeUpdate(std::string_view sql, std::initializer_list<HVDatabaseValue> arguments = {});
    std::unique_ptr<HVResultSet>
    executeQuery(std::string_view sql, std::initializer_list<HVDatabaseValue> arguments = {});
    // The first column of the first row, or none.
    std::optional<HVDatabaseValue>
    valueForQuery(std::string_view sql, std::initializer_list<HVDatabaseValue> arguments = {});

    bool beginTransaction();
    // BEGIN IMMEDIATE: takes the write lock now, so a busy database fails here and not halfway.
    bool beginImmediateTransaction();
    bool commit();
    bool rollback();
    bool inTransaction() const;

    std::int64_t lastInsertRowId() const;
    bool hadError() const { return m_lastErrorCode != 0; }
    // The extended SQLite result code of the last failure, 0 after a success.
    int lastErrorCode() const { return m_lastErrorCode; }
    // The primary result code (SQLITE_BUSY, SQLITE_FULL, …).
    int lastPrimaryErrorCode() const { return m_lastErrorCode & 0xff; }
    const std::string& lastErrorMessage() const { return m_lastErrorMessage; }
    HVError lastError() const;

private:
    friend class HVResultSet;
    sqlite3_stmt* prepare(std::string_view sql, bool& cached);
    bool bind(sqlite3_stmt* statement, std::initializer_list<HVDatabaseValue> arguments);
    void recordError(int code);
    void clearError();
    void release(sqlite3_stmt* statement, bool cached);

    std::string m_path;
    sqlite3* m_db = nullptr;
    int m_lastErrorCode = 0;
    std::string m_lastErrorMessage;
    // Prepared statements by their text; a statement that is being stepped is taken out, so
    // that a nested query of the same text prepares its own.
    std::map<std::string, sqlite3_stmt*, std::less<>> m_statements;
};
