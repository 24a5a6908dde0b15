#pragma once

#include "flowkeep/Subscription.h"
#include "shared/biometrics/MasterPassAuthError.h"
#include "shared/biometrics/StoredPinState.h"
#include "shared/model/DeviceKeyBackend.h"
#include "shared/model/TokenInfo.h"
#include "shared/redux/AppAlert.h"
#include "shared/redux/LoginViewState.h"
#include "shared/redux/MasterPassInputState.h"
#include "shared/redux/MasterPasswordState.h"
#include "shared/redux/SecretText.h"

#include <functional>
#include <optional>
#include <string>

namespace keyvane::views {

// What the login and master-password views read of a deliverable's state.
struct LoginSlice {
    LoginViewState login;
    std::optional<AppAlert> alert;
    MasterPasswordState masterPasswordState = MasterPasswordState::disabled;
    MasterPassInputState masterPassInput; // the prompt over the settings sheet
    DeviceKeyBackend cacheProtection = DeviceKeyBackend::none; // what keeps the cached PINs
    bool operator==(const LoginSlice&) const = default;
};

// The view models' side of a store: the slice they read and the shared login actions they
// send for what the user did. StoreLoginPort implements it over either store; tests implement it with a recorder.
// The settings sheet sends its own actions through SettingsStorePort.
class LoginStorePort {
public:
    virtual ~LoginStorePort() = default;

    virtual LoginSlice slice() const = 0;
    // Called at once with the slice, then at each change of it.
    virtual flowkeep::Subscription observe(std::function<void(const LoginSlice&)> onChange) = 0;

    // The sheet shown and gone. What the login does by itself in between (the cached-PIN and
    // biometric checks, the cached PIN after an unlock) is the port's to carry out.
    virtual void startMonitoring() = 0;
    virtual void stopMonitoring() = 0;
    virtual void setPassAuth(LoginAuthStatus status) = 0;
    virtual void setPinExist(StoredPinState state) = 0;
    virtual void selectConnectedToken(const TokenInfo& token) = 0;
    virtual void performLoginOnToken(const std::string& serial, std::optional<SecretText> pin) = 0;
    virtual void validateMasterPassword(SecretText password) = 0;
    virtual void setMasterPassAuthError(std::optional<MasterPassAuthError> error) = 0;
    virtual void switchToPinView(const TokenInfo& token) = 0;
    virtual void hideAlert() = 0;
};

} // namespace keyvane::views
