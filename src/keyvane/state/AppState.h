#pragma once

#include "keyvane/state/LoginPuprose.h"
#include "shared/biometrics/BiometryType.h"
#include "shared/redux/AppAlert.h"
#include "shared/redux/CredentialListState.h"
#include "shared/redux/LoginViewState.h"
#include "shared/redux/MasterPassInputState.h"
#include "shared/redux/MasterPasswordState.h"
#include "shared/redux/OnboardingStatus.h"
#include "shared/redux/PinCacheState.h"

#include <optional>
#include <ostream>

namespace keyvane::app {

struct OnboardingState {
    std::optional<OnboardingStatus> onboardingStatus; // none until the first-launch decision
    bool isOnboardingShown = false;
};

// Which alert, sheet, prompt or onboarding step is shown, and why the login window is open.
struct NavigationState {
    std::optional<AppAlert> alert;
    OnboardingState onboardingState;
    std::optional<LoginPuprose> loginPurpose;
    bool showSettings = false; // the master-password settings sheet
    MasterPassInputState masterPassInputState; // the prompt that guards the settings sheet
};

// The main program's whole state; its defaults are the state at start. It holds no PIN or
// password: those travel only inside the actions that hand them to a service.
struct AppState {
    NavigationState navigationState;
    LoginViewState loginViewState;
    CredentialListState credentialListState;
    PinCacheState pinCacheState;
    BiometryType biometryType = BiometryType::none;
    MasterPasswordState masterPasswordState = MasterPasswordState::disabled;

    friend std::ostream& operator<<(std::ostream& out, const AppState& state);
};

// The name of a biometry type, for printed states and actions.
const char* describeBiometry(BiometryType type);

} // namespace keyvane::app
