#pragma once

#include "shared/login/LoginAction.h"
#include "shared/model/TokenInfo.h"
#include "shared/redux/LoginViewState.h"
#include "shared/redux/MasterPasswordState.h"

#include <chrono>
#include <optional>
#include <variant>
#include <vector>

namespace keyvane {

// What the login does by itself while its window is on screen, decided from the state alone:
// the cached-PIN check when a pane for a token comes (and the biometric check first, when it is
// on), the cached PIN or the PIN pane once the master password or a finger has unlocked the
// cache, and the PIN pane after a wrong cached PIN. What the user does (a PIN typed, a token
// chosen, a password typed) is the views' to send; LoginStepRunner carries these steps out
// over a store.
class LoginSteps {
public:
    // After a biometric pass the cached PIN is used a second later, once the dots have shown.
    static constexpr std::chrono::milliseconds biometryPause{1000};

    // The login with the cached PIN or the PIN pane for the token, chosen on the state of the
    // moment the step runs (cachedPinOrPinPane), not of the change that asked for it.
    struct UseCachedPin {
        TokenInfo token;
    };
    using Step = std::variant<LoginAction, UseCachedPin>;

    struct Plan {
        // Taken in order, as one step after the change that decided them: never inside the
        // store's notification of that change.
        std::vector<Step> next;
        // Taken biometryPause later; it replaces one still waiting.
        std::optional<UseCachedPin> afterBiometryPause;
    };

    // The pane of `view` has just come on screen: the window appeared, or its pane changed.
    static Plan entered(const LoginViewState& view, MasterPasswordState masterPassword);

    // The state changed while the window shows. A pane for another case or another token is
    // entered afresh; within one pane only a new verdict or a new unlock leads anywhere.
    static Plan changed(const LoginViewState& before, const LoginViewState& after, MasterPasswordState masterPassword);

    // The cached PIN once one is known to be kept for the token (nothing while a login is in
    // flight: it would spend another of the token's retries), else the PIN pane.
    static std::optional<LoginAction> cachedPinOrPinPane(const LoginViewState& view, const TokenInfo& token);
};

} // namespace keyvane
