#include "shared/storage/Sqlite.h"

#include <chrono>
#include <thread>

namespace keyvane {

SqliteConnection::SqliteConnection(const std::filesystem::path& path, std::chrono::milliseconds busyTimeout) {
    const int code = sqlite3_open_v2(path.c_str(), &db_,
                                     SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_NOFOLLOW, nullptr);
    if (code != SQLITE_OK) {
        std::string message = db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(code);
        sqlite3_close(db_);
        db_ = nullptr;
        throw SqliteError(code, message);
    }
    try {
        sqlite3_extended_result_codes(db_, 1);
        if (sqlite3_busy_timeout(db_, static_cast<int>(busyTimeout.count())) != SQLITE_OK) {
            fail(sqlite3_errcode(db_));
        }
        // Turning a new database to WAL needs it alone. Another program opening it at the same
        // moment (both programs' first start) can answer SQLITE_BUSY at once, without the busy
        // handler, since waiting could deadlock: try again until the busy timeout has passed.
        const auto deadline = std::chrono::steady_clock::now() + busyTimeout;
        for (;;) {
            try {
                execute("PRAGMA journal_mode=WAL");
                break;
            } catch (const SqliteError& error) {
                if ((error.code & 0xFF) != SQLITE_BUSY || std::chrono::steady_clock::now() >= deadline) {
                    throw;
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        execute("PRAGMA synchronous=NORMAL");
        execute("PRAGMA foreign_keys=ON");
    } catch (...) {
        sqlite3_close(db_);
        db_ = nullptr;
        throw;
    }
}

SqliteConnection::~SqliteConnection() { sqlite3_close(db_); }

void SqliteConnection::fail(int code) const { throw SqliteError(code, sqlite3_errmsg(db_)); }

void SqliteConnection::execute(const char* sql) {
    char* message = nullptr;
    const int code = sqlite3_exec(db_, sql, nullptr, nullptr, &message);
    if (code != SQLITE_OK) {
        std::string text = message != nullptr ? message : sqlite3_errstr(code);
        sqlite3_free(message);
        throw SqliteError(code, text);
    }
}

void SqliteConnection::rollback() noexcept {
    if (sqlite3_get_autocommit(db_) == 0) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    }
}

SqliteStatement SqliteConnection::prepare(const char* sql) {
    sqlite3_stmt* statement = nullptr;
    const int code = sqlite3_prepare_v2(db_, sql, -1, &statement, nullptr);
    if (code != SQLITE_OK) {
        fail(code);
    }
    return SqliteStatement(*this, statement);
}

SqliteStatement::~SqliteStatement() { sqlite3_finalize(statement_); }

void SqliteStatement::check(int code) {
    if (code != SQLITE_OK) {
        connection_->fail(code);
    }
}

SqliteStatement& SqliteStatement::bind(int index, std::int64_t value) {
    check(sqlite3_bind_int64(statement_, index, value));
    return *this;
}

SqliteStatement& SqliteStatement::bind(int index, const std::string& value) {
    check(sqlite3_bind_text64(statement_, index, value.data(), value.size(), SQLITE_TRANSIENT, SQLITE_UTF8));
    return *this;
}

SqliteStatement& SqliteStatement::bind(int index, const Bytes& value) {
    // A zero-length blob, not NULL: an empty key identifier is still a value.
    static const std::uint8_t empty = 0;
    check(sqlite3_bind_blob64(statement_, index, value.empty() ? &empty : value.data(), value.size(),
                              SQLITE_TRANSIENT));
    return *this;
}

SqliteStatement& SqliteStatement::bind(int index, const std::optional<std::string>& value) {
    if (value) {
        return bind(index, *value);
    }
    check(sqlite3_bind_null(statement_, index));
    return *this;
}

SqliteStatement& SqliteStatement::bind(int index, const std::optional<std::int64_t>& value) {
    if (value) {
        return bind(index, *value);
    }
    check(sqlite3_bind_null(statement_, index));
    return *this;
}

bool SqliteStatement::step() {
    const int code = sqlite3_step(statement_);
    if (code == SQLITE_ROW) {
        return true;
    }
    if (code == SQLITE_DONE) {
        return false;
    }
    connection_->fail(code);
}

void SqliteStatement::reset() {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
}

bool SqliteStatement::isNull(int column) const { return sqlite3_column_type(statement_, column) == SQLITE_NULL; }

std::int64_t SqliteStatement::int64(int column) const { return sqlite3_column_int64(statement_, column); }

std::string SqliteStatement::text(int column) const {
    const auto* data = sqlite3_column_text(statement_, column);
    const int size = sqlite3_column_bytes(statement_, column);
    return data != nullptr ? std::string(reinterpret_cast<const char*>(data), static_cast<std::size_t>(size))
                           : std::string();
}

Bytes SqliteStatement::blob(int column) const {
    const auto* data = static_cast<const std::uint8_t*>(sqlite3_column_blob(statement_, column));
    const int size = sqlite3_column_bytes(statement_, column);
    return data != nullptr ? Bytes(data, data + size) : Bytes();
}

std::optional<std::string> SqliteStatement::optionalText(int column) const {
    if (isNull(column)) {
        return std::nullopt;
    }
    return text(column);
}

std::optional<std::int64_t> SqliteStatement::optionalInt64(int column) const {
    if (isNull(column)) {
        return std::nullopt;
    }
    return int64(column);
}

} // namespace keyvane
