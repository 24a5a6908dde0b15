#pragma once

#include "credential_ext/middlewares/ExtMiddleware.h"
#include "credential_ext/state/AppState.h"
#include "shared/identities/CredentialIdentityStoreProtocol.h"
#include "shared/passkeys/PasskeyManagerProtocol.h"
#include "shared/pkcs11/Pkcs11ManagerProtocol.h"
#include "shared/storage/CredentialsStorageProtocol.h"
#include "shared/storage/TokenStorageProtocol.h"

#include <memory>

namespace keyvane::ext {

// The assertion ceremony, after the login to the chosen passkey's token: refreshes the
// records of that token, signs the authenticator data and the client-data hash on the token
// and completes the request with the assertion.
//
// It knows the request it answers: a passkey that the request does not admit (another relying
// party, or not among the credentials the request allows) is refused before anything is
// signed, and the assertion names the request's relying party. One ceremony runs at a time.
class OnSignWithPasskey final : public ExtMiddleware {
public:
    explicit OnSignWithPasskey(AuthState request);

    MaybeStream process(const AppAction& action) override;

private:
    AuthState request_;
    std::shared_ptr<Pkcs11ManagerProtocol> pkcsManager_;
    std::shared_ptr<PasskeyManagerProtocol> passkeyManager_;
    std::shared_ptr<TokenStorageProtocol> tokenStorage_;
    std::shared_ptr<CredentialsStorageProtocol> credentialsStorage_;
    std::shared_ptr<CredentialIdentityStoreProtocol> credentialIdentityStore_;
    CeremonyGuard guard_;
};

} // namespace keyvane::ext
