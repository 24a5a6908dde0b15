#pragma once

#include "keyvane/middlewares/AppMiddleware.h"
#include "shared/pin_cache/PinCodeCacheManagerProtocol.h"

namespace keyvane::app {

// Puts the cache under a new master password; every cached PIN stays readable.
class OnChangeMasterPassword final : public AppMiddleware {
public:
    OnChangeMasterPassword();
    MaybeStream process(const AppAction& action) override;

private:
    std::shared_ptr<PinCodeCacheManagerProtocol> pinCodeCacheManager_;
};

} // namespace keyvane::app
