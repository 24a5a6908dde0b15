#pragma once

#include "shared/dependencies/DependencyRegistry.h"
#include "shared/model/PasskeyCredentials.h"

#include <memory>
#include <vector>

namespace keyvane {

// The passkey identities offered for AutoFill: replaced as a whole.
class CredentialIdentityStoreProtocol {
public:
    virtual ~CredentialIdentityStoreProtocol() = default;
    // When the extension is turned on, the published list becomes one identity per element;
    // when it is off, nothing happens. Fails with CredentialIdentityStoreError.
    virtual void update(const std::vector<PasskeyCredentials>& credentials) = 0;
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
