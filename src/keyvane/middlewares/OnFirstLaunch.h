#pragma once

#include "keyvane/middlewares/AppMiddleware.h"
#include "shared/biometrics/LAContextWrapperProtocol.h"
#include "shared/identities/CredentialIdentityStoreProtocol.h"
#include "shared/preferences/UserDefaultsManagerProtocol.h"

namespace keyvane::app {

// Decides at which step an unfinished onboarding resumes.
class OnFirstLaunch final : public AppMiddleware {
public:
    OnFirstLaunch();
    MaybeStream process(const AppAction& action) override;

private:
    std::shared_ptr<UserDefaultsManagerProtocol> userDefaultsManager_;
    std::shared_ptr<AutofillExtensionHelperProtocol> autofillExtensionHelper_;
    std::shared_ptr<LAContextWrapperProtocol> laContextWrapper_;
};

} // namespace keyvane::app
