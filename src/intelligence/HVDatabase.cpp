#include "HVDatabase.h"

#include <sqlite3.h>

HVResultSet::HVResultSet(HVDatabase& database, sqlite3_stmt* statement, bool cached)
    : m_database(database), m_statement(statement), m_cached(cached) {}

HVResultSet::~HVResultSet() {
    m_database.release(m_statement, m_cached);
}

bool HVResultSet::next() {
    int rc = sqlite3_step(m_statement);
    if (rc == SQLITE_ROW)
        return true;
    if (rc != SQLITE_DONE)
        m_database.recordError(rc);
    return false;
}

int HVResultSet::columnIndexForName(std::string_view name) const {
    int count = sqlite3_column_count(m_statement);
    for (int i = 0; i < count; ++i) {
        const char* column = sqlite3_column_name(m_statement, i);
        if (column && sqlite3_stricmp(column, std::string(name).c_str()) == 0)
            return i;
    }
    return -1;
}

std::int64_t HVResultSet::intForColumn(int index) const {
    return sqlite3_column_int64(m_statement, index);
}

std::int64_t HVResultSet::intForColumn(std::string_view name) const {
    int index = columnIndexForName(name);
    return index < 0 ? 0 : intForColumn(index);
}

double HVResultSet::doubleForColumn(int index) const {
    return sqlite3_column_double(m_statement, index);
}

double HVResultSet::doubleForColumn(std::string_view name) const {
    int index = columnIndexForName(name);
    return index < 0 ? 0 : doubleForColumn(index);
}

std::string HVResultSet::stringForColumn(int index) const {
    const unsigned char* text = sqlite3_column_text(m_statement, index);
    if (!text)
        return {};
    return std::string(reinterpret_cast<const char*>(text),
                       std::size_t(sqlite3_column_bytes(m_statement, index)));
}

std::string HVResultSet::stringForColumn(std::string_view name) const {
    int index = columnIndexForName(name);
    return index < 0 ? std::string() : stringForColumn(index);
}

bool HVResultSet::columnIsNull(int index) const {
    return sqlite3_column_type(m_statement, index) == SQLITE_NULL;
}

bool HVResultSet::columnIsNull(std::string_view name) const {
    int index = columnIndexForName(name);
    return index < 0 || columnIsNull(index);
}

HVDatabase::HVDatabase(std::string path) : m_path(std::move(path)) {}

HVDatabase::~HVDatabase() {
    close();
}

bool HVDatabase::open(Mode mode) {
    close();
    clearError();
    int flags = SQLITE_OPEN_NOMUTEX;
    switch (mode) {
    case Mode::ReadWriteCreate:
        flags |= SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
        break;
    case Mode::ReadWrite:
        flags |= SQLITE_OPEN_READWRITE;
        break;
    case Mode::ReadOnly:
        flags |= SQLITE_OPEN_READONLY;
        break;
    }
    int rc = sqlite3_open_v2(m_path.c_str(), &m_db, flags, nullptr);
    if (rc != SQLITE_OK) {
        if (m_db) {
            sqlite3_extended_result_codes(m_db, 1);
            m_lastErrorMessage = sqlite3_errmsg(m_db);
        }
        m_lastErrorCode = rc;
        if (m_lastErrorMessage.empty())
            m_lastErrorMessage = sqlite3_errstr(rc);
        sqlite3_close_v2(m_db);
        m_db = nullptr;
        return false;
    }
    sqlite3_extended_result_codes(m_db, 1);
    return true;
}

void HVDatabase::close() {
    for (auto& [sql, statement] : m_statements)
        sqlite3_finalize(statement);
    m_statements.clear();
    if (m_db)
        sqlite3_close_v2(m_db);
    m_db = nullptr;
}

bool HVDatabase::isReadOnly() const {
    return m_db && sqlite3_db_readonly(m_db, "main") == 1;
}

void HVDatabase::setBusyTimeout(int milliseconds) {
    if (m_db)
        sqlite3_busy_timeout(m_db, milliseconds);
}

void HVDatabase::recordError(int code) {
    m_lastErrorCode = code;
    m_lastErrorMessage = m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(code);
}

void HVDatabase::clearError() {
    m_lastErrorCode = 0;
    m_lastErrorMessage.clear();
}

