#pragma once

#include "keyvane/middlewares/AppMiddleware.h"
#include "shared/pin_cache/PinCodeCacheManagerProtocol.h"

namespace keyvane::app {

// Sets up the PIN cache under a new master password.
class OnSetupMasterPassword final : public AppMiddleware {
public:
    OnSetupMasterPassword();
    MaybeStream process(const AppAction& action) override;

private:
    std::shared_ptr<PinCodeCacheManagerProtocol> pinCodeCacheManager_;
};

} // namespace keyvane::app
