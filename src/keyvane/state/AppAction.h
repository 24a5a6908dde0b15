#pragma once

#include "keyvane/state/LoginPuprose.h"
#include "shared/biometrics/BiometryType.h"
#include "shared/biometrics/MasterPassAuthError.h"
#include "shared/errors/CaseEnum.h"
#include "shared/login/LoginAction.h"
#include "shared/redux/OnboardingStatus.h"
#include "shared/redux/SecretText.h"

#include <optional>
#include <ostream>
#include <string>

namespace keyvane::app {

// The main program's own cases of AppAction. Those with a payload first; PINs and passwords
// travel as SecretText so that no printed form of an action can show them.
namespace app_action {
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
struct updateBiometryType {
    BiometryType type = BiometryType::none;
};
struct setBiometry {
    bool enabled = false;
    bool isOnboarding = false;
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
struct hideOnboarding {};
struct quitMasterPasswordSettings {};
struct hideMasterPasswordInput {};
struct startEnteringMasterPasswordSettings {};
struct finishEnterMasterPasswordSettings {};
struct firstLaunch {};
struct disableMasterPassword {};
struct resetPersistentData {};
} // namespace app_action

// Every action of the main program: its own cases, then those it shares with the extension
// (shared/login), under the same names. Handle it with std::visit over `value` and one handler
// per case, so a new case cannot be forgotten.
class AppAction final
    : public WithLoginCases<
          app_action::updateOnboardingStatus, app_action::enableExtension, app_action::enterMasterPasswordSettings,
          app_action::updateMasterPasswordError, app_action::updateBiometryType, app_action::setBiometry,
          app_action::deleteToken, app_action::deleteCredentials, app_action::deleteButtonPressed,
          app_action::setupMasterPassword, app_action::changeMasterPassword, app_action::hideOnboarding,
          app_action::quitMasterPasswordSettings, app_action::hideMasterPasswordInput,
          app_action::startEnteringMasterPasswordSettings, app_action::finishEnterMasterPasswordSettings,
          app_action::firstLaunch, app_action::disableMasterPassword, app_action::resetPersistentData>,
      public LoginCaseNames {
public:
    using CaseEnum::CaseEnum;
    using updateOnboardingStatus = app_action::updateOnboardingStatus;
    using enableExtension = app_action::enableExtension;
    using enterMasterPasswordSettings = app_action::enterMasterPasswordSettings;
    using updateMasterPasswordError = app_action::updateMasterPasswordError;
    using updateBiometryType = app_action::updateBiometryType;
    using setBiometry = app_action::setBiometry;
    using deleteToken = app_action::deleteToken;
    using deleteCredentials = app_action::deleteCredentials;
    using deleteButtonPressed = app_action::deleteButtonPressed;
    using setupMasterPassword = app_action::setupMasterPassword;
    using changeMasterPassword = app_action::changeMasterPassword;
    using hideOnboarding = app_action::hideOnboarding;
    using quitMasterPasswordSettings = app_action::quitMasterPasswordSettings;
    using hideMasterPasswordInput = app_action::hideMasterPasswordInput;
    using startEnteringMasterPasswordSettings = app_action::startEnteringMasterPasswordSettings;
    using finishEnterMasterPasswordSettings = app_action::finishEnterMasterPasswordSettings;
    using firstLaunch = app_action::firstLaunch;
    using disableMasterPassword = app_action::disableMasterPassword;
    using resetPersistentData = app_action::resetPersistentData;

    // The case's name and its payload, for logs and test messages. PINs and passwords show
    // only as "<redacted>".
    std::string description() const;
    friend std::ostream& operator<<(std::ostream& out, const AppAction& action) { return out << action.description(); }
};

} // namespace keyvane::app
