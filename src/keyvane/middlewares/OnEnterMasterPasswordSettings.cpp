#include "keyvane/middlewares/OnEnterMasterPasswordSettings.h"

#include "shared/pin_cache/PinCodeCacheError.h"

namespace keyvane::app {

OnEnterMasterPasswordSettings::OnEnterMasterPasswordSettings()
    : pinCodeCacheManager_(Dependencies::get(keyvane::pinCodeCacheManager)) {}

MaybeStream OnEnterMasterPasswordSettings::process(const AppAction& action) {
    const auto* enter = action.as<AppAction::enterMasterPasswordSettings>();
    if (enter == nullptr) {
        return std::nullopt;
    }
    return flowkeep::runTask<AppAction>([cache = pinCodeCacheManager_, password = enter->password](const AppActionSink& sink) {
        try {
            const AuthResult result = cache->auth(password.reveal());
            if (result.is<AuthResult::success>()) {
                sink.yield(AppAction::hideMasterPasswordInput{});
                sink.yield(AppAction::finishEnterMasterPasswordSettings{});
            } else if (const auto* invalid = result.as<AuthResult::invalidMasterPassword>()) {
                sink.yield(AppAction::updateMasterPasswordError{MasterPassAuthError::invalidPass{invalid->remainingAttemptsCount}});
            } else {
                sink.yield(AppAction::updateMasterPasswordState{MasterPasswordState::disabled});
                sink.yield(AppAction::hideMasterPasswordInput{});
                sink.yield(AppAction::handleError{AnyError(result)});
            }
        } catch (const PinCodeCacheError& error) {
            sink.yield(AppAction::updateMasterPasswordError{masterPasswordCheckFailed(error)});
        } catch (...) {
            yieldCurrentError<AppAction>(sink);
        }
    });
}

} // namespace keyvane::app
