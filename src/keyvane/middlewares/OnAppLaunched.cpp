#include "keyvane/middlewares/OnAppLaunched.h"

#include "shared/redux/OnboardingStatus.h"

namespace keyvane::app {

OnAppLaunched::OnAppLaunched()
    : refresh_(StateRefresh::fromDependencies()), userDefaultsManager_(Dependencies::get(keyvane::userDefaultsManager)) {}

MaybeStream OnAppLaunched::process(const AppAction& action) {
    if (!action.is<AppAction::appLaunched>()) {
        return std::nullopt;
    }
    return flowkeep::runTask<AppAction>([refresh = refresh_, defaults = userDefaultsManager_](const AppActionSink& sink) {
        try {
            const auto stored = defaults->value<std::int64_t>(UserDefaultsKey::onboardingStatus);
            // Only nothing stored is a first start. Preferences that cannot be read are damage
            // (logged by the store): onboarding goes on from its default step, and the PIN
            // cache stays.
            if (!stored && defaults->state(UserDefaultsKey::onboardingStatus) == PreferenceState::absent) {
                // A first start: a PIN cache left by an earlier installation must not unlock
                // anything for the new user.
                refresh.pinCodeCacheManager->eraseCache();
                sink.yield(AppAction::firstLaunch{});
            } else if (stored && *stored == rawValue(OnboardingStatus::completed)) {
                sink.yield(AppAction::enableExtension{false});
            } else {
                sink.yield(AppAction::firstLaunch{});
            }
            refresh.run(sink);
        } catch (...) {
            yieldCurrentError<AppAction>(sink);
        }
    });
}

} // namespace keyvane::app
