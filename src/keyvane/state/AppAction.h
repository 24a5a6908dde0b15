#pragma once

#include "keyvane/state/LoginPuprose.h"
#include "shared/biometrics/BiometryType.h"
#include "shared/biometrics/MasterPassAuthError.h"
#include "shared/biometrics/StoredPinState.h"
#include "shared/errors/CaseEnum.h"
#include "shared/errors/Error.h"
#include "shared/model/DeviceKeyBackend.h"
#include "shared/model/TokenInfo.h"
#include "shared/redux/LoginViewState.h"
#include "shared/redux/MasterPasswordState.h"
#include "shared/redux/OnboardingStatus.h"
#include "shared/redux/SecretText.h"
#include "shared/redux/TokenMonitoringEvent.h"
#include "shared/model/PasskeyCredentials.h"

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace keyvane::app {

// The cases of AppAction. Those with a payload first; PINs and passwords travel as SecretText
// so that no printed form of an action can show them.
namespace app_action {
struct handleError {
    AnyError error;
};
struct updateOnboardingStatus {
    OnboardingStatus status;
};
struct enableExtension {
    bool isOnboarding = false;
};
struct enterMasterPasswordSettings {
    SecretText password;
};
struct updateMasterPasswordError {
    std::optional<MasterPassAuthError> error;
};
struct setMasterPassAuthError {
    std::optional<MasterPassAuthError> error;
};
struct updateBiometryType {
    BiometryType type = BiometryType::none;
};
struct setBiometry {
    bool enabled = false;
    bool isOnboarding = false;
};
struct updateMasterPasswordState {
    // A constructor rather than an aggregate, so senders that know nothing of the protection
    // name only the state.
    updateMasterPasswordState(MasterPasswordState state = MasterPasswordState::disabled,
                              std::optional<DeviceKeyBackend> protection = std::nullopt)
        : state(state), protection(protection) {}

    MasterPasswordState state = MasterPasswordState::disabled;
    // What protects the cache, when the sender read it; without it the state keeps what it
    // knew (none once the master password is off).
    std::optional<DeviceKeyBackend> protection;
};
struct receiveTokenEvents {
    std::vector<TokenMonitoringEvent> events; // in arrival order
    TokenMonitoringRun monitoringRun = 0;     // the run that gathered them
};
struct selectConnectedToken {
    TokenInfo token;
};
struct performLoginOnToken {
    std::string serial;
    std::optional<SecretText> pin; // none: use the cached PIN
};
struct updatePinVerificationStatus {
    PinVerificationStatus status;
};
struct enumerateCredentials {
    std::string serial;
};
struct updateTokenList {
    std::vector<TokenInfo> tokens;
};
struct updateCredentialsList {
    std::vector<PasskeyCredentials> credentials;
};
struct deleteToken {
    std::string serial;
};
struct deleteCredentials {
    CredentialsDeleteRequest request;
};
struct deleteButtonPressed {
    CredentialsDeleteRequest request;
};
struct setupMasterPassword {
    SecretText password;
};
struct changeMasterPassword {
    SecretText password;
};
struct validateMasterPassword {
    SecretText password;
};
struct setPassAuth {
    LoginAuthStatus status = LoginAuthStatus::unknown;
};
struct checkHasPinForToken {
    std::string serial;
};
struct setPinExist {
    StoredPinState state = StoredPinState::notChecked;
};
struct setPinCacheHasPins {
    bool hasPins = false;
};
struct switchToPinView {
    TokenInfo token;
};
struct hideAlert {};
struct hideOnboarding {};
struct quitMasterPasswordSettings {};
struct hideMasterPasswordInput {};
struct startEnteringMasterPasswordSettings {};
struct finishEnterMasterPasswordSettings {};
struct appLaunched {};
struct firstLaunch {};
struct startMonitoring {};
struct stopMonitoring {};
struct syncingButtonPressed {};
struct startSync {};
struct dismissLoginView {};
struct disableMasterPassword {};
struct validateBio {};
struct resetPersistentData {};
} // namespace app_action

// Every action of the main program. Handle it with std::visit over `value` and one handler
// per case, so a new case cannot be forgotten.
class AppAction final
    : public CaseEnum<
          app_action::handleError, app_action::updateOnboardingStatus, app_action::enableExtension,
          app_action::enterMasterPasswordSettings, app_action::updateMasterPasswordError,
          app_action::setMasterPassAuthError, app_action::updateBiometryType, app_action::setBiometry,
          app_action::updateMasterPasswordState, app_action::receiveTokenEvents, app_action::selectConnectedToken,
          app_action::performLoginOnToken, app_action::updatePinVerificationStatus, app_action::enumerateCredentials,
          app_action::updateTokenList, app_action::updateCredentialsList, app_action::deleteToken,
          app_action::deleteCredentials, app_action::deleteButtonPressed, app_action::setupMasterPassword,
          app_action::changeMasterPassword, app_action::validateMasterPassword, app_action::setPassAuth,
          app_action::checkHasPinForToken, app_action::setPinExist, app_action::setPinCacheHasPins,
          app_action::switchToPinView, app_action::hideAlert, app_action::hideOnboarding,
          app_action::quitMasterPasswordSettings, app_action::hideMasterPasswordInput,
          app_action::startEnteringMasterPasswordSettings, app_action::finishEnterMasterPasswordSettings,
          app_action::appLaunched, app_action::firstLaunch, app_action::startMonitoring, app_action::stopMonitoring,
          app_action::syncingButtonPressed, app_action::startSync, app_action::dismissLoginView,
          app_action::disableMasterPassword, app_action::validateBio, app_action::resetPersistentData> {
public:
    using CaseEnum::CaseEnum;
    using handleError = app_action::handleError;
    using updateOnboardingStatus = app_action::updateOnboardingStatus;
    using enableExtension = app_action::enableExtension;
    using enterMasterPasswordSettings = app_action::enterMasterPasswordSettings;
    using updateMasterPasswordError = app_action::updateMasterPasswordError;
    using setMasterPassAuthError = app_action::setMasterPassAuthError;
    using updateBiometryType = app_action::updateBiometryType;
    using setBiometry = app_action::setBiometry;
    using updateMasterPasswordState = app_action::updateMasterPasswordState;
    using receiveTokenEvents = app_action::receiveTokenEvents;
    using selectConnectedToken = app_action::selectConnectedToken;
    using performLoginOnToken = app_action::performLoginOnToken;
    using updatePinVerificationStatus = app_action::updatePinVerificationStatus;
    using enumerateCredentials = app_action::enumerateCredentials;
    using updateTokenList = app_action::updateTokenList;
    using updateCredentialsList = app_action::updateCredentialsList;
    using deleteToken = app_action::deleteToken;
    using deleteCredentials = app_action::deleteCredentials;
    using deleteButtonPressed = app_action::deleteButtonPressed;
    using setupMasterPassword = app_action::setupMasterPassword;
    using changeMasterPassword = app_action::changeMasterPassword;
    using validateMasterPassword = app_action::validateMasterPassword;
    using setPassAuth = app_action::setPassAuth;
    using checkHasPinForToken = app_action::checkHasPinForToken;
    using setPinExist = app_action::setPinExist;
    using setPinCacheHasPins = app_action::setPinCacheHasPins;
    using switchToPinView = app_action::switchToPinView;
    using hideAlert = app_action::hideAlert;
    using hideOnboarding = app_action::hideOnboarding;
    using quitMasterPasswordSettings = app_action::quitMasterPasswordSettings;
    using hideMasterPasswordInput = app_action::hideMasterPasswordInput;
    using startEnteringMasterPasswordSettings = app_action::startEnteringMasterPasswordSettings;
    using finishEnterMasterPasswordSettings = app_action::finishEnterMasterPasswordSettings;
    using appLaunched = app_action::appLaunched;
    using firstLaunch = app_action::firstLaunch;
    using startMonitoring = app_action::startMonitoring;
    using stopMonitoring = app_action::stopMonitoring;
    using syncingButtonPressed = app_action::syncingButtonPressed;
    using startSync = app_action::startSync;
    using dismissLoginView = app_action::dismissLoginView;
    using disableMasterPassword = app_action::disableMasterPassword;
    using validateBio = app_action::validateBio;
    using resetPersistentData = app_action::resetPersistentData;

    // The case's name and its payload, for logs and test messages. PINs and passwords show
    // only as "<redacted>".
    std::string description() const;
    friend std::ostream& operator<<(std::ostream& out, const AppAction& action) { return out << action.description(); }
};

} // namespace keyvane::app
