#pragma once

#include "shared/passkeys/PasskeyManagerProtocol.h"
#include "shared/passkeys/PasskeyMetadata.h"
#include "shared/pkcs11/Pkcs11ManagerProtocol.h"
#include "shared/pkcs11/Pkcs11Object.h"

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace keyvane {

// Lists and deletes the passkeys on the tokens that the PKCS#11 manager keeps open. It holds
// no state but the manager, so overlapping calls need no serialising of their own; the library
// calls are serialised on the PKCS#11 executor and each operation handles its objects one
// after the other.
//
// Key generation and signing belong to the extension: this manager refuses them, the
// extension's manager (derived from this one) implements them.
class PasskeyManager : public PasskeyManagerProtocol {
public:
    // Reads the PKCS#11 manager from the registry.
    PasskeyManager();
    explicit PasskeyManager(std::shared_ptr<Pkcs11ManagerProtocol> pkcsManager);

    std::shared_ptr<Pkcs11TokenProtocol> getToken(const std::string& serial) override;
    std::vector<PasskeyCredentials> getCredentials(const std::string& serial) override;
    void deleteCredentials(const std::set<Bytes>& keyIds, const std::string& serial) override;
    Bytes createKeyPair(const std::string& serial, const Bytes& keyId, const Bytes& label) override;
    Bytes sign(const PasskeyCredentials& credentials, const Bytes& data) override;

    // The private key whose CKA_ID is the identifier, or nothing. Several keys, or an empty
    // identifier (which could match another application's key without an identifier), are
    // errors.
    std::optional<Pkcs11Object> findPrivateKey(const Pkcs11TokenProtocol& token, const Bytes& keyId) const;

protected:
    // The token of the serial, logged in: listing an unlogged session would find no private
    // objects and read as "no passkeys".
    std::shared_ptr<Pkcs11TokenProtocol> getLoggedInToken(const std::string& serial, const char* function);

private:
    struct MetadataObject {
        Pkcs11Object object;
        std::optional<PasskeyMetadata> metadata; // absent when the value could not be read
    };
    // Every passkey metadata object with its decoded value. An undecodable value (or one
    // without a key identifier) is logged and has no metadata; it is never destroyed.
    std::vector<MetadataObject> readMetadataObjects(const Pkcs11TokenProtocol& token) const;

    std::shared_ptr<Pkcs11ManagerProtocol> pkcsManager_;
};

// The search for passkey metadata objects: the data-object template with passkeyObjectId().
Pkcs11Template passkeyMetadataTemplate();

} // namespace keyvane
