#pragma once

#include "keyvane/middlewares/AppMiddleware.h"
#include "shared/biometrics/LAContextWrapperProtocol.h"
#include "shared/pin_cache/PinCodeCacheManagerProtocol.h"

namespace keyvane::app {

// Turns the master password off: the whole PIN cache is erased and biometric unlock is
// withdrawn with it.
class OnDisableMasterPassword final : public AppMiddleware {
public:
    OnDisableMasterPassword();
    MaybeStream process(const AppAction& action) override;

private:
    std::shared_ptr<PinCodeCacheManagerProtocol> pinCodeCacheManager_;
    std::shared_ptr<LAContextWrapperProtocol> laContextWrapper_;
};

} // namespace keyvane::app
