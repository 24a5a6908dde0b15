#include "shared/storage/TokenStorage.h"

#include "shared/storage/TokenStorageError.h"

namespace keyvane {

namespace {

constexpr char selectColumns[] =
    "SELECT id, label, model, serial, version, totalMemory, availableMemory FROM TokenStorableInfo";

// Memory figures are unsigned 64-bit; SQLite keeps signed 64-bit, so they are stored as the
// same bits and read back the same way.
std::int64_t toStored(std::uint64_t value) { return static_cast<std::int64_t>(value); }
std::optional<std::int64_t> toStored(std::optional<std::uint64_t> value) {
    return value ? std::optional<std::int64_t>(toStored(*value)) : std::nullopt;
}

TokenStorableInfo readRecord(const SqliteStatement& row) {
    TokenStorableInfo record;
    record.persistentId = row.int64(0);
    record.label = row.optionalText(1);
    record.model = row.text(2);
    record.serial = row.text(3);
    record.version = row.text(4);
    record.totalMemory = static_cast<std::uint64_t>(row.int64(5));
    if (const auto available = row.optionalInt64(6)) {
        record.availableMemory = static_cast<std::uint64_t>(*available);
    }
    return record;
}

std::vector<TokenStorableInfo> fetchBySerial(SqliteConnection& context, const std::string& serial) {
    auto statement = context.prepare((std::string(selectColumns) + " WHERE serial = ?1 ORDER BY id").c_str());
    statement.bind(1, serial);
    std::vector<TokenStorableInfo> records;
    while (statement.step()) {
        records.push_back(readRecord(statement));
    }
    return records;
}

} // namespace

TokenStorage::TokenStorage(std::shared_ptr<const ModelContainer> modelContainer)
    : modelContainer_(std::move(modelContainer)), context_(modelContainer_->makeContext()) {}

void TokenStorage::syncToken(const TokenInfo& tokenInfo) {
    std::lock_guard guard(modelExecutor_);
    try {
        // Fetch and insert in one write transaction: two processes syncing the same new token
        // must not both insert it.
        context_->write([&] {
            const auto records = fetchBySerial(*context_, tokenInfo.serial);
            if (!records.empty()) {
                auto update = context_->prepare(
                    "UPDATE TokenStorableInfo SET label = ?1, version = ?2, totalMemory = ?3, availableMemory = ?4 "
                    "WHERE id = ?5");
                update.bind(1, tokenInfo.label)
                    .bind(2, tokenInfo.version)
                    .bind(3, toStored(tokenInfo.totalMemory))
                    .bind(4, toStored(tokenInfo.availableMemory))
                    .bind(5, *records.front().persistentId);
                update.step();
                return;
            }
            const TokenStorableInfo record(tokenInfo);
            auto insert = context_->prepare(
                "INSERT INTO TokenStorableInfo (label, model, serial, version, totalMemory, availableMemory) "
                "VALUES (?1, ?2, ?3, ?4, ?5, ?6)");
            insert.bind(1, record.label)
                .bind(2, record.model)
                .bind(3, record.serial)
                .bind(4, record.version)
                .bind(5, toStored(record.totalMemory))
                .bind(6, toStored(record.availableMemory));
            insert.step();
        });
    } catch (...) {
        throw TokenStorageError::general("syncToken(_:)", AnyError::fromCurrentException());
    }
}

std::vector<TokenStorableInfo> TokenStorage::fetchRecords() {
    std::lock_guard guard(modelExecutor_);
    return context_->read([&] {
        auto statement = context_->prepare((std::string(selectColumns) + " ORDER BY id").c_str());
        std::vector<TokenStorableInfo> records;
        while (statement.step()) {
            records.push_back(readRecord(statement));
        }
        return records;
    });
}

std::vector<TokenInfo> TokenStorage::listTokens() {
    try {
        std::vector<TokenInfo> tokens;
        for (const auto& record : fetchRecords()) {
            tokens.push_back(record.toTokenInfo());
        }
        return tokens;
    } catch (...) {
        throw TokenStorageError::general("listTokens()", AnyError::fromCurrentException());
    }
}

TokenInfo TokenStorage::getToken(const std::string& serial) {
    return TokenStorageError::mapping([&] {
        std::lock_guard guard(modelExecutor_);
        const auto records = context_->read([&] { return fetchBySerial(*context_, serial); });
        if (records.empty()) {
            throw TokenStorageError(TokenStorageError::tokenNotFound{});
        }
        if (records.size() > 1) {
            throw TokenStorageError(TokenStorageError::multipleTokensWithSameSerial{});
        }
        return records.front().toTokenInfo();
    });
}

void TokenStorage::deleteToken(const std::string& serial) {
    std::lock_guard guard(modelExecutor_);
    try {
        context_->write([&] {
            // The passkey records go with their token (ON DELETE CASCADE).
            auto statement = context_->prepare("DELETE FROM TokenStorableInfo WHERE serial = ?1");
            statement.bind(1, serial);
            statement.step();
        });
    } catch (...) {
        throw TokenStorageError::general("deleteToken(serial:)", AnyError::fromCurrentException());
    }
}

} // namespace keyvane
