#pragma once

#include "shared/crypto/DeviceKey.h"

#include <filesystem>
#include <optional>
#include <string>

namespace keyvane {

// The TCTI configuration of the TPM to use: KEYVANE_TPM_TCTI when set ("none" turns the TPM
// off), else the kernel's resource manager when /dev/tpmrm0 can be opened and
// useKernelDevice is true; nothing when no TPM is to be used.
std::optional<std::string> tpmTctiFromEnvironment(bool useKernelDevice);

// The live device-key store: new keys go to the TPM whenever one is configured or present,
// and to a file (FileDeviceKeyStore) only when there is none: a TPM that is there but fails
// is an error, never a quiet downgrade to a key that a copy of the folder can use. An
// existing key is always used on the backend that made it, told by
// its file ("device-key-<hex tag>.tpm" or ".der"): a TPM appearing later does not replace a
// file key, and a TPM gone or cleared makes the TPM key fail (DeviceKeyError) rather than
// silently giving way to a new key, which would leave every sealed value unreadable.
class PlatformDeviceKeyStore final : public DeviceKeyStoreProtocol {
public:
    // Without a TCTI, tpmTctiFromEnvironment(useKernelDevice) is read at each operation.
    // Without a directory, the group directory is looked up at each operation.
    explicit PlatformDeviceKeyStore(std::optional<std::string> tcti = std::nullopt, bool useKernelDevice = true,
                                    std::optional<std::filesystem::path> directory = std::nullopt);

    void createKey(const Bytes& tag) override;
    std::shared_ptr<const DeviceKey> findKey(const Bytes& tag) override;
    bool deleteKey(const Bytes& tag) override;
    DeviceKeyBackend backendOf(const Bytes& tag) const override;
    // Also removes a key of the other backend under `to`, which would otherwise win lookups.
    bool moveKey(const Bytes& from, const Bytes& to) override;

private:
    std::optional<std::string> tcti() const;

    std::optional<std::string> tcti_;
    bool useKernelDevice_;
    std::optional<std::filesystem::path> directory_;
};

} // namespace keyvane
