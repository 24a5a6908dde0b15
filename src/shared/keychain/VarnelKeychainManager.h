#pragma once

#include "shared/keychain/KeychainFile.h"
#include "shared/keychain/VarnelKeychainManagerProtocol.h"

#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>

namespace keyvane {

// Items in one file of the group directory ("keychain-<access group>.json", 0600). Every
// operation holds the in-process lock and the file's cross-process lock, re-reads the file,
// and writes it back atomically, so two processes never lose each other's items.
class VarnelKeychainManager final : public VarnelKeychainManagerProtocol {
public:
    // Without a directory, the group directory is looked up at each operation.
    explicit VarnelKeychainManager(std::string containerId,
                                   std::optional<std::filesystem::path> directory = std::nullopt);

    bool setEncoded(const std::string& json, const std::string& key, VNAccessibilityType accessibility) override;
    std::optional<std::string> getEncoded(const std::string& key) override;
    std::optional<std::string> readEncoded(const std::string& key) override;
    bool clear() override;
    bool deleteItem(const std::string& key) override;
    KeychainWrite write(const KeychainBatch& batch) override;

    const std::string& containerId() const { return containerId_; }

private:
    std::filesystem::path directory() const;
    std::filesystem::path itemsPath() const;
    // Runs change on the current items under both locks; writes back when it answers true.
    // A damaged item file is never overwritten.
    KeychainWrite modify(const std::function<bool(KeychainItems&)>& change);

    std::mutex lock_;
    std::string containerId_;
    std::optional<std::filesystem::path> directory_;
};

} // namespace keyvane
