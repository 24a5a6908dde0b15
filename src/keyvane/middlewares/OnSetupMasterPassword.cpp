#include "keyvane/middlewares/OnSetupMasterPassword.h"

namespace keyvane::app {

OnSetupMasterPassword::OnSetupMasterPassword() : pinCodeCacheManager_(Dependencies::get(keyvane::pinCodeCacheManager)) {}

MaybeStream OnSetupMasterPassword::process(const AppAction& action) {
    const auto* setup = action.as<AppAction::setupMasterPassword>();
    if (setup == nullptr) {
        return std::nullopt;
    }
    return flowkeep::runTask<AppAction>([cache = pinCodeCacheManager_, password = setup->password](const AppActionSink& sink) {
        try {
            cache->initCache(password.reveal());
            sink.yield(AppAction::updateMasterPasswordState{MasterPasswordState::enabled, cache->protection()});
        } catch (...) {
            yieldCurrentError<AppAction>(sink);
            // A failed set-up leaves the old cache whole or erases it: the state says which.
            try {
                if (!cache->isMasterPasswordSet()) {
                    sink.yield(AppAction::updateMasterPasswordState{MasterPasswordState::disabled});
                }
            } catch (...) {
                yieldCurrentError<AppAction>(sink);
            }
        }
    });
}

} // namespace keyvane::app
