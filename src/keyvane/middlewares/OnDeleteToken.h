#pragma once

#include "keyvane/middlewares/AppMiddleware.h"
#include "shared/identities/CredentialIdentityStoreProtocol.h"
#include "shared/pin_cache/PinCodeCacheManagerProtocol.h"
#include "shared/storage/CredentialsStorageProtocol.h"
#include "shared/storage/PinCodeStorageProtocol.h"
#include "shared/storage/TokenStorageProtocol.h"

namespace keyvane::app {

// Forgets a token on this computer: its cached PIN, its record and its passkey records. The
// token itself is not touched.
class OnDeleteToken final : public AppMiddleware {
public:
    OnDeleteToken();
    MaybeStream process(const AppAction& action) override;

private:
    std::shared_ptr<PinCodeStorageProtocol> pinCodeStorage_;
    std::shared_ptr<PinCodeCacheManagerProtocol> pinCodeCacheManager_;
    std::shared_ptr<TokenStorageProtocol> tokenStorage_;
    std::shared_ptr<CredentialsStorageProtocol> credentialsStorage_;
    std::shared_ptr<CredentialIdentityStoreProtocol> credentialIdentityStore_;
};

} // namespace keyvane::app
