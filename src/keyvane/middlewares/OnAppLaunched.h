#pragma once

#include "keyvane/middlewares/StateRefresh.h"
#include "shared/preferences/UserDefaultsManagerProtocol.h"

namespace keyvane::app {

// At start: decides how onboarding goes on, then loads the state from the local records.
class OnAppLaunched final : public AppMiddleware {
public:
    OnAppLaunched();
    MaybeStream process(const AppAction& action) override;

private:
    StateRefresh refresh_;
    std::shared_ptr<UserDefaultsManagerProtocol> userDefaultsManager_;
};

} // namespace keyvane::app
