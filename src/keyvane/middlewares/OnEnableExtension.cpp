#include "keyvane/middlewares/OnEnableExtension.h"

namespace keyvane::app {

OnEnableExtension::OnEnableExtension() : autofillExtensionHelper_(Dependencies::get(keyvane::autofillExtensionHelper)) {}

MaybeStream OnEnableExtension::process(const AppAction& action) {
    const auto* request = action.as<AppAction::enableExtension>();
    if (request == nullptr) {
        return std::nullopt;
    }
    return flowkeep::runTask<AppAction>(
        [helper = autofillExtensionHelper_, isOnboarding = request->isOnboarding](const AppActionSink& sink) {
            const bool agreed = helper->requestToTurnOnExtension();
            if (isOnboarding) {
                sink.yield(AppAction::updateOnboardingStatus{agreed ? OnboardingStatus::masterPassword
                                                                    : OnboardingStatus::payAttention});
            }
        });
}

} // namespace keyvane::app
