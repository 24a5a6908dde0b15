#pragma once

#include "keyvane/middlewares/AppMiddleware.h"
#include "shared/pin_cache/PinCodeCacheManagerProtocol.h"

namespace keyvane::app {

// Guards the settings sheet with the master password.
class OnEnterMasterPasswordSettings final : public AppMiddleware {
public:
    OnEnterMasterPasswordSettings();
    MaybeStream process(const AppAction& action) override;

private:
    std::shared_ptr<PinCodeCacheManagerProtocol> pinCodeCacheManager_;
};

} // namespace keyvane::app
