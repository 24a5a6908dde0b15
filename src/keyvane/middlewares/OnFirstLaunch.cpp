#include "keyvane/middlewares/OnFirstLaunch.h"

#include "shared/redux/OnboardingStatus.h"

namespace keyvane::app {

OnFirstLaunch::OnFirstLaunch()
    : userDefaultsManager_(Dependencies::get(keyvane::userDefaultsManager)),
      autofillExtensionHelper_(Dependencies::get(keyvane::autofillExtensionHelper)),
      laContextWrapper_(Dependencies::get(keyvane::laContextWrapper)) {}

MaybeStream OnFirstLaunch::process(const AppAction& action) {
    if (!action.is<AppAction::firstLaunch>()) {
        return std::nullopt;
    }
    return flowkeep::runTask<AppAction>([defaults = userDefaultsManager_, extension = autofillExtensionHelper_,
                                         biometrics = laContextWrapper_](const AppActionSink& sink) {
        const auto raw = defaults->value<std::int64_t>(UserDefaultsKey::onboardingStatus);
        const auto stored = raw ? onboardingStatusFromRawValue(*raw) : std::nullopt;
        OnboardingStatus next = OnboardingStatus::enableExtension;
        switch (stored.value_or(OnboardingStatus::enableExtension)) {
        case OnboardingStatus::enableExtension:
            next = extension->isEnabled() ? OnboardingStatus::masterPassword : OnboardingStatus::enableExtension;
            break;
        case OnboardingStatus::payAttention:
            next = OnboardingStatus::payAttention;
            break;
        case OnboardingStatus::masterPassword:
            next = OnboardingStatus::masterPassword;
            break;
        case OnboardingStatus::biometry:
            next = biometrics->isBioEnabled().value_or(false) ? OnboardingStatus::completed : OnboardingStatus::biometry;
            break;
        case OnboardingStatus::completed:
            next = OnboardingStatus::completed;
            break;
        }
        sink.yield(AppAction::updateOnboardingStatus{next});
    });
}

} // namespace keyvane::app
