#include "keyvane/middlewares/OnChangeMasterPassword.h"

namespace keyvane::app {

OnChangeMasterPassword::OnChangeMasterPassword() : pinCodeCacheManager_(Dependencies::get(keyvane::pinCodeCacheManager)) {}

MaybeStream OnChangeMasterPassword::process(const AppAction& action) {
    const auto* change = action.as<AppAction::changeMasterPassword>();
    if (change == nullptr) {
        return std::nullopt;
    }
    return flowkeep::runTask<AppAction>([cache = pinCodeCacheManager_, password = change->password](const AppActionSink& sink) {
        try {
            cache->changePassword(password.reveal());
        } catch (...) {
            yieldCurrentError<AppAction>(sink);
        }
    });
}

} // namespace keyvane::app
