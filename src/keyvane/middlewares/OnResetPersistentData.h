#pragma once

#include "keyvane/middlewares/AppMiddleware.h"
#include "shared/biometrics/LAContextWrapperProtocol.h"
#include "shared/pin_cache/PinCodeCacheManagerProtocol.h"
#include "shared/preferences/UserDefaultsManagerProtocol.h"
#include "shared/storage/PinCodeStorageProtocol.h"

namespace keyvane::app {

// The hidden reset: forgets the onboarding progress and the biometry choice and erases the PIN
// cache. The token and passkey records stay. Afterwards the PIN-cache and master-password
// state are read again, so the window never offers a cache that no longer exists.
class OnResetPersistentData final : public AppMiddleware {
public:
    OnResetPersistentData();
    MaybeStream process(const AppAction& action) override;

private:
    std::shared_ptr<UserDefaultsManagerProtocol> userDefaultsManager_;
    std::shared_ptr<PinCodeCacheManagerProtocol> pinCodeCacheManager_;
    std::shared_ptr<PinCodeStorageProtocol> pinCodeStorage_;
    std::shared_ptr<LAContextWrapperProtocol> laContextWrapper_;
};

} // namespace keyvane::app
