#include "keyvane/middlewares/OnResetPersistentData.h"

#include "keyvane/middlewares/StateRefresh.h"

namespace keyvane::app {

OnResetPersistentData::OnResetPersistentData()
    : userDefaultsManager_(Dependencies::get(keyvane::userDefaultsManager)),
      pinCodeCacheManager_(Dependencies::get(keyvane::pinCodeCacheManager)),
      pinCodeStorage_(Dependencies::get(keyvane::pinCodeStorage)),
      laContextWrapper_(Dependencies::get(keyvane::laContextWrapper)) {}

MaybeStream OnResetPersistentData::process(const AppAction& action) {
    if (!action.is<AppAction::resetPersistentData>()) {
        return std::nullopt;
    }
    return flowkeep::runTask<AppAction>([defaults = userDefaultsManager_, cache = pinCodeCacheManager_,
                                         pins = pinCodeStorage_, biometrics = laContextWrapper_](const AppActionSink& sink) {
        defaults->removeValue(UserDefaultsKey::onboardingStatus);
        defaults->removeValue(UserDefaultsKey::isBioEnabled);
        try {
            cache->eraseCache();
        } catch (...) {
            // The reset reports nothing; what the state shows next is read back below.
        }
        try {
            sink.yield(AppAction::setPinCacheHasPins{pins->hasPins()});
        } catch (...) {
            // Unknown after a failed read; the next activation loads it again.
        }
        sink.yield(AppAction::updateMasterPasswordState{currentMasterPasswordState(*cache, *biometrics)});
    });
}

} // namespace keyvane::app
