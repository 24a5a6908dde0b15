#pragma once

#include "keyvane/state/LoginPuprose.h"
#include "shared/biometrics/BiometryType.h"
#include "shared/login/LoginState.h"
#include "shared/redux/AppAlert.h"
#include "shared/redux/MasterPassInputState.h"
#include "shared/redux/OnboardingStatus.h"

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

// The main program's whole state; its defaults are the state at start. The login's fields
// (loginViewState, credentialListState, pinCacheState, masterPasswordState) come from
// LoginState, which the extension's state shares. It holds no PIN or password: those travel
// only inside the actions that hand them to a service.
struct AppState : LoginState {
    NavigationState navigationState;
    BiometryType biometryType = BiometryType::none;

    friend std::ostream& operator<<(std::ostream& out, const AppState& state);
};

// The name of a biometry type, for printed states and actions.
const char* describeBiometry(BiometryType type);

} // namespace keyvane::app
