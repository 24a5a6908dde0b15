#pragma once

#include "shared/storage/ModelContainer.h"
#include "shared/storage/TokenStorableInfo.h"
#include "shared/storage/TokenStorageProtocol.h"

#include <memory>
#include <mutex>

namespace keyvane {

// The token records on one model container, through a connection of its own. Its calls run
// one at a time; each is one transaction that rolls back on failure.
class TokenStorage final : public TokenStorageProtocol {
public:
    explicit TokenStorage(std::shared_ptr<const ModelContainer> modelContainer);

    void syncToken(const TokenInfo& tokenInfo) override;
    std::vector<TokenInfo> listTokens() override;
    TokenInfo getToken(const std::string& serial) override;
    void deleteToken(const std::string& serial) override;

    // Every token record with its persistent identifier, in store order.
    std::vector<TokenStorableInfo> fetchRecords();

private:
    std::shared_ptr<const ModelContainer> modelContainer_;
    std::mutex modelExecutor_;
    std::unique_ptr<SqliteConnection> context_;
};

} // namespace keyvane
