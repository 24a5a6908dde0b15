#pragma once

#include "shared/dependencies/DependencyRegistry.h"
#include "shared/model/PasskeyCredentials.h"

#include <functional>
#include <memory>
#include <vector>

namespace keyvane {

// The passkey identities offered for AutoFill: replaced as a whole.
class CredentialIdentityStoreProtocol {
public:
    // Reads the passkeys to publish, as they are now (the records).
    using CurrentCredentials = std::function<std::vector<PasskeyCredentials>()>;

    virtual ~CredentialIdentityStoreProtocol() = default;
    // When the extension is turned on, the published list becomes one identity per element of
    // what current answers, read while the published list is locked: of several programs
    // publishing at once, the last publishes what is current then, never a list it read before
    // another one wrote. When it is off, nothing happens (current is not read). Fails with
    // CredentialIdentityStoreError; current's own exceptions pass through.
    virtual void update(const CurrentCredentials& current) = 0;
};

// Whether the extension is turned on, and the request to the user to turn it on.
class AutofillExtensionHelperProtocol {
public:
    virtual ~AutofillExtensionHelperProtocol() = default;
    virtual bool isEnabled() = 0;
    // The user's answer; false when declined. Never fails.
    virtual bool requestToTurnOnExtension() = 0;
};

std::shared_ptr<CredentialIdentityStoreProtocol> makeLiveCredentialIdentityStore();
std::shared_ptr<AutofillExtensionHelperProtocol> makeLiveAutofillExtensionHelper();

inline const DependencyKey<CredentialIdentityStoreProtocol> credentialIdentityStore{
    "credentialIdentityStore", makeLiveCredentialIdentityStore, makeLiveCredentialIdentityStore};
inline const DependencyKey<AutofillExtensionHelperProtocol> autofillExtensionHelper{
    "autofillExtensionHelper", makeLiveAutofillExtensionHelper, makeLiveAutofillExtensionHelper};

} // namespace keyvane
