#include "shared/storage/ModelContainer.h"

#include "shared/files/GroupDirectory.h"
#include "shared/files/SecureFile.h"

namespace keyvane {

namespace {

// AUTOINCREMENT keeps a deleted last id from being handed out again, so a persistent
// identifier never comes to name another record.
constexpr char schema[] = R"sql(
CREATE TABLE TokenStorableInfo (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    label TEXT,
    model TEXT NOT NULL,
    serial TEXT NOT NULL,
    version TEXT NOT NULL,
    totalMemory INTEGER NOT NULL,
    availableMemory INTEGER
);
CREATE INDEX TokenStorableInfo_serial ON TokenStorableInfo(serial);
CREATE TABLE PasskeyStorableInfo (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    keyId BLOB NOT NULL,
    relyingPartyId TEXT NOT NULL,
    username TEXT NOT NULL,
    userHandle BLOB NOT NULL,
    token INTEGER REFERENCES TokenStorableInfo(id) ON DELETE CASCADE
);
CREATE INDEX PasskeyStorableInfo_token ON PasskeyStorableInfo(token);
CREATE INDEX PasskeyStorableInfo_keyId ON PasskeyStorableInfo(keyId);
CREATE TABLE PinEntry (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    serial TEXT NOT NULL UNIQUE,
    encryptedPin BLOB NOT NULL,
    serialNumber TEXT
);
PRAGMA user_version = 2;
)sql";

// From the first schema: the full serial number beside each PIN entry (empty in old entries).
constexpr char fromVersion1[] = R"sql(
ALTER TABLE PinEntry ADD COLUMN serialNumber TEXT;
PRAGMA user_version = 2;
)sql";

} // namespace

ModelContainer::ModelContainer(std::optional<std::filesystem::path> path, std::chrono::milliseconds busyTimeout)
    : path_(path ? std::move(*path) : groupDirectory() / "records.sqlite"), busyTimeout_(busyTimeout) {
    // The -wal and -shm files take the database's mode, so it must be 0600 before SQLite
    // creates them.
    ensurePrivateFile(path_);
    SqliteConnection connection(path_, busyTimeout_);
    connection.write([&] {
        auto statement = connection.prepare("PRAGMA user_version");
        statement.step();
        const auto version = statement.int64(0);
        if (version == 0) {
            connection.execute(schema);
        } else if (version == 1) {
            connection.execute(fromVersion1);
        } else if (version > schemaVersion) {
            throw SqliteError(SQLITE_MISMATCH, "the record store was written by a newer version (schema " +
                                                   std::to_string(version) + ")");
        }
    });
}

std::unique_ptr<SqliteConnection> ModelContainer::makeContext() const {
    return std::make_unique<SqliteConnection>(path_, busyTimeout_);
}

} // namespace keyvane
