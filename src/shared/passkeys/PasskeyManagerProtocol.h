#pragma once

#include "shared/dependencies/DependencyRegistry.h"
#include "shared/passkeys/PasskeyManagerError.h"
#include "shared/pkcs11/Pkcs11Token.h"
#include "shared/model/PasskeyCredentials.h"
#include "shared/utils/Bytes.h"

#include <memory>
#include <set>
#include <string>
#include <vector>

namespace keyvane {

// What a registration holds while its passkey is incomplete on the token (holdForRegistration).
class RegistrationHold {
public:
    virtual ~RegistrationHold() = default;
};

// The passkeys on a connected token. Every failure is a PasskeyManagerError. The token's
// session must be logged in for everything but getToken and holdForRegistration.
class PasskeyManagerProtocol {
public:
    virtual ~PasskeyManagerProtocol() = default;

    // The open token with the serial; none is tokenNotFound.
    virtual std::shared_ptr<Pkcs11TokenProtocol> getToken(const std::string& serial) = 0;
    // The passkeys in the order the token lists their metadata objects. Destroys metadata
    // objects whose private key is gone, once the session is known to be still logged in after
    // the key search (a login lost meanwhile is an error, and nothing is destroyed); skips (and
    // logs) one that cannot be read, leaving it on the token. A session that is not logged in
    // is an error, never an empty list.
    virtual std::vector<PasskeyCredentials> getCredentials(const std::string& serial) = 0;
    // While the answer lives, no listing in any process destroys a metadata object of this
    // token as an orphan: a registration holds it from before it writes its metadata object
    // until its key exists and its work on the token is done, since a listing in between would
    // see the metadata object without its key. Any number of registrations hold it at once;
    // the listings meanwhile leave orphans to a later listing. Waits while a listing is deciding
    // about orphans.
    virtual std::unique_ptr<RegistrationHold> holdForRegistration(const std::string& serial) = 0;
    // Destroys, for each listed key identifier, the metadata object and then its private key.
    virtual void deleteCredentials(const std::set<Bytes>& keyIds, const std::string& serial) = 0;
    // Generates a P-256 key pair with the identifier as CKA_ID and the label as CKA_LABEL,
    // keeps only the private key and answers the public key's CKA_EC_POINT. Implemented by the
    // extension's manager; the shared one refuses it.
    virtual Bytes createKeyPair(const std::string& serial, const Bytes& keyId, const Bytes& label) = 0;
    // Signs with the credential's private key (ECDSA P-256 over SHA-256) and answers the raw
    // r||s. touchTimeExpired when the touch did not come in time; credsNotFound when the
    // credential is not on the token. Implemented by the extension's manager.
    virtual Bytes sign(const PasskeyCredentials& credentials, const Bytes& data) = 0;
};

std::shared_ptr<PasskeyManagerProtocol> makeLivePasskeyManager();

// The extension's entry installs its own manager (one that signs) under this key.
inline const DependencyKey<PasskeyManagerProtocol> passkeyManager{"passkeyManager", makeLivePasskeyManager,
                                                                  makeLivePasskeyManager};

} // namespace keyvane
