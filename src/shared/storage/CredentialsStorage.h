#pragma once

#include "shared/storage/CredentialsStorageProtocol.h"
#include "shared/storage/ModelContainer.h"
#include "shared/storage/PasskeyStorableInfo.h"

#include <memory>
#include <mutex>

namespace keyvane {

// The passkey records on one model container, through a connection of its own. Its calls run
// one at a time; each is one transaction that rolls back on failure.
class CredentialsStorage final : public CredentialsStorageProtocol {
public:
    explicit CredentialsStorage(std::shared_ptr<const ModelContainer> modelContainer);

    void updateCredentials(const std::vector<PasskeyCredentials>& credentials,
                           const std::string& tokenSerial) override;
    std::vector<PasskeyCredentials> fetchAllCredentials() override;
    void deleteCredentials(const std::set<Bytes>& keyIds) override;
    // The lock is a file beside the object store, one per token.
    void withTokenRecordsLocked(const std::string& tokenSerial, const std::function<void()>& work) override;

    // Every passkey record, those without a token included, in store order.
    std::vector<PasskeyStorableInfo> fetchRecords();

private:
    std::shared_ptr<const ModelContainer> modelContainer_;
    std::mutex modelExecutor_;
    std::unique_ptr<SqliteConnection> context_;
};

} // namespace keyvane
