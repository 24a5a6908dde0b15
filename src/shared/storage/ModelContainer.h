#pragma once

#include "shared/storage/Sqlite.h"

#include <filesystem>
#include <memory>
#include <optional>

namespace keyvane {

// The object store of tokens, passkeys and PIN entries: one SQLite file in the group
// directory, shared by both deliverables. Opening it creates the file (0600) and the schema
// when missing, and refuses a file whose schema is newer than this program knows. Each record
// service takes a context (its own connection) from it.
class ModelContainer {
public:
    // Without a path: "records.sqlite" in the group directory. Fails with FileError or
    // SqliteError. Every context waits up to busyTimeout for another writer.
    explicit ModelContainer(std::optional<std::filesystem::path> path = std::nullopt,
                            std::chrono::milliseconds busyTimeout = SqliteConnection::defaultBusyTimeout);

    std::unique_ptr<SqliteConnection> makeContext() const;
    const std::filesystem::path& path() const { return path_; }

    static constexpr int schemaVersion = 2;

private:
    std::filesystem::path path_;
    std::chrono::milliseconds busyTimeout_;
};

} // namespace keyvane
