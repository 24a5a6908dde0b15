#pragma once

#include "keyvane/middlewares/AppMiddleware.h"
#include "shared/biometrics/LAContextWrapperProtocol.h"
#include "shared/pin_cache/PinCodeCacheManagerProtocol.h"
#include "shared/storage/CredentialsStorageProtocol.h"
#include "shared/storage/PinCodeStorageProtocol.h"
#include "shared/storage/TokenStorageProtocol.h"

#include <memory>

namespace keyvane::app {

// What the launch and every later activation load into the state.
struct StateRefresh {
    std::shared_ptr<TokenStorageProtocol> tokenStorage;
    std::shared_ptr<CredentialsStorageProtocol> credentialsStorage;
    std::shared_ptr<LAContextWrapperProtocol> laContextWrapper;
    std::shared_ptr<PinCodeCacheManagerProtocol> pinCodeCacheManager;
    std::shared_ptr<PinCodeStorageProtocol> pinCodeStorage;

    // Read from the registry.
    static StateRefresh fromDependencies();

    // Yields, in order: setPinCacheHasPins, updateMasterPasswordState, updateBiometryType,
    // updateTokenList, updateCredentialsList. A failing record store throws its error and
    // stops the sequence where it is.
    void run(const AppActionSink& sink) const;
};

// The master-password state as the PIN cache and the biometry preference tell it.
MasterPasswordState currentMasterPasswordState(PinCodeCacheManagerProtocol& cache, LAContextWrapperProtocol& biometrics);

} // namespace keyvane::app
