#pragma once

#include "shared/errors/Error.h"
#include "shared/utils/Bytes.h"

#include <sqlite3.h>

#include <cstdint>
#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>

namespace keyvane {

// A failed SQLite call: its result code and the library's message.
class SqliteError final : public ErrorValue<SqliteError> {
public:
    SqliteError(int code, std::string message) : code(code), message(std::move(message)) {}
    std::string description() const override {
        return "SqliteError " + std::to_string(code) + ": " + message;
    }

    int code;
    std::string message;
};

class SqliteStatement;

// One connection to the record database, set up the same way every time: busy timeout
// first, then WAL, and foreign keys on (SQLite turns them off per connection).
class SqliteConnection {
public:
    // A writer waits up to busyTimeout for another connection's write to end.
    explicit SqliteConnection(const std::filesystem::path& path,
                              std::chrono::milliseconds busyTimeout = defaultBusyTimeout);

    static constexpr std::chrono::milliseconds defaultBusyTimeout{10000};
    ~SqliteConnection();
    SqliteConnection(const SqliteConnection&) = delete;
    SqliteConnection& operator=(const SqliteConnection&) = delete;

    void execute(const char* sql);
    SqliteStatement prepare(const char* sql);
    std::int64_t lastInsertRowId() const { return sqlite3_last_insert_rowid(db_); }
    int changes() const { return sqlite3_changes(db_); }
    [[noreturn]] void fail(int code) const;

    // Runs the work as one transaction: BEGIN IMMEDIATE for writes (a deferred transaction
    // that reads and then writes can fail with a busy error the timeout does not retry),
    // a deferred one for reads. Any failure rolls everything back before it leaves, so
    // nothing stays pending for a later, unrelated commit.
    template <class Work>
    auto write(Work&& work) -> decltype(work()) {
        return transaction("BEGIN IMMEDIATE", std::forward<Work>(work));
    }
    template <class Work>
    auto read(Work&& work) -> decltype(work()) {
        return transaction("BEGIN", std::forward<Work>(work));
    }

private:
    template <class Work>
    auto transaction(const char* begin, Work&& work) -> decltype(work()) {
        execute(begin);
        try {
            if constexpr (std::is_void_v<decltype(work())>) {
                work();
                execute("COMMIT");
            } else {
                auto result = work();
                execute("COMMIT");
                return result;
            }
        } catch (...) {
            rollback();
            throw;
        }
    }
    void rollback() noexcept;

    sqlite3* db_ = nullptr;
};

// A prepared statement; columns and parameters count from 0 and 1 as in SQLite.
class SqliteStatement {
public:
    SqliteStatement(SqliteConnection& connection, sqlite3_stmt* statement)
        : connection_(&connection), statement_(statement) {}
    ~SqliteStatement();
    SqliteStatement(SqliteStatement&& other) noexcept
        : connection_(other.connection_), statement_(std::exchange(other.statement_, nullptr)) {}
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;
    SqliteStatement& operator=(SqliteStatement&&) = delete;

    SqliteStatement& bind(int index, std::int64_t value);
    SqliteStatement& bind(int index, const std::string& value);
    SqliteStatement& bind(int index, const Bytes& value);
    SqliteStatement& bind(int index, const std::optional<std::string>& value);
    SqliteStatement& bind(int index, const std::optional<std::int64_t>& value);

    // True while a row is available; false once the statement is done.
    bool step();
    void reset();

    bool isNull(int column) const;
    std::int64_t int64(int column) const;
    std::string text(int column) const;
    Bytes blob(int column) const;
    std::optional<std::string> optionalText(int column) const;
    std::optional<std::int64_t> optionalInt64(int column) const;

private:
    void check(int code);

    SqliteConnection* connection_;
    sqlite3_stmt* statement_;
};

} // namespace keyvane
