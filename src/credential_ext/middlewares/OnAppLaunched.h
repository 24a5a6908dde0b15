#pragma once

#include "credential_ext/middlewares/ExtMiddleware.h"
#include "shared/biometrics/LAContextWrapperProtocol.h"
#include "shared/pin_cache/PinCodeCacheManagerProtocol.h"
#include "shared/storage/CredentialsStorageProtocol.h"
#include "shared/storage/PinCodeStorageProtocol.h"
#include "shared/storage/TokenStorageProtocol.h"

#include <memory>

namespace keyvane::ext {

// Answers the views' appLaunched: whether PINs are cached, the master-password state and,
// for the credential-list request (updateLists), the stored tokens and passkeys.
class OnAppLaunched final : public ExtMiddleware {
public:
    explicit OnAppLaunched(bool updateLists);

    MaybeStream process(const AppAction& action) override;

private:
    std::shared_ptr<TokenStorageProtocol> tokenStorage_;
    std::shared_ptr<CredentialsStorageProtocol> credentialsStorage_;
    std::shared_ptr<LAContextWrapperProtocol> laContextWrapper_;
    std::shared_ptr<PinCodeCacheManagerProtocol> pinCodeCacheManager_;
    std::shared_ptr<PinCodeStorageProtocol> pinCodeStorage_;
    bool updateLists_;
};

} // namespace keyvane::ext
