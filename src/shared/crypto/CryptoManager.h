#pragma once

#include "shared/crypto/CryptoManagerProtocol.h"

#include <optional>

namespace keyvane {

// OpenSSL 3 for the primitives; the device key comes from the registry's deviceKeyStore at
// each use.
class CryptoManager final : public CryptoManagerProtocol {
public:
    Bytes encrypt(ByteView plaintext, ByteView sealedCEK, ByteView tag) override;
    SecureBytes decrypt(ByteView box, ByteView sealedCEK, ByteView tag) override;
    void createKEK(ByteView tag) override;
    void deleteKEK(ByteView tag) override;
    SecureBytes hash(const std::string& password, ByteView salt, int keyByteCount) override;
    SecureBytes decryptCEK(ByteView encryptedCEK, const SecureBytes& kek) override;
    Bytes encryptCEK(ByteView cek, const SecureBytes& kek) override;
    SecureBytes deriveKEK(const DeviceKey& privateKey, const Bytes& publicKey) override;
    EnclaveKeys getKeysFromEnclave(ByteView tag) override;
    DeviceKeyBackend kekBackend(ByteView tag) override;
    void moveKEK(ByteView from, ByteView to) override;
};

// The AES-256-GCM primitives in the combined layout; answer nothing when the key is not 32
// bytes, the box is too short, or authentication fails.
std::optional<Bytes> sealCombined(ByteView plaintext, ByteView key);
std::optional<SecureBytes> openCombined(ByteView box, ByteView key);

} // namespace keyvane
