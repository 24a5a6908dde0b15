#pragma once

#include "keyvane/middlewares/AppMiddleware.h"
#include "shared/biometrics/LAContextWrapperProtocol.h"

namespace keyvane::app {

// Allows or withdraws biometric unlock, from the settings sheet or the onboarding step.
class OnSetBiometry final : public AppMiddleware {
public:
    OnSetBiometry();
    MaybeStream process(const AppAction& action) override;

private:
    std::shared_ptr<LAContextWrapperProtocol> laContextWrapper_;
};

} // namespace keyvane::app
