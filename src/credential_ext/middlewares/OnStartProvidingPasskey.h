#pragma once

#include "credential_ext/middlewares/ExtMiddleware.h"
#include "shared/storage/CredentialsStorageProtocol.h"
#include "shared/storage/TokenStorageProtocol.h"

#include <memory>

namespace keyvane::ext {

// Starts the sign-in of a request that names one passkey: finds its stored record by user
// handle and relying party (a user handle is unique only within its relying party) and
// chooses it, as a tap in the passkey choice does.
class OnStartProvidingPasskey final : public ExtMiddleware {
public:
    OnStartProvidingPasskey();

    MaybeStream process(const AppAction& action) override;

private:
    std::shared_ptr<CredentialsStorageProtocol> credentialsStorage_;
    std::shared_ptr<TokenStorageProtocol> tokenStorage_;
};

} // namespace keyvane::ext
