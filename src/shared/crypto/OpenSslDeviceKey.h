#pragma once

#include "shared/crypto/DeviceKey.h"

#include <openssl/evp.h>

#include <memory>

namespace keyvane {

struct EvpPkeyDeleter {
    void operator()(EVP_PKEY* key) const noexcept { EVP_PKEY_free(key); }
};
using EvpPkeyPtr = std::unique_ptr<EVP_PKEY, EvpPkeyDeleter>;

// A P-256 key held by OpenSSL in this process (the file backend's keys).
class OpenSslDeviceKey final : public DeviceKey {
public:
    explicit OpenSslDeviceKey(EvpPkeyPtr key) : key_(std::move(key)) {}

    static std::shared_ptr<OpenSslDeviceKey> generate();
    // The key with the given private scalar (32 bytes, big-endian), for fixed test keys.
    static std::shared_ptr<OpenSslDeviceKey> fromPrivateScalar(const Bytes& scalar);
    // PKCS#8 DER, as the file backend stores it.
    static std::shared_ptr<OpenSslDeviceKey> fromDer(const Bytes& der);
    SecureBytes toDer() const;

    Bytes publicKey() const override;
    SecureBytes keyAgreement(const Bytes& peerPublicKey) const override;

private:
    EvpPkeyPtr key_;
};

} // namespace keyvane
