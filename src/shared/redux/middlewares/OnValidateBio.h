#pragma once

#include "shared/pin_cache/PinCodeCacheManagerProtocol.h"
#include "shared/redux/LoginViewState.h"
#include "shared/redux/middlewares/MiddlewareSupport.h"

#include <memory>

namespace keyvane {

// Unlocks the login window by the biometric check. A failed or cancelled check is only a
// status for the pane, never an alert.
template <class Action>
class OnValidateBio final : public flowkeep::Middleware<Action> {
public:
    OnValidateBio() : pinCodeCacheManager_(Dependencies::get(keyvane::pinCodeCacheManager)) {}

    std::optional<flowkeep::ActionStream<Action>> process(const Action& action) override {
        if (!action.template is<typename Action::validateBio>()) {
            return std::nullopt;
        }
        return flowkeep::runTask<Action>([cache = pinCodeCacheManager_](const flowkeep::ActionSink<Action>& sink) {
            LoginAuthStatus status = LoginAuthStatus::passedByBiometry;
            try {
                cache->auth();
            } catch (...) {
                status = LoginAuthStatus::failed;
            }
            sink.yield(typename Action::setPassAuth{status});
        });
    }

private:
    std::shared_ptr<PinCodeCacheManagerProtocol> pinCodeCacheManager_;
};

} // namespace keyvane
