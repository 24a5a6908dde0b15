#pragma once

#include "shared/dependencies/DependencyRegistry.h"
#include "shared/model/DeviceKeyBackend.h"
#include "shared/utils/Bytes.h"
#include "shared/utils/SecureMemory.h"

#include <memory>

namespace keyvane {

// A P-256 private key of the device. Only its public key and the result of a key agreement
// leave it, so a backend that keeps the key non-exportable (a TPM) fits behind the same
// interface as the file backend.
class DeviceKey {
public:
    virtual ~DeviceKey() = default;
    // The uncompressed point (65 bytes, 04 || X || Y).
    virtual Bytes publicKey() const = 0;
    // ECDH with the peer's uncompressed point: the 32-byte x-coordinate of the shared point.
    virtual SecureBytes keyAgreement(const Bytes& peerPublicKey) const = 0;
};

// Where device keys live, found by an application tag. Failures are thrown as the backend's
// error type (FileError, OpenSslError, DeviceKeyError).
class DeviceKeyStoreProtocol {
public:
    virtual ~DeviceKeyStoreProtocol() = default;
    // A new random key under the tag, replacing any key the tag had, so a lookup never has
    // two candidates to choose from.
    virtual void createKey(const Bytes& tag) = 0;
    // The key of the tag, or null when there is none.
    virtual std::shared_ptr<const DeviceKey> findKey(const Bytes& tag) = 0;
    // True when a key was removed; false when the tag had none.
    virtual bool deleteKey(const Bytes& tag) = 0;
    // Which backend holds the key of the tag (none when there is none), from what is stored
    // alone: an unreachable TPM still holds its key.
    virtual DeviceKeyBackend backendOf(const Bytes& tag) const = 0;
    // The key of `from` becomes the key of `to`, replacing whatever `to` had; `from` is left
    // without a key. Each step is atomic: a crash in between leaves both tags with the same
    // key, and moving again finishes the move. False when `from` has no key.
    virtual bool moveKey(const Bytes& from, const Bytes& to) = 0;
};

// Live: the TPM where one is usable, else a file (PlatformDeviceKeyStore). Test: the same,
// with a TPM only when KEYVANE_TPM_TCTI names one.
std::shared_ptr<DeviceKeyStoreProtocol> makeLiveDeviceKeyStore();
std::shared_ptr<DeviceKeyStoreProtocol> makeTestDeviceKeyStore();

inline const DependencyKey<DeviceKeyStoreProtocol> deviceKeyStore{"deviceKeyStore", makeLiveDeviceKeyStore,
                                                                  makeTestDeviceKeyStore};

} // namespace keyvane
