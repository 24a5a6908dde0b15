#pragma once

#include "shared/crypto/DeviceKey.h"

#include <filesystem>
#include <optional>

namespace keyvane {

// Device keys as PKCS#8 files ("device-key-<hex tag>.der", 0600) in the group directory.
// Any process of the user can read such a file: this backend gives no protection beyond the
// file's mode (the README says so).
class FileDeviceKeyStore final : public DeviceKeyStoreProtocol {
public:
    // Without a directory, the group directory is looked up at each operation.
    explicit FileDeviceKeyStore(std::optional<std::filesystem::path> directory = std::nullopt);

    void createKey(const Bytes& tag) override;
    std::shared_ptr<const DeviceKey> findKey(const Bytes& tag) override;
    bool deleteKey(const Bytes& tag) override;
    DeviceKeyBackend backendOf(const Bytes& tag) const override;
    bool moveKey(const Bytes& from, const Bytes& to) override;

    std::filesystem::path pathFor(const Bytes& tag) const;

private:
    std::optional<std::filesystem::path> directory_;
};

// Moves a key file of ours: written whole under the new name (replacing what was there), then
// removed under the old one. False when there is no file to move.
bool moveKeyFile(const std::filesystem::path& from, const std::filesystem::path& to);

} // namespace keyvane
