#include "keyvane/middlewares/OnUpdateUserDefaults.h"

namespace keyvane::app {

OnUpdateUserDefaults::OnUpdateUserDefaults() : userDefaultsManager_(Dependencies::get(keyvane::userDefaultsManager)) {}

MaybeStream OnUpdateUserDefaults::process(const AppAction& action) {
    if (const auto* update = action.as<AppAction::updateOnboardingStatus>()) {
        userDefaultsManager_->set(rawValue(update->status), UserDefaultsKey::onboardingStatus);
    }
    return std::nullopt;
}

} // namespace keyvane::app
