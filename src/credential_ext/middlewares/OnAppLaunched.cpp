#include "credential_ext/middlewares/OnAppLaunched.h"

namespace keyvane::ext {

OnAppLaunched::OnAppLaunched(bool updateLists)
    : tokenStorage_(Dependencies::get(keyvane::tokenStorage)),
      credentialsStorage_(Dependencies::get(keyvane::credentialsStorage)),
      laContextWrapper_(Dependencies::get(keyvane::laContextWrapper)),
      pinCodeCacheManager_(Dependencies::get(keyvane::pinCodeCacheManager)),
      pinCodeStorage_(Dependencies::get(keyvane::pinCodeStorage)), updateLists_(updateLists) {}

MaybeStream OnAppLaunched::process(const AppAction& action) {
    if (!action.is<AppAction::appLaunched>()) {
        return std::nullopt;
    }
    return flowkeep::runTask<AppAction>([tokens = tokenStorage_, credentials = credentialsStorage_,
                                         biometrics = laContextWrapper_, cache = pinCodeCacheManager_,
                                         pins = pinCodeStorage_, updateLists = updateLists_](const ExtActionSink& sink) {
        try {
            sink.yield(AppAction::setPinCacheHasPins{pins->hasPins()});
            auto state = MasterPasswordState::disabled;
            if (cache->isMasterPasswordSet()) {
                state = biometrics->isBioEnabled().value_or(false) ? MasterPasswordState::enabledWithBio
                                                                   : MasterPasswordState::enabled;
            }
            sink.yield(AppAction::updateMasterPasswordState{state});
            if (!updateLists) {
                return;
            }
            // Both lists or neither: the choice must never show passkeys without their tokens.
            auto tokenList = tokens->listTokens();
            auto passkeys = credentials->fetchAllCredentials();
            sink.yield(AppAction::updateTokenList{std::move(tokenList)});
            sink.yield(AppAction::updateCredentialsList{std::move(passkeys)});
        } catch (...) {
            yieldCurrentError<AppAction>(sink);
        }
    });
}

} // namespace keyvane::ext
