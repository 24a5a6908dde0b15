#pragma once

#include "shared/files/GroupDirectory.h"
#include "shared/files/SecureFile.h"
#include "shared/passkeys/PasskeyManagerProtocol.h"
#include "shared/passkeys/PasskeyMetadata.h"
#include "shared/pkcs11/Pkcs11ManagerProtocol.h"
#include "shared/pkcs11/Pkcs11Object.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace keyvane {

// Lists and deletes the passkeys on the tokens that the PKCS#11 manager keeps open. It holds
// no state but the manager, so overlapping calls need no serialising of their own: each listing
// or deletion runs as one job on the PKCS#11 executor and handles its objects one after the
// other.
//
// A listing or deletion searches the token twice whatever the number of passkeys: once for the
// metadata objects and once for all private keys, whose CKA_ID are then matched in memory. A
// search walks every object of some tokens (SoftHSM2 among them), so a search per passkey
// would make listing quadratic.
//
// Registrations in any process hold a shared lock of the token (a file of the group directory)
// while their passkey is incomplete; a listing destroys orphans only when it can take that lock
// exclusively at its start, without waiting, and holds it to its end.
//
// Key generation and signing belong to the extension: this manager refuses them, the
// extension's manager (derived from this one) implements them.
class PasskeyManager : public PasskeyManagerProtocol {
public:
    // Reads the PKCS#11 manager from the registry.
    PasskeyManager();
    // The registrations' locks are files of the folder, by default the group directory.
    explicit PasskeyManager(std::shared_ptr<Pkcs11ManagerProtocol> pkcsManager,
                            std::optional<std::filesystem::path> lockFolder = std::nullopt);

    std::shared_ptr<Pkcs11TokenProtocol> getToken(const std::string& serial) override;
    std::vector<PasskeyCredentials> getCredentials(const std::string& serial) override;
    std::unique_ptr<RegistrationHold> holdForRegistration(const std::string& serial) override;
    void deleteCredentials(const std::set<Bytes>& keyIds, const std::string& serial) override;
    Bytes createKeyPair(const std::string& serial, const Bytes& keyId, const Bytes& label) override;
    Bytes sign(const PasskeyCredentials& credentials, const Bytes& data) override;

    // The private key whose CKA_ID is the identifier, or nothing: one search of the token.
    // Several keys, or an empty identifier (which could match another application's key
    // without an identifier), are errors.
    std::optional<Pkcs11Object> findPrivateKey(const Pkcs11TokenProtocol& token, const Bytes& keyId) const;

private:
    // Runs the operation on the token of the serial as one job, after checking that its session
    // is logged in: listing an unlogged session would find no private objects and read as "no
    // passkeys", and a logout in the middle of the job would make every passkey look orphaned.
    void withLoggedInToken(const std::string& serial, const char* function,
                           const std::function<void(const Pkcs11TokenProtocol&)>& operation);

    // The lock file that registrations of the token hold shared and a listing takes exclusive,
    // without waiting, before it decides about orphans.
    std::filesystem::path registrationLockPath(const std::string& serial) const;
    // That lock, exclusive, if no registration holds it now; nothing otherwise, or when the lock
    // file cannot be used (logged): orphans then stay where they are.
    std::optional<SharedFileLock> lockOutRegistrations(const std::string& serial) const;

    std::shared_ptr<Pkcs11ManagerProtocol> pkcsManager_;
    GroupFolder lockFolder_;
};

// The search for passkey metadata objects: the data-object template with passkeyObjectId().
Pkcs11Template passkeyMetadataTemplate();

} // namespace keyvane
