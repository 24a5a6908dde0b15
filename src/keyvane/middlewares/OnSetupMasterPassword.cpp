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
            sink.yield(AppAction::updateMasterPasswordState{MasterPasswordState::enabled});
        } catch (...) {
            yieldCurrentError<AppAction>(sink);
        }
    });
}

} // namespace keyvane::app
