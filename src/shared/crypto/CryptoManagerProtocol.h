#pragma once

#include "shared/crypto/DeviceKey.h"
#include "shared/dependencies/DependencyRegistry.h"
#include "shared/utils/Bytes.h"
#include "shared/utils/SecureMemory.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace keyvane {

using ByteView = std::span<const std::uint8_t>;

// The device key found by its tag, and its public key.
struct EnclaveKeys {
    std::shared_ptr<const DeviceKey> privateKey;
    Bytes publicKey;
};

// Every cryptographic step of the PIN cache. Sealed values use the combined AES-256-GCM
// layout: nonce (12) || ciphertext || tag (16). Every operation fails only with
// CryptoManagerError and keeps no state between calls.
class CryptoManagerProtocol {
public:
    virtual ~CryptoManagerProtocol() = default;

    // Seals / opens data under the content key that sealedCEK holds, which the device key of
    // the tag unseals.
    virtual Bytes encrypt(ByteView plaintext, ByteView sealedCEK, ByteView tag) = 0;
    virtual SecureBytes decrypt(ByteView box, ByteView sealedCEK, ByteView tag) = 0;
    // Makes a new device key under the tag, replacing any earlier one.
    virtual void createKEK(ByteView tag) = 0;
    // No key remains under the tag (none there already is success).
    virtual void deleteKEK(ByteView tag) = 0;
    // PBKDF2-HMAC-SHA256, 600000 iterations, of the password's UTF-8 bytes.
    virtual SecureBytes hash(const std::string& password, ByteView salt, int keyByteCount) = 0;
    virtual SecureBytes decryptCEK(ByteView encryptedCEK, const SecureBytes& kek) = 0;
    virtual Bytes encryptCEK(ByteView cek, const SecureBytes& kek) = 0;
    // ECDH of the private key with the public key, then the X9.63 KDF (SHA-256, 32 bytes).
    virtual SecureBytes deriveKEK(const DeviceKey& privateKey, const Bytes& publicKey) = 0;
    virtual EnclaveKeys getKeysFromEnclave(ByteView tag) = 0;
    // Which backend holds the device key of the tag, from what is stored (no TPM is asked).
    virtual DeviceKeyBackend kekBackend(ByteView tag) = 0;
    // The device key of `from` becomes the key of `to` (see DeviceKeyStoreProtocol::moveKey).
    virtual void moveKEK(ByteView from, ByteView to) = 0;
};

inline constexpr int pbkdf2Iterations = 600000;
inline constexpr std::size_t sealedBoxOverhead = 28; // nonce 12 + tag 16

std::shared_ptr<CryptoManagerProtocol> makeLiveCryptoManager();

inline const DependencyKey<CryptoManagerProtocol> cryptoManager{"cryptoManager", makeLiveCryptoManager,
                                                                makeLiveCryptoManager};

} // namespace keyvane
