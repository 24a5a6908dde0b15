#pragma once

#include "keyvane/middlewares/AppMiddleware.h"
#include "shared/passkeys/PasskeyManagerProtocol.h"
#include "shared/storage/CredentialsStorageProtocol.h"

namespace keyvane::app {

// Deletes the chosen passkeys from the token and from the records, then asks for a fresh
// listing of the token.
class OnDeleteCredentials final : public AppMiddleware {
public:
    OnDeleteCredentials();
    MaybeStream process(const AppAction& action) override;

private:
    std::shared_ptr<PasskeyManagerProtocol> passkeyManager_;
    std::shared_ptr<CredentialsStorageProtocol> credentialsStorage_;
};

} // namespace keyvane::app
