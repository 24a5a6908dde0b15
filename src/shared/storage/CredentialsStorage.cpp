#include "shared/storage/CredentialsStorage.h"

#include "shared/files/SecureFile.h"
#include "shared/storage/CredentialsStorageError.h"

#include <optional>

namespace keyvane {

CredentialsStorage::CredentialsStorage(std::shared_ptr<const ModelContainer> modelContainer)
    : modelContainer_(std::move(modelContainer)), context_(modelContainer_->makeContext()) {}

void CredentialsStorage::updateCredentials(const std::vector<PasskeyCredentials>& credentials,
                                           const std::string& tokenSerial) {
    CredentialsStorageError::mapping([&] {
        std::lock_guard guard(modelExecutor_);
        context_->write([&] {
            auto find = context_->prepare("SELECT id FROM TokenStorableInfo WHERE serial = ?1 ORDER BY id LIMIT 1");
            find.bind(1, tokenSerial);
            if (!find.step()) {
                throw CredentialsStorageError::general("updateCredentials(_:for:)", "Token not found");
            }
            const std::int64_t token = find.int64(0);
            // The old records are never reused: every element becomes a new record.
            auto remove = context_->prepare("DELETE FROM PasskeyStorableInfo WHERE token = ?1");
            remove.bind(1, token);
            remove.step();
            auto insert = context_->prepare(
                "INSERT INTO PasskeyStorableInfo (keyId, relyingPartyId, username, userHandle, token) "
                "VALUES (?1, ?2, ?3, ?4, ?5)");
            for (const auto& credential : credentials) {
                const PasskeyStorableInfo record(credential);
                insert.bind(1, record.keyId)
                    .bind(2, record.relyingPartyId)
                    .bind(3, record.username)
                    .bind(4, record.userHandle)
                    .bind(5, token);
                insert.step();
                insert.reset();
            }
        });
    });
}

std::vector<PasskeyStorableInfo> CredentialsStorage::fetchRecords() {
    std::lock_guard guard(modelExecutor_);
    return context_->read([&] {
        auto statement = context_->prepare(
            "SELECT p.id, p.keyId, p.relyingPartyId, p.username, p.userHandle, p.token, t.serial "
            "FROM PasskeyStorableInfo p LEFT JOIN TokenStorableInfo t ON t.id = p.token ORDER BY p.id");
        std::vector<PasskeyStorableInfo> records;
        while (statement.step()) {
            PasskeyStorableInfo record;
            record.persistentId = statement.int64(0);
            record.keyId = statement.blob(1);
            record.relyingPartyId = statement.text(2);
            record.username = statement.text(3);
            record.userHandle = statement.blob(4);
            record.token = statement.optionalInt64(5);
            record.tokenSerial = statement.optionalText(6);
            records.push_back(std::move(record));
        }
        return records;
    });
}

std::vector<PasskeyCredentials> CredentialsStorage::fetchAllCredentials() {
    return CredentialsStorageError::mapping([&] {
        std::vector<PasskeyCredentials> credentials;
        for (const auto& record : fetchRecords()) {
            if (auto credential = record.toPasskeyCredentials()) {
                credentials.push_back(std::move(*credential));
            }
        }
        return credentials;
    });
}

void CredentialsStorage::deleteCredentials(const std::set<Bytes>& keyIds) {
    std::lock_guard guard(modelExecutor_);
    try {
        context_->write([&] {
            auto remove = context_->prepare("DELETE FROM PasskeyStorableInfo WHERE keyId = ?1");
            for (const auto& keyId : keyIds) {
                remove.bind(1, keyId);
                remove.step();
                remove.reset();
            }
        });
    } catch (...) {
        throw CredentialsStorageError::general("deleteCredentials(_:)", AnyError::fromCurrentException());
    }
}

void CredentialsStorage::withTokenRecordsLocked(const std::string& tokenSerial, const std::function<void()>& work) {
    std::optional<FileLock> lock;
    try {
        lock.emplace(tokenLockPath(modelContainer_->path().parent_path(), "records", tokenSerial));
    } catch (...) {
        throw CredentialsStorageError::general("withTokenRecordsLocked(_:_:)", AnyError::fromCurrentException());
    }
    work();
}

} // namespace keyvane
