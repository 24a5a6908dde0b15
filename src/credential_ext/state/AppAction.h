#pragma once

#include "credential_ext/platform/AuthenticationServices.h"
#include "credential_ext/state/AppState.h"
#include "shared/biometrics/MasterPassAuthError.h"
#include "shared/biometrics/StoredPinState.h"
#include "shared/errors/CaseEnum.h"
#include "shared/errors/Error.h"
#include "shared/model/PasskeyCredentials.h"
#include "shared/model/TokenInfo.h"
#include "shared/redux/LoginViewState.h"
#include "shared/redux/MasterPasswordState.h"
#include "shared/redux/SecretText.h"
#include "shared/redux/TokenMonitoringEvent.h"

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace keyvane::ext {

// The cases of the extension's AppAction: those with a payload first. PINs and passwords
// travel as SecretText so that no printed form of an action can show them.
namespace app_action {
struct handleError {
    AnyError error;
};
struct completeRegistrationRequest {
    ASPasskeyRegistrationCredential credential;
};
struct finishRegistration {
    std::string serial;
    RegistrationState regInfo;
};
struct startProvidingPasskey {
    // The passkey the request names. A user handle is unique only within its relying party,
    // so both are needed to find it.
    Bytes userHandle;
    std::string relyingPartyId;
};
struct completeAuthenticationRequest {
    ASPasskeyAssertionCredential credential;
};
struct finishAuthentication {
    PasskeyCredentials cred;
    Bytes hash; // the client-data hash
};
struct performLoginOnToken {
    std::string serial;
    std::optional<SecretText> pin; // none: use the cached PIN
};
struct receiveTokenEvents {
    std::vector<TokenMonitoringEvent> events; // in arrival order
    TokenMonitoringRun monitoringRun = 0;     // the run that gathered them
};
struct selectConnectedToken {
    TokenInfo token;
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
struct updatePinVerificationStatus {
    PinVerificationStatus status;
};
struct waitForTouch {
    std::uint64_t seconds = 0;
};
struct credForAuthenticationSelected {
    PasskeyCredentials credential;
};
struct updateMasterPasswordState {
    MasterPasswordState state = MasterPasswordState::disabled;
};
struct setMasterPassStateUpdated {
    bool updated = false;
};
struct validateMasterPassword {
    SecretText password;
};
struct setPassAuth {
    LoginAuthStatus status = LoginAuthStatus::unknown;
};
struct setMasterPassAuthError {
    std::optional<MasterPassAuthError> error;
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
struct appLaunched {};
struct cancelRequest {};
struct startMonitoring {};
struct stopMonitoring {};
struct dismissLoginView {};
struct completeRegistrationButtonIsPressed {};
struct startSync {};
struct syncingButtonPressed {};
struct validateBio {};
} // namespace app_action

// Every action of the extension. Handle it with std::visit over `value` and one handler per
// case, so a new case cannot be forgotten.
class AppAction final
    : public CaseEnum<
          app_action::handleError, app_action::completeRegistrationRequest, app_action::finishRegistration,
          app_action::startProvidingPasskey, app_action::completeAuthenticationRequest,
          app_action::finishAuthentication, app_action::performLoginOnToken, app_action::receiveTokenEvents,
          app_action::selectConnectedToken, app_action::enumerateCredentials, app_action::updateTokenList,
          app_action::updateCredentialsList, app_action::updatePinVerificationStatus, app_action::waitForTouch,
          app_action::credForAuthenticationSelected, app_action::updateMasterPasswordState,
          app_action::setMasterPassStateUpdated, app_action::validateMasterPassword, app_action::setPassAuth,
          app_action::setMasterPassAuthError, app_action::checkHasPinForToken, app_action::setPinExist,
          app_action::setPinCacheHasPins, app_action::switchToPinView, app_action::hideAlert, app_action::appLaunched,
          app_action::cancelRequest, app_action::startMonitoring, app_action::stopMonitoring,
          app_action::dismissLoginView, app_action::completeRegistrationButtonIsPressed, app_action::startSync,
          app_action::syncingButtonPressed, app_action::validateBio> {
public:
    using CaseEnum::CaseEnum;
    using handleError = app_action::handleError;
    using completeRegistrationRequest = app_action::completeRegistrationRequest;
    using finishRegistration = app_action::finishRegistration;
    using startProvidingPasskey = app_action::startProvidingPasskey;
    using completeAuthenticationRequest = app_action::completeAuthenticationRequest;
    using finishAuthentication = app_action::finishAuthentication;
    using performLoginOnToken = app_action::performLoginOnToken;
    using receiveTokenEvents = app_action::receiveTokenEvents;
    using selectConnectedToken = app_action::selectConnectedToken;
    using enumerateCredentials = app_action::enumerateCredentials;
    using updateTokenList = app_action::updateTokenList;
    using updateCredentialsList = app_action::updateCredentialsList;
    using updatePinVerificationStatus = app_action::updatePinVerificationStatus;
    using waitForTouch = app_action::waitForTouch;
    using credForAuthenticationSelected = app_action::credForAuthenticationSelected;
    using updateMasterPasswordState = app_action::updateMasterPasswordState;
    using setMasterPassStateUpdated = app_action::setMasterPassStateUpdated;
    using validateMasterPassword = app_action::validateMasterPassword;
    using setPassAuth = app_action::setPassAuth;
    using setMasterPassAuthError = app_action::setMasterPassAuthError;
    using checkHasPinForToken = app_action::checkHasPinForToken;
    using setPinExist = app_action::setPinExist;
    using setPinCacheHasPins = app_action::setPinCacheHasPins;
    using switchToPinView = app_action::switchToPinView;
    using hideAlert = app_action::hideAlert;
    using appLaunched = app_action::appLaunched;
    using cancelRequest = app_action::cancelRequest;
    using startMonitoring = app_action::startMonitoring;
    using stopMonitoring = app_action::stopMonitoring;
    using dismissLoginView = app_action::dismissLoginView;
    using completeRegistrationButtonIsPressed = app_action::completeRegistrationButtonIsPressed;
    using startSync = app_action::startSync;
    using syncingButtonPressed = app_action::syncingButtonPressed;
    using validateBio = app_action::validateBio;

    // The case's name and its payload, for logs and test messages. PINs and passwords show
    // only as "<redacted>"; byte strings only by their length.
    std::string description() const;
    friend std::ostream& operator<<(std::ostream& out, const AppAction& action) { return out << action.description(); }
};

} // namespace keyvane::ext
