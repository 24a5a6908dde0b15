#pragma once

#include "shared/crypto/DeviceKey.h"

#include <filesystem>
#include <optional>
#include <string>

namespace keyvane {

// Device keys on a TPM 2.0, reached through a TCTI (tpm2-tss ESAPI). Each key is a P-256
// key-agreement key created under the owner hierarchy's storage primary key with fixedTPM,
// fixedParent and sensitiveDataOrigin: its private part exists outside the TPM only wrapped
// by that TPM's storage key. The file "device-key-<hex tag>.tpm" (0600, group directory)
// holds what loading it again needs: its public area and its wrapped private part. A copy of
// that file is useless on any other TPM, or on this one once it is cleared.
//
// Nothing stays loaded between calls: every operation opens the TCTI, recreates the primary
// key (the same seed gives the same key), loads what it needs and flushes every transient
// object and session before it returns, on every path. A TPM without a resource manager
// (a software TPM on a socket) has few object slots and no per-client isolation, so the
// operations of all processes on the same key folder are serialised by "tpm.lock" there.
class TpmDeviceKeyStore final : public DeviceKeyStoreProtocol {
public:
    // tcti: the TCTI loader's configuration, e.g. "device:/dev/tpmrm0" or
    // "swtpm:host=127.0.0.1,port=2321". Without a directory, the group directory is looked up
    // at each operation.
    explicit TpmDeviceKeyStore(std::string tcti, std::optional<std::filesystem::path> directory = std::nullopt);

    void createKey(const Bytes& tag) override;
    // Loads the key once before answering it, so a TPM that refuses it (cleared, another TPM)
    // is found here as DeviceKeyError::keyLost rather than at the key agreement.
    std::shared_ptr<const DeviceKey> findKey(const Bytes& tag) override;
    bool deleteKey(const Bytes& tag) override;
    DeviceKeyBackend backendOf(const Bytes& tag) const override;
    bool moveKey(const Bytes& from, const Bytes& to) override;

    std::filesystem::path pathFor(const Bytes& tag) const;

private:
    std::filesystem::path directory() const;

    std::string tcti_;
    std::optional<std::filesystem::path> directory_;
};

} // namespace keyvane