sqlite3_stmt* HVDatabase::prepare(std::string_view sql, bool& cached) {
    cached = false;
    if (!m_db) {
        m_lastErrorCode = SQLITE_MISUSE;
        m_lastErrorMessage = "the database is not open";
        return nullptr;
    }
    if (auto found = m_statements.find(sql); found != m_statements.end()) {
        sqlite3_stmt* statement = found->second;
        m_statements.erase(found);
        cached = true;
        return statement;
    }
    sqlite3_stmt* statement = nullptr;
    int rc = sqlite3_prepare_v2(m_db, sql.data(), int(sql.size()), &statement, nullptr);
    if (rc != SQLITE_OK) {
        recordError(rc);
        sqlite3_finalize(statement);
        return nullptr;
    }
    cached = true;
    return statement;
}

void HVDatabase::release(sqlite3_stmt* statement, bool cached) {
    if (!statement)
        return;
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
    if (!cached || !m_db) {
        sqlite3_finalize(statement);
        return;
    }
    // Statements built with values in their text (lists of ids) are not worth keeping for ever.
    if (m_statements.size() >= 64) {
        sqlite3_finalize(statement);
        return;
    }
    const char* sql = sqlite3_sql(statement);
    auto [it, inserted] = m_statements.emplace(sql ? sql : "", statement);
    if (!inserted)
        sqlite3_finalize(statement);
}

bool HVDatabase::bind(sqlite3_stmt* statement, std::initializer_list<HVDatabaseValue> arguments) {
    int index = 1;
    for (const HVDatabaseValue& value : arguments) {
        int rc = SQLITE_OK;
        if (const auto* integer = std::get_if<std::int64_t>(&value))
            rc = sqlite3_bind_int64(statement, index, *integer);
        else if (const auto* real = std::get_if<double>(&value))
            rc = sqlite3_bind_double(statement, index, *real);
        else if (const auto* text = std::get_if<std::string>(&value))
            rc = sqlite3_bind_text(statement, index, text->data(), int(text->size()),
                                   SQLITE_TRANSIENT);
        else
            rc = sqlite3_bind_null(statement, index);
        if (rc != SQLITE_OK) {
            recordError(rc);
            return false;
        }
        ++index;
    }
    return true;
}

bool HVDatabase::executeUpdate(std::string_view sql,
                               std::initializer_list<HVDatabaseValue> arguments) {
    clearError();
    bool cached = false;
    sqlite3_stmt* statement = prepare(sql, cached);
    if (!statement)
        return false;
    bool ok = bind(statement, arguments);
    if (ok) {
        int rc;
        while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
        }
        if (rc != SQLITE_DONE) {
            recordError(rc);
            ok = false;
        }
    }
    release(statement, cached);
    return ok;
}

std::unique_ptr<HVResultSet>
HVDatabase::executeQuery(std::string_view sql, std::initializer_list<HVDatabaseValue> arguments) {
    clearError();
    bool cached = false;
    sqlite3_stmt* statement = prepare(sql, cached);
    if (!statement)
        return nullptr;
    if (!bind(statement, arguments)) {
        release(statement, cached);
        return nullptr;
    }
    return std::unique_ptr<HVResultSet>(new HVResultSet(*this, statement, cached));
}

std::optional<HVDatabaseValue>
HVDatabase::valueForQuery(std::string_view sql, std::initializer_list<HVDatabaseValue> arguments) {
    auto rows = executeQuery(sql, arguments);
    if (!rows || !rows->next())
        return std::nullopt;
    switch (sqlite3_column_type(rows->m_statement, 0)) {
    case SQLITE_INTEGER:
        return rows->intForColumn(0);
    case SQLITE_FLOAT:
        return rows->doubleForColumn(0);
    case SQLITE_NULL:
        return HVDatabaseValue();
    default:
        return rows->stringForColumn(0);
    }
}

bool HVDatabase::beginTransaction() {
    return executeUpdate("BEGIN DEFERRED TRANSACTION");
}

bool HVDatabase::beginImmediateTransaction() {
    return executeUpdate("BEGIN IMMEDIATE TRANSACTION");
}

bool HVDatabase::commit() {
    return executeUpdate("COMMIT TRANSACTION");
}

bool HVDatabase::rollback() {
    return executeUpdate("ROLLBACK TRANSACTION");
}

bool HVDatabase::inTransaction() const {
    return m_db && sqlite3_get_autocommit(m_db) == 0;
}

std::int64_t HVDatabase::lastInsertRowId() const {
    return m_db ? sqlite3_last_insert_rowid(m_db) : 0;
}

HVError HVDatabase::lastError() const {
    if (!hadError())
        return {};
    HVError error(HVDatabaseErrorDomain, m_lastErrorCode, m_lastErrorMessage);
    error.setUserInfoValue(HVFilePathErrorKey, m_path);
    return error;
}
