#include "keyvane/middlewares/StateRefresh.h"

namespace keyvane::app {

StateRefresh StateRefresh::fromDependencies() {
    return StateRefresh{Dependencies::get(keyvane::tokenStorage), Dependencies::get(keyvane::credentialsStorage),
                        Dependencies::get(keyvane::laContextWrapper), Dependencies::get(keyvane::pinCodeCacheManager),
                        Dependencies::get(keyvane::pinCodeStorage)};
}

MasterPasswordState currentMasterPasswordState(PinCodeCacheManagerProtocol& cache, LAContextWrapperProtocol& biometrics) {
    if (!cache.isMasterPasswordSet()) {
        return MasterPasswordState::disabled;
    }
    return biometrics.isBioEnabled().value_or(false) ? MasterPasswordState::enabledWithBio : MasterPasswordState::enabled;
}

void StateRefresh::run(const AppActionSink& sink) const {
    // The cache first: reading it finishes an erasure that a failure interrupted, which the
    // PIN count then reflects.
    const MasterPasswordState masterPassword = currentMasterPasswordState(*pinCodeCacheManager, *laContextWrapper);
    const std::optional<DeviceKeyBackend> protection =
        masterPassword == MasterPasswordState::disabled ? std::nullopt
                                                        : std::optional(pinCodeCacheManager->protection());
    sink.yield(AppAction::setPinCacheHasPins{pinCodeStorage->hasPins()});
    sink.yield(AppAction::updateMasterPasswordState{masterPassword, protection});
    sink.yield(AppAction::updateBiometryType{laContextWrapper->biometryType()});
    auto tokens = tokenStorage->listTokens();
    auto credentials = credentialsStorage->fetchAllCredentials();
    sink.yield(AppAction::updateTokenList{std::move(tokens)});
    sink.yield(AppAction::updateCredentialsList{std::move(credentials)});
}

} // namespace keyvane::app
