#pragma once

#include "shared/biometrics/MasterPassAuthError.h"
#include "shared/biometrics/StoredPinState.h"
#include "shared/errors/CaseEnum.h"
#include "shared/errors/Error.h"
#include "shared/model/DeviceKeyBackend.h"
#include "shared/model/PasskeyCredentials.h"
#include "shared/model/TokenInfo.h"
#include "shared/redux/LoginViewState.h"
#include "shared/redux/MasterPasswordState.h"
#include "shared/redux/SecretText.h"
#include "shared/redux/TokenMonitoringEvent.h"

#include <optional>
#include <ostream>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

namespace keyvane {

// The cases that both programs' actions share: the login's, and the few that every store has
// (a failure, closing its alert, the launch). Declared once here; each program's AppAction
// holds them beside its own cases (WithLoginCases) under the same names (LoginCaseNames).
// PINs and passwords travel as SecretText so that no printed form of an action can show them.
namespace login_action {
struct handleError {
    AnyError error;
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
struct startMonitoring {};
struct stopMonitoring {};
struct dismissLoginView {};
struct startSync {};
struct syncingButtonPressed {};
struct validateBio {};
} // namespace login_action

// An action type of a program: its own cases, then the shared ones.
template <class... OwnCases>
using WithLoginCases =
    CaseEnum<OwnCases...,
             login_action::handleError, login_action::performLoginOnToken, login_action::receiveTokenEvents,
             login_action::selectConnectedToken, login_action::enumerateCredentials, login_action::updateTokenList,
             login_action::updateCredentialsList, login_action::updatePinVerificationStatus,
             login_action::updateMasterPasswordState, login_action::validateMasterPassword, login_action::setPassAuth,
             login_action::setMasterPassAuthError, login_action::checkHasPinForToken, login_action::setPinExist,
             login_action::setPinCacheHasPins, login_action::switchToPinView, login_action::hideAlert,
             login_action::appLaunched, login_action::startMonitoring, login_action::stopMonitoring,
             login_action::dismissLoginView, login_action::startSync, login_action::syncingButtonPressed,
             login_action::validateBio>;

// The shared cases' names as member types of an action type that derives from it, so that
// `AppAction::performLoginOnToken` is `login_action::performLoginOnToken` in both programs.
struct LoginCaseNames {
    using handleError = login_action::handleError;
    using performLoginOnToken = login_action::performLoginOnToken;
    using receiveTokenEvents = login_action::receiveTokenEvents;
    using selectConnectedToken = login_action::selectConnectedToken;
    using enumerateCredentials = login_action::enumerateCredentials;
    using updateTokenList = login_action::updateTokenList;
    using updateCredentialsList = login_action::updateCredentialsList;
    using updatePinVerificationStatus = login_action::updatePinVerificationStatus;
    using updateMasterPasswordState = login_action::updateMasterPasswordState;
    using validateMasterPassword = login_action::validateMasterPassword;
    using setPassAuth = login_action::setPassAuth;
    using setMasterPassAuthError = login_action::setMasterPassAuthError;
    using checkHasPinForToken = login_action::checkHasPinForToken;
    using setPinExist = login_action::setPinExist;
    using setPinCacheHasPins = login_action::setPinCacheHasPins;
    using switchToPinView = login_action::switchToPinView;
    using hideAlert = login_action::hideAlert;
    using appLaunched = login_action::appLaunched;
    using startMonitoring = login_action::startMonitoring;
    using stopMonitoring = login_action::stopMonitoring;
    using dismissLoginView = login_action::dismissLoginView;
    using startSync = login_action::startSync;
    using syncingButtonPressed = login_action::syncingButtonPressed;
    using validateBio = login_action::validateBio;
};

// One of the shared cases alone: what the shared printer takes, and what a test of the shared
// reducer sends.
class LoginAction final : public WithLoginCases<>, public LoginCaseNames {
public:
    using CaseEnum::CaseEnum;

    // The case's name and its payload, as both programs' actions print it. PINs and passwords
    // show only as "<redacted>".
    std::string description() const;
    friend std::ostream& operator<<(std::ostream& out, const LoginAction& action) {
        return out << action.description();
    }
};

namespace login_action_detail {
template <class T, class Variant>
struct IsAlternative : std::false_type {};
template <class T, class... Cases>
struct IsAlternative<T, std::variant<Cases...>> : std::bool_constant<(std::is_same_v<T, Cases> || ...)> {};

template <class Variant, class Other>
struct IncludesAll : std::false_type {};
template <class... Cases, class Other>
struct IncludesAll<std::variant<Cases...>, Other> : std::bool_constant<(IsAlternative<Cases, Other>::value && ...)> {
};
} // namespace login_action_detail

// A case type of LoginAction.
template <class T>
concept LoginCase = login_action_detail::IsAlternative<std::remove_cvref_t<T>, LoginAction::Case>::value;

// An action type that holds every shared case (one made with WithLoginCases): what the
// shared login port sends into.
template <class Action>
concept CarriesLoginCases = login_action_detail::IncludesAll<LoginAction::Case, typename Action::Case>::value;

} // namespace keyvane
