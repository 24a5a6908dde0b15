#pragma once

#include "shared/biometrics/MasterPassAuthError.h"
#include "shared/pin_cache/PinCodeCacheError.h"
#include "shared/pin_cache/PinCodeCacheManagerProtocol.h"
#include "shared/redux/LoginViewState.h"
#include "shared/redux/MasterPasswordState.h"
#include "shared/redux/middlewares/MiddlewareSupport.h"

#include <memory>

namespace keyvane {

// Unlocks the login window with the master password. A wrong password becomes the error under
// the field with the attempts left; only a blocked password (the cache was just erased) is an
// alert.
template <class Action>
class OnValidateMasterPassword final : public flowkeep::Middleware<Action> {
public:
    OnValidateMasterPassword() : pinCodeCacheManager_(Dependencies::get(keyvane::pinCodeCacheManager)) {}

    std::optional<flowkeep::ActionStream<Action>> process(const Action& action) override {
        const auto* validate = action.template as<typename Action::validateMasterPassword>();
        if (validate == nullptr) {
            return std::nullopt;
        }
        return flowkeep::runTask<Action>(
            [cache = pinCodeCacheManager_, password = validate->password](const flowkeep::ActionSink<Action>& sink) {
                try {
                    const AuthResult result = cache->auth(password.reveal());
                    if (result.is<AuthResult::success>()) {
                        sink.yield(typename Action::setPassAuth{LoginAuthStatus::passedByMasterPassword});
                    } else if (const auto* invalid = result.as<AuthResult::invalidMasterPassword>()) {
                        sink.yield(typename Action::setMasterPassAuthError{
                            MasterPassAuthError::invalidPass{invalid->remainingAttemptsCount}});
                    } else {
                        sink.yield(typename Action::updateMasterPasswordState{MasterPasswordState::disabled});
                        sink.yield(typename Action::handleError{AnyError(result)});
                    }
                } catch (const PinCodeCacheError& error) {
                    sink.yield(typename Action::setMasterPassAuthError{masterPasswordCheckFailed(error)});
                } catch (...) {
                    yieldCurrentError<Action>(sink);
                }
            });
    }

private:
    std::shared_ptr<PinCodeCacheManagerProtocol> pinCodeCacheManager_;
};

} // namespace keyvane
