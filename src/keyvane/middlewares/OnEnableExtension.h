#pragma once

#include "keyvane/middlewares/AppMiddleware.h"
#include "shared/identities/CredentialIdentityStoreProtocol.h"

namespace keyvane::app {

// Asks the user to turn the AutoFill extension on; during onboarding the answer decides the
// next step.
class OnEnableExtension final : public AppMiddleware {
public:
    OnEnableExtension();
    MaybeStream process(const AppAction& action) override;

private:
    std::shared_ptr<AutofillExtensionHelperProtocol> autofillExtensionHelper_;
};

} // namespace keyvane::app
