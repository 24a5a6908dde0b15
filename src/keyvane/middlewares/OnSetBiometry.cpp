#include "keyvane/middlewares/OnSetBiometry.h"

#include "shared/biometrics/LaContextError.h"

namespace keyvane::app {

OnSetBiometry::OnSetBiometry() : laContextWrapper_(Dependencies::get(keyvane::laContextWrapper)) {}

MaybeStream OnSetBiometry::process(const AppAction& action) {
    const auto* request = action.as<AppAction::setBiometry>();
    if (request == nullptr) {
        return std::nullopt;
    }
    return flowkeep::runTask<AppAction>([biometrics = laContextWrapper_, enabled = request->enabled,
                                         isOnboarding = request->isOnboarding](const AppActionSink& sink) {
        const auto completeOnboarding = [&] {
            if (isOnboarding) {
                sink.yield(AppAction::updateOnboardingStatus{OnboardingStatus::completed});
            }
        };
        try {
            biometrics->setBioEnabled(enabled);
        } catch (const LaContextError& error) {
            if (error.is<LaContextError::userRejectedBiometry>()) {
                completeOnboarding();
                sink.yield(AppAction::updateBiometryType{biometrics->biometryType()});
            } else if (error.is<LaContextError::bioNotEnrolled>()) {
                completeOnboarding();
                sink.yield(AppAction::updateBiometryType{biometrics->biometryType()});
                sink.yield(AppAction::handleError{AnyError(LaContextError(LaContextError::bioNotAvailable{}))});
            } else {
                sink.yield(AppAction::handleError{AnyError(error)});
            }
            return;
        } catch (...) {
            yieldCurrentError<AppAction>(sink);
            return;
        }
        completeOnboarding();
        sink.yield(AppAction::updateMasterPasswordState{enabled ? MasterPasswordState::enabledWithBio
                                                                : MasterPasswordState::enabled});
    });
}

} // namespace keyvane::app
