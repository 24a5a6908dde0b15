#include "keyvane/middlewares/OnDisableMasterPassword.h"

namespace keyvane::app {

OnDisableMasterPassword::OnDisableMasterPassword()
    : pinCodeCacheManager_(Dependencies::get(keyvane::pinCodeCacheManager)),
      laContextWrapper_(Dependencies::get(keyvane::laContextWrapper)) {}

MaybeStream OnDisableMasterPassword::process(const AppAction& action) {
    if (!action.is<AppAction::disableMasterPassword>()) {
        return std::nullopt;
    }
    return flowkeep::runTask<AppAction>([cache = pinCodeCacheManager_, biometrics = laContextWrapper_](const AppActionSink& sink) {
        try {
            cache->eraseCache();
        } catch (...) {
            yieldCurrentError<AppAction>(sink);
            return;
        }
        try {
            biometrics->setBioEnabled(false);
        } catch (...) {
            yieldCurrentError<AppAction>(sink);
            // The cache is gone all the same: the state must not go on offering it.
        }
        sink.yield(AppAction::updateMasterPasswordState{MasterPasswordState::disabled});
    });
}

} // namespace keyvane::app
