#pragma once

#include "keyvane/middlewares/AppMiddleware.h"
#include "shared/preferences/UserDefaultsManagerProtocol.h"

namespace keyvane::app {

// Keeps the onboarding step in the preferences, so the next start resumes there. Writes at
// once, inside process, before the next middleware sees the action.
class OnUpdateUserDefaults final : public AppMiddleware {
public:
    OnUpdateUserDefaults();
    MaybeStream process(const AppAction& action) override;

private:
    std::shared_ptr<UserDefaultsManagerProtocol> userDefaultsManager_;
};

} // namespace keyvane::app
